#include "platform/device/DfuDeviceFilter.h"

namespace {

const uint8_t kApplicationSpecificClass = 0xfe;
const uint8_t kDfuSubClass = 0x01;
const uint8_t kDfuModeProtocol = 0x02;

} // namespace

bool DfuDeviceFilter::filter(const UsbDeviceInfo& usb, DummyDevice& device)
{
    if (!usb.hasInterface(kApplicationSpecificClass, kDfuSubClass, kDfuModeProtocol))
        return false;
    fillFromUsb(usb, device);
    device.setKind(DeviceKind::Dfu);
    device.setState(DeviceState::DnxFirmware);
    device.setPlatform(DevicePlatform::Generic);
    return true;
}
