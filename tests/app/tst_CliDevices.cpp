// `quillonlite --cli` choosing its one device: the matching options (--vid/--pid, --dnx-sn,
// --os-sn, else the first by port) flash only the device they take; no device within
// --device-detection-timeout ends with 20; two instances never flash one device. (A tool that
// hangs past --timeout is a row of tst_CliFaults.)

#include "CommandLineStation.h"
#include "engine/DeviceClaim.h"

#include <QtTest>

class tst_CliDevices : public QObject
{
    Q_OBJECT

private slots:
    void onlyTheMatchedDeviceIsFlashed_data();
    void onlyTheMatchedDeviceIsFlashed();
    void neighboursOnAStationAreNeverQuestioned();
    void blankBoardFlashRebootsTheConnectedDevices();
    void noDeviceWithinTheDetectionTimeout();
    void twoInstancesFlashTwoDevices();
    void deviceClaimedByAnotherProcessIsLeftAlone();
};

void tst_CliDevices::onlyTheMatchedDeviceIsFlashed_data()
{
    QTest::addColumn<QString>("flashFile");
    QTest::addColumn<QStringList>("first");       // ctl add words of the device on port 1-2
    QTest::addColumn<QStringList>("second");      // ... on port 1-3
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("flashed");         // serial of the device that must be flashed

    QTest::newRow("first by port") << "flash.json" << QStringList{"A", "mos"} << QStringList{"B", "mos"}
                                   << QStringList() << "A";
    QTest::newRow("--vid and --pid") << "flash.json" << QStringList{"A", "mos"}
                                     << QStringList{"B", "mos", "--vendor", "04e8"}
                                     << QStringList{"--vid", "04e8", "--pid", "4ee7"} << "B";
    QTest::newRow("--vid without --pid") << "flash.json" << QStringList{"A", "mos", "--vendor", "04e8"}
                                         << QStringList{"B", "mos"} << QStringList{"--vid", "18d1"} << "B";
    QTest::newRow("--vid wins over --os-sn") << "flash.json" << QStringList{"A", "mos"}
                                             << QStringList{"B", "mos", "--vendor", "04e8"}
                                             << QStringList{"--vid", "04e8", "--os-sn", "A"} << "B";
    QTest::newRow("--os-sn") << "flash.json" << QStringList{"A", "mos"} << QStringList{"B", "mos"}
                             << QStringList{"--os-sn", "B"} << "B";
    QTest::newRow("--dnx-sn") << "dnx-os.json" << QStringList{"A", "dnx_os", "--soc-serial", "SOCA"}
                              << QStringList{"B", "dnx_os", "--soc-serial", "SOCB"}
                              << QStringList{"--dnx-sn", "SOCB"} << "B";
}

void tst_CliDevices::onlyTheMatchedDeviceIsFlashed()
{
    QFETCH(QString, flashFile);
    QFETCH(QStringList, first);
    QFETCH(QStringList, second);
    QFETCH(QStringList, arguments);
    QFETCH(QString, flashed);

    CommandLineStation station;
    QVERIFY(station.isReady(QFINDTESTDATA("data/e2e")));
    QVERIFY(station.sim.addDevice(first.at(0), "1-2", first.at(1), first.mid(2)));
    QVERIFY(station.sim.addDevice(second.at(0), "1-3", second.at(1), second.mid(2)));

    const CommandLineStation::Run run = station.run(QStringList{"-f", station.path(flashFile)} + arguments);
    QVERIFY2(run.exitCode == 0, run.report());
    const QString other = flashed == first.at(0) ? second.at(0) : first.at(0);
    const QString serialOnBus = [&](const QStringList& words) {
        const int soc = words.indexOf("--soc-serial");
        return soc < 0 ? words.at(0) : words.at(soc + 1);   // a DnX device shows its SoC serial
    }(flashed == first.at(0) ? first : second);
    QVERIFY2(!station.commandsFor(serialOnBus).isEmpty(), run.report());
    QCOMPARE(station.partitions(flashed).value("boot").toString(), CommandLineStation::digestOf(station.path("boot.img")));
    // The other device was left alone: no command for it, nothing flashed.
    const QString otherOnBus = other == first.at(0) ? first.value(first.indexOf("--soc-serial") + 1, other)
                                                    : second.value(second.indexOf("--soc-serial") + 1, other);
    QVERIFY2(station.commandsFor(other).isEmpty() && station.commandsFor(otherOnBus).isEmpty(),
             qPrintable(station.sim.commandLog().join('\n')));
    QVERIFY(station.partitions(other).isEmpty());
}

// One process per device on a station: a process asks nothing of the devices its --os-sn rules
// out, not even their mode.
void tst_CliDevices::neighboursOnAStationAreNeverQuestioned()
{
    CommandLineStation station;
    QVERIFY(station.isReady(QFINDTESTDATA("data/e2e")));
    QVERIFY(station.sim.addDevice("A", "1-2", "mos"));
    QStringList neighbours;
    for (int number = 1; number <= 8; ++number) {
        neighbours << QStringLiteral("N%1").arg(number);
        QVERIFY(station.sim.addDevice(neighbours.last(), QStringLiteral("1-%1").arg(number + 2), "pos"));
    }

    const CommandLineStation::Run run = station.run({"-f", station.path("flash.json"), "--os-sn", "A"});
    QVERIFY2(run.exitCode == 0, run.report());
    QVERIFY2(!station.commandsFor("A").isEmpty(), run.report());
    const QStringList log = station.sim.commandLog();
    for (const QString& neighbour : neighbours)
        QVERIFY2(log.filter(QStringLiteral(" -s ") + neighbour + QLatin1Char(' ')).isEmpty(), qPrintable(log.join('\n')));
}

void tst_CliDevices::blankBoardFlashRebootsTheConnectedDevices()
{
    CommandLineStation station;
    QVERIFY(station.isReady(QFINDTESTDATA("data/e2e")));
    QVERIFY(station.sim.addDevice("PHONE1", "1-2", "mos"));
    QVERIFY(station.sim.addDevice("PHONE2", "1-3", "pos"));
    QVERIFY(station.sim.addDevice("BOARD1", "1-4", "dnx_fw", {"--soc-serial", "SOC1"}));

    // The configuration starts in DnX firmware: one plain reboot command per tool for the devices
    // in an OS, then the flash takes the board (and fails there: no downloader backend).
    const CommandLineStation::Run run = station.run({"-f", station.path("firmware.json")});
    QVERIFY2(run.exitCode == 32, run.report());
    const QStringList log = station.sim.commandLog();
    QCOMPARE(log.filter(QRegularExpression("^adb( -s \\S+)? reboot")), QStringList{"adb reboot"});
    QCOMPARE(log.filter(QRegularExpression("^fastboot( -s \\S+)? reboot")), QStringList{"fastboot reboot"});
    QVERIFY2(run.texts().filter(QRegularExpression("^\\[Port virtual-\\d+\\] Failed to allocate Dravik downloader$")).size() == 1,
             run.report());

    // With --reboot 0 nothing is rebooted.
    CommandLineStation quiet;
    QVERIFY(quiet.isReady(QFINDTESTDATA("data/e2e")));
    QVERIFY(quiet.sim.addDevice("PHONE1", "1-2", "mos"));
    QVERIFY(quiet.sim.addDevice("BOARD1", "1-4", "dnx_fw", {"--soc-serial", "SOC1"}));
    const CommandLineStation::Run second = quiet.run({"-f", quiet.path("firmware.json"), "--reboot", "0"});
    QVERIFY2(second.exitCode == 32, second.report());
    QVERIFY(quiet.sim.commandLog().filter("reboot").isEmpty());
}

void tst_CliDevices::noDeviceWithinTheDetectionTimeout()
{
    CommandLineStation station;
    QVERIFY(station.isReady());

    const CommandLineStation::Run run =
        station.run({"-f", station.path("flash.json"), "--device-detection-timeout", "1500"});
    QVERIFY2(run.exitCode == 20, run.report());
    const QStringList texts = run.texts();
    const int timer = texts.indexOf("Starting device detection timer (1500 ms) ...");
    QVERIFY2(timer >= 0 && texts.at(timer + 1) == "Waiting for devices ...", run.report());
    QVERIFY2(texts.contains("Device detection timeout (> 1500 ms), waiting for all actions to be terminated"),
             run.report());
    QVERIFY(run.elapsedMs >= 1500);
}

void tst_CliDevices::twoInstancesFlashTwoDevices()
{
    CommandLineStation station;
    QVERIFY(station.isReady());
    // Both phones stay in Main OS when rebooted: each flash, once it took its device, waits for
    // fastboot until the test moves the phone there. So both instances hold a device at once.
    QVERIFY(station.addDevice({"A", "1-2", "mos"}, {"refuse_reboot", "1"}));
    QVERIFY(station.addDevice({"B", "1-3", "mos"}, {"refuse_reboot", "1"}));

    const QStringList arguments{"-f", station.path("flash.json")};
    station.start(arguments);
    station.startSecond(arguments);
    // Each reading of the journal runs the simulator: the wait counts time, not polls.
    const auto eachRebootedOnce = [&] {
        const QStringList log = station.sim.commandLog();
        return log.filter("adb -s A reboot bootloader").size() == 1 && log.filter("adb -s B reboot bootloader").size() == 1;
    };
    QElapsedTimer clock;
    clock.start();
    while (!eachRebootedOnce() && clock.elapsed() < 60000)
        QTest::qWait(200);
    QVERIFY2(eachRebootedOnce(), qPrintable(station.sim.commandLog().join('\n')));
    for (const QString serial : {"A", "B"}) {
        QVERIFY(station.sim.setFault(serial, "refuse_reboot", ""));
        QVERIFY(station.sim.setState(serial, "pos"));
    }

    const CommandLineStation::Run first = station.finish();
    const CommandLineStation::Run second = station.finishSecond();
    QVERIFY2(first.exitCode == 0, first.report());
    QVERIFY2(second.exitCode == 0, second.report());
    // Each phone was flashed once, by one of them; the other said it left it alone.
    for (const QString serial : {"A", "B"}) {
        QCOMPARE(station.commandsFor(serial).filter(" flash boot ").size(), 1);
        QCOMPARE(station.partitions(serial).value("boot").toString(),
                 CommandLineStation::digestOf(station.path("boot.img")));
    }
    const QString leftAlone = "Device on port 1-2 is claimed by another instance, left alone";
    QVERIFY2(first.texts().contains(leftAlone) != second.texts().contains(leftAlone),
             (first.report() + second.report()).constData());
}

void tst_CliDevices::deviceClaimedByAnotherProcessIsLeftAlone()
{
    CommandLineStation station;
    QVERIFY(station.isReady());
    QVERIFY(station.sim.addDevice("A", "1-2", "mos"));
    // This test process stands for another instance: it holds the phone's claim.
    std::unique_ptr<DeviceClaim> claim;
    QString error;
    QCOMPARE(DeviceClaim::take(PortNumber::usbPort("1-2"), claim, error), DeviceClaim::Taken);

    const CommandLineStation::Run run =
        station.run({"-f", station.path("flash.json"), "--device-detection-timeout", "3000"});
    QVERIFY2(run.failedWith(20, "Device on port 1-2 is claimed by another instance, left alone"), run.report());
    QVERIFY2(run.output.contains("  INFO   : Device on port 1-2 is claimed by another instance, left alone"), run.report());
    QVERIFY2(station.commandsFor("A").isEmpty(), qPrintable(station.sim.commandLog().join('\n')));
    QVERIFY(station.partitions("A").isEmpty());

    // Once it is let go, the next run flashes it.
    claim.reset();
    const CommandLineStation::Run next = station.run({"-f", station.path("flash.json")});
    QVERIFY2(next.exitCode == 0, next.report());
    QCOMPARE(station.commandsFor("A").filter(" flash boot ").size(), 1);
}

QTEST_GUILESS_MAIN(tst_CliDevices)
#include "tst_CliDevices.moc"
