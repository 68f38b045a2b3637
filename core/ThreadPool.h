#pragma once

// QThreadPool whose queued, not yet started tasks can be withdrawn. A withdrawn task never runs; an
// auto-delete one is deleted by the withdrawing call. Owned by its creator; callable from any thread.

#include <QMutex>
#include <QObject>
#include <QRunnable>
#include <QThreadPool>

#include <cstdint>
#include <map>

class ThreadPool : public QObject
{
    Q_OBJECT

public:
    ThreadPool();
    // Withdraws the queued tasks and waits for the running ones.
    ~ThreadPool() override;

    // False for a null task or one that is still queued.
    bool start(QRunnable* task, int64_t priority = 0);
    // True when the task was queued and is now withdrawn; false when absent, running or done.
    bool removeTask(QRunnable* task);
    void removeAll();
    void setMaxThreadCount(unsigned int count);
    unsigned int maxThreadCount() const;
    void waitForFinish();

private:
    class QueueItemData;

    // Lock held by the caller. Withdraws the entry's task (deleting an auto-delete one); false when
    // the entry holds none any more.
    bool withdrawLocked(std::map<QRunnable*, QueueItemData*>::iterator entry);
    // Called by a queue item as a pool thread starts it: from then on its task cannot be withdrawn.
    // Returns the task to run, null when it was withdrawn.
    QRunnable* removeItem(QueueItemData* item);

    std::map<QRunnable*, QueueItemData*> m_tasks;
    QThreadPool m_pool;
    unsigned int m_maxThreadCount;
    QMutex m_mutex;
};
