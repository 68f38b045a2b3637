#pragma once

// One way of recognising devices. A scanner hands each USB device of a scan to its filters in
// order; the first filter that recognises it fills the scan record. Filters run on the scanner's
// thread, one scan at a time; the scanner owns them.

#include "platform/device/DeviceTypes.h"
#include "platform/device/DummyDevice.h"
#include "platform/device/UsbDeviceInfo.h"

#include <QList>
#include <QString>

#include <functional>

class LoggedObject;

class DeviceFilter
{
public:
    using SerialConverter = QString (*)(const QString&);
    using PortBlocked = std::function<bool(const PortNumber&)>;

    DeviceFilter() = default;
    virtual ~DeviceFilter();

    DeviceFilter(const DeviceFilter&) = delete;
    DeviceFilter& operator=(const DeviceFilter&) = delete;

    // Serials are compared and reported after this conversion (null: unchanged).
    void setSerialConverter(SerialConverter converter) { m_serialConverter = converter; }
    // Round trip through the local 8-bit encoding: what a tool that prints local 8-bit text shows.
    static QString ToLocal8BitsConverter(const QString& serial);

    // Called once at the start of every scan.
    virtual void beginScan();
    // True when `usb` is a device of this filter's kind; `device` then holds its scan record.
    virtual bool filter(const UsbDeviceInfo& usb, DummyDevice& device) = 0;
    // Devices that the USB tree does not show (network devices); ports that `blocked` names are
    // neither probed nor reported.
    virtual void addOtherDevices(QList<DummyDevice>& devices, const PortBlocked& blocked);

    // Where the filter's lines go; set by the scanner that owns it.
    void setLogger(const LoggedObject* logger) { m_logger = logger; }

protected:
    QString convertSerial(const QString& serial) const;
    // Port, ids, names and serial from the USB data; connected.
    void fillFromUsb(const UsbDeviceInfo& usb, DummyDevice& device) const;
    void logDebug(const QString& text) const;

private:
    SerialConverter m_serialConverter = nullptr;
    const LoggedObject* m_logger = nullptr;
};
