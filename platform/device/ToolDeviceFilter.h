#pragma once

// Base of the filters that confirm a device through a tool (adb, fastboot): the USB devices with the
// tool's Android interface (class ff, subclass 42, the tool's protocol), the tool's device list,
// taken once per scan (started in the background as the scan begins when the scan will need it,
// so that adb's and fastboot's lists run at once), and probes of one device. The probe is the program's
// device command helper: it runs the tool for a device (null: for none) and returns the exit code.
//
// Only a positive answer changes a device's state: when the list fails or answers nothing, or a
// probe fails, times out or answers nothing, the device keeps the state last stored for it (as long as that state
// fits the interface the device shows now). A device that is being flashed is never probed.
//
// A USB device's mode changes only when it enumerates anew: a positive answer is kept for as long
// as that enumeration lasts (UsbDeviceInfo::isSameEnumeration), and the device is probed again
// only once it shows another USB identity, went away, or a scan asked for (ScanContext::isFresh).

#include "platform/device/DeviceFilter.h"

#include <QMap>
#include <QSet>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <future>
#include <initializer_list>
#include <map>

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

    void beginScan(const ScanContext& context) override;
    // Starts the device list in the background when the scan will need it.
    void prepare(const QList<UsbDeviceInfo>& usbDevices) override;
    // A device with the tool's interface: USB data, kind and platform, then the tool's state.
    bool filter(const UsbDeviceInfo& usb, DummyDevice& device) override;

protected:
    static constexpr uint16_t InHouseVendorId = 0x8087;

    // The state of a USB device with the tool's interface; `device` holds its USB data.
    virtual DeviceState usbDeviceState(const UsbDeviceInfo& usb, DummyDevice& device) = 0;
    // Runs the tool's "devices" list once per scan; false when it failed or answered nothing
    // (nothing is known then).
    bool listDevices();
    // Whether this scan will list the tool's devices, given the USB devices it will see: by default
    // when one of them is asked about (see asksAbout).
    virtual bool needsList(const QList<UsbDeviceInfo>& usbDevices) const;
    // Whether the output of a "devices" list that exited 0 is an answer at all: by default any text.
    virtual bool isDeviceList(const QString& output) const;
    // The status word of the list for a device (the tool's spelling of its serial); empty when
    // the list does not name it. Call after a successful listDevices().
    QString listedStatus(const QString& serial) const;
    // Serial -> status word of the last successful list, serials as the tool printed them.
    const QMap<QString, QString>& listedDevices() const { return m_devices; }
    // Runs the probe for a device described by `data`. -1 without running anything when there is
    // no probe or the device is being flashed.
    int probe(const DummyDevice& data, const QStringList& arguments, QString& output) const;
    // The state last stored for the device on `device`'s port when it was seen by this filter's
    // kind and that state is one of `fitting`; `otherwise` when not.
    DeviceState keptState(const DummyDevice& device, std::initializer_list<DeviceState> fitting,
                          DeviceState otherwise) const;
    DevicePlatform androidPlatform(uint16_t vendorId) const;
    // The state of this enumeration of the device on `usb` (null: a device without one, asked
    // every time): the positive answer `ask` gave it before, else `ask`'s answer now, kept when
    // positive. False when `ask` gave no positive answer.
    bool enumerationState(const UsbDeviceInfo* usb, const std::function<bool(DeviceState&)>& ask,
                          DeviceState& state);

private:
    struct ListAnswer
    {
        int code = -1;
        QString output;
    };

    // A device with the tool's interface that this process may flash, or that it is flashing.
    bool asksAbout(const UsbDeviceInfo& usb) const;
    ListAnswer runList() const;

    struct KeptAnswer
    {
        UsbDeviceInfo usb;                   // the enumeration that answered
        DeviceState state;
    };

    Probe m_probe;
    uint8_t m_protocol;
    DeviceKind m_kind;
    unsigned short m_userVendorId = 0;
    bool m_listed = false;
    bool m_listOk = false;
    QMap<QString, QString> m_devices;
    std::future<ListAnswer> m_pendingList;   // the list started by prepare(), not yet read
    std::map<QString, KeptAnswer> m_answers; // by USB port
    QSet<QString> m_seenPorts;               // USB ports this filter recognised in the last scan
};
