#pragma once

// A stretch of the simulator's journal with times (`qlnsim.py ctl log --times`), sorted by device:
// when each flash command of a device reached its fake, and how many calls of each kind it got.
// Calls that name no device (device lists) are counted apart. The fakes' help and version answers
// (the program's start-up checks) are not journaled; SimulatedDevices::toolPids counts them too.

#include <QString>
#include <QStringList>

#include <map>
#include <vector>

class SimulatedDevices;

class ToolJournal
{
public:
    struct DeviceCalls
    {
        std::vector<double> flashTimes;   // seconds since the epoch, in the journal's order
        int probes = 0;                   // state and property questions (getvar, getprop, get-state)
        int others = 0;                   // reboots, waits and the rest
    };

    // The calls whose fakes started from `since` to `until` (seconds since the epoch); false (and
    // the reason in `error`) when the simulator cannot tell.
    bool read(const SimulatedDevices& sim, double since, double until, QString& error);

    const std::map<QString, DeviceCalls>& devices() const { return m_devices; }
    const DeviceCalls& device(const QString& serial) const;
    int lists() const { return m_lists; }               // adb devices, fastboot devices
    int unaddressed() const { return m_unaddressed; }   // anything else naming no device
    int calls() const { return m_calls; }               // every call of the stretch
    // The stretch's calls of every device added up.
    DeviceCalls total() const;

private:
    void add(double time, const QStringList& words);

    std::map<QString, DeviceCalls> m_devices;
    int m_lists = 0;
    int m_unaddressed = 0;
    int m_calls = 0;
};
