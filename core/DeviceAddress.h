#pragma once

// The arguments that address one device for adb or fastboot: "-s <serial>" on USB; on the network
// adb wants "host:port" (its default port 5555 when the serial names none) and Debian's fastboot
// wants "tcp:<address>" (it has no -t). Every caller that runs the tools for a device builds its
// selector here. A value type; any thread.

#include <QString>
#include <QStringList>

class DeviceAddress
{
public:
    // `connectionType` as PortNumber::getConnectionType() gives it.
    DeviceAddress(const QString& serial, int connectionType);

    // Attached over USB or the network: the kinds refuse to run a device that is neither.
    bool isAddressable() const;
    // "-s" and adb's name of the device; a device of no known connection keeps its serial.
    QStringList adbSelector() const;
    // "-s" and fastboot's name of the device; nothing for a device of no known connection.
    QStringList fastbootSelector() const;

    // "-i <vendor id>" when the settings force fastboot's vendor id, else nothing.
    static QStringList fastbootVendorOption();

private:
    QString m_serial;
    int m_connectionType;
};
