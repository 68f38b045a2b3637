#include "model/FlashParameterValueTemporaryFileStorage.h"

#include "core/MessageHandler.h"

#include <QDir>
#include <QFile>
#include <QTemporaryFile>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The root is shared by every run of this user: it must be a real folder (not a link) that this
// user owns and nobody else can enter, or another account could plant or read our files.
bool ensurePrivateFolder(const QString& folder)
{
    if (!QDir().mkpath(QDir::tempPath()))
        return false;
    const QByteArray path = QFile::encodeName(folder);
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat info;
    if (::lstat(path.constData(), &info) != 0)
        return false;
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::getuid())
        return false;
    return (info.st_mode & 077) == 0 || ::chmod(path.constData(), 0700) == 0;
}

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
    if (!ensurePrivateFolder(QDir::cleanPath(root))) {
        MessageHandler::instance()->logMessage(ERROR, QStringLiteral("Failed to create temp folder: ") + root);
        return;
    }
    QTemporaryFile file(root + safePattern(namePattern));
    file.setAutoRemove(false);
    if (!file.open()) {
        MessageHandler::instance()->logMessage(
            ERROR, QStringLiteral("Failed to create temp file: ") + file.fileTemplate());
        return;
    }
    file.close();
    m_path = file.fileName();
    MessageHandler::instance()->logMessage(
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
    static const QString root = QDir(QDir::tempPath()).absoluteFilePath(
                                    QStringLiteral("lfm-temp-") + QString::number(::getuid()))
                                + QLatin1Char('/');
    return root;
}
