/* The exported C interface, compiled as C: scan a fake sysfs tree, read the records through the
 * documented layout, free. */
#define _XOPEN_SOURCE 700

#include <ftw.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "usbtree/Portscope.h"

_Static_assert(sizeof(PortscopeDeviceProperties) == 88, "record size");
_Static_assert(offsetof(PortscopeDeviceProperties, usb2Address) == 0, "usb2Address");
_Static_assert(offsetof(PortscopeDeviceProperties, usb3Address) == 8, "usb3Address");
_Static_assert(offsetof(PortscopeDeviceProperties, hubAddress) == 16, "hubAddress");
_Static_assert(offsetof(PortscopeDeviceProperties, isUsb3) == 24, "isUsb3");
_Static_assert(offsetof(PortscopeDeviceProperties, speed) == 28, "speed");
_Static_assert(offsetof(PortscopeDeviceProperties, serialNumber) == 32, "serialNumber");
_Static_assert(offsetof(PortscopeDeviceProperties, vendorId) == 40, "vendorId");
_Static_assert(offsetof(PortscopeDeviceProperties, vendorName) == 48, "vendorName");
_Static_assert(offsetof(PortscopeDeviceProperties, productId) == 56, "productId");
_Static_assert(offsetof(PortscopeDeviceProperties, productName) == 64, "productName");
_Static_assert(offsetof(PortscopeDeviceProperties, locationId) == 72, "locationId");
_Static_assert(offsetof(PortscopeDeviceProperties, reserved) == 80, "reserved");

static int failures = 0;

#define CHECK(condition)                                                                    \
    do {                                                                                    \
        if (!(condition)) {                                                                 \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            ++failures;                                                                     \
        }                                                                                   \
    } while (0)

static char base[] = "/tmp/portscope-c-XXXXXX";

static int writeAttribute(const char* entry, const char* attribute, const char* value)
{
    char path[512];
    snprintf(path, sizeof path, "%s/devices/%s/%s", base, entry, attribute);
    FILE* file = fopen(path, "w");
    if (!file)
        return -1;
    fprintf(file, "%s\n", value);
    return fclose(file);
}

/* devices/<entry> with its attributes (name, value pairs, null-terminated), linked from
 * bus/usb/devices/<entry>. */
static int addEntry(const char* entry, const char* const* attributes)
{
    char folder[512];
    char link[512];
    snprintf(folder, sizeof folder, "%s/devices/%s", base, entry);
    snprintf(link, sizeof link, "%s/bus/usb/devices/%s", base, entry);
    if (mkdir(folder, 0700) != 0)
        return -1;
    for (; attributes[0]; attributes += 2) {
        if (writeAttribute(entry, attributes[0], attributes[1]) != 0)
            return -1;
    }
    return symlink(folder, link);
}

static int makeTree(void)
{
    static const char* const rootHub[] = {"product", "xHCI Host Controller", "speed", "480", NULL};
    static const char* const phone[] = {"product", "Pixel", "manufacturer", "Google", "serial", "0123",
                                        "idVendor", "18d1", "idProduct", "4ee7", "speed", "480", NULL};
    static const char* const drive[] = {"idVendor", "0951", "idProduct", "16a3", "speed", "5000", NULL};
    static const char* const subfolders[] = {"devices", "bus", "bus/usb", "bus/usb/devices"};
    char path[512];
    size_t i;
    if (!mkdtemp(base))
        return -1;
    for (i = 0; i < sizeof subfolders / sizeof subfolders[0]; ++i) {
        snprintf(path, sizeof path, "%s/%s", base, subfolders[i]);
        if (mkdir(path, 0700) != 0)
            return -1;
    }
    if (addEntry("usb1", rootHub) != 0 || addEntry("1-1", phone) != 0 || addEntry("1-4", drive) != 0)
        return -1;
    snprintf(path, sizeof path, "%s/bus/usb/devices", base);
    return setenv("QLN_USB_SYSFS_ROOT", path, 1);
}

static int removeEntry(const char* path, const struct stat* info, int flag, struct FTW* walk)
{
    (void)info;
    (void)flag;
    (void)walk;
    return remove(path);
}

static const uint8_t* bytesAt(const PortscopeDeviceList* list, size_t offset)
{
    return (const uint8_t*)list + offset;
}

static void readRecords(void)
{
    PortscopeDeviceList* list = Portscope_scanUsbDevices();
    const size_t first = PORTSCOPE_LIST_HEADER_SIZE;
    const size_t second = PORTSCOPE_LIST_HEADER_SIZE + 88;
    static const uint8_t phoneAddress[8] = {0, 1, 0, 0, 0, 0, 0, 2};
    static const uint8_t driveAddress[8] = {0, 4, 0, 0, 0, 0, 0, 2};
    static const uint8_t driveHub[8] = {0, 4, 0, 0, 0, 0, 0, 1};
    static const uint8_t zero[8] = {0};
    uint64_t count = 0;
    uint16_t id = 0;
    const char* text = NULL;

    CHECK(list != NULL);
    if (!list)
        return;
    memcpy(&count, list, sizeof count);
    CHECK(count == 2);
    if (count != 2) {
        Portscope_freeUsbDeviceList(list);
        return;
    }

    /* Siblings in key order: the nameless drive ("@...") before "Pixel". */
    CHECK(memcmp(bytesAt(list, first + 8), driveAddress, 8) == 0);
    CHECK(memcmp(bytesAt(list, first + 0), zero, 8) == 0);
    CHECK(memcmp(bytesAt(list, first + 16), driveHub, 8) == 0);
    CHECK(*(const uint32_t*)bytesAt(list, first + 24) == 1);
    CHECK(*(const uint32_t*)bytesAt(list, first + 28) == PORTSCOPE_SPEED_SUPER);
    CHECK(*(char* const*)bytesAt(list, first + 32) == NULL);
    memcpy(&id, bytesAt(list, first + 40), sizeof id);
    CHECK(id == 0x0951);
    CHECK(*(char* const*)bytesAt(list, first + 64) == NULL);
    text = *(char* const*)bytesAt(list, first + 72);
    CHECK(text && strcmp(text, "20971520") == 0); /* 0x01400000 */

    CHECK(memcmp(bytesAt(list, second + 0), phoneAddress, 8) == 0);
    CHECK(*(const uint32_t*)bytesAt(list, second + 28) == PORTSCOPE_SPEED_HIGH);
    text = *(char* const*)bytesAt(list, second + 32);
    CHECK(text && strcmp(text, "0123") == 0);
    text = *(char* const*)bytesAt(list, second + 48);
    CHECK(text && strcmp(text, "Google") == 0);
    memcpy(&id, bytesAt(list, second + 56), sizeof id);
    CHECK(id == 0x4ee7);
    text = *(char* const*)bytesAt(list, second + 64);
    CHECK(text && strcmp(text, "Pixel") == 0);
    CHECK(*(const uint64_t*)bytesAt(list, second + 80) == 0);

    /* The accessor reads the same records. */
    CHECK(strcmp(Portscope_deviceAt(list, 1)->productName, "Pixel") == 0);
    CHECK(Portscope_deviceAt(list, 0)->isUsb3 == 1);

    Portscope_freeUsbDeviceList(list);
}

static void emptyWhenNoTree(void)
{
    char path[512];
    PortscopeDeviceList* list = NULL;
    snprintf(path, sizeof path, "%s/absent", base);
    setenv("QLN_USB_SYSFS_ROOT", path, 1);
    list = Portscope_scanUsbDevices();
    CHECK(list != NULL);
    if (list)
        CHECK(list->count == 0);
    Portscope_freeUsbDeviceList(list);
}

int main(void)
{
    if (access("/usr/sbin/ioreg", F_OK) == 0) {
        printf("SKIP: this system has the registry tool; the sysfs tree is not read\n");
        return 0;
    }
    if (makeTree() != 0) {
        perror("cannot write the fake sysfs tree");
        return 1;
    }
    readRecords();
    emptyWhenNoTree();
    Portscope_freeUsbDeviceList(NULL);
    CHECK(strcmp(Portscope_getVersion(),
                 "Port Scope library v1.3.0.0 built on Thursday July 30th 2015, 09:15:08 UTC") == 0);
    nftw(base, removeEntry, 16, FTW_DEPTH | FTW_PHYS);
    if (failures == 0)
        printf("PASS: tst_portscope_c\n");
    return failures == 0 ? 0 : 1;
}
