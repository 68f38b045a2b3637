// One download against the local repository server: request headers, integrity check, outcomes,
// watchdog, progress lines, authentication, TLS, device output, abort, statuses and links.

#include "DownloadTestKit.h"

#include "core/MetaTypes.h"
#include "download/PasswordManager.h"

#include <QBuffer>
#include <QRegularExpression>
#include <QtTest>

#include <cerrno>
#include <csignal>
#include <cstring>

#include <sys/resource.h>

using namespace DownloadTestKit;
using M = DownloadManager;

namespace {

const QByteArray ms_kContent = payload(64 * 1024);
const QByteArray ms_kOldContent = "the file as it was before the download";

// A device that refuses every write, as a full disk would.
class FullDevice : public QIODevice
{
protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char*, qint64) override
    {
        setErrorString(QStringLiteral("No space left on device (test)"));
        return -1;
    }
};

// Files of a download's folder other than the target: what a failed download must not leave.
QStringList leftovers(const QString& folder, const QString& target)
{
    QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden);
    names.removeAll(QFileInfo(target).fileName());
    return names;
}

} // namespace

class tst_DownloadItem : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void newItemHasNeverStarted();
    void statusClassification_data();
    void statusClassification();
    void requestHeaders_data();
    void requestHeaders();
    void transferOutcome_data();
    void transferOutcome();
    void watchdogEndsASilentTransfer_data();
    void watchdogEndsASilentTransfer();
    void progressIsLoggedOncePerFivePercent();
    void basicAuthentication_data();
    void basicAuthentication();
    void tls_data();
    void tls();
    void aFullDiskGivesTheSystemsReason();
    void deviceOutput_data();
    void deviceOutput();
    void abort_data();
    void abort();
    void everyStatusChangeIsAnnounced();
    void runIgnoresAnItemThatIsNotPending();
    void linksBetweenItems();

private:
    QTemporaryDir m_root;      // what the servers serve
    QTemporaryDir m_certificates;
    RepositoryServer m_http;
    RepositoryServer m_trusted;
    RepositoryServer m_untrusted;
    RepositoryServer m_otherHost;
};

void tst_DownloadItem::initTestCase()
{
    registerMetaTypes();
    QCoreApplication::setApplicationVersion(QStringLiteral("5.3.2.0"));
    QVERIFY(writeFile(m_root.filePath(QStringLiteral("file.bin")), ms_kContent));
    QVERIFY(writeFile(m_root.filePath(QStringLiteral("payload.bin")), payload(400 * 1024)));
    QString error;
    QVERIFY2(m_http.start(m_root.path(), error), qPrintable(error));
    const QString certs = m_certificates.path() + QLatin1Char('/');
    QVERIFY2(makeCertificates(m_certificates.path(), error), qPrintable(error));
    QVERIFY(trustAuthority(certs + QStringLiteral("ca.pem")));
    QVERIFY2(m_trusted.start(m_root.path(), error, certs + "trusted.pem", certs + "trusted.key"), qPrintable(error));
    QVERIFY2(m_untrusted.start(m_root.path(), error, certs + "untrusted.pem", certs + "untrusted.key"),
             qPrintable(error));
    QVERIFY2(m_otherHost.start(m_root.path(), error, certs + "other-host.pem", certs + "other-host.key"),
             qPrintable(error));
}

void tst_DownloadItem::newItemHasNeverStarted()
{
    Client client;
    QTemporaryDir target;
    const DownloadItemPtr item = client.manager->downloadSimpleFile(
        m_http.url(QStringLiteral("file.bin")), QHostAddress(), QFile(target.filePath(QStringLiteral("f"))),
        M::BEHAVIOR_ALWAYS_DOWNLOAD);
    QVERIFY(item);
    QCOMPARE(item->getStatus(), int(M::DOWNLOAD_NEVER_STARTED));
    QCOMPARE(item->getStatusMessage(), QStringLiteral("Download never started"));
    QVERIFY(!item->isFinished());
    QVERIFY(!item->hasFailed());
    QCOMPARE(item->getServerIP(), QHostAddress(QHostAddress::LocalHost)); // resolved from the URL
}

void tst_DownloadItem::statusClassification_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("finished");
    QTest::addColumn<bool>("failed");
    QTest::newRow("501 never started") << 501 << false << false;
    QTest::newRow("502 pending") << 502 << false << false;
    QTest::newRow("503 in progress") << 503 << false << false;
    QTest::newRow("504 success") << 504 << true << false;
    QTest::newRow("505 post-processing") << 505 << false << false;
    QTest::newRow("506 stuck") << 506 << true << true;
    QTest::newRow("5 cancelled") << 5 << true << true;
    QTest::newRow("401 invalid URL") << 401 << true << true;
    QTest::newRow("203 not found") << 203 << true << true;
    QTest::newRow("601 server error") << 601 << true << true;
}

void tst_DownloadItem::statusClassification()
{
    QFETCH(int, status);
    QFETCH(bool, finished);
    QFETCH(bool, failed);
    QBuffer buffer;
    Client client;
    const DownloadItemPtr item = client.manager->downloadSimpleFile(
        m_http.url(QStringLiteral("file.bin")), QHostAddress::LocalHost, &buffer);
    item->changeStatus(status, QStringLiteral("set by the test"));
    QCOMPARE(item->isFinished(), finished);
    QCOMPARE(item->hasFailed(), failed);
    QCOMPARE(item->getStatusMessage(), QStringLiteral("set by the test"));
}

void tst_DownloadItem::requestHeaders_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("withAddress");
    QTest::addColumn<QString>("user");
    QTest::newRow("name with a server address, user") << "quillon.test" << true << "alice";
    QTest::newRow("name with a server address, no user") << "quillon.test" << true << "";
    QTest::newRow("address resolved from the URL") << "127.0.0.1" << false << "";
}

void tst_DownloadItem::requestHeaders()
{
    QFETCH(QString, host);
    QFETCH(bool, withAddress);
    QFETCH(QString, user);
    Client client;
    QTemporaryDir target;
    static int row = 0;
    const QString path = QStringLiteral("file.bin?headers=") + QString::number(++row);
    const DownloadItemPtr item = client.manager->downloadSimpleFile(
        m_http.url(path, host), withAddress ? QHostAddress(QHostAddress::LocalHost) : QHostAddress(),
        QFile(target.filePath(QStringLiteral("f"))), user, QStringLiteral("pa:ss"), M::BEHAVIOR_ALWAYS_DOWNLOAD);
    QVERIFY(client.manager->startDownload(item));
    QCOMPARE(client.waitForFinish(item->getId()), int(M::DOWNLOAD_SUCCESS));

    const QList<QJsonObject> requests = m_http.requestHeaders(QLatin1Char('/') + path);
    QCOMPARE(requests.size(), 1);
    const QJsonObject headers = requests.first();
    QCOMPARE(headers.value("Host").toString(), host);
    QCOMPARE(headers.value("X-Result-Detail").toString(), QStringLiteral("info, properties"));
    QCOMPARE(headers.value("User-Agent").toString(), QStringLiteral("Quillon 5.3.2.0"));
    QCOMPARE(headers.value("Connection").toString(), QStringLiteral("close"));
    QCOMPARE(headers.contains("Authorization"), !user.isEmpty());
    if (!user.isEmpty())
        QCOMPARE(headers.value("Authorization").toString(),
                 QStringLiteral("Basic ") + QString::fromLatin1((user + ":pa:ss").toUtf8().toBase64()));
    const QString startLine = QStringLiteral("Downloading ") + m_http.url(path, host).toString() + " in "
                              + target.filePath(QStringLiteral("f"))
                              + (user.isEmpty() ? QString() : " using credentials of " + user);
    QVERIFY2(client.log.texts(Logger::INFO).contains(startLine), qPrintable(client.log.texts(Logger::INFO).join('\n')));
}

void tst_DownloadItem::transferOutcome_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message"); // a regular expression
    QTest::newRow("both checksums right") << "file.bin?sha1=ok&md5=ok" << 504
                                          << "^Success \\(Integrity checked with Sha-1 and MD5\\)$";
    QTest::newRow("Sha-1 only") << "file.bin?sha1=ok" << 504 << "^Success \\(Integrity checked with Sha-1\\)$";
    QTest::newRow("no checksum") << "file.bin" << 504 << "^Success \\(No integrity check available\\)$";
    QTest::newRow("upper-case checksums") << "file.bin?sha1=upper&md5=upper" << 504
                                          << "^Success \\(Integrity checked with Sha-1 and MD5\\)$";
    QTest::newRow("no Content-Length") << "file.bin?length=no&chunks=4" << 504
                                       << "^Success \\(No integrity check available\\)$";
    QTest::newRow("wrong MD5") << "file.bin?sha1=ok&md5=bad" << 405
                               << "^Integrity check failed with MD5 \\(Integrity tested with Sha-1 and MD5\\)$";
    QTest::newRow("both wrong") << "file.bin?sha1=bad&md5=bad" << 405
                                << "^Integrity check failed with Sha-1 and MD5 \\(Integrity tested with Sha-1 and MD5\\)$";
    QTest::newRow("404") << "missing.bin" << int(QNetworkReply::ContentNotFoundError) << "Not Found|not found";
    QTest::newRow("HTTP 500") << "file.bin?status=500" << 601 << "Internal Server Error";
    QTest::newRow("HTTP 501") << "file.bin?status=501" << 602 << "Not Implemented";
    QTest::newRow("HTTP 503") << "file.bin?status=503" << 603 << "Service Unavailable";
    QTest::newRow("HTTP 502") << "file.bin?status=502" << 699 << "Bad Gateway";
    QTest::newRow("redirect") << "file.bin?status=302" << 600 << "HTTP 302 Found .*redirects are not followed";
    QTest::newRow("part of the file, no range asked") << "file.bin?status=206" << 600 << "HTTP 206 Partial Content";
    QTest::newRow("no content") << "file.bin?status=204" << 600 << "HTTP 204 No Content";
    QTest::newRow("body shorter than announced") << "file.bin?short=1000" << int(QNetworkReply::RemoteHostClosedError)
                                                 << "^Connection closed$";
}

void tst_DownloadItem::transferOutcome()
{
    QFETCH(QString, path);
    QFETCH(int, status);
    QFETCH(QString, message);
    Client client;
    QTemporaryDir folder;
    const QString target = folder.filePath(QStringLiteral("out/file.bin")); // "out" is created
    QVERIFY(QDir().mkpath(folder.filePath("out")));
    QVERIFY(writeFile(target, ms_kOldContent));
    const DownloadItemPtr item = client.manager->downloadSimpleFile(m_http.url(path), QHostAddress(),
                                                                   QFile(target), M::BEHAVIOR_ALWAYS_DOWNLOAD);
    QVERIFY(client.manager->startDownload(item));
    QCOMPARE(client.waitForFinish(item->getId()), status);
    QCOMPARE(item->getStatus(), status);
    QVERIFY2(item->getStatusMessage().contains(QRegularExpression(message)), qPrintable(item->getStatusMessage()));
    QCOMPARE(client.events.count(QStringLiteral("finished ") + QString::number(item->getId())), 1);

    if (status == M::DOWNLOAD_SUCCESS) {
        QCOMPARE(readFile(target), ms_kContent);
        QCOMPARE(item->getMD5(), hexDigest(ms_kContent, QCryptographicHash::Md5));
        QCOMPARE(item->getSha1(), hexDigest(ms_kContent, QCryptographicHash::Sha1));
        quint64 received = 0;
        quint64 total = 0;
        item->getDownloadProgress(received, total);
        QCOMPARE(received, quint64(ms_kContent.size()));
        QCOMPARE(total, quint64(ms_kContent.size()));
    } else {
        // A failed download leaves the target as it was, and no partial file beside it.
        QCOMPARE(readFile(target), ms_kOldContent);
        QVERIFY(item->getMD5().isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(client.log.texts(Logger::ERROR).contains(item->getSource().toString() + " failed"),
                                 WaitMs);
    }
    QCOMPARE(leftovers(folder.filePath("out"), target), QStringList());
}

void tst_DownloadItem::watchdogEndsASilentTransfer_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<quint64>("startTimeout");
    QTest::addColumn<quint64>("stuckTimeout");
    QTest::newRow("stuck after the first data") << "file.bin?stall=20000" << quint64(0) << quint64(300);
    QTest::newRow("no answer at all") << "file.bin?hold=20000" << quint64(300) << quint64(0);
}

void tst_DownloadItem::watchdogEndsASilentTransfer()
{
    QFETCH(QString, path);
    QFETCH(quint64, startTimeout);
    QFETCH(quint64, stuckTimeout);
    Client client;
    client.manager->setTimeouts(startTimeout, stuckTimeout);
    QTemporaryDir folder;
    const QString target = folder.filePath(QStringLiteral("file.bin"));
    const DownloadItemPtr item = client.manager->downloadSimpleFile(m_http.url(path), QHostAddress(),
                                                                   QFile(target), M::BEHAVIOR_ALWAYS_DOWNLOAD);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(client.manager->startDownload(item));
    QCOMPARE(client.waitForFinish(item->getId()), int(M::DOWNLOAD_STUCK));
    QVERIFY(clock.elapsed() >= 280); // a coarse timer may fire up to 5 % early
    QCOMPARE(item->getStatusMessage(), QStringLiteral("No data retrieved in 0 minutes"));
    QVERIFY(!QFile::exists(target));
    QCOMPARE(leftovers(folder.path(), target), QStringList());
}

void tst_DownloadItem::progressIsLoggedOncePerFivePercent()
{
    Client client;
    QTemporaryDir folder;
    const DownloadItemPtr item = client.manager->downloadSimpleFile(
        m_http.url(QStringLiteral("payload.bin?chunks=60&delay=10")), QHostAddress(),
        QFile(folder.filePath(QStringLiteral("payload.bin"))), M::BEHAVIOR_ALWAYS_DOWNLOAD);
    QVERIFY(client.manager->startDownload(item));
    QCOMPARE(client.waitForFinish(item->getId()), int(M::DOWNLOAD_SUCCESS));

    const QRegularExpression line(
        QStringLiteral("^Downloading payload\\.bin \\(127\\.0\\.0\\.1\\) \\[(\\d+)% [0-9.]+ (bytes|kB)/400\\.00 kB\\]$"));
    QList<int> percents;
    for (const QString& text : client.log.texts(Logger::DEBUG)) {
        if (!text.startsWith(QLatin1String("Downloading ")))
            continue;
        const QRegularExpressionMatch match = line.match(text);
        QVERIFY2(match.hasMatch(), qPrintable(text));
        percents << match.captured(1).toInt();
    }
    QVERIFY2(percents.size() >= 2 && percents.size() <= 21, qPrintable(QString::number(percents.size())));
    for (int i = 1; i < percents.size(); ++i)
        QVERIFY2(percents[i] - percents[i - 1] >= 5, qPrintable(QStringLiteral("%1 then %2").arg(percents[i - 1]).arg(percents[i])));
}

void tst_DownloadItem::basicAuthentication_data()
{
    QTest::addColumn<QString>("user");           // given with the request
    QTest::addColumn<bool>("receiverAnswers");   // a receiver supplies the credentials
    QTest::addColumn<int>("status");
    QTest::newRow("credentials given") << "alice" << false << 504;
    QTest::newRow("credentials from a receiver") << "" << true << 504;
    QTest::newRow("no credentials") << "" << false << int(QNetworkReply::AuthenticationRequiredError);
}

void tst_DownloadItem::basicAuthentication()
{
    QFETCH(QString, user);
    QFETCH(bool, receiverAnswers);
    QFETCH(int, status);
    const QString password = ms_kPassword;
    DebugCapture debug;
    Client client;
    QTemporaryDir folder;
    static int row = 0;
    const QString path = QStringLiteral("file.bin?auth=1&row=") + QString::number(++row);
    const DownloadItemPtr item = client.manager->downloadSimpleFile(
        m_http.url(path), QHostAddress(), QFile(folder.filePath(QStringLiteral("file.bin"))), user,
        user.isEmpty() ? QString() : password, M::BEHAVIOR_ALWAYS_DOWNLOAD);
    // The receiver takes the password stored for the server's address.
    PasswordManager passwords;
    passwords.setHostPassword(item->getServerIP(), password);
    int asked = 0;
    connect(item.data(), &DownloadItem::authentificationFailed, item.data(),
            [&](DownloadItemPtr askingItem, QString* askedUser, QString* askedPassword, bool* cancel) {
                ++asked;
                if (!receiverAnswers)
                    return;
                *askedUser = QStringLiteral("alice");
                *askedPassword = passwords.getHostPassword(askingItem->getServerIP());
                *cancel = false;
            },
            Qt::DirectConnection);
    QVERIFY(client.manager->startDownload(item));
    QCOMPARE(client.waitForFinish(item->getId()), status);
    QCOMPARE(asked > 0, user.isEmpty());

    // The password shows nowhere: log, status, debug stream.
    QStringList texts = debug.messages();
    for (const RecordingLogSink::Line& line : client.log.lines())
        texts << line.text;
    texts << item->getStatusMessage() << item->getSource().toString();
    for (const QString& text : texts)
        QVERIFY2(!text.contains(password), qPrintable(text));
}

void tst_DownloadItem::tls_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("error"); // ERROR line expected; empty: success
    QTest::newRow("trusted, through a server address") << "trusted" << "";
    QTest::newRow("untrusted") << "untrusted" << "SSL error: Self signed certificate";
    QTest::newRow("certificate of another host") << "other-host" << "SSL error: Host name mismatch";
}

void tst_DownloadItem::tls()
{
    QFETCH(QString, server);
    QFETCH(QString, error);
    const RepositoryServer& repository = server == QLatin1String("trusted") ? m_trusted
                                         : server == QLatin1String("untrusted") ? m_untrusted
                                                                                : m_otherHost;
    Client client;
    QTemporaryDir folder;
    const QString target = folder.filePath(QStringLiteral("file.bin"));
    const QString path = QStringLiteral("file.bin?tls=") + server;
    const DownloadItemPtr item = client.manager->downloadSimpleFile(
        repository.url(path, QStringLiteral("quillon.test")), QHostAddress::LocalHost, QFile(target),
        QStringLiteral("alice"), QStringLiteral("pw"), M::BEHAVIOR_ALWAYS_DOWNLOAD);
    QVERIFY(client.manager->startDownload(item));
    const int status = client.waitForFinish(item->getId());
    if (error.isEmpty()) {
        QCOMPARE(status, int(M::DOWNLOAD_SUCCESS));
        QCOMPARE(readFile(target), ms_kContent);
        QCOMPARE(repository.requestHeaders(QLatin1Char('/') + path).size(), 1);
        return;
    }
    QCOMPARE(status, int(QNetworkReply::SslHandshakeFailedError));
    QVERIFY2(client.log.texts(Logger::ERROR).contains(error), qPrintable(client.log.texts(Logger::ERROR).join('\n')));
    QVERIFY(!QFile::exists(target));
    QCOMPARE(leftovers(folder.path(), target), QStringList());
    QVERIFY(repository.requestHeaders(QLatin1Char('/') + path).isEmpty()); // no credentials left
}

void tst_DownloadItem::aFullDiskGivesTheSystemsReason()
{
    // A file size limit fails writes as a full disk does, without a file system to fill: the write
    // that reaches it is cut short, the next one fails with the system's reason.
    Client client;
    QTemporaryDir folder;
    const QString target = folder.filePath(QStringLiteral("file.bin"));
    QVERIFY(writeFile(target, ms_kOldContent));
    const DownloadItemPtr item = client.manager->downloadSimpleFile(m_http.url(QStringLiteral("file.bin")),
                                                                   QHostAddress(), QFile(target),
                                                                   M::BEHAVIOR_ALWAYS_DOWNLOAD);
    rlimit saved = {};
    QVERIFY(::getrlimit(RLIMIT_FSIZE, &saved) == 0);
    const rlimit limited = {rlim_t(ms_kContent.size() / 3 + 7), saved.rlim_max};
    const sighandler_t previousHandler = ::signal(SIGXFSZ, SIG_IGN); // its default ends the process
    QVERIFY(::setrlimit(RLIMIT_FSIZE, &limited) == 0);
    QVERIFY(client.manager->startDownload(item));
    const int status = client.waitForFinish(item->getId());
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, previousHandler);
    QCOMPARE(status, int(M::DOWNLOAD_OUTPUT_ERROR));
    QCOMPARE(item->getStatusMessage(), QString::fromLocal8Bit(::strerror(EFBIG)));
    QCOMPARE(readFile(target), ms_kOldContent);
    QCOMPARE(leftovers(folder.path(), target), QStringList());
}

void tst_DownloadItem::deviceOutput_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    QTest::newRow("buffer") << "buffer" << 504 << "Success (No integrity check available)";
    QTest::newRow("device already open") << "open" << 403 << "File already open";
    QTest::newRow("writes fail") << "full" << 403 << "No space left on device (test)";
}

void tst_DownloadItem::deviceOutput()
{
    QFETCH(QString, device);
    QFETCH(int, status);
    QFETCH(QString, message);
    QBuffer buffer;
    FullDevice full;
    Client client;
    QIODevice* output = device == QLatin1String("full") ? static_cast<QIODevice*>(&full) : &buffer;
    if (device == QLatin1String("open"))
        buffer.open(QIODevice::ReadWrite);
    const DownloadItemPtr item = client.manager->downloadSimpleFile(m_http.url(QStringLiteral("file.bin")),
                                                                   QHostAddress(), output);
    QVERIFY(client.manager->startDownload(item));
    QCOMPARE(client.waitForFinish(item->getId()), status);
    QCOMPARE(item->getStatusMessage(), message);
    if (status == M::DOWNLOAD_SUCCESS) {
        QCOMPARE(buffer.data(), ms_kContent);
        QVERIFY(!buffer.isOpen());
    }
    QCOMPARE(device == QLatin1String("open"), buffer.isOpen()); // a device open before stays open
}

void tst_DownloadItem::abort_data()
{
    QTest::addColumn<bool>("running");
    QTest::newRow("queued") << false;
    QTest::newRow("running") << true;
}

void tst_DownloadItem::abort()
{
    QFETCH(bool, running);
    Client client(1);
    QTemporaryDir folder;
    // Holds the only thread of the pool for a while.
    const DownloadItemPtr first = client.manager->downloadSimpleFile(
        m_http.url(QStringLiteral("file.bin?hold=1500&abort=first")), QHostAddress(),
        QFile(folder.filePath(QStringLiteral("first"))), M::BEHAVIOR_ALWAYS_DOWNLOAD);
    const QString path = running ? QStringLiteral("file.bin?stall=20000") : QStringLiteral("file.bin?abort=queued");
    const DownloadItemPtr item = client.manager->downloadSimpleFile(
        m_http.url(path), QHostAddress(), QFile(folder.filePath(QStringLiteral("second"))), M::BEHAVIOR_ALWAYS_DOWNLOAD);
    const QString started = QStringLiteral("started ") + QString::number(item->getId());
    if (!running)
        QVERIFY(client.manager->startDownload(first));
    QVERIFY(client.manager->startDownload(item));
    if (running)
        QTRY_COMPARE_WITH_TIMEOUT(client.events.count(started), 1, WaitMs);
    else
        QCOMPARE(item->getStatus(), int(M::DOWNLOAD_PENDING));

    QElapsedTimer clock;
    clock.start();
    item->abort();
    QCOMPARE(client.waitForFinish(item->getId()), int(M::DOWNLOAD_CANCELLED));
    QVERIFY(clock.elapsed() < 15000);
    QCOMPARE(item->getStatusMessage(), running ? QStringLiteral("Download aborted") : QStringLiteral("Download cancelled"));
    QVERIFY(!QFile::exists(folder.filePath(QStringLiteral("second"))));
    if (!running) {
        // The withdrawn task never runs, even once the pool has a free thread.
        QCOMPARE(client.waitForFinish(first->getId()), int(M::DOWNLOAD_SUCCESS));
        client.manager->waitAllDownloadForFinish();
        QCOMPARE(client.events.count(started), 0);
        QVERIFY(m_http.requestHeaders(QStringLiteral("/file.bin?abort=queued")).isEmpty());
    }
    QTRY_VERIFY_WITH_TIMEOUT(client.log.texts(Logger::WARNING).contains(item->getSource().toString() + " download aborted"),
                             WaitMs);
    QCoreApplication::processEvents();
    QCOMPARE(client.events.count(QStringLiteral("finished ") + QString::number(item->getId())), 1);
}

void tst_DownloadItem::everyStatusChangeIsAnnounced()
{
    Client client;
    QTemporaryDir folder;
    const DownloadItemPtr item = client.manager->downloadSimpleFile(
        m_http.url(QStringLiteral("file.bin")), QHostAddress(), QFile(folder.filePath(QStringLiteral("f"))),
        M::BEHAVIOR_ALWAYS_DOWNLOAD);
    client.events.attach(item.data());
    QVERIFY(client.manager->startDownload(item));
    const QString id = QString::number(item->getId());
    QCOMPARE(client.waitForFinish(item->getId()), int(M::DOWNLOAD_SUCCESS));
    QTRY_COMPARE_WITH_TIMEOUT(client.events.count(QStringLiteral("status ") + id), 3, WaitMs);
    QCOMPARE(client.events.events(QStringLiteral("status ") + id),
             QStringList({"status " + id + " 502 501", "status " + id + " 503 502", "status " + id + " 504 503"}));
}

void tst_DownloadItem::runIgnoresAnItemThatIsNotPending()
{
    Client client;
    QTemporaryDir folder;
    const DownloadItemPtr item = client.manager->downloadSimpleFile(
        m_http.url(QStringLiteral("file.bin?run=direct")), QHostAddress(),
        QFile(folder.filePath(QStringLiteral("f"))), M::BEHAVIOR_ALWAYS_DOWNLOAD);
    item->run();
    QCOMPARE(item->getStatus(), int(M::DOWNLOAD_NEVER_STARTED));
    QVERIFY(m_http.requestHeaders(QStringLiteral("/file.bin?run=direct")).isEmpty());
    QCOMPARE(client.waitForFinish(item->getId(), 300), -1);
}

void tst_DownloadItem::linksBetweenItems()
{
    Client client;
    QTemporaryDir folder;
    const auto make = [&](const QString& name) {
        return client.manager->downloadSimpleFile(m_http.url(name), QHostAddress(), QFile(folder.filePath(name)),
                                                  M::BEHAVIOR_ALWAYS_DOWNLOAD);
    };
    const DownloadItemPtr parent = make(QStringLiteral("parent.bin"));
    const DownloadItemPtr child = make(QStringLiteral("child.bin"));
    client.events.attach(parent.data());
    child->addToParent(parent);
    child->addToParent(parent);
    parent->addChildDownload(child);
    QTRY_COMPARE_WITH_TIMEOUT(client.events.count(QStringLiteral("child")), 1, WaitMs);
    QCOMPARE(client.events.events(QStringLiteral("child")).first(),
             QStringLiteral("child %1 %2").arg(parent->getId()).arg(child->getId()));
    QCOMPARE(parent->getChildren().size(), 1);
    QCOMPARE(child->parents().size(), 1);

    child->removeFromParent(parent);
    QVERIFY(parent->getChildren().isEmpty());
    QVERIFY(child->getParents().isEmpty());
    // The parent, finished, would otherwise echo the child's end with its own status.
    parent->changeStatus(M::DOWNLOAD_SUCCESS, QStringLiteral("done"));
    child->abort();
    QCOMPARE(client.waitForFinish(child->getId()), int(M::DOWNLOAD_CANCELLED));
    QCoreApplication::processEvents();
    QCOMPARE(client.events.count(QStringLiteral("finished ") + QString::number(parent->getId())), 0);
}

QTEST_MAIN(tst_DownloadItem)
#include "tst_DownloadItem.moc"
