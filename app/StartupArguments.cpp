#include "app/StartupArguments.h"

#include "core/LogLevel.h"

#include <QtGlobal>

#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

// The level of the leading digits of `text`; INFO when it does not start with a digit.
int leadingLevel(const char* text)
{
    if (text == nullptr || *text < '0' || *text > '9')
        return INFO;
    // Clamped to int: the application log turns any level above TRACE into TRACE anyway.
    return int(qBound<long>(INT_MIN, std::strtol(text, nullptr, 10), INT_MAX));
}

} // namespace

bool StartupArguments::isCliRequested(int argc, char** argv)
{
    for (int index = 1; index < argc; ++index) {
        if (std::strcmp(argv[index], "--cli") == 0)
            return true;
    }
    return false;
}

bool StartupArguments::isDebugLogRequested(const QStringList& arguments)
{
    return arguments.contains(QStringLiteral("--debuglog")) || arguments.contains(QStringLiteral("--debug-log"));
}

StartupArguments::SingleAction StartupArguments::singleAction(const QStringList& arguments)
{
    if (arguments.contains(QStringLiteral("--version")))
        return SingleAction::Version;
    if (arguments.contains(QStringLiteral("--help")) || arguments.contains(QStringLiteral("-h")))
        return SingleAction::Help;
    if (arguments.contains(QStringLiteral("--get-error-code")))
        return SingleAction::ErrorCode;
    return SingleAction::None;
}

bool StartupArguments::errorCodeArgument(const QStringList& arguments, QString& value)
{
    const int index = arguments.indexOf(QStringLiteral("--get-error-code"));
    if (index < 0 || index + 1 >= arguments.size())
        return false;
    value = arguments.at(index + 1);
    return true;
}

QList<int> StartupArguments::logLevels(int argc, char** argv)
{
    QList<int> levels;
    for (int index = 0; index < argc; ++index) {
        if (std::strncmp(argv[index], "-l", 2) != 0)
            continue;
        if (argv[index][2] != '\0')
            levels << leadingLevel(argv[index] + 2);
        else
            levels << leadingLevel(index + 1 < argc ? argv[index + 1] : nullptr);
    }
    return levels;
}

int StartupArguments::deviceManagerLogLevel(const QStringList& arguments)
{
    const int index = arguments.indexOf(QStringLiteral("--device-mgr-log-level"));
    if (index < 0)
        return INFO;
    bool ok = false;
    const int level = index + 1 < arguments.size() ? arguments.at(index + 1).toInt(&ok, 10) : TRACE;
    return ok && level >= FATAL && level <= TRACE ? level : TRACE;
}
