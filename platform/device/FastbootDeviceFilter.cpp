#include "platform/device/FastbootDeviceFilter.h"

namespace {

const uint8_t kFastbootProtocol = 0x03;
const uint16_t kDnxProductId = 0x0a65;

} // namespace

FastbootDeviceFilter::FastbootDeviceFilter(Probe probe, SerialConverter converter)
    : ToolDeviceFilter(probe, converter, kFastbootProtocol, DeviceKind::Fastboot)
{
}

DeviceState FastbootDeviceFilter::usbDeviceState(const UsbDeviceInfo& usb, DummyDevice& device)
{
    const std::initializer_list<DeviceState> fastbootStates{DeviceState::ProvisioningOs, DeviceState::Tos,
                                                            DeviceState::DnxOs};
    if (usb.vendorId == InHouseVendorId && usb.productId == kDnxProductId)
        return DeviceState::DnxOs;
    if (!listDevices())
        return keptState(device, fastbootStates, DeviceState::Unknown);
    if (listedStatus(device.getSerial()).isEmpty())
        return DeviceState::Unknown;
    DeviceState state = DeviceState::Unknown;
    if (enumerationState(&usb, [&](DeviceState& answer) { return askBootMode(device, answer); }, state))
        return state;
    return keptState(device, fastbootStates, DeviceState::ProvisioningOs);
}

bool FastbootDeviceFilter::askBootMode(const DummyDevice& device, DeviceState& state) const
{
    DummyDevice listed = device;
    listed.setState(DeviceState::ProvisioningOs);
    QString output;
    if (probe(listed, {QStringLiteral("getvar"), QStringLiteral("boot-mode")}, output) != 0)
        return false;
    // fastboot exits 0 on "getvar:boot-mode FAILED" too: judge the answer line, not the exit code.
    for (const QString& line : output.split(QLatin1Char('\n'))) {
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(QLatin1String("getvar:boot-mode")) && trimmed.contains(QLatin1String("FAILED"))) {
            state = DeviceState::ProvisioningOs;   // the device has no such variable
            return true;
        }
        if (!trimmed.startsWith(QLatin1String("boot-mode:")))
            continue;
        const QString mode = trimmed.mid(10).trimmed();
        if (mode.isEmpty())
            return false;
        if (mode == QLatin1String("test"))
            state = DeviceState::Tos;
        else if (mode == QLatin1String("dnx"))
            state = DeviceState::DnxOs;
        else
            state = DeviceState::ProvisioningOs;
        return true;
    }
    return false;
}
