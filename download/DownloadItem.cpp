#include "download/DownloadItem.h"

#include "core/CustomEventLoop.h"
#include "core/Utils.h"
#include "loader/FileManager2.h"

#include <QAuthenticator>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QReadLocker>
#include <QSaveFile>
#include <QSslConfiguration>
#include <QThread>
#include <QTimer>
#include <QWriteLocker>
#include <QtDebug>

#include <climits>

#include <fcntl.h>
#include <unistd.h>

using Status = DownloadManager::DownloadStatusValue;

// Work that keeps a thread inside the item. Shared with the work itself, so that the last notice
// of a run never touches an item that its waiter has freed meanwhile.
struct DownloadItem::WorkState
{
    QMutex mutex;
    int pending = 0;
    QList<QThread*> workingThreads; // the threads inside run() or a post-processing now
    QList<QEventLoop*> waiters;     // each in its own thread, woken by a queued quit

    void finishOne(QThread* workingThread = nullptr)
    {
        QMutexLocker locker(&mutex);
        workingThreads.removeOne(workingThread);
        if (pending > 0)
            --pending;
        if (pending == 0) {
            for (QEventLoop* waiter : qAsConst(waiters))
                QMetaObject::invokeMethod(waiter, "quit", Qt::QueuedConnection);
        }
    }
};

// Ends one piece of work when it goes out of scope, after everything else of the scope.
class DownloadItem::WorkDone
{
public:
    explicit WorkDone(std::shared_ptr<WorkState> work)
        : m_work(std::move(work))
    {
        QMutexLocker locker(&m_work->mutex);
        m_work->workingThreads.append(QThread::currentThread());
    }
    ~WorkDone() { m_work->finishOne(QThread::currentThread()); }
    WorkDone(const WorkDone&) = delete;
    WorkDone& operator=(const WorkDone&) = delete;

private:
    std::shared_ptr<WorkState> m_work;
};

namespace {

enum LoopExit { LoopFinished = 0, LoopAborted = 1, LoopWriteFailed = 2, LoopStuck = 3 };

// Data the reply holds before the transfer reads it: beyond this Qt stops reading the socket, so a
// file larger than memory streams through instead of piling up in the reply.
constexpr qint64 ms_kReadBufferBytes = 1024 * 1024;

// Indexed by (code + 26) % 26 of QSslError::SslError; the last one stands for every unknown code.
const char* const ms_kSslErrorTexts[] = {
    "SSL error: No error",
    "SSL error: Unable to get issuer certificate",
    "SSL error: Unable to decrypt certificate signature",
    "SSL error: Unable to decode issuer publickey",
    "SSL error: Certificate signature failed",
    "SSL error: Certificate not yet valid",
    "SSL error: Certificate expired",
    "SSL error: Invalid not before field",
    "SSL error: Invalid not after field",
    "SSL error: Self signed certificate",
    "SSL error: Self signed certificate in chain",
    "SSL error: Unable to get local issuer certificate",
    "SSL error: Unable to verify first certificate",
    "SSL error: Certificate revoked",
    "SSL error: Invalid CA certificate",
    "SSL error: Path length exceeded",
    "SSL error: Invalid purpose",
    "SSL error: Certificate untrusted",
    "SSL error: Certificate rejected",
    "SSL error: Subject issuer mismatch",
    "SSL error: Authority issuer serial number mismatch",
    "SSL error: No peer certificate",
    "SSL error: Host name mismatch",
    "SSL error: No SSL support",
    "SSL error: Certificate blacklisted",
    "SSL error: Unknown error",
};
constexpr int ms_kSslErrorTextCount = int(sizeof(ms_kSslErrorTexts) / sizeof(ms_kSslErrorTexts[0]));

QString sslErrorText(int code)
{
    const int index = code < 0 || code >= ms_kSslErrorTextCount - 1 ? ms_kSslErrorTextCount - 1 : code;
    return QLatin1String(ms_kSslErrorTexts[index]);
}

// A time-out as a timer interval: false for 0 and for values a timer cannot hold (no limit).
bool timerInterval(uint64_t timeoutMs, int& interval)
{
    if (timeoutMs == 0 || timeoutMs > uint64_t(INT_MAX))
        return false;
    interval = int(timeoutMs);
    return true;
}

QString quoted(const QString& text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

// "Sha-1", "Sha-1 and MD5".
QString joinNames(const QStringList& names)
{
    QString text = names.join(QStringLiteral(", "));
    if (names.size() > 1) {
        const int last = text.lastIndexOf(QStringLiteral(", "));
        text.replace(last, 2, QStringLiteral(" and "));
    }
    return text;
}

// What a write attempt would meet, with this process's effective rights (not its real ones).
bool isWritableFolder(const QString& folder)
{
    return ::faccessat(AT_FDCWD, QFile::encodeName(folder).constData(), W_OK | X_OK, AT_EACCESS) == 0;
}

// Qt reports the server's 5xx answers with numbers that are our own statuses: give them theirs.
DownloadManager::DownloadStatus statusOfNetworkError(QNetworkReply::NetworkError error)
{
    switch (error) {
    case QNetworkReply::InternalServerError:
        return DownloadManager::DOWNLOAD_SERVER_INTERNAL_ERROR;
    case QNetworkReply::OperationNotImplementedError:
        return DownloadManager::DOWNLOAD_SERVER_NOT_IMPLEMENTED;
    case QNetworkReply::ServiceUnavailableError:
        return DownloadManager::DOWNLOAD_SERVER_UNAVAILABLE;
    case QNetworkReply::UnknownServerError:
        return DownloadManager::DOWNLOAD_SERVER_ERROR;
    default:
        return int(error);
    }
}

// 204 (no content) and 206 (a part, though none was asked for) are 2xx answers without the file.
bool isWholeFileAnswer(int httpStatus)
{
    return httpStatus >= 200 && httpStatus <= 299 && httpStatus != 204 && httpStatus != 206;
}

} // namespace

DownloadItem::DownloadItem(DownloadManager* manager, DownloadType type, const QHostAddress& server,
                           const QUrl& source, const QString& outputPath, const QString& user,
                           const QString& password, DownloadManager::DownloadId id,
                           DownloadManager::DownloadBehavior behavior)
    : m_id(id)
    , m_manager(manager)
    , m_work(std::make_shared<WorkState>())
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
    , m_work(std::make_shared<WorkState>())
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
    if (isBusy()) {
        logMessage(Logger::ERROR, "Trying to delete a running download. Next time abort it before");
        abort();
        waitUntilIdle();
    }
    QWriteLocker locker(&m_lock);
    while (!m_childItems.isEmpty()) {
        const QPointer<DownloadItem> child = m_childItems.takeFirst();
        if (child.isNull())
            continue;
        QWriteLocker childLocker(&child->m_lock);
        child->removeFromParentNoLock(this);
        child->m_parentItems.removeAll(this);
    }
    removeFromAllParentsNoLock();
    if (m_reply != nullptr) {
        logMessage(Logger::WARNING, "Deleting a non released response.");
        delete m_reply;
        m_reply = nullptr;
    }
    if (m_output != nullptr && m_output->isOpen()) {
        logMessage(Logger::ERROR, "Closing a destination file in destructor");
        if (m_output != m_file.get())
            m_output->close();
    }
    m_file.reset(); // an uncommitted file is discarded: the target stays as it was
    m_sslConfiguration.reset();
    locker.unlock();
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
    const WorkDone done(m_work); // last: the item may be freed as soon as this ends

    m_lock.lockForWrite();
    if (m_status != Status::DOWNLOAD_PENDING || m_reply != nullptr || m_eventLoop != nullptr
        || m_stuckTimer != nullptr) {
        m_lock.unlock();
        return;
    }
    Outcome failure;
    if (!prepareOutput(failure)) {
        finishLocked(failure);
        return;
    }

    QNetworkAccessManager network;
    connect(&network, &QNetworkAccessManager::authenticationRequired, this,
            &DownloadItem::onAuthentificationFailed, Qt::DirectConnection);
    const QNetworkRequest request = buildRequest();
    const QString line = startLine(network);
    m_md5Hash.reset();
    m_sha1Hash.reset();
    m_hashesValid = false;

    m_eventLoop = new CustomEventLoop;
    m_eventLoop->processEvents(QEventLoop::AllEvents);
    CustomEventLoop* loop = m_eventLoop;
    m_stuckTimer = new QTimer;
    m_stuckTimer->setSingleShot(true);
    connect(m_stuckTimer, &QTimer::timeout, loop, [loop] { loop->exit(LoopStuck); }, Qt::DirectConnection);
    QTimer progressTimer;
    progressTimer.setInterval(500);
    connect(&progressTimer, &QTimer::timeout, this, &DownloadItem::sendProgress, Qt::DirectConnection);
    m_lastLoggedBytes = 0;

    logMessage(m_logLevel, line);
    m_reply = network.get(request);
    qDebug().noquote() << "Request launched for " + objectText();
    if (m_reply == nullptr) {
        delete m_eventLoop;
        m_eventLoop = nullptr;
        delete m_stuckTimer;
        m_stuckTimer = nullptr;
        Outcome noReply{Status::DOWNLOAD_NO_MEMORY, QStringLiteral("Not enough memory to create reply")};
        finishOutput(noReply);
        finishLocked(noReply);
        return;
    }
    m_reply->setReadBufferSize(ms_kReadBufferBytes);
    // The end of the reply goes through the loop's queue, so that it is seen only inside exec().
    connect(m_reply, &QNetworkReply::finished, loop, [loop] { loop->exit(LoopFinished); },
            Qt::QueuedConnection);
    connect(m_reply, &QNetworkReply::downloadProgress, this, &DownloadItem::onDownloadProgress,
            Qt::DirectConnection);
    connect(m_reply, &QNetworkReply::readyRead, this, &DownloadItem::onDownloadReadReady,
            Qt::DirectConnection);
    connect(m_reply, &QNetworkReply::sslErrors, this, &DownloadItem::onSSLError, Qt::DirectConnection);

    changeStatus(Status::DOWNLOAD_IN_PROGRESS, QStringLiteral("Download in progress"), false);
    m_lock.unlock();
    emit downloadStarted(m_id);
    m_lock.lockForWrite();

    Outcome outcome{Status::DOWNLOAD_SUCCESS, QStringLiteral("Success")};
    if (!m_reply->isFinished()) {
        progressTimer.start();
        int interval = 0;
        if (timerInterval(m_startTimeout, interval)) {
            m_stuckTimer->start(interval);
            logMessage(Logger::TRACE, QStringLiteral("Waiting for download started (timeout %1 ms)")
                                          .arg(m_startTimeout.load()));
        }
        if (m_stuckTimeout == 0)
            qDebug().noquote() << "Timeout for download stuck not set";
        else
            logMessage(Logger::TRACE,
                       QStringLiteral("Timeout for download stuck set to %1 ms").arg(m_stuckTimeout.load()));
        m_lock.unlock();
        const int exitCode = loop->exec(QEventLoop::AllEvents);
        progressTimer.stop();
        m_stuckTimer->stop();
        emitProgress();
        m_lock.lockForWrite();
        logMessage(Logger::TRACE, QStringLiteral("Download %1 finished with code %2 %3")
                                      .arg(objectName(), QString::number(exitCode),
                                           QString::number(int(m_reply->error()))));
        outcome = transferOutcome(exitCode);
    }

    qDebug().noquote() << "Releasing memory used for download " + objectText() + " ...";
    delete m_eventLoop;
    m_eventLoop = nullptr;
    delete m_stuckTimer;
    m_stuckTimer = nullptr;
    qDebug().noquote() << "Memory released for download " + objectText();

    if (outcome.status == Status::DOWNLOAD_SUCCESS)
        outcome = replyOutcome();
    m_reply->close();
    delete m_reply;
    m_reply = nullptr;
    finishOutput(outcome);

    if (outcome.status == Status::DOWNLOAD_SUCCESS && m_type == DOWNLOAD_TYPE_FLASH_FILE) {
        changeStatus(outcome.status, outcome.message, false);
        changeStatus(Status::DOWNLOAD_POST_PROCESSING, outcome.message, false);
        m_postProcessed = false;
        m_lock.unlock();
        onDownloadFlashFileDone(); // sends the final downloadFinished
        return;
    }
    finishLocked(outcome);
}

bool DownloadItem::prepareOutput(Outcome& failure)
{
    const auto fail = [&failure](const QString& message) {
        failure = {Status::DOWNLOAD_OUTPUT_ERROR, message};
        return false;
    };
    m_receivedBytes = 0;
    m_writtenBytes = 0;
    m_lastLoggedBytes = 0;
    if (m_type == DOWNLOAD_TYPE_DEVICE) {
        if (m_output == nullptr)
            return fail(QStringLiteral("Invalid output handle"));
        if (m_output->isOpen())
            return fail(QStringLiteral("File already open"));
        if (!m_output->open(QIODevice::WriteOnly))
            return fail(m_output->errorString());
        return true;
    }
    if (m_outputPath.isEmpty())
        return fail(QStringLiteral("Invalid path"));
    const int slash = m_outputPath.lastIndexOf(QLatin1Char('/'));
    if (slash > 0) {
        const QString folder = m_outputPath.left(slash);
        if (!QDir(folder).exists() && !QDir().mkpath(folder))
            return fail(QStringLiteral("Fail to create folder ") + QDir(folder).absolutePath());
    }
    // The data goes to a temporary file beside the target, renamed onto it once whole and verified.
    m_file = std::make_unique<QSaveFile>(m_outputPath);
    m_output = m_file.get();
    // Unbuffered: each piece goes to the file as it arrives, and a failed write says why at once.
    if (!m_file->open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        const QString error = m_file->errorString();
        m_file.reset();
        m_output = nullptr;
        return fail(error);
    }
    return true;
}

QNetworkRequest DownloadItem::buildRequest() const
{
    QUrl target = m_source;
    target.setHost(m_serverAddress.toString());
    QNetworkRequest request(target);
    request.setRawHeader("Host", m_source.host().toUtf8());
    request.setRawHeader("X-Result-Detail", "info, properties");
    request.setRawHeader("User-Agent", "Quillon " + QCoreApplication::applicationVersion().toLatin1());
    request.setRawHeader("Connection", "close");
    if (!m_user.isEmpty())
        request.setRawHeader("Authorization",
                             "Basic " + (m_user + QLatin1Char(':') + m_password).toUtf8().toBase64());
    // Only the file itself is a download: a redirect answer fails (replyOutcome).
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    if (m_source.scheme().toLower() == QLatin1String("https")) {
        QSslConfiguration configuration = m_sslConfiguration != nullptr
                                              ? *m_sslConfiguration
                                              : QSslConfiguration::defaultConfiguration();
        configuration.setPeerVerifyMode(QSslSocket::VerifyPeer);
        request.setSslConfiguration(configuration);
        // The connection goes to an address: the certificate must still name the URL's host.
        request.setPeerVerifyName(m_source.host());
    }
    return request;
}

QString DownloadItem::startLine(const QNetworkAccessManager& network) const
{
    QString line = QStringLiteral("Downloading ") + sourceText();
    if (m_type != DOWNLOAD_TYPE_DEVICE)
        line += QStringLiteral(" in ") + m_outputPath;
    if (!m_user.isEmpty())
        line += QStringLiteral(" using credentials of ") + m_user;
    const QString proxy = network.proxy().hostName();
    if (!proxy.isEmpty())
        line += QStringLiteral(" (proxy: ") + proxy + QLatin1Char(')');
    return line;
}

DownloadItem::Outcome DownloadItem::transferOutcome(int exitCode)
{
    Outcome outcome{Status::DOWNLOAD_SUCCESS, QStringLiteral("Success")};
    switch (exitCode) {
    case LoopFinished:
        return outcome;
    case LoopAborted:
        outcome = {Status::DOWNLOAD_CANCELLED, QStringLiteral("Download aborted")};
        break;
    case LoopWriteFailed:
        outcome = {m_status, m_statusMessage};
        break;
    case LoopStuck:
        outcome = {Status::DOWNLOAD_STUCK, QStringLiteral("No data retrieved in %1 minutes")
                                               .arg(m_stuckTimer->interval() / 60000)};
        break;
    default:
        return {Status::DOWNLOAD_UNHANDLED_ERROR, QStringLiteral("Unhandle code %1").arg(exitCode)};
    }
    // Aborting the reply may call the progress and data slots, which take the lock.
    m_lock.unlock();
    m_reply->abort();
    m_lock.lockForWrite();
    m_hashesValid = false;
    return outcome;
}

DownloadItem::Outcome DownloadItem::replyOutcome()
{
    const QNetworkReply::NetworkError error = m_reply->error();
    DownloadManager::DownloadStatus status = 0;
    QString message;
    if (error == QNetworkReply::OperationCanceledError) {
        // However the reply came to be cancelled, a cancel is never a success.
        m_hashesValid = false;
        return {Status::DOWNLOAD_CANCELLED, QStringLiteral("Download aborted")};
    }
    if (error != QNetworkReply::NoError) {
        readData(status, message);
        m_hashesValid = false;
        return {statusOfNetworkError(error), m_reply->errorString()};
    }
    const QVariant httpStatus = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (httpStatus.isValid() && !isWholeFileAnswer(httpStatus.toInt())) {
        // Qt ends a redirect without error, with the redirect page as its body.
        m_hashesValid = false;
        const QString reason = m_reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
        return {Status::DOWNLOAD_UNEXPECTED_HTTP_STATUS,
                QStringLiteral("Unexpected answer of the server: HTTP %1 %2 (only a full 2xx answer is a "
                               "download; redirects are not followed)")
                    .arg(QString::number(httpStatus.toInt()), reason)};
    }
    if (m_totalBytes == 0)
        m_totalBytes = m_receivedBytes;
    if (!readData(status, message))
        return {status, message};
    const QVariant declared = m_reply->header(QNetworkRequest::ContentLengthHeader);
    if (declared.isValid() && declared.toULongLong() != m_writtenBytes) {
        // The connection ended early (or carried more): whatever arrived is not the file.
        m_hashesValid = false;
        return {Status::DOWNLOAD_INTEGRITY_FAILED,
                QStringLiteral("Download size mismatch: %1 bytes received, %2 announced")
                    .arg(QString::number(m_writtenBytes), QString::number(declared.toULongLong()))};
    }
    return integrityOutcome();
}

DownloadItem::Outcome DownloadItem::integrityOutcome() const
{
    QStringList tested;
    QStringList failed;
    const auto check = [&](const char* header, const QCryptographicHash& hash, const QString& name) {
        if (!m_reply->hasRawHeader(header))
            return;
        tested << name;
        const QString expected = QString::fromLatin1(m_reply->rawHeader(header)).trimmed();
        if (expected.compare(QString::fromLatin1(hash.result().toHex()), Qt::CaseInsensitive) != 0)
            failed << name;
    };
    check("X-Checksum-Sha1", m_sha1Hash, QStringLiteral("Sha-1"));
    check("X-Checksum-Md5", m_md5Hash, QStringLiteral("MD5"));
    if (!failed.isEmpty())
        return {Status::DOWNLOAD_INTEGRITY_FAILED, QStringLiteral("Integrity check failed with ")
                                                       + joinNames(failed) + QStringLiteral(" (Integrity tested with ")
                                                       + joinNames(tested) + QLatin1Char(')')};
    if (tested.isEmpty())
        return {Status::DOWNLOAD_SUCCESS, QStringLiteral("Success (No integrity check available)")};
    return {Status::DOWNLOAD_SUCCESS,
            QStringLiteral("Success (Integrity checked with ") + joinNames(tested) + QLatin1Char(')')};
}

void DownloadItem::finishOutput(Outcome& outcome)
{
    if (m_file == nullptr) {
        if (m_output != nullptr && m_output->isOpen())
            m_output->close();
        return;
    }
    // Only a whole, verified file replaces the target; anything else leaves the target as it was.
    if (outcome.status == Status::DOWNLOAD_SUCCESS && !m_file->commit()) {
        outcome = {Status::DOWNLOAD_OUTPUT_ERROR, m_file->errorString()};
        m_hashesValid = false;
    }
    m_file.reset();
    m_output = nullptr;
}

void DownloadItem::finishLocked(const Outcome& outcome)
{
    changeStatus(outcome.status, outcome.message, false);
    m_lock.unlock();
    emit downloadFinished(m_id, outcome.status);
}

bool DownloadItem::readData(DownloadManager::DownloadStatus& status, QString& message)
{
    if (m_reply == nullptr || !m_reply->isOpen())
        return true;
    m_contentType = m_reply->header(QNetworkRequest::ContentTypeHeader).toString();
    if (m_reply->bytesAvailable() <= 0)
        return true;
    if (m_output == nullptr || !m_output->isOpen()) {
        status = Status::DOWNLOAD_OUTPUT_ERROR;
        message = QStringLiteral("File not opened");
        return false;
    }
    if (!m_output->isWritable()) {
        status = Status::DOWNLOAD_OUTPUT_ERROR;
        message = QStringLiteral("Wrong open mode");
        return false;
    }
    const QByteArray data = m_reply->readAll();
    bool written = Utils::writeAll(*m_output, data);
    if (auto* file = qobject_cast<QFileDevice*>(m_output.data()))
        written = written && file->flush();
    if (!written) {
        status = Status::DOWNLOAD_OUTPUT_ERROR;
        message = m_output->errorString();
        m_hashesValid = false;
        return false;
    }
    m_writtenBytes += quint64(data.size());
    m_md5Hash.addData(data);
    m_sha1Hash.addData(data);
    m_hashesValid = true;
    return true;
}

void DownloadItem::restartStuckTimerLocked()
{
    int interval = 0;
    if (m_stuckTimer != nullptr && timerInterval(m_stuckTimeout, interval))
        m_stuckTimer->start(interval);
}

void DownloadItem::emitProgress()
{
    quint64 received = 0;
    quint64 total = 0;
    getDownloadProgress(received, total);
    emit downloadProgress(m_id, received, total);
}

void DownloadItem::onDownloadReadReady()
{
    QWriteLocker locker(&m_lock);
    if (m_stuckTimer != nullptr)
        m_stuckTimer->stop();
    DownloadManager::DownloadStatus status = 0;
    QString message;
    if (readData(status, message)) {
        restartStuckTimerLocked();
        return;
    }
    changeStatus(status, message, false);
    if (m_eventLoop != nullptr)
        m_eventLoop->quit(LoopWriteFailed);
}

void DownloadItem::onDownloadProgress(qint64 received, qint64 total)
{
    QWriteLocker locker(&m_lock);
    m_receivedBytes = received < 0 ? 0 : quint64(received);
    m_totalBytes = total < 0 ? 0 : quint64(total);
    const bool firstOrAhead = m_lastLoggedBytes <= m_receivedBytes || m_receivedBytes == m_totalBytes;
    if (m_totalBytes != 0 && firstOrAhead
        && (m_lastLoggedBytes == 0
            || (double(m_receivedBytes) - double(m_lastLoggedBytes)) / double(m_totalBytes) >= 0.05)) {
        const QString name = m_source.path().section(QLatin1Char('/'), -1);
        const QString percent = QString::number(double(m_receivedBytes) * 100.0 / double(m_totalBytes), 'f', 0);
        logMessage(Logger::DEBUG,
                   QStringLiteral("Downloading %1 (%2) [%3% %4/%5]")
                       .arg(name, m_source.host(), percent,
                            FileManager2::convertBytesToHumanReadableSize(m_receivedBytes, 2),
                            FileManager2::convertBytesToHumanReadableSize(m_totalBytes, 2)));
        m_lastLoggedBytes = m_receivedBytes;
    }
    // Progress and data are both signs of life.
    restartStuckTimerLocked();
}

void DownloadItem::onSSLError(const QList<QSslError>& errors)
{
    // Every verification error ends the handshake: nothing is ignored, the request fails with the
    // network layer's SSL error.
    for (const QSslError& error : errors) {
        const int code = int(error.error());
        if (code == int(QSslError::NoError))
            continue;
        logMessage(Logger::ERROR, sslErrorText(code));
        logMessage(Logger::ERROR, error.errorString());
    }
}

void DownloadItem::onAuthentificationFailed(QNetworkReply* reply, QAuthenticator* authenticator)
{
    if (reply != m_reply)
        return;
    QString user = m_user;
    QString password = m_password;
    bool cancel = true;
    qDebug().noquote() << "Authentication failed with " + quoted(user);
    emit authentificationFailed(DownloadItemPtr(this), &user, &password, &cancel);
    if (cancel)
        return; // the request ends with the network layer's authentication error
    qDebug().noquote() << "Retry authentication with " + quoted(user) + " and real password";
    authenticator->setUser(user);
    authenticator->setPassword(password);
    m_user = user;
    m_password = password;
}

void DownloadItem::sendProgress()
{
    emitProgress();
}

// ---- Post-processing of a flash file ----

void DownloadItem::onDownloadFlashFileDone()
{
    logMessage(Logger::TRACE, "Flash file download succeed");
    m_lock.lockForWrite();
    if (m_status != Status::DOWNLOAD_POST_PROCESSING) {
        m_lock.unlock();
        return;
    }
    logMessage(Logger::TRACE, "Post processing download ...");
    const QFileInfo file(m_outputPath);
    m_lock.unlock();

    const QString path = file.absoluteFilePath();
    switch (FileManager2::getFileType(path)) {
    case FileManager2::HardwaresJsonFile:
        postProcessingDone();
        return;
    case FileManager2::ArchiveFile: {
        const QString folder = file.absolutePath();
        if (!isWritableFolder(folder)) {
            logMessage(Logger::ERROR, QStringLiteral("You must have write permission to the output directory ") + folder);
            changeStatus(Status::DOWNLOAD_OUTPUT_ERROR, QStringLiteral("Fail to write in the output directory ") + folder, true);
            emit downloadFinished(m_id, Status::DOWNLOAD_OUTPUT_ERROR);
            return;
        }
        if (m_manager->unpacksArchives()) {
            const QString target = QDir(folder).filePath(FileManager2::getFileBaseName(path));
            // An archive that cannot be unpacked is of no use to the caller: no success then.
            if (!FileManager2::unzipArchive(path, target, true)) {
                changeStatus(Status::DOWNLOAD_INVALID_FLASH_FILE,
                             QStringLiteral("Cannot unpack flash file ") + sourceText(), true);
                emit downloadFinished(m_id, Status::DOWNLOAD_INVALID_FLASH_FILE);
                return;
            }
        }
        postProcessingDone();
        return;
    }
    case FileManager2::FlashFile:
        logMessage(Logger::ERROR, QStringLiteral("Download from FlashFile (xml or json) not supported (")
                                      + sourceText() + QLatin1Char('}'));
        postProcessingDone(); // the one final downloadFinished
        return;
    default:
        changeStatus(Status::DOWNLOAD_INVALID_FLASH_FILE, QStringLiteral("Invalid flash file ") + sourceText(), true);
        emit downloadFinished(m_id, Status::DOWNLOAD_INVALID_FLASH_FILE);
        return;
    }
}

void DownloadItem::postProcessCachedFile()
{
    const WorkDone done(m_work);
    onDownloadFlashFileDone();
}

// ---- Status and tree ----

void DownloadItem::changeStatus(DownloadManager::DownloadStatus status, const QString& message, bool lock)
{
    if (lock)
        m_lock.lockForWrite();
    const DownloadManager::DownloadStatus previous = m_status;
    m_status = status;
    m_statusMessage = message;
    if (lock)
        m_lock.unlock();
    qDebug().noquote() << "Status changed of " + objectText() + " to " + quoted(QString::number(status));
    const DownloadManager::DownloadId id = m_id;
    QMetaObject::invokeMethod(
        this, [this, id, status, previous] { emit statusChanged(id, status, previous); },
        Qt::QueuedConnection);
}

void DownloadItem::postProcessingDone()
{
    m_lock.lockForWrite();
    m_postProcessed = true;
    completeWhenChildrenDoneLocked();
}

void DownloadItem::completeWhenChildrenDoneLocked()
{
    // A child that ends while the file is still being unpacked does not complete the item.
    bool done = m_status == Status::DOWNLOAD_POST_PROCESSING && m_postProcessed;
    for (const QPointer<DownloadItem>& child : qAsConst(m_childItems)) {
        if (done && !child.isNull() && !child->isFinished())
            done = false;
    }
    if (!done) {
        m_lock.unlock();
        return;
    }
    changeStatus(Status::DOWNLOAD_SUCCESS, m_statusMessage, false);
    m_lock.unlock();
    emit childDownloadsFinished(m_id);
    emit downloadFinished(m_id, Status::DOWNLOAD_SUCCESS);
}

void DownloadItem::onChildComplete()
{
    m_lock.lockForWrite();
    const DownloadManager::DownloadStatus status = m_status;
    if (status == Status::DOWNLOAD_POST_PROCESSING) {
        completeWhenChildrenDoneLocked();
        return;
    }
    m_lock.unlock();
    if (status == Status::DOWNLOAD_NEVER_STARTED || status == Status::DOWNLOAD_PENDING
        || status == Status::DOWNLOAD_IN_PROGRESS)
        return;
    emit downloadFinished(m_id, status); // a finished parent echoes each child's end
}

void DownloadItem::abort()
{
    m_lock.lockForWrite();
    switch (m_status) {
    case Status::DOWNLOAD_IN_PROGRESS:
        // The reply belongs to the transfer's thread: run() aborts it once its loop has ended.
        if (m_eventLoop != nullptr)
            m_eventLoop->exit(LoopAborted);
        m_lock.unlock();
        return;
    case Status::DOWNLOAD_NEVER_STARTED:
    case Status::DOWNLOAD_PENDING:
        changeStatus(Status::DOWNLOAD_CANCELLED, QStringLiteral("Download cancelled"), false);
        m_lock.unlock();
        if (m_manager != nullptr)
            m_manager->removeDownloadFromTaskList(this);
        emit downloadFinished(m_id, Status::DOWNLOAD_CANCELLED);
        return;
    default:
        m_lock.unlock();
        return;
    }
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

void DownloadItem::removeFromParentNoLock(DownloadItem* parent)
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
    removeFromParentNoLock(parent);
    m_parentItems.removeAll(parent);
}

void DownloadItem::removeFromAllParentsNoLock()
{
    for (const QPointer<DownloadItem>& parent : qAsConst(m_parentItems)) {
        if (parent.isNull())
            continue;
        QWriteLocker parentLocker(&parent->m_lock);
        removeFromParentNoLock(parent);
    }
    m_parentItems.clear();
}

void DownloadItem::removeFromAllParents()
{
    QWriteLocker locker(&m_lock);
    removeFromAllParentsNoLock();
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
    // Write side: reading a hash's result finalises it.
    QWriteLocker locker(&m_lock);
    if (m_status != Status::DOWNLOAD_SUCCESS || !m_hashesValid)
        return QString();
    return QString::fromLatin1(m_md5Hash.result().toHex());
}

QString DownloadItem::getSha1() const
{
    QWriteLocker locker(&m_lock);
    if (m_status != Status::DOWNLOAD_SUCCESS || !m_hashesValid)
        return QString();
    return QString::fromLatin1(m_sha1Hash.result().toHex());
}

bool DownloadItem::areHashesValid() const
{
    QReadLocker locker(&m_lock);
    return m_hashesValid;
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
    QWriteLocker locker(&m_lock);
    m_outputPath = cachedPath;
    m_hashesValid = false; // the digests of an earlier transfer are not the cached copy's
    m_postProcessed = false;
    changeStatus(status, message, false);
}

void DownloadItem::resetForRetry(bool keepExpectedSize)
{
    QWriteLocker locker(&m_lock);
    changeStatus(Status::DOWNLOAD_NEVER_STARTED, QStringLiteral("Download not started"), false);
    m_receivedBytes = 0;
    if (!keepExpectedSize)
        m_totalBytes = 0;
}

bool DownloadItem::makePendingForPriority(bool& wasPendingInNormalPool)
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
    changeStatus(Status::DOWNLOAD_PENDING, QStringLiteral("Pending download"), false);
    return true;
}

void DownloadItem::makePending()
{
    changeStatus(Status::DOWNLOAD_PENDING, QStringLiteral("Pending download"), true);
}

void DownloadItem::markQueued()
{
    QMutexLocker locker(&m_work->mutex);
    ++m_work->pending;
}

void DownloadItem::markWithdrawn()
{
    m_work->finishOne();
}

bool DownloadItem::isBusy() const
{
    QMutexLocker locker(&m_work->mutex);
    return m_work->pending > 0;
}

bool DownloadItem::isWorkingIn(QThread* thread) const
{
    QMutexLocker locker(&m_work->mutex);
    return m_work->workingThreads.contains(thread);
}

void DownloadItem::waitUntilIdle()
{
    const std::shared_ptr<WorkState> work = m_work;
    QEventLoop loop;
    {
        QMutexLocker locker(&work->mutex);
        if (work->pending == 0)
            return;
        work->waiters.append(&loop);
    }
    for (;;) {
        loop.exec();
        QMutexLocker locker(&work->mutex);
        if (work->pending == 0) {
            work->waiters.removeAll(&loop);
            return;
        }
    }
}
