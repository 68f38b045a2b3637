#include "core/CustomEventLoop.h"

#include <QReadLocker>
#include <QWriteLocker>

CustomEventLoop::CustomEventLoop(QObject* parent)
    : QObject(parent)
{
}

CustomEventLoop::~CustomEventLoop()
{
    // Waits for a run of another thread to end before the loop goes away.
    QWriteLocker locker(&m_lock);
    delete m_loop;
    m_loop = nullptr;
}

int CustomEventLoop::exec(QEventLoop::ProcessEventsFlags flags)
{
    {
        QReadLocker locker(&m_lock);
        const int pending = m_exitCode.load();
        if (pending != 0)
            return pending;
        if (m_loop != nullptr) {
            m_exitCode = m_loop->exec(flags);
            return m_exitCode;
        }
    }
    {
        QWriteLocker locker(&m_lock);
        m_loop = new QEventLoop;
        m_exitRequested = false;
    }
    {
        QReadLocker locker(&m_lock);
        // QEventLoop::exec() forgets an exit() that reaches the new loop before it runs: repeat it
        // from inside the run.
        QMetaObject::invokeMethod(
            m_loop,
            [this] {
                if (m_exitRequested)
                    m_loop->exit(m_exitCode);
            },
            Qt::QueuedConnection);
        m_exitCode = m_loop->exec(flags);
    }
    {
        QWriteLocker locker(&m_lock);
        delete m_loop;
        m_loop = nullptr;
    }
    return m_exitCode;
}

void CustomEventLoop::exit(int returnCode)
{
    QReadLocker locker(&m_lock);
    m_exitCode = returnCode;
    if (m_loop != nullptr) {
        m_exitRequested = true;
        m_loop->exit(returnCode);
    }
}

bool CustomEventLoop::isRunning() const
{
    QReadLocker locker(&m_lock);
    return m_loop != nullptr && m_loop->isRunning();
}

bool CustomEventLoop::processEvents(QEventLoop::ProcessEventsFlags flags)
{
    QReadLocker locker(&m_lock);
    if (m_loop != nullptr)
        return m_loop->processEvents(flags);
    QEventLoop loop;
    return loop.processEvents(flags);
}

void CustomEventLoop::processEvents(QEventLoop::ProcessEventsFlags flags, int maxTimeMs)
{
    QReadLocker locker(&m_lock);
    if (m_loop != nullptr) {
        m_loop->processEvents(flags, maxTimeMs);
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
    m_exitCode = 0;
}
