#pragma once

// Recognises devices in USB DFU mode (an interface of class fe, subclass 01). A DFU device waits
// for its firmware: it is reported in the download state DnX firmware, platform generic.

#include "platform/device/DeviceFilter.h"

class DfuDeviceFilter : public DeviceFilter
{
public:
    DfuDeviceFilter() = default;

    bool filter(const UsbDeviceInfo& usb, DummyDevice& device) override;
};
