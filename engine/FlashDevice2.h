#pragma once

// The engine's device: every device the device library detects is made as a FlashDevice2 (through
// DeviceAllocator). It adds the flash state, the serials last seen in a download state and in an
// operating-system state, the runner of the flash on it, and waits for a device state that the
// library's updates wake. Shared as FlashDevice2Ptr; one read-write lock (the base's) guards all.

#include "platform/device/Device.h"
#include "platform/device/SharedPointer.h"

#include <QMetaType>
#include <QString>

#include <cstdint>
#include <list>
#include <map>
#include <set>

class DeviceScanner;
class FlashRunner;
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
    // Emits dataChanged() after the lock is released, also when the state did not change. Idle
    // also forgets what the last flash wanted (beginFlash).
    void setFlashState(FlashState state);
    // The flash on the device starts now (the flash runnable calls it in place of
    // setFlashState(Flashing)): the flash state becomes flashing, and the flash wants the device
    // in `startState` (its configuration's start state), of one of `platforms` (the flash file's;
    // empty: any platform, except that a DFU device is taken only when "generic" is named). A
    // virtual device stands at once for a connected idle device that fits, when one is there, so
    // a flash that starts in DnX firmware runs its first command on that device; otherwise the
    // scans bind it as soon as one shows up. A real device only remembers the wish.
    void beginFlash(DeviceState startState, const std::list<DevicePlatform>& platforms = {});

    // Serial last seen in an operating-system state (3 to 7) / in a download state (1, 2).
    QString getPlatformSerial() const;
    QString getSocSerial() const;

    // True while a flash is pending or running.
    bool isBusy() const override;
    // True while a thread waits in waitForDevice for `state`.
    bool isWaitingFor(DeviceState state) const;
    // While a flash is pending or running: `real` is in the start state of beginFlash or in a
    // state a thread waits for, and of a platform the flash takes.
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

private:
    FlashState m_flashState = FlashState::Idle;
    DeviceState m_startState = DeviceState::Unknown;   // what the flash wants; Unknown: nothing
    std::list<DevicePlatform> m_platforms;
    SharedPointer<FlashRunner> m_runner;
    QString m_platformSerial;
    QString m_socSerial;
    std::map<DeviceState, std::set<QWaitCondition*>> m_waiters;   // not owned
};

using FlashDevice2Ptr = SharedPointer<FlashDevice2>;

Q_DECLARE_METATYPE(FlashDevice2Ptr)
Q_DECLARE_METATYPE(FlashDevice2Ptr*)
Q_DECLARE_METATYPE(FlashDevice2::FlashState)
