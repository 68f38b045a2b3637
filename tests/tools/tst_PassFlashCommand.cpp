// The pass command: read, written, described, and always successful when it runs.

#include "ToolsTestKit.h"

#include "tools/PassFlashCommand.h"

#include <QtTest>

using namespace ToolsTestKit;

class tst_PassFlashCommand : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void createFromJson_data();
    void createFromJson();
    void textsAndJson();
    void runsLikeAnyCommand_data();
    void runsLikeAnyCommand();
    void editorForms();

private:
    RecordingLogSink m_recorder;
    QSharedPointer<FlashConfiguration> m_configuration;
};

void tst_PassFlashCommand::initTestCase()
{
    startCommandTests(m_recorder);
    m_configuration = configurationWith("board", "b42");
}

void tst_PassFlashCommand::init()
{
    m_recorder.clear();
}

void tst_PassFlashCommand::createFromJson_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("error"); // first application ERROR line; empty: created

    QTest::newRow("valid") << QByteArray(R"({"tool": "pass", "description": "Nothing"})") << QString();
    QTest::newRow("no description") << QByteArray(R"({"tool": "pass"})")
                                    << "Invalid 'description' in pass command";
    QTest::newRow("description no text") << QByteArray(R"({"tool": "pass", "description": 4})")
                                         << "Invalid 'description' in pass command";
    QTest::newRow("empty description") << QByteArray(R"({"tool": "pass", "description": ""})")
                                       << "Empty 'description' in pass command";
}

void tst_PassFlashCommand::createFromJson()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, error);
    const QSharedPointer<FlashCommand> command = ToolsTestKit::command(json);
    const QStringList errors = m_recorder.rendered({"app ERROR "});
    QCOMPARE(!command, !error.isEmpty());
    if (!error.isEmpty())
        QCOMPARE(errors.value(0), "app ERROR " + error);
    else
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join('\n')));
}

void tst_PassFlashCommand::textsAndJson()
{
    const QSharedPointer<FlashCommand> command =
        ToolsTestKit::command(R"({"tool": "pass", "description": "Board ${board}"})");
    QVERIFY(command);
    command->setGroup("g");
    QCOMPARE(command->getLogCommand(*m_configuration), QString("Pass"));
    QCOMPARE(command->getLogCommand(SharedPointer<FlashRunner>()), QString("Pass"));
    QCOMPARE(command->getUserFriendlyCommand(*m_configuration), QString("Board b42"));
    QCOMPARE(command->getUserFriendlyCommand(SharedPointer<FlashRunner>()), QString("Board ${board}"));
    QCOMPARE(command->getUserFriendlyCommand(makeRunner(makeDevice(), m_configuration)), QString("Board b42"));
    QCOMPARE(command->getType(), FlashTypes::CommandType::Internal);
    QCOMPARE(command->getToolParameters(), QString(""));
    QCOMPARE(command->getTimeout(), ~uint64_t(0));
    QVERIFY(command->isMandatory());
    // The description only serves display: its references are no parameters of the command.
    QVERIFY(!command->hasParameter("board"));

    const JsonObject json = command->toJson();
    QCOMPARE(json.keys(), (QStringList{"description", "group", "tool"}));
    const QSharedPointer<FlashCommand> copy = FlashCommand::getCommandFromJson(json);
    QVERIFY(copy);
    copy->setGroup("g");   // the flash file reader sets the group
    QCOMPARE(copy->toJson(), json);
    QCOMPARE(command->clone()->toJson(), json);
}

void tst_PassFlashCommand::runsLikeAnyCommand_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<int>("expected");

    QTest::newRow("runs") << QByteArray(R"({"tool": "pass", "description": "x"})") << int(ExecuteSuccess);
    QTest::newRow("precondition false")
        << QByteArray(R"({"tool": "pass", "description": "x", "precondition": {"expression": "false"}})")
        << int(ExecuteFailed);
    QTest::newRow("precondition false, skipped")
        << QByteArray(R"({"tool": "pass", "description": "x", "precondition": {"expression": "false", "skipOnFailure": true}})")
        << int(ExecuteSkipped);
}

void tst_PassFlashCommand::runsLikeAnyCommand()
{
    QFETCH(QByteArray, json);
    QFETCH(int, expected);
    const QSharedPointer<FlashCommand> command = ToolsTestKit::command(json);
    QVERIFY(command);
    const SharedPointer<FlashDevice2> device = makeDevice();
    QCOMPARE(int(command->execute(makeRunner(device, m_configuration), device)), expected);

    QString error;
    QCOMPARE(command->performCommand(SharedPointer<FlashRunner>(), device, 7, error), int(PerformSuccess));
    QVERIFY(error.isNull());
}

void tst_PassFlashCommand::editorForms()
{
    QCOMPARE(fieldTexts(PassFlashCommand::getJsonEditorInterfaceTemplate()),
             fieldTexts(formFrom(R"([
                 {"id": "tool", "type": "hidden", "value": "pass"},
                 {"id": "description", "label": "Description", "type": "text", "value": "Add a description here"}
             ])")));
    const QSharedPointer<FlashCommand> command = ToolsTestKit::command(R"({"tool": "pass", "description": "Mine"})");
    QVERIFY(command);
    QCOMPARE(fieldTexts(command->getJsonEditorInterface()),
             fieldTexts(formFrom(R"([
                 {"id": "tool", "type": "hidden", "value": "pass"},
                 {"id": "description", "label": "Description", "type": "text", "value": "Mine"}
             ])")));
}

QTEST_GUILESS_MAIN(tst_PassFlashCommand)
#include "tst_PassFlashCommand.moc"
