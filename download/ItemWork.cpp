#include "download/ItemWork.h"

#include <QEventLoop>
#include <QMutexLocker>
#include <QThread>

ItemWork::Scope::Scope(std::shared_ptr<ItemWork> work)
    : m_work(std::move(work))
{
    QMutexLocker locker(&m_work->m_mutex);
    m_work->m_workingThreads.append(QThread::currentThread());
}

ItemWork::Scope::~Scope()
{
    m_work->finishOne(QThread::currentThread());
}

void ItemWork::queued()
{
    QMutexLocker locker(&m_mutex);
    ++m_pending;
}

void ItemWork::withdrawn()
{
    finishOne(nullptr);
}

bool ItemWork::isBusy() const
{
    QMutexLocker locker(&m_mutex);
    return m_pending > 0;
}

bool ItemWork::isWorkingIn(QThread* thread) const
{
    QMutexLocker locker(&m_mutex);
    return m_workingThreads.contains(thread);
}

void ItemWork::waitUntilIdle()
{
    QEventLoop loop;
    {
        QMutexLocker locker(&m_mutex);
        if (m_pending == 0)
            return;
        m_waiters.append(&loop);
    }
    for (;;) {
        loop.exec();
        QMutexLocker locker(&m_mutex);
        if (m_pending == 0) {
            m_waiters.removeAll(&loop);
            return;
        }
    }
}

void ItemWork::finishOne(QThread* workingThread)
{
    QMutexLocker locker(&m_mutex);
    m_workingThreads.removeOne(workingThread);
    if (m_pending > 0)
        --m_pending;
    if (m_pending == 0) {
        for (QEventLoop* waiter : qAsConst(m_waiters))
            QMetaObject::invokeMethod(waiter, "quit", Qt::QueuedConnection);
    }
}
