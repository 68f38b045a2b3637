#include "download/FileTransfer.h"

#include "core/Utils.h"
#include "loader/FileManager2.h"

#include <QAuthenticator>
#include <QCoreApplication>
#include <QFileDevice>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QtDebug>

#include <climits>
#include <memory>

using Status = DownloadManager::DownloadStatusValue;

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

QNetworkRequest buildRequest(const FileTransfer::Request& transfer)
{
    QUrl target = transfer.source;
    target.setHost(transfer.server.toString());
    QNetworkRequest request(target);
    request.setRawHeader("Host", transfer.source.host().toUtf8());
    request.setRawHeader("X-Result-Detail", "info, properties");
    request.setRawHeader("User-Agent", "Quillon " + QCoreApplication::applicationVersion().toLatin1());
    request.setRawHeader("Connection", "close");
    if (!transfer.user.isEmpty())
        request.setRawHeader("Authorization",
                             "Basic " + (transfer.user + QLatin1Char(':') + transfer.password).toUtf8().toBase64());
    // Only the file itself is a download: a redirect answer fails (replyOutcome).
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    if (transfer.source.scheme().toLower() == QLatin1String("https")) {
        QSslConfiguration configuration = transfer.sslConfiguration;
        configuration.setPeerVerifyMode(QSslSocket::VerifyPeer);
        request.setSslConfiguration(configuration);
        // The connection goes to an address: the certificate must still name the URL's host.
        request.setPeerVerifyName(transfer.source.host());
    }
    return request;
}

} // namespace

FileTransfer::End FileTransfer::Outcome::end() const
{
    switch (status) {
    case Status::DOWNLOAD_SUCCESS:
        return End::Completed;
    case Status::DOWNLOAD_CANCELLED:
        return End::Cancelled;
    case Status::DOWNLOAD_STUCK:
        return End::TimedOut;
    default:
        return End::Failed;
    }
}

FileTransfer::FileTransfer()
{
    m_stuckTimer.setSingleShot(true);
    connect(&m_stuckTimer, &QTimer::timeout, this, [this] { m_loop.exit(LoopStuck); }, Qt::DirectConnection);
}

FileTransfer::~FileTransfer() = default;

FileTransfer::Outcome FileTransfer::run(const Request& request, QIODevice* output)
{
    m_source = request.source;
    m_user = request.user;
    m_password = request.password;
    m_stuckTimeoutMs = request.stuckTimeoutMs;
    m_output = output;

    QNetworkAccessManager network;
    connect(&network, &QNetworkAccessManager::authenticationRequired, this,
            &FileTransfer::onAuthenticationRequired, Qt::DirectConnection);
    m_loop.processEvents(QEventLoop::AllEvents);
    QTimer progressTimer;
    progressTimer.setInterval(500);
    connect(&progressTimer, &QTimer::timeout, this, &FileTransfer::progressDue, Qt::DirectConnection);

    const std::unique_ptr<QNetworkReply> reply(network.get(buildRequest(request)));
    qDebug().noquote() << "Request launched for " + quoted(objectName());
    if (reply == nullptr)
        return {Status::DOWNLOAD_NO_MEMORY, QStringLiteral("Not enough memory to create reply")};
    m_reply = reply.get();
    m_reply->setReadBufferSize(ms_kReadBufferBytes);
    // The end of the reply goes through the loop's queue, so that it is seen only inside exec().
    connect(m_reply, &QNetworkReply::finished, &m_loop, [this] { m_loop.exit(LoopFinished); },
            Qt::QueuedConnection);
    connect(m_reply, &QNetworkReply::downloadProgress, this, &FileTransfer::onDownloadProgress,
            Qt::DirectConnection);
    connect(m_reply, &QNetworkReply::readyRead, this, &FileTransfer::onReadyRead, Qt::DirectConnection);
    connect(m_reply, &QNetworkReply::sslErrors, this, &FileTransfer::onSslErrors, Qt::DirectConnection);

    Outcome outcome{Status::DOWNLOAD_SUCCESS, QStringLiteral("Success")};
    if (!m_reply->isFinished()) {
        progressTimer.start();
        int interval = 0;
        if (timerInterval(request.startTimeoutMs, interval)) {
            m_stuckTimer.start(interval);
            logMessage(Logger::TRACE, QStringLiteral("Waiting for download started (timeout %1 ms)")
                                          .arg(request.startTimeoutMs));
        }
        if (request.stuckTimeoutMs == 0)
            qDebug().noquote() << "Timeout for download stuck not set";
        else
            logMessage(Logger::TRACE,
                       QStringLiteral("Timeout for download stuck set to %1 ms").arg(request.stuckTimeoutMs));
        const int exitCode = m_loop.exec(QEventLoop::AllEvents);
        progressTimer.stop();
        m_stuckTimer.stop();
        logMessage(Logger::TRACE, QStringLiteral("Download %1 finished with code %2 %3")
                                      .arg(objectName(), QString::number(exitCode),
                                           QString::number(int(m_reply->error()))));
        outcome = loopOutcome(exitCode);
    }
    if (outcome.status == Status::DOWNLOAD_SUCCESS)
        outcome = replyOutcome();
    m_reply->close();
    m_reply = nullptr;

    outcome.writtenBytes = m_writtenBytes;
    outcome.contentType = m_contentType;
    if (outcome.status == Status::DOWNLOAD_SUCCESS && m_hashesValid) {
        outcome.md5 = QString::fromLatin1(m_md5.result().toHex());
        outcome.sha1 = QString::fromLatin1(m_sha1.result().toHex());
    }
    return outcome;
}

void FileTransfer::cancel()
{
    m_loop.exit(LoopAborted);
}

void FileTransfer::setStuckTimeout(uint64_t timeoutMs)
{
    m_stuckTimeoutMs = timeoutMs;
}

FileTransfer::Outcome FileTransfer::loopOutcome(int exitCode)
{
    Outcome outcome;
    switch (exitCode) {
    case LoopFinished:
        return {Status::DOWNLOAD_SUCCESS, QStringLiteral("Success")};
    case LoopAborted:
        outcome = {Status::DOWNLOAD_CANCELLED, QStringLiteral("Download aborted")};
        break;
    case LoopWriteFailed:
        outcome = m_writeFailure;
        break;
    case LoopStuck:
        outcome = {Status::DOWNLOAD_STUCK, QStringLiteral("No data retrieved in %1 minutes")
                                               .arg(m_stuckTimer.interval() / 60000)};
        break;
    default:
        return {Status::DOWNLOAD_UNHANDLED_ERROR, QStringLiteral("Unhandle code %1").arg(exitCode)};
    }
    m_reply->abort();
    return outcome;
}

FileTransfer::Outcome FileTransfer::replyOutcome()
{
    const QNetworkReply::NetworkError error = m_reply->error();
    if (error == QNetworkReply::OperationCanceledError) {
        // However the reply came to be cancelled, a cancel is never a success.
        return {Status::DOWNLOAD_CANCELLED, QStringLiteral("Download aborted")};
    }
    QString writeError;
    if (error != QNetworkReply::NoError) {
        drainReply(writeError);
        return {statusOfNetworkError(error), m_reply->errorString()};
    }
    const QVariant httpStatus = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (httpStatus.isValid() && !isWholeFileAnswer(httpStatus.toInt())) {
        // Qt ends a redirect without error, with the redirect page as its body.
        const QString reason = m_reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
        return {Status::DOWNLOAD_UNEXPECTED_HTTP_STATUS,
                QStringLiteral("Unexpected answer of the server: HTTP %1 %2 (only a full 2xx answer is a "
                               "download; redirects are not followed)")
                    .arg(QString::number(httpStatus.toInt()), reason)};
    }
    if (m_totalBytes == 0) {
        // A whole answer of unannounced length is as large as what arrived.
        m_totalBytes = m_receivedBytes;
        emit progressChanged(m_receivedBytes, m_totalBytes);
    }
    if (!drainReply(writeError))
        return {Status::DOWNLOAD_OUTPUT_ERROR, writeError};
    const QVariant declared = m_reply->header(QNetworkRequest::ContentLengthHeader);
    if (declared.isValid() && declared.toULongLong() != m_writtenBytes) {
        // The connection ended early (or carried more): whatever arrived is not the file.
        return {Status::DOWNLOAD_INTEGRITY_FAILED,
                QStringLiteral("Download size mismatch: %1 bytes received, %2 announced")
                    .arg(QString::number(m_writtenBytes), QString::number(declared.toULongLong()))};
    }
    return integrityOutcome();
}

FileTransfer::Outcome FileTransfer::integrityOutcome() const
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
    check("X-Checksum-Sha1", m_sha1, QStringLiteral("Sha-1"));
    check("X-Checksum-Md5", m_md5, QStringLiteral("MD5"));
    if (!failed.isEmpty())
        return {Status::DOWNLOAD_INTEGRITY_FAILED, QStringLiteral("Integrity check failed with ")
                                                       + joinNames(failed) + QStringLiteral(" (Integrity tested with ")
                                                       + joinNames(tested) + QLatin1Char(')')};
    if (tested.isEmpty())
        return {Status::DOWNLOAD_SUCCESS, QStringLiteral("Success (No integrity check available)")};
    return {Status::DOWNLOAD_SUCCESS,
            QStringLiteral("Success (Integrity checked with ") + joinNames(tested) + QLatin1Char(')')};
}

bool FileTransfer::drainReply(QString& error)
{
    if (!m_reply->isOpen())
        return true;
    m_contentType = m_reply->header(QNetworkRequest::ContentTypeHeader).toString();
    if (m_reply->bytesAvailable() <= 0)
        return true;
    if (m_output == nullptr || !m_output->isOpen()) {
        error = QStringLiteral("File not opened");
        return false;
    }
    if (!m_output->isWritable()) {
        error = QStringLiteral("Wrong open mode");
        return false;
    }
    const QByteArray data = m_reply->readAll();
    bool written = Utils::writeAll(*m_output, data);
    if (auto* file = qobject_cast<QFileDevice*>(m_output.data()))
        written = written && file->flush();
    if (!written) {
        error = m_output->errorString();
        m_hashesValid = false;
        return false;
    }
    m_writtenBytes += quint64(data.size());
    m_md5.addData(data);
    m_sha1.addData(data);
    m_hashesValid = true;
    return true;
}

void FileTransfer::restartStuckTimer()
{
    int interval = 0;
    if (timerInterval(m_stuckTimeoutMs, interval))
        m_stuckTimer.start(interval);
}

void FileTransfer::onReadyRead()
{
    m_stuckTimer.stop();
    QString error;
    if (drainReply(error)) {
        restartStuckTimer();
        return;
    }
    m_writeFailure = {Status::DOWNLOAD_OUTPUT_ERROR, error};
    m_loop.exit(LoopWriteFailed);
}

void FileTransfer::onDownloadProgress(qint64 received, qint64 total)
{
    m_receivedBytes = received < 0 ? 0 : quint64(received);
    m_totalBytes = total < 0 ? 0 : quint64(total);
    emit progressChanged(m_receivedBytes, m_totalBytes);
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
    restartStuckTimer();
}

void FileTransfer::onSslErrors(const QList<QSslError>& errors)
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

void FileTransfer::onAuthenticationRequired(QNetworkReply* reply, QAuthenticator* authenticator)
{
    if (reply != m_reply)
        return;
    QString user = m_user;
    QString password = m_password;
    bool cancel = true;
    qDebug().noquote() << "Authentication failed with " + quoted(user);
    emit credentialsRequired(&user, &password, &cancel);
    if (cancel)
        return; // the request ends with the network layer's authentication error
    qDebug().noquote() << "Retry authentication with " + quoted(user) + " and real password";
    authenticator->setUser(user);
    authenticator->setPassword(password);
    m_user = user;
    m_password = password;
}
