#include "core/ChildProcess.h"

#include <climits>
#include <csignal>
#include <unistd.h>

ChildProcess::ChildProcess(QObject* parent)
    : QProcess(parent)
{
    setStandardInputFile(QProcess::nullDevice());
}

ChildProcess::~ChildProcess()
{
    if (state() != QProcess::NotRunning) {
        killGroup();
        waitForFinished(-1);
    }
}

void ChildProcess::killGroup()
{
    if (state() == QProcess::NotRunning)
        return;
    killProcessGroup(processId());
    kill();
}

void ChildProcess::killProcessGroup(qint64 pid)
{
    if (pid > 0)
        ::kill(-static_cast<pid_t>(pid), SIGKILL);
}

int ChildProcess::toWaitTimeout(uint64_t timeoutMs)
{
    return timeoutMs > static_cast<uint64_t>(INT_MAX) ? -1 : static_cast<int>(timeoutMs);
}

void ChildProcess::setupChildProcess()
{
    // Runs in the child between fork and exec: only async-signal-safe calls here.
    ::setpgid(0, 0);
}
