#include "app/ArgParser.h"

#include "app/Quillon.h"
#include "core/ApplicationLog.h"
#include "core/FMConst.h"
#include "core/MessageHandler.h"
#include "core/QlnErrorCode.h"
#include "loader/FileManager2.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <getopt.h>

#include <cstdlib>
#include <cstring>

namespace {

const char* const kShortOptions = ":hz:f:l:x:c:";

// Long options in table order; the codes the parser returns for them.
const struct option kLongOptions[] = {
    {"cli", no_argument, nullptr, 0},
    {"vid", required_argument, nullptr, '!'},
    {"pid", required_argument, nullptr, '"'},
    {"skip-flash", no_argument, nullptr, '#'},
    {"debuglog", no_argument, nullptr, '0'},
    {"debug-log", no_argument, nullptr, '0'},
    {"device-mgr-log-level", optional_argument, nullptr, '1'},
    {"device-detection-timeout", required_argument, nullptr, '3'},
    {"set-parameter-value", required_argument, nullptr, '4'},
    {"search-only", no_argument, nullptr, '9'},
    {"adb", required_argument, nullptr, 'a'},
    {"board", required_argument, nullptr, 'b'},
    {"configuration", required_argument, nullptr, 'c'},
    {"flashfile-type", required_argument, nullptr, 'd'},
    {"flash-file", required_argument, nullptr, 'f'},
    {"help", no_argument, nullptr, 'h'},
    {"fru-value", required_argument, nullptr, 'k'},
    {"log-level", required_argument, nullptr, 'l'},
    {"fastboot", required_argument, nullptr, 't'},
    {"xml-filename", required_argument, nullptr, 'x'},
    {"flash-filename", required_argument, nullptr, 'x'},
    {"zip-file", required_argument, nullptr, 'z'},
    {"clean-emmc", no_argument, nullptr, 'C'},
    {"fw-dnx", required_argument, nullptr, 'D'},
    {"fw-image", required_argument, nullptr, 'E'},
    {"enable-group", required_argument, nullptr, 'G'},
    {"disable-group", required_argument, nullptr, 'G'},
    {"status-server", optional_argument, nullptr, 'I'},
    {"status-server-port", required_argument, nullptr, 'J'},
    {"status-server-max-clients", required_argument, nullptr, 'K'},
    {"wait-client-timeout", required_argument, nullptr, 'N'},
    {"soc-sn", required_argument, nullptr, 'O'},
    {"dnx-sn", required_argument, nullptr, 'O'},
    {"build-info-output", required_argument, nullptr, 'P'},
    {"reboot", optional_argument, nullptr, 'R'},
    {"os-sn", required_argument, nullptr, 'S'},
    {"timeout", required_argument, nullptr, 'T'},
    {"buildvariant", required_argument, nullptr, 'U'},
    {"get-latest-version", optional_argument, nullptr, 'V'},
    {"always-unzip", no_argument, nullptr, 'W'},
    {nullptr, 0, nullptr, 0},
};

// Logs each message at ERROR and returns `code`.
int fail(int code, std::initializer_list<QString> messages)
{
    for (const QString& message : messages)
        ApplicationLog::write(ERROR, message);
    return code;
}

QString levelRangeMessage(const char* subject)
{
    return QStringLiteral("Input a number between [%1, %2] for %3\nFor more infomation, see output of --help")
        .arg(int(FATAL))
        .arg(int(TRACE))
        .arg(QLatin1String(subject));
}

// The value of an option whose argument is optional: the attached one, else the next argument when
// it is no option (it is consumed then); null when there is none.
const char* optionalValue(int argc, char** argv)
{
    if (optarg != nullptr)
        return optarg;
    if (optind < argc && argv[optind] != nullptr && argv[optind][0] != '-')
        return argv[optind++];
    return nullptr;
}

// What the loader can read: a flash file, a hardware list or an archive (by content when the file
// exists, else by name).
bool isFlashFileType(const QString& path)
{
    return FileManager2::getExpectedFileTypes(path)
           & (FileManager2::HardwaresJsonFile | FileManager2::ArchiveFile | FileManager2::FlashFile);
}

bool isUserExecutable(const QString& path)
{
    return QFileInfo::exists(path) && (QFile::permissions(path) & QFileDevice::ExeUser);
}

// A FIFO, socket or device blocks the first read (the global time-out is not armed yet) and a
// folder is no flash file: a path that exists must be a regular file, or a link to one.
bool isRegularOrAbsent(const QString& path)
{
    const QFileInfo info(path);
    return !info.exists() || info.isFile();
}

int refuseNonRegularFile(const QString& path)
{
    return fail(QlnErrorCode::CliInvalidFlashFile,
                {QStringLiteral("Flash file %1 is not a regular file").arg(path), QStringLiteral("Invalid flash file")});
}

int missingArgument(const char* option)
{
    return fail(QlnErrorCode::CliMissingArguments,
                {QStringLiteral("Missing argument for \"%1\"").arg(QString::fromLocal8Bit(option))});
}

// An option whose value is missing takes the next argument, even another option ("--os-sn
// --timeout 5"): a separate value that begins with "--" is that next option, not a value.
bool tookNextOptionAsValue(char** argv)
{
    return optarg != nullptr && optind >= 3 && optarg == argv[optind - 1] && qstrncmp(optarg, "--", 2) == 0;
}

// The argument getopt_long refused. An unknown letter inside a group of short options ("-qh")
// leaves the parser on that group, so the letter names it; a long option names itself (also
// "--cli=1", a value given to a switch, where optopt holds the switch's code).
QString refusedOption(char** argv)
{
    const char* last = argv[optind - 1];
    const bool longOption = qstrncmp(last, "--", 2) == 0 && (optopt == 0 || std::strchr(last, '=') != nullptr);
    if (optopt != 0 && !longOption)
        return QStringLiteral("-") + QChar(optopt);
    return QString::fromLocal8Bit(last);
}

void resetForParsing(ArgParser::Options& options)
{
    options.flashFileName = QString();
    options.reboot = 1;
    options.timeoutMinutes = ToolConst::DEFAULT_CLI_TIMEOUT;
    options.deviceDetectionTimeout = UINT64_MAX;
    options.vid = 0;
    options.pid = 0;
    options.skipFlash = false;
    options.alwaysUnzip = false;
    options.cleanEmmc = false;
    options.debugLog = false;
    options.fruValue = QString();
    options.groupsState.clear();
    options.parameterValues.clear();
    options.deviceMgrLogLevel = 3;
}

// Acts on one option; QlnErrorCode::NoError to go on, else the code that ends the parsing.
int handleOption(int code, int index, int argc, char** argv, ArgParser::Options& options)
{
    const QString value = optarg != nullptr ? QString::fromLocal8Bit(optarg) : QString();
    bool ok = false;
    switch (code) {
    case 0: // --cli: chosen by the program entry
        return QlnErrorCode::NoError;
    case '!':
        options.vid = value.toUShort(&ok, 16);
        return ok ? QlnErrorCode::NoError
                  : fail(QlnErrorCode::CliInvalidOptions, {QStringLiteral("Invalid Vendor ID (%1)").arg(value)});
    case '"':
        options.pid = value.toUShort(&ok, 16);
        return ok ? QlnErrorCode::NoError
                  : fail(QlnErrorCode::CliInvalidOptions, {QStringLiteral("Invalid Product ID (%1)").arg(value)});
    case '#':
        options.skipFlash = true;
        return QlnErrorCode::NoError;
    case '0':
        options.debugLog = true;
        return QlnErrorCode::NoError;
    case '1': {
        const char* text = optionalValue(argc, argv);
        int level = TRACE;
        ok = true;
        if (text != nullptr)
            level = QString::fromLocal8Bit(text).toInt(&ok, 10);
        if (!ok || level < FATAL || level > TRACE)
            return fail(QlnErrorCode::CliInvalidOptions,
                        {levelRangeMessage("device manager log level"),
                         QStringLiteral("Invalid option for device manager log level")});
        options.deviceMgrLogLevel = level;
        return QlnErrorCode::NoError;
    }
    case '3':
        options.deviceDetectionTimeout = value.toULongLong(&ok, 10);
        return ok ? QlnErrorCode::NoError
                  : fail(QlnErrorCode::CliInvalidArgument,
                         {QStringLiteral("Invalid value for --device-detection-timeout")});
    case '4': {
        if (value.isEmpty())
            return fail(QlnErrorCode::CliMissingArguments,
                        {QStringLiteral("Missing value for --set-parameter-value")});
        static const QRegularExpression assignment(QRegularExpression::anchoredPattern(QStringLiteral("([^=]+)=(.+)")),
                                                   QRegularExpression::DotMatchesEverythingOption);
        const QRegularExpressionMatch parts = assignment.match(value);
        if (!parts.hasMatch())
            return fail(QlnErrorCode::CliInvalidArgument,
                        {QStringLiteral("Invalid value format for --set-parameter-value")});
        if (!options.fruValue.isNull())
            return fail(QlnErrorCode::CliInvalidOptions,
                        {QStringLiteral("--set-parameter-value and --fru-value are mutually exclusive")});
        options.parameterValues.insert(parts.captured(1), parts.captured(2));
        return QlnErrorCode::NoError;
    }
    case 'a':
        if (!isUserExecutable(value))
            return fail(QlnErrorCode::CliInvalidOptions,
                        {QStringLiteral("Invalid adb file %1: Does it exist or have executable permission?").arg(value),
                         QStringLiteral("Invalid adb file")});
        FMConst::setTool(FMConst::ADB_TOOL_ID, value);
        return QlnErrorCode::NoError;
    case 'c':
        options.configuration = value;
        return QlnErrorCode::NoError;
    case 'f':
        if (!isRegularOrAbsent(value))
            return refuseNonRegularFile(value);
        if (!isFlashFileType(value))
            return fail(QlnErrorCode::CliInvalidOptions,
                        {QStringLiteral("Unknown flash file type: %1").arg(value), QStringLiteral("Invalid option")});
        options.flashFile = value;
        return QlnErrorCode::NoError;
    case 'h':
        ApplicationLog::write(INFO, Quillon::help_message);
        return ArgParser::UsageShown;
    case 'k':
        if (!options.parameterValues.isEmpty())
            return fail(QlnErrorCode::CliInvalidOptions,
                        {QStringLiteral("--fru-value and --set-parameter-value are mutually exclusive")});
        options.fruValue = value;
        return QlnErrorCode::NoError;
    case 'l':
        if (!ArgParser::setLogLevel(optarg))
            return fail(QlnErrorCode::CliInvalidOptions,
                        {levelRangeMessage("log level"), QStringLiteral("Invalid option for log level")});
        return QlnErrorCode::NoError;
    case 't':
        if (!isUserExecutable(value))
            return fail(QlnErrorCode::CliInvalidOptions, {QStringLiteral("Invalid fastboot file: %1").arg(value)});
        FMConst::setTool(FMConst::FASTBOOT_TOOL_ID, value);
        return QlnErrorCode::NoError;
    case 'x':
        options.flashFileName = value;
        return QlnErrorCode::NoError;
    case 'z':
        if (!isRegularOrAbsent(value))
            return refuseNonRegularFile(value);
        options.flashFile = value;
        return QlnErrorCode::NoError;
    case 'C':
        options.cleanEmmc = true;
        return QlnErrorCode::NoError;
    case 'D':
        options.fwDnx = value;
        return QlnErrorCode::NoError;
    case 'E':
        options.fwImage = value;
        return QlnErrorCode::NoError;
    case 'G':
        options.groupsState.insert(value, qstrcmp(kLongOptions[index].name, "enable-group") == 0);
        return QlnErrorCode::NoError;
    case 'O':
        options.socSerialNumber = value;
        return QlnErrorCode::NoError;
    case 'R': {
        const char* text = optionalValue(argc, argv);
        options.reboot = text != nullptr ? std::abs(QString::fromLocal8Bit(text).toInt(nullptr, 10)) : 1;
        return QlnErrorCode::NoError;
    }
    case 'S':
        options.osSerialNumber = value;
        return QlnErrorCode::NoError;
    case 'T':
        options.timeoutMinutes = value.toInt(&ok, 10);
        return ok ? QlnErrorCode::NoError
                  : fail(QlnErrorCode::CliInvalidArgument, {QStringLiteral("Invalid value for --timeout")});
    case 'W':
        options.alwaysUnzip = true;
        FMConst::ALWAYS_UNZIP_FLAG = true;
        FMConst::ALWAYS_UNZIP_FLAG_ARTIFACTORY = true;
        return QlnErrorCode::NoError;
    case ':':
        return missingArgument(argv[optind - 1]);
    case '?': // a mistyped option must not let the run go on and flash whichever device shows up
        return fail(QlnErrorCode::CliInvalidOptions, {QStringLiteral("Invalid option: %1").arg(refusedOption(argv))});
    default: // an option that this program accepts and ignores
        ApplicationLog::write(WARNING, QStringLiteral("Invalid option: %1").arg(QString::fromLocal8Bit(argv[optind - 1])));
        return QlnErrorCode::NoError;
    }
}

// The checks that need every option: the clean-eMMC trio and the flash file; sets the firmware
// downloader's single-device mode when no SoC serial number is given.
int checkOptions(ArgParser::Options& options)
{
    if (options.cleanEmmc) {
        options.flashFile = QStringLiteral("none");
        if (options.socSerialNumber.isEmpty())
            return fail(QlnErrorCode::CliMissingOptions,
                        {QStringLiteral("Please specify a soc serial number (using --soc-sn) to use the clean emmc option")});
        if (options.fwDnx.isEmpty() || options.fwImage.isEmpty() || !QFileInfo::exists(options.fwDnx)
            || !QFileInfo::exists(options.fwImage))
            return fail(QlnErrorCode::CliMissingOptions,
                        {QStringLiteral("Please specify the fw DnX and the corresponding image (using --fw-dnx and "
                                        "--fw-image) to use the clean emmc option")});
    }
    FMConst::USE_DRAVIK_SOLO = options.socSerialNumber.isEmpty();
    if (options.flashFile.isEmpty()) {
        ApplicationLog::write(INFO, Quillon::help_message);
        ApplicationLog::write(INFO, QStringLiteral("Please specify a .zip, .tgz, .xml or .json file (\"-f\" option) \n\t to start flashing"));
        return ArgParser::UsageShown;
    }
    return ArgParser::Proceed;
}

} // namespace

ArgParser::Options::Options()
    : flashFileName(QStringLiteral("flash.xml"))
{
}

bool ArgParser::Options::isValid() const
{
    if (vid == 0 && pid != 0) {
        ApplicationLog::write(ERROR, QStringLiteral("Product ID can not be specified without Vendor ID"));
        return false;
    }
    if (flashFile.isEmpty() || QFile::exists(flashFile) || (cleanEmmc && flashFile == QLatin1String("none")))
        return true;
    ApplicationLog::write(ERROR, QStringLiteral("flash file '%1' doesn't exist").arg(flashFile));
    return false;
}

int ArgParser::generateTask(int argc, char** argv, Options& options)
{
    resetForParsing(options);
    // The command line does not clean up the download history.
    FMConst::REMOVE_HISTORY_AGE = 0;
    FMConst::REMOVE_HISTORY_FLAG = false;
    FMConst::REMOVE_HISTORY_ASK = false;

    optind = 0; // a full restart of getopt, whoever parsed before
    for (;;) {
        int index = -1;
        const int code = getopt_long(argc, argv, kShortOptions, kLongOptions, &index);
        if (code == -1)
            break;
        if (tookNextOptionAsValue(argv))
            return missingArgument(argv[optind - 2]);
        const int result = handleOption(code, index, argc, argv, options);
        if (result != QlnErrorCode::NoError)
            return result;
    }
    return checkOptions(options);
}

bool ArgParser::setLogLevel(const char* text)
{
    bool ok = false;
    const QString received = QString::fromLocal8Bit(text);
    const int parsed = received.toInt(&ok, 0);
    if (!ok)
        return false;
    const int level = qBound(int(FATAL), parsed, int(TRACE));
    if (level != parsed)
        ApplicationLog::write(WARNING, QStringLiteral("Log level must in [%1, %2], convert %3 to %4")
                         .arg(QString::number(FATAL), QString::number(TRACE), received, QString::number(level)));
    MessageHandler::instance()->setLogLevel(LOGLEVEL(level));
    return true;
}
