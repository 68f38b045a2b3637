#pragma once

// Base of the property readers of a device. Each reader kind registers itself with its device at
// the end of its constructor (Device::addPropertyManager), and the device owns it from then on:
// find one under the device's read lock, call it after releasing the lock. A reader that works in
// the background stops that work in stop(), which the device calls before it goes.

class Device;

class DevicePropertyManager
{
public:
    explicit DevicePropertyManager(Device* device);
    virtual ~DevicePropertyManager();

    DevicePropertyManager(const DevicePropertyManager&) = delete;
    DevicePropertyManager& operator=(const DevicePropertyManager&) = delete;

    Device* getDevice() const { return m_device; }

    // A newer reader of the same kind came for the device: take from it what this one lacks.
    // Called under the device's write lock; `newer` is of this reader's own class.
    virtual void adopt(const DevicePropertyManager& newer);
    // Ends the reader's background work and waits for it; afterwards the reader runs nothing and
    // touches the device no more. Called without the device's lock.
    virtual void stop();

private:
    Device* m_device;
};
