#pragma once

// One way of recognising devices. A scanner hands each USB device of a scan to its filters in
// order; the first filter that recognises it fills the scan record. Filters run on the scanner's
// thread, one scan at a time; the scanner owns them.

#include "platform/device/DeviceSelection.h"
#include "platform/device/DeviceTypes.h"
#include "platform/device/DummyDevice.h"
#include "platform/device/UsbDeviceInfo.h"

#include <QList>
#include <QString>

#include <functional>
#include <map>

class LoggedObject;

class DeviceFilter
{
public:
    using SerialConverter = QString (*)(const QString&);

    // What a scan knows of the devices found before it. The scanner fills it from its device
    // manager at the start of every scan; a filter reads it only during that scan.
    struct ScanContext
    {
        // A frozen port (Device::blockScan): neither probed nor reported. Empty: none is.
        std::function<bool(const PortNumber&)> isBlocked;
        // A port being flashed: reported, never probed (the running tool holds the device, a
        // probe would wait for it). Empty: none is.
        std::function<bool(const PortNumber&)> isBusy;
        // The devices this process may flash: the others are neither listed nor probed.
        DeviceSelection selection;
        // The connected devices of the scanner as last stored, by port.
        std::map<PortNumber, DummyDevice> known;
        // Someone asked for this scan (DeviceScanner::scan): probes ask every device anew rather
        // than keep the answers of its enumeration.
        bool isFresh = false;

        bool blocked(const PortNumber& port) const { return isBlocked && isBlocked(port); }
        bool busy(const PortNumber& port) const { return isBusy && isBusy(port); }
        // The last stored data of the connected device on `port`; null when none is known.
        const DummyDevice* lastKnown(const PortNumber& port) const
        {
            const auto found = known.find(port);
            return found == known.end() ? nullptr : &found->second;
        }
    };

    DeviceFilter() = default;
    virtual ~DeviceFilter();

    DeviceFilter(const DeviceFilter&) = delete;
    DeviceFilter& operator=(const DeviceFilter&) = delete;

    // The tools print serials in local 8-bit bytes, which the program reads one byte a character
    // (Latin-1). With a converter, a serial from the USB tree is compared with the tools' lists in
    // that spelling; the device keeps the tree's serial. Null (the default): compared as it is.
    void setSerialConverter(SerialConverter converter) { m_serialConverter = converter; }
    // The serial's local 8-bit bytes taken one byte a character: how a tool's list reads it.
    static QString ToLocal8BitsConverter(const QString& serial);

    // Called once at the start of every scan; `context` lives until the scan ends.
    virtual void beginScan(const ScanContext& context);
    // Called once the scan has read the USB tree, before the first filter(), with the devices it
    // will be given: a filter may start what the scan will need of it (a tool's device list), so
    // that the filters' tool calls run side by side.
    virtual void prepare(const QList<UsbDeviceInfo>& usbDevices);
    // True when `usb` is a device of this filter's kind; `device` then holds its scan record.
    virtual bool filter(const UsbDeviceInfo& usb, DummyDevice& device) = 0;
    // Devices that the USB tree does not show (network devices); blocked ports are neither
    // probed nor reported.
    virtual void addOtherDevices(QList<DummyDevice>& devices);

    // Where the filter's lines go; set by the scanner that owns it.
    void setLogger(const LoggedObject* logger) { m_logger = logger; }

protected:
    // The serial as the tools' lists spell it (see setSerialConverter).
    QString convertSerial(const QString& serial) const;
    // Port, ids, names and serial from the USB data; connected.
    void fillFromUsb(const UsbDeviceInfo& usb, DummyDevice& device) const;
    void logDebug(const QString& text) const;
    // The context of the scan in progress (an empty one outside a scan).
    const ScanContext& context() const { return *m_context; }

private:
    SerialConverter m_serialConverter = nullptr;
    const LoggedObject* m_logger = nullptr;
    const ScanContext* m_context = &ms_kNoContext;

    static const ScanContext ms_kNoContext;
};
