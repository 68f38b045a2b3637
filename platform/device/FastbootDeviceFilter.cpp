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
    if (usb.vendorId == InHouseVendorId && usb.productId == kDnxProductId)
        return DeviceState::DnxOs;
    if (listedDevices().contains(device.getSerial()))
        return bootModeState(device);
    return DeviceState::Unknown;
}

DeviceState FastbootDeviceFilter::bootModeState(DummyDevice& device) const
{
    device.setState(DeviceState::ProvisioningOs);
    QString output;
    // fastboot exits 0 on "getvar:boot-mode FAILED" too: judge the answer line, not the exit code.
    if (probe(device, {QStringLiteral("getvar"), QStringLiteral("boot-mode")}, output) != 0)
        return DeviceState::ProvisioningOs;
    for (const QString& line : output.split(QLatin1Char('\n'))) {
        const QString trimmed = line.trimmed();
        if (!trimmed.startsWith(QLatin1String("boot-mode:")))
            continue;
        const QString mode = trimmed.mid(10).trimmed();
        if (mode == QLatin1String("test"))
            return DeviceState::Tos;
        if (mode == QLatin1String("dnx"))
            return DeviceState::DnxOs;
        break;
    }
    return DeviceState::ProvisioningOs;
}
