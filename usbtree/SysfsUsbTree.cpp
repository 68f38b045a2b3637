#include "usbtree/SysfsUsbTree.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <vector>

#include "usbtree/USBTree.h"

namespace fs = std::filesystem;

namespace {

const char* const kDefaultRoot = "/sys/bus/usb/devices";
// A sysfs attribute never exceeds one page.
const std::streamsize kAttributeLimit = 4096;
// The location id has one hex digit per port below the bus byte.
const size_t kLocationPorts = 6;

// One device entry: bus number and the port path below the root hub (empty for the root hub).
struct Entry
{
    std::string folder;
    unsigned long bus = 0;
    std::vector<unsigned long> ports;
};

bool parseNumber(const std::string& text, unsigned long& value)
{
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    value = std::strtoul(text.c_str(), nullptr, 10);
    return true;
}

// "usb<bus>" is a root hub, "<bus>-<port>[.<port>]..." a device; interfaces ("1-1:1.0") and
// anything else are not entries.
bool parseEntry(const std::string& folder, Entry& entry)
{
    entry.folder = folder;
    if (folder.compare(0, 3, "usb") == 0)
        return parseNumber(folder.substr(3), entry.bus);
    const size_t dash = folder.find('-');
    if (dash == std::string::npos || !parseNumber(folder.substr(0, dash), entry.bus))
        return false;
    size_t start = dash + 1;
    for (;;) {
        const size_t dot = folder.find('.', start);
        unsigned long port = 0;
        if (!parseNumber(folder.substr(start, dot == std::string::npos ? std::string::npos : dot - start), port))
            return false;
        entry.ports.push_back(port);
        if (dot == std::string::npos)
            return true;
        start = dot + 1;
    }
}

// The attribute's text without its line end; false when the file is missing or unreadable.
bool readAttribute(const fs::path& folder, const char* attribute, std::string& value)
{
    std::ifstream file(folder / attribute, std::ios::binary);
    if (!file)
        return false;
    std::string text(static_cast<size_t>(kAttributeLimit), '\0');
    file.read(&text[0], kAttributeLimit);
    if (file.bad())
        return false;
    text.resize(static_cast<size_t>(file.gcount()));
    if (!text.empty() && text.back() == '\n')
        text.pop_back();
    value = text;
    return true;
}

// The registry counts 0 low, 1 full, 2 high and 3 super speed; sysfs gives Mbit/s.
bool registrySpeed(const std::string& sysfsSpeed, int& speed)
{
    if (sysfsSpeed == "1.5")
        speed = 0;
    else if (sysfsSpeed == "12")
        speed = 1;
    else if (sysfsSpeed == "480")
        speed = 2;
    else if (std::atof(sysfsSpeed.c_str()) >= 5000.0)
        speed = 3;
    else
        return false;
    return true;
}

// sysfs gives ids as four hex digits; the registry prints them in decimal.
bool decimalId(const std::string& hex, std::string& decimal)
{
    if (hex.empty() || hex.size() > 4 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return false;
    decimal = std::to_string(std::strtoul(hex.c_str(), nullptr, 16));
    return true;
}

uint32_t locationId(const Entry& entry)
{
    uint32_t location = static_cast<uint32_t>(entry.bus & 0xff) << 24;
    for (size_t i = 0; i < entry.ports.size() && i < kLocationPorts; ++i)
        location |= static_cast<uint32_t>(entry.ports[i] & 0xf) << (20 - 4 * i);
    return location;
}

USBTreePtr makeNode(const fs::path& root, const Entry& entry, int32_t depth)
{
    const fs::path folder = root / entry.folder;
    USBTreePtr node(new USBTree);
    node->depth = depth;
    readAttribute(folder, "product", node->name);

    std::string value;
    std::string converted;
    if (entry.ports.empty())
        node->klass = "IOUSBRootHubDevice";
    else if (readAttribute(folder, "bDeviceClass", value) && value == "09")
        node->klass = "IOUSBHubDevice";
    else
        node->klass = "IOUSBDevice";

    auto& properties = node->properties;
    if (!entry.ports.empty())
        properties["PortNum"] = std::to_string(entry.ports.back());
    int speed = 0;
    if (readAttribute(folder, "speed", value) && registrySpeed(value, speed))
        properties["Device Speed"] = std::to_string(speed);
    if (readAttribute(folder, "serial", value))
        properties["USB Serial Number"] = value;
    if (readAttribute(folder, "idVendor", value) && decimalId(value, converted))
        properties["idVendor"] = converted;
    if (readAttribute(folder, "idProduct", value) && decimalId(value, converted))
        properties["idProduct"] = converted;
    if (readAttribute(folder, "manufacturer", value))
        properties["USB Vendor Name"] = value;
    if (readAttribute(folder, "product", value))
        properties["USB Product Name"] = value;
    properties["locationID"] = std::to_string(locationId(entry));
    return node;
}

// The key the registry tool's line would give: "+-o <name>@<location>" at the node's indentation.
// Location ids repeat when ports above 15 share a hex digit; the port keeps such siblings apart.
std::string childKey(const USBTree& parent, const USBTree& node, const Entry& entry)
{
    char location[16];
    std::snprintf(location, sizeof location, "%08lx",
                  std::strtoul(node.properties.find("locationID")->second.c_str(), nullptr, 10));
    std::string key = std::string(static_cast<size_t>(node.depth) * 2, ' ') + "+-o " + node.name + "@" + location;
    while (parent.children.count(key) != 0)
        key += "#" + std::to_string(entry.ports.empty() ? entry.bus : entry.ports.back());
    return key;
}

std::string pathKey(unsigned long bus, const std::vector<unsigned long>& ports, size_t count)
{
    std::string key = std::to_string(bus);
    for (size_t i = 0; i < count; ++i)
        key += "." + std::to_string(ports[i]);
    return key;
}

} // namespace

std::string sysfsUsbRoot()
{
    const char* root = std::getenv("QLN_USB_SYSFS_ROOT");
    return root && *root ? std::string(root) : std::string(kDefaultRoot);
}

USBTree* buildSysfsUsbTree(const std::string& root)
{
    std::error_code error;
    fs::directory_iterator it(root, error);
    if (error)
        return nullptr;
    std::vector<Entry> entries;
    for (const fs::directory_iterator end; it != end; it.increment(error)) {
        if (error)
            return nullptr;
        Entry entry;
        if (parseEntry(it->path().filename().string(), entry))
            entries.push_back(entry);
    }
    // Parents before children, buses in order.
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        if (a.ports.size() != b.ports.size())
            return a.ports.size() < b.ports.size();
        if (a.bus != b.bus)
            return a.bus < b.bus;
        return a.ports < b.ports;
    });

    USBTreePtr top(new USBTree);
    top->name = "Root";
    top->klass = "IORegistryEntry";
    top->depth = 0;

    std::map<std::string, USBTree*> byPath;
    size_t rootHubs = 0;
    for (const Entry& entry : entries) {
        const std::string path = pathKey(entry.bus, entry.ports, entry.ports.size());
        if (byPath.count(path) != 0)
            continue;
        USBTree* parent = top.get();
        if (!entry.ports.empty()) {
            const auto hub = byPath.find(pathKey(entry.bus, entry.ports, entry.ports.size() - 1));
            if (hub == byPath.end())
                continue;
            parent = hub->second;
        }
        USBTreePtr node = makeNode(root, entry, parent->depth + 1);
        if (entry.ports.empty())
            node->properties["PortNum"] = std::to_string(rootHubs++);
        node->parent = parent;
        const std::string key = childKey(*parent, *node, entry);
        byPath[path] = node.get();
        parent->children.emplace(key, node.get());
        node.release();
    }
    return top.release();
}
