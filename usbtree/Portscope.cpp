#include "usbtree/Portscope.h"

#include <cstdint>
#include <cstdlib>
#include <list>
#include <memory>

#include "usbtree/DeviceRecord.h"
#include "usbtree/USBTree.h"
#include "usbtree/UsbTreeScan.h"

namespace {

const char* const kVersionText = "Port Scope library v1.3.0.0 built on Thursday July 30th 2015, 09:15:08 UTC";

PortscopeDeviceList* allocateList(uint64_t count)
{
    const uint64_t limit = (SIZE_MAX - PORTSCOPE_LIST_HEADER_SIZE) / sizeof(PortscopeDeviceProperties);
    if (count > limit)
        return nullptr;
    void* block = std::calloc(1, PORTSCOPE_LIST_HEADER_SIZE + count * sizeof(PortscopeDeviceProperties));
    return static_cast<PortscopeDeviceList*>(block);
}

} // namespace

PortscopeDeviceList* Portscope_scanUsbDevices(void)
{
    PortscopeDeviceList* list = nullptr;
    // Exceptions (only std::bad_alloc can arise) must not reach a C caller.
    try {
        const USBTreePtr tree(getUsbTree());
        const std::list<USBTree*> devices = getEndDevices(tree.get(), nullptr);
        list = allocateList(devices.size());
        if (!list)
            return nullptr;
        list->count = devices.size();
        uint64_t index = 0;
        for (USBTree* device : devices)
            generateProperty(*Portscope_deviceAt(list, index++), device);
        return list;
    } catch (...) {
        Portscope_freeUsbDeviceList(list);
        return nullptr;
    }
}

void Portscope_freeUsbDeviceList(PortscopeDeviceList* list)
{
    if (!list)
        return;
    for (uint64_t i = 0; i < list->count; ++i) {
        PortscopeDeviceProperties* record = Portscope_deviceAt(list, i);
        std::free(record->serialNumber);
        record->serialNumber = nullptr;
        std::free(record->vendorName);
        record->vendorName = nullptr;
        std::free(record->productName);
        record->productName = nullptr;
        std::free(record->locationId);
        record->locationId = nullptr;
    }
    std::free(list);
}

const char* Portscope_getVersion(void)
{
    return kVersionText;
}
