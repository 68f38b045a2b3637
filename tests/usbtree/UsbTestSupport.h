#ifndef TESTS_USBTREE_USBTESTSUPPORT_H
#define TESTS_USBTREE_USBTESTSUPPORT_H

// Helpers shared by the USB tree tests: owning tree pointers, device records read from a tree,
// and readable forms of addresses and record texts for QCOMPARE.

#include <QFile>
#include <QString>
#include <QStringList>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "usbtree/DeviceRecord.h"
#include "usbtree/RegistryParser.h"
#include "usbtree/USBTree.h"

inline USBTreePtr parseFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return USBTreePtr();
    return USBTreePtr(parseUsbTree(file.readAll().toStdString()));
}

// The records the library would export for the end devices of a tree; owns their texts.
class Records
{
public:
    explicit Records(USBTree* tree)
    {
        for (USBTree* device : getEndDevices(tree, nullptr)) {
            PortscopeDeviceProperties record{};
            generateProperty(record, device);
            m_records.push_back(record);
        }
    }
    ~Records()
    {
        for (PortscopeDeviceProperties& record : m_records) {
            std::free(record.serialNumber);
            std::free(record.vendorName);
            std::free(record.productName);
            std::free(record.locationId);
        }
    }
    Records(const Records&) = delete;
    Records& operator=(const Records&) = delete;

    int size() const { return static_cast<int>(m_records.size()); }
    const PortscopeDeviceProperties& operator[](int i) const { return m_records[static_cast<size_t>(i)]; }

private:
    std::vector<PortscopeDeviceProperties> m_records;
};

// "01 03 00 00 00 00 00 02": the bytes of an address, byte 0 first.
inline QString hexBytes(const uint8_t* bytes)
{
    QStringList parts;
    for (int i = 0; i < 8; ++i)
        parts << QStringLiteral("%1").arg(bytes[i], 2, 16, QLatin1Char('0'));
    return parts.join(QLatin1Char(' '));
}

inline QString hexBytes(const UsbAddress& address)
{
    return hexBytes(address.data());
}

// A record text, with null shown as "<null>" so that null and empty stay apart.
inline QString text(const char* value)
{
    return value ? QString::fromUtf8(value) : QStringLiteral("<null>");
}

inline QString propertyOf(const USBTree* node, const char* key)
{
    const auto found = node->properties.find(key);
    return found == node->properties.end() ? QStringLiteral("<absent>") : QString::fromStdString(found->second);
}

inline USBTree* child(const USBTree* node, const std::string& key)
{
    const auto found = node->children.find(key);
    return found == node->children.end() ? nullptr : found->second;
}

inline QStringList names(const std::list<USBTree*>& nodes)
{
    QStringList result;
    for (const USBTree* node : nodes)
        result << QString::fromStdString(node->name);
    return result;
}

// Registry text of `hubs` root hubs followed by `replacements` root hubs, each with a device, that
// share one line key: each replaces the one before with its whole subtree. The last keeps the
// property "Replacement" = replacements - 1 on the hub and its device.
inline std::string replacingHubsText(int hubs, int replacements)
{
    std::string text = "+-o Root  <class IORegistryEntry, id 0x100000100, retain 12>\n"
                       "  {\n    \"IOKitBuildVersion\" = \"Simulation\"\n  }\n  \n";
    for (int i = 0; i < hubs; ++i) {
        const std::string number = std::to_string(i);
        text += "  +-o Hub " + number + "@" + number + "  <class IOUSBRootHubDevice, id 0x1, retain 9>\n"
                "  | {\n  |   \"locationID\" = " + number + "\n  | }\n  | \n";
    }
    for (int i = 0; i < replacements; ++i) {
        const std::string number = std::to_string(i);
        text += "  +-o Spare Hub@ff000000  <class IOUSBRootHubDevice, id 0x2, retain 9>\n"
                "  | {\n  |   \"Replacement\" = " + number + "\n  | }\n  | \n"
                "  | +-o Device@ff100000  <class IOUSBDevice, id 0x3, retain 12>\n"
                "  |   {\n  |     \"Replacement\" = " + number + "\n  |   }\n  |   \n";
    }
    return text;
}

#endif
