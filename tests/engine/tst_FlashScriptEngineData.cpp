#include "core/MetaTypes.h"
#include "engine/EngineMetaTypes.h"
#include "engine/FlashRunner.h"
#include "engine/FlashScriptEngine.h"
#include "engine/FlashScriptEngineData.h"
#include "model/FlashConfiguration.h"
#include "model/FlashParameter.h"
#include "model/FlashParameterValueString.h"
#include "model/FlashVariable.h"
#include "platform/utility/OSVersion.h"
#include "FakeFlashFile.h"
#include "RecordingLogSink.h"
#include "tests/engine/RunnerFixtures.h"

#include <QJsonDocument>
#include <QScriptEngine>
#include <QtTest>

#include <memory>

using namespace RunnerFixtures;

namespace {

QSharedPointer<FlashParameter> stringParameter(const QString& id, const std::map<QString, QString>& options)
{
    std::map<QString, FlashParameterValueString*> values;
    for (const auto& [key, text] : options)
        values.emplace(key, new FlashParameterValueString(key, text, QString()));
    return QSharedPointer<FlashParameter>::create(id, id, values);
}

QSharedPointer<FlashParameter> variable(const QString& id, const QVariant& value)
{
    return QSharedPointer<FlashVariable>::create(id, id, QSharedPointer<FlashCommand>(), value,
                                                 QRegExp(QStringLiteral("^.*$")), QStringLiteral("$0"),
                                                 QString());
}

} // namespace

class tst_FlashScriptEngineData : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void getParameterAnswers_data();
    void getParameterAnswers();
    void getParameterRefuses_data();
    void getParameterRefuses();
    void deviceKeysWithoutDeviceAreParameters();
    void flashDirNeedsAFileFromDisk();
    void indirectReferenceSelectsTheOptionNamedByAnotherParameter();

    void logWritesAtTheLevelOfItsLevelObject_data();
    void logWritesAtTheLevelOfItsLevelObject();
    void logRefuses_data();
    void logRefuses();
    void alertAsksForAnInformationBox();
    void nativeFunctionsRefuseAnotherEngine();

private:
    // Evaluates `script`; the value converted, or the error text when it failed.
    QString evaluate(const QString& script, bool* ok = nullptr);

    SharedPointer<FlashDevice2> m_device;
    QSharedPointer<FlashConfiguration> m_configuration;
    std::unique_ptr<FlashRunner> m_runner;
    RecordingLogSink m_sink;
};

void tst_FlashScriptEngineData::initTestCase()
{
    registerMetaTypes();
    registerEngineMetaTypes();
}

void tst_FlashScriptEngineData::init()
{
    // Three different serials: one seen in a download state, one in an OS state, the current one.
    m_device = makeDevice(DeviceState::DnxFirmware, QStringLiteral("SOC1"));
    m_device->setFlashState(FlashDevice2::FlashState::Flashing);
    updateDevice(*m_device, DeviceState::MainOs, QStringLiteral("OS1"));
    updateDevice(*m_device, DeviceState::Unknown, QStringLiteral("CUR"));

    FlashConfiguration::Parameters parameters{
        {QStringLiteral("image"), stringParameter(QStringLiteral("image"),
                                                  {{QStringLiteral("1"), QStringLiteral("one.img")},
                                                   {QStringLiteral("2"), QStringLiteral("two.img")}})},
        {QStringLiteral("variant"), stringParameter(QStringLiteral("variant"), {{QString(), QStringLiteral("2")}})},
        {QStringLiteral("empty"), stringParameter(QStringLiteral("empty"), {{QString(), QStringLiteral("")}})},
        {QStringLiteral("nothing"), stringParameter(QStringLiteral("nothing"), {{QString(), QString()}})},
        {QStringLiteral("serial"), stringParameter(QStringLiteral("serial"), {{QString(), QStringLiteral("param")}})},
        {QStringLiteral("list"), variable(QStringLiteral("list"), QVariantList{1, QStringLiteral("b")})},
        {QStringLiteral("map"), variable(QStringLiteral("map"), QVariantMap{{QStringLiteral("k"), true}})},
        {QStringLiteral("unset"), variable(QStringLiteral("unset"), QVariant())},
    };
    m_configuration = QSharedPointer<FlashConfiguration>::create(
        DeviceState::MainOs, FlashConfiguration::UnknownGroupsEnabled, QStringLiteral("cfg"),
        QStringLiteral("Cfg"), QString(), QString(), QString(), false, parameters,
        FlashConfiguration::ParameterValues{{QStringLiteral("image"), QStringLiteral("1")}});
    m_runner = std::make_unique<FlashRunner>(nullptr, m_device, m_configuration);
    m_sink.clear();
    m_sink.bind(*m_runner);
}

void tst_FlashScriptEngineData::cleanup()
{
    m_runner.reset();
    m_configuration.reset();
    m_device.reset();
}

QString tst_FlashScriptEngineData::evaluate(const QString& script, bool* ok)
{
    QScriptValue result;
    int line = 0;
    const bool success = m_runner->executeScript(FlashScriptEngine::escapeFlashParameters(script), result, line);
    if (ok != nullptr)
        *ok = success;
    if (!success || !result.isObject())
        return result.toString();
    return QString::fromUtf8(QJsonDocument::fromVariant(FlashScriptEngine::ScriptValueToVariant(result)).toJson(QJsonDocument::Compact));
}

void tst_FlashScriptEngineData::getParameterAnswers_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("expected");

    QTest::newRow("serial") << QStringLiteral("${serial}") << QStringLiteral("CUR");
    QTest::newRow("soc_sn") << QStringLiteral("${soc_sn}") << QStringLiteral("SOC1");
    QTest::newRow("soc_serial") << QStringLiteral("${soc_serial}") << QStringLiteral("SOC1");
    QTest::newRow("os_sn") << QStringLiteral("${os_sn}") << QStringLiteral("OS1");
    QTest::newRow("os_serial") << QStringLiteral("${os_serial}") << QStringLiteral("OS1");
    QTest::newRow("port") << QStringLiteral("${port}") << QStringLiteral("1-2");
    QTest::newRow("hostOsName") << QStringLiteral("${hostOsName}") << QString::fromUtf8(getOSVersion().name);
    QTest::newRow("hostOsArch") << QStringLiteral("${hostOsArch}") << QStringLiteral("64");
    QTest::newRow("selected option") << QStringLiteral("${image}") << QStringLiteral("one.img");
    QTest::newRow("only value") << QStringLiteral("${variant}") << QStringLiteral("2");
    QTest::newRow("empty text is a string") << QStringLiteral("typeof ${empty} + ':' + ${empty}")
                                            << QStringLiteral("string:");
    QTest::newRow("null text is undefined") << QStringLiteral("typeof ${nothing}") << QStringLiteral("undefined");
    QTest::newRow("variable list is an array") << QStringLiteral("${list}") << QStringLiteral("[1,\"b\"]");
    QTest::newRow("variable map is an object") << QStringLiteral("${map}") << QStringLiteral("{\"k\":true}");
    QTest::newRow("unset variable is undefined") << QStringLiteral("typeof ${unset}") << QStringLiteral("undefined");
    QTest::newRow("index as number") << QStringLiteral("$.getParameter('image', 2)") << QStringLiteral("two.img");
    QTest::newRow("index as string") << QStringLiteral("$.getParameter('image', '2')") << QStringLiteral("two.img");
}

void tst_FlashScriptEngineData::getParameterAnswers()
{
    QFETCH(QString, script);
    QFETCH(QString, expected);
    bool ok = false;
    QCOMPARE(evaluate(script, &ok), expected);
    QVERIFY(ok);
}

void tst_FlashScriptEngineData::getParameterRefuses_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("error");

    QTest::newRow("missing parameter")
        << QStringLiteral("${absent}")
        << QStringLiteral("ReferenceError: Parameter absent is not defined or does not have value associated to the current configuration");
    QTest::newRow("no arguments") << QStringLiteral("$.getParameter()")
                                  << QStringLiteral("SyntaxError: getParameter should not be called directly");
    QTest::newRow("three arguments") << QStringLiteral("$.getParameter('a', 'b', 'c')")
                                     << QStringLiteral("SyntaxError: getParameter should not be called directly");
    QTest::newRow("name not a string") << QStringLiteral("$.getParameter(5)")
                                       << QStringLiteral("SyntaxError: getParameter should not be called directly");
    QTest::newRow("called with new") << QStringLiteral("new $.getParameter('image')")
                                     << QStringLiteral("TypeError: getParameter is not a type");
    QTest::newRow("index not a string") << QStringLiteral("$.getParameter('image', {})")
                                        << QStringLiteral("TypeError: Indirection value is not a string");
    QTest::newRow("predefined key") << QStringLiteral("$.getParameter('port', '1')")
                                    << QStringLiteral("SyntaxError: Predefined keys do not support indirection");
    QTest::newRow("flash_dir") << QStringLiteral("$.getParameter('flash_dir', '1')")
                               << QStringLiteral("SyntaxError: Predefined keys do not support indirection");
    QTest::newRow("flashDir is a parameter name") << QStringLiteral("$.getParameter('flashDir', '1')")
                                                  << QStringLiteral("ReferenceError: Parameter flashDir is not defined");
    QTest::newRow("indirection on a variable") << QStringLiteral("$.getParameter('list', '1')")
                                               << QStringLiteral("SyntaxError: Indirections are not allowed on variables");
    QTest::newRow("unknown option")
        << QStringLiteral("$.getParameter('image', 3)")
        << QStringLiteral("ReferenceError: The indirection value '3' is not a valid option key for parameter 'image'");
}

void tst_FlashScriptEngineData::getParameterRefuses()
{
    QFETCH(QString, script);
    QFETCH(QString, error);
    bool ok = true;
    QCOMPARE(evaluate(script, &ok), error);
    QVERIFY(!ok);
}

void tst_FlashScriptEngineData::deviceKeysWithoutDeviceAreParameters()
{
    FlashRunner runner(nullptr, SharedPointer<FlashDevice2>(), m_configuration);
    QScriptValue result;
    int line = 0;
    QVERIFY(runner.executeScript(FlashScriptEngine::escapeFlashParameters(QStringLiteral("${serial}")), result, line));
    QCOMPARE(result.toString(), QStringLiteral("param"));
    QVERIFY(!runner.executeScript(FlashScriptEngine::escapeFlashParameters(QStringLiteral("${port}")), result, line));
    QCOMPARE(result.toString(),
             QStringLiteral("ReferenceError: Parameter port is not defined or does not have value associated to the current configuration"));
}

void tst_FlashScriptEngineData::flashDirNeedsAFileFromDisk()
{
    bool ok = true;
    QCOMPARE(evaluate(QStringLiteral("${flashDir}"), &ok),
             QStringLiteral("ReferenceError: Cannot use ${flashDir} predefined key without loading a file from disk"));
    QVERIFY(!ok);

    auto emptyPath = QSharedPointer<FakeFlashFile>::create(QString());
    m_configuration->setFlashFileManager(emptyPath);
    QCOMPARE(evaluate(QStringLiteral("${flash_dir}"), &ok),
             QStringLiteral("ReferenceError: Cannot use ${flashDir} predefined key without loading a file from disk"));

    auto onDisk = QSharedPointer<FakeFlashFile>::create(QStringLiteral("/data/flash/flash.json"));
    m_configuration->setFlashFileManager(onDisk);
    QCOMPARE(evaluate(QStringLiteral("${flashDir} + '|' + ${flash_dir}"), &ok),
             QStringLiteral("/data/flash|/data/flash"));
    QVERIFY(ok);

    FlashRunner withoutConfiguration;
    QScriptValue result;
    int line = 0;
    QVERIFY(!withoutConfiguration.executeScript(QStringLiteral("$.getParameter('flashDir')"), result, line));
    QCOMPARE(result.toString(),
             QStringLiteral("ReferenceError: Cannot use ${flashDir} predefined key without loading a configuration"));
}

void tst_FlashScriptEngineData::indirectReferenceSelectsTheOptionNamedByAnotherParameter()
{
    QCOMPARE(evaluate(QStringLiteral("${image,variant}")), QStringLiteral("two.img"));
}

void tst_FlashScriptEngineData::logWritesAtTheLevelOfItsLevelObject_data()
{
    QTest::addColumn<QString>("level");
    QTest::addColumn<int>("expected");

    QTest::newRow("Fatal") << QStringLiteral("$.Fatal") << 0;
    QTest::newRow("Error") << QStringLiteral("$.Error") << 1;
    QTest::newRow("Warn") << QStringLiteral("$.Warn") << 2;
    QTest::newRow("Info") << QStringLiteral("$.Info") << 3;
    QTest::newRow("Debug") << QStringLiteral("$.Debug") << 4;
    QTest::newRow("Trace") << QStringLiteral("$.Trace") << 5;
    QTest::newRow("own object") << QStringLiteral("({name: 'Debug', value: 4})") << 4;
    QTest::newRow("inherited pair") << QStringLiteral("Object.create($.Error)") << 1;
    QTest::newRow("fraction counts as its integer") << QStringLiteral("({name: 'Warning', value: 2.5})") << 2;
}

void tst_FlashScriptEngineData::logWritesAtTheLevelOfItsLevelObject()
{
    QFETCH(QString, level);
    QFETCH(int, expected);
    bool ok = false;
    QCOMPARE(evaluate(QStringLiteral("$.log(%1, 'hello ' + 42)").arg(level), &ok), QStringLiteral("undefined"));
    QVERIFY(ok);
    const auto lines = m_sink.lines();
    QVERIFY(!lines.empty());
    QCOMPARE(int(lines.back().level), expected);
    QCOMPARE(lines.back().text, QStringLiteral("hello 42"));
    QCOMPARE(lines.back().label, QStringLiteral("Port 1-2"));
}

void tst_FlashScriptEngineData::logRefuses_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("error");

    QTest::newRow("one argument") << QStringLiteral("$.log($.Info)") << QStringLiteral("SyntaxError: Invalid parameter count");
    QTest::newRow("three arguments") << QStringLiteral("$.log($.Info, 'a', 'b')")
                                     << QStringLiteral("SyntaxError: Invalid parameter count");
    QTest::newRow("called with new") << QStringLiteral("new $.log($.Info, 'a')")
                                     << QStringLiteral("TypeError: Logger.log is not a type");
    QTest::newRow("number as level") << QStringLiteral("$.log(3, 'a')") << QStringLiteral("TypeError: Invalid log level");
    QTest::newRow("value not a number") << QStringLiteral("$.log({name: 'Info', value: '3'}, 'a')")
                                        << QStringLiteral("TypeError: Invalid log level value");
    QTest::newRow("no name") << QStringLiteral("$.log({value: 3}, 'a')")
                             << QStringLiteral("TypeError: Log level value is not valid");
    QTest::newRow("above Trace") << QStringLiteral("$.log({name: 'Trace', value: 6}, 'a')")
                                 << QStringLiteral("TypeError: Unknown log level value");
    QTest::newRow("negative") << QStringLiteral("$.log({name: 'Fatal', value: -1}, 'a')")
                              << QStringLiteral("TypeError: Unknown log level value");
    QTest::newRow("wraps to 2") << QStringLiteral("$.log({name: 'Warning', value: 4294967298}, 'a')")
                                << QStringLiteral("TypeError: Unknown log level value");
    QTest::newRow("Warn is no level name") << QStringLiteral("$.log({name: 'Warn', value: 2}, 'a')")
                                           << QStringLiteral("TypeError: Invalid log level used");
}

void tst_FlashScriptEngineData::logRefuses()
{
    QFETCH(QString, script);
    QFETCH(QString, error);
    bool ok = true;
    QCOMPARE(evaluate(script, &ok), error);
    QVERIFY(!ok);
    QVERIFY(m_sink.lines().empty());
}

void tst_FlashScriptEngineData::alertAsksForAnInformationBox()
{
    QSignalSpy spy(m_runner.get(), &FlashRunner::displayMessageBox);
    bool ok = false;
    QCOMPARE(evaluate(QStringLiteral("$.alert('first', 'second')"), &ok), QStringLiteral("undefined"));
    QVERIFY(ok);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toString(), QStringLiteral("info"));
    QCOMPARE(spy.at(0).at(1).toString(), QStringLiteral("first"));
    QCOMPARE(spy.at(0).at(2).value<bool*>(), static_cast<bool*>(nullptr));

    QCOMPARE(evaluate(QStringLiteral("$.alert()"), &ok), QStringLiteral("SyntaxError: alert() needs a message to display"));
    QCOMPARE(evaluate(QStringLiteral("new $.alert('x')"), &ok), QStringLiteral("TypeError: alert is not a type"));
    QCOMPARE(spy.count(), 1);
}

void tst_FlashScriptEngineData::nativeFunctionsRefuseAnotherEngine()
{
    QScriptEngine other;
    QScriptValue getParameter = other.newFunction(FlashScriptEngineData::getParameterCallback);
    const QScriptValue result = getParameter.call(QScriptValue(), QScriptValueList{QScriptValue(QStringLiteral("image"))});
    QVERIFY(other.hasUncaughtException());
    QCOMPARE(result.toString(), QStringLiteral("ReferenceError: Internal script engine error"));
}

QTEST_GUILESS_MAIN(tst_FlashScriptEngineData)
#include "tst_FlashScriptEngineData.moc"
