#include "usbtree/DeviceRecord.h"

#include <cstdlib>
#include <cstring>
#include <string_view>

#include "usbtree/USBTree.h"

namespace {

char* copyText(const std::string& text)
{
    char* copy = static_cast<char*>(std::malloc(text.size() + 1));
    if (copy)
        std::memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
}

const std::string* property(const USBTree& node, std::string_view key)
{
    const auto found = node.properties.find(key);
    return found == node.properties.end() ? nullptr : &found->second;
}

char* copyProperty(const USBTree& node, std::string_view key)
{
    const std::string* value = property(node, key);
    return value ? copyText(*value) : nullptr;
}

uint16_t idProperty(const USBTree& node, std::string_view key)
{
    const std::string* value = property(node, key);
    return value ? static_cast<uint16_t>(readRegistryNumber(*value)) : 0;
}

uint32_t speedCode(const USBTree& node)
{
    const std::string* value = property(node, "Device Speed");
    if (!value)
        return PORTSCOPE_SPEED_OTHER;
    switch (readRegistryNumber(*value)) {
    case 3:
        return PORTSCOPE_SPEED_SUPER;
    case 2:
        return PORTSCOPE_SPEED_HIGH;
    default:
        return PORTSCOPE_SPEED_OTHER;
    }
}

} // namespace

void generateProperty(PortscopeDeviceProperties& record, USBTree* node)
{
    if (!node)
        return;
    record.speed = speedCode(*node);
    record.serialNumber = copyProperty(*node, "USB Serial Number");
    record.vendorId = idProperty(*node, "idVendor");
    record.vendorName = copyProperty(*node, "USB Vendor Name");
    record.productId = idProperty(*node, "idProduct");
    record.productName = node->name.empty() ? nullptr : copyText(node->name);

    const UsbAddress address = getUSBAddress(node);
    const bool isUsb3 = record.speed == PORTSCOPE_SPEED_SUPER;
    std::memcpy(isUsb3 ? record.usb3Address : record.usb2Address, address.data(), address.size());
    const uint8_t count = address[PORTSCOPE_ADDRESS_COUNT_BYTE];
    for (uint8_t i = 0; i < count && i < PORTSCOPE_ADDRESS_COUNT_BYTE; ++i)
        record.hubAddress[i] = address[i];
    // A device without any port number gets 255 here; callers rely on that wrap.
    record.hubAddress[PORTSCOPE_ADDRESS_COUNT_BYTE] = static_cast<uint8_t>(count - 1);

    record.locationId = copyProperty(*node, "locationID");
    record.reserved = 0;
    record.isUsb3 = isUsb3 ? 1 : 0;
}
