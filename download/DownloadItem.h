#pragma once

// One HTTP(S) GET of one file from the repository server, into a file (written beside the target
// and renamed onto it once whole and verified) or into a device the caller supplies, with its status,
// its place in a tree of downloads that complete together, and for a flash file the post-processing
// its manager hands in. Created, queued and deleted only by its DownloadManager; run() executes on a
// pool thread, queued calls in the manager's item thread; the other operations may be called from any
// thread. The item's lock guards its own state only: no signal is emitted while it is held.

#include "download/DownloadManager.h"
#include "download/FileTransfer.h"
#include "download/ItemWork.h"
#include "platform/log/LoggedObject.h"
#include "platform/log/Logger.h"

#include <QHostAddress>
#include <QIODevice>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QReadWriteLock>
#include <QRunnable>
#include <QString>
#include <QUrl>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

class QSslConfiguration;

class DownloadItem : public QObject, public LoggedObject, public QRunnable
{
    Q_OBJECT

public:
    enum DownloadType : int {
        DOWNLOAD_TYPE_DEVICE = 0,     // into the caller's device, which stays the caller's
        DOWNLOAD_TYPE_SIMPLE_FILE = 1,
        DOWNLOAD_TYPE_FLASH_FILE = 2, // unpacked (archive) or checked once transferred
    };

    using ItemSet = QList<QPointer<DownloadItem>>; // in linking order, each item once
    // Post-processing of a transferred flash file at `path`: DOWNLOAD_SUCCESS, or the status the
    // item fails with and the reason in `message`. Runs on the thread that finished the transfer.
    using FlashFileProcessor = std::function<DownloadManager::DownloadStatus(const QString& path, QString& message)>;

    // A file download into `outputPath`. A null `server` resolves the URL's host (blocking).
    DownloadItem(DownloadManager* manager, DownloadType type, const QHostAddress& server,
                 const QUrl& source, const QString& outputPath, const QString& user,
                 const QString& password, DownloadManager::DownloadId id,
                 DownloadManager::DownloadBehavior behavior);
    DownloadItem(DownloadManager* manager, DownloadType type, const QUrl& source,
                 const QString& outputPath, const QString& user, const QString& password,
                 DownloadManager::DownloadId id, DownloadManager::DownloadBehavior behavior);
    // A download into `output`, never taken from a cache.
    DownloadItem(DownloadManager* manager, const QHostAddress& server, const QUrl& source,
                 QIODevice* output, const QString& user, const QString& password,
                 DownloadManager::DownloadId id);
    DownloadItem(DownloadManager* manager, const QUrl& source, QIODevice* output, const QString& user,
                 const QString& password, DownloadManager::DownloadId id);
    // Unlinks the item from its tree. Work still under way (it never is when the manager releases the
    // item) is aborted and waited for.
    ~DownloadItem() override;

    // The whole transfer, synchronously; only for a pending item (502), otherwise nothing happens.
    // Ends with exactly one downloadFinished (for a flash file after its post-processing).
    void run() override;

    // Set these before the item is queued.
    void setSSLConfiguration(const QSslConfiguration& configuration);
    void setLogLevel(const Logger::LogLevel& level);
    // Without one, a transferred flash file is taken as it is.
    void setFlashFileProcessor(FlashFileProcessor processor);

    void setDownloadSize(unsigned long long size);
    void getDownloadProgress(quint64& received, quint64& total) const;
    void setContentType(const QString& contentType);
    QString getContentType() const;

    Logger::LogLevel getLogLevel() const;
    DownloadManager::DownloadId getId() const;
    // Without user information.
    QUrl getSource() const;
    QHostAddress getServerIP() const;
    QString getOutputFile() const;
    DownloadType getType() const;
    DownloadManager* getManager() const;
    DownloadManager::DownloadBehavior getBehavior() const;
    // Lower-case hexadecimal digests of the data of a successful transfer; empty otherwise.
    QString getMD5() const;
    QString getSha1() const;
    bool areHashesValid() const;

    DownloadManager::DownloadStatus getStatus() const;
    QString getStatusMessage() const;
    // Every status but 501 to 505.
    bool hasFailed() const;
    // Every status but 501, 502, 503 and 505.
    bool isFinished() const;
    void changeStatus(DownloadManager::DownloadStatus status, const QString& message);

    // Links made and removed only while neither item runs.
    void addChildDownload(DownloadItem* child);
    void addToParent(DownloadItem* parent);
    void removeFromParent(DownloadItem* parent);
    void removeFromAllParents();
    const ItemSet& getChildren() const;
    const ItemSet& getParents() const;
    const ItemSet& parents() const;

signals:
    void downloadStarted(DownloadManager::DownloadId id);
    void downloadWaiting(DownloadManager::DownloadId id);
    void downloadProgress(DownloadManager::DownloadId id, quint64 received, quint64 total);
    void downloadFinished(DownloadManager::DownloadId id, DownloadManager::DownloadStatus status);
    void downloadReleased(DownloadManager::DownloadId id);
    void childDownloadsFinished(DownloadManager::DownloadId id);
    void childDownloadAdded(DownloadManager::DownloadId parent, DownloadManager::DownloadId child);
    // Always delivered through the item thread's event loop, never inside changeStatus.
    void statusChanged(DownloadManager::DownloadId id, DownloadManager::DownloadStatus status,
                       DownloadManager::DownloadStatus previous);
    // The server wants credentials: a receiver may replace them and clears `cancel` to retry.
    // Emitted on the transfer's thread.
    void authentificationFailed(DownloadItemPtr item, QString* user, QString* password, bool* cancel);

public slots:
    // A queued or unstarted item ends at once with 5; a running one ends soon with 5.
    void abort();
    void abortChildren();
    bool retry();
    void setTimeouts(uint64_t startTimeout, uint64_t stuckTimeout);

private slots:
    void onChildComplete();

private:
    friend class DownloadManager;
    // A status set under the lock, announced once the lock is released.
    struct StatusChange
    {
        DownloadManager::DownloadStatus status = DownloadManager::DOWNLOAD_NEVER_STARTED;
        DownloadManager::DownloadStatus previous = DownloadManager::DOWNLOAD_NEVER_STARTED;
    };

    void initialize(DownloadType type, const QHostAddress& server, const QUrl& source,
                    const QString& outputPath, QIODevice* output, const QString& user,
                    const QString& password, DownloadManager::DownloadBehavior behavior);
    void checkAddress();
    QString objectText() const;
    QString sourceText() const;

    // Write lock held; announce() the change once the lock is released.
    StatusChange setStatusLocked(DownloadManager::DownloadStatus status, const QString& message);
    // Posts statusChanged to the item's thread.
    void announce(const StatusChange& change);
    // Write lock held.
    QString startLineLocked() const;
    // Takes the transfer's end and emits downloadFinished; a completed flash file first goes through
    // its post-processing.
    void finish(const FileTransfer::Outcome& outcome);
    void onTransferProgress(quint64 received, quint64 total);
    void onCredentialsRequired(QString* user, QString* password, bool* cancel);
    void emitProgress();
    void postProcessFlashFile();
    // 505, post-processed, every child finished: 504. `postProcessed`: the item's own work is over.
    void completeWhenChildrenDone(bool postProcessed);
    // Write lock held; leaves `parents()` as it is.
    void removeFromParentLocked(DownloadItem* parent);
    void removeFromAllParentsLocked();

    // Manager side, each under the item's own lock.
    void setBehavior(DownloadManager::DownloadBehavior behavior);
    bool hasUser() const;
    void useCachedCopy(const QString& cachedPath, DownloadManager::DownloadStatus status,
                       const QString& message);
    void resetForRetry(bool keepExpectedSize);
    // For the priority pool: false for 401 and 503; otherwise counters reset as the status asks and
    // the status becomes 502.
    bool makePendingForPriority(bool& wasPendingInNormalPool);
    void makePending();
    // Work that keeps a pool thread or the item thread inside this item: a queued or running run(),
    // post-processing of a cached copy. The item is freed only when there is none. Shared, so that a
    // waiter keeps it while the item goes.
    std::shared_ptr<ItemWork> work() const;
    // Post-processing of a cached flash file (item thread).
    void postProcessCachedFile();

    const DownloadManager::DownloadId m_id;
    quint64 m_receivedBytes = 0;
    quint64 m_totalBytes = 0;
    QHostAddress m_serverAddress;
    QUrl m_source;
    QString m_outputPath;
    QPointer<QIODevice> m_output;             // the caller's device
    QString m_user;
    QString m_password;
    std::atomic<DownloadManager::DownloadStatus> m_status{DownloadManager::DOWNLOAD_NEVER_STARTED}; // read without lock
    QString m_statusMessage;
    DownloadManager::DownloadBehavior m_behavior = DownloadManager::BEHAVIOR_ALWAYS_DOWNLOAD;
    DownloadType m_type = DOWNLOAD_TYPE_DEVICE;
    QString m_contentType;
    FileTransfer* m_transfer = nullptr;       // while run() transfers
    DownloadManager* const m_manager;
    ItemSet m_parentItems;
    ItemSet m_childItems;
    QString m_md5;                            // of the last transfer, when it completed
    QString m_sha1;
    bool m_postProcessed = false;             // a 505 item's own work is over
    std::unique_ptr<QSslConfiguration> m_sslConfiguration;
    FlashFileProcessor m_flashFileProcessor;
    std::atomic<uint64_t> m_startTimeout{0};
    std::atomic<uint64_t> m_stuckTimeout{0};
    mutable QReadWriteLock m_lock;
    Logger::LogLevel m_logLevel = Logger::INFO;
    const std::shared_ptr<ItemWork> m_work;
};

Q_DECLARE_METATYPE(DownloadItemPtr)
