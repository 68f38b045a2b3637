#include "LoaderTestKit.h"

#include "core/ChildProcess.h"
#include "core/FMConst.h"
#include "loader/ArchiveUnpacker.h"
#include "loader/ExternalToolManager.h"
#include "loader/FileManager2.h"

#include <QCoreApplication>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

// Unpacking archives with Debian's 7z: the folder they land in, the command lines and messages,
// refusal of entries and links that would land or point outside, no half-unpacked folder after a
// failure, reuse of the folder only for the archive it came from, and removal of the working
// folders of interrupted runs.
class tst_ArchiveUnpacking : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void unpacks_data();
    void unpacks();
    void folderIsReusedOnlyForItsArchive_data();
    void folderIsReusedOnlyForItsArchive();
    void unsafeArchivesAreRefused_data();
    void unsafeArchivesAreRefused();
    void linksLeftByTheArchiverAreChecked();
    void failures_data();
    void failures();
    void bothTarProcessesMustSucceed();
    void archiverReadsNoInput();
    void archiverThatCannotStart();
    void eventFormKeepsHandlingEvents();
    void abandonedWorkingFoldersAreRemoved();

private:
    // A copy of the fixture archive in the test folder, under `name` when given.
    QString copyArchive(const QString& fixture, const QString& name = QString());
    // A 7z stand-in running `body` (a shell script); "$REAL" names Debian's 7z.
    void useFake7z(const QByteArray& body);
    // Names in the test folder other than the archives: what an unpacking left there.
    QStringList leftovers() const;
    // Writes `archive` (.zip with 7z, else a .tgz with tar) holding a flash file and "build.txt"
    // with `build`, modified at one fixed time: archives of equal builds have equal sizes.
    void makeArchive(const QString& archive, const QByteArray& build);

    QString m_real7z;
    std::unique_ptr<QTemporaryDir> m_dir;
    QTemporaryDir m_tools;
};

void tst_ArchiveUnpacking::initTestCase()
{
    m_real7z = QStandardPaths::findExecutable(QStringLiteral("7z"));
    QVERIFY2(!m_real7z.isEmpty(), "Debian's 7z (p7zip-full) is needed");
    QVERIFY(m_tools.isValid());
}

void tst_ArchiveUnpacking::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    FMConst::resetToDefaults();
}

void tst_ArchiveUnpacking::cleanup()
{
    FMConst::resetToDefaults();
}

QString tst_ArchiveUnpacking::copyArchive(const QString& fixture, const QString& name)
{
    const QString path = m_dir->filePath(name.isEmpty() ? fixture : name);
    QFile::copy(QFINDTESTDATA(QStringLiteral("data/archives/") + fixture), path);
    return path;
}

void tst_ArchiveUnpacking::useFake7z(const QByteArray& body)
{
    const QString path = m_tools.filePath(QStringLiteral("7z"));
    QVERIFY(writeTextFile(path, "#!/bin/sh\nREAL='" + m_real7z.toUtf8() + "'\n" + body + "\n"));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QVERIFY(FMConst::setTool(QStringLiteral("7z"), path));
    QCOMPARE(ArchiveUnpacker::archiverPath(), path);
}

QStringList tst_ArchiveUnpacking::leftovers() const
{
    QStringList names = QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QString& suffix : {QStringLiteral(".zip"), QStringLiteral(".gz"), QStringLiteral(".tgz"),
                                  QStringLiteral(".GZ"), QStringLiteral(".txt")}) {
        for (int index = names.size() - 1; index >= 0; --index) {
            if (names[index].endsWith(suffix, Qt::CaseInsensitive))
                names.removeAt(index);
        }
    }
    return names;
}

namespace {

const QDateTime kArchiveTime(QDate(2024, 1, 2), QTime(3, 4, 5), Qt::UTC);

bool setModified(const QString& path, const QDateTime& time)
{
    QFile file(path);
    return file.open(QIODevice::ReadWrite) && file.setFileTime(time, QFileDevice::FileModificationTime);
}

QByteArray contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(no file ") + path.toUtf8() + ')';
}

// Runs `program` in `folder` to its end; true on exit code 0.
bool runTool(const QString& folder, const QString& program, const QStringList& arguments)
{
    ChildProcess process;
    process.setWorkingDirectory(folder);
    process.start(program, arguments);
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// Whether a lock on `path` is free now (nobody holds it).
bool isUnlocked(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    const bool free = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    if (fd >= 0)
        ::close(fd);
    return free;
}

} // namespace

void tst_ArchiveUnpacking::makeArchive(const QString& archive, const QByteArray& build)
{
    QTemporaryDir source;
    QVERIFY(source.isValid());
    QVERIFY(writeTextFile(source.filePath(QStringLiteral("flash.json")), R"({"flash": {}})"));
    QVERIFY(writeTextFile(source.filePath(QStringLiteral("build.txt")), build));
    const QStringList entries{QStringLiteral("flash.json"), QStringLiteral("build.txt")};
    for (const QString& entry : entries)
        QVERIFY(setModified(source.filePath(entry), kArchiveTime));
    QFile::remove(archive);
    QVERIFY(archive.endsWith(QLatin1String(".zip"))
                ? runTool(source.path(), m_real7z, QStringList{QStringLiteral("a"), QStringLiteral("-tzip"), QStringLiteral("-bd"), archive} + entries)
                : runTool(source.path(), QStringLiteral("tar"), QStringList{QStringLiteral("czf"), archive} + entries));
    QVERIFY(setModified(archive, kArchiveTime));
}

void tst_ArchiveUnpacking::unpacks_data()
{
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("zipForm");

    QTest::newRow("zip") << "build-1.2.zip" << "build-1.2.zip" << true;
    QTest::newRow("ZIP") << "build-1.2.zip" << "build-1.2.ZIP" << true;
    QTest::newRow("tar.gz") << "build-1.2.tar.gz" << "build-1.2.tar.gz" << false;
    QTest::newRow("tgz") << "build-1.2.tar.gz" << "build-1.2.tgz" << false;
    QTest::newRow("TAR.GZ") << "build-1.2.tar.gz" << "a.b.TAR.GZ" << false;
}

void tst_ArchiveUnpacking::unpacks()
{
    QFETCH(QString, fixture);
    QFETCH(QString, name);
    QFETCH(bool, zipForm);

    const QString archive = copyArchive(fixture, name);
    const QString output = FileManager2::getUnpackFolder(archive);
    RecordedLog log;
    QVERIFY2(FileManager2::unzipArchive(archive, output, true), qPrintable(log.lines().join(QLatin1Char('\n'))));

    QCOMPARE(FileManager2::getFiles(output, FileManager2::FlashFile), QStringList{QStringLiteral("flash.json")});
    // A link inside the folder is kept as it is.
    QVERIFY(QFileInfo(output + QStringLiteral("/images/current.img")).isSymLink());
    QCOMPARE(QFileInfo(output + QStringLiteral("/images/current.img")).canonicalFilePath(),
             QFileInfo(output + QStringLiteral("/images/boot.img")).canonicalFilePath());
    QCOMPARE(leftovers(), QStringList{QFileInfo(output).fileName()});

    const QString quoted = QLatin1Char('"') + archive + QLatin1Char('"');
    const QStringList lines = log.lines();
    QVERIFY(lines.contains(QStringLiteral("INFO|Unzip archive ") + quoted));
    QCOMPARE(lines.filter(QStringLiteral("DEBUG|") + m_real7z + QStringLiteral(" output: \n")).size(), 1);
    QCOMPARE(lines.contains(QStringLiteral("INFO|Archive ") + quoted + QStringLiteral(" unzipped")), zipForm);
    QCOMPARE(lines.filter(QStringLiteral("ERROR|")), QStringList());
}

void tst_ArchiveUnpacking::folderIsReusedOnlyForItsArchive_data()
{
    QTest::addColumn<QString>("before");  // what lies at the output folder: "unpacked" by the first
                                          // archive, a "hand-made folder" (an older version's), "a file"
    QTest::addColumn<QString>("change");  // what happens to the archive afterwards
    QTest::addColumn<bool>("force");
    QTest::addColumn<bool>("reused");

    QTest::newRow("unchanged archive") << "unpacked" << "none" << false << true;
    QTest::newRow("unchanged archive, always unzip") << "unpacked" << "none" << true << false;
    QTest::newRow("rebuilt zip of the same name, size and time") << "unpacked" << "rebuilt" << false << false;
    QTest::newRow("zip rewritten in place, same size and time") << "unpacked" << "rewritten" << false << false;
    QTest::newRow("tgz after a zip of the same name") << "unpacked" << "tgz" << false << false;
    QTest::newRow("folder without a record") << "hand-made folder" << "none" << false << false;
    QTest::newRow("file in the way") << "a file" << "none" << false << false;
}

void tst_ArchiveUnpacking::folderIsReusedOnlyForItsArchive()
{
    QFETCH(QString, before);
    QFETCH(QString, change);
    QFETCH(bool, force);
    QFETCH(bool, reused);

    QString archive = m_dir->filePath(QStringLiteral("ok.zip"));
    const QString output = m_dir->filePath(QStringLiteral("ok"));
    makeArchive(archive, "build 1");
    if (before == QLatin1String("unpacked")) {
        QVERIFY(FileManager2::unzipArchive(archive, output, false));
    } else if (before == QLatin1String("hand-made folder")) {
        QVERIFY(writeTextFile(output + QStringLiteral("/build.txt"), "build 0"));
        QVERIFY(writeTextFile(output + QStringLiteral("/flash.json"), R"({"flash": {}})"));
    } else {
        QVERIFY(writeTextFile(output, "in the way"));
    }

    QByteArray expected = "build 1";
    if (change == QLatin1String("rebuilt") || change == QLatin1String("rewritten")) {
        const qint64 size = QFileInfo(archive).size();
        const QString rebuilt = m_tools.filePath(QStringLiteral("rebuilt.zip"));
        makeArchive(rebuilt, "build 2");
        QCOMPARE(QFileInfo(rebuilt).size(), size); // only the content tells them apart
        if (change == QLatin1String("rebuilt")) {
            QVERIFY(::rename(QFile::encodeName(rebuilt).constData(), QFile::encodeName(archive).constData()) == 0);
        } else {
            QVERIFY(writeTextFile(archive, contentOf(rebuilt)));
            QVERIFY(setModified(archive, kArchiveTime));
        }
        QCOMPARE(QFileInfo(archive).lastModified(), kArchiveTime);
        expected = "build 2";
    } else if (change == QLatin1String("tgz")) {
        archive = m_dir->filePath(QStringLiteral("ok.tgz"));
        makeArchive(archive, "build 2");
        expected = "build 2";
    }

    RecordedLog log;
    QVERIFY(FileManager2::unzipArchive(archive, output, force));
    QCOMPARE(contentOf(output + QStringLiteral("/build.txt")), expected);
    const QStringList lines = log.lines();
    QCOMPARE(lines.contains(QStringLiteral("INFO|Reusing the folder \"%1\" unpacked from \"%2\"").arg(output, archive)),
             reused);
    QCOMPARE(lines.contains(QStringLiteral("INFO|Unzip archive \"%1\"").arg(archive)), !reused);
    QCOMPARE(FileManager2::getFiles(output, FileManager2::FlashFile), QStringList{QStringLiteral("flash.json")});
    QCOMPARE(leftovers(), QStringList{QStringLiteral("ok")});

    // Once unpacked afresh, the same archive is reused.
    RecordedLog again;
    QVERIFY(FileManager2::unzipArchive(archive, output, false));
    QVERIFY2(again.lines().filter(QStringLiteral("INFO|Reusing the folder")).size() == 1,
             qPrintable(again.lines().join(QLatin1Char('\n'))));
}

void tst_ArchiveUnpacking::unsafeArchivesAreRefused_data()
{
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<QString>("reason");

    QTest::newRow("dot-dot entry") << "dot-dot.zip"
                                   << "the entry \"../escape.txt\" would land outside the output folder";
    QTest::newRow("absolute entry") << "absolute.tar.gz"
                                    << "the entry \"/tmp/qln-escape.txt\" would land outside the output folder";
    QTest::newRow("tar link climbing out") << "link-outside.tar.gz" << "the entry \"etc\" links outside the output folder";
    QTest::newRow("tar absolute link") << "tar-link-absolute.tar.gz" << "the entry \"abs\" links outside the output folder";
    QTest::newRow("written through a link")
        << "through-link.tar.gz" << "the entry \"inner/x.txt\" would be written through the link \"inner\"";
    // 7z itself refuses a zip link whose stored target climbs out (and fails the unpacking).
    QTest::newRow("zip link climbing out") << "zip-link-outside.zip" << QString();
    // 7z turns an absolute zip link into one into the folder it unpacks into.
    QTest::newRow("zip absolute link") << "zip-link-absolute.zip" << "the entry \"abs\" links outside the output folder";
}

void tst_ArchiveUnpacking::unsafeArchivesAreRefused()
{
    QFETCH(QString, fixture);
    QFETCH(QString, reason);

    const QString archive = copyArchive(fixture);
    const QString output = m_dir->filePath(QStringLiteral("out/unpacked"));
    RecordedLog log;
    QVERIFY(!FileManager2::unzipArchive(archive, output, true));
    const QString quoted = QLatin1Char('"') + archive + QLatin1Char('"');
    const QStringList errors = log.lines().filter(QStringLiteral("ERROR|"));
    QCOMPARE(errors.last(), QStringLiteral("ERROR|Cannot unzip flash file ") + quoted);
    if (!reason.isNull())
        QCOMPARE(errors.first(), QStringLiteral("ERROR|Refusing to unpack ") + quoted + QStringLiteral(": ") + reason);
    // Nothing that a later run would reuse, nothing outside.
    QVERIFY(QDir(m_dir->filePath(QStringLiteral("out"))).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System
                                                                  | QDir::NoDotAndDotDot));
    QVERIFY(!QFileInfo::exists(m_dir->filePath(QStringLiteral("out/escape.txt"))));
    QVERIFY(!QFileInfo::exists(m_dir->filePath(QStringLiteral("escape.txt"))));
}

void tst_ArchiveUnpacking::linksLeftByTheArchiverAreChecked()
{
    // An archiver that lists a harmless archive but leaves a link to "/" behind.
    useFake7z("for argument; do case \"$argument\" in -o*) \"$REAL\" \"$@\" >/dev/null; "
              "ln -s / \"${argument#-o}/images/root\"; exit 0;; esac; done\nexec \"$REAL\" \"$@\"");
    const QString archive = copyArchive(QStringLiteral("build-1.2.zip"));
    RecordedLog log;
    QVERIFY(!FileManager2::unzipArchive(archive, m_dir->filePath(QStringLiteral("build-1.2")), true));
    QVERIFY(log.lines().contains(QStringLiteral("ERROR|Refusing to unpack \"") + archive
                                 + QStringLiteral("\": the entry \"images/root\" links outside the output folder")));
    QCOMPARE(leftovers(), QStringList());
}

void tst_ArchiveUnpacking::failures_data()
{
    QTest::addColumn<QString>("fixture"); // empty: no archive at all
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("lines"); // @ARCHIVE@: the archive's path, @7Z@: the archiver's

    const QString cannot = QStringLiteral("ERROR|Cannot unzip flash file \"@ARCHIVE@\"");
    QTest::newRow("missing archive") << QString() << "missing.zip"
                                     << QStringList{QStringLiteral("INFO|File '@ARCHIVE@' not found"), cannot};
    QTest::newRow("lone gz") << "build-1.2.tar.gz" << "data.gz"
                             << QStringList{QStringLiteral("ERROR|Unsupported archive type \"@ARCHIVE@\": only .zip, "
                                                           ".tgz and .tar.gz archives can be unpacked"),
                                            cannot};
    QTest::newRow("text file") << "build-1.2.zip" << "notes.txt"
                               << QStringList{QStringLiteral("ERROR|Unsupported archive type \"@ARCHIVE@\": only "
                                                             ".zip, .tgz and .tar.gz archives can be unpacked"),
                                              cannot};
    QTest::newRow("corrupt zip")
        << "corrupt.zip" << "corrupt.zip"
        << QStringList{QStringLiteral("INFO|Unzip archive \"@ARCHIVE@\""), QStringLiteral("ERROR|Fail to unzip! \n\t Message: \n"),
                       QStringLiteral("DEBUG|Fail to execute: @7Z@ \"l\" \"@ARCHIVE@\" \"-slt\""), cannot};
    QTest::newRow("corrupt tar.gz")
        << "corrupt.tar.gz" << "corrupt.tar.gz"
        << QStringList{QStringLiteral("INFO|Unzip archive \"@ARCHIVE@\""), QStringLiteral("ERROR|Fail to unzip! \n\t Message: \n"),
                       QStringLiteral("DEBUG|Fail to execute: @7Z@ \"x\" \"@ARCHIVE@\" \"-so\" | "
                                      "@7Z@ \"l\" \"-slt\" \"-si\" \"-ttar\" "),
                       cannot};
}

void tst_ArchiveUnpacking::failures()
{
    QFETCH(QString, fixture);
    QFETCH(QString, name);
    QFETCH(QStringList, lines);

    const QString archive = fixture.isEmpty() ? m_dir->filePath(name) : copyArchive(fixture, name);
    RecordedLog log;
    QVERIFY(!FileManager2::unzipArchive(archive, m_dir->filePath(QStringLiteral("out")), true));
    QStringList logged = log.lines();
    // The archiver's own message follows "Message:"; only its first line is fixed here.
    for (QString& line : logged) {
        if (line.startsWith(QStringLiteral("ERROR|Fail to unzip!")))
            line = line.left(line.indexOf(QLatin1String("Message: \n")) + 10);
    }
    lines.replaceInStrings(QStringLiteral("@ARCHIVE@"), archive);
    lines.replaceInStrings(QStringLiteral("@7Z@"), m_real7z);
    QCOMPARE(logged, lines);
    QCOMPARE(leftovers(), QStringList());
}

void tst_ArchiveUnpacking::bothTarProcessesMustSucceed()
{
    // The decompressor delivers the whole stream and then reports a failure.
    useFake7z("if [ \"$3\" = \"-so\" ]; then \"$REAL\" \"$@\"; exit 2; fi\nexec \"$REAL\" \"$@\"");
    const QString archive = copyArchive(QStringLiteral("build-1.2.tar.gz"));
    RecordedLog log;
    QVERIFY(!FileManager2::unzipArchive(archive, m_dir->filePath(QStringLiteral("build-1.2")), true));
    QCOMPARE(log.lines().filter(QStringLiteral("ERROR|Fail to unzip!")).size(), 1);
    QCOMPARE(leftovers(), QStringList());
}

void tst_ArchiveUnpacking::archiverReadsNoInput()
{
    // An archiver that waits for an answer would wait forever on an open input.
    useFake7z("read answer\nexec \"$REAL\" \"$@\"");
    const QString archive = copyArchive(QStringLiteral("build-1.2.zip"));
    QVERIFY(FileManager2::unzipArchive(archive, m_dir->filePath(QStringLiteral("build-1.2")), true));
    QVERIFY(QFile::exists(m_dir->filePath(QStringLiteral("build-1.2/flash.json"))));
}

void tst_ArchiveUnpacking::archiverThatCannotStart()
{
    const QString missing = m_tools.filePath(QStringLiteral("absent/7z"));
    const QString toolsFile = m_tools.filePath(QStringLiteral("tools.opt"));
    QVERIFY(writeTextFile(toolsFile, "[Tools]\n7z=" + missing.toUtf8() + "\n"));
    ExternalToolManager::instance().loadRepairedFile(toolsFile);
    QCOMPARE(ArchiveUnpacker::archiverPath(), missing);

    const QString archive = copyArchive(QStringLiteral("build-1.2.zip"));
    RecordedLog log;
    QVERIFY(!FileManager2::unzipArchiveWithEvents(archive, m_dir->filePath(QStringLiteral("build-1.2")), true));
    QVERIFY(log.lines().contains(QStringLiteral("ERROR|Failed to start ") + missing));
    QCOMPARE(leftovers(), QStringList());
}

void tst_ArchiveUnpacking::eventFormKeepsHandlingEvents()
{
    useFake7z("sleep 1\nexec \"$REAL\" \"$@\"");
    const QString archive = copyArchive(QStringLiteral("build-1.2.tar.gz"));
    bool handled = false;
    QTimer::singleShot(50, this, [&handled] { handled = true; });
    QVERIFY(FileManager2::unzipArchiveWithEvents(archive, m_dir->filePath(QStringLiteral("build-1.2")), true));
    QVERIFY(handled);
    QVERIFY(QFile::exists(m_dir->filePath(QStringLiteral("build-1.2/flash.json"))));
}

void tst_ArchiveUnpacking::abandonedWorkingFoldersAreRemoved()
{
    const QString archive = copyArchive(QStringLiteral("build-1.2.zip"));
    const QString output = m_dir->filePath(QStringLiteral("build-1.2"));
    const QString dead = m_dir->filePath(QStringLiteral(".build-1.2.unpacking-0000dead"));
    const QString live = m_dir->filePath(QStringLiteral(".build-1.2.unpacking-0000a11e"));
    const QString older = m_dir->filePath(QStringLiteral(".build-1.2.unpacking-00000001")); // no lock file
    const QString otherArchive = m_dir->filePath(QStringLiteral(".other.unpacking-0000dead"));
    for (const QString& folder : {dead, live, older, otherArchive})
        QVERIFY(writeTextFile(folder + QStringLiteral("/content/flash.json"), R"({"flash": {}})"));

    // Each lock is held by a process of its own, as an unpacking run would hold it; one of them is killed.
    ChildProcess killed;
    ChildProcess running;
    for (ChildProcess* holder : {&killed, &running}) {
        const QString lock = (holder == &killed ? dead : live) + QStringLiteral(".lock");
        QVERIFY(writeTextFile(lock, QByteArray()));
        holder->start(QStringLiteral("flock"), {lock, QStringLiteral("sleep"), QStringLiteral("600")});
        QVERIFY(holder->waitForStarted(30000));
        QTRY_VERIFY_WITH_TIMEOUT(!isUnlocked(lock), 30000);
    }
    // The lock goes with the last process of the group, which may die after flock itself.
    killed.killGroup();
    QVERIFY(killed.waitForFinished(30000));
    QTRY_VERIFY_WITH_TIMEOUT(isUnlocked(dead + QStringLiteral(".lock")), 30000);

    RecordedLog log;
    QVERIFY(FileManager2::unzipArchive(archive, output, true));
    QVERIFY(QFile::exists(output + QStringLiteral("/flash.json")));
    QStringList expected{QStringLiteral("build-1.2"), QFileInfo(live).fileName(),
                         QFileInfo(live).fileName() + QStringLiteral(".lock"), QFileInfo(otherArchive).fileName()};
    expected.sort();
    QStringList left = leftovers();
    left.sort();
    QCOMPARE(left, expected);
    for (const QString& folder : {dead, older})
        QVERIFY(log.lines().contains(QStringLiteral("INFO|Removed the folder \"%1\" of an interrupted unpacking").arg(folder)));

    // Once its process has died, the next unpacking removes that one too.
    running.killGroup();
    QVERIFY(running.waitForFinished(30000));
    QTRY_VERIFY_WITH_TIMEOUT(isUnlocked(live + QStringLiteral(".lock")), 30000);
    QVERIFY(FileManager2::unzipArchive(archive, output, true));
    expected = QStringList{QStringLiteral("build-1.2"), QFileInfo(otherArchive).fileName()};
    expected.sort();
    left = leftovers();
    left.sort();
    QCOMPARE(left, expected);
}

QTEST_GUILESS_MAIN(tst_ArchiveUnpacking)
#include "tst_ArchiveUnpacking.moc"
