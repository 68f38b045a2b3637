// The sleep command: read and written, its texts, a wait that the whole duration or a stop ends.

#include "ToolsTestKit.h"

#include "tools/SleepFlashCommand.h"

#include <QElapsedTimer>
#include <QtTest>

using namespace ToolsTestKit;

class tst_SleepFlashCommand : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void durationTexts_data();
    void durationTexts();
    void createFromJson_data();
    void createFromJson();
    void sleepsTheWholeDuration();
    void stopEndsTheSleepAtOnce_data();
    void stopEndsTheSleepAtOnce();
    void sleepsOnlyOnTheFirstAttempt();
    void editorForms();

private:
    RecordingLogSink m_recorder;
    SharedPointer<FlashDevice2> m_device;
};

void tst_SleepFlashCommand::initTestCase()
{
    startCommandTests(m_recorder);
    m_device = makeDevice();
}

void tst_SleepFlashCommand::init()
{
    m_recorder.clear();
}

void tst_SleepFlashCommand::durationTexts_data()
{
    QTest::addColumn<qulonglong>("durationMs");
    QTest::addColumn<QString>("logCommand");

    QTest::newRow("1500") << qulonglong(1500) << "Sleeping for 1.5 seconds";
    QTest::newRow("25000") << qulonglong(25000) << "Sleeping for 25 seconds";
    QTest::newRow("0") << qulonglong(0) << "Sleeping for 0 seconds";
    QTest::newRow("1234567") << qulonglong(1234567) << "Sleeping for 1234.57 seconds";
    QTest::newRow("2000000000") << qulonglong(2000000000) << "Sleeping for 2e+06 seconds";
}

void tst_SleepFlashCommand::durationTexts()
{
    QFETCH(qulonglong, durationMs);
    QFETCH(QString, logCommand);
    const SleepFlashCommand command(nullptr, durationMs);
    QCOMPARE(command.getLogCommand(SharedPointer<FlashRunner>()), logCommand);
    QCOMPARE(command.getLogCommand(*makeConfiguration()), logCommand);
    QCOMPARE(command.getUserFriendlyCommand(SharedPointer<FlashRunner>()), logCommand);
    QCOMPARE(command.getDetails(*makeConfiguration()), logCommand);
    QCOMPARE(command.getToolParameters(), QString::number(durationMs) + " ms");
    QCOMPARE(command.getTimeout(), uint64_t(durationMs));
    QCOMPARE(command.getType(), FlashTypes::CommandType::Sleep);
}

void tst_SleepFlashCommand::createFromJson_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<bool>("created");

    QTest::newRow("1500") << QByteArray(R"({"tool": "sleep", "duration": 1500})") << true;
    QTest::newRow("largest") << QByteArray(R"({"tool": "sleep", "duration": 18446744073709551615})") << true;
    QTest::newRow("no duration") << QByteArray(R"({"tool": "sleep"})") << false;
    QTest::newRow("negative") << QByteArray(R"({"tool": "sleep", "duration": -1})") << false;
    QTest::newRow("text") << QByteArray(R"({"tool": "sleep", "duration": "1500"})") << false;
}

void tst_SleepFlashCommand::createFromJson()
{
    QFETCH(QByteArray, json);
    QFETCH(bool, created);
    const QSharedPointer<FlashCommand> command = ToolsTestKit::command(json);
    QCOMPARE(bool(command), created);
    if (!created) {
        QCOMPARE(m_recorder.rendered().value(0), QString("app DEBUG Invalid or missing `duration` arg in Sleep command"));
        return;
    }
    JsonObject original;
    QVERIFY(original.loadMemory(json));
    QCOMPARE(command->toJson(), original);
    QCOMPARE(command->clone()->toJson(), original);
}

void tst_SleepFlashCommand::sleepsTheWholeDuration()
{
    const SleepFlashCommand command(nullptr, 300);
    const SharedPointer<FlashRunner> runner = makeRunner(m_device, makeConfiguration());
    QElapsedTimer timer;
    timer.start();
    QString error;
    QCOMPARE(command.performCommand(runner, m_device, 1, error), int(PerformSuccess));
    QVERIFY(timer.elapsed() >= 300);
    QVERIFY(error.isNull());

    const SleepFlashCommand none(nullptr, 0);
    QCOMPARE(none.performCommand(runner, m_device, 1, error), int(PerformSuccess));
}

void tst_SleepFlashCommand::stopEndsTheSleepAtOnce_data()
{
    QTest::addColumn<qulonglong>("durationMs");
    QTest::addColumn<bool>("stopFirst");

    QTest::newRow("long sleep") << qulonglong(600000) << false;
    QTest::newRow("sleep without limit") << qulonglong(~0ULL) << false;
    QTest::newRow("stopped before the sleep") << qulonglong(600000) << true;
}

void tst_SleepFlashCommand::stopEndsTheSleepAtOnce()
{
    QFETCH(qulonglong, durationMs);
    QFETCH(bool, stopFirst);
    const QSharedPointer<FlashCommand> command =
        ToolsTestKit::command(QStringLiteral(R"({"tool": "sleep", "duration": %1})").arg(durationMs).toUtf8());
    QVERIFY(command);
    const SharedPointer<FlashRunner> runner = makeRunner(m_device, makeConfiguration());
    if (stopFirst)
        runner->cancel();
    int result = -1;
    QString error;
    const auto thread = startThread([&] { result = command->performCommand(runner, m_device, 1, error); });
    if (!stopFirst) {
        QVERIFY(!thread->wait(200));   // asleep: only the stop can end it
        runner->cancel();
    }
    QVERIFY2(thread->wait(10000), "the stop did not end the sleep");
    QCOMPARE(result, int(PerformCancelled));
}

void tst_SleepFlashCommand::sleepsOnlyOnTheFirstAttempt()
{
    const SleepFlashCommand command(nullptr, 600000);
    const SharedPointer<FlashRunner> runner = makeRunner(m_device, makeConfiguration());
    QString error;
    QCOMPARE(command.performCommand(runner, m_device, 2, error), int(PerformFailed));
    QVERIFY(error.isNull());
    QCOMPARE(command.performCommand(SharedPointer<FlashRunner>(), m_device, 1, error), int(PerformFailed));
    QCOMPARE(m_recorder.rendered(), QStringList{"app TRACE Invalid runner pointer"});
}

void tst_SleepFlashCommand::editorForms()
{
    QCOMPARE(fieldTexts(SleepFlashCommand::getJsonEditorInterfaceTemplate()),
             fieldTexts(formFrom(R"([
                 {"id": "tool", "type": "hidden", "value": "sleep"},
                 {"id": "duration", "label": "Duration", "type": "spinbox", "value": 25000, "step": 1000, "suffix": " ms"}
             ])")));
    QCOMPARE(fieldTexts(SleepFlashCommand(nullptr, 1500).getJsonEditorInterface()),
             fieldTexts(formFrom(R"([
                 {"id": "tool", "type": "hidden", "value": "sleep"},
                 {"id": "duration", "label": "Duration", "type": "spinbox", "value": 1500, "step": 1000, "suffix": " ms"}
             ])")));
    // Each call builds its own list.
    JsonObjectList first = SleepFlashCommand::getJsonEditorInterfaceTemplate();
    first[1].setValue("value", 1);
    QCOMPARE(fieldTexts(SleepFlashCommand::getJsonEditorInterfaceTemplate()).value(1),
             fieldTexts(SleepFlashCommand(nullptr, 25000).getJsonEditorInterface()).value(1));
}

QTEST_GUILESS_MAIN(tst_SleepFlashCommand)
#include "tst_SleepFlashCommand.moc"
