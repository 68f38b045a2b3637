#include "download/DownloadManager.h"

#include "core/Utils.h"
#include "download/CacheManager.h"
#include "download/DeferredSignal.h"
#include "download/DownloadItem.h"
#include "download/DownloadMetaTypes.h"
#include "download/HashManager.h"
#include "loader/FileManager2.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QNetworkInterface>
#include <QReadLocker>
#include <QSet>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QWriteLocker>
#include <QtDebug>

#include <climits>

#include <fcntl.h>
#include <unistd.h>

using Status = DownloadManager::DownloadStatusValue;

namespace {

QString quoted(const QString& text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

// "0x0000abcd": an item in the release traces.
QString pointerText(const void* pointer)
{
    return QStringLiteral("0x%1").arg(quintptr(pointer), 8, 16, QLatin1Char('0'));
}

// Maps of file downloads are keyed by the URL without credentials and by the absolute target.
QString urlKey(const QUrl& url)
{
    return url.adjusted(QUrl::RemoveUserInfo).toString();
}

QString pathKey(const QString& path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

// What a write attempt would meet, with this process's effective rights (not its real ones).
bool isWritableFolder(const QString& folder)
{
    return ::faccessat(AT_FDCWD, QFile::encodeName(folder).constData(), W_OK | X_OK, AT_EACCESS) == 0;
}

bool isActive(DownloadManager::DownloadStatus status)
{
    return status == Status::DOWNLOAD_NEVER_STARTED || status == Status::DOWNLOAD_PENDING
        || status == Status::DOWNLOAD_IN_PROGRESS;
}

bool isUnfinished(DownloadManager::DownloadStatus status)
{
    return isActive(status) || status == Status::DOWNLOAD_POST_PROCESSING;
}

// The system's authorities, those the application configured and the certificates compiled into
// ":/ssl" (".crt" in DER, ".pem" in PEM). Setting a list switches off Qt's loading of the system's store
// on demand, so the system's authorities are read here and always part of it.
// The system's store is read once a process: parsing its few hundred certificates is the costly part
// of a manager's start.
QList<QSslCertificate> certificateAuthorities()
{
    static const QList<QSslCertificate> system = QSslConfiguration::systemCaCertificates();
    QList<QSslCertificate> certificates = system;
    qDebug().noquote() << QString::number(certificates.size()) + " system certificates";
    QSet<QSslCertificate> known(certificates.cbegin(), certificates.cend());
    for (const QSslCertificate& configured : QSslConfiguration::defaultConfiguration().caCertificates()) {
        if (!known.contains(configured)) {
            known.insert(configured);
            certificates << configured;
        }
    }
    QDirIterator entries(QStringLiteral(":/ssl"), {QStringLiteral("*.crt"), QStringLiteral("*.pem")},
                         QDir::Files);
    while (entries.hasNext()) {
        const QString path = entries.next();
        const QFileInfo info(path);
        const QString suffix = info.fileName().mid(info.baseName().size()).toLower();
        QSsl::EncodingFormat format = QSsl::Pem;
        if (suffix == QLatin1String(".crt")) {
            format = QSsl::Der;
        } else if (suffix != QLatin1String(".pem")) {
            qWarning().noquote() << "Unrecognized format of certificate " + quoted(info.canonicalFilePath());
            continue;
        }
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            qWarning().noquote() << "Fail to open " + quoted(path) + ":" + file.errorString();
            continue;
        }
        const QSslCertificate certificate(&file, format);
        file.close();
        const QDateTime now = QDateTime::currentDateTimeUtc();
        if (certificate.isNull() || certificate.isBlacklisted() || now < certificate.effectiveDate()
            || now > certificate.expiryDate()) {
            qWarning().noquote() << "Fail to load " + quoted(path);
            continue;
        }
        certificates << certificate;
        qDebug().noquote() << quoted(path) + " certificate loaded";
    }
    return certificates;
}

} // namespace

DownloadManager::DownloadManager(unsigned char maxParallel)
    : LoggedObject(QStringLiteral("Download Manager"))
{
    registerDownloadMetaTypes();
    const unsigned int threads = maxParallel == 0 ? unsigned(QThread::idealThreadCount()) : maxParallel;
    m_normalPool.setMaxThreadCount(threads);
    m_priorityPool.setMaxThreadCount(threads);
    m_managerThread.setObjectName(QStringLiteral("Download manager"));
    m_itemThread.setObjectName(QStringLiteral("Download items"));
    m_managerThread.start(QThread::InheritPriority);
    m_itemThread.start(QThread::InheritPriority);
    m_itemThreadContext.moveToThread(&m_itemThread);
    moveToThread(&m_managerThread);
    m_sslConfiguration = std::make_unique<QSslConfiguration>(QSslConfiguration::defaultConfiguration());
    m_sslConfiguration->setCaCertificates(certificateAuthorities());
}

QSslConfiguration DownloadManager::getSslConfiguration() const
{
    return *m_sslConfiguration;
}

DownloadManager::~DownloadManager()
{
    qDebug() << "destructor DownloadManager ...";
    qDebug() << "Cancelling all downloads";
    cancelAllDownloads();
    m_normalPool.waitForFinish();
    m_priorityPool.waitForFinish();
    // Lets the item thread run what was queued there (queued ends, deferred releases).
    QMetaObject::invokeMethod(&m_itemThreadContext, [] {}, Qt::BlockingQueuedConnection);
    for (;;) {
        DownloadItem* first = nullptr;
        {
            QReadLocker locker(&m_lock);
            if (m_downloads.empty())
                break;
            first = m_downloads.begin()->second;
        }
        releaseDownload(DownloadItemPtr(first));
    }
    {
        QWriteLocker locker(&m_lock);
        m_downloads.clear();
    }
    m_managerThread.exit(0);
    m_itemThread.exit(0);
    m_managerThread.wait();
    m_itemThread.wait();
    m_sslConfiguration.reset();
    qDebug() << "destructor DownloadManager OK";
}

void DownloadManager::setCacheManager(CacheManager* cacheManager)
{
    QWriteLocker locker(&m_lock);
    m_cacheManager = cacheManager;
}

void DownloadManager::setMaxParallelDownloandsCount(unsigned char count)
{
    m_normalPool.setMaxThreadCount(count);
}

void DownloadManager::setMaxParallelPriorityDownloandsCount(unsigned char count)
{
    m_priorityPool.setMaxThreadCount(count);
}

void DownloadManager::setTimeouts(uint64_t startTimeout, uint64_t stuckTimeout)
{
    m_startTimeout = startTimeout;
    m_stuckTimeout = stuckTimeout;
    emit timeoutsChanged(startTimeout, stuckTimeout);
}

bool DownloadManager::isConnectedToNetwork()
{
    for (const QNetworkInterface& interface : QNetworkInterface::allInterfaces()) {
        const QNetworkInterface::InterfaceFlags flags = interface.flags();
        if (flags.testFlag(QNetworkInterface::IsUp) && !flags.testFlag(QNetworkInterface::IsLoopBack)
            && !interface.addressEntries().isEmpty())
            return true;
    }
    return false;
}

// ---- Lookups ----

DownloadItemPtr DownloadManager::findItem(DownloadId id) const
{
    QReadLocker locker(&m_lock);
    const auto entry = m_downloads.find(id);
    return entry == m_downloads.end() ? DownloadItemPtr() : DownloadItemPtr(entry->second);
}

DownloadItemPtr DownloadManager::operator[](DownloadId id)
{
    return findItem(id);
}

DownloadItemPtr DownloadManager::operator[](DownloadId id) const
{
    return findItem(id);
}

DownloadItemPtr DownloadManager::getDownload(DownloadId id)
{
    return findItem(id);
}

DownloadItemPtr DownloadManager::getDownload(DownloadId id) const
{
    return findItem(id);
}

QList<DownloadItemPtr> DownloadManager::getDownloads() const
{
    QReadLocker locker(&m_lock);
    QList<DownloadItemPtr> items;
    for (const auto& entry : m_downloads)
        items << DownloadItemPtr(entry.second);
    return items;
}

bool DownloadManager::hasDownload(DownloadId id) const
{
    QReadLocker locker(&m_lock);
    return m_downloads.count(id) != 0;
}

int DownloadManager::getActiveDownloadCount() const
{
    QReadLocker locker(&m_lock);
    int count = 0;
    for (const auto& entry : m_downloads) {
        if (isActive(entry.second->getStatus()))
            ++count;
    }
    return count;
}

bool DownloadManager::isDownloading() const
{
    return getActiveDownloadCount() != 0;
}

bool DownloadManager::isDownloading(const QString& path) const
{
    QReadLocker locker(&m_lock);
    const auto entry = m_downloadsByPath.find(pathKey(path));
    if (entry == m_downloadsByPath.end())
        return false;
    const DownloadStatus status = entry->second->getStatus();
    return status == Status::DOWNLOAD_PENDING || status == Status::DOWNLOAD_IN_PROGRESS;
}

DownloadManager::DownloadId DownloadManager::getDownloadId(const QUrl& url) const
{
    QReadLocker locker(&m_lock);
    const auto entry = m_downloadsByUrl.find(urlKey(url));
    return entry == m_downloadsByUrl.end() ? 0 : entry->second->getId();
}

// ---- Requests ----

DownloadItemPtr DownloadManager::downloadFlashFile(const QUrl& url, const QHostAddress& server,
                                                   const QDir& folder, DownloadBehavior behavior)
{
    return downloadFlashFile(url, server, folder, QString(), QString(), behavior);
}

DownloadItemPtr DownloadManager::downloadFlashFile(const QUrl& url, const QHostAddress& server,
                                                   const QDir& folder, const QString& user,
                                                   const QString& password, DownloadBehavior behavior)
{
    const QStringList parts = url.path().split(QLatin1Char('/'), Qt::SkipEmptyParts);
    const QString target = parts.isEmpty() ? folder.absolutePath() : folder.absoluteFilePath(parts.last());
    DownloadId existingId = 0;
    {
        QReadLocker locker(&m_lock);
        const auto entry = m_downloadsByPath.find(pathKey(target));
        if (entry != m_downloadsByPath.end()) {
            // Still registered, so not freed while the lock is held.
            entry->second->setBehavior(behavior);
            existingId = entry->second->getId();
            const DownloadItemPtr existing(entry->second);
            locker.unlock();
            emit downloadCreated(existingId);
            return existing;
        }
    }
    DownloadItem* item = nullptr;
    if (!buildDownloadItem(true, url, server, target, user, password, behavior, item))
        return DownloadItemPtr();
    if (parts.isEmpty()) {
        item->changeStatus(Status::DOWNLOAD_INVALID_URL, QStringLiteral("Unable to download a folder"));
        return DownloadItemPtr(item);
    }
    if (!parts.last().contains(QLatin1Char('.'))) {
        item->changeStatus(Status::DOWNLOAD_INVALID_URL,
                           QStringLiteral("Unable to download a folder or a file without extension"));
        return DownloadItemPtr(item);
    }
    const DownloadItemPtr result(item);
    emit downloadCreated(item->getId());
    return result;
}

DownloadItemPtr DownloadManager::downloadSimpleFile(const QUrl& url, const QHostAddress& server,
                                                    const QFile& file, DownloadBehavior behavior,
                                                    Logger::LogLevel logLevel)
{
    return downloadSimpleFile(url, server, file, QString(), QString(), behavior, logLevel);
}

DownloadItemPtr DownloadManager::downloadSimpleFile(const QUrl& url, const QHostAddress& server,
                                                    const QFile& file, const QString& user,
                                                    const QString& password, DownloadBehavior behavior,
                                                    Logger::LogLevel logLevel)
{
    DownloadItem* item = nullptr;
    if (!buildDownloadItem(false, url, server, file.fileName(), user, password, behavior, item))
        return DownloadItemPtr();
    item->setLogLevel(logLevel);
    const DownloadItemPtr result(item);
    emit downloadCreated(item->getId());
    return result;
}

DownloadItemPtr DownloadManager::downloadSimpleFile(const QUrl& url, const QHostAddress& server,
                                                    QIODevice* device, Logger::LogLevel logLevel)
{
    return downloadSimpleFile(url, server, device, QString(), QString(), logLevel);
}

DownloadItemPtr DownloadManager::downloadSimpleFile(const QUrl& url, const QHostAddress& server,
                                                    QIODevice* device, const QString& user,
                                                    const QString& password, Logger::LogLevel logLevel)
{
    if (device == nullptr)
        return DownloadItemPtr();
    DownloadId id = 0;
    {
        QWriteLocker locker(&m_lock);
        id = m_nextDownloadId++;
    }
    auto* item = new DownloadItem(this, server, url, device, user, password, id);
    item->setLogLevel(logLevel);
    adoptItem(item, false);
    {
        QWriteLocker locker(&m_lock);
        if (!registerItemLocked(item))
            return DownloadItemPtr();
    }
    const DownloadItemPtr result(item);
    emit downloadCreated(id);
    return result;
}

bool DownloadManager::buildDownloadItem(bool isFlashFile, const QUrl& url, const QHostAddress& server,
                                        const QString& targetPath, const QString& user,
                                        const QString& password, DownloadBehavior behavior,
                                        DownloadItem*& item)
{
    item = nullptr;
    DownloadId id = 0;
    {
        QWriteLocker locker(&m_lock);
        id = m_nextDownloadId++;
    }
    // Made outside the lock: resolving the server's name may take a while.
    auto* created = new DownloadItem(
        this, isFlashFile ? DownloadItem::DOWNLOAD_TYPE_FLASH_FILE : DownloadItem::DOWNLOAD_TYPE_SIMPLE_FILE,
        server, url, targetPath, user, password, id, behavior);
    adoptItem(created, true);
    QWriteLocker locker(&m_lock);
    if (!registerItemLocked(created))
        return false;
    m_downloadsByPath[pathKey(targetPath)] = created;
    m_downloadsByUrl[urlKey(url)] = created;
    item = created;
    return true;
}

bool DownloadManager::registerItemLocked(DownloadItem* item)
{
    if (!m_downloads.emplace(item->getId(), item).second) {
        delete item;
        logMessage(Logger::FATAL, "Strange, two downloads with the same ID : impossible in normal usage");
        return false;
    }
    return true;
}

void DownloadManager::adoptItem(DownloadItem* item, bool followTimeouts)
{
    bindLogHandlers(*item);
    item->moveToThread(&m_itemThread);
    item->setSSLConfiguration(*m_sslConfiguration);
    if (followTimeouts)
        item->setTimeouts(m_startTimeout, m_stuckTimeout);
    connect(item, &DownloadItem::downloadWaiting, this, &DownloadManager::downloadWaiting, Qt::DirectConnection);
    connect(item, &DownloadItem::downloadStarted, this, &DownloadManager::downloadStarted, Qt::DirectConnection);
    connect(item, &DownloadItem::downloadProgress, this, &DownloadManager::downloadProgress, Qt::DirectConnection);
    connect(item, &DownloadItem::downloadReleased, this, &DownloadManager::downloadReleased, Qt::DirectConnection);
    connect(item, &DownloadItem::downloadFinished, this, &DownloadManager::downloadFinished, Qt::DirectConnection);
    connect(item, &DownloadItem::downloadProgress, this, &DownloadManager::onDownloadProgress, Qt::DirectConnection);
    connect(item, &DownloadItem::downloadFinished, this, &DownloadManager::onDownloadProgress, Qt::DirectConnection);
    connect(item, &DownloadItem::downloadWaiting, this, &DownloadManager::onDownloadProgress, Qt::DirectConnection);
    connect(item, &DownloadItem::downloadFinished, this, &DownloadManager::onDownloadDone, Qt::DirectConnection);
    if (followTimeouts)
        connect(this, &DownloadManager::timeoutsChanged, item, &DownloadItem::setTimeouts, Qt::QueuedConnection);
    if (item->getType() == DownloadItem::DOWNLOAD_TYPE_FLASH_FILE) {
        connect(item, &DownloadItem::childDownloadsFinished, this, &DownloadManager::flashFileCompleted,
                Qt::DirectConnection);
        item->setFlashFileProcessor([this, source = item->getSource().toString()](const QString& path, QString& message) {
            return postProcessFlashFile(path, source, message);
        });
    }
    item->setAutoDelete(false);
}

DownloadManager::DownloadStatus DownloadManager::postProcessFlashFile(const QString& path, const QString& source,
                                                                      QString& message) const
{
    switch (FileManager2::getFileType(path)) {
    case FileManager2::HardwaresJsonFile:
        return Status::DOWNLOAD_SUCCESS;
    case FileManager2::ArchiveFile: {
        const QString folder = QFileInfo(path).absolutePath();
        if (!isWritableFolder(folder)) {
            logMessage(Logger::ERROR, QStringLiteral("You must have write permission to the output directory ") + folder);
            message = QStringLiteral("Fail to write in the output directory ") + folder;
            return Status::DOWNLOAD_OUTPUT_ERROR;
        }
        const QString target = QDir(folder).filePath(FileManager2::getFileBaseName(path));
        // An archive that cannot be unpacked is of no use to the caller: no success then.
        if (unpacksArchives() && !FileManager2::unzipArchive(path, target, true)) {
            message = QStringLiteral("Cannot unpack flash file ") + source;
            return Status::DOWNLOAD_INVALID_FLASH_FILE;
        }
        return Status::DOWNLOAD_SUCCESS;
    }
    case FileManager2::FlashFile:
        logMessage(Logger::ERROR,
                   QStringLiteral("Download from FlashFile (xml or json) not supported (") + source + QLatin1Char('}'));
        return Status::DOWNLOAD_SUCCESS;
    default:
        message = QStringLiteral("Invalid flash file ") + source;
        return Status::DOWNLOAD_INVALID_FLASH_FILE;
    }
}

// ---- Scheduling and cache decision ----

bool DownloadManager::startDownload(DownloadItemPtr item)
{
    if (item.isNull())
        return false;
    DownloadStatus status = 0;
    {
        QWriteLocker locker(&m_lock);
        if (item.isNull() || item->getManager() != this)
            return false;
        QReadLocker itemLocker(&item->m_lock);
        status = item->m_status;
    }
    if (status != Status::DOWNLOAD_NEVER_STARTED)
        return false;

    const QString output = item->getOutputFile();
    const bool isXml = item->getType() == DownloadItem::DOWNLOAD_TYPE_FLASH_FILE
        && output.section(QLatin1Char('.'), -1).toLower() == QLatin1String("xml");
    QString cachedPath;
    QString statusMessage;
    const DownloadActionAnswer answer = checkNeedDownload(item, isXml, cachedPath, statusMessage, item->hasUser());
    if (item.isNull())
        return false;
    DownloadItem* const target = item.data();
    const DownloadId id = target->getId();
    const DownloadBehavior behavior = target->getBehavior();

    switch (answer) {
    case ANSWER_CANCEL:
        logMessage(Logger::INFO, target->getSource().toString(QUrl::RemoveUserInfo) + QStringLiteral(" download cancelled"));
        target->changeStatus(Status::DOWNLOAD_CANCELLED, QStringLiteral("Download cancelled by the user"));
        finishLater(item, Status::DOWNLOAD_CANCELLED);
        return false;
    case ANSWER_USE_CACHE_ALWAYS:
        if (behavior == BEHAVIOR_ASK_IF_NOT_OUTDATED)
            target->setBehavior(BEHAVIOR_USE_UP_TO_DATE_CACHE);
        else if (behavior == BEHAVIOR_ASK_IF_CACHED)
            target->setBehavior(BEHAVIOR_USE_CACHE);
        Q_FALLTHROUGH();
    case ANSWER_USE_CACHE:
        logMessage(Logger::INFO, QStringLiteral("Flash file already downloaded in ") + cachedPath);
        if (target->getType() == DownloadItem::DOWNLOAD_TYPE_FLASH_FILE) {
            target->useCachedCopy(cachedPath, Status::DOWNLOAD_POST_PROCESSING, statusMessage);
            target->work()->queued(); // the item is not freed before its post-processing has run
            QMetaObject::invokeMethod(
                &m_itemThreadContext,
                [item] {
                    if (!item.isNull())
                        item->postProcessCachedFile();
                },
                Qt::QueuedConnection);
        } else {
            target->useCachedCopy(cachedPath, Status::DOWNLOAD_SUCCESS, statusMessage);
            finishLater(item, Status::DOWNLOAD_SUCCESS);
        }
        return true;
    case ANSWER_DOWNLOAD_ALWAYS:
        if (behavior == BEHAVIOR_ASK_IF_CACHED || behavior == BEHAVIOR_ASK_IF_NOT_OUTDATED)
            target->setBehavior(BEHAVIOR_ALWAYS_DOWNLOAD);
        Q_FALLTHROUGH();
    case ANSWER_DOWNLOAD:
        target->makePending();
        emit target->downloadWaiting(id);
        queueItem(target, Pool::Normal);
        onDownloadProgress();
        return true;
    }
    return false;
}

DownloadManager::DownloadActionAnswer DownloadManager::checkNeedDownload(DownloadItemPtr item, bool isXml,
                                                                         QString& cachedPath,
                                                                         QString& statusMessage, bool hasUser)
{
    if (item.isNull())
        return ANSWER_USE_CACHE;
    CacheManager* cache = nullptr;
    {
        QReadLocker locker(&m_lock);
        cache = m_cacheManager;
    }
    DownloadActionAnswer answer = ANSWER_USE_CACHE;
    QuestionSignal question = nullptr;
    {
        QReadLocker locker(&item->m_lock);
        statusMessage = item->m_statusMessage;
        cachedPath = item->m_outputPath;
        const QString urlText = item->m_source.toString();
        const DownloadBehavior behavior = item->m_behavior;
        if (cache != nullptr) {
            switch (behavior) {
            case BEHAVIOR_USE_CACHE:
                if (cache->isInCache(urlText, cachedPath))
                    statusMessage = QStringLiteral("File already in cache");
                else
                    answer = ANSWER_DOWNLOAD;
                break;
            case BEHAVIOR_ALWAYS_DOWNLOAD:
                answer = ANSWER_DOWNLOAD;
                break;
            case BEHAVIOR_USE_UP_TO_DATE_CACHE:
            case BEHAVIOR_ASK_IF_CACHED:
            case BEHAVIOR_ASK_IF_NOT_OUTDATED:
                switch (cache->getCacheState(urlText, hasUser, cachedPath)) {
                case CacheManager::CACHE_ABSENT:
                    answer = ANSWER_DOWNLOAD;
                    break;
                case CacheManager::CACHE_PRESENT:
                    statusMessage = QStringLiteral("File already in cache");
                    if (behavior != BEHAVIOR_USE_UP_TO_DATE_CACHE)
                        question = &DownloadManager::downloadInCacheAction;
                    break;
                case CacheManager::CACHE_OUTDATED:
                    if (behavior == BEHAVIOR_ASK_IF_CACHED) {
                        statusMessage = QStringLiteral("File already in cache but out to date");
                        question = &DownloadManager::downloadOutToDateAction;
                    } else {
                        answer = ANSWER_DOWNLOAD;
                    }
                    break;
                case CacheManager::CACHE_UP_TO_DATE:
                    statusMessage = QStringLiteral("File already in cache and up to date");
                    if (behavior != BEHAVIOR_USE_UP_TO_DATE_CACHE)
                        question = &DownloadManager::downloadUpToDateAction;
                    break;
                }
                break;
            }
        } else if (behavior == BEHAVIOR_ALWAYS_DOWNLOAD) {
            answer = ANSWER_DOWNLOAD;
        } else if (QFileInfo(cachedPath).isFile()) {
            // Without a cache service the target itself is the cache; it is never used silently.
            statusMessage = QStringLiteral("File already in cache");
            question = &DownloadManager::downloadInCacheAction;
        } else {
            answer = ANSWER_DOWNLOAD;
        }
    }
    if (question != nullptr) {
        // The manager's thread asks; the answer is written before its customEvent wakes this loop.
        QEventLoop loop;
        QCoreApplication::postEvent(this, new DeferredSignal(question, &answer, item.data(), &loop, isXml),
                                    INT_MAX);
        loop.exec();
    }
    return answer;
}

void DownloadManager::customEvent(QEvent* event)
{
    if (event->type() != DeferredSignal::EventType) {
        QObject::customEvent(event);
        return;
    }
    auto* deferred = static_cast<DeferredSignal*>(event);
    if (deferred->getItem() != nullptr)
        emit(this->*(deferred->getSignal()))(deferred->getAnswer(), deferred->getItem(), deferred->isXml());
    // Queued: a quit that reached the loop before it runs would be lost.
    QMetaObject::invokeMethod(deferred->getLoop(), "quit", Qt::QueuedConnection);
    event->accept();
}

bool DownloadManager::startPriorityDownload(DownloadItemPtr item)
{
    if (item.isNull())
        return false;
    bool wasPending = false;
    {
        QWriteLocker locker(&m_lock);
        if (item.isNull() || item->getManager() != this || !item->makePendingForPriority(wasPending))
            return false;
    }
    if (wasPending)
        withdrawItem(item, Pool::Normal);
    emit item->downloadWaiting(item->getId());
    queueItem(item, Pool::Priority);
    onDownloadProgress();
    return true;
}

void DownloadManager::finishLater(DownloadItemPtr item, DownloadStatus status)
{
    // Through the item thread's own object, not the item: a receiver may free the item meanwhile.
    QMetaObject::invokeMethod(
        &m_itemThreadContext,
        [item, status] {
            if (!item.isNull())
                emit item->downloadFinished(item->getId(), status);
        },
        Qt::QueuedConnection);
}

bool DownloadManager::queueItem(DownloadItem* item, Pool pool)
{
    item->work()->queued();
    ThreadPool& target = pool == Pool::Normal ? m_normalPool : m_priorityPool;
    if (!target.start(item, 0))
        item->work()->withdrawn(); // queued there already
    return true;
}

bool DownloadManager::withdrawItem(DownloadItem* item, Pool pool)
{
    ThreadPool& target = pool == Pool::Normal ? m_normalPool : m_priorityPool;
    if (!target.removeTask(item))
        return false;
    item->work()->withdrawn();
    return true;
}

void DownloadManager::removeDownloadFromTaskList(DownloadItem* item)
{
    QWriteLocker locker(&m_lock);
    withdrawItem(item, Pool::Normal);
    withdrawItem(item, Pool::Priority);
}

// ---- Completion, progress, retry, release ----

void DownloadManager::onDownloadDone(DownloadManager::DownloadId id)
{
    const DownloadItemPtr item = findItem(id);
    if (item.isNull())
        return;
    const DownloadStatus status = item->getStatus();
    const QString url = item->getSource().toString(QUrl::RemoveUserInfo);
    if (status == Status::DOWNLOAD_CANCELLED) {
        logMessage(Logger::WARNING, url + QStringLiteral(" download aborted"));
    } else if (status == Status::DOWNLOAD_SUCCESS || status == Status::DOWNLOAD_POST_PROCESSING) {
        logMessage(item->getLogLevel(), url + QStringLiteral(" downloaded"));
        // Outside the manager's lock: the hash cache asks isDownloading() with its own lock held.
        if (item->getType() != DownloadItem::DOWNLOAD_TYPE_DEVICE && item->areHashesValid()) {
            const HashManager::Hash hash{item->getMD5(), item->getSha1()};
            if (Singleton<HashManager>::exists())
                Singleton<HashManager>::instance()->setHash(hash, item->getOutputFile());
            else
                qDebug().noquote() << "No hash cache for " + item->getOutputFile();
        }
    } else {
        const QStringList addresses = Utils::getLocalHostAdress();
        logMessage(Logger::ERROR, url + QStringLiteral(" failed"));
        QString message = item->getStatusMessage();
        if (!addresses.isEmpty())
            message += QStringLiteral(" from localhost ") + addresses.join(QLatin1Char(','));
        logMessage(Logger::ERROR, message);
    }
    bool unfinished = false;
    {
        QReadLocker locker(&m_lock);
        for (const auto& entry : m_downloads) {
            if (isUnfinished(entry.second->getStatus())) {
                unfinished = true;
                break;
            }
        }
    }
    if (!unfinished)
        emit downloadsCompleted();
    requestProgressUpdate();
}

void DownloadManager::requestProgressUpdate()
{
    QMetaObject::invokeMethod(this, &DownloadManager::onDownloadProgress, Qt::QueuedConnection);
}

void DownloadManager::onDownloadProgress()
{
    if (!m_progressMutex.tryLock())
        return; // another computation runs; every completion queues a further one
    quint64 received = 0;
    quint64 expected = 0;
    quint64 finished = 0;
    quint64 counted = 0;
    {
        QReadLocker locker(&m_lock);
        for (const auto& entry : m_downloads) {
            const DownloadItem* item = entry.second;
            if (item->getType() == DownloadItem::DOWNLOAD_TYPE_DEVICE)
                continue;
            ++counted;
            const DownloadStatus status = item->getStatus();
            if (isActive(status)) {
                quint64 itemReceived = 0;
                quint64 itemExpected = 0;
                item->getDownloadProgress(itemReceived, itemExpected);
                if (itemExpected != 0 && itemReceived <= itemExpected) {
                    received += itemReceived;
                    expected += itemExpected;
                }
            } else if (status != Status::DOWNLOAD_POST_PROCESSING) {
                ++finished;
            }
        }
    }
    m_progressMutex.unlock();
    emit globalDownloadProgress(received, expected, finished, counted);
}

void DownloadManager::getGlobalProgress(quint64& received, quint64& expected) const
{
    QReadLocker locker(&m_lock);
    received = 0;
    expected = 0;
    for (const auto& entry : m_downloads) {
        quint64 itemReceived = 0;
        quint64 itemExpected = 0;
        entry.second->getDownloadProgress(itemReceived, itemExpected);
        if (itemExpected != 0 && itemReceived <= itemExpected) {
            received += itemReceived;
            expected += itemExpected;
        }
    }
}

bool DownloadManager::retry(DownloadItemPtr item, Pool pool)
{
    if (item.isNull() || item->getManager() != this)
        return false;
    switch (item->getStatus()) {
    case Status::DOWNLOAD_CANCELLED:
    case Status::DOWNLOAD_SUCCESS:
        item->resetForRetry(true);
        break;
    case Status::DOWNLOAD_INVALID_URL:
        return false;
    case Status::DOWNLOAD_PENDING:
    case Status::DOWNLOAD_IN_PROGRESS:
        return true;
    default:
        item->resetForRetry(false);
        break;
    }
    return pool == Pool::Normal ? startDownload(item) : startPriorityDownload(item);
}

bool DownloadManager::retryDownload(DownloadItemPtr item)
{
    return retry(item, Pool::Normal);
}

bool DownloadManager::retryDownload(DownloadManager::DownloadId id)
{
    return retry(findItem(id), Pool::Normal);
}

bool DownloadManager::retryPriorityDownload(DownloadItemPtr item)
{
    return retry(item, Pool::Priority);
}

bool DownloadManager::retryPriorityDownload(DownloadManager::DownloadId id)
{
    return retry(findItem(id), Pool::Priority);
}

void DownloadManager::cancelAllDownloads()
{
    QList<DownloadItemPtr> snapshot;
    {
        QWriteLocker locker(&m_lock);
        for (const auto& entry : m_downloads)
            snapshot << DownloadItemPtr(entry.second);
    }
    for (const Pool pool : {Pool::Priority, Pool::Normal}) {
        for (const DownloadItemPtr& item : qAsConst(snapshot)) {
            if (!item.isNull())
                withdrawItem(item, pool);
        }
    }
    for (const DownloadItemPtr& item : qAsConst(snapshot)) {
        if (!item.isNull() && !item->isFinished())
            item->abort();
    }
    onDownloadProgress();
}

void DownloadManager::waitAllDownloadForFinish()
{
    m_normalPool.waitForFinish();
    m_priorityPool.waitForFinish();
}

void DownloadManager::releaseDownload(DownloadManager::DownloadId id)
{
    releaseDownload(findItem(id));
}

void DownloadManager::releaseDownload(DownloadItemPtr item)
{
    const QString pointer = pointerText(item.data());
    qDebug().noquote() << "Releasing download requested (ptr=" + pointer + ")";
    if (item.isNull()) {
        qDebug().noquote() << "Release request rejected: NULL pointer";
        return;
    }
    QWriteLocker locker(&m_lock);
    if (item.isNull()) {
        qDebug().noquote() << "Release request rejected: Item released while waiting lock (ptr=" + pointer + ")";
        return;
    }
    DownloadItem* const target = item.data();
    const QString name = target->objectName();
    const QString described = " (ptr=" + pointer + " / name=" + name + ")";
    if (target->getManager() != this) {
        qDebug().noquote() << "Release request rejected: Wrong manager (ptr=" + pointer + ")";
        return;
    }
    const auto entry = m_downloads.find(target->getId());
    if (entry == m_downloads.end() || entry->second != target) {
        qDebug().noquote() << "Release request rejected: No more in DownloadManager (ptr=" + pointer + ")";
        return;
    }
    // From here on no lookup finds the item.
    m_downloads.erase(entry);
    for (auto* map : {&m_downloadsByPath, &m_downloadsByUrl}) {
        for (auto it = map->begin(); it != map->end();)
            it = it->second == target ? map->erase(it) : std::next(it);
    }
    qDebug().noquote() << "Release request accepted" + described;
    qDebug().noquote() << "Releasing " + name;
    withdrawItem(target, Pool::Normal);
    withdrawItem(target, Pool::Priority);
    locker.unlock();

    if (target->work()->isWorkingIn(QThread::currentThread())) {
        // Released by a receiver of its own end, on the thread that still runs its work: waiting
        // here would wait for ourselves. It is freed in the item thread once that work returns.
        qDebug().noquote() << "Freeing deferred until the download's work returns" + described;
        QMetaObject::invokeMethod(
            &m_itemThreadContext,
            [item, name] {
                if (item.isNull())
                    return;
                item->work()->waitUntilIdle();
                delete item.data();
                qDebug().noquote() << name + " released";
            },
            Qt::QueuedConnection);
        return;
    }
    // Work that could not be withdrawn (a transfer, a post-processing, a task a pool has just taken)
    // is ended and waited for: the item is never freed under a thread that still runs in it.
    if (target->work()->isBusy()) {
        target->abort();
        target->work()->waitUntilIdle();
        if (item.isNull()) {
            qDebug().noquote() << "Release request rejected: Item deleted while waiting download to finish" + described;
            return;
        }
    }
    qDebug().noquote() << "Freeing memory of item" + described;
    deleteItem(target);
    qDebug().noquote() << name + " released";
    requestProgressUpdate();
}

void DownloadManager::deleteItem(DownloadItem* item)
{
    if (item->thread() == QThread::currentThread() || !m_itemThread.isRunning()) {
        delete item;
        return;
    }
    QMetaObject::invokeMethod(&m_itemThreadContext, [item] { delete item; }, Qt::BlockingQueuedConnection);
}

bool DownloadManager::releaseCompletedDownload(DownloadId id)
{
    QList<DownloadId> children;
    {
        QReadLocker locker(&m_lock);
        const auto entry = m_downloads.find(id);
        if (entry == m_downloads.end())
            return true;
        QReadLocker itemLocker(&entry->second->m_lock);
        for (const QPointer<DownloadItem>& child : qAsConst(entry->second->m_childItems)) {
            if (!child.isNull())
                children << child->getId();
        }
    }
    bool released = true;
    for (const DownloadId child : qAsConst(children))
        released = releaseCompletedDownload(child) && released;
    if (!released)
        return false;
    {
        QReadLocker locker(&m_lock);
        const auto entry = m_downloads.find(id);
        if (entry != m_downloads.end() && !entry->second->isFinished())
            return false;
    }
    releaseDownload(id);
    return true;
}

void DownloadManager::releaseCompletedDownloads()
{
    QList<DownloadId> roots;
    {
        QWriteLocker locker(&m_lock);
        for (const auto& entry : m_downloads) {
            QReadLocker itemLocker(&entry.second->m_lock);
            if (entry.second->m_parentItems.isEmpty())
                roots << entry.first;
        }
    }
    for (const DownloadId id : qAsConst(roots))
        releaseCompletedDownload(id);
    onDownloadProgress();
}

void DownloadManager::setUnpacksArchives(bool unpacks)
{
    m_unpacksArchives = unpacks;
}

bool DownloadManager::unpacksArchives() const
{
    return m_unpacksArchives;
}
