#include "ToolsTestKit.h"

#include "SimulatedDevices.h"
#include "tools/AdbFlashCommand.h"

#include <QtTest>

using namespace ToolsTestKit;

class tst_AdbFlashCommand : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void deviceSelection_data();
    void deviceSelection();
    void deviceThatCannotBeAddressed();
    void success_data();
    void success();
    void rebootsTheSimulatedDevice();
    void failureOfTheSimulatedDevice();
    void kindWords();

private:
    ExecuteResult run(const QByteArray& args, const SharedPointer<FlashDevice2>& target);

    QTemporaryDir m_dir;
    QString m_record;
    RecordingLogSink m_recorder;
};

void tst_AdbFlashCommand::initTestCase()
{
    registerMetaTypes();
    relayApplicationLog(m_recorder);
    QVERIFY(m_dir.isValid());
    m_record = m_dir.filePath(QStringLiteral("adb.record"));
}

void tst_AdbFlashCommand::init()
{
    resetRegistry();
    QFile::remove(m_record);
    m_recorder.clear();
}

ExecuteResult tst_AdbFlashCommand::run(const QByteArray& args, const SharedPointer<FlashDevice2>& target)
{
    const QSharedPointer<FlashCommand> adb =
        command(R"({"tool": "adb", "timeout": 60000, "retry": 1, "description": "d", "args": ")" + args + "\"}");
    if (!adb)
        return ExecuteSkipped;
    return adb->execute(makeRunner(target, makeConfiguration(), &m_recorder), target);
}

void tst_AdbFlashCommand::deviceSelection_data()
{
    QTest::addColumn<QString>("network");   // empty: USB
    QTest::addColumn<QString>("serial");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("usb") << QString() << "S1" << QStringList{"-s", "S1", "shell", "getprop"};
    QTest::newRow("network, bare address") << "10.0.0.7" << "10.0.0.7"
                                           << QStringList{"-s", "10.0.0.7:5555", "shell", "getprop"};
    QTest::newRow("network, default port") << "10.0.0.7:5555" << "10.0.0.7:5555"
                                           << QStringList{"-s", "10.0.0.7:5555", "shell", "getprop"};
    QTest::newRow("network, other port") << "127.0.0.1:40123" << "127.0.0.1:40123"
                                         << QStringList{"-s", "127.0.0.1:40123", "shell", "getprop"};
}

void tst_AdbFlashCommand::deviceSelection()
{
    QFETCH(QString, network);
    QFETCH(QString, serial);
    QFETCH(QStringList, expected);
    QVERIFY(FMConst::setTool(QStringLiteral("adb"), recordingStub(m_dir, QStringLiteral("adb"), m_record)));

    QCOMPARE(run("shell getprop", device(serial, DeviceState::MainOs, 0, 0, network)), ExecuteSuccess);
    QCOMPARE(recordedRuns(m_record), QList<QStringList>{expected});
}

void tst_AdbFlashCommand::deviceThatCannotBeAddressed()
{
    QVERIFY(FMConst::setTool(QStringLiteral("adb"), recordingStub(m_dir, QStringLiteral("adb"), m_record)));
    DummyDevice data = RunnerFixtures::deviceData(DeviceState::MainOs, QStringLiteral("V1"));
    data.setPort(PortNumber::virtualPort(7));
    const SharedPointer<FlashDevice2> virtualDevice(new FlashDevice2(data, nullptr));

    QCOMPARE(run("devices", virtualDevice), ExecuteFailed);
    QVERIFY(m_recorder.texts(Logger::ERROR).contains(
        QStringLiteral("Cannot compute device specific parameters, please check device connection")));
    QVERIFY(recordedRuns(m_record).isEmpty());
}

void tst_AdbFlashCommand::success_data()
{
    QTest::addColumn<QByteArray>("args");
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<QByteArray>("errors");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<bool>("success");

    const QByteArray missing = "rm failed: /data/x: No such file or directory\n";
    QTest::newRow("no output") << QByteArray("shell true") << QByteArray() << QByteArray() << 0 << true;
    QTest::newRow("plain output") << QByteArray("shell getprop") << QByteArray("[ro.x]: [1]\n") << QByteArray()
                                  << 0 << true;
    QTest::newRow("error in any case") << QByteArray("push a b") << QByteArray() << QByteArray("adb: ERROR: closed\n")
                                       << 0 << false;
    QTest::newRow("failed") << QByteArray("install x") << QByteArray("Failure [INSTALL_FAILED]\n") << QByteArray()
                            << 0 << false;
    QTest::newRow("exit code") << QByteArray("shell true") << QByteArray() << QByteArray() << 1 << false;
    QTest::newRow("rm of a missing file") << QByteArray("shell rm /data/x") << missing << QByteArray() << 0 << true;
    QTest::newRow("ls of a missing file") << QByteArray("shell ls /data/x") << missing << QByteArray() << 0 << false;
    QTest::newRow("rm that failed") << QByteArray("shell rm x") << QByteArray("rm: x: Operation failed\n")
                                    << QByteArray() << 0 << false;
    QTest::newRow("rm in one argument") << QByteArray("'shell rm' /data/x") << missing << QByteArray() << 0 << false;
    QTest::newRow("after NUL not examined") << QByteArray("shell true") << QByteArray("done\0error\n", 11)
                                            << QByteArray() << 0 << true;
}

void tst_AdbFlashCommand::success()
{
    QFETCH(QByteArray, args);
    QFETCH(QByteArray, output);
    QFETCH(QByteArray, errors);
    QFETCH(int, exitCode);
    QFETCH(bool, success);
    QVERIFY(FMConst::setTool(QStringLiteral("adb"),
                             recordingStub(m_dir, QStringLiteral("adb"), m_record, output, errors, exitCode)));

    QCOMPARE(run(args, device(QStringLiteral("S1"), DeviceState::MainOs)),
             success ? ExecuteSuccess : ExecuteFailed);
}

void tst_AdbFlashCommand::rebootsTheSimulatedDevice()
{
    SimulatedDevices sim;
    QVERIFY(sim.isValid());
    QVERIFY(sim.addDevice(QStringLiteral("SIM1"), QStringLiteral("1-3"), QStringLiteral("mos")));
    QVERIFY(FMConst::setTool(QStringLiteral("adb"), sim.toolPath(QStringLiteral("adb"))));

    QCOMPARE(run("reboot bootloader", device(QStringLiteral("SIM1"), DeviceState::MainOs)), ExecuteSuccess);
    QCOMPARE(sim.device(QStringLiteral("SIM1")).value(QStringLiteral("state")).toString(), QStringLiteral("pos"));
    QVERIFY(sim.commandLog().contains(QStringLiteral("adb -s SIM1 reboot bootloader")));
}

void tst_AdbFlashCommand::failureOfTheSimulatedDevice()
{
    SimulatedDevices sim;
    QVERIFY(sim.isValid());
    QVERIFY(sim.addDevice(QStringLiteral("SIM1"), QStringLiteral("1-3"), QStringLiteral("mos")));
    QVERIFY(FMConst::setTool(QStringLiteral("adb"), sim.toolPath(QStringLiteral("adb"))));

    // The device is not there under that serial: adb says so on stderr.
    QCOMPARE(run("shell getprop", device(QStringLiteral("OTHER"), DeviceState::MainOs)), ExecuteFailed);
}

void tst_AdbFlashCommand::kindWords()
{
    const QSharedPointer<FlashCommand> adb =
        command(R"({"tool": "adb", "timeout": 1, "retry": 1, "description": "d"})");
    QVERIFY(adb.dynamicCast<AdbFlashCommand>());
    QCOMPARE(adb->getType(), FlashTypes::CommandType::Adb);
    QVERIFY(adb->clone().dynamicCast<AdbFlashCommand>());
    QCOMPARE(AdbFlashCommand::toolName(), QStringLiteral("ADB"));
    const JsonObjectList form = AdbFlashCommand::getJsonEditorInterfaceTemplate();
    QCOMPARE(form.findFromField(QStringLiteral("id"), QStringLiteral("tool"))
                 ->toQVariantMap().value(QStringLiteral("value")).toString(),
             QStringLiteral("adb"));
}

QTEST_GUILESS_MAIN(tst_AdbFlashCommand)
#include "tst_AdbFlashCommand.moc"
