// The firmware downloader command: read and written, its texts and argument list, the run without a
// downloader backend (none is beside this test), and the run through the command-line program (a
// fake "dravikFlashTool" that this test writes beside itself and that records its arguments).

#include "ToolsTestKit.h"

#include "core/FMConst.h"
#include "tools/DravikFlashCommand.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

using namespace ToolsTestKit;

namespace {

const QByteArray kMinimal = R"({"tool": "dravikDownloader", "ifwi": "ifwi.bin", "ifwi_dnx": "dnx.bin", "gpflag": "0x80000045"})";

SharedPointer<FlashDevice2> socDevice(const QString& socSerial)
{
    return RunnerFixtures::makeDevice(DeviceState::DnxFirmware, socSerial);
}

} // namespace

class tst_DravikFlashCommand : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();
    void createFromJson_data();
    void createFromJson();
    void writtenBack();
    void wipeFlagIsNeverWritten();
    void texts();
    void detailsWithTheGpFlagOverride();
    void targetAndGpFlag_data();
    void targetAndGpFlag();
    void editorForms();
    void withoutBackendNothingIsDownloaded();
    void runRefusedBeforeTheDownloader_data();
    void runRefusedBeforeTheDownloader();
    void externalProgramGetsNineArguments();
    void externalProgramOutcome_data();
    void externalProgramOutcome();
    void stopKillsTheExternalProgram();

private:
    QString writeFakeTool(const QByteArray& body);

    RecordingLogSink m_recorder;
    QSharedPointer<FlashConfiguration> m_configuration;
    QTemporaryDir m_dir;
    QString m_fakeTool;
};

void tst_DravikFlashCommand::initTestCase()
{
    startCommandTests(m_recorder);
    QVERIFY(m_dir.isValid());
    m_configuration = configurationWith("dir", "/images");
    m_fakeTool = QDir(QCoreApplication::applicationDirPath()).absoluteFilePath("dravikFlashTool");
    QFile::remove(m_fakeTool);
    qputenv("QLN_TEST_DRAVIK_RECORD", m_dir.filePath("arguments").toUtf8());
}

void tst_DravikFlashCommand::init()
{
    FMConst::resetToDefaults();
    m_recorder.clear();
    QFile::remove(m_dir.filePath("arguments"));
}

void tst_DravikFlashCommand::cleanupTestCase()
{
    QFile::remove(m_fakeTool);
    FMConst::resetToDefaults();
}

QString tst_DravikFlashCommand::writeFakeTool(const QByteArray& body)
{
    // The program is looked for beside the executable: a link there leads to the script.
    QFile::remove(m_fakeTool);
    const QString script = RunnerFixtures::writeFakeProgram(m_dir, "dravikFlashTool", body);
    return QFile::link(script, m_fakeTool) ? m_fakeTool : QString();
}

void tst_DravikFlashCommand::createFromJson_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QStringList>("arguments");   // empty: no command
    QTest::addColumn<QString>("error");           // the kind's ERROR line, if any

    QTest::newRow("minimal") << kMinimal
                             << QStringList{"dnx.bin", "ifwi.bin", "", "", "0x80000045", "none", "none", "0"}
                             << QString();
    QTest::newRow("all files")
        << QByteArray(R"({"tool": "dravikDownloader", "ifwi": "i", "ifwi_dnx": "id", "os": "o", "os_dnx": "od",
                          "gpflag": "g", "xxr_dnx": "x", "soft_fuse": "s", "timeout": 5, "retry": 9})")
        << QStringList{"id", "i", "od", "o", "g", "x", "s", "0"} << QString();
    QTest::newRow("xxr none, soft fuse empty")
        << QByteArray(R"({"tool": "dravikDownloader", "ifwi": "i", "ifwi_dnx": "id", "gpflag": "g", "xxr_dnx": "none", "soft_fuse": ""})")
        << QStringList{"id", "i", "", "", "g", "none", "none", "0"} << QString();
    QTest::newRow("empty ifwi") << QByteArray(R"({"tool": "dravikDownloader", "ifwi": "", "ifwi_dnx": "id", "gpflag": "g"})")
                                << QStringList() << "Empty IFWI value, the IFWI is mandatory for Dravik command";
    QTest::newRow("empty ifwi dnx") << QByteArray(R"({"tool": "dravikDownloader", "ifwi": "i", "ifwi_dnx": "", "gpflag": "g"})")
                                    << QStringList() << "Empty IFWI DnX value, the IFWI DnX is mandatory for Dravik command";
    QTest::newRow("empty gpflag") << QByteArray(R"({"tool": "dravikDownloader", "ifwi": "i", "ifwi_dnx": "id", "gpflag": ""})")
                                  << QStringList() << "Empty gpflag value, the gpflag is mandatory for Dravik command";
    QTest::newRow("no gpflag") << QByteArray(R"({"tool": "dravikDownloader", "ifwi": "i", "ifwi_dnx": "id"})")
                               << QStringList() << QString();
    QTest::newRow("ifwi no text") << QByteArray(R"({"tool": "dravikDownloader", "ifwi": 1, "ifwi_dnx": "id", "gpflag": "g"})")
                                  << QStringList() << QString();
    QTest::newRow("os no text") << QByteArray(R"({"tool": "dravikDownloader", "ifwi": "i", "ifwi_dnx": "id", "os": 2, "gpflag": "g"})")
                                << QStringList() << QString();
    QTest::newRow("soft fuse no text")
        << QByteArray(R"({"tool": "dravikDownloader", "ifwi": "i", "ifwi_dnx": "id", "gpflag": "g", "soft_fuse": true})")
        << QStringList() << QString();
}

void tst_DravikFlashCommand::createFromJson()
{
    QFETCH(QByteArray, json);
    QFETCH(QStringList, arguments);
    QFETCH(QString, error);
    const QSharedPointer<FlashCommand> command = ToolsTestKit::command(json);
    QCOMPARE(bool(command), !arguments.isEmpty());
    QStringList expectedLog;
    if (!error.isEmpty())
        expectedLog << "app ERROR " + error;
    if (!command)
        expectedLog << "app ERROR Cannot create command with tool \"dravikDownloader\"";
    QCOMPARE(m_recorder.rendered(), expectedLog);
    if (command) {
        QCOMPARE(command.dynamicCast<DravikFlashCommand>()->getShellData().args, arguments);
        QCOMPARE(command->getTimeout(), uint64_t(180000));
        QVERIFY(command->isMandatory());
        QCOMPARE(command->getType(), FlashTypes::CommandType::Ifwi);
        QCOMPARE(command->getToolId(), QString("dravikDownloader"));
        QVERIFY(command.dynamicCast<DravikFlashCommand>()->isFlashOnlyCommand());
    }
}

void tst_DravikFlashCommand::writtenBack()
{
    const QSharedPointer<FlashCommand> minimal = ToolsTestKit::command(kMinimal);
    QVERIFY(minimal);
    JsonObject expected;
    QVERIFY(expected.loadMemory(R"({"tool": "dravikDownloader", "ifwi": "ifwi.bin", "ifwi_dnx": "dnx.bin",
                                    "os": "", "os_dnx": "", "gpflag": "0x80000045"})"));
    QCOMPARE(minimal->toJson(), expected);
    QCOMPARE(minimal->clone()->toJson(), expected);

    const QByteArray full = R"({"tool": "dravikDownloader", "ifwi": "i", "ifwi_dnx": "id", "os": "o", "os_dnx": "od",
                                "gpflag": "g", "xxr_dnx": "x", "soft_fuse": "s",
                                "precondition": {"expression": "false", "skipOnFailure": true}})";
    QVERIFY(expected.loadMemory(full));
    QCOMPARE(ToolsTestKit::command(full)->toJson(), expected);
}

void tst_DravikFlashCommand::wipeFlagIsNeverWritten()
{
    const DravikFlashCommand wiping("i", "id", "o", "od", "g", "", "none", true);
    QCOMPARE(wiping.getShellData().args, (QStringList{"id", "i", "od", "o", "g", "none", "none", "1"}));
    const QSharedPointer<FlashCommand> readBack = FlashCommand::getCommandFromJson(wiping.toJson());
    QVERIFY(readBack);
    QCOMPARE(readBack.dynamicCast<DravikFlashCommand>()->getShellData().args.last(), QString("0"));
}

void tst_DravikFlashCommand::texts()
{
    const QSharedPointer<FlashCommand> command =
        ToolsTestKit::command(R"({"tool": "dravikDownloader", "ifwi": "${dir}/i", "ifwi_dnx": "${dir}/id", "os_dnx": "od",
                        "gpflag": "g", "soft_fuse": "s"})");
    QVERIFY(command);
    QCOMPARE(command->getToolParameters(),
             QString(R"(IFWI: "${dir}/i" ; IFWI DNX: "${dir}/id" ; OS DNX: "od" ; GPFlag: "g" ; Soft fuse: "s")"));
    QCOMPARE(command->getDetails(*m_configuration),
             QString("Dravik Downloader:\n        IFWI: /images/i\n        IFWI DnX: /images/id\n"
                     "        OS DnX: od\n        Soft Fuse: s\n        GP Flag: g"));
    QCOMPARE(command->getUserFriendlyCommand(*m_configuration),
             QString("Flashing IFWI: *** DO NOT DISCONNECT THE DEVICE ***"));
    QCOMPARE(command->getLogCommand(*m_configuration),
             QString(R"("dravikFlashTool" "/images/id" "/images/i" "od" "" "g" "none" "s" "0")"));
    const SharedPointer<FlashRunner> runner = makeRunner(socDevice("SOC1"), m_configuration);
    QCOMPARE(command->getLogCommand(runner),
             QString(R"("dravikFlashTool" "SOC1" "/images/id" "/images/i" "od" "" "g" "none" "s" "0")"));
    QVERIFY(command->hasParameter("dir"));
}

void tst_DravikFlashCommand::detailsWithTheGpFlagOverride()
{
    FMConst::FORCE_GP_FLAG = true;
    FMConst::USER_GP_FLAG = "0x1";
    const QSharedPointer<FlashCommand> command = ToolsTestKit::command(kMinimal);
    QVERIFY(command);
    QCOMPARE(command->getDetails(*m_configuration),
             QString("Dravik Downloader:\n        IFWI: ifwi.bin\n        IFWI DnX: dnx.bin\n"
                     "        GP Flag settings (will be used): 0x1\n        GP Flag file (for information): 0x80000045"));
    QCOMPARE(m_recorder.rendered(),
             QStringList{"app WARNING GP Flag override option is activated in settings, the value 0x1 will be used"});
}

void tst_DravikFlashCommand::targetAndGpFlag_data()
{
    QTest::addColumn<QString>("socSerial");
    QTest::addColumn<bool>("solo");
    QTest::addColumn<bool>("overrideGpFlag");
    QTest::addColumn<QString>("userGpFlag");
    QTest::addColumn<QStringList>("arguments");

    const QStringList rest{"dnx.bin", "ifwi.bin", "", "", "0x80000045", "none", "none", "0"};
    QTest::newRow("serial") << "SOC1" << false << false << "0x2" << QStringList{"SOC1"} + rest;
    QTest::newRow("single-device mode") << "SOC1" << true << false << "0x2" << QStringList{"-1"} + rest;
    QTest::newRow("no serial") << "" << false << false << "0x2" << QStringList{"-1"} + rest;
    QTest::newRow("serial with &") << "A&B" << false << false << "0x2" << QStringList{"-1"} + rest;
    QTest::newRow("serial with ?") << "A?B" << false << false << "0x2" << QStringList{"-1"} + rest;
    QStringList overridden = QStringList{"SOC1"} + rest;
    overridden[5] = "0x2";
    QTest::newRow("GP flag override") << "SOC1" << false << true << "0x2" << overridden;
    QTest::newRow("override with the same flag") << "SOC1" << false << true << "0x80000045" << QStringList{"SOC1"} + rest;
}

void tst_DravikFlashCommand::targetAndGpFlag()
{
    QFETCH(QString, socSerial);
    QFETCH(bool, solo);
    QFETCH(bool, overrideGpFlag);
    QFETCH(QString, userGpFlag);
    QFETCH(QStringList, arguments);
    FMConst::USE_DRAVIK_SOLO = solo;
    FMConst::FORCE_GP_FLAG = overrideGpFlag;
    FMConst::USER_GP_FLAG = userGpFlag;
    const QSharedPointer<DravikFlashCommand> command = ToolsTestKit::command(kMinimal).dynamicCast<DravikFlashCommand>();
    QVERIFY(command);
    QStringList args = command->getShellData().args;
    QVERIFY(command->deviceSpecificParameters(socDevice(socSerial), args));
    QCOMPARE(args, arguments);
    QVERIFY(!command->deviceSpecificParameters(SharedPointer<FlashDevice2>(), args));
}

void tst_DravikFlashCommand::editorForms()
{
    const QByteArray fields = R"([
        {"id": "tool", "type": "hidden", "value": "dravikDownloader"},
        {"id": "ifwi", "label": "IFWI", "type": "text", "value": "%IFWI%", "required": "true"},
        {"id": "ifwi_dnx", "label": "IFWI DnX", "type": "text", "value": "%IFWI_DNX%", "required": "true"},
        {"id": "os", "label": "OS", "type": "text", "value": "%OS%", "required": "false"},
        {"id": "os_dnx", "label": "OS DnX", "type": "text", "value": "%OS_DNX%", "required": "false"},
        {"id": "xxr_dnx", "label": "XXR DnX", "type": "text", "value": "%XXR%", "required": "false"},
        {"id": "soft_fuse", "label": "Soft fuse", "type": "text", "value": "%FUSE%", "required": "false"},
        {"id": "gpflag", "label": "GP Flag", "type": "text", "value": "%GP%", "required": "true"}
    ])";
    const auto expected = [&fields](const QStringList& values) {
        QByteArray text = fields;
        const QStringList keys{"%IFWI%", "%IFWI_DNX%", "%OS%", "%OS_DNX%", "%XXR%", "%FUSE%", "%GP%"};
        for (int i = 0; i < keys.size(); ++i)
            text.replace(keys[i].toUtf8(), values[i].toUtf8());
        return fieldTexts(formFrom(text));
    };
    FMConst::USER_GP_FLAG = "0x7";
    QCOMPARE(fieldTexts(DravikFlashCommand::getJsonEditorInterfaceTemplate()),
             expected({"", "", "", "", "", "", "0x7"}));
    // A command shows its own GP flag, even while the settings override it.
    FMConst::FORCE_GP_FLAG = true;
    QCOMPARE(fieldTexts(ToolsTestKit::command(kMinimal)->getJsonEditorInterface()),
             expected({"ifwi.bin", "dnx.bin", "", "", "", "", "0x80000045"}));
    const QSharedPointer<FlashCommand> full = ToolsTestKit::command(
        R"({"tool": "dravikDownloader", "ifwi": "${dir}/i", "ifwi_dnx": "id", "os": "o", "os_dnx": "od",
            "gpflag": "g", "xxr_dnx": "x", "soft_fuse": "s"})");
    QCOMPARE(fieldTexts(full->getJsonEditorInterface()), expected({"${dir}/i", "id", "o", "od", "x", "s", "g"}));
}

void tst_DravikFlashCommand::withoutBackendNothingIsDownloaded()
{
    QCOMPARE(DravikFlashCommand::toolVersion(), QString("unknown"));
    QCOMPARE(DravikFlashCommand::toolName(), QString("Dravik Downloader"));
    const QSharedPointer<FlashCommand> command = ToolsTestKit::command(kMinimal);
    QVERIFY(command);
    const SharedPointer<FlashDevice2> device = socDevice("SOC1");
    RecordingLogSink runLog;
    const SharedPointer<FlashRunner> runner = makeRunner(device, m_configuration, &runLog);
    QString error;
    QCOMPARE(command->performCommand(runner, device, 1, error), int(PerformFailed));
    QCOMPARE(error, QString("Failed to allocate Dravik downloader"));
    QCOMPARE(runLog.rendered(), (QStringList{"DEBUG Flash ifwi with GPFlag 0x80000045",
                                             "DEBUG No downloader backend at "
                                                 + QDir(QCoreApplication::applicationDirPath()).absoluteFilePath("libdravik-dldr-api.so")}));
}

void tst_DravikFlashCommand::runRefusedBeforeTheDownloader_data()
{
    QTest::addColumn<bool>("external");
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<bool>("withDevice");
    QTest::addColumn<qulonglong>("attempt");
    QTest::addColumn<QString>("error");

    for (const bool external : {false, true}) {
        const char* route = external ? "program: " : "library: ";
        QTest::addRow("%sattempt 2", route) << external << kMinimal << true << qulonglong(2) << "Invalid retry number (2)";
        QTest::addRow("%sattempt 0", route) << external << kMinimal << true << qulonglong(0) << "Invalid retry number (0)";
        QTest::addRow("%sunknown reference", route)
            << external << QByteArray(R"({"tool": "dravikDownloader", "ifwi": "${nowhere}", "ifwi_dnx": "d", "gpflag": "g"})")
            << true << qulonglong(1) << "Unknown parameter key 'nowhere'";
        QTest::addRow("%sno device", route) << external << kMinimal << false << qulonglong(1)
                                            << (external ? "Cannot compute device specific parameters, please check device connection"
                                                         : "Invalid device connection");
    }
}

void tst_DravikFlashCommand::runRefusedBeforeTheDownloader()
{
    QFETCH(bool, external);
    QFETCH(QByteArray, json);
    QFETCH(bool, withDevice);
    QFETCH(qulonglong, attempt);
    QFETCH(QString, error);
    FMConst::USE_DRAVIK_EXTERNAL = external;
    const QString record = m_dir.filePath("arguments");
    writeFakeTool("echo started > \"$QLN_TEST_DRAVIK_RECORD\"");
    const QSharedPointer<FlashCommand> command = ToolsTestKit::command(json);
    QVERIFY(command);
    const SharedPointer<FlashDevice2> device = withDevice ? socDevice("SOC1") : SharedPointer<FlashDevice2>();
    RecordingLogSink runLog;
    const SharedPointer<FlashRunner> runner = makeRunner(device, m_configuration, &runLog);
    QString reason;
    QCOMPARE(command->performCommand(runner, device, attempt, reason), int(PerformFailed));
    QCOMPARE(reason, error);
    QCOMPARE(runLog.rendered(), QStringList());
    QVERIFY(!QFile::exists(record));

    QCOMPARE(command->performCommand(SharedPointer<FlashRunner>(), device, 1, reason), int(PerformFailed));
    QCOMPARE(m_recorder.rendered(), QStringList{"app TRACE Invalid runner pointer"});
}

void tst_DravikFlashCommand::externalProgramGetsNineArguments()
{
    FMConst::USE_DRAVIK_EXTERNAL = true;
    const QString program = writeFakeTool(R"(for argument in "$@"; do echo "[$argument]"; done > "$QLN_TEST_DRAVIK_RECORD"
echo "DRAVIK-PROGRESS--40"
echo "DRAVIK-STATUS--PASS"
echo "DRAVIK-LOG--writing"
printf "DRAVIK-PROGRESS--USBSN:SOC1--60")");
    QVERIFY(!program.isEmpty());
    const QSharedPointer<FlashCommand> command =
        ToolsTestKit::command(R"({"tool": "dravikDownloader", "ifwi": "${dir}/i.bin", "ifwi_dnx": "id.bin",
                        "os": "o.img", "gpflag": "0x3", "soft_fuse": "fuse.bin"})");
    QVERIFY(command);
    QCOMPARE(command->getLogCommand(*m_configuration).section(' ', 0, 0), '"' + program + '"');
    const SharedPointer<FlashDevice2> device = socDevice("SOC1");
    RecordingLogSink runLog;
    const SharedPointer<FlashRunner> runner = makeRunner(device, m_configuration, &runLog);
    runner->setConfigurationProgression(0, 1);
    QSignalSpy progress(runner.data(), &FlashRunner::progressionChanged);

    QString error;
    QCOMPARE(command->performCommand(runner, device, 1, error), int(PerformSuccess));
    QVERIFY2(error.isNull(), qPrintable(error));
    QFile record(m_dir.filePath("arguments"));
    QVERIFY(record.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(record.readAll()).split('\n', Qt::SkipEmptyParts),
             (QStringList{"[SOC1]", "[id.bin]", "[/images/i.bin]", "[]", "[o.img]", "[0x3]", "[none]", "[fuse.bin]", "[0]"}));
    QStringList seen;
    for (const QList<QVariant>& change : progress)
        seen << QString::number(change.at(0).value<uint64_t>()) + '/' + QString::number(change.at(1).value<uint64_t>());
    QCOMPARE(seen, (QStringList{"40/200", "100/200", "160/200"}));
    QCOMPARE(runLog.rendered({"DEBUG DRAVIK"}), (QStringList{"DEBUG DRAVIK-PROGRESS--40", "DEBUG DRAVIK-LOG--writing",
                                                             "DEBUG DRAVIK-PROGRESS--USBSN:SOC1--60"}));
}

void tst_DravikFlashCommand::externalProgramOutcome_data()
{
    QTest::addColumn<QByteArray>("body");   // null: no program
    QTest::addColumn<int>("expected");
    QTest::addColumn<QString>("error");

    QTest::newRow("exits 0") << QByteArray("exit 0") << int(PerformSuccess) << QString();
    QTest::newRow("exits 2") << QByteArray("echo 'Error: no device'; exit 2") << int(PerformFailed) << QString();
    QTest::newRow("crashes") << QByteArray("kill -SEGV $$") << int(PerformFailed) << QString();
    QTest::newRow("missing") << QByteArray() << int(PerformFailed) << "Command `" + m_fakeTool;
}

void tst_DravikFlashCommand::externalProgramOutcome()
{
    QFETCH(QByteArray, body);
    QFETCH(int, expected);
    QFETCH(QString, error);
    FMConst::USE_DRAVIK_EXTERNAL = true;
    if (body.isNull())
        QFile::remove(m_fakeTool);
    else
        QVERIFY(!writeFakeTool(body).isEmpty());
    const QSharedPointer<FlashCommand> command = ToolsTestKit::command(kMinimal);
    const SharedPointer<FlashDevice2> device = socDevice("SOC1");
    const SharedPointer<FlashRunner> runner = makeRunner(device, m_configuration);
    QString reason;
    QCOMPARE(command->performCommand(runner, device, 1, reason), expected);
    QVERIFY2(reason.startsWith(error), qPrintable(reason));
    QCOMPARE(reason.isNull(), error.isEmpty());
}

void tst_DravikFlashCommand::stopKillsTheExternalProgram()
{
    FMConst::USE_DRAVIK_EXTERNAL = true;
    writeFakeTool("echo running > \"$QLN_TEST_DRAVIK_RECORD\"; exec sleep 120");
    const QSharedPointer<FlashCommand> command = ToolsTestKit::command(kMinimal);
    const SharedPointer<FlashDevice2> device = socDevice("SOC1");
    const SharedPointer<FlashRunner> runner = makeRunner(device, m_configuration);
    int result = -1;
    QString error;
    const auto thread = startThread([&] { result = command->performCommand(runner, device, 1, error); });
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(m_dir.filePath("arguments")), 20000);
    runner->cancel();
    QVERIFY2(thread->wait(20000), "the stop did not end the program");
    QCOMPARE(result, int(PerformCancelled));
}

QTEST_GUILESS_MAIN(tst_DravikFlashCommand)
#include "tst_DravikFlashCommand.moc"
