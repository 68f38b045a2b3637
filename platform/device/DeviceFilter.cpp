#include "platform/device/DeviceFilter.h"

#include "platform/log/LoggedObject.h"

const DeviceFilter::ScanContext DeviceFilter::ms_kNoContext;

DeviceFilter::~DeviceFilter() = default;

QString DeviceFilter::ToLocal8BitsConverter(const QString& serial)
{
    return QString::fromLatin1(serial.toLocal8Bit());
}

void DeviceFilter::beginScan(const ScanContext& context)
{
    m_context = &context;
}

void DeviceFilter::prepare(const QList<UsbDeviceInfo>&)
{
}

void DeviceFilter::addOtherDevices(QList<DummyDevice>&)
{
}

QString DeviceFilter::convertSerial(const QString& serial) const
{
    return m_serialConverter ? m_serialConverter(serial) : serial;
}

void DeviceFilter::fillFromUsb(const UsbDeviceInfo& usb, DummyDevice& device) const
{
    device.setPort(PortNumber::usbPort(usb.port));
    device.setVendorId(usb.vendorId);
    device.setProductId(usb.productId);
    device.setVendorName(usb.manufacturer);
    device.setProductName(usb.product);
    device.setSerial(usb.serial);
    device.setConnected(true);
}

void DeviceFilter::logDebug(const QString& text) const
{
    if (m_logger)
        m_logger->logMessage(Logger::DEBUG, text);
}
