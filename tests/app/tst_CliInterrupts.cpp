// `quillonlite --cli` ended in the middle of its work, from outside (SIGINT, SIGTERM or SIGHUP to
// its process group, as a terminal's Ctrl-C sends) or by its global time-out: during a flash whose
// fastboot hangs, an unpacking whose archiver hangs, and a firmware download whose library call
// never returns. Each run stops its flash and kills its tools, records the flash as interrupted in
// its result file, removes the unpacking folder, says why, logs its exit lines once and ends with
// 36 (interrupted) or 16 (time-out); nothing it started is left running, and no flash starts after
// the run ended.

#include "CommandLineStation.h"

#include <QtTest>

#include <csignal>

class tst_CliInterrupts : public QObject
{
    Q_OBJECT

public:
    // The work that hangs when the run is ended.
    enum Scene { FastbootHangs, ArchiverHangs, DownloadHangs };

private slots:
    void interruptEndsTheRun_data();
    void interruptEndsTheRun();
    void timeoutEndsTheRun_data();
    void timeoutEndsTheRun();

private:
    // Prepares `scene` (device, fault, flash file, tools); `flashFile` is the one to run.
    static bool prepare(CommandLineStation& station, Scene scene, QString& flashFile);
    // Waits until the run is inside the work that hangs.
    static bool waitForTheHang(CommandLineStation& station, Scene scene);
    // What every stopped run shows.
    static void checkTheEnd(CommandLineStation& station, Scene scene, const CommandLineStation::Run& run, int code,
                            const QString& line);
};

Q_DECLARE_METATYPE(tst_CliInterrupts::Scene)

namespace {

// A 7z that never ends; its command line names the archive, so it shows among the programs on
// the working folder while it runs.
const QByteArray kHangingArchiver = "#!/bin/sh\nexec /usr/bin/python3 -c 'import time; time.sleep(600)' \"$0\" \"$@\"\n";

// Result files that record an interrupted flash (reason INTERRUPTED, error 36).
QStringList interruptedResults(const CommandLineStation& station)
{
    QStringList found;
    for (const QFileInfo& file : QDir(station.resultFolder()).entryInfoList(QDir::Files)) {
        QFile result(file.filePath());
        if (!result.open(QIODevice::ReadOnly))
            continue;
        const QByteArray content = result.readAll();
        if (content.contains("<REASON>INTERRUPTED</REASON>") && content.contains("<ERROR>36</ERROR>"))
            found << file.fileName();
    }
    return found;
}

} // namespace

bool tst_CliInterrupts::prepare(CommandLineStation& station, Scene scene, QString& flashFile)
{
    if (!station.isReady(QFINDTESTDATA("data/faults")))
        return false;
    switch (scene) {
    case FastbootHangs:
        flashFile = "flash-boot-long.json";
        return station.addDevice({"PHONE1", "1-2", "pos"}, {"hang_match", "flash boot"});
    case ArchiverHangs: {
        flashFile = "update.zip";
        const QString archiver = station.home() + "/tools/7z";
        QFile file(archiver);
        station.setTool("7z", archiver);
        return station.addDevice({"PHONE1", "1-2", "pos"})
               && station.tool("7z", {"a", "-bd", flashFile, "flash-boot.json", "boot.img"})
               && QDir().mkpath(station.home() + "/tools") && file.open(QIODevice::WriteOnly)
               && file.write(kHangingArchiver) == kHangingArchiver.size() && file.flush()
               && file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    case DownloadHangs: {
        // The program loads its downloader backend from its own folder: a copy of it runs beside
        // the tests' backend, which hangs in every download.
        flashFile = "firmware.json";
        const QString folder = station.home() + "/program";
        station.setProgram(folder + "/quillonlite");
        station.setEnvironment("QLN_TEST_DRAVIK_HANG", "1");
        return QDir().mkpath(folder) && QFile::copy(QStringLiteral(QUILLONLITE_PROGRAM), folder + "/quillonlite")
               && QFile::copy(QStringLiteral(QLN_TEST_DRAVIK_BACKEND), folder + "/libdravik-dldr-api.so")
               && station.copyIn(QFINDTESTDATA("data/e2e"))
               && station.addDevice({"BOARD1", "1-4", "dnx_fw", "--soc-serial", "SOC1"});
    }
    }
    return false;
}

bool tst_CliInterrupts::waitForTheHang(CommandLineStation& station, Scene scene)
{
    switch (scene) {
    case FastbootHangs:
        // The fake has received the command that hangs.
        return QTest::qWaitFor([&station] { return !station.sim.commandLog().filter("flash boot").isEmpty(); }, 60000);
    case ArchiverHangs:
        return QTest::qWaitFor([&station] { return !station.programsOnWorkFolder().filter("/tools/7z").isEmpty(); }, 60000);
    case DownloadHangs:
        return station.waitForOutput("interface (new API)");
    }
    return false;
}

void tst_CliInterrupts::checkTheEnd(CommandLineStation& station, Scene scene, const CommandLineStation::Run& run,
                                    int code, const QString& line)
{
    const QStringList fakes = station.sim.runningTools();
    const QStringList programs = station.programsOnWorkFolder();
    station.sim.killRunningTools();
    station.killProgramsOnWorkFolder();
    QVERIFY2(!run.hung, run.report());
    QVERIFY2(fakes.isEmpty(), qPrintable("fakes left running:\n" + fakes.join('\n') + "\n" + run.report()));
    QVERIFY2(programs.isEmpty(), qPrintable("programs left running:\n" + programs.join('\n')));
    QVERIFY2(run.failedWith(code, line), run.report());
    // The lines of the program's end come once.
    for (const char* end : {"Exiting Quillon Lite", "Device Manager terminated", "Flash Manager terminated"})
        QVERIFY2(run.texts().filter(end).size() == 1, qPrintable(QString(end) + " not once\n" + run.report()));
    // Neither the archive's folder nor the hidden one it is unpacked into stays.
    QCOMPARE(QDir(station.work()).entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());

    switch (scene) {
    case FastbootHangs:
        QVERIFY2(interruptedResults(station) == QStringList{"PHONE1.xml"}, run.report());
        break;
    case ArchiverHangs:
        // No flash ever started.
        QVERIFY2(station.commandsFor("PHONE1").filter("flash").isEmpty(), run.report());
        QCOMPARE(QDir(station.resultFolder()).entryList(QDir::Files), QStringList());
        break;
    case DownloadHangs:
        QVERIFY2(interruptedResults(station).size() == 1, run.report());
        QVERIFY2(run.texts().filter(QRegularExpression(
                     "^\\[Port .+\\] Flash still running after its stop: recorded as interrupted and left behind$"))
                         .size() == 1,
                 run.report());
        break;
    }
}

void tst_CliInterrupts::interruptEndsTheRun_data()
{
    QTest::addColumn<Scene>("scene");
    QTest::addColumn<int>("signal");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("twice");   // a second signal while the run stops

    const QList<QPair<QString, int>> sent{{"SIGINT", SIGINT}, {"SIGTERM", SIGTERM}, {"SIGHUP", SIGHUP}};
    for (const auto& entry : sent) {
        QTest::addRow("fastboot hangs, %s", qPrintable(entry.first)) << FastbootHangs << entry.second << entry.first << false;
        QTest::addRow("archiver hangs, %s", qPrintable(entry.first)) << ArchiverHangs << entry.second << entry.first << false;
    }
    // The stop waits 15 s for the flash's end, then leaves without it; a second signal leaves now.
    QTest::newRow("download hangs, SIGINT") << DownloadHangs << SIGINT << "SIGINT" << false;
    QTest::newRow("download hangs, SIGINT twice") << DownloadHangs << SIGINT << "SIGINT" << true;
}

void tst_CliInterrupts::interruptEndsTheRun()
{
    QFETCH(Scene, scene);
    QFETCH(int, signal);
    QFETCH(QString, name);
    QFETCH(bool, twice);

    CommandLineStation station;
    QString flashFile;
    QVERIFY(prepare(station, scene, flashFile));
    station.start({"-f", station.path(flashFile), "-l", "4"});
    QVERIFY(waitForTheHang(station, scene));
    QVERIFY(station.signal(signal));
    const QString line = QStringLiteral("Interrupted by %1, waiting for all actions to be terminated").arg(name);
    if (twice) {
        QVERIFY(station.waitForOutput(line));
        QVERIFY(station.signal(signal));
    }
    const CommandLineStation::Run run = station.finish(120000);
    checkTheEnd(station, scene, run, 36, line);
    if (QTest::currentTestFailed())
        return;
    // The second signal did not wait for the stop's grace.
    QCOMPARE(run.texts().filter("did not end within").isEmpty(), twice || scene != DownloadHangs);
}

void tst_CliInterrupts::timeoutEndsTheRun_data()
{
    QTest::addColumn<Scene>("scene");
    // --timeout counts minutes: one is the shortest there is.
    QTest::newRow("archiver hangs") << ArchiverHangs;
    QTest::newRow("download hangs") << DownloadHangs;
}

void tst_CliInterrupts::timeoutEndsTheRun()
{
    QFETCH(Scene, scene);

    CommandLineStation station;
    QString flashFile;
    QVERIFY(prepare(station, scene, flashFile));
    const CommandLineStation::Run run = station.run({"-f", station.path(flashFile), "-l", "4", "--timeout", "1"}, 150000);
    checkTheEnd(station, scene, run, 16, "CLI Flash timeout (> 1 min), waiting for all actions to be terminated");
    if (QTest::currentTestFailed())
        return;
    QVERIFY2(run.elapsedMs >= 60000, run.report());
}

QTEST_GUILESS_MAIN(tst_CliInterrupts)
#include "tst_CliInterrupts.moc"
