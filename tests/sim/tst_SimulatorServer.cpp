// The fakes' fast path (the compiled client handing its call to `qlnsim.py serve`) does what the
// Python fakes do when run directly: the same output, exit, journal and devices afterwards.

#include "SimulatedDevices.h"

#include <QDir>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString kFastboot = QStringLiteral("F1");
const QString kAdb = QStringLiteral("D1");

// What a caller and the simulator saw of one call.
struct CallRecord
{
    QProcess::ExitStatus exitStatus = QProcess::NormalExit;
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
    QStringList journal;
    QList<qint64> recordedPids;
    qint64 callerPid = 0;
    QJsonObject fastbootDevice;
    QJsonObject adbDevice;
};

// Processes whose command line names `text`.
int processesNaming(const QString& text)
{
    int found = 0;
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile file(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (file.open(QIODevice::ReadOnly) && file.readAll().replace('\0', ' ').contains(text.toLocal8Bit()))
            ++found;
    }
    return found;
}

} // namespace

class tst_SimulatorServer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void servedCallsDoWhatDirectCallsDo_data();
    void servedCallsDoWhatDirectCallsDo();
    void clientWithoutServerRunsTheFakeItself_data();
    void clientWithoutServerRunsTheFakeItself();

private:
    // Runs `program args` on fresh devices, through the server when `served`, from the working
    // folder of the image; killed after `killAfterMs` when that is not 0.
    void call(bool served, const QString& program, const QStringList& args, bool withoutState, int killAfterMs,
              CallRecord& record) const;

    QTemporaryDir m_work;
};

void tst_SimulatorServer::initTestCase()
{
    QVERIFY(m_work.isValid());
    QFile image(m_work.filePath(QStringLiteral("boot.img")));
    QVERIFY(image.open(QIODevice::WriteOnly) && image.write(QByteArray(5000, 'b')) == 5000);
}

void tst_SimulatorServer::call(bool served, const QString& program, const QStringList& args, bool withoutState,
                               int killAfterMs, CallRecord& record) const
{
    SimulatedDevices sim;
    QVERIFY(sim.isValid());
    QVERIFY(sim.addDevice(kFastboot, QStringLiteral("1-2"), QStringLiteral("pos")));
    QVERIFY(sim.addDevice(kAdb, QStringLiteral("1-3"), QStringLiteral("mos")));
    for (const QString& serial : {kFastboot, kAdb}) {
        QVERIFY(sim.setFault(serial, QStringLiteral("crash_match"), QStringLiteral("crashme")));
        QVERIFY(sim.setFault(serial, QStringLiteral("hang_match"), QStringLiteral("hangme")));
    }
    QString error;
    if (served)
        QVERIFY2(sim.startServer(error), qPrintable(error));
    QCOMPARE(sim.isServing(), served);

    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (withoutState)
        environment.remove(QStringLiteral("QLN_SIM_STATE"));
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(m_work.path());
    process.start(sim.toolPath(program), args);
    QVERIFY(process.waitForStarted());
    record.callerPid = process.processId();
    if (killAfterMs > 0) {
        QVERIFY(!process.waitForFinished(killAfterMs));
        process.kill();
    }
    QVERIFY(process.waitForFinished(20000));
    // A killed client's call ends with it: only the server itself names its socket then.
    if (served)
        QTRY_COMPARE(processesNaming(sim.folder() + QStringLiteral("/sim.sock")), 1);

    record.exitStatus = process.exitStatus();
    record.exitCode = process.exitCode();
    record.out = process.readAllStandardOutput();
    record.err = process.readAllStandardError();
    record.journal = sim.commandLog();
    record.recordedPids = sim.toolPids();
    record.fastbootDevice = sim.device(kFastboot);
    record.adbDevice = sim.device(kAdb);
}

void tst_SimulatorServer::servedCallsDoWhatDirectCallsDo_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("withoutState");   // the call's environment names no state file
    QTest::addColumn<int>("killAfterMs");     // 0: it ends by itself

    QTest::newRow("adb devices") << "adb" << QStringList{"devices", "-l"} << false << 0;
    QTest::newRow("adb getprop") << "adb" << QStringList{"-s", kAdb, "shell", "getprop", "ro.bootmode"} << false << 0;
    QTest::newRow("adb exit code") << "adb" << QStringList{"-s", kAdb, "shell", "exit", "3"} << false << 0;
    QTest::newRow("adb unknown serial") << "adb" << QStringList{"-s", "X9", "get-state"} << false << 0;
    QTest::newRow("adb reboot") << "adb" << QStringList{"-s", kAdb, "reboot", "bootloader"} << false << 0;
    QTest::newRow("fastboot unknown variable") << "fastboot" << QStringList{"-s", kFastboot, "getvar", "nope"} << false << 0;
    QTest::newRow("fastboot flash from the working folder")
        << "fastboot" << QStringList{"-s", kFastboot, "flash", "boot", "boot.img"} << false << 0;
    QTest::newRow("fastboot missing image") << "fastboot" << QStringList{"-s", kFastboot, "flash", "boot", "none.img"} << false << 0;
    QTest::newRow("dfu-util lists") << "dfu-util" << QStringList{"-l"} << false << 0;
    QTest::newRow("dravikFlashTool without device") << "dravikFlashTool" << QStringList{"-f", "fw.bin"} << false << 0;
    QTest::newRow("no state file") << "adb" << QStringList{"devices"} << true << 0;
    QTest::newRow("crash by signal") << "fastboot" << QStringList{"-s", kFastboot, "oem", "crashme"} << false << 0;
    QTest::newRow("hang killed by the caller") << "fastboot" << QStringList{"-s", kFastboot, "oem", "hangme"} << false << 1000;
}

void tst_SimulatorServer::servedCallsDoWhatDirectCallsDo()
{
    QFETCH(QString, program);
    QFETCH(QStringList, args);
    QFETCH(bool, withoutState);
    QFETCH(int, killAfterMs);

    CallRecord direct;
    CallRecord served;
    call(false, program, args, withoutState, killAfterMs, direct);
    call(true, program, args, withoutState, killAfterMs, served);
    if (QTest::currentTestFailed())
        return;

    QCOMPARE(served.out, direct.out);
    QCOMPARE(served.err, direct.err);
    QCOMPARE(served.exitStatus, direct.exitStatus);
    QCOMPARE(served.exitCode, direct.exitCode);
    QCOMPARE(served.journal, direct.journal);
    QCOMPARE(served.fastbootDevice, direct.fastbootDevice);
    QCOMPARE(served.adbDevice, direct.adbDevice);
    // The journal names the process the caller started (the one it kills), on either path.
    const QList<qint64> none;
    QCOMPARE(direct.recordedPids, withoutState ? none : QList<qint64>{direct.callerPid});
    QCOMPARE(served.recordedPids, withoutState ? none : QList<qint64>{served.callerPid});
}

void tst_SimulatorServer::clientWithoutServerRunsTheFakeItself_data()
{
    QTest::addColumn<QString>("socket");   // QLN_SIM_SOCKET of the call; null: not set
    QTest::newRow("no socket named") << QString();
    QTest::newRow("nobody at the socket") << QStringLiteral("nobody.sock");
}

void tst_SimulatorServer::clientWithoutServerRunsTheFakeItself()
{
    QFETCH(QString, socket);
    SimulatedDevices sim;
    QVERIFY(sim.isValid());
    QVERIFY(sim.addDevice(kAdb, QStringLiteral("1-3"), QStringLiteral("mos")));
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("QLN_SIM_SOCKET"));
    if (!socket.isNull())
        environment.insert(QStringLiteral("QLN_SIM_SOCKET"), sim.folder() + QLatin1Char('/') + socket);
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(QLN_SIM_FASTBIN_DIR "/adb"), {QStringLiteral("devices")});
    QVERIFY(process.waitForStarted());
    const qint64 pid = process.processId();
    QVERIFY(process.waitForFinished(20000));
    QCOMPARE(process.exitCode(), 0);
    QCOMPARE(process.readAllStandardOutput(), QByteArray("List of devices attached\nD1\tdevice\n\n"));
    QCOMPARE(sim.commandLog(), QStringList{QStringLiteral("adb devices")});
    QCOMPARE(sim.toolPids(), QList<qint64>{pid});
}

QTEST_GUILESS_MAIN(tst_SimulatorServer)
#include "tst_SimulatorServer.moc"
