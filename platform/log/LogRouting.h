#pragma once

// Inside of the logging library, shared by its handlers and sinks (not for other code): the
// routing mutex and the links between handlers and sinks. Every field of LogHandler::Links and the
// sink table are read and written only under the routing mutex, except the atomic filter level.

#include "platform/log/LogHandler.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <atomic>
#include <mutex>

struct LogHandler::Links
{
    QString name;
    QString description;
    QString prefix;
    std::atomic<int> filterLevel{Logger::TRACE};
    QList<const LogHandler*> targets; // handlers this one forwards its lines to
    QList<const LogHandler*> sources; // handlers that forward their lines to this one
    QList<LoggerInterface*> sinks;
};

namespace LogRouting {

// Recursive: a sink may log again from inside `write` on the same thread.
std::recursive_mutex& mutex();
// Handlers each sink is bound to, so that a deleted sink can be unbound everywhere.
QHash<const LoggerInterface*, QSet<const LogHandler*>>& sinkBindings();
// True while the calling thread delivers a line to a sink.
bool isDelivering();

} // namespace LogRouting
