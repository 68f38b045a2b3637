#pragma once

// Local event loop for code that waits for a signal. A non-zero exit code given before exec() (or
// left by the last run) makes exec() return it at once until resetErrorCode(); quit() with code 0
// before a run is not remembered. exit()/quit() are safe from any thread.

#include <QEventLoop>
#include <QObject>
#include <QReadWriteLock>

#include <atomic>

class CustomEventLoop : public QObject
{
    Q_OBJECT

public:
    explicit CustomEventLoop(QObject* parent = nullptr);
    ~CustomEventLoop() override;

    int exec(QEventLoop::ProcessEventsFlags flags = QEventLoop::AllEvents);
    void exit(int returnCode = 0);
    bool isRunning() const;
    bool processEvents(QEventLoop::ProcessEventsFlags flags = QEventLoop::AllEvents);
    void processEvents(QEventLoop::ProcessEventsFlags flags, int maxTimeMs);

public slots:
    void quit();
    void quit(int returnCode);
    void resetErrorCode();

private:
    QEventLoop* m_loop = nullptr;
    std::atomic<int> m_exitCode{0};
    std::atomic<bool> m_exitRequested{false};   // exit() reached the current inner loop
    // Write side only to create and delete m_loop; every use of it holds the read side. Recursive,
    // because a slot running inside exec() on the same thread calls exit()/quit().
    mutable QReadWriteLock m_lock{QReadWriteLock::Recursive};
};
