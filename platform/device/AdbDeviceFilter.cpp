#include "platform/device/AdbDeviceFilter.h"

#include <QRegularExpression>

namespace {

const uint8_t kAdbProtocol = 0x01;

bool isNetworkAddress(const QString& serial)
{
    static const QRegularExpression address(QStringLiteral("^(\\[[^\\]]+\\]|[^:]+):\\d+$"));
    return address.match(serial).hasMatch();
}

} // namespace

AdbDeviceFilter::AdbDeviceFilter(Probe probe, SerialConverter converter)
    : ToolDeviceFilter(probe, converter, kAdbProtocol, DeviceKind::Adb)
{
}

DeviceState AdbDeviceFilter::usbDeviceState(const UsbDeviceInfo& usb, DummyDevice& device)
{
    if (!listDevices())
        return keptState(device, {DeviceState::MainOs, DeviceState::Cos, DeviceState::RecoveryOs},
                         DeviceState::Unknown);
    return stateOf(listedStatus(device.getSerial()), device, &usb);
}

bool AdbDeviceFilter::needsList(const QList<UsbDeviceInfo>&) const
{
    return true;
}

bool AdbDeviceFilter::isDeviceList(const QString& output) const
{
    return output.contains(QLatin1String("List of devices attached"));
}

void AdbDeviceFilter::addOtherDevices(QList<DummyDevice>& devices)
{
    if (!listDevices()) {
        // adb did not answer: the network devices it listed last are still there as they were.
        for (const auto& entry : context().known) {
            const DummyDevice& last = entry.second;
            if (last.getPort().getConnectionType() == PortNumber::NetworkConnection
                && last.getKind() == DeviceKind::Adb && !context().blocked(entry.first))
                devices.append(last);
        }
        return;
    }
    const QMap<QString, QString>& listed = listedDevices();
    for (auto it = listed.cbegin(); it != listed.cend(); ++it) {
        if (!isNetworkAddress(it.key()))
            continue;
        const PortNumber port = PortNumber::networkPort(it.key());
        if (context().blocked(port))
            continue;
        DummyDevice device;
        device.setPort(port);
        device.setSerial(it.key());
        device.setKind(DeviceKind::Adb);
        device.setPlatform(DevicePlatform::GenericAndroid);
        device.setConnected(true);
        device.setState(stateOf(it.value(), device, nullptr));
        devices.append(device);
    }
}

DeviceState AdbDeviceFilter::stateOf(const QString& status, const DummyDevice& device, const UsbDeviceInfo* usb)
{
    if (status == QLatin1String("recovery") || status == QLatin1String("sideload"))
        return DeviceState::RecoveryOs;
    if (status != QLatin1String("device"))
        return DeviceState::Unknown;
    DeviceState state = DeviceState::Unknown;
    if (enumerationState(usb, [&](DeviceState& answer) { return askBootMode(device, answer); }, state))
        return state;
    return keptState(device, {DeviceState::MainOs, DeviceState::Cos}, DeviceState::MainOs);
}

bool AdbDeviceFilter::askBootMode(const DummyDevice& device, DeviceState& state) const
{
    // Only ro.bootmode tells a charging device (COS) from a running one (Main OS).
    DummyDevice running = device;
    running.setState(DeviceState::MainOs);
    QString output;
    if (probe(running, {QStringLiteral("shell"), QStringLiteral("getprop"), QStringLiteral("ro.bootmode")},
              output) != 0)
        return false;
    const QString mode = output.trimmed();
    if (mode.isEmpty())
        return false;
    state = mode == QLatin1String("charger") ? DeviceState::Cos : DeviceState::MainOs;
    return true;
}
