#pragma once

// Recognises SoC download-mode devices by their USB vendor and product ids (a table filled by
// initTable(), which the constructor calls). Such a device is in DnX firmware, platform zorvik_soc,
// and its serial is the SoC serial.

#include "platform/device/DeviceFilter.h"

#include <cstdint>
#include <map>
#include <utility>

class SocDeviceFilter : public DeviceFilter
{
public:
    SocDeviceFilter();

    bool filter(const UsbDeviceInfo& usb, DummyDevice& device) override;

    // State of a (vendor id, product id) pair in download mode; Unknown when the pair is no SoC.
    static DeviceState stateOf(uint16_t vendorId, uint16_t productId);
    static void initTable();

private:
    static std::map<std::pair<uint16_t, uint16_t>, DeviceState> ms_kSocIds;
};
