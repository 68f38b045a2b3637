#include "platform/log/LogHandler.h"

#include "platform/log/LogRouting.h"
#include "platform/log/LoggerInterface.h"

#include <QDateTime>

#include <algorithm>

namespace {

// Depth of line deliveries on this thread. A sink that logs from its `write` re-enters the
// library; beyond this depth such lines are dropped instead of recursing without end.
thread_local int t_deliveryDepth = 0;
constexpr int kMaxDeliveryDepth = 4;

bool isKnownLevel(int level)
{
    return level >= Logger::FATAL && level <= Logger::TRACE;
}

struct DepthGuard
{
    DepthGuard() { ++t_deliveryDepth; }
    ~DepthGuard() { --t_deliveryDepth; }
};

} // namespace

std::recursive_mutex& LogRouting::mutex()
{
    static std::recursive_mutex routingMutex;
    return routingMutex;
}

QHash<const LoggerInterface*, QSet<const LogHandler*>>& LogRouting::sinkBindings()
{
    static QHash<const LoggerInterface*, QSet<const LogHandler*>> bindings;
    return bindings;
}

bool LogRouting::isDelivering()
{
    return t_deliveryDepth > 0;
}

LogHandler::LogHandler(const QString& name, const QString& description)
    : m_links(new Links)
{
    m_links->name = name;
    m_links->description = description;
}

LogHandler::~LogHandler()
{
    const std::lock_guard<std::recursive_mutex> lock(LogRouting::mutex());
    for (const LogHandler* target : qAsConst(m_links->targets))
        target->m_links->sources.removeAll(this);
    for (const LogHandler* source : qAsConst(m_links->sources))
        source->m_links->targets.removeAll(this);
    auto& bindings = LogRouting::sinkBindings();
    for (LoggerInterface* sink : qAsConst(m_links->sinks)) {
        const auto found = bindings.find(sink);
        if (found == bindings.end())
            continue;
        found->remove(this);
        if (found->isEmpty())
            bindings.erase(found);
    }
    delete m_links;
}

QString LogHandler::getName() const
{
    const std::lock_guard<std::recursive_mutex> lock(LogRouting::mutex());
    return m_links->name;
}

void LogHandler::setName(const QString& name)
{
    const std::lock_guard<std::recursive_mutex> lock(LogRouting::mutex());
    m_links->name = name;
}

QString LogHandler::getDescription() const
{
    const std::lock_guard<std::recursive_mutex> lock(LogRouting::mutex());
    return m_links->description;
}

QString LogHandler::getPrefix() const
{
    const std::lock_guard<std::recursive_mutex> lock(LogRouting::mutex());
    return m_links->prefix;
}

void LogHandler::setPrefix(const QString& prefix)
{
    const std::lock_guard<std::recursive_mutex> lock(LogRouting::mutex());
    m_links->prefix = prefix;
}

int LogHandler::getFilterLevel() const
{
    return m_links->filterLevel.load();
}

void LogHandler::setFilterLevel(int level)
{
    m_links->filterLevel.store(level);
}

void LogHandler::logMessage(Logger::LogLevel level, const QString& text) const
{
    logMessage(level, QString(), text);
}

void LogHandler::logMessage(Logger::LogLevel level, const char* text) const
{
    logMessage(level, QString(), QString::fromUtf8(text));
}

bool LogHandler::isDelivered(Logger::LogLevel level) const
{
    const std::lock_guard<std::recursive_mutex> lock(LogRouting::mutex());
    return !route(level).receivers.isEmpty();
}

LogHandler::Route LogHandler::route(Logger::LogLevel level) const
{
    // Walk the handlers a line reaches, breadth first so the nearest prefix and name win.
    // Each handler keeps the most permissive filter limit over the paths that reach it.
    QList<const LogHandler*> reached{this};
    QHash<const LogHandler*, int> limits{{this, m_links->filterLevel.load()}};
    for (int index = 0; index < reached.size(); ++index) {
        const LogHandler* handler = reached.at(index);
        const int limit = limits.value(handler);
        for (const LogHandler* target : qAsConst(handler->m_links->targets)) {
            const int targetLimit = std::min(limit, target->m_links->filterLevel.load());
            const auto known = limits.find(target);
            if (known == limits.end()) {
                limits.insert(target, targetLimit);
                reached.append(target);
            } else if (*known < targetLimit) {
                // A more permissive path to a handler already walked: walk on from it again.
                *known = targetLimit;
                reached.append(target);
            }
        }
    }

    Route route;
    for (const LogHandler* handler : qAsConst(reached)) {
        if (route.name.isEmpty())
            route.name = handler->m_links->name;
        if (route.prefix.isEmpty())
            route.prefix = handler->m_links->prefix;
        const bool passes = !isKnownLevel(level) || level <= limits.value(handler);
        for (LoggerInterface* sink : qAsConst(handler->m_links->sinks)) {
            if ((passes || !sink->isUsingLogFilterLevel()) && !route.receivers.contains(sink))
                route.receivers.append(sink);
        }
    }
    return route;
}

void LogHandler::logMessage(Logger::LogLevel level, const QString& context, const QString& text) const
{
    if (t_deliveryDepth >= kMaxDeliveryDepth)
        return;
    const std::lock_guard<std::recursive_mutex> lock(LogRouting::mutex());
    // Taken under the lock, so that the times of the lines follow their order.
    const QDateTime time = QDateTime::currentDateTime();
    const Route lineRoute = route(level);
    QString label = context;
    if (label.isEmpty())
        label = lineRoute.prefix;
    else if (!m_links->prefix.isEmpty())
        label = m_links->prefix + QLatin1Char(' ') + context;

    DepthGuard depth;
    for (LoggerInterface* sink : lineRoute.receivers)
        sink->write(level, time, lineRoute.name, label, text);
}

void LogHandler::bindHandler(const LogHandler& source) const
{
    if (&source == this)
        return;
    const std::lock_guard<std::recursive_mutex> lock(LogRouting::mutex());
    if (source.m_links->targets.contains(this))
        return;
    source.m_links->targets.append(this);
    m_links->sources.append(&source);
}

void LogHandler::unbindHandler(const LogHandler& source) const
{
    const std::lock_guard<std::recursive_mutex> lock(LogRouting::mutex());
    source.m_links->targets.removeAll(this);
    m_links->sources.removeAll(&source);
}
