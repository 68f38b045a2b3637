#include "LoaderTestKit.h"

#include "core/FMConst.h"
#include "loader/ExternalToolManager.h"
#include "loader/FlashFileManager.h"
#include "model/FlashCommand.h"
#include "model/FlashGroup.h"
#include "model/FlashParameter.h"
#include "model/FlashVariable.h"
#include "model/FlashVariableValue.h"
#include "tools/BuiltInKinds.h"

#include <QTemporaryDir>
#include <QtTest>

// The JSON reader of versions "2.0" to "3.0": what each version reads, and every refusal with its
// exact ERROR line followed by the offending object at DEBUG.
class tst_JsonFlashFileReader : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void versionDifferences_data();
    void versionDifferences();
    void refusals_data();
    void refusals();
    void versionBelow2IsRefused();
    void duplicateKeysWarnAndTheLastWins_data();
    void duplicateKeysWarnAndTheLastWins();
    void defaultConfiguration();
    void restrictAndGroups();
    void variables();
    void checkFlagRunsConfigurationChecks();
    void userToolsAreCommandKinds();

private:
    QTemporaryDir m_dir;
};

namespace {

const QByteArray kConfiguration = R"("configurations": {"c": {"name": "C", "startState": "mos"}})";
const QByteArray kNoCommands = R"("commands": [])";
// The keys every fastboot command needs.
const QByteArray kFastboot = R"("tool": "fastboot", "timeout": 1000, "retry": 1, "description": "D")";

// A document of `version` whose "flash" object holds `members` after "version".
QByteArray document(const QByteArray& version, const QByteArray& members)
{
    return R"({"flash": {"version": ")" + version + "\", " + members + "}}";
}

QByteArray withParameter(const QByteArray& version, const QByteArray& parameter)
{
    return document(version, R"("parameters": {"p": )" + parameter + "}, " + kConfiguration + ", " + kNoCommands);
}

QByteArray withConfiguration(const QByteArray& version, const QByteArray& configuration)
{
    return document(version, R"("parameters": {"mode": {"type": "string", "name": "Mode", "options": {
                                   "fast": {"value": "-f", "description": "Fast"}}},
                                 "img": {"type": "file", "name": "Image", "value": "absent.img", "description": "Image"}},
                               "groups": {"g": {"name": "G", "description": "Group"}},
                               "configurations": {"c": )"
                                 + configuration + "}, " + kNoCommands);
}

QByteArray withCommand(const QByteArray& command)
{
    return document("3.0", R"("groups": {"g": {"name": "G", "description": "Group"}},
                              "configurations": {"x": {"name": "X", "startState": "mos"},
                                                 "z": {"name": "Z", "startState": "mos"}},
                              "commands": [)" + command + "]");
}

QByteArray withGroup(const QByteArray& group)
{
    return document("3.0", R"("groups": {"g": )" + group + "}, " + kConfiguration + ", " + kNoCommands);
}

QSharedPointer<FlashFileManager> read(const QString& folder, const QByteArray& text, bool check = false)
{
    JsonObject json;
    if (!json.loadMemory(text))
        qFatal("fixture is no JSON: %s", text.constData());
    return FlashFileManager::loadFromJson(folder, json, check);
}

} // namespace

void tst_JsonFlashFileReader::initTestCase()
{
    QVERIFY(m_dir.isValid());
    BuiltInKinds::registerAll();
}

void tst_JsonFlashFileReader::versionDifferences_data()
{
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<bool>("documentation");   // "documentation" is read
    QTest::addColumn<bool>("hidden");          // "hiddenToEndUser" is read
    QTest::addColumn<int>("platforms");        // platforms kept
    QTest::addColumn<bool>("unlistedGroupRuns");
    QTest::addColumn<bool>("variables");

    QTest::newRow("2.0") << QStringLiteral("flash-v2_0.json") << false << false << 0 << true << false;
    QTest::newRow("2.1") << QStringLiteral("flash-v2_1.json") << false << false << 0 << true << false;
    QTest::newRow("2.2") << QStringLiteral("flash-v2_2.json") << true << false << 0 << true << false;
    QTest::newRow("3.0") << QStringLiteral("flash-v3_0.json") << true << true << 2 << false << true;
}

void tst_JsonFlashFileReader::versionDifferences()
{
    QFETCH(QString, fixture);
    QFETCH(bool, documentation);
    QFETCH(bool, hidden);
    QFETCH(int, platforms);
    QFETCH(bool, unlistedGroupRuns);
    QFETCH(bool, variables);

    RecordedLog log;
    const QString path = QFINDTESTDATA(QStringLiteral("data/") + fixture);
    const QSharedPointer<FlashFileManager> flashFile = FlashFileManager::loadFromFile(path, true);
    QVERIFY2(flashFile, qPrintable(log.lines().join(QLatin1Char('\n'))));
    QVERIFY(log.lines().contains(QStringLiteral("DEBUG|Json Flash file parsed (")
                                 + QFileInfo(path).absolutePath() + QLatin1Char(')')));

    const auto a = flashFile->getConfiguration(QStringLiteral("a"));
    QCOMPARE(a->hasDocumentation(), documentation);
    QCOMPARE(a->isHiddenToEndUser(), hidden);
    QCOMPARE(int(flashFile->getPlatforms().size()), platforms);
    QCOMPARE(a->isGroupEnabled(QStringLiteral("extras")), unlistedGroupRuns);
    QCOMPARE(!flashFile->getParameter(QStringLiteral("counter")).isNull(), variables);

    // What every version reads alike.
    QCOMPARE(a->getStartState(), DeviceState::DnxOs);
    QCOMPARE(a->getBrief(), QStringLiteral("All"));
    QCOMPARE(flashFile->getDefaultConfiguration(), a);
    QCOMPARE(flashFile->getBuildProperties().value(QStringLiteral("build")).toString(), QStringLiteral("eng.1234"));
    QVERIFY(!flashFile->getConfiguration(QStringLiteral("b"))->isGroupEnabled(QStringLiteral("extras")));
    const auto image = flashFile->getParameter(QStringLiteral("image"));
    QCOMPARE(image->getType(), FlashParameter::File);
    QCOMPARE(image->getValue()->getValue(),
             QDir::toNativeSeparators(QFileInfo(path).absolutePath() + QStringLiteral("/images/boot.img")));
    QCOMPARE(flashFile->getParameter(QStringLiteral("mode"))->getType(), FlashParameter::String);
    QCOMPARE(flashFile->getParameter(QStringLiteral("scratch"))->getValue()->getValue(),
             QStringLiteral("scratch-XXXX.bin"));
    const auto extras = flashFile->getGroups().at(QStringLiteral("extras"));
    QCOMPARE(extras->getCommands().size(), std::size_t(1));
    QCOMPARE(flashFile->getCommandList()[1]->getGroup(), QStringLiteral("extras"));
}

void tst_JsonFlashFileReader::refusals_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("message");    // null: the file loads
    QTest::addColumn<QByteArray>("context"); // "flash", "document" or the object's JSON

    // Document.
    QTest::newRow("build_info no object")
        << QByteArray(R"({"build_info": [], "flash": {"version": "3.0", )") + kConfiguration + ", " + kNoCommands + "}}"
        << QStringLiteral("Invalid value for build_info") << QByteArray("document");
    QTest::newRow("unknown platform in 3.0")
        << document("3.0", R"("platforms": ["zorvik_android", "toaster"], )" + kConfiguration + ", " + kNoCommands)
        << QStringLiteral("Invalid value for platforms") << QByteArray("flash");
    QTest::newRow("unknown platform in 2.1 is ignored")
        << document("2.1", R"("platforms": ["toaster"], )" + kConfiguration + ", " + kNoCommands)
        << QString() << QByteArray();
    QTest::newRow("parameters no object map")
        << document("3.0", R"("parameters": {"p": 1}, )" + kConfiguration + ", " + kNoCommands)
        << QStringLiteral("Invalid value for parameters") << QByteArray("flash");
    QTest::newRow("groups no object map")
        << document("3.0", R"("groups": [], )" + kConfiguration + ", " + kNoCommands)
        << QStringLiteral("Invalid value for groups") << QByteArray("flash");
    QTest::newRow("2.0 without configurations")
        << QByteArray(R"({"build_info": 1, "flash": {"version": "2.0", "commands": []}})")
        << QStringLiteral("configurations key not found") << QByteArray("flash");
    QTest::newRow("2.1 without configurations")
        << QByteArray(R"({"build_info": 1, "flash": {"version": "2.1", "commands": []}})")
        << QStringLiteral("Invalid value for build_info") << QByteArray("document");
    QTest::newRow("no configuration")
        << document("3.0", R"("configurations": {})") << QStringLiteral("No configuration found") << QByteArray("flash");
    QTest::newRow("commands absent")
        << document("3.0", kConfiguration) << QStringLiteral("commands key not found") << QByteArray("flash");
    QTest::newRow("commands no list of objects")
        << document("3.0", kConfiguration + R"(, "commands": ["fastboot"])")
        << QStringLiteral("Invalid value for commands") << QByteArray("flash");
    QTest::newRow("two defaults")
        << document("3.0", R"("configurations": {"a": {"name": "A", "startState": "mos", "default": true},
                                                 "b": {"name": "B", "startState": "pos", "default": true}},)"
                    + kNoCommands)
        << QStringLiteral("Too many default configurations")
        << QByteArray(R"({"name": "B", "startState": "pos", "default": true})");

    // Groups.
    QTest::newRow("group without name")
        << withGroup(R"({"description": "D"})") << QStringLiteral("Invalid value for name") << QByteArray(R"({"description": "D"})");
    QTest::newRow("group with empty description")
        << withGroup(R"({"name": "N", "description": ""})") << "Empty value for description"
        << QByteArray(R"({"name": "N", "description": ""})");

    // Commands.
    const QByteArray restricted = "{" + kFastboot + R"(, "args": "x", "restrict": ["x", "y"]})";
    QTest::newRow("restrict names an unknown configuration")
        << withCommand(restricted) << QStringLiteral("No configuration found with y key") << restricted;
    const QByteArray undefinedGroup = R"({"tool": "nosuch", "args": "x", "group": "Flash"})";
    QTest::newRow("group id not defined")
        << withCommand(undefinedGroup) << QStringLiteral("Group Id not defined Flash") << undefinedGroup;
    const QByteArray badRestrict = "{" + kFastboot + R"(, "restrict": "x"})";
    QTest::newRow("restrict no list") << withCommand(badRestrict) << QStringLiteral("Invalid value for restrict") << badRestrict;
    const QByteArray badGroup = "{" + kFastboot + R"(, "group": 3})";
    QTest::newRow("group no text") << withCommand(badGroup) << QStringLiteral("Invalid value for group") << badGroup;
    const QByteArray noTool = R"({"args": "x"})";
    QTest::newRow("no tool") << withCommand(noTool) << QStringLiteral("No tool set in command") << noTool;
    const QByteArray toolNumber = R"({"tool": 5})";
    QTest::newRow("tool no text") << withCommand(toolNumber) << QStringLiteral("Invalid tool value in command") << toolNumber;
    const QByteArray unknownTool = R"({"tool": "nosuch", "group": null, "restrict": null})";
    QTest::newRow("unknown tool")
        << withCommand(unknownTool) << QStringLiteral("Tool nosuch not found or invalid tool configuration") << unknownTool;
    const QByteArray refusedByItsKind = R"({"tool": "fastboot", "args": "x"})";
    QTest::newRow("kind refuses its keys")
        << withCommand(refusedByItsKind) << QStringLiteral("Tool fastboot not found or invalid tool configuration")
        << refusedByItsKind;
    QTest::newRow("restricted to no configuration is dropped unread")
        << withCommand(R"({"tool": 5, "group": "none", "restrict": []})") << QString() << QByteArray();

    // Configurations.
    const auto configurationRow = [](const char* name, const QByteArray& version, const QByteArray& configuration,
                                     const QString& message, const QByteArray& context = QByteArray()) {
        QTest::newRow(name) << withConfiguration(version, configuration) << message
                            << (context.isNull() ? configuration : context);
    };
    configurationRow("configuration without name", "3.0", R"({"startState": "mos"})", "Invalid value for name");
    configurationRow("description no text", "3.0", R"({"name": "C", "description": 1, "startState": "mos"})",
                     "Invalid value for description");
    configurationRow("start state number", "3.0", R"({"name": "C", "startState": 3})",
                     "Invalid start state value value in configuration");
    configurationRow("start state in capitals", "3.0", R"({"name": "C", "startState": "MOS"})",
                     "Invalid start state value value in configuration");
    configurationRow("no start state", "3.0", R"({"name": "C"})", "Start state not found in configuration");
    configurationRow("default no boolean", "3.0", R"({"name": "C", "startState": "mos", "default": 1})",
                     "Invalid value for default");
    configurationRow("documentation no text in 2.2", "2.2",
                     R"({"name": "C", "startState": "mos", "documentation": 1})", "Invalid value for documentation");
    configurationRow("documentation ignored in 2.1", "2.1",
                     R"({"name": "C", "startState": "mos", "documentation": 1})", QString(), QByteArray());
    configurationRow("hiddenToEndUser no boolean in 3.0", "3.0",
                     R"({"name": "C", "startState": "mos", "hiddenToEndUser": "no"})",
                     "Invalid value for hiddenToEndUser");
    configurationRow("hiddenToEndUser ignored in 2.2", "2.2",
                     R"({"name": "C", "startState": "mos", "hiddenToEndUser": "no"})", QString(), QByteArray());
    configurationRow("unknown parameter", "3.0",
                     R"({"name": "C", "startState": "mos", "parameters": {"nope": "x"}})",
                     "Invalid parameter key nope", R"({"nope": "x"})");
    configurationRow("unknown option", "3.0",
                     R"({"name": "C", "startState": "mos", "parameters": {"mode": 2}})",
                     "Invalid parameter value '2' for mode", R"({"mode": 2})");
    configurationRow("selected file missing", "3.0",
                     R"({"name": "C", "startState": "mos", "parameters": {"img": ""}})",
                     "Invalid parameter img : @FOLDER@/absent.img not found");
    configurationRow("groupsState no object", "3.0", R"({"name": "C", "startState": "mos", "groupsState": []})",
                     "Invalid value for groupsState");
    configurationRow("unknown group", "3.0",
                     R"({"name": "C", "startState": "mos", "groupsState": {"extra": true}})",
                     "Invalid group key extra", R"({"extra": true})");
    configurationRow("group state object", "3.0",
                     R"({"name": "C", "startState": "mos", "groupsState": {"g": {}}})",
                     "Invalid group g value", R"({"g": {}})");
    configurationRow("dnx_fw in 2.1", "2.1", R"({"name": "C", "startState": "dnx_fw"})", QString(), QByteArray());

    // Parameters.
    const auto parameterRow = [](const char* name, const QByteArray& version, const QByteArray& parameter,
                                 const QString& message, const QByteArray& context = QByteArray()) {
        QTest::newRow(name) << withParameter(version, parameter) << message
                            << (context.isNull() ? parameter : context);
    };
    parameterRow("unknown type", "3.0", R"({"type": "blob", "name": "P", "value": "v", "description": "D"})",
                 "Invalid value for type");
    parameterRow("variable in 2.1", "2.1", R"({"type": "variable", "name": "P", "computedValue": "1", "description": "D"})",
                 "Invalid value for type");
    parameterRow("type in capitals", "2.0", R"({"type": "FILE", "name": "P", "value": "v", "description": "D"})",
                 QString(), QByteArray());
    parameterRow("no name", "3.0", R"({"type": "string", "value": "v", "description": "D"})", "Missing value for name");
    parameterRow("empty name", "3.0", R"({"type": "string", "name": "", "value": "v", "description": "D"})",
                 "Invalid value for name");
    parameterRow("empty value", "3.0",
                 R"({"type": "string", "name": "P", "value": "", "options": {}, "description": "D"})",
                 "Invalid value for value");
    parameterRow("value and options", "3.0",
                 R"({"type": "string", "name": "P", "value": "v", "options": {}, "description": "D"})",
                 "options and value are mutually exclusive");
    parameterRow("value without description", "3.0", R"({"type": "string", "name": "P", "value": "v"})",
                 "Invalid value for description");
    parameterRow("value no text", "3.0", R"({"type": "string", "name": "P", "value": 4, "description": "D"})",
                 "Internal load error (9)");
    parameterRow("empty options", "3.0", R"({"type": "string", "name": "P", "options": {}})",
                 "Missing values in options");
    parameterRow("options no object", "3.0", R"({"type": "string", "name": "P", "options": []})",
                 "Invalid value for options");
    parameterRow("neither value nor options", "3.0", R"({"type": "string", "name": "P"})",
                 "Missing options and value in a parameter");
    parameterRow("faulty option reported in id order", "3.0",
                 R"({"type": "string", "name": "P", "options": {"b": {"value": "", "description": "B"},
                                                                  "a": {"value": "", "description": "A"}}})",
                 "Invalid value for value", R"({"value": "", "description": "A"})");
    parameterRow("option without description", "3.0",
                 R"({"type": "temporary_file", "name": "P", "options": {"a": {"value": "x"}}})",
                 "Invalid value for description", R"({"value": "x"})");

    // Variables.
    parameterRow("variable without computed value", "3.0", R"({"type": "variable", "name": "V", "description": "D"})",
                 "No computedValue for variable parameter");
    parameterRow("computedValue no text", "3.0",
                 R"({"type": "variable", "name": "V", "description": "D", "computedValue": 1})",
                 "Invalid computedValue format in variable parameter");
    parameterRow("computed-value no text", "3.0",
                 R"({"type": "variable", "name": "V", "description": "D", "computed-value": 1})",
                 "Invalid computed-value format in variable parameter");
    parameterRow("variable without description", "3.0", R"({"type": "variable", "name": "V", "computedValue": ""})",
                 "No description for variable parameter");
    parameterRow("variable with empty description", "3.0",
                 R"({"type": "variable", "name": "V", "computedValue": "", "description": ""})",
                 "Invalid empty description in variable parameter");
    parameterRow("variable description no text", "3.0",
                 R"({"type": "variable", "name": "V", "computedValue": "", "description": 2})",
                 "Invalid description format in variable parameter");
    parameterRow("variable without name", "3.0", R"({"type": "variable", "computedValue": "", "description": "D"})",
                 "No name for variable parameter");
    parameterRow("variable name no text", "3.0",
                 R"({"type": "Variable", "name": [], "computedValue": "", "description": "D"})",
                 "Invalid name format in variable parameter");
    parameterRow("variable initial value a list", "3.0",
                 R"({"type": "variable", "name": "V", "computedValue": "", "description": "D", "value": [1]})",
                 "Invalid initial value in variable parameter");
    parameterRow("sub-command no object", "3.0",
                 R"({"type": "variable", "name": "V", "description": "D", "subCommand": "fastboot"})",
                 "Invalid sub-command format in variable parameter");
    parameterRow("sub-command of an unknown tool", "3.0",
                 R"({"type": "variable", "name": "V", "description": "D", "subCommand": {"tool": "nosuch"}})",
                 "Unrecognized sub-command in variable parameter");
    parameterRow("filter no text", "3.0",
                 R"({"type": "variable", "name": "V", "description": "D", "subCommand": {)" + kFastboot + R"(},
                     "filter": 1, "computedValue": "$1"})",
                 "Invalid filter format in variable parameter");
    parameterRow("filter no regular expression", "3.0",
                 R"({"type": "variable", "name": "V", "description": "D", "subCommand": {)" + kFastboot + R"(},
                     "filter": "(", "computedValue": "$1"})",
                 "Invalid filter regular expression in variable parameter");
    parameterRow("sub-command of an in-process kind", "3.0",
                 R"({"type": "variable", "name": "V", "description": "D", "subCommand": {"tool": "pass", "description": "P"}})",
                 "Unsupported sub-command in variable parameter");
    parameterRow("sub-command that only flashes", "3.0",
                 R"({"type": "variable", "name": "V", "description": "D",
                     "subCommand": {"tool": "dravikDownloader", "ifwi": "i", "ifwi_dnx": "d", "gpflag": "0"}})",
                 "Unsupported shell sub-command in variable parameter");
    parameterRow("filter ignored without sub-command", "3.0",
                 R"({"type": "variable", "name": "V", "description": "D", "filter": "(", "computedValue": ""})",
                 QString(), QByteArray());
}

void tst_JsonFlashFileReader::refusals()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    QFETCH(QByteArray, context);

    RecordedLog log;
    const QSharedPointer<FlashFileManager> flashFile = read(m_dir.path(), content);
    const QStringList errors = log.lines().filter(QRegExp(QStringLiteral("^ERROR\\|")));
    if (message.isNull()) {
        QVERIFY2(flashFile, qPrintable(errors.join(QLatin1Char('\n'))));
        QCOMPARE(errors, QStringList());
        return;
    }
    QVERIFY(!flashFile);
    message.replace(QStringLiteral("@FOLDER@"), QDir::toNativeSeparators(m_dir.path()));
    const QString line = QStringLiteral("ERROR|") + message;
    QCOMPARE(errors.last(), line);

    JsonObject json;
    json.loadMemory(content);
    JsonObject flash;
    json.getObject(QStringLiteral("flash"), flash);
    const QByteArray contextText = context == "document" ? json.toJson() : context == "flash" ? flash.toJson() : context;
    QCOMPARE(contextAfter(log.lines(), line), jsonContextLines(contextText));
}

void tst_JsonFlashFileReader::versionBelow2IsRefused()
{
    RecordedLog log;
    JsonObject json;
    json.loadMemory(document("1.9", kConfiguration + ", " + kNoCommands));
    QVERIFY(!FlashFileManager::loaderV2p0(m_dir.path(), json, FlashVersion(QStringLiteral("1.9")), false));
    QVERIFY(log.lines().contains(QStringLiteral("ERROR|Invalid flash file version")));
}

void tst_JsonFlashFileReader::duplicateKeysWarnAndTheLastWins_data()
{
    QTest::addColumn<QByteArray>("members"); // of "flash", from line 3 of the file
    QTest::addColumn<QStringList>("warnings");
    QTest::addColumn<QString>("record");     // whose name must be "Last": configuration, parameter or group

    QTest::newRow("configuration id")
        << QByteArray(R"("configurations": {
                           "c": {"name": "First", "startState": "mos"},
                           "c": {"name": "Last", "startState": "mos"}},
                         "commands": [])")
        << QStringList{R"(WARNING|Duplicate key "c" at line 5: its last value is used)"} << "configuration";
    QTest::newRow("parameter")
        << QByteArray(R"("parameters": {
                           "p": {"type": "string", "name": "First", "options": {"o": {"value": "1", "description": "O"}}},
                           "p": {"type": "string", "name": "Last", "options": {"o": {"value": "1", "description": "O"}}}},
                         "configurations": {"c": {"name": "Last", "startState": "mos"}},
                         "commands": [])")
        << QStringList{R"(WARNING|Duplicate key "p" at line 5: its last value is used)"} << "parameter";
    QTest::newRow("group and a nested key")
        << QByteArray(R"("groups": {
                           "g": {"name": "First", "description": "D"},
                           "g": {"name": "First",
                                 "description": "D",
                                 "name": "Last"}},
                         "configurations": {"c": {"name": "Last", "startState": "mos"}},
                         "commands": [])")
        << QStringList{R"(WARNING|Duplicate key "g" at line 5: its last value is used)",
                       R"(WARNING|Duplicate key "name" at line 7: its last value is used)"}
        << "group";
}

void tst_JsonFlashFileReader::duplicateKeysWarnAndTheLastWins()
{
    QFETCH(QByteArray, members);
    QFETCH(QStringList, warnings);
    QFETCH(QString, record);

    const QString path = m_dir.filePath(QStringLiteral("duplicates.json"));
    QVERIFY(writeTextFile(path, "{\"flash\": {\n\"version\": \"3.0\",\n" + members + "}}\n"));
    RecordedLog log;
    const QSharedPointer<FlashFileManager> flashFile = FlashFileManager::loadFromFile(path, true);
    QVERIFY2(flashFile, qPrintable(log.lines().join(QLatin1Char('\n'))));
    QCOMPARE(log.lines().filter(QRegExp(QStringLiteral("^WARNING\\|"))), warnings);

    QString name;
    if (record == QLatin1String("parameter"))
        name = flashFile->getParameter(QStringLiteral("p"))->getName();
    else if (record == QLatin1String("group"))
        name = flashFile->getGroups().at(QStringLiteral("g"))->getName();
    else
        name = flashFile->getConfiguration(QStringLiteral("c"))->getName();
    QCOMPARE(name, QStringLiteral("Last"));
    QCOMPARE(flashFile->getConfigurationsList().size(), std::size_t(1));
}

void tst_JsonFlashFileReader::defaultConfiguration()
{
    // Without a "default" flag the smallest id, in code-unit order, is the default.
    const QSharedPointer<FlashFileManager> flashFile = read(m_dir.path(), document("3.0", R"("configurations": {
        "b": {"name": "B", "startState": "mos"}, "a": {"name": "A", "startState": "mos"},
        "A": {"name": "A", "startState": "mos"}}, "commands": [])"));
    QVERIFY(flashFile);
    QCOMPARE(flashFile->getDefaultConfiguration()->getID(), QStringLiteral("A"));
    for (const auto& configuration : flashFile->getConfigurationsList())
        QCOMPARE(configuration.second->getFlashFileManager(), flashFile);
}

void tst_JsonFlashFileReader::restrictAndGroups()
{
    const QSharedPointer<FlashFileManager> flashFile = read(m_dir.path(), withCommand(
        "{" + kFastboot + R"(, "args": "both", "restrict": null, "group": ""},
         {)" + kFastboot + R"(, "args": "z twice", "restrict": ["z", "z"], "group": "g"},
         {)" + kFastboot + R"(, "args": "null group", "group": null})"));
    QVERIFY(flashFile);
    const auto x = flashFile->getConfiguration(QStringLiteral("x"));
    const auto z = flashFile->getConfiguration(QStringLiteral("z"));
    QCOMPARE(x->getCommands().size(), std::size_t(3));
    QCOMPARE(x->getCommandsCount(), 2ul);
    QCOMPARE(z->getCommandsCount(), 3ul);
    const auto grouped = flashFile->getCommandList()[1];
    QCOMPARE(grouped->getGroup(), QStringLiteral("g"));
    QCOMPARE(flashFile->getGroups().at(QStringLiteral("g"))->getCommands().count(grouped.data()), std::size_t(1));
    QCOMPARE(flashFile->getCommandList()[0]->getGroup(), QString());
    QCOMPARE(flashFile->getCommandList()[2]->getGroup(), QString());
}

void tst_JsonFlashFileReader::variables()
{
    RecordedLog log;
    const QSharedPointer<FlashFileManager> flashFile = read(m_dir.path(), document("3.0", R"("parameters": {
        "plain": {"type": "variable", "name": "Plain", "description": "D", "computedValue": "", "value": null},
        "number": {"type": "variable", "name": "Number", "description": "D", "computedValue": "x", "value": 2.5},
        "old": {"type": "variable", "name": "Old", "description": "D", "computed-value": "$0 + 1", "value": true},
        "captured": {"type": "variable", "name": "Captured", "description": "D",
                     "subCommand": {"tool": "adb", "args": "get-serialno", "timeout": 1000, "retry": 1,
                                    "description": "Serial"}, "computedValue": "ignored"}},
        )" + kConfiguration + ", " + kNoCommands));
    QVERIFY2(flashFile, qPrintable(log.lines().join(QLatin1Char('\n'))));
    const auto value = [&](const char* id) {
        return flashFile->getParameter(QLatin1String(id)).dynamicCast<FlashVariable>()->getVariableValue();
    };
    QVERIFY(!value("plain")->getDefaultValue().isValid());
    QCOMPARE(value("number")->getDefaultValue().toDouble(), 2.5);
    QCOMPARE(value("old")->getReplacement(), QStringLiteral("$0 + 1"));
    QCOMPARE(value("captured")->getFilter().pattern(), QStringLiteral("^.*$"));
    QCOMPARE(value("captured")->getReplacement(), QStringLiteral("$0"));
    QVERIFY(value("captured")->getSubCommand());
    const QStringList lines = log.lines();
    const int warning = lines.indexOf(QStringLiteral("WARNING|The 'computed-value' key is deprecated in flash file"));
    QVERIFY(warning >= 0);
    QCOMPARE(lines.value(warning + 1), QStringLiteral("DEBUG|Please use 'computedValue' instead"));
}

void tst_JsonFlashFileReader::checkFlagRunsConfigurationChecks()
{
    // The command refers to a parameter that the file does not have: only a checked load refuses it.
    const QByteArray content =
        document("3.0", kConfiguration + R"(, "commands": [{)" + kFastboot + R"(, "args": "${ghost}"}])");
    QVERIFY(read(m_dir.path(), content, false));
    RecordedLog log;
    QVERIFY(!read(m_dir.path(), content, true));
    const QStringList errors = log.lines().filter(QRegExp(QStringLiteral("^ERROR\\|")));
    QCOMPARE(errors.size(), 1);
    JsonObject json;
    json.loadMemory(content);
    JsonObject flash;
    json.getObject(QStringLiteral("flash"), flash);
    QCOMPARE(contextAfter(log.lines(), errors.first()), jsonContextLines(flash.toJson()));
}

void tst_JsonFlashFileReader::userToolsAreCommandKinds()
{
    const QByteArray content = document("3.0", kConfiguration + R"(, "commands": [
        {"tool": "flasher", "args": "--all", "timeout": 1000, "retry": 1, "description": "User tool"}])");
    ExternalToolManager& tools = ExternalToolManager::instance();
    tools.setTool(QStringLiteral("flasher"), QStringLiteral("/usr/bin/true"));
    tools.registerTools();
    const QSharedPointer<FlashFileManager> flashFile = read(m_dir.path(), content);
    QVERIFY(flashFile);
    QCOMPARE(flashFile->getCommandList()[0]->getToolId(), QStringLiteral("flasher"));

    tools.removeTool(QStringLiteral("flasher"));
    RecordedLog log;
    QVERIFY(!read(m_dir.path(), content));
    QCOMPARE(log.lines().filter(QRegExp(QStringLiteral("^ERROR\\|"))),
             (QStringList{QStringLiteral("ERROR|Cannot create command, unknown tool 'flasher'"),
                          QStringLiteral("ERROR|Tool flasher not found or invalid tool configuration")}));
}

QTEST_GUILESS_MAIN(tst_JsonFlashFileReader)
#include "tst_JsonFlashFileReader.moc"
