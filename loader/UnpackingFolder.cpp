#include "loader/UnpackingFolder.h"

#include "core/ApplicationLog.h"
#include "loader/FileManager2.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kLockSuffix = QStringLiteral(".lock");
const QString kContentName = QStringLiteral("content");
const QString kPreviousName = QStringLiteral("previous");
const int kNameAttempts = 16;

QString quoted(const QString& text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QString namePrefix(const QString& outputFolder)
{
    return QLatin1Char('.') + QFileInfo(outputFolder).fileName() + QStringLiteral(".unpacking-");
}

QByteArray encoded(const QString& path)
{
    return QFile::encodeName(path);
}

// Whether `fd` is still the file at `path`: a lock on a file someone has unlinked guards nothing.
bool isFileAt(int fd, const QString& path)
{
    struct stat opened;
    struct stat named;
    return ::fstat(fd, &opened) == 0 && ::lstat(encoded(path).constData(), &named) == 0
           && opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

// A new lock file at `path`, locked, or -1. The descriptor is not inherited: the lock must end
// with this process, not live on in an archiver it started.
int createLocked(const QString& path)
{
    const int fd = ::open(encoded(path).constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return -1;
    // Between the creation and the lock, a clean-up may have taken the file for an abandoned one
    // and removed it: then this name is no good.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || !isFileAt(fd, path)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool removeTree(const QString& path)
{
    const QFileInfo entry(path);
    if (!entry.exists() && !entry.isSymLink())
        return true;
    return entry.isDir() && !entry.isSymLink() ? FileManager2::removeDir(path, true) : QFile::remove(path);
}

} // namespace

UnpackingFolder::UnpackingFolder(const QString& outputFolder) : m_outputFolder(outputFolder)
{
    const QDir parent(QFileInfo(outputFolder).absolutePath());
    parent.mkpath(QStringLiteral("."));
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const QString path = parent.absoluteFilePath(
            namePrefix(outputFolder)
            + QStringLiteral("%1").arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')));
        // The lock comes first: a working folder without one is an abandoned one.
        const QString lockPath = path + kLockSuffix;
        const int lock = createLocked(lockPath);
        if (lock < 0)
            continue;
        if (::mkdir(encoded(path).constData(), 0700) == 0) {
            if (QDir(path).mkdir(kContentName)) {
                m_path = path;
                m_lock = lock;
                break;
            }
            QDir().rmdir(path);
        }
        ::unlink(encoded(lockPath).constData());
        ::close(lock);
    }
    if (m_path.isEmpty())
        ApplicationLog::write(ERROR, QStringLiteral("Cannot create a folder beside ") + quoted(outputFolder));
}

UnpackingFolder::~UnpackingFolder()
{
    if (m_path.isEmpty())
        return;
    if (!FileManager2::removeDir(m_path, true))
        ApplicationLog::write(WARNING, QStringLiteral("Cannot remove the folder ") + quoted(m_path));
    // The lock goes last, so that nobody takes the folder for an abandoned one while it is removed.
    ::unlink(encoded(m_path + kLockSuffix).constData());
    ::close(m_lock);
}

bool UnpackingFolder::isValid() const
{
    return !m_path.isEmpty();
}

QString UnpackingFolder::contentPath() const
{
    return QDir(m_path).filePath(kContentName);
}

bool UnpackingFolder::replaceOutput()
{
    QDir folders;
    const QFileInfo output(m_outputFolder);
    const QString previous = QDir(m_path).filePath(kPreviousName);
    const bool hadOutput = output.exists() || output.isSymLink();
    if (hadOutput && !folders.rename(m_outputFolder, previous)) {
        ApplicationLog::write(ERROR, QStringLiteral("Cannot replace the folder ") + quoted(m_outputFolder));
        return false;
    }
    if (!folders.rename(contentPath(), m_outputFolder)) {
        ApplicationLog::write(ERROR, QStringLiteral("Cannot move the unpacked files to ") + quoted(m_outputFolder));
        if (hadOutput)
            folders.rename(previous, m_outputFolder);
        return false;
    }
    // A link or file in the way would not go with the working folder's tree.
    if (hadOutput && !removeTree(previous))
        ApplicationLog::write(WARNING, QStringLiteral("Cannot remove the previous content of ") + quoted(m_outputFolder)
                                    + QStringLiteral(" (left in ") + quoted(previous) + QLatin1Char(')'));
    return true;
}

void UnpackingFolder::removeAbandoned(const QString& outputFolder)
{
    const QDir parent(QFileInfo(outputFolder).absolutePath());
    const QString prefix = namePrefix(outputFolder);
    static const QRegularExpression suffix(QRegularExpression::anchoredPattern(QStringLiteral("[0-9a-f]{8}(\\.lock)?")));
    QStringList working;
    for (const QString& name : parent.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
        if (name.startsWith(prefix) && suffix.match(name.mid(prefix.size())).hasMatch()) {
            const QString path = parent.absoluteFilePath(name.endsWith(kLockSuffix) ? name.chopped(kLockSuffix.size()) : name);
            if (!working.contains(path))
                working << path;
        }
    }
    for (const QString& path : working) {
        const QString lockPath = path + kLockSuffix;
        // No lock file: the folder of an older version, or one whose owner is removing it.
        const int lock = ::open(encoded(lockPath).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (lock >= 0 && ::flock(lock, LOCK_EX | LOCK_NB) != 0) {
            ::close(lock);
            continue; // a running unpacking
        }
        const bool existed = QFileInfo::exists(path);
        if (!removeTree(path))
            ApplicationLog::write(WARNING, QStringLiteral("Cannot remove the folder ") + quoted(path)
                                        + QStringLiteral(" of an interrupted unpacking"));
        else if (existed)
            ApplicationLog::write(INFO, QStringLiteral("Removed the folder ") + quoted(path)
                                     + QStringLiteral(" of an interrupted unpacking"));
        if (lock >= 0) {
            if (isFileAt(lock, lockPath))
                ::unlink(encoded(lockPath).constData());
            ::close(lock);
        }
    }
}
