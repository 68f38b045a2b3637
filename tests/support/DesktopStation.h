#pragma once

// Runs a built desktop program on a private X display, against the device simulator, and works it
// from outside as a person would: `display` is its Xvfb and session bus, `robot` takes the shots,
// clicks, types and closes windows. Everything else (home folder, tool settings, result folder,
// watchdog) is the program station's. Header-only; link qln_desktopstation. One per test case.

#include "DesktopRobot.h"
#include "ProgramStation.h"
#include "XvfbDisplay.h"

class DesktopStation : public ProgramStation
{
public:
    // `program` runs with no fixed arguments.
    explicit DesktopStation(const QString& program)
        : ProgramStation(program, {})
        , robot(display.environment())
    {
    }

    XvfbDisplay display;
    DesktopRobot robot;

protected:
    QProcessEnvironment programEnvironment() const override
    {
        QProcessEnvironment environment = ProgramStation::programEnvironment();
        display.applyTo(environment);
        return environment;
    }
};
