// After the transfer: post-processing of flash files (unpacking, hardware descriptions, flash files
// themselves), trees that complete together, the all-done signal, retry and release of finished trees.

#include "DownloadTestKit.h"

#include "core/MetaTypes.h"

#include <QBuffer>
#include <QtTest>

using namespace DownloadTestKit;
using M = DownloadManager;

namespace {

const QByteArray ms_kContent = payload(8 * 1024);

} // namespace

class tst_DownloadCompletion : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void archiveIsUnpackedBesideIt();
    void archiveIsOnlyKeptWhenTheOwnerSaysSo();
    void archiveThatCannotBeUnpackedFails();
    void cachedArchiveInAReadOnlyFolder();
    void flashFileItselfEndsOnce();
    void unusableFlashFile();
    void parentCompletesAfterItsLastChild();
    void childEndingDuringUnpackingLeavesTheParentWaiting();
    void retryingASuccessKeepsTheExpectedSize();
    void retryingAFailureClearsTheExpectedSize();
    void retryRefusals();
    void releaseCompletedDownloadsKeepsUnfinishedBranches();

private:
    DownloadItemPtr simpleFile(Client& client, const QString& path, const QString& target,
                               M::DownloadBehavior behavior = M::BEHAVIOR_ALWAYS_DOWNLOAD);

    QTemporaryDir m_root;
    RepositoryServer m_http;
};

void tst_DownloadCompletion::initTestCase()
{
    registerMetaTypes();
    QVERIFY(writeFile(m_root.filePath(QStringLiteral("file.bin")), ms_kContent));
    QVERIFY(QFile::copy(QFINDTESTDATA("data/build.zip"), m_root.filePath(QStringLiteral("build.zip"))));
    QVERIFY(QFile::copy(QFINDTESTDATA("data/escape.zip"), m_root.filePath(QStringLiteral("escape.zip"))));
    QVERIFY(writeFile(m_root.filePath(QStringLiteral("hardware.json")), R"({"hardwares": {"board": {}}})"));
    QVERIFY(writeFile(m_root.filePath(QStringLiteral("flash.json")), R"({"flash": {"version": "3.0"}})"));
    QVERIFY(writeFile(m_root.filePath(QStringLiteral("notes.txt")), "not a flash file"));
    QString error;
    QVERIFY2(m_http.start(m_root.path(), error), qPrintable(error));
}

DownloadItemPtr tst_DownloadCompletion::simpleFile(Client& client, const QString& path, const QString& target,
                                                   M::DownloadBehavior behavior)
{
    return client.manager->downloadSimpleFile(m_http.url(path), QHostAddress(), QFile(target), behavior);
}

void tst_DownloadCompletion::archiveIsUnpackedBesideIt()
{
    Client client;
    QTemporaryDir folder;
    const DownloadItemPtr item = client.manager->downloadFlashFile(
        m_http.url(QStringLiteral("build.zip")), QHostAddress(), QDir(folder.path()), M::BEHAVIOR_ALWAYS_DOWNLOAD);
    client.events.attach(item.data());
    QVERIFY(client.manager->startDownload(item));
    QCOMPARE(client.waitForFinish(item->getId()), int(M::DOWNLOAD_SUCCESS));
    QCOMPARE(item->getStatusMessage(), QStringLiteral("Success (No integrity check available)"));
    QVERIFY(QFileInfo(folder.filePath(QStringLiteral("build/flash.json"))).isFile());
    QVERIFY(QFileInfo(folder.filePath(QStringLiteral("build/images/boot.img"))).isFile());

    const QStringList ends = client.events.events(QStringLiteral("children 1")) + client.events.events(QStringLiteral("finished 1"));
    QCOMPARE(ends, QStringList({"children 1", "finished 1 504"}));
    const QStringList all = client.events.events();
    QVERIFY(all.indexOf(QStringLiteral("children 1")) < all.indexOf(QStringLiteral("finished 1 504")));
    QTRY_COMPARE_WITH_TIMEOUT(client.events.count(QStringLiteral("flash 1")), 1, WaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(client.events.count(QStringLiteral("status 1")), 5, WaitMs);
    QCOMPARE(client.events.events(QStringLiteral("status 1")),
             QStringList({"status 1 502 501", "status 1 503 502", "status 1 504 503", "status 1 505 504",
                          "status 1 504 505"}));
}

void tst_DownloadCompletion::archiveIsOnlyKeptWhenTheOwnerSaysSo()
{
    Client client;
    client.manager->setUnpacksArchives(false);
    QTemporaryDir folder;
    const DownloadItemPtr item = client.manager->downloadFlashFile(
        m_http.url(QStringLiteral("build.zip")), QHostAddress(), QDir(folder.path()), M::BEHAVIOR_ALWAYS_DOWNLOAD);
    QVERIFY(client.manager->startDownload(item));
    QCOMPARE(client.waitForFinish(item->getId()), int(M::DOWNLOAD_SUCCESS));
    QVERIFY(QFileInfo(folder.filePath(QStringLiteral("build.zip"))).isFile());
    QVERIFY(!QFileInfo::exists(folder.filePath(QStringLiteral("build"))));
}

void tst_DownloadCompletion::archiveThatCannotBeUnpackedFails()
{
    Client client;
    QTemporaryDir folder;
    const DownloadItemPtr item = client.manager->downloadFlashFile(
        m_http.url(QStringLiteral("escape.zip")), QHostAddress(), QDir(folder.path()), M::BEHAVIOR_ALWAYS_DOWNLOAD);
    QVERIFY(client.manager->startDownload(item));
    QCOMPARE(client.waitForFinish(item->getId()), int(M::DOWNLOAD_INVALID_FLASH_FILE));
    QCOMPARE(item->getStatusMessage(), QStringLiteral("Cannot unpack flash file ") + item->getSource().toString());
    QVERIFY(!QFileInfo::exists(folder.filePath(QStringLiteral("escape"))));
    QCoreApplication::processEvents();
    QCOMPARE(client.events.count(QStringLiteral("flash")), 0);
}

void tst_DownloadCompletion::cachedArchiveInAReadOnlyFolder()
{
    QTemporaryDir folder;
    const QString readOnly = folder.filePath(QStringLiteral("cache"));
    QVERIFY(QDir().mkpath(readOnly));
    QVERIFY(QFile::copy(QFINDTESTDATA("data/build.zip"), readOnly + QStringLiteral("/build.zip")));
    QVERIFY(QFile::setPermissions(readOnly, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    {
        const PermissionBitsApply permissionBits; // before the manager starts its threads
        Client client;
        // No cache service: the file already there is the cached copy; nobody answers the question.
        const DownloadItemPtr item = client.manager->downloadFlashFile(
            m_http.url(QStringLiteral("build.zip")), QHostAddress(), QDir(readOnly), M::BEHAVIOR_USE_CACHE);
        QVERIFY(client.manager->startDownload(item));
        QCOMPARE(client.waitForFinish(item->getId()), int(M::DOWNLOAD_OUTPUT_ERROR));
        QCOMPARE(item->getStatusMessage(), QStringLiteral("Fail to write in the output directory ") + readOnly);
        QVERIFY(client.log.texts(Logger::ERROR).contains(
            QStringLiteral("You must have write permission to the output directory ") + readOnly));
        QVERIFY(!QFileInfo::exists(readOnly + QStringLiteral("/build")));
    }
    QVERIFY(QFile::setPermissions(readOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
}

void tst_DownloadCompletion::flashFileItselfEndsOnce()
{
    Client client;
    QTemporaryDir folder;
    const DownloadItemPtr item = client.manager->downloadFlashFile(
        m_http.url(QStringLiteral("flash.json")), QHostAddress(), QDir(folder.path()), M::BEHAVIOR_ALWAYS_DOWNLOAD);
    QVERIFY(client.manager->startDownload(item));
    QCOMPARE(client.waitForFinish(item->getId()), int(M::DOWNLOAD_SUCCESS));
    QVERIFY(client.log.texts(Logger::ERROR).contains(QStringLiteral("Download from FlashFile (xml or json) not supported (")
                                                     + item->getSource().toString() + QLatin1Char('}')));
    QTRY_COMPARE_WITH_TIMEOUT(client.events.count(QStringLiteral("completed")), 1, WaitMs);
    QCOMPARE(client.events.events(QStringLiteral("finished")), QStringList{"finished 1 504"});
}

void tst_DownloadCompletion::unusableFlashFile()
{
    Client client;
    QTemporaryDir folder;
    const DownloadItemPtr item = client.manager->downloadFlashFile(
        m_http.url(QStringLiteral("notes.txt")), QHostAddress(), QDir(folder.path()), M::BEHAVIOR_ALWAYS_DOWNLOAD);
    QVERIFY(client.manager->startDownload(item));
    QCOMPARE(client.waitForFinish(item->getId()), int(M::DOWNLOAD_INVALID_FLASH_FILE));
    QCOMPARE(item->getStatusMessage(), QStringLiteral("Invalid flash file ") + item->getSource().toString());
}

void tst_DownloadCompletion::parentCompletesAfterItsLastChild()
{
    Client client;
    QTemporaryDir folder;
    const DownloadItemPtr parent = client.manager->downloadFlashFile(
        m_http.url(QStringLiteral("hardware.json")), QHostAddress(), QDir(folder.path()), M::BEHAVIOR_ALWAYS_DOWNLOAD);
    const DownloadItemPtr first = simpleFile(client, QStringLiteral("file.bin?child=1"), folder.filePath("one"));
    const DownloadItemPtr second = simpleFile(client, QStringLiteral("file.bin?child=2"), folder.filePath("two"));
    client.events.attach(parent.data());
    parent->addChildDownload(first);
    parent->addChildDownload(second);

    QVERIFY(client.manager->startDownload(parent));
    QTRY_COMPARE_WITH_TIMEOUT(parent->getStatus(), int(M::DOWNLOAD_POST_PROCESSING), WaitMs);
    QVERIFY(client.manager->startDownload(first));
    QCOMPARE(client.waitForFinish(first->getId()), int(M::DOWNLOAD_SUCCESS));
    QCOMPARE(parent->getStatus(), int(M::DOWNLOAD_POST_PROCESSING));
    QVERIFY(client.manager->startDownload(second));
    QCOMPARE(client.waitForFinish(parent->getId()), int(M::DOWNLOAD_SUCCESS));
    QCOMPARE(second->getStatus(), int(M::DOWNLOAD_SUCCESS));

    const QStringList all = client.events.events();
    QVERIFY(all.indexOf(QStringLiteral("children 1")) >= 0);
    QVERIFY(all.indexOf(QStringLiteral("children 1")) < all.indexOf(QStringLiteral("finished 1 504")));
    QVERIFY(all.indexOf(QStringLiteral("finished 3 504")) < all.indexOf(QStringLiteral("finished 1 504")));
    // Everything is done only once the parent is: not when a child ends while the parent waits.
    QTRY_VERIFY2_WITH_TIMEOUT(client.events.count(QStringLiteral("completed")) == 1, qPrintable(client.events.events().join(", ")), WaitMs);
    QVERIFY(client.events.events().indexOf(QStringLiteral("completed")) > all.indexOf(QStringLiteral("finished 1 504")));
}

void tst_DownloadCompletion::childEndingDuringUnpackingLeavesTheParentWaiting()
{
    Client client;
    QTemporaryDir folder;
    QVERIFY(QFile::copy(QFINDTESTDATA("data/build.zip"), folder.filePath(QStringLiteral("build.zip"))));
    const DownloadItemPtr parent = client.manager->downloadFlashFile(
        m_http.url(QStringLiteral("build.zip")), QHostAddress(), QDir(folder.path()), M::BEHAVIOR_USE_CACHE);
    const DownloadItemPtr child = simpleFile(client, QStringLiteral("file.bin?child=aborted"), folder.filePath("c"));
    parent->addChildDownload(child);
    // Holds the item thread, where the cached archive's post-processing is queued.
    QSemaphore gate;
    bool released = false;
    const auto release = [&gate, &released] {
        if (!released)
            gate.release();
        released = true;
    };
    const auto releasedAtTheEnd = qScopeGuard(release); // also when a check fails
    QMetaObject::invokeMethod(parent.data(), [&gate] { gate.acquire(); }, Qt::QueuedConnection);
    QVERIFY(client.manager->startDownload(parent));
    QCOMPARE(parent->getStatus(), int(M::DOWNLOAD_POST_PROCESSING));
    child->abort(); // the last child ends before the archive is unpacked
    QCOMPARE(parent->getStatus(), int(M::DOWNLOAD_POST_PROCESSING));
    release();

    QCOMPARE(client.waitForFinish(parent->getId()), int(M::DOWNLOAD_SUCCESS));
    QVERIFY(QFileInfo(folder.filePath(QStringLiteral("build/flash.json"))).isFile());
    QTRY_COMPARE_WITH_TIMEOUT(client.events.count(QStringLiteral("completed")), 1, WaitMs);
    QCOMPARE(client.events.count(QStringLiteral("finished 1")), 1);
}

void tst_DownloadCompletion::retryingASuccessKeepsTheExpectedSize()
{
    Client client;
    QTemporaryDir folder;
    const QString target = folder.filePath(QStringLiteral("file.bin"));
    const DownloadItemPtr item = simpleFile(client, QStringLiteral("file.bin?retry=success"), target,
                                            M::BEHAVIOR_USE_CACHE);
    client.events.attach(item.data());
    QVERIFY(client.manager->startDownload(item));
    QCOMPARE(client.waitForFinish(item->getId()), int(M::DOWNLOAD_SUCCESS));
    QTRY_COMPARE_WITH_TIMEOUT(client.events.count(QStringLiteral("status 1")), 3, WaitMs);
    client.events.clear();

    QVERIFY(item->retry());
    // Through the cache decision again: the file now there is the cached copy.
    QCOMPARE(client.waitForFinish(item->getId()), int(M::DOWNLOAD_SUCCESS));
    QCOMPARE(item->getStatusMessage(), QStringLiteral("File already in cache"));
    quint64 received = 1;
    quint64 total = 0;
    item->getDownloadProgress(received, total);
    QCOMPARE(received, quint64(0));
    QCOMPARE(total, quint64(ms_kContent.size()));
    QTRY_COMPARE_WITH_TIMEOUT(client.events.count(QStringLiteral("status 1")), 2, WaitMs);
    QCOMPARE(client.events.events(QStringLiteral("status 1")), QStringList({"status 1 501 504", "status 1 504 501"}));
    QCOMPARE(m_http.requestHeaders(QStringLiteral("/file.bin?retry=success")).size(), 1);
}

void tst_DownloadCompletion::retryingAFailureClearsTheExpectedSize()
{
    QBuffer blockerOutput;
    Client client(1);
    QTemporaryDir folder;
    const DownloadItemPtr item = simpleFile(client, QStringLiteral("file.bin?status=500&retry=failure"),
                                            folder.filePath(QStringLiteral("file.bin")));
    QVERIFY(client.manager->startDownload(item));
    QCOMPARE(client.waitForFinish(item->getId()), int(M::DOWNLOAD_SERVER_INTERNAL_ERROR));
    item->setDownloadSize(999);

    client.startBlocker(m_http, &blockerOutput, 1000);
    QVERIFY(client.manager->retryDownload(item->getId()));
    QCOMPARE(item->getStatus(), int(M::DOWNLOAD_PENDING)); // behind the blocker
    quint64 received = 1;
    quint64 total = 1;
    item->getDownloadProgress(received, total);
    QCOMPARE(total, quint64(0));
    client.events.clear();
    QCOMPARE(client.waitForFinish(item->getId()), int(M::DOWNLOAD_SERVER_INTERNAL_ERROR));
    QCOMPARE(m_http.requestHeaders(QStringLiteral("/file.bin?status=500&retry=failure")).size(), 2);
}

void tst_DownloadCompletion::retryRefusals()
{
    QBuffer blockerOutput;
    Client client(1);
    QTemporaryDir folder;
    const DownloadItemPtr invalid = client.manager->downloadFlashFile(
        m_http.url(QStringLiteral("folder/")), QHostAddress(), QDir(folder.path()), M::BEHAVIOR_ALWAYS_DOWNLOAD);
    QVERIFY(!client.manager->retryDownload(invalid));
    QVERIFY(!client.manager->retryPriorityDownload(invalid));
    QCOMPARE(invalid->getStatus(), int(M::DOWNLOAD_INVALID_URL));
    QVERIFY(!client.manager->retryDownload(M::DownloadId(999)));

    client.startBlocker(m_http, &blockerOutput, 800);
    const DownloadItemPtr pending = simpleFile(client, QStringLiteral("file.bin?retry=pending"), folder.filePath("p"));
    QVERIFY(client.manager->startDownload(pending));
    QVERIFY(client.manager->retryDownload(pending)); // already on its way: nothing changes
    QCOMPARE(pending->getStatus(), int(M::DOWNLOAD_PENDING));
    QCOMPARE(client.waitForFinish(pending->getId()), int(M::DOWNLOAD_SUCCESS));
    client.manager->waitAllDownloadForFinish();
    QCOMPARE(m_http.requestHeaders(QStringLiteral("/file.bin?retry=pending")).size(), 1);
}

void tst_DownloadCompletion::releaseCompletedDownloadsKeepsUnfinishedBranches()
{
    Client client;
    QTemporaryDir folder;
    const DownloadItemPtr parent = simpleFile(client, QStringLiteral("file.bin?tree=parent"), folder.filePath("a"));
    const DownloadItemPtr child = simpleFile(client, QStringLiteral("file.bin?tree=child"), folder.filePath("b"));
    const DownloadItemPtr alone = simpleFile(client, QStringLiteral("file.bin?tree=alone"), folder.filePath("c"));
    child->addToParent(parent);
    QVERIFY(client.manager->startDownload(parent));
    QVERIFY(client.manager->startDownload(alone));
    QCOMPARE(client.waitForFinish(parent->getId()), int(M::DOWNLOAD_SUCCESS));
    QCOMPARE(client.waitForFinish(alone->getId()), int(M::DOWNLOAD_SUCCESS));

    client.manager->releaseCompletedDownloads();
    QVERIFY(alone.isNull());
    QVERIFY(!parent.isNull()); // its child was never started
    QVERIFY(!child.isNull());

    child->abort();
    QCOMPARE(client.waitForFinish(child->getId()), int(M::DOWNLOAD_CANCELLED));
    client.manager->releaseCompletedDownloads();
    QVERIFY(parent.isNull());
    QVERIFY(child.isNull());
    QTRY_COMPARE_WITH_TIMEOUT(client.events.count(QStringLiteral("released")), 3, WaitMs);
    QCOMPARE(client.events.events(QStringLiteral("released")), QStringList({"released 3", "released 2", "released 1"}));
    QVERIFY(client.manager->getDownloads().isEmpty());
}

QTEST_MAIN(tst_DownloadCompletion)
#include "tst_DownloadCompletion.moc"
