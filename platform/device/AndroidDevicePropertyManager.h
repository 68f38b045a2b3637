#pragma once

// Reads what an Android device tells about itself (vendor, product, battery, system properties)
// through the adb and fastboot runners it was given. The getters answer at once from what the last
// refresh read; requestRefresh() has a worker thread read it all again, so a caller on the GUI
// thread never waits for a tool. Without a runner, or in a state where neither tool answers, the
// names fall back to what the USB descriptors said. Owned by its device (Device::addPropertyManager),
// which stops the worker before it goes.

#include "platform/device/DevicePropertyManager.h"
#include "platform/device/RefreshWorker.h"

#include <QMap>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <mutex>

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
    void stop() override;

    // Has the worker read the device again; returns at once. A busy device is not asked (its flash
    // owns adb and fastboot): the answers of the last refresh stay.
    void requestRefresh();

    QString getVendorName() const;
    QString getProductName() const;
    // 0 to 100: a percentage; UnknownBatteryLevel when the device does not say.
    uint8_t getBatteryLevel() const;
    // The value of one Android system property; a null text when it is absent or unreadable.
    QString getProperty(const QString& key) const;

private:
    // What one refresh read; empty where the device did not answer.
    struct Answers
    {
        QMap<QString, QString> properties;
        QString fastbootProduct;
        uint8_t batteryLevel = UnknownBatteryLevel;
    };

    // Worker thread: reads everything and replaces the answers, unless the device turned busy.
    void refresh();
    // False when the device became busy meanwhile (the answers are then incomplete).
    bool readAdbAnswers(Answers& answers) const;
    bool readFastbootAnswers(Answers& answers) const;
    bool isAdbReachable() const;
    bool isFastbootReachable() const;
    // The output of a command that exited 0, else a null text.
    QString runTool(const std::atomic<CommandRunner>& runner, const QStringList& arguments) const;
    Answers answers() const;

    // Written by adopt() under the device's write lock, read by the worker without it.
    std::atomic<CommandRunner> m_adbRunner;
    std::atomic<CommandRunner> m_fastbootRunner;
    mutable std::mutex m_answersMutex;
    Answers m_answers;   // guarded by m_answersMutex
    RefreshWorker m_worker;   // last: it stops before the fields its job uses go
};
