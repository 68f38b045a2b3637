// `quillonlite --cli` and what its command line may hold: a mistyped option or a flash file that
// is no regular file ends the run before any device is touched, a time-out past the timer's range
// is armed, and two runs that name their log file alike keep a file each.

#include "CommandLineStation.h"

#include <QSettings>
#include <QtTest>

#include <sys/stat.h>

class tst_CliOptions : public QObject
{
    Q_OBJECT

private slots:
    void refusedCommandLineFlashesNoDevice_data();
    void refusedCommandLineFlashesNoDevice();
    void nonRegularFlashFileIsRefusedPromptly_data();
    void nonRegularFlashFileIsRefusedPromptly();
    void timeoutsPastTheTimersRangeAreArmed();
    void twoRunsWithOneLogFileNameKeepBothLogs();
};

void tst_CliOptions::refusedCommandLineFlashesNoDevice_data()
{
    QTest::addColumn<QStringList>("arguments"); // after -f flash.json
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("line");          // the console line at ERROR that says why

    QTest::newRow("mistyped --os-sn") << QStringList{"--os-sm", "PHONE2"} << 11 << "Invalid option: --os-sm";
    QTest::newRow("mistyped with its value attached") << QStringList{"--os-sm=PHONE2"} << 11
                                                      << "Invalid option: --os-sm=PHONE2";
    QTest::newRow("unknown short option") << QStringList{"-s", "PHONE2"} << 11 << "Invalid option: -s";
    QTest::newRow("serial missing before the next option") << QStringList{"--os-sn", "--timeout", "5"} << 12
                                                           << "Missing argument for \"--os-sn\"";
}

void tst_CliOptions::refusedCommandLineFlashesNoDevice()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, code);
    QFETCH(QString, line);

    CommandLineStation station;
    QVERIFY(station.isReady());
    QVERIFY(station.addDevice({"PHONE1", "1-2", "mos"}));
    QVERIFY(station.addDevice({"PHONE2", "1-3", "mos"}));

    const CommandLineStation::Run run = station.run(QStringList{"-f", station.path("flash.json")} + arguments);
    QVERIFY2(run.failedWith(code, line), run.report());
    QVERIFY2(run.output.contains("  ERROR  : " + line), run.report());
    QCOMPARE(station.commandsFor("PHONE1"), QStringList());
    QCOMPARE(station.commandsFor("PHONE2"), QStringList());
}

void tst_CliOptions::nonRegularFlashFileIsRefusedPromptly_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("kind");

    QTest::newRow("-f a FIFO") << "-f" << "fifo";
    QTest::newRow("-f a folder") << "-f" << "folder";
    QTest::newRow("-z a FIFO") << "-z" << "fifo";
}

void tst_CliOptions::nonRegularFlashFileIsRefusedPromptly()
{
    QFETCH(QString, option);
    QFETCH(QString, kind);

    CommandLineStation station;
    QVERIFY(station.isReady());
    // Named like a flash file, so that only its kind refuses it.
    const QString path = station.path(kind == "fifo" ? "pipe.json" : "folder.json");
    QVERIFY(kind == "fifo" ? ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0 : QDir().mkpath(path));

    // Nothing ever writes to the FIFO: a program that opens it waits for the watchdog.
    const CommandLineStation::Run run = station.run({option, path}, 60000);
    QVERIFY2(!run.hung, run.report());
    QVERIFY2(run.failedWith(14, QStringLiteral("Flash file %1 is not a regular file").arg(path)), run.report());
}

void tst_CliOptions::timeoutsPastTheTimersRangeAreArmed()
{
    CommandLineStation station;
    QVERIFY(station.isReady());

    // 35792 min and 2^31 ms are one past what a single timer arming holds.
    station.start({"-l", "4", "--timeout", "35792", "--device-detection-timeout", "2147483648", "-f",
                   station.path("flash.json")});
    QVERIFY(station.waitForOutput("Waiting for devices ..."));
    // Armed, and neither ends the run before a device arrives.
    QVERIFY(station.sim.addDevice("PHONE1", "1-2", "mos"));
    const CommandLineStation::Run run = station.finish();
    QVERIFY2(run.exitCode == 0, run.report());
    const QStringList texts = run.texts();
    QVERIFY2(texts.contains("CLI Flash timeout set to 35792 min"), run.report());
    QVERIFY2(texts.contains("Starting device detection timer (2147483648 ms) ..."), run.report());
    QVERIFY2(!run.output.contains("not activated"), run.report());
}

void tst_CliOptions::twoRunsWithOneLogFileNameKeepBothLogs()
{
    CommandLineStation station;
    QVERIFY(station.isReady());
    {
        // A pattern without time: both runs expand it to one name, as two runs in one second do.
        QSettings settings(station.home() + QStringLiteral("/.flasher/.quillonlite.opt"), QSettings::IniFormat);
        settings.setValue(QStringLiteral("FlashLogAllFile"), true);
        settings.setValue(QStringLiteral("FlashLogAllFileName"), QStringLiteral("quillon.log"));
    }

    // Each run ends at its own unknown option, which its log records.
    for (const char* marker : {"--first-run", "--second-run"}) {
        const CommandLineStation::Run run = station.run({marker, "-f", station.path("flash.json")});
        QVERIFY2(run.exitCode == 11, run.report());
    }

    const QDir folder(station.resultFolder());
    QCOMPARE(folder.entryList({"quillon*.log"}, QDir::Files, QDir::Name), QStringList({"quillon-2.log", "quillon.log"}));
    for (const auto& [name, marker] : {std::pair<QString, QString>{"quillon.log", "--first-run"},
                                       std::pair<QString, QString>{"quillon-2.log", "--second-run"}}) {
        QFile log(folder.filePath(name));
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QByteArray content = log.readAll();
        QVERIFY2(content.contains("Invalid option: " + marker.toLatin1()), content);
    }
}

QTEST_GUILESS_MAIN(tst_CliOptions)
#include "tst_CliOptions.moc"
