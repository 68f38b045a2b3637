#pragma once

// Recognises adb devices: USB devices with an adb interface (ff/42/01), and the network devices
// ("host:port") that adb lists. adb's status tells the state ("device": Main OS, or COS when
// ro.bootmode is "charger"; "recovery": Recovery OS); a device adb lists as unauthorized or
// offline, or does not list (yet), is reported in state Unknown. When the list fails or comes
// without its header, every device keeps its last state, network devices included.

#include "platform/device/ToolDeviceFilter.h"

class AdbDeviceFilter : public ToolDeviceFilter
{
public:
    AdbDeviceFilter(Probe probe, SerialConverter converter = nullptr);

    void addOtherDevices(QList<DummyDevice>& devices) override;

protected:
    DeviceState usbDeviceState(const UsbDeviceInfo& usb, DummyDevice& device) override;
    // Every scan lists: the network devices are known only from the list.
    bool needsList(const QList<UsbDeviceInfo>& usbDevices) const override;
    // adb heads every list, an empty one too, with "List of devices attached": without it, adb
    // said nothing about any device.
    bool isDeviceList(const QString& output) const override;

private:
    // State from adb's status word, asking the device for its boot mode when it runs Android
    // (once per enumeration of a USB device `usb`; null: a network device, asked every time).
    DeviceState stateOf(const QString& status, const DummyDevice& device, const UsbDeviceInfo* usb);
    // Asks the device for ro.bootmode; false without a positive answer.
    bool askBootMode(const DummyDevice& device, DeviceState& state) const;
};
