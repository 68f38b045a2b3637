#include "loader/ExternalToolManager.h"

#include "model/FlashCommand.h"
#include "tools/ShellFlashCommand.h"

#include <QSettings>

namespace {

const QString kGroup = QStringLiteral("Tools");

} // namespace

void ExternalToolManager::loadFile(const QString& path)
{
    QSettings settings(path, QSettings::IniFormat);
    loadFile(settings);
}

void ExternalToolManager::loadFile(QSettings& settings)
{
    settings.beginGroup(kGroup);
    const QStringList ids = settings.childKeys();
    for (const QString& id : ids)
        setTool(id, settings.value(id).toString());
    registerTools();
    settings.endGroup();
}

void ExternalToolManager::saveFile(const QString& path) const
{
    QSettings settings(path, QSettings::IniFormat);
    saveFile(settings);
}

void ExternalToolManager::saveFile(QSettings& settings) const
{
    const QMap<QString, QString> tools = getTools();
    settings.beginGroup(kGroup);
    settings.remove(QString());
    for (auto tool = tools.cbegin(); tool != tools.cend(); ++tool)
        settings.setValue(tool.key(), tool.value());
    settings.endGroup();
}

void ExternalToolManager::setTool(const QString& id, const QString& path)
{
    QWriteLocker locker(&m_lock);
    m_tools.insert(id, path);
}

void ExternalToolManager::registerTools() const
{
    const QMap<QString, QString> tools = getExternalTools();
    for (auto tool = tools.cbegin(); tool != tools.cend(); ++tool) {
        const QByteArray id = tool.key().toUtf8();
        FlashCommand::removeCommandFactory(id.constData());
        FlashCommand::addCommandFactory(id.constData(), &ShellFlashCommand::createShellCommand);
    }
}

QMap<QString, QString> ExternalToolManager::getTools() const
{
    QReadLocker locker(&m_lock);
    return m_tools;
}

QString ExternalToolManager::getTool(const QString& id) const
{
    QReadLocker locker(&m_lock);
    return m_tools.value(id);
}

void ExternalToolManager::removeTool(const QString& id)
{
    {
        QWriteLocker locker(&m_lock);
        if (m_tools.remove(id) == 0)
            return;
    }
    if (getInternalTools().contains(id))
        return;
    const QByteArray key = id.toUtf8();
    FlashCommand::removeCommandFactory(key.constData());
    for (const FlashCommand::BuiltInKind& kind : FlashCommand::builtInKinds()) {
        if (kind.toolId == id)
            FlashCommand::addCommandFactory(key.constData(), kind.creator);
    }
}

void ExternalToolManager::clear()
{
    for (const QString& id : getTools().keys())
        removeTool(id);
}

const QSet<QString>& ExternalToolManager::getInternalTools()
{
    static const QSet<QString> internal = [] {
        QSet<QString> ids;
        for (const FlashCommand::BuiltInKind& kind : FlashCommand::builtInKinds()) {
            if (!kind.userReplaceable)
                ids.insert(kind.toolId);
        }
        return ids;
    }();
    return internal;
}

QMap<QString, QString> ExternalToolManager::getExternalTools() const
{
    QMap<QString, QString> tools = getTools();
    for (const QString& id : getInternalTools())
        tools.remove(id);
    return tools;
}
