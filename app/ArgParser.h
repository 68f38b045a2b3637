#pragma once

// The option parser of the command-line face: turns the argument vector into one Options record,
// checks what can be checked without a flash file and returns a status. On the way it applies the
// log level, the adb and fastboot paths and a few FMConst switches. Its messages go to the
// application log. Main thread only; it uses the process-wide state of getopt_long.

#include "loader/ToolConst.h"

#include <QMap>
#include <QString>

#include <cstdint>

class ArgParser
{
public:
    // What the command line asks of one run. Fields that generateTask does not reset keep the
    // values of the constructor.
    struct Options
    {
        Options();

        // False, with an ERROR line, when a product id comes without a vendor id or the flash file
        // does not exist; a run without a flash file is valid (the parser reported it already).
        bool isValid() const;

        QString flashFile;                     // file or archive; "none" under --clean-emmc
        QString flashFileName;                 // flash file inside an archive
        QString configuration;                 // configuration id of -c
        QMap<QString, bool> groupsState;       // group id -> enabled
        QMap<QString, QString> parameterValues; // parameter id -> value key or value
        uint16_t vid = 0;                      // 0: no vendor filter
        uint16_t pid = 0;                      // 0: no product filter
        QString osSerialNumber;
        QString socSerialNumber;
        QString fwDnx;
        QString fwImage;
        int reboot = 1;                        // reboot connected devices: 0 off, else on
        QString fruValue;                      // null: not given
        int timeoutMinutes = ToolConst::DEFAULT_CLI_TIMEOUT; // global time-out; 0 or less: none
        uint64_t deviceDetectionTimeout = UINT64_MAX; // ms; all bits set: none
        QString buildInfoOutput;               // build information file; no option sets it
        bool skipFlash = false;
        bool alwaysUnzip = false;
        bool cleanEmmc = false;
        bool debugLog = false;                 // read by the program entry, not by the flow
        int deviceMgrLogLevel = 3;             // filter level of the device manager's log, 0..5
    };

    // Results of generateTask besides the QlnErrorCode values 11, 12, 13, 14 and 18.
    enum Result { Proceed = 0, UsageShown = 1 };

    ArgParser() = delete;

    // Parses argv (argv[0] is the program) into `options` and checks it. Proceed; UsageShown when
    // -h/--help was given or no flash file was named (the usage text is logged); else the error
    // code of the first failing option, after its message: an unknown option is one (11), and so is
    // a flash file that exists but is no regular file (14). GNU getopt may reorder argv.
    static int generateTask(int argc, char** argv, Options& options);

    // Reads a log level (decimal, 0x hexadecimal or 0 octal) and applies it to the application log,
    // clamped to 0..5 with a warning. False, level unchanged, when `text` is not a number.
    static bool setLogLevel(const char* text);
};
