#pragma once

// Records the lines of the application log while it lives, as "LEVEL|text", for tests that check
// exactly what an operator reads.

#include "core/MessageHandler.h"

#include <QMetaObject>
#include <QStringList>

class RecordedLog
{
public:
    RecordedLog()
    {
        MessageHandler* handler = MessageHandler::instance();
        m_connection = QObject::connect(handler, &MessageHandler::newLog, handler,
                                        [this, handler](LOGLEVEL level, const QString&, const QString& text) {
                                            m_lines << handler->getLogLevelStr(level) + '|' + text;
                                        },
                                        Qt::DirectConnection);
    }
    ~RecordedLog() { QObject::disconnect(m_connection); }
    RecordedLog(const RecordedLog&) = delete;
    RecordedLog& operator=(const RecordedLog&) = delete;

    const QStringList& lines() const { return m_lines; }
    // The texts of the lines of `level` ("ERROR", "TRACE", ...).
    QStringList at(const QString& level) const
    {
        QStringList texts;
        for (const QString& line : m_lines) {
            if (line.startsWith(level + QLatin1Char('|')))
                texts << line.mid(level.size() + 1);
        }
        return texts;
    }

private:
    QMetaObject::Connection m_connection;
    QStringList m_lines;
};
