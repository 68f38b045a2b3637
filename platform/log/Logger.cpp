#include "platform/log/Logger.h"

void Logger::registerMetaTypes()
{
    qRegisterMetaType<Logger::LogLevel>("Logger::LogLevel");
}
