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
    if (!listDevices())
        return keptState(device, {DeviceState::ProvisioningOs, DeviceState::Tos, DeviceState::DnxOs},
                         DeviceState::Unknown);
    if (listedStatus(device.getSerial()).isEmpty())
        return DeviceState::Unknown;
    return bootModeState(device);
}

DeviceState FastbootDeviceFilter::bootModeState(const DummyDevice& device) const
{
    DummyDevice listed = device;
    listed.setState(DeviceState::ProvisioningOs);
    QString output;
    if (probe(listed, {QStringLiteral("getvar"), QStringLiteral("boot-mode")}, output) == 0) {
        // fastboot exits 0 on "getvar:boot-mode FAILED" too: judge the answer line, not the exit code.
        for (const QString& line : output.split(QLatin1Char('\n'))) {
            const QString trimmed = line.trimmed();
            if (trimmed.startsWith(QLatin1String("getvar:boot-mode")) && trimmed.contains(QLatin1String("FAILED")))
                return DeviceState::ProvisioningOs;   // the device has no such variable
            if (!trimmed.startsWith(QLatin1String("boot-mode:")))
                continue;
            const QString mode = trimmed.mid(10).trimmed();
            if (mode == QLatin1String("test"))
                return DeviceState::Tos;
            if (mode == QLatin1String("dnx"))
                return DeviceState::DnxOs;
            if (!mode.isEmpty())
                return DeviceState::ProvisioningOs;
            break;
        }
    }
    return keptState(device, {DeviceState::ProvisioningOs, DeviceState::Tos, DeviceState::DnxOs},
                     DeviceState::ProvisioningOs);
}
