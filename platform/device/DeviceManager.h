#pragma once

// The device library's front: owns the scanners, keeps every detected device by port (a device
// keeps its object through reboots on the same port, and stays known, disconnected, for a while
// after it went away), makes devices through the program's allocator, keeps the virtual devices,
// and signals detections, updates and losses. Lives on the main thread; the updates run on the
// scanners' threads, so receivers on other threads get the signals queued.

#include "platform/device/Device.h"
#include "platform/device/DeviceFilter.h"
#include "platform/device/DeviceSelection.h"
#include "platform/device/DummyDevice.h"
#include "platform/device/PortNumber.h"
#include "platform/log/LoggedObject.h"

#include <QList>
#include <QMutex>
#include <QObject>

#include <map>
#include <set>

class DeviceScanner;

class DeviceManager : public QObject, public LoggedObject
{
    Q_OBJECT

public:
    using DeviceAllocator = Device* (*)(const DummyDevice&, DeviceScanner*);

    // How long a device that went away stays known (disconnected) before it is forgotten, unless
    // setLostDeviceKeepMs says otherwise; a device that is busy is kept until it is idle.
    static constexpr qint64 DefaultLostDeviceKeepMs = 120000;

    explicit DeviceManager(QObject* parent = nullptr);
    // Stops and deletes the scanners, then releases the devices.
    ~DeviceManager() override;

    // The manager owns `scanner` from now on.
    void addScanner(DeviceScanner* scanner);
    // Makes every device from now on, virtual ones too; null: plain Device objects.
    void setDeviceAllocator(DeviceAllocator allocator);
    void setLostDeviceKeepMs(qint64 keepMs);
    // The devices this process may flash; scans from now on neither list nor probe the others
    // (they are still reported). Every device by default.
    void setSelection(const DeviceSelection& selection);

    // Asks every scanner for a scan now.
    void rescan();
    // Waits until the scans asked for are complete (above 2147483647 ms: no limit).
    bool waitForScan(unsigned long long timeoutMs);
    void stopAllScanners();

    // Every known device, disconnected and virtual ones included, by port.
    void getDevices(std::map<PortNumber, DevicePtr>& devices) const;
    template <class T>
    void getDevicesByType(std::map<PortNumber, SharedPointer<T>>& devices) const;
    int getDevicesCount() const;
    // The device with this serial, a connected one first; empty when none.
    DevicePtr getDeviceBySerial(const QString& serial) const;

    // A registered stand-by device on a USB-type virtual port. Once a flash on it wants a device
    // (Device::acceptsBinding: when the flash starts, or while it waits for a state), it takes the
    // first connected, idle device that it accepts and that no other virtual device has taken (in
    // port order), at once when the flash asks (Device::requestBinding) or at the next scan, and
    // from then on receives that device's data at every scan, under its own virtual port with
    // that device's connection type. While it flashes, the device it stands for is busy; blocking
    // its scan freezes that device too.
    DevicePtr createVirtualDevice();
    void unregisterVirtualDevice(const DevicePtr& device);
    void unregisterVirtualDevices();

signals:
    // A device appeared, came back, or changed its state or serial.
    void deviceDetected(const DevicePtr& device);
    // Something else of a device changed (ids, names, remembered data).
    void deviceUpdated(const DevicePtr& device);
    void deviceLost(const DevicePtr& device);

private:
    friend class Device;
    friend class DeviceScanner;

    struct VirtualDevice
    {
        DevicePtr device;
        bool bound = false;
        PortNumber source;                   // the real device it stands for, once bound
    };
    enum class Event { Detected, Updated, Lost, DataChanged };
    struct PendingEvent
    {
        Event event;
        DevicePtr device;
    };

    // What the scanner's filters may know at the start of a scan (called on the scanner's thread).
    DeviceFilter::ScanContext scanContext(const DeviceScanner* scanner) const;
    // Called on the scanner's thread with one scan's records.
    void applyScan(DeviceScanner* scanner, const QList<DummyDevice>& found);
    // True when the device on `port`, or a virtual device standing for it, is blocked / busy /
    // passes `test` (the caller holds m_mutex for the Locked ones).
    bool isPortBlocked(const PortNumber& port) const;
    bool isPortBlockedLocked(const PortNumber& port) const;
    bool isPortBusy(const PortNumber& port) const;
    bool isPortLocked(const PortNumber& port, bool (Device::*test)() const) const;
    DevicePtr allocate(const DummyDevice& data, DeviceScanner* scanner);
    // Stores `data` into `device` under its write lock; queues the events it calls for.
    // A virtual device's changes only make it emit dataChanged().
    void update(const DevicePtr& device, const DummyDevice& data, bool isVirtual,
                QList<PendingEvent>& events);
    void feedVirtualDevices(QList<PendingEvent>& events);
    // Binds an unbound virtual device to a device it accepts and feeds it; false when it stays
    // unbound. `taken`: the ports other virtual devices stand for.
    bool bindLocked(int id, VirtualDevice& stand, const std::set<PortNumber>& taken);
    void feedLocked(int id, VirtualDevice& stand, QList<PendingEvent>& events);
    std::set<PortNumber> takenPortsLocked() const;
    // Device::requestBinding: binds `device` now when it is an unbound virtual device and a device
    // it accepts is there; true when it was bound and fed (its dataChanged() is the caller's).
    bool bindVirtualDevice(Device* device);
    void emitEvents(const QList<PendingEvent>& events);

    mutable QMutex m_mutex;                  // guards what follows; never held while emitting
    QList<DeviceScanner*> m_scanners;
    DeviceAllocator m_allocator = nullptr;
    std::map<PortNumber, DevicePtr> m_devices;
    std::map<PortNumber, qint64> m_lostSince; // ms since epoch, for disconnected devices
    std::map<int, VirtualDevice> m_virtualDevices;
    int m_nextVirtualId = 1;
    qint64 m_lostDeviceKeepMs = DefaultLostDeviceKeepMs;
    DeviceSelection m_selection;
};

template <class T>
void DeviceManager::getDevicesByType(std::map<PortNumber, SharedPointer<T>>& devices) const
{
    std::map<PortNumber, DevicePtr> all;
    getDevices(all);
    for (const auto& entry : all) {
        const SharedPointer<T> device = entry.second.template dynamicCast<T>();
        if (device)
            devices[entry.first] = device;
    }
}
