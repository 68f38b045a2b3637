#include "core/ThreadPool.h"

#include <QMutexLocker>
#include <QThread>
#include <QtDebug>

#include <limits>

// What the platform pool queues in place of a task: it stays in the pool's queue after a withdrawal
// and then runs as a no-op. The platform pool deletes it after running it.
class ThreadPool::QueueItemData : public QRunnable
{
public:
    QueueItemData(QRunnable* task, ThreadPool* pool)
        : m_task(task)
        , m_pool(pool)
    {
        setAutoDelete(true);
    }

    void run() override
    {
        QRunnable* task = m_pool->removeItem(this);
        if (task == nullptr)
            return;
        const bool deleteAfterRun = task->autoDelete();
        task->run();
        if (deleteAfterRun)
            delete task;
    }

    QRunnable* m_task;   // null once withdrawn; guarded by the pool's mutex

private:
    ThreadPool* m_pool;
};

ThreadPool::ThreadPool()
    : m_maxThreadCount(static_cast<unsigned int>(QThread::idealThreadCount()))
{
}

ThreadPool::~ThreadPool()
{
    qDebug() << "destructor threadPool ...";
    m_pool.setExpiryTimeout(0);
    removeAll();
    m_pool.waitForDone();
    qDebug() << "destructor threadPool OK";
}

bool ThreadPool::start(QRunnable* task, int64_t priority)
{
    if (task == nullptr)
        return false;
    QueueItemData* item = nullptr;
    {
        QMutexLocker locker(&m_mutex);
        if (m_tasks.count(task) != 0)
            return false;
        item = new QueueItemData(task, this);
        m_tasks.emplace(task, item);
    }
    const int64_t bounded = qBound<int64_t>(std::numeric_limits<int>::min(), priority,
                                            std::numeric_limits<int>::max());
    m_pool.start(item, static_cast<int>(bounded));
    return true;
}

bool ThreadPool::removeTask(QRunnable* task)
{
    QMutexLocker locker(&m_mutex);
    const auto entry = m_tasks.find(task);
    if (entry == m_tasks.end() || !withdrawLocked(entry))
        return false;
    m_tasks.erase(entry);
    return true;
}

void ThreadPool::removeAll()
{
    QMutexLocker locker(&m_mutex);
    for (auto entry = m_tasks.begin(); entry != m_tasks.end(); ++entry)
        withdrawLocked(entry);
    m_tasks.clear();
}

void ThreadPool::setMaxThreadCount(unsigned int count)
{
    m_maxThreadCount = count;
    m_pool.setMaxThreadCount(static_cast<int>(qMin<unsigned int>(count, std::numeric_limits<int>::max())));
}

unsigned int ThreadPool::maxThreadCount() const
{
    return m_maxThreadCount;
}

void ThreadPool::waitForFinish()
{
    m_pool.waitForDone();
}

bool ThreadPool::withdrawLocked(std::map<QRunnable*, QueueItemData*>::iterator entry)
{
    QueueItemData* item = entry->second;
    if (item == nullptr || item->m_task == nullptr)
        return false;
    if (item->m_task->autoDelete())
        delete item->m_task;
    item->m_task = nullptr;
    return true;
}

QRunnable* ThreadPool::removeItem(QueueItemData* item)
{
    QMutexLocker locker(&m_mutex);
    QRunnable* task = item->m_task;
    if (task != nullptr) {
        const auto entry = m_tasks.find(task);
        if (entry != m_tasks.end() && entry->second == item)
            m_tasks.erase(entry);
    }
    return task;
}
