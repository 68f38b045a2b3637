// A file larger than 2 GiB (and than the memory a download may take) against the local repository
// server: it arrives whole, verified, in bounded memory, or the download fails.

#include "DownloadTestKit.h"

#include "core/MetaTypes.h"

#include <QtTest>

using namespace DownloadTestKit;
using M = DownloadManager;

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
// AddressSanitizer keeps up to 256 MB of freed memory aside to catch late uses, which would count
// against the limit below though the download holds none of it.
extern "C" const char* __asan_default_options()
{
    return "quarantine_size_mb=16";
}
#endif
#endif

namespace {

constexpr quint64 ms_kLargeSize = 2560ull * 1024 * 1024 + 12345; // past 2 GiB, not a whole block
constexpr qint64 ms_kMemoryLimitKiB = 256 * 1024;
constexpr int ms_kLargeWaitMs = 15 * 60 * 1000; // disk, digests and a loaded machine

// Peak resident memory of this process in KiB (VmHWM); -1 when unknown.
qint64 peakMemoryKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

// Starts the peak over from the memory in use now.
bool resetPeakMemory()
{
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    return clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1;
}

QString sha1OfFile(const QString& path)
{
    QFile file(path);
    QCryptographicHash sha1(QCryptographicHash::Sha1);
    if (!file.open(QIODevice::ReadOnly) || !sha1.addData(&file))
        return QString();
    return QString::fromLatin1(sha1.result().toHex());
}

} // namespace

class tst_LargeDownload : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void largeFileArrivesWholeInBoundedMemory();

private:
    QTemporaryDir m_root;
    RepositoryServer m_http;
};

void tst_LargeDownload::initTestCase()
{
    registerMetaTypes();
    QString error;
    QVERIFY2(m_http.start(m_root.path(), error), qPrintable(error));
}

void tst_LargeDownload::largeFileArrivesWholeInBoundedMemory()
{
    Client client;
    QTemporaryDir folder; // the file goes with it
    const QString target = folder.filePath(QStringLiteral("large.bin"));
    const QString path = QStringLiteral("generated.bin?size=%1&sha1=ok").arg(ms_kLargeSize);
    const DownloadItemPtr item = client.manager->downloadSimpleFile(m_http.url(path), QHostAddress(),
                                                                   QFile(target), M::BEHAVIOR_ALWAYS_DOWNLOAD);
    QVERIFY(resetPeakMemory());
    QVERIFY(client.manager->startDownload(item));
    const int status = client.waitForFinish(item->getId(), ms_kLargeWaitMs);
    const qint64 peakKiB = peakMemoryKiB();
    QVERIFY2(peakKiB > 0 && peakKiB < ms_kMemoryLimitKiB,
             qPrintable(QStringLiteral("peak memory %1 KiB").arg(peakKiB)));

    QCOMPARE(status, int(M::DOWNLOAD_SUCCESS));
    // The server's digest of what it sent matched the client's, and the file on disk is that data.
    QCOMPARE(item->getStatusMessage(), QStringLiteral("Success (Integrity checked with Sha-1)"));
    QCOMPARE(quint64(QFileInfo(target).size()), ms_kLargeSize);
    QCOMPARE(sha1OfFile(target), item->getSha1());
}

QTEST_MAIN(tst_LargeDownload)
#include "tst_LargeDownload.moc"
