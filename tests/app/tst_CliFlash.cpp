// `quillonlite --cli` flashing simulated devices end to end: a JSON "3.0" flash file alone, in a
// .zip (also one rebuilt since an earlier run unpacked it) and in a .tar.gz, an XML "1.0" one,
// tools named on the command line, a device plugged while the program waits, and --fru-value on a
// copied configuration. What counts is what an operator and the devices see: exit code, console
// lines, flashed partitions, result files.

#include "CommandLineStation.h"

#include <QtTest>

class tst_CliFlash : public QObject
{
    Q_OBJECT

private slots:
    void flashesADeviceInMainOs_data();
    void flashesADeviceInMainOs();
    void xmlFlashFile();
    void dfuBoardTakenByAFileThatNamesNoPlatform_data();
    void dfuBoardTakenByAFileThatNamesNoPlatform();
    void devicePluggedWhileWaiting();
    void fruValueReachesTheCopiedConfiguration();
};

void tst_CliFlash::flashesADeviceInMainOs_data()
{
    QTest::addColumn<QString>("packaging");   // how the flash file reaches the program
    QTest::newRow("JSON 3.0 flash file") << "json";
    QTest::newRow("zip archive") << "zip";
    QTest::newRow("zip archive rebuilt since an earlier run") << "rebuilt zip";
    QTest::newRow("tar.gz archive") << "tar.gz";
    QTest::newRow("adb and fastboot named by --adb and --fastboot") << "tool options";
}

void tst_CliFlash::flashesADeviceInMainOs()
{
    QFETCH(QString, packaging);
    CommandLineStation station;
    QVERIFY(station.isReady());
    QVERIFY(station.sim.addDevice("PHONE1", "1-2", "mos"));

    QStringList arguments{"-f", station.path("flash.json")};
    QString loaded = station.path("flash.json");
    int runs = 1;
    if (packaging == "rebuilt zip") {
        // An earlier run flashed an older build of the archive, which it left unpacked beside it.
        QVERIFY(QFile::rename(station.path("boot.img"), station.path("new-boot.img")));
        QFile oldImage(station.path("boot.img"));
        QVERIFY(oldImage.open(QIODevice::WriteOnly) && oldImage.write("an older boot image\n") > 0);
        oldImage.close();
        QVERIFY(station.tool("7z", {"a", "-bd", "update.zip", "flash.json", "boot.img", "system.img"}));
        const CommandLineStation::Run earlier = station.run({"-f", station.path("update.zip")});
        QVERIFY2(earlier.exitCode == 0, earlier.report());
        QCOMPARE(station.partitions("PHONE1").value("boot").toString(), CommandLineStation::digestOf(station.path("boot.img")));
        QVERIFY(QFile::remove(station.path("update.zip")) && QFile::remove(station.path("boot.img")));
        QVERIFY(QFile::rename(station.path("new-boot.img"), station.path("boot.img")));
        packaging = "zip";
        runs = 2;
    }
    if (packaging == "zip" || packaging == "tar.gz") {
        const QString archive = "update." + packaging;
        QVERIFY(packaging == "zip" ? station.tool("7z", {"a", "-bd", archive, "flash.json", "boot.img", "system.img"})
                                   : station.tool("tar", {"czf", archive, "flash.json", "boot.img", "system.img"}));
        for (const char* name : {"flash.json", "boot.img", "system.img"})
            QVERIFY(QFile::remove(station.path(name)));
        arguments = QStringList{"-f", station.path(archive)};
        // Unpacked into a folder beside the archive, named after it.
        loaded = station.path("update/flash.json");
    } else if (packaging == "tool options") {
        // The settings name tools that fail everything: only the options' tools can flash.
        station.setToolSettings("/bin/false", "/bin/false");
        arguments << "--adb" << station.sim.toolPath("adb") << "--fastboot" << station.sim.toolPath("fastboot");
    }

    const CommandLineStation::Run run = station.run(arguments);
    QVERIFY2(run.exitCode == 0, run.report());
    const QStringList texts = run.texts();
    QVERIFY2(texts.contains("Loading " + loaded), run.report());
    QVERIFY2(run.output.contains("  INFO   : [Port 1-2] Flash success (duration="), run.report());
    QCOMPARE(texts.last(), QStringLiteral("Quillon Lite exited with code 0"));

    // The device went to fastboot and back (in each run), and holds both images.
    const QStringList commands{"adb -s PHONE1 reboot bootloader", "fastboot -s PHONE1 flash boot " + QFileInfo(loaded).path() + "/boot.img",
                               "fastboot -s PHONE1 flash system " + QFileInfo(loaded).path() + "/system.img",
                               "fastboot -s PHONE1 reboot"};
    QStringList expectedCommands;
    for (int run = 0; run < runs; ++run)
        expectedCommands << commands;
    QCOMPARE(station.commandsFor("PHONE1"), expectedCommands);
    QCOMPARE(station.partitions("PHONE1").value("boot").toString(),
             CommandLineStation::digestOf(QStringLiteral(QLN_SAMPLES_DIR "/update/boot.img")));
    QCOMPARE(station.partitions("PHONE1").value("system").toString(),
             CommandLineStation::digestOf(QStringLiteral(QLN_SAMPLES_DIR "/update/system.img")));
    QCOMPARE(station.sim.device("PHONE1").value("state").toString(), QStringLiteral("mos"));

    QFile result(station.resultFolder() + "/PHONE1.xml");
    QVERIFY2(result.open(QIODevice::ReadOnly), qPrintable(result.fileName()));
    const QByteArray content = result.readAll();
    QVERIFY2(content.contains("<RESULT>PASS</RESULT>") && content.contains("<ERROR>0</ERROR>"), content);
}

void tst_CliFlash::xmlFlashFile()
{
    CommandLineStation station;
    QVERIFY(station.isReady(QFINDTESTDATA("data/e2e")));
    // A device of the in-house vendor: the program knows how to reboot it.
    QVERIFY(station.sim.addDevice("PHONE1", "1-2", "mos", {"--vendor", "8087"}));

    // The XML file starts in fastboot: the program reboots the device there first. It names its
    // image the old way, "$BOOT_file", in another case than the parameter id "boot_file".
    const CommandLineStation::Run run = station.run({"-f", station.path("flash.xml")});
    QVERIFY2(run.exitCode == 0, run.report());
    QCOMPARE(station.commandsFor("PHONE1"),
             QStringList({"adb -s PHONE1 reboot bootloader", "fastboot -s PHONE1 flash boot " + station.path("boot.img"),
                          "fastboot -s PHONE1 reboot"}));
    QCOMPARE(station.partitions("PHONE1").value("boot").toString(), CommandLineStation::digestOf(station.path("boot.img")));
}

void tst_CliFlash::dfuBoardTakenByAFileThatNamesNoPlatform_data()
{
    QTest::addColumn<QString>("flashFile");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("why");   // a console line of a failed run
    QTest::newRow("JSON 2.0: flashed") << "dfu-v2.json" << 0 << "";
    // An XML file for DnX firmware always starts with the firmware download, for which this
    // station has no downloader: the run ends there, on the board, instead of waiting for a SoC.
    QTest::newRow("XML: its first command runs on the board") << "dfu.xml" << 32 << "Failed to allocate Dravik downloader";
}

void tst_CliFlash::dfuBoardTakenByAFileThatNamesNoPlatform()
{
    QFETCH(QString, flashFile);
    QFETCH(int, exitCode);
    QFETCH(QString, why);
    CommandLineStation station;
    QVERIFY(station.isReady(QFINDTESTDATA("data/e2e")));
    QVERIFY(station.sim.addDevice("BOARD1", "1-5", "dfu"));

    // The file names no platform, and its configuration runs the DFU downloader: it is for the board.
    const CommandLineStation::Run run = station.run({"-f", station.path(flashFile)});
    QVERIFY2(exitCode == 0 ? run.exitCode == 0 : run.failedWith(exitCode, why), run.report());
    QVERIFY2(QFileInfo::exists(station.resultFolder() + "/BOARD1.xml"), run.report());
    if (exitCode == 0) {
        QCOMPARE(station.partitions("BOARD1").value("dfu").toString(), CommandLineStation::digestOf(station.path("boot.img")));
        QCOMPARE(station.sim.device("BOARD1").value("state").toString(), QStringLiteral("mos"));
    }
}

void tst_CliFlash::devicePluggedWhileWaiting()
{
    CommandLineStation station;
    QVERIFY(station.isReady());
    QVERIFY(station.sim.addDevice("PHONE1", "1-2", "mos"));
    QVERIFY(station.sim.unplug("PHONE1"));

    station.start({"-f", station.path("flash.json")});
    QVERIFY(station.waitForOutput("Waiting for devices ..."));
    QVERIFY(station.sim.plug("PHONE1"));
    const CommandLineStation::Run run = station.finish();
    QVERIFY2(run.exitCode == 0, run.report());
    QCOMPARE(station.partitions("PHONE1").value("system").toString(),
             CommandLineStation::digestOf(station.path("system.img")));

    // The console of a normal run, in order: the start-up block, the flash file and its
    // configurations, the wait, the device's flash, the exit line.
    const QStringList texts = run.texts();
    const QStringList expected{
        "Zorvik(R) Quillon Lite V 5.3.2.0 x64 (build on Thursday July 30th 2015, 09:15:43 UTC)",
        "Using Dravik Downloader version: unknown",
        "Using DFU Downloader version: 0.11",
        // "Using Android Debug Bridge version 1.0.41" when adb answers within its 1000 ms, which a
        // loaded machine's simulated adb may miss: then the bare "Using ".
        "Using ",
        "Adb and fastboot binaries OK",
        "Loading " + station.path("flash.json"),
        "Available flash configurations:",
        "Default configuration used to flash [update]",
        "Number of devices detected: 0",
        "Waiting for devices ...",
        "Quillon Lite initialized successfully",
        "[Port 1-2] Start flashing ...",
        "[Port 1-2] Start flashing the flash configuration with mos start state for PHONE1",
        "[Port 1-2] Running `\"" + station.sim.toolPath("adb") + "\" \"-s\" \"PHONE1\" \"reboot\" \"bootloader\"` command",
        "[Port 1-2] Running `Wait for device with status pos on port 1-2` command",
        "[Port 1-2] Running `\"" + station.sim.toolPath("fastboot") + "\" \"-s\" \"PHONE1\" \"flash\" \"boot\" \""
            + station.path("boot.img") + "\"` command",
        "[Port 1-2] Running `\"" + station.sim.toolPath("fastboot") + "\" \"-s\" \"PHONE1\" \"reboot\"` command",
        "[Port 1-2] Flash success",
        "Quillon Lite exited with code 0",
    };
    int at = 0;
    for (const QString& wanted : expected) {
        while (at < texts.size() && !texts.at(at).startsWith(wanted))
            ++at;
        QVERIFY2(at < texts.size(), qPrintable("missing or out of order: " + wanted + "\n" + run.output));
        ++at;
    }
    QCOMPARE(texts.last(), QStringLiteral("Quillon Lite exited with code 0"));
    QCOMPARE(run.lines().first().mid(21, 11), QStringLiteral("  INFO   : "));
}

void tst_CliFlash::fruValueReachesTheCopiedConfiguration()
{
    CommandLineStation station;
    QVERIFY(station.isReady(QFINDTESTDATA("data/e2e")));
    QVERIFY(station.sim.addDevice("BOARD1", "1-5", "pos"));

    // -c names the file's configuration: the run flashes its copy "FRU_42", whose "fru_value" is 42.
    const CommandLineStation::Run run = station.run({"-f", station.path("fru.json"), "-c", "fru", "--fru-value", "42"});
    QVERIFY2(run.exitCode == 0, run.report());
    QVERIFY2(run.texts().contains("'FRU_42' configuration used to flash"), run.report());
    QCOMPARE(station.commandsFor("BOARD1"), QStringList{"fastboot -s BOARD1 oem fru 42"});
}

QTEST_GUILESS_MAIN(tst_CliFlash)
#include "tst_CliFlash.moc"
