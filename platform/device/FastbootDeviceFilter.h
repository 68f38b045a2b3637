#pragma once

// Recognises fastboot devices (USB interface ff/42/03). The fastboot id of the SoC's DnX OS
// (8087:0a65) means DnX OS; any other device that fastboot lists is asked for its boot mode
// ("test": TOS, "dnx": DnX OS, anything else, or no such variable: Provisioning OS). A device
// fastboot does not list is reported in state Unknown. Without an answer (the list or the probe
// failed, timed out or said nothing, or the device is being flashed) the device keeps its last
// fastboot state, and a device new to fastboot counts as Provisioning OS. fastboot prints nothing
// at all when it sees no device: an empty list tells nothing about the devices on USB either.

#include "platform/device/ToolDeviceFilter.h"

class FastbootDeviceFilter : public ToolDeviceFilter
{
public:
    FastbootDeviceFilter(Probe probe, SerialConverter converter = nullptr);

protected:
    DeviceState usbDeviceState(const UsbDeviceInfo& usb, DummyDevice& device) override;

private:
    // Asks the device for its boot mode; false without a positive answer.
    bool askBootMode(const DummyDevice& device, DeviceState& state) const;
};
