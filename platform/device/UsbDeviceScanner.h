#pragma once

// The scanner of USB devices: reads the kernel's USB tree (SysfsUsbReader) at every scan, gives each
// device to the filters in order, then lets the filters add the devices the tree does not show.

#include "platform/device/DeviceScanner.h"

class UsbDeviceScanner : public DeviceScanner
{
    Q_OBJECT

public:
    UsbDeviceScanner();

    // The sysfs folder to read; empty (the default): SysfsUsbReader::defaultRoot() at every scan.
    void setSysfsRoot(const QString& root);

protected:
    void collect(const QList<DeviceFilter*>& filters, const DeviceFilter::ScanContext& context,
                 QList<DummyDevice>& found) override;

private:
    QString m_root;                          // written before startScan, read by the scanning thread
};
