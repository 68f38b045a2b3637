#include "engine/FlashRunner.h"

#include "core/ChildProcess.h"
#include "core/FMConst.h"
#include "engine/FlashDevice2.h"
#include "engine/FlashScriptEngine.h"
#include "model/FlashConfiguration.h"
#include "model/FlashParameter.h"
#include "model/FlashParameterValue.h"
#include "model/FlashStorageArea.h"

#include <QElapsedTimer>
#include <QMutexLocker>
#include <QWaitCondition>

#include <algorithm>
#include <climits>

namespace {

// A device wait is taken in slices: a stop that lands before the device has registered the wait
// (and so misses its wake-up) is seen at the end of the slice instead of at the time-out.
constexpr uint64_t kDeviceWaitSliceMs = 100;

bool isUnlimited(uint64_t timeoutMs)
{
    return timeoutMs > static_cast<uint64_t>(INT_MAX);
}

// QWaitCondition waits take an unsigned long; ULONG_MAX waits without limit.
unsigned long toConditionTimeout(uint64_t timeoutMs)
{
    return isUnlimited(timeoutMs) ? ULONG_MAX : static_cast<unsigned long>(timeoutMs);
}

} // namespace

FlashRunner::FlashRunner(const FlashRunnable* parent, const SharedPointer<FlashDevice2>& device,
                         const QSharedPointer<FlashConfiguration>& configuration)
    : QObject(nullptr)
    , LoggedObject(QStringLiteral("Flash Runner"))
    , m_parent(parent)
    , m_commandDelayMs(FMConst::COMMAND_DELAY)
    , m_device(device)
    , m_configuration(configuration)
    , m_flashFile(configuration ? configuration->getFlashFileContext() : nullptr)
    , m_scriptEngine(new FlashScriptEngine(*this))
{
    if (m_device) {
        connect(m_device.data(), &Device::dataChanged, this, &FlashRunner::deviceUpdated,
                Qt::DirectConnection);
        deviceUpdated();
    }
    if (m_configuration) {
        m_parameters = m_configuration->getParameters();
        m_selectedValues = m_configuration->getParameterValues();
    }
}

FlashRunner::FlashRunner()
    : QObject(nullptr)
    , LoggedObject(QStringLiteral("Flash Runner"))
    , m_commandDelayMs(FMConst::COMMAND_DELAY)
    , m_scriptEngine(new FlashScriptEngine(*this))
{
}

FlashRunner::~FlashRunner()
{
    // The device's updates arrive on the scanner thread: stop them before the members go.
    if (m_device)
        disconnect(m_device.data(), nullptr, this, nullptr);
    // A dying runner is attached to no device (the device would keep it alive), and the device may
    // be releasing it under its own lock: leave the device alone.
    stop(false);
    for (auto& entry : m_storages)
        delete entry.second;
    m_storages.clear();
    m_scriptEngine.reset();
}

void FlashRunner::cancel()
{
    stop(true);
}

void FlashRunner::stop(bool releaseDevice)
{
    {
        QMutexLocker locker(&m_mutex);
        if (m_cancelled)
            return;
        m_cancelled = true;
        if (m_currentCondition != nullptr)
            m_currentCondition->wakeAll();
        // By pid: the process object belongs to the run's thread, the pid stays valid until the
        // run's thread has reaped the program and cleared it under this lock.
        ChildProcess::killProcessGroup(m_currentPid);
    }
    // Only the flash of this run goes back to pending: a device that a later run already drives
    // is that run's business. The device's lock and its dataChanged() come after the runner's lock
    // is released, so that a receiver may call the runner. The state changes only while it is
    // still flashing, in one step: a run that ends meanwhile has set its device idle for good.
    if (releaseDevice && m_device && m_device->getFlashFile().data() == this
        && m_device->setFlashStateIf(FlashDevice2::FlashState::Flashing, FlashDevice2::FlashState::Pending))
        getLogHandler()->logMessage(Logger::TRACE, QStringLiteral("Canceling flash..."));
}

bool FlashRunner::isCancelled() const
{
    return m_cancelled;
}

const SharedPointer<FlashDevice2>& FlashRunner::getDevice() const
{
    return m_device;
}

QSharedPointer<FlashConfiguration> FlashRunner::getConfiguration() const
{
    return m_configuration;
}

const FlashRunnable* FlashRunner::getParent() const
{
    return m_parent;
}

uint64_t FlashRunner::getCommandDelay() const
{
    return m_commandDelayMs;
}

const FlashRunner::Parameters& FlashRunner::getFlashParameters() const
{
    return m_parameters;
}

QSharedPointer<FlashParameter> FlashRunner::getFlashParameter(const QString& name) const
{
    return FlashConfiguration::findParameter(m_parameters, name);
}

QSharedPointer<FlashParameterValue> FlashRunner::getFlashParameterValue(const QString& name) const
{
    return FlashConfiguration::findParameterValue(m_parameters, m_selectedValues, name);
}

QSharedPointer<FlashParameterValue> FlashRunner::getFlashParameterValue(const QString& name,
                                                                        const QString& valueId) const
{
    const QSharedPointer<FlashParameter> parameter = getFlashParameter(name);
    return parameter ? parameter->getValue(valueId) : QSharedPointer<FlashParameterValue>();
}

FlashRunner::ParameterValues FlashRunner::getFlashParameterValues() const
{
    ParameterValues values;
    for (const auto& [name, parameter] : m_parameters) {
        if (!parameter)
            continue;
        QSharedPointer<FlashParameterValue> value = parameter->getValue();
        if (!value) {
            const auto selected = m_selectedValues.find(name);
            if (selected != m_selectedValues.end())
                value = parameter->getValue(selected->second);
        }
        if (value)
            values.emplace(name, value);
    }
    return values;
}

FlashStorageArea* FlashRunner::findStorage(const FlashParameterValue* key, bool& found) const
{
    const auto it = m_storages.find(key);
    found = it != m_storages.end();
    return found ? it->second : nullptr;
}

void FlashRunner::registerStorage(const FlashParameterValue* key, FlashStorageArea* storage)
{
    m_storages.emplace(key, storage);
}

ProgramOutcome FlashRunner::runExternalProgram(ChildProcess& process, const QString& program,
                                               const QStringList& arguments, uint64_t timeoutMs,
                                               QIODevice::OpenMode mode)
{
    return ProgramRun(process, this).run(program, arguments, timeoutMs, mode);
}

bool FlashRunner::programStarted(qint64 pid)
{
    QMutexLocker locker(&m_mutex);
    if (m_cancelled)
        return false;
    m_currentPid = pid;
    return true;
}

void FlashRunner::programEnded(qint64)
{
    QMutexLocker locker(&m_mutex);
    m_currentPid = 0;
}

bool FlashRunner::isStopped() const
{
    return isCancelled();
}

int FlashRunner::waitForCondition(QWaitCondition& condition, uint64_t timeoutMs)
{
    QMutexLocker locker(&m_mutex);
    if (m_cancelled)
        return WaitCancelled;
    m_currentCondition = &condition;
    const bool woken = condition.wait(&m_mutex, toConditionTimeout(timeoutMs));
    m_currentCondition = nullptr;
    if (m_cancelled)
        return WaitCancelled;
    return woken ? WaitDone : WaitTimedOut;
}

int FlashRunner::waitForDevice(DeviceState state, uint64_t timeoutMs)
{
    QWaitCondition condition;
    {
        QMutexLocker locker(&m_mutex);
        if (m_cancelled)
            return WaitCancelled;
        if (!m_device)
            return WaitTimedOut;
        m_currentCondition = &condition;
    }

    const bool unlimited = isUnlimited(timeoutMs);
    QElapsedTimer timer;
    timer.start();
    bool reached = false;
    for (;;) {
        uint64_t slice = kDeviceWaitSliceMs;
        if (!unlimited) {
            const uint64_t elapsed = static_cast<uint64_t>(timer.elapsed());
            slice = std::min(slice, elapsed < timeoutMs ? timeoutMs - elapsed : 0);
        }
        reached = m_device->waitForDevice(condition, state, slice);
        if (reached || isCancelled())
            break;
        // An idle device refuses to wait: it answers at once, whatever the time left.
        if (m_device->getFlashState() == FlashDevice2::FlashState::Idle)
            break;
        if (!unlimited && static_cast<uint64_t>(timer.elapsed()) >= timeoutMs)
            break;
    }

    QMutexLocker locker(&m_mutex);
    m_currentCondition = nullptr;
    if (m_cancelled)
        return WaitCancelled;
    return reached ? WaitDone : WaitTimedOut;
}

int FlashRunner::sleep(uint64_t delayMs)
{
    QWaitCondition condition;
    switch (waitForCondition(condition, delayMs)) {
    case WaitTimedOut:
        return SleepElapsed;
    case WaitCancelled:
        return SleepCancelled;
    default:
        getLogHandler()->logMessage(Logger::ERROR, QStringLiteral("Unexpected delay failure"));
        return SleepWokenEarly;
    }
}

bool FlashRunner::executeScript(const QString& script, QScriptValue& result, int& errorLine,
                                const ScriptValues& values)
{
    return m_scriptEngine->execute(script, result, errorLine, values);
}

FlashScriptEngine& FlashRunner::getScriptEngine()
{
    return *m_scriptEngine;
}

void FlashRunner::getProgress(uint64_t& done, uint64_t& total) const
{
    done = m_progressDone;
    total = m_progressTotal;
}

void FlashRunner::sendDisplayMessageBoxSignal(const QString& kind, const QString& text, bool* answer)
{
    emit displayMessageBox(kind, text, answer);
}

void FlashRunner::sendDisplayNotifierToolSignal(const QString& text, uint64_t durationMs)
{
    emit displayNotifierTool(text, durationMs);
}

void FlashRunner::setConfigurationProgression(uint64_t done, uint64_t total)
{
    m_progressDone = done;
    m_progressTotal = total;
    emit progressionChanged(done, total);
}

void FlashRunner::setCommandProgression(uint64_t done, uint64_t total)
{
    const uint64_t index = m_progressDone;
    const uint64_t count = m_progressTotal;
    emit progressionChanged(index * total + done, total * count);
}

void FlashRunner::setProgressionInfo(const QString& text)
{
    emit progressionInfoChanged(text);
}

void FlashRunner::logMessage(Logger::LogLevel level, const QString& text)
{
    getLogHandler()->logMessage(level, text);
}

void FlashRunner::deviceUpdated()
{
    getLogHandler()->setPrefix(QStringLiteral("Port ") + m_device->getPort().toString());
}
