#include "platform/device/Device.h"

#include "platform/device/DevicePropertyManager.h"

Device::Device(const DummyDevice& data, DeviceScanner* scanner)
    : m_state(data.getState())
    , m_serial(data.getSerial())
    , m_connected(data.isConnected())
    , m_scanner(scanner)
    , m_port(data.getPort())
    , m_platform(data.getPlatform())
    , m_kind(data.getKind())
    , m_vendorId(data.getVendorId())
    , m_productId(data.getProductId())
    , m_vendorName(data.getVendorName())
    , m_productName(data.getProductName())
{
}

Device::~Device()
{
    for (DevicePropertyManager* manager : m_propertyManagers)
        delete manager;
}

bool Device::isValid() const
{
    QReadLocker locker(&m_lock);
    return m_port.getConnectionType() != PortNumber::NoConnection;
}

bool Device::isConnected() const
{
    QReadLocker locker(&m_lock);
    return m_connected;
}

bool Device::isBusy() const
{
    return false;
}

DeviceState Device::getState() const
{
    QReadLocker locker(&m_lock);
    return m_state;
}

uint16_t Device::getProductId() const
{
    QReadLocker locker(&m_lock);
    return m_productId;
}

QString Device::getProductName() const
{
    QReadLocker locker(&m_lock);
    return m_productName;
}

uint16_t Device::getVendorId() const
{
    QReadLocker locker(&m_lock);
    return m_vendorId;
}

QString Device::getVendorName() const
{
    QReadLocker locker(&m_lock);
    return m_vendorName;
}

QString Device::getSerial() const
{
    QReadLocker locker(&m_lock);
    return m_serial;
}

void Device::setDataLocked(const DummyDevice& data, bool& changed, bool& other)
{
    if (m_state != data.getState() || m_serial != data.getSerial()
        || m_connected != data.isConnected()) {
        m_state = data.getState();
        m_serial = data.getSerial();
        m_connected = data.isConnected();
        changed = true;
    }
    // A virtual device keeps its own port identity; only the connection type follows the data.
    PortNumber port = data.getPort();
    if (m_port.isVirtualPort())
        port = PortNumber::virtualPort(m_port.getVirtualId(), port.getConnectionType());
    if (!(m_port == port) || m_port.getConnectionType() != port.getConnectionType()
        || m_platform != data.getPlatform() || m_kind != data.getKind()
        || m_vendorId != data.getVendorId() || m_productId != data.getProductId()
        || m_vendorName != data.getVendorName() || m_productName != data.getProductName()) {
        m_port = port;
        m_platform = data.getPlatform();
        m_kind = data.getKind();
        m_vendorId = data.getVendorId();
        m_productId = data.getProductId();
        m_vendorName = data.getVendorName();
        m_productName = data.getProductName();
        other = true;
    }
}

PortNumber Device::getPort() const
{
    QReadLocker locker(&m_lock);
    return m_port;
}

DevicePlatform Device::getPlatform() const
{
    QReadLocker locker(&m_lock);
    return m_platform;
}

DeviceKind Device::getKind() const
{
    QReadLocker locker(&m_lock);
    return m_kind;
}

DeviceScanner* Device::getScanner() const
{
    QReadLocker locker(&m_lock);
    return m_scanner;
}

DummyDevice Device::getData() const
{
    QReadLocker locker(&m_lock);
    DummyDevice data;
    data.setPort(m_port);
    data.setState(m_state);
    data.setPlatform(m_platform);
    data.setKind(m_kind);
    data.setVendorId(m_vendorId);
    data.setProductId(m_productId);
    data.setVendorName(m_vendorName);
    data.setProductName(m_productName);
    data.setSerial(m_serial);
    data.setConnected(m_connected);
    return data;
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
    QWriteLocker locker(&m_lock);
    m_propertyManagers.push_back(manager);
}
