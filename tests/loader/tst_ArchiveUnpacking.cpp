#include "LoaderTestKit.h"

#include "core/FMConst.h"
#include "loader/ArchiveUnpacker.h"
#include "loader/FileManager2.h"

#include <QCoreApplication>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

// Unpacking archives with Debian's 7z: the folder they land in, the command lines and messages,
// refusal of entries that would land outside, and no half-unpacked folder after a failure.
class tst_ArchiveUnpacking : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void unpacks_data();
    void unpacks();
    void existingFolderIsReusedUnlessForced();
    void unsafeArchivesAreRefused_data();
    void unsafeArchivesAreRefused();
    void linksLeftByTheArchiverAreChecked();
    void failures_data();
    void failures();
    void bothTarProcessesMustSucceed();
    void archiverReadsNoInput();
    void archiverThatCannotStart();
    void eventFormKeepsHandlingEvents();

private:
    // A copy of the fixture archive in the test folder, under `name` when given.
    QString copyArchive(const QString& fixture, const QString& name = QString());
    // A 7z stand-in running `body` (a shell script); "$REAL" names Debian's 7z.
    void useFake7z(const QByteArray& body);
    // Names in the test folder other than the archives: what an unpacking left there.
    QStringList leftovers() const;

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
    const QString output = FileManager2::getFileFolder(archive).filePath(FileManager2::getFileBaseName(archive));
    RecordedLog log;
    QVERIFY2(FileManager2::unzipArchive(archive, output, true), qPrintable(log.lines().join(QLatin1Char('\n'))));

    QCOMPARE(FileManager2::getFiles(output, FileManager2::FlashFile), QStringList{QStringLiteral("flash.json")});
    QVERIFY(QFileInfo(output + QStringLiteral("/images/current.img")).isSymLink());
    QCOMPARE(leftovers(), QStringList{QFileInfo(output).fileName()});

    const QString quoted = QLatin1Char('"') + archive + QLatin1Char('"');
    const QStringList lines = log.lines();
    QVERIFY(lines.contains(QStringLiteral("INFO|Unzip archive ") + quoted));
    QCOMPARE(lines.filter(QStringLiteral("DEBUG|") + m_real7z + QStringLiteral(" output: \n")).size(), 1);
    QCOMPARE(lines.contains(QStringLiteral("INFO|Archive ") + quoted + QStringLiteral(" unzipped")), zipForm);
    QCOMPARE(lines.filter(QStringLiteral("ERROR|")), QStringList());
}

void tst_ArchiveUnpacking::existingFolderIsReusedUnlessForced()
{
    const QString archive = copyArchive(QStringLiteral("build-1.2.zip"));
    const QString output = m_dir->filePath(QStringLiteral("build-1.2"));
    QVERIFY(writeTextFile(output + QStringLiteral("/stale.json"), R"({"flash": {}})"));

    RecordedLog log;
    QVERIFY(FileManager2::unzipArchive(archive, output, false));
    QCOMPARE(log.lines(), QStringList()); // 7z did not run
    QVERIFY(QFile::exists(output + QStringLiteral("/stale.json")));

    // Forced, the folder is replaced as a whole: no flash file of an earlier unpacking survives.
    QVERIFY(FileManager2::unzipArchive(archive, output, true));
    QCOMPARE(FileManager2::getFiles(output, FileManager2::FlashFile), QStringList{QStringLiteral("flash.json")});
    QCOMPARE(leftovers(), QStringList{QStringLiteral("build-1.2")});

    // A file in the way is replaced too.
    QVERIFY(FileManager2::removeDir(output, true));
    QVERIFY(writeTextFile(output, "in the way"));
    QVERIFY(FileManager2::unzipArchive(archive, output, false));
    QVERIFY(QFile::exists(output + QStringLiteral("/flash.json")));
    QCOMPARE(leftovers(), QStringList{QStringLiteral("build-1.2")});
}

void tst_ArchiveUnpacking::unsafeArchivesAreRefused_data()
{
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<QString>("reason");

    QTest::newRow("dot-dot entry") << "dot-dot.zip"
                                   << "the entry \"../escape.txt\" would land outside the output folder";
    QTest::newRow("absolute entry") << "absolute.tar.gz"
                                    << "the entry \"/tmp/qln-escape.txt\" would land outside the output folder";
    QTest::newRow("link outside") << "link-outside.tar.gz" << "the entry \"etc\" links outside the output folder";
    QTest::newRow("written through a link")
        << "through-link.tar.gz" << "the entry \"inner/x.txt\" would be written through the link \"inner\"";
    // 7z itself refuses a zip link whose stored target climbs out (and fails the unpacking).
    QTest::newRow("zip link outside") << "zip-link-outside.zip" << QString();
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
                                 + QStringLiteral("\": the link \"images/root\" points outside the output folder")));
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
    FMConst::initExternalTools(toolsFile);
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

QTEST_GUILESS_MAIN(tst_ArchiveUnpacking)
#include "tst_ArchiveUnpacking.moc"
