// The flash manager with devices made in memory: requests and their refusals, one flash per
// device at a time, the flash controller, stops (also of pending flashes and at destruction), the
// pool's limit, on-demand starts, notifications, questions and the Android tool check.

#include "EngineTestKit.h"
#include "RecordingLogSink.h"
#include "core/MetaTypes.h"
#include "core/SingletonException.h"
#include "engine/EngineMetaTypes.h"
#include "model/ModelMetaTypes.h"
#include "engine/FlashController.h"
#include "platform/device/DeviceManager.h"
#include "tests/engine/RunnerFixtures.h"
#include "tests/model/ModelTestKit.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <memory>

namespace {

using Status = FlashTypes::FlashStatus;
using Type = FlashTypes::CommandType;

// A command that succeeds at once, or (blocking) sleeps until its flash is stopped.
QSharedPointer<FlashCommand> command(Type type, bool blocking = false, int result = PerformSuccess)
{
    auto* scripted = new ScriptedCommand(QStringLiteral("step"), {result},
                                         new FlashCommand::FlashCommandData(QStringLiteral("true"), false));
    scripted->m_type = type;
    if (blocking) {
        scripted->m_onPerform = [](const SharedPointer<FlashRunner>& runner, uint64_t, QString&) {
            return runner->sleep(600000) == FlashRunner::SleepCancelled ? PerformCancelled : PerformFailed;
        };
    }
    return QSharedPointer<FlashCommand>(scripted);
}

FlashDevice2Ptr device(DeviceState state, const QString& serial, const QString& port = QStringLiteral("1-2"),
                       DevicePlatform platform = DevicePlatform::ZorvikAndroid)
{
    DummyDevice data = RunnerFixtures::deviceData(state, serial, port);
    data.setPlatform(platform);
    return FlashDevice2Ptr(new FlashDevice2(data, nullptr));
}

class Controller : public FlashController
{
public:
    int checkStart(const FlashDevice2Ptr&) override { return startAnswer; }
    int checkResult(const FlashDevice2Ptr&, FlashTypes::FlashStatus, FlashTypes::CommandType) override
    {
        return resultAnswer;
    }
    int startAnswer = 0;
    int resultAnswer = 3;
};

} // namespace

class tst_FlashManager : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void secondManagerIsRefused();
    void flashRunsAndIsCounted();
    void wrongPlatformIsAFailedFlash_data();
    void wrongPlatformIsAFailedFlash();
    void flashFileWithoutPlatformsAllowsEveryDevice();
    void recoveryOsEndsAtOnce();
    void oneDeviceIsNeverFlashedTwiceAtOnce();
    void controllerDecides_data();
    void controllerDecides();
    void stopReachesRunningAndQueuedFlashes();
    void destructionCancelsEveryFlash();
    void poolRunsThirtyTwoFlashesAtOnce();
    void onDemandStartsOnlyIdleDevicesInTheStartState_data();
    void onDemandStartsOnlyIdleDevicesInTheStartState();
    void trayNotificationFollowsTheOutcome_data();
    void trayNotificationFollowsTheOutcome();
    void questionsReachTheWindowAndItsAnswerTheFlash();
    void androidToolCheck_data();
    void androidToolCheck();
};

void tst_FlashManager::initTestCase()
{
    registerMetaTypes();
    registerEngineMetaTypes();
    registerModelMetaTypes();
}

void tst_FlashManager::init()
{
    FMConst::resetToDefaults();
}

void tst_FlashManager::secondManagerIsRefused()
{
    FlashManager manager;
    try {
        FlashManager second;
        QFAIL("a second flash manager was built");
    } catch (const SingletonException& error) {
        QCOMPARE(QString(error.what()), QString("Double instanciation of 10FlashStats singleton"));
    }
}

void tst_FlashManager::flashRunsAndIsCounted()
{
    FlashManager manager;
    WindowDouble window(manager);
    QSignalSpy counted(manager.statsManager(), &FlashStats::handsetGobalStatUpdated);
    const FlashDevice2Ptr phone = device(DeviceState::ProvisioningOs, "SER");
    TestFlashFile flashFile(DeviceState::ProvisioningOs, {command(Type::Fastboot)});

    QVERIFY(manager.startDeviceFlash(phone, flashFile.configuration, false));
    QTRY_COMPARE_WITH_TIMEOUT(window.finishedCount(), 1, 30000);
    QCOMPARE(window.startedCount(), 1);
    QCOMPARE(window.statusOf(phone), int(Status::Success));
    QCOMPARE(window.finished().at(0).type, Type::Fastboot);
    QCOMPARE(phone->getFlashState(), FlashDevice2::FlashState::Idle);
    QTRY_COMPARE(counted.count(), 1);
    QCOMPARE(counted.at(0), (QList<QVariant>{quint64(1), quint64(0), quint64(0), quint64(1)}));
}

void tst_FlashManager::wrongPlatformIsAFailedFlash_data()
{
    QTest::addColumn<bool>("withReboot");
    QTest::newRow("startDeviceFlash") << false;
    QTest::newRow("rebootAndStartDeviceFlash") << true;
}

void tst_FlashManager::wrongPlatformIsAFailedFlash()
{
    QFETCH(bool, withReboot);
    RecordingLogSink sink;
    FlashManager manager;
    sink.bind(manager);
    WindowDouble window(manager);
    const FlashDevice2Ptr phone =
        device(DeviceState::ProvisioningOs, "SER", "1-2", DevicePlatform::SamsungAndroid);
    auto scripted = command(Type::Fastboot);
    TestFlashFile flashFile(DeviceState::ProvisioningOs, {scripted}, {DevicePlatform::ZorvikAndroid});

    if (withReboot)
        manager.rebootAndStartDeviceFlash(phone, flashFile.configuration);
    else
        QVERIFY(!manager.startDeviceFlash(phone, flashFile.configuration, false));
    QTRY_COMPARE(window.finishedCount(), 1);
    QCOMPARE(window.startedCount(), withReboot ? 1 : 0);
    QCOMPARE(window.progress(phone), (QList<QPair<uint64_t, uint64_t>>{{1, 1}}));
    QCOMPARE(window.infos(phone), QStringList{"Wrong device type"});
    QCOMPARE(window.statusOf(phone), int(Status::Failure));
    QCOMPARE(window.finished().at(0).type, Type::WrongDeviceType);
    QCOMPARE(phone->getFlashState(), FlashDevice2::FlashState::Idle);
    QVERIFY(static_cast<ScriptedCommand&>(*scripted).m_attempts.empty());
    const auto lines = sink.lines();
    QVERIFY(std::any_of(lines.begin(), lines.end(), [](const RecordingLogSink::Line& line) {
        return line.level == Logger::ERROR && line.label == "Port 1-2"
               && line.text == "Cannot start flash, device type does not match the platform specified in flash file";
    }));
}

void tst_FlashManager::flashFileWithoutPlatformsAllowsEveryDevice()
{
    FlashManager manager;
    const FlashDevice2Ptr phone = device(DeviceState::MainOs, "SER", "1-2", DevicePlatform::SamsungAndroid);
    TestFlashFile anyPlatform(DeviceState::MainOs, {});
    TestFlashFile samsung(DeviceState::MainOs, {}, {DevicePlatform::ZorvikAndroid, DevicePlatform::SamsungAndroid});
    QVERIFY(manager.isFlashAllowed(phone, anyPlatform.configuration));
    QVERIFY(manager.isFlashAllowed(phone, samsung.configuration));
    anyPlatform.file.clear();   // a configuration whose flash file is gone
    QVERIFY(manager.isFlashAllowed(phone, anyPlatform.configuration));
}

void tst_FlashManager::recoveryOsEndsAtOnce()
{
    FlashManager manager;
    WindowDouble window(manager);
    const FlashDevice2Ptr phone = device(DeviceState::RecoveryOs, "SER");
    TestFlashFile flashFile(DeviceState::MainOs, {command(Type::Adb)});
    manager.rebootAndStartDeviceFlash(phone, flashFile.configuration);
    QTRY_COMPARE(window.finishedCount(), 1);
    QCOMPARE(window.startedCount(), 0);
    QCOMPARE(window.statusOf(phone), int(Status::Failure));
    QCOMPARE(window.finished().at(0).type, Type::InitialDeviceState);
    QCOMPARE(phone->getFlashState(), FlashDevice2::FlashState::Idle);
}

void tst_FlashManager::oneDeviceIsNeverFlashedTwiceAtOnce()
{
    RecordingLogSink sink;
    FlashManager manager;
    sink.bind(manager);
    WindowDouble window(manager);
    const FlashDevice2Ptr phone = device(DeviceState::MainOs, "SER");
    TestFlashFile flashFile(DeviceState::MainOs, {command(Type::Adb, true)});

    // Requests from several threads at the same moment: one of them takes the device.
    std::atomic<int> accepted{0};
    std::vector<std::unique_ptr<QThread>> threads;
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back(QThread::create([&] {
            if (manager.startDeviceFlash(phone, flashFile.configuration, false))
                ++accepted;
        }));
    }
    for (auto& thread : threads)
        thread->start();
    for (auto& thread : threads)
        QVERIFY(thread->wait(30000));
    QCOMPARE(accepted.load(), 1);
    QCOMPARE(sink.texts(Logger::WARNING).count("Device is already flashing"), 7);

    // Queued or running, pending or flashing: a second request is refused without a report.
    manager.rebootAndStartDeviceFlash(phone, flashFile.configuration);
    QVERIFY(sink.texts(Logger::ERROR).contains("Cannot start flash, flash already in progress"));
    QTRY_COMPARE(phone->getFlashState(), FlashDevice2::FlashState::Flashing);
    QVERIFY(!manager.startDeviceFlash(phone, flashFile.configuration, false));

    manager.stopFlash(phone);
    QTRY_COMPARE(window.finishedCount(), 1);
    QCOMPARE(window.statusOf(phone), int(Status::Interrupted));
    QCOMPARE(phone->getFlashState(), FlashDevice2::FlashState::Idle);
    // Once its end is reported the device takes a new flash.
    QVERIFY(manager.startDeviceFlash(phone, flashFile.configuration, false));
    manager.stopFlash(phone);
    QTRY_COMPARE(window.finishedCount(), 2);
}

void tst_FlashManager::controllerDecides_data()
{
    QTest::addColumn<int>("startAnswer");
    QTest::addColumn<int>("resultAnswer");
    QTest::addColumn<int>("commandResult");
    QTest::addColumn<bool>("started");
    QTest::addColumn<int>("status");      // -1: no end reported
    QTest::addColumn<int>("type");

    const int adb = int(Type::Adb);
    const int controller = int(Type::Controller);
    QTest::newRow("no opinion") << 0 << 3 << int(PerformFailed) << true << 1 << adb;
    QTest::newRow("keeps the result") << 0 << 1 << int(PerformFailed) << true << 1 << adb;
    QTest::newRow("forces success of a failure") << 0 << 0 << int(PerformFailed) << true << 0 << controller;
    QTest::newRow("forces success of a success") << 0 << 0 << int(PerformSuccess) << true << 0 << adb;
    QTest::newRow("forces failure") << 0 << 2 << int(PerformSuccess) << true << 1 << controller;
    QTest::newRow("refuses silently") << 1 << 3 << int(PerformSuccess) << false << -1 << 0;
    QTest::newRow("refuses as failure") << 2 << 3 << int(PerformSuccess) << false << 1 << controller;
}

void tst_FlashManager::controllerDecides()
{
    QFETCH(int, startAnswer);
    QFETCH(int, resultAnswer);
    QFETCH(int, commandResult);
    QFETCH(bool, started);
    QFETCH(int, status);
    QFETCH(int, type);

    Controller controller;
    controller.startAnswer = startAnswer;
    controller.resultAnswer = resultAnswer;
    FlashManager manager;
    manager.setFlashController(&controller);
    QCOMPARE(manager.getFlashController(), &controller);
    WindowDouble window(manager);
    const FlashDevice2Ptr phone = device(DeviceState::MainOs, "SER");
    TestFlashFile flashFile(DeviceState::MainOs, {command(Type::Adb, false, commandResult)});

    QCOMPARE(manager.startDeviceFlash(phone, flashFile.configuration, false), started);
    if (status < 0) {
        QTest::qWait(200);
        QCOMPARE(window.finishedCount(), 0);
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(window.finishedCount(), 1, 30000);
        QCOMPARE(window.statusOf(phone), status);
        QCOMPARE(int(window.finished().at(0).type), type);
    }
    QCOMPARE(window.startedCount(), started ? 1 : 0);
    QCOMPARE(phone->getFlashState(), FlashDevice2::FlashState::Idle);
}

void tst_FlashManager::stopReachesRunningAndQueuedFlashes()
{
    FMConst::MAX_THREAD_COUNT = 1;   // the second flash waits in the queue
    FlashManager manager;
    WindowDouble window(manager);
    const FlashDevice2Ptr first = device(DeviceState::MainOs, "ONE", "1-1");
    const FlashDevice2Ptr second = device(DeviceState::MainOs, "TWO", "1-2");
    auto secondCommand = command(Type::Adb);
    TestFlashFile blocking(DeviceState::MainOs, {command(Type::Adb, true)});
    TestFlashFile quick(DeviceState::MainOs, {secondCommand});

    QVERIFY(manager.startDeviceFlash(first, blocking.configuration, false));
    QVERIFY(manager.startDeviceFlash(second, quick.configuration, false));
    QTRY_COMPARE(first->getFlashState(), FlashDevice2::FlashState::Flashing);
    QCOMPARE(second->getFlashState(), FlashDevice2::FlashState::Pending);

    QVERIFY(manager.stopFlash(second));   // queued: it ends as soon as it gets a thread
    QVERIFY(manager.stopFlash(first));
    QTRY_COMPARE(window.finishedCount(), 2);
    QCOMPARE(window.statusOf(first), int(Status::Interrupted));
    QCOMPARE(window.statusOf(second), int(Status::Interrupted));
    QVERIFY(static_cast<ScriptedCommand&>(*secondCommand).m_attempts.empty());
    QCOMPARE(second->getFlashState(), FlashDevice2::FlashState::Idle);
}

void tst_FlashManager::destructionCancelsEveryFlash()
{
    FMConst::MAX_THREAD_COUNT = 2;
    std::vector<FlashDevice2Ptr> devices;
    std::vector<std::unique_ptr<TestFlashFile>> files;
    auto manager = std::make_unique<FlashManager>();
    for (int i = 0; i < 4; ++i) {
        devices.push_back(device(DeviceState::MainOs, QString("SER%1").arg(i), QString("1-%1").arg(i + 1)));
        files.push_back(std::make_unique<TestFlashFile>(DeviceState::MainOs,
                                                        std::vector<QSharedPointer<FlashCommand>>{command(Type::Adb, true)}));
        QVERIFY(manager->startDeviceFlash(devices.back(), files.back()->configuration, false));
    }
    QTRY_COMPARE(devices[0]->getFlashState(), FlashDevice2::FlashState::Flashing);
    QTRY_COMPARE(devices[1]->getFlashState(), FlashDevice2::FlashState::Flashing);

    // Each flash would sleep ten minutes: the destructor ends them all.
    QElapsedTimer timer;
    timer.start();
    manager.reset();
    QVERIFY2(timer.elapsed() < 60000, "the destructor waited for the flashes to end by themselves");
    for (const FlashDevice2Ptr& device : devices)
        QCOMPARE(device->getFlashState(), FlashDevice2::FlashState::Idle);
}

void tst_FlashManager::poolRunsThirtyTwoFlashesAtOnce()
{
    FlashManager manager;
    WindowDouble window(manager);
    std::vector<FlashDevice2Ptr> devices;
    std::vector<std::unique_ptr<TestFlashFile>> files;
    for (int i = 0; i < 33; ++i) {
        devices.push_back(device(DeviceState::MainOs, QString("SER%1").arg(i), QString("1-%1").arg(i + 1)));
        files.push_back(std::make_unique<TestFlashFile>(DeviceState::MainOs,
                                                        std::vector<QSharedPointer<FlashCommand>>{command(Type::Adb, true)}));
        QVERIFY(manager.startDeviceFlash(devices.back(), files.back()->configuration, false));
    }
    QTRY_COMPARE_WITH_TIMEOUT(window.startedCount(), 32, 60000);
    QTest::qWait(1000);
    QCOMPARE(window.startedCount(), 32);
    const auto waiting = std::find_if(devices.begin(), devices.end(), [](const FlashDevice2Ptr& device) {
        return device->getFlashState() == FlashDevice2::FlashState::Pending;
    });
    QVERIFY(waiting != devices.end());

    // One flash ends: the waiting one gets its thread.
    const FlashDevice2Ptr stopped = devices[0] == *waiting ? devices[1] : devices[0];
    manager.stopFlash(stopped);
    QTRY_COMPARE_WITH_TIMEOUT(window.startedCount(), 33, 30000);
    QTRY_COMPARE((*waiting)->getFlashState(), FlashDevice2::FlashState::Flashing);
    manager.stopFlash();
    QTRY_COMPARE_WITH_TIMEOUT(window.finishedCount(), 33, 60000);
}

void tst_FlashManager::onDemandStartsOnlyIdleDevicesInTheStartState_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("withConfiguration");
    QTest::addColumn<int>("startState");
    QTest::addColumn<int>("deviceState");
    QTest::addColumn<QString>("port");              // "virtual": a virtual device standing for nothing
    QTest::addColumn<bool>("busy");
    QTest::addColumn<bool>("flashed");
    QTest::addColumn<QString>("line");              // "LEVEL text"; empty: none expected

    const int onDemand = FlashManager::FM_MODE_ON_DEMAND;
    const int pos = int(DeviceState::ProvisioningOs);
    const int mos = int(DeviceState::MainOs);
    QTest::newRow("in the start state") << onDemand << true << pos << pos << "1-2" << false << true << QString();
    QTest::newRow("in another state") << onDemand << true << pos << mos << "1-2" << false << false
                                      << "INFO Cannot start on-demand flash, device must be first in 'pos' state";
    QTest::newRow("busy") << onDemand << true << pos << pos << "1-2" << true << false << QString();
    QTest::newRow("normal mode") << int(FlashManager::FM_MODE_NORMAL) << true << pos << pos << "1-2" << false
                                 << false << QString();
    QTest::newRow("no configuration") << onDemand << false << pos << pos << "1-2" << false << false
                                      << "INFO Cannot start on-demand flash, invalid flash file";
    QTest::newRow("recovery start state")
        << onDemand << true << int(DeviceState::RecoveryOs) << int(DeviceState::RecoveryOs) << "1-2" << false
        << false << "INFO Cannot start on-demand flash, flash file start state not supported";
    QTest::newRow("no connection") << onDemand << true << pos << pos << "virtual" << false << false
                                   << "ERROR Invalid device connection port";
}

void tst_FlashManager::onDemandStartsOnlyIdleDevicesInTheStartState()
{
    QFETCH(int, mode);
    QFETCH(bool, withConfiguration);
    QFETCH(int, startState);
    QFETCH(int, deviceState);
    QFETCH(QString, port);
    QFETCH(bool, busy);
    QFETCH(bool, flashed);
    QFETCH(QString, line);

    RecordingLogSink sink;
    DeviceManager devices;
    FlashManager manager;
    sink.bind(manager);
    QVERIFY(manager.setDeviceManager(&devices));
    WindowDouble window(manager);
    TestFlashFile flashFile(DeviceState(startState), {command(Type::Fastboot)});
    manager.setFlashManagerMode(FlashManager::FM_MODE_ENUM(mode),
                                withConfiguration ? flashFile.configuration : FlashConfigurationPtr());
    DummyDevice data = RunnerFixtures::deviceData(DeviceState(deviceState), "SER");
    if (port == "virtual")
        data.setPort(PortNumber::virtualPort(1));
    const FlashDevice2Ptr phone(new FlashDevice2(data, nullptr));
    if (busy)
        phone->setFlashState(FlashDevice2::FlashState::Flashing);

    emit devices.deviceDetected(phone);
    if (flashed) {
        QTRY_COMPARE_WITH_TIMEOUT(window.finishedCount(), 1, 30000);
        QCOMPARE(window.statusOf(phone), int(Status::Success));
    } else {
        QTest::qWait(300);
        QCOMPARE(window.startedCount(), 0);
    }
    if (!line.isEmpty())
        QVERIFY2(sink.rendered().contains(line), qPrintable(sink.rendered().join('\n')));

    // Something that is no engine device is refused in every mode.
    emit devices.deviceDetected(DevicePtr(new Device(data, nullptr)));
    QVERIFY(sink.rendered().contains("ERROR Invalid device"));
}

void tst_FlashManager::trayNotificationFollowsTheOutcome_data()
{
    QTest::addColumn<int>("commandResult");
    QTest::addColumn<bool>("stop");
    QTest::addColumn<int>("level");
    QTest::addColumn<QString>("text");
    QTest::newRow("success") << int(PerformSuccess) << false << int(Logger::INFO) << "Flash Success";
    QTest::newRow("failure") << int(PerformFailed) << false << int(Logger::ERROR) << "Flash failed";
    QTest::newRow("interrupted") << int(PerformSuccess) << true << int(Logger::WARNING) << "Flash cancelled";
}

void tst_FlashManager::trayNotificationFollowsTheOutcome()
{
    QFETCH(int, commandResult);
    QFETCH(bool, stop);
    QFETCH(int, level);
    QFETCH(QString, text);
    QCoreApplication::setApplicationName("quillonlite");
    FlashManager manager;
    QSignalSpy notified(&manager, &FlashManager::postSystemTrayNotification);
    const FlashDevice2Ptr phone = device(DeviceState::MainOs, "SER");
    TestFlashFile flashFile(DeviceState::MainOs, {command(Type::Adb, stop, commandResult)});
    QVERIFY(manager.startDeviceFlash(phone, flashFile.configuration, false));
    if (stop) {
        QTRY_COMPARE(phone->getFlashState(), FlashDevice2::FlashState::Flashing);
        manager.stopFlash(phone);
    }
    QTRY_COMPARE_WITH_TIMEOUT(notified.count(), 1, 30000);
    QCOMPARE(notified.at(0).at(0).value<Logger::LogLevel>(), Logger::LogLevel(level));
    QCOMPARE(notified.at(0).at(1).toString(), QString("quillonlite"));
    QCOMPARE(notified.at(0).at(2).toString(), text);
}

void tst_FlashManager::questionsReachTheWindowAndItsAnswerTheFlash()
{
    FlashManager manager;
    WindowDouble window(manager);
    window.cancelAnswer = true;
    auto* asking = new ScriptedCommand(QStringLiteral("ask"), {PerformSuccess},
                                       new FlashCommand::FlashCommandData(QStringLiteral("true"), false));
    asking->m_type = Type::Popup;
    asking->m_onPerform = [](const SharedPointer<FlashRunner>& runner, uint64_t, QString&) {
        bool cancel = false;
        runner->sendDisplayMessageBoxSignal(QStringLiteral("question"), QStringLiteral("Go on?"), &cancel);
        return cancel ? PerformFailed : PerformSuccess;
    };
    const FlashDevice2Ptr phone = device(DeviceState::MainOs, "SER");
    TestFlashFile flashFile(DeviceState::MainOs, {QSharedPointer<FlashCommand>(asking)});
    QVERIFY(manager.startDeviceFlash(phone, flashFile.configuration, false));
    QTRY_COMPARE_WITH_TIMEOUT(window.finishedCount(), 1, 30000);
    QCOMPARE(window.questions, QStringList{"question Go on?"});
    QCOMPARE(window.statusOf(phone), int(Status::Failure));
    QCOMPARE(window.finished().at(0).type, Type::Popup);
}

void tst_FlashManager::androidToolCheck_data()
{
    QTest::addColumn<QByteArray>("fastboot");   // body of the fake fastboot; empty: it can't start
    QTest::addColumn<QByteArray>("adb");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<bool>("adbRan");
    QTest::newRow("both answer") << QByteArray("exit 0") << QByteArray("exit 0") << true << true;
    QTest::newRow("fastboot missing") << QByteArray() << QByteArray("exit 0") << false << false;
    QTest::newRow("fastboot fails") << QByteArray("exit 1") << QByteArray("exit 0") << false << false;
    QTest::newRow("adb fails") << QByteArray("exit 0") << QByteArray("exit 1") << false << true;
}

void tst_FlashManager::androidToolCheck()
{
    QFETCH(QByteArray, fastboot);
    QFETCH(QByteArray, adb);
    QFETCH(bool, answer);
    QFETCH(bool, adbRan);
    QTemporaryDir dir;
    const QString adbMark = dir.filePath("adb-ran");
    // An executable whose interpreter does not exist never starts.
    const QString fastbootPath = fastboot.isEmpty()
        ? RunnerFixtures::writeFakeProgram(dir, "fastboot", QByteArray())
        : RunnerFixtures::writeFakeProgram(dir, "fastboot", "[ \"$1\" = help ] || exit 9\n" + fastboot);
    if (fastboot.isEmpty()) {
        QFile file(fastbootPath);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("#!/nonexistent/interpreter\n");
    }
    const QString adbPath = RunnerFixtures::writeFakeProgram(
        dir, "adb", "touch '" + QFile::encodeName(adbMark) + "'\n[ \"$1\" = help ] || exit 9\n" + adb);
    QVERIFY(FMConst::setTool(FMConst::FASTBOOT_TOOL_ID, fastbootPath));
    QVERIFY(FMConst::setTool(FMConst::ADB_TOOL_ID, adbPath));
    QCOMPARE(FlashManager::checkAndroidSDK(), answer);
    QCOMPARE(QFile::exists(adbMark), adbRan);
}

QTEST_GUILESS_MAIN(tst_FlashManager)
#include "tst_FlashManager.moc"
