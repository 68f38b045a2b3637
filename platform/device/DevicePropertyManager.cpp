#include "platform/device/DevicePropertyManager.h"

#include "platform/device/Device.h"

DevicePropertyManager::DevicePropertyManager(Device* device)
    : m_device(device)
{
    if (m_device)
        m_device->addPropertyManager(this);
}

DevicePropertyManager::~DevicePropertyManager() = default;
