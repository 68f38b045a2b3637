#pragma once

// Recognises devices in USB DFU mode: an interface of class fe, subclass 01, protocol 02. A DFU
// device waits for its firmware, so it is reported in the download state DnX firmware, platform
// generic: a configuration that starts in DnX firmware finds it already there (no reboot is tried,
// none is possible), and the DFU command addresses it by its USB ids. A run-time DFU interface
// (protocol 01), which keyboards and many other peripherals carry beside their real function, is
// no DFU device.

#include "platform/device/DeviceFilter.h"

class DfuDeviceFilter : public DeviceFilter
{
public:
    DfuDeviceFilter() = default;

    bool filter(const UsbDeviceInfo& usb, DummyDevice& device) override;
};
