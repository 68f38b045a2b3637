#pragma once

// Identifier of the port a device is attached to: a USB port path ("1-2.3"), a network address
// ("127.0.0.1:5555") or a virtual port that the program created. A small value type, ordered so
// that maps keyed by it list USB ports first (by bus and port numbers), then network ports, then
// virtual ports by creation order.

#include <QMetaType>
#include <QString>

class PortNumber
{
public:
    // Values of getConnectionType(); the numbers are stored and compared by callers.
    enum ConnectionType : int { NoConnection = 0, UsbConnection = 1, NetworkConnection = 2 };

    PortNumber() = default;
    static PortNumber usbPort(const QString& path);
    static PortNumber networkPort(const QString& address);
    // A port of a program-made device; `connectionType` is that of the device it stands for
    // (NoConnection while it stands for none).
    static PortNumber virtualPort(int virtualId, int connectionType = NoConnection);

    int getConnectionType() const { return m_connectionType; }
    bool isVirtualPort() const { return m_virtualId != 0; }
    int getVirtualId() const { return m_virtualId; }
    // USB port path or network address; empty for a virtual or default port.
    QString getAddress() const { return m_address; }
    // Display and log text: the path, the address, or "virtual-<n>".
    QString toString() const;

    // Virtual ports are one identity whatever device they stand for: they compare by id only.
    bool operator==(const PortNumber& other) const;
    bool operator!=(const PortNumber& other) const { return !(*this == other); }
    bool operator<(const PortNumber& other) const;

private:
    int m_connectionType = NoConnection;
    int m_virtualId = 0;
    QString m_address;
};

Q_DECLARE_METATYPE(PortNumber)
