#include "platform/device/SysfsUsbReader.h"

#include "platform/device/PortNumber.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>

namespace {

const char kRootVariable[] = "QLN_USB_SYSFS_ROOT";
const QString kRealRoot = QStringLiteral("/sys/bus/usb/devices");

QString readAttribute(const QString& folder, const QString& name)
{
    QFile file(folder + QLatin1Char('/') + name);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    // Descriptor strings are short; a bound keeps a broken tree from feeding us a huge file.
    return QString::fromUtf8(file.read(4096)).trimmed();
}

uint hexAttribute(const QString& folder, const QString& name, bool* ok = nullptr)
{
    return readAttribute(folder, name).toUInt(ok, 16);
}

void addInterface(UsbDeviceInfo& device, const QString& folder)
{
    bool ok = false;
    UsbInterfaceInfo info;
    info.interfaceClass = uint8_t(hexAttribute(folder, QStringLiteral("bInterfaceClass"), &ok));
    if (!ok)
        return;
    info.subClass = uint8_t(hexAttribute(folder, QStringLiteral("bInterfaceSubClass")));
    info.protocol = uint8_t(hexAttribute(folder, QStringLiteral("bInterfaceProtocol")));
    device.interfaces.append(info);
}

} // namespace

QString SysfsUsbReader::defaultRoot()
{
    const QString root = qEnvironmentVariable(kRootVariable);
    return root.isEmpty() ? kRealRoot : root;
}

QList<UsbDeviceInfo> SysfsUsbReader::read(const QString& root)
{
    static const QRegularExpression devicePattern(QStringLiteral("^\\d+-\\d+(\\.\\d+)*$"));
    static const QRegularExpression interfacePattern(QStringLiteral("^(\\d+-\\d+(\\.\\d+)*):\\d+\\.\\d+$"));

    const QDir rootDir(root);
    const QStringList entries = rootDir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System);
    QList<UsbDeviceInfo> devices;
    for (const QString& name : entries) {
        if (!devicePattern.match(name).hasMatch())
            continue;
        const QString folder = rootDir.filePath(name);
        bool ok = false;
        UsbDeviceInfo device;
        device.port = name;
        device.vendorId = uint16_t(hexAttribute(folder, QStringLiteral("idVendor"), &ok));
        if (!ok)
            continue;
        device.productId = uint16_t(hexAttribute(folder, QStringLiteral("idProduct")));
        device.serial = readAttribute(folder, QStringLiteral("serial"));
        device.manufacturer = readAttribute(folder, QStringLiteral("manufacturer"));
        device.product = readAttribute(folder, QStringLiteral("product"));

        // The real tree lists interfaces both inside the device folder and beside it.
        QSet<QString> seen;
        const QStringList inside = QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System);
        for (const QString& child : inside) {
            const QRegularExpressionMatch match = interfacePattern.match(child);
            if (match.hasMatch() && match.captured(1) == name && !seen.contains(child)) {
                seen.insert(child);
                addInterface(device, QDir(folder).filePath(child));
            }
        }
        for (const QString& other : entries) {
            const QRegularExpressionMatch match = interfacePattern.match(other);
            if (match.hasMatch() && match.captured(1) == name && !seen.contains(other)) {
                seen.insert(other);
                addInterface(device, rootDir.filePath(other));
            }
        }
        devices.append(device);
    }
    std::sort(devices.begin(), devices.end(), [](const UsbDeviceInfo& a, const UsbDeviceInfo& b) {
        return PortNumber::usbPort(a.port) < PortNumber::usbPort(b.port);
    });
    return devices;
}
