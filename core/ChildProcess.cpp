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
    if (pid <= 0)
        return;
    // Right after the start the child may not have made its group yet (it does so between fork
    // and exec): make it here, so that the kill reaches it. Once the child has run its program this
    // fails harmlessly, its group being made already.
    ::setpgid(static_cast<pid_t>(pid), static_cast<pid_t>(pid));
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
