#pragma once

// Cache of the MD5 and SHA-1 digests of local files: a worker thread reads each file once, the
// digests are kept by absolute path with the identity of the file they belong to, and forgotten when
// the file changes on disk or the path names another file (replaced, link re-pointed, folder moved
// aside). One instance, made
// and deleted by start-up, reached through Singleton<HashManager>::instance(); every public operation
// may be called from any thread except the cache's own two.

#include "core/Singleton.h"

#include <QHash>
#include <QMap>
#include <QMutex>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QWaitCondition>

#include <atomic>
#include <cstdint>

class DownloadManager;
class QFileSystemWatcher;
struct stat;

class HashManager : public QThread, public Singleton<HashManager>
{
    Q_OBJECT

public:
    // Digests of one file in lower-case hexadecimal; two null strings when nothing is known.
    struct Hash
    {
        QString md5;
        QString sha1;
    };

    // waitForHash time-out that means "no limit"; so does any value above 2147483647.
    static constexpr uint32_t NoTimeout = 0xFFFFFFFFu;

    // Starts the worker and the file watcher. Throws SingletonException when an instance exists.
    HashManager();
    // Clears the queue, ends every wait with false, lets the file under way finish, stops both threads.
    ~HashManager() override;

    // True with `out` filled when the digests are stored; otherwise false, `out` unchanged, and the
    // file queued when it exists, is not in download and is not ignored.
    bool getHashAsync(const QString& path, Hash& out);
    // As getHashAsync without the digests.
    bool hasHash(const QString& path);
    // Puts the file first in line and blocks until its digests are stored: true then, and at once
    // for a path where no file is. False on time-out, for an ignored file or one in download, when
    // its read fails, and when the cache shuts down.
    bool waitForHash(const QString& path, uint32_t timeoutMs);
    // Digests computed elsewhere (a finished download): replaces any stored record. False, storing
    // nothing, for an empty digest or when `path` is no regular file.
    bool setHash(const Hash& hash, const QString& path);
    // Forgets the file: record, queued job, watch; a wait on it ends with false.
    void removeFileHash(const QString& path);
    // Files in download are never read; set it before the first query. Null unregisters it.
    void setArtifactoryDownloadManager(DownloadManager* downloadManager);

signals:
    // The stored digests changed; once per batch of worker jobs.
    void fileChanged();

public slots:
    // Waits without limit; the empty record when there is nothing to wait for or the wait failed.
    Hash getHash(const QString& path);
    // An ignored file is never read; a job queued before is skipped. Stored records stay.
    void addToIgnoreList(const QString& path);
    void removeFromIgnoreList(const QString& path);

protected:
    void run() override;

private slots:
    // One job of the worker: true when the stored digests changed.
    bool retreiveHash(const QString& path);
    // The watcher saw a watched file change (watcher thread).
    void onFileTouched(const QString& path);

private:
    // What becomes of the file the worker is reading once it is read.
    enum class ReadFate { Store, Retry, Discard };
    enum class ReadOutcome { Done, Changed, CannotOpen, CannotRead, CannotWatch };
    // What tells the file a path names now from the one it named before: the watcher sees changes
    // to a file, not a path that comes to name another one.
    struct FileIdentity
    {
        quint64 device = 0;
        quint64 inode = 0;
        qint64 size = -1;
        qint64 modifiedNs = 0;
        bool operator==(const FileIdentity& other) const;
    };
    struct Record
    {
        Hash hash;
        FileIdentity identity;
    };
    // Waits in progress on one file; `failures` counts the jobs that ended without digests.
    struct Waiters
    {
        int count = 0;
        uint64_t failures = 0;
    };

    static FileIdentity identityOf(const struct stat& status);
    // The identity of the file `path` names now (links followed); false when there is none.
    static bool currentIdentity(const QString& path, FileIdentity& identity);
    bool query(const QString& path, Hash* out);
    // Reads the file once for both digests (worker thread, lock not held). Changed: the file is not
    // the one that was opened, or changed while read.
    ReadOutcome readFile(const QString& path, Record& record);
    // Lock held by the caller for the *Locked functions.
    // True when a record of the file now at `path` is stored; a record of another file is dropped.
    bool hasCurrentRecordLocked(const QString& path);
    bool isDownloadingLocked(const QString& path) const;
    void forgetLocked(const QString& path);
    void failWaitersLocked(const QString& path);
    // Watches and unwatches run in the watcher's thread. With `wait` the call returns once the watch
    // is in place (true) or refused; never called with the lock held.
    bool watch(const QString& path, bool wait);
    void unwatch(const QString& path);

    QMap<QString, Record> m_hashes;
    QThread m_watcherThread;
    QFileSystemWatcher* m_watcher; // lives in m_watcherThread, which deletes it when it finishes
    QMutex m_mutex;                // guards everything below, and m_hashes
    QWaitCondition m_jobAdded;     // queue not empty, or stop
    QWaitCondition m_hashReady;    // a job ended, a record was stored or dropped, or stop
    QWaitCondition m_waitsEnded;   // the last wait left after stop
    QStringList m_jobs;
    bool m_stop = false;
    QSet<QString> m_ignoreList;
    QHash<QString, Waiters> m_waiters;
    int m_waitCount = 0;
    QString m_reading; // file the worker reads now, empty between reads
    ReadFate m_readingFate = ReadFate::Store;
    std::atomic<DownloadManager*> m_downloadManager{nullptr};
};
