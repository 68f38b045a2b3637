#include "engine/EngineMetaTypes.h"
#include "engine/FlashDevice2.h"
#include "engine/FlashRunner.h"

#include "DeviceManagerFixture.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QThread>
#include <QWaitCondition>
#include <QtTest>

#include <atomic>
#include <memory>

namespace {

DummyDevice scanData(DeviceState state, const QString& serial, bool connected = true)
{
    DummyDevice data;
    data.setPort(PortNumber::usbPort("1-2"));
    data.setState(state);
    data.setSerial(serial);
    data.setConnected(connected);
    return data;
}

// What the device manager does with new scan data; returns the changed flag.
bool feed(FlashDevice2& device, const DummyDevice& data)
{
    bool changed = false;
    bool other = false;
    QWriteLocker locker(&device.getLock());
    device.setDataLocked(data, changed, other);
    return changed;
}

// Runs a device wait on a thread of its own.
struct Waiter
{
    Waiter(const FlashDevice2Ptr& device, DeviceState state, uint64_t timeoutMs)
        : thread(QThread::create([=] { result = device->waitForDevice(state, timeoutMs) ? 1 : 0; }))
    {
        thread->start();
    }
    ~Waiter()
    {
        thread->wait();
        delete thread;
    }
    std::atomic<int> result{-1};
    QThread* thread;
};

} // namespace

class tst_FlashDevice2 : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void serialsRememberedAtCreation_data();
    void serialsRememberedAtCreation();
    void idleDisconnectedUpdateKeepsTheSerials();
    void busyAndFlashingFollowTheFlashState_data();
    void busyAndFlashingFollowTheFlashState();
    void everyFlashStateSetIsSignalled();
    void runnerIsSignalledOnceAndReleasedOutsideTheLock();
    void waitAnswersAtOnceInStateOrWhenIdle();
    void waitTimesOutWhenTheStateNeverComes();

    void detectedOnceThenFollowsRebootsOnTheSamePort();
    void waitWakesWhenTheScannerReportsTheState();
    void virtualDeviceIsFedTheDataOfADetectedDevice();
    void blankPhoneFlashBindsWhenItStarts();
    void virtualDeviceTakesADeviceOfTheFlashsPlatforms_data();
    void virtualDeviceTakesADeviceOfTheFlashsPlatforms();
    void deviceAVirtualDeviceFlashesIsNotProbed();
};

void tst_FlashDevice2::initTestCase()
{
    registerEngineMetaTypes();
}

void tst_FlashDevice2::serialsRememberedAtCreation_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("connected");
    QTest::addColumn<QString>("socSerial");
    QTest::addColumn<QString>("platformSerial");
    QTest::newRow("DnX firmware") << int(DeviceState::DnxFirmware) << true << "S" << "";
    QTest::newRow("DnX OS") << int(DeviceState::DnxOs) << true << "S" << "";
    QTest::newRow("provisioning OS") << int(DeviceState::ProvisioningOs) << true << "" << "S";
    QTest::newRow("main OS") << int(DeviceState::MainOs) << true << "" << "S";
    QTest::newRow("TOS") << int(DeviceState::Tos) << true << "" << "S";
    QTest::newRow("unknown") << int(DeviceState::Unknown) << true << "" << "";
    QTest::newRow("main OS, gone") << int(DeviceState::MainOs) << false << "" << "";
}

void tst_FlashDevice2::serialsRememberedAtCreation()
{
    QFETCH(int, state);
    QFETCH(bool, connected);
    QFETCH(QString, socSerial);
    QFETCH(QString, platformSerial);
    std::unique_ptr<Device> made(FlashDevice2::DeviceAllocator(scanData(DeviceState(state), "S", connected), nullptr));
    auto* device = qobject_cast<FlashDevice2*>(made.get());
    QVERIFY(device);
    QCOMPARE(device->getSocSerial(), socSerial);
    QCOMPARE(device->getPlatformSerial(), platformSerial);
}

void tst_FlashDevice2::idleDisconnectedUpdateKeepsTheSerials()
{
    FlashDevice2 device(scanData(DeviceState::MainOs, "A"), nullptr);
    feed(device, scanData(DeviceState::MainOs, "B", false));
    QCOMPARE(device.getPlatformSerial(), QString("A"));

    device.setFlashState(FlashDevice2::FlashState::Pending);
    const bool changed = feed(device, scanData(DeviceState::MainOs, "C", false));
    QCOMPARE(device.getPlatformSerial(), QString("C"));
    QVERIFY(changed);
}

void tst_FlashDevice2::busyAndFlashingFollowTheFlashState_data()
{
    QTest::addColumn<int>("flashState");
    QTest::addColumn<bool>("busy");
    QTest::addColumn<bool>("flashing");
    QTest::newRow("idle") << 0 << false << false;
    QTest::newRow("pending") << 1 << true << false;
    QTest::newRow("flashing") << 2 << true << true;
}

void tst_FlashDevice2::busyAndFlashingFollowTheFlashState()
{
    QFETCH(int, flashState);
    QFETCH(bool, busy);
    QFETCH(bool, flashing);
    FlashDevice2 device(scanData(DeviceState::MainOs, "S"), nullptr);
    device.setFlashState(FlashDevice2::FlashState(flashState));
    QCOMPARE(device.isBusy(), busy);
    QCOMPARE(device.isFlashing(), flashing);
    QCOMPARE(int(device.getFlashState()), flashState);
}

void tst_FlashDevice2::everyFlashStateSetIsSignalled()
{
    FlashDevice2 device(scanData(DeviceState::MainOs, "S"), nullptr);
    QSignalSpy changed(&device, &Device::dataChanged);
    device.setFlashState(FlashDevice2::FlashState::Pending);
    device.setFlashState(FlashDevice2::FlashState::Pending);
    QCOMPARE(changed.count(), 2);
    device.setFlashFile(SharedPointer<FlashRunner>());   // no runner was attached: no change
    QCOMPARE(changed.count(), 2);
}

void tst_FlashDevice2::runnerIsSignalledOnceAndReleasedOutsideTheLock()
{
    const FlashDevice2Ptr device(new FlashDevice2(scanData(DeviceState::MainOs, "S"), nullptr));
    device->setFlashState(FlashDevice2::FlashState::Flashing);
    QSignalSpy changed(device.data(), &Device::dataChanged);
    QPointer<FlashRunner> watcher;
    {
        const SharedPointer<FlashRunner> runner(new FlashRunner(nullptr, device, {}));
        watcher = runner.data();
        device->setFlashFile(runner);
        device->setFlashFile(runner);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(device->getFlashFile(), runner);
    }
    // The device holds the last reference now; the runner's destruction asks the device whether
    // it flashes, which would never return under the device's write lock.
    device->setFlashFile(SharedPointer<FlashRunner>());
    QVERIFY2(watcher.isNull(), "the replaced runner was not released");
    QCOMPARE(changed.count(), 2);
    QVERIFY(!device->getFlashFile());
    QVERIFY(device->isFlashing());
}

void tst_FlashDevice2::waitAnswersAtOnceInStateOrWhenIdle()
{
    const FlashDevice2Ptr device(new FlashDevice2(scanData(DeviceState::MainOs, "S"), nullptr));
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!device->waitForDevice(DeviceState::ProvisioningOs, 60000));   // idle: no wait at all
    QVERIFY(!device->waitForDevice(DeviceState::MainOs, 60000));           // not even for its state
    device->setFlashState(FlashDevice2::FlashState::Flashing);
    QVERIFY(device->waitForDevice(DeviceState::MainOs, 0));
    QVERIFY2(timer.elapsed() < 5000, "an immediate answer waited");
}

void tst_FlashDevice2::waitTimesOutWhenTheStateNeverComes()
{
    const FlashDevice2Ptr device(new FlashDevice2(scanData(DeviceState::MainOs, "S"), nullptr));
    device->setFlashState(FlashDevice2::FlashState::Pending);
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!device->waitForDevice(DeviceState::ProvisioningOs, 150));
    QVERIFY(timer.elapsed() >= 140);
    // Updates in another state wake nobody.
    Waiter waiter(device, DeviceState::ProvisioningOs, 300);
    feed(*device, scanData(DeviceState::MainOs, "S"));
    QVERIFY(waiter.thread->wait(10000));
    QCOMPARE(waiter.result.load(), 0);
}

void tst_FlashDevice2::detectedOnceThenFollowsRebootsOnTheSamePort()
{
    DeviceManagerFixture fixture(FlashDevice2::DeviceAllocator);
    QVERIFY(fixture.isValid());
    QVERIFY(fixture.sim.addDevice("S1", "1-2", "mos", {"--soc-serial", "SOC1"}));
    QSignalSpy detected(&fixture.manager, &DeviceManager::deviceDetected);
    QSignalSpy updated(&fixture.manager, &DeviceManager::deviceUpdated);
    QSignalSpy lost(&fixture.manager, &DeviceManager::deviceLost);

    QVERIFY(fixture.scan());
    QCOMPARE(detected.count(), 1);
    const FlashDevice2Ptr device = detected.at(0).at(0).value<DevicePtr>().dynamicCast<FlashDevice2>();
    QVERIFY2(device, "the detected device is no FlashDevice2");
    QCOMPARE(device->getState(), DeviceState::MainOs);
    QCOMPARE(device->getSerial(), QString("S1"));
    QCOMPARE(device->getPlatformSerial(), QString("S1"));

    // Polls that change nothing emit nothing.
    QSignalSpy changed(device.data(), &Device::dataChanged);
    QVERIFY(fixture.scan());
    QVERIFY(fixture.scan());
    QCOMPARE(detected.count() + updated.count() + lost.count() + changed.count(), 1);

    QVERIFY(fixture.runTool("adb", {"-s", "S1", "reboot", "bootloader"}));
    QVERIFY(fixture.scan());
    QCOMPARE(detected.count(), 2);
    QCOMPARE(detected.at(1).at(0).value<DevicePtr>(), DevicePtr(device));   // the same object
    QCOMPARE(device->getState(), DeviceState::ProvisioningOs);
    QCOMPARE(device->getPort(), PortNumber::usbPort("1-2"));

    // Into DnX OS: other USB ids and the SoC serial, still the same object.
    QVERIFY(fixture.runTool("fastboot", {"-s", "S1", "oem", "reboot", "dnx"}));
    QVERIFY(fixture.scan());
    QCOMPARE(detected.count(), 3);
    QCOMPARE(detected.at(2).at(0).value<DevicePtr>(), DevicePtr(device));
    QCOMPARE(device->getState(), DeviceState::DnxOs);
    QCOMPARE(device->getSerial(), QString("SOC1"));
    QCOMPARE(device->getSocSerial(), QString("SOC1"));
    QCOMPARE(device->getPlatformSerial(), QString("S1"));
    QCOMPARE(fixture.deviceAt<FlashDevice2>(PortNumber::usbPort("1-2")), device);
    QVERIFY(fixture.sim.setState("S1", "dnx_fw"));
    QVERIFY(fixture.scan());
    QCOMPARE(detected.count(), 4);
    QCOMPARE(detected.at(3).at(0).value<DevicePtr>(), DevicePtr(device));
    QCOMPARE(device->getState(), DeviceState::DnxFirmware);
    QCOMPARE(device->getPlatform(), DevicePlatform::ZorvikSoc);

    QVERIFY(fixture.sim.unplug("S1"));
    QVERIFY(fixture.scan());
    QCOMPARE(lost.count(), 1);
    QCOMPARE(lost.at(0).at(0).value<DevicePtr>(), DevicePtr(device));
    QVERIFY(!device->isConnected());
    QCOMPARE(detected.count(), 4);
}

void tst_FlashDevice2::waitWakesWhenTheScannerReportsTheState()
{
    DeviceManagerFixture fixture(FlashDevice2::DeviceAllocator);
    QVERIFY(fixture.isValid());
    QVERIFY(fixture.sim.addDevice("S1", "1-2", "mos"));
    QVERIFY(fixture.scan());
    const FlashDevice2Ptr device = fixture.deviceAt<FlashDevice2>(PortNumber::usbPort("1-2"));
    QVERIFY(device);
    device->setFlashState(FlashDevice2::FlashState::Flashing);

    Waiter waiter(device, DeviceState::ProvisioningOs, 60000);
    QVERIFY(fixture.scan());   // still in main OS: the waiter sleeps on
    QVERIFY(!waiter.thread->wait(50));
    QVERIFY(fixture.runTool("adb", {"-s", "S1", "reboot", "bootloader"}));
    QVERIFY(fixture.scan());
    QVERIFY2(waiter.thread->wait(10000), "the waiter was not woken");
    QCOMPARE(waiter.result.load(), 1);
}

void tst_FlashDevice2::virtualDeviceIsFedTheDataOfADetectedDevice()
{
    DeviceManagerFixture fixture(FlashDevice2::DeviceAllocator);
    QVERIFY(fixture.isValid());
    QVERIFY(fixture.sim.addDevice("P0", "1-1", "pos"));   // first in port order, in another state
    QVERIFY(fixture.sim.addDevice("S1", "1-2", "mos"));
    QVERIFY(fixture.scan());

    const FlashDevice2Ptr standBy = fixture.manager.createVirtualDevice().dynamicCast<FlashDevice2>();
    QVERIFY2(standBy, "the virtual device is no FlashDevice2");
    QVERIFY(standBy->getPort().isVirtualPort());
    // The command loop refuses a device without a connection type.
    QCOMPARE(standBy->getPort().getConnectionType(), int(PortNumber::UsbConnection));
    QVERIFY(fixture.scan());
    QCOMPARE(standBy->getState(), DeviceState::Unknown);   // idle: it stands for nobody yet

    QSignalSpy changed(standBy.data(), &Device::dataChanged);
    standBy->setFlashState(FlashDevice2::FlashState::Pending);
    QVERIFY(fixture.scan());
    QCOMPARE(standBy->getState(), DeviceState::Unknown);   // its flash waits for no state yet
    {
        // The flash waits for its start state: the stand-by takes the device in that state.
        Waiter waiter(standBy, DeviceState::MainOs, 60000);
        QTRY_VERIFY(standBy->isWaitingFor(DeviceState::MainOs));
        QVERIFY(fixture.scan());
        QVERIFY2(waiter.thread->wait(10000), "the virtual device's waiter was not woken");
        QCOMPARE(waiter.result.load(), 1);
    }
    QCOMPARE(standBy->getState(), DeviceState::MainOs);
    QCOMPARE(standBy->getSerial(), QString("S1"));
    QCOMPARE(standBy->getPlatformSerial(), QString("S1"));
    QVERIFY(standBy->isConnected());
    QVERIFY(standBy->getPort().isVirtualPort());
    QCOMPARE(standBy->getPort().getConnectionType(), int(PortNumber::UsbConnection));
    QCOMPARE(changed.count(), 2);   // the flash state, then the fed data

    Waiter waiter(standBy, DeviceState::ProvisioningOs, 60000);
    QVERIFY(fixture.runTool("adb", {"-s", "S1", "reboot", "bootloader"}));
    QVERIFY(fixture.scan());
    QVERIFY2(waiter.thread->wait(10000), "the virtual device's waiter was not woken");
    QCOMPARE(waiter.result.load(), 1);
    QCOMPARE(standBy->getState(), DeviceState::ProvisioningOs);

    // The real device itself goes on as before.
    const FlashDevice2Ptr real = fixture.deviceAt<FlashDevice2>(PortNumber::usbPort("1-2"));
    QCOMPARE(real->getFlashState(), FlashDevice2::FlashState::Idle);
    QCOMPARE(real->getState(), DeviceState::ProvisioningOs);

    // Blocking the virtual device freezes the device it stands for as well.
    standBy->blockScan();
    QVERIFY(fixture.sim.setState("S1", "mos"));
    QVERIFY(fixture.scan());
    QCOMPARE(standBy->getState(), DeviceState::ProvisioningOs);
    QCOMPARE(real->getState(), DeviceState::ProvisioningOs);
    standBy->unblockScan();
    QVERIFY(fixture.scan());
    QCOMPARE(standBy->getState(), DeviceState::MainOs);
    QCOMPARE(real->getState(), DeviceState::MainOs);
}

void tst_FlashDevice2::blankPhoneFlashBindsWhenItStarts()
{
    DeviceManagerFixture fixture(FlashDevice2::DeviceAllocator);
    QVERIFY(fixture.isValid());
    QVERIFY(fixture.sim.addDevice("M1", "1-2", "mos"));
    QVERIFY(fixture.sim.addDevice("FW1", "1-3", "dnx_fw", {"--vendor", "8087", "--soc-serial", "SOCFW"}));
    QVERIFY(fixture.scan());
    const FlashDevice2Ptr standBy = fixture.manager.createVirtualDevice().dynamicCast<FlashDevice2>();
    QVERIFY(standBy);
    QSignalSpy changed(standBy.data(), &Device::dataChanged);

    // A flash that starts in DnX firmware waits for nothing: its first command runs at once, so
    // the virtual device stands for the device when the flash starts, without another scan.
    standBy->beginFlash(DeviceState::DnxFirmware);
    QVERIFY(standBy->isFlashing());
    QCOMPARE(standBy->getState(), DeviceState::DnxFirmware);
    QCOMPARE(standBy->getSerial(), QString("SOCFW"));
    QCOMPARE(standBy->getSocSerial(), QString("SOCFW"));
    QCOMPARE(standBy->getPlatform(), DevicePlatform::ZorvikSoc);
    QVERIFY(standBy->isConnected());
    QCOMPARE(standBy->getPort().getConnectionType(), int(PortNumber::UsbConnection));
    QCOMPARE(changed.count(), 2);   // flashing, then the device's data

    // The firmware download moves the device on; the virtual device follows it.
    QVERIFY(fixture.runTool("dravikFlashTool", {}));
    QVERIFY(fixture.scan());
    QCOMPARE(standBy->getState(), DeviceState::DnxOs);
    QCOMPARE(fixture.deviceAt<FlashDevice2>(PortNumber::usbPort("1-2"))->getState(), DeviceState::MainOs);

    // A flash that starts before any device fits binds at the first scan that finds one.
    const FlashDevice2Ptr later = fixture.manager.createVirtualDevice().dynamicCast<FlashDevice2>();
    later->beginFlash(DeviceState::DnxFirmware);
    QCOMPARE(later->getState(), DeviceState::Unknown);
    QVERIFY(fixture.sim.setState("M1", "dnx_fw"));
    QVERIFY(fixture.scan());
    QCOMPARE(later->getState(), DeviceState::DnxFirmware);
    QCOMPARE(later->getSerial(), QString("M1"));

    // Idle again, it wants nothing.
    later->setFlashState(FlashDevice2::FlashState::Idle);
    QVERIFY(!later->acceptsBinding(fixture.deviceAt(PortNumber::usbPort("1-2"))->getData()));
}

void tst_FlashDevice2::virtualDeviceTakesADeviceOfTheFlashsPlatforms_data()
{
    QTest::addColumn<QList<int>>("platforms");
    QTest::addColumn<QList<int>>("downloadKinds");   // what the configuration runs
    QTest::addColumn<QString>("serial");   // of the device it stands for; empty: none
    const QList<int> soc{int(DeviceKind::Soc)};
    const QList<int> dfu{int(DeviceKind::Dfu)};
    QTest::newRow("no platform, firmware downloader: the SoC, not the DFU board") << QList<int>() << soc << "SOC1";
    QTest::newRow("no platform, DFU downloader: the DFU board") << QList<int>() << dfu << "DFU1";
    QTest::newRow("no platform, both: the first by port") << QList<int>() << (dfu + soc) << "DFU1";
    QTest::newRow("zorvik_soc, DFU downloader: the platform decides") << QList<int>{int(DevicePlatform::ZorvikSoc)}
                                                                       << dfu << "SOC1";
    QTest::newRow("generic: the DFU board") << QList<int>{int(DevicePlatform::Generic)} << soc << "DFU1";
    QTest::newRow("samsung_android: none") << QList<int>{int(DevicePlatform::SamsungAndroid)} << dfu << "";
}

void tst_FlashDevice2::virtualDeviceTakesADeviceOfTheFlashsPlatforms()
{
    QFETCH(QList<int>, platforms);
    QFETCH(QList<int>, downloadKinds);
    QFETCH(QString, serial);
    DeviceManagerFixture fixture(FlashDevice2::DeviceAllocator);
    QVERIFY(fixture.isValid());
    QVERIFY(fixture.sim.addDevice("DFU1", "1-1", "dfu"));   // first in port order, in DnX firmware too
    QVERIFY(fixture.sim.addDevice("S1", "1-3", "dnx_fw", {"--vendor", "8087", "--soc-serial", "SOC1"}));
    QVERIFY(fixture.scan());
    std::list<DevicePlatform> wanted;
    for (int platform : platforms)
        wanted.push_back(DevicePlatform(platform));
    std::set<DeviceKind> kinds;
    for (int kind : downloadKinds)
        kinds.insert(DeviceKind(kind));
    const FlashDevice2Ptr standBy = fixture.manager.createVirtualDevice().dynamicCast<FlashDevice2>();
    standBy->beginFlash(DeviceState::DnxFirmware, wanted, kinds);
    QVERIFY(fixture.scan());
    QCOMPARE(standBy->getSerial(), serial);
    QCOMPARE(standBy->isConnected(), !serial.isEmpty());
}

void tst_FlashDevice2::deviceAVirtualDeviceFlashesIsNotProbed()
{
    DeviceManagerFixture fixture(FlashDevice2::DeviceAllocator);
    QVERIFY(fixture.isValid());
    QVERIFY(fixture.sim.addDevice("C1", "1-2", "cos"));
    QVERIFY(fixture.scan());
    const FlashDevice2Ptr standBy = fixture.manager.createVirtualDevice().dynamicCast<FlashDevice2>();
    standBy->beginFlash(DeviceState::Cos);
    QCOMPARE(standBy->getSerial(), QString("C1"));

    const int probes = fixture.sim.commandLog().filter("-s C1").size();
    QVERIFY(fixture.scan());
    QVERIFY(fixture.scan());
    QCOMPARE(fixture.sim.commandLog().filter("-s C1").size(), probes);
    QCOMPARE(standBy->getState(), DeviceState::Cos);
    standBy->setFlashState(FlashDevice2::FlashState::Idle);
    fixture.manager.rescan();                // its enumeration was probed already: ask anew
    QVERIFY(fixture.scan());
    QVERIFY(fixture.sim.commandLog().filter("-s C1").size() > probes);
}

QTEST_GUILESS_MAIN(tst_FlashDevice2)
#include "tst_FlashDevice2.moc"
