#include "core/ApplicationLog.h"

#include "core/LoggerBridge.h"

ApplicationLog::ApplicationLog()
    : LoggedObject(QStringLiteral("Application"))
    , m_bridge(std::make_unique<LoggerBridge>())
{
    m_bridge->bind(*getLogHandler());
}

ApplicationLog::~ApplicationLog() = default;

const ApplicationLog& ApplicationLog::instance()
{
    // Never destroyed: lines logged while other statics are torn down still find their way.
    static const ApplicationLog* const log = new ApplicationLog;
    return *log;
}

void ApplicationLog::write(LOGLEVEL level, const QString& text)
{
    instance().logMessage(Logger::LogLevel(int(level)), text);
}
