// The firmware downloader command run through the downloader API library: this test sits beside
// the scriptable test backend, which the command loads through its real loading path.

#include "ToolsTestKit.h"

#include "TestDravikBackend.h"
#include "core/FMConst.h"
#include "platform/downloader/DravikDownloaderLibrary.h"
#include "tools/BuiltInKinds.h"
#include "tools/DravikFlashCommand.h"

#include <QElapsedTimer>
#include <QtTest>

using namespace ToolsTestKit;

namespace {

const QByteArray kMinimal = R"({"tool": "dravikDownloader", "ifwi": "ifwi.bin", "ifwi_dnx": "dnx.bin", "gpflag": "0x5"})";

} // namespace

class tst_DravikLibraryRoute : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void callOrder_data();
    void callOrder();
    void threeFailedDownloads_data();
    void threeFailedDownloads();
    void successOnTheSecondDownload();
    void statusLinesReachTheRun();
    void stopEndsTheRetries();
    void refusedDownloader();
    void version();

private:
    // Runs `command` on a device with SoC serial SOC1; its run log goes to m_runLog.
    int run(const FlashCommand& command, QString& error);

    TestDravikBackendScript* m_script = nullptr;
    RecordingLogSink m_runLog;
    SharedPointer<FlashDevice2> m_device;
    SharedPointer<FlashRunner> m_runner;
};

void tst_DravikLibraryRoute::initTestCase()
{
    registerMetaTypes();
    registerEngineMetaTypes();
    BuiltInKinds::registerAll();
    m_script = TestDravikBackend::script(DravikDownloaderLibrary::backendPath());
    QVERIFY2(m_script, "the test backend is not beside the test");
}

void tst_DravikLibraryRoute::init()
{
    FMConst::resetToDefaults();
    m_script->reset();
    m_runLog.clear();
    m_device = RunnerFixtures::makeDevice(DeviceState::DnxFirmware, "SOC1");
    m_runner = makeRunner(m_device, makeConfiguration(), &m_runLog);
}

void tst_DravikLibraryRoute::cleanup()
{
    // Every downloader goes back to the backend, whatever the outcome.
    QCOMPARE(m_script->liveObjects, 0);
    m_runner.clear();
}

int tst_DravikLibraryRoute::run(const FlashCommand& command, QString& error)
{
    return command.performCommand(m_runner, m_device, 1, error);
}

void tst_DravikLibraryRoute::callOrder_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<bool>("solo");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QStringList>("log");

    QTest::newRow("single device") << kMinimal << true
        << QStringList{"alloc", "setEnumerationTimeout(40)", "setStatusVerbosity(1)", "setStatusCallback(set)",
                       "setWipeIfwi(0)", "setMiscDnx(0,)", "downloadSolo(dnx.bin,ifwi.bin,,,0x5,)", "dealloc"}
        << QStringList{"DEBUG Flash ifwi with GPFlag 0x5", "INFO Disabling Dravik wipe out IFWI option",
                       "INFO Disabling Dravik Misc DnX", "INFO Dravik Soft Fuse not set",
                       "INFO Using Dravik Solo interface (new API)"};
    QTest::newRow("target serial")
        << QByteArray(R"({"tool": "dravikDownloader", "ifwi": "i", "ifwi_dnx": "id", "os": "o", "os_dnx": "od",
                          "gpflag": "g", "xxr_dnx": "x.bin", "soft_fuse": "s.bin"})")
        << false
        << QStringList{"alloc", "setEnumerationTimeout(40)", "setStatusVerbosity(1)", "setStatusCallback(set)",
                       "setWipeIfwi(0)", "setMiscDnx(1,x.bin)", "downloadMulti(id,i,od,o,g,SOC1,s.bin)", "dealloc"}
        << QStringList{"DEBUG Flash ifwi with GPFlag g", "INFO Disabling Dravik wipe out IFWI option",
                       "INFO Enabling Dravik Misc DnX x.bin", "INFO Dravik Soft Fuse (file: s.bin)",
                       "INFO Using Dravik MT interface (new API)"};
}

void tst_DravikLibraryRoute::callOrder()
{
    QFETCH(QByteArray, json);
    QFETCH(bool, solo);
    QFETCH(QStringList, calls);
    QFETCH(QStringList, log);
    FMConst::USE_DRAVIK_SOLO = solo;
    const QSharedPointer<FlashCommand> command = ToolsTestKit::command(json);
    QVERIFY(command);
    QString error;
    QCOMPARE(run(*command, error), int(PerformSuccess));
    QVERIFY2(error.isNull(), qPrintable(error));
    QCOMPARE(m_script->recordedCalls(), calls);
    QCOMPARE(m_runLog.rendered(), log);
}

void tst_DravikLibraryRoute::threeFailedDownloads_data()
{
    QTest::addColumn<bool>("solo");
    QTest::addColumn<QString>("download");
    QTest::addColumn<QString>("warning");

    QTest::newRow("target serial") << false << "downloadMulti(dnx.bin,ifwi.bin,,,0x5,SOC1,)"
                                   << "WARNING Retry IFW Flashing - Serial: SOC1";
    QTest::newRow("single device") << true << "downloadSolo(dnx.bin,ifwi.bin,,,0x5,)" << "WARNING Retry IFW Flashing";
}

void tst_DravikLibraryRoute::threeFailedDownloads()
{
    QFETCH(bool, solo);
    QFETCH(QString, download);
    QFETCH(QString, warning);
    FMConst::USE_DRAVIK_SOLO = solo;
    m_script->downloads = {false, false, false, true};
    m_script->errorCode = 61;
    m_script->errorText = "  Device not found \n";
    const QSharedPointer<FlashCommand> command = ToolsTestKit::command(kMinimal);
    QElapsedTimer timer;
    timer.start();
    QString error;
    QCOMPARE(run(*command, error), int(PerformFailed));
    QVERIFY(timer.elapsed() >= 2000);   // one second before each retry
    QCOMPARE(error, QString("Dravik API exited with error code 61 (Device not found)"));
    QCOMPARE(m_script->recordedCalls().filter("download"), (QStringList{download, download, download}));
    QCOMPARE(m_script->recordedCalls().count("getLastError"), 3);
    QCOMPARE(m_runLog.rendered({"WARNING"}), (QStringList{warning, warning}));
}

void tst_DravikLibraryRoute::successOnTheSecondDownload()
{
    m_script->downloads = {false, true};
    m_script->errorCode = 3;
    m_script->errorText = "Busy";
    const QSharedPointer<FlashCommand> command = ToolsTestKit::command(kMinimal);
    // The command loop logs the kind's text instead of its own outcome line: a success carries none.
    QCOMPARE(command->execute(m_runner, m_device), ExecuteSuccess);
    QCOMPARE(m_script->recordedCalls().filter("download").size(), 2);
    const QStringList lines = m_runLog.rendered();
    QCOMPARE(lines.filter("WARNING Retry IFW Flashing").size(), 1);
    QVERIFY2(lines.filter("error code").isEmpty(), qPrintable(lines.join('\n')));
    QVERIFY(lines.last().endsWith(" succeed"));
}

void tst_DravikLibraryRoute::statusLinesReachTheRun()
{
    m_script->statusLines = {"DRAVIK-PROGRESS--30", "DRAVIK-STATUS--PASS", "DRAVIK-PROGRESS--USBSN:SOC1--50",
                             "DRAVIK-STATUS--Error Code: 0 - Success"};
    m_runner->setConfigurationProgression(0, 1);
    QSignalSpy progress(m_runner.data(), &FlashRunner::progressionChanged);
    QSignalSpy info(m_runner.data(), &FlashRunner::progressionInfoChanged);
    QString error;
    QCOMPARE(run(*ToolsTestKit::command(kMinimal), error), int(PerformSuccess));
    QStringList seen;
    for (const QList<QVariant>& change : progress)
        seen << QString::number(change.at(0).value<uint64_t>()) + '/' + QString::number(change.at(1).value<uint64_t>());
    QCOMPARE(seen, (QStringList{"30/200", "100/200", "150/200"}));
    QCOMPARE(info.count(), 2);
    QCOMPARE(info.at(0).at(0).toString(), QString("Flashing IFWI: *** DO NOT DISCONNECT THE DEVICE ***"));
    QCOMPARE(m_runLog.rendered({"INFO DRAVIK"}), QStringList{"INFO DRAVIK-STATUS--Error Code: 0 - Success"});
}

void tst_DravikLibraryRoute::stopEndsTheRetries()
{
    // The operator stops the flash while the first download runs: no second download follows.
    m_script->downloads = {false, false, false};
    m_script->statusLines = {"DRAVIK-LOG--pulling the cable"};
    m_runLog.setOnLine([this](const RecordingLogSink::Line& line) {
        if (line.text.contains("pulling the cable"))
            m_runner->cancel();
    });
    QString error;
    QCOMPARE(run(*ToolsTestKit::command(kMinimal), error), int(PerformCancelled));
    m_runLog.setOnLine(nullptr);
    QCOMPARE(m_script->recordedCalls().filter("download").size(), 1);
    QCOMPARE(m_script->recordedCalls().last(), QString("dealloc"));
}

void tst_DravikLibraryRoute::refusedDownloader()
{
    m_script->refuseAllocation = true;
    QString error;
    QCOMPARE(run(*ToolsTestKit::command(kMinimal), error), int(PerformFailed));
    QCOMPARE(error, QString("Failed to allocate Dravik downloader"));
    QCOMPARE(m_script->recordedCalls(), QStringList{"alloc"});
}

void tst_DravikLibraryRoute::version()
{
    m_script->version = "7.0.3";
    QCOMPARE(DravikFlashCommand::toolVersion(), QString("7.0.3"));
    QCOMPARE(m_script->recordedCalls(), (QStringList{"alloc", "getVersion", "dealloc"}));
    m_script->refuseAllocation = true;
    QCOMPARE(DravikFlashCommand::toolVersion(), QString("unknown"));
}

QTEST_GUILESS_MAIN(tst_DravikLibraryRoute)
#include "tst_DravikLibraryRoute.moc"
