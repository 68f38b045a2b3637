#include "platform/device/AdbDeviceFilter.h"

#include <QRegularExpression>

namespace {

const uint8_t kAdbProtocol = 0x01;

} // namespace

AdbDeviceFilter::AdbDeviceFilter(Probe probe, SerialConverter converter)
    : ToolDeviceFilter(probe, converter, kAdbProtocol, DeviceKind::Adb)
{
}

DeviceState AdbDeviceFilter::usbDeviceState(const UsbDeviceInfo&, DummyDevice& device)
{
    return stateOf(listedDevices().value(device.getSerial()), device);
}

void AdbDeviceFilter::addOtherDevices(QList<DummyDevice>& devices, const PortBlocked& blocked)
{
    static const QRegularExpression address(QStringLiteral("^(\\[[^\\]]+\\]|[^:]+):\\d+$"));
    const QMap<QString, QString>& listed = listedDevices();
    for (auto it = listed.cbegin(); it != listed.cend(); ++it) {
        if (!address.match(it.key()).hasMatch())
            continue;
        const PortNumber port = PortNumber::networkPort(it.key());
        if (blocked && blocked(port))
            continue;
        DummyDevice device;
        device.setPort(port);
        device.setSerial(it.key());
        device.setKind(DeviceKind::Adb);
        device.setPlatform(DevicePlatform::GenericAndroid);
        device.setConnected(true);
        device.setState(stateOf(it.value(), device));
        devices.append(device);
    }
}

DeviceState AdbDeviceFilter::stateOf(const QString& status, DummyDevice& device) const
{
    if (status == QLatin1String("recovery") || status == QLatin1String("sideload"))
        return DeviceState::RecoveryOs;
    if (status != QLatin1String("device"))
        return DeviceState::Unknown;
    device.setState(DeviceState::MainOs);
    QString output;
    if (probe(device, {QStringLiteral("shell"), QStringLiteral("getprop"), QStringLiteral("ro.bootmode")},
              output) == 0
        && output.trimmed() == QLatin1String("charger"))
        return DeviceState::Cos;
    return DeviceState::MainOs;
}
