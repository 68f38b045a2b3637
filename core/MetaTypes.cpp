#include "core/MetaTypes.h"

#include "core/FlashTypes.h"
#include "core/LogLevel.h"
#include "platform/device/DeviceTypes.h"
#include "platform/log/Logger.h"

#include <QMetaType>

#include <cstdint>

void registerMetaTypes()
{
    // On Linux uint64_t is unsigned long and quint64 unsigned long long: both names are needed.
    qRegisterMetaType<int8_t>("int8_t");
    qRegisterMetaType<uint8_t>("uint8_t");
    qRegisterMetaType<int16_t>("int16_t");
    qRegisterMetaType<uint16_t>("uint16_t");
    qRegisterMetaType<int32_t>("int32_t");
    qRegisterMetaType<uint32_t>("uint32_t");
    qRegisterMetaType<int64_t>("int64_t");
    qRegisterMetaType<uint64_t>("uint64_t");
    qRegisterMetaType<size_t>("size_t");

    qRegisterMetaType<LOGLEVEL>("LOGLEVEL");
    qRegisterMetaType<FlashTypes::FlashStatus>("FlashTypes::FlashStatus");
    qRegisterMetaType<FlashTypes::CommandType>("FlashTypes::CommandType");
    qRegisterMetaType<DeviceState>("DeviceState");
    qRegisterMetaType<DevicePlatform>("DevicePlatform");
    Logger::registerMetaTypes();
}
