#include "app/CliFlashFile.h"

#include "RecordingLogSink.h"
#include "core/ChildProcess.h"
#include "core/FMConst.h"
#include "core/MetaTypes.h"
#include "loader/FlashFileManager.h"
#include "model/FlashCommand.h"
#include "platform/log/LoggedObject.h"
#include "tools/BuiltInKinds.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QByteArray kXmlFlashFile = "<flashfile><id>fastboot</id><command><string>fastboot reboot</string></command></flashfile>";
const QByteArray kFlashFile =
    R"({"flash": {"version": "3.0", "configurations": {"c": {"name": "C", "startState": "mos", "default": true}},
        "commands": [{"tool": "sleep", "duration": 1, "description": "s"}]}})";

bool write(const QString& path, const QByteArray& content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

} // namespace

// Which flash file a command-line run loads: a plain one, or the one an archive holds (by -x, the
// only one, or the preferred names), and the codes when there is none to take.
class tst_CliFlashFile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void flashFileInAnArchive_data();
    void flashFileInAnArchive();
    void plainFlashFileIgnoresTheName();
    void missingFile();
    void rebuiltArchiveIsUnpackedAfresh();

private:
    // Builds <work>/build.zip from the named entries: flash files, except the *.txt ones.
    bool makeArchive(const QStringList& entries);

    LoggedObject m_log{QStringLiteral("Cli")};
    RecordingLogSink m_sink;
    std::unique_ptr<QTemporaryDir> m_work;
    ArgParser::Options m_options;
};

void tst_CliFlashFile::initTestCase()
{
    registerMetaTypes();
    BuiltInKinds::registerAll();
    m_sink.bind(m_log);
}

void tst_CliFlashFile::init()
{
    FMConst::resetToDefaults();
    m_sink.clear();
    m_work = std::make_unique<QTemporaryDir>();
    QVERIFY(m_work->isValid());
    m_options = ArgParser::Options();
    m_options.flashFileName.clear();
}

bool tst_CliFlashFile::makeArchive(const QStringList& entries)
{
    const QString content = m_work->filePath("content");
    if (!QDir().mkpath(content))
        return false;
    for (const QString& entry : entries) {
        const QByteArray text = entry.endsWith(".txt") ? QByteArray("notes\n")
                                : entry.endsWith(".xml")  ? kXmlFlashFile
                                                          : kFlashFile;
        if (!write(content + "/" + entry, text))
            return false;
    }
    ChildProcess zip;
    zip.setWorkingDirectory(content);
    zip.start("7z", QStringList{"a", "-bd", m_work->filePath("build.zip")} + entries);
    return zip.waitForFinished(60000) && zip.exitCode() == 0;
}

void tst_CliFlashFile::flashFileInAnArchive_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("name");      // -x; empty: not given
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");   // the loaded entry, or the ERROR line

    QTest::newRow("one flash file of any name") << QStringList{"mine.json", "notes.txt"} << "" << 0 << "mine.json";
    QTest::newRow("flash.json first") << QStringList{"flash.xml", "flash.json", "other.json"} << "" << 0 << "flash.json";
    QTest::newRow("flash.xml next") << QStringList{"flash.xml", "other.json"} << "" << 0 << "flash.xml";
    QTest::newRow("several, none preferred") << QStringList{"a.json", "b.json"} << "" << 14
                                             << "Cannot determine the flash file to use in the archive";
    QTest::newRow("names compared with case") << QStringList{"Flash.json", "b.json"} << "" << 14
                                              << "Cannot determine the flash file to use in the archive";
    QTest::newRow("no flash file") << QStringList{"notes.txt"} << "" << 14 << "No flash files in the archive";
    QTest::newRow("-x names one") << QStringList{"a.json", "b.json"} << "b.json" << 0 << "b.json";
    QTest::newRow("-x names a missing entry") << QStringList{"a.json"} << "nosuch.json" << 18
                                              << "Archive file does not contain \"nosuch.json\"";
    QTest::newRow("-x names no flash file") << QStringList{"a.json", "notes.txt"} << "notes.txt" << 14
                                            << "\"notes.txt\" exists in the archive but is not a flash file";
}

void tst_CliFlashFile::flashFileInAnArchive()
{
    QFETCH(QStringList, entries);
    QFETCH(QString, name);
    QFETCH(int, code);
    QFETCH(QString, message);
    QVERIFY(makeArchive(entries));
    m_options.flashFile = m_work->filePath("build.zip");
    m_options.flashFileName = name;

    QSharedPointer<FlashFileManager> flashFile;
    QCOMPARE(CliFlashFile::load(m_log, m_options, flashFile), code);
    QCOMPARE(bool(flashFile), code == 0);
    if (code == 0) {
        // Unpacked beside the archive, into a folder named after it.
        const QString loaded = m_work->filePath("build/" + message);
        // The taken entry is what the run reports as its flash file; -x stays as given.
        QCOMPARE(m_options.flashFileName, name.isEmpty() ? loaded : name);
        QCOMPARE(m_sink.texts(Logger::INFO), QStringList{"Loading " + loaded});
    } else {
        QCOMPARE(m_sink.texts(Logger::ERROR), QStringList{message});
    }
}

void tst_CliFlashFile::plainFlashFileIgnoresTheName()
{
    QVERIFY(write(m_work->filePath("flash.json"), kFlashFile));
    m_options.flashFile = m_work->filePath("flash.json");
    m_options.flashFileName = "other.json";
    QSharedPointer<FlashFileManager> flashFile;
    QCOMPARE(CliFlashFile::load(m_log, m_options, flashFile), 0);
    QVERIFY(flashFile);
    QCOMPARE(m_sink.texts(Logger::INFO), QStringList({"Ignoring --xml-filename, input file is already a flash file",
                                                      "Loading " + m_work->filePath("flash.json")}));
}

void tst_CliFlashFile::missingFile()
{
    m_options.flashFile = m_work->filePath("gone.json");
    QSharedPointer<FlashFileManager> flashFile;
    QCOMPARE(CliFlashFile::load(m_log, m_options, flashFile), 14);
    QCOMPARE(m_sink.texts(Logger::ERROR), QStringList{"Flash file \"" + m_work->filePath("gone.json") + "\" does not exists"});
}

void tst_CliFlashFile::rebuiltArchiveIsUnpackedAfresh()
{
    QVERIFY(makeArchive({"first.json"}));
    m_options.flashFile = m_work->filePath("build.zip");
    QSharedPointer<FlashFileManager> flashFile;
    QCOMPARE(CliFlashFile::load(m_log, m_options, flashFile), 0);
    QCOMPARE(QFileInfo(m_options.flashFileName).fileName(), QStringLiteral("first.json"));

    // The archive changes: without --always-unzip too, the folder of the first run is not what loads.
    QVERIFY(QFile::remove(m_work->filePath("build.zip")));
    QVERIFY(QDir(m_work->filePath("content")).removeRecursively());
    QVERIFY(makeArchive({"second.json"}));
    m_options.flashFileName.clear();
    QCOMPARE(CliFlashFile::load(m_log, m_options, flashFile), 0);
    QCOMPARE(QFileInfo(m_options.flashFileName).fileName(), QStringLiteral("second.json"));
}

QTEST_GUILESS_MAIN(tst_CliFlashFile)
#include "tst_CliFlashFile.moc"
