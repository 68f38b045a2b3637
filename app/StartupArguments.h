#pragma once

// What the program entry reads from the command line by itself, before and beside the option
// parser: the face (--cli), the Qt debug switch, the single actions, the log levels of -l, and the
// device manager's log level that the application class sets. Static only.

#include <QList>
#include <QStringList>

class StartupArguments
{
public:
    enum class SingleAction { None, Version, Help, ErrorCode };

    StartupArguments() = delete;

    // True when an argument after the program name is exactly "--cli".
    static bool isCliRequested(int argc, char** argv);
    // True for "--debuglog" or "--debug-log" anywhere in `arguments`.
    static bool isDebugLogRequested(const QStringList& arguments);

    // The first single action present, tested in the order --version, --help/-h, --get-error-code.
    static SingleAction singleAction(const QStringList& arguments);
    // The argument after the first "--get-error-code"; false when there is none.
    static bool errorCodeArgument(const QStringList& arguments, QString& value);

    // One level for every argument that begins with "-l", in order (the last one wins): "-l" takes
    // the leading digits of the next argument, "-l<text>" those of <text>, 3 when there are none.
    static QList<int> logLevels(int argc, char** argv);

    // Filter level of the device manager's log: 3 without "--device-mgr-log-level"; the next
    // argument when it is a number from 0 to 5; else 5.
    static int deviceManagerLogLevel(const QStringList& arguments);
};
