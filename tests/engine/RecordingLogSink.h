#pragma once

// Log sink for tests: keeps every line it receives (level, label, text) for later checks.

#include "platform/log/LoggerInterface.h"

#include <QMutex>
#include <QMutexLocker>
#include <QString>
#include <QStringList>

#include <vector>

class RecordingLogSink : public LoggerInterface
{
public:
    struct Line
    {
        Logger::LogLevel level;
        QString label;
        QString text;
    };

    void write(Logger::LogLevel level, QDateTime, const QString&, const QString& label,
               const QString& text) override
    {
        QMutexLocker locker(&m_mutex);
        m_lines.push_back({level, label, text});
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

private:
    mutable QMutex m_mutex;
    std::vector<Line> m_lines;
};
