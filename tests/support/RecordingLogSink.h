#pragma once

// Log sink for tests: keeps every line it receives (level, source, label, text), from any thread,
// for later checks. Lines of another log (the application's) can be relayed into it under a tag.

#include "platform/log/LoggerInterface.h"

#include <QMutex>
#include <QMutexLocker>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

class RecordingLogSink : public LoggerInterface
{
public:
    struct Line
    {
        Logger::LogLevel level;
        QString source; // the handler that logged the line
        QString label;  // the line's context, else the handler's prefix
        QString text;
        QString tag;    // empty for lines of bound handlers, else the tag given to `relay`
    };

    ~RecordingLogSink() override { unbindAll(); }

    void write(Logger::LogLevel level, QDateTime, const QString& source, const QString& label,
               const QString& text) override
    {
        record({level, source, label, text, QString()});
    }

    // Records a line that did not come through a bound handler.
    void relay(const QString& tag, Logger::LogLevel level, const QString& text)
    {
        record({level, QString(), QString(), text, tag});
    }

    // Called with every line as it is recorded, on the thread that logged it. Set it while no other
    // thread logs into this sink.
    void setOnLine(std::function<void(const Line&)> onLine)
    {
        QMutexLocker locker(&m_mutex);
        m_onLine = std::move(onLine);
    }

    void clear()
    {
        QMutexLocker locker(&m_mutex);
        m_lines.clear();
    }

    std::vector<Line> lines() const
    {
        QMutexLocker locker(&m_mutex);
        return m_lines;
    }

    // Texts of the lines logged at `level`.
    QStringList texts(Logger::LogLevel level) const
    {
        QStringList result;
        for (const Line& line : lines()) {
            if (line.level == level)
                result << line.text;
        }
        return result;
    }

    // Each line as "LEVEL text" ("tag LEVEL text" when relayed), keeping those that start with one
    // of `prefixes` (all lines when none is given).
    QStringList rendered(const QStringList& prefixes = QStringList()) const
    {
        QStringList result;
        for (const Line& line : lines()) {
            const QString text = render(line);
            if (prefixes.isEmpty() || startsWithAny(text, prefixes))
                result << text;
        }
        return result;
    }

    static QString render(const Line& line)
    {
        const QString body = levelName(line.level) + QLatin1Char(' ') + line.text;
        return line.tag.isEmpty() ? body : line.tag + QLatin1Char(' ') + body;
    }

    static QString levelName(int level)
    {
        static const char* const names[] = {"FATAL", "ERROR", "WARNING", "INFO", "DEBUG", "TRACE"};
        return level >= 0 && level < int(sizeof(names) / sizeof(names[0])) ? QLatin1String(names[level])
                                                                          : QStringLiteral("?");
    }

private:
    static bool startsWithAny(const QString& text, const QStringList& prefixes)
    {
        for (const QString& prefix : prefixes) {
            if (text.startsWith(prefix))
                return true;
        }
        return false;
    }

    void record(const Line& line)
    {
        std::function<void(const Line&)> onLine;
        {
            QMutexLocker locker(&m_mutex);
            m_lines.push_back(line);
            onLine = m_onLine;
        }
        if (onLine)
            onLine(line);
    }

    mutable QMutex m_mutex;
    std::vector<Line> m_lines;
    std::function<void(const Line&)> m_onLine;
};
