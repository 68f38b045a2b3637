#include "platform/device/FastbootDeviceFilter.h"

namespace {

const uint8_t kVendorClass = 0xff;
const uint8_t kAndroidSubClass = 0x42;
const uint8_t kFastbootProtocol = 0x03;
const uint16_t kDnxVendorId = 0x8087;
const uint16_t kDnxProductId = 0x0a65;

} // namespace

FastbootDeviceFilter::FastbootDeviceFilter(Probe probe, SerialConverter converter)
    : ToolDeviceFilter(probe, converter)
{
}

bool FastbootDeviceFilter::filter(const UsbDeviceInfo& usb, DummyDevice& device)
{
    if (!usb.hasInterface(kVendorClass, kAndroidSubClass, kFastbootProtocol))
        return false;
    fillFromUsb(usb, device);
    device.setKind(DeviceKind::Fastboot);
    device.setPlatform(androidPlatform(usb.vendorId));
    if (usb.vendorId == kDnxVendorId && usb.productId == kDnxProductId)
        device.setState(DeviceState::DnxOs);
    else if (listedDevices().contains(device.getSerial()))
        device.setState(bootModeState(device));
    else
        device.setState(DeviceState::Unknown);
    return true;
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
