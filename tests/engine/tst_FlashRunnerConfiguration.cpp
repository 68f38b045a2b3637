// A configuration of small command kinds runs on a runner end to end: preconditions in the
// script engine, parameter references, retries, progress, failures and cancellation.

#include "core/FMConst.h"
#include "core/MetaTypes.h"
#include "engine/EngineMetaTypes.h"
#include "engine/FlashRunner.h"
#include "model/FlashCommand.h"
#include "model/FlashConfiguration.h"
#include "model/FlashParameter.h"
#include "model/FlashParameterValueString.h"
#include "platform/json/JsonObject.h"
#include "platform/json/JsonObjectList.h"
#include "RecordingLogSink.h"
#include "tests/engine/RunnerFixtures.h"

#include <QMutex>
#include <QMutexLocker>
#include <QThread>
#include <QtTest>

#include <memory>
#include <vector>

using namespace RunnerFixtures;

namespace {

// Journal of the attempts made by the test commands, shared with the test.
class Journal
{
public:
    void add(const QString& entry)
    {
        QMutexLocker locker(&m_mutex);
        m_entries << entry;
    }
    void clear()
    {
        QMutexLocker locker(&m_mutex);
        m_entries.clear();
    }
    QStringList entries() const
    {
        QMutexLocker locker(&m_mutex);
        return m_entries;
    }

private:
    mutable QMutex m_mutex;
    QStringList m_entries;
};

// Answers its attempts from a list (the last answer repeats), after resolving its text for the run;
// a "sleep" command instead sleeps through the runner until the run is cancelled.
class TestCommand : public FlashCommand
{
public:
    TestCommand(const QString& name, const QString& precondition, bool skipOnFailure,
                std::vector<int> answers, Journal& journal, const QString& text = QString(),
                bool sleeps = false)
        : FlashCommand(new FlashCommandData(precondition, skipOnFailure))
        , m_name(name)
        , m_answers(std::move(answers))
        , m_journal(journal)
        , m_text(text)
        , m_sleeps(sleeps)
    {
    }

    int performCommand(const SharedPointer<FlashRunner>& runner, const SharedPointer<FlashDevice2>&,
                       uint64_t attempt, QString&) const override
    {
        if (m_sleeps) {
            m_journal.add(m_name + QStringLiteral(" sleeping"));
            return runner->sleep(600000) == FlashRunner::SleepCancelled ? PerformCancelled : PerformFailed;
        }
        bool ok = false;
        const QString text = FlashCommand::replaceParameters(*runner, m_text, &ok);
        m_journal.add(QStringLiteral("%1#%2%3").arg(m_name, QString::number(attempt), text.isEmpty() ? QString() : QLatin1Char(':') + text));
        runner->setCommandProgression(1, 2);
        return m_answers[std::min<size_t>(attempt, m_answers.size()) - 1];
    }

    QString getLogCommand(const SharedPointer<FlashRunner>&) const override { return m_name; }
    QString getLogCommand(const FlashConfiguration&) const override { return m_name; }
    FlashTypes::CommandType getType() const override { return FlashTypes::CommandType::Shell; }
    bool isMandatory() const override { return true; }
    uint64_t getTimeout() const override { return 0; }
    JsonObject toJson() const override { return getJsonBase(); }
    QString getToolId() const override { return QStringLiteral("test"); }
    QString getToolParameters() const override { return m_text; }
    QSharedPointer<FlashCommand> clone() const override { return QSharedPointer<FlashCommand>(); }
    JsonObjectList getJsonEditorInterface() const override { return JsonObjectList(); }

private:
    QString m_name;
    std::vector<int> m_answers;
    Journal& m_journal;
    QString m_text;
    bool m_sleeps;
};

} // namespace

class tst_FlashRunnerConfiguration : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void configurationRunsToSuccess();
    void preconditionErrorFailsTheFlashWithItsLine();
    void cancelInterruptsTheRun_data();
    void cancelInterruptsTheRun();

private:
    QSharedPointer<FlashConfiguration> makeConfiguration(const std::vector<QSharedPointer<FlashCommand>>& commands);

    Journal m_journal;
    SharedPointer<FlashDevice2> m_device;
    std::unique_ptr<RecordingLogSink> m_sink;
};

void tst_FlashRunnerConfiguration::initTestCase()
{
    registerMetaTypes();
    registerEngineMetaTypes();
    FMConst::COMMAND_DELAY = 0;
}

void tst_FlashRunnerConfiguration::init()
{
    m_journal.clear();
    m_device = makeDevice(DeviceState::ProvisioningOs, QStringLiteral("ABC"));
    m_device->setFlashState(FlashDevice2::FlashState::Flashing);
    m_sink = std::make_unique<RecordingLogSink>();
}

void tst_FlashRunnerConfiguration::cleanup()
{
    m_sink.reset();
    m_device.reset();
}

QSharedPointer<FlashConfiguration> tst_FlashRunnerConfiguration::makeConfiguration(
    const std::vector<QSharedPointer<FlashCommand>>& commands)
{
    std::map<QString, FlashParameterValueString*> images{
        {QStringLiteral("a"), new FlashParameterValueString(QStringLiteral("a"), QStringLiteral("one.img"), QString())},
        {QStringLiteral("b"), new FlashParameterValueString(QStringLiteral("b"), QStringLiteral("two.img"), QString())}};
    std::map<QString, FlashParameterValueString*> mode{
        {QString(), new FlashParameterValueString(QString(), QStringLiteral("full"), QString())}};
    FlashConfiguration::Parameters parameters{
        {QStringLiteral("image"), QSharedPointer<FlashParameter>::create(QStringLiteral("image"), QStringLiteral("Image"), images)},
        {QStringLiteral("mode"), QSharedPointer<FlashParameter>::create(QStringLiteral("mode"), QStringLiteral("Mode"), mode)}};
    auto configuration = QSharedPointer<FlashConfiguration>::create(
        DeviceState::ProvisioningOs, FlashConfiguration::UnknownGroupsEnabled, QStringLiteral("cfg"),
        QStringLiteral("Cfg"), QString(), QString(), QString(), false, parameters,
        FlashConfiguration::ParameterValues{{QStringLiteral("image"), QStringLiteral("b")}});
    for (const auto& command : commands)
        configuration->appendCommand(command);
    return configuration;
}

void tst_FlashRunnerConfiguration::configurationRunsToSuccess()
{
    const auto configuration = makeConfiguration({
        QSharedPointer<TestCommand>::create(QStringLiteral("first"), QStringLiteral("${mode} == 'full'"), false,
                                            std::vector<int>{PerformSuccess}, m_journal),
        QSharedPointer<TestCommand>::create(QStringLiteral("skipped"), QStringLiteral("${mode} == 'quick'"), true,
                                            std::vector<int>{PerformSuccess}, m_journal),
        QSharedPointer<TestCommand>::create(QStringLiteral("flaky"), QStringLiteral("true"), false,
                                            std::vector<int>{PerformRetry, PerformRetry, PerformSuccess}, m_journal),
        QSharedPointer<TestCommand>::create(QStringLiteral("last"), QStringLiteral("true"), false,
                                            std::vector<int>{PerformSuccess}, m_journal,
                                            QStringLiteral("${image}@${port}")),
    });
    SharedPointer<FlashRunner> runner(new FlashRunner(nullptr, m_device, configuration));
    m_sink->bind(*runner);
    QSignalSpy progress(runner.data(), &FlashRunner::progressionChanged);

    QSharedPointer<FlashCommand> last;
    QCOMPARE(configuration->execute(runner, m_device, last), FlashTypes::FlashStatus::Success);
    QCOMPARE(m_journal.entries(), (QStringList{QStringLiteral("first#1"), QStringLiteral("flaky#1"),
                                               QStringLiteral("flaky#2"), QStringLiteral("flaky#3"),
                                               QStringLiteral("last#1:two.img@1-2")}));
    QVERIFY(last);
    QCOMPARE(last->getToolParameters(), QStringLiteral("${image}@${port}"));
    QVERIFY(m_sink->texts(Logger::INFO).contains(QStringLiteral("Skipping `skipped` command due to precondition")));

    // The first command's half-way mark is scaled into the configuration, the end is 4 of 4.
    QVERIFY(progress.count() >= 2);
    QCOMPARE(progress.at(1), (QVariantList{QVariant::fromValue<uint64_t>(1), QVariant::fromValue<uint64_t>(8)}));
    QCOMPARE(progress.last(), (QVariantList{QVariant::fromValue<uint64_t>(4), QVariant::fromValue<uint64_t>(4)}));
}

void tst_FlashRunnerConfiguration::preconditionErrorFailsTheFlashWithItsLine()
{
    const auto configuration = makeConfiguration({
        QSharedPointer<TestCommand>::create(QStringLiteral("broken"), QStringLiteral("var a = 1;\nmissing() == ${mode}"),
                                            false, std::vector<int>{PerformSuccess}, m_journal),
        QSharedPointer<TestCommand>::create(QStringLiteral("never"), QStringLiteral("true"), false,
                                            std::vector<int>{PerformSuccess}, m_journal),
    });
    SharedPointer<FlashRunner> runner(new FlashRunner(nullptr, m_device, configuration));
    m_sink->bind(*runner);

    QSharedPointer<FlashCommand> last;
    QCOMPARE(configuration->execute(runner, m_device, last), FlashTypes::FlashStatus::Failure);
    QVERIFY(m_journal.entries().isEmpty());
    QVERIFY(m_sink->texts(Logger::ERROR).contains(QStringLiteral("Precondition failed to evaluate")));
    QVERIFY(m_sink->texts(Logger::DEBUG).contains(
        QStringLiteral("Exception line 2: ReferenceError: Can't find variable: missing")));
}

void tst_FlashRunnerConfiguration::cancelInterruptsTheRun_data()
{
    QTest::addColumn<QString>("precondition");
    QTest::addColumn<bool>("sleeps");

    QTest::newRow("command waiting in the runner") << QStringLiteral("true") << true;
    QTest::newRow("precondition that never ends")
        << QStringLiteral("$.log($.Info, 'sleeping');\nwhile (true) {}") << false;
}

void tst_FlashRunnerConfiguration::cancelInterruptsTheRun()
{
    QFETCH(QString, precondition);
    QFETCH(bool, sleeps);

    const auto configuration = makeConfiguration({
        QSharedPointer<TestCommand>::create(QStringLiteral("first"), QStringLiteral("true"), false,
                                            std::vector<int>{PerformSuccess}, m_journal),
        QSharedPointer<TestCommand>::create(QStringLiteral("blocking"), precondition, false,
                                            std::vector<int>{PerformSuccess}, m_journal, QString(), sleeps),
        QSharedPointer<TestCommand>::create(QStringLiteral("never"), QStringLiteral("true"), false,
                                            std::vector<int>{PerformSuccess}, m_journal),
    });
    // Created here, run on a thread of its own, stopped from here: as the flash manager does.
    SharedPointer<FlashRunner> runner(new FlashRunner(nullptr, m_device, configuration));
    m_device->setFlashFile(runner);
    m_sink->bind(*runner);

    FlashTypes::FlashStatus status = FlashTypes::FlashStatus::Success;
    QSharedPointer<FlashCommand> last;
    std::unique_ptr<QThread> thread(QThread::create([&] { status = configuration->execute(runner, m_device, last); }));
    thread->start();
    QTRY_VERIFY(m_journal.entries().contains(QStringLiteral("blocking sleeping"))
                || m_sink->texts(Logger::INFO).contains(QStringLiteral("sleeping")));
    runner->cancel();
    QVERIFY2(thread->wait(5000), "the cancel did not stop the run");

    QCOMPARE(status, FlashTypes::FlashStatus::Interrupted);
    QVERIFY(last);
    QCOMPARE(last->getLogCommand(*configuration), QStringLiteral("blocking"));
    QVERIFY(!m_journal.entries().contains(QStringLiteral("never#1")));
    QCOMPARE(m_device->getFlashState(), FlashDevice2::FlashState::Pending);
    m_device->setFlashFile(SharedPointer<FlashRunner>());
}

QTEST_GUILESS_MAIN(tst_FlashRunnerConfiguration)
#include "tst_FlashRunnerConfiguration.moc"
