#include "core/CustomEventLoop.h"

#include <QReadLocker>
#include <QReadWriteLock>
#include <QThread>
#include <QWriteLocker>

#include <atomic>

struct CustomEventLoop::State
{
    QEventLoop* loop = nullptr;
    std::atomic<int> exitCode{0};
    std::atomic<bool> exitRequested{false};     // exit() reached the current inner loop
    std::atomic<Qt::HANDLE> runningThread{nullptr};   // the thread inside exec(), if any
    // Write side only to create and delete the inner loop; every use of it holds the read side.
    // Recursive, because a slot running inside exec() on the same thread calls exit()/quit().
    QReadWriteLock lock{QReadWriteLock::Recursive};
};

CustomEventLoop::CustomEventLoop(QObject* parent)
    : QObject(parent)
    , m_state(std::make_shared<State>())
{
}

CustomEventLoop::~CustomEventLoop()
{
    if (m_state->runningThread == QThread::currentThreadId()) {
        // Deleted by a slot inside its own run: that run holds the read side, which the write side
        // would wait for forever. End the run; it deletes the inner loop itself.
        QReadLocker locker(&m_state->lock);
        if (m_state->loop != nullptr)
            m_state->loop->exit(m_state->exitCode);
        return;
    }
    // Waits for a run of another thread to end before the loop goes away.
    QWriteLocker locker(&m_state->lock);
    delete m_state->loop;
    m_state->loop = nullptr;
}

int CustomEventLoop::exec(QEventLoop::ProcessEventsFlags flags)
{
    // From here on only `state` is used: a slot of the run may delete this object.
    const std::shared_ptr<State> state = m_state;
    {
        QReadLocker locker(&state->lock);
        const int pending = state->exitCode.load();
        if (pending != 0)
            return pending;
        if (state->loop != nullptr) {
            state->exitCode = state->loop->exec(flags);
            return state->exitCode;
        }
    }
    {
        QWriteLocker locker(&state->lock);
        state->loop = new QEventLoop;
        state->exitRequested = false;
    }
    {
        QReadLocker locker(&state->lock);
        state->runningThread = QThread::currentThreadId();
        // QEventLoop::exec() forgets an exit() that reaches the new loop before it runs: repeat it
        // from inside the run.
        QMetaObject::invokeMethod(
            state->loop,
            [state] {
                if (state->exitRequested)
                    state->loop->exit(state->exitCode);
            },
            Qt::QueuedConnection);
        state->exitCode = state->loop->exec(flags);
        state->runningThread = nullptr;
    }
    {
        QWriteLocker locker(&state->lock);
        delete state->loop;
        state->loop = nullptr;
    }
    return state->exitCode;
}

void CustomEventLoop::exit(int returnCode)
{
    QReadLocker locker(&m_state->lock);
    m_state->exitCode = returnCode;
    if (m_state->loop != nullptr) {
        m_state->exitRequested = true;
        m_state->loop->exit(returnCode);
    }
}

bool CustomEventLoop::isRunning() const
{
    QReadLocker locker(&m_state->lock);
    return m_state->loop != nullptr && m_state->loop->isRunning();
}

bool CustomEventLoop::processEvents(QEventLoop::ProcessEventsFlags flags)
{
    QReadLocker locker(&m_state->lock);
    if (m_state->loop != nullptr)
        return m_state->loop->processEvents(flags);
    QEventLoop loop;
    return loop.processEvents(flags);
}

void CustomEventLoop::processEvents(QEventLoop::ProcessEventsFlags flags, int maxTimeMs)
{
    QReadLocker locker(&m_state->lock);
    if (m_state->loop != nullptr) {
        m_state->loop->processEvents(flags, maxTimeMs);
        return;
    }
    QEventLoop loop;
    loop.processEvents(flags, maxTimeMs);
}

void CustomEventLoop::quit()
{
    exit(0);
}

void CustomEventLoop::quit(int returnCode)
{
    exit(returnCode);
}

void CustomEventLoop::resetErrorCode()
{
    m_state->exitCode = 0;
}
