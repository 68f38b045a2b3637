// The hash cache: digests, queries, waits, invalidation on change, outside records, shutdown.

#include "core/MessageHandler.h"
#include "core/Utils.h"
#include "download/DownloadManager.h"
#include "download/FileDigester.h"
#include "download/HashManager.h"

#include "RecordingLogSink.h"

#include <QtTest>

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QSemaphore>
#include <QSet>
#include <QTemporaryDir>

#include <atomic>
#include <cstdio>
#include <memory>

#include <sys/stat.h>

namespace {

const QString kEmptyMd5 = QStringLiteral("d41d8cd98f00b204e9800998ecf8427e");
const QString kEmptySha1 = QStringLiteral("da39a3ee5e6b4b0d3255bfef95601890afd80709");

// Hashing a file of zeros this large takes seconds (MD5 runs at under 1 GB/s); only its holes are on disk.
constexpr qint64 kSlowFileSize = qint64(2) << 30;

constexpr int kLongMs = 120000; // waits that only a broken build runs into

void writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(file.errorString()));
    QCOMPARE(file.write(content), qint64(content.size()));
}

void appendFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::Append), qPrintable(file.errorString()));
    QCOMPARE(file.write(content), qint64(content.size()));
}

QByteArray randomBytes(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
    return bytes;
}

void makeSparseFile(const QString& path, qint64 size)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly) && file.resize(size), qPrintable(file.errorString()));
}

// What `program` (md5sum, sha1sum) prints for the file.
QString toolDigest(const QString& program, const QString& path)
{
    bool success = false;
    QString output;
    Utils::executeCmd(program, {path}, 60000, false, &success, output);
    return success ? output.section(QLatin1Char(' '), 0, 0) : QString();
}

QString hex(const QByteArray& digest)
{
    return QString::fromLatin1(digest.toHex());
}

// Stand-in for the download client: reports the files the test puts in download, and which paths it
// was asked about.
class DownloadsInProgress : public DownloadManager
{
public:
    void setDownloading(const QString& path, bool downloading)
    {
        QMutexLocker locker(&m_mutex);
        if (downloading)
            m_paths.insert(QFileInfo(path).absoluteFilePath());
        else
            m_paths.remove(QFileInfo(path).absoluteFilePath());
    }
    bool isDownloading(const QString& path) const override
    {
        QMutexLocker locker(&m_mutex);
        if (path == m_watchedQuestion)
            m_asked.release();
        return m_paths.contains(QFileInfo(path).absoluteFilePath());
    }
    // Arms waitAsked(): the next question about `path` is reported.
    void watchQuestion(const QString& path)
    {
        QMutexLocker locker(&m_mutex);
        m_watchedQuestion = path;
    }
    bool waitAsked() { return m_asked.tryAcquire(1, kLongMs); }

private:
    mutable QMutex m_mutex;
    QSet<QString> m_paths;
    QString m_watchedQuestion;
    mutable QSemaphore m_asked;
};

// Holds the worker at the start of one job. The worker writes "Computing hash of <file>" to the
// application log, which hands the line to the recorder on the worker's own thread: the gate blocks
// there until the test opens it.
class WorkerGate
{
public:
    void arm(RecordingLogSink& sink, const QString& file)
    {
        const QString line = QStringLiteral("Computing hash of ") + file;
        sink.setOnLine([this, line](const RecordingLogSink::Line& logged) {
            if (logged.text == line && !m_reached.exchange(true)) {
                m_arrived.release();
                m_pass.acquire();
            }
        });
    }
    bool waitArrived() { return m_arrived.tryAcquire(1, kLongMs); }
    void open()
    {
        if (!m_opened.exchange(true))
            m_pass.release();
    }

private:
    std::atomic<bool> m_reached{false};
    std::atomic<bool> m_opened{false};
    QSemaphore m_arrived;
    QSemaphore m_pass;
};

} // namespace

class tst_HashManager : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void digestsMatchTheSystemTools_data();
    void digestsMatchTheSystemTools();
    void relativeAndAbsolutePathsShareOneRecord();
    void queries_data();
    void queries();
    void fileInDownloadIsForgotten();
    void removedFileIsReadAgain();
    void slowReadOutlastsATimedWaitAndKeepsAnOutsideRecord();
    void waitedFileJumpsTheQueue();
    void changeOnDiskInvalidates_data();
    void changeOnDiskInvalidates();
    void anotherFileAtThePathIsHashedAgain_data();
    void anotherFileAtThePathIsHashedAgain();
    void changeDuringTheReadIsNotStored();
    void unhashableFilesEndTheWait_data();
    void unhashableFilesEndTheWait();
    void setHashRefuses_data();
    void setHashRefuses();
    void setHashReplacesAComputedRecord();
    void deletionFinishesTheFileUnderWayOnly();
    void secondInstanceIsRefused();

private:
    QString path(const QString& name) const { return m_dir->filePath(name); }
    QStringList traces() const { return m_log.texts(Logger::TRACE); }
    // The trace lines that name `file`.
    QStringList tracesOf(const QString& file) const;
    // Holds the worker at the start of a job on a file of its own; false when it never got there.
    bool holdWorker();
    int changes() const { return m_changes.load(); }

    RecordingLogSink m_log;
    std::unique_ptr<QTemporaryDir> m_dir;
    DownloadsInProgress m_downloads;
    std::unique_ptr<HashManager> m_manager;
    std::unique_ptr<WorkerGate> m_gate;
    std::atomic<int> m_changes{0};
    QString m_startDir;
};

void tst_HashManager::initTestCase()
{
    m_startDir = QDir::currentPath();
    // The worker logs from its own thread; the recorder keeps the lines under its lock.
    connect(MessageHandler::instance(), &MessageHandler::newLog, &m_log,
            [this](LOGLEVEL level, const QString&, const QString& text) {
                m_log.relay(QStringLiteral("app"), Logger::LogLevel(level), text);
            },
            Qt::DirectConnection);
}

void tst_HashManager::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_log.clear();
    m_gate = std::make_unique<WorkerGate>();
    m_changes = 0;
    m_manager = std::make_unique<HashManager>();
    connect(m_manager.get(), &HashManager::fileChanged, this, [this] { ++m_changes; },
            Qt::DirectConnection);
}

void tst_HashManager::cleanup()
{
    m_gate->open(); // a held worker would keep the destructor waiting
    m_manager.reset();
    m_log.setOnLine({});
    m_gate.reset();
    QDir::setCurrent(m_startDir);
    m_dir.reset();
}

QStringList tst_HashManager::tracesOf(const QString& file) const
{
    QStringList lines;
    for (const QString& line : traces()) {
        if (line.endsWith(file) || line.contains(file + QLatin1Char(' ')))
            lines << line;
    }
    return lines;
}

bool tst_HashManager::holdWorker()
{
    const QString blocker = path(QStringLiteral("blocker"));
    writeFile(blocker, "blocker");
    m_gate->arm(m_log, blocker);
    m_manager->hasHash(blocker);
    return m_gate->waitArrived();
}

void tst_HashManager::digestsMatchTheSystemTools_data()
{
    QTest::addColumn<int>("size");
    QTest::newRow("empty") << 0;
    QTest::newRow("3 MB of random bytes") << 3 * 1024 * 1024 + 17;
    // Both digests on their own threads, and a last block that is not full.
    QTest::newRow("past the threaded size")
        << int(FileDigester::kThreadedFromBytes + 3 * FileDigester::kBlockBytes + 17);
}

void tst_HashManager::digestsMatchTheSystemTools()
{
    QFETCH(int, size);
    const QString file = path(QStringLiteral("data.bin"));
    writeFile(file, randomBytes(size));

    const HashManager::Hash hash = m_manager->getHash(file);
    QCOMPARE(hash.md5, toolDigest(QStringLiteral("md5sum"), file));
    QCOMPARE(hash.sha1, toolDigest(QStringLiteral("sha1sum"), file));
    if (size == 0) {
        QCOMPARE(hash.md5, kEmptyMd5);
        QCOMPARE(hash.sha1, kEmptySha1);
    }
    HashManager::Hash cached;
    QVERIFY(m_manager->getHashAsync(file, cached));
    QCOMPARE(cached.md5, hash.md5);
    QCOMPARE(cached.sha1, hash.sha1);
}

void tst_HashManager::relativeAndAbsolutePathsShareOneRecord()
{
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("sub")));
    const QString file = path(QStringLiteral("sub/f"));
    writeFile(file, "content");
    QVERIFY(QDir::setCurrent(m_dir->path()));

    QCOMPARE(m_manager->getHash(QStringLiteral("sub/f")).md5, hex(QCryptographicHash::hash("content", QCryptographicHash::Md5)));
    QVERIFY(m_manager->hasHash(file));
    QVERIFY(m_manager->hasHash(QStringLiteral("./sub/../sub/f")));
    QCOMPARE(m_manager->getHash(file).sha1, hex(QCryptographicHash::hash("content", QCryptographicHash::Sha1)));
    QCOMPARE(traces().filter(QStringLiteral("Computing hash of")).size(), 1);
    QCOMPARE(traces().first(), QStringLiteral("Computing hash of ") + file);

    // The ignore list speaks the same language.
    const QString ignored = path(QStringLiteral("sub/g"));
    writeFile(ignored, "ignored");
    m_manager->addToIgnoreList(QStringLiteral("sub/g"));
    QVERIFY(!m_manager->hasHash(ignored));
    QVERIFY(!m_manager->waitForHash(ignored, HashManager::NoTimeout));
    QVERIFY(tracesOf(ignored).isEmpty());
}

void tst_HashManager::queries_data()
{
    // The file is asked for twice while the worker is held; then `turn` happens and the worker runs.
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QString>("turn");
    QTest::addColumn<QStringList>("jobLines"); // "%1" stands for the file
    QTest::addColumn<bool>("answer");          // of hasHash and waitForHash afterwards

    QTest::newRow("missing path") << false << QString() << QStringList() << false;
    QTest::newRow("ignored path") << true << QStringLiteral("ignore")
                                  << QStringList{QStringLiteral("Computing hash of %1"),
                                                 QStringLiteral("Hash of %1 ignored"),
                                                 QStringLiteral("Computing hash of %1"),
                                                 QStringLiteral("Hash of %1 ignored")}
                                  << false;
    QTest::newRow("file in download") << true << QStringLiteral("download")
                                      << QStringList{QStringLiteral("Computing hash of %1"),
                                                     QStringLiteral("Hash of %1 ignored (file in download)")}
                                      << false;
    QTest::newRow("asked twice") << true << QString()
                                 << QStringList{QStringLiteral("Computing hash of %1"),
                                                QStringLiteral("Hash of %1 computed"),
                                                QStringLiteral("Computing hash of %1"),
                                                QStringLiteral("Hash of %1 found")}
                                 << true;
}

void tst_HashManager::queries()
{
    QFETCH(bool, exists);
    QFETCH(QString, turn);
    QFETCH(QStringList, jobLines);
    QFETCH(bool, answer);

    const QString file = path(QStringLiteral("queried"));
    if (exists)
        writeFile(file, "queried");
    m_manager->setArtifactoryDownloadManager(&m_downloads);
    QVERIFY(holdWorker());

    HashManager::Hash untouched{QStringLiteral("md5"), QStringLiteral("sha1")};
    QVERIFY(!m_manager->hasHash(file));
    QVERIFY(!m_manager->getHashAsync(file, untouched));
    QCOMPARE(untouched.md5, QStringLiteral("md5"));
    if (turn == QLatin1String("ignore"))
        m_manager->addToIgnoreList(file);
    else if (turn == QLatin1String("download"))
        m_downloads.setDownloading(file, true);
    m_gate->open();

    // One batch: the blocker and both jobs; its end is the one signal.
    QTRY_COMPARE_WITH_TIMEOUT(changes(), 1, kLongMs);
    QStringList expected;
    for (const QString& line : jobLines)
        expected << line.arg(file);
    QCOMPARE(tracesOf(file), expected);

    QCOMPARE(m_manager->hasHash(file), answer);
    QElapsedTimer timer;
    timer.start();
    // A missing file has nothing to wait for: true at once.
    QCOMPARE(m_manager->waitForHash(file, HashManager::NoTimeout), exists ? answer : true);
    QVERIFY(timer.elapsed() < kLongMs);
    const HashManager::Hash hash = m_manager->getHash(file);
    QCOMPARE(hash.md5.isNull(), !answer);
    QCOMPARE(hash.sha1.isNull(), !answer);
    if (answer)
        QCOMPARE(hash.md5, hex(QCryptographicHash::hash("queried", QCryptographicHash::Md5)));
    QCOMPARE(changes(), 1);
}

void tst_HashManager::fileInDownloadIsForgotten()
{
    const QString file = path(QStringLiteral("downloaded"));
    const QString sentinel = path(QStringLiteral("sentinel"));
    writeFile(file, "first");
    writeFile(sentinel, "first");
    m_manager->setArtifactoryDownloadManager(&m_downloads);
    QVERIFY(!m_manager->getHash(file).md5.isEmpty());
    QVERIFY(!m_manager->getHash(sentinel).md5.isEmpty());

    m_downloads.setDownloading(file, true);
    QVERIFY(!m_manager->hasHash(file));
    QVERIFY(!m_manager->waitForHash(file, HashManager::NoTimeout));
    QVERIFY(m_manager->getHash(file).md5.isNull());
    m_downloads.setDownloading(file, false);

    // No longer watched: its change goes unnoticed, while the sentinel's, made after it, is seen.
    m_log.clear();
    appendFile(file, "second");
    appendFile(sentinel, "second");
    QTRY_VERIFY_WITH_TIMEOUT(traces().contains(QStringLiteral("Hash of ") + sentinel + QStringLiteral(" computed")),
                             kLongMs);
    QVERIFY(tracesOf(file).isEmpty());
    // Nor was its record kept: the next query reads it afresh.
    QVERIFY(!m_manager->hasHash(file));
    QCOMPARE(m_manager->getHash(file).md5, hex(QCryptographicHash::hash("firstsecond", QCryptographicHash::Md5)));
}

void tst_HashManager::removedFileIsReadAgain()
{
    const QString file = path(QStringLiteral("removed"));
    writeFile(file, "removed");
    QVERIFY(!m_manager->getHash(file).md5.isEmpty());
    m_manager->removeFileHash(file);
    QVERIFY(!m_manager->hasHash(file));
    QVERIFY(!m_manager->getHash(file).md5.isEmpty());
    QCOMPARE(tracesOf(file).filter(QStringLiteral(" computed")).size(), 2);
}

void tst_HashManager::slowReadOutlastsATimedWaitAndKeepsAnOutsideRecord()
{
    const QString slow = path(QStringLiteral("slow.img"));
    makeSparseFile(slow, kSlowFileSize);

    QElapsedTimer timer;
    timer.start();
    QVERIFY(!m_manager->waitForHash(slow, 1000));
    QVERIFY2(timer.elapsed() >= 1000, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(!m_manager->hasHash(slow));

    // Digests handed over while the worker reads win over the worker's.
    const HashManager::Hash outside{QStringLiteral("0123456789abcdef0123456789abcdef"),
                                    QStringLiteral("0123456789abcdef0123456789abcdef01234567")};
    QVERIFY(m_manager->setHash(outside, slow));
    QTRY_VERIFY_WITH_TIMEOUT(traces().contains(QStringLiteral("Hash of ") + slow + QStringLiteral(" computed")),
                             kLongMs);
    QVERIFY(m_manager->hasHash(slow));
    QCOMPARE(m_manager->getHash(slow).md5, outside.md5);
    QCOMPARE(m_manager->getHash(slow).sha1, outside.sha1);
}

void tst_HashManager::waitedFileJumpsTheQueue()
{
    const QString first = path(QStringLiteral("first"));
    const QString waited = path(QStringLiteral("waited"));
    writeFile(first, "first");
    writeFile(waited, "waited");
    QVERIFY(holdWorker());
    m_manager->hasHash(first);
    m_manager->hasHash(waited);
    QVERIFY(!m_manager->waitForHash(waited, 1)); // the worker is held: time-out, but first in line
    m_gate->open();

    QTRY_VERIFY_WITH_TIMEOUT(m_manager->hasHash(first) && m_manager->hasHash(waited), kLongMs);
    const QStringList lines = traces();
    const int waitedDone = lines.indexOf(QStringLiteral("Hash of ") + waited + QStringLiteral(" computed"));
    const int firstStart = lines.indexOf(QStringLiteral("Computing hash of ") + first);
    QVERIFY2(waitedDone >= 0 && waitedDone < firstStart, qPrintable(lines.join(QLatin1Char('\n'))));
}

void tst_HashManager::changeOnDiskInvalidates_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<int>("rounds"); // a second round shows the file is still watched
    QTest::newRow("append") << QStringLiteral("append") << 2;
    QTest::newRow("replace by rename") << QStringLiteral("rename") << 2;
    QTest::newRow("delete") << QStringLiteral("delete") << 1;
}

void tst_HashManager::changeOnDiskInvalidates()
{
    QFETCH(QString, change);
    QFETCH(int, rounds);
    const QString file = path(QStringLiteral("watched"));
    QByteArray content = "version 0";
    writeFile(file, content);
    QCOMPARE(m_manager->getHash(file).md5, hex(QCryptographicHash::hash(content, QCryptographicHash::Md5)));

    for (int round = 1; round <= rounds; ++round) {
        const int before = changes();
        const QByteArray next = "version " + QByteArray::number(round);
        if (change == QLatin1String("append")) {
            appendFile(file, next);
            content += next;
        } else if (change == QLatin1String("rename")) {
            const QString replacement = path(QStringLiteral("replacement"));
            writeFile(replacement, next);
            QCOMPARE(std::rename(qPrintable(replacement), qPrintable(file)), 0);
            content = next;
        } else {
            QVERIFY(QFile::remove(file));
        }
        if (change == QLatin1String("delete")) {
            QTRY_VERIFY_WITH_TIMEOUT(traces().contains(QStringLiteral("File ") + file + QStringLiteral(" not found")),
                                     kLongMs);
            QVERIFY(!m_manager->hasHash(file));
            QVERIFY(m_manager->getHash(file).md5.isNull());
        } else {
            // The old record answers until the change is noticed; then the new digests do.
            const QString md5 = hex(QCryptographicHash::hash(content, QCryptographicHash::Md5));
            QTRY_COMPARE_WITH_TIMEOUT(m_manager->getHash(file).md5, md5, kLongMs);
            QCOMPARE(m_manager->getHash(file).sha1, hex(QCryptographicHash::hash(content, QCryptographicHash::Sha1)));
        }
        // The identity check may answer before the watcher's notice arrives: wait for the notice.
        QTRY_VERIFY_WITH_TIMEOUT(changes() > before, kLongMs);
    }
}

void tst_HashManager::anotherFileAtThePathIsHashedAgain_data()
{
    QTest::addColumn<QString>("change");
    QTest::newRow("file replaced") << QStringLiteral("replace");
    QTest::newRow("link re-pointed") << QStringLiteral("link");
    QTest::newRow("folder moved aside and recreated") << QStringLiteral("folder");
}

void tst_HashManager::anotherFileAtThePathIsHashedAgain()
{
    // The new file has the size and modification time of the old one: only its identity differs.
    QFETCH(QString, change);
    const QByteArray oldContent = "old content";
    const QByteArray newContent = "new content";
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("folder")));
    const QString oldFile = path(QStringLiteral("folder/old"));
    const QString newFile = path(QStringLiteral("new"));
    writeFile(oldFile, oldContent);
    writeFile(newFile, newContent);
    const QDateTime modified = QFileInfo(oldFile).lastModified();
    QFile newer(newFile);
    QVERIFY(newer.open(QIODevice::ReadWrite) && newer.setFileTime(modified, QFileDevice::FileModificationTime));
    newer.close();
    QString file = oldFile;
    if (change == QLatin1String("link")) {
        file = path(QStringLiteral("link"));
        QVERIFY(QFile::link(oldFile, file));
    }
    const QString oldMd5 = hex(QCryptographicHash::hash(oldContent, QCryptographicHash::Md5));
    QCOMPARE(m_manager->getHash(file).md5, oldMd5);

    if (change == QLatin1String("replace")) {
        QCOMPARE(std::rename(qPrintable(newFile), qPrintable(file)), 0);
    } else if (change == QLatin1String("link")) {
        QVERIFY(QFile::remove(file));
        QVERIFY(QFile::link(newFile, file));
    } else {
        QCOMPARE(std::rename(qPrintable(path(QStringLiteral("folder"))), qPrintable(path(QStringLiteral("aside")))), 0);
        QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("folder")));
        QCOMPARE(std::rename(qPrintable(newFile), qPrintable(file)), 0);
    }
    // At once, before any notice of the watcher: never the old file's digests.
    HashManager::Hash answer;
    QVERIFY(!m_manager->getHashAsync(file, answer) || answer.md5 != oldMd5);
    QCOMPARE(m_manager->getHash(file).md5, hex(QCryptographicHash::hash(newContent, QCryptographicHash::Md5)));
    QCOMPARE(m_manager->getHash(file).sha1, hex(QCryptographicHash::hash(newContent, QCryptographicHash::Sha1)));
}

void tst_HashManager::changeDuringTheReadIsNotStored()
{
    const QString file = path(QStringLiteral("growing.img"));
    const qint64 size = qint64(256) << 20;
    makeSparseFile(file, size);
    m_manager->hasHash(file);
    QTRY_VERIFY_WITH_TIMEOUT(traces().contains(QStringLiteral("Computing hash of ") + file), kLongMs);
    appendFile(file, "tail"); // lands while the file is read

    QCryptographicHash md5(QCryptographicHash::Md5);
    const QByteArray zeros(1 << 20, '\0');
    for (qint64 done = 0; done < size; done += zeros.size())
        md5.addData(zeros);
    md5.addData("tail");
    QCOMPARE(m_manager->getHash(file).md5, hex(md5.result()));
}

void tst_HashManager::unhashableFilesEndTheWait_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("folder") << QStringLiteral("folder");
    QTest::newRow("fifo") << QStringLiteral("fifo"); // opening it for reading would wait for a writer
}

void tst_HashManager::unhashableFilesEndTheWait()
{
    QFETCH(QString, kind);
    const QString file = path(QStringLiteral("special"));
    if (kind == QLatin1String("folder"))
        QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("special")));
    else
        QCOMPARE(::mkfifo(qPrintable(file), 0600), 0);

    // Each wait ends as its read fails; a wait until the time-out would mean a waiter left behind.
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!m_manager->waitForHash(file, kLongMs));
    QVERIFY(timer.elapsed() < kLongMs);
    QVERIFY(m_manager->getHash(file).md5.isNull());
    const QString line = QStringLiteral("File ") + file + QStringLiteral(" can't be opened");
    QCOMPARE(tracesOf(file).filter(QStringLiteral("can't be opened")), (QStringList{line, line}));
    QVERIFY(!m_manager->hasHash(file));
}

void tst_HashManager::setHashRefuses_data()
{
    QTest::addColumn<QString>("md5");
    QTest::addColumn<QString>("sha1");
    QTest::addColumn<QString>("target"); // "file", "missing" or "folder"
    const QString md5 = QStringLiteral("0123456789abcdef0123456789abcdef");
    const QString sha1 = QStringLiteral("0123456789abcdef0123456789abcdef01234567");
    QTest::newRow("empty md5") << QString() << sha1 << QStringLiteral("file");
    QTest::newRow("empty sha1") << md5 << QStringLiteral("") << QStringLiteral("file");
    QTest::newRow("missing file") << md5 << sha1 << QStringLiteral("missing");
    QTest::newRow("folder") << md5 << sha1 << QStringLiteral("folder");
}

void tst_HashManager::setHashRefuses()
{
    QFETCH(QString, md5);
    QFETCH(QString, sha1);
    QFETCH(QString, target);
    const QString file = path(target);
    if (target == QLatin1String("file"))
        writeFile(file, "content");
    else if (target == QLatin1String("folder"))
        QVERIFY(QDir(m_dir->path()).mkdir(target));

    QVERIFY(!m_manager->setHash({md5, sha1}, file));
    QCOMPARE(changes(), 0);
    HashManager::Hash stored;
    QVERIFY(!m_manager->getHashAsync(file, stored));
}

void tst_HashManager::setHashReplacesAComputedRecord()
{
    const QString file = path(QStringLiteral("file"));
    writeFile(file, "content");
    QVERIFY(!m_manager->getHash(file).md5.isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(changes(), 1, kLongMs); // the worker's batch ends after getHash returns

    const HashManager::Hash outside{QStringLiteral("0123456789abcdef0123456789abcdef"),
                                    QStringLiteral("0123456789abcdef0123456789abcdef01234567")};
    QVERIFY(m_manager->setHash(outside, file));
    QCOMPARE(changes(), 2);
    QCOMPARE(m_manager->getHash(file).md5, outside.md5);
    QCOMPARE(m_manager->getHash(file).sha1, outside.sha1);
}

void tst_HashManager::deletionFinishesTheFileUnderWayOnly()
{
    const QString slow = path(QStringLiteral("slow.img"));
    const QString queued = path(QStringLiteral("queued"));
    const QString waited = path(QStringLiteral("waited"));
    makeSparseFile(slow, kSlowFileSize);
    writeFile(queued, "queued");
    writeFile(waited, "waited");
    m_manager->setArtifactoryDownloadManager(&m_downloads);

    m_manager->hasHash(slow);
    QTRY_VERIFY_WITH_TIMEOUT(traces().contains(QStringLiteral("Computing hash of ") + slow), kLongMs);
    m_manager->hasHash(queued);
    // The download question is asked inside waitForHash, under the lock it then waits with.
    m_downloads.watchQuestion(waited);
    std::atomic<int> waitResult{-1};
    HashManager* manager = m_manager.get();
    std::unique_ptr<QThread> waiter(QThread::create([manager, &waited, &waitResult] {
        waitResult = manager->waitForHash(waited, HashManager::NoTimeout) ? 1 : 0;
    }));
    waiter->start();
    QVERIFY(m_downloads.waitAsked());

    m_manager.reset();
    QVERIFY(waiter->wait(kLongMs));
    QCOMPARE(waitResult.load(), 0);
    QVERIFY(traces().contains(QStringLiteral("Hash of ") + slow + QStringLiteral(" computed")));
    QVERIFY(tracesOf(queued).isEmpty());
    QVERIFY(tracesOf(waited).isEmpty());
}

void tst_HashManager::secondInstanceIsRefused()
{
    QString text;
    try {
        HashManager second;
    } catch (const SingletonException& exception) {
        text = QString::fromStdString(exception.what());
    }
    QCOMPARE(text, QStringLiteral("Double instanciation of 11HashManager singleton"));
    QCOMPARE(Singleton<HashManager>::instance(), m_manager.get());
    const QString file = path(QStringLiteral("after"));
    writeFile(file, "");
    QCOMPARE(m_manager->getHash(file).md5, kEmptyMd5);
}

QTEST_GUILESS_MAIN(tst_HashManager)
#include "tst_HashManager.moc"
