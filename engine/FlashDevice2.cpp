#include "engine/FlashDevice2.h"

#include "engine/FlashDeviceThreadWorker.h"
#include "engine/FlashRunner.h"

#include <QWaitCondition>

#include <algorithm>
#include <climits>

namespace {

bool isDownloadState(DeviceState state)
{
    return state == DeviceState::DnxFirmware || state == DeviceState::DnxOs;
}

bool isOsState(DeviceState state)
{
    const int value = int(state);
    return value >= int(DeviceState::ProvisioningOs) && value <= int(DeviceState::Tos);
}

} // namespace

Device* FlashDevice2::DeviceAllocator(const DummyDevice& data, DeviceScanner* scanner)
{
    return new FlashDevice2(data, scanner);
}

FlashDevice2::FlashDevice2(const DummyDevice& data, DeviceScanner* scanner)
    : Device(data, scanner)
{
    // A device created in a known state already carries the serial of that state. Nobody else
    // can see the object yet; the lock keeps setDataLocked's contract all the same.
    bool changed = false;
    bool other = false;
    QWriteLocker locker(&m_lock);
    setDataLocked(data, changed, other);
}

FlashDevice2::~FlashDevice2()
{
    // The property readers' threads ask isBusy(): they end before this object's part goes.
    stopPropertyManagers();
}

FlashDevice2::FlashState FlashDevice2::getFlashState() const
{
    return readLocked([this] { return m_flashState; });
}

bool FlashDevice2::claim(const LoggedObject& log)
{
    const PortNumber port = getPort();
    if (port.isVirtualPort())
        return true;
    QMutexLocker locker(&m_claimMutex);
    QString error;
    return DeviceClaim::mayFlash(claimLocked(port, error), port, error, log);
}

DeviceClaim::Outcome FlashDevice2::claimLocked(const PortNumber& port, QString& error) const
{
    if (m_claim)
        return DeviceClaim::Taken;
    return DeviceClaim::take(port, m_claim, error);
}

void FlashDevice2::setFlashState(FlashState state)
{
    std::unique_ptr<DeviceClaim> released;
    {
        QWriteLocker locker(&m_lock);
        m_flashState = state;
        if (state == FlashState::Idle) {
            m_startState = DeviceState::Unknown;
            m_platforms.clear();
            m_downloadKinds.clear();
            QMutexLocker claimLocker(&m_claimMutex);
            released = std::move(m_claim);
            m_reportedClaims.clear();
        }
    }
    emit dataChanged();
}

bool FlashDevice2::setFlashStateIf(FlashState expected, FlashState state)
{
    {
        QWriteLocker locker(&m_lock);
        if (m_flashState != expected)
            return false;
        m_flashState = state;
    }
    emit dataChanged();
    return true;
}

void FlashDevice2::beginFlash(DeviceState startState, const std::list<DevicePlatform>& platforms,
                             const std::set<DeviceKind>& downloadKinds)
{
    {
        QWriteLocker locker(&m_lock);
        m_flashState = FlashState::Flashing;
        m_startState = startState;
        m_platforms = platforms;
        m_downloadKinds = downloadKinds;
    }
    emit dataChanged();
    requestBinding();
}

QString FlashDevice2::getPlatformSerial() const
{
    return readLocked([this] { return m_platformSerial; });
}

QString FlashDevice2::getSocSerial() const
{
    return readLocked([this] { return m_socSerial; });
}

bool FlashDevice2::isBusy() const
{
    return getFlashState() != FlashState::Idle;
}

bool FlashDevice2::isWaitingFor(DeviceState state) const
{
    return readLocked([this, state] {
        const auto found = m_waiters.find(state);
        return found != m_waiters.end() && !found->second.empty();
    });
}

bool FlashDevice2::acceptsBinding(const DummyDevice& real) const
{
    QReadLocker locker(&m_lock);
    if (m_flashState == FlashState::Idle)
        return false;
    const DeviceState state = real.getState();
    const auto waiting = m_waiters.find(state);
    if (state != m_startState && (waiting == m_waiters.end() || waiting->second.empty()))
        return false;
    if (!m_platforms.empty()) {
        if (std::find(m_platforms.begin(), m_platforms.end(), real.getPlatform()) == m_platforms.end())
            return false;
    } else {
        const DeviceKind kind = real.getKind();
        if ((kind == DeviceKind::Dfu || kind == DeviceKind::Soc) && m_downloadKinds.count(kind) == 0)
            return false;
    }
    return claimBound(real.getPort());
}

bool FlashDevice2::claimBound(const PortNumber& port) const
{
    QMutexLocker locker(&m_claimMutex);
    QString error;
    const DeviceClaim::Outcome outcome = claimLocked(port, error);
    // Scans come often: a port left alone is said once per flash.
    if (outcome != DeviceClaim::Taken && m_runner && m_reportedClaims.insert(port).second)
        return DeviceClaim::mayFlash(outcome, port, error, *m_runner);
    return outcome != DeviceClaim::HeldElsewhere;
}

bool FlashDevice2::isFlashing() const
{
    return getFlashState() == FlashState::Flashing;
}

void FlashDevice2::setFlashFile(const SharedPointer<FlashRunner>& runner)
{
    SharedPointer<FlashRunner> previous;
    {
        QWriteLocker locker(&m_lock);
        if (m_runner == runner)
            return;
        previous = m_runner;
        m_runner = runner;
    }
    // Released here, outside the lock: the runner's destruction asks this device whether it flashes.
    previous.reset();
    emit dataChanged();
}

SharedPointer<FlashRunner> FlashDevice2::getFlashFile() const
{
    return readLocked([this] { return m_runner; });
}

bool FlashDevice2::waitForDevice(DeviceState state, uint64_t timeoutMs)
{
    QWaitCondition condition;
    return waitForDevice(condition, state, timeoutMs);
}

bool FlashDevice2::waitForDevice(QWaitCondition& condition, DeviceState state, uint64_t timeoutMs)
{
    QWriteLocker locker(&m_lock);
    // Waits work only while a flash is pending or running.
    if (m_flashState == FlashState::Idle)
        return false;
    if (lockedData().getState() == state)
        return true;
    m_waiters[state].insert(&condition);
    const unsigned long waitMs = timeoutMs > static_cast<uint64_t>(INT_MAX)
                                     ? ULONG_MAX
                                     : static_cast<unsigned long>(timeoutMs);
    const bool woken = condition.wait(&m_lock, waitMs);
    m_waiters[state].erase(&condition);
    return woken;
}

void FlashDevice2::setDataLocked(const DummyDevice& data, bool& changed, bool& other)
{
    Device::setDataLocked(data, changed, other);
    const DummyDevice& current = lockedData();
    // An idle device that has gone away keeps its remembered serials and wakes nobody.
    if (!current.isConnected() && m_flashState == FlashState::Idle)
        return;
    const QString serial = current.getSerial();
    if (isOsState(current.getState()) && serial != m_platformSerial) {
        m_platformSerial = serial;
        changed = true;
    } else if (isDownloadState(current.getState()) && serial != m_socSerial) {
        m_socSerial = serial;
        changed = true;
    }
    for (QWaitCondition* condition : m_waiters[current.getState()])
        condition->wakeAll();
}

int FlashDevice2::checkPendingLogs()
{
    return FlashDeviceThreadWorker::checkPendingLogs(*this);
}
