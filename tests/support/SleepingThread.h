#pragma once

// Tells when another thread of this process sleeps in the kernel (state "S" in /proc): a thread
// that made a blocking queued call sleeps from right after its call was posted until the call is
// answered, so a busy thread can know a call waits in its queue without handling a single event.
// Linux only; header-only; any thread.

#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <atomic>

#include <unistd.h>

namespace SleepingThread {

// The kernel's id of the calling thread, to hand to the thread that watches it.
inline pid_t currentId()
{
    return ::gettid();
}

inline bool isAsleep(pid_t id)
{
    QFile stat(QStringLiteral("/proc/self/task/%1/stat").arg(id));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    // "<tid> (<name>) <state> ...": the name may hold blanks and parentheses.
    const QByteArray line = stat.readAll();
    const int nameEnd = line.lastIndexOf(')');
    return nameEnd >= 0 && line.mid(nameEnd + 2, 1) == "S";
}

// Polls, without handling events, until the thread whose id `id` receives (from the thread itself,
// through currentId()) has slept for `steadyMs` on end: a short sleep on a lock on its way is not
// the wait. False when that did not happen within `timeoutMs`.
inline bool waitUntilAsleep(const std::atomic<pid_t>& id, int steadyMs = 100, int timeoutMs = 30000)
{
    QElapsedTimer clock;
    clock.start();
    QElapsedTimer asleep;
    while (clock.elapsed() < timeoutMs) {
        if (id == 0 || !isAsleep(id))
            asleep.invalidate();
        else if (!asleep.isValid())
            asleep.start();
        else if (asleep.elapsed() >= steadyMs)
            return true;
        QThread::msleep(5);
    }
    return false;
}

} // namespace SleepingThread
