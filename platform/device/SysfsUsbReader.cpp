#include "platform/device/SysfsUsbReader.h"

#include "platform/device/PortNumber.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
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

// A hexadecimal attribute; false when it is missing, unreadable or no number of `bits` bits.
bool hexAttribute(const QString& folder, const QString& name, uint bits, uint& value)
{
    bool ok = false;
    value = readAttribute(folder, name).toUInt(&ok, 16);
    return ok && value < (1u << bits);
}

void addInterface(UsbDeviceInfo& device, const QString& folder)
{
    uint interfaceClass = 0;
    uint subClass = 0;
    uint protocol = 0;
    if (!hexAttribute(folder, QStringLiteral("bInterfaceClass"), 8, interfaceClass)
        || !hexAttribute(folder, QStringLiteral("bInterfaceSubClass"), 8, subClass)
        || !hexAttribute(folder, QStringLiteral("bInterfaceProtocol"), 8, protocol))
        return;
    device.interfaces.append({uint8_t(interfaceClass), uint8_t(subClass), uint8_t(protocol)});
}

// The port that `path` ("2-3.1") is the peer of, through the hub connector's "peer" link
// (root hub: usb2/2-0:1.0/usb2-port3/peer; other hub: 2-3/2-3:1.0/2-3-port1/peer); empty when
// the connector has no peer.
QString peerPort(const QDir& root, const QString& path)
{
    static const QRegularExpression connector(QStringLiteral("^(?:usb(\\d+)|(\\d+-\\d+(?:\\.\\d+)*))-port(\\d+)$"));
    const int dash = path.indexOf(QLatin1Char('-'));
    const QString bus = path.left(dash);
    const int dot = path.lastIndexOf(QLatin1Char('.'));
    const QString hub = dot < 0 ? QStringLiteral("usb") + bus : path.left(dot);
    const QString number = path.mid(std::max(dash, dot) + 1);
    const QString hubInterface = dot < 0 ? bus + QStringLiteral("-0:1.0") : hub + QStringLiteral(":1.0");
    const QString link = root.filePath(hub + QLatin1Char('/') + hubInterface + QLatin1Char('/') + hub
                                       + QStringLiteral("-port") + number + QStringLiteral("/peer"));
    const QString target = QFileInfo(link).canonicalFilePath();
    if (target.isEmpty())
        return QString();
    const QRegularExpressionMatch match = connector.match(QFileInfo(target).fileName());
    if (!match.hasMatch())
        return QString();
    if (!match.captured(1).isEmpty())
        return match.captured(1) + QLatin1Char('-') + match.captured(3);
    return match.captured(2) + QLatin1Char('.') + match.captured(3);
}

QString physicalPort(const QDir& root, const QString& path)
{
    const QString peer = peerPort(root, path);
    if (peer.isEmpty())
        return path;
    return PortNumber::usbPort(peer) < PortNumber::usbPort(path) ? peer : path;
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
        // Every attribute from the folder the link named when the scan reached it: a device that
        // re-enumerates meanwhile is read whole, old or new, never half of each.
        const QString folder = QFileInfo(rootDir.filePath(name)).canonicalFilePath();
        if (folder.isEmpty())
            continue;
        uint vendorId = 0;
        uint productId = 0;
        if (!hexAttribute(folder, QStringLiteral("idVendor"), 16, vendorId)
            || !hexAttribute(folder, QStringLiteral("idProduct"), 16, productId))
            continue;
        UsbDeviceInfo device;
        device.port = physicalPort(rootDir, name);
        device.vendorId = uint16_t(vendorId);
        device.productId = uint16_t(productId);
        device.busNumber = readAttribute(folder, QStringLiteral("busnum")).toInt();
        device.deviceNumber = readAttribute(folder, QStringLiteral("devnum")).toInt();
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
