#include "platform/device/SocDeviceFilter.h"

std::map<std::pair<uint16_t, uint16_t>, DeviceState> SocDeviceFilter::ms_kSocIds;

SocDeviceFilter::SocDeviceFilter()
{
    initTable();
}

void SocDeviceFilter::initTable()
{
    if (!ms_kSocIds.empty())
        return;
    ms_kSocIds[{0x8087, 0x0a82}] = DeviceState::DnxFirmware;
}

DeviceState SocDeviceFilter::stateOf(uint16_t vendorId, uint16_t productId)
{
    const auto found = ms_kSocIds.find({vendorId, productId});
    return found == ms_kSocIds.end() ? DeviceState::Unknown : found->second;
}

bool SocDeviceFilter::filter(const UsbDeviceInfo& usb, DummyDevice& device)
{
    const DeviceState state = stateOf(usb.vendorId, usb.productId);
    if (state == DeviceState::Unknown)
        return false;
    fillFromUsb(usb, device);
    device.setKind(DeviceKind::Soc);
    device.setState(state);
    device.setPlatform(DevicePlatform::ZorvikSoc);
    return true;
}
