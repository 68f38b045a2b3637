#include "ModelTestKit.h"

#include "core/MetaTypes.h"

#include "core/FMConst.h"
#include "model/FlashGroup.h"
#include "model/FlashParameterValueString.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>

#include <limits>

namespace {

QSharedPointer<ScriptedCommand> command(const QString& name, const QString& group = QString(),
                                        std::vector<int> results = {PerformSuccess})
{
    QSharedPointer<ScriptedCommand> created(new ScriptedCommand(name, std::move(results)));
    created->setGroup(group);
    return created;
}

QSharedPointer<FlashGroup> group(const QString& id)
{
    return QSharedPointer<FlashGroup>(new FlashGroup(id, id + QStringLiteral(" name"), id + QStringLiteral(" tip")));
}

} // namespace

// A configuration: its run loop, its groups, its texts and its copies.
class tst_FlashConfiguration : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void unlistedGroups_data();
    void unlistedGroups();
    void disabledGroupsRunNothing();
    void groupSwitchLogs();
    void groupForm();
    void groupsStateIsWrittenWithDefaults_data();
    void groupsStateIsWrittenWithDefaults();
    void delayOnlyBetweenCommands();
    void runKeepsTheDelayItStartedWith();
    void cancelDuringDelayInterrupts();
    void cancelDuringLastCommandInterrupts();
    void failingCommandComesBack();
    void skippedAndContinuingFailuresCountAsDone();
    void runWithoutDeviceConnectionOrRunnerFails();
    void detailsText();
    void documentationLink_data();
    void documentationLink();
    void selectedValues();
    void cloneIsDeep();
    void cloneForFileCopy();

private:
    SharedPointer<FlashDevice2> m_device;
    RecordingLogSink m_recorder;
};

void tst_FlashConfiguration::initTestCase()
{
    registerMetaTypes();
    QCoreApplication::setApplicationName(QStringLiteral("quillonlite"));
    QCoreApplication::setApplicationVersion(QStringLiteral("5.3.2.0"));
    m_device = makeDevice();
    relayApplicationLog(m_recorder);
}

void tst_FlashConfiguration::init()
{
    m_recorder.clear();
}

void tst_FlashConfiguration::cleanup()
{
    FMConst::COMMAND_DELAY = 0;
}

void tst_FlashConfiguration::unlistedGroups_data()
{
    QTest::addColumn<int>("behavior");
    QTest::addColumn<QStringList>("run");
    QTest::addColumn<QString>("skippedMark");

    QTest::newRow("formats 2.x and XML") << int(FlashConfiguration::UnknownGroupsEnabled)
                                         << QStringList{"A", "B"} << "s=no";
    QTest::newRow("format 3.0") << int(FlashConfiguration::UnknownGroupsDisabled) << QStringList{"B"} << "s=yes";
}

void tst_FlashConfiguration::unlistedGroups()
{
    QFETCH(int, behavior);
    QFETCH(QStringList, run);
    QFETCH(QString, skippedMark);
    const auto configuration = makeConfiguration(FlashConfiguration::UnknownGroupBehavior(behavior));
    const auto a = command(QStringLiteral("A"), QStringLiteral("g"));
    const auto b = command(QStringLiteral("B"));
    configuration->appendCommand(a);
    configuration->appendCommand(b);
    const SharedPointer<FlashRunner> runner = makeRunner(m_device, configuration, &m_recorder);

    QSharedPointer<FlashCommand> last;
    QCOMPARE(configuration->execute(runner, m_device, last), FlashTypes::FlashStatus::Success);

    QStringList ran;
    for (const auto& candidate : {a, b}) {
        if (!candidate->m_attempts.empty())
            ran << candidate->m_name;
    }
    QCOMPARE(ran, run);
    const QStringList disabled = m_recorder.rendered({QStringLiteral("DEBUG Group")});
    QCOMPARE(disabled, run.size() == 2 ? QStringList()
                                       : QStringList{QStringLiteral("DEBUG Group 'g' disables command `A`")});
    const QStringList details = configuration->getDetails().split('\n');
    QVERIFY2(details.at(details.size() - 2).contains(skippedMark), qPrintable(details.join('\n')));
    QVERIFY(details.last().contains(QStringLiteral("s=no")));
}

void tst_FlashConfiguration::disabledGroupsRunNothing()
{
    const auto configuration = makeConfiguration(FlashConfiguration::UnknownGroupsEnabled);
    configuration->attachGroup(group(QStringLiteral("g")), false);
    configuration->appendCommand(command(QStringLiteral("A"), QStringLiteral("g")));
    configuration->appendCommand(QSharedPointer<FlashCommand>());
    configuration->appendCommand(command(QStringLiteral("B"), QStringLiteral("g")));
    const SharedPointer<FlashRunner> runner = makeRunner(m_device, configuration, &m_recorder);
    QSignalSpy progress(runner.data(), &FlashRunner::progressionChanged);

    QSharedPointer<FlashCommand> last;
    QCOMPARE(configuration->execute(runner, m_device, last), FlashTypes::FlashStatus::Success);
    QVERIFY(!last);
    QCOMPARE(m_recorder.rendered({QStringLiteral("DEBUG Group")}),
             (QStringList{QStringLiteral("DEBUG Group 'g' disables command `A`"),
                          QStringLiteral("DEBUG Group 'g' disables command `B`")}));
    QCOMPARE(progress.count(), 1);
    QCOMPARE(progress.first(), (QList<QVariant>{QVariant::fromValue(uint64_t(0)), QVariant::fromValue(uint64_t(2))}));
}

void tst_FlashConfiguration::groupSwitchLogs()
{
    const auto configuration = makeConfiguration(FlashConfiguration::UnknownGroupsDisabled);
    configuration->attachGroup(group(QStringLiteral("g")), true);
    configuration->attachGroup(group(QStringLiteral("g")), false); // the first attach wins

    configuration->setGroupEnabled(QStringLiteral("g"), false);
    configuration->setGroupEnabled(QStringLiteral("g"), false);
    configuration->setGroupEnabled(QStringLiteral("G"), true);

    QCOMPARE(m_recorder.rendered({QStringLiteral("app ")}),
             (QStringList{QStringLiteral("app DEBUG The group 'g' is disabled"),
                          QStringLiteral("app DEBUG The group 'g' is disabled"),
                          QStringLiteral("app WARNING Group with ID 'G' not found in the flash configuration")}));
    const std::list<FlashConfiguration::Group> states = configuration->getGroupsStatus();
    QCOMPARE(states.size(), std::size_t(1));
    QVERIFY(!states.front().enabled);
    QVERIFY(states.front().defaultEnabled);
}

void tst_FlashConfiguration::groupForm()
{
    const auto configuration = makeConfiguration(FlashConfiguration::UnknownGroupsDisabled);
    configuration->attachGroup(group(QStringLiteral("g")), true);
    configuration->attachGroup(group(QStringLiteral("h")), true);
    JsonObject answer;
    answer.setValue(QStringLiteral("g"), false);
    answer.setValue(QStringLiteral("h"), QStringLiteral("no"));
    m_recorder.clear();

    configuration->setJsonGroupInterfaceResult(answer);

    QCOMPARE(m_recorder.rendered({QStringLiteral("app ")}),
             QStringList{QStringLiteral("app DEBUG The group 'g' is disabled")});
    const JsonObjectList current = configuration->getJsonGroupInterface();
    const JsonObjectList defaults = configuration->getJsonGroupDefaultInterface();
    QCOMPARE(current.size(), 3);
    QCOMPARE(current.at(0).toQVariantMap(),
             (QVariantMap{{"label", "Execute command groups:"}, {"type", "label"}}));
    QCOMPARE(current.at(1).toQVariantMap(),
             (QVariantMap{{"id", "g"}, {"label", "g name"}, {"type", "checkbox"}, {"value", false},
                          {"required", false}, {"tooltip", "g tip"}}));
    QCOMPARE(defaults.at(1).toQVariantMap().value("value"), QVariant(true));
    QCOMPARE(current.at(2).toQVariantMap().value("value"), QVariant(true));
}

void tst_FlashConfiguration::groupsStateIsWrittenWithDefaults_data()
{
    QTest::addColumn<int>("behavior");
    QTest::addColumn<QVariantMap>("groupsState");

    QTest::newRow("unlisted groups run") << int(FlashConfiguration::UnknownGroupsEnabled)
                                         << QVariantMap{{"g", true}, {"h", false}, {"other", true}};
    QTest::newRow("unlisted groups skipped") << int(FlashConfiguration::UnknownGroupsDisabled)
                                             << QVariantMap{{"g", true}, {"h", false}};
}

void tst_FlashConfiguration::groupsStateIsWrittenWithDefaults()
{
    QFETCH(int, behavior);
    QFETCH(QVariantMap, groupsState);
    const auto configuration = makeConfiguration(FlashConfiguration::UnknownGroupBehavior(behavior));
    configuration->setParameterValue(QStringLiteral("board"), QStringLiteral("a"));
    configuration->attachGroup(group(QStringLiteral("g")), true);
    configuration->attachGroup(group(QStringLiteral("h")), false);
    configuration->setGroupEnabled(QStringLiteral("g"), false); // a run's choice, not the file's

    const FlashConfiguration::FileGroups fileGroups = {{QStringLiteral("g"), group(QStringLiteral("g"))},
                                                       {QStringLiteral("other"), group(QStringLiteral("other"))}};
    const QVariantMap json = configuration->toJson(fileGroups).toQVariantMap();
    QCOMPARE(json.value("groupsState").toMap(), groupsState);
    QCOMPARE(json.value("parameters").toMap(), (QVariantMap{{"board", "a"}}));
    QCOMPARE(json.value("startState").toString(), QStringLiteral("mos"));
    QCOMPARE(json.value("name").toString(), QStringLiteral("Configuration"));
    QVERIFY(!json.contains("id"));
}

void tst_FlashConfiguration::delayOnlyBetweenCommands()
{
    FMConst::COMMAND_DELAY = 150;
    const auto configuration = makeConfiguration();
    for (const char* name : {"A", "B", "C"})
        configuration->appendCommand(command(QString::fromLatin1(name)));
    const SharedPointer<FlashRunner> runner = makeRunner(m_device, configuration, &m_recorder);

    QSharedPointer<FlashCommand> last;
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(configuration->execute(runner, m_device, last), FlashTypes::FlashStatus::Success);
    // Two pauses really happened, not only their announcements.
    QVERIFY2(timer.elapsed() >= 2 * 150, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(m_recorder.rendered({QStringLiteral("INFO Sleep"), QStringLiteral("INFO Running")}),
             (QStringList{QStringLiteral("INFO Running `A` command"),
                          QStringLiteral("INFO Sleep 150 ms before executing next command"),
                          QStringLiteral("INFO Running `B` command"),
                          QStringLiteral("INFO Sleep 150 ms before executing next command"),
                          QStringLiteral("INFO Running `C` command")}));
    QCOMPARE(last->getLogCommand(*configuration), QStringLiteral("C"));
}

void tst_FlashConfiguration::runKeepsTheDelayItStartedWith()
{
    // The options dialog changes the delay on its own thread while flashes run: a run reads the
    // value its runner took when the flash was set up, never the setting being written.
    FMConst::COMMAND_DELAY = 30;
    const auto configuration = makeConfiguration();
    for (const char* name : {"A", "B"})
        configuration->appendCommand(command(QString::fromLatin1(name)));
    const SharedPointer<FlashRunner> runner = makeRunner(m_device, configuration, &m_recorder);
    FMConst::COMMAND_DELAY = 0;

    QSharedPointer<FlashCommand> last;
    QCOMPARE(configuration->execute(runner, m_device, last), FlashTypes::FlashStatus::Success);
    QCOMPARE(m_recorder.rendered({QStringLiteral("INFO Sleep")}),
             QStringList{QStringLiteral("INFO Sleep 30 ms before executing next command")});
}

void tst_FlashConfiguration::cancelDuringDelayInterrupts()
{
    FMConst::COMMAND_DELAY = 600000;
    const auto configuration = makeConfiguration();
    const auto a = command(QStringLiteral("A"));
    const auto b = command(QStringLiteral("B"));
    configuration->appendCommand(a);
    configuration->appendCommand(b);
    const SharedPointer<FlashRunner> runner = makeRunner(m_device, configuration, &m_recorder);
    // The user stops the flash as the loop announces the delay.
    m_recorder.setOnLine([&runner](const RecordingLogSink::Line& line) {
        if (line.level == Logger::INFO && line.text.startsWith(QLatin1String("Sleep")))
            runner->cancel();
    });
    QSharedPointer<FlashCommand> last;
    const FlashTypes::FlashStatus outcome = configuration->execute(runner, m_device, last);
    m_recorder.setOnLine(nullptr);

    QCOMPARE(outcome, FlashTypes::FlashStatus::Interrupted);
    QCOMPARE(last, QSharedPointer<FlashCommand>(b));
    QVERIFY(b->m_attempts.empty());
}

void tst_FlashConfiguration::cancelDuringLastCommandInterrupts()
{
    const auto configuration = makeConfiguration();
    const auto a = command(QStringLiteral("A"));
    a->m_onPerform = [](const SharedPointer<FlashRunner>& runner, uint64_t, QString&) {
        runner->cancel();
        return int(PerformSuccess);
    };
    configuration->appendCommand(a);
    const SharedPointer<FlashRunner> runner = makeRunner(m_device, configuration);

    QSharedPointer<FlashCommand> last;
    QCOMPARE(configuration->execute(runner, m_device, last), FlashTypes::FlashStatus::Interrupted);
    QCOMPARE(last, QSharedPointer<FlashCommand>(a));
}

void tst_FlashConfiguration::failingCommandComesBack()
{
    const auto configuration = makeConfiguration();
    const auto a = command(QStringLiteral("A"));
    const auto b = command(QStringLiteral("B"), QString(), {PerformFailed});
    b->m_type = FlashTypes::CommandType::Fastboot;
    const auto c = command(QStringLiteral("C"));
    for (const auto& entry : {a, b, c})
        configuration->appendCommand(entry);
    const SharedPointer<FlashRunner> runner = makeRunner(m_device, configuration);

    QSharedPointer<FlashCommand> last;
    QCOMPARE(configuration->execute(runner, m_device, last), FlashTypes::FlashStatus::Failure);
    QVERIFY(last);
    QCOMPARE(last->getType(), FlashTypes::CommandType::Fastboot);
    QVERIFY(c->m_attempts.empty());
}

void tst_FlashConfiguration::skippedAndContinuingFailuresCountAsDone()
{
    const auto configuration = makeConfiguration();
    configuration->appendCommand(QSharedPointer<FlashCommand>(
        new ScriptedCommand(QStringLiteral("A"), {PerformSuccess},
                            new FlashCommand::FlashCommandData(QStringLiteral("false"), true))));
    configuration->appendCommand(command(QStringLiteral("B"), QString(), {PerformFailedContinue}));
    configuration->appendCommand(command(QStringLiteral("C")));
    const SharedPointer<FlashRunner> runner = makeRunner(m_device, configuration);
    QSignalSpy progress(runner.data(), &FlashRunner::progressionChanged);

    QSharedPointer<FlashCommand> last;
    QCOMPARE(configuration->execute(runner, m_device, last), FlashTypes::FlashStatus::Success);
    QList<uint64_t> done;
    for (const QList<QVariant>& emitted : progress) {
        QCOMPARE(emitted.at(1).value<uint64_t>(), uint64_t(3));
        done << emitted.at(0).value<uint64_t>();
    }
    QCOMPARE(done, (QList<uint64_t>{0, 1, 2, 3}));
}

void tst_FlashConfiguration::runWithoutDeviceConnectionOrRunnerFails()
{
    const auto configuration = makeConfiguration();
    const auto a = command(QStringLiteral("A"));
    configuration->appendCommand(a);
    const SharedPointer<FlashDevice2> unconnected = makeDevice(QStringLiteral("X"), PortNumber());
    const SharedPointer<FlashRunner> runner = makeRunner(unconnected, configuration);
    QSignalSpy progress(runner.data(), &FlashRunner::progressionChanged);

    QSharedPointer<FlashCommand> last = a;
    QCOMPARE(configuration->execute(runner, unconnected, last), FlashTypes::FlashStatus::Failure);
    QCOMPARE(configuration->execute(runner, SharedPointer<FlashDevice2>(), last), FlashTypes::FlashStatus::Failure);
    QVERIFY(!last);
    const SharedPointer<FlashDevice2> device = makeDevice();
    QCOMPARE(configuration->execute(SharedPointer<FlashRunner>(), device, last), FlashTypes::FlashStatus::Failure);
    QCOMPARE(progress.count(), 0);
    QVERIFY(a->m_attempts.empty());
}

void tst_FlashConfiguration::detailsText()
{
    const auto configuration = makeConfiguration(FlashConfiguration::UnknownGroupsDisabled);
    configuration->setBrief(QStringLiteral("short"));
    const auto a = command(QStringLiteral("A"));
    a->m_timeout = std::numeric_limits<uint64_t>::max();
    const auto b = command(QStringLiteral("B"), QStringLiteral("g"));
    b->m_mandatory = false;
    b->m_timeout = 3000000000ULL; // beyond what a wait can express: no limit
    const auto c = command(QStringLiteral("C"));
    configuration->appendCommand(a);
    configuration->appendCommand(QSharedPointer<FlashCommand>());
    configuration->appendCommand(b);
    configuration->appendCommand(c);
    QSharedPointer<FakeFlashFile> flashFile(new FakeFlashFile(QStringLiteral("/x/flash.json")));
    flashFile->m_platforms = {DevicePlatform::ZorvikAndroid, DevicePlatform::Generic};
    configuration->setFlashFileManager(flashFile);
    QCOMPARE(configuration->getFlashFileManager<FakeFlashFile>(), flashFile);

    QCOMPARE(configuration->getCommandsCount(), 3ul);
    QCOMPARE(configuration->getDetails(),
             QStringLiteral("FlashConfiguration:\nname=Configuration\nstartState=mos\nbrief=short\n"
                            "description=\ndocumentation=\nhiddenToEndUser=no\n"
                            "platforms= zorvik_android generic\nid=cfg\n"
                            "cmd[0, m=yes, t=no, s=no] A\ncmd[1, m=no, t=no, s=yes] B\n"
                            "cmd[2, m=yes, t=1000, s=no] C"));
    flashFile.reset();
    QVERIFY(!configuration->getDetails().contains(QStringLiteral("platforms=")));
    QVERIFY(configuration->getBuildProperties().isEmpty());
}

void tst_FlashConfiguration::documentationLink_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("resolved");

    QTest::newRow("empty") << "" << "file://";
    QTest::newRow("upper-case scheme") << "HTTP://doc" << "file://HTTP://doc";
    QTest::newRow("web link with version") << "https://doc/${appName}/${appVersion}" << "https://doc/quillonlite/5.3.2.0";
    QTest::newRow("option on a predefined key") << "/doc/${appName,x}.html" << "file:///doc/${appName,x}.html";
}

void tst_FlashConfiguration::documentationLink()
{
    QFETCH(QString, link);
    QFETCH(QString, resolved);
    const auto configuration = makeConfiguration();
    configuration->setDocumentation(link);
    QCOMPARE(configuration->hasDocumentation(), !link.isEmpty());
    QCOMPARE(configuration->getDocumentation(), resolved);
}

void tst_FlashConfiguration::selectedValues()
{
    std::map<QString, FlashParameterValueString*> single = {
        {QStringLiteral("a"), new FlashParameterValueString(QStringLiteral("a"), QStringLiteral("A"), QString())}};
    const FlashParameterPtr parameter(new FlashParameter(QStringLiteral("p"), QStringLiteral("p"), single));
    const auto configuration = makeConfiguration(FlashConfiguration::UnknownGroupsDisabled,
                                                 {{QStringLiteral("p"), parameter}},
                                                 {{QStringLiteral("p"), QStringLiteral("zz")}});
    QVERIFY(!configuration->getParameterValue(QStringLiteral("p"))); // no fall-back to the single option

    configuration->setParameterValue(QStringLiteral("p"), QLatin1String(""));
    QCOMPARE(configuration->getParameterValueId(QStringLiteral("p")), QLatin1String(""));
    QVERIFY(!configuration->getParameterValueId(QStringLiteral("p")).isNull());
    configuration->setParameterValue(QStringLiteral("p"), QString());
    QVERIFY(configuration->getParameterValueId(QStringLiteral("p")).isNull());
    QCOMPARE(configuration->getParameterValue(QStringLiteral("p"))->getValue(), QStringLiteral("A"));

    configuration->setParameterValue(QStringLiteral("p"), QStringLiteral("a"));
    std::map<QString, FlashParameterValueString*> other = {
        {QStringLiteral("b"), new FlashParameterValueString(QStringLiteral("b"), QStringLiteral("B"), QString())}};
    configuration->setParameter(QStringLiteral("p"), FlashParameterPtr(new FlashParameter(QStringLiteral("p"), QStringLiteral("p"), other)));
    QVERIFY(configuration->getParameterValueId(QStringLiteral("p")).isNull());
    configuration->setParameterValue(QStringLiteral("p"), QStringLiteral("b"));
    configuration->setParameter(QStringLiteral("p"), FlashParameterPtr());
    QVERIFY(!configuration->getParameter(QStringLiteral("p")));
    QVERIFY(configuration->getParameterValues().empty());
}

void tst_FlashConfiguration::cloneIsDeep()
{
    std::map<QString, FlashParameterValueString*> single = {
        {QStringLiteral("a"), new FlashParameterValueString(QStringLiteral("a"), QStringLiteral("A"), QString())}};
    const FlashParameterPtr parameter(new FlashParameter(QStringLiteral("p"), QStringLiteral("p"), single));
    const auto configuration = makeConfiguration(FlashConfiguration::UnknownGroupsDisabled, {{QStringLiteral("p"), parameter}});
    const auto g = group(QStringLiteral("g"));
    configuration->attachGroup(g, false);
    const auto a = command(QStringLiteral("A"), QStringLiteral("g"));
    g->addCommand(a);
    configuration->appendCommand(a);
    configuration->appendCommand(QSharedPointer<FlashCommand>());

    const QSharedPointer<FlashConfiguration> copy = configuration->clone(QStringLiteral("id2"), QStringLiteral("Copy"));

    QCOMPARE(copy->getID(), QStringLiteral("id2"));
    QCOMPARE(copy->getName(), QStringLiteral("Copy"));
    QCOMPARE(copy->getCommands().size(), std::size_t(2));
    QVERIFY(!copy->getCommand(1));
    const QSharedPointer<FlashCommand> copiedCommand = copy->getCommand(0);
    QVERIFY(copiedCommand && copiedCommand != a);
    QVERIFY(copy->getParameter(QStringLiteral("p")) != parameter);
    QVERIFY(copy->getParameter(QStringLiteral("p"))->getValue() != parameter->getValue());
    const FlashConfiguration::Group state = copy->getGroupsStatus().front();
    QVERIFY(state.group != g);
    QVERIFY(!state.enabled);
    QCOMPARE(state.group->getCommands().size(), std::size_t(1));
    QCOMPARE(state.group->getCommands().begin()->second.toStrongRef(), copiedCommand);
    QCOMPARE(g->getCommands().size(), std::size_t(1));
    QVERIFY(!copy->getFlashFileContext());
}

void tst_FlashConfiguration::cloneForFileCopy()
{
    const auto configuration = makeConfiguration();
    const auto g = group(QStringLiteral("g"));
    configuration->attachGroup(g, true);
    configuration->attachGroup(group(QStringLiteral("lost")), true);
    configuration->appendCommand(command(QStringLiteral("A")));
    configuration->appendCommand(QSharedPointer<FlashCommand>());
    const QSharedPointer<FlashCommand> newA = command(QStringLiteral("A2"));
    const QSharedPointer<FlashCommand> newB = command(QStringLiteral("B2"));
    const auto newG = group(QStringLiteral("g"));

    QVERIFY(!configuration->clone(FlashConfiguration::Commands{newA}, {{QStringLiteral("g"), newG}}));
    const auto copy = configuration->clone(FlashConfiguration::Commands{newA, newB}, {{QStringLiteral("g"), newG}});
    QVERIFY(copy);
    QCOMPARE(copy->getCommand(0), newA);
    QVERIFY(!copy->getCommand(1)); // this configuration does not run the file's second command
    const std::list<FlashConfiguration::Group> states = copy->getGroupsStatus();
    QCOMPARE(states.front().group, newG);
    QCOMPARE(states.back().group->getId(), QStringLiteral("lost"));
}

QTEST_GUILESS_MAIN(tst_FlashConfiguration)
#include "tst_FlashConfiguration.moc"
