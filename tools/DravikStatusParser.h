#pragma once

// Reads the firmware downloader's status lines ("DRAVIK-<KIND>[--USBSN:<serial>]--<text>"), from
// its API library or its command-line program, into the run's log and the command's progress. The
// progress runs on a scale of 200: the phase before the first "PASS" status covers 0 to 100, the
// phase after it 100 to 200. One parser per download run, used on the run's pool thread.

#include "platform/device/SharedPointer.h"

#include <QString>

#include <cstdint>

class FlashRunner;

class DravikStatusParser
{
public:
    // `progressText` is shown as the progress text whenever the progress moves.
    DravikStatusParser(const SharedPointer<FlashRunner>& runner, const QString& progressText);

    void parse(const QString& line);

    // For the library's status callback: `parser` is a DravikStatusParser; null is ignored.
    static void parseStatusLine(const char* line, void* parser);

private:
    SharedPointer<FlashRunner> m_runner;
    QString m_progressText;
    uint64_t m_progressOffset = 0;
};
