#include "LoaderTestKit.h"

#include "core/Utils.h"
#include "loader/FlashFileManager.h"
#include "model/FlashCommand.h"
#include "model/FlashParameter.h"
#include "model/FlashParameterValue.h"
#include "tools/BuiltInKinds.h"

#include <QDomDocument>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>

// The XML reader of version "1.0": files, FRU configurations, the firmware-download prefix,
// commands with their defaults and rewritten references, and every refusal with its element.
class tst_XmlFlashFileReader : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void blankphoneExample();
    void commandKeys_data();
    void commandKeys();
    void references_data();
    void references();
    void referenceInAnyCaseResolves();
    void refusals_data();
    void refusals();
    void fileAndConfigurationRules();
    void prefixOnlyForFirmwareTypes();

private:
    QSharedPointer<FlashFileManager> read(const QByteArray& body, const QByteArray& type = "fastboot",
                                          bool check = false);

    QTemporaryDir m_dir;
};

namespace {

JsonObject commandJson(const QSharedPointer<FlashFileManager>& flashFile, std::size_t index)
{
    return flashFile->getCommandList().at(index)->toJson();
}

QString text(const JsonObject& json, const char* key)
{
    QString value;
    json.getString(QLatin1String(key), value);
    return value;
}

quint64 number(const JsonObject& json, const char* key)
{
    unsigned long long value = 0;
    json.getUInt64(QLatin1String(key), value);
    return value;
}

// The arguments of a command's "args" text, as its kind reads them back.
QStringList arguments(const JsonObject& json)
{
    return Utils::splitArguments(text(json, "args"));
}

bool flag(const JsonObject& json, const char* key)
{
    bool value = false;
    json.getBoolean(QLatin1String(key), value);
    return value;
}

} // namespace

void tst_XmlFlashFileReader::initTestCase()
{
    QVERIFY(m_dir.isValid());
    for (const char* name : {"ifwi.bin", "fw_dnx.bin", "boot.img", "other.img"})
        QVERIFY(writeTextFile(m_dir.filePath(QLatin1String(name)), name));
    BuiltInKinds::registerAll();
}

QSharedPointer<FlashFileManager> tst_XmlFlashFileReader::read(const QByteArray& body, const QByteArray& type,
                                                              bool check)
{
    const QByteArray content = "<flashfile version=\"1.0\"><id>" + type + "</id>" + body + "</flashfile>";
    return FlashFileManager::loadFromMemory(m_dir.path(), content, check);
}

void tst_XmlFlashFileReader::blankphoneExample()
{
    RecordedLog log;
    const QString path = QFINDTESTDATA("data/blankphone.xml");
    const QString folder = QFileInfo(path).absolutePath();
    const QSharedPointer<FlashFileManager> flashFile = FlashFileManager::loadFromFile(path, true);
    QVERIFY2(flashFile, qPrintable(log.lines().join(QLatin1Char('\n'))));
    QVERIFY(log.lines().contains(QStringLiteral("DEBUG|XML Flash file parsed (") + folder + QLatin1Char(')')));
    QCOMPARE(flashFile->getPath(), path);

    // Files, grouped ones included, resolved against the folder.
    QCOMPARE(flashFile->getParameter(QStringLiteral("ifwi_file"))->getValue()->getValue(),
             QDir::toNativeSeparators(folder + QStringLiteral("/images/ifwi.bin")));
    QVERIFY(flashFile->getParameter(QStringLiteral("kboot_file")));
    QVERIFY(flashFile->getParameter(QStringLiteral("os_dnx_file")));

    // One configuration per FRU value, the first one the default.
    const auto alpha = flashFile->getConfiguration(QStringLiteral("FRU_A1"));
    const auto beta = flashFile->getConfiguration(QStringLiteral("FRU_B2"));
    QVERIFY(alpha && beta);
    QCOMPARE(flashFile->getConfigurationsList().size(), std::size_t(2));
    QCOMPARE(flashFile->getDefaultConfiguration(), alpha);
    QCOMPARE(alpha->getName(), QStringLiteral("Alpha board"));
    QCOMPARE(alpha->getDescription(), QStringLiteral("First board"));
    QCOMPARE(alpha->getBrief(), QStringLiteral("First board"));
    QCOMPARE(alpha->getStartState(), DeviceState::DnxFirmware);
    QCOMPARE(beta->getParameterValueId(QStringLiteral("fru_value")), QStringLiteral("FRU_B2"));
    const auto fru = flashFile->getParameter(QStringLiteral("fru_value"));
    QCOMPARE(fru->getName(), QStringLiteral("FRU"));
    QCOMPARE(fru->getValue(QStringLiteral("FRU_B2"))->getValue(), QStringLiteral("B2"));
    QCOMPARE(fru->getValue(QStringLiteral("FRU_B2"))->getDescription(), QStringLiteral("Second board"));

    // Download, wait for the Provisioning OS, then the file's commands, in every configuration.
    const auto& commands = flashFile->getCommandList();
    QCOMPARE(commands.size(), std::size_t(5));
    QCOMPARE(alpha->getCommands(), commands);
    QCOMPARE(beta->getCommands(), commands);
    const JsonObject download = commandJson(flashFile, 0);
    QCOMPARE(text(download, "tool"), QStringLiteral("dravikDownloader"));
    QCOMPARE(text(download, "ifwi"), QStringLiteral("${ifwi_file}"));
    QCOMPARE(text(download, "ifwi_dnx"), QStringLiteral("${fw_dnx_file}"));
    QCOMPARE(text(download, "os"), QStringLiteral("${kboot_file}"));
    QCOMPARE(text(download, "os_dnx"), QStringLiteral("${os_dnx_file}"));
    QCOMPARE(text(download, "gpflag"), QStringLiteral("0x80000045"));
    const JsonObject wait = commandJson(flashFile, 1);
    QCOMPARE(text(wait, "tool"), QStringLiteral("waitForDevice"));
    QCOMPARE(text(wait, "state"), QStringLiteral("pos"));
    QCOMPARE(number(wait, "timeout"), quint64(180000));
    QCOMPARE(text(wait, "description"), QStringLiteral("Rebooting in Provisionning OS ..."));

    const JsonObject flashIfwi = commandJson(flashFile, 2);
    QCOMPARE(arguments(flashIfwi), Utils::splitArguments(QStringLiteral("flash ifwi ${ifwi_file}.bin")));
    QCOMPARE(number(flashIfwi, "timeout"), quint64(60000));
    QCOMPARE(number(flashIfwi, "retry"), quint64(3));
    QCOMPARE(flag(flashIfwi, "mandatory"), false);
    QCOMPARE(text(flashIfwi, "description"), QStringLiteral("Flash the IFWI"));
    const JsonObject setFru = commandJson(flashFile, 3);
    QCOMPARE(arguments(setFru), Utils::splitArguments(QStringLiteral("oem fru set ${fru_value}")));
    QCOMPARE(text(setFru, "description"), QStringLiteral("fastboot oem fru set ${fru_value}"));
    QCOMPARE(number(setFru, "timeout"), quint64(200000));
    QCOMPARE(number(setFru, "retry"), quint64(1));
    QCOMPARE(flag(setFru, "mandatory"), true);
    QCOMPARE(number(commandJson(flashFile, 4), "duration"), quint64(500));

    QCOMPARE(flashFile->getBuildProperties(),
             (QMap<QString, QVariant>{{QStringLiteral("ro.build.id"), QStringLiteral("eng.42")}}));
    QVERIFY(flashFile->getGroups().empty());
    QVERIFY(flashFile->getPlatforms().empty());
}

void tst_XmlFlashFileReader::commandKeys_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("value"); // invalid: the key is absent

    QTest::newRow("sleep takes its timeout as duration")
        << QByteArray("<string>sleep</string>") << "duration" << QVariant(200000);
    QTest::newRow("sleep has no timeout") << QByteArray("<string>sleep</string>") << "timeout" << QVariant();
    QTest::newRow("mandatory 2 is true")
        << QByteArray("<string>fastboot x</string><mandatory>2</mandatory>") << "mandatory" << QVariant(true);
    QTest::newRow("mandatory 0 is false")
        << QByteArray("<string>fastboot x</string><mandatory> 0 </mandatory>") << "mandatory" << QVariant(false);
    QTest::newRow("popup is of type info") << QByteArray("<string>popup Unplug</string>") << "type"
                                           << QVariant(QStringLiteral("info"));
    // Kinds refuse an empty description: a pop-up shows its text, other tools their command line.
    QTest::newRow("popup without description") << QByteArray("<string>popup Unplug  now </string>")
                                               << "description" << QVariant(QStringLiteral("Unplug  now"));
    QTest::newRow("fastboot without description")
        << QByteArray("<string>fastboot  x $boot_file</string>") << "description"
        << QVariant(QStringLiteral("fastboot x ${boot_file}"));
    QTest::newRow("fastboot with an empty description")
        << QByteArray("<string>fastboot x</string><description/>") << "description"
        << QVariant(QStringLiteral("fastboot x"));
    QTest::newRow("large timeout")
        << QByteArray("<string>fastboot x</string><timeout>18446744073709551615</timeout>") << "timeout"
        << QVariant(quint64(18446744073709551615ULL));
}

void tst_XmlFlashFileReader::commandKeys()
{
    QFETCH(QByteArray, command);
    QFETCH(QString, key);
    QFETCH(QVariant, value);

    const QSharedPointer<FlashFileManager> flashFile = read("<command>" + command + "</command>");
    QVERIFY(flashFile);
    const JsonObject json = commandJson(flashFile, 0);
    QVariant found;
    if (!value.isValid()) {
        QCOMPARE(json.getValue(key, found), JsonObject::Absent);
        return;
    }
    QCOMPARE(json.getValue(key, found), JsonObject::Found);
    if (value.userType() == QMetaType::Bool) {
        bool read = !value.toBool();
        QCOMPARE(json.getBoolean(key, read), JsonObject::Found);
        QCOMPARE(read, value.toBool());
    } else {
        QCOMPARE(found.toString(), value.toString());
    }
}

void tst_XmlFlashFileReader::references_data()
{
    QTest::addColumn<QString>("string");
    QTest::addColumn<QString>("args");

    QTest::newRow("plain") << "fastboot flash boot $boot_file" << "flash boot ${boot_file}";
    // Parameter ids are in lower case (TYPE "BOOT" gives "boot_file"): so are the references.
    QTest::newRow("capitals") << "fastboot flash $BOOT_FILE" << "flash ${boot_file}";
    QTest::newRow("mixed case") << "fastboot flash $BOOT_file" << "flash ${boot_file}";
    QTest::newRow("fru value in capitals") << "fastboot oem fru $FRU_VALUE" << "oem fru ${fru_value}";
    QTest::newRow("braced stays") << "fastboot flash ${boot_file}" << "flash ${boot_file}";
    QTest::newRow("braced capitals") << "fastboot flash ${Boot_File}.img" << "flash ${boot_file}.img";
    QTest::newRow("braced other name stays") << "fastboot flash ${flashDir}/a.img" << "flash ${flashDir}/a.img";
    QTest::newRow("other word stays") << "fastboot $other $filer" << "$other $filer";
    QTest::newRow("suffix stays outside") << "fastboot flash $ifwi_file.bin" << "flash ${ifwi_file}.bin";
    QTest::newRow("fru value") << "fastboot oem fru $fru_value" << "oem fru ${fru_value}";
    QTest::newRow("two joined by a comma") << "fastboot x $a_file,$b_file" << "x ${a_file},${b_file}";
    QTest::newRow("two joined by a slash") << "fastboot x $a_file/$b_file" << "x ${a_file}/${b_file}";
    QTest::newRow("brace later in the run") << "fastboot x $a_file}" << "x $a_file}";
    QTest::newRow("tool only") << "fastboot" << "";
    QTest::newRow("blanks around") << "  fastboot   reboot  " << "reboot  ";
    QTest::newRow("tool never rewritten") << "$x_file y" << QString();
}

void tst_XmlFlashFileReader::references()
{
    QFETCH(QString, string);
    QFETCH(QString, args);

    RecordedLog log;
    const QSharedPointer<FlashFileManager> flashFile =
        read("<command><string>" + string.toUtf8() + "</string></command>");
    if (args.isNull()) {
        // The tool "$x_file" stays as written and names no kind.
        QVERIFY(!flashFile);
        QVERIFY(log.lines().contains(QStringLiteral("ERROR|Tool $x_file not found or invalid tool configuration")));
        return;
    }
    QVERIFY(flashFile);
    QCOMPARE(arguments(commandJson(flashFile, 0)), Utils::splitArguments(args));
}

void tst_XmlFlashFileReader::referenceInAnyCaseResolves()
{
    // The checked load resolves every reference of every configuration.
    const QString path = m_dir.filePath(QStringLiteral("mixed-case.xml"));
    QVERIFY(writeTextFile(path, "<flashfile version=\"1.0\"><id>fastboot</id>"
                                "<file TYPE=\"BOOT\"><name>boot.img</name></file>"
                                "<command><string>fastboot flash boot $BOOT_file</string></command>"
                                "</flashfile>"));
    RecordedLog log;
    const QSharedPointer<FlashFileManager> flashFile = FlashFileManager::loadFromFile(path, true);
    QVERIFY2(flashFile, qPrintable(log.lines().join(QLatin1Char('\n'))));
    QVERIFY(flashFile->getCommandList().at(0)->hasParameter(QStringLiteral("boot_file")));
    QCOMPARE(flashFile->getDefaultConfiguration()->getError(), QString());
}

void tst_XmlFlashFileReader::refusals_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("context"); // tag of the element shown: the first one of that name

    const auto row = [](const char* name, const QByteArray& body, const QString& message, const QString& context,
                        const QByteArray& type = "fastboot") {
        QTest::newRow(name) << "<flashfile><id>" + type + "</id>" + body + "</flashfile>" << message << context;
    };
    QTest::newRow("no id") << QByteArray("<flashfile><file TYPE=\"A\"/></flashfile>") << "No 'id' tag"
                           << "flashfile";
    row("two ids", "<id>ota</id>", "Multiple 'id' tags detected", "flashfile");
    row("id in other case", "", "Invalid 'id' value", "flashfile", "Fastboot");
    row("file without TYPE", "<file><name>boot.img</name></file>", "No value for TYPE attribute of a file tag", "file");
    row("file with two names", "<file TYPE=\"BOOT\"><name>boot.img</name><name>x</name></file>",
        "Multiple name tags detected in file tag", "file");
    row("file without name", "<file TYPE=\"BOOT\"/>", "Empty name tag detected in file tag", "file");
    row("missing file", "<file TYPE=\"IFWI\"><name>absent.bin</name></file>",
        "Invalid parameter ifwi_file : @FOLDER@/absent.bin not found", "file");
    row("two fru_configs", "<fru_configs/><fru_configs/>", "Multiple fru_configs tags detected", "fru_configs");
    const QByteArray description = "<description>D</description>";
    row("fru_config with two names", "<fru_configs><fru_config><name>a</name><name>b</name></fru_config></fru_configs>",
        "Multiple name tags detected in fru_config tag", "fru_config");
    row("fru_config without name", "<fru_configs><fru_config><value>1</value></fru_config></fru_configs>",
        "Empty name tags detected in fru_config tag", "fru_config");
    row("fru_config with two values",
        "<fru_configs><fru_config><name>a</name><value>1</value><value>2</value></fru_config></fru_configs>",
        "Multiple value tags detected in fru_config tag", "fru_config");
    row("fru_config without value", "<fru_configs><fru_config><name>a</name></fru_config></fru_configs>",
        "Empty value tags detected in fru_config tag", "fru_config");
    row("fru_config with two descriptions",
        "<fru_configs><fru_config><name>a</name><value>1</value>" + description + description
            + "</fru_config></fru_configs>",
        "Multiple description tags detected in fru_config tag", "fru_config");
    row("fru_config without description",
        "<fru_configs><fru_config><name>a</name><value>1</value><description/></fru_config></fru_configs>",
        "Empty description tags detected in fru_config tag", "fru_config");
    row("blankphone without IFWI", "<file TYPE=\"FW_DNX\"><name>fw_dnx.bin</name></file>",
        "Missing IFWI file in blankphone/system flash file", "flashfile", "blankphone");
    row("system without FW_DNX", "<file TYPE=\"IFWI\"><name>ifwi.bin</name></file>",
        "Missing FW_DNX file in blankphone/system flash file", "flashfile", "system");
    const QByteArray firmware = "<file TYPE=\"IFWI\"><name>ifwi.bin</name></file>"
                                "<file TYPE=\"FW_DNX\"><name>fw_dnx.bin</name></file>";
    row("two gpflags", firmware + "<gpflag/><gpflag/>", "Multiple gpflag tags detected", "flashfile", "system");
    row("gpflag with two values", firmware + "<gpflag><value>1</value><value>2</value></gpflag>",
        "Multiple value tags detected in gpflag tag", "flashfile", "system");
    row("command without string", "<command><timeout>1</timeout></command>", "No `string` tags in command tag",
        "command");
    row("command with two strings", "<command><string>a</string><string>b</string></command>",
        "Multiple `string` tags detected in command tag", "command");
    // The DOM drops text made of blanks only: such a string reads as empty.
    row("blank command", "<command><string>   </string></command>", "Invalid command ''", "command");
    row("two timeouts", "<command><string>fastboot</string><timeout>1</timeout><timeout>1</timeout></command>",
        "Multiple timeout tags detected in command tag", "command");
    row("negative timeout", "<command><string>fastboot</string><timeout>-1</timeout></command>",
        "Invalid timeout value (not an unsigned number)", "command");
    row("fractional timeout", "<command><string>fastboot</string><timeout>1.5</timeout></command>",
        "Invalid timeout value (not an unsigned number)", "command");
    row("two retries", "<command><string>fastboot</string><retry>1</retry><retry>1</retry></command>",
        "Multiple retry tags detected in command tag", "command");
    row("retry no number", "<command><string>fastboot</string><retry>many</retry></command>",
        "Invalid retry value (not an unsigned number)", "command");
    row("two mandatory", "<command><string>fastboot</string><mandatory>1</mandatory><mandatory>1</mandatory></command>",
        "Multiple mandatory tags detected in command tag", "command");
    row("mandatory no number", "<command><string>fastboot</string><mandatory>yes</mandatory></command>",
        "Invalid mandatory value (0 or 1 expected)", "command");
    row("two descriptions", "<command><string>fastboot</string>" + description + description + "</command>",
        "Multiple description tags detected in command tag", "command");
    row("unknown tool", "<command><string>nosuch --x</string></command>",
        "Tool nosuch not found or invalid tool configuration", "command");
}

void tst_XmlFlashFileReader::refusals()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    QFETCH(QString, context);

    RecordedLog log;
    QVERIFY(!FlashFileManager::loadFromMemory(m_dir.path(), content, false));
    message.replace(QStringLiteral("@FOLDER@"), QDir::toNativeSeparators(m_dir.path()));
    const QString line = QStringLiteral("ERROR|") + message;
    QCOMPARE(log.lines().filter(QRegExp(QStringLiteral("^ERROR\\|"))).last(), line);

    QDomDocument document;
    QVERIFY(document.setContent(content));
    QString saved;
    QTextStream stream(&saved);
    document.elementsByTagName(context).at(0).save(stream, 4);
    stream.flush();
    QStringList expected{QStringLiteral("DEBUG|In context:")};
    for (const QString& contextLine : saved.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        expected << QStringLiteral("DEBUG|") + contextLine;
    QCOMPARE(contextAfter(log.lines(), line), expected);
}

void tst_XmlFlashFileReader::fileAndConfigurationRules()
{
    // A top-level file wins over a grouped one of the same type, wherever it stands; TYPE is
    // lower-cased; elements elsewhere are ignored.
    QSharedPointer<FlashFileManager> flashFile = read(
        "<code_group><file TYPE=\"boot\"><name>other.img</name></file></code_group>"
        "<file TYPE=\"BOOT\"><name>boot.img</name></file>"
        "<file TYPE=\"Boot\"><name>absent-but-dropped.img</name></file>"
        "<nested><file TYPE=\"GHOST\"><name>absent.img</name></file></nested>"
        "<fru_configs>"
        "<fru_config><name>One</name><value>1</value><description>First</description></fru_config>"
        "<fru_config><name>Again</name><value>1</value><description>Second</description></fru_config>"
        "</fru_configs>");
    QVERIFY(!flashFile);

    flashFile = read("<code_group><file TYPE=\"boot\"><name>other.img</name></file></code_group>"
                     "<file TYPE=\"BOOT\"><name>boot.img</name></file>"
                     "<nested><file TYPE=\"GHOST\"><name>absent.img</name></file></nested>"
                     "<fru_configs>"
                     "<fru_config><name>One</name><value>1</value><description>First</description></fru_config>"
                     "<fru_config><name>Again</name><value>1</value><description>Second</description></fru_config>"
                     "</fru_configs>");
    QVERIFY(flashFile);
    QCOMPARE(flashFile->getParameter(QStringLiteral("boot_file"))->getName(), QStringLiteral("boot.img"));
    QVERIFY(!flashFile->getParameter(QStringLiteral("ghost_file")));
    QCOMPARE(flashFile->getConfigurationsList().size(), std::size_t(1));
    QCOMPARE(flashFile->getConfiguration(QStringLiteral("FRU_1"))->getName(), QStringLiteral("One"));
    QCOMPARE(flashFile->getParameter(QStringLiteral("fru_value"))->getValue(QStringLiteral("FRU_1"))->getDescription(),
             QStringLiteral("First"));

    // No "fru_config" at all: no configuration, no default, commands still read.
    flashFile = read("<fru_configs/><command><string>fastboot reboot</string></command>");
    QVERIFY(flashFile);
    QVERIFY(flashFile->getConfigurationsList().empty());
    QVERIFY(!flashFile->getDefaultConfiguration());
    QCOMPARE(flashFile->getCommandList().size(), std::size_t(1));
    QVERIFY(flashFile->getParameter(QStringLiteral("fru_value"))->getValues().empty());

    // Without "fru_configs": the configuration "Default" under the empty id.
    flashFile = read("<command><string>fastboot ${ghost}</string></command>", "adb");
    QVERIFY(flashFile);
    const auto standard = flashFile->getConfiguration(QString());
    QCOMPARE(flashFile->getDefaultConfiguration(), standard);
    QCOMPARE(standard->getName(), QStringLiteral("Default"));
    QCOMPARE(standard->getDescription(), QStringLiteral("Default configuration"));
    QCOMPARE(standard->getStartState(), DeviceState::MainOs);
    QCOMPARE(standard->getFlashFileManager(), flashFile);

    // The checked load refuses the unresolvable reference, with the root as context.
    RecordedLog log;
    QVERIFY(!read("<command><string>fastboot ${ghost}</string></command>", "adb", true));
    QCOMPARE(log.lines().filter(QRegExp(QStringLiteral("^ERROR\\|"))).size(), 1);
    QVERIFY(log.lines().contains(QStringLiteral("DEBUG|In context:")));
}

void tst_XmlFlashFileReader::prefixOnlyForFirmwareTypes()
{
    const QByteArray firmware = "<file TYPE=\"IFWI\"><name>ifwi.bin</name></file>"
                                "<file TYPE=\"FW_DNX\"><name>fw_dnx.bin</name></file>";
    RecordedLog log;
    QSharedPointer<FlashFileManager> flashFile = read(firmware, "system");
    QVERIFY(flashFile);
    QCOMPARE(flashFile->getCommandList().size(), std::size_t(1)); // no commands: the download alone
    const JsonObject download = commandJson(flashFile, 0);
    QCOMPARE(text(download, "gpflag"), QString());
    QCOMPARE(text(download, "os"), QString());
    QVERIFY(log.lines().contains(
        QStringLiteral("WARNING|Bootloader file not specified in flash file (\"kboot\" key)")));
    QVERIFY(log.lines().contains(
        QStringLiteral("WARNING|Bootloader DnX file not specified in flash file (\"os_dnx\" key)")));

    // fastboot_dnx starts in DnX OS and needs no firmware files; a gpflag is not even looked at.
    flashFile = read("<gpflag/><gpflag/><command><string>fastboot reboot</string></command>", "fastboot_dnx");
    QVERIFY(flashFile);
    QCOMPARE(flashFile->getDefaultConfiguration()->getStartState(), DeviceState::DnxOs);
    QCOMPARE(flashFile->getCommandList().size(), std::size_t(1));
}

QTEST_GUILESS_MAIN(tst_XmlFlashFileReader)
#include "tst_XmlFlashFileReader.moc"
