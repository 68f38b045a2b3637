#pragma once

// Enumerations shared by the model, the engine, the result files and both faces, and the keyword
// tables that turn device states and platforms into flash-file words and back. Static only; every
// function may be called from any thread.

#include "platform/device/DeviceTypes.h"

#include <QMetaType>
#include <QString>

#include <cstdint>
#include <map>

class FlashTypes
{
public:
    // Generation of the state keywords: 0 for flash files "2.0", 1 "2.1", 2 "2.2", 3 "3.0" and
    // everything the program shows or writes. Any other value is accepted (see getStateMap).
    using StateMapVersion = int;
    static constexpr StateMapVersion StateMapV2p0 = 0;
    static constexpr StateMapVersion StateMapV2p1 = 1;
    static constexpr StateMapVersion StateMapV2p2 = 2;
    static constexpr StateMapVersion StateMapV3p0 = 3;

    // Outcome of one device flash.
    enum class FlashStatus : int32_t {
        Success = 0,
        Failure = 1,
        Interrupted = 2,
    };

    // Kind of command that ran or failed; selects the error code of a failure.
    enum class CommandType : int32_t {
        Ifwi = 0,
        Fastboot = 1,
        Adb = 2,
        Shell = 3,
        Modem = 4,
        DeviceEnumeration = 5,
        InitialDeviceState = 6,
        Popup = 7,
        Notifier = 8,
        Sleep = 9,
        Token = 10,
        Fls = 11,
        Dfu = 12,
        JLink = 13,
        Controller = 14,
        WrongDeviceType = 15,
        Internal = 16,
    };

    FlashTypes() = delete;

    // Keyword -> state. Generation 0 knows only the old keywords ("dnx", "dnx_pos", ...); every
    // other generation also knows "dnx_fw" and "dnx_os". A fresh map each call.
    static std::map<QString, DeviceState> getStateMap(StateMapVersion version);
    // State -> keyword. Generations 1 to 4 give the new keywords, 0 and values above 4 the old ones.
    static std::map<DeviceState, QString> getStateNameMap(StateMapVersion version);
    // Keyword of a state in generation 3, or "Invalid state".
    static QString getStateName(DeviceState state);

    // Built once; the same object on every call. Each is the inverse of the other.
    static const std::map<QString, DevicePlatform>& getPlatformMap();
    static const std::map<DevicePlatform, QString>& getPlatformNameMap();

    // Display name ("Ifwi", "Device enumeration", ...), "Unknown" outside the table.
    static QString getCommandTypeName(CommandType type);
};

Q_DECLARE_METATYPE(FlashTypes::FlashStatus)
Q_DECLARE_METATYPE(FlashTypes::CommandType)
