#include "loader/ExternalToolManager.h"

#include "core/FMConst.h"
#include "core/ToolPathTable.h"
#include "model/FlashCommand.h"
#include "tools/BuiltInKinds.h"
#include "tools/ShellFlashCommand.h"

#include <QFileInfo>
#include <QSettings>

namespace {

const QString kGroup = QStringLiteral("Tools");

void repairToolEntry(QSettings& settings, const QString& key, const QString& legacyKey,
                     const QString& fallback)
{
    if (!settings.contains(key)) {
        QString path;
        if (!legacyKey.isEmpty() && settings.contains(legacyKey))
            path = settings.value(legacyKey).toString();
        settings.setValue(key, path.isEmpty() ? fallback : path);
    }
    if (!QFileInfo::exists(settings.value(key).toString()))
        settings.setValue(key, fallback);
}

} // namespace

ExternalToolManager& ExternalToolManager::instance()
{
    static ExternalToolManager manager;
    return manager;
}

void ExternalToolManager::loadRepairedFile(const QString& toolsFile)
{
    QSettings settings(toolsFile, QSettings::IniFormat);
    const QString group = kGroup + QLatin1Char('/');
    repairToolEntry(settings, group + FMConst::ADB_TOOL_ID, FMConst::KEY_ADB, FMConst::defaultAdbCmd());
    repairToolEntry(settings, group + FMConst::FASTBOOT_TOOL_ID, FMConst::KEY_FASTBOOT,
                    FMConst::defaultFastbootCmd());
    repairToolEntry(settings, group + FMConst::DFU_TOOL_ID, QString(), FMConst::defaultDfuDownloaderCmd());
    loadFile(settings);
}

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
    FMConst::toolPaths().set(id, path);
}

bool ExternalToolManager::useTool(const QString& id, const QString& path)
{
    const bool executable = FMConst::setTool(id, path);
    registerTools();
    return executable;
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
    return FMConst::toolPaths().all();
}

QString ExternalToolManager::getTool(const QString& id) const
{
    return FMConst::toolPaths().get(id);
}

void ExternalToolManager::removeTool(const QString& id)
{
    if (!FMConst::toolPaths().remove(id))
        return;
    if (getInternalTools().contains(id))
        return;
    const QByteArray key = id.toUtf8();
    FlashCommand::removeCommandFactory(key.constData());
    for (const BuiltInKind& kind : BuiltInKinds::all()) {
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
        for (const BuiltInKind& kind : BuiltInKinds::all()) {
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
