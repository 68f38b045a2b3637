#include "model/FlashParameterValueFile.h"

#include "model/FileCheckScope.h"
#include "platform/json/JsonObject.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>

namespace {

QString absoluteNativePath(const QFileInfo& info, const QString& path)
{
    if (path.isEmpty())
        return QString();
    return QDir::toNativeSeparators(info.absoluteFilePath());
}

} // namespace

FlashParameterValueFile::FlashParameterValueFile(const QString& valueId, QString path,
                                                 const QString& description)
    : FlashParameterValue(valueId, description)
    , m_path(absoluteNativePath(QFileInfo(path), path))
{
}

FlashParameterValueFile::FlashParameterValueFile(const QString& valueId, const QString& baseFolder,
                                                 QString path, const QString& description)
    : FlashParameterValue(valueId, description)
    , m_path(absoluteNativePath(QFileInfo(QDir(baseFolder), path), path))
{
}

QString FlashParameterValueFile::getValue() const
{
    return m_path;
}

QString FlashParameterValueFile::getValue(FlashRunner&)
{
    return m_path;
}

QString FlashParameterValueFile::getError() const
{
    if (m_path.isEmpty()) {
        qDebug() << "No file specified for id" << getValueId();
        return QString();
    }
    if (!FileCheckScope::exists(m_path))
        return m_path + QStringLiteral(" not found");
    return QString();
}

FlashParameter::Type FlashParameterValueFile::getParameterType() const
{
    return FlashParameter::File;
}

QSharedPointer<FlashParameterValue> FlashParameterValueFile::clone() const
{
    return QSharedPointer<FlashParameterValue>(new FlashParameterValueFile(*this));
}

JsonObject FlashParameterValueFile::toJson(const QString& folder) const
{
    QString path = QDir::cleanPath(QDir::fromNativeSeparators(m_path));
    if (!path.isEmpty() && !folder.isEmpty())
        path = QDir(folder).relativeFilePath(path);
    if (path.startsWith(QLatin1String("./")))
        path.remove(0, 2);
    return textJson(path);
}
