#pragma once

// The work that keeps threads inside one download item: tasks queued in a pool, a transfer or a
// post-processing under way. Shared between the item and each running piece of work, so that the
// last notice of a run never touches an item that its waiter has freed meanwhile. Thread-safe.

#include <QList>
#include <QMutex>

#include <memory>

class QEventLoop;
class QThread;

class ItemWork
{
public:
    // One piece of work on the current thread, from construction to destruction; its end balances
    // one queued().
    class Scope
    {
    public:
        explicit Scope(std::shared_ptr<ItemWork> work);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        std::shared_ptr<ItemWork> m_work;
    };

    void queued();
    // A queued piece of work that will never run.
    void withdrawn();
    bool isBusy() const;
    // True while `thread` runs a Scope of this work (a receiver of its end called on that thread).
    bool isWorkingIn(QThread* thread) const;
    // Returns once no work is left, delivering the calling thread's events meanwhile.
    void waitUntilIdle();

private:
    void finishOne(QThread* workingThread);

    mutable QMutex m_mutex;
    int m_pending = 0;
    QList<QThread*> m_workingThreads;
    QList<QEventLoop*> m_waiters; // each in its own thread, woken by a queued quit
};
