#include "platform/device/DeviceManager.h"
#include "platform/device/DeviceMetaTypes.h"
#include "platform/device/UsbChangeWatcher.h"
#include "platform/device/UsbDeviceScanner.h"

#include "DeviceManagerFixture.h"
#include "RecordingLogSink.h"

#include <QElapsedTimer>
#include <QtTest>

#include <atomic>

namespace {

// Receives the manager's signals on the test thread whichever thread emits them.
class Relay : public QObject
{
    Q_OBJECT

public:
    explicit Relay(DeviceManager& manager)
    {
        connect(&manager, &DeviceManager::deviceDetected, this, &Relay::detected, Qt::QueuedConnection);
    }

signals:
    void detected(const DevicePtr& device);
};

// A device the test can mark busy, as a flash marks the engine's device.
class TestDevice : public Device
{
public:
    using Device::Device;
    bool isBusy() const override { return busy; }
    std::atomic<bool> busy{false};
};

Device* makeTestDevice(const DummyDevice& data, DeviceScanner* scanner)
{
    return new TestDevice(data, scanner);
}

// TestDevice objects for serials that start with "A", plain devices for the others.
Device* makeMixedDevices(const DummyDevice& data, DeviceScanner* scanner)
{
    if (data.getSerial().startsWith(QLatin1Char('A')))
        return new TestDevice(data, scanner);
    return new Device(data, scanner);
}

// Every signal a scan may send about devices, counted together.
struct SignalCount
{
    explicit SignalCount(DeviceManager& manager, const DevicePtr& device)
        : detected(&manager, &DeviceManager::deviceDetected)
        , updated(&manager, &DeviceManager::deviceUpdated)
        , lost(&manager, &DeviceManager::deviceLost)
        , changed(device.data(), &Device::dataChanged)
    {
    }
    int count() const { return detected.count() + updated.count() + lost.count() + changed.count(); }
    QSignalSpy detected;
    QSignalSpy updated;
    QSignalSpy lost;
    QSignalSpy changed;
};

} // namespace

class tst_DeviceManager : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void downloadModesDfuAndNetworkDevices();
    void blockScanFreezesTheDevice();
    void lookupsBySerialAndType();
    void scanningThreadReportsNewDevices();
    void failedProbeKeepsTheStateAndEmitsNothing_data();
    void failedProbeKeepsTheStateAndEmitsNothing();
    void busyDeviceIsNeverProbed();
    void probesOncePerEnumeration_data();
    void probesOncePerEnumeration();
    void selectionSparesTheOtherDevices_data();
    void selectionSparesTheOtherDevices();
    void usbChangeWakesTheScanner();
    void toolListsOfAScanRunAtOnce();
    void oneDeviceAcrossSuperSpeedAndHighSpeed();
    void lostDeviceIsForgottenAfterTheKeepTime();
    void unregisterVirtualDevicesDropsThemAll();
    void serialControlCharactersAreEscapedInTheLog();
    void waitRightAfterTheStartGetsTheFirstScan();
};

void tst_DeviceManager::initTestCase()
{
    registerDeviceMetaTypes();
}

void tst_DeviceManager::downloadModesDfuAndNetworkDevices()
{
    DeviceManagerFixture fixture;
    SimulatedDevices& sim = fixture.sim;
    QVERIFY(sim.isValid());
    QVERIFY(sim.addDevice("FW1", "1-3", "dnx_fw", {"--vendor", "8087", "--soc-serial", "SOCFW"}));
    QVERIFY(sim.addDevice("OS1", "1-4", "dnx_os", {"--vendor", "8087", "--soc-serial", "SOCOS"}));
    QVERIFY(sim.addDevice("DFU1", "1-5", "dfu"));
    QVERIFY(sim.addDevice("TOS1", "1-6", "tos"));
    QVERIFY(sim.addDevice("COS1", "2-1", "cos", {"--vendor", "04e8"}));
    QVERIFY(sim.addDevice("NET1", "", "mos", {"--network", "127.0.0.1:5555"}));
    QVERIFY(sim.addDevice("KBD1", "1-7", "kbd"));   // a keyboard with a run-time DFU interface
    QSignalSpy detected(&fixture.manager, &DeviceManager::deviceDetected);
    QVERIFY(fixture.scan());
    QCOMPARE(detected.count(), 6);
    QVERIFY(!fixture.deviceAt(PortNumber::usbPort("1-7")));

    struct Expected { PortNumber port; DeviceState state; DeviceKind kind; DevicePlatform platform; QString serial; };
    const QList<Expected> table = {
        {PortNumber::usbPort("1-3"), DeviceState::DnxFirmware, DeviceKind::Soc, DevicePlatform::ZorvikSoc, "SOCFW"},
        {PortNumber::usbPort("1-4"), DeviceState::DnxOs, DeviceKind::Fastboot, DevicePlatform::ZorvikAndroid, "SOCOS"},
        {PortNumber::usbPort("1-5"), DeviceState::DnxFirmware, DeviceKind::Dfu, DevicePlatform::Generic, "DFU1"},
        {PortNumber::usbPort("1-6"), DeviceState::Tos, DeviceKind::Fastboot, DevicePlatform::GenericAndroid, "TOS1"},
        {PortNumber::usbPort("2-1"), DeviceState::Cos, DeviceKind::Adb, DevicePlatform::SamsungAndroid, "COS1"},
        {PortNumber::networkPort("127.0.0.1:5555"), DeviceState::MainOs, DeviceKind::Adb, DevicePlatform::GenericAndroid, "127.0.0.1:5555"},
    };
    for (const Expected& expected : table) {
        const DevicePtr device = fixture.deviceAt(expected.port);
        QVERIFY2(device, qPrintable("nothing on port " + expected.port.toString()));
        QCOMPARE(device->getState(), expected.state);
        QCOMPARE(device->getKind(), expected.kind);
        QCOMPARE(device->getPlatform(), expected.platform);
        QCOMPARE(device->getSerial(), expected.serial);
        QCOMPARE(device->getPort().getConnectionType(), expected.port.getConnectionType());
        QVERIFY(device->isConnected());
    }
    QCOMPARE(fixture.deviceAt(PortNumber::networkPort("127.0.0.1:5555"))->getPort().getConnectionType(), 2);
}

void tst_DeviceManager::blockScanFreezesTheDevice()
{
    DeviceManagerFixture fixture;
    SimulatedDevices& sim = fixture.sim;
    QVERIFY(sim.isValid());
    QVERIFY(sim.addDevice("S1", "1-2", "mos"));
    QVERIFY(fixture.scan());
    const DevicePtr device = fixture.deviceAt(PortNumber::usbPort("1-2"));
    QVERIFY(device);

    device->blockScan();
    const int commandsBefore = sim.commandLog().filter("-s S1").size();
    QSignalSpy changed(device.data(), &Device::dataChanged);
    QSignalSpy lost(&fixture.manager, &DeviceManager::deviceLost);
    QVERIFY(sim.setState("S1", "pos"));
    QVERIFY(fixture.scan());
    QVERIFY(sim.unplug("S1"));
    QVERIFY(fixture.scan());
    QCOMPARE(device->getState(), DeviceState::MainOs);
    QVERIFY(device->isConnected());
    QCOMPARE(changed.count(), 0);
    QCOMPARE(lost.count(), 0);
    QCOMPARE(sim.commandLog().filter("-s S1").size(), commandsBefore);   // not probed either

    QVERIFY(sim.plug("S1"));
    device->unblockScan();
    QVERIFY(fixture.scan());
    QCOMPARE(device->getState(), DeviceState::ProvisioningOs);
    QCOMPARE(fixture.deviceAt(PortNumber::usbPort("1-2")), device);
}

void tst_DeviceManager::lookupsBySerialAndType()
{
    DeviceManagerFixture fixture(makeMixedDevices);
    SimulatedDevices& sim = fixture.sim;
    DeviceManager* manager = &fixture.manager;
    QVERIFY(sim.isValid());
    QVERIFY(sim.addDevice("A1", "1-2", "mos"));
    QVERIFY(sim.addDevice("B1", "1-3", "pos"));
    QVERIFY(fixture.scan());
    QCOMPARE(manager->getDevicesCount(), 2);
    QVERIFY(manager->getDeviceBySerial("B1"));
    QCOMPARE(manager->getDeviceBySerial("B1")->getPort().toString(), QString("1-3"));
    QVERIFY(!manager->getDeviceBySerial("C1"));
    QVERIFY(!manager->getDeviceBySerial(QString()));

    // A device that went away stays known, disconnected, and is still found by its serial.
    QVERIFY(sim.unplug("A1"));
    QVERIFY(fixture.scan());
    QCOMPARE(manager->getDevicesCount(), 2);
    const DevicePtr gone = manager->getDeviceBySerial("A1");
    QVERIFY(gone);
    QVERIFY(!gone->isConnected());
    QCOMPARE(gone->getState(), DeviceState::Unknown);

    const DevicePtr standBy = manager->createVirtualDevice();   // a plain device: no serial
    QVERIFY(standBy && standBy->getPort().isVirtualPort());
    std::map<PortNumber, SharedPointer<Device>> all;
    manager->getDevicesByType<Device>(all);
    QCOMPARE(all.size(), size_t(3));
    QCOMPARE(all.rbegin()->second, standBy);   // virtual ports come last
    std::map<PortNumber, SharedPointer<TestDevice>> tagged;
    manager->getDevicesByType<TestDevice>(tagged);
    QCOMPARE(tagged.size(), size_t(1));
    QCOMPARE(tagged.begin()->first, PortNumber::usbPort("1-2"));
    QCOMPARE(DevicePtr(tagged.begin()->second), gone);
    manager->unregisterVirtualDevice(standBy);
    QCOMPARE(manager->getDevicesCount(), 2);
}

void tst_DeviceManager::scanningThreadReportsNewDevices()
{
    DeviceManagerFixture fixture;
    SimulatedDevices& sim = fixture.sim;
    DeviceManager* manager = &fixture.manager;
    UsbDeviceScanner* scanner = fixture.scanner;
    QVERIFY(sim.isValid());
    Relay relay(*manager);
    QSignalSpy detected(&relay, &Relay::detected);
    scanner->setScanInterval(100);
    scanner->startScan();
    QVERIFY(scanner->isScanning());
    QVERIFY(sim.addDevice("T1", "1-2", "pos"));
    QVERIFY(detected.wait(30000));
    QCOMPARE(detected.at(0).at(0).value<DevicePtr>()->getSerial(), QString("T1"));
    // Devices live on the manager's thread, not on the scanner's.
    QCOMPARE(detected.at(0).at(0).value<DevicePtr>()->thread(), manager->thread());

    manager->rescan();
    QVERIFY(manager->waitForScan(30000));
    manager->stopAllScanners();
    QVERIFY(!scanner->isScanning());
}

void tst_DeviceManager::failedProbeKeepsTheStateAndEmitsNothing_data()
{
    QTest::addColumn<QString>("state");      // the simulated device's state
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<bool>("toolWide");      // the fault meets every command, else the device's
    QTest::addColumn<QString>("knob");
    QTest::addColumn<QString>("match");
    QTest::addColumn<int>("expected");

    const QStringList usb;
    const QStringList network{"--network", "127.0.0.1:5557"};
    QTest::newRow("adb devices fails") << "cos" << usb << true << "fail_match" << "devices" << int(DeviceState::Cos);
    QTest::newRow("adb devices fails, network device") << "cos" << network << true << "fail_match" << "devices" << int(DeviceState::Cos);
    // adb prints its header also when it lists nothing: an empty answer says nothing of any device.
    QTest::newRow("adb devices answers nothing") << "cos" << usb << true << "silent_match" << "devices" << int(DeviceState::Cos);
    QTest::newRow("adb devices answers nothing, network device") << "cos" << network << true << "silent_match" << "devices" << int(DeviceState::Cos);
    QTest::newRow("boot mode probe fails") << "cos" << usb << false << "fail_match" << "ro.bootmode" << int(DeviceState::Cos);
    QTest::newRow("boot mode probe answers nothing") << "cos" << usb << false << "silent_match" << "ro.bootmode" << int(DeviceState::Cos);
    QTest::newRow("fastboot devices fails") << "tos" << usb << true << "fail_match" << "devices" << int(DeviceState::Tos);
    QTest::newRow("fastboot devices answers nothing") << "tos" << usb << true << "silent_match" << "devices" << int(DeviceState::Tos);
    QTest::newRow("boot-mode answers nothing") << "tos" << usb << false << "silent_match" << "boot-mode" << int(DeviceState::Tos);
    // The probe's own time-out (5 s) ends it.
    QTest::newRow("boot-mode times out") << "tos" << usb << false << "hang_match" << "boot-mode" << int(DeviceState::Tos);
}

void tst_DeviceManager::failedProbeKeepsTheStateAndEmitsNothing()
{
    QFETCH(QString, state);
    QFETCH(QStringList, options);
    QFETCH(bool, toolWide);
    QFETCH(QString, knob);
    QFETCH(QString, match);
    QFETCH(int, expected);
    DeviceManagerFixture fixture;
    QVERIFY(fixture.isValid());
    QVERIFY(fixture.sim.addDevice("F1", options.isEmpty() ? "1-2" : QString(), state, options));
    QVERIFY(fixture.scan());
    const PortNumber port = options.isEmpty() ? PortNumber::usbPort("1-2") : PortNumber::networkPort(options.at(1));
    const DevicePtr device = fixture.deviceAt(port);
    QVERIFY(device);
    QCOMPARE(int(device->getState()), expected);

    QVERIFY(toolWide ? fixture.sim.setToolFault(knob, match) : fixture.sim.setFault("F1", knob, match));
    SignalCount sent(fixture.manager, device);
    for (int scan = 0; scan < 3; ++scan) {   // a state lost in one scan may come back in the next
        QVERIFY(fixture.scan());
        QCOMPARE(int(device->getState()), expected);
        QVERIFY(device->isConnected());
    }
    QCOMPARE(sent.count(), 0);
}

void tst_DeviceManager::busyDeviceIsNeverProbed()
{
    DeviceManagerFixture fixture(makeTestDevice);
    SimulatedDevices& sim = fixture.sim;
    QVERIFY(sim.isValid());
    QVERIFY(sim.addDevice("B1", "1-2", "pos"));
    QVERIFY(fixture.scan());
    const SharedPointer<TestDevice> device = fixture.deviceAt<TestDevice>(PortNumber::usbPort("1-2"));
    QVERIFY(device);
    QCOMPARE(device->getState(), DeviceState::ProvisioningOs);

    // On hardware the flashing tool holds the fastboot interface: a probe would wait for it.
    device->busy = true;
    QVERIFY(sim.setState("B1", "tos"));   // same USB ids; only a probe could tell
    const int probes = sim.commandLog().filter("-s B1").size();
    SignalCount sent(fixture.manager, device);
    QVERIFY(fixture.scan());
    QVERIFY(fixture.scan());
    QCOMPARE(sim.commandLog().filter("-s B1").size(), probes);
    QCOMPARE(device->getState(), DeviceState::ProvisioningOs);
    QCOMPARE(sent.count(), 0);

    // Unplugging still shows while it is busy.
    QVERIFY(sim.unplug("B1"));
    QVERIFY(fixture.scan());
    QVERIFY(!device->isConnected());
    QVERIFY(sim.plug("B1"));
    QVERIFY(fixture.scan());
    QVERIFY(device->isConnected());

    device->busy = false;
    QVERIFY(fixture.scan());
    QCOMPARE(device->getState(), DeviceState::Tos);
}

void tst_DeviceManager::probesOncePerEnumeration_data()
{
    QTest::addColumn<QString>("change");     // what happens to device P1 after the first scans
    QTest::addColumn<int>("expected");       // P1's state after it
    QTest::newRow("reboots into another mode") << "tos" << int(DeviceState::Tos);
    QTest::newRow("unplugged and plugged") << "replug" << int(DeviceState::ProvisioningOs);
    // The flash's way of asking for a fresh state: DeviceScanner::scan().
    QTest::newRow("a scan asked for") << "rescan" << int(DeviceState::ProvisioningOs);
}

// A device's mode changes only when it enumerates anew: it is probed once per enumeration, and
// each tool lists its devices once per scan, however many devices there are.
void tst_DeviceManager::probesOncePerEnumeration()
{
    QFETCH(QString, change);
    QFETCH(int, expected);
    DeviceManagerFixture fixture;
    SimulatedDevices& sim = fixture.sim;
    QVERIFY(sim.isValid());
    QVERIFY(sim.addDevice("P1", "1-2", "pos"));
    QVERIFY(sim.addDevice("P2", "1-3", "pos"));
    QVERIFY(sim.addDevice("M1", "1-4", "cos"));
    const auto probes = [&sim](const QString& serial) {
        return sim.commandLog().filter(QRegularExpression(QStringLiteral("-s %1 (getvar boot-mode|shell getprop ro.bootmode)$")
                                                              .arg(serial))).size();
    };
    const int scans = 5;
    for (int scan = 0; scan < scans; ++scan)
        QVERIFY(fixture.scan());
    QCOMPARE(probes("P1"), 1);
    QCOMPARE(probes("P2"), 1);
    QCOMPARE(probes("M1"), 1);
    QCOMPARE(sim.commandLog().filter(QRegularExpression("^fastboot devices$")).size(), scans);
    QCOMPARE(sim.commandLog().filter(QRegularExpression("^adb devices$")).size(), scans);
    QCOMPARE(int(fixture.deviceAt(PortNumber::usbPort("1-4"))->getState()), int(DeviceState::Cos));

    if (change == QLatin1String("replug")) {
        QVERIFY(sim.unplug("P1"));
        QVERIFY(fixture.scan());
        QVERIFY(sim.plug("P1"));
    } else if (change == QLatin1String("rescan")) {
        fixture.manager.rescan();
    } else {
        QVERIFY(sim.setState("P1", change));
    }
    for (int scan = 0; scan < scans; ++scan)
        QVERIFY(fixture.scan());
    const DevicePtr device = fixture.deviceAt(PortNumber::usbPort("1-2"));
    QVERIFY(device);
    QCOMPARE(int(device->getState()), expected);
    QCOMPARE(probes("P1"), 2);
    QCOMPARE(probes("P2"), change == QLatin1String("rescan") ? 2 : 1);
    QCOMPARE(probes("M1"), change == QLatin1String("rescan") ? 2 : 1);
}

namespace {

const uint16_t kFastbootProductId = 0x4ee0; // the simulator's fastboot devices

} // namespace

void tst_DeviceManager::selectionSparesTheOtherDevices_data()
{
    QTest::addColumn<QString>("selection");
    QTest::addColumn<QString>("chosen");     // the one device questioned; empty: none
    QTest::newRow("a serial") << "serial" << "S2";
    QTest::newRow("vendor and product") << "ids" << "S2";
    QTest::newRow("a serial nobody has") << "absent" << "";
}

// A process that may flash one device questions no other: every device is still reported.
void tst_DeviceManager::selectionSparesTheOtherDevices()
{
    QFETCH(QString, selection);
    QFETCH(QString, chosen);
    DeviceManagerFixture fixture;
    SimulatedDevices& sim = fixture.sim;
    QVERIFY(sim.isValid());
    QVERIFY(sim.addDevice("S1", "1-2", "pos"));
    QVERIFY(sim.addDevice("S2", "1-3", "pos", {QStringLiteral("--vendor"), QStringLiteral("0bb4")}));
    QVERIFY(sim.addDevice("S3", "1-4", "mos"));
    if (selection == QLatin1String("serial"))
        fixture.manager.setSelection(DeviceSelection::bySerials({QStringLiteral("S2"), QString()}));
    else if (selection == QLatin1String("ids"))
        fixture.manager.setSelection(DeviceSelection::byIds(0x0bb4, kFastbootProductId));
    else
        fixture.manager.setSelection(DeviceSelection::bySerials({QStringLiteral("nobody")}));
    for (int scan = 0; scan < 3; ++scan)
        QVERIFY(fixture.scan());

    QCOMPARE(fixture.manager.getDevicesCount(), 3);
    for (const QString& serial : {QStringLiteral("S1"), QStringLiteral("S2"), QStringLiteral("S3")}) {
        const int calls = sim.commandLog().filter(QStringLiteral("-s ") + serial).size();
        QCOMPARE(calls, serial == chosen ? 1 : 0);
    }
    if (!chosen.isEmpty())
        QCOMPARE(fixture.deviceAt(PortNumber::usbPort("1-3"))->getState(), DeviceState::ProvisioningOs);
    // Nothing to question in fastboot: its list is not asked for either.
    QCOMPARE(sim.commandLog().filter(QRegularExpression("^fastboot devices$")).size(), chosen.isEmpty() ? 0 : 3);
}

void tst_DeviceManager::usbChangeWakesTheScanner()
{
    DeviceManagerFixture fixture;
    SimulatedDevices& sim = fixture.sim;
    QVERIFY(sim.isValid());
    Relay relay(fixture.manager);
    QSignalSpy detected(&relay, &Relay::detected);
    UsbChangeWatcher watcher(fixture.scanner, QString());
    QVERIFY(watcher.isWatching());
    // Only the watch can explain a device seen well before the next periodic scan.
    const int safetyNetMs = 120000;
    fixture.scanner->setScanInterval(safetyNetMs);
    fixture.scanner->startScan();
    QVERIFY(fixture.manager.waitForScan(30000));

    QElapsedTimer timer;
    timer.start();
    QVERIFY(sim.addDevice("W1", "1-2", "pos"));
    QVERIFY(detected.wait(safetyNetMs / 4));
    QVERIFY2(timer.elapsed() < safetyNetMs / 4, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(detected.at(0).at(0).value<DevicePtr>()->getSerial(), QStringLiteral("W1"));
    fixture.manager.stopAllScanners();
}

void tst_DeviceManager::toolListsOfAScanRunAtOnce()
{
    DeviceManagerFixture fixture;
    SimulatedDevices& sim = fixture.sim;
    QVERIFY(sim.isValid());
    QVERIFY(sim.addDevice("P1", "1-2", "pos"));
    // Each list takes this long in its fake: one after the other, the second would start after
    // the first ended.
    const double listSeconds = 2.0;
    QVERIFY(sim.setToolFault("delay_match", "devices"));
    QVERIFY(sim.setToolFault("delay_ms", QString::number(int(listSeconds * 1000))));
    QVERIFY(fixture.scan());
    QCOMPARE(int(fixture.deviceAt(PortNumber::usbPort("1-2"))->getState()), int(DeviceState::ProvisioningOs));

    QString journal;
    QVERIFY(sim.control({QStringLiteral("log"), QStringLiteral("--times")}, &journal));
    QMap<QString, double> listStarts;   // "SECONDS PROGRAM devices"
    for (const QString& line : journal.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList words = line.split(QLatin1Char(' '));
        if (words.size() == 3 && words.at(2) == QLatin1String("devices"))
            listStarts.insert(words.at(1), words.at(0).toDouble());
    }
    QCOMPARE(listStarts.keys(), QStringList({"adb", "fastboot"}));
    const double apart = qAbs(listStarts.value("adb") - listStarts.value("fastboot"));
    QVERIFY2(apart < listSeconds, qPrintable(QStringLiteral("the lists started %1 s apart").arg(apart)));
}

void tst_DeviceManager::oneDeviceAcrossSuperSpeedAndHighSpeed()
{
    DeviceManagerFixture fixture;
    SimulatedDevices& sim = fixture.sim;
    QVERIFY(sim.isValid());
    // Android enumerates SuperSpeed (bus 2), the bootloader high-speed (bus 1), on one connector.
    QVERIFY(sim.addDevice("P1", "1-2", "mos", {"--superspeed-port", "2-2", "--superspeed-states", "mos"}));
    QVERIFY(sim.addDevice("Q1", "2-3", "mos"));   // bus 2 without a peer stays bus 2
    QSignalSpy detected(&fixture.manager, &DeviceManager::deviceDetected);
    QSignalSpy lost(&fixture.manager, &DeviceManager::deviceLost);
    QVERIFY(fixture.scan());
    QCOMPARE(detected.count(), 2);
    const DevicePtr device = fixture.deviceAt(PortNumber::usbPort("1-2"));
    QVERIFY2(device, "the SuperSpeed device is not on its connector's port");
    QVERIFY(fixture.deviceAt(PortNumber::usbPort("2-3")));

    QVERIFY(fixture.runTool("adb", {"-s", "P1", "reboot", "bootloader"}));
    QVERIFY(fixture.scan());
    QCOMPARE(device->getState(), DeviceState::ProvisioningOs);
    QVERIFY(fixture.runTool("fastboot", {"-s", "P1", "reboot"}));
    QVERIFY(fixture.scan());
    QCOMPARE(device->getState(), DeviceState::MainOs);
    QCOMPARE(detected.count(), 4);
    QCOMPARE(detected.at(3).at(0).value<DevicePtr>(), device);
    QCOMPARE(lost.count(), 0);
    QCOMPARE(fixture.manager.getDevicesCount(), 2);
}

void tst_DeviceManager::lostDeviceIsForgottenAfterTheKeepTime()
{
    DeviceManagerFixture fixture(makeTestDevice);
    QVERIFY(fixture.isValid());
    fixture.manager.setLostDeviceKeepMs(200);
    QVERIFY(fixture.sim.addDevice("L1", "1-2", "mos"));
    QVERIFY(fixture.sim.addDevice("L2", "1-3", "mos"));
    QVERIFY(fixture.scan());
    const SharedPointer<TestDevice> busy = fixture.deviceAt<TestDevice>(PortNumber::usbPort("1-3"));
    QVERIFY(busy);
    busy->busy = true;
    QVERIFY(fixture.sim.unplug("L1"));
    QVERIFY(fixture.sim.unplug("L2"));
    QElapsedTimer timer;
    timer.start();
    QVERIFY(fixture.scan());
    QCOMPARE(fixture.manager.getDevicesCount(), 2);   // known, disconnected
    QTRY_VERIFY_WITH_TIMEOUT((fixture.scan(), !fixture.deviceAt(PortNumber::usbPort("1-2"))), 20000);
    QVERIFY(timer.elapsed() >= 200);
    QVERIFY(fixture.deviceAt(PortNumber::usbPort("1-3")));   // busy: kept until it is idle
    busy->busy = false;
    QVERIFY(fixture.scan());
    QCOMPARE(fixture.manager.getDevicesCount(), 0);
}

void tst_DeviceManager::unregisterVirtualDevicesDropsThemAll()
{
    DeviceManagerFixture fixture;
    QVERIFY(fixture.isValid());
    QVERIFY(fixture.sim.addDevice("V1", "1-2", "mos"));
    QVERIFY(fixture.scan());
    const DevicePtr first = fixture.manager.createVirtualDevice();
    const DevicePtr second = fixture.manager.createVirtualDevice();
    QVERIFY(first && second && first != second);
    QCOMPARE(fixture.manager.getDevicesCount(), 3);

    fixture.manager.unregisterVirtualDevices();
    QCOMPARE(fixture.manager.getDevicesCount(), 1);
    std::map<PortNumber, DevicePtr> devices;
    fixture.manager.getDevices(devices);
    for (const auto& entry : devices)
        QVERIFY(!entry.first.isVirtualPort());
    QVERIFY(fixture.scan());
    QCOMPARE(first->getState(), DeviceState::Unknown);   // the holders keep them, unfed
    const DevicePtr third = fixture.manager.createVirtualDevice();
    QVERIFY(third->getPort() != first->getPort() && third->getPort() != second->getPort());
}

void tst_DeviceManager::serialControlCharactersAreEscapedInTheLog()
{
    DeviceManagerFixture fixture;
    QVERIFY(fixture.isValid());
    RecordingLogSink recorder;
    recorder.bind(fixture.manager);
    QVERIFY(fixture.sim.addDevice("E\x1b[2J\x07", "1-2", "mos"));
    QVERIFY(fixture.scan());
    const DevicePtr device = fixture.deviceAt(PortNumber::usbPort("1-2"));
    QVERIFY(device);
    QCOMPARE(device->getSerial(), QString("E\x1b[2J\x07"));   // the device keeps what addresses it
    const QStringList lines = recorder.rendered();
    QVERIFY(lines.filter("serial \"E\\x1b[2J\\x07\"").size() == 1);
    for (const QString& line : lines) {
        for (const QChar c : line)
            QVERIFY2(c.category() != QChar::Other_Control, qPrintable(line));
    }
}

void tst_DeviceManager::waitRightAfterTheStartGetsTheFirstScan()
{
    DeviceManagerFixture fixture;
    QVERIFY(fixture.isValid());
    QVERIFY(fixture.sim.addDevice("F1", "1-2", "pos"));
    fixture.scanner->setScanInterval(600000);   // no periodic scan during the test
    fixture.scanner->startScan();

    // The start-up's own scan answers: the device is known and each tool was asked once.
    QVERIFY(fixture.manager.waitForScan(30000));
    QVERIFY(fixture.deviceAt(PortNumber::usbPort("1-2")));
    QCOMPARE(fixture.sim.commandLog().filter(QRegularExpression("^fastboot devices")).size(), 1);
    fixture.manager.stopAllScanners();
}

QTEST_GUILESS_MAIN(tst_DeviceManager)
#include "tst_DeviceManager.moc"
