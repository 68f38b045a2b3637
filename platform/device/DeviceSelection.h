#pragma once

// The devices a process may flash, told apart by what the USB tree already says: their USB serial,
// or their vendor and product ids. The device filters neither list nor probe a device the
// selection rules out: on a station every process would otherwise question every device.

#include "platform/device/UsbDeviceInfo.h"

#include <QStringList>

#include <cstdint>

class DeviceSelection
{
public:
    // Every device.
    DeviceSelection() = default;
    // The devices whose USB serial is one of `serials` (empty ones are left out; none: every device).
    static DeviceSelection bySerials(const QStringList& serials);
    // The devices of that vendor, and of that product unless `productId` is 0 (vendor 0: every device).
    static DeviceSelection byIds(uint16_t vendorId, uint16_t productId);

    bool admits(const UsbDeviceInfo& usb) const;

private:
    QStringList m_serials;
    uint16_t m_vendorId = 0;
    uint16_t m_productId = 0;
};
