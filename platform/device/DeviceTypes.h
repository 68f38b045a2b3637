#pragma once

// Device states and platforms as the device library reports them. The numbers are stored in flash
// files (through the keyword tables of FlashTypes), result files and settings: never renumber them.

#include <QMetaType>

#include <cstdint>

enum class DeviceState : int32_t {
    Unknown = 0,          // no state known yet (or a state without keyword)
    DnxFirmware = 1,      // "dnx" / "dnx_fw"
    DnxOs = 2,            // "dnx_pos" / "dnx_os"
    ProvisioningOs = 3,   // "pos"
    MainOs = 4,           // "mos"
    RecoveryOs = 5,       // "ros"
    Cos = 6,              // "cos"
    Tos = 7,              // "tos"
};

enum class DevicePlatform : int32_t {
    Unknown = 0,
    ZorvikSoc = 1,        // "zorvik_soc"
    ZorvikWindows = 2,    // "zorvik_windows"
    ZorvikAndroid = 3,    // "zorvik_android"
    SamsungAndroid = 4,   // "samsung_android"
    GenericWindows = 5,   // "generic_windows"
    GenericAndroid = 6,   // "generic_android"
    Generic = 7,          // "generic"
};

// How the device library recognised a device: by which filter, from which interface.
enum class DeviceKind : int32_t {
    Unknown = 0,
    Soc = 1,              // SoC download mode (vendor/product id table)
    Fastboot = 2,         // fastboot interface ff/42/03
    Adb = 3,              // adb interface ff/42/01, or a network device listed by adb
    Dfu = 4,              // USB DFU interface fe/01
};

Q_DECLARE_METATYPE(DeviceState)
Q_DECLARE_METATYPE(DevicePlatform)
Q_DECLARE_METATYPE(DeviceKind)
