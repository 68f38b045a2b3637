#include "core/DeviceAddress.h"

#include "core/FMConst.h"
#include "platform/device/PortNumber.h"

#include <QRegularExpression>

namespace {

const QString kSerialOption = QStringLiteral("-s");

// A serial that already names a port keeps it: "host:port:5555" is no device adb can find.
bool namesAPort(const QString& serial)
{
    static const QRegularExpression withPort(QStringLiteral("^(\\[[^\\]]*\\]|[^:]*):[0-9]+$"));
    return withPort.match(serial).hasMatch();
}

} // namespace

DeviceAddress::DeviceAddress(const QString& serial, int connectionType)
    : m_serial(serial)
    , m_connectionType(connectionType)
{
}

bool DeviceAddress::isAddressable() const
{
    return m_connectionType == PortNumber::UsbConnection
           || m_connectionType == PortNumber::NetworkConnection;
}

QStringList DeviceAddress::adbSelector() const
{
    if (m_connectionType != PortNumber::NetworkConnection || namesAPort(m_serial))
        return {kSerialOption, m_serial};
    return {kSerialOption, m_serial + QStringLiteral(":5555")};
}

QStringList DeviceAddress::fastbootSelector() const
{
    switch (m_connectionType) {
    case PortNumber::UsbConnection:
        return {kSerialOption, m_serial};
    case PortNumber::NetworkConnection:
        if (m_serial.startsWith(QLatin1String("tcp:")) || m_serial.startsWith(QLatin1String("udp:")))
            return {kSerialOption, m_serial};
        return {kSerialOption, QStringLiteral("tcp:") + m_serial};
    default:
        return {};
    }
}

QStringList DeviceAddress::fastbootVendorOption()
{
    if (!FMConst::FORCE_FASTBOOT_VENDOR_ID)
        return {};
    return {QStringLiteral("-i"), FMConst::FASTBOOT_VENDOR_ID};
}
