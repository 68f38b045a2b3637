#pragma once

// Level of an application log message; smaller is more severe. The logging library's levels use
// the same numbers. Deliberately a plain enumeration: callers write both INFO and LOGLEVEL::INFO,
// and a level read from settings or the command line converts with LOGLEVEL(number).

#include <QMetaType>

enum LOGLEVEL : int {
    FATAL = 0,
    ERROR = 1,
    WARNING = 2,
    INFO = 3,
    DEBUG = 4,
    TRACE = 5,
};

Q_DECLARE_METATYPE(LOGLEVEL)
