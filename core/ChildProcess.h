#pragma once

// A QProcess whose program leads a process group of its own and reads nothing from standard input,
// so that a time-out or a cancel can end everything the program started (a wrapper script's children
// too) and no program waits for input that never comes. Owned by whoever starts it; `killGroup` may
// be called from any thread with a pid recorded after the start.

#include <QProcess>

#include <cstdint>

class ChildProcess : public QProcess
{
    Q_OBJECT

public:
    explicit ChildProcess(QObject* parent = nullptr);
    // Ends a program that is still running with its whole group, and reaps it.
    ~ChildProcess() override;

    // SIGKILL to the group of this process (no-op when it is not running).
    void killGroup();
    // SIGKILL to the group led by `pid`, also in the moment after the start before the child made
    // its group; no-op for a pid <= 0. Any thread.
    static void killProcessGroup(qint64 pid);

    // QProcess waits take an int: above 2147483647 ms a time-out means no limit (-1).
    static int toWaitTimeout(uint64_t timeoutMs);

protected:
    void setupChildProcess() override;
};
