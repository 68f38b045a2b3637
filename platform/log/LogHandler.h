#pragma once

// One log channel: a name, a prefix that labels its lines, a filter level, the sinks
// (LoggerInterface) bound to it and the handlers it forwards to. A line logged here reaches every
// sink bound to this handler or to a handler it forwards to, each sink once.
// Owned by its LoggedObject (or created alone, like LogQDebugHandler); usable from any thread.

#include "platform/log/Logger.h"

#include <QList>
#include <QString>

class LoggerInterface;

class LogHandler
{
public:
    explicit LogHandler(const QString& name = QString(), const QString& description = QString());
    // Unbinds every sink and every handler bound to or from this one.
    virtual ~LogHandler();

    LogHandler(const LogHandler&) = delete;
    LogHandler& operator=(const LogHandler&) = delete;

    QString getName() const;
    void setName(const QString& name);
    QString getDescription() const;

    // The label of this handler's lines ("Port 1-2"); empty: the label of the nearest handler
    // this one forwards to.
    QString getPrefix() const;
    void setPrefix(const QString& prefix);

    // Lines above this level are dropped on their way through this handler (sinks that switched
    // the filter off with LoggerInterface::useLogFilterLevel(false) still get them).
    // TRACE after construction: nothing is filtered.
    int getFilterLevel() const;
    void setFilterLevel(int level);

    void logMessage(Logger::LogLevel level, const QString& text) const;
    void logMessage(Logger::LogLevel level, const char* text) const;
    // A line about one subject: `context` ("Port 1-2") labels the line instead of the prefix.
    void logMessage(Logger::LogLevel level, const QString& context, const QString& text) const;
    // True when a line at `level` logged here would reach at least one sink: a caller skips
    // building a costly text that nobody would receive.
    bool isDelivered(Logger::LogLevel level) const;

    // After the call, lines logged through `source` also go where this handler's lines go.
    void bindHandler(const LogHandler& source) const;
    void unbindHandler(const LogHandler& source) const;

private:
    friend class LoggerInterface;

    // Where a line at one level goes: the sinks that receive it, and the nearest name and prefix.
    struct Route
    {
        QList<LoggerInterface*> receivers;
        QString name;
        QString prefix;
    };
    // Under the routing mutex.
    Route route(Logger::LogLevel level) const;

    struct Links;
    Links* m_links; // guarded by the library's routing mutex
};
