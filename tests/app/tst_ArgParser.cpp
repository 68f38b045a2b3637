#include "app/ArgParser.h"
#include "app/Quillon.h"
#include "core/FMConst.h"
#include "core/MessageHandler.h"
#include "tests/core/RecordedLog.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

#include <vector>

namespace {

// Every field of the record, for comparing the parsed result with a row's expectations.
QVariantMap fieldsOf(const ArgParser::Options& options)
{
    QVariantMap groups;
    for (auto it = options.groupsState.cbegin(); it != options.groupsState.cend(); ++it)
        groups.insert(it.key(), it.value());
    QVariantMap parameters;
    for (auto it = options.parameterValues.cbegin(); it != options.parameterValues.cend(); ++it)
        parameters.insert(it.key(), it.value());
    return {
        {"flashFile", options.flashFile},
        {"flashFileName", options.flashFileName},
        {"configuration", options.configuration},
        {"groupsState", groups},
        {"parameterValues", parameters},
        {"vid", int(options.vid)},
        {"pid", int(options.pid)},
        {"osSerialNumber", options.osSerialNumber},
        {"socSerialNumber", options.socSerialNumber},
        {"reboot", options.reboot},
        {"fruValue", options.fruValue},
        {"timeoutMinutes", options.timeoutMinutes},
        {"deviceDetectionTimeout", qulonglong(options.deviceDetectionTimeout)},
        {"skipFlash", options.skipFlash},
        {"alwaysUnzip", options.alwaysUnzip},
        {"cleanEmmc", options.cleanEmmc},
        {"debugLog", options.debugLog},
        {"deviceMgrLogLevel", options.deviceMgrLogLevel},
        {"logLevel", int(MessageHandler::instance()->getLogLevel())},
    };
}

} // namespace

class tst_ArgParser : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void outcome_data();
    void outcome();
    void fields_data();
    void fields();
    void flashFileNameIsClearedUnlessGiven();
    void switchesOfTheFlashingSide();
    void toolPathsAreRegistered();
    void isValid_data();
    void isValid();

private:
    // Parses `arguments` (the program name is added), placeholders replaced: %exe an executable
    // file, %file an existing plain file, %missing a path where nothing exists, %fifo a FIFO and
    // %folder a folder, both named like flash files.
    int parse(const QStringList& arguments, ArgParser::Options& options);

    QTemporaryDir m_dir;
};

void tst_ArgParser::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QFile executable(m_dir.filePath(QStringLiteral("tool")));
    QVERIFY(executable.open(QIODevice::WriteOnly));
    executable.write("#!/bin/sh\nexit 0\n");
    executable.close();
    QVERIFY(executable.setPermissions(executable.permissions() | QFileDevice::ExeUser));
    QFile plain(m_dir.filePath(QStringLiteral("plain.bin")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    // Named like a flash file, but neither a flash file nor a hardware list.
    QFile notFlash(m_dir.filePath(QStringLiteral("settings.json")));
    QVERIFY(notFlash.open(QIODevice::WriteOnly));
    notFlash.write("{\"volume\": 3}\n");
    QVERIFY(::mkfifo(QFile::encodeName(m_dir.filePath(QStringLiteral("pipe.json"))).constData(), 0600) == 0);
    QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("folder.zip")));
}

void tst_ArgParser::init()
{
    MessageHandler::instance()->setLogLevel(INFO);
    FMConst::resetToDefaults();
}

int tst_ArgParser::parse(const QStringList& arguments, ArgParser::Options& options)
{
    std::vector<QByteArray> texts{QByteArray("quillonlite")};
    for (QString argument : arguments) {
        argument.replace(QStringLiteral("%exe"), m_dir.filePath(QStringLiteral("tool")));
        argument.replace(QStringLiteral("%file"), m_dir.filePath(QStringLiteral("plain.bin")));
        argument.replace(QStringLiteral("%json"), m_dir.filePath(QStringLiteral("settings.json")));
        argument.replace(QStringLiteral("%missing"), m_dir.filePath(QStringLiteral("missing")));
        argument.replace(QStringLiteral("%fifo"), m_dir.filePath(QStringLiteral("pipe.json")));
        argument.replace(QStringLiteral("%folder"), m_dir.filePath(QStringLiteral("folder.zip")));
        texts.push_back(argument.toLocal8Bit());
    }
    std::vector<char*> argv;
    for (QByteArray& text : texts)
        argv.push_back(text.data());
    argv.push_back(nullptr);
    return ArgParser::generateTask(int(texts.size()), argv.data(), options);
}

void tst_ArgParser::outcome_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("code");
    QTest::addColumn<QStringList>("log"); // every line, "LEVEL|text"; USAGE stands for the usage text

    const QString usage = QStringLiteral("INFO|USAGE");
    const QString noFile = QStringLiteral("INFO|Please specify a .zip, .tgz, .xml or .json file (\"-f\" option) \n\t to start flashing");
    const QString levelRange = QStringLiteral("ERROR|Input a number between [0, 5] for log level\nFor more infomation, see output of --help");
    const QString deviceLevelRange = QStringLiteral("ERROR|Input a number between [0, 5] for device manager log level\nFor more infomation, see output of --help");

    QTest::newRow("no flash file") << QStringList{"--cli"} << 1 << QStringList{usage, noFile};
    QTest::newRow("-h") << QStringList{"-h", "-f", "x.json"} << 1 << QStringList{usage};
    QTest::newRow("--help after an option") << QStringList{"-c", "conf", "--help"} << 1 << QStringList{usage};
    QTest::newRow("flash file") << QStringList{"--cli", "-f", "x.json"} << 0 << QStringList();
    QTest::newRow("archive, any case") << QStringList{"--flash-file=dir/X.TAR.GZ"} << 0 << QStringList();
    QTest::newRow("unknown flash file type") << QStringList{"-f", "%file"} << 11
                                             << QStringList{"ERROR|Unknown flash file type: " + m_dir.filePath("plain.bin"),
                                                            "ERROR|Invalid option"};
    QTest::newRow("existing file judged by content") << QStringList{"-f", "%json"} << 11
                                                     << QStringList{"ERROR|Unknown flash file type: " + m_dir.filePath("settings.json"),
                                                                    "ERROR|Invalid option"};
    QTest::newRow("-z takes any name") << QStringList{"-z", "%file"} << 0 << QStringList();
    QTest::newRow("-f without its value") << QStringList{"-c", "conf", "-f"} << 12
                                          << QStringList{"ERROR|Missing argument for \"-f\""};
    QTest::newRow("long option without its value") << QStringList{"-f", "x.xml", "--configuration"} << 12
                                                   << QStringList{"ERROR|Missing argument for \"--configuration\""};
    QTest::newRow("vid not hexadecimal") << QStringList{"-f", "x.xml", "--vid", "xyz", "--pid", "zz"} << 11
                                         << QStringList{"ERROR|Invalid Vendor ID (xyz)"};
    QTest::newRow("pid not hexadecimal") << QStringList{"--pid", "12345"} << 11
                                         << QStringList{"ERROR|Invalid Product ID (12345)"};
    QTest::newRow("device manager level too high") << QStringList{"--device-mgr-log-level", "6"} << 11
                                                   << QStringList{deviceLevelRange,
                                                                  "ERROR|Invalid option for device manager log level"};
    QTest::newRow("device manager level not a number") << QStringList{"--device-mgr-log-level=abc"} << 11
                                                       << QStringList{deviceLevelRange,
                                                                      "ERROR|Invalid option for device manager log level"};
    QTest::newRow("negative detection timeout") << QStringList{"--device-detection-timeout", "-5"} << 18
                                                << QStringList{"ERROR|Invalid value for --device-detection-timeout"};
    QTest::newRow("empty parameter value") << QStringList{"--set-parameter-value="} << 12
                                           << QStringList{"ERROR|Missing value for --set-parameter-value"};
    QTest::newRow("parameter without id") << QStringList{"--set-parameter-value", "=x"} << 18
                                          << QStringList{"ERROR|Invalid value format for --set-parameter-value"};
    QTest::newRow("parameter without value") << QStringList{"--set-parameter-value", "a="} << 18
                                             << QStringList{"ERROR|Invalid value format for --set-parameter-value"};
    QTest::newRow("parameter after fru") << QStringList{"--fru-value", "v", "--set-parameter-value", "a=b"} << 11
                                         << QStringList{"ERROR|--set-parameter-value and --fru-value are mutually exclusive"};
    QTest::newRow("fru after parameter") << QStringList{"--set-parameter-value", "a=b", "--fru-value", "v"} << 11
                                         << QStringList{"ERROR|--fru-value and --set-parameter-value are mutually exclusive"};
    QTest::newRow("adb missing") << QStringList{"--adb", "%missing"} << 11
                                 << QStringList{"ERROR|Invalid adb file " + m_dir.filePath("missing")
                                                    + ": Does it exist or have executable permission?",
                                                "ERROR|Invalid adb file"};
    QTest::newRow("adb not executable") << QStringList{"--adb", "%file"} << 11
                                        << QStringList{"ERROR|Invalid adb file " + m_dir.filePath("plain.bin")
                                                           + ": Does it exist or have executable permission?",
                                                       "ERROR|Invalid adb file"};
    QTest::newRow("fastboot missing") << QStringList{"--fastboot", "%missing"} << 11
                                      << QStringList{"ERROR|Invalid fastboot file: " + m_dir.filePath("missing")};
    QTest::newRow("tools usable") << QStringList{"--adb", "%exe", "--fastboot", "%exe", "-f", "a.zip"} << 0
                                  << QStringList();
    QTest::newRow("log level not a number") << QStringList{"-l", "abc"} << 11
                                            << QStringList{levelRange, "ERROR|Invalid option for log level"};
    QTest::newRow("log level clamped") << QStringList{"-l", "9", "-f", "a.tgz"} << 0
                                       << QStringList{"WARNING|Log level must in [0, 5], convert 9 to 5"};
    QTest::newRow("timeout not an integer") << QStringList{"--timeout", "1.5"} << 18
                                            << QStringList{"ERROR|Invalid value for --timeout"};
    QTest::newRow("timeout beyond an int") << QStringList{"--timeout", "2147483648"} << 18
                                           << QStringList{"ERROR|Invalid value for --timeout"};
    QTest::newRow("clean emmc without soc serial")
        << QStringList{"--clean-emmc", "--fw-dnx", "%file", "--fw-image", "%file"} << 13
        << QStringList{"ERROR|Please specify a soc serial number (using --soc-sn) to use the clean emmc option"};
    const QString firmwareMissing = QStringLiteral("ERROR|Please specify the fw DnX and the corresponding image "
                                                   "(using --fw-dnx and --fw-image) to use the clean emmc option");
    QTest::newRow("clean emmc without firmware") << QStringList{"--clean-emmc", "--soc-sn", "S"} << 13
                                                 << QStringList{firmwareMissing};
    QTest::newRow("clean emmc with a missing firmware")
        << QStringList{"--clean-emmc", "--dnx-sn", "S", "--fw-dnx", "%missing", "--fw-image", "%file"} << 13
        << QStringList{firmwareMissing};
    QTest::newRow("clean emmc") << QStringList{"--clean-emmc", "--soc-sn", "S", "--fw-dnx", "%file", "--fw-image", "%file"}
                                << 0 << QStringList();
    QTest::newRow("option without handler") << QStringList{"--board", "x", "-f", "a.xml"} << 0
                                            << QStringList{"WARNING|Invalid option: x"};
    // An option the program does not know ends the parsing: the run must not go on without it.
    QTest::newRow("unknown option") << QStringList{"--unknown", "-f", "a.xml"} << 11
                                    << QStringList{"ERROR|Invalid option: --unknown"};
    QTest::newRow("mistyped option and its value") << QStringList{"-f", "a.xml", "--os-sm", "B2", "-l", "5"} << 11
                                                   << QStringList{"ERROR|Invalid option: --os-sm"};
    QTest::newRow("ambiguous abbreviation") << QStringList{"-f", "a.xml", "--fw", "x"} << 11
                                            << QStringList{"ERROR|Invalid option: --fw"};
    QTest::newRow("value attached to a switch") << QStringList{"--cli=1", "-f", "a.xml"} << 11
                                                << QStringList{"ERROR|Invalid option: --cli=1"};
    QTest::newRow("value attached to a switch with a code") << QStringList{"--skip-flash=yes", "-f", "a.xml"} << 11
                                                            << QStringList{"ERROR|Invalid option: --skip-flash=yes"};
    QTest::newRow("unknown short option") << QStringList{"-f", "a.xml", "-q"} << 11
                                          << QStringList{"ERROR|Invalid option: -q"};
    QTest::newRow("unknown letter in a group") << QStringList{"--cli", "-qh", "-f", "a.xml"} << 11
                                               << QStringList{"ERROR|Invalid option: -q"};
    QTest::newRow("reboot leaves a negative value") << QStringList{"--reboot", "-1", "-f", "a.xml"} << 11
                                                    << QStringList{"ERROR|Invalid option: -1"};
    // A missing value takes the next argument: the next option is never a value.
    QTest::newRow("value missing before the next option") << QStringList{"--os-sn", "--timeout", "5", "-f", "a.xml"}
                                                          << 12 << QStringList{"ERROR|Missing argument for \"--os-sn\""};
    QTest::newRow("flash file missing before the next option") << QStringList{"-f", "--cli"} << 12
                                                               << QStringList{"ERROR|Missing argument for \"-f\""};
    QTest::newRow("negative value") << QStringList{"--timeout", "-5", "-f", "a.xml"} << 0 << QStringList();
    // Reading a FIFO blocks, a folder is no flash file: both refused before any read.
    const QString notRegular = QStringLiteral("ERROR|Flash file %1 is not a regular file");
    QTest::newRow("-f a FIFO") << QStringList{"-f", "%fifo"} << 14
                               << QStringList{notRegular.arg(m_dir.filePath("pipe.json")), "ERROR|Invalid flash file"};
    QTest::newRow("-f a folder") << QStringList{"-f", "%folder"} << 14
                                 << QStringList{notRegular.arg(m_dir.filePath("folder.zip")), "ERROR|Invalid flash file"};
    QTest::newRow("-z a FIFO") << QStringList{"-z", "%fifo"} << 14
                               << QStringList{notRegular.arg(m_dir.filePath("pipe.json")), "ERROR|Invalid flash file"};
}

void tst_ArgParser::outcome()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, code);
    QFETCH(QStringList, log);

    RecordedLog recorded;
    ArgParser::Options options;
    QCOMPARE(parse(arguments, options), code);
    QStringList lines = recorded.lines();
    lines.replaceInStrings(Quillon::help_message, QStringLiteral("USAGE"));
    QCOMPARE(lines, log);
}

void tst_ArgParser::fields_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QVariantMap>("expected"); // the fields a row is about

    QTest::newRow("defaults") << QStringList{"-f", "a.json"}
                              << QVariantMap{{"flashFile", "a.json"}, {"reboot", 1}, {"timeoutMinutes", 30},
                                             {"deviceDetectionTimeout", qulonglong(UINT64_MAX)}, {"vid", 0},
                                             {"pid", 0}, {"deviceMgrLogLevel", 3}, {"skipFlash", false},
                                             {"cleanEmmc", false}, {"groupsState", QVariantMap()},
                                             {"parameterValues", QVariantMap()}, {"logLevel", 3}};
    QTest::newRow("vendor and product") << QStringList{"--vid", "8087", "--pid", "0a5f"}
                                        << QVariantMap{{"vid", 0x8087}, {"pid", 0x0a5f}};
    QTest::newRow("parameter value keeps its =") << QStringList{"--set-parameter-value", "a=b=c"}
                                                 << QVariantMap{{"parameterValues", QVariantMap{{"a", "b=c"}}}};
    QTest::newRow("later parameter value wins")
        << QStringList{"--set-parameter-value", "a=1", "--set-parameter-value=b=2", "--set-parameter-value", "a=3"}
        << QVariantMap{{"parameterValues", QVariantMap{{"a", "3"}, {"b", "2"}}}};
    QTest::newRow("later group state wins")
        << QStringList{"--enable-group", "g", "--disable-group", "g", "--enable-group", "h"}
        << QVariantMap{{"groupsState", QVariantMap{{"g", false}, {"h", true}}}};
    QTest::newRow("reboot last") << QStringList{"--reboot"} << QVariantMap{{"reboot", 1}};
    QTest::newRow("reboot takes the next argument") << QStringList{"--reboot", "0", "-f", "a.xml"}
                                                    << QVariantMap{{"reboot", 0}, {"flashFile", "a.xml"}};
    QTest::newRow("reboot attached negative") << QStringList{"--reboot=-2"} << QVariantMap{{"reboot", 2}};
    QTest::newRow("reboot separate negative") << QStringList{"--reboot", "-1"} << QVariantMap{{"reboot", 1}};
    QTest::newRow("reboot not a number") << QStringList{"--reboot", "abc"} << QVariantMap{{"reboot", 0}};
    QTest::newRow("device manager level alone") << QStringList{"--device-mgr-log-level"}
                                                << QVariantMap{{"deviceMgrLogLevel", 5}};
    QTest::newRow("device manager level next") << QStringList{"--device-mgr-log-level", "2", "-f", "a.xml"}
                                               << QVariantMap{{"deviceMgrLogLevel", 2}, {"flashFile", "a.xml"}};
    QTest::newRow("device manager level attached") << QStringList{"--device-mgr-log-level=0"}
                                                   << QVariantMap{{"deviceMgrLogLevel", 0}};
    QTest::newRow("detection timeout") << QStringList{"--device-detection-timeout", "18446744073709551614"}
                                       << QVariantMap{{"deviceDetectionTimeout", qulonglong(18446744073709551614ULL)}};
    QTest::newRow("timeout past one timer arming") << QStringList{"--timeout", "35792"}
                                                   << QVariantMap{{"timeoutMinutes", 35792}};
    QTest::newRow("timeout off") << QStringList{"--timeout", "0"} << QVariantMap{{"timeoutMinutes", 0}};
    QTest::newRow("timeout negative") << QStringList{"--timeout=-3"} << QVariantMap{{"timeoutMinutes", -3}};
    QTest::newRow("archive names") << QStringList{"-x", "a/flash.json", "-c", "conf", "--fru-value", "F"}
                                   << QVariantMap{{"flashFileName", "a/flash.json"}, {"configuration", "conf"},
                                                  {"fruValue", "F"}};
    QTest::newRow("xml-filename") << QStringList{"--xml-filename", "f.xml"} << QVariantMap{{"flashFileName", "f.xml"}};
    QTest::newRow("serial numbers") << QStringList{"--soc-sn", "A", "--os-sn", "B", "--dnx-sn", "C"}
                                    << QVariantMap{{"socSerialNumber", "C"}, {"osSerialNumber", "B"}};
    QTest::newRow("switches") << QStringList{"--skip-flash", "--always-unzip", "--debug-log", "--cli"}
                              << QVariantMap{{"skipFlash", true}, {"alwaysUnzip", true}, {"debugLog", true}};
    QTest::newRow("clean emmc needs no flash file")
        << QStringList{"--clean-emmc", "--soc-sn", "S", "--fw-dnx", "%file", "--fw-image", "%file"}
        << QVariantMap{{"cleanEmmc", true}, {"flashFile", "none"}};
    QTest::newRow("log level hexadecimal") << QStringList{"-l", "0x4"} << QVariantMap{{"logLevel", 4}};
    QTest::newRow("log level attached") << QStringList{"-l2"} << QVariantMap{{"logLevel", 2}};
    QTest::newRow("long log level, last wins") << QStringList{"--log-level", "1", "-l", "5"}
                                               << QVariantMap{{"logLevel", 5}};
    QTest::newRow("failure keeps earlier effects") << QStringList{"-l", "4", "-f", "a.xml", "-l", "x", "-c", "c"}
                                                   << QVariantMap{{"logLevel", 4}, {"flashFile", "a.xml"},
                                                                  {"configuration", ""}};
}

void tst_ArgParser::fields()
{
    QFETCH(QStringList, arguments);
    QFETCH(QVariantMap, expected);

    ArgParser::Options options;
    parse(arguments, options);
    const QVariantMap actual = fieldsOf(options);
    for (auto it = expected.cbegin(); it != expected.cend(); ++it)
        QVERIFY2(actual.value(it.key()) == it.value(),
                 qPrintable(QStringLiteral("%1: %2").arg(it.key(), actual.value(it.key()).toString())));
}

void tst_ArgParser::flashFileNameIsClearedUnlessGiven()
{
    ArgParser::Options options;
    QCOMPARE(options.flashFileName, QStringLiteral("flash.xml"));
    QVERIFY(options.fruValue.isNull());
    parse({"-f", "a.zip"}, options);
    QVERIFY(options.flashFileName.isNull());
    QVERIFY(options.fruValue.isNull());
}

void tst_ArgParser::switchesOfTheFlashingSide()
{
    ArgParser::Options options;
    FMConst::ALWAYS_UNZIP_FLAG = false;
    QCOMPARE(parse({"-f", "a.zip"}, options), 0);
    QCOMPARE(FMConst::REMOVE_HISTORY_AGE, 0);
    QVERIFY(!FMConst::REMOVE_HISTORY_FLAG);
    QVERIFY(!FMConst::REMOVE_HISTORY_ASK);
    QVERIFY(FMConst::USE_DRAVIK_SOLO);
    QVERIFY(!FMConst::ALWAYS_UNZIP_FLAG);

    QCOMPARE(parse({"-f", "a.zip", "--always-unzip", "--dnx-sn", "S"}, options), 0);
    QVERIFY(!FMConst::USE_DRAVIK_SOLO);
    QVERIFY(FMConst::ALWAYS_UNZIP_FLAG);
    QVERIFY(FMConst::ALWAYS_UNZIP_FLAG_ARTIFACTORY);
}

void tst_ArgParser::toolPathsAreRegistered()
{
    ArgParser::Options options;
    QCOMPARE(parse({"--adb", "%exe", "--fastboot", "%exe", "-f", "a.zip"}, options), 0);
    QCOMPARE(FMConst::getTool(FMConst::ADB_TOOL_ID), m_dir.filePath(QStringLiteral("tool")));
    QCOMPARE(FMConst::getTool(FMConst::FASTBOOT_TOOL_ID), m_dir.filePath(QStringLiteral("tool")));
}

void tst_ArgParser::isValid_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QStringList>("log");

    QTest::newRow("no flash file") << QStringList() << true << QStringList();
    QTest::newRow("existing flash file") << QStringList{"-z", "%file"} << true << QStringList();
    QTest::newRow("missing flash file") << QStringList{"-z", "%missing"} << false
                                        << QStringList{"ERROR|flash file '" + m_dir.filePath("missing") + "' doesn't exist"};
    QTest::newRow("clean emmc") << QStringList{"--clean-emmc", "--soc-sn", "S", "--fw-dnx", "%file", "--fw-image", "%file"}
                                << true << QStringList();
    QTest::newRow("product without vendor") << QStringList{"--pid", "0a5f", "-z", "%file"} << false
                                            << QStringList{"ERROR|Product ID can not be specified without Vendor ID"};
    QTest::newRow("vendor without product") << QStringList{"--vid", "8087", "-z", "%file"} << true << QStringList();
}

void tst_ArgParser::isValid()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, valid);
    QFETCH(QStringList, log);

    ArgParser::Options options;
    parse(arguments, options);
    RecordedLog recorded;
    QCOMPARE(options.isValid(), valid);
    QCOMPARE(recorded.lines(), log);
}

QTEST_GUILESS_MAIN(tst_ArgParser)
#include "tst_ArgParser.moc"
