// Reboot into a state: which program and arguments take a simulated device from the state it is
// in towards the target state, and when the manager refuses.

#include "EngineTestKit.h"
#include "RecordingLogSink.h"
#include "core/MetaTypes.h"
#include "engine/EngineMetaTypes.h"
#include "model/ModelMetaTypes.h"

#include <QElapsedTimer>
#include <QtTest>

namespace {

DeviceState stateOf(const QString& keyword)
{
    const auto map = FlashTypes::getStateMap(FlashTypes::StateMapV3p0);
    const auto found = map.find(keyword);
    return found == map.end() ? DeviceState::Unknown : found->second;
}

// The reboot commands the simulator received.
QStringList rebootCommands(const SimulatedDevices& sim)
{
    return sim.commandLog().filter(QRegularExpression(" reboot( |$)"));
}

} // namespace

class tst_RebootDevice : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void rebootTable_data();
    void rebootTable();
    void unknownPlatformRebootsWithoutTarget();
    void rebootThatTimesOutStillCounts();
};

void tst_RebootDevice::initTestCase()
{
    registerMetaTypes();
    registerEngineMetaTypes();
    registerModelMetaTypes();
}

void tst_RebootDevice::init()
{
    FMConst::resetToDefaults();
}

void tst_RebootDevice::rebootTable_data()
{
    QTest::addColumn<QString>("vendor");
    QTest::addColumn<QString>("state");
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("force");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QString>("command");    // the reboot command run; empty: none
    QTest::addColumn<QString>("line");       // "LEVEL text"
    QTest::addColumn<QString>("reached");    // the simulated device's state afterwards

    const QString adb = "INFO Reboot device S1 with ADB...";
    const QString fastboot = "INFO Reboot device S1 with Fastboot...";
    QTest::newRow("mos to pos, zorvik") << "8087" << "mos" << "pos" << false << true
                                        << "adb -s S1 reboot bootloader" << adb << "pos";
    QTest::newRow("mos to pos, samsung") << "04e8" << "mos" << "pos" << false << true
                                         << "adb -s S1 reboot downloader" << adb << "mos";
    QTest::newRow("mos to dnx_os") << "8087" << "mos" << "dnx_os" << false << true << "adb -s S1 reboot dnx"
                                   << adb << "dnx_os";
    QTest::newRow("mos to dnx_fw") << "8087" << "mos" << "dnx_fw" << false << true << "adb -s S1 reboot" << adb
                                   << "mos";
    QTest::newRow("pos to dnx_os") << "8087" << "pos" << "dnx_os" << false << true
                                   << "fastboot -s S1 oem reboot dnx" << fastboot << "dnx_os";
    QTest::newRow("pos to mos") << "8087" << "pos" << "mos" << false << true << "fastboot -s S1 reboot"
                                << fastboot << "mos";
    QTest::newRow("pos to pos, forced") << "8087" << "pos" << "pos" << true << true
                                        << "fastboot -s S1 reboot bootloader" << fastboot << "pos";
    QTest::newRow("already there") << "8087" << "mos" << "mos" << false << true << QString()
                                   << "DEBUG Device is already in the required state, no need to reboot it" << "mos";
    QTest::newRow("dnx_os to mos") << "8087" << "dnx_os" << "mos" << false << false << QString()
                                   << "INFO Don't know how to reboot device S1, state is 'dnx_os'" << "dnx_os";
    QTest::newRow("tos to mos") << "8087" << "tos" << "mos" << false << false << QString()
                                << "INFO Don't know how to reboot device S1 to Main OS from 'tos'" << "tos";
    QTest::newRow("tos to pos") << "8087" << "tos" << "pos" << false << false << QString()
                                << "INFO Don't know how to reboot device S1 to Provisioning OS from 'tos'" << "tos";
    QTest::newRow("tos to dnx_os") << "8087" << "tos" << "dnx_os" << false << false << QString()
                                   << "INFO Don't know how to reboot device S1 to DnS OS from 'tos'" << "tos";
    // adb is the program for "tos", but adb does not address a device in a fastboot state.
    QTest::newRow("tos to dnx_fw") << "8087" << "tos" << "dnx_fw" << false << true << QString() << adb << "tos";
    QTest::newRow("mos to ros") << "8087" << "mos" << "ros" << false << false << QString()
                                << "INFO Don't know how to reboot device S1 to 'ros'" << "mos";
    QTest::newRow("generic android")
        << "18d1" << "mos" << "pos" << false << false << QString()
        << "ERROR Automatic reboot is not supported on this device, please reboot the device manually" << "mos";
    QTest::newRow("SoC board, forced")
        << "8087" << "dnx_fw" << "dnx_fw" << true << false << QString()
        << "ERROR Automatic reboot is not supported on this device, please reboot the device manually" << "dnx_fw";
}

void tst_RebootDevice::rebootTable()
{
    QFETCH(QString, vendor);
    QFETCH(QString, state);
    QFETCH(QString, target);
    QFETCH(bool, force);
    QFETCH(bool, result);
    QFETCH(QString, command);
    QFETCH(QString, line);
    QFETCH(QString, reached);

    SimulatedStation station;
    QVERIFY(station.isValid());
    QVERIFY(station.sim.addDevice("S1", "1-2", state, {"--vendor", vendor}));
    QVERIFY(station.scan());
    const FlashDevice2Ptr device = station.deviceAt<FlashDevice2>(PortNumber::usbPort("1-2"));
    QVERIFY(device);
    QCOMPARE(device->getState(), stateOf(state));

    RecordingLogSink sink;
    FlashManager manager;
    sink.bind(manager);
    QCOMPARE(manager.rebootDevice(device, stateOf(target), force), result);
    QCOMPARE(rebootCommands(station.sim), command.isEmpty() ? QStringList() : QStringList{command});
    QCOMPARE(sink.rendered(), QStringList{line});
    if (line.startsWith("INFO"))
        QCOMPARE(sink.lines().at(0).label, QString("Port 1-2"));
    QCOMPARE(station.sim.device("S1")["state"].toString(), reached);
}

void tst_RebootDevice::unknownPlatformRebootsWithoutTarget()
{
    SimulatedStation station;
    QVERIFY(station.sim.addDevice("S1", "1-2", "mos"));
    FMConst::setTool(FMConst::ADB_TOOL_ID, station.sim.toolPath("adb"));
    DummyDevice data;
    data.setPort(PortNumber::usbPort("1-2"));
    data.setState(DeviceState::MainOs);
    data.setSerial("S1");
    data.setPlatform(DevicePlatform::Unknown);
    const FlashDevice2Ptr device(new FlashDevice2(data, nullptr));
    FlashManager manager;
    QVERIFY(manager.rebootDevice(device, DeviceState::ProvisioningOs));
    QCOMPARE(rebootCommands(station.sim), QStringList{"adb -s S1 reboot"});
}

void tst_RebootDevice::rebootThatTimesOutStillCounts()
{
    SimulatedStation station;
    QVERIFY(station.sim.addDevice("S1", "1-2", "mos", {"--vendor", "8087"}));
    QVERIFY(station.sim.setFault("S1", "hang_match", "reboot"));
    QVERIFY(station.scan());
    const FlashDevice2Ptr device = station.deviceAt<FlashDevice2>(PortNumber::usbPort("1-2"));
    QVERIFY(device);
    FlashManager manager;
    QElapsedTimer timer;
    timer.start();
    QVERIFY(manager.rebootDevice(device, DeviceState::ProvisioningOs));
    QVERIFY(timer.elapsed() >= FMConst::REBOOT_TIME_OUT);
    QCOMPARE(station.sim.device("S1")["state"].toString(), QString("mos"));
}

QTEST_GUILESS_MAIN(tst_RebootDevice)
#include "tst_RebootDevice.moc"
