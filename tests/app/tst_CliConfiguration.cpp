#include "app/CliConfiguration.h"

#include "RecordingLogSink.h"
#include "core/FMConst.h"
#include "core/MetaTypes.h"
#include "loader/FlashFileManager.h"
#include "model/FlashCommand.h"
#include "model/FlashParameterValue.h"
#include "model/FlashVariable.h"
#include "model/FlashVariableValue.h"
#include "platform/log/LoggedObject.h"
#include "tools/BuiltInKinds.h"
#include "tools/DravikFlashCommand.h"

#include <QDir>
#include <QtTest>

namespace {

// A flash file with the "fru_value" string parameter (option "none"), a variable, the
// configurations "fru" (default) and "other", and optionally "FRU_42".
QSharedPointer<FlashFileManager> loadFlashFile(bool withFru42)
{
    QByteArray text = R"({"flash": {"version": "3.0",
        "parameters": {
            "fru_value": {"type": "string", "name": "FRU", "options": {"none": {"value": "none", "description": "none"}}},
            "counter": {"type": "variable", "name": "Counter", "description": "A counter", "computedValue": "1 + 1", "value": 3}
        },
        "configurations": {
            "fru": {"name": "FRU", "startState": "pos", "default": true, "parameters": {"fru_value": "none"}},
            "other": {"name": "Other", "startState": "mos", "parameters": {"fru_value": "none"}}FRU42
        },
        "commands": [{"tool": "fastboot", "args": "oem fru ${fru_value}", "timeout": 1000, "retry": 1, "description": "FRU"}]
    }})";
    text.replace("FRU42", withFru42 ? R"(, "FRU_42": {"name": "Own", "startState": "tos"})" : "");
    return FlashFileManager::loadFromMemory(QDir::tempPath(), text, false);
}

// The clean-eMMC command kind, counting how often its details are built.
class DetailsCountingCommand : public DravikFlashCommand
{
public:
    DetailsCountingCommand()
        : DravikFlashCommand("ifwi.bin", "dnx.bin", "none", "none", "0x80000000", "none", "none", false)
    {
    }

    QString getDetails(const FlashConfiguration& configuration) const override
    {
        ++detailsBuilt;
        return DravikFlashCommand::getDetails(configuration);
    }

    mutable int detailsBuilt = 0;
};

QString selectedValue(const FlashConfigurationPtr& configuration, const QString& name)
{
    const QSharedPointer<FlashParameterValue> value = configuration->getParameterValue(name);
    return value ? value->getValue() : QStringLiteral("<none>");
}

} // namespace

// The configuration a command-line run flashes: chosen by -c, --fru-value or by default, adjusted
// by the options' parameter values; the clean-eMMC one.
class tst_CliConfiguration : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void fruValueOnACopyOfTheChosenConfiguration();
    void fruValueWithoutChoice_data();
    void fruValueWithoutChoice();
    void withoutDefaultConfiguration_data();
    void withoutDefaultConfiguration();
    void variableGetsTheValueAsDefault();
    void cleanEmmcConfiguration();
    void cleanEmmcNamesNoParameter();
    void detailsOnlyForALogThatShowsThem_data();
    void detailsOnlyForALogThatShowsThem();

private:
    LoggedObject m_log{QStringLiteral("Cli")};
    RecordingLogSink m_sink;
    ArgParser::Options m_options;
};

void tst_CliConfiguration::initTestCase()
{
    registerMetaTypes();
    BuiltInKinds::registerAll();
    m_sink.bind(m_log);
}

void tst_CliConfiguration::init()
{
    m_log.getLogHandler()->setFilterLevel(Logger::TRACE);
    FMConst::resetToDefaults();
    m_sink.clear();
    m_options = ArgParser::Options();
    m_options.flashFileName.clear();
}

void tst_CliConfiguration::fruValueOnACopyOfTheChosenConfiguration()
{
    const QSharedPointer<FlashFileManager> flashFile = loadFlashFile(false);
    QVERIFY(flashFile);
    m_options.configuration = "other";
    m_options.fruValue = "42";
    FlashConfigurationPtr configuration;
    QCOMPARE(CliConfiguration::choose(m_log, m_options, flashFile, configuration), 0);

    QCOMPARE(configuration->getID(), QStringLiteral("FRU_42"));
    QCOMPARE(configuration->getName(), QStringLiteral("FRU_42"));
    QCOMPARE(configuration->getStartState(), DeviceState::MainOs);
    // The copy reads the new value: the parameter reached the copy's own table.
    QCOMPARE(selectedValue(configuration, "fru_value"), QStringLiteral("42"));
    QCOMPARE(configuration->getFlashFileManager(), flashFile);
    QVERIFY2(configuration->getError().isNull(), qPrintable(configuration->getError()));
    // The file's own configurations took the new parameter too.
    QCOMPARE(flashFile->getParameter("fru_value")->getValue("42")->getValue(), QStringLiteral("42"));
    QCOMPARE(flashFile->getConfiguration("other")->getID(), QStringLiteral("other"));
    QVERIFY(m_sink.texts(Logger::INFO).contains("Parameter with key \"fru_value\" is set to \"42\" in flash configuration"));
    QVERIFY(m_sink.texts(Logger::INFO).contains("'FRU_42' configuration used to flash"));
    QVERIFY(m_sink.texts(Logger::INFO).filter("Available flash configurations").isEmpty());
}

void tst_CliConfiguration::fruValueWithoutChoice_data()
{
    QTest::addColumn<bool>("fileHasFru42");
    QTest::addColumn<DeviceState>("startState");
    QTest::newRow("the file's own FRU_42") << true << DeviceState::Tos;
    QTest::newRow("a copy of the default") << false << DeviceState::ProvisioningOs;
}

void tst_CliConfiguration::fruValueWithoutChoice()
{
    QFETCH(bool, fileHasFru42);
    QFETCH(DeviceState, startState);
    const QSharedPointer<FlashFileManager> flashFile = loadFlashFile(fileHasFru42);
    QVERIFY(flashFile);
    m_options.configuration = "nosuch";   // not reported under --fru-value
    m_options.fruValue = "42";
    FlashConfigurationPtr configuration;
    QCOMPARE(CliConfiguration::choose(m_log, m_options, flashFile, configuration), 0);
    QCOMPARE(configuration->getID(), QStringLiteral("FRU_42"));
    QCOMPARE(configuration->getStartState(), startState);
    QCOMPARE(selectedValue(configuration, "fru_value"), QStringLiteral("42"));
    QCOMPARE(configuration == flashFile->getConfiguration("FRU_42"), fileHasFru42);
}

void tst_CliConfiguration::withoutDefaultConfiguration_data()
{
    QTest::addColumn<QString>("fruValue");
    QTest::newRow("default asked for") << QString();
    QTest::newRow("FRU copy of the default") << "7";
}

void tst_CliConfiguration::withoutDefaultConfiguration()
{
    QFETCH(QString, fruValue);
    // The loader always names a default; a file built otherwise may have none.
    FlashFileManager::Contents contents;
    const FlashConfigurationPtr only(new FlashConfiguration(DeviceState::MainOs, FlashConfiguration::UnknownGroupsEnabled,
                                                            "only", "Only", QString(), QString(), QString(), false, {}, {}));
    contents.configurations["only"] = only;
    const QSharedPointer<FlashFileManager> flashFile = FlashFileManager::create(contents);
    m_options.fruValue = fruValue;
    FlashConfigurationPtr configuration;
    QCOMPARE(CliConfiguration::choose(m_log, m_options, flashFile, configuration), 14);
    QVERIFY(!configuration);
    QCOMPARE(m_sink.texts(Logger::ERROR),
             (QStringList{"Invalid flash file", "The flash file has no default configuration"}));
}

void tst_CliConfiguration::variableGetsTheValueAsDefault()
{
    const QSharedPointer<FlashFileManager> flashFile = loadFlashFile(false);
    QVERIFY(flashFile);
    FlashConfigurationPtr configuration;
    QCOMPARE(CliConfiguration::choose(m_log, m_options, flashFile, configuration), 0);
    m_options.parameterValues.insert("counter", "17");
    m_options.parameterValues.insert("fru_value", "none");
    QCOMPARE(CliConfiguration::adjust(m_log, m_options, flashFile, configuration), 0);
    const QSharedPointer<FlashVariable> counter = flashFile->getParameter("counter").dynamicCast<FlashVariable>();
    QCOMPARE(counter->getVariableValue()->getDefaultValue(), QVariant(QStringLiteral("17")));
}

void tst_CliConfiguration::cleanEmmcConfiguration()
{
    m_options.fwDnx = "fw_dnx.bin";
    m_options.fwImage = "sub/ifwi.bin";
    const FlashConfigurationPtr configuration = CliConfiguration::cleanEmmc(m_options);
    QCOMPARE(configuration->getID(), QStringLiteral("CleanEMMC"));
    QCOMPARE(configuration->getStartState(), DeviceState::DnxFirmware);
    QCOMPARE(configuration->getCommandsCount(), 1ul);
    const QSharedPointer<DravikFlashCommand> command = configuration->getCommand(0).dynamicCast<DravikFlashCommand>();
    QVERIFY(command);
    // IFWI DnX, IFWI, OS DnX, OS, GP flag, XXR DnX, soft fuse, wipe.
    QCOMPARE(command->getShellData().args,
             QStringList({QDir::current().absoluteFilePath("fw_dnx.bin"), QDir::current().absoluteFilePath("sub/ifwi.bin"),
                          "BLANK.bin", "BLANK.bin", "0x80000000", "none", "none", "1"}));
}

void tst_CliConfiguration::cleanEmmcNamesNoParameter()
{
    const FlashConfigurationPtr configuration = CliConfiguration::cleanEmmc(m_options);
    m_options.parameterValues.insert("mode", "fast");
    QCOMPARE(CliConfiguration::adjust(m_log, m_options, nullptr, configuration), 18);
    QCOMPARE(m_sink.texts(Logger::ERROR), QStringList{"Cannot set parameter value of the unknown parameter 'mode'"});
}

void tst_CliConfiguration::detailsOnlyForALogThatShowsThem_data()
{
    QTest::addColumn<int>("filterLevel");
    QTest::addColumn<int>("detailsBuilt");
    QTest::newRow("DEBUG shown") << int(Logger::DEBUG) << 1;
    QTest::newRow("INFO and above") << int(Logger::INFO) << 0;
}

void tst_CliConfiguration::detailsOnlyForALogThatShowsThem()
{
    QFETCH(int, filterLevel);
    QFETCH(int, detailsBuilt);
    const FlashConfigurationPtr configuration = CliConfiguration::cleanEmmc(m_options);
    const QSharedPointer<DetailsCountingCommand> command(new DetailsCountingCommand);
    configuration->setCommand(0, command);
    m_log.getLogHandler()->setFilterLevel(filterLevel);

    QCOMPARE(CliConfiguration::adjust(m_log, m_options, nullptr, configuration), 0);
    QCOMPARE(command->detailsBuilt, detailsBuilt);
    QCOMPARE(m_sink.texts(Logger::DEBUG).filter("FlashConfiguration:").size(), detailsBuilt);
}

QTEST_GUILESS_MAIN(tst_CliConfiguration)
#include "tst_CliConfiguration.moc"
