#include "platform/device/RefreshWorker.h"

#include <utility>

RefreshWorker::RefreshWorker(std::function<void()> job)
    : m_job(std::move(job))
{
}

RefreshWorker::~RefreshWorker()
{
    stop();
}

void RefreshWorker::request()
{
    std::lock_guard<std::mutex> locker(m_mutex);
    if (m_stopping)
        return;
    m_requested = true;
    if (!m_thread.joinable())
        m_thread = std::thread(&RefreshWorker::runRequests, this);
    m_wake.notify_one();
}

void RefreshWorker::stop()
{
    std::lock_guard<std::mutex> stopping(m_stopMutex);
    std::thread worker;
    {
        std::lock_guard<std::mutex> locker(m_mutex);
        m_stopping = true;
        m_requested = false;
        worker = std::move(m_thread);
    }
    m_wake.notify_one();
    // Without m_mutex: a request meanwhile returns at once instead of waiting for the join.
    if (worker.joinable())
        worker.join();
}

void RefreshWorker::runRequests()
{
    for (;;) {
        {
            std::unique_lock<std::mutex> locker(m_mutex);
            m_wake.wait(locker, [this] { return m_requested || m_stopping; });
            if (m_stopping)
                return;
            m_requested = false;
        }
        m_job();
    }
}
