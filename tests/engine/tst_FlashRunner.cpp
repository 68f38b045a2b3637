#include "core/ChildProcess.h"
#include "engine/EngineMetaTypes.h"
#include "engine/FlashRunner.h"
#include "model/FlashConfiguration.h"
#include "model/FlashParameter.h"
#include "model/FlashParameterValueString.h"
#include "model/FlashParameterValueTemporaryFile.h"
#include "model/FlashParameterValueTemporaryFileStorage.h"
#include "model/FlashVariableValueStorage.h"
#include "core/MetaTypes.h"
#include "core/ThreadPool.h"
#include "FunctionTask.h"
#include "RecordingLogSink.h"
#include "tests/engine/RunnerFixtures.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <QWaitCondition>
#include <QtTest>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include <csignal>

using namespace RunnerFixtures;

namespace {

// Runs `work` on a thread of its own, as a flash pool thread would.
std::unique_ptr<QThread> startThread(std::function<void()> work)
{
    std::unique_ptr<QThread> thread(QThread::create(std::move(work)));
    thread->start();
    return thread;
}


// The pid a fake program wrote into `path`; 0 until it is there.
qint64 readPid(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    return file.readAll().trimmed().toLongLong();
}

// A device whose wait lets something happen right before it registers the caller's condition,
// the moment a stop used to get lost in.
class DeviceWithLateRegistration : public FlashDevice2
{
public:
    using FlashDevice2::FlashDevice2;
    using FlashDevice2::waitForDevice;

    bool waitForDevice(QWaitCondition& condition, DeviceState state, uint64_t timeoutMs) override
    {
        if (beforeRegistration) {
            beforeRegistration();
            beforeRegistration = nullptr;
        }
        return FlashDevice2::waitForDevice(condition, state, timeoutMs);
    }

    std::function<void()> beforeRegistration;
};

} // namespace

class tst_FlashRunner : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void commandProgressIsScaledIntoTheConfiguration();
    void logLinesCarryThePort();

    void sleepEndsByTimeOrCancel_data();
    void sleepEndsByTimeOrCancel();
    void waitForConditionReportsWakeAndTimeOut();

    void cancelKillsTheRunningProgramAtOnce();
    void programOutcome_data();
    void programOutcome();

    void waitForDeviceOutcome_data();
    void waitForDeviceOutcome();
    void cancelEndsADeviceWait();
    void stopDuringTheDeviceRegistrationIsNotLost();

    void cancelTouchesOnlyTheDeviceItFlashes_data();
    void cancelTouchesOnlyTheDeviceItFlashes();
    void cancelLetsTheDeviceReceiversCallTheRunner();
    void runnerReleasedUnderTheDeviceLockEnds();

    void parameterValuesFollowTheSelection();
    void storagesAreKeptPerValueAndDeletedWithTheRun();

private:
    QTemporaryDir m_dir;
};

void tst_FlashRunner::initTestCase()
{
    registerMetaTypes();
    registerEngineMetaTypes();
    QVERIFY(m_dir.isValid());
}

void tst_FlashRunner::commandProgressIsScaledIntoTheConfiguration()
{
    FlashRunner runner;
    QSignalSpy spy(&runner, &FlashRunner::progressionChanged);
    runner.setConfigurationProgression(2, 5);
    runner.setCommandProgression(1, 4);
    // Large totals must not overflow 32 bits.
    runner.setCommandProgression(3000000000ULL, 4000000000ULL);
    QCOMPARE(spy.count(), 3);
    QCOMPARE(spy.at(0), (QVariantList{QVariant::fromValue<uint64_t>(2), QVariant::fromValue<uint64_t>(5)}));
    QCOMPARE(spy.at(1), (QVariantList{QVariant::fromValue<uint64_t>(9), QVariant::fromValue<uint64_t>(20)}));
    QCOMPARE(spy.at(2), (QVariantList{QVariant::fromValue<uint64_t>(11000000000ULL),
                                      QVariant::fromValue<uint64_t>(20000000000ULL)}));
    uint64_t done = 0;
    uint64_t total = 0;
    runner.getProgress(done, total);
    QCOMPARE(done, uint64_t(2));
    QCOMPARE(total, uint64_t(5));
}

void tst_FlashRunner::logLinesCarryThePort()
{
    const SharedPointer<FlashDevice2> device = makeDevice(DeviceState::MainOs, QStringLiteral("ABC"));
    FlashRunner runner(nullptr, device, QSharedPointer<FlashConfiguration>());
    RecordingLogSink sink;
    sink.bind(runner);
    runner.logMessage(Logger::WARNING, QStringLiteral("hello"));
    const auto lines = sink.lines();
    QCOMPARE(int(lines.size()), 1);
    QCOMPARE(lines[0].level, Logger::WARNING);
    QCOMPARE(lines[0].label, QStringLiteral("Port 1-2"));
    QCOMPARE(lines[0].text, QStringLiteral("hello"));
}

void tst_FlashRunner::sleepEndsByTimeOrCancel_data()
{
    QTest::addColumn<qulonglong>("delay");
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<int>("expected");

    QTest::newRow("no delay") << qulonglong(0) << false << int(FlashRunner::SleepElapsed);
    QTest::newRow("short delay passes") << qulonglong(30) << false << int(FlashRunner::SleepElapsed);
    QTest::newRow("cancel wakes a long sleep") << qulonglong(600000) << true << int(FlashRunner::SleepCancelled);
    QTest::newRow("cancel wakes an unlimited sleep")
        << qulonglong(~0ULL) << true << int(FlashRunner::SleepCancelled);
}

void tst_FlashRunner::sleepEndsByTimeOrCancel()
{
    QFETCH(qulonglong, delay);
    QFETCH(bool, cancel);
    QFETCH(int, expected);

    FlashRunner runner;
    int result = -1;
    QElapsedTimer timer;
    timer.start();
    auto thread = startThread([&] { result = runner.sleep(delay); });
    if (cancel) {
        QVERIFY(!thread->wait(50)); // asleep, so the cancel has to wake it
        runner.cancel();
    }
    QVERIFY2(thread->wait(5000), "the sleep was not woken");
    QCOMPARE(result, expected);
    if (!cancel)
        QVERIFY(uint64_t(timer.elapsed()) >= delay);
    // After a cancel every sleep ends at once.
    if (cancel)
        QCOMPARE(runner.sleep(600000), int(FlashRunner::SleepCancelled));
}

void tst_FlashRunner::waitForConditionReportsWakeAndTimeOut()
{
    FlashRunner runner;
    QWaitCondition condition;
    QCOMPARE(runner.waitForCondition(condition, 10), int(FlashRunner::WaitTimedOut));

    int result = -1;
    auto thread = startThread([&] { result = runner.waitForCondition(condition, 600000); });
    while (!thread->wait(10))
        condition.wakeAll();
    QCOMPARE(result, int(FlashRunner::WaitDone));
}

void tst_FlashRunner::cancelKillsTheRunningProgramAtOnce()
{
    // A wrapper whose child would outlive a kill of the wrapper alone; it runs on a thread of the
    // pool that flashes run on.
    const QString marker = m_dir.filePath(QStringLiteral("started"));
    const QString program = writeFakeProgram(m_dir, QStringLiteral("hang"),
                                             "sleep 30 &\necho $! > \"$1\"\nwait");
    FlashRunner runner;
    std::atomic<ProgramOutcome> result{ProgramOutcome::Ok};
    std::atomic<bool> ended{false};
    QProcess::ProcessState stateAfter = QProcess::Running;
    QElapsedTimer timer;
    timer.start();
    ThreadPool pool;
    pool.start(new FunctionTask([&] {
        ChildProcess process;
        result = runner.runExternalProgram(process, program, {marker}, 600000);
        stateAfter = process.state();
        ended = true;
    }));
    qint64 child = 0;
    QTRY_VERIFY((child = readPid(marker)) > 0);
    runner.cancel();
    QTRY_VERIFY2_WITH_TIMEOUT(ended.load(), "the program was not killed", 5000);
    QVERIFY(timer.elapsed() < 10000);
    QCOMPARE(result.load(), ProgramOutcome::Cancelled);
    QCOMPARE(stateAfter, QProcess::NotRunning);
    QTRY_VERIFY2_WITH_TIMEOUT(::kill(pid_t(child), 0) != 0, "the program's child survived the cancel", 5000);
}

void tst_FlashRunner::programOutcome_data()
{
    QTest::addColumn<QByteArray>("body");  // null: no program at all
    QTest::addColumn<qulonglong>("timeout");
    QTest::addColumn<bool>("cancelFirst");
    QTest::addColumn<ProgramOutcome>("expected");
    QTest::addColumn<int>("exitCode");

    QTest::newRow("finishes") << QByteArray("echo out; exit 3") << qulonglong(10000) << false
                              << ProgramOutcome::Failed << 3;
    QTest::newRow("time-out kills it") << QByteArray("exec sleep 30") << qulonglong(200) << false
                                       << ProgramOutcome::TimedOut << -1;
    // Cut to its low 32 bits this time-out would be 1 ms.
    QTest::newRow("time-out above 2^31-1 means no limit")
        << QByteArray("sleep 0.3; exit 4") << qulonglong(0x100000001ULL) << false
        << ProgramOutcome::Failed << 4;
    QTest::newRow("not started") << QByteArray() << qulonglong(10000) << false
                                 << ProgramOutcome::NotStarted << -1;
    QTest::newRow("cancelled before") << QByteArray("touch \"$1\"") << qulonglong(10000) << true
                                      << ProgramOutcome::Cancelled << -1;
}

void tst_FlashRunner::programOutcome()
{
    QFETCH(QByteArray, body);
    QFETCH(qulonglong, timeout);
    QFETCH(bool, cancelFirst);
    QFETCH(ProgramOutcome, expected);
    QFETCH(int, exitCode);

    const QString marker = m_dir.filePath(QStringLiteral("marker-%1").arg(QTest::currentDataTag()));
    const QString program = body.isNull() ? m_dir.filePath(QStringLiteral("absent"))
                                          : writeFakeProgram(m_dir, QStringLiteral("tool"), body);
    FlashRunner runner;
    if (cancelFirst)
        runner.cancel();
    ChildProcess process;
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(runner.runExternalProgram(process, program, {marker}, timeout), expected);
    QVERIFY(timer.elapsed() < 10000);
    QCOMPARE(process.state(), QProcess::NotRunning);
    if (exitCode >= 0)
        QCOMPARE(process.exitCode(), exitCode);
    if (cancelFirst)
        QVERIFY2(!QFile::exists(marker), "a cancelled run started the program");
}

void tst_FlashRunner::waitForDeviceOutcome_data()
{
    QTest::addColumn<bool>("withDevice");
    QTest::addColumn<int>("flashState");
    QTest::addColumn<int>("expected");

    QTest::newRow("no device") << false << 2 << int(FlashRunner::WaitTimedOut);
    QTest::newRow("idle device refuses") << true << 0 << int(FlashRunner::WaitTimedOut);
    QTest::newRow("already in the state") << true << 2 << int(FlashRunner::WaitDone);
}

void tst_FlashRunner::waitForDeviceOutcome()
{
    QFETCH(bool, withDevice);
    QFETCH(int, flashState);
    QFETCH(int, expected);

    SharedPointer<FlashDevice2> device;
    if (withDevice) {
        device = makeDevice(DeviceState::ProvisioningOs, QStringLiteral("ABC"));
        device->setFlashState(static_cast<FlashDevice2::FlashState>(flashState));
    }
    FlashRunner runner(nullptr, device, QSharedPointer<FlashConfiguration>());
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(runner.waitForDevice(DeviceState::ProvisioningOs, 600000), expected);
    QVERIFY(timer.elapsed() < 5000);
}

void tst_FlashRunner::cancelEndsADeviceWait()
{
    const SharedPointer<FlashDevice2> device = makeDevice(DeviceState::MainOs, QStringLiteral("ABC"));
    device->setFlashState(FlashDevice2::FlashState::Flashing);
    FlashRunner runner(nullptr, device, QSharedPointer<FlashConfiguration>());
    int result = -1;
    auto thread = startThread([&] { result = runner.waitForDevice(DeviceState::ProvisioningOs, 600000); });
    QVERIFY(!thread->wait(50)); // still waiting for a state the device is not in
    runner.cancel();
    QVERIFY2(thread->wait(5000), "the cancel did not end the wait");
    QCOMPARE(result, int(FlashRunner::WaitCancelled));

    // And the state reached wakes a wait of another run.
    FlashRunner other(nullptr, device, QSharedPointer<FlashConfiguration>());
    device->setFlashState(FlashDevice2::FlashState::Flashing);
    thread = startThread([&] { result = other.waitForDevice(DeviceState::ProvisioningOs, 600000); });
    QVERIFY(!thread->wait(50));
    updateDevice(*device, DeviceState::ProvisioningOs, QStringLiteral("ABC"));
    QVERIFY2(thread->wait(5000), "the device update did not end the wait");
    QCOMPARE(result, int(FlashRunner::WaitDone));
}

void tst_FlashRunner::stopDuringTheDeviceRegistrationIsNotLost()
{
    auto* rawDevice = new DeviceWithLateRegistration(deviceData(DeviceState::MainOs, QStringLiteral("ABC")), nullptr);
    const SharedPointer<FlashDevice2> device(rawDevice);
    device->setFlashState(FlashDevice2::FlashState::Flashing);
    FlashRunner runner(nullptr, device, QSharedPointer<FlashConfiguration>());
    rawDevice->beforeRegistration = [&runner] { runner.cancel(); };

    QElapsedTimer timer;
    timer.start();
    QCOMPARE(runner.waitForDevice(DeviceState::ProvisioningOs, 30000), int(FlashRunner::WaitCancelled));
    QVERIFY2(timer.elapsed() < 5000, "the stop waited for the time-out");
}

void tst_FlashRunner::cancelTouchesOnlyTheDeviceItFlashes_data()
{
    QTest::addColumn<bool>("attached");
    QTest::addColumn<int>("stateBefore");
    QTest::addColumn<int>("stateAfter");

    QTest::newRow("its own flash goes pending") << true << 2 << 1;
    QTest::newRow("another run's flash is left alone") << false << 2 << 2;
    QTest::newRow("an idle device stays idle") << true << 0 << 0;
}

void tst_FlashRunner::cancelTouchesOnlyTheDeviceItFlashes()
{
    QFETCH(bool, attached);
    QFETCH(int, stateBefore);
    QFETCH(int, stateAfter);

    const SharedPointer<FlashDevice2> device = makeDevice(DeviceState::MainOs, QStringLiteral("ABC"));
    SharedPointer<FlashRunner> runner(new FlashRunner(nullptr, device, QSharedPointer<FlashConfiguration>()));
    SharedPointer<FlashRunner> laterRun(new FlashRunner(nullptr, device, QSharedPointer<FlashConfiguration>()));
    device->setFlashFile(attached ? runner : laterRun);
    device->setFlashState(static_cast<FlashDevice2::FlashState>(stateBefore));
    RecordingLogSink sink;
    sink.bind(*runner);

    runner->cancel();
    runner->cancel();
    QCOMPARE(int(device->getFlashState()), stateAfter);
    QCOMPARE(sink.texts(Logger::TRACE).count(QStringLiteral("Canceling flash...")), stateAfter != stateBefore ? 1 : 0);
    QVERIFY(runner->isCancelled());
    QVERIFY(!laterRun->isCancelled());
    device->setFlashFile(SharedPointer<FlashRunner>());
}

void tst_FlashRunner::cancelLetsTheDeviceReceiversCallTheRunner()
{
    const SharedPointer<FlashDevice2> device = makeDevice(DeviceState::MainOs, QStringLiteral("ABC"));
    SharedPointer<FlashRunner> runner(new FlashRunner(nullptr, device, QSharedPointer<FlashConfiguration>()));
    device->setFlashFile(runner);
    device->setFlashState(FlashDevice2::FlashState::Flashing);

    // The flash state change that the cancel makes reaches direct receivers; one of them asks the
    // runner for something that takes its lock, from another thread (detached) so that a lock
    // still held shows as a time-out here rather than a hang.
    bool received = false;
    bool runnerAnswered = false;
    QObject context;
    connect(device.data(), &Device::dataChanged, &context, [&] {
        received = true;
        const auto answer = std::make_shared<std::atomic<int>>(-1);
        std::thread([runner, answer] {
            QWaitCondition condition;
            *answer = runner->waitForCondition(condition, 0);
        }).detach();
        QElapsedTimer waited;
        waited.start();
        while (*answer < 0 && waited.elapsed() < 5000)
            QThread::msleep(5);
        runnerAnswered = *answer == int(FlashRunner::WaitCancelled);
    }, Qt::DirectConnection);

    runner->cancel();
    QVERIFY(received);
    QVERIFY2(runnerAnswered, "the cancel emitted while it held the runner's lock");
    QCOMPARE(device->getFlashState(), FlashDevice2::FlashState::Pending);
    disconnect(device.data(), nullptr, &context, nullptr);
    device->setFlashFile(SharedPointer<FlashRunner>());
}

void tst_FlashRunner::runnerReleasedUnderTheDeviceLockEnds()
{
    const SharedPointer<FlashDevice2> device = makeDevice(DeviceState::MainOs, QStringLiteral("ABC"));
    device->setFlashState(FlashDevice2::FlashState::Flashing);
    const auto released = std::make_shared<std::atomic<bool>>(false);
    // The device drops its runner while it holds its own lock. Detached, so that a dead-locked
    // release fails the check below instead of hanging the suite.
    std::thread([device, released] {
        auto* runner = new SharedPointer<FlashRunner>(
            new FlashRunner(nullptr, device, QSharedPointer<FlashConfiguration>()));
        QWriteLocker locker(&device->getLock());
        delete runner;
        *released = true;
    }).detach();

    QTRY_VERIFY2_WITH_TIMEOUT(released->load(), "the dying runner waited for the device's lock", 5000);
    QCOMPARE(device->getFlashState(), FlashDevice2::FlashState::Flashing);
}

void tst_FlashRunner::parameterValuesFollowTheSelection()
{
    FlashConfiguration::Parameters parameters{
        {QStringLiteral("two"),
         QSharedPointer<FlashParameter>::create(
             QStringLiteral("two"), QStringLiteral("Two"),
             std::map<QString, FlashParameterValueString*>{
                 {QStringLiteral("a"), new FlashParameterValueString(QStringLiteral("a"), QStringLiteral("A"), QString())},
                 {QStringLiteral("b"), new FlashParameterValueString(QStringLiteral("b"), QStringLiteral("B"), QString())}})},
        {QStringLiteral("single"),
         QSharedPointer<FlashParameter>::create(
             QStringLiteral("single"), QStringLiteral("Single"),
             std::map<QString, FlashParameterValueString*>{
                 {QStringLiteral("only"), new FlashParameterValueString(QStringLiteral("only"), QStringLiteral("O"), QString())}})},
        {QStringLiteral("unselected"),
         QSharedPointer<FlashParameter>::create(
             QStringLiteral("unselected"), QStringLiteral("Unselected"),
             std::map<QString, FlashParameterValueString*>{
                 {QStringLiteral("x"), new FlashParameterValueString(QStringLiteral("x"), QStringLiteral("X"), QString())},
                 {QStringLiteral("y"), new FlashParameterValueString(QStringLiteral("y"), QStringLiteral("Y"), QString())}})},
    };
    FlashConfiguration::ParameterValues selection{{QStringLiteral("two"), QStringLiteral("b")},
                                                  {QStringLiteral("single"), QStringLiteral("other")}};
    auto configuration = QSharedPointer<FlashConfiguration>::create(
        DeviceState::MainOs, FlashConfiguration::UnknownGroupsEnabled, QStringLiteral("cfg"), QStringLiteral("Cfg"),
        QString(), QString(), QString(), false, parameters, selection);
    FlashRunner runner(nullptr, SharedPointer<FlashDevice2>(), configuration);

    QCOMPARE(runner.getFlashParameterValue(QStringLiteral("two"))->getValue(), QStringLiteral("B"));
    QCOMPARE(runner.getFlashParameterValue(QStringLiteral("two"), QStringLiteral("a"))->getValue(), QStringLiteral("A"));
    QVERIFY(!runner.getFlashParameterValue(QStringLiteral("single")));
    QVERIFY(!runner.getFlashParameterValue(QStringLiteral("unselected")));
    QVERIFY(!runner.getFlashParameterValue(QStringLiteral("absent")));
    QVERIFY(!runner.getFlashParameterValue(QStringLiteral("two"), QStringLiteral("c")));
    QVERIFY(!runner.getFlashParameter(QStringLiteral("absent")));

    const FlashRunner::ParameterValues values = runner.getFlashParameterValues();
    QCOMPARE(int(values.size()), 2);
    QCOMPARE(values.at(QStringLiteral("two"))->getValue(), QStringLiteral("B"));
    QCOMPARE(values.at(QStringLiteral("single"))->getValue(), QStringLiteral("O"));

    // The run keeps its own copy of the selection.
    configuration->setParameterValue(QStringLiteral("two"), QStringLiteral("a"));
    QCOMPARE(runner.getFlashParameterValue(QStringLiteral("two"))->getValue(), QStringLiteral("B"));
}

void tst_FlashRunner::storagesAreKeptPerValueAndDeletedWithTheRun()
{
    FlashParameterValueTemporaryFile temporary(QString(), QStringLiteral("runner-test-XXXXXX"), QStringLiteral("scratch"));
    FlashParameterValueString key(QString(), QStringLiteral("v"), QString());
    auto runner = std::make_unique<FlashRunner>();

    auto* storage = runner->getStorage<FlashVariableValueStorage, QVariant>(&key, QVariant(5));
    QVERIFY(storage != nullptr);
    storage->setValue(QVariant(6));
    QCOMPARE(runner->getStorage<FlashVariableValueStorage>(&key, QVariant(7)), storage);
    QCOMPARE(storage->getValue(), QVariant(6));
    QVERIFY(!(runner->getStorage<FlashParameterValueTemporaryFileStorage, QString>(&key, QStringLiteral("x"))));

    const QString path = temporary.getValue(*runner);
    QVERIFY2(!path.isEmpty() && QFile::exists(path), qPrintable(path));
    QCOMPARE(temporary.getValue(*runner), path);
    runner.reset();
    QVERIFY2(!QFile::exists(path), "the run's temporary file outlived the run");
}

QTEST_GUILESS_MAIN(tst_FlashRunner)
#include "tst_FlashRunner.moc"
