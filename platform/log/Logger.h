#pragma once

// Levels of the logging library; smaller is more severe. The numbers equal the application log's
// LOGLEVEL, so a level converts by number in both directions.

#include <QMetaType>

namespace Logger {

// A plain enumeration on purpose: levels are stored, compared and converted as numbers.
// The capitalised names are aliases of the same values.
enum LogLevel : int {
    FATAL = 0,
    ERROR = 1,
    WARNING = 2,
    INFO = 3,
    DEBUG = 4,
    TRACE = 5,

    Fatal = FATAL,
    Error = ERROR,
    Warning = WARNING,
    Info = INFO,
    Debug = DEBUG,
    Trace = TRACE,
};

// Registers "Logger::LogLevel" for queued signals; call once at start-up, before any connect.
void registerMetaTypes();

} // namespace Logger

Q_DECLARE_METATYPE(Logger::LogLevel)
