#include "core/FlashUtils.h"

#include "core/FMConst.h"
#include "core/Utils.h"
#include "platform/device/Device.h"

#include <QRegularExpression>

namespace {

const int kUsbConnection = 1;
const int kEthernetConnection = 2;
const QString kAdbNetworkPort = QStringLiteral(":5555");

// Selector of a device for fastboot. Debian's fastboot addresses a network device as
// "-s tcp:<address>" (it has no -t option).
QStringList fastbootSelector(const Device& device)
{
    const QString serial = device.getSerial();
    switch (device.getPort().getConnectionType()) {
    case kUsbConnection:
        return {QStringLiteral("-s"), serial};
    case kEthernetConnection:
        if (serial.startsWith(QLatin1String("tcp:")) || serial.startsWith(QLatin1String("udp:")))
            return {QStringLiteral("-s"), serial};
        return {QStringLiteral("-s"), QStringLiteral("tcp:") + serial};
    default:
        return {};
    }
}

// adb names a network device "host:port"; a bare address means adb's default port.
QString adbSerial(const Device& device)
{
    static const QRegularExpression withPort(QStringLiteral("^(\\[[^\\]]*\\]|[^:]*):[0-9]+$"));
    const QString serial = device.getSerial();
    if (device.getPort().getConnectionType() != kEthernetConnection || withPort.match(serial).hasMatch())
        return serial;
    return serial + kAdbNetworkPort;
}

bool fastbootAllowed(DeviceState state)
{
    return state == DeviceState::ProvisioningOs || state == DeviceState::Tos;
}

bool adbAllowed(DeviceState state)
{
    return state == DeviceState::MainOs || state == DeviceState::Cos;
}

} // namespace

int FlashUtils::executeFastbootCmd(const QStringList& arguments, int timeoutMs, bool verbose,
                                   bool* success, QString& output, ChildProcess* process)
{
    QStringList full;
    if (FMConst::FORCE_FASTBOOT_VENDOR_ID)
        full << QStringLiteral("-i") << FMConst::FASTBOOT_VENDOR_ID;
    full << arguments;
    return Utils::executeCmd(FMConst::getTool(FMConst::FASTBOOT_TOOL_ID), full, timeoutMs, verbose,
                            success, output, process);
}

int FlashUtils::executeFastbootCmd(const Device* device, const QStringList& arguments,
                                   int timeoutMs, bool verbose, bool* success, QString& output,
                                   ChildProcess* process)
{
    if (!device)
        return executeFastbootCmd(arguments, timeoutMs, verbose, success, output, process);
    if (!fastbootAllowed(device->getState()))
        return -1;
    return executeFastbootCmd(fastbootSelector(*device) + arguments, timeoutMs, verbose, success,
                              output, process);
}

int FlashUtils::executeFastbootCmd(const Device* device, const QStringList& arguments,
                                   int timeoutMs, QString& output)
{
    return executeFastbootCmd(device, arguments, timeoutMs, false, nullptr, output, nullptr);
}

int FlashUtils::executeAdbCmd(const QStringList& arguments, int timeoutMs, bool verbose,
                              bool* success, QString& output, ChildProcess* process)
{
    return Utils::executeCmd(FMConst::AdbCmd(), arguments, timeoutMs, verbose, success, output,
                             process);
}

int FlashUtils::executeAdbCmd(const Device* device, const QStringList& arguments, int timeoutMs,
                              bool verbose, bool* success, QString& output, ChildProcess* process)
{
    if (!device)
        return executeAdbCmd(arguments, timeoutMs, verbose, success, output, process);
    if (!adbAllowed(device->getState()))
        return -1;
    const QStringList full = QStringList{QStringLiteral("-s"), adbSerial(*device)} + arguments;
    return executeAdbCmd(full, timeoutMs, verbose, success, output, process);
}

int FlashUtils::executeAdbCmd(const Device* device, const QStringList& arguments, int timeoutMs,
                              QString& output)
{
    return executeAdbCmd(device, arguments, timeoutMs, false, nullptr, output, nullptr);
}
