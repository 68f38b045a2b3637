#include "usbtree/USBTree.h"

#include <cstdio>
#include <cstdlib>

namespace {

const char* const kPortNumKey = "PortNum";

void collectEndDevices(USBTree* node, std::list<USBTree*>& into)
{
    for (const auto& child : node->children)
        collectEndDevices(child.second, into);
    if (node->klass == "IOUSBDevice")
        into.push_back(node);
}

} // namespace

void freeUsbTree(USBTree* node)
{
    if (!node)
        return;
    for (const auto& child : node->children)
        freeUsbTree(child.second);
    delete node;
}

void printUsbTree(USBTree* node)
{
    if (!node)
        return;
    const int levels = node->depth > 0 ? node->depth : 0;
    for (int i = 0; i < levels; ++i)
        std::fputs("|", stdout);
    std::printf("name=%s,klass=%s,parent=%s\n", node->name.c_str(), node->klass.c_str(),
                node->parent ? node->parent->name.c_str() : "NULL");
    for (const auto& property : node->properties)
        std::printf("%*s%s : %s\n", levels, "", property.first.c_str(), property.second.c_str());
    for (const auto& child : node->children)
        printUsbTree(child.second);
}

std::list<USBTree*> getEndDevices(USBTree* node, std::list<USBTree*>* into)
{
    std::list<USBTree*> collected;
    std::list<USBTree*>& target = into ? *into : collected;
    if (node)
        collectEndDevices(node, target);
    return target;
}

UsbAddress getUSBAddress(USBTree* node)
{
    std::list<uint8_t> ports;
    for (; node; node = node->parent) {
        if (node->klass == "IORegistryEntry")
            continue;
        const auto portNum = node->properties.find(kPortNumKey);
        if (portNum != node->properties.end())
            ports.push_front(static_cast<uint8_t>(readRegistryNumber(portNum->second)));
    }
    // Byte 7 is the count: a deeper path keeps its outermost ports rather than overwrite it.
    UsbAddress address{};
    uint8_t count = 0;
    for (auto it = ports.begin(); it != ports.end() && count < 7; ++it)
        address[count++] = *it;
    address[7] = count;
    return address;
}

long readRegistryNumber(const std::string& text)
{
    return std::strtol(text.c_str(), nullptr, 10);
}
