#ifndef USBTREE_SYSFSUSBTREE_H
#define USBTREE_SYSFSUSBTREE_H

// Builds the USBTree that the registry tool would print from the kernel's USB tree in sysfs, for
// systems without that tool. Entries are read straight from their attribute files, so device
// text (names with commas, "<", "@" or " = ") lands in the tree unchanged. Any thread.

#include <string>

#include "usbtree/PortscopeExport.h"

struct USBTree;

// The folder of the USB device entries: $QLN_USB_SYSFS_ROOT when set and not empty, else
// "/sys/bus/usb/devices".
PORTSCOPE_EXPORT std::string sysfsUsbRoot();

// A node "Root" (class "IORegistryEntry", depth 0) with one node per bus ("usb<N>", class
// "IOUSBRootHubDevice", "PortNum" 0, 1, ... in bus order) and the devices ("<bus>-<port>[.<port>]...")
// at their port paths: hubs (USB class 09) as "IOUSBHubDevice", other devices as "IOUSBDevice".
// Properties: "PortNum", "Device Speed", "USB Serial Number", "idVendor", "idProduct",
// "USB Vendor Name", "USB Product Name" and "locationID", each only when sysfs has its source.
// Interface entries and devices whose hub is missing are left out. Null when the folder cannot
// be read; the caller releases the tree with freeUsbTree.
PORTSCOPE_EXPORT USBTree* buildSysfsUsbTree(const std::string& root);

#endif
