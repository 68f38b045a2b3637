#pragma once

// A child process (own group, no input) that the kernel ends with SIGTERM when the test process
// dies without running its destructors, as under a CTest time-out: a display server or a waiting
// tool never outlives its test. Header-only; the thread that starts it must live as long as it.

#include "core/ChildProcess.h"

#include <QDeadlineTimer>
#include <QString>

#include <csignal>
#include <sys/prctl.h>

class TiedChildProcess : public ChildProcess
{
public:
    // The first line the program prints (a server's "ready" line), without its end; empty when
    // none comes in `timeoutMs` or the program ends first.
    QString firstLine(int timeoutMs)
    {
        const QDeadlineTimer deadline(timeoutMs);
        if (!waitForStarted(timeoutMs))
            return QString();
        while (!canReadLine()) {
            if (state() == QProcess::NotRunning || deadline.hasExpired())
                return QString();
            waitForReadyRead(int(deadline.remainingTime()));
        }
        return QString::fromLocal8Bit(readLine()).trimmed();
    }

    // Asks the program to end, which lets a server remove its socket and lock files; kills its
    // group when it has not ended in 5 s.
    void stop()
    {
        terminate();
        if (!waitForFinished(5000))
            killGroup();
    }

protected:
    void setupChildProcess() override
    {
        ChildProcess::setupChildProcess();
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    }
};
