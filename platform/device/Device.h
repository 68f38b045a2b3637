#pragma once

// One device that the device library detected (or a virtual one that the program asked for).
// The device manager creates it through the program's allocator and shares it as DevicePtr; the
// scanning thread updates it under its write lock through setDataLocked, every other thread reads
// it through the locking getters. Emits dataChanged() after an update that changed something and
// deviceLost() when the device went away.

#include "platform/device/DeviceTypes.h"
#include "platform/device/DummyDevice.h"
#include "platform/device/PortNumber.h"
#include "platform/device/SharedPointer.h"

#include <QMutex>
#include <QObject>
#include <QReadLocker>
#include <QReadWriteLock>
#include <QString>

#include <atomic>
#include <cstdint>
#include <list>
#include <memory>

class DeviceManager;
class DevicePropertyManager;
class DeviceScanner;

class Device : public QObject
{
    Q_OBJECT

public:
    Device(const DummyDevice& data, DeviceScanner* scanner);
    // Stops and deletes the property managers of the device.
    ~Device() override;

    // True while the device stands for something that can be addressed (its port has a connection).
    virtual bool isValid() const;
    virtual bool isConnected() const;
    // True while the program works on the device; the base device is never busy.
    virtual bool isBusy() const;
    // True when this virtual device, not yet standing for any device, would stand for the device
    // whose data is `real` (its flash wants a device in that state, of that kind). The base device
    // takes none.
    virtual bool acceptsBinding(const DummyDevice& real) const;
    virtual DeviceState getState() const;
    virtual uint16_t getProductId() const;
    virtual QString getProductName() const;
    virtual uint16_t getVendorId() const;
    virtual QString getVendorName() const;
    virtual QString getSerial() const;
    // Stores new scan data. The caller holds the write lock (getLock()). `changed` is set when the
    // state, serial or connection changed, `other` when anything else did; neither is cleared.
    virtual void setDataLocked(const DummyDevice& data, bool& changed, bool& other);

    PortNumber getPort() const;
    DevicePlatform getPlatform() const;
    DeviceKind getKind() const;
    DeviceScanner* getScanner() const;
    // Everything the device holds, as one scan record (taken under the read lock).
    DummyDevice getData() const;

    // Freezes the device: scans neither probe it nor update it until the matching unblockScan.
    // Calls nest; callable from any thread.
    void blockScan();
    void unblockScan();
    bool isScanBlocked() const;

    // The lock over the device's data and its property managers. Take it for reading around
    // getPropertyManagersLocked(); never call the locking getters while holding it.
    QReadWriteLock& getLock() const { return m_lock; }
    const std::list<DevicePropertyManager*>& getPropertyManagersLocked() const
    {
        return m_propertyManagers;
    }
    // The device owns `manager` from now on (the constructor of every reader kind calls it). The
    // device keeps one reader of each kind: a second one hands what it has (DevicePropertyManager::
    // adopt) to the first and is deleted when a third arrives, or with the device.
    void addPropertyManager(DevicePropertyManager* manager);
    // Stops the background work of every property manager (DevicePropertyManager::stop). Readers
    // call the device's virtual getters (isBusy, getState) from their threads: a derived class
    // calls this first in its destructor, before its own part of the device is gone.
    void stopPropertyManagers();

signals:
    void dataChanged();
    void deviceLost();

protected:
    // A virtual device asks the device manager that made it to stand for a device now, when one
    // that acceptsBinding() is there (otherwise the next scans look again). Nothing for other
    // devices. Call without holding the lock; emits dataChanged() when it stands for one now.
    void requestBinding();

    // The current scan data; the caller holds the lock (derived classes read it in setDataLocked).
    const DummyDevice& lockedData() const { return m_data; }
    // Runs `read` under the read lock and returns its result: the body of the locking getters.
    template <class Read>
    auto readLocked(Read read) const
    {
        QReadLocker locker(&m_lock);
        return read();
    }

    mutable QReadWriteLock m_lock;

private:
    friend class DeviceManager;
    // Set by the device manager while the virtual device is registered with it, cleared before
    // the manager lets go of it.
    void setVirtualOwner(DeviceManager* owner);

    DummyDevice m_data;                      // guarded by m_lock
    DeviceScanner* m_scanner = nullptr;
    std::list<DevicePropertyManager*> m_propertyManagers;
    std::unique_ptr<DevicePropertyManager> m_surplusManager;   // the last merged reader
    std::atomic<int> m_scanBlocks{0};
    QMutex m_ownerMutex;                     // guards m_virtualOwner, held while calling it
    DeviceManager* m_virtualOwner = nullptr;
};

using DevicePtr = SharedPointer<Device>;

Q_DECLARE_METATYPE(DevicePtr)

// Keeps `device`'s scans blocked for its lifetime; a null device is left alone.
class ScanBlock
{
public:
    explicit ScanBlock(Device* device)
        : m_device(device)
    {
        if (m_device)
            m_device->blockScan();
    }
    ~ScanBlock()
    {
        if (m_device)
            m_device->unblockScan();
    }
    ScanBlock(const ScanBlock&) = delete;
    ScanBlock& operator=(const ScanBlock&) = delete;

private:
    Device* m_device;
};
