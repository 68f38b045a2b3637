#include "platform/device/DeviceManager.h"

#include "platform/device/DeviceMetaTypes.h"
#include "platform/device/DeviceScanner.h"

#include <QDateTime>

#include <set>

namespace {

QString portContext(const PortNumber& port)
{
    return QStringLiteral("Port ") + port.toString();
}

// Device text with its control characters escaped, so that it cannot break or forge a log line.
QString printable(const QString& text)
{
    QString result;
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control)
            result += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            result += c;
    }
    return result;
}

QString describe(const DummyDevice& data)
{
    return QStringLiteral("state %1, serial \"%2\", %3:%4")
        .arg(QString::number(int(data.getState())), printable(data.getSerial()),
             QStringLiteral("%1").arg(data.getVendorId(), 4, 16, QLatin1Char('0')),
             QStringLiteral("%1").arg(data.getProductId(), 4, 16, QLatin1Char('0')));
}

} // namespace

DeviceManager::DeviceManager(QObject* parent)
    : QObject(parent)
    , LoggedObject(QStringLiteral("Device Manager"))
{
    registerDeviceMetaTypes();
}

DeviceManager::~DeviceManager()
{
    stopAllScanners();
    // The virtual devices may outlive the manager in their holders: they must not call it then.
    unregisterVirtualDevices();
    QList<DeviceScanner*> scanners;
    {
        QMutexLocker locker(&m_mutex);
        scanners.swap(m_scanners);
    }
    qDeleteAll(scanners);
}

void DeviceManager::addScanner(DeviceScanner* scanner)
{
    if (!scanner)
        return;
    bindLogHandlers(*scanner);
    scanner->setManager(this);
    QMutexLocker locker(&m_mutex);
    m_scanners.append(scanner);
}

void DeviceManager::setDeviceAllocator(DeviceAllocator allocator)
{
    QMutexLocker locker(&m_mutex);
    m_allocator = allocator;
}

void DeviceManager::setLostDeviceKeepMs(qint64 keepMs)
{
    QMutexLocker locker(&m_mutex);
    m_lostDeviceKeepMs = keepMs;
}

void DeviceManager::rescan()
{
    QMutexLocker locker(&m_mutex);
    for (DeviceScanner* scanner : m_scanners)
        scanner->scan();
}

bool DeviceManager::waitForScan(unsigned long long timeoutMs)
{
    QList<DeviceScanner*> scanners;
    {
        QMutexLocker locker(&m_mutex);
        scanners = m_scanners;
    }
    bool complete = true;
    for (DeviceScanner* scanner : scanners)
        complete = scanner->waitForScan(timeoutMs) && complete;
    return complete;
}

void DeviceManager::stopAllScanners()
{
    QList<DeviceScanner*> scanners;
    {
        QMutexLocker locker(&m_mutex);
        scanners = m_scanners;
    }
    // Outside the lock: a scan that is still running needs the manager to finish.
    for (DeviceScanner* scanner : scanners)
        scanner->stopScan();
}

void DeviceManager::getDevices(std::map<PortNumber, DevicePtr>& devices) const
{
    QMutexLocker locker(&m_mutex);
    for (const auto& entry : m_devices)
        devices[entry.first] = entry.second;
    for (const auto& entry : m_virtualDevices)
        devices[entry.second.device->getPort()] = entry.second.device;
}

int DeviceManager::getDevicesCount() const
{
    QMutexLocker locker(&m_mutex);
    return int(m_devices.size() + m_virtualDevices.size());
}

DevicePtr DeviceManager::getDeviceBySerial(const QString& serial) const
{
    if (serial.isEmpty())
        return DevicePtr();
    QMutexLocker locker(&m_mutex);
    DevicePtr disconnected;
    for (const auto& entry : m_devices) {
        if (entry.second->getSerial() != serial)
            continue;
        if (entry.second->isConnected())
            return entry.second;
        if (!disconnected)
            disconnected = entry.second;
    }
    return disconnected;
}

DevicePtr DeviceManager::createVirtualDevice()
{
    DevicePtr device;
    DummyDevice data;
    {
        QMutexLocker locker(&m_mutex);
        const int id = m_nextVirtualId++;
        // A connection type from the start: the command loop refuses a device without one, and a
        // flash that starts in DnX firmware runs its first command before anything is bound.
        data.setPort(PortNumber::virtualPort(id, PortNumber::UsbConnection));
        data.setConnected(false);
        device = allocate(data, nullptr);
        if (!device)
            return device;
        m_virtualDevices[id].device = device;
    }
    device->setVirtualOwner(this);
    logMessage(Logger::DEBUG, portContext(data.getPort()), QStringLiteral("Virtual device created"));
    return device;
}

void DeviceManager::unregisterVirtualDevice(const DevicePtr& device)
{
    DevicePtr released;
    {
        QMutexLocker locker(&m_mutex);
        for (auto it = m_virtualDevices.begin(); it != m_virtualDevices.end(); ++it) {
            if (it->second.device == device) {
                released = it->second.device;
                m_virtualDevices.erase(it);
                break;
            }
        }
    }
    // Outside the lock: a binding that the device asked for meanwhile finishes first.
    if (released)
        released->setVirtualOwner(nullptr);
    // `released` goes out of scope here, outside the lock: the device may die with it.
}

void DeviceManager::unregisterVirtualDevices()
{
    std::map<int, VirtualDevice> released;
    {
        QMutexLocker locker(&m_mutex);
        released.swap(m_virtualDevices);
    }
    for (const auto& entry : released)
        entry.second.device->setVirtualOwner(nullptr);
}

DeviceFilter::ScanContext DeviceManager::scanContext(const DeviceScanner* scanner) const
{
    DeviceFilter::ScanContext context;
    context.isBlocked = [this](const PortNumber& port) { return isPortBlocked(port); };
    context.isBusy = [this](const PortNumber& port) { return isPortBusy(port); };
    QMutexLocker locker(&m_mutex);
    context.selection = m_selection;
    for (const auto& entry : m_devices) {
        if (entry.second->getScanner() == scanner && entry.second->isConnected())
            context.known[entry.first] = entry.second->getData();
    }
    return context;
}

void DeviceManager::applyScan(DeviceScanner* scanner, const QList<DummyDevice>& found)
{
    QList<PendingEvent> events;
    QList<DevicePtr> forgotten;              // released after the lock
    {
        QMutexLocker locker(&m_mutex);
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        std::set<PortNumber> seen;
        for (const DummyDevice& data : found) {
            const PortNumber port = data.getPort();
            seen.insert(port);
            const auto known = m_devices.find(port);
            if (known == m_devices.end()) {
                const DevicePtr device = allocate(data, scanner);
                if (!device)
                    continue;
                m_devices[port] = device;
                logMessage(Logger::DEBUG, portContext(port), QStringLiteral("Device detected: ") + describe(data));
                events.append({Event::Detected, device});
                continue;
            }
            if (isPortBlockedLocked(port))
                continue;
            update(known->second, data, false, events);
            m_lostSince.erase(port);
        }
        for (auto it = m_devices.begin(); it != m_devices.end();) {
            const DevicePtr& device = it->second;
            if (seen.count(it->first) || device->getScanner() != scanner || isPortBlockedLocked(it->first)) {
                ++it;
                continue;
            }
            if (device->isConnected()) {
                DummyDevice data = device->getData();
                data.setConnected(false);
                data.setState(DeviceState::Unknown);
                update(device, data, false, events);
                m_lostSince[it->first] = now;
                ++it;
                continue;
            }
            const auto since = m_lostSince.find(it->first);
            if (since == m_lostSince.end() || now - since->second < m_lostDeviceKeepMs || device->isBusy()) {
                ++it;
                continue;
            }
            logMessage(Logger::DEBUG, portContext(it->first), QStringLiteral("Device forgotten"));
            forgotten.append(device);
            m_lostSince.erase(since);
            it = m_devices.erase(it);
        }
        feedVirtualDevices(events);
    }
    emitEvents(events);
}

bool DeviceManager::isPortBlocked(const PortNumber& port) const
{
    QMutexLocker locker(&m_mutex);
    return isPortBlockedLocked(port);
}

bool DeviceManager::isPortBusy(const PortNumber& port) const
{
    QMutexLocker locker(&m_mutex);
    return isPortLocked(port, &Device::isBusy);
}

bool DeviceManager::isPortBlockedLocked(const PortNumber& port) const
{
    return isPortLocked(port, &Device::isScanBlocked);
}

bool DeviceManager::isPortLocked(const PortNumber& port, bool (Device::*test)() const) const
{
    const auto found = m_devices.find(port);
    if (found != m_devices.end() && (found->second.data()->*test)())
        return true;
    // A program or flash running on a virtual device works on the device it stands for.
    for (const auto& entry : m_virtualDevices) {
        if (entry.second.bound && entry.second.source == port && (entry.second.device.data()->*test)())
            return true;
    }
    return false;
}

DevicePtr DeviceManager::allocate(const DummyDevice& data, DeviceScanner* scanner)
{
    Device* device = m_allocator ? m_allocator(data, scanner) : new Device(data, scanner);
    if (!device) {
        logMessage(Logger::ERROR, portContext(data.getPort()), QStringLiteral("Device allocation failed"));
        return DevicePtr();
    }
    // Devices live on the manager's thread whichever thread scanned them.
    if (device->thread() != thread())
        device->moveToThread(thread());
    return DevicePtr(device);
}

void DeviceManager::update(const DevicePtr& device, const DummyDevice& data, bool isVirtual,
                           QList<PendingEvent>& events)
{
    // Only the scanning thread changes state, serial and connection, so this snapshot stays true
    // until the write lock below.
    const DummyDevice before = device->getData();
    bool changed = false;
    bool other = false;
    {
        QWriteLocker locker(&device->getLock());
        device->setDataLocked(data, changed, other);
    }
    const DummyDevice after = device->getData();
    const bool lost = before.isConnected() && !after.isConnected();
    const bool detected = !lost
                          && ((!before.isConnected() && after.isConnected())
                              || before.getState() != after.getState()
                              || before.getSerial() != after.getSerial());
    if (isVirtual) {
        if (changed || other || lost || detected)
            events.append({Event::DataChanged, device});
        return;
    }
    if (lost) {
        logMessage(Logger::DEBUG, portContext(after.getPort()), QStringLiteral("Device lost"));
        events.append({Event::Lost, device});
    } else if (detected) {
        logMessage(Logger::DEBUG, portContext(after.getPort()), QStringLiteral("Device detected: ") + describe(after));
        events.append({Event::Detected, device});
    } else if (changed || other) {
        events.append({Event::Updated, device});
    }
}

void DeviceManager::feedVirtualDevices(QList<PendingEvent>& events)
{
    std::set<PortNumber> taken = takenPortsLocked();
    for (auto& entry : m_virtualDevices) {
        VirtualDevice& stand = entry.second;
        if (stand.device->isScanBlocked())
            continue;
        if (!stand.bound) {
            if (!bindLocked(entry.first, stand, taken))
                continue;
            taken.insert(stand.source);
        }
        feedLocked(entry.first, stand, events);
    }
}

std::set<PortNumber> DeviceManager::takenPortsLocked() const
{
    std::set<PortNumber> taken;
    for (const auto& entry : m_virtualDevices) {
        if (entry.second.bound)
            taken.insert(entry.second.source);
    }
    return taken;
}

bool DeviceManager::bindLocked(int id, VirtualDevice& stand, const std::set<PortNumber>& taken)
{
    for (const auto& real : m_devices) {
        if (taken.count(real.first) || !real.second->isConnected() || real.second->isBusy()
            || real.second->isScanBlocked() || !stand.device->acceptsBinding(real.second->getData()))
            continue;
        stand.bound = true;
        stand.source = real.first;
        logMessage(Logger::DEBUG, portContext(PortNumber::virtualPort(id)),
                   QStringLiteral("Stands for the device on port ") + real.first.toString());
        return true;
    }
    return false;
}

void DeviceManager::feedLocked(int id, VirtualDevice& stand, QList<PendingEvent>& events)
{
    DummyDevice data;
    const auto source = m_devices.find(stand.source);
    if (source != m_devices.end()) {
        data = source->second->getData();
    } else {
        data = stand.device->getData();
        data.setConnected(false);
        data.setState(DeviceState::Unknown);
    }
    data.setPort(PortNumber::virtualPort(id, data.getPort().getConnectionType()));
    update(stand.device, data, true, events);
}

bool DeviceManager::bindVirtualDevice(Device* device)
{
    QList<PendingEvent> events;
    QMutexLocker locker(&m_mutex);
    for (auto& entry : m_virtualDevices) {
        VirtualDevice& stand = entry.second;
        if (stand.device.data() != device)
            continue;
        if (stand.bound || device->isScanBlocked() || !bindLocked(entry.first, stand, takenPortsLocked()))
            return false;
        // A virtual device's only event is its own dataChanged(), which the caller emits.
        feedLocked(entry.first, stand, events);
        return true;
    }
    return false;
}

void DeviceManager::emitEvents(const QList<PendingEvent>& events)
{
    for (const PendingEvent& pending : events) {
        switch (pending.event) {
        case Event::Detected:
            emit deviceDetected(pending.device);
            break;
        case Event::Updated:
            emit deviceUpdated(pending.device);
            break;
        case Event::Lost:
            emit deviceLost(pending.device);
            emit pending.device->deviceLost();
            break;
        case Event::DataChanged:
            break;
        }
        emit pending.device->dataChanged();
    }
}

void DeviceManager::setSelection(const DeviceSelection& selection)
{
    QMutexLocker locker(&m_mutex);
    m_selection = selection;
}
