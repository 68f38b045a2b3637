#include "engine/FlashRunnable.h"

#include "core/FMConst.h"
#include "engine/FlashRunner.h"
#include "model/FlashCommand.h"

#include <QElapsedTimer>

#include <algorithm>
#include <set>

namespace {

constexpr uint64_t kMinimumFirstPauseMs = 500;

using Status = FlashTypes::FlashStatus;
using Type = FlashTypes::CommandType;

bool isStartState(DeviceState state)
{
    const int value = int(state);
    return value >= int(DeviceState::DnxFirmware) && value <= int(DeviceState::MainOs);
}

// The kinds of download-mode device the configuration is for, by what it runs: the DFU downloader
// for DFU boards, the firmware downloader (and anything that runs neither) for a SoC.
std::set<DeviceKind> downloadKindsOf(const FlashConfiguration& configuration)
{
    std::set<DeviceKind> kinds;
    for (const QSharedPointer<FlashCommand>& command : configuration.getCommands()) {
        if (!command)
            continue;
        if (command->getType() == Type::Dfu)
            kinds.insert(DeviceKind::Dfu);
        else if (command->getType() == Type::Ifwi)
            kinds.insert(DeviceKind::Soc);
    }
    if (kinds.empty())
        kinds.insert(DeviceKind::Soc);
    return kinds;
}

} // namespace

FlashRunnable::FlashRunnable(const FlashDevice2Ptr& device, const FlashConfigurationPtr& configuration)
    : QObject(nullptr)
    , LoggedObject(QStringLiteral("Flash Runnable"))
    , m_configuration(configuration)
    , m_device(device)
    , m_runner(new FlashRunner(this, device, configuration))
{
    // The runner's lines go where the runnable's go (the flash manager binds the runnable).
    bindLogHandlers(*m_runner);
    m_device->setFlashFile(m_runner);
    connect(m_runner.data(), &FlashRunner::progressionChanged, this,
            &FlashRunnable::onProgressionChanged, Qt::DirectConnection);
    connect(m_runner.data(), &FlashRunner::progressionInfoChanged, this,
            &FlashRunnable::onProgressionInfoChanged, Qt::DirectConnection);
    connect(m_runner.data(), &FlashRunner::displayMessageBox, this,
            &FlashRunnable::displayMessageBox, Qt::DirectConnection);
    connect(m_runner.data(), &FlashRunner::displayNotifierTool, this,
            &FlashRunnable::displayNotifierTool, Qt::DirectConnection);
}

FlashRunnable::~FlashRunnable()
{
    m_runner.reset();
    m_device.reset();
    m_configuration.reset();
}

const FlashConfigurationPtr& FlashRunnable::getConfiguration() const
{
    return m_configuration;
}

const SharedPointer<FlashRunner>& FlashRunnable::getRunner() const
{
    return m_runner;
}

void FlashRunnable::run()
{
    if (!m_configuration || !m_device)
        return;

    const DeviceState startState = m_configuration->getStartState();
    m_runner->logMessage(Logger::INFO, QStringLiteral("Starting flash ..."));
    // Flashing from here on; a virtual device learns which device it is to stand for.
    const QSharedPointer<FlashFileContext> flashFile = m_configuration->getFlashFileContext();
    m_device->beginFlash(startState, flashFile ? flashFile->getPlatforms() : std::list<DevicePlatform>(),
                         downloadKindsOf(*m_configuration));
    emit flashStarted(m_device);
    emit progressionChanged(m_device, 0, 0);

    if (!isStartState(startState)) {
        emit progressionChanged(m_device, 0, 1);
        endEarly(QStringLiteral("Invalid start state"), Status::Failure, Type::InitialDeviceState);
        return;
    }
    if (!waitForStartState(startState))
        return;

    QElapsedTimer stopwatch;
    stopwatch.start();
    QSharedPointer<FlashCommand> lastCommand;
    const Status status = m_configuration->execute(m_runner, m_device, lastCommand);
    const int64_t elapsedMs = stopwatch.elapsed();

    const QString serial = m_device->getSerial();
    const QString prefix = serial.isEmpty() ? QString() : serial + QStringLiteral(": ");
    const Type type = lastCommand ? lastCommand->getType() : Type::Internal;
    switch (status) {
    case Status::Interrupted:
        m_runner->setProgressionInfo(prefix + tr("Flash cancelled"));
        logRunLine(Logger::WARNING, QStringLiteral("Flash cancelled"));
        break;
    case Status::Failure: {
        const QString typeName = FlashTypes::getCommandTypeName(type);
        m_runner->setProgressionInfo(prefix + tr("Flash failed") + QStringLiteral(" (") + typeName
                                     + QLatin1Char(')'));
        logRunLine(Logger::ERROR, QStringLiteral("Flash failed (Command type: ") + typeName + QLatin1Char(')'));
        break;
    }
    case Status::Success:
        m_runner->setConfigurationProgression(1, 1);
        m_runner->setProgressionInfo(prefix + tr("Flash success") + QStringLiteral(" (duration: ")
                                     + durationText(elapsedMs) + QLatin1Char(')'));
        logRunLine(Logger::INFO, QStringLiteral("Flash success (duration=") + durationStamp(elapsedMs)
                                     + QLatin1Char(')'));
        break;
    }

    finish(status, type);
}

bool FlashRunnable::waitForStartState(DeviceState startState)
{
    // A device in DnX firmware leaves that state on its own after a short while: its flash starts
    // at once. A virtual device waits in every state (without the pause in DnX firmware): the
    // board it is to stand for may not be attached yet.
    const bool isVirtual = m_device->getPort().isVirtualPort();
    if (startState == DeviceState::DnxFirmware && !isVirtual)
        return true;

    m_runner->logMessage(Logger::DEBUG, QStringLiteral("Waiting for device in ")
                                            + FlashTypes::getStateName(startState));
    // Computed in 64 bits; a negative setting keeps its sign and so waits without limit.
    const uint64_t timeoutMs = static_cast<uint64_t>(static_cast<int64_t>(FMConst::OS_NO_ENUM) * 1000);
    switch (m_runner->waitForDevice(startState, timeoutMs)) {
    case FlashRunner::WaitDone:
        break;
    case FlashRunner::WaitCancelled:
        endEarly(QStringLiteral("Flash cancelled"), Status::Interrupted, Type::DeviceEnumeration);
        return false;
    default:
        endEarly(QStringLiteral("Device on port %1 timeout to be enumerated (TIMEOUT = %2)")
                     .arg(m_device->getPort().toString(), QString::number(FMConst::OS_NO_ENUM)),
                 Status::Failure, Type::DeviceEnumeration);
        return false;
    }
    if (startState == DeviceState::DnxFirmware)
        return true;

    const uint64_t pauseMs = std::max(FMConst::COMMAND_DELAY, kMinimumFirstPauseMs);
    m_runner->logMessage(Logger::INFO, QStringLiteral("Flash started"));
    m_runner->logMessage(Logger::INFO, QStringLiteral("Sleep ") + QString::number(pauseMs)
                                           + QStringLiteral(" ms before executing first flash command"));
    switch (m_runner->sleep(pauseMs)) {
    case FlashRunner::SleepElapsed:
        return true;
    case FlashRunner::SleepCancelled:
        endEarly(QStringLiteral("Flash cancelled"), Status::Interrupted, Type::DeviceEnumeration);
        return false;
    case FlashRunner::SleepWokenEarly:
        endEarly(QStringLiteral("Flash failed (small sleep)"), Status::Failure, Type::DeviceEnumeration);
        return false;
    default:
        logRunLine(Logger::ERROR, QStringLiteral("Sleep command from FlashRunner returned an unknown status"));
        endEarly(QStringLiteral("Flash failed (unknown sleep error code)"), Status::Failure,
                 Type::DeviceEnumeration);
        return false;
    }
}

void FlashRunnable::endEarly(const QString& text, FlashTypes::FlashStatus status,
                             FlashTypes::CommandType type)
{
    emit progressionInfoChanged(m_device, text);
    finish(status, type);
}

void FlashRunnable::finish(FlashTypes::FlashStatus status, FlashTypes::CommandType type)
{
    // Idle before the end is announced: whoever handles flashFinished may start the next flash.
    m_device->setFlashState(FlashDevice2::FlashState::Idle);
    // The runner holds the device: a device still holding the runner would keep both alive for good.
    m_device->setFlashFile(SharedPointer<FlashRunner>());
    emit flashFinished(m_device, status, type);
}

void FlashRunnable::logRunLine(Logger::LogLevel level, const QString& text) const
{
    logMessage(level, m_runner->getLogHandler()->getPrefix(), text);
}

void FlashRunnable::onProgressionChanged(uint64_t done, uint64_t total)
{
    emit progressionChanged(m_device, done, total);
}

void FlashRunnable::onProgressionInfoChanged(const QString& text)
{
    emit progressionInfoChanged(m_device, text);
}

QString FlashRunnable::durationText(int64_t elapsedMs)
{
    const int64_t milliseconds = elapsedMs % 1000;
    const int64_t seconds = elapsedMs / 1000 % 60;
    const int64_t minutes = elapsedMs / 60000 % 60;
    const int64_t hours = elapsedMs / 3600000;
    if (elapsedMs < 1000)
        return QStringLiteral("%1 ms").arg(elapsedMs);
    if (elapsedMs < 60000)
        return QStringLiteral("%1 s and %2 ms").arg(seconds).arg(milliseconds);
    if (elapsedMs < 3600000)
        return QStringLiteral("%1 min and %2 s").arg(minutes).arg(seconds);
    return QStringLiteral("%1 h, %2 min and %3 s").arg(hours).arg(minutes).arg(seconds);
}

QString FlashRunnable::durationStamp(int64_t elapsedMs)
{
    const QLatin1Char zero('0');
    return QStringLiteral("%1:%2:%3.%4")
        .arg(elapsedMs / 3600000, 2, 10, zero)
        .arg(elapsedMs / 60000 % 60, 2, 10, zero)
        .arg(elapsedMs / 1000 % 60, 2, 10, zero)
        .arg(elapsedMs % 1000, 3, 10, zero);
}
