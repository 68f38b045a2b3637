#include "core/LoggerBridge.h"

#include "core/MessageHandler.h"

LoggerBridge::LoggerBridge(QObject* parent)
    : LoggerInterface(parent)
{
}

LoggerBridge::~LoggerBridge()
{
    unbindAll();
}

void LoggerBridge::write(Logger::LogLevel level, QDateTime /*time*/, const QString& /*first*/,
                         const QString& second, const QString& third)
{
    // Same numbers on both sides; a level the application log does not know is logged as FATAL.
    const int number = int(level);
    const LOGLEVEL logLevel = (number >= FATAL && number <= TRACE) ? LOGLEVEL(number) : FATAL;
    const QString text = second.isEmpty() ? third : QLatin1Char('[') + second + QStringLiteral("] ") + third;
    MessageHandler::instance()->logMessage(logLevel, text);
}
