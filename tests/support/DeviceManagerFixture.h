#pragma once

// A device manager built as start-up builds it (one USB scanner with the SoC, fastboot, adb and DFU
// filters) over the device simulator: the scanner reads the simulator's sysfs tree and the filters
// probe through its fake adb and fastboot. Header-only; link qln_testsupport, qln_sim and the
// library of the devices made (qln_device, or qln_engine for FlashDevice2). One per test case.

#include "platform/device/AdbDeviceFilter.h"
#include "platform/device/DeviceManager.h"
#include "platform/device/DfuDeviceFilter.h"
#include "platform/device/FastbootDeviceFilter.h"
#include "platform/device/SocDeviceFilter.h"
#include "platform/device/UsbDeviceScanner.h"

#include "SimulatedDevices.h"

#include <QProcess>
#include <QString>
#include <QStringList>

#include <map>

// Probes of the adb and fastboot filters: they run the programs named in adbProgram() and
// fastbootProgram(), addressed to the device's serial, as the program's device command helpers do.
namespace ToolProbes {

inline QString& adbProgram()
{
    static QString program;
    return program;
}

inline QString& fastbootProgram()
{
    static QString program;
    return program;
}

// The exit code; -1 when the program did not start, crashed or timed out.
inline int run(const QString& program, const QStringList& arguments, int timeoutMs, QString& output)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForStarted() || !process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return -1;
    }
    output = QString::fromUtf8(process.readAll());
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

inline int adb(const Device* device, const QStringList& arguments, int timeoutMs, QString& output)
{
    QStringList full;
    if (device)
        full << QStringLiteral("-s") << device->getSerial();
    return run(adbProgram(), full + arguments, timeoutMs, output);
}

inline int fastboot(const Device* device, const QStringList& arguments, int timeoutMs, QString& output)
{
    QStringList full;
    if (device) {
        const bool network = device->getPort().getConnectionType() == PortNumber::NetworkConnection;
        full << QStringLiteral("-s") << (network ? QStringLiteral("tcp:") : QString()) + device->getSerial();
    }
    return run(fastbootProgram(), full + arguments, timeoutMs, output);
}

} // namespace ToolProbes

class DeviceManagerFixture
{
public:
    // Devices are made by `allocator` (null: plain Device objects).
    explicit DeviceManagerFixture(DeviceManager::DeviceAllocator allocator = nullptr)
    {
        ToolProbes::adbProgram() = sim.toolPath(QStringLiteral("adb"));
        ToolProbes::fastbootProgram() = sim.toolPath(QStringLiteral("fastboot"));
        scanner = new UsbDeviceScanner;
        scanner->addFilter(new SocDeviceFilter);
        scanner->addFilter(new FastbootDeviceFilter(ToolProbes::fastboot, nullptr));
        scanner->addFilter(new AdbDeviceFilter(ToolProbes::adb, nullptr));
        scanner->addFilter(new DfuDeviceFilter);
        manager.addScanner(scanner);
        manager.setDeviceAllocator(allocator);
    }

    DeviceManagerFixture(const DeviceManagerFixture&) = delete;
    DeviceManagerFixture& operator=(const DeviceManagerFixture&) = delete;

    bool isValid() const { return sim.isValid(); }

    // One complete scan now (on the calling thread while the scanner's own thread is not running).
    bool scan() { return manager.waitForScan(30000); }

    // The device on `port` as a T; empty when there is none or it is no T.
    template <class T = Device>
    SharedPointer<T> deviceAt(const PortNumber& port) const
    {
        std::map<PortNumber, DevicePtr> devices;
        manager.getDevices(devices);
        const auto found = devices.find(port);
        return found == devices.end() ? SharedPointer<T>() : found->second.template dynamicCast<T>();
    }

    // Runs one of the simulator's programs ("adb", "fastboot") as a flash command would.
    bool runTool(const QString& program, const QStringList& arguments) const
    {
        QString output;
        return ToolProbes::run(sim.toolPath(program), arguments, 30000, output) == 0;
    }

    SimulatedDevices sim;                    // first: it outlives the manager that reads its tree
    DeviceManager manager;
    UsbDeviceScanner* scanner = nullptr;     // owned by the manager
};
