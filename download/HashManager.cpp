#include "download/HashManager.h"

#include "core/ApplicationLog.h"
#include "download/DownloadManager.h"
#include "download/FileDigester.h"

#include <QDeadlineTimer>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QMutexLocker>

#include <climits>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Absolute and cleaned: "dir/f", "./dir/f" and "/cwd/dir/../dir/f" are one file. Empty stays empty.
QString resolvedPath(const QString& path)
{
    return path.isEmpty() ? path : QDir::cleanPath(QDir::current().absoluteFilePath(path));
}

bool isPresent(const QString& path)
{
    return !path.isEmpty() && QFileInfo::exists(path);
}

bool sameTime(const timespec& a, const timespec& b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// Closes the descriptor on every way out.
class FileDescriptor
{
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

} // namespace

bool HashManager::FileIdentity::operator==(const FileIdentity& other) const
{
    return device == other.device && inode == other.inode && size == other.size
        && modifiedNs == other.modifiedNs;
}

HashManager::FileIdentity HashManager::identityOf(const struct stat& status)
{
    FileIdentity identity;
    identity.device = quint64(status.st_dev);
    identity.inode = quint64(status.st_ino);
    identity.size = qint64(status.st_size);
    identity.modifiedNs = qint64(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
    return identity;
}

bool HashManager::currentIdentity(const QString& path, FileIdentity& identity)
{
    struct stat status = {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return false;
    identity = identityOf(status);
    return true;
}

HashManager::HashManager()
    : m_watcher(new QFileSystemWatcher)
{
    // The worker runs no event loop, so the watcher gets a thread that does; its notices arrive there.
    m_watcher->moveToThread(&m_watcherThread);
    connect(&m_watcherThread, &QThread::finished, m_watcher, &QObject::deleteLater);
    connect(m_watcher, &QFileSystemWatcher::fileChanged, this, &HashManager::onFileTouched,
            Qt::DirectConnection);
    m_watcherThread.start();
    start();
}

HashManager::~HashManager()
{
    qDebug() << "Destructor of HashManager...";
    {
        QMutexLocker locker(&m_mutex);
        m_stop = true;
        qDebug() << "Clear jobs";
        m_jobs.clear();
        qDebug() << "Wake threads";
        m_jobAdded.wakeAll();
        m_hashReady.wakeAll();
        // A caller still inside waitForHash sleeps on our members: let it leave first.
        while (m_waitCount > 0)
            m_waitsEnded.wait(&m_mutex);
    }
    qDebug() << "Wait hash thread finished";
    wait(); // the file under way is finished first
    // Only now: the worker's last watch request needs the watcher thread.
    m_watcherThread.quit();
    m_watcherThread.wait();
    qDebug() << "Destructor of HashManager OK";
}

bool HashManager::getHashAsync(const QString& path, Hash& out)
{
    return query(path, &out);
}

bool HashManager::hasHash(const QString& path)
{
    return query(path, nullptr);
}

bool HashManager::query(const QString& path, Hash* out)
{
    const QString file = resolvedPath(path);
    QMutexLocker locker(&m_mutex);
    if (!isPresent(file))
        return false;
    if (isDownloadingLocked(file)) {
        forgetLocked(file);
        return false;
    }
    if (m_ignoreList.contains(file))
        return false;
    if (hasCurrentRecordLocked(file)) {
        if (out != nullptr)
            *out = m_hashes.value(file).hash;
        return true;
    }
    if (m_stop)
        return false;
    // Not de-duplicated: a second job finds the record stored and reads nothing.
    m_jobs.append(file);
    m_jobAdded.wakeAll();
    return false;
}

bool HashManager::waitForHash(const QString& path, uint32_t timeoutMs)
{
    const QString file = resolvedPath(path);
    const QDeadlineTimer deadline = timeoutMs > uint32_t(INT_MAX)
                                        ? QDeadlineTimer(QDeadlineTimer::Forever)
                                        : QDeadlineTimer(qint64(timeoutMs));
    QMutexLocker locker(&m_mutex);
    if (m_stop)
        return false;
    if (!isPresent(file) || hasCurrentRecordLocked(file))
        return true;
    if (isDownloadingLocked(file)) {
        forgetLocked(file);
        return false;
    }
    if (m_ignoreList.contains(file))
        return false;

    m_jobs.removeAll(file);
    m_jobs.prepend(file);
    m_jobAdded.wakeAll();

    Waiters& waiters = m_waiters[file];
    ++waiters.count;
    const uint64_t failuresBefore = waiters.failures;
    ++m_waitCount;
    bool result = false;
    for (;;) {
        if (!isPresent(file) || hasCurrentRecordLocked(file)) {
            result = true;
            break;
        }
        if (m_stop || m_waiters.value(file).failures != failuresBefore || deadline.hasExpired())
            break;
        m_hashReady.wait(&m_mutex, deadline);
    }
    if (--m_waiters[file].count == 0)
        m_waiters.remove(file);
    if (--m_waitCount == 0 && m_stop)
        m_waitsEnded.wakeAll();
    return result;
}

HashManager::Hash HashManager::getHash(const QString& path)
{
    if (!waitForHash(path, NoTimeout))
        return Hash();
    QMutexLocker locker(&m_mutex);
    return m_hashes.value(resolvedPath(path)).hash;
}

bool HashManager::setHash(const Hash& hash, const QString& path)
{
    if (hash.md5.isEmpty() || hash.sha1.isEmpty())
        return false;
    const QString file = resolvedPath(path);
    Record record{hash, {}};
    if (file.isEmpty() || !QFileInfo(file).isFile() || !currentIdentity(file, record.identity))
        return false;
    {
        QMutexLocker locker(&m_mutex);
        m_jobs.removeAll(file);
        m_hashes.insert(file, record);
        m_hashReady.wakeAll();
    }
    // Without waiting: a caller may hold a lock that a change notice needs on the watcher's thread.
    watch(file, false);
    emit fileChanged();
    return true;
}

void HashManager::removeFileHash(const QString& path)
{
    const QString file = resolvedPath(path);
    QMutexLocker locker(&m_mutex);
    forgetLocked(file);
}

void HashManager::addToIgnoreList(const QString& path)
{
    const QString file = resolvedPath(path);
    QMutexLocker locker(&m_mutex);
    m_ignoreList.insert(file);
}

void HashManager::removeFromIgnoreList(const QString& path)
{
    const QString file = resolvedPath(path);
    QMutexLocker locker(&m_mutex);
    m_ignoreList.remove(file);
}

void HashManager::setArtifactoryDownloadManager(DownloadManager* downloadManager)
{
    m_downloadManager.store(downloadManager);
}

void HashManager::run()
{
    QMutexLocker locker(&m_mutex);
    while (!m_stop) {
        if (m_jobs.isEmpty()) {
            m_jobAdded.wait(&m_mutex);
            continue;
        }
        bool changed = false;
        while (!m_jobs.isEmpty()) {
            const QString path = m_jobs.takeFirst();
            locker.unlock();
            changed = retreiveHash(path) || changed;
            locker.relock();
        }
        if (changed) {
            locker.unlock();
            emit fileChanged();
            locker.relock();
        }
    }
}

bool HashManager::retreiveHash(const QString& path)
{
    const QString file = resolvedPath(path);
    ApplicationLog::write(TRACE, QStringLiteral("Computing hash of ") + file);
    {
        // Outcomes are logged before waiters wake, so that what a waiter sees is already in the log.
        QMutexLocker locker(&m_mutex);
        if (!isPresent(file)) {
            m_hashes.remove(file);
            unwatch(file);
            ApplicationLog::write(TRACE, QStringLiteral("File ") + file + QStringLiteral(" not found"));
            m_hashReady.wakeAll(); // its waiters find nothing to wait for
            return true;
        }
        if (isDownloadingLocked(file)) {
            ApplicationLog::write(TRACE, QStringLiteral("Hash of ") + file + QStringLiteral(" ignored (file in download)"));
            forgetLocked(file);
            return false;
        }
        if (m_ignoreList.contains(file)) {
            ApplicationLog::write(TRACE, QStringLiteral("Hash of ") + file + QStringLiteral(" ignored"));
            failWaitersLocked(file);
            return false;
        }
        if (hasCurrentRecordLocked(file)) {
            ApplicationLog::write(TRACE, QStringLiteral("Hash of ") + file + QStringLiteral(" found"));
            return false;
        }
        m_reading = file;
        m_readingFate = ReadFate::Store;
    }

    Record record;
    ReadOutcome outcome = readFile(file, record);
    QMutexLocker locker(&m_mutex);
    m_reading.clear();
    if (m_readingFate == ReadFate::Discard)
        return false; // forgotten while read; its waiters were told
    if (m_readingFate == ReadFate::Retry)
        outcome = ReadOutcome::Changed; // and the change notice queued it again

    switch (outcome) {
    case ReadOutcome::Done:
        // A record that setHash stored meanwhile stays.
        if (!m_hashes.contains(file))
            m_hashes.insert(file, record);
        ApplicationLog::write(TRACE, QStringLiteral("Hash of ") + file + QStringLiteral(" computed"));
        m_hashReady.wakeAll();
        return true;
    case ReadOutcome::Changed:
        ApplicationLog::write(TRACE, QStringLiteral("File ") + file + QStringLiteral(" changed while read"));
        if (!m_stop && !m_jobs.contains(file))
            m_jobs.append(file);
        return false;
    case ReadOutcome::CannotOpen:
        ApplicationLog::write(TRACE, QStringLiteral("File ") + file + QStringLiteral(" can't be opened"));
        break;
    case ReadOutcome::CannotRead:
        ApplicationLog::write(TRACE, QStringLiteral("File ") + file + QStringLiteral(" can't be read"));
        break;
    case ReadOutcome::CannotWatch:
        ApplicationLog::write(
            WARNING, QStringLiteral("File %1 can't be watched: its digests are not kept").arg(file));
        break;
    }
    // Nothing is stored, so nothing stays watched; the next query tries again.
    unwatch(file);
    failWaitersLocked(file);
    return false;
}

HashManager::ReadOutcome HashManager::readFile(const QString& file, Record& record)
{
    const QByteArray name = QFile::encodeName(file);
    // Only regular files: opening a device can act on it, and a FIFO would wait for a writer (hence
    // also O_NONBLOCK, should the path be swapped between the two tests).
    struct stat status = {};
    if (::stat(name.constData(), &status) != 0 || !S_ISREG(status.st_mode))
        return ReadOutcome::CannotOpen;
    const FileDescriptor fd(::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0 || ::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode))
        return ReadOutcome::CannotOpen;
    // A change while the file is read shows in its identity or its status change time even when the
    // watcher's notice comes late, or when the path now names another file.
    const FileIdentity before = identityOf(status);
    // Watched before the read: every change from here on reaches onFileTouched.
    if (!watch(file, true))
        return ReadOutcome::CannotWatch;

    ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    FileDigester::Result digests;
    const bool read = FileDigester::digest(fd.get(), qint64(status.st_size), digests);
    struct stat after = {};
    if (::stat(name.constData(), &after) != 0 || !(identityOf(after) == before)
        || !sameTime(after.st_ctim, status.st_ctim))
        return ReadOutcome::Changed;
    if (!read || digests.bytes != qint64(status.st_size))
        return ReadOutcome::CannotRead;
    record.hash.md5 = QString::fromLatin1(digests.md5.toHex());
    record.hash.sha1 = QString::fromLatin1(digests.sha1.toHex());
    record.identity = before;
    return ReadOutcome::Done;
}

void HashManager::onFileTouched(const QString& path)
{
    const QString file = resolvedPath(path);
    {
        QMutexLocker locker(&m_mutex);
        if (isDownloadingLocked(file)) {
            forgetLocked(file);
            return;
        }
        if (m_stop || m_ignoreList.contains(file))
            return;
        if (file == m_reading && m_readingFate == ReadFate::Store)
            m_readingFate = ReadFate::Retry;
        if (!m_jobs.contains(file))
            m_jobs.append(file);
        m_hashes.remove(file);
        m_jobAdded.wakeAll();
    }
    emit fileChanged();
}

bool HashManager::hasCurrentRecordLocked(const QString& path)
{
    const auto stored = m_hashes.find(path);
    if (stored == m_hashes.end())
        return false;
    FileIdentity identity;
    if (currentIdentity(path, identity) && identity == stored->identity)
        return true;
    m_hashes.erase(stored);
    return false;
}

bool HashManager::isDownloadingLocked(const QString& path) const
{
    const DownloadManager* downloadManager = m_downloadManager.load();
    return downloadManager != nullptr && downloadManager->isDownloading(path);
}

void HashManager::forgetLocked(const QString& path)
{
    m_jobs.removeAll(path);
    m_hashes.remove(path);
    if (path == m_reading)
        m_readingFate = ReadFate::Discard;
    unwatch(path);
    failWaitersLocked(path);
}

void HashManager::failWaitersLocked(const QString& path)
{
    const auto waiters = m_waiters.find(path);
    if (waiters != m_waiters.end())
        ++waiters->failures;
    m_hashReady.wakeAll();
}

bool HashManager::watch(const QString& path, bool wait)
{
    const auto watched = std::make_shared<bool>(false);
    QMetaObject::invokeMethod(m_watcher, [this, path, watched] {
        // A replaced file keeps its name in the watcher's list while its old watch dies: renew it.
        if (m_watcher->files().contains(path))
            m_watcher->removePath(path);
        *watched = m_watcher->addPath(path);
    }, wait ? Qt::BlockingQueuedConnection : Qt::QueuedConnection);
    return !wait || *watched;
}

void HashManager::unwatch(const QString& path)
{
    QMetaObject::invokeMethod(m_watcher, [this, path] { m_watcher->removePath(path); },
                              Qt::QueuedConnection);
}
