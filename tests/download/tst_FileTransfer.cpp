// The outcome a transfer hands back on its own, without a download item: how it ended, the bytes
// written and the digests, against the local repository server.

#include "DownloadTestKit.h"

#include "core/MetaTypes.h"
#include "download/FileTransfer.h"

#include <QBuffer>
#include <QtTest>

using namespace DownloadTestKit;
using M = DownloadManager;
using End = FileTransfer::End;

namespace {

const QByteArray ms_kContent = payload(64 * 1024);

} // namespace

class tst_FileTransfer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void outcome_data();
    void outcome();

private:
    QTemporaryDir m_root;
    RepositoryServer m_http;
};

void tst_FileTransfer::initTestCase()
{
    registerMetaTypes();
    QVERIFY(writeFile(m_root.filePath(QStringLiteral("file.bin")), ms_kContent));
    QString error;
    QVERIFY2(m_http.start(m_root.path(), error), qPrintable(error));
}

void tst_FileTransfer::outcome_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("cancelFirst");
    QTest::addColumn<int>("end");
    QTest::addColumn<int>("status");
    QTest::newRow("whole and verified") << "file.bin?sha1=ok&md5=ok" << false << int(End::Completed)
                                        << int(M::DOWNLOAD_SUCCESS);
    QTest::newRow("checksum wrong") << "file.bin?md5=bad" << false << int(End::Failed)
                                    << int(M::DOWNLOAD_INTEGRITY_FAILED);
    QTest::newRow("server error") << "file.bin?status=500" << false << int(End::Failed)
                                  << int(M::DOWNLOAD_SERVER_INTERNAL_ERROR);
    QTest::newRow("stalls") << "file.bin?stall=20000" << false << int(End::TimedOut) << int(M::DOWNLOAD_STUCK);
    // A cancel that comes while the item starts the transfer is not lost.
    QTest::newRow("cancelled before it runs") << "file.bin?stall=20000" << true << int(End::Cancelled)
                                              << int(M::DOWNLOAD_CANCELLED);
}

void tst_FileTransfer::outcome()
{
    QFETCH(QString, path);
    QFETCH(bool, cancelFirst);
    QFETCH(int, end);
    QFETCH(int, status);
    FileTransfer::Request request;
    request.source = m_http.url(path);
    request.server = QHostAddress::LocalHost;
    request.stuckTimeoutMs = 300;
    QBuffer output;
    QVERIFY(output.open(QIODevice::WriteOnly));
    FileTransfer transfer;
    if (cancelFirst)
        transfer.cancel();

    QElapsedTimer clock;
    clock.start();
    const FileTransfer::Outcome outcome = transfer.run(request, &output);
    QVERIFY(clock.elapsed() < 15000);
    QCOMPARE(int(outcome.end()), end);
    QCOMPARE(outcome.status, status);
    QVERIFY(!outcome.message.isEmpty());
    QVERIFY(output.isOpen()); // the caller's to close
    if (end == int(End::Completed)) {
        QCOMPARE(output.data(), ms_kContent);
        QCOMPARE(outcome.writtenBytes, quint64(ms_kContent.size()));
        QCOMPARE(outcome.md5, hexDigest(ms_kContent, QCryptographicHash::Md5));
        QCOMPARE(outcome.sha1, hexDigest(ms_kContent, QCryptographicHash::Sha1));
    } else {
        // Whatever arrived is no file: no digests to cache.
        QVERIFY(outcome.md5.isEmpty());
        QVERIFY(outcome.sha1.isEmpty());
    }
}

QTEST_MAIN(tst_FileTransfer)
#include "tst_FileTransfer.moc"
