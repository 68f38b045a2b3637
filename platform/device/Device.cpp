#include "platform/device/Device.h"

#include "platform/device/DeviceManager.h"
#include "platform/device/DevicePropertyManager.h"

#include <typeinfo>

namespace {

// What decides whether a device was detected again: its state, serial and presence.
bool sameStateData(const DummyDevice& a, const DummyDevice& b)
{
    return a.getState() == b.getState() && a.getSerial() == b.getSerial()
           && a.isConnected() == b.isConnected();
}

// Virtual ports compare by id only, so the connection type is compared on its own.
bool sameOtherData(const DummyDevice& a, const DummyDevice& b)
{
    return a.getPort() == b.getPort()
           && a.getPort().getConnectionType() == b.getPort().getConnectionType()
           && a.getPlatform() == b.getPlatform() && a.getKind() == b.getKind()
           && a.getVendorId() == b.getVendorId() && a.getProductId() == b.getProductId()
           && a.getVendorName() == b.getVendorName() && a.getProductName() == b.getProductName();
}

} // namespace

Device::Device(const DummyDevice& data, DeviceScanner* scanner)
    : m_data(data)
    , m_scanner(scanner)
{
}

Device::~Device()
{
    stopPropertyManagers();
    for (DevicePropertyManager* manager : m_propertyManagers)
        delete manager;
}

bool Device::isValid() const
{
    return readLocked([this] { return m_data.getPort().getConnectionType() != PortNumber::NoConnection; });
}

bool Device::isConnected() const
{
    return readLocked([this] { return m_data.isConnected(); });
}

bool Device::isBusy() const
{
    return false;
}

bool Device::acceptsBinding(const DummyDevice&) const
{
    return false;
}

DeviceState Device::getState() const
{
    return readLocked([this] { return m_data.getState(); });
}

uint16_t Device::getProductId() const
{
    return readLocked([this] { return m_data.getProductId(); });
}

QString Device::getProductName() const
{
    return readLocked([this] { return m_data.getProductName(); });
}

uint16_t Device::getVendorId() const
{
    return readLocked([this] { return m_data.getVendorId(); });
}

QString Device::getVendorName() const
{
    return readLocked([this] { return m_data.getVendorName(); });
}

QString Device::getSerial() const
{
    return readLocked([this] { return m_data.getSerial(); });
}

void Device::setDataLocked(const DummyDevice& data, bool& changed, bool& other)
{
    DummyDevice next = data;
    // A virtual device keeps its own port identity; only the connection type follows the data.
    const PortNumber port = m_data.getPort();
    if (port.isVirtualPort())
        next.setPort(PortNumber::virtualPort(port.getVirtualId(), data.getPort().getConnectionType()));
    if (!sameStateData(m_data, next))
        changed = true;
    if (!sameOtherData(m_data, next))
        other = true;
    m_data = next;
}

PortNumber Device::getPort() const
{
    return readLocked([this] { return m_data.getPort(); });
}

DevicePlatform Device::getPlatform() const
{
    return readLocked([this] { return m_data.getPlatform(); });
}

DeviceKind Device::getKind() const
{
    return readLocked([this] { return m_data.getKind(); });
}

DeviceScanner* Device::getScanner() const
{
    return readLocked([this] { return m_scanner; });
}

DummyDevice Device::getData() const
{
    return readLocked([this] { return m_data; });
}

void Device::blockScan()
{
    ++m_scanBlocks;
}

void Device::unblockScan()
{
    // An unmatched unblock must not leave a negative count that would swallow the next block.
    int blocks = m_scanBlocks.load();
    while (blocks > 0 && !m_scanBlocks.compare_exchange_weak(blocks, blocks - 1)) {
    }
}

bool Device::isScanBlocked() const
{
    return m_scanBlocks.load() > 0;
}

void Device::addPropertyManager(DevicePropertyManager* manager)
{
    std::unique_ptr<DevicePropertyManager> released;   // deleted after the lock
    QWriteLocker locker(&m_lock);
    for (DevicePropertyManager* kept : m_propertyManagers) {
        if (typeid(*kept) != typeid(*manager))
            continue;
        // Readers are made on every detection of the device; one of a kind is enough. Whoever
        // made the newcomer may still use it right away, so it lives until the next one comes.
        kept->adopt(*manager);
        released = std::move(m_surplusManager);
        m_surplusManager.reset(manager);
        return;
    }
    m_propertyManagers.push_back(manager);
}

void Device::stopPropertyManagers()
{
    std::list<DevicePropertyManager*> managers;
    {
        QReadLocker locker(&m_lock);
        managers = m_propertyManagers;
        if (m_surplusManager)
            managers.push_back(m_surplusManager.get());
    }
    // Outside the lock: a reader's work in flight may be waiting for it.
    for (DevicePropertyManager* manager : managers)
        manager->stop();
}

void Device::requestBinding()
{
    bool bound = false;
    {
        QMutexLocker locker(&m_ownerMutex);
        if (m_virtualOwner)
            bound = m_virtualOwner->bindVirtualDevice(this);
    }
    if (bound)
        emit dataChanged();
}

void Device::setVirtualOwner(DeviceManager* owner)
{
    QMutexLocker locker(&m_ownerMutex);
    m_virtualOwner = owner;
}
