#include "platform/device/PortNumber.h"

#include <QRegularExpression>
#include <QStringList>

#include <tuple>

namespace {

// "1-2.10" sorts after "1-2.9": compare the numbers of a USB path one by one.
int compareAddresses(const QString& left, const QString& right)
{
    static const QRegularExpression separator(QStringLiteral("[-.:]"));
    const QStringList a = left.split(separator);
    const QStringList b = right.split(separator);
    for (int i = 0; i < a.size() && i < b.size(); ++i) {
        bool aNumber = false;
        bool bNumber = false;
        const uint aValue = a.at(i).toUInt(&aNumber);
        const uint bValue = b.at(i).toUInt(&bNumber);
        if (aNumber && bNumber) {
            if (aValue != bValue)
                return aValue < bValue ? -1 : 1;
        } else if (const int text = QString::compare(a.at(i), b.at(i))) {
            return text;
        }
    }
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    return QString::compare(left, right);
}

} // namespace

PortNumber PortNumber::usbPort(const QString& path)
{
    PortNumber port;
    port.m_connectionType = UsbConnection;
    port.m_address = path;
    return port;
}

PortNumber PortNumber::networkPort(const QString& address)
{
    PortNumber port;
    port.m_connectionType = NetworkConnection;
    port.m_address = address;
    return port;
}

PortNumber PortNumber::virtualPort(int virtualId, int connectionType)
{
    PortNumber port;
    port.m_connectionType = connectionType;
    port.m_virtualId = virtualId;
    return port;
}

QString PortNumber::toString() const
{
    if (isVirtualPort())
        return QStringLiteral("virtual-%1").arg(m_virtualId);
    return m_address;
}

bool PortNumber::operator==(const PortNumber& other) const
{
    if (isVirtualPort() || other.isVirtualPort())
        return m_virtualId == other.m_virtualId;
    return m_connectionType == other.m_connectionType && m_address == other.m_address;
}

bool PortNumber::operator<(const PortNumber& other) const
{
    if (isVirtualPort() || other.isVirtualPort())
        return std::make_tuple(isVirtualPort(), m_virtualId)
               < std::make_tuple(other.isVirtualPort(), other.m_virtualId);
    // Kind order: USB (1), network (2), then the default port (0) last.
    const auto rank = [](int type) { return type == NoConnection ? 3 : type; };
    if (m_connectionType != other.m_connectionType)
        return rank(m_connectionType) < rank(other.m_connectionType);
    return compareAddresses(m_address, other.m_address) < 0;
}
