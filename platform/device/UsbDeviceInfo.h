#pragma once

// What the kernel's USB tree tells about one device: port path, ids, descriptor strings and the
// class triplets of its interfaces. Filled by SysfsUsbReader, read by the device filters.

#include <QList>
#include <QString>

#include <cstdint>

struct UsbInterfaceInfo
{
    uint8_t interfaceClass = 0;
    uint8_t subClass = 0;
    uint8_t protocol = 0;
};

struct UsbDeviceInfo
{
    QString port;            // "1-2.3": bus, then the port numbers (of the connector's lower peer)
    int busNumber = 0;       // the kernel's bus and device number: a new enumeration, a new pair
    int deviceNumber = 0;
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    QString serial;
    QString manufacturer;
    QString product;
    QList<UsbInterfaceInfo> interfaces;

    // True when `other` is this same enumeration of the device: a device that re-enumerates (a
    // reboot into another mode, a cable pulled and plugged) gets another device number at least.
    bool isSameEnumeration(const UsbDeviceInfo& other) const
    {
        return port == other.port && busNumber == other.busNumber && deviceNumber == other.deviceNumber
               && vendorId == other.vendorId && productId == other.productId && serial == other.serial;
    }

    // True when one interface has this class and subclass (and protocol, when one is given).
    bool hasInterface(uint8_t interfaceClass, uint8_t subClass, int protocol = -1) const
    {
        for (const UsbInterfaceInfo& info : interfaces) {
            if (info.interfaceClass == interfaceClass && info.subClass == subClass
                && (protocol < 0 || info.protocol == protocol))
                return true;
        }
        return false;
    }
};
