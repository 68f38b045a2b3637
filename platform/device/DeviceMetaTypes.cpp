#include "platform/device/DeviceMetaTypes.h"

#include "platform/device/Device.h"
#include "platform/device/DeviceTypes.h"
#include "platform/device/PortNumber.h"

void registerDeviceMetaTypes()
{
    qRegisterMetaType<DevicePtr>("DevicePtr");
    qRegisterMetaType<PortNumber>("PortNumber");
    qRegisterMetaType<DeviceState>("DeviceState");
    qRegisterMetaType<DevicePlatform>("DevicePlatform");
    qRegisterMetaType<DeviceKind>("DeviceKind");
}
