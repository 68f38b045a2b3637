// The notifier command: read and written, its texts, and a notice handed on without waiting.

#include "ToolsTestKit.h"

#include "tools/NotifierToolFlashCommand.h"

#include <QElapsedTimer>
#include <QtTest>

using namespace ToolsTestKit;

class tst_NotifierToolFlashCommand : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void createFromJson_data();
    void createFromJson();
    void textsAndJson();
    void noticeIsHandedOnWithoutWaiting();
    void nothingShownWhenTheSourceCannotBeResolved();
    void editorForms();

private:
    RecordingLogSink m_recorder;
    QSharedPointer<FlashConfiguration> m_configuration;
    SharedPointer<FlashDevice2> m_device;
};

void tst_NotifierToolFlashCommand::initTestCase()
{
    startCommandTests(m_recorder);
    m_configuration = configurationWith("board", "b42");
    m_device = makeDevice();
}

void tst_NotifierToolFlashCommand::init()
{
    m_recorder.clear();
}

void tst_NotifierToolFlashCommand::createFromJson_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("error"); // the application's line about it; empty: created

    QTest::newRow("valid") << QByteArray(R"({"tool": "notifier", "source": "Hi", "duration": 60000})") << QString();
    QTest::newRow("no source") << QByteArray(R"({"tool": "notifier", "duration": 1})")
                               << "ERROR No key 'source' in Notifier command";
    QTest::newRow("source no text") << QByteArray(R"({"tool": "notifier", "source": 1, "duration": 1})")
                                    << "ERROR Invalid 'source' value type in Notifier command";
    QTest::newRow("empty source") << QByteArray(R"({"tool": "notifier", "source": "", "duration": 1})")
                                  << "ERROR Empty 'source' value in Notifier command";
    QTest::newRow("no duration") << QByteArray(R"({"tool": "notifier", "source": "Hi"})")
                                 << "DEBUG Invalid or missing 'duration' arg in Notifier command";
    QTest::newRow("duration as text") << QByteArray(R"({"tool": "notifier", "source": "Hi", "duration": "10"})")
                                      << "DEBUG Invalid or missing 'duration' arg in Notifier command";
}

void tst_NotifierToolFlashCommand::createFromJson()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, error);
    const QSharedPointer<FlashCommand> command = ToolsTestKit::command(json);
    QCOMPARE(!command, !error.isEmpty());
    if (!error.isEmpty()) {
        // The kind's own line comes first; the registry's "Cannot create command" follows.
        QCOMPARE(m_recorder.rendered().value(0), "app " + error);
        return;
    }
    JsonObject original;
    QVERIFY(original.loadMemory(json));
    QCOMPARE(command->toJson(), original);
}

void tst_NotifierToolFlashCommand::textsAndJson()
{
    const QSharedPointer<FlashCommand> command =
        ToolsTestKit::command(R"({"tool": "notifier", "source": "/tmp/${board}.html", "duration": 60000})");
    QVERIFY(command);
    const SharedPointer<FlashRunner> runner = makeRunner(m_device, m_configuration);
    QCOMPARE(command->getLogCommand(runner), QString("Notify"));
    QCOMPARE(command->getLogCommand(*m_configuration), QString("Notify"));
    QCOMPARE(command->getUserFriendlyCommand(runner), QString("/tmp/b42.html"));
    QCOMPARE(command->getUserFriendlyCommand(*m_configuration), QString("/tmp/b42.html"));
    QCOMPARE(command->getUserFriendlyCommand(SharedPointer<FlashRunner>()), QString("/tmp/${board}.html"));
    QCOMPARE(command->getToolParameters(), QString("\"/tmp/${board}.html\""));
    QCOMPARE(command->getType(), FlashTypes::CommandType::Notifier);
    QCOMPARE(command->getTimeout(), ~uint64_t(0));
    QVERIFY(command->hasParameter("board"));
    QCOMPARE(command->clone()->toJson(), command->toJson());
}

void tst_NotifierToolFlashCommand::noticeIsHandedOnWithoutWaiting()
{
    const QSharedPointer<FlashCommand> command =
        ToolsTestKit::command(R"({"tool": "notifier", "source": "Board ${board}", "duration": 60000})");
    QVERIFY(command);
    const SharedPointer<FlashRunner> runner = makeRunner(m_device, m_configuration);
    QSignalSpy notices(runner.data(), &FlashRunner::displayNotifierTool);
    QElapsedTimer timer;
    timer.start();
    QString error;
    QCOMPARE(command->performCommand(runner, m_device, 1, error), int(PerformSuccess));
    QVERIFY(timer.elapsed() < 30000);
    QCOMPARE(notices.count(), 1);
    QCOMPARE(notices.at(0).at(0).toString(), QString("Board b42"));
    QCOMPARE(notices.at(0).at(1).value<uint64_t>(), uint64_t(60000));

    // A notice is shown once.
    QCOMPARE(command->performCommand(runner, m_device, 2, error), int(PerformFailed));
    QCOMPARE(notices.count(), 1);
}

void tst_NotifierToolFlashCommand::nothingShownWhenTheSourceCannotBeResolved()
{
    const QSharedPointer<FlashCommand> command =
        ToolsTestKit::command(R"({"tool": "notifier", "source": "${nowhere}", "duration": 10})");
    QVERIFY(command);
    const SharedPointer<FlashRunner> runner = makeRunner(m_device, m_configuration);
    QSignalSpy notices(runner.data(), &FlashRunner::displayNotifierTool);
    QString error;
    QCOMPARE(command->performCommand(runner, m_device, 1, error), int(PerformFailed));
    QCOMPARE(error, QString("Unknown parameter key 'nowhere'"));
    QCOMPARE(notices.count(), 0);
}

void tst_NotifierToolFlashCommand::editorForms()
{
    QCOMPARE(fieldTexts(NotifierToolFlashCommand::getJsonEditorInterfaceTemplate()),
             fieldTexts(formFrom(R"([
                 {"id": "tool", "type": "hidden", "value": "notifier"},
                 {"id": "source", "label": "Source", "type": "text", "value": ""},
                 {"id": "duration", "label": "Duration", "type": "spinbox", "value": 10000, "step": 1000, "suffix": " ms"}
             ])")));
    const QSharedPointer<FlashCommand> command =
        ToolsTestKit::command(R"({"tool": "notifier", "source": "note.html", "duration": 18446744073709551615})");
    QVERIFY(command);
    QCOMPARE(fieldTexts(command->getJsonEditorInterface()),
             fieldTexts(formFrom(R"([
                 {"id": "tool", "type": "hidden", "value": "notifier"},
                 {"id": "source", "label": "Source", "type": "text", "value": "note.html"},
                 {"id": "duration", "label": "Duration", "type": "spinbox", "value": 18446744073709551615, "step": 1000, "suffix": " ms"}
             ])")));
}

QTEST_GUILESS_MAIN(tst_NotifierToolFlashCommand)
#include "tst_NotifierToolFlashCommand.moc"
