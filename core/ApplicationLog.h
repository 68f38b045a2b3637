#pragma once

// The application's own log channel, for lines about no device and no flash (a flash file that
// does not load, a settings file that cannot be written). Its lines take the same route as every
// other channel's, through the logging library into the application log, unlabelled.

#include "core/LogLevel.h"
#include "platform/log/LoggedObject.h"

#include <memory>

class LoggerBridge;

class ApplicationLog : public LoggedObject
{
public:
    // Created on first use, from any thread; lives until the program ends.
    static const ApplicationLog& instance();
    // Shorthand for instance().logMessage(level, text).
    static void write(LOGLEVEL level, const QString& text);

private:
    ApplicationLog();
    ~ApplicationLog() override;

    std::unique_ptr<LoggerBridge> m_bridge;
};
