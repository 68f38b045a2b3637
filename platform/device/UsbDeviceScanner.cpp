#include "platform/device/UsbDeviceScanner.h"

#include "platform/device/SysfsUsbReader.h"

#include <algorithm>

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
    QList<UsbDeviceInfo> present = SysfsUsbReader::read(root);
    present.erase(std::remove_if(present.begin(), present.end(),
                                 [&context](const UsbDeviceInfo& usb) {
                                     return context.blocked(PortNumber::usbPort(usb.port));
                                 }),
                  present.end());
    for (DeviceFilter* filter : filters)
        filter->prepare(present);
    for (const UsbDeviceInfo& usb : qAsConst(present)) {
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
