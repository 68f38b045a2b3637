#pragma once

// A child process (own group, no input) that the kernel ends with SIGTERM when the test process
// dies without running its destructors, as under a CTest time-out: a display server or a waiting
// tool never outlives its test. Header-only; the thread that starts it must live as long as it.

#include "core/ChildProcess.h"

#include <csignal>
#include <sys/prctl.h>

class TiedChildProcess : public ChildProcess
{
protected:
    void setupChildProcess() override
    {
        ChildProcess::setupChildProcess();
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    }
};
