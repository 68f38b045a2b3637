// Starting downloads: the cache decision with and without a cache service, the client's answers,
// the question's round trip to the manager's thread, and the priority queue.

#include "DownloadTestKit.h"

#include "core/MetaTypes.h"
#include "download/CacheManager.h"

#include <QBuffer>
#include <QtTest>

using namespace DownloadTestKit;
using M = DownloadManager;

namespace {

const QByteArray ms_kContent = payload(16 * 1024);
const QByteArray ms_kCachedContent = "a copy from the cache";

// A cache whose answers the test sets; it records how it was asked.
class TestCache : public CacheManager
{
public:
    CacheState getCacheState(const QString& urlText, bool hasUser, QString& cachedPath) override
    {
        calls << QStringLiteral("getCacheState %1 %2 %3").arg(urlText, hasUser ? "user" : "no-user", cachedPath);
        cachedPath = copy;
        return state;
    }
    bool isInCache(const QString& urlText, QString& cachedPath) override
    {
        calls << QStringLiteral("isInCache %1 %2").arg(urlText, cachedPath);
        cachedPath = copy;
        return present;
    }

    CacheState state = CACHE_ABSENT;
    bool present = false;
    QString copy;
    QStringList calls;
};

// Answers the cache questions (or leaves the answer alone) and records them.
class Questions : public QObject
{
public:
    explicit Questions(DownloadManager* manager)
    {
        connect(manager, &M::downloadInCacheAction, this,
                [this](M::DownloadActionAnswer* answer, DownloadItem* item, bool isXml) { ask("inCache", answer, item, isXml); },
                Qt::DirectConnection);
        connect(manager, &M::downloadOutToDateAction, this,
                [this](M::DownloadActionAnswer* answer, DownloadItem* item, bool isXml) { ask("outOfDate", answer, item, isXml); },
                Qt::DirectConnection);
        connect(manager, &M::downloadUpToDateAction, this,
                [this](M::DownloadActionAnswer* answer, DownloadItem* item, bool isXml) { ask("upToDate", answer, item, isXml); },
                Qt::DirectConnection);
    }

    int answer = -1; // -1: write nothing
    QStringList asked;
    QList<QThread*> threads;
    QList<bool> xml;

private:
    void ask(const char* question, M::DownloadActionAnswer* reply, DownloadItem*, bool isXml)
    {
        asked << QLatin1String(question);
        threads << QThread::currentThread();
        xml << isXml;
        if (answer >= 0)
            *reply = M::DownloadActionAnswer(answer);
    }
};

} // namespace

class tst_DownloadScheduling : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void decisionWithoutCacheService_data();
    void decisionWithoutCacheService();
    void decisionWithCacheService_data();
    void decisionWithCacheService();
    void answers_data();
    void answers();
    void questionComesFromTheManagerThread_data();
    void questionComesFromTheManagerThread();
    void startingTwiceIsRefused();
    void priorityDownloadTakesOverAPendingOne();

private:
    // A simple download of file.bin into `target`, which holds ms_kCachedContent when `cached`.
    DownloadItemPtr request(Client& client, const QString& target, bool cached, M::DownloadBehavior behavior);
    // "cache" (the target or copy kept, 504 without transfer), "download" or "cancel", once finished.
    QString outcome(Client& client, const DownloadItemPtr& item, const QString& target);

    QTemporaryDir m_root;
    RepositoryServer m_http;
};

void tst_DownloadScheduling::initTestCase()
{
    registerMetaTypes();
    QVERIFY(writeFile(m_root.filePath(QStringLiteral("file.bin")), ms_kContent));
    QString error;
    QVERIFY2(m_http.start(m_root.path(), error), qPrintable(error));
}

DownloadItemPtr tst_DownloadScheduling::request(Client& client, const QString& target, bool cached,
                                                M::DownloadBehavior behavior)
{
    if (cached)
        writeFile(target, ms_kCachedContent);
    return client.manager->downloadSimpleFile(m_http.url(QStringLiteral("file.bin")), QHostAddress(),
                                              QFile(target), behavior);
}

QString tst_DownloadScheduling::outcome(Client& client, const DownloadItemPtr& item, const QString& target)
{
    const int status = client.waitForFinish(item->getId());
    if (status == M::DOWNLOAD_CANCELLED)
        return QStringLiteral("cancel");
    if (status != M::DOWNLOAD_SUCCESS)
        return QStringLiteral("failed %1").arg(status);
    return readFile(target) == ms_kContent ? QStringLiteral("download") : QStringLiteral("cache");
}

void tst_DownloadScheduling::decisionWithoutCacheService_data()
{
    QTest::addColumn<int>("behavior");
    QTest::addColumn<bool>("cached");
    QTest::addColumn<QString>("question");
    QTest::addColumn<QString>("result");
    QTest::newRow("use cache, file there") << 0 << true << "inCache" << "cache";
    QTest::newRow("use cache, no file") << 0 << false << "" << "download";
    QTest::newRow("use up-to-date cache, file there") << 1 << true << "inCache" << "cache";
    QTest::newRow("always download, file there") << 2 << true << "" << "download";
    QTest::newRow("ask if cached, file there") << 3 << true << "inCache" << "cache";
    QTest::newRow("ask if not outdated, file there") << 4 << true << "inCache" << "cache";
    QTest::newRow("ask if not outdated, no file") << 4 << false << "" << "download";
}

void tst_DownloadScheduling::decisionWithoutCacheService()
{
    QFETCH(int, behavior);
    QFETCH(bool, cached);
    QFETCH(QString, question);
    QFETCH(QString, result);
    Client client;
    Questions questions(client.manager.get());
    QTemporaryDir folder;
    const QString target = folder.filePath(QStringLiteral("file.bin"));
    const DownloadItemPtr item = request(client, target, cached, M::DownloadBehavior(behavior));
    QVERIFY(client.manager->startDownload(item));
    QCOMPARE(questions.asked, question.isEmpty() ? QStringList() : QStringList{question});
    QCOMPARE(outcome(client, item, target), result);
    if (result == QLatin1String("cache")) {
        QCOMPARE(item->getStatusMessage(), QStringLiteral("File already in cache"));
        QCOMPARE(item->getOutputFile(), target);
    }
}

void tst_DownloadScheduling::decisionWithCacheService_data()
{
    QTest::addColumn<int>("behavior");
    QTest::addColumn<int>("state");      // of getCacheState
    QTest::addColumn<bool>("present");   // of isInCache
    QTest::addColumn<QString>("query");  // the query made
    QTest::addColumn<QString>("question");
    QTest::addColumn<QString>("result");
    QTest::addColumn<QString>("message"); // status message when the copy is used

    const QString inCache = QStringLiteral("File already in cache");
    const QString upToDate = QStringLiteral("File already in cache and up to date");
    QTest::newRow("0, present") << 0 << 0 << true << "isInCache" << "" << "cache" << inCache;
    QTest::newRow("0, absent") << 0 << 3 << false << "isInCache" << "" << "download" << "";
    QTest::newRow("2") << 2 << 3 << true << "" << "" << "download" << "";
    QTest::newRow("1, absent") << 1 << 0 << true << "getCacheState" << "" << "download" << "";
    QTest::newRow("1, present") << 1 << 1 << false << "getCacheState" << "" << "cache" << inCache;
    QTest::newRow("1, out of date") << 1 << 2 << true << "getCacheState" << "" << "download" << "";
    QTest::newRow("1, up to date") << 1 << 3 << false << "getCacheState" << "" << "cache" << upToDate;
    QTest::newRow("1, unknown state") << 1 << 7 << false << "getCacheState" << "" << "cache" << "Download never started";
    QTest::newRow("3, absent") << 3 << 0 << true << "getCacheState" << "" << "download" << "";
    QTest::newRow("3, present") << 3 << 1 << false << "getCacheState" << "inCache" << "cache" << inCache;
    QTest::newRow("3, out of date") << 3 << 2 << false << "getCacheState" << "outOfDate" << "cache"
                                    << "File already in cache but out to date";
    QTest::newRow("3, up to date") << 3 << 3 << false << "getCacheState" << "upToDate" << "cache" << upToDate;
    QTest::newRow("4, present") << 4 << 1 << false << "getCacheState" << "inCache" << "cache" << inCache;
    QTest::newRow("4, out of date") << 4 << 2 << false << "getCacheState" << "" << "download" << "";
    QTest::newRow("4, up to date") << 4 << 3 << false << "getCacheState" << "upToDate" << "cache" << upToDate;
}

void tst_DownloadScheduling::decisionWithCacheService()
{
    QFETCH(int, behavior);
    QFETCH(int, state);
    QFETCH(bool, present);
    QFETCH(QString, query);
    QFETCH(QString, question);
    QFETCH(QString, result);
    QFETCH(QString, message);
    Client client;
    TestCache cache;
    cache.state = CacheManager::CacheState(state);
    cache.present = present;
    QTemporaryDir folder;
    cache.copy = folder.filePath(QStringLiteral("cached-copy.bin"));
    QVERIFY(writeFile(cache.copy, ms_kCachedContent));
    client.manager->setCacheManager(&cache);
    Questions questions(client.manager.get());
    const QString target = folder.filePath(QStringLiteral("file.bin"));
    const DownloadItemPtr item = request(client, target, false, M::DownloadBehavior(behavior));
    QVERIFY(client.manager->startDownload(item));

    const QString url = m_http.url(QStringLiteral("file.bin")).toString();
    QStringList expectedCalls;
    if (query == QLatin1String("isInCache"))
        expectedCalls << QStringLiteral("isInCache %1 %2").arg(url, target);
    else if (query == QLatin1String("getCacheState"))
        expectedCalls << QStringLiteral("getCacheState %1 no-user %2").arg(url, target);
    QCOMPARE(cache.calls, expectedCalls);
    QCOMPARE(questions.asked, question.isEmpty() ? QStringList() : QStringList{question});
    if (result == QLatin1String("download")) {
        QCOMPARE(outcome(client, item, target), result);
    } else {
        QCOMPARE(outcome(client, item, cache.copy), result);
        QCOMPARE(item->getOutputFile(), cache.copy);
        QCOMPARE(item->getStatusMessage(), message);
        QVERIFY(!QFile::exists(target));
    }
    client.manager->setCacheManager(nullptr);
}

void tst_DownloadScheduling::answers_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("behavior");
    QTest::addColumn<int>("behaviorAfter");
    QTest::addColumn<QString>("result");
    QTest::newRow("cancel") << int(M::ANSWER_CANCEL) << 3 << 3 << "cancel";
    QTest::newRow("use cache") << int(M::ANSWER_USE_CACHE) << 3 << 3 << "cache";
    QTest::newRow("use cache always, ask if cached") << int(M::ANSWER_USE_CACHE_ALWAYS) << 3 << 0 << "cache";
    QTest::newRow("use cache always, ask if not outdated") << int(M::ANSWER_USE_CACHE_ALWAYS) << 4 << 1 << "cache";
    QTest::newRow("use cache always, use cache") << int(M::ANSWER_USE_CACHE_ALWAYS) << 0 << 0 << "cache";
    QTest::newRow("download") << int(M::ANSWER_DOWNLOAD) << 4 << 4 << "download";
    QTest::newRow("download always, ask if cached") << int(M::ANSWER_DOWNLOAD_ALWAYS) << 3 << 2 << "download";
    QTest::newRow("download always, ask if not outdated") << int(M::ANSWER_DOWNLOAD_ALWAYS) << 4 << 2 << "download";
    QTest::newRow("download always, use cache") << int(M::ANSWER_DOWNLOAD_ALWAYS) << 0 << 0 << "download";
    QTest::newRow("download always, use up-to-date cache") << int(M::ANSWER_DOWNLOAD_ALWAYS) << 1 << 1 << "download";
}

void tst_DownloadScheduling::answers()
{
    QFETCH(int, answer);
    QFETCH(int, behavior);
    QFETCH(int, behaviorAfter);
    QFETCH(QString, result);
    Client client;
    Questions questions(client.manager.get());
    questions.answer = answer;
    QTemporaryDir folder;
    const QString target = folder.filePath(QStringLiteral("file.bin"));
    const DownloadItemPtr item = request(client, target, true, M::DownloadBehavior(behavior));
    QCOMPARE(client.manager->startDownload(item), answer != M::ANSWER_CANCEL);
    QCOMPARE(questions.asked, QStringList{"inCache"});
    QCOMPARE(item->getBehavior(), M::DownloadBehavior(behaviorAfter));
    QCOMPARE(outcome(client, item, target), result);
    if (answer == M::ANSWER_CANCEL) {
        QCOMPARE(item->getStatusMessage(), QStringLiteral("Download cancelled by the user"));
        QVERIFY(client.log.texts(Logger::INFO).contains(item->getSource().toString() + " download cancelled"));
        QCoreApplication::processEvents();
        QCOMPARE(client.events.count(QStringLiteral("finished ") + QString::number(item->getId())), 1);
    }
}

void tst_DownloadScheduling::questionComesFromTheManagerThread_data()
{
    QTest::addColumn<bool>("flashFile");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("isXml");
    QTest::newRow("flash file, upper-case xml") << true << "flash.XML" << true;
    QTest::newRow("flash file, zip after xml") << true << "flash.xml.zip" << false;
    QTest::newRow("simple xml file") << false << "flash.xml" << false;
}

void tst_DownloadScheduling::questionComesFromTheManagerThread()
{
    QFETCH(bool, flashFile);
    QFETCH(QString, name);
    QFETCH(bool, isXml);
    Client client;
    Questions questions(client.manager.get());
    questions.answer = M::ANSWER_CANCEL;
    QTemporaryDir folder;
    const QString target = folder.filePath(name);
    QVERIFY(writeFile(target, ms_kCachedContent));
    const QUrl url = m_http.url(name);
    const DownloadItemPtr item =
        flashFile ? client.manager->downloadFlashFile(url, QHostAddress(), QDir(folder.path()), M::BEHAVIOR_USE_CACHE)
                  : client.manager->downloadSimpleFile(url, QHostAddress(), QFile(target), M::BEHAVIOR_USE_CACHE);
    QVERIFY(!client.manager->startDownload(item));
    QCOMPARE(questions.asked.size(), 1);
    QCOMPARE(questions.threads.first(), client.manager->thread());
    QVERIFY(questions.threads.first() != QThread::currentThread());
    QCOMPARE(questions.xml.first(), isXml);
}

void tst_DownloadScheduling::startingTwiceIsRefused()
{
    Client client;
    QTemporaryDir folder;
    const QString target = folder.filePath(QStringLiteral("file.bin"));
    const DownloadItemPtr item = request(client, target, false, M::BEHAVIOR_ALWAYS_DOWNLOAD);
    QVERIFY(client.manager->startDownload(item));
    QVERIFY(!client.manager->startDownload(item));
    QCOMPARE(outcome(client, item, target), QStringLiteral("download"));
    QVERIFY(!client.manager->startDownload(item));
    QVERIFY(!client.manager->startDownload(DownloadItemPtr()));
}

void tst_DownloadScheduling::priorityDownloadTakesOverAPendingOne()
{
    QBuffer normalBlockerOutput;
    QBuffer priorityBlockerOutput;
    Client client(1); // one thread in each pool
    QTemporaryDir folder;
    const DownloadItemPtr normalBlocker = client.startBlocker(m_http, &normalBlockerOutput, 3000);
    client.startBlocker(m_http, &priorityBlockerOutput, 500, true);
    const QString target = folder.filePath(QStringLiteral("file.bin"));
    const DownloadItemPtr item = client.manager->downloadSimpleFile(
        m_http.url(QStringLiteral("file.bin?priority=1")), QHostAddress(), QFile(target), M::BEHAVIOR_ALWAYS_DOWNLOAD);
    QVERIFY(client.manager->startDownload(item));
    item->setDownloadSize(12345);

    QVERIFY(client.manager->startPriorityDownload(item));
    QCOMPARE(item->getStatus(), int(M::DOWNLOAD_PENDING));
    quint64 received = 1;
    quint64 total = 0;
    item->getDownloadProgress(received, total);
    QCOMPARE(received, quint64(0));
    QCOMPARE(total, quint64(12345));

    // Done in the priority pool while the normal one is still held.
    QCOMPARE(client.waitForFinish(item->getId()), int(M::DOWNLOAD_SUCCESS));
    QVERIFY(!normalBlocker->isFinished());
    QCOMPARE(client.waitForFinish(normalBlocker->getId()), int(M::DOWNLOAD_SUCCESS));
    client.manager->waitAllDownloadForFinish();
    QCOMPARE(m_http.requestHeaders(QStringLiteral("/file.bin?priority=1")).size(), 1);
    QCOMPARE(readFile(target), ms_kContent);
}

QTEST_MAIN(tst_DownloadScheduling)
#include "tst_DownloadScheduling.moc"
