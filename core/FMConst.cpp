#include "core/FMConst.h"

#include "core/ApplicationLog.h"
#include "core/ToolPathTable.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>

namespace {

// Values at program load that resetToDefaults restores.
constexpr unsigned int kScanOnPlugDelayMs = 500;
constexpr unsigned int kScanOnUnplugDelayMs = 100;
constexpr int kMaxThreadCount = 32;
constexpr int kOsNoEnumSeconds = 180;
constexpr int kDeviceScanPeriodMs = 2000;
constexpr uint64_t kMaxCacheSize = 6ULL << 30;
constexpr uint64_t kMinDiskSpaceWarning = 3ULL << 30;
constexpr char kDefaultLanguage[] = "en_US";
constexpr unsigned char kDefaultRange[5] = {192, 168, 42, 1, 2};

// Beside the executable when executable there, else found on PATH, else beside the executable.
QString resolveDefaultProgram(const QString& name)
{
    const QString beside = QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(name);
    const QFileInfo info(beside);
    if (info.isFile() && info.isExecutable())
        return QDir::toNativeSeparators(beside);
    const QString onPath = QStandardPaths::findExecutable(name);
    if (!onPath.isEmpty())
        return QDir::toNativeSeparators(onPath);
    return QDir::toNativeSeparators(beside);
}

QString rangeText(unsigned first, unsigned second, unsigned third, unsigned low, unsigned high)
{
    return QStringLiteral("%1.%2.%3.%4-%5")
        .arg(first).arg(second).arg(third).arg(low).arg(high);
}

// A tools-file entry that is missing or names no existing file gets `fallback`.
} // namespace

// Keys.
const QString FMConst::KEY_FLASH_LOG_RESULT_ENABLED = QStringLiteral("FlashLogResultEnabled");
const QString FMConst::KEY_LOG_DIRECTORY = QStringLiteral("FlashLogDirectory");
const QString FMConst::KEY_FLASH_LOG_RESULT_FILENAME_PATTERN = QStringLiteral("FlashLogResultFileName");
const QString FMConst::KEY_FLASH_LOG_RESULT_CONTENT = QStringLiteral("FlashLogResultContent");
const QString FMConst::KEY_FLASH_LOG_RESULT_APPEND = QStringLiteral("FlashLogResultAppendFile");
const QString FMConst::KEY_APPLICATION_LOG_ENABLED = QStringLiteral("FlashLogAllFile");
const QString FMConst::KEY_APPLICATION_LOG_FILENAME_PATTERN = QStringLiteral("FlashLogAllFileName");
const QString FMConst::KEY_DEVICE_FLASH_LOG_ENABLED = QStringLiteral("DeviceFlashLogEnabled");
const QString FMConst::KEY_DEVICE_FLASH_LOG_FILENAME_PATTERN = QStringLiteral("DeviceFlashLogFileName");
const QString FMConst::KEY_REFLASH_ALLOWED = QStringLiteral("ReflashAllowed");
const QString FMConst::KEY_USER_LANGUAGE = QStringLiteral("UserLanguage");
const QString FMConst::KEY_LATIN1_COMPARISON_FOR_FASTBOOT =
    QStringLiteral("Latin1ComparisonForFastbootEnabled");
const QString FMConst::KEY_SCAN_ON_PLUG_DELAY = QStringLiteral("SCAN_ON_PLUG_DELAY");
const QString FMConst::KEY_SCAN_ON_UNPLUG_DELAY = QStringLiteral("SCAN_ON_UNPLUG_DELAY");
const QString FMConst::KEY_FORCE_GPFLAG = QStringLiteral("OVERRIDE_GP_FLAG");
const QString FMConst::KEY_GPFLAG = QStringLiteral("GP_FLAG");
const QString FMConst::KEY_FORCE_FASTBOOT_SPARSING = QStringLiteral("FORCE_FASTBOOT_SPARSING");
const QString FMConst::KEY_FASTBOOT_SPARSING_SIZE = QStringLiteral("FASTBOOT_SPARSING_SIZE");
const QString FMConst::KEY_FORCE_FASTBOOT_VENDOR_ID = QStringLiteral("FORCE_FASTBOOT_VENDOR_ID");
const QString FMConst::KEY_FASTBOOT_VENDOR_ID = QStringLiteral("FASTBOOT_VENDOR_ID");
const QString FMConst::KEY_ALWAYS_UNZIP = QStringLiteral("ALWAYS_UNZIP_FLAG");
const QString FMConst::KEY_ALWAYS_UNZIP_ARTIFACTORY = QStringLiteral("ALWAYS_UNZIP_FLAG_ARTIFACTORY");
const QString FMConst::KEY_REMOVE_UNZIPPED_DIR = QStringLiteral("REMOVE_UNZIPPED_DIR_FLAG");
const QString FMConst::KEY_REMOVE_HISTORY_FLAG = QStringLiteral("REMOVE_HISTORY_FLAG");
const QString FMConst::KEY_REMOVE_HISTORY_ASK = QStringLiteral("REMOVE_HISTORY_ASK");
const QString FMConst::KEY_REMOVE_HISTORY_AGE = QStringLiteral("REMOVE_HISTORY_AGE");
const QString FMConst::KEY_FASTBOOT = QStringLiteral("FASTBOOT");
const QString FMConst::KEY_ADB = QStringLiteral("ADB");
const QString FMConst::KEY_FIXED_IP = QStringLiteral("DEVICE_IP");
const QString FMConst::KEY_SCAN_ETHERNET_DEVICES = QStringLiteral("SCAN_ETHERNET_DEVICES");
const QString FMConst::KEY_SCAN_USB_DEVICES_ON_PLUG = QStringLiteral("SCAN_USB_DEVICES_ON_PLUG");
const QString FMConst::KEY_USB_MAP_FILE = QStringLiteral("USB_MAP_FILE");
const QString FMConst::KEY_USB_MAP_ENABLED = QStringLiteral("USB_MAP_ENABLED");
const QString FMConst::KEY_COMMAND_DELAY = QStringLiteral("COMMAND_DELAY");

// Log and result-file settings: each value is defined after its default, so it starts as a copy.
const bool FMConst::defaultFlashLogResultEnabled = false;
bool FMConst::flashLogResultEnabled_ = FMConst::defaultFlashLogResultEnabled;
QString FMConst::defaultLogDirectory = perUserPath(QStringLiteral(".log"));
QString FMConst::logDirectory_ = FMConst::defaultLogDirectory;
const QString FMConst::defaultFlashLogResultFileNamePattern =
    QStringLiteral("${year}-${month}/${day}/${serial}_${24h}-${minute}-${second}.xml");
QString FMConst::flashLogResultFileNamePattern_ = FMConst::defaultFlashLogResultFileNamePattern;
const QString FMConst::defaultFlashLogResultContent = QStringLiteral(
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<LOG>\n"
    "<TIMESTAMP>${timestamp}</TIMESTAMP>\n"
    "<RESULT>${status}</RESULT>\n"
    "<ERROR>${errno}</ERROR>\n"
    "<REASON>${reason}</REASON>\n"
    "<SOFTWARE_NAME>${software_name}</SOFTWARE_NAME>\n"
    "<SOFTWARE_VER>${software_version}</SOFTWARE_VER>\n"
    "</LOG>");
QString FMConst::flashLogResultContent_ = FMConst::defaultFlashLogResultContent;
const bool FMConst::defaultFlashLogResultAppend = false;
bool FMConst::flashLogResultAppend_ = FMConst::defaultFlashLogResultAppend;
const bool FMConst::defaultApplicationLogEnabled = false;
bool FMConst::applicationLogEnabled_ = FMConst::defaultApplicationLogEnabled;
const QString FMConst::defaultApplicationLogFileNamePattern =
    QStringLiteral("${year}-${month}/${day}/${24h}-${minute}-${second}.log");
QString FMConst::applicationLogFileNamePattern_ = FMConst::defaultApplicationLogFileNamePattern;
const bool FMConst::defaultDeviceFlashLogEnabled = false;
bool FMConst::deviceFlashLogEnabled_ = FMConst::defaultDeviceFlashLogEnabled;
const QString FMConst::defaultDeviceFlashLogFileNamePattern =
    QStringLiteral("flashLogs/${year}-${month}/${day}/${24h}-${minute}_${serial}.log");
QString FMConst::deviceFlashLogFileNamePattern_ = FMConst::defaultDeviceFlashLogFileNamePattern;

// Other settings.
bool FMConst::bReflashAllowed = true;
QString FMConst::sSelectedLanguage = QLatin1String(kDefaultLanguage);
bool FMConst::bLatin1ComparisonForFastbootEnabled = false;
unsigned int FMConst::SCAN_ON_PLUG_DELAY = kScanOnPlugDelayMs;
unsigned int FMConst::SCAN_ON_UNPLUG_DELAY = kScanOnUnplugDelayMs;
const bool FMConst::DEFAULT_FORCE_GP_FLAG = false;
bool FMConst::FORCE_GP_FLAG = FMConst::DEFAULT_FORCE_GP_FLAG;
const QString FMConst::DEFAULT_GP_FLAG = QStringLiteral("0x80000045");
QString FMConst::USER_GP_FLAG = FMConst::DEFAULT_GP_FLAG;
const bool FMConst::DEFAULT_FORCE_FASTBOOT_SPARSING = false;
bool FMConst::FORCE_FASTBOOT_SPARSING = FMConst::DEFAULT_FORCE_FASTBOOT_SPARSING;
const int FMConst::DEFAULT_FASTBOOT_SPARSING_SIZE = 100;
int FMConst::FASTBOOT_SPARSING_SIZE = FMConst::DEFAULT_FASTBOOT_SPARSING_SIZE;
const bool FMConst::DEFAULT_FORCE_FASTBOOT_VENDOR_ID = false;
bool FMConst::FORCE_FASTBOOT_VENDOR_ID = FMConst::DEFAULT_FORCE_FASTBOOT_VENDOR_ID;
const QString FMConst::DEFAULT_FASTBOOT_VENDOR_ID = QStringLiteral("0x8087");
QString FMConst::FASTBOOT_VENDOR_ID = FMConst::DEFAULT_FASTBOOT_VENDOR_ID;
const bool FMConst::DEFAULT_ALWAYS_UNZIP_FLAG = true;
bool FMConst::ALWAYS_UNZIP_FLAG = FMConst::DEFAULT_ALWAYS_UNZIP_FLAG;
const bool FMConst::DEFAULT_ALWAYS_UNZIP_FLAG_ARTIFACTORY = false;
bool FMConst::ALWAYS_UNZIP_FLAG_ARTIFACTORY = FMConst::DEFAULT_ALWAYS_UNZIP_FLAG_ARTIFACTORY;
const bool FMConst::DEFAULT_REMOVE_UNZIPPED_DIR_FLAG = false;
bool FMConst::REMOVE_UNZIPPED_DIR_FLAG = FMConst::DEFAULT_REMOVE_UNZIPPED_DIR_FLAG;
const bool FMConst::DEFAULT_REMOVE_HISTORY_FLAG = true;
bool FMConst::REMOVE_HISTORY_FLAG = FMConst::DEFAULT_REMOVE_HISTORY_FLAG;
const bool FMConst::DEFAULT_REMOVE_HISTORY_ASK = true;
bool FMConst::REMOVE_HISTORY_ASK = FMConst::DEFAULT_REMOVE_HISTORY_ASK;
const int FMConst::DEFAULT_REMOVE_HISTORY_AGE = 14;
int FMConst::REMOVE_HISTORY_AGE = FMConst::DEFAULT_REMOVE_HISTORY_AGE;
const bool FMConst::defaultScanEthernetDevices = false;
bool FMConst::scanEthernetDevices = FMConst::defaultScanEthernetDevices;
const bool FMConst::defaultScanUSBDevicesOnPlug = true;
bool FMConst::scanUSBDevicesOnPlug = FMConst::defaultScanUSBDevicesOnPlug;
QString FMConst::USB_MAP_FILE;
bool FMConst::USB_MAP_ENABLED = false;
uint64_t FMConst::COMMAND_DELAY = 0;

// Fixed limits and run-time switches.
int FMConst::MAX_THREAD_COUNT = kMaxThreadCount;
int FMConst::OS_NO_ENUM = kOsNoEnumSeconds;
int FMConst::DEVICE_SCAN_PERIOD = kDeviceScanPeriodMs;
uint64_t FMConst::MAX_CACHE_SIZE = kMaxCacheSize;
uint64_t FMConst::MIN_DISK_SPACE_WARNING_VALUE = kMinDiskSpaceWarning;
bool FMConst::GUI_ENABLED = true;
std::atomic<bool> FMConst::USE_DRAVIK_EXTERNAL{false};
std::atomic<bool> FMConst::USE_DRAVIK_SOLO{false};
bool FMConst::bLogInSeparatedTab = false;
bool FMConst::bLogDeviceManagerDebug = false;
const QString FMConst::FASTBOOT_DNX_PID = QStringLiteral("0a65");
const QString FMConst::STATUS_FASTBOOT = QStringLiteral("In Fastboot State");
const QString FMConst::STATUS_ANDROID = QStringLiteral("In Android System");
QString FMConst::signingSettingsFile = perUserPath(QStringLiteral(".signing"));
QString FMConst::defaultExternalToolsSettingsFileName = perUserPath(QStringLiteral(".externalTools.opt"));

// Ethernet address range.
const QString FMConst::defaultDeviceEthernetIpRange = QStringLiteral("192.168.42.1-2");
unsigned char FMConst::ipDigit1 = kDefaultRange[0];
unsigned char FMConst::ipDigit2 = kDefaultRange[1];
unsigned char FMConst::ipDigit3 = kDefaultRange[2];
unsigned char FMConst::ipDigit4Min = kDefaultRange[3];
unsigned char FMConst::ipDigit4Max = kDefaultRange[4];

// XML flash file keywords.
const QString FMConst::FASTBOOT_SEQ_XML_STRING = QStringLiteral("string");
const QString FMConst::FASTBOOT_SEQ_XML_TIMEOUT = QStringLiteral("timeout");
const QString FMConst::FASTBOOT_SEQ_XML_DESCRIPTION = QStringLiteral("description");
const QString FMConst::FASTBOOT_SEQ_XML_RETRY = QStringLiteral("retry");
const QString FMConst::FASTBOOT_SEQ_XML_MANDATORY = QStringLiteral("mandatory");
const QString FMConst::FASTBOOT_SEQ_XML_ID = QStringLiteral("id");
const QString FMConst::FASTBOOT_SEQ_XML_CMD = QStringLiteral("command");
const QString FMConst::FASTBOOT_SEQ_XML_FRU_CFG = QStringLiteral("fru_config");
const QString FMConst::FASTBOOT_SEQ_XML_NAME = QStringLiteral("name");
const QString FMConst::FASTBOOT_SEQ_XML_VALUE = QStringLiteral("value");
const QString FMConst::FLASH_SEQ_XML_GPFLAG = QStringLiteral("gpflag");
const QString FMConst::FLASH_SEQ_XML_GPFLAGVALUE = QStringLiteral("value");
const QString FMConst::FLASH_SEQ_XML_ID = QStringLiteral("id");
const QString FMConst::FLASH_SEQ_XML_PLATFORM = QStringLiteral("platform");
const QString FMConst::FLASH_FILE_XML_FILE = QStringLiteral("file");
const QString FMConst::FLASH_FILE_XML_TYPE = QStringLiteral("TYPE");
const QString FMConst::FLASH_FILE_XML_NAME = QStringLiteral("name");
const QString FMConst::TYPE_SYSTEM_STRING = QStringLiteral("system");
const QString FMConst::TYPE_OTA_STRING = QStringLiteral("ota");
const QString FMConst::TYPE_FASTBOOT_STRING = QStringLiteral("fastboot");
const QString FMConst::TYPE_BLANK_STRING = QStringLiteral("blankphone");
const QString FMConst::TYPE_FASTBOOT_DNX_STRING = QStringLiteral("fastboot_dnx");
const QString FMConst::TYPE_ADB_STRING = QStringLiteral("adb");
const QString FMConst::CMD_SEQ_NAME_IFWI = QStringLiteral("IFWI");
const QString FMConst::CMD_SEQ_NAME_FW_DNX = QStringLiteral("FW_DNX");
const QString FMConst::CMD_SEQ_NAME_OS_DNX = QStringLiteral("OS_DNX");
const QString FMConst::CMD_SEQ_NAME_XXR_DNX = QStringLiteral("XXR_DNX");
const QString FMConst::CMD_SEQ_NAME_SOFT_FUSE = QStringLiteral("SOFTFUSE");
const QString FMConst::CMD_SEQ_NAME_KBOOT = QStringLiteral("KBOOT");
const QString FMConst::CMD_SEQ_NAME_KERNEL = QStringLiteral("KERNEL");
const QString FMConst::CMD_SEQ_NAME_RECOVERY = QStringLiteral("RECOVERY");
const QString FMConst::CMD_SEQ_NAME_SYSTEM = QStringLiteral("SYSTEM");
const QString FMConst::CMD_SEQ_NAME_MODEM = QStringLiteral("MODEM");
const QString FMConst::CMD_SEQ_NAME_MODEM_NVM = QStringLiteral("MODEM_NVM");
const QString FMConst::CMD_SEQ_NAME_OTA = QStringLiteral("OTA");

// Program paths.
const QString FMConst::ADB_TOOL_ID = QStringLiteral("adb");
const QString FMConst::FASTBOOT_TOOL_ID = QStringLiteral("fastboot");
const QString FMConst::DFU_TOOL_ID = QStringLiteral("dfuDownloader");

QString FMConst::defaultADBCmd_ = QStringLiteral("adb");
QString FMConst::defaultFastbootCmd_ = QStringLiteral("fastboot");
QString FMConst::defaultDfuDownloaderCmd_ = QStringLiteral("dfu-util");
QString FMConst::default7zCmd_ = QStringLiteral("7z");
QString FMConst::defaultFlsDownloaderCmd_ = QStringLiteral("downloadTool");
QString FMConst::defaultDldrCmd_ = QStringLiteral("dldr");
QString FMConst::defaultDldrCliCmd_ = QStringLiteral("dldrcli");
QString FMConst::defaultJLinkDownloaderCmd_ = QStringLiteral("JLinkExe");
QString FMConst::defaultEventUploaderCmd_ = QStringLiteral("event-uploader");

const QString& FMConst::defaultAdbCmd()
{
    defaultADBCmd_ = resolveDefaultProgram(QStringLiteral("adb"));
    return defaultADBCmd_;
}

const QString& FMConst::defaultFastbootCmd()
{
    defaultFastbootCmd_ = resolveDefaultProgram(QStringLiteral("fastboot"));
    return defaultFastbootCmd_;
}

const QString& FMConst::defaultDfuDownloaderCmd()
{
    defaultDfuDownloaderCmd_ = resolveDefaultProgram(QStringLiteral("dfu-util"));
    return defaultDfuDownloaderCmd_;
}

const QString& FMConst::default7zCmd()
{
    default7zCmd_ = resolveDefaultProgram(QStringLiteral("7z"));
    return default7zCmd_;
}

const QString& FMConst::defaultFlsDownloaderCmd()
{
    return defaultFlsDownloaderCmd_;
}

const QString& FMConst::defaultDldrCmd()
{
    return defaultDldrCmd_;
}

const QString& FMConst::defaultDldrCliCmd()
{
    return defaultDldrCliCmd_;
}

ToolPathTable& FMConst::toolPaths()
{
    // Built on first use, so no static initialiser depends on it.
    static ToolPathTable table;
    return table;
}

QString FMConst::getTool(const QString& toolId)
{
    return toolPaths().get(toolId);
}

bool FMConst::setTool(const QString& toolId, const QString& path)
{
    const QFileInfo info(path);
    if (info.isFile() && info.isExecutable()) {
        toolPaths().set(toolId, path);
        return true;
    }
    if (toolId == ADB_TOOL_ID)
        toolPaths().set(toolId, defaultAdbCmd());
    else if (toolId == FASTBOOT_TOOL_ID)
        toolPaths().set(toolId, defaultFastbootCmd());
    else if (toolId == DFU_TOOL_ID)
        toolPaths().set(toolId, defaultDfuDownloaderCmd());
    return false;
}

QString FMConst::AdbCmd()
{
    return getTool(ADB_TOOL_ID);
}

QString FMConst::DfuDownloaderCmd()
{
    return getTool(DFU_TOOL_ID);
}

void FMConst::setFlashLogResultEnabled(bool enabled)
{
    flashLogResultEnabled_ = enabled;
}

void FMConst::setLogDirectory(const QString& directory)
{
    logDirectory_ = directory;
}

void FMConst::setFlashLogResultFileNamePattern(const QString& pattern)
{
    flashLogResultFileNamePattern_ = pattern;
}

void FMConst::setFlashLogResultContent(const QString& content)
{
    flashLogResultContent_ = content;
}

void FMConst::setFlashLogResultAppend(bool append)
{
    flashLogResultAppend_ = append;
}

void FMConst::setDeviceFlashLogEnabled(bool enabled)
{
    deviceFlashLogEnabled_ = enabled;
}

void FMConst::setDeviceFlashLogFileNamePattern(const QString& pattern)
{
    deviceFlashLogFileNamePattern_ = pattern;
}

void FMConst::setApplicationLog(bool enabled, const QString& pattern)
{
    applicationLogEnabled_ = enabled;
    applicationLogFileNamePattern_ = pattern;
}

void FMConst::setApplicationLogFileNamePattern(const QString& pattern)
{
    applicationLogFileNamePattern_ = pattern;
}

void FMConst::setApplicationLogEnabled(bool enabled)
{
    applicationLogEnabled_ = enabled;
}

bool FMConst::setDeviceEthernetIpRange(const QString& range)
{
    static const QRegularExpression pattern(QStringLiteral(
        "^([0-9]{1,3})\\.([0-9]{1,3})\\.([0-9]{1,3})\\.([0-9]{1,3})(?:-([0-9]{1,3}))?$"));
    const QRegularExpressionMatch match = pattern.match(range);
    if (!match.hasMatch()) {
        ApplicationLog::write(DEBUG, QStringLiteral("Invalid IP range %1 (bad format)").arg(range));
        return false;
    }
    // Up to three digits still allow 999: a part above 255 is refused, never cut to a byte.
    unsigned parts[5] = {0, 0, 0, 0, 0};
    for (int i = 0; i < 5; ++i) {
        QString digits = match.captured(i + 1);
        if (i == 4 && digits.isEmpty())
            digits = match.captured(4);
        bool ok = false;
        parts[i] = digits.toUShort(&ok);
        if (!ok || parts[i] > 255) {
            ApplicationLog::write(DEBUG, QStringLiteral("Invalid IP range %1 (bad digit format)").arg(range));
            return false;
        }
    }
    return setDeviceEthernetIpRange(static_cast<unsigned char>(parts[0]),
                                    static_cast<unsigned char>(parts[1]),
                                    static_cast<unsigned char>(parts[2]),
                                    static_cast<unsigned char>(parts[3]),
                                    static_cast<unsigned char>(parts[4]));
}

bool FMConst::setDeviceEthernetIpRange(unsigned char first, unsigned char second,
                                       unsigned char third, unsigned char low, unsigned char high)
{
    const auto isEdge = [](unsigned char value) { return value == 0 || value == 255; };
    const QString candidate = rangeText(first, second, third, low, high);
    if (first == 0 || first >= 224) {
        ApplicationLog::write(DEBUG, QStringLiteral("Invalid IP range %1 (invalid A, B or C Class address)")
                     .arg(candidate));
        return false;
    }
    const bool lastIsEdge = isEdge(low) || isEdge(high);
    bool rejected = false;
    if (first <= 127)
        rejected = isEdge(second) && isEdge(third) && lastIsEdge;
    else if (first <= 191)
        rejected = isEdge(third) && lastIsEdge;
    else
        rejected = lastIsEdge;
    if (rejected) {
        ApplicationLog::write(DEBUG, QStringLiteral("Invalid IP range %1 (broadcast or network IP detected)")
                     .arg(candidate));
        return false;
    }
    ipDigit1 = first;
    ipDigit2 = second;
    ipDigit3 = third;
    ipDigit4Min = low;
    ipDigit4Max = high;
    return true;
}

QString FMConst::deviceEthernetIpRange()
{
    return rangeText(ipDigit1, ipDigit2, ipDigit3, ipDigit4Min, ipDigit4Max);
}

void FMConst::deviceEthernetIpRange(unsigned char& first, unsigned char& second,
                                    unsigned char& third, unsigned char& low, unsigned char& high)
{
    first = ipDigit1;
    second = ipDigit2;
    third = ipDigit3;
    low = ipDigit4Min;
    high = ipDigit4Max;
}

QString FMConst::perUserPath(const QString& name)
{
    const QDir home(QDir::homePath());
    return QDir(home.absoluteFilePath(QStringLiteral(".flasher") + QDir::separator() + name))
        .absolutePath();
}

void FMConst::resetToDefaults()
{
    defaultLogDirectory = perUserPath(QStringLiteral(".log"));
    signingSettingsFile = perUserPath(QStringLiteral(".signing"));
    defaultExternalToolsSettingsFileName = perUserPath(QStringLiteral(".externalTools.opt"));

    flashLogResultEnabled_ = defaultFlashLogResultEnabled;
    logDirectory_ = defaultLogDirectory;
    flashLogResultFileNamePattern_ = defaultFlashLogResultFileNamePattern;
    flashLogResultContent_ = defaultFlashLogResultContent;
    flashLogResultAppend_ = defaultFlashLogResultAppend;
    applicationLogEnabled_ = defaultApplicationLogEnabled;
    applicationLogFileNamePattern_ = defaultApplicationLogFileNamePattern;
    deviceFlashLogEnabled_ = defaultDeviceFlashLogEnabled;
    deviceFlashLogFileNamePattern_ = defaultDeviceFlashLogFileNamePattern;

    bReflashAllowed = true;
    sSelectedLanguage = QLatin1String(kDefaultLanguage);
    bLatin1ComparisonForFastbootEnabled = false;
    SCAN_ON_PLUG_DELAY = kScanOnPlugDelayMs;
    SCAN_ON_UNPLUG_DELAY = kScanOnUnplugDelayMs;
    FORCE_GP_FLAG = DEFAULT_FORCE_GP_FLAG;
    USER_GP_FLAG = DEFAULT_GP_FLAG;
    FORCE_FASTBOOT_SPARSING = DEFAULT_FORCE_FASTBOOT_SPARSING;
    FASTBOOT_SPARSING_SIZE = DEFAULT_FASTBOOT_SPARSING_SIZE;
    FORCE_FASTBOOT_VENDOR_ID = DEFAULT_FORCE_FASTBOOT_VENDOR_ID;
    FASTBOOT_VENDOR_ID = DEFAULT_FASTBOOT_VENDOR_ID;
    ALWAYS_UNZIP_FLAG = DEFAULT_ALWAYS_UNZIP_FLAG;
    ALWAYS_UNZIP_FLAG_ARTIFACTORY = DEFAULT_ALWAYS_UNZIP_FLAG_ARTIFACTORY;
    REMOVE_UNZIPPED_DIR_FLAG = DEFAULT_REMOVE_UNZIPPED_DIR_FLAG;
    REMOVE_HISTORY_FLAG = DEFAULT_REMOVE_HISTORY_FLAG;
    REMOVE_HISTORY_ASK = DEFAULT_REMOVE_HISTORY_ASK;
    REMOVE_HISTORY_AGE = DEFAULT_REMOVE_HISTORY_AGE;
    scanEthernetDevices = defaultScanEthernetDevices;
    scanUSBDevicesOnPlug = defaultScanUSBDevicesOnPlug;
    USB_MAP_FILE.clear();
    USB_MAP_ENABLED = false;
    COMMAND_DELAY = 0;

    MAX_THREAD_COUNT = kMaxThreadCount;
    OS_NO_ENUM = kOsNoEnumSeconds;
    DEVICE_SCAN_PERIOD = kDeviceScanPeriodMs;
    MAX_CACHE_SIZE = kMaxCacheSize;
    MIN_DISK_SPACE_WARNING_VALUE = kMinDiskSpaceWarning;
    GUI_ENABLED = true;
    USE_DRAVIK_EXTERNAL = false;
    USE_DRAVIK_SOLO = false;
    bLogInSeparatedTab = false;
    bLogDeviceManagerDebug = false;

    ipDigit1 = kDefaultRange[0];
    ipDigit2 = kDefaultRange[1];
    ipDigit3 = kDefaultRange[2];
    ipDigit4Min = kDefaultRange[3];
    ipDigit4Max = kDefaultRange[4];

    toolPaths().clear();
}
