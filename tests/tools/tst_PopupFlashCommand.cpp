// The popup command: read and written, its texts, the question that blocks the flash thread until
// the desktop face answers, and the command-line face that has no one to ask.

#include "ToolsTestKit.h"

#include "tools/PopupFlashCommand.h"

#include <QtTest>

#include <atomic>

using namespace ToolsTestKit;

namespace {

// Stands in for the main window's message box: shows each request for a while (the operator
// reading it) on the main thread, then answers as the test decided.
class MessageBoxDouble : public QObject
{
public:
    void displayMessageBox(const QString& kind, const QString& text, bool* cancel)
    {
        shown << kind + QLatin1Char('|') + text;
        QTest::qWait(200);
        if (flashReturned && flashReturned->load())
            flashWentOn = true;
        if (cancel)
            *cancel = cancelFlash;
    }

    bool cancelFlash = false;
    std::atomic<bool>* flashReturned = nullptr;
    bool flashWentOn = false;
    QStringList shown;
};

} // namespace

class tst_PopupFlashCommand : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void createFromJson_data();
    void createFromJson();
    void texts_data();
    void texts();
    void questionWaitsForTheOperator_data();
    void questionWaitsForTheOperator();
    void withoutDesktopTheFlashGoesOn();
    void nothingShownWhenTheTextCannotBeResolved();
    void shownOnlyOnTheFirstAttempt();
    void editorForms();

private:
    RecordingLogSink m_recorder;
    QSharedPointer<FlashConfiguration> m_configuration;
    SharedPointer<FlashDevice2> m_device;
};

void tst_PopupFlashCommand::initTestCase()
{
    startCommandTests(m_recorder);
    m_configuration = configurationWith("board", "b42");
    m_device = makeDevice();
}

void tst_PopupFlashCommand::init()
{
    m_recorder.clear();
}

void tst_PopupFlashCommand::createFromJson_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("error"); // first application ERROR line; empty: created

    QTest::newRow("info") << QByteArray(R"({"tool": "popup", "description": "d", "type": "info"})") << QString();
    QTest::newRow("question") << QByteArray(R"({"tool": "popup", "description": "d", "type": "question"})") << QString();
    QTest::newRow("no description") << QByteArray(R"({"tool": "popup", "type": "info"})")
                                    << "No key `description` in Popup command";
    QTest::newRow("description no text") << QByteArray(R"({"tool": "popup", "description": [], "type": "info"})")
                                         << "Invalid `description` value type in Popup command";
    QTest::newRow("empty description") << QByteArray(R"({"tool": "popup", "description": "", "type": "info"})")
                                       << "Empty 'description' value in Popup command";
    QTest::newRow("no type") << QByteArray(R"({"tool": "popup", "description": "d"})")
                             << "No key `type` in Popup command";
    QTest::newRow("type in capitals") << QByteArray(R"({"tool": "popup", "description": "d", "type": "Info"})")
                                      << "Invalid `type` value type in Popup command";
    QTest::newRow("type no text") << QByteArray(R"({"tool": "popup", "description": "d", "type": {}})")
                                  << "Invalid `type` value type in Popup command";
}

void tst_PopupFlashCommand::createFromJson()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, error);
    const QSharedPointer<FlashCommand> command = ToolsTestKit::command(json);
    const QStringList errors = m_recorder.rendered({"app ERROR "});
    QCOMPARE(!command, !error.isEmpty());
    if (!error.isEmpty()) {
        QCOMPARE(errors.value(0), "app ERROR " + error);
        return;
    }
    QVERIFY2(errors.isEmpty(), qPrintable(errors.join('\n')));
    const JsonObject json2 = command->toJson();
    JsonObject original;
    QVERIFY(original.loadMemory(json));
    QCOMPARE(json2, original);
}

void tst_PopupFlashCommand::texts_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("logCommand");
    QTest::addColumn<QString>("toolParameters");

    QTest::newRow("info") << "info" << "Info message: Board b42" << "Information: Board ${board}";
    QTest::newRow("warn") << "warn" << "Warning message: Board b42" << "Warning: Board ${board}";
    QTest::newRow("question") << "question" << "Question: Board b42" << "Question: Board ${board}";
}

void tst_PopupFlashCommand::texts()
{
    QFETCH(QString, type);
    QFETCH(QString, logCommand);
    QFETCH(QString, toolParameters);
    const QSharedPointer<FlashCommand> command =
        ToolsTestKit::command(QStringLiteral(R"({"tool": "popup", "description": "Board ${board}", "type": "%1"})").arg(type).toUtf8());
    QVERIFY(command);
    const SharedPointer<FlashRunner> runner = makeRunner(m_device, m_configuration);
    QCOMPARE(command->getLogCommand(runner), logCommand);
    QCOMPARE(command->getLogCommand(*m_configuration), logCommand);
    QCOMPARE(command->getLogCommand(SharedPointer<FlashRunner>()), logCommand.replace("b42", "${board}"));
    QCOMPARE(command->getUserFriendlyCommand(runner), QString("Board b42"));
    QCOMPARE(command->getToolParameters(), toolParameters);
    QCOMPARE(command->getType(), FlashTypes::CommandType::Popup);
    QCOMPARE(command->getTimeout(), ~uint64_t(0));
    QVERIFY(command->hasParameter("board"));

    // A level only code can make has no words.
    PopupFlashCommand odd(nullptr, PopupFlashCommand::PopupLevel(7), "d");
    QCOMPARE(odd.getToolParameters(), QString("Unknown popup type"));
    QCOMPARE(odd.getLogCommand(*m_configuration), QString(""));
    QCOMPARE(odd.toJson().keys(), (QStringList{"description", "tool"}));
}

void tst_PopupFlashCommand::questionWaitsForTheOperator_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<bool>("cancelFlash");
    QTest::addColumn<int>("expected");
    QTest::addColumn<QString>("logLine");

    QTest::newRow("question, continue") << "question" << false << int(PerformSuccess) << "INFO Proceed with b42?";
    QTest::newRow("question, cancel flash") << "question" << true << int(PerformCancelled) << "INFO Proceed with b42?";
    QTest::newRow("warning") << "warn" << false << int(PerformSuccess) << "WARNING Proceed with b42?";
    QTest::newRow("info") << "info" << false << int(PerformSuccess) << "INFO Proceed with b42?";
}

void tst_PopupFlashCommand::questionWaitsForTheOperator()
{
    QFETCH(QString, type);
    QFETCH(bool, cancelFlash);
    QFETCH(int, expected);
    QFETCH(QString, logLine);
    const QSharedPointer<FlashCommand> command =
        ToolsTestKit::command(QStringLiteral(R"({"tool": "popup", "description": "Proceed with ${board}?", "type": "%1"})").arg(type).toUtf8());
    QVERIFY(command);
    RecordingLogSink runLog;
    const SharedPointer<FlashRunner> runner = makeRunner(m_device, m_configuration, &runLog);
    MessageBoxDouble box;
    std::atomic<bool> returned{false};
    box.flashReturned = &returned;
    box.cancelFlash = cancelFlash;
    QObject::connect(runner.data(), &FlashRunner::displayMessageBox, &box,
                     &MessageBoxDouble::displayMessageBox, Qt::BlockingQueuedConnection);

    int result = -1;
    QString error;
    const auto thread = startThread([&] {
        result = command->performCommand(runner, m_device, 1, error);
        returned = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(thread->isFinished(), 20000);
    QCOMPARE(result, expected);
    QVERIFY(error.isNull());
    QCOMPARE(box.shown, QStringList{type + "|Proceed with b42?"});
    QVERIFY2(!box.flashWentOn, "the flash thread did not wait for the answer");
    QCOMPARE(runLog.rendered(), QStringList{logLine});
}

void tst_PopupFlashCommand::withoutDesktopTheFlashGoesOn()
{
    // The command-line face connects nobody: questions are not asked and the run goes on.
    QSharedPointer<FlashConfiguration> configuration = makeConfiguration();
    configuration->appendCommand(ToolsTestKit::command(R"({"tool": "popup", "description": "Stop?", "type": "question"})"));
    configuration->appendCommand(ToolsTestKit::command(R"({"tool": "notifier", "source": "Hello", "duration": 600000})"));
    configuration->appendCommand(ToolsTestKit::command(R"({"tool": "pass", "description": "after"})"));
    const SharedPointer<FlashRunner> runner = makeRunner(m_device, configuration);
    QElapsedTimer timer;
    timer.start();
    QSharedPointer<FlashCommand> last;
    QCOMPARE(configuration->execute(runner, m_device, last), FlashTypes::FlashStatus::Success);
    QVERIFY(timer.elapsed() < 60000);
    QCOMPARE(last->getToolId(), QString("pass"));
}

void tst_PopupFlashCommand::nothingShownWhenTheTextCannotBeResolved()
{
    const QSharedPointer<FlashCommand> command =
        ToolsTestKit::command(R"({"tool": "popup", "description": "On ${nowhere}", "type": "question"})");
    QVERIFY(command);
    const SharedPointer<FlashRunner> runner = makeRunner(m_device, m_configuration);
    QSignalSpy asked(runner.data(), &FlashRunner::displayMessageBox);
    QString error;
    QCOMPARE(command->performCommand(runner, m_device, 1, error), int(PerformFailed));
    QCOMPARE(error, QString("Unknown parameter key 'nowhere'"));
    QCOMPARE(asked.count(), 0);
}

void tst_PopupFlashCommand::shownOnlyOnTheFirstAttempt()
{
    const QSharedPointer<FlashCommand> command =
        ToolsTestKit::command(R"({"tool": "popup", "description": "x", "type": "info"})");
    QVERIFY(command);
    const SharedPointer<FlashRunner> runner = makeRunner(m_device, m_configuration);
    QSignalSpy asked(runner.data(), &FlashRunner::displayMessageBox);
    QString error;
    QCOMPARE(command->performCommand(runner, m_device, 2, error), int(PerformFailed));
    QCOMPARE(command->performCommand(SharedPointer<FlashRunner>(), m_device, 1, error), int(PerformFailed));
    QCOMPARE(m_recorder.rendered({"app TRACE"}), QStringList{"app TRACE Invalid runner pointer"});
    QCOMPARE(asked.count(), 0);
}

void tst_PopupFlashCommand::editorForms()
{
    const QByteArray choices = R"({"info": "Information", "question": "Question", "warn": "Warning"})";
    QCOMPARE(fieldTexts(PopupFlashCommand::getJsonEditorInterfaceTemplate()),
             fieldTexts(formFrom(R"([
                 {"id": "tool", "type": "hidden", "value": "popup"},
                 {"id": "description", "label": "Description", "type": "text", "value": "Add a message here"},
                 {"id": "type", "label": "Type", "type": "combobox", "value": "info", "allowedValues": )" + choices + R"(}
             ])")));
    const QSharedPointer<FlashCommand> command =
        ToolsTestKit::command(R"({"tool": "popup", "description": "Sure?", "type": "question"})");
    QVERIFY(command);
    QCOMPARE(fieldTexts(command->getJsonEditorInterface()),
             fieldTexts(formFrom(R"([
                 {"id": "tool", "type": "hidden", "value": "popup"},
                 {"id": "description", "label": "Description", "type": "text", "value": "Sure?"},
                 {"id": "type", "label": "Type", "type": "combobox", "value": "question", "allowedValues": )" + choices + R"(}
             ])")));
}

QTEST_GUILESS_MAIN(tst_PopupFlashCommand)
#include "tst_PopupFlashCommand.moc"
