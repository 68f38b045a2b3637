#pragma once

// Pool task for tests: runs a function on a thread of the pool that flashes run on, which deletes
// the task afterwards.

#include <QRunnable>

#include <functional>
#include <utility>

class FunctionTask : public QRunnable
{
public:
    explicit FunctionTask(std::function<void()> work)
        : m_work(std::move(work))
    {
        setAutoDelete(true);
    }

    void run() override { m_work(); }

private:
    std::function<void()> m_work;
};
