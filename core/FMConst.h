#pragma once

#include <QString>

#include <atomic>
#include <cstdint>

class ToolPathTable;

// Static configuration of the flashing side: setting keys and their defaults, the values in use,
// fixed limits, program paths of the flash tools, log and result-file settings and the Ethernet
// address range of devices. Values start at their defaults when the program loads; the settings
// loader (ToolConst::Init) and the options dialog change them on the main thread, flash threads
// only read them. No FMConst value may be read from another static initialiser.
class FMConst
{
public:
    FMConst() = delete;

    // Behaviour of the flash manager when a flash is requested; stored as an int in the settings.
    enum class FM_BEHAVIOR_ENUM : int {
        AskBeforeFlash = 0,
        AlwaysFlash = 1,
        AlwaysCancel = 2,
    };

    // ---- Setting keys (settings file ~/.flasher/.quillonlite.opt, top level) ----
    static const QString KEY_FLASH_LOG_RESULT_ENABLED;          // "FlashLogResultEnabled"
    static const QString KEY_LOG_DIRECTORY;                     // "FlashLogDirectory"
    static const QString KEY_FLASH_LOG_RESULT_FILENAME_PATTERN; // "FlashLogResultFileName"
    static const QString KEY_FLASH_LOG_RESULT_CONTENT;          // "FlashLogResultContent"
    static const QString KEY_FLASH_LOG_RESULT_APPEND;           // "FlashLogResultAppendFile"
    static const QString KEY_APPLICATION_LOG_ENABLED;           // "FlashLogAllFile"
    static const QString KEY_APPLICATION_LOG_FILENAME_PATTERN;  // "FlashLogAllFileName"
    static const QString KEY_DEVICE_FLASH_LOG_ENABLED;          // "DeviceFlashLogEnabled"
    static const QString KEY_DEVICE_FLASH_LOG_FILENAME_PATTERN; // "DeviceFlashLogFileName"
    static const QString KEY_REFLASH_ALLOWED;                   // "ReflashAllowed"
    static const QString KEY_USER_LANGUAGE;                     // "UserLanguage"
    static const QString KEY_LATIN1_COMPARISON_FOR_FASTBOOT;    // "Latin1ComparisonForFastbootEnabled"
    static const QString KEY_SCAN_ON_PLUG_DELAY;                // "SCAN_ON_PLUG_DELAY"
    static const QString KEY_SCAN_ON_UNPLUG_DELAY;              // "SCAN_ON_UNPLUG_DELAY"
    static const QString KEY_FORCE_GPFLAG;                      // "OVERRIDE_GP_FLAG"
    static const QString KEY_GPFLAG;                            // "GP_FLAG"
    static const QString KEY_FORCE_FASTBOOT_SPARSING;           // "FORCE_FASTBOOT_SPARSING"
    static const QString KEY_FASTBOOT_SPARSING_SIZE;            // "FASTBOOT_SPARSING_SIZE"
    static const QString KEY_FORCE_FASTBOOT_VENDOR_ID;          // "FORCE_FASTBOOT_VENDOR_ID"
    static const QString KEY_FASTBOOT_VENDOR_ID;                // "FASTBOOT_VENDOR_ID"
    static const QString KEY_ALWAYS_UNZIP;                      // "ALWAYS_UNZIP_FLAG"
    static const QString KEY_ALWAYS_UNZIP_ARTIFACTORY;          // "ALWAYS_UNZIP_FLAG_ARTIFACTORY"
    static const QString KEY_REMOVE_UNZIPPED_DIR;               // "REMOVE_UNZIPPED_DIR_FLAG"
    static const QString KEY_REMOVE_HISTORY_FLAG;               // "REMOVE_HISTORY_FLAG"
    static const QString KEY_REMOVE_HISTORY_ASK;                // "REMOVE_HISTORY_ASK"
    static const QString KEY_REMOVE_HISTORY_AGE;                // "REMOVE_HISTORY_AGE"
    static const QString KEY_FASTBOOT;                          // "FASTBOOT" (legacy fastboot path)
    static const QString KEY_ADB;                               // "ADB" (legacy adb path)
    static const QString KEY_FIXED_IP;                          // "DEVICE_IP"
    static const QString KEY_SCAN_ETHERNET_DEVICES;             // "SCAN_ETHERNET_DEVICES"
    static const QString KEY_SCAN_USB_DEVICES_ON_PLUG;          // "SCAN_USB_DEVICES_ON_PLUG"
    static const QString KEY_USB_MAP_FILE;                      // "USB_MAP_FILE"
    static const QString KEY_USB_MAP_ENABLED;                   // "USB_MAP_ENABLED"
    static const QString KEY_COMMAND_DELAY;                     // "COMMAND_DELAY"

    // ---- Log and result-file settings: defaults and values in use ----
    static const bool defaultFlashLogResultEnabled;             // false
    static bool flashLogResultEnabled_;
    static QString defaultLogDirectory;                         // ~/.flasher/.log
    static QString logDirectory_;
    static const QString defaultFlashLogResultFileNamePattern;
    static QString flashLogResultFileNamePattern_;
    static const QString defaultFlashLogResultContent;          // XML result template
    static QString flashLogResultContent_;
    static const bool defaultFlashLogResultAppend;              // false
    static bool flashLogResultAppend_;
    static const bool defaultApplicationLogEnabled;             // false
    static bool applicationLogEnabled_;
    static const QString defaultApplicationLogFileNamePattern;
    static QString applicationLogFileNamePattern_;
    static const bool defaultDeviceFlashLogEnabled;             // false
    static bool deviceFlashLogEnabled_;
    static const QString defaultDeviceFlashLogFileNamePattern;
    static QString deviceFlashLogFileNamePattern_;

    // ---- Other settings: defaults and values in use ----
    static bool bReflashAllowed;                                // true
    static QString sSelectedLanguage;                           // "en_US"
    static bool bLatin1ComparisonForFastbootEnabled;            // false
    static unsigned int SCAN_ON_PLUG_DELAY;                     // 500 ms
    static unsigned int SCAN_ON_UNPLUG_DELAY;                   // 100 ms
    static const bool DEFAULT_FORCE_GP_FLAG;                    // false
    static bool FORCE_GP_FLAG;
    static const QString DEFAULT_GP_FLAG;                       // "0x80000045"
    static QString USER_GP_FLAG;
    static const bool DEFAULT_FORCE_FASTBOOT_SPARSING;          // false
    static bool FORCE_FASTBOOT_SPARSING;
    static const int DEFAULT_FASTBOOT_SPARSING_SIZE;            // 100 (megabytes)
    static int FASTBOOT_SPARSING_SIZE;
    static const bool DEFAULT_FORCE_FASTBOOT_VENDOR_ID;         // false
    static bool FORCE_FASTBOOT_VENDOR_ID;
    static const QString DEFAULT_FASTBOOT_VENDOR_ID;            // "0x8087"
    static QString FASTBOOT_VENDOR_ID;
    static const bool DEFAULT_ALWAYS_UNZIP_FLAG;                // true
    static bool ALWAYS_UNZIP_FLAG;
    static const bool DEFAULT_ALWAYS_UNZIP_FLAG_ARTIFACTORY;    // false
    static bool ALWAYS_UNZIP_FLAG_ARTIFACTORY;
    static const bool DEFAULT_REMOVE_UNZIPPED_DIR_FLAG;         // false
    static bool REMOVE_UNZIPPED_DIR_FLAG;
    static const bool DEFAULT_REMOVE_HISTORY_FLAG;              // true
    static bool REMOVE_HISTORY_FLAG;
    static const bool DEFAULT_REMOVE_HISTORY_ASK;               // true
    static bool REMOVE_HISTORY_ASK;
    static const int DEFAULT_REMOVE_HISTORY_AGE;                // 14 (days)
    static int REMOVE_HISTORY_AGE;
    static const bool defaultScanEthernetDevices;               // false
    static bool scanEthernetDevices;
    static const bool defaultScanUSBDevicesOnPlug;              // true
    static bool scanUSBDevicesOnPlug;
    static QString USB_MAP_FILE;                                // empty
    static bool USB_MAP_ENABLED;                                // false
    static uint64_t COMMAND_DELAY;                              // 0 ms

    // ---- Fixed limits and run-time switches (not stored) ----
    static int MAX_THREAD_COUNT;                                // 32 flash pool threads
    static int OS_NO_ENUM;                                      // 180 s to reach the start state
    static int DEVICE_SCAN_PERIOD;                              // 2000 ms between scans
    static constexpr int MAX_REBOOT_NUM = 16;
    static constexpr int REBOOT_TIME_OUT = 10000;               // ms
    static constexpr int MIN_BATT_LEVEL = 20;
    static uint64_t MAX_CACHE_SIZE;                             // 6 GiB
    static uint64_t MIN_DISK_SPACE_WARNING_VALUE;               // 3 GiB
    static bool GUI_ENABLED;                                    // true
    // The desktop face switches these while flash threads read them.
    static std::atomic<bool> USE_DRAVIK_EXTERNAL;               // false
    static std::atomic<bool> USE_DRAVIK_SOLO;                   // false
    static bool bLogInSeparatedTab;                             // false
    static bool bLogDeviceManagerDebug;                         // false
    static const QString FASTBOOT_DNX_PID;                      // "0a65"
    static const QString STATUS_FASTBOOT;                       // "In Fastboot State"
    static const QString STATUS_ANDROID;                        // "In Android System"
    static QString signingSettingsFile;                         // ~/.flasher/.signing
    static QString defaultExternalToolsSettingsFileName;        // ~/.flasher/.externalTools.opt

    // ---- Ethernet device address range: a.b.c.low-high ----
    static const QString defaultDeviceEthernetIpRange;          // "192.168.42.1-2"
    static unsigned char ipDigit1;
    static unsigned char ipDigit2;
    static unsigned char ipDigit3;
    static unsigned char ipDigit4Min;
    static unsigned char ipDigit4Max;

    // ---- XML flash file keywords ----
    static const QString FASTBOOT_SEQ_XML_STRING;      // "string"
    static const QString FASTBOOT_SEQ_XML_TIMEOUT;     // "timeout"
    static const QString FASTBOOT_SEQ_XML_DESCRIPTION; // "description"
    static const QString FASTBOOT_SEQ_XML_RETRY;       // "retry"
    static const QString FASTBOOT_SEQ_XML_MANDATORY;   // "mandatory"
    static const QString FASTBOOT_SEQ_XML_ID;          // "id"
    static const QString FASTBOOT_SEQ_XML_CMD;         // "command"
    static const QString FASTBOOT_SEQ_XML_FRU_CFG;     // "fru_config"
    static const QString FASTBOOT_SEQ_XML_NAME;        // "name"
    static const QString FASTBOOT_SEQ_XML_VALUE;       // "value"
    static const QString FLASH_SEQ_XML_GPFLAG;         // "gpflag"
    static const QString FLASH_SEQ_XML_GPFLAGVALUE;    // "value"
    static const QString FLASH_SEQ_XML_ID;             // "id"
    static const QString FLASH_SEQ_XML_PLATFORM;       // "platform"
    static const QString FLASH_FILE_XML_FILE;          // "file"
    static const QString FLASH_FILE_XML_TYPE;          // "TYPE"
    static const QString FLASH_FILE_XML_NAME;          // "name"
    static const QString TYPE_SYSTEM_STRING;           // "system"
    static const QString TYPE_OTA_STRING;              // "ota"
    static const QString TYPE_FASTBOOT_STRING;         // "fastboot"
    static const QString TYPE_BLANK_STRING;            // "blankphone"
    static const QString TYPE_FASTBOOT_DNX_STRING;     // "fastboot_dnx"
    static const QString TYPE_ADB_STRING;              // "adb"
    static const QString CMD_SEQ_NAME_IFWI;            // "IFWI"
    static const QString CMD_SEQ_NAME_FW_DNX;          // "FW_DNX"
    static const QString CMD_SEQ_NAME_OS_DNX;          // "OS_DNX"
    static const QString CMD_SEQ_NAME_XXR_DNX;         // "XXR_DNX"
    static const QString CMD_SEQ_NAME_SOFT_FUSE;       // "SOFTFUSE"
    static const QString CMD_SEQ_NAME_KBOOT;           // "KBOOT"
    static const QString CMD_SEQ_NAME_KERNEL;          // "KERNEL"
    static const QString CMD_SEQ_NAME_RECOVERY;        // "RECOVERY"
    static const QString CMD_SEQ_NAME_SYSTEM;          // "SYSTEM"
    static const QString CMD_SEQ_NAME_MODEM;           // "MODEM"
    static const QString CMD_SEQ_NAME_MODEM_NVM;       // "MODEM_NVM"
    static const QString CMD_SEQ_NAME_OTA;             // "OTA"

    // ---- Program paths ----
    // Tool ids of the program-based tools whose path has a default.
    static const QString ADB_TOOL_ID;                  // "adb"
    static const QString FASTBOOT_TOOL_ID;             // "fastboot"
    static const QString DFU_TOOL_ID;                  // "dfuDownloader"

    static QString defaultADBCmd_;                     // "adb"
    static QString defaultFastbootCmd_;                // "fastboot"
    static QString defaultDfuDownloaderCmd_;           // "dfu-util"
    static QString default7zCmd_;                      // "7z"
    static QString defaultFlsDownloaderCmd_;           // "downloadTool"
    static QString defaultDldrCmd_;                    // "dldr"
    static QString defaultDldrCliCmd_;                 // "dldrcli"
    static QString defaultJLinkDownloaderCmd_;         // "JLinkExe"
    static QString defaultEventUploaderCmd_;           // "event-uploader"

    // Default program paths: the program beside the executable when it is there and executable,
    // else the program of that name found on PATH, else the path beside the executable (so that
    // messages name where it was expected). Recomputed on every call.
    static const QString& defaultAdbCmd();
    static const QString& defaultFastbootCmd();
    static const QString& defaultDfuDownloaderCmd();
    static const QString& default7zCmd();
    static const QString& defaultFlsDownloaderCmd();
    static const QString& defaultDldrCmd();
    static const QString& defaultDldrCliCmd();

    // The one table of tool programs: tool id -> program path. The loader's tools registry fills it
    // at start-up and makes the user tools command kinds.
    static ToolPathTable& toolPaths();
    // Program path registered for a tool id; empty when none is registered. Any thread.
    static QString getTool(const QString& toolId);
    // Registers `path` for `toolId` when it is an executable file and returns true. Otherwise
    // returns false; adb, fastboot and the DFU downloader then get their default path, other ids
    // keep theirs.
    static bool setTool(const QString& toolId, const QString& path);
    static QString AdbCmd();                           // getTool("adb")
    static QString DfuDownloaderCmd();                 // getTool("dfuDownloader")

    // ---- Setters of the log and result-file settings: memory only, nothing is written ----
    static void setFlashLogResultEnabled(bool enabled);
    static void setLogDirectory(const QString& directory);
    static void setFlashLogResultFileNamePattern(const QString& pattern);
    static void setFlashLogResultContent(const QString& content);
    static void setFlashLogResultAppend(bool append);
    static void setDeviceFlashLogEnabled(bool enabled);
    static void setDeviceFlashLogFileNamePattern(const QString& pattern);
    static void setApplicationLog(bool enabled, const QString& pattern);
    static void setApplicationLogFileNamePattern(const QString& pattern);
    static void setApplicationLogEnabled(bool enabled);

    // ---- Ethernet address range ----
    // "a.b.c.d" or "a.b.c.low-high"; false (with a DEBUG line) and the range unchanged when the
    // text is malformed, a part is above 255, or the range is no usable class A, B or C range.
    static bool setDeviceEthernetIpRange(const QString& range);
    static bool setDeviceEthernetIpRange(unsigned char first, unsigned char second,
                                         unsigned char third, unsigned char low,
                                         unsigned char high);
    // "a.b.c.low-high", the "-high" part always present.
    static QString deviceEthernetIpRange();
    static void deviceEthernetIpRange(unsigned char& first, unsigned char& second,
                                      unsigned char& third, unsigned char& low,
                                      unsigned char& high);

    // Absolute, clean path of `name` in the per-user folder ".flasher" of the current home folder.
    static QString perUserPath(const QString& name);

    // Puts every value back to its default, the per-user paths rebuilt from the current home folder,
    // and forgets the registered tool paths: the state of a freshly loaded program.
    static void resetToDefaults();
};
