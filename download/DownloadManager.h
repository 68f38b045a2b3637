#pragma once

// Client of the repository server: owns every download (DownloadItem) from its request to its
// release, queues them on a normal and a priority pool, decides with the cache whether a file must be
// fetched, hands the digests of finished files to the hash cache. Lives in a thread of its own and
// moves its items to a second one; every public operation may be called from any thread.
// Nothing in the program creates one: whoever does deletes it after cancelAllDownloads().

#include "core/ThreadPool.h"
#include "platform/log/LoggedObject.h"
#include "platform/log/Logger.h"

#include <QHostAddress>
#include <QList>
#include <QMetaType>
#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QReadWriteLock>
#include <QString>
#include <QThread>

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>

class CacheManager;
class DownloadItem;
class QDir;
class QEvent;
class QFile;
class QIODevice;
class QSslConfiguration;
class QUrl;

// Null once the download is released.
using DownloadItemPtr = QPointer<DownloadItem>;

class DownloadManager : public QObject, public LoggedObject
{
    Q_OBJECT

public:
    // From 1 upwards, never reused; 0 is no download.
    using DownloadId = uint64_t;
    // One of DownloadStatusValue, or the QNetworkReply::NetworkError number of a failed transfer.
    using DownloadStatus = int;

    enum DownloadStatusValue : int {
        DOWNLOAD_CANCELLED = 5,
        DOWNLOAD_INVALID_URL = 401,            // a folder or a file without extension; never retried
        DOWNLOAD_INVALID_FLASH_FILE = 402,
        DOWNLOAD_OUTPUT_ERROR = 403,
        DOWNLOAD_NO_MEMORY = 404,
        DOWNLOAD_INTEGRITY_FAILED = 405,
        DOWNLOAD_UNHANDLED_ERROR = 499,
        DOWNLOAD_NEVER_STARTED = 501,
        DOWNLOAD_PENDING = 502,
        DOWNLOAD_IN_PROGRESS = 503,
        DOWNLOAD_SUCCESS = 504,
        DOWNLOAD_POST_PROCESSING = 505,
        DOWNLOAD_STUCK = 506,
        // Answers of the server. Qt reports HTTP 500, 501, 503 and other 5xx as 401, 402, 403 and
        // 499, which are the numbers of our own failures above: they are told apart here.
        DOWNLOAD_UNEXPECTED_HTTP_STATUS = 600, // no network error, but no 2xx either (a redirect)
        DOWNLOAD_SERVER_INTERNAL_ERROR = 601,  // HTTP 500
        DOWNLOAD_SERVER_NOT_IMPLEMENTED = 602, // HTTP 501
        DOWNLOAD_SERVER_UNAVAILABLE = 603,     // HTTP 503
        DOWNLOAD_SERVER_ERROR = 699,           // any other HTTP 5xx
    };

    // What to do when the target is already in the cache.
    enum DownloadBehavior : int {
        BEHAVIOR_USE_CACHE = 0,             // use a cached copy whenever there is one
        BEHAVIOR_USE_UP_TO_DATE_CACHE = 1,  // use it unless the cache says it is out of date
        BEHAVIOR_ALWAYS_DOWNLOAD = 2,
        BEHAVIOR_ASK_IF_CACHED = 3,         // ask whenever there is a cached copy
        BEHAVIOR_ASK_IF_NOT_OUTDATED = 4,   // ask, but download an out-of-date copy without asking
    };

    // The client's answer to a cache question, and the outcome of the cache decision.
    enum DownloadActionAnswer : int {
        ANSWER_CANCEL = 0,
        ANSWER_USE_CACHE = 1,
        ANSWER_USE_CACHE_ALWAYS = 2,        // and from now on without asking
        ANSWER_DOWNLOAD = 3,
        ANSWER_DOWNLOAD_ALWAYS = 4,         // and from now on without asking
    };

    // A cache question: one of the three question signals.
    using QuestionSignal = void (DownloadManager::*)(DownloadManager::DownloadActionAnswer*,
                                                     DownloadItem*, bool);

    // `maxParallel` transfers at a time in each pool; 0: QThread::idealThreadCount().
    explicit DownloadManager(unsigned char maxParallel = 0);
    // Cancels everything, waits for the transfers to end and releases every item.
    ~DownloadManager() override;

    DownloadManager(const DownloadManager&) = delete;
    DownloadManager& operator=(const DownloadManager&) = delete;

    // Not owned; null: the item's own output file serves as the cache.
    void setCacheManager(CacheManager* cacheManager);
    void setMaxParallelDownloandsCount(unsigned char count);
    void setMaxParallelPriorityDownloandsCount(unsigned char count);

    // True when an interface that is up, not loop-back, has an address.
    static bool isConnectedToNetwork();
    // The TLS settings every download of this manager starts with.
    QSslConfiguration getSslConfiguration() const;

    // Whether a downloaded flash file archive is unpacked beside it (the default) or only kept.
    // Set by the owner before downloads start; read by the items on their threads.
    void setUnpacksArchives(bool unpacks);
    bool unpacksArchives() const;

    DownloadItemPtr operator[](DownloadId id);
    DownloadItemPtr operator[](DownloadId id) const;
    DownloadItemPtr getDownload(DownloadId id);
    DownloadItemPtr getDownload(DownloadId id) const;
    QList<DownloadItemPtr> getDownloads() const;
    bool hasDownload(DownloadId id) const;
    // Never started, pending or in progress.
    int getActiveDownloadCount() const;
    bool isDownloading() const;
    // True while a download into `path` (made absolute) is pending or in progress. Virtual so that
    // the hash cache's tests can report a file in download; never calls back into the hash cache,
    // which asks with its own lock held.
    virtual bool isDownloading(const QString& path) const;
    // 0 when no file download has that source.
    DownloadId getDownloadId(const QUrl& url) const;

    // Received and expected bytes over every item whose expected size is known and not exceeded.
    void getGlobalProgress(quint64& received, quint64& expected) const;

signals:
    // Bytes received, bytes expected, finished downloads, counted (file) downloads.
    void globalDownloadProgress(quint64 received, quint64 expected, quint64 finished, quint64 counted);
    void downloadCreated(DownloadManager::DownloadId id);
    void downloadWaiting(DownloadManager::DownloadId id);
    void downloadStarted(DownloadManager::DownloadId id);
    void downloadFinished(DownloadManager::DownloadId id, DownloadManager::DownloadStatus status);
    void downloadProgress(DownloadManager::DownloadId id, quint64 received, quint64 total);
    void downloadReleased(DownloadManager::DownloadId id);
    // A download finished and no item is unfinished any more.
    void downloadsCompleted();
    void flashFileCompleted(DownloadManager::DownloadId id);
    // Cache questions, emitted in the manager's thread: the receiver writes the answer before its
    // slot returns (direct or blocking connection). No answer leaves ANSWER_USE_CACHE.
    void downloadInCacheAction(DownloadManager::DownloadActionAnswer* answer, DownloadItem* item, bool isXml);
    void downloadOutToDateAction(DownloadManager::DownloadActionAnswer* answer, DownloadItem* item, bool isXml);
    void downloadUpToDateAction(DownloadManager::DownloadActionAnswer* answer, DownloadItem* item, bool isXml);
    void timeoutsChanged(uint64_t startTimeout, uint64_t stuckTimeout);

public slots:
    // Request operations: a new item in 501 (not started), or null. A flash file goes into `folder`
    // under the last segment of the URL path; asking again for the same target hands out the same
    // item. Credentials inside the URL serve when no user name is given; the URL is kept without them.
    DownloadItemPtr downloadFlashFile(const QUrl& url, const QHostAddress& server, const QDir& folder,
                                      DownloadManager::DownloadBehavior behavior);
    DownloadItemPtr downloadFlashFile(const QUrl& url, const QHostAddress& server, const QDir& folder,
                                      const QString& user, const QString& password,
                                      DownloadManager::DownloadBehavior behavior);
    DownloadItemPtr downloadSimpleFile(const QUrl& url, const QHostAddress& server, const QFile& file,
                                       DownloadManager::DownloadBehavior behavior,
                                       Logger::LogLevel logLevel = Logger::INFO);
    DownloadItemPtr downloadSimpleFile(const QUrl& url, const QHostAddress& server, const QFile& file,
                                       const QString& user, const QString& password,
                                       DownloadManager::DownloadBehavior behavior,
                                       Logger::LogLevel logLevel = Logger::INFO);
    // Into an open device that stays the caller's; such a download keeps the time-outs it was
    // created with and is never taken from the cache.
    DownloadItemPtr downloadSimpleFile(const QUrl& url, const QHostAddress& server, QIODevice* device,
                                       Logger::LogLevel logLevel = Logger::INFO);
    DownloadItemPtr downloadSimpleFile(const QUrl& url, const QHostAddress& server, QIODevice* device,
                                       const QString& user, const QString& password,
                                       Logger::LogLevel logLevel = Logger::INFO);

    // Queues an item without cache decision, taking it over from the normal queue.
    bool startPriorityDownload(DownloadItemPtr item);
    // Cache decision, then queued in the normal pool or completed from the cache. Only for an item
    // that was never started (501); false otherwise.
    bool startDownload(DownloadItemPtr item);
    bool retryDownload(DownloadItemPtr item);
    bool retryDownload(DownloadManager::DownloadId id);
    bool retryPriorityDownload(DownloadItemPtr item);
    bool retryPriorityDownload(DownloadManager::DownloadId id);
    // The only way an item is destroyed. A running item is aborted first, and freed only once its
    // work has returned; the caller's events are delivered meanwhile.
    void releaseDownload(DownloadItemPtr item);
    void releaseDownload(DownloadManager::DownloadId id);
    // Releases every finished tree; unfinished branches stay.
    void releaseCompletedDownloads();
    // Withdraws the queued downloads and aborts the others; nothing is released.
    void cancelAllDownloads();
    // Blocks until both pools are idle.
    void waitAllDownloadForFinish();
    // Applied to every file download, including the ones already created.
    void setTimeouts(uint64_t startTimeout, uint64_t stuckTimeout);

protected:
    // Delivers a cache question (DeferredSignal) in the manager's thread.
    void customEvent(QEvent* event) override;

private slots:
    void onDownloadDone(DownloadManager::DownloadId id);
    void onDownloadProgress();
    // Withdraws the item's queued task from both pools; a running one goes on.
    void removeDownloadFromTaskList(DownloadItem* item);

private:
    friend class DownloadItem; // an aborted item withdraws itself from the pools
    enum class Pool { Normal, Priority };

    bool buildDownloadItem(bool isFlashFile, const QUrl& url, const QHostAddress& server,
                           const QString& targetPath, const QString& user, const QString& password,
                           DownloadBehavior behavior, DownloadItem*& item);
    // Lock held by the caller. False, deleting the item, when its id is taken already.
    bool registerItemLocked(DownloadItem* item);
    // Outside the lock: thread, TLS configuration, forwarded signals, logging, a flash file's
    // post-processing.
    void adoptItem(DownloadItem* item, bool followTimeouts);
    // A flash file once transferred (or found in the cache): a hardware list as it is, an archive
    // unpacked beside itself when this manager unpacks. The flash file of `source` is at `path`.
    DownloadStatus postProcessFlashFile(const QString& path, const QString& source, QString& message) const;
    DownloadItemPtr findItem(DownloadId id) const;
    DownloadActionAnswer checkNeedDownload(DownloadItemPtr item, bool isXml, QString& cachedPath,
                                           QString& statusMessage, bool hasUser);
    // The item's downloadFinished, emitted later in the item thread.
    void finishLater(DownloadItemPtr item, DownloadStatus status);
    bool queueItem(DownloadItem* item, Pool pool);
    bool withdrawItem(DownloadItem* item, Pool pool);
    bool retry(DownloadItemPtr item, Pool pool);
    bool releaseCompletedDownload(DownloadId id);
    void requestProgressUpdate();
    // Deletes the item in the item thread, where its queued calls run.
    void deleteItem(DownloadItem* item);

    ThreadPool m_normalPool;
    ThreadPool m_priorityPool;
    DownloadId m_nextDownloadId = 1;
    std::map<DownloadId, DownloadItem*> m_downloads;
    std::map<QString, DownloadItem*> m_downloadsByPath;
    std::map<QString, DownloadItem*> m_downloadsByUrl;
    std::atomic<uint64_t> m_startTimeout{0};
    std::atomic<uint64_t> m_stuckTimeout{0};
    mutable QReadWriteLock m_lock;
    QMutex m_progressMutex;
    CacheManager* m_cacheManager = nullptr;
    QThread m_itemThread;
    QObject m_itemThreadContext; // lives in m_itemThread: items are deleted there
    QThread m_managerThread;
    std::unique_ptr<QSslConfiguration> m_sslConfiguration;
    std::atomic<bool> m_unpacksArchives{true};
};

Q_DECLARE_METATYPE(DownloadManager::DownloadActionAnswer)
Q_DECLARE_METATYPE(DownloadManager::DownloadActionAnswer*)
