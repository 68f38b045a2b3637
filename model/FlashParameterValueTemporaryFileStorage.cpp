#include "model/FlashParameterValueTemporaryFileStorage.h"

#include "core/ApplicationLog.h"
#include "core/Utils.h"

#include <QFile>
#include <QTemporaryFile>

namespace {

// The pattern comes from a flash file: a separator in it could lead the file out of the root.
QString safePattern(QString pattern)
{
    return pattern.replace(QLatin1Char('/'), QLatin1Char('_'));
}

} // namespace

FlashParameterValueTemporaryFileStorage::FlashParameterValueTemporaryFileStorage(
    const QString& namePattern)
{
    const QString& root = rootFolder();
    QString error;
    if (Utils::privateTempFolder(QStringLiteral("lfm-temp"), error).isEmpty()) {
        ApplicationLog::write(ERROR, QStringLiteral("Failed to create temp folder: ") + root);
        return;
    }
    QTemporaryFile file(root + safePattern(namePattern));
    file.setAutoRemove(false);
    if (!file.open()) {
        ApplicationLog::write(
            ERROR, QStringLiteral("Failed to create temp file: ") + file.fileTemplate());
        return;
    }
    file.close();
    m_path = file.fileName();
    ApplicationLog::write(
        TRACE, QStringLiteral("Temporary file ") + m_path + QStringLiteral(" created"));
}

FlashParameterValueTemporaryFileStorage::~FlashParameterValueTemporaryFileStorage()
{
    if (!m_path.isNull())
        QFile::remove(m_path);
}

const QString& FlashParameterValueTemporaryFileStorage::getPath() const
{
    return m_path;
}

const QString& FlashParameterValueTemporaryFileStorage::rootFolder()
{
    static const QString root = Utils::userTempFolderPath(QStringLiteral("lfm-temp")) + QLatin1Char('/');
    return root;
}
