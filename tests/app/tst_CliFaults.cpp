// `quillonlite --cli` against simulated faults: a device that vanishes mid-flash, tools that fail,
// hang or crash, a device that ignores a reboot, a truncated archive. Each run ends with its exit code
// and the line that says why, within its watchdog, and leaves nothing behind: no fake tool still
// running (each records its pid in the simulator), no program on the working folder, no unpacked
// folder. The start-state reboot a device refuses waits out the 180 s enumeration; it runs by hand
// only (ctest -C long -L faults-long).

#include "CommandLineStation.h"

#include <QtTest>

class tst_CliFaults : public QObject
{
    Q_OBJECT

private slots:
    void faultEndsTheRunCleanly_data();
    void faultEndsTheRunCleanly();
    void refusedStartStateRebootEndsAfterTheEnumerationWait();

private:
    // Runs `quillonlite --cli -f <flashFile> <arguments>` and checks what every failing run shows:
    // the exit code, a console line holding `line`, the exit line last at ERROR, and nothing of it
    // left running (what a hung run left is killed).
    static void runToItsEnd(CommandLineStation& station, const QString& flashFile, const QStringList& arguments,
                            int code, const QString& line, int watchdogMs, CommandLineStation::Run& run);
};

void tst_CliFaults::runToItsEnd(CommandLineStation& station, const QString& flashFile, const QStringList& arguments,
                                int code, const QString& line, int watchdogMs, CommandLineStation::Run& run)
{
    run = station.run(QStringList{"-f", station.path(flashFile)} + arguments, watchdogMs);
    const QStringList left = station.sim.runningTools();
    station.sim.killRunningTools();
    QVERIFY2(!run.hung, run.report());
    QVERIFY2(left.isEmpty(), qPrintable("fakes left running:\n" + left.join('\n') + "\n" + run.report()));
    QVERIFY2(station.programsOnWorkFolder().isEmpty(), qPrintable(station.programsOnWorkFolder().join('\n')));
    QVERIFY2(run.failedWith(code, line), run.report());
}

void tst_CliFaults::faultEndsTheRunCleanly_data()
{
    QTest::addColumn<QString>("flashFile");      // in the working folder; a ".zip" is made of flash-boot.json
    QTest::addColumn<QStringList>("device");     // ctl add: serial, port, state, options...
    QTest::addColumn<QStringList>("fault");      // device knob and value; empty: none
    QTest::addColumn<QStringList>("arguments");  // more options
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("line");           // the console line that says why
    QTest::addColumn<QString>("tried");          // text of the faulty command
    QTest::addColumn<int>("tries");              // how many times the fakes received it
    QTest::addColumn<QStringList>("holds");      // partitions and files the device holds afterwards
    QTest::addColumn<QStringList>("result");     // the result file's reason and error code; empty: none
    QTest::addColumn<int>("atLeastMs");          // the run takes at least this long
    QTest::addColumn<int>("watchdogMs");         // a run still going then hung: it fails, its group is killed

    const QStringList inFastboot{"PHONE1", "1-2", "pos"};
    const QStringList inMainOs{"PHONE1", "1-2", "mos"};
    const QString fastbootFailed = "[Port 1-2] Flash failed (Command type: Fastboot)";
    // The second try of a vanished device's command waits for it, as the first did: it never
    // reaches the device.
    QTest::newRow("device vanishes during fastboot flash")
        << "flash-boot.json" << inFastboot << QStringList{"vanish_match", "flash boot"} << QStringList() << 33
        << "timed out (2 s)" << "flash boot" << 1 << QStringList() << QStringList{"FAIL_OS", "33"} << 4000 << 60000;
    QTest::newRow("fastboot hangs")
        << "flash-boot.json" << inFastboot << QStringList{"hang_match", "flash boot"} << QStringList() << 33
        << "timed out (2 s)" << "flash boot" << 2 << QStringList() << QStringList{"FAIL_OS", "33"} << 4000 << 60000;
    // --timeout counts minutes: one is the shortest there is. The stopped flash is recorded as
    // interrupted before the program leaves, soon after the minute.
    QTest::newRow("fastboot hangs past the global time-out")
        << "flash-boot-long.json" << inFastboot << QStringList{"hang_match", "flash boot"} << QStringList{"--timeout", "1"}
        << 16 << "CLI Flash timeout (> 1 min), waiting for all actions to be terminated" << "flash boot" << 1
        << QStringList() << QStringList{"INTERRUPTED", "36"} << 60000 << 120000;
    // The tool's own words of why, at the default console level, with the port.
    QTest::newRow("fastboot refuses the flash")
        << "flash-boot.json" << inFastboot << QStringList{"fail_match", "flash boot"} << QStringList() << 33
        << "FAILED (remote: 'simulated failure')" << "flash boot" << 2 << QStringList()
        << QStringList{"FAIL_OS", "33"} << 0 << 60000;
    QTest::newRow("adb crashes on the second command")
        << "adb-two-commands.json" << inMainOs << QStringList{"crash_match", "system.img"} << QStringList() << 33
        << "[Port 1-2] Flash failed (Command type: ADB)" << "system.img" << 2 << QStringList{"/sdcard/boot.img"}
        << QStringList{"FAIL_OS", "33"} << 0 << 60000;
    QTest::newRow("fastboot crashes on the second command")
        << "fastboot-two-commands.json" << inFastboot << QStringList{"crash_match", "system.img"} << QStringList()
        << 33 << fastbootFailed << "system.img" << 2 << QStringList{"boot"} << QStringList{"FAIL_OS", "33"} << 0 << 60000;
    // A DFU board is flashed through a virtual device standing for it.
    QTest::newRow("dfu-util crashes")
        << "dfu.json" << QStringList{"BOARD1", "1-5", "dfu"} << QStringList{"crash_match", "-D"} << QStringList() << 30
        << "[Port virtual-1] Flash failed (Command type: DFU)" << "-D" << 1 << QStringList()
        << QStringList{"FAIL_DFU_FLASH", "39"} << 0 << 60000;
    QTest::newRow("device ignores adb reboot bootloader")
        << "reboot-wait.json" << inMainOs << QStringList{"refuse_reboot", "1"} << QStringList() << 35
        << "[Port 1-2] Flash failed (Command type: Device enumeration)" << "reboot bootloader" << 1 << QStringList()
        << QStringList{"FAIL_ENUM", "35"} << 3000 << 60000;
    QTest::newRow("truncated zip")
        << "update.zip" << inFastboot << QStringList() << QStringList() << 14 << "Cannot unzip flash file" << "flash" << 0
        << QStringList() << QStringList() << 0 << 60000;
}

void tst_CliFaults::faultEndsTheRunCleanly()
{
    QFETCH(QString, flashFile);
    QFETCH(QStringList, device);
    QFETCH(QStringList, fault);
    QFETCH(QStringList, arguments);
    QFETCH(int, code);
    QFETCH(QString, line);
    QFETCH(QString, tried);
    QFETCH(int, tries);
    QFETCH(QStringList, holds);
    QFETCH(QStringList, result);
    QFETCH(int, atLeastMs);
    QFETCH(int, watchdogMs);

    CommandLineStation station;
    QVERIFY(station.isReady(QFINDTESTDATA("data/faults")));
    QVERIFY(station.addDevice(device, fault));
    if (flashFile.endsWith(".zip")) {
        // A flash file and its image, cut short in the middle of the archive.
        QVERIFY(station.tool("7z", {"a", "-bd", flashFile, "flash-boot.json", "boot.img"}));
        QFile archive(station.path(flashFile));
        QVERIFY(archive.resize(archive.size() / 2));
    }

    CommandLineStation::Run run;
    runToItsEnd(station, flashFile, arguments, code, line, watchdogMs, run);
    if (QTest::currentTestFailed())
        return;
    QVERIFY2(run.elapsedMs >= atLeastMs, run.report());
    QCOMPARE(station.sim.commandLog().filter(tried).size(), tries);

    const QJsonObject held = station.sim.device(device.at(0));
    QStringList found = held.value("partitions").toObject().keys() + held.value("files").toObject().keys();
    QCOMPARE(found, holds);
    // Nothing unpacked stays: neither the archive's folder nor the hidden one it is made in.
    QCOMPARE(QDir(station.work()).entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());

    QByteArray content;
    if (!result.isEmpty())
        QVERIFY2(station.resultRecordsFailure(device.at(0), result.at(0), result.at(1).toInt(), content), content);
}

void tst_CliFaults::refusedStartStateRebootEndsAfterTheEnumerationWait()
{
    CommandLineStation station;
    QVERIFY(station.isReady(QFINDTESTDATA("data/faults")));
    // The in-house vendor: the program reboots the device into the configuration's start state.
    QVERIFY(station.addDevice({"PHONE1", "1-2", "mos", "--vendor", "8087"}, {"refuse_reboot", "1"}));

    // The run says nothing more of the wait's end than its exit code: the time-out is only the
    // flash's status text.
    CommandLineStation::Run run;
    runToItsEnd(station, "flash-boot.json", {}, 35, "[Port 1-2] Reboot device PHONE1 with ADB...", 240000, run);
    if (QTest::currentTestFailed())
        return;
    // The wait for the start state has no setting: 180 s.
    QVERIFY2(run.elapsedMs >= 180000, run.report());
    QCOMPARE(station.commandsFor("PHONE1"), QStringList{"adb -s PHONE1 reboot bootloader"});
    QVERIFY(station.partitions("PHONE1").isEmpty());
    QByteArray content;
    QVERIFY2(station.resultRecordsFailure("PHONE1", "FAIL_ENUM", 35, content), content);
}

QTEST_GUILESS_MAIN(tst_CliFaults)
#include "tst_CliFaults.moc"
