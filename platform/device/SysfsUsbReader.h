#pragma once

// Reads the USB devices of the kernel's sysfs tree (/sys/bus/usb/devices, or the folder named by
// QLN_USB_SYSFS_ROOT): one entry per device folder such as "1-2.3" (root hubs are left out), with
// the interfaces found beside it ("1-2.3:1.0") or inside it. Entries may be symbolic links, as in
// the real tree. A device without readable vendor and product ids is left out.
//
// A USB 3 connector is two ports, a high-speed one and a SuperSpeed one on another bus; the hubs'
// "peer" links pair them. A device's port is the lower of the pair (in PortNumber order), so a
// phone keeps one port whichever speed it enumerates at. Static only; reads files, never writes.

#include "platform/device/UsbDeviceInfo.h"

#include <QList>
#include <QString>

class SysfsUsbReader
{
public:
    SysfsUsbReader() = delete;

    // QLN_USB_SYSFS_ROOT when set and not empty, else /sys/bus/usb/devices.
    static QString defaultRoot();
    // The devices under `root` in port order; an unreadable root gives an empty list.
    static QList<UsbDeviceInfo> read(const QString& root);
};
