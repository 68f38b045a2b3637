#include "ToolsTestKit.h"

#include "model/FlashVariable.h"
#include "tools/SetVariableFlashCommand.h"

#include <QtTest>

using namespace ToolsTestKit;

class tst_SetVariableFlashCommand : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void valueFromProgramOutput();
    void capturesSeenByTheScript_data();
    void capturesSeenByTheScript();
    void recipeFailure_data();
    void recipeFailure();
    void subCommandRetryRetriesTheCommand();
    void catSubCommandGivesTheFileContent();
    void wrongVariable_data();
    void wrongVariable();
    void readErrors_data();
    void readErrors();
    void deprecatedDefaultKey();
    void check_data();
    void check();
    void firstCommandThatCanBeSkippedWarnsOnce();
    void writtenBackAndEdited();

private:
    // A configuration whose variable "v" runs `subCommand` (none when empty) through `filter`
    // and `script`, a string parameter "name" and a file parameter "fw"; the runner of it.
    void prepare(const QByteArray& subCommand, const QString& filter, const QString& script);
    QSharedPointer<FlashCommand> setVariable(const QByteArray& keys = QByteArray());
    ExecuteResult execute(const QSharedPointer<FlashCommand>& command);

    QTemporaryDir m_dir;
    QString m_record;
    RecordingLogSink m_recorder;
    QSharedPointer<FlashConfiguration> m_configuration;
    SharedPointer<FlashRunner> m_runner;
};

void tst_SetVariableFlashCommand::initTestCase()
{
    registerMetaTypes();
    relayApplicationLog(m_recorder);
    QVERIFY(m_dir.isValid());
    m_record = m_dir.filePath(QStringLiteral("printer.record"));
}

void tst_SetVariableFlashCommand::init()
{
    resetRegistry();
    QFile::remove(m_record);
    QVERIFY(ExternalToolManager::instance().useTool(QStringLiteral("printer"),
                             recordingStub(m_dir, QStringLiteral("printer"), m_record, "a\nver=1.2.3\n")));
    m_recorder.clear();
}

void tst_SetVariableFlashCommand::prepare(const QByteArray& subCommand, const QString& filter,
                                          const QString& script)
{
    const QSharedPointer<FlashCommand> sub = subCommand.isEmpty() ? QSharedPointer<FlashCommand>()
                                                                  : command(subCommand);
    QVERIFY(subCommand.isEmpty() || sub);
    QFile file(m_dir.filePath(QStringLiteral("version.txt")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("ver=4.5\n");
    file.close();
    const FlashParameterPtr variable(new FlashVariable(QStringLiteral("v"), QStringLiteral("Version"), sub,
                                                       QVariant(), QRegExp(filter), script, QString()));
    m_configuration = makeConfiguration(
        FlashConfiguration::UnknownGroupsEnabled,
        {{QStringLiteral("v"), variable},
         {QStringLiteral("name"), stringParameter(QStringLiteral("name"), QStringLiteral("x"))},
         {QStringLiteral("fw"), fileParameter(QStringLiteral("fw"), file.fileName())}});
    m_runner = makeRunner(device(QStringLiteral("S1"), DeviceState::MainOs), m_configuration, &m_recorder);
}

QSharedPointer<FlashCommand> tst_SetVariableFlashCommand::setVariable(const QByteArray& keys)
{
    return command(R"({"tool": "setVariable", "description": "Read version", "variable": "v")"
                   + (keys.isEmpty() ? QByteArray() : ", " + keys) + "}");
}

ExecuteResult tst_SetVariableFlashCommand::execute(const QSharedPointer<FlashCommand>& command)
{
    return command->execute(m_runner, m_runner->getDevice());
}

namespace {

const QByteArray kPrinter = R"({"tool": "printer", "timeout": 30000, "retry": 1, "description": "Print"})";

} // namespace

void tst_SetVariableFlashCommand::valueFromProgramOutput()
{
    prepare(kPrinter, QStringLiteral("ver=(.*)"), QStringLiteral("$1"));

    QCOMPARE(execute(setVariable()), ExecuteSuccess);
    QVERIFY(m_recorder.texts(Logger::INFO).contains(QStringLiteral("Variable 'v' set to '1.2.3'")));

    // A later command reads it.
    QFile::remove(m_record);
    const QSharedPointer<FlashCommand> later =
        command(R"({"tool": "printer", "timeout": 30000, "retry": 1, "description": "Use", "args": "--version=${v}"})");
    QCOMPARE(execute(later), ExecuteSuccess);
    QCOMPARE(recordedRuns(m_record), QList<QStringList>{QStringList{QStringLiteral("--version=1.2.3")}});
}

void tst_SetVariableFlashCommand::capturesSeenByTheScript_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("value");

    QTest::newRow("whole match and group") << "(\\w+)=([\\d.]+)" << "$0 + '|' + $1 + '|' + $2" << "ver=1.2.3|ver|1.2.3";
    QTest::newRow("reference in the script") << "ver=(.*)" << "${name} + $1" << "x1.2.3";
    QTest::newRow("number") << "ver=(\\d)" << "$1 * 2" << "2";
}

void tst_SetVariableFlashCommand::capturesSeenByTheScript()
{
    QFETCH(QString, filter);
    QFETCH(QString, script);
    QFETCH(QString, value);
    prepare(kPrinter, filter, script);

    QCOMPARE(execute(setVariable()), ExecuteSuccess);
    QCOMPARE(FlashCommand::replaceParameters(*m_runner, QStringLiteral("${v}")), value);
}

void tst_SetVariableFlashCommand::recipeFailure_data()
{
    QTest::addColumn<QByteArray>("output");  // of the sub-command; null: no sub-command
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("script");
    QTest::addColumn<QByteArray>("keys");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("value");  // null: the variable has no usable value

    QTest::newRow("no match") << QByteArray("a\nver=1.2.3\n") << "rev=(.*)" << "$1" << QByteArray()
                              << int(ExecuteFailed) << "ERROR Invalid program output" << QString();
    QTest::newRow("no match, default")
        << QByteArray("a\nver=1.2.3\n") << "rev=(.*)" << "$1" << QByteArray(R"("mandatory": false, "defaultValue": 5)")
        << int(ExecuteFailedContinue) << "WARNING Variable 'v' set to default value '5'" << "5";
    QTest::newRow("invalid filter") << QByteArray("x\n") << "(" << "$1" << QByteArray()
                                    << int(ExecuteFailed) << "ERROR Invalid regular expression '('" << QString();
    QTest::newRow("text after NUL") << QByteArray("ver=1.2\0.3\n", 11) << "ver=(.*)" << "$1" << QByteArray()
                                    << int(ExecuteSuccess) << "INFO Variable 'v' set to '1.2'" << "1.2";
    QTest::newRow("script fails, no default")
        << QByteArray() << "" << "throw 1" << QByteArray(R"("mandatory": false)")
        << int(ExecuteFailedContinue) << "WARNING Variable 'v' set to default value ''" << QString();
    QTest::newRow("script fails, mandatory") << QByteArray() << "" << "throw 1" << QByteArray()
                                             << int(ExecuteFailed) << "ERROR Value fails to evaluate" << QString();
    QTest::newRow("value refers to itself")
        << QByteArray() << "" << "(function() { var o = {}; o.self = o; return o; })()" << QByteArray()
        << int(ExecuteFailed) << "ERROR Value fails to evaluate" << QString();
    QTest::newRow("script without program") << QByteArray() << "" << "'x' + 1" << QByteArray()
                                            << int(ExecuteSuccess) << "INFO Variable 'v' set to 'x1'" << "x1";
}

void tst_SetVariableFlashCommand::recipeFailure()
{
    QFETCH(QByteArray, output);
    QFETCH(QString, filter);
    QFETCH(QString, script);
    QFETCH(QByteArray, keys);
    QFETCH(int, result);
    QFETCH(QString, message);
    QFETCH(QString, value);
    QVERIFY(ExternalToolManager::instance().useTool(QStringLiteral("printer"),
                             recordingStub(m_dir, QStringLiteral("printer"), m_record, output)));
    prepare(output.isNull() ? QByteArray() : kPrinter, filter, script);

    QCOMPARE(int(execute(setVariable(keys))), result);
    QVERIFY2(m_recorder.rendered({QStringLiteral("ERROR"), QStringLiteral("WARNING"), QStringLiteral("INFO Variable")})
                 .contains(message),
             qPrintable(m_recorder.rendered().join('\n')));
    bool ok = false;
    const QString current = FlashCommand::replaceParameters(*m_runner, QStringLiteral("${v}"), &ok);
    QCOMPARE(ok, !value.isNull());
    if (ok)
        QCOMPARE(current, value);
}

void tst_SetVariableFlashCommand::subCommandRetryRetriesTheCommand()
{
    QVERIFY(ExternalToolManager::instance().useTool(QStringLiteral("printer"),
                             recordingStub(m_dir, QStringLiteral("printer"), m_record, {}, {}, 1)));
    prepare(R"({"tool": "printer", "timeout": 30000, "retry": 2, "description": "Print"})", "(.*)", "$1");

    QCOMPARE(execute(setVariable()), ExecuteFailed);
    QCOMPARE(recordedRuns(m_record).size(), 2);
    QCOMPARE(m_recorder.texts(Logger::INFO).filter(QStringLiteral("Retrying")).size(), 1);
}

void tst_SetVariableFlashCommand::catSubCommandGivesTheFileContent()
{
    prepare(R"({"tool": "cat", "source": "${fw}", "description": "Read"})", "ver=([\\d.]+)", "$1");
    QCOMPARE(execute(setVariable()), ExecuteSuccess);
    QCOMPARE(FlashCommand::replaceParameters(*m_runner, QStringLiteral("${v}")), QStringLiteral("4.5"));
}

void tst_SetVariableFlashCommand::wrongVariable_data()
{
    QTest::addColumn<QByteArray>("variable");
    QTest::addColumn<QString>("message");
    QTest::newRow("unknown") << QByteArray("nope") << "Invalid variable key 'nope'";
    QTest::newRow("string parameter") << QByteArray("name") << "Parameter 'name' is not a variable parameter";
}

void tst_SetVariableFlashCommand::wrongVariable()
{
    QFETCH(QByteArray, variable);
    QFETCH(QString, message);
    prepare(QByteArray(), QString(), QStringLiteral("1"));
    const QSharedPointer<FlashCommand> command = ToolsTestKit::command(
        R"({"tool": "setVariable", "description": "d", "mandatory": false, "defaultValue": 1, "variable": ")"
        + variable + "\"}");

    // No fall-back to the default: the command is broken, not its recipe.
    QCOMPARE(execute(command), ExecuteFailed);
    QCOMPARE(m_recorder.texts(Logger::ERROR), QStringList{message});
}

void tst_SetVariableFlashCommand::readErrors_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("error");  // empty: created

    QTest::newRow("no description") << QByteArray(R"({"variable": "v"})")
                                    << "Invalid 'description' in setVariable command";
    QTest::newRow("empty description") << QByteArray(R"({"description": "", "variable": "v"})")
                                       << "Empty 'description' in setVariable command";
    QTest::newRow("no variable") << QByteArray(R"({"description": "d"})") << "Invalid 'variable' in setVariable command";
    QTest::newRow("empty variable") << QByteArray(R"({"description": "d", "variable": ""})")
                                    << "Empty 'variable' in setVariable command";
    QTest::newRow("mandatory not a boolean") << QByteArray(R"({"description": "d", "variable": "v", "mandatory": 1})")
                                             << "Invalid 'mandatory' in setVariable command";
    QTest::newRow("array default, optional")
        << QByteArray(R"({"description": "d", "variable": "v", "mandatory": false, "defaultValue": [1, 2]})")
        << "Invalid 'defaultValue' value in setVariable command";
    QTest::newRow("object default, optional")
        << QByteArray(R"({"description": "d", "variable": "v", "mandatory": false, "default_value": {"a": 1}})")
        << "Invalid 'defaultValue' value in setVariable command";
    QTest::newRow("array default, mandatory")
        << QByteArray(R"({"description": "d", "variable": "v", "defaultValue": [1, 2]})") << QString();
    QTest::newRow("null default, optional")
        << QByteArray(R"({"description": "d", "variable": "v", "mandatory": false, "defaultValue": null})") << QString();
}

void tst_SetVariableFlashCommand::readErrors()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, error);
    JsonObject object;
    QVERIFY(object.loadMemory(json));

    const QSharedPointer<FlashCommand> created(SetVariableFlashCommand::createSetVariableCommand(object));
    const QStringList errors = m_recorder.rendered({QStringLiteral("app ERROR")});
    if (error.isEmpty()) {
        QVERIFY2(created, qPrintable(errors.join('\n')));
        QVERIFY(errors.isEmpty());
    } else {
        QVERIFY(!created);
        QCOMPARE(errors, QStringList{QStringLiteral("app ERROR ") + error});
    }
}

void tst_SetVariableFlashCommand::deprecatedDefaultKey()
{
    const QSharedPointer<FlashCommand> created = setVariable(R"("mandatory": false, "default_value": 5)");
    QVERIFY(created);
    QCOMPARE(m_recorder.rendered({QStringLiteral("app WARNING"), QStringLiteral("app DEBUG")}),
             (QStringList{"app WARNING The 'default_value' key is deprecated in flash file",
                          "app DEBUG Please use 'defaultValue' instead"}));
    QCOMPARE(created->toJson().toQVariantMap().value(QStringLiteral("defaultValue")).toInt(), 5);
}

void tst_SetVariableFlashCommand::check_data()
{
    QTest::addColumn<QByteArray>("variable");
    QTest::addColumn<QString>("error");  // null: sound, and "v" defined afterwards
    QTest::newRow("variable") << QByteArray("v") << QString();
    QTest::newRow("string parameter") << QByteArray("name") << "The parameter 'name' is not a variable parameter";
    QTest::newRow("unknown") << QByteArray("nope") << "Variable parameter 'nope' not found.";
}

void tst_SetVariableFlashCommand::check()
{
    QFETCH(QByteArray, variable);
    QFETCH(QString, error);
    prepare(kPrinter, QStringLiteral("(.*)"), QStringLiteral("$1"));
    const QSharedPointer<FlashCommand> command = ToolsTestKit::command(
        R"({"tool": "setVariable", "description": "d", "variable": ")" + variable + "\"}");

    std::set<QString> defined;
    QCOMPARE(command->checkParameters(*m_configuration, defined), error);
    QCOMPARE(defined.count(QStringLiteral("v")), std::size_t(error.isNull() ? 1 : 0));
}

void tst_SetVariableFlashCommand::firstCommandThatCanBeSkippedWarnsOnce()
{
    prepare(QByteArray(), QString(), QStringLiteral("1"));
    const QSharedPointer<FlashCommand> first = setVariable();
    first->setGroup(QStringLiteral("optional"));
    const QSharedPointer<FlashCommand> second = setVariable();

    std::set<QString> defined;
    QCOMPARE(first->checkParameters(*m_configuration, defined), QString());
    QCOMPARE(second->checkParameters(*m_configuration, defined), QString());
    QCOMPARE(m_recorder.rendered({QStringLiteral("app WARNING")}),
             QStringList{QStringLiteral("app WARNING First setVariable command for 'v' can be skipped")});
}

void tst_SetVariableFlashCommand::writtenBackAndEdited()
{
    const QSharedPointer<FlashCommand> optional = setVariable(R"("mandatory": false, "defaultValue": "n/a")");
    const QVariantMap json = optional->toJson().toQVariantMap();
    QCOMPARE(json.keys(), (QStringList{"defaultValue", "description", "mandatory", "tool", "variable"}));
    QCOMPARE(json.value(QStringLiteral("defaultValue")).toString(), QStringLiteral("n/a"));
    QVERIFY(!setVariable()->toJson().toQVariantMap().contains(QStringLiteral("defaultValue")));
    QCOMPARE(optional->getLogCommand(SharedPointer<FlashRunner>()), QStringLiteral("Set variable 'v'"));
    QCOMPARE(optional->getType(), FlashTypes::CommandType::Internal);
    QVERIFY(optional->hasParameter(QStringLiteral("v")));

    const JsonObjectList form = optional->getJsonEditorInterface();
    const auto value = [&form](const QString& id) {
        return form.findFromField(QStringLiteral("id"), id)->toQVariantMap().value(QStringLiteral("value"));
    };
    QCOMPARE(form.size(), 5);
    QCOMPARE(value(QStringLiteral("tool")).toString(), QStringLiteral("setVariable"));
    QCOMPARE(value(QStringLiteral("variable")).toString(), QStringLiteral("v"));
    QCOMPARE(value(QStringLiteral("mandatory")).toBool(), false);
    QCOMPARE(value(QStringLiteral("defaultValue")).toString(), QStringLiteral("n/a"));
    const JsonObjectList empty = SetVariableFlashCommand::getJsonEditorInterfaceTemplate();
    QCOMPARE(empty.findFromField(QStringLiteral("id"), QStringLiteral("mandatory"))
                 ->toQVariantMap().value(QStringLiteral("value")).toBool(),
             true);
}

QTEST_GUILESS_MAIN(tst_SetVariableFlashCommand)
#include "tst_SetVariableFlashCommand.moc"
