#include "platform/device/DevicePropertyManager.h"

DevicePropertyManager::DevicePropertyManager(Device* device)
    : m_device(device)
{
}

DevicePropertyManager::~DevicePropertyManager() = default;

void DevicePropertyManager::adopt(const DevicePropertyManager&)
{
}

void DevicePropertyManager::stop()
{
}
