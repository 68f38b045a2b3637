#pragma once

// Base of the property readers of a device. A reader registers itself with its device, which owns
// it from then on and deletes it with itself; find one under the device's read lock, call it after
// releasing the lock.

class Device;

class DevicePropertyManager
{
public:
    explicit DevicePropertyManager(Device* device);
    virtual ~DevicePropertyManager();

    DevicePropertyManager(const DevicePropertyManager&) = delete;
    DevicePropertyManager& operator=(const DevicePropertyManager&) = delete;

    Device* getDevice() const { return m_device; }

private:
    Device* m_device;
};
