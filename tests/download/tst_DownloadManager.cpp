// The download manager: identifiers, requests, lookups, parallel transfers, release, the hash cache's
// digests, global progress and the certificates compiled into the program.

#include "DownloadTestKit.h"

#include "core/MetaTypes.h"
#include "download/HashManager.h"

#include <QBuffer>
#include <QProcess>
#include <QtTest>

using namespace DownloadTestKit;
using M = DownloadManager;

namespace {

const QByteArray ms_kContent = payload(32 * 1024);

// The first word of what md5sum or sha1sum prints for the file.
QString digestOf(const QString& program, const QString& path)
{
    QProcess process;
    process.start(program, {path});
    if (!process.waitForFinished(WaitMs))
        return QString();
    return QString::fromLatin1(process.readAllStandardOutput()).section(QLatin1Char(' '), 0, 0);
}

} // namespace

class tst_DownloadManager : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void identifiersStartAtOneAndAreNeverReused();
    void theSameFlashFileTwiceIsOneItem();
    void flashFileUrlWithoutFileName_data();
    void flashFileUrlWithoutFileName();
    void isDownloadingAPath();
    void streamDownloadsStayOutOfLookupsAndKeepTheirTimeouts();
    void releasingARunningDownloadAbortsAndWaits();
    void releasingAPendingDownloadWithdrawsIt();
    void releasedByAReceiverOfItsEnd_data();
    void releasedByAReceiverOfItsEnd();
    void cancelAllDownloadsKeepsTheItems();
    void atMostTheParallelCountAtATime();
    void theHashCacheGetsTheDigests();
    void globalProgressFigures();
    void compiledInCertificates();
    void systemAuthoritiesAreAlwaysTrusted();

private:
    QTemporaryDir m_root;
    RepositoryServer m_http;
};

void tst_DownloadManager::initTestCase()
{
    registerMetaTypes();
    QVERIFY(writeFile(m_root.filePath(QStringLiteral("file.bin")), ms_kContent));
    QVERIFY(writeFile(m_root.filePath(QStringLiteral("flash.zip")), ms_kContent));
    QString error;
    QVERIFY2(m_http.start(m_root.path(), error), qPrintable(error));
}

void tst_DownloadManager::identifiersStartAtOneAndAreNeverReused()
{
    QBuffer buffer;
    Client client;
    QTemporaryDir folder;
    const QUrl fileUrl = m_http.url(QStringLiteral("file.bin"));
    const DownloadItemPtr file = client.manager->downloadSimpleFile(
        fileUrl, QHostAddress(), QFile(folder.filePath(QStringLiteral("a"))), M::BEHAVIOR_ALWAYS_DOWNLOAD);
    const DownloadItemPtr flash = client.manager->downloadFlashFile(
        m_http.url(QStringLiteral("flash.zip")), QHostAddress(), QDir(folder.path()), M::BEHAVIOR_ALWAYS_DOWNLOAD);
    const DownloadItemPtr stream = client.manager->downloadSimpleFile(m_http.url(QStringLiteral("stream.bin")),
                                                                     QHostAddress(), &buffer);
    QCOMPARE(file->getId(), M::DownloadId(1));
    QCOMPARE(flash->getId(), M::DownloadId(2));
    QCOMPARE(stream->getId(), M::DownloadId(3));
    QVERIFY(client.manager->downloadSimpleFile(fileUrl, QHostAddress(), static_cast<QIODevice*>(nullptr)).isNull());
    QCOMPARE(client.manager->getDownloads().size(), 3);

    QCOMPARE(client.manager->getDownloadId(fileUrl), M::DownloadId(1));
    QUrl withCredentials = fileUrl;
    withCredentials.setUserInfo(QStringLiteral("bob:pw"));
    QCOMPARE(client.manager->getDownloadId(withCredentials), M::DownloadId(1));
    QCOMPARE(client.manager->getDownloadId(m_http.url(QStringLiteral("stream.bin"))), M::DownloadId(0));
    QCOMPARE(client.manager->getDownloadId(m_http.url(QStringLiteral("unknown.bin"))), M::DownloadId(0));
    QCOMPARE((*client.manager)[2], flash);

    client.manager->releaseDownload(M::DownloadId(2));
    QVERIFY(flash.isNull());
    QVERIFY(!client.manager->hasDownload(2));
    const DownloadItemPtr next = client.manager->downloadSimpleFile(
        fileUrl, QHostAddress(), QFile(folder.filePath(QStringLiteral("b"))), M::BEHAVIOR_ALWAYS_DOWNLOAD);
    QCOMPARE(next->getId(), M::DownloadId(4));
}

void tst_DownloadManager::theSameFlashFileTwiceIsOneItem()
{
    Client client;
    QTemporaryDir folder;
    const QUrl url = m_http.url(QStringLiteral("flash.zip"));
    const DownloadItemPtr first = client.manager->downloadFlashFile(url, QHostAddress(), QDir(folder.path()),
                                                                    M::BEHAVIOR_ALWAYS_DOWNLOAD);
    const DownloadItemPtr second = client.manager->downloadFlashFile(url, QHostAddress(), QDir(folder.path()),
                                                                     M::BEHAVIOR_ASK_IF_CACHED);
    QVERIFY(first);
    QCOMPARE(second, first);
    QCOMPARE(first->getOutputFile(), folder.filePath(QStringLiteral("flash.zip")));
    QCOMPARE(first->getType(), DownloadItem::DOWNLOAD_TYPE_FLASH_FILE);
    QCOMPARE(first->getBehavior(), M::BEHAVIOR_ASK_IF_CACHED);
    QTRY_COMPARE_WITH_TIMEOUT(client.events.events(QStringLiteral("created")), QStringList({"created 1", "created 1"}), WaitMs);
    QCOMPARE(client.manager->getDownloads().size(), 1);
}

void tst_DownloadManager::flashFileUrlWithoutFileName_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("message");
    QTest::newRow("folder") << "" << "Unable to download a folder";
    QTest::newRow("name without extension") << "builds/latest" << "Unable to download a folder or a file without extension";
}

void tst_DownloadManager::flashFileUrlWithoutFileName()
{
    QFETCH(QString, path);
    QFETCH(QString, message);
    Client client;
    QTemporaryDir folder;
    const DownloadItemPtr item = client.manager->downloadFlashFile(m_http.url(path), QHostAddress(),
                                                                   QDir(folder.path()), M::BEHAVIOR_ALWAYS_DOWNLOAD);
    QVERIFY(item);
    QCOMPARE(item->getStatus(), int(M::DOWNLOAD_INVALID_URL));
    QCOMPARE(item->getStatusMessage(), message);
    QVERIFY(client.manager->hasDownload(item->getId()));
    QVERIFY(!client.manager->startDownload(item));
    QVERIFY(!client.manager->retryDownload(item));
    QCoreApplication::processEvents();
    QCOMPARE(client.events.count(QStringLiteral("created")), 0);
}

void tst_DownloadManager::isDownloadingAPath()
{
    QBuffer blockerOutput;
    Client client(1);
    QTemporaryDir folder;
    // Holds the only transfer thread, so the next download stays pending for a while.
    client.startBlocker(m_http, &blockerOutput, 1500);
    QVERIFY(QDir().mkpath(folder.filePath(QStringLiteral("sub"))));
    const QString target = folder.filePath(QStringLiteral("sub/../file.bin"));
    const QString absolute = folder.filePath(QStringLiteral("file.bin"));
    const DownloadItemPtr item = client.manager->downloadSimpleFile(
        m_http.url(QStringLiteral("file.bin?path=1&hold=600")), QHostAddress(), QFile(target), M::BEHAVIOR_ALWAYS_DOWNLOAD);

    QVERIFY(!client.manager->isDownloading(absolute)); // never started does not count here
    QVERIFY(client.manager->isDownloading());
    QCOMPARE(client.manager->getActiveDownloadCount(), 2);
    QVERIFY(client.manager->startDownload(item));
    QCOMPARE(item->getStatus(), int(M::DOWNLOAD_PENDING));
    QVERIFY(client.manager->isDownloading(absolute));
    QTRY_COMPARE_WITH_TIMEOUT(item->getStatus(), int(M::DOWNLOAD_IN_PROGRESS), WaitMs);
    QVERIFY(client.manager->isDownloading(absolute));
    QCOMPARE(client.waitForFinish(item->getId()), int(M::DOWNLOAD_SUCCESS));
    QVERIFY(!client.manager->isDownloading(absolute));
    QVERIFY(!client.manager->isDownloading());
    QCOMPARE(client.manager->getActiveDownloadCount(), 0);
}

void tst_DownloadManager::streamDownloadsStayOutOfLookupsAndKeepTheirTimeouts()
{
    QBuffer buffer;
    Client client;
    QTemporaryDir folder;
    // Pauses of 800 ms between pieces: longer than the stuck time-out set below.
    const QUrl streamUrl = m_http.url(QStringLiteral("file.bin?chunks=3&delay=800&kind=stream"));
    const DownloadItemPtr stream = client.manager->downloadSimpleFile(streamUrl, QHostAddress(), &buffer);
    const DownloadItemPtr file = client.manager->downloadSimpleFile(
        m_http.url(QStringLiteral("file.bin?chunks=3&delay=800&kind=file")), QHostAddress(),
        QFile(folder.filePath(QStringLiteral("file.bin"))), M::BEHAVIOR_ALWAYS_DOWNLOAD);
    client.manager->setTimeouts(0, 300);
    // The new time-outs reach the file download through its thread's queue: let them arrive.
    QMetaObject::invokeMethod(file.data(), [] {}, Qt::BlockingQueuedConnection);

    QCOMPARE(client.manager->getDownloadId(streamUrl), M::DownloadId(0));
    QVERIFY(client.manager->startDownload(stream));
    QVERIFY(client.manager->startDownload(file));
    QCOMPARE(client.waitForFinish(file->getId()), int(M::DOWNLOAD_STUCK));
    QCOMPARE(client.waitForFinish(stream->getId()), int(M::DOWNLOAD_SUCCESS));
    QCOMPARE(buffer.data(), ms_kContent);
}

void tst_DownloadManager::releasingARunningDownloadAbortsAndWaits()
{
    DebugCapture debug;
    Client client;
    QTemporaryDir folder;
    const QString target = folder.filePath(QStringLiteral("file.bin"));
    const DownloadItemPtr item = client.manager->downloadSimpleFile(
        m_http.url(QStringLiteral("file.bin?stall=20000&release=running")), QHostAddress(), QFile(target),
        M::BEHAVIOR_ALWAYS_DOWNLOAD);
    const M::DownloadId id = item->getId();
    QVERIFY(client.manager->startDownload(item));
    QTRY_COMPARE_WITH_TIMEOUT(client.events.count(QStringLiteral("started 1")), 1, WaitMs);

    QElapsedTimer clock;
    clock.start();
    client.manager->releaseDownload(item);
    QVERIFY(clock.elapsed() < 15000);
    QVERIFY(item.isNull());
    QVERIFY(!client.manager->hasDownload(id));
    QVERIFY(!client.manager->isDownloading(target));
    QVERIFY(!QFile::exists(target));
    QTRY_COMPARE_WITH_TIMEOUT(client.events.events(QStringLiteral("released")), QStringList{"released 1"}, WaitMs);
    QCOMPARE(client.events.events(QStringLiteral("finished")), QStringList{"finished 1 5"});

    client.manager->releaseDownload(item);
    QVERIFY(debug.messages().contains(QStringLiteral("Release request rejected: NULL pointer")));
}

void tst_DownloadManager::releasingAPendingDownloadWithdrawsIt()
{
    QBuffer blockerOutput;
    Client client(1);
    QTemporaryDir folder;
    const DownloadItemPtr blocker = client.startBlocker(m_http, &blockerOutput, 1000);
    const DownloadItemPtr item = client.manager->downloadSimpleFile(
        m_http.url(QStringLiteral("file.bin?release=pending")), QHostAddress(),
        QFile(folder.filePath(QStringLiteral("file.bin"))), M::BEHAVIOR_ALWAYS_DOWNLOAD);
    QVERIFY(client.manager->startDownload(item));
    QCOMPARE(item->getStatus(), int(M::DOWNLOAD_PENDING));
    client.manager->releaseDownload(item);
    QVERIFY(item.isNull());
    QCOMPARE(client.waitForFinish(blocker->getId()), int(M::DOWNLOAD_SUCCESS));
    client.manager->waitAllDownloadForFinish();
    QVERIFY(m_http.requestHeaders(QStringLiteral("/file.bin?release=pending")).isEmpty());
}

void tst_DownloadManager::releasedByAReceiverOfItsEnd_data()
{
    QTest::addColumn<bool>("cached");
    QTest::newRow("transferred") << false; // ends on a transfer thread
    QTest::newRow("from the cache") << true; // ends in the item thread
}

void tst_DownloadManager::releasedByAReceiverOfItsEnd()
{
    QFETCH(bool, cached);
    Client client;
    QTemporaryDir folder;
    const QString target = folder.filePath(QStringLiteral("file.bin"));
    if (cached)
        QVERIFY(writeFile(target, "cached"));
    DownloadManager* manager = client.manager.get();
    QObject receiver;
    connect(manager, &M::downloadFinished, &receiver, [manager](M::DownloadId id) { manager->releaseDownload(id); },
            Qt::DirectConnection);
    const DownloadItemPtr item = manager->downloadSimpleFile(m_http.url(QStringLiteral("file.bin?receiver=1")),
                                                            QHostAddress(), QFile(target), M::BEHAVIOR_USE_CACHE);
    QVERIFY(manager->startDownload(item));
    QCOMPARE(client.waitForFinish(1), int(M::DOWNLOAD_SUCCESS));
    QTRY_COMPARE_WITH_TIMEOUT(client.events.events(QStringLiteral("released")), QStringList{"released 1"}, WaitMs);
    // The notice leaves the item's destructor on the item thread before the object is gone.
    QTRY_VERIFY_WITH_TIMEOUT(item.isNull(), WaitMs);
    QVERIFY(manager->getDownloads().isEmpty());
}

void tst_DownloadManager::cancelAllDownloadsKeepsTheItems()
{
    Client client(1);
    QTemporaryDir folder;
    const DownloadItemPtr running = client.manager->downloadSimpleFile(
        m_http.url(QStringLiteral("file.bin?stall=20000&cancel=running")), QHostAddress(),
        QFile(folder.filePath(QStringLiteral("running"))), M::BEHAVIOR_ALWAYS_DOWNLOAD);
    const DownloadItemPtr queued = client.manager->downloadSimpleFile(
        m_http.url(QStringLiteral("file.bin?cancel=queued")), QHostAddress(),
        QFile(folder.filePath(QStringLiteral("queued"))), M::BEHAVIOR_ALWAYS_DOWNLOAD);
    QVERIFY(client.manager->startDownload(running));
    QTRY_COMPARE_WITH_TIMEOUT(client.events.count(QStringLiteral("started 1")), 1, WaitMs);
    QVERIFY(client.manager->startDownload(queued));
    client.manager->cancelAllDownloads();
    QCOMPARE(client.waitForFinish(running->getId()), int(M::DOWNLOAD_CANCELLED));
    QCOMPARE(client.waitForFinish(queued->getId()), int(M::DOWNLOAD_CANCELLED));
    QCOMPARE(client.manager->getDownloads().size(), 2);
    client.manager->waitAllDownloadForFinish();
    QVERIFY(m_http.requestHeaders(QStringLiteral("/file.bin?cancel=queued")).isEmpty());
}

void tst_DownloadManager::atMostTheParallelCountAtATime()
{
    RepositoryServer server; // its own connection count
    QString error;
    QVERIFY2(server.start(m_root.path(), error), qPrintable(error));
    Client client(2);
    QTemporaryDir folder;
    QList<DownloadItemPtr> items;
    for (int i = 0; i < 5; ++i) {
        items << client.manager->downloadSimpleFile(
            server.url(QStringLiteral("file.bin?hold=300&n=%1").arg(i)), QHostAddress(),
            QFile(folder.filePath(QString::number(i))), M::BEHAVIOR_ALWAYS_DOWNLOAD);
        QVERIFY(client.manager->startDownload(items.last()));
    }
    for (const DownloadItemPtr& item : qAsConst(items))
        QCOMPARE(client.waitForFinish(item->getId()), int(M::DOWNLOAD_SUCCESS));
    QCOMPARE(server.maxConnections(), 2);
    QCOMPARE(server.events(QStringLiteral("request")).size(), 5);
}

void tst_DownloadManager::theHashCacheGetsTheDigests()
{
    HashManager hashes;
    Client client;
    hashes.setArtifactoryDownloadManager(client.manager.get());
    int changes = 0;
    QObject receiver; // destroyed before `changes`
    connect(&hashes, &HashManager::fileChanged, &receiver, [&changes] { ++changes; }, Qt::QueuedConnection);
    QTemporaryDir folder;
    const QString target = folder.filePath(QStringLiteral("file.bin"));
    const DownloadItemPtr item = client.manager->downloadSimpleFile(
        m_http.url(QStringLiteral("file.bin?sha1=ok&md5=ok")), QHostAddress(), QFile(target), M::BEHAVIOR_ALWAYS_DOWNLOAD);
    QVERIFY(client.manager->startDownload(item));
    QCOMPARE(client.waitForFinish(item->getId()), int(M::DOWNLOAD_SUCCESS));
    QTRY_VERIFY_WITH_TIMEOUT(changes > 0, WaitMs);

    HashManager::Hash hash;
    QVERIFY(hashes.getHashAsync(target, hash)); // stored by the download, not read again
    QCOMPARE(hash.md5, digestOf(QStringLiteral("md5sum"), target));
    QCOMPARE(hash.sha1, digestOf(QStringLiteral("sha1sum"), target));
    hashes.setArtifactoryDownloadManager(nullptr);
}

void tst_DownloadManager::globalProgressFigures()
{
    QBuffer blockerOutput;
    Client client(1);
    client.manager->releaseCompletedDownloads(); // recomputes the progress
    QTRY_COMPARE_WITH_TIMEOUT(client.events.events(QStringLiteral("progress")), QStringList{"progress 0 0 0 0"}, WaitMs);

    QTemporaryDir folder;
    const DownloadItemPtr flash = client.manager->downloadFlashFile(
        m_http.url(QStringLiteral("flash.zip?length=no")), QHostAddress(), QDir(folder.path()),
        M::BEHAVIOR_ALWAYS_DOWNLOAD);
    client.startBlocker(m_http, &blockerOutput, 1000); // a stream: not counted
    QVERIFY(client.manager->startDownload(flash));
    QCOMPARE(flash->getStatus(), int(M::DOWNLOAD_PENDING));
    // A pending flash file of unknown size: counted, nothing received or expected, not finished.
    QTRY_VERIFY_WITH_TIMEOUT(client.events.events(QStringLiteral("progress")).contains("progress 0 0 0 1"), WaitMs);
    const QStringList figures = client.events.events(QStringLiteral("progress"));
    QCOMPARE(QSet<QString>(figures.begin(), figures.end()), QSet<QString>({"progress 0 0 0 0", "progress 0 0 0 1"}));
    quint64 received = 1;
    quint64 expected = 1;
    client.manager->getGlobalProgress(received, expected);
    QCOMPARE(received, quint64(0));
    QCOMPARE(expected, quint64(0));
    client.manager->cancelAllDownloads();
}

void tst_DownloadManager::compiledInCertificates()
{
    // A server whose certificate only the authority compiled into ":/ssl" vouches for.
    QTemporaryDir certificates;
    QString error;
    QVERIFY2(makeCertificates(certificates.path(), error, QFINDTESTDATA("data/ssl/bundled-ca.pem"),
                              QFINDTESTDATA("data/bundled-ca.key")),
             qPrintable(error));
    RepositoryServer server;
    QVERIFY2(server.start(m_root.path(), error, certificates.filePath("trusted.pem"), certificates.filePath("trusted.key")),
             qPrintable(error));

    DebugCapture debug;
    QBuffer buffer;
    Client client;
    const QStringList messages = debug.messages();
    for (const QString& expected : {QStringLiteral("\":/ssl/bundled-ca.crt\" certificate loaded"),
                                    QStringLiteral("\":/ssl/bundled-ca.pem\" certificate loaded"),
                                    QStringLiteral("Unrecognized format of certificate \":/ssl/two.dots.crt\""),
                                    QStringLiteral("Fail to load \":/ssl/broken.pem\"")})
        QVERIFY2(messages.contains(expected), qPrintable(expected + " not in:\n" + messages.join('\n')));

    const DownloadItemPtr item = client.manager->downloadSimpleFile(
        server.url(QStringLiteral("file.bin"), QStringLiteral("quillon.test")), QHostAddress::LocalHost, &buffer);
    QVERIFY(client.manager->startDownload(item));
    QCOMPARE(client.waitForFinish(item->getId()), int(M::DOWNLOAD_SUCCESS));
    QCOMPARE(buffer.data(), ms_kContent);
}

void tst_DownloadManager::systemAuthoritiesAreAlwaysTrusted()
{
    // Qt finds the system's authorities on demand only while nobody sets a list of them; the manager
    // sets one, so they must be in it, beside those the application configured.
    QVERIFY(trustAuthority(QFINDTESTDATA("data/ssl/bundled-ca.pem")));
    const QList<QSslCertificate> configured = QSslConfiguration::defaultConfiguration().caCertificates();
    const QList<QSslCertificate> system = QSslConfiguration::systemCaCertificates();
    QVERIFY(!system.isEmpty());
    Client client;
    const QList<QSslCertificate> used = client.manager->getSslConfiguration().caCertificates();
    for (const QSslCertificate& authority : system + configured)
        QVERIFY2(used.contains(authority), qPrintable(authority.subjectDisplayName()));
}

QTEST_MAIN(tst_DownloadManager)
#include "tst_DownloadManager.moc"
