#pragma once

// Base of the filters that confirm a device through a tool (adb, fastboot): the USB devices with the
// tool's Android interface (class ff, subclass 42, the tool's protocol), the tool's device list,
// taken once per scan when first needed, and probes of one device. The probe is the program's
// device command helper: it runs the tool for a device (null: for none) and returns the exit code.

#include "platform/device/DeviceFilter.h"

#include <QMap>
#include <QStringList>

#include <cstdint>

class Device;

class ToolDeviceFilter : public DeviceFilter
{
public:
    using Probe = int (*)(const Device*, const QStringList&, int, QString&);

    // `protocol`: the interface protocol of the tool's devices; `kind`: what they are reported as.
    ToolDeviceFilter(Probe probe, SerialConverter converter, uint8_t protocol, DeviceKind kind);

    // A vendor id of the user's own devices; they count as the in-house platform (0: none).
    void setUserVID(unsigned short vendorId) { m_userVendorId = vendorId; }
    unsigned short getUserVID() const { return m_userVendorId; }

    void beginScan() override;
    // A device with the tool's interface: USB data, kind and platform, then the tool's state.
    bool filter(const UsbDeviceInfo& usb, DummyDevice& device) override;

protected:
    static constexpr uint16_t InHouseVendorId = 0x8087;

    // The state of a USB device with the tool's interface; `device` holds its USB data.
    virtual DeviceState usbDeviceState(const UsbDeviceInfo& usb, DummyDevice& device) = 0;
    // Serial -> status word of the tool's "devices" list (serials converted).
    const QMap<QString, QString>& listedDevices();
    // Runs the probe for a device described by `data`; -1 without a probe.
    int probe(const DummyDevice& data, const QStringList& arguments, QString& output) const;
    DevicePlatform androidPlatform(uint16_t vendorId) const;

private:
    Probe m_probe;
    uint8_t m_protocol;
    DeviceKind m_kind;
    unsigned short m_userVendorId = 0;
    bool m_listed = false;
    QMap<QString, QString> m_devices;
};
