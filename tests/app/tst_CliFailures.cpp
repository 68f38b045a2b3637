// `quillonlite --cli` failing: each way a run fails, on a simulated device or before one is
// needed, ends the program with its documented exit code and the line that says why. (Faults of
// the devices and tools themselves, and a truncated archive, are the table of tst_CliFaults.)

#include "CommandLineStation.h"

#include <QtTest>

class tst_CliFailures : public QObject
{
    Q_OBJECT

private slots:
    void exitCode_data();
    void exitCode();
};

void tst_CliFailures::exitCode_data()
{
    QTest::addColumn<QString>("flashFile");      // in the working folder
    QTest::addColumn<QStringList>("device");     // ctl add: serial, port, state, options...; empty: none
    QTest::addColumn<QStringList>("fault");      // device knob and value; empty: none
    QTest::addColumn<QStringList>("arguments");  // more options
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("line");           // the console line that says why
    QTest::addColumn<QString>("result");         // the result file's reason; empty: no result file

    const QStringList phone{"PHONE1", "1-2", "mos"};
    QTest::newRow("fastboot fails after its retries")
        << "flash.json" << phone << QStringList{"fail_match", "flash boot"} << QStringList() << 33
        << "[Port 1-2] Flash failed (Command type: Fastboot)" << "FAIL_OS";
    QTest::newRow("device in Recovery OS")
        << "flash.json" << QStringList{"PHONE1", "1-2", "ros"} << QStringList() << QStringList() << 34
        << "[Port 1-2] Cannot start flash from Recovery OS state" << "FAIL_STATE";
    QTest::newRow("firmware downloader fails")
        << "firmware.json" << QStringList{"BOARD1", "1-4", "dnx_fw", "--soc-serial", "SOC1"} << QStringList()
        << QStringList() << 32 << "Failed to allocate Dravik downloader" << "";
    // A flash file that cannot be used says why at the console's default level.
    QTest::newRow("flash file missing")
        << "missing.json" << phone << QStringList() << QStringList() << 11 << "missing.json' doesn't exist" << "";
    QTest::newRow("flash file is broken JSON")
        << "broken.json" << phone << QStringList() << QStringList() << 14
        << "Flash file format not recognized: invalid JSON, line 5, column 9: expected ',' or '}' in an object" << "";
    QTest::newRow("image file missing")
        << "missing-image.json" << phone << QStringList() << QStringList() << 14 << "absent.img" << "";
    QTest::newRow("no option selected")
        << "no-option.json" << phone << QStringList() << QStringList() << 14
        << "A value for the parameter 'mode' must be specified in configuration 'update'." << "";
    QTest::newRow("inconsistent flash file")
        << "invalid.json" << phone << QStringList() << QStringList() << 14 << "Parameter 'missing' not found." << "";
    QTest::newRow("unsupported flash file version")
        << "unsupported.json" << phone << QStringList() << QStringList() << 14
        << "Unsupported flash file version \"9.9\"" << "";
    QTest::newRow("unknown configuration")
        << "flash.json" << phone << QStringList() << QStringList{"-c", "nosuch"} << 18
        << "Configuration 'nosuch' not found" << "";
    QTest::newRow("unknown parameter value")
        << "flash.json" << phone << QStringList() << QStringList{"--set-parameter-value", "boot=other"} << 18
        << "Cannot set parameter value with undefined value key 'other' of parameter 'boot'" << "";
    QTest::newRow("clean eMMC with a parameter value")
        << "" << QStringList() << QStringList()
        << QStringList{"--clean-emmc", "--soc-sn", "SOC1", "--fw-dnx", "boot.img", "--fw-image", "system.img",
                       "--set-parameter-value", "mode=fast"}
        << 18 << "Cannot set parameter value of the unknown parameter 'mode'" << "";
}

void tst_CliFailures::exitCode()
{
    QFETCH(QString, flashFile);
    QFETCH(QStringList, device);
    QFETCH(QStringList, fault);
    QFETCH(QStringList, arguments);
    QFETCH(int, code);
    QFETCH(QString, line);
    QFETCH(QString, result);

    CommandLineStation station;
    QVERIFY(station.isReady(QFINDTESTDATA("data/e2e")));
    if (!device.isEmpty())
        QVERIFY(station.addDevice(device, fault));
    if (!flashFile.isEmpty())
        arguments = QStringList{"-f", station.path(flashFile)} + arguments;

    const CommandLineStation::Run run = station.run(arguments);
    QVERIFY2(run.failedWith(code, line), run.report());

    if (QTest::currentDataTag() == QLatin1String("fastboot fails after its retries")) {
        // Both tries of the command ran, and nothing after it.
        QCOMPARE(station.commandsFor("PHONE1").filter("flash boot").size(), 2);
        QVERIFY(station.commandsFor("PHONE1").filter("flash system").isEmpty());
    }
    if (!result.isEmpty()) {
        QByteArray content;
        QVERIFY2(station.resultRecordsFailure(device.at(0), result, code, content), content);
    }
}

QTEST_GUILESS_MAIN(tst_CliFailures)
#include "tst_CliFailures.moc"
