#pragma once

// Runs one job on a thread of its own each time it is asked to, one run at a time: requests that
// come while a run is in flight make one more run after it. Owned by the object whose data the job
// refreshes; stop() (or the destructor) waits for the run in flight, so no run outlives its owner.
// request() and stop() may be called from any thread, never from the job itself.

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class RefreshWorker
{
public:
    explicit RefreshWorker(std::function<void()> job);
    ~RefreshWorker();

    RefreshWorker(const RefreshWorker&) = delete;
    RefreshWorker& operator=(const RefreshWorker&) = delete;

    // Asks for a run; returns at once. The thread starts with the first request. Ignored after stop().
    void request();
    // Drops a pending request, waits for the run in flight and ends the thread. Idempotent.
    void stop();

private:
    void runRequests();

    const std::function<void()> m_job;
    // m_mutex guards m_requested, m_stopping and m_thread; m_stopMutex is held across a stop's
    // join, so that a second stop() returns only once the first one has.
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_requested = false;
    bool m_stopping = false;
    std::mutex m_stopMutex;
    std::thread m_thread;
};
