#pragma once

// One HTTP(S) GET written into an open device: the request, the watchdog, the data and its digests,
// and the verdict on the answer. Knows nothing of download items or their locks: it reports by
// signals and by the outcome run() returns. Lives on the thread that runs it (a pool thread);
// cancel() and setStuckTimeout() may be called from any thread.

#include "core/CustomEventLoop.h"
#include "download/DownloadManager.h"
#include "platform/log/LoggedObject.h"

#include <QCryptographicHash>
#include <QHostAddress>
#include <QIODevice>
#include <QObject>
#include <QPointer>
#include <QSslConfiguration>
#include <QSslError>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <atomic>
#include <cstdint>

class QAuthenticator;
class QNetworkReply;

class FileTransfer : public QObject, public LoggedObject
{
    Q_OBJECT

public:
    enum class End { Completed, Failed, Cancelled, TimedOut };

    struct Request
    {
        QUrl source;                 // without user information
        QHostAddress server;         // where the connection goes; the URL's host names the certificate
        QString user;
        QString password;
        QSslConfiguration sslConfiguration;
        uint64_t startTimeoutMs = 0; // 0, or beyond a timer's range: no limit
        uint64_t stuckTimeoutMs = 0;
    };

    struct Outcome
    {
        Outcome() = default;
        Outcome(DownloadManager::DownloadStatus endStatus, QString endMessage)
            : status(endStatus)
            , message(std::move(endMessage))
        {
        }

        DownloadManager::DownloadStatus status = DownloadManager::DOWNLOAD_SUCCESS;
        QString message;
        quint64 writtenBytes = 0;
        QString md5;                 // lower-case hexadecimal, of a completed transfer only
        QString sha1;
        QString contentType;

        End end() const;
    };

    FileTransfer();
    ~FileTransfer() override;

    // Blocking. Sends the request and writes the answer's body into `output`, which must be open
    // and writable and stays open. Once only.
    Outcome run(const Request& request, QIODevice* output);
    // The transfer ends soon with DOWNLOAD_CANCELLED; before run(), run() ends at once.
    void cancel();
    // Taken at the next sign of life.
    void setStuckTimeout(uint64_t timeoutMs);

signals:
    // Emitted on the transfer's thread at every change.
    void progressChanged(quint64 received, quint64 total);
    // Every 500 ms while data may arrive: time to tell the receivers where the transfer is.
    void progressDue();
    // The server wants credentials: a receiver may replace them and clears `cancel` to retry.
    void credentialsRequired(QString* user, QString* password, bool* cancel);

private:
    Outcome loopOutcome(int exitCode);
    Outcome replyOutcome();
    Outcome integrityOutcome() const;
    // Moves what the reply holds into the output; false with the reason in `error`.
    bool drainReply(QString& error);
    void restartStuckTimer();

    void onReadyRead();
    void onDownloadProgress(qint64 received, qint64 total);
    void onSslErrors(const QList<QSslError>& errors);
    void onAuthenticationRequired(QNetworkReply* reply, QAuthenticator* authenticator);

    CustomEventLoop m_loop;
    QTimer m_stuckTimer;
    std::atomic<uint64_t> m_stuckTimeoutMs{0};
    QUrl m_source;
    QString m_user;
    QString m_password;
    QPointer<QIODevice> m_output;
    QNetworkReply* m_reply = nullptr; // during run()
    Outcome m_writeFailure;
    quint64 m_receivedBytes = 0;
    quint64 m_totalBytes = 0;
    quint64 m_lastLoggedBytes = 0;
    quint64 m_writtenBytes = 0;
    QString m_contentType;
    QCryptographicHash m_md5{QCryptographicHash::Md5};
    QCryptographicHash m_sha1{QCryptographicHash::Sha1};
    bool m_hashesValid = false; // some data written, none lost
};
