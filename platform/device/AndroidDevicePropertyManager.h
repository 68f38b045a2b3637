#pragma once

// Reads what an Android device tells about itself (vendor, product, battery, system properties)
// through the adb and fastboot runners it was given; without a runner, or in a state where neither
// answers, it falls back to what the USB descriptors said. Blocking: each call may run a tool.

#include "platform/device/DevicePropertyManager.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>

class SpidDatabase;

class AndroidDevicePropertyManager : public DevicePropertyManager
{
public:
    // Runs adb or fastboot for one device (arguments, time-out in ms, output); returns the exit code.
    using CommandRunner = int (*)(const Device*, const QStringList&, int, QString&);

    static constexpr uint8_t UnknownBatteryLevel = 255;

    // `spidDatabase` is accepted for callers that have one; it is not used. Registers with `device`
    // (which may merge it into the reader it has already, see Device::addPropertyManager).
    AndroidDevicePropertyManager(Device* device, SpidDatabase* spidDatabase, CommandRunner adbRunner,
                                 CommandRunner fastbootRunner);

    // Takes the runners of `newer` that this reader has none of.
    void adopt(const DevicePropertyManager& newer) override;

    QString getVendorName() const;
    QString getProductName() const;
    // 0 to 100: a percentage; UnknownBatteryLevel when the device does not say.
    uint8_t getBatteryLevel() const;
    // The value of one Android system property; a null text when it is absent or unreadable.
    QString getProperty(const QString& key) const;

private:
    bool isAdbReachable() const;
    bool isFastbootReachable() const;
    QString runAdb(const QStringList& arguments) const;
    // The value of a fastboot variable, or a null text (getvar exits 0 on FAILED too).
    QString getFastbootVariable(const QString& name) const;

    // Written by adopt() under the device's write lock, read by the getters without it.
    std::atomic<CommandRunner> m_adbRunner;
    std::atomic<CommandRunner> m_fastbootRunner;
};
