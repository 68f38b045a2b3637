#pragma once

// A device manager built as start-up builds it (one USB scanner with the SoC, fastboot, adb and DFU
// filters, probing through the program's device command helpers FlashUtils::executeAdbCmd and
// executeFastbootCmd) over the device simulator: the scanner reads the simulator's sysfs tree and
// the helpers run its fake adb and fastboot, registered as the "adb" and "fastboot" tools.
// Header-only; link qln_testsupport, qln_sim and qln_core (and qln_engine for FlashDevice2).
// One per test case.

#include "core/FMConst.h"
#include "core/FlashUtils.h"
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

namespace ToolProbes {

// Runs `program` to its end; the exit code, -1 when it did not start, crashed or timed out.
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

} // namespace ToolProbes

class DeviceManagerFixture
{
public:
    // Devices are made by `allocator` (null: plain Device objects).
    explicit DeviceManagerFixture(DeviceManager::DeviceAllocator allocator = nullptr)
    {
        FMConst::setTool(FMConst::ADB_TOOL_ID, sim.toolPath(QStringLiteral("adb")));
        FMConst::setTool(FMConst::FASTBOOT_TOOL_ID, sim.toolPath(QStringLiteral("fastboot")));
        scanner = new UsbDeviceScanner;
        scanner->addFilter(new SocDeviceFilter);
        scanner->addFilter(new FastbootDeviceFilter(FlashUtils::executeFastbootCmd, nullptr));
        scanner->addFilter(new AdbDeviceFilter(FlashUtils::executeAdbCmd, nullptr));
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
