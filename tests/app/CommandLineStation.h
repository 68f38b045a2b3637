#pragma once

// Runs the built `quillonlite --cli` on the program station (simulated devices, a fresh home
// folder, a watchdog per run), and a second instance beside the first on the same devices.
// Header-only; link qln_programstation. One per test case.

#include "ProgramStation.h"

class CommandLineStation : public ProgramStation
{
public:
    CommandLineStation()
        : ProgramStation(QStringLiteral(QUILLONLITE_PROGRAM), {QStringLiteral("--cli")})
    {
    }

    // Starts a second instance beside the first, on the same devices (finishSecond ends it).
    void startSecond(const QStringList& arguments) { launch(m_second, arguments); }
    Run finishSecond(int watchdogMs = 120000) { return collect(m_second, watchdogMs); }

private:
    Instance m_second;
};
