#include "platform/device/DeviceManager.h"
#include "platform/device/DeviceMetaTypes.h"
#include "platform/device/UsbDeviceScanner.h"

#include "DeviceManagerFixture.h"

#include <QtTest>

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
    QSignalSpy detected(&fixture.manager, &DeviceManager::deviceDetected);
    QVERIFY(fixture.scan());
    QCOMPARE(detected.count(), 6);

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
    DeviceManagerFixture fixture;
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

    const DevicePtr standBy = manager->createVirtualDevice();
    QVERIFY(standBy && standBy->getPort().isVirtualPort());
    std::map<PortNumber, SharedPointer<Device>> typed;
    manager->getDevicesByType<Device>(typed);
    QCOMPARE(typed.size(), size_t(3));
    QCOMPARE(typed.rbegin()->second, standBy);   // virtual ports come last
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

QTEST_GUILESS_MAIN(tst_DeviceManager)
#include "tst_DeviceManager.moc"
