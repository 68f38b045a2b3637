#pragma once

// Mix-in that gives a class its own log channel (a LogHandler). Derive from it next to QObject or
// a widget; the handler lives and dies with the object. Thread-safe like LogHandler.

#include "platform/log/LogHandler.h"
#include "platform/log/Logger.h"

#include <QString>

#include <memory>

class LoggedObject
{
public:
    LoggedObject();
    // `name` names the handler ("Flash Manager"); it travels to the sinks with every line.
    explicit LoggedObject(const QString& name);
    virtual ~LoggedObject();

    LoggedObject(const LoggedObject&) = delete;
    LoggedObject& operator=(const LoggedObject&) = delete;

    LogHandler* getLogHandler() const;

    // After the call, `other` logs through this object's handlers: its lines reach the sinks of
    // this object (and of whatever this object is bound to).
    void bindLogHandlers(const LoggedObject& other) const;
    void unbindLogHandlers(const LoggedObject& other) const;

    // Shorthands for getLogHandler()->logMessage(...).
    void logMessage(Logger::LogLevel level, const QString& text) const;
    void logMessage(Logger::LogLevel level, const char* text) const;
    void logMessage(Logger::LogLevel level, const QString& context, const QString& text) const;

private:
    std::unique_ptr<LogHandler> m_handler;
};
