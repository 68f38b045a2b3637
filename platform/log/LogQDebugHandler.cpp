#include "platform/log/LogQDebugHandler.h"

#include "platform/log/LogRouting.h"


namespace {

// The handler that receives Qt's messages now; guarded by the routing mutex.
LogQDebugHandler* s_current = nullptr;

Logger::LogLevel levelOf(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return Logger::DEBUG;
    case QtInfoMsg:
        return Logger::INFO;
    case QtWarningMsg:
        return Logger::WARNING;
    case QtCriticalMsg:
        return Logger::ERROR;
    case QtFatalMsg:
        return Logger::FATAL;
    }
    return Logger::DEBUG;
}

} // namespace

LogQDebugHandler::LogQDebugHandler(const QString& name, const QString& description)
    : LogHandler(name, description)
{
    const std::lock_guard<std::recursive_mutex> lock(LogRouting::mutex());
    m_previousInstance = s_current;
    s_current = this;
    m_previous = qInstallMessageHandler(&LogQDebugHandler::onQtMessage);
}

LogQDebugHandler::~LogQDebugHandler()
{
    const std::lock_guard<std::recursive_mutex> lock(LogRouting::mutex());
    if (s_current == this) {
        qInstallMessageHandler(m_previous);
        s_current = m_previousInstance;
        return;
    }
    // Deleted before a handler created after it: unlink it from that handler's chain, so that
    // the later handler restores what was there before this one, never a deleted handler.
    for (LogQDebugHandler* later = s_current; later; later = later->m_previousInstance) {
        if (later->m_previousInstance == this) {
            later->m_previousInstance = m_previousInstance;
            later->m_previous = m_previous;
            return;
        }
    }
}

void LogQDebugHandler::setSilentModeEnabled(bool silent)
{
    m_silent = silent;
}

void LogQDebugHandler::onQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    const std::lock_guard<std::recursive_mutex> lock(LogRouting::mutex());
    LogQDebugHandler* current = s_current;
    if (!current)
        return;
    // A Qt message raised while this thread hands a line to a sink (a sink's own qWarning) would
    // come back into the sink that raised it: give it to the previous Qt handler instead.
    if (LogRouting::isDelivering() || current->m_silent) {
        if (current->m_previous)
            current->m_previous(type, context, text);
        return;
    }
    current->logMessage(levelOf(type), text);
}
