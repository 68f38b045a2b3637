#pragma once

// A log handler fed by Qt's own messages (qDebug, qWarning, ...): while it exists it is Qt's
// message handler, and every Qt message becomes a line of this handler (debug DEBUG, info INFO,
// warning WARNING, critical ERROR, fatal FATAL). The previous Qt handler is restored when it is
// deleted. Created by the entry point and bound to the application log.

#include "platform/log/LogHandler.h"

#include <QString>
#include <QtGlobal>

#include <atomic>

class LogQDebugHandler : public LogHandler
{
public:
    LogQDebugHandler(const QString& name, const QString& description);
    ~LogQDebugHandler() override;

    // Silent: Qt's messages are not logged here but handed to the Qt handler installed before
    // this one. Off after construction.
    void setSilentModeEnabled(bool silent);

private:
    static void onQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& text);

    QtMessageHandler m_previous;
    LogQDebugHandler* m_previousInstance;
    std::atomic<bool> m_silent{false};
};
