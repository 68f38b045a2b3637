#ifndef PORTSCOPE_H
#define PORTSCOPE_H

/*
 * libportscope: lists the USB end devices of the machine.
 *
 * Plain C interface, usable from C and C++, for 64-bit platforms (x86-64). The library keeps no
 * state between calls and every function may be called from any thread. No C++ exception ever
 * leaves these functions.
 *
 * Where the devices come from: the output of the registry tool "/usr/sbin/ioreg -p IOUSB -l" when
 * that program exists; otherwise the kernel's USB tree in sysfs, read from the folder named by the
 * environment variable QLN_USB_SYSFS_ROOT when it is set and not empty, else /sys/bus/usb/devices.
 *
 * Listed are devices of registry class "IOUSBDevice"; from sysfs every device that is not a hub
 * (root hubs and devices of USB class 09 are left out). Order: depth-first, the devices below a
 * node before the node itself, siblings in the byte order of "<name>@<location id, hex>".
 *
 * Malformed input never fails a call: registry text outside the tool's layout, sysfs entries
 * that are not devices, attribute files that are missing or not numbers, or a device whose hub
 * is missing only leave out that device or that field (null text, zero number). Device names
 * and serials are copied as the device reports them, commas, "<", "@" and " = " included.
 */

#include <stddef.h>
#include <stdint.h>

#include "usbtree/PortscopeExport.h"

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Port address, 8 bytes: bytes 0 to count-1 hold the port numbers (low 8 bits each) on the path
 * from the outermost level (the root hub's number: 0, 1, ... in bus order) down to the device;
 * the other bytes up to byte 6 are 0; byte 7 holds the count. A path longer than seven numbers
 * keeps its seven outermost numbers and a count of 7.
 */
#define PORTSCOPE_ADDRESS_COUNT_BYTE 7
#define PORTSCOPE_ADDRESS_MAX_PORTS 7

/* Values of PortscopeDeviceProperties.speed. */
#define PORTSCOPE_SPEED_OTHER 0u /* low or full speed, unknown or absent */
#define PORTSCOPE_SPEED_HIGH 1u  /* USB 2 high speed */
#define PORTSCOPE_SPEED_SUPER 2u /* USB 3 (super speed and faster) */

/*
 * One device, 88 bytes, native byte order. The four texts are zero-terminated copies owned by the
 * list block; they are released by Portscope_freeUsbDeviceList and must not be freed one by one.
 * A text property that is present but empty gives an empty text; an absent one gives null.
 */
typedef struct PortscopeDeviceProperties {
    uint8_t usb2Address[8]; /*  0: port address when speed is not PORTSCOPE_SPEED_SUPER, else zero */
    uint8_t usb3Address[8]; /*  8: port address when speed is PORTSCOPE_SPEED_SUPER, else zero */
    uint8_t hubAddress[8];  /* 16: bytes 0..count-1 of the port address, byte 7 = count - 1
                                   (255 when the device has no port number at all): the address
                                   of the hub the device is attached to */
    uint32_t isUsb3;        /* 24: 1 when speed is PORTSCOPE_SPEED_SUPER, else 0 */
    uint32_t speed;         /* 28: PORTSCOPE_SPEED_* */
    char* serialNumber;     /* 32: serial number, null when the device has none */
    uint16_t vendorId;      /* 40: USB vendor id, 0 when unknown */
    uint8_t padding1[6];    /* 42: zero */
    char* vendorName;       /* 48: manufacturer text, null when the device has none */
    uint16_t productId;     /* 56: USB product id, 0 when unknown */
    uint8_t padding2[6];    /* 58: zero */
    char* productName;      /* 64: product text, null when empty or absent */
    char* locationId;       /* 72: location id as a decimal text, null when unknown; from sysfs:
                                   bus number in the top byte, then one hex digit per port */
    uint64_t reserved;      /* 80: always 0 */
} PortscopeDeviceProperties;

/*
 * The list block: one heap block of 8 + 88 * count bytes, the 64-bit count at offset 0 and the
 * records from offset 8 on. Read the records with Portscope_deviceAt.
 */
typedef struct PortscopeDeviceList {
    uint64_t count;
} PortscopeDeviceList;

#define PORTSCOPE_LIST_HEADER_SIZE 8

#ifdef __cplusplus
static_assert(sizeof(PortscopeDeviceProperties) == 88, "record is 88 bytes");
static_assert(offsetof(PortscopeDeviceProperties, isUsb3) == 24, "isUsb3 at 24");
static_assert(offsetof(PortscopeDeviceProperties, serialNumber) == 32, "serialNumber at 32");
static_assert(offsetof(PortscopeDeviceProperties, vendorName) == 48, "vendorName at 48");
static_assert(offsetof(PortscopeDeviceProperties, productName) == 64, "productName at 64");
static_assert(offsetof(PortscopeDeviceProperties, reserved) == 80, "reserved at 80");
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
_Static_assert(sizeof(PortscopeDeviceProperties) == 88, "record is 88 bytes");
_Static_assert(offsetof(PortscopeDeviceProperties, isUsb3) == 24, "isUsb3 at 24");
_Static_assert(offsetof(PortscopeDeviceProperties, serialNumber) == 32, "serialNumber at 32");
_Static_assert(offsetof(PortscopeDeviceProperties, vendorName) == 48, "vendorName at 48");
_Static_assert(offsetof(PortscopeDeviceProperties, productName) == 64, "productName at 64");
_Static_assert(offsetof(PortscopeDeviceProperties, reserved) == 80, "reserved at 80");
#endif

/*
 * Lists the USB end devices now attached. The caller owns the block and hands it back to
 * Portscope_freeUsbDeviceList exactly once (plain free() would leak its texts).
 * When no device tree can be read (the registry tool fails or ends with a non-zero status, the
 * sysfs folder is missing or unreadable) the result is an empty list: count 0, 8 bytes.
 * Null only when memory runs out.
 */
PORTSCOPE_EXPORT PortscopeDeviceList* Portscope_scanUsbDevices(void);

/* Releases a block of Portscope_scanUsbDevices with its texts. Null is ignored. */
PORTSCOPE_EXPORT void Portscope_freeUsbDeviceList(PortscopeDeviceList* list);

/* Static text naming the library version and build date; never to be released. */
PORTSCOPE_EXPORT const char* Portscope_getVersion(void);

/* Record i (0 <= i < list->count) of a list block. */
static inline PortscopeDeviceProperties* Portscope_deviceAt(PortscopeDeviceList* list, uint64_t i)
{
    return (PortscopeDeviceProperties*)((unsigned char*)list + PORTSCOPE_LIST_HEADER_SIZE
                                        + i * sizeof(PortscopeDeviceProperties));
}

#ifdef __cplusplus
}
#endif

#endif
