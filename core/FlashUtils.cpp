#include "core/FlashUtils.h"

#include "core/DeviceAddress.h"
#include "core/FMConst.h"
#include "core/Utils.h"
#include "platform/device/Device.h"

namespace {

DeviceAddress addressOf(const Device& device)
{
    return DeviceAddress(device.getSerial(), device.getPort().getConnectionType());
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
    return Utils::executeCmd(FMConst::getTool(FMConst::FASTBOOT_TOOL_ID),
                             DeviceAddress::fastbootVendorOption() + arguments, timeoutMs, verbose,
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
    return executeFastbootCmd(addressOf(*device).fastbootSelector() + arguments, timeoutMs, verbose, success,
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
    return executeAdbCmd(addressOf(*device).adbSelector() + arguments, timeoutMs, verbose, success, output, process);
}

int FlashUtils::executeAdbCmd(const Device* device, const QStringList& arguments, int timeoutMs,
                              QString& output)
{
    return executeAdbCmd(device, arguments, timeoutMs, false, nullptr, output, nullptr);
}
