#include "platform/device/ToolDeviceFilter.h"

#include "platform/device/Device.h"

#include <QRegularExpression>

#include <algorithm>

namespace {

// The first "adb devices" of a session starts the adb server, which takes a few seconds.
const int kListTimeoutMs = 10000;
const int kProbeTimeoutMs = 5000;
const uint16_t kSamsungVendorId = 0x04e8;
const uint8_t kVendorClass = 0xff;
const uint8_t kAndroidSubClass = 0x42;

} // namespace

ToolDeviceFilter::ToolDeviceFilter(Probe probe, SerialConverter converter, uint8_t protocol,
                                   DeviceKind kind)
    : m_probe(probe)
    , m_protocol(protocol)
    , m_kind(kind)
{
    setSerialConverter(converter);
}

void ToolDeviceFilter::beginScan(const ScanContext& context)
{
    DeviceFilter::beginScan(context);
    // A device that was not there last scan may be back with the same identity (a tree that
    // numbers no enumeration); a fresh scan keeps nothing.
    for (auto it = m_answers.begin(); it != m_answers.end();) {
        if (context.isFresh || !m_seenPorts.contains(it->first))
            it = m_answers.erase(it);
        else
            ++it;
    }
    m_seenPorts.clear();
    m_listed = false;
    m_listOk = false;
    m_devices.clear();
    // A list started for the last scan and never read belongs to that scan.
    m_pendingList = {};
}

void ToolDeviceFilter::prepare(const QList<UsbDeviceInfo>& usbDevices)
{
    if (m_probe && needsList(usbDevices))
        m_pendingList = std::async(std::launch::async, [this] { return runList(); });
}

bool ToolDeviceFilter::needsList(const QList<UsbDeviceInfo>& usbDevices) const
{
    return std::any_of(usbDevices.begin(), usbDevices.end(),
                       [this](const UsbDeviceInfo& usb) { return asksAbout(usb); });
}

bool ToolDeviceFilter::asksAbout(const UsbDeviceInfo& usb) const
{
    return usb.hasInterface(kVendorClass, kAndroidSubClass, m_protocol)
           && (context().selection.admits(usb) || context().busy(PortNumber::usbPort(usb.port)));
}

bool ToolDeviceFilter::filter(const UsbDeviceInfo& usb, DummyDevice& device)
{
    if (!usb.hasInterface(kVendorClass, kAndroidSubClass, m_protocol))
        return false;
    m_seenPorts.insert(usb.port);
    fillFromUsb(usb, device);
    device.setKind(m_kind);
    device.setPlatform(androidPlatform(usb.vendorId));
    // A device this process may not flash is reported without asking the tool about it; a port
    // being flashed is this process's own whatever the device calls itself now.
    if (asksAbout(usb))
        device.setState(usbDeviceState(usb, device));
    else
        device.setState(DeviceState::Unknown);
    return true;
}

bool ToolDeviceFilter::listDevices()
{
    if (m_listed)
        return m_listOk;
    m_listed = true;
    if (!m_probe)
        return false;
    const ListAnswer answer = m_pendingList.valid() ? m_pendingList.get() : runList();
    const QString& output = answer.output;
    if (answer.code != 0) {
        logDebug(QStringLiteral("Device list failed with code %1").arg(answer.code));
        return false;
    }
    if (!isDeviceList(output)) {
        logDebug(QStringLiteral("Device list answered nothing"));
        return false;
    }
    // "SERIAL<tab>status" lines; adb adds a header and "* daemon ..." lines around them.
    static const QRegularExpression blanks(QStringLiteral("\\s+"), QRegularExpression::UseUnicodePropertiesOption);
    for (const QString& line : output.split(QLatin1Char('\n'))) {
        const QStringList words = line.trimmed().split(blanks, Qt::SkipEmptyParts);
        if (words.size() < 2 || line.startsWith(QLatin1Char('*'))
            || line.startsWith(QLatin1String("List of devices")))
            continue;
        m_devices.insert(words.at(0), words.at(1));
    }
    m_listOk = true;
    return true;
}

ToolDeviceFilter::ListAnswer ToolDeviceFilter::runList() const
{
    ListAnswer answer;
    answer.code = m_probe(nullptr, {QStringLiteral("devices")}, kListTimeoutMs, answer.output);
    return answer;
}

bool ToolDeviceFilter::isDeviceList(const QString& output) const
{
    return !output.trimmed().isEmpty();
}

QString ToolDeviceFilter::listedStatus(const QString& serial) const
{
    return m_devices.value(convertSerial(serial));
}

int ToolDeviceFilter::probe(const DummyDevice& data, const QStringList& arguments, QString& output) const
{
    if (!m_probe || context().busy(data.getPort()))
        return -1;
    const Device target(data, nullptr);
    return m_probe(&target, arguments, kProbeTimeoutMs, output);
}

DeviceState ToolDeviceFilter::keptState(const DummyDevice& device,
                                        std::initializer_list<DeviceState> fitting,
                                        DeviceState otherwise) const
{
    const DummyDevice* last = context().lastKnown(device.getPort());
    if (!last || last->getKind() != m_kind)
        return otherwise;
    return std::find(fitting.begin(), fitting.end(), last->getState()) != fitting.end()
               ? last->getState()
               : otherwise;
}

bool ToolDeviceFilter::enumerationState(const UsbDeviceInfo* usb,
                                        const std::function<bool(DeviceState&)>& ask, DeviceState& state)
{
    if (usb) {
        const auto kept = m_answers.find(usb->port);
        if (kept != m_answers.end() && kept->second.usb.isSameEnumeration(*usb)) {
            state = kept->second.state;
            return true;
        }
    }
    if (!ask(state))
        return false;
    if (usb)
        m_answers[usb->port] = {*usb, state};
    return true;
}

DevicePlatform ToolDeviceFilter::androidPlatform(uint16_t vendorId) const
{
    if (vendorId == InHouseVendorId || (m_userVendorId != 0 && vendorId == m_userVendorId))
        return DevicePlatform::ZorvikAndroid;
    if (vendorId == kSamsungVendorId)
        return DevicePlatform::SamsungAndroid;
    return DevicePlatform::GenericAndroid;
}
