#include "engine/FlashManager.h"

#include "core/FlashUtils.h"
#include "engine/FlashController.h"
#include "engine/FlashLogger.h"
#include "engine/FlashRunnable.h"
#include "engine/FlashRunner.h"
#include "engine/RebootPlan.h"
#include "platform/device/DeviceManager.h"

#include <QCoreApplication>
#include <QDebug>
#include <QMutexLocker>

#include <algorithm>
#include <utility>
#include <vector>

namespace {

constexpr int kToolCheckTimeoutMs = 5000;

using Status = FlashTypes::FlashStatus;
using Type = FlashTypes::CommandType;

bool isOnDemandStartState(DeviceState state)
{
    switch (state) {
    case DeviceState::DnxFirmware:
    case DeviceState::DnxOs:
    case DeviceState::ProvisioningOs:
    case DeviceState::MainOs:
    case DeviceState::Tos:
        return true;
    default:
        return false;
    }
}

} // namespace

FlashManager::FlashManager()
    : QObject(nullptr)
    , LoggedObject(QStringLiteral("Flash Manager"))
    , m_flashLogger(new FlashLogger)
{
    // Children, so that they follow the manager to its thread and handle its results there.
    m_stats.setParent(this);
    m_flashLogger->setParent(this);
    m_pool.setExpiryTimeout(1);
    m_pool.setMaxThreadCount(FMConst::MAX_THREAD_COUNT);
    connect(this, &FlashManager::flashFinished, &m_stats, &FlashStats::handleResult, Qt::QueuedConnection);
    connect(this, &FlashManager::flashFinished, m_flashLogger.get(), &FlashLogger::logResult);
    connect(this, &FlashManager::flashFinished, this, &FlashManager::prepareSystemTrayNofication);
}

FlashManager::~FlashManager()
{
    qDebug() << "destructor FlashManager ...";
    // Nobody is left to answer a question, and a flash must not hold the program: every flash,
    // running or still pending, is cancelled (which ends its program) before the pool is waited for.
    disconnect(this, &FlashManager::displayMessageBox, nullptr, nullptr);
    disconnect(this, &FlashManager::displayNotifierTool, nullptr, nullptr);
    cancelAll();
    m_pool.waitForDone();
    {
        QMutexLocker locker(&m_mutex);
        m_onDemandConfiguration.clear();
    }
    m_flashLogger.reset();
    qDebug() << "destructor FlashManager OK";
}

void FlashManager::init()
{
    m_pool.setMaxThreadCount(FMConst::MAX_THREAD_COUNT);
    connect(this, &FlashManager::flashFinished, &m_stats, &FlashStats::handleResult,
            Qt::ConnectionType(Qt::QueuedConnection | Qt::UniqueConnection));
}

bool FlashManager::setDeviceManager(DeviceManager* deviceManager)
{
    if (m_deviceManager) {
        disconnect(m_deviceManager, nullptr, this, nullptr);
        disconnect(this, nullptr, m_deviceManager, nullptr);
    }
    m_deviceManager = deviceManager;
    if (!deviceManager)
        return false;
    return bool(connect(deviceManager, &DeviceManager::deviceDetected, this, &FlashManager::onNewDevice));
}

void FlashManager::setFlashController(FlashController* controller)
{
    FlashController* previous = m_controller.exchange(controller);
    if (previous)
        unbindLogHandlers(*previous);
    if (controller)
        bindLogHandlers(*controller);
}

FlashController* FlashManager::getFlashController() const
{
    return m_controller;
}

void FlashManager::setFlashManagerMode(FM_MODE_ENUM mode, const FlashConfigurationPtr& configuration)
{
    m_mode = mode;
    if (mode != FM_MODE_ON_DEMAND)
        return;
    setOnDemandFlashFile(configuration);
    if (!configuration)
        logMessage(Logger::WARNING, QStringLiteral("Invalid flash file for On-Demand mode"));
}

FlashManager::FM_MODE_ENUM FlashManager::getFlashManagerMode() const
{
    return FM_MODE_ENUM(m_mode.load());
}

void FlashManager::setOnDemandFlashFile(const FlashConfigurationPtr& configuration)
{
    QMutexLocker locker(&m_mutex);
    m_onDemandConfiguration = configuration;
}

FlashConfigurationPtr FlashManager::getOnDemandFlashFile() const
{
    QMutexLocker locker(&m_mutex);
    return m_onDemandConfiguration;
}

void FlashManager::setFlashManagerBehavior(FMConst::FM_BEHAVIOR_ENUM behavior)
{
    m_behavior = int(behavior);
}

FMConst::FM_BEHAVIOR_ENUM FlashManager::getFlashManagerBehavior() const
{
    return FMConst::FM_BEHAVIOR_ENUM(m_behavior.load());
}

FlashStats* FlashManager::statsManager()
{
    return &m_stats;
}

QString FlashManager::portContext(const Device& device)
{
    return QStringLiteral("Port ") + device.getPort().toString();
}

FlashManager::Claim FlashManager::claim(const FlashDevice2Ptr& device)
{
    QMutexLocker locker(&m_mutex);
    // A request stays until its end is reported, after the runnable has already set the device
    // idle. A busy device is never claimed here: an idle one would keep the claim for good.
    if (m_requests.count(device.data()) != 0 || device->isBusy())
        return Claim::Busy;
    if (!device->claim(*this))
        return Claim::HeldElsewhere;
    if (!device->setFlashStateIf(FlashDevice2::FlashState::Idle, FlashDevice2::FlashState::Pending))
        return Claim::Busy;
    m_requests[device.data()].device = device;
    return Claim::Taken;
}

void FlashManager::release(const FlashDevice2Ptr& device)
{
    Request ended;
    {
        QMutexLocker locker(&m_mutex);
        const auto found = m_requests.find(device.data());
        if (found != m_requests.end()) {
            ended = std::move(found->second);
            m_requests.erase(found);
        }
        device->setFlashState(FlashDevice2::FlashState::Idle);
    }
    // `ended` may hold the last reference to the runner: it goes here, outside the lock.
}

bool FlashManager::startDeviceFlash(const FlashDevice2Ptr& device,
                                    const FlashConfigurationPtr& configuration, bool force)
{
    if (!device) {
        logMessage(Logger::ERROR, QStringLiteral("Cannot start flash, device not found"));
        return false;
    }
    if (!configuration) {
        logMessage(Logger::ERROR, QStringLiteral("Cannot start flash, no flash file"));
        return false;
    }
    // The device is taken before anything is reported about it: a refusal below ends this
    // request only, never a flash that already runs on the device.
    if (force) {
        QMutexLocker locker(&m_mutex);
        m_requests[device.data()].device = device;
    } else {
        const Claim claimed = claim(device);
        if (claimed == Claim::Busy)
            logMessage(Logger::WARNING, portContext(*device), QStringLiteral("Device is already flashing"));
        if (claimed != Claim::Taken)
            return false;
    }
    if (!isFlashAllowed(device, configuration)) {
        refuseWrongPlatform(device);
        return false;
    }
    if (FlashController* controller = m_controller) {
        switch (controller->checkStart(device)) {
        case FlashController::StartRefusedSilently:
            release(device);
            return false;
        case FlashController::StartRefusedAsFailure:
            onFlashFinished(device, Status::Failure, Type::Controller);
            return false;
        default:
            break;
        }
    }
    queueFlash(device, configuration);
    return true;
}

void FlashManager::queueFlash(const FlashDevice2Ptr& device, const FlashConfigurationPtr& configuration)
{
    auto* runnable = new FlashRunnable(device, configuration);
    bindLogHandlers(*runnable);
    runnable->setAutoDelete(true);
    connect(runnable, &FlashRunnable::flashStarted, this, &FlashManager::flashStarted, Qt::DirectConnection);
    connect(runnable, &FlashRunnable::flashFinished, this, &FlashManager::onFlashFinished, Qt::DirectConnection);
    connect(runnable, &FlashRunnable::progressionChanged, this, &FlashManager::flashProgress, Qt::DirectConnection);
    connect(runnable, &FlashRunnable::progressionInfoChanged, this, &FlashManager::flashInfoChanged,
            Qt::DirectConnection);
    connect(runnable, &FlashRunnable::displayMessageBox, this, &FlashManager::displayMessageBox,
            Qt::DirectConnection);
    connect(runnable, &FlashRunnable::displayNotifierTool, this, &FlashManager::displayNotifierTool,
            Qt::DirectConnection);

    const SharedPointer<FlashRunner> runner = runnable->getRunner();
    bool stopRequested = false;
    {
        QMutexLocker locker(&m_mutex);
        Request& request = m_requests[device.data()];
        request.device = device;
        request.runner = runner;
        stopRequested = request.stopRequested;
    }
    // Stopped while it was rebooting: it ends as cancelled as soon as it runs.
    if (stopRequested)
        runner->cancel();
    m_pool.start(runnable, 0);
}

void FlashManager::refuseWrongPlatform(const FlashDevice2Ptr& device)
{
    logMessage(Logger::ERROR, portContext(*device),
               QStringLiteral("Cannot start flash, device type does not match the platform specified in flash file"));
    emit flashProgress(device, 1, 1);
    emit flashInfoChanged(device, QStringLiteral("Wrong device type"));
    onFlashFinished(device, Status::Failure, Type::WrongDeviceType);
}

void FlashManager::rebootAndStartDeviceFlash(const FlashDevice2Ptr& device,
                                             const FlashConfigurationPtr& configuration)
{
    if (!configuration) {
        logMessage(Logger::ERROR, QStringLiteral("Cannot start flash, no flash file"));
        return;
    }
    if (!device) {
        logMessage(Logger::ERROR, QStringLiteral("Cannot start flash on invalid device"));
        return;
    }
    const Claim claimed = claim(device);
    if (claimed == Claim::Busy)
        logMessage(Logger::ERROR, portContext(*device), QStringLiteral("Cannot start flash, flash already in progress"));
    if (claimed != Claim::Taken)
        return;
    if (device->getState() == DeviceState::RecoveryOs) {
        logMessage(Logger::INFO, portContext(*device), QStringLiteral("Cannot start flash from Recovery OS state"));
        onFlashFinished(device, Status::Failure, Type::InitialDeviceState);
        return;
    }

    const DeviceState startState = configuration->getStartState();
    logMessage(Logger::INFO, portContext(*device),
               QStringLiteral("Start flashing the flash configuration with %1 start state for %2")
                   .arg(FlashTypes::getStateName(startState), device->getSerial()));
    emit flashStarted(device);
    if (!isFlashAllowed(device, configuration)) {
        refuseWrongPlatform(device);
        return;
    }

    const uint64_t commandCount = configuration->getCommandsCount();
    if (startState == DeviceState::DnxFirmware) {
        // A board in DnX firmware leaves it again soon: its flash is queued before the reboot runs.
        startDeviceFlash(device, configuration, true);
        rebootDevice(device, startState, false);
        emit flashProgress(device, 0, commandCount);
        emit flashInfoChanged(device, QStringLiteral("Rebooting ..."));
        return;
    }
    if (!rebootDevice(device, startState, false)) {
        logMessage(Logger::ERROR, portContext(*device), QStringLiteral("Failed to reboot the device"));
        onFlashFinished(device, Status::Failure, Type::InitialDeviceState);
        return;
    }
    emit flashProgress(device, 0, commandCount);
    emit flashInfoChanged(device, QStringLiteral("Rebooting ..."));
    startDeviceFlash(device, configuration, true);
}

bool FlashManager::rebootDevice(const FlashDevice2Ptr& device, const DeviceState& target, bool force)
{
    if (!device || device->getPort().getConnectionType() == PortNumber::NoConnection) {
        logMessage(Logger::DEBUG, QStringLiteral("Cannot reboot invalid device"));
        return false;
    }
    const DeviceState current = device->getState();
    if (!force && current == target) {
        logMessage(Logger::DEBUG, portContext(*device),
                   QStringLiteral("Device is already in the required state, no need to reboot it"));
        return true;
    }
    const DevicePlatform platform = device->getPlatform();
    if (!RebootPlan::isAutomaticRebootSupported(platform)) {
        logMessage(Logger::ERROR, portContext(*device),
                   QStringLiteral("Automatic reboot is not supported on this device, please reboot the device manually"));
        return false;
    }
    const RebootPlan plan(device->getSerial(), current, target, platform);
    if (plan.tool() == RebootPlan::Tool::None) {
        logMessage(Logger::INFO, portContext(*device), plan.refusal());
        return false;
    }
    logMessage(Logger::INFO, portContext(*device), plan.progressText());
    // The outcome is not waited for here: the flash waits for the device to reach the state.
    QString output;
    if (plan.tool() == RebootPlan::Tool::Adb)
        FlashUtils::executeAdbCmd(device.data(), plan.arguments(), FMConst::REBOOT_TIME_OUT, false, nullptr, output);
    else
        FlashUtils::executeFastbootCmd(device.data(), plan.arguments(), FMConst::REBOOT_TIME_OUT, false, nullptr,
                                       output);
    return true;
}

bool FlashManager::stopFlash(const FlashDevice2Ptr& device)
{
    if (!device)
        return true;
    SharedPointer<FlashRunner> runner;
    {
        QMutexLocker locker(&m_mutex);
        const auto found = m_requests.find(device.data());
        if (found == m_requests.end())
            return true;
        // A flash that is still rebooting has no runner yet: it is cancelled when it is queued.
        found->second.stopRequested = true;
        runner = found->second.runner;
    }
    if (runner)
        runner->cancel();
    return true;
}

bool FlashManager::stopFlash()
{
    if (m_deviceManager)
        m_deviceManager->unregisterVirtualDevices();
    cancelAll();
    return true;
}

void FlashManager::abandonFlashes()
{
    std::vector<FlashDevice2Ptr> left;
    {
        QMutexLocker locker(&m_mutex);
        m_abandoned = true;
        for (const auto& entry : m_requests)
            left.push_back(entry.second.device);
    }
    for (const FlashDevice2Ptr& device : left) {
        logMessage(Logger::WARNING, portContext(*device),
                   QStringLiteral("Flash still running after its stop: recorded as interrupted and left behind"));
        emit flashFinished(device, Status::Interrupted, Type::Internal);
    }
}

bool FlashManager::hasAbandonedFlashes() const
{
    QMutexLocker locker(&m_mutex);
    return m_abandoned;
}

void FlashManager::cancelAll()
{
    std::vector<SharedPointer<FlashRunner>> runners;
    {
        QMutexLocker locker(&m_mutex);
        for (auto& entry : m_requests) {
            entry.second.stopRequested = true;
            if (entry.second.runner)
                runners.push_back(entry.second.runner);
        }
    }
    for (const SharedPointer<FlashRunner>& runner : runners)
        runner->cancel();
}

void FlashManager::onFlashFinished(FlashDevice2Ptr device, FlashTypes::FlashStatus status,
                                   FlashTypes::CommandType type)
{
    // Every flash still open was reported when they were abandoned.
    if (hasAbandonedFlashes())
        return;
    if (device->getPort().isVirtualPort() && m_deviceManager)
        m_deviceManager->unregisterVirtualDevice(device);
    applyController(device, status, type);
    release(device);
    emit flashFinished(device, status, type);
}

void FlashManager::applyController(const FlashDevice2Ptr& device, FlashTypes::FlashStatus& status,
                                   FlashTypes::CommandType& type)
{
    FlashController* controller = m_controller;
    if (!controller)
        return;
    switch (controller->checkResult(device, status, type)) {
    case FlashController::ResultForceFailure:
        status = Status::Failure;
        type = Type::Controller;
        logMessage(Logger::ERROR, portContext(*device), QStringLiteral("Flash failed by flash controllers"));
        break;
    case FlashController::ResultKeep:
        logMessage(Logger::DEBUG, portContext(*device),
                   QStringLiteral("Flash controllers result ignored, keeping device flash result"));
        break;
    case FlashController::ResultForceSuccess:
        if (status != Status::Success) {
            status = Status::Success;
            type = Type::Controller;
            logMessage(Logger::INFO, portContext(*device), QStringLiteral("Flash controllers force flash success"));
        } else {
            logMessage(Logger::DEBUG, portContext(*device),
                       QStringLiteral("Flash controllers force flash success (flash already succeed)"));
        }
        break;
    default:
        break;
    }
}

void FlashManager::prepareSystemTrayNofication(FlashDevice2Ptr, FlashTypes::FlashStatus status,
                                               FlashTypes::CommandType)
{
    const QString title = QCoreApplication::applicationName();
    switch (status) {
    case Status::Success:
        emit postSystemTrayNotification(Logger::INFO, title, QStringLiteral("Flash Success"));
        break;
    case Status::Failure:
        emit postSystemTrayNotification(Logger::ERROR, title, QStringLiteral("Flash failed"));
        break;
    case Status::Interrupted:
        emit postSystemTrayNotification(Logger::WARNING, title, QStringLiteral("Flash cancelled"));
        break;
    }
}

void FlashManager::onNewDevice(const DevicePtr& device)
{
    const FlashDevice2Ptr flashDevice = device.dynamicCast<FlashDevice2>();
    if (!flashDevice) {
        logMessage(Logger::ERROR, QStringLiteral("Invalid device"));
        return;
    }
    if (flashDevice->getPort().getConnectionType() == PortNumber::NoConnection) {
        logMessage(Logger::ERROR, QStringLiteral("Invalid device connection port"));
        return;
    }
    if (flashDevice->getFlashState() != FlashDevice2::FlashState::Idle || m_mode != FM_MODE_ON_DEMAND)
        return;
    const FlashConfigurationPtr configuration = getOnDemandFlashFile();
    if (!configuration) {
        logMessage(Logger::INFO, portContext(*flashDevice), QStringLiteral("Cannot start on-demand flash, invalid flash file"));
        return;
    }
    const DeviceState startState = configuration->getStartState();
    if (!isOnDemandStartState(startState)) {
        logMessage(Logger::INFO, portContext(*flashDevice),
                   QStringLiteral("Cannot start on-demand flash, flash file start state not supported"));
        return;
    }
    if (flashDevice->getState() == startState) {
        startDeviceFlash(flashDevice, configuration, false);
        return;
    }
    logMessage(Logger::INFO, portContext(*flashDevice),
               QStringLiteral("Cannot start on-demand flash, device must be first in '%1' state")
                   .arg(FlashTypes::getStateName(startState)));
}

bool FlashManager::isFlashAllowed(const FlashDevice2Ptr& device, const FlashConfigurationPtr& configuration) const
{
    const QSharedPointer<FlashFileContext> flashFile = configuration->getFlashFileContext();
    if (!flashFile)
        return true;
    const std::list<DevicePlatform>& platforms = flashFile->getPlatforms();
    // A virtual device that stands for no board yet has no platform: it binds only to a board of
    // the listed platforms (FlashDevice2::acceptsBinding).
    if (device->getPort().isVirtualPort() && device->getPlatform() == DevicePlatform::Unknown)
        return true;
    return platforms.empty()
           || std::find(platforms.begin(), platforms.end(), device->getPlatform()) != platforms.end();
}

bool FlashManager::isDeviceFlashing() const
{
    if (!m_deviceManager)
        return false;
    std::map<PortNumber, FlashDevice2Ptr> devices;
    m_deviceManager->getDevicesByType<FlashDevice2>(devices);
    return std::any_of(devices.begin(), devices.end(),
                       [](const auto& entry) { return entry.second->isFlashing(); });
}

int FlashManager::getNbDeviceConnected(DeviceState state) const
{
    if (!m_deviceManager)
        return 0;
    std::map<PortNumber, FlashDevice2Ptr> devices;
    m_deviceManager->getDevicesByType<FlashDevice2>(devices);
    return int(std::count_if(devices.begin(), devices.end(),
                             [state](const auto& entry) { return entry.second->getState() == state; }));
}

bool FlashManager::checkAndroidSDK()
{
    QString output;
    bool success = false;
    FlashUtils::executeFastbootCmd(QStringList{QStringLiteral("help")}, kToolCheckTimeoutMs, false, &success, output);
    if (!success)
        return false;
    FlashUtils::executeAdbCmd(QStringList{QStringLiteral("help")}, kToolCheckTimeoutMs, false, &success, output);
    return success;
}
