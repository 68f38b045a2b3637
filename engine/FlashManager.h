#pragma once

// Front of the flash engine: takes requests to flash a device with a configuration, reboots the
// device into the configuration's start state, checks that it may be flashed, runs one
// FlashRunnable per flash on its own pool (at most FMConst::MAX_THREAD_COUNT at once), relays
// their progress and questions, reports the end of every flash (after an optional FlashController)
// and stops flashes. In on-demand mode it flashes every idle device detected in the start state.
// The application creates the one instance and moves it to a thread of its own; requests arrive
// there queued, the setters and queries are also called from the main thread, and the relayed
// signals are emitted on the flashes' pool threads.

#include "core/FMConst.h"
#include "core/FlashTypes.h"
#include "engine/FlashDevice2.h"
#include "engine/FlashStats.h"
#include "model/FlashConfiguration.h"
#include "platform/device/Device.h"
#include "platform/log/LoggedObject.h"

#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QThreadPool>

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>

class DeviceManager;
class FlashController;
class FlashLogger;
class FlashRunner;

class FlashManager : public QObject, public LoggedObject
{
    Q_OBJECT

public:
    enum FM_MODE_ENUM {
        FM_MODE_ON_DEMAND = 0,   // a detected idle device in the on-demand start state is flashed
        FM_MODE_NORMAL = 1,      // flashes start on request only
    };

    // Registers the FlashStats singleton: a second manager can't be built while one exists.
    FlashManager();
    // Cancels every running and pending flash, then waits for the pool to end them (without
    // limit: see abandonFlashes).
    ~FlashManager() override;

    // Sets the pool's thread limit again and connects flashFinished to the statistics once more.
    void init();
    // Receives deviceDetected of `deviceManager` (not owned; may be null) from now on.
    bool setDeviceManager(DeviceManager* deviceManager);
    // Not owned: the caller keeps it alive while flashes run. Null: no controller.
    void setFlashController(FlashController* controller);
    FlashController* getFlashController() const;
    // On-demand mode takes `configuration` as the on-demand configuration; normal mode keeps it.
    void setFlashManagerMode(FM_MODE_ENUM mode, const FlashConfigurationPtr& configuration);
    FM_MODE_ENUM getFlashManagerMode() const;
    void setOnDemandFlashFile(const FlashConfigurationPtr& configuration);
    FlashConfigurationPtr getOnDemandFlashFile() const;
    // Kept for the owner; the manager does not act on it.
    void setFlashManagerBehavior(FMConst::FM_BEHAVIOR_ENUM behavior);
    FMConst::FM_BEHAVIOR_ENUM getFlashManagerBehavior() const;

    // Queues a flash of `device`; true when queued. Without `force` the device must be idle and is
    // marked pending; `force` means the caller (rebootAndStartDeviceFlash) has marked it already.
    bool startDeviceFlash(const FlashDevice2Ptr& device, const FlashConfigurationPtr& configuration,
                          bool force);
    // True when the configuration's flash file names no platform or the device's platform.
    bool isFlashAllowed(const FlashDevice2Ptr& device, const FlashConfigurationPtr& configuration) const;
    // Whether any device of the device manager is flashing.
    bool isDeviceFlashing() const;
    // Number of the device manager's devices in `state`.
    int getNbDeviceConnected(DeviceState state) const;
    // True when fastboot and then adb answer "help" with success.
    static bool checkAndroidSDK();
    FlashStats* statsManager();

public slots:
    // The road of every request: reboot into the start state when needed, then queue the flash.
    void rebootAndStartDeviceFlash(const FlashDevice2Ptr& device, const FlashConfigurationPtr& configuration);
    // Runs the reboot command towards `target` (no wait for the device to get there). True when the
    // device is there already (without `force`) or a reboot command was run.
    bool rebootDevice(const FlashDevice2Ptr& device, const DeviceState& target, bool force = false);
    // Cancels the flash of `device`, pending (rebooting, queued) or running; always true.
    bool stopFlash(const FlashDevice2Ptr& device);
    // Drops the virtual devices and cancels every flash of this manager; always true.
    bool stopFlash();
    // For a program that leaves although flashes it stopped have not ended (a thread stuck in a
    // call that does not return): reports each as interrupted (its result file is written), with
    // a WARNING that names its port, and reports nothing more of any flash. The pool's threads are
    // not waited for any more: the program must leave without destroying the manager.
    void abandonFlashes();
    bool hasAbandonedFlashes() const;

signals:
    void displayMessageBox(const QString& kind, const QString& text, bool* answer = nullptr);
    void displayNotifierTool(const QString& text, uint64_t durationMs);
    void flashStarted(FlashDevice2Ptr device);
    void flashFinished(FlashDevice2Ptr device, FlashTypes::FlashStatus status,
                       FlashTypes::CommandType type);
    void flashProgress(FlashDevice2Ptr device, uint64_t done, uint64_t total);
    void flashInfoChanged(FlashDevice2Ptr device, const QString& text);
    void postSystemTrayNotification(Logger::LogLevel level, const QString& title, const QString& text);

private slots:
    void onNewDevice(const DevicePtr& device);
    void prepareSystemTrayNofication(FlashDevice2Ptr device, FlashTypes::FlashStatus status,
                                     FlashTypes::CommandType type);
    // The end of every flash this manager accepted, run or refused: ends its request.
    void onFlashFinished(FlashDevice2Ptr device, FlashTypes::FlashStatus status,
                         FlashTypes::CommandType type);

private:
    // A flash this manager accepted, from the request until its end was reported.
    struct Request
    {
        FlashDevice2Ptr device;
        SharedPointer<FlashRunner> runner;   // null until the flash is queued
        bool stopRequested = false;
    };

    enum class Claim { Taken, Busy, HeldElsewhere };
    // Claims the device for this process, then marks it pending and records its request, in one
    // step. Busy when the device is busy or a request of this manager still holds it;
    // HeldElsewhere (said at INFO) when another instance has claimed it.
    Claim claim(const FlashDevice2Ptr& device);
    // Queues the flash of a claimed device; a stop requested meanwhile cancels it at once.
    void queueFlash(const FlashDevice2Ptr& device, const FlashConfigurationPtr& configuration);
    // Ends the request of `device` without a report: the device goes back to idle.
    void release(const FlashDevice2Ptr& device);
    // Reports a device whose platform the flash file excludes as a failed flash.
    void refuseWrongPlatform(const FlashDevice2Ptr& device);
    void cancelAll();
    // Asks the controller about the result; changes `status` and `type` as it says.
    void applyController(const FlashDevice2Ptr& device, FlashTypes::FlashStatus& status,
                         FlashTypes::CommandType& type);
    static QString portContext(const Device& device);

    QPointer<DeviceManager> m_deviceManager;
    std::atomic<FlashController*> m_controller{nullptr};
    FlashConfigurationPtr m_onDemandConfiguration;   // guarded by m_mutex
    FlashStats m_stats;
    std::atomic<int> m_mode{FM_MODE_NORMAL};
    std::atomic<int> m_behavior{0};
    std::unique_ptr<FlashLogger> m_flashLogger;
    // Guards the on-demand configuration and m_requests. A request's device changes its flash state
    // under it (so a new request can't slip between the end of one flash and its report): receivers
    // of a device's dataChanged() must not call the manager directly.
    mutable QMutex m_mutex;
    std::map<const FlashDevice2*, Request> m_requests;
    bool m_abandoned = false;                         // guarded by m_mutex
    QThreadPool m_pool;                               // last: destroyed first
};
