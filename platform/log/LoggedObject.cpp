#include "platform/log/LoggedObject.h"

LoggedObject::LoggedObject()
    : m_handler(new LogHandler)
{
}

LoggedObject::LoggedObject(const QString& name)
    : m_handler(new LogHandler(name))
{
}

LoggedObject::~LoggedObject() = default;

LogHandler* LoggedObject::getLogHandler() const
{
    return m_handler.get();
}

void LoggedObject::bindLogHandlers(const LoggedObject& other) const
{
    m_handler->bindHandler(*other.m_handler);
}

void LoggedObject::unbindLogHandlers(const LoggedObject& other) const
{
    m_handler->unbindHandler(*other.m_handler);
}

void LoggedObject::logMessage(Logger::LogLevel level, const QString& text) const
{
    m_handler->logMessage(level, text);
}

void LoggedObject::logMessage(Logger::LogLevel level, const char* text) const
{
    m_handler->logMessage(level, text);
}

void LoggedObject::logMessage(Logger::LogLevel level, const QString& context, const QString& text) const
{
    m_handler->logMessage(level, context, text);
}
