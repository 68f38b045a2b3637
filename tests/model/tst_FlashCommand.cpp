#include "ModelTestKit.h"

#include "core/MetaTypes.h"

#include "model/FlashParameterValueString.h"
#include "tools/BuiltInKinds.h"

#include <QSignalSpy>
#include <QtTest>

Q_DECLARE_METATYPE(std::vector<int>)

class tst_FlashCommand : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void createFromJson_data();
    void createFromJson();
    void factoryRegistrationKeepsTheFirstCreator();
    void preconditionIsWrittenBack_data();
    void preconditionIsWrittenBack();
    void copyHasItsOwnGroup();
    void editorInterfaceIsFilledById();
    void attemptLines_data();
    void attemptLines();
    void retryResetsProgress();
    void kindTextReplacesOutcomeLine();
    void commandWithoutLogNameLogsOnlyItsOwnText();
    void precondition_data();
    void precondition();
    void missingRunnerOrDevice();

private:
    RecordingLogSink m_recorder;
    QSharedPointer<FlashConfiguration> m_configuration;
    SharedPointer<FlashDevice2> m_device;
};

void tst_FlashCommand::initTestCase()
{
    registerMetaTypes();
    BuiltInKinds::registerAll();
    QVERIFY(FlashCommand::addCommandFactory("scripted", &ScriptedCommand::create));
    relayApplicationLog(m_recorder);

    std::map<QString, FlashParameterValueString*> boards = {
        {QStringLiteral("only"), new FlashParameterValueString(QStringLiteral("only"), QStringLiteral("x"), QString())}};
    FlashConfiguration::Parameters parameters = {
        {QStringLiteral("board"), FlashParameterPtr(new FlashParameter(QStringLiteral("board"), QStringLiteral("Board"), boards))}};
    m_configuration = makeConfiguration(FlashConfiguration::UnknownGroupsEnabled, parameters);
    m_device = makeDevice();
}

void tst_FlashCommand::init()
{
    m_recorder.clear();
}

void tst_FlashCommand::createFromJson_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("error"); // first ERROR line of the application log; empty: created

    QTest::newRow("valid") << QByteArray(R"({"tool": "scripted"})") << QString();
    QTest::newRow("no tool") << QByteArray(R"({"name": "x"})")
                             << QStringLiteral("Cannot create command, invalid 'tool' value ");
    QTest::newRow("tool not a string") << QByteArray(R"({"tool": 3})")
                                       << QStringLiteral("Cannot create command, invalid 'tool' value ");
    QTest::newRow("unknown tool") << QByteArray(R"({"tool": "nope"})")
                                  << QStringLiteral("Cannot create command, unknown tool 'nope'");
    QTest::newRow("tool in other case") << QByteArray(R"({"tool": "Scripted"})")
                                        << QStringLiteral("Cannot create command, unknown tool 'Scripted'");
    QTest::newRow("creator refuses") << QByteArray(R"({"tool": "scripted", "refuse": true})")
                                     << QStringLiteral("Cannot create command with tool \"scripted\"");
    QTest::newRow("precondition is a string")
        << QByteArray(R"({"tool": "scripted", "precondition": "true"})")
        << QStringLiteral("Invalid precondition type");
    QTest::newRow("precondition without expression")
        << QByteArray(R"({"tool": "scripted", "precondition": {"skipOnFailure": true}})")
        << QStringLiteral("Missing command precondition expression");
    QTest::newRow("expression not a string")
        << QByteArray(R"({"tool": "scripted", "precondition": {"expression": 1}})")
        << QStringLiteral("Invalid command precondition expression");
    QTest::newRow("skipOnFailure not a boolean")
        << QByteArray(R"({"tool": "scripted", "precondition": {"expression": "false", "skipOnFailure": 2}})")
        << QStringLiteral("Invalid skipOnFailure value");
}

void tst_FlashCommand::createFromJson()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, error);
    JsonObject object;
    QVERIFY(object.loadMemory(json));

    const QSharedPointer<FlashCommand> command = FlashCommand::getCommandFromJson(object);

    const QStringList errors = m_recorder.rendered({QStringLiteral("app ERROR ")});
    if (error.isEmpty()) {
        QVERIFY2(command, qPrintable(errors.join('\n')));
        QVERIFY(errors.isEmpty());
    } else {
        QVERIFY(!command);
        QVERIFY2(!errors.isEmpty(), "no ERROR line");
        QCOMPARE(errors.first(), QStringLiteral("app ERROR ") + error);
    }
}

void tst_FlashCommand::factoryRegistrationKeepsTheFirstCreator()
{
    const auto other = [](const JsonObject&) -> FlashCommand* { return nullptr; };
    QVERIFY(!FlashCommand::addCommandFactory("scripted", other));
    JsonObject object;
    QVERIFY(object.loadMemory(R"({"tool": "scripted"})"));
    QVERIFY(FlashCommand::getCommandFromJson(object));

    QVERIFY(FlashCommand::removeCommandFactory("scripted"));
    QVERIFY(!FlashCommand::removeCommandFactory("scripted"));
    QVERIFY(!FlashCommand::getCommandFromJson(object));
    QVERIFY(FlashCommand::addCommandFactory("scripted", &ScriptedCommand::create));
    QVERIFY(FlashCommand::getCommandFromJson(object));
}

void tst_FlashCommand::preconditionIsWrittenBack_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<bool>("hasPrecondition");
    QTest::addColumn<bool>("written");

    QTest::newRow("none") << QByteArray(R"({"tool": "scripted"})") << false << false;
    QTest::newRow("true without skip")
        << QByteArray(R"({"tool": "scripted", "precondition": {"expression": "true"}})") << false << false;
    QTest::newRow("true with skip")
        << QByteArray(R"({"tool": "scripted", "precondition": {"expression": "true", "skipOnFailure": true}})")
        << false << true;
    QTest::newRow("expression")
        << QByteArray(R"({"tool": "scripted", "precondition": {"expression": "${board} == 'x'"}})")
        << true << true;
}

void tst_FlashCommand::preconditionIsWrittenBack()
{
    QFETCH(QByteArray, json);
    QFETCH(bool, hasPrecondition);
    QFETCH(bool, written);
    JsonObject object;
    QVERIFY(object.loadMemory(json));
    JsonObject precondition;
    object.getObject(QStringLiteral("precondition"), precondition);

    const QSharedPointer<FlashCommand> command = FlashCommand::getCommandFromJson(object);
    QVERIFY(command);
    QCOMPARE(command->hasPrecondition(), hasPrecondition);

    JsonObject writtenPrecondition;
    const JsonObject base = command->getJsonBase();
    QCOMPARE(base.getObject(QStringLiteral("precondition"), writtenPrecondition) == JsonObject::Found, written);
    if (written) {
        QString expression;
        QCOMPARE(writtenPrecondition.getString(QStringLiteral("expression"), expression), JsonObject::Found);
        QString original;
        precondition.getString(QStringLiteral("expression"), original);
        QCOMPARE(expression, original); // as written, not the rewritten script
    }
    // A reference in the precondition counts as a use of the parameter.
    QCOMPARE(command->hasParameter(QStringLiteral("board")), hasPrecondition);
    QCOMPARE(command->hasParameter(QStringLiteral("board"), QString()), hasPrecondition);
    QVERIFY(!command->hasParameter(QStringLiteral("board"), QStringLiteral("x")));
}

void tst_FlashCommand::editorInterfaceIsFilledById()
{
    JsonObject tool;
    tool.setValue(QStringLiteral("id"), QStringLiteral("tool"));
    tool.setValue(QStringLiteral("value"), QString());
    JsonObject timeout;
    timeout.setValue(QStringLiteral("id"), QStringLiteral("timeout"));
    timeout.setValue(QStringLiteral("value"), 60000);
    JsonObject noId;
    noId.setValue(QStringLiteral("label"), QStringLiteral("Note"));
    noId.setValue(QStringLiteral("value"), QStringLiteral("kept"));

    const JsonObjectList filled = FlashCommand::fillEditorInterface(
        {tool, timeout, noId}, {{QStringLiteral("tool"), QStringLiteral("adb")},
                                {QStringLiteral("absent"), 1}});
    QCOMPARE(filled.size(), 3);
    QCOMPARE(filled[0].toQVariantMap().value(QStringLiteral("value")).toString(), QStringLiteral("adb"));
    QCOMPARE(filled[1], timeout);   // no value given: the form's stays
    QCOMPARE(filled[2], noId);
}

void tst_FlashCommand::copyHasItsOwnGroup()
{
    ScriptedCommand command(QStringLiteral("A"));
    command.setGroup(QStringLiteral("g"));
    const QSharedPointer<FlashCommand> copy = command.clone();
    copy->setGroup(QStringLiteral("h"));
    QCOMPARE(command.getGroup(), QStringLiteral("g"));
    QCOMPARE(copy->getJsonBase().toQVariantMap().value(QStringLiteral("group")).toString(), QStringLiteral("h"));
}

void tst_FlashCommand::attemptLines_data()
{
    QTest::addColumn<std::vector<int>>("results");
    QTest::addColumn<int>("expected");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("attempts");

    const QString running = QStringLiteral("INFO Running `X` command");
    const QString retrying = QStringLiteral("INFO Retrying `X` command");
    QTest::newRow("success") << std::vector<int>{PerformSuccess} << int(ExecuteSuccess)
                             << QStringList{running, QStringLiteral("INFO Command `X` succeed")} << 1;
    QTest::newRow("retry, then success")
        << std::vector<int>{PerformRetry, PerformSuccess} << int(ExecuteSuccess)
        << QStringList{running, QStringLiteral("WARNING Command `X` failed"), retrying,
                       QStringLiteral("INFO Command `X` succeed")}
        << 2;
    QTest::newRow("failure") << std::vector<int>{PerformFailed} << int(ExecuteFailed)
                             << QStringList{running, QStringLiteral("ERROR Command `X` failed")} << 1;
    QTest::newRow("failure, flash goes on")
        << std::vector<int>{PerformFailedContinue} << int(ExecuteFailedContinue)
        << QStringList{running, QStringLiteral("WARNING Command `X` failed")} << 1;
    QTest::newRow("cancel") << std::vector<int>{PerformCancelled} << int(ExecuteCancelled)
                            << QStringList{running, QStringLiteral("WARNING Command `X` cancelled by user")}
                            << 1;
    QTest::newRow("retry, then cancel")
        << std::vector<int>{PerformRetry, PerformCancelled} << int(ExecuteCancelled)
        << QStringList{running, QStringLiteral("WARNING Command `X` failed"), retrying,
                       QStringLiteral("WARNING Command `X` cancelled by user")}
        << 2;
    QTest::newRow("unknown result") << std::vector<int>{7} << int(ExecuteFailed) << QStringList{running} << 1;
}

void tst_FlashCommand::attemptLines()
{
    QFETCH(std::vector<int>, results);
    QFETCH(int, expected);
    QFETCH(QStringList, lines);
    QFETCH(int, attempts);
    ScriptedCommand command(QStringLiteral("X"), results);
    const SharedPointer<FlashRunner> runner = makeRunner(m_device, m_configuration, &m_recorder);

    QCOMPARE(int(command.execute(runner, m_device)), expected);

    const QStringList seen = m_recorder.rendered(
        {QStringLiteral("INFO "), QStringLiteral("WARNING "), QStringLiteral("ERROR ")});
    QCOMPARE(seen, lines);
    std::vector<uint64_t> numbers;
    for (int attempt = 1; attempt <= attempts; ++attempt)
        numbers.push_back(uint64_t(attempt));
    QCOMPARE(command.m_attempts, numbers);
}

void tst_FlashCommand::retryResetsProgress()
{
    ScriptedCommand command(QStringLiteral("X"), {PerformRetry, PerformRetry, PerformRetry, PerformSuccess});
    const SharedPointer<FlashRunner> runner = makeRunner(m_device, m_configuration);
    // The third of five commands: its own progress 0 of 1 is (2 × 1 + 0) of (1 × 5) for the run.
    runner->setConfigurationProgression(2, 5);
    QSignalSpy info(runner.data(), &FlashRunner::progressionInfoChanged);
    QSignalSpy progress(runner.data(), &FlashRunner::progressionChanged);

    QCOMPARE(command.execute(runner, m_device), ExecuteSuccess);

    QCOMPARE(command.m_attempts, (std::vector<uint64_t>{1, 2, 3, 4}));
    QStringList texts;
    for (const QList<QVariant>& emitted : info)
        texts << emitted.at(0).toString();
    QCOMPARE(texts, (QStringList{QStringLiteral("X"), QStringLiteral("X (retry)"),
                                 QStringLiteral("X (retry)"), QStringLiteral("X (retry)")}));
    QCOMPARE(progress.count(), 3);
    for (const QList<QVariant>& emitted : progress)
        QCOMPARE(emitted, (QList<QVariant>{QVariant::fromValue(uint64_t(2)), QVariant::fromValue(uint64_t(5))}));
}

void tst_FlashCommand::kindTextReplacesOutcomeLine()
{
    ScriptedCommand command(QStringLiteral("X"));
    command.m_onPerform = [](const SharedPointer<FlashRunner>&, uint64_t, QString& error) {
        error = QStringLiteral("Flashed 3 partitions");
        return int(PerformSuccess);
    };
    const SharedPointer<FlashRunner> runner = makeRunner(m_device, m_configuration, &m_recorder);

    QCOMPARE(command.execute(runner, m_device), ExecuteSuccess);
    QCOMPARE(m_recorder.rendered({QStringLiteral("INFO ")}),
             (QStringList{QStringLiteral("INFO Running `X` command"),
                          QStringLiteral("INFO Flashed 3 partitions")}));
}

void tst_FlashCommand::commandWithoutLogNameLogsOnlyItsOwnText()
{
    ScriptedCommand command(QString(), {PerformRetry, PerformFailed});
    command.m_onPerform = [](const SharedPointer<FlashRunner>&, uint64_t attempt, QString& error) {
        if (attempt == 2)
            error = QStringLiteral("own text");
        return attempt == 1 ? int(PerformRetry) : int(PerformFailed);
    };
    const SharedPointer<FlashRunner> runner = makeRunner(m_device, m_configuration, &m_recorder);

    QCOMPARE(command.execute(runner, m_device), ExecuteFailed);
    QCOMPARE(m_recorder.rendered({QStringLiteral("INFO "), QStringLiteral("WARNING "),
                                           QStringLiteral("ERROR ")}),
             QStringList{QStringLiteral("ERROR own text")});
}

void tst_FlashCommand::precondition_data()
{
    QTest::addColumn<QString>("expression");
    QTest::addColumn<bool>("skip");
    QTest::addColumn<int>("expected");
    QTest::addColumn<QStringList>("lines"); // each seen line starts with its expected text
    QTest::addColumn<bool>("performed");

    const QString running = QStringLiteral("INFO Running `X` command");
    const QString succeed = QStringLiteral("INFO Command `X` succeed");
    QTest::newRow("none") << QStringLiteral("true") << false << int(ExecuteSuccess)
                          << QStringList{running, succeed} << true;
    QTest::newRow("true, parameter reference")
        << QStringLiteral("${board} == 'x'") << false << int(ExecuteSuccess)
        << QStringList{QStringLiteral("DEBUG Evaluating precondition : ($.getParameter(\"board\")) == 'x'"),
                       running, succeed}
        << true;
    QTest::newRow("false")
        << QStringLiteral("${board} == 'y'") << false << int(ExecuteFailed)
        << QStringList{QStringLiteral("DEBUG Evaluating precondition : "),
                       QStringLiteral("ERROR Precondition for `X` failed")}
        << false;
    QTest::newRow("false, skip on failure")
        << QStringLiteral("false") << true << int(ExecuteSkipped)
        << QStringList{QStringLiteral("DEBUG Evaluating precondition : false"),
                       QStringLiteral("INFO Skipping `X` command due to precondition")}
        << false;
    QTest::newRow("number") << QStringLiteral("1 + 1") << true << int(ExecuteFailed)
                            << QStringList{QStringLiteral("DEBUG Evaluating precondition : 1 + 1"),
                                           QStringLiteral("ERROR Precondition must evaluate a boolean expression")}
                            << false;
    QTest::newRow("text") << QStringLiteral("'yes'") << false << int(ExecuteFailed)
                          << QStringList{QStringLiteral("DEBUG Evaluating precondition : 'yes'"),
                                         QStringLiteral("ERROR Precondition must evaluate a boolean expression")}
                          << false;
    QTest::newRow("syntax error on line 2")
        << QStringLiteral("true &&\n(") << true << int(ExecuteFailed)
        << QStringList{QStringLiteral("DEBUG Evaluating precondition : "),
                       QStringLiteral("ERROR Precondition failed to evaluate"),
                       QStringLiteral("DEBUG Exception line 2: ")}
        << false;
}

void tst_FlashCommand::precondition()
{
    QFETCH(QString, expression);
    QFETCH(bool, skip);
    QFETCH(int, expected);
    QFETCH(QStringList, lines);
    QFETCH(bool, performed);
    ScriptedCommand command(QStringLiteral("X"), {PerformSuccess},
                            new FlashCommand::FlashCommandData(expression, skip));
    const SharedPointer<FlashRunner> runner = makeRunner(m_device, m_configuration, &m_recorder);

    QCOMPARE(int(command.execute(runner, m_device)), expected);

    const QStringList seen = m_recorder.rendered(
        {QStringLiteral("INFO "), QStringLiteral("WARNING "), QStringLiteral("ERROR "),
         QStringLiteral("DEBUG Evaluating"), QStringLiteral("DEBUG Exception")});
    QVERIFY2(seen.size() == lines.size(), qPrintable(seen.join('\n')));
    for (int index = 0; index < lines.size(); ++index)
        QVERIFY2(seen[index].startsWith(lines[index]), qPrintable(seen[index]));
    QCOMPARE(!command.m_attempts.empty(), performed);
}

void tst_FlashCommand::missingRunnerOrDevice()
{
    ScriptedCommand command(QStringLiteral("X"));
    QCOMPARE(command.execute(SharedPointer<FlashRunner>(), m_device), ExecuteFailed);
    QCOMPARE(m_recorder.rendered({QStringLiteral("app ")}),
             (QStringList{QStringLiteral("app ERROR Flash failed to start"),
                          QStringLiteral("app TRACE Invalid runner pointer")}));

    m_recorder.clear();
    const SharedPointer<FlashRunner> runner = makeRunner(m_device, m_configuration, &m_recorder);
    QCOMPARE(command.execute(runner, SharedPointer<FlashDevice2>()), ExecuteFailed);
    QCOMPARE(m_recorder.rendered({QStringLiteral("ERROR "), QStringLiteral("TRACE Invalid")}),
             (QStringList{QStringLiteral("ERROR Flash failed to start"),
                          QStringLiteral("TRACE Invalid device pointer")}));
    QVERIFY(command.m_attempts.empty());
}

QTEST_GUILESS_MAIN(tst_FlashCommand)
#include "tst_FlashCommand.moc"
