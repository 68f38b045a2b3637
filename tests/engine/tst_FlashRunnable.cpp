// One flash of one device through FlashRunnable: the road from "Starting flash ..." to
// flashFinished, on simulated devices and on devices made in memory.

#include "EngineTestKit.h"
#include "RecordingLogSink.h"
#include "core/FMConst.h"
#include "core/MetaTypes.h"
#include "engine/EngineMetaTypes.h"
#include "model/ModelMetaTypes.h"
#include "engine/FlashRunnable.h"
#include "tests/model/ModelTestKit.h"
#include "tools/BuiltInKinds.h"

#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include <memory>


namespace {

// A runnable that the test runs on a thread of its own, as a pool thread would, recording its
// signals and lines.
struct RecordedRun
{
    RecordedRun(const FlashDevice2Ptr& device, const FlashConfigurationPtr& configuration)
        : runnable(new FlashRunnable(device, configuration))
        , started(runnable.get(), &FlashRunnable::flashStarted)
        , finished(runnable.get(), &FlashRunnable::flashFinished)
        , progress(runnable.get(), &FlashRunnable::progressionChanged)
        , infos(runnable.get(), &FlashRunnable::progressionInfoChanged)
    {
        runnable->setAutoDelete(false);
        sink.bind(*runnable);
    }

    void start()
    {
        thread.reset(QThread::create([this] { runnable->run(); }));
        thread->start();
    }

    bool wait(unsigned long timeoutMs = 60000) { return thread->wait(timeoutMs); }

    QList<QPair<uint64_t, uint64_t>> progressPairs() const
    {
        QList<QPair<uint64_t, uint64_t>> pairs;
        for (const QList<QVariant>& signal : progress)
            pairs << qMakePair(signal.at(1).value<uint64_t>(), signal.at(2).value<uint64_t>());
        return pairs;
    }

    QStringList infoTexts() const
    {
        QStringList texts;
        for (const QList<QVariant>& signal : infos)
            texts << signal.at(1).toString();
        return texts;
    }

    FlashTypes::FlashStatus status() const { return finished.at(0).at(1).value<FlashTypes::FlashStatus>(); }
    FlashTypes::CommandType type() const { return finished.at(0).at(2).value<FlashTypes::CommandType>(); }

    RecordingLogSink sink;
    std::unique_ptr<FlashRunnable> runnable;
    QSignalSpy started;
    QSignalSpy finished;
    QSignalSpy progress;
    QSignalSpy infos;
    std::unique_ptr<QThread> thread;
};

QSharedPointer<FlashCommand> scripted(FlashTypes::CommandType type, std::vector<int> results = {PerformSuccess})
{
    auto* command = new ScriptedCommand(QStringLiteral("step"), std::move(results),
                                        new FlashCommand::FlashCommandData(QStringLiteral("true"), false));
    command->m_type = type;
    return QSharedPointer<FlashCommand>(command);
}

FlashDevice2Ptr memoryDevice(DeviceState state, const QString& serial)
{
    DummyDevice data;
    data.setPort(PortNumber::usbPort(QStringLiteral("1-2")));
    data.setState(state);
    data.setSerial(serial);
    return FlashDevice2Ptr(new FlashDevice2(data, nullptr));
}

} // namespace

class tst_FlashRunnable : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void endOfARunOnASimulatedDevice_data();
    void endOfARunOnASimulatedDevice();
    void flashKeepsItsFlashFileAlive();

    void invalidStartStateEndsAtOnce();
    void dnxFirmwareStartsWithoutWaitOrPause();
    void stopWhileWaitingForTheStartState();
    void firstPauseIsTheCommandDelayOrHalfASecond_data();
    void firstPauseIsTheCommandDelayOrHalfASecond();
    void deviceWithoutSerialGetsNoPrefix();
    void runWithoutCommandReportsInternal();

    void durations_data();
    void durations();
};

void tst_FlashRunnable::initTestCase()
{
    registerMetaTypes();
    registerEngineMetaTypes();
    registerModelMetaTypes();
}

void tst_FlashRunnable::init()
{
    FMConst::resetToDefaults();
    BuiltInKinds::registerAll();
}

void tst_FlashRunnable::endOfARunOnASimulatedDevice_data()
{
    QTest::addColumn<QString>("deviceState");     // where the device is; the configuration starts in pos
    QTest::addColumn<QString>("fault");           // "knob=value" or empty
    QTest::addColumn<bool>("stopWhileFlashing");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("lastInfo");        // a regular expression
    QTest::addColumn<QString>("endLine");         // a regular expression over "LEVEL text"

    const int fastboot = int(FlashTypes::CommandType::Fastboot);
    QTest::newRow("success") << "pos" << QString() << false << 0 << fastboot
                             << R"(^ABC123: Flash success \(duration: \d+ (ms|s and \d+ ms)\)$)"
                             << R"(^INFO Flash success \(duration=00:00:\d\d\.\d\d\d\)$)";
    QTest::newRow("failure") << "pos" << "fail_match=flash" << false << 1 << fastboot
                             << R"(^ABC123: Flash failed \(Fastboot\)$)"
                             << R"(^ERROR Flash failed \(Command type: Fastboot\)$)";
    QTest::newRow("cancel") << "pos" << "hang_match=flash" << true << 2 << fastboot
                            << R"(^ABC123: Flash cancelled$)" << R"(^WARNING Flash cancelled$)";
    QTest::newRow("enumeration time-out")
        << "mos" << QString() << false << 1 << int(FlashTypes::CommandType::DeviceEnumeration)
        << R"(^Device on port 1-2 timeout to be enumerated \(TIMEOUT = 1\)$)" << QString();
}

void tst_FlashRunnable::endOfARunOnASimulatedDevice()
{
    QFETCH(QString, deviceState);
    QFETCH(QString, fault);
    QFETCH(bool, stopWhileFlashing);
    QFETCH(int, status);
    QFETCH(int, type);
    QFETCH(QString, lastInfo);
    QFETCH(QString, endLine);

    SimulatedStation station;
    QVERIFY(station.isValid());
    const FlashDevice2Ptr device = station.attach("ABC123", "1-2", deviceState);
    QVERIFY(device);
    if (!fault.isEmpty())
        QVERIFY(station.sim.setFault("ABC123", fault.section('=', 0, 0), fault.section('=', 1)));
    FMConst::OS_NO_ENUM = 1;

    const QString image = station.sim.folder() + "/boot.img";
    QFile imageFile(image);
    QVERIFY(imageFile.open(QIODevice::WriteOnly));
    imageFile.write("boot image");
    imageFile.close();
    TestFlashFile flashFile(DeviceState::ProvisioningOs,
                            {fastbootCommand("getvar product"), fastbootCommand("flash boot " + image)});
    QVERIFY(flashFile.configuration->getCommand(0) && flashFile.configuration->getCommand(1));

    RecordedRun run(device, flashFile.configuration);
    run.start();
    if (stopWhileFlashing) {
        QTRY_VERIFY_WITH_TIMEOUT(station.sim.commandLog().join('\n').contains("flash boot"), 30000);
        run.runnable->getRunner()->cancel();
    }
    QVERIFY2(run.wait(), "the flash did not end");

    QCOMPARE(run.started.count(), 1);
    QCOMPARE(run.finished.count(), 1);
    QCOMPARE(run.finished.at(0).at(0).value<FlashDevice2Ptr>(), device);
    QCOMPARE(int(run.status()), status);
    QCOMPARE(int(run.type()), type);
    const QStringList infos = run.infoTexts();
    QVERIFY(!infos.isEmpty());
    QVERIFY2(QRegularExpression(lastInfo).match(infos.last()).hasMatch(), qPrintable(infos.last()));
    QCOMPARE(device->getFlashState(), FlashDevice2::FlashState::Idle);
    // Every end detaches the runner, which holds the device: otherwise the two keep each other.
    QVERIFY(device->getFlashFile().isNull());

    const QStringList lines = run.sink.rendered();
    QCOMPARE(lines.value(0), QString("INFO Starting flash ..."));
    QVERIFY2(lines.contains("DEBUG Waiting for device in pos"), qPrintable(lines.join('\n')));
    const QList<QPair<uint64_t, uint64_t>> progress = run.progressPairs();
    QCOMPARE(progress.value(0), qMakePair(uint64_t(0), uint64_t(0)));
    if (endLine.isEmpty()) {
        // No command ran: the device never showed up in the start state.
        QVERIFY(!lines.contains("INFO Flash started"));
        QVERIFY(!station.sim.commandLog().join('\n').contains("getvar"));
        return;
    }
    QVERIFY(lines.contains("INFO Flash started"));
    QVERIFY(lines.contains("INFO Sleep 500 ms before executing first flash command"));
    const QRegularExpression end(endLine);
    const std::vector<RecordingLogSink::Line> recorded = run.sink.lines();
    bool found = false;
    for (const RecordingLogSink::Line& line : recorded) {
        if (end.match(RecordingLogSink::render(line)).hasMatch()) {
            found = true;
            QCOMPARE(line.label, QString("Port 1-2"));   // the end line carries the run's prefix
        }
    }
    QVERIFY2(found, qPrintable(lines.join('\n')));
    QCOMPARE(progress.value(1), qMakePair(uint64_t(0), uint64_t(2)));
    if (status == 0) {
        QCOMPARE(progress.last(), qMakePair(uint64_t(1), uint64_t(1)));
        QCOMPARE(progress.value(progress.size() - 2), qMakePair(uint64_t(2), uint64_t(2)));
        QVERIFY(!station.sim.device("ABC123")["partitions"].toObject()["boot"].toString().isEmpty());
    }
}

void tst_FlashRunnable::flashKeepsItsFlashFileAlive()
{
    SimulatedStation station;
    QVERIFY(station.isValid());
    const FlashDevice2Ptr device = station.attach("ABC123", "1-2", "pos");
    QVERIFY(device);
    QFile imageFile(station.sim.folder() + "/boot.img");
    QVERIFY(imageFile.open(QIODevice::WriteOnly));
    imageFile.write("boot image");
    imageFile.close();
    TestFlashFile flashFile(DeviceState::ProvisioningOs, {fastbootCommand("flash boot ${flashDir}/boot.img")});
    flashFile.file->m_path = station.sim.folder() + "/flash.json";

    RecordedRun run(device, flashFile.configuration);
    run.start();
    // As when the tab loads another file: the configuration holds its file only weakly.
    flashFile.file.reset();
    QVERIFY2(run.wait(), "the flash did not end");

    QCOMPARE(run.finished.count(), 1);
    QVERIFY2(run.status() == FlashTypes::FlashStatus::Success, qPrintable(run.sink.rendered().join('\n')));
    QVERIFY(station.sim.commandLog().join('\n').contains("flash boot " + station.sim.folder() + "/boot.img"));
}

void tst_FlashRunnable::invalidStartStateEndsAtOnce()
{
    const FlashDevice2Ptr device = memoryDevice(DeviceState::RecoveryOs, "SER");
    TestFlashFile flashFile(DeviceState::RecoveryOs, {scripted(FlashTypes::CommandType::Fastboot)});
    RecordedRun run(device, flashFile.configuration);
    run.start();
    QVERIFY(run.wait());
    QCOMPARE(run.started.count(), 1);
    QCOMPARE(run.progressPairs(), (QList<QPair<uint64_t, uint64_t>>{{0, 0}, {0, 1}}));
    QCOMPARE(run.infoTexts(), QStringList{"Invalid start state"});
    QCOMPARE(run.status(), FlashTypes::FlashStatus::Failure);
    QCOMPARE(run.type(), FlashTypes::CommandType::InitialDeviceState);
    QCOMPARE(device->getFlashState(), FlashDevice2::FlashState::Idle);
    QVERIFY(device->getFlashFile().isNull());
}

void tst_FlashRunnable::dnxFirmwareStartsWithoutWaitOrPause()
{
    // The device is nowhere near DnX firmware: a wait would never end.
    const FlashDevice2Ptr device = memoryDevice(DeviceState::MainOs, "SER");
    TestFlashFile flashFile(DeviceState::DnxFirmware, {scripted(FlashTypes::CommandType::Ifwi)});
    RecordedRun run(device, flashFile.configuration);
    run.start();
    QVERIFY2(run.wait(20000), "the flash waited for its device");
    QCOMPARE(run.status(), FlashTypes::FlashStatus::Success);
    QCOMPARE(run.type(), FlashTypes::CommandType::Ifwi);
    const QStringList lines = run.sink.rendered();
    QVERIFY2(lines.filter("Waiting for device").isEmpty() && !lines.contains("INFO Flash started"),
             qPrintable(lines.join('\n')));
}

void tst_FlashRunnable::stopWhileWaitingForTheStartState()
{
    const FlashDevice2Ptr device = memoryDevice(DeviceState::MainOs, "SER");
    auto command = scripted(FlashTypes::CommandType::Fastboot);
    TestFlashFile flashFile(DeviceState::ProvisioningOs, {command});
    RecordedRun run(device, flashFile.configuration);
    run.start();
    QTRY_VERIFY(device->isWaitingFor(DeviceState::ProvisioningOs));
    run.runnable->getRunner()->cancel();
    QVERIFY2(run.wait(20000), "the stop did not end the wait");
    QCOMPARE(run.status(), FlashTypes::FlashStatus::Interrupted);
    QCOMPARE(run.type(), FlashTypes::CommandType::DeviceEnumeration);
    QCOMPARE(run.infoTexts().last(), QString("Flash cancelled"));
    QVERIFY(static_cast<ScriptedCommand&>(*command).m_attempts.empty());
    QVERIFY(device->getFlashFile().isNull());
}

void tst_FlashRunnable::firstPauseIsTheCommandDelayOrHalfASecond_data()
{
    QTest::addColumn<int>("commandDelay");
    QTest::addColumn<QString>("line");
    QTest::newRow("no delay") << 0 << "INFO Sleep 500 ms before executing first flash command";
    QTest::newRow("2000 ms") << 2000 << "INFO Sleep 2000 ms before executing first flash command";
}

void tst_FlashRunnable::firstPauseIsTheCommandDelayOrHalfASecond()
{
    QFETCH(int, commandDelay);
    QFETCH(QString, line);
    FMConst::COMMAND_DELAY = uint64_t(commandDelay);
    const FlashDevice2Ptr device = memoryDevice(DeviceState::ProvisioningOs, "SER");
    TestFlashFile flashFile(DeviceState::ProvisioningOs, {scripted(FlashTypes::CommandType::Fastboot)});
    RecordedRun run(device, flashFile.configuration);
    QElapsedTimer timer;
    timer.start();
    run.start();
    QVERIFY(run.wait());
    QVERIFY(timer.elapsed() >= std::max(commandDelay, 500));
    QVERIFY2(run.sink.rendered().contains(line), qPrintable(run.sink.rendered().join('\n')));
}

void tst_FlashRunnable::deviceWithoutSerialGetsNoPrefix()
{
    const FlashDevice2Ptr device = memoryDevice(DeviceState::ProvisioningOs, QString());
    TestFlashFile flashFile(DeviceState::ProvisioningOs,
                            {scripted(FlashTypes::CommandType::Adb, {PerformFailed})});
    RecordedRun run(device, flashFile.configuration);
    run.start();
    QVERIFY(run.wait());
    QCOMPARE(run.infoTexts().last(), QString("Flash failed (ADB)"));
}

void tst_FlashRunnable::runWithoutCommandReportsInternal()
{
    const FlashDevice2Ptr device = memoryDevice(DeviceState::ProvisioningOs, "SER");
    TestFlashFile flashFile(DeviceState::ProvisioningOs, {});
    RecordedRun run(device, flashFile.configuration);
    run.start();
    QVERIFY(run.wait());
    QCOMPARE(run.status(), FlashTypes::FlashStatus::Success);
    QCOMPARE(run.type(), FlashTypes::CommandType::Internal);
}

void tst_FlashRunnable::durations_data()
{
    QTest::addColumn<qint64>("elapsedMs");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("stamp");
    QTest::newRow("0 ms") << qint64(0) << "0 ms" << "00:00:00.000";
    QTest::newRow("999 ms") << qint64(999) << "999 ms" << "00:00:00.999";
    QTest::newRow("1 s") << qint64(1000) << "1 s and 0 ms" << "00:00:01.000";
    QTest::newRow("1 min") << qint64(60000) << "1 min and 0 s" << "00:01:00.000";
    QTest::newRow("12 min 34.321 s") << qint64(754321) << "12 min and 34 s" << "00:12:34.321";
    QTest::newRow("1 h") << qint64(3600000) << "1 h, 0 min and 0 s" << "01:00:00.000";
    QTest::newRow("23 h 59 min 59.999 s") << qint64(86399999) << "23 h, 59 min and 59 s" << "23:59:59.999";
    QTest::newRow("25 h") << qint64(90000000) << "25 h, 0 min and 0 s" << "25:00:00.000";
    QTest::newRow("100 h 1 ms") << qint64(360000001) << "100 h, 0 min and 0 s" << "100:00:00.001";
}

void tst_FlashRunnable::durations()
{
    QFETCH(qint64, elapsedMs);
    QFETCH(QString, text);
    QFETCH(QString, stamp);
    QCOMPARE(FlashRunnable::durationText(elapsedMs), text);
    QCOMPARE(FlashRunnable::durationStamp(elapsedMs), stamp);
}

QTEST_GUILESS_MAIN(tst_FlashRunnable)
#include "tst_FlashRunnable.moc"
