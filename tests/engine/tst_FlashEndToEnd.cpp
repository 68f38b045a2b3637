// The flash manager driving simulated devices end to end: reboot into the start state, flashes in
// parallel, a blank board through a virtual device, the platform check, on-demand mode, and stops
// that reach a flash while it reboots or while its tool hangs.

#include "EngineTestKit.h"
#include "RecordingLogSink.h"
#include "core/MetaTypes.h"
#include "engine/EngineMetaTypes.h"
#include "loader/FlashFileManager.h"
#include "model/ModelMetaTypes.h"
#include "tools/BuiltInKinds.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <memory>

namespace {

using Status = FlashTypes::FlashStatus;
using Type = FlashTypes::CommandType;

QString writeImage(const SimulatedDevices& sim, const QByteArray& content)
{
    const QString path = sim.folder() + "/boot.img";
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    file.write(content);
    return path;
}

QString partition(const SimulatedDevices& sim, const QString& serial, const QString& name)
{
    return sim.device(serial)["partitions"].toObject()[name].toString();
}

// Runs an object on a thread of its own, as the program runs the flash manager. On every way out
// of the test, a failed check included, it brings the object back to the test's thread (where it
// is destroyed) and stops the thread: a QThread destroyed while it runs aborts the whole suite.
// Declare it after the object.
class OwnThread
{
public:
    explicit OwnThread(QObject& worker)
        : m_worker(worker)
    {
        m_worker.moveToThread(&m_thread);
        m_thread.start();
    }
    ~OwnThread()
    {
        QThread* home = QThread::currentThread();
        QMetaObject::invokeMethod(&m_worker, [this, home] { m_worker.moveToThread(home); },
                                  Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
    }
    OwnThread(const OwnThread&) = delete;
    OwnThread& operator=(const OwnThread&) = delete;

private:
    QObject& m_worker;
    QThread m_thread;
};

} // namespace

class tst_FlashEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void rebootIntoTheStartStateThenFlash();
    void eightDevicesFlashInParallel();
    void blankBoardThroughAVirtualDevice_data();
    void blankBoardThroughAVirtualDevice();
    void platformCheckRefusesAnotherPlatform();
    void onDemandFlashesEachIdleDeviceOnce();
    void stopReachesAFlashThatIsRebooting();
    void destructionEndsAHangingTool();
};

void tst_FlashEndToEnd::initTestCase()
{
    registerMetaTypes();
    registerEngineMetaTypes();
    registerModelMetaTypes();
}

void tst_FlashEndToEnd::init()
{
    FMConst::resetToDefaults();
    BuiltInKinds::registerAll();
}

void tst_FlashEndToEnd::rebootIntoTheStartStateThenFlash()
{
    QTemporaryDir results;
    FMConst::setFlashLogResultEnabled(true);
    FMConst::setLogDirectory(results.path());
    FMConst::setFlashLogResultFileNamePattern("${serial}.xml");

    SimulatedStation station;
    QVERIFY(station.isValid());
    const FlashDevice2Ptr phone = station.attach("S1", "1-2", "mos");
    QVERIFY(phone);
    const QString image = QFINDTESTDATA("data/boot.img");
    const QSharedPointer<FlashFileManager> flashFile =
        FlashFileManager::loadFromFile(QFINDTESTDATA("data/update-boot.json"), true);
    QVERIFY(flashFile);

    FlashManager manager;
    manager.setDeviceManager(&station.manager);
    WindowDouble window(manager);
    manager.rebootAndStartDeviceFlash(phone, flashFile->getDefaultConfiguration());
    QTRY_COMPARE_WITH_TIMEOUT(window.finishedCount(), 1, 60000);

    QCOMPARE(window.statusOf(phone), int(Status::Success));
    QCOMPARE(window.finished().at(0).type, Type::Fastboot);
    QVERIFY(station.sim.commandLog().contains("adb -s S1 reboot bootloader"));
    // The same object followed the device through its reboot.
    QCOMPARE(station.deviceAt<FlashDevice2>(PortNumber::usbPort("1-2")), phone);
    QCOMPARE(phone->getState(), DeviceState::ProvisioningOs);
    QCOMPARE(manager.getNbDeviceConnected(DeviceState::ProvisioningOs), 1);
    QVERIFY(!manager.isDeviceFlashing());
    QFile imageFile(image);
    QVERIFY(imageFile.open(QIODevice::ReadOnly));
    QCOMPARE(partition(station.sim, "S1", "boot"),
             QString(QCryptographicHash::hash(imageFile.readAll(), QCryptographicHash::Sha256).toHex()));
    const QStringList infos = window.infos(phone);
    QVERIFY2(infos.contains("Rebooting ...") && infos.last().startsWith("S1: Flash success (duration: "),
             qPrintable(infos.join('\n')));

    QFile result(results.filePath("S1.xml"));
    QTRY_VERIFY(result.exists());
    QVERIFY(result.open(QIODevice::ReadOnly));
    QVERIFY(result.readAll().contains("<RESULT>PASS</RESULT>"));
}

void tst_FlashEndToEnd::eightDevicesFlashInParallel()
{
    SimulatedStation station;
    QVERIFY(station.isValid());
    for (int i = 1; i <= 8; ++i)
        QVERIFY(station.sim.addDevice(QString("P%1").arg(i), QString("1-%1").arg(i), "pos", {"--vendor", "8087"}));
    QVERIFY(station.sim.setFault("P5", "fail_match", "flash"));
    station.startScanning();
    std::vector<FlashDevice2Ptr> phones;
    for (int i = 1; i <= 8; ++i) {
        phones.push_back(station.waitForDevice(QString("1-%1").arg(i), DeviceState::ProvisioningOs));
        QVERIFY(phones.back());
    }

    // Every flash waits at its first command until all eight are there: they run at once.
    auto* barrier = new BarrierCommand(8);
    TestFlashFile flashFile(DeviceState::ProvisioningOs,
                            {QSharedPointer<FlashCommand>(barrier),
                             fastbootCommand("flash boot " + writeImage(station.sim, "image"))});

    FlashManager manager;
    manager.setDeviceManager(&station.manager);
    WindowDouble window(manager);
    for (const FlashDevice2Ptr& phone : phones)
        manager.rebootAndStartDeviceFlash(phone, flashFile.configuration);
    QTRY_COMPARE_WITH_TIMEOUT(window.finishedCount(), 8, 120000);

    QCOMPARE(barrier->arrived(), 8);
    QCOMPARE(barrier->threadCount(), 8);
    for (int i = 1; i <= 8; ++i) {
        const bool faulty = i == 5;
        QCOMPARE(window.statusOf(phones[i - 1]), int(faulty ? Status::Failure : Status::Success));
        QCOMPARE(partition(station.sim, QString("P%1").arg(i), "boot").isEmpty(), faulty);
        QCOMPARE(window.infos(phones[i - 1]).last().startsWith(QString("P%1: Flash %2").arg(i).arg(faulty ? "failed" : "success")), true);
    }
}

void tst_FlashEndToEnd::blankBoardThroughAVirtualDevice_data()
{
    QTest::addColumn<bool>("attachedFirst");
    QTest::newRow("board attached before the flash") << true;
    QTest::newRow("board attached during the flash") << false;
}

void tst_FlashEndToEnd::blankBoardThroughAVirtualDevice()
{
    QFETCH(bool, attachedFirst);
    SimulatedStation station;
    QVERIFY(station.isValid());
    if (attachedFirst)
        QVERIFY(station.sim.addDevice("SOC1", "1-3", "dnx_fw"));
    // The firmware downloader's program is looked for beside the executable.
    FMConst::USE_DRAVIK_EXTERNAL = true;
    const QString downloader = QDir(QCoreApplication::applicationDirPath()).absoluteFilePath("dravikFlashTool");
    QFile::remove(downloader);
    QVERIFY(QFile::link(station.sim.toolPath("dravikFlashTool"), downloader));
    station.startScanning();
    if (attachedFirst)
        QVERIFY(station.waitForDevice("1-3", DeviceState::DnxFirmware));
    const FlashDevice2Ptr standBy = station.manager.createVirtualDevice().dynamicCast<FlashDevice2>();
    QVERIFY(standBy);
    const QSharedPointer<FlashCommand> download = kindCommand(
        R"({"tool": "dravikDownloader", "ifwi": "ifwi.bin", "ifwi_dnx": "dnx.bin", "gpflag": "0x80000045"})");
    QVERIFY(download);
    TestFlashFile flashFile(DeviceState::DnxFirmware, {download});

    FlashManager manager;
    manager.setDeviceManager(&station.manager);
    WindowDouble window(manager);
    manager.rebootAndStartDeviceFlash(standBy, flashFile.configuration);
    if (!attachedFirst) {
        QTRY_COMPARE(standBy->getFlashState(), FlashDevice2::FlashState::Flashing);
        QTest::qWait(500);
        QVERIFY(station.sim.addDevice("SOC1", "1-3", "dnx_fw"));
    }
    QTRY_COMPARE_WITH_TIMEOUT(window.finishedCount(), 1, 60000);
    QFile::remove(downloader);

    QCOMPARE(window.statusOf(standBy), int(Status::Success));
    QCOMPARE(window.finished().at(0).type, Type::Ifwi);
    QVERIFY(station.sim.commandLog().filter(QRegularExpression("^dravikFlashTool SOC1 dnx.bin ")).size() == 1);
    QCOMPARE(station.sim.device("SOC1")["state"].toString(), QString("dnx_os"));
    QVERIFY(window.infos(standBy).last().startsWith("SOC1: Flash success"));
    // Its flash over, the virtual device is dropped.
    std::map<PortNumber, DevicePtr> devices;
    station.manager.getDevices(devices);
    QVERIFY(std::none_of(devices.begin(), devices.end(),
                         [](const auto& entry) { return entry.first.isVirtualPort(); }));
}

void tst_FlashEndToEnd::platformCheckRefusesAnotherPlatform()
{
    SimulatedStation station;
    QVERIFY(station.isValid());
    const FlashDevice2Ptr phone = station.attach("SAM1", "1-2", "pos", "04e8");
    QVERIFY(phone);
    QCOMPARE(phone->getPlatform(), DevicePlatform::SamsungAndroid);
    // A "3.0" file for "zorvik_android" devices only.
    const QSharedPointer<FlashFileManager> flashFile =
        FlashFileManager::loadFromFile(QFINDTESTDATA("data/zorvik-only.json"), false);
    QVERIFY(flashFile);

    FlashManager manager;
    WindowDouble window(manager);
    manager.rebootAndStartDeviceFlash(phone, flashFile->getDefaultConfiguration());
    QTRY_COMPARE(window.finishedCount(), 1);
    QCOMPARE(window.statusOf(phone), int(Status::Failure));
    QCOMPARE(window.finished().at(0).type, Type::WrongDeviceType);
    QCOMPARE(window.infos(phone), QStringList{"Wrong device type"});
    QCOMPARE(phone->getFlashState(), FlashDevice2::FlashState::Idle);
    QVERIFY(station.sim.commandLog().filter("getvar product").isEmpty());
}

void tst_FlashEndToEnd::onDemandFlashesEachIdleDeviceOnce()
{
    SimulatedStation station;
    QVERIFY(station.isValid());
    QVERIFY(station.sim.addDevice("D1", "1-1", "pos", {"--vendor", "8087"}));
    QVERIFY(station.sim.addDevice("M1", "1-3", "mos", {"--vendor", "8087"}));
    TestFlashFile flashFile(DeviceState::ProvisioningOs, {fastbootCommand("oem flashed")});

    RecordingLogSink sink;
    FlashManager manager;
    sink.bind(manager);
    manager.setDeviceManager(&station.manager);
    manager.setFlashManagerMode(FlashManager::FM_MODE_ON_DEMAND, flashFile.configuration);
    WindowDouble window(manager);
    station.startScanning();
    QTRY_COMPARE_WITH_TIMEOUT(window.finishedCount(), 1, 60000);

    // A device plugged in later is flashed too.
    QVERIFY(station.sim.addDevice("D2", "1-2", "pos", {"--vendor", "8087"}));
    QTRY_COMPARE_WITH_TIMEOUT(window.finishedCount(), 2, 60000);
    for (const WindowDouble::Finish& finish : window.finished())
        QCOMPARE(finish.status, Status::Success);

    // The finished devices stay attached, idle and in the start state: they are not flashed again.
    QVERIFY(station.scan());
    QTest::qWait(2000);
    QCOMPARE(window.finishedCount(), 2);
    QCOMPARE(station.sim.commandLog().filter("oem flashed").size(), 2);
    QVERIFY(sink.rendered().contains("INFO Cannot start on-demand flash, device must be first in 'pos' state"));
}

void tst_FlashEndToEnd::stopReachesAFlashThatIsRebooting()
{
    SimulatedStation station;
    QVERIFY(station.isValid());
    const FlashDevice2Ptr phone = station.attach("S1", "1-2", "mos");
    QVERIFY(phone);
    QVERIFY(station.sim.setFault("S1", "hang_match", "reboot"));
    TestFlashFile flashFile(DeviceState::ProvisioningOs, {fastbootCommand("getvar product")});

    FlashManager manager;
    manager.setDeviceManager(&station.manager);
    WindowDouble window(manager);
    const OwnThread managerThread(manager);   // as in the program
    QVERIFY(QMetaObject::invokeMethod(&manager, "rebootAndStartDeviceFlash", Qt::QueuedConnection,
                                      Q_ARG(FlashDevice2Ptr, phone),
                                      Q_ARG(FlashConfigurationPtr, flashFile.configuration)));
    QTRY_VERIFY_WITH_TIMEOUT(station.sim.commandLog().contains("adb -s S1 reboot bootloader"), 30000);
    QCOMPARE(phone->getFlashState(), FlashDevice2::FlashState::Pending);

    QVERIFY(manager.stopFlash(phone));   // the reboot command still hangs
    QTRY_COMPARE_WITH_TIMEOUT(window.finishedCount(), 1, 60000);
    QCOMPARE(window.statusOf(phone), int(Status::Interrupted));
    QVERIFY(station.sim.commandLog().filter("getvar product").isEmpty());
    QCOMPARE(phone->getFlashState(), FlashDevice2::FlashState::Idle);
}

void tst_FlashEndToEnd::destructionEndsAHangingTool()
{
    SimulatedStation station;
    QVERIFY(station.isValid());
    const FlashDevice2Ptr phone = station.attach("S1", "1-2", "pos");
    QVERIFY(phone);
    QVERIFY(station.sim.setFault("S1", "hang_match", "oem hang"));
    TestFlashFile flashFile(DeviceState::ProvisioningOs, {fastbootCommand("oem hang")});

    auto manager = std::make_unique<FlashManager>();
    QVERIFY(manager->startDeviceFlash(phone, flashFile.configuration, false));
    QTRY_VERIFY_WITH_TIMEOUT(station.sim.commandLog().contains("fastboot -s S1 oem hang"), 30000);
    QElapsedTimer timer;
    timer.start();
    manager.reset();
    QVERIFY2(timer.elapsed() < 30000, "the hanging tool kept the manager alive");
    QCOMPARE(phone->getFlashState(), FlashDevice2::FlashState::Idle);
}

QTEST_GUILESS_MAIN(tst_FlashEndToEnd)
#include "tst_FlashEndToEnd.moc"
