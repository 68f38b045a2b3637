#include "platform/device/UsbDeviceScanner.h"

#include "platform/device/SysfsUsbReader.h"

UsbDeviceScanner::UsbDeviceScanner()
    : DeviceScanner(QStringLiteral("USB Scanner"))
{
}

void UsbDeviceScanner::setSysfsRoot(const QString& root)
{
    m_root = root;
}

void UsbDeviceScanner::collect(const QList<DeviceFilter*>& filters,
                               const DeviceFilter::ScanContext& context, QList<DummyDevice>& found)
{
    const QString root = m_root.isEmpty() ? SysfsUsbReader::defaultRoot() : m_root;
    for (const UsbDeviceInfo& usb : SysfsUsbReader::read(root)) {
        if (context.blocked(PortNumber::usbPort(usb.port)))
            continue;
        for (DeviceFilter* filter : filters) {
            DummyDevice device;
            if (filter->filter(usb, device)) {
                found.append(device);
                break;
            }
        }
    }
    for (DeviceFilter* filter : filters)
        filter->addOtherDevices(found);
}
