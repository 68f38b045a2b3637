#include "download/DownloadItem.h"

#include "core/Utils.h"
#include "download/DownloadTarget.h"

#include <QFileInfo>
#include <QReadLocker>
#include <QSslConfiguration>
#include <QWriteLocker>
#include <QtDebug>

using Status = DownloadManager::DownloadStatusValue;

namespace {

QString quoted(const QString& text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

} // namespace

DownloadItem::DownloadItem(DownloadManager* manager, DownloadType type, const QHostAddress& server,
                           const QUrl& source, const QString& outputPath, const QString& user,
                           const QString& password, DownloadManager::DownloadId id,
                           DownloadManager::DownloadBehavior behavior)
    : m_id(id)
    , m_manager(manager)
    , m_work(std::make_shared<ItemWork>())
{
    initialize(type, server, source, outputPath, nullptr, user, password, behavior);
}

DownloadItem::DownloadItem(DownloadManager* manager, DownloadType type, const QUrl& source,
                           const QString& outputPath, const QString& user, const QString& password,
                           DownloadManager::DownloadId id, DownloadManager::DownloadBehavior behavior)
    : DownloadItem(manager, type, QHostAddress(), source, outputPath, user, password, id, behavior)
{
}

DownloadItem::DownloadItem(DownloadManager* manager, const QHostAddress& server, const QUrl& source,
                           QIODevice* output, const QString& user, const QString& password,
                           DownloadManager::DownloadId id)
    : m_id(id)
    , m_manager(manager)
    , m_work(std::make_shared<ItemWork>())
{
    initialize(DOWNLOAD_TYPE_DEVICE, server, source, QString(), output, user, password,
               DownloadManager::BEHAVIOR_ALWAYS_DOWNLOAD);
}

DownloadItem::DownloadItem(DownloadManager* manager, const QUrl& source, QIODevice* output,
                           const QString& user, const QString& password, DownloadManager::DownloadId id)
    : DownloadItem(manager, QHostAddress(), source, output, user, password, id)
{
}

void DownloadItem::initialize(DownloadType type, const QHostAddress& server, const QUrl& source,
                              const QString& outputPath, QIODevice* output, const QString& user,
                              const QString& password, DownloadManager::DownloadBehavior behavior)
{
    m_type = type;
    m_serverAddress = server;
    // Credentials never stay inside the URL, which log lines and messages show.
    m_source = source.adjusted(QUrl::RemoveUserInfo);
    m_user = user;
    m_password = password;
    if (m_user.isEmpty() && !source.userName().isEmpty()) {
        m_user = source.userName();
        m_password = source.password();
    }
    m_outputPath = outputPath;
    m_output = output;
    m_behavior = behavior;
    m_statusMessage = QStringLiteral("Download never started");
    const QString managerName = m_manager != nullptr ? m_manager->objectName() : QString();
    setObjectName(QStringLiteral("Download #") + managerName + QString::number(m_id));
    checkAddress();
}

DownloadItem::~DownloadItem()
{
    if (m_work->isBusy()) {
        logMessage(Logger::ERROR, "Trying to delete a running download. Next time abort it before");
        abort();
        work()->waitUntilIdle();
    }
    {
        QWriteLocker locker(&m_lock);
        while (!m_childItems.isEmpty()) {
            const QPointer<DownloadItem> child = m_childItems.takeFirst();
            if (child.isNull())
                continue;
            QWriteLocker childLocker(&child->m_lock);
            child->removeFromParentLocked(this);
            child->m_parentItems.removeAll(this);
        }
        removeFromAllParentsLocked();
        if (m_output != nullptr && m_output->isOpen()) {
            logMessage(Logger::ERROR, "Closing a destination file in destructor");
            m_output->close();
        }
    }
    emit downloadReleased(m_id);
    qDebug().noquote() << "destructor DownloadItem OK ID=" + quoted(objectName()) + " URL="
                              + quoted(sourceText());
}

void DownloadItem::checkAddress()
{
    if (!m_serverAddress.isNull())
        return;
    const QList<QHostAddress> addresses = Utils::getHostByName(m_source.host());
    if (!addresses.isEmpty())
        m_serverAddress = addresses.first();
}

QString DownloadItem::objectText() const
{
    return quoted(objectName());
}

QString DownloadItem::sourceText() const
{
    return m_source.toString(QUrl::RemoveUserInfo);
}

// ---- Transfer ----

void DownloadItem::run()
{
    const ItemWork::Scope working(m_work); // first, so it ends last: the item may be freed then
    FileTransfer transfer;
    transfer.setObjectName(objectName());
    bindLogHandlers(transfer);
    connect(&transfer, &FileTransfer::progressChanged, this, &DownloadItem::onTransferProgress, Qt::DirectConnection);
    connect(&transfer, &FileTransfer::progressDue, this, &DownloadItem::emitProgress, Qt::DirectConnection);
    connect(&transfer, &FileTransfer::credentialsRequired, this, &DownloadItem::onCredentialsRequired,
            Qt::DirectConnection);

    DownloadTarget target;
    QIODevice* output = nullptr;
    FileTransfer::Request request;
    QString startLine;
    QString error;
    StatusChange change;
    {
        QWriteLocker locker(&m_lock);
        if (m_status != Status::DOWNLOAD_PENDING || m_transfer != nullptr)
            return;
        m_receivedBytes = 0;
        // Opened in the scope that takes the item out of 502: a run that cannot write never shows as
        // started, and abort() meets either a pending item or one whose transfer it can reach.
        output = m_type == DOWNLOAD_TYPE_DEVICE ? target.openDevice(m_output, error)
                                                : target.openFile(m_outputPath, error);
        if (output == nullptr) {
            change = setStatusLocked(Status::DOWNLOAD_OUTPUT_ERROR, error);
        } else {
            request = {m_source, m_serverAddress, m_user, m_password,
                       m_sslConfiguration != nullptr ? *m_sslConfiguration : QSslConfiguration::defaultConfiguration(),
                       m_startTimeout, m_stuckTimeout};
            startLine = startLineLocked();
            m_md5.clear();
            m_sha1.clear();
            m_transfer = &transfer;
            change = setStatusLocked(Status::DOWNLOAD_IN_PROGRESS, QStringLiteral("Download in progress"));
        }
    }
    announce(change);
    if (output == nullptr) {
        emit downloadFinished(m_id, Status::DOWNLOAD_OUTPUT_ERROR);
        return;
    }
    logMessage(m_logLevel, startLine);
    emit downloadStarted(m_id);

    FileTransfer::Outcome outcome = transfer.run(request, output);
    {
        QWriteLocker locker(&m_lock);
        m_transfer = nullptr;
    }
    emitProgress();
    // Only a whole, verified file replaces the target; anything else leaves the target as it was.
    if (!target.close(outcome.end() == FileTransfer::End::Completed, error)) {
        outcome.status = Status::DOWNLOAD_OUTPUT_ERROR;
        outcome.message = error;
        outcome.md5.clear();
        outcome.sha1.clear();
    }
    finish(outcome);
}

QString DownloadItem::startLineLocked() const
{
    QString line = QStringLiteral("Downloading ") + sourceText();
    if (m_type != DOWNLOAD_TYPE_DEVICE)
        line += QStringLiteral(" in ") + m_outputPath;
    if (!m_user.isEmpty())
        line += QStringLiteral(" using credentials of ") + m_user;
    return line;
}

void DownloadItem::finish(const FileTransfer::Outcome& outcome)
{
    const bool postProcess = outcome.end() == FileTransfer::End::Completed && m_type == DOWNLOAD_TYPE_FLASH_FILE;
    StatusChange ended;
    StatusChange processing;
    {
        QWriteLocker locker(&m_lock);
        m_contentType = outcome.contentType;
        m_md5 = outcome.md5;
        m_sha1 = outcome.sha1;
        ended = setStatusLocked(outcome.status, outcome.message);
        if (postProcess) {
            processing = setStatusLocked(Status::DOWNLOAD_POST_PROCESSING, outcome.message);
            m_postProcessed = false;
        }
    }
    announce(ended);
    if (!postProcess) {
        emit downloadFinished(m_id, outcome.status);
        return;
    }
    announce(processing);
    postProcessFlashFile(); // sends the final downloadFinished
}

void DownloadItem::onTransferProgress(quint64 received, quint64 total)
{
    QWriteLocker locker(&m_lock);
    m_receivedBytes = received;
    m_totalBytes = total;
}

void DownloadItem::emitProgress()
{
    quint64 received = 0;
    quint64 total = 0;
    getDownloadProgress(received, total);
    emit downloadProgress(m_id, received, total);
}

void DownloadItem::onCredentialsRequired(QString* user, QString* password, bool* cancel)
{
    emit authentificationFailed(DownloadItemPtr(this), user, password, cancel);
    if (*cancel)
        return;
    QWriteLocker locker(&m_lock);
    m_user = *user;
    m_password = *password;
}

// ---- Post-processing of a flash file ----

void DownloadItem::postProcessFlashFile()
{
    logMessage(Logger::TRACE, "Flash file download succeed");
    QString path;
    {
        QReadLocker locker(&m_lock);
        if (m_status != Status::DOWNLOAD_POST_PROCESSING)
            return;
        path = QFileInfo(m_outputPath).absoluteFilePath();
    }
    logMessage(Logger::TRACE, "Post processing download ...");
    QString message;
    const DownloadManager::DownloadStatus status =
        m_flashFileProcessor ? m_flashFileProcessor(path, message) : DownloadManager::DownloadStatus(Status::DOWNLOAD_SUCCESS);
    if (status != Status::DOWNLOAD_SUCCESS) {
        changeStatus(status, message);
        emit downloadFinished(m_id, status);
        return;
    }
    completeWhenChildrenDone(true);
}

void DownloadItem::postProcessCachedFile()
{
    const ItemWork::Scope working(m_work);
    postProcessFlashFile();
}

// ---- Status and tree ----

void DownloadItem::changeStatus(DownloadManager::DownloadStatus status, const QString& message)
{
    StatusChange change;
    {
        QWriteLocker locker(&m_lock);
        change = setStatusLocked(status, message);
    }
    announce(change);
}

DownloadItem::StatusChange DownloadItem::setStatusLocked(DownloadManager::DownloadStatus status,
                                                         const QString& message)
{
    const StatusChange change{status, m_status};
    m_status = status;
    m_statusMessage = message;
    return change;
}

void DownloadItem::announce(const StatusChange& change)
{
    qDebug().noquote() << "Status changed of " + objectText() + " to " + quoted(QString::number(change.status));
    const DownloadManager::DownloadId id = m_id;
    QMetaObject::invokeMethod(
        this, [this, id, change] { emit statusChanged(id, change.status, change.previous); },
        Qt::QueuedConnection);
}

void DownloadItem::completeWhenChildrenDone(bool postProcessed)
{
    StatusChange change;
    {
        QWriteLocker locker(&m_lock);
        if (postProcessed)
            m_postProcessed = true;
        // A child that ends while the file is still being post-processed does not complete the item.
        if (m_status != Status::DOWNLOAD_POST_PROCESSING || !m_postProcessed)
            return;
        for (const QPointer<DownloadItem>& child : qAsConst(m_childItems)) {
            if (!child.isNull() && !child->isFinished())
                return;
        }
        change = setStatusLocked(Status::DOWNLOAD_SUCCESS, m_statusMessage);
    }
    announce(change);
    emit childDownloadsFinished(m_id);
    emit downloadFinished(m_id, Status::DOWNLOAD_SUCCESS);
}

void DownloadItem::onChildComplete()
{
    const DownloadManager::DownloadStatus status = m_status;
    if (status == Status::DOWNLOAD_POST_PROCESSING) {
        completeWhenChildrenDone(false);
        return;
    }
    if (status == Status::DOWNLOAD_NEVER_STARTED || status == Status::DOWNLOAD_PENDING
        || status == Status::DOWNLOAD_IN_PROGRESS)
        return;
    emit downloadFinished(m_id, status); // a finished parent echoes each child's end
}

void DownloadItem::abort()
{
    StatusChange change;
    {
        QWriteLocker locker(&m_lock);
        if (m_status == Status::DOWNLOAD_IN_PROGRESS) {
            if (m_transfer != nullptr)
                m_transfer->cancel();
            return;
        }
        if (m_status != Status::DOWNLOAD_NEVER_STARTED && m_status != Status::DOWNLOAD_PENDING)
            return;
        change = setStatusLocked(Status::DOWNLOAD_CANCELLED, QStringLiteral("Download cancelled"));
    }
    announce(change);
    if (m_manager != nullptr)
        m_manager->removeDownloadFromTaskList(this);
    emit downloadFinished(m_id, Status::DOWNLOAD_CANCELLED);
}

void DownloadItem::abortChildren()
{
    ItemSet children;
    {
        QReadLocker locker(&m_lock);
        children = m_childItems;
    }
    // Not under the lock: an unstarted child finishes inside abort(), which reaches onChildComplete().
    for (const QPointer<DownloadItem>& child : qAsConst(children)) {
        if (!child.isNull())
            child->abort();
    }
}

bool DownloadItem::retry()
{
    return m_manager != nullptr && m_manager->retryDownload(m_id);
}

void DownloadItem::addChildDownload(DownloadItem* child)
{
    if (child != nullptr)
        child->addToParent(this);
}

void DownloadItem::addToParent(DownloadItem* parent)
{
    if (parent == nullptr || parent == this)
        return;
    {
        QWriteLocker locker(&m_lock);
        if (m_parentItems.contains(parent))
            return;
        QWriteLocker parentLocker(&parent->m_lock);
        m_parentItems.append(parent);
        parent->m_childItems.append(this);
        connect(this, &DownloadItem::downloadFinished, parent, &DownloadItem::onChildComplete,
                Qt::DirectConnection);
    }
    emit parent->childDownloadAdded(parent->m_id, m_id);
}

void DownloadItem::removeFromParentLocked(DownloadItem* parent)
{
    if (parent == nullptr || !m_parentItems.contains(parent))
        return;
    parent->m_childItems.removeAll(this);
    disconnect(this, nullptr, parent, nullptr);
}

void DownloadItem::removeFromParent(DownloadItem* parent)
{
    if (parent == nullptr)
        return;
    QWriteLocker locker(&m_lock);
    QWriteLocker parentLocker(&parent->m_lock);
    removeFromParentLocked(parent);
    m_parentItems.removeAll(parent);
}

void DownloadItem::removeFromAllParentsLocked()
{
    for (const QPointer<DownloadItem>& parent : qAsConst(m_parentItems)) {
        if (parent.isNull())
            continue;
        QWriteLocker parentLocker(&parent->m_lock);
        removeFromParentLocked(parent);
    }
    m_parentItems.clear();
}

void DownloadItem::removeFromAllParents()
{
    QWriteLocker locker(&m_lock);
    removeFromAllParentsLocked();
}

const DownloadItem::ItemSet& DownloadItem::getChildren() const
{
    return m_childItems;
}

const DownloadItem::ItemSet& DownloadItem::getParents() const
{
    return m_parentItems;
}

const DownloadItem::ItemSet& DownloadItem::parents() const
{
    return m_parentItems;
}

// ---- Accessors ----

void DownloadItem::setSSLConfiguration(const QSslConfiguration& configuration)
{
    if (m_sslConfiguration == nullptr)
        m_sslConfiguration = std::make_unique<QSslConfiguration>(configuration);
    else
        *m_sslConfiguration = configuration;
}

void DownloadItem::setTimeouts(uint64_t startTimeout, uint64_t stuckTimeout)
{
    m_startTimeout = startTimeout;
    m_stuckTimeout = stuckTimeout;
    QReadLocker locker(&m_lock);
    if (m_transfer != nullptr)
        m_transfer->setStuckTimeout(stuckTimeout);
}

void DownloadItem::setDownloadSize(unsigned long long size)
{
    {
        QWriteLocker locker(&m_lock);
        m_totalBytes = size;
    }
    emitProgress();
}

void DownloadItem::getDownloadProgress(quint64& received, quint64& total) const
{
    QReadLocker locker(&m_lock);
    received = m_receivedBytes;
    total = m_totalBytes;
}

void DownloadItem::setContentType(const QString& contentType)
{
    QWriteLocker locker(&m_lock);
    m_contentType = contentType;
}

QString DownloadItem::getContentType() const
{
    QReadLocker locker(&m_lock);
    return m_contentType;
}

void DownloadItem::setLogLevel(const Logger::LogLevel& level)
{
    m_logLevel = level;
}

void DownloadItem::setFlashFileProcessor(FlashFileProcessor processor)
{
    m_flashFileProcessor = std::move(processor);
}

Logger::LogLevel DownloadItem::getLogLevel() const
{
    return m_logLevel;
}

DownloadManager::DownloadId DownloadItem::getId() const
{
    return m_id;
}

QUrl DownloadItem::getSource() const
{
    return m_source;
}

QHostAddress DownloadItem::getServerIP() const
{
    return m_serverAddress;
}

QString DownloadItem::getOutputFile() const
{
    QReadLocker locker(&m_lock); // the cache decision may point it at the cached copy
    return m_outputPath;
}

DownloadItem::DownloadType DownloadItem::getType() const
{
    return m_type;
}

DownloadManager* DownloadItem::getManager() const
{
    return m_manager;
}

DownloadManager::DownloadBehavior DownloadItem::getBehavior() const
{
    QReadLocker locker(&m_lock);
    return m_behavior;
}

QString DownloadItem::getMD5() const
{
    QReadLocker locker(&m_lock);
    return m_status == Status::DOWNLOAD_SUCCESS ? m_md5 : QString();
}

QString DownloadItem::getSha1() const
{
    QReadLocker locker(&m_lock);
    return m_status == Status::DOWNLOAD_SUCCESS ? m_sha1 : QString();
}

bool DownloadItem::areHashesValid() const
{
    QReadLocker locker(&m_lock);
    return !m_md5.isEmpty();
}

DownloadManager::DownloadStatus DownloadItem::getStatus() const
{
    return m_status;
}

QString DownloadItem::getStatusMessage() const
{
    QReadLocker locker(&m_lock);
    return m_statusMessage;
}

bool DownloadItem::hasFailed() const
{
    QReadLocker locker(&m_lock);
    return m_status < Status::DOWNLOAD_NEVER_STARTED || m_status > Status::DOWNLOAD_POST_PROCESSING;
}

bool DownloadItem::isFinished() const
{
    QReadLocker locker(&m_lock);
    return m_status != Status::DOWNLOAD_NEVER_STARTED && m_status != Status::DOWNLOAD_PENDING
        && m_status != Status::DOWNLOAD_IN_PROGRESS && m_status != Status::DOWNLOAD_POST_PROCESSING;
}

// ---- Manager side ----

void DownloadItem::setBehavior(DownloadManager::DownloadBehavior behavior)
{
    QWriteLocker locker(&m_lock);
    m_behavior = behavior;
}

bool DownloadItem::hasUser() const
{
    QReadLocker locker(&m_lock);
    return !m_user.isEmpty();
}

void DownloadItem::useCachedCopy(const QString& cachedPath, DownloadManager::DownloadStatus status,
                                 const QString& message)
{
    StatusChange change;
    {
        QWriteLocker locker(&m_lock);
        m_outputPath = cachedPath;
        m_md5.clear(); // the digests of an earlier transfer are not the cached copy's
        m_sha1.clear();
        m_postProcessed = false;
        change = setStatusLocked(status, message);
    }
    announce(change);
}

void DownloadItem::resetForRetry(bool keepExpectedSize)
{
    StatusChange change;
    {
        QWriteLocker locker(&m_lock);
        change = setStatusLocked(Status::DOWNLOAD_NEVER_STARTED, QStringLiteral("Download not started"));
        m_receivedBytes = 0;
        if (!keepExpectedSize)
            m_totalBytes = 0;
    }
    announce(change);
}

bool DownloadItem::makePendingForPriority(bool& wasPendingInNormalPool)
{
    StatusChange change;
    {
        QWriteLocker locker(&m_lock);
        wasPendingInNormalPool = false;
        switch (m_status) {
        case Status::DOWNLOAD_INVALID_URL:
        case Status::DOWNLOAD_IN_PROGRESS:
            return false;
        case Status::DOWNLOAD_PENDING:
            wasPendingInNormalPool = true;
            m_receivedBytes = 0;
            break;
        case Status::DOWNLOAD_CANCELLED:
        case Status::DOWNLOAD_SUCCESS:
            m_receivedBytes = 0;
            break;
        default:
            m_receivedBytes = 0;
            m_totalBytes = 0;
            break;
        }
        change = setStatusLocked(Status::DOWNLOAD_PENDING, QStringLiteral("Pending download"));
    }
    announce(change);
    return true;
}

void DownloadItem::makePending()
{
    changeStatus(Status::DOWNLOAD_PENDING, QStringLiteral("Pending download"));
}

std::shared_ptr<ItemWork> DownloadItem::work() const
{
    return m_work;
}
