#include "ToolsTestKit.h"

#include "core/Utils.h"
#include "tools/ShellFlashCommand.h"
#include "tools/ShellProcess.h"

#include <QtTest>

#include <csignal>
#include <thread>

using namespace ToolsTestKit;

namespace {

// A kind that notes, for every line its program prints, whether the device's scan is blocked.
class ScanWatchingCommand : public ShellFlashCommand
{
public:
    using ShellFlashCommand::ShellFlashCommand;

    mutable QList<bool> m_blockedPerLine;

protected:
    bool prepareShellProcess(const SharedPointer<FlashRunner>&, const SharedPointer<FlashDevice2>& device,
                             ShellProcess* process, const QStringList&, QString&) const override
    {
        process->registerLogCallback([this, device](const QString&) { m_blockedPerLine << device->isScanBlocked(); });
        return true;
    }
};

} // namespace

class tst_ShellFlashCommand : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void readErrors_data();
    void readErrors();
    void readDefaults();
    void deprecatedSuccessCondition_data();
    void deprecatedSuccessCondition();
    void writtenAndReadBack_data();
    void writtenAndReadBack();
    void attempts_data();
    void attempts();
    void missingToolFailsEvenWhenOptional();
    void programThatCannotStartIsNoTimeout();
    void timeoutKillsTheProgramAndItsChildren();
    void successCondition_data();
    void successCondition();
    void argumentsAreSubstitutedOneByOne();
    void unresolvedArgumentStartsNothing();
    void cancelEndsTheWait();
    void blockScanBracketsTheRun_data();
    void blockScanBracketsTheRun();
    void logAndDetailsTexts();
    void editorForm();

private:
    // A shell command of the user tool "stub" with `keys` added to its required keys.
    QSharedPointer<FlashCommand> stubCommand(const QByteArray& keys = QByteArray());
    ExecuteResult execute(const QSharedPointer<FlashCommand>& command);

    QTemporaryDir m_dir;
    QString m_record;
    RecordingLogSink m_recorder;
    QSharedPointer<FlashConfiguration> m_configuration;
    SharedPointer<FlashDevice2> m_device;
    SharedPointer<FlashRunner> m_runner;
};

void tst_ShellFlashCommand::initTestCase()
{
    registerMetaTypes();
    relayApplicationLog(m_recorder);
    m_configuration = makeConfiguration(FlashConfiguration::UnknownGroupsEnabled,
                                        {{QStringLiteral("word"), stringParameter(QStringLiteral("word"), QStringLiteral("a b"))}});
    m_device = device(QStringLiteral("SER1"), DeviceState::MainOs);
}

void tst_ShellFlashCommand::init()
{
    QVERIFY(m_dir.isValid());
    resetRegistry();
    m_record = m_dir.filePath(QStringLiteral("record-%1").arg(QTest::currentDataTag()).remove(' '));
    QFile::remove(m_record);
    QVERIFY(ExternalToolManager::instance().useTool(QStringLiteral("stub"), recordingStub(m_dir, QStringLiteral("stub"), m_record)));
    m_runner = makeRunner(m_device, m_configuration, &m_recorder);
    m_recorder.clear();
}

QSharedPointer<FlashCommand> tst_ShellFlashCommand::stubCommand(const QByteArray& keys)
{
    JsonObject json;
    JsonObject changes;
    if (!json.loadMemory(R"({"tool": "stub", "timeout": 30000, "retry": 1, "description": "Stub"})")
        || !changes.loadMemory("{" + keys + "}"))
        return {};
    for (const QString& key : changes.keys()) {
        QVariant value;
        changes.getValue(key, value);
        json.setValue(key, value);
    }
    return FlashCommand::getCommandFromJson(json);
}

ExecuteResult tst_ShellFlashCommand::execute(const QSharedPointer<FlashCommand>& command)
{
    return command->execute(m_runner, m_device);
}

void tst_ShellFlashCommand::readErrors_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("error");

    const QByteArray base = R"("tool": "stub", "timeout": 1000, "retry": 1, "description": "d")";
    QTest::newRow("no tool") << QByteArray(R"({"timeout": 1000, "retry": 1, "description": "d"})")
                             << "Invalid 'tool' in shell command";
    QTest::newRow("empty tool") << QByteArray(R"({"tool": "", "timeout": 1000, "retry": 1, "description": "d"})")
                                << "Empty 'tool' in shell command";
    QTest::newRow("args not a text") << "{" + base + R"(, "args": ["a"]})" << "Invalid 'args' in shell command";
    QTest::newRow("no timeout") << QByteArray(R"({"tool": "stub", "retry": 1, "description": "d"})")
                                << "Invalid 'timeout' in shell command";
    QTest::newRow("negative timeout") << QByteArray(R"({"tool": "stub", "timeout": -1, "retry": 1, "description": "d"})")
                                      << "Invalid 'timeout' in shell command";
    QTest::newRow("no retry") << QByteArray(R"({"tool": "stub", "timeout": 1, "description": "d"})")
                              << "Invalid 'retry' in shell command";
    QTest::newRow("no description") << QByteArray(R"({"tool": "stub", "timeout": 1, "retry": 1})")
                                    << "Invalid 'description' in shell command";
    QTest::newRow("empty description") << QByteArray(R"({"tool": "stub", "timeout": 1, "retry": 1, "description": ""})")
                                       << "Empty 'description' in shell command";
    QTest::newRow("successCondition not a text") << "{" + base + R"(, "successCondition": true})"
                                                 << "Invalid 'successCondition' in shell command";
    QTest::newRow("success_condition not a text") << "{" + base + R"(, "success_condition": 1})"
                                                  << "Invalid 'success_condition' in shell command";
    QTest::newRow("mandatory not a boolean") << "{" + base + R"(, "mandatory": "yes"})"
                                             << "Invalid 'mandatory' in shell command";
    QTest::newRow("block_scan not a boolean") << "{" + base + R"(, "block_scan": 1})"
                                              << "Invalid 'block_scan' in shell command";
    QTest::newRow("bad precondition") << "{" + base + R"(, "precondition": "x"})" << "Invalid precondition type";
}

void tst_ShellFlashCommand::readErrors()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, error);
    JsonObject object;
    QVERIFY(object.loadMemory(json));

    QVERIFY(!ShellFlashCommand::createShellCommand(object));
    QCOMPARE(m_recorder.rendered({QStringLiteral("app ERROR")}), QStringList{QStringLiteral("app ERROR ") + error});
}

void tst_ShellFlashCommand::readDefaults()
{
    const auto shell = stubCommand(R"("args": "")").dynamicCast<ShellFlashCommand>();
    QVERIFY(shell);
    QVERIFY(shell->getShellData().args.isEmpty());
    QVERIFY(shell->isMandatory());
    QVERIFY(!shell->getShellData().blockScan);
    QCOMPARE(shell->getType(), FlashTypes::CommandType::Shell);
}

void tst_ShellFlashCommand::deprecatedSuccessCondition_data()
{
    QTest::addColumn<QByteArray>("keys");
    QTest::addColumn<QString>("condition");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("old key") << QByteArray(R"("success_condition": "$code == 0")") << "$code == 0"
                             << QStringList{"app WARNING The 'success_condition' key is deprecated in flash file",
                                            "app DEBUG Please use 'successCondition' instead"};
    QTest::newRow("both keys") << QByteArray(R"("successCondition": "true", "success_condition": "false")")
                               << "true" << QStringList();
}

void tst_ShellFlashCommand::deprecatedSuccessCondition()
{
    QFETCH(QByteArray, keys);
    QFETCH(QString, condition);
    QFETCH(QStringList, lines);

    const auto shell = stubCommand(keys).dynamicCast<ShellFlashCommand>();
    QVERIFY(shell);
    QCOMPARE(shell->getShellData().successCondition, condition);
    QCOMPARE(m_recorder.rendered({QStringLiteral("app WARNING"), QStringLiteral("app DEBUG Please")}), lines);
    QCOMPARE(shell->toJson().hasValue(QStringLiteral("success_condition")), JsonObject::Absent);
}

void tst_ShellFlashCommand::writtenAndReadBack_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("none") << QStringList();
    QTest::newRow("quote and blank") << QStringList{QStringLiteral("say \"hi there\""), QStringLiteral("x")};
    QTest::newRow("backslashes") << QStringList{QStringLiteral("C:\\dir\\"), QStringLiteral("a\\\"b"),
                                                QStringLiteral("\\\\")};
    QTest::newRow("single quote") << QStringList{QStringLiteral("it's")};
}

void tst_ShellFlashCommand::writtenAndReadBack()
{
    QFETCH(QStringList, args);
    JsonObject json;
    QVERIFY(json.loadMemory(R"({"tool": "stub", "timeout": 1000, "retry": 1, "description": "d", "block_scan": true})"));
    std::unique_ptr<ShellFlashCommand::ShellFlashCommandData> data =
        ShellFlashCommand::getShellCommandData(json, false);
    QVERIFY(data);
    QVERIFY(data->blockScan);
    data->args = args;
    const ShellFlashCommand written(std::move(data));

    const JsonObject saved = written.toJson();
    bool blockScan = false;
    QCOMPARE(saved.getBoolean(QStringLiteral("block_scan"), blockScan), JsonObject::Found);
    QVERIFY(blockScan);
    QCOMPARE(saved.hasValue(QStringLiteral("successCondition")), JsonObject::Absent);
    QString text;
    QCOMPARE(saved.getString(QStringLiteral("args"), text), JsonObject::Found);
    QCOMPARE(Utils::splitArguments(text), args);
    // The editor's form shows the arguments as written, so an accepted form reads them back whole.
    const JsonObjectList form = written.getJsonEditorInterface();
    QString shown;
    const auto field = form.findFromField(QStringLiteral("id"), QStringLiteral("args"));
    QVERIFY(field != form.end());
    QCOMPARE(field->getString(QStringLiteral("value"), shown), JsonObject::Found);
    QCOMPARE(shown, text);

    const auto reread = QSharedPointer<FlashCommand>(ShellFlashCommand::createShellCommand(saved))
                            .dynamicCast<ShellFlashCommand>();
    QVERIFY(reread);
    QCOMPARE(reread->getShellData().args, args);
    QVERIFY(reread->getShellData().blockScan);
    QCOMPARE(reread->toJson(), saved);
}

void tst_ShellFlashCommand::attempts_data()
{
    QTest::addColumn<int>("retry");
    QTest::addColumn<bool>("mandatory");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<int>("runs");
    QTest::addColumn<int>("result");

    QTest::newRow("success at once") << 3 << true << 0 << 1 << int(ExecuteSuccess);
    QTest::newRow("3 failures, mandatory") << 3 << true << 1 << 3 << int(ExecuteFailed);
    QTest::newRow("3 failures, optional") << 3 << false << 1 << 3 << int(ExecuteFailedContinue);
    QTest::newRow("retry 0") << 0 << false << 0 << 0 << int(ExecuteFailedContinue);
}

void tst_ShellFlashCommand::attempts()
{
    QFETCH(int, retry);
    QFETCH(bool, mandatory);
    QFETCH(int, exitCode);
    QFETCH(int, runs);
    QFETCH(int, result);
    QVERIFY(ExternalToolManager::instance().useTool(QStringLiteral("stub"),
                             recordingStub(m_dir, QStringLiteral("stub"), m_record, {}, {}, exitCode)));

    const auto shell = stubCommand(QStringLiteral(R"("retry": %1, "mandatory": %2)")
                                       .arg(retry)
                                       .arg(mandatory ? "true" : "false")
                                       .toUtf8());
    QVERIFY(shell);
    QCOMPARE(int(execute(shell)), result);

    QCOMPARE(recordedRuns(m_record).size(), runs);
    QCOMPARE(m_recorder.texts(Logger::INFO).filter(QStringLiteral("Retrying")).size(), qMax(runs - 1, 0));
    if (retry == 0)
        QVERIFY(m_recorder.texts(Logger::WARNING).contains(QStringLiteral("Invalid retry number (1)")));
}

void tst_ShellFlashCommand::missingToolFailsEvenWhenOptional()
{
    JsonObject object;
    QVERIFY(object.loadMemory(R"({"tool": "ghost", "timeout": 1000, "retry": 2, "description": "d", "mandatory": false})"));
    const QSharedPointer<FlashCommand> ghost(ShellFlashCommand::createShellCommand(object));

    QCOMPARE(execute(ghost), ExecuteFailed);
    QVERIFY(m_recorder.texts(Logger::ERROR).contains(QStringLiteral("Tool 'ghost' not found")));
}

void tst_ShellFlashCommand::programThatCannotStartIsNoTimeout()
{
    const QString absent = m_dir.filePath(QStringLiteral("absent"));
    ExternalToolManager::instance().setTool(QStringLiteral("stub"), absent);

    QCOMPARE(execute(stubCommand()), ExecuteFailed);
    const QStringList errors = m_recorder.texts(Logger::ERROR);
    QCOMPARE(errors.size(), 1);
    QVERIFY2(errors.first().startsWith(QStringLiteral("Command `") + absent + QStringLiteral("` could not be started")),
             qPrintable(errors.first()));
}

namespace {

bool isRunning(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = stat.readAll();
    const int end = text.lastIndexOf(')');
    return end > 0 && text.mid(end + 2, 1) != "Z";  // a zombie runs nothing
}

} // namespace

void tst_ShellFlashCommand::timeoutKillsTheProgramAndItsChildren()
{
    const QString pidFile = m_dir.filePath(QStringLiteral("child.pid"));
    ExternalToolManager::instance().useTool(QStringLiteral("stub"),
                     RunnerFixtures::writeFakeProgram(
                         m_dir, QStringLiteral("hang"),
                         "sleep 60 & echo $! > '" + QFile::encodeName(pidFile) + "'\nwait"));
    const QSharedPointer<FlashCommand> shell = stubCommand(R"("args": "a b", "timeout": 1500)");
    QVERIFY(shell);

    QElapsedTimer timer;
    timer.start();
    QCOMPARE(execute(shell), ExecuteFailed);
    QVERIFY(timer.elapsed() < 30000);

    const QString program = FMConst::getTool(QStringLiteral("stub"));
    QCOMPARE(m_recorder.texts(Logger::ERROR),
             QStringList{QStringLiteral("Command `%1 \"a\" \"b\"` timed out (1.5 s)").arg(program)});
    QFile file(pidFile);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const qint64 child = file.readAll().trimmed().toLongLong();
    QVERIFY(child > 0);
    QTRY_VERIFY_WITH_TIMEOUT(!isRunning(child), 10000);
}

void tst_ShellFlashCommand::successCondition_data()
{
    QTest::addColumn<QString>("condition");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<int>("runs");
    QTest::addColumn<int>("result");
    QTest::addColumn<QStringList>("errors");  // the ERROR lines (%1: the program)

    // A failure shows the program's last lines before the command's own line.
    const QStringList programsLines{"out", "err"};
    QTest::newRow("exit code decides") << "$code == 3" << 3 << 1 << int(ExecuteSuccess) << QStringList();
    QTest::newRow("output of both channels")
        << "$output.indexOf('out\\nerr') == 0" << 1 << 1 << int(ExecuteSuccess) << QStringList();
    QTest::newRow("false is retried") << "$code == 0" << 1 << 2 << int(ExecuteFailed)
                                      << programsLines + QStringList{"Command `\"%1\"` failed"};
    QTest::newRow("not a boolean") << "42" << 0 << 1 << int(ExecuteFailed)
                                   << QStringList{"Success condition must evaluate a boolean expression"} + programsLines
                                          + QStringList{"Command `\"%1\"` failed"};
    QTest::newRow("script error") << "$code ==" << 0 << 1 << int(ExecuteFailed)
                                  << QStringList{"Success condition failed to evaluate"} + programsLines
                                         + QStringList{"Command `\"%1\"` failed"};
}

void tst_ShellFlashCommand::successCondition()
{
    QFETCH(QString, condition);
    QFETCH(int, exitCode);
    QFETCH(int, runs);
    QFETCH(int, result);
    QFETCH(QStringList, errors);
    const QString program = recordingStub(m_dir, QStringLiteral("stub"), m_record, "out\n", "err\n", exitCode);
    QVERIFY(ExternalToolManager::instance().useTool(QStringLiteral("stub"), program));

    JsonObject json;
    json.setValue(QStringLiteral("tool"), QStringLiteral("stub"));
    json.setValue(QStringLiteral("timeout"), 30000);
    json.setValue(QStringLiteral("retry"), 2);
    json.setValue(QStringLiteral("description"), QStringLiteral("d"));
    json.setValue(QStringLiteral("successCondition"), condition);
    const QSharedPointer<FlashCommand> shell(ShellFlashCommand::createShellCommand(json));

    QCOMPARE(int(execute(shell)), result);
    QCOMPARE(recordedRuns(m_record).size(), runs);
    for (QString& line : errors)
        line = line.arg(program);
    QCOMPARE(m_recorder.texts(Logger::ERROR), errors);
}

void tst_ShellFlashCommand::argumentsAreSubstitutedOneByOne()
{
    QCOMPARE(execute(stubCommand(R"("args": "${word} 'plain text' ${serial}")")), ExecuteSuccess);
    const QStringList expected{QStringLiteral("a b"), QStringLiteral("plain text"), QStringLiteral("SER1")};
    QCOMPARE(recordedRuns(m_record), QList<QStringList>{expected});
}

void tst_ShellFlashCommand::unresolvedArgumentStartsNothing()
{
    QCOMPARE(execute(stubCommand(R"("args": "x ${nope}", "mandatory": false)")), ExecuteFailed);
    QVERIFY(m_recorder.texts(Logger::ERROR).contains(QStringLiteral("Unknown parameter key 'nope'")));
    QVERIFY(recordedRuns(m_record).isEmpty());
}

void tst_ShellFlashCommand::cancelEndsTheWait()
{
    const QString started = m_dir.filePath(QStringLiteral("started"));
    ExternalToolManager::instance().useTool(QStringLiteral("stub"),
                     RunnerFixtures::writeFakeProgram(m_dir, QStringLiteral("hang"),
                                                      "touch '" + QFile::encodeName(started) + "'\nexec sleep 60"));
    const QSharedPointer<FlashCommand> shell = stubCommand(R"("retry": 5)");
    QVERIFY(shell);

    ExecuteResult result = ExecuteSuccess;
    std::thread flash([&] { result = execute(shell); });
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(started), 20000);
    QElapsedTimer timer;
    timer.start();
    m_runner->cancel();
    flash.join();

    QCOMPARE(result, ExecuteCancelled);
    QVERIFY(timer.elapsed() < 20000);
}

void tst_ShellFlashCommand::blockScanBracketsTheRun_data()
{
    QTest::addColumn<bool>("blockScan");
    QTest::newRow("block_scan") << true;
    QTest::newRow("no block_scan") << false;
}

void tst_ShellFlashCommand::blockScanBracketsTheRun()
{
    QFETCH(bool, blockScan);
    QVERIFY(ExternalToolManager::instance().useTool(QStringLiteral("stub"), recordingStub(m_dir, QStringLiteral("stub"), m_record, "a\nb\n")));
    JsonObject json;
    QVERIFY(json.loadMemory(R"({"tool": "stub", "timeout": 30000, "retry": 2, "description": "d"})"));
    json.setValue(QStringLiteral("block_scan"), blockScan);
    const QSharedPointer<ScanWatchingCommand> watching(
        new ScanWatchingCommand(ShellFlashCommand::getShellCommandData(json, false)));

    QCOMPARE(watching->execute(m_runner, m_device), ExecuteSuccess);
    QCOMPARE(watching->m_blockedPerLine, (QList<bool>{blockScan, blockScan}));
    QVERIFY(!m_device->isScanBlocked());
}

void tst_ShellFlashCommand::logAndDetailsTexts()
{
    const QString program = FMConst::getTool(QStringLiteral("stub"));
    const QSharedPointer<FlashCommand> shell = stubCommand(R"("args": "${word} x")");
    QCOMPARE(shell->getLogCommand(m_runner), QStringLiteral("\"%1\" \"a b\" \"x\"").arg(program));
    QCOMPARE(shell->getLogCommand(SharedPointer<FlashRunner>()),
             QStringLiteral("\"%1\" \"${word}\" \"x\"").arg(program));
    QCOMPARE(shell->getDetails(*m_configuration), QStringLiteral("stub \"a b\" \"x\""));
    QCOMPARE(shell->getToolParameters(), QStringLiteral("\"${word}\" \"x\""));
    QCOMPARE(shell->getUserFriendlyCommand(m_runner), QStringLiteral("Stub"));
    QVERIFY(shell->hasParameter(QStringLiteral("word")));

    JsonObject object;
    QVERIFY(object.loadMemory(R"({"tool": "ghost", "args": "x", "timeout": 1, "retry": 1, "description": "d"})"));
    const QSharedPointer<FlashCommand> ghost(ShellFlashCommand::createShellCommand(object));
    QCOMPARE(ghost->getLogCommand(m_runner), QStringLiteral("\"ghost\" \"x\""));
}

void tst_ShellFlashCommand::editorForm()
{
    const JsonObjectList form = ShellFlashCommand::getJsonEditorInterfaceTemplate();
    QStringList ids;
    for (const JsonObject& field : form) {
        QString id;
        field.getString(QStringLiteral("id"), id);
        ids << id;
    }
    QCOMPARE(ids, (QStringList{"tool", "args", "timeout", "description", "mandatory", "retry"}));
    const JsonObject timeout = form.at(2);
    QCOMPARE(timeout.toQVariantMap().value(QStringLiteral("value")).toInt(), 60000);
    QCOMPARE(timeout.toQVariantMap().value(QStringLiteral("min")).toInt(), -1);
    QCOMPARE(timeout.toQVariantMap().value(QStringLiteral("specialValue")).toString(), QStringLiteral("No timeout"));
    QCOMPARE(form.at(5).toQVariantMap().value(QStringLiteral("value")).toInt(), 2);
    QCOMPARE(form.at(5).toQVariantMap().value(QStringLiteral("min")).toInt(), 1);

    const auto value = [](const JsonObjectList& filled, const QString& id) {
        return filled.findFromField(QStringLiteral("id"), id)->toQVariantMap().value(QStringLiteral("value"));
    };
    const JsonObjectList filled = stubCommand(R"("args": "a b", "mandatory": false, "retry": 4)")
                                      ->getJsonEditorInterface();
    QCOMPARE(value(filled, QStringLiteral("tool")).toString(), QStringLiteral("stub"));
    QCOMPARE(value(filled, QStringLiteral("args")).toString(), QStringLiteral("\"a\" \"b\""));
    QCOMPARE(value(filled, QStringLiteral("timeout")).toULongLong(), 30000ULL);
    QCOMPARE(value(filled, QStringLiteral("mandatory")).toBool(), false);
    QCOMPARE(value(stubCommand()->getJsonEditorInterface(), QStringLiteral("args")).toString(), QString(""));
}

QTEST_GUILESS_MAIN(tst_ShellFlashCommand)
#include "tst_ShellFlashCommand.moc"
