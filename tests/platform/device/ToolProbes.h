#pragma once

// Probe callbacks for the adb and fastboot filters in tests: they run the programs named in
// adbProgram()/fastbootProgram() (the simulator's fakes), addressed to the device's serial, the
// way the program's device command helpers do. Header-only test support.

#include "platform/device/Device.h"

#include <QProcess>
#include <QString>
#include <QStringList>

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
