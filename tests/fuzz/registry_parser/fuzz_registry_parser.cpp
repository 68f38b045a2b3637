// Fuzz target: the USB registry text parser and what the exported device list reads from its tree
// (end devices, port addresses, device records).

#include "tests/fuzz/FuzzTarget.h"
#include "usbtree/DeviceRecord.h"
#include "usbtree/RegistryParser.h"
#include "usbtree/USBTree.h"

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const USBTreePtr tree(parseUsbTree(std::string(reinterpret_cast<const char*>(data), size)));
    for (USBTree* device : getEndDevices(tree.get(), nullptr)) {
        PortscopeDeviceProperties record{};
        generateProperty(record, device);
        std::free(record.serialNumber);
        std::free(record.vendorName);
        std::free(record.productName);
        std::free(record.locationId);
    }
    return 0;
}
