#pragma once

// A sink that keeps every line it is given; safe to write from many threads.

#include "platform/log/LoggerInterface.h"

#include <QList>

#include <mutex>

struct LogRecord
{
    int level;
    QString name;
    QString label;
    QString text;
};

class RecordingSink : public LoggerInterface
{
public:
    void write(Logger::LogLevel level, QDateTime, const QString& first, const QString& second,
               const QString& third) override
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_records.append({level, first, second, third});
    }

    QList<LogRecord> records() const
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_records;
    }

    QStringList texts() const
    {
        QStringList texts;
        for (const LogRecord& record : records())
            texts.append(record.text);
        return texts;
    }

private:
    mutable std::mutex m_mutex;
    QList<LogRecord> m_records;
};
