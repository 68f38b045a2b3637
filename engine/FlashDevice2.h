#pragma once

// The engine's device: every device the device library detects is made as a FlashDevice2 (through
// DeviceAllocator). It adds the flash state, the serials last seen in a download state and in an
// operating-system state, the runner of the flash on it, and waits for a device state that the
// library's updates wake. Shared as FlashDevice2Ptr; one read-write lock (the base's) guards all.

#include "engine/DeviceClaim.h"
#include "platform/device/Device.h"
#include "platform/device/SharedPointer.h"

#include <QMetaType>
#include <QMutex>
#include <QString>

#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <set>

class DeviceScanner;
class FlashRunner;
class LoggedObject;
class QWaitCondition;

class FlashDevice2 : public Device
{
    Q_OBJECT

public:
    enum class FlashState : int { Idle = 0, Pending = 1, Flashing = 2 };

    // The allocator handed to DeviceManager::setDeviceAllocator; the library owns the result.
    static Device* DeviceAllocator(const DummyDevice& data, DeviceScanner* scanner);

    FlashDevice2(const DummyDevice& data, DeviceScanner* scanner);
    ~FlashDevice2() override;

    FlashState getFlashState() const;
    // Claims the device for this process (DeviceClaim), so that no other instance flashes it,
    // until its flash state is set idle; true at once when it is claimed already. False when
    // another instance holds it; `log` says so (DeviceClaim::mayFlash). A virtual device claims
    // the device it stands for as it binds (acceptsBinding): true at once.
    bool claim(const LoggedObject& log);
    // Emits dataChanged() after the lock is released, also when the state did not change. Idle
    // also forgets what the last flash wanted (beginFlash) and drops the device's claim.
    void setFlashState(FlashState state);
    // Stores `state` only when the flash state is `expected`, in one step under the lock (so two
    // requests never both take an idle device); emits dataChanged() when it stored it.
    bool setFlashStateIf(FlashState expected, FlashState state);
    // The flash on the device starts now (the flash runnable calls it in place of
    // setFlashState(Flashing)): the flash state becomes flashing, and the flash wants the device
    // in `startState` (its configuration's start state), of one of `platforms` (the flash file's).
    // With no platform named, a device in a download mode must be of one of `downloadKinds` (what
    // the configuration runs: a DFU downloader for a DFU board, the firmware downloader for a
    // SoC), so a flash for a phone's SoC never takes a board that sits in DFU mode beside it. A
    // virtual device stands at once for a connected idle device that fits, when one is there, so
    // a flash that starts in DnX firmware runs its first command on that device; otherwise the
    // scans bind it as soon as one shows up. A real device only remembers the wish.
    void beginFlash(DeviceState startState, const std::list<DevicePlatform>& platforms = {},
                    const std::set<DeviceKind>& downloadKinds = {DeviceKind::Soc});

    // Serial last seen in an operating-system state (3 to 7) / in a download state (1, 2).
    QString getPlatformSerial() const;
    QString getSocSerial() const;

    // True while a flash is pending or running.
    bool isBusy() const override;
    // True while a thread waits in waitForDevice for `state`.
    bool isWaitingFor(DeviceState state) const;
    // While a flash is pending or running: `real` is in the start state of beginFlash or in a
    // state a thread waits for, of a platform the flash takes, and not claimed by another
    // instance; the virtual device claims it then (and says so, once, of a device it leaves alone).
    bool acceptsBinding(const DummyDevice& real) const override;
    virtual bool isFlashing() const;

    // Attaches the runner of the flash on the device (empty: detaches). Emits dataChanged() when
    // the runner changed; the replaced runner is released after the lock.
    void setFlashFile(const SharedPointer<FlashRunner>& runner);
    SharedPointer<FlashRunner> getFlashFile() const;

    // True when the device is in, or reaches, `state` before the time-out (above 2147483647 ms: no
    // limit); false at once when no flash is pending or running. A wake-up by somebody else (the
    // runner's cancel) also returns true: the caller checks why it woke.
    virtual bool waitForDevice(DeviceState state, uint64_t timeoutMs);
    virtual bool waitForDevice(QWaitCondition& condition, DeviceState state, uint64_t timeoutMs);

    // Remembers the serial of the new state and wakes the waiters for it; the library holds the
    // write lock.
    void setDataLocked(const DummyDevice& data, bool& changed, bool& other) override;

    // Asks the device, over adb, whether it stores crash events whose logs are not uploaded yet
    // (FlashDeviceThreadWorker's verdict); 0 when the device is not in Main OS with a known serial.
    // Blocks the caller until the check has ended.
    int checkPendingLogs();

private:
    FlashState m_flashState = FlashState::Idle;
    DeviceState m_startState = DeviceState::Unknown;   // what the flash wants; Unknown: nothing
    std::list<DevicePlatform> m_platforms;
    std::set<DeviceKind> m_downloadKinds;
    SharedPointer<FlashRunner> m_runner;
    QString m_platformSerial;
    QString m_socSerial;
    std::map<DeviceState, std::set<QWaitCondition*>> m_waiters;   // not owned

    // Claims `port` for the device a virtual device binds to; logs a port it leaves alone, once.
    // The caller holds the read lock.
    bool claimBound(const PortNumber& port) const;
    // Takes the claim on `port` into m_claim; the caller holds m_claimMutex.
    DeviceClaim::Outcome claimLocked(const PortNumber& port, QString& error) const;

    // The claim is taken while scans bind (acceptsBinding, under the device's read lock): it has a
    // lock of its own.
    mutable QMutex m_claimMutex;
    mutable std::unique_ptr<DeviceClaim> m_claim;
    mutable std::set<PortNumber> m_reportedClaims;   // ports held elsewhere that the flash logged
};

using FlashDevice2Ptr = SharedPointer<FlashDevice2>;

Q_DECLARE_METATYPE(FlashDevice2Ptr)
Q_DECLARE_METATYPE(FlashDevice2Ptr*)
Q_DECLARE_METATYPE(FlashDevice2::FlashState)
