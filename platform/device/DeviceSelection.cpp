#include "platform/device/DeviceSelection.h"

DeviceSelection DeviceSelection::bySerials(const QStringList& serials)
{
    DeviceSelection selection;
    for (const QString& serial : serials) {
        if (!serial.isEmpty())
            selection.m_serials.append(serial);
    }
    return selection;
}

DeviceSelection DeviceSelection::byIds(uint16_t vendorId, uint16_t productId)
{
    DeviceSelection selection;
    selection.m_vendorId = vendorId;
    selection.m_productId = vendorId != 0 ? productId : 0;
    return selection;
}

bool DeviceSelection::admits(const UsbDeviceInfo& usb) const
{
    if (m_vendorId != 0)
        return usb.vendorId == m_vendorId && (m_productId == 0 || usb.productId == m_productId);
    return m_serials.isEmpty() || m_serials.contains(usb.serial);
}
