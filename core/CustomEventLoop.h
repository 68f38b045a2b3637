#pragma once

// Local event loop for code that waits for a signal. A non-zero exit code given before exec() (or
// left by the last run) makes exec() return it at once until resetErrorCode(); quit() with code 0
// before a run is not remembered. exit()/quit() are safe from any thread. The loop may be deleted
// by a slot running inside its own exec(): that run then ends with the current exit code.

#include <QEventLoop>
#include <QObject>

#include <memory>

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
    // Everything a run uses: a run keeps it alive when a slot deletes this object.
    struct State;
    std::shared_ptr<State> m_state;
};
