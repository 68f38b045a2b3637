#include "platform/log/LoggerInterface.h"

#include "platform/log/LogHandler.h"
#include "platform/log/LogRouting.h"
#include "platform/log/LoggedObject.h"


LoggerInterface::LoggerInterface(QObject* parent)
    : QObject(parent)
{
}

LoggerInterface::~LoggerInterface()
{
    unbindAll();
}

void LoggerInterface::unbindAll()
{
    // Lines are written under the same lock: taking it waits for a write in progress.
    const std::lock_guard<std::recursive_mutex> lock(LogRouting::mutex());
    const QSet<const LogHandler*> handlers = LogRouting::sinkBindings().take(this);
    for (const LogHandler* handler : handlers)
        handler->m_links->sinks.removeAll(this);
}

void LoggerInterface::bind(const LogHandler& handler)
{
    const std::lock_guard<std::recursive_mutex> lock(LogRouting::mutex());
    if (handler.m_links->sinks.contains(this))
        return;
    handler.m_links->sinks.append(this);
    LogRouting::sinkBindings()[this].insert(&handler);
}

void LoggerInterface::bind(const LoggedObject& object)
{
    bind(*object.getLogHandler());
}

void LoggerInterface::unbind(const LogHandler& handler)
{
    const std::lock_guard<std::recursive_mutex> lock(LogRouting::mutex());
    handler.m_links->sinks.removeAll(this);
    auto& bindings = LogRouting::sinkBindings();
    const auto found = bindings.find(this);
    if (found == bindings.end())
        return;
    found->remove(&handler);
    if (found->isEmpty())
        bindings.erase(found);
}

void LoggerInterface::unbind(const LoggedObject& object)
{
    unbind(*object.getLogHandler());
}

bool LoggerInterface::isUsingLogFilterLevel() const
{
    return m_useFilterLevel.load();
}

void LoggerInterface::useLogFilterLevel(bool use)
{
    m_useFilterLevel.store(use);
}
