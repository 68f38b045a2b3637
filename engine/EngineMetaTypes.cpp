#include "engine/EngineMetaTypes.h"

#include "engine/FlashDevice2.h"
#include "platform/device/DeviceMetaTypes.h"

#include <QMetaType>

void registerEngineMetaTypes()
{
    registerDeviceMetaTypes();
    qRegisterMetaType<FlashDevice2Ptr>("FlashDevice2Ptr");
    qRegisterMetaType<FlashDevice2Ptr*>("FlashDevice2Ptr*");
    qRegisterMetaType<FlashDevice2::FlashState>("FlashDevice2::FlashState");
    // The runner's questions carry the answer flag.
    qRegisterMetaType<bool*>("bool*");
}
