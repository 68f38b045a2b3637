#pragma once

// Registers the device library's types that travel in queued signals ("DevicePtr", "PortNumber",
// "DeviceState", "DevicePlatform"). The device manager calls it when it is created; calling it
// again does no harm.
void registerDeviceMetaTypes();
