// The wait-for-device command: read and written, its texts, and waits that end when the device is
// there, when it arrives (the simulator's device reboots and the scanner reports it), at the
// time-out or at a stop.

#include "ToolsTestKit.h"

#include "DeviceManagerFixture.h"
#include "tools/WaitForDeviceFlashCommand.h"

#include <QElapsedTimer>
#include <QtTest>

using namespace ToolsTestKit;

class tst_WaitForDeviceFlashCommand : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void createFromJson_data();
    void createFromJson();
    void texts();
    void waitOutcome_data();
    void waitOutcome();
    void stateReachedDuringTheWait();
    void stopEndsTheWait();
    void waitsOnlyOnTheFirstAttempt();
    void editorForms();

private:
    RecordingLogSink m_recorder;
};

void tst_WaitForDeviceFlashCommand::initTestCase()
{
    startCommandTests(m_recorder);
}

void tst_WaitForDeviceFlashCommand::init()
{
    m_recorder.clear();
}

void tst_WaitForDeviceFlashCommand::createFromJson_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("written"); // the state written back; empty: no command

    QTest::newRow("pos") << QByteArray(R"({"tool": "waitForDevice", "state": "pos", "timeout": 60000, "description": "Wait"})")
                         << "pos";
    QTest::newRow("older dnx") << QByteArray(R"({"tool": "waitForDevice", "state": "dnx", "timeout": 60000, "description": ""})")
                               << "dnx_fw";
    QTest::newRow("older dnx_pos") << QByteArray(R"({"tool": "waitForDevice", "state": "dnx_pos", "timeout": 1, "description": ""})")
                                   << "dnx_os";
    QTest::newRow("state in capitals") << QByteArray(R"({"tool": "waitForDevice", "state": "POS", "timeout": 1, "description": ""})")
                                       << QString();
    QTest::newRow("unknown state") << QByteArray(R"({"tool": "waitForDevice", "state": "bios", "timeout": 1, "description": ""})")
                                   << QString();
    QTest::newRow("no state") << QByteArray(R"({"tool": "waitForDevice", "timeout": 1, "description": ""})") << QString();
    QTest::newRow("no timeout") << QByteArray(R"({"tool": "waitForDevice", "state": "pos", "description": ""})") << QString();
    QTest::newRow("timeout as text") << QByteArray(R"({"tool": "waitForDevice", "state": "pos", "timeout": "1", "description": ""})")
                                     << QString();
    QTest::newRow("no description") << QByteArray(R"({"tool": "waitForDevice", "state": "pos", "timeout": 1})") << QString();
}

void tst_WaitForDeviceFlashCommand::createFromJson()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, written);
    const QSharedPointer<FlashCommand> command = ToolsTestKit::command(json);
    QCOMPARE(bool(command), !written.isEmpty());
    if (!command) {
        // The kind says nothing; only the registry reports the refusal.
        QCOMPARE(m_recorder.rendered(), QStringList{"app ERROR Cannot create command with tool \"waitForDevice\""});
        return;
    }
    JsonObject expected;
    QVERIFY(expected.loadMemory(json));
    expected.setValue("state", written);
    QCOMPARE(command->toJson(), expected);
    QCOMPARE(command->clone()->toJson(), expected);
    QCOMPARE(command->getToolParameters(), written);
}

void tst_WaitForDeviceFlashCommand::texts()
{
    const SharedPointer<FlashDevice2> device = makeDevice();
    const SharedPointer<FlashRunner> runner = makeRunner(device, makeConfiguration());
    const WaitForDeviceFlashCommand undescribed(DeviceState::DnxFirmware, 60000, QString());
    QCOMPARE(undescribed.getLogCommand(runner), QString("Wait for device with status dnx_fw on port 1-2"));
    QCOMPARE(undescribed.getLogCommand(SharedPointer<FlashRunner>()), QString("Wait for device with status dnx_fw"));
    QCOMPARE(undescribed.getLogCommand(*makeConfiguration()), QString("Wait for device with status dnx_fw"));
    QCOMPARE(undescribed.getUserFriendlyCommand(runner), QString("Wait for device with status dnx_fw on port 1-2"));
    QCOMPARE(undescribed.getUserFriendlyCommand(*makeConfiguration()), QString("Wait for device with status dnx_fw"));
    QCOMPARE(undescribed.getType(), FlashTypes::CommandType::DeviceEnumeration);
    QCOMPARE(undescribed.getTimeout(), uint64_t(60000));

    const WaitForDeviceFlashCommand described(DeviceState::MainOs, 1, "Rebooting to Android");
    QCOMPARE(described.getUserFriendlyCommand(runner), QString("Rebooting to Android"));
    QCOMPARE(described.getUserFriendlyCommand(*makeConfiguration()), QString("Rebooting to Android"));

    // A state only code can make has no keyword.
    const WaitForDeviceFlashCommand odd(DeviceState(9), 1, QString());
    QCOMPARE(odd.getLogCommand(SharedPointer<FlashRunner>()), QString("Wait for device with status Invalid state"));
    QCOMPARE(odd.getToolParameters(), QString("Invalid state"));
    QString state;
    QCOMPARE(odd.toJson().getString("state", state), JsonObject::Found);
    QCOMPARE(state, QString("Invalid state"));
}

void tst_WaitForDeviceFlashCommand::waitOutcome_data()
{
    QTest::addColumn<int>("deviceState");
    QTest::addColumn<int>("flashState");
    QTest::addColumn<qulonglong>("timeoutMs");
    QTest::addColumn<int>("expected");
    QTest::addColumn<qint64>("minimumMs");

    const int flashing = int(FlashDevice2::FlashState::Flashing);
    QTest::newRow("already there, no time") << int(DeviceState::ProvisioningOs) << flashing << qulonglong(0)
                                            << int(PerformSuccess) << qint64(0);
    QTest::newRow("elsewhere, no time") << int(DeviceState::MainOs) << flashing << qulonglong(0)
                                        << int(PerformFailed) << qint64(0);
    QTest::newRow("time-out") << int(DeviceState::MainOs) << flashing << qulonglong(300)
                              << int(PerformFailed) << qint64(300);
    QTest::newRow("device not flashing") << int(DeviceState::ProvisioningOs) << int(FlashDevice2::FlashState::Idle)
                                         << qulonglong(60000) << int(PerformFailed) << qint64(0);
}

void tst_WaitForDeviceFlashCommand::waitOutcome()
{
    QFETCH(int, deviceState);
    QFETCH(int, flashState);
    QFETCH(qulonglong, timeoutMs);
    QFETCH(int, expected);
    QFETCH(qint64, minimumMs);
    const SharedPointer<FlashDevice2> device = RunnerFixtures::makeDevice(DeviceState(deviceState), "SER123");
    device->setFlashState(FlashDevice2::FlashState(flashState));
    RecordingLogSink runLog;
    const SharedPointer<FlashRunner> runner = makeRunner(device, makeConfiguration(), &runLog);
    const QSharedPointer<FlashCommand> command = ToolsTestKit::command(
        QStringLiteral(R"({"tool": "waitForDevice", "state": "pos", "timeout": %1, "description": ""})").arg(timeoutMs).toUtf8());
    QVERIFY(command);
    QElapsedTimer timer;
    timer.start();
    QString error;
    QCOMPARE(command->performCommand(runner, device, 1, error), expected);
    QVERIFY(timer.elapsed() >= minimumMs);
    QVERIFY(error.isNull());
    QCOMPARE(runLog.rendered(), QStringList());   // a failure is the command loop's to report
    device->setFlashState(FlashDevice2::FlashState::Idle);
}

void tst_WaitForDeviceFlashCommand::stateReachedDuringTheWait()
{
    DeviceManagerFixture fixture(FlashDevice2::DeviceAllocator);
    QVERIFY(fixture.isValid());
    QVERIFY(fixture.sim.addDevice("S1", "1-2", "mos"));
    QVERIFY(fixture.scan());
    const FlashDevice2Ptr device = fixture.deviceAt<FlashDevice2>(PortNumber::usbPort("1-2"));
    QVERIFY(device);
    device->setFlashState(FlashDevice2::FlashState::Flashing);
    const SharedPointer<FlashRunner> runner = makeRunner(device, makeConfiguration());
    const QSharedPointer<FlashCommand> command =
        ToolsTestKit::command(R"({"tool": "waitForDevice", "state": "pos", "timeout": 600000, "description": ""})");
    QVERIFY(command);

    int result = -1;
    QString error;
    const auto thread = startThread([&] { result = command->performCommand(runner, device, 1, error); });
    QVERIFY(fixture.scan());            // still in the main OS: the wait goes on
    QVERIFY(!thread->wait(200));
    QVERIFY(fixture.runTool("adb", {"-s", "S1", "reboot", "bootloader"}));
    QVERIFY(fixture.scan());
    QVERIFY2(thread->wait(10000), "the device's arrival did not end the wait");
    QCOMPARE(result, int(PerformSuccess));
    device->setFlashState(FlashDevice2::FlashState::Idle);
}

void tst_WaitForDeviceFlashCommand::stopEndsTheWait()
{
    const SharedPointer<FlashDevice2> device = makeDevice();
    device->setFlashState(FlashDevice2::FlashState::Flashing);
    const SharedPointer<FlashRunner> runner = makeRunner(device, makeConfiguration());
    const WaitForDeviceFlashCommand command(DeviceState::ProvisioningOs, ~0ULL, QString());
    int result = -1;
    QString error;
    const auto thread = startThread([&] { result = command.performCommand(runner, device, 1, error); });
    QVERIFY(!thread->wait(200));
    runner->cancel();
    QVERIFY2(thread->wait(10000), "the stop did not end the wait");
    QCOMPARE(result, int(PerformCancelled));
    QCOMPARE(command.performCommand(runner, device, 1, error), int(PerformCancelled));
    device->setFlashState(FlashDevice2::FlashState::Idle);
}

void tst_WaitForDeviceFlashCommand::waitsOnlyOnTheFirstAttempt()
{
    const SharedPointer<FlashDevice2> device = makeDevice();
    RecordingLogSink runLog;
    const SharedPointer<FlashRunner> runner = makeRunner(device, makeConfiguration(), &runLog);
    const WaitForDeviceFlashCommand command(DeviceState::MainOs, 0, QString());
    QString error;
    QCOMPARE(command.performCommand(runner, device, 2, error), int(PerformFailed));
    QCOMPARE(runLog.rendered(), QStringList{"TRACE Bad try count"});
    QCOMPARE(command.performCommand(SharedPointer<FlashRunner>(), device, 1, error), int(PerformFailed));
    QCOMPARE(m_recorder.rendered(), QStringList{"app TRACE Invalid runner pointer"});
}

void tst_WaitForDeviceFlashCommand::editorForms()
{
    const QByteArray fields = R"([
        {"id": "tool", "label": "Tool", "type": "hidden", "value": "waitForDevice"},
        {"id": "timeout", "label": "Timeout", "type": "spinbox", "value": %TIMEOUT%, "min": -1, "step": 1000,
         "suffix": " ms", "specialValue": "No timeout"},
        {"id": "description", "label": "Description", "type": "text", "value": "%DESCRIPTION%"},
        {"id": "state", "label": "Device state", "type": "combobox", "value": "%STATE%",
         "allowedValues": {"cos": "Charger OS", "dnx_fw": "DNX FW", "dnx_os": "DNX OS", "mos": "Main OS",
                           "pos": "Provision OS", "ros": "Recovery OS", "tos": "Test OS"}}
    ])";
    const auto expected = [&fields](const char* timeout, const char* description, const char* state) {
        return fieldTexts(formFrom(QByteArray(fields).replace("%TIMEOUT%", timeout)
                                       .replace("%DESCRIPTION%", description).replace("%STATE%", state)));
    };
    QCOMPARE(fieldTexts(WaitForDeviceFlashCommand::getJsonEditorInterfaceTemplate()),
             expected("120000", "Waiting for device", "pos"));
    const QSharedPointer<FlashCommand> older =
        ToolsTestKit::command(R"({"tool": "waitForDevice", "state": "dnx", "timeout": 5000, "description": ""})");
    QVERIFY(older);
    QCOMPARE(fieldTexts(older->getJsonEditorInterface()), expected("5000", "", "dnx_fw"));
    QCOMPARE(fieldTexts(WaitForDeviceFlashCommand(DeviceState(0), 1, "x").getJsonEditorInterface()),
             expected("1", "x", "Invalid state"));
}

QTEST_GUILESS_MAIN(tst_WaitForDeviceFlashCommand)
#include "tst_WaitForDeviceFlashCommand.moc"
