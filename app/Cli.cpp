#include "app/Cli.h"

#include "app/BuildInfoFile.h"
#include "app/CliConfiguration.h"
#include "app/CliFlashFile.h"
#include "app/InterruptNotifier.h"
#include "core/ChildProcess.h"
#include "core/DeviceAddress.h"
#include "core/FMConst.h"
#include "core/FlashUtils.h"
#include "core/QlnErrorCode.h"
#include "engine/FlashManager.h"
#include "loader/ArchiveUnpacker.h"
#include "loader/FlashFileManager.h"
#include "platform/device/DeviceManager.h"

#include <QCoreApplication>
#include <QDebug>

#include <map>
#include <vector>

namespace {

using Status = FlashTypes::FlashStatus;
using Type = FlashTypes::CommandType;

// How long a stopped flash may take to report its end before the program leaves without it.
constexpr int kStopGraceMs = 15000;

QString portContext(const Device& device)
{
    return QStringLiteral("Port ") + device.getPort().toString();
}

} // namespace

Cli::Cli(FlashManager* flashManager, DeviceManager* deviceManager)
    : QObject(nullptr)
    , LoggedObject(QStringLiteral("Cli"))
    , m_flashManager(flashManager)
    , m_deviceManager(deviceManager)
{
    m_stopTimer.setSingleShot(true);
    connect(&m_stopTimer, &QTimer::timeout, this, &Cli::do_stopGraceExpired);
}

Cli::~Cli()
{
    qDebug() << "destructor Cli ...";
    m_flashFile.clear();
    m_flashManager = nullptr;
    m_adbRebootProcess.reset();
    m_fastbootRebootProcess.reset();
    qDebug() << "destructor Cli OK";
}

int Cli::init()
{
    // The parser gets its own copy of the arguments: getopt_long reorders the vector it parses.
    std::vector<QByteArray> texts;
    for (const QString& argument : QCoreApplication::arguments())
        texts.push_back(argument.toLocal8Bit());
    std::vector<char*> vector;
    for (QByteArray& text : texts)
        vector.push_back(text.data());
    vector.push_back(nullptr);
    const int result = ArgParser::generateTask(int(texts.size()), vector.data(), m_options);
    if (result != ArgParser::Proceed) {
        m_flashFile.clear();
        return result;
    }

    m_deviceManager->getLogHandler()->setFilterLevel(m_options.deviceMgrLogLevel);
    // Before the first scan: the devices the matching rules out are never questioned.
    m_deviceManager->setSelection(m_options.vid != 0
                                      ? DeviceSelection::byIds(m_options.vid, m_options.pid)
                                      : DeviceSelection::bySerials({m_options.osSerialNumber,
                                                                    m_options.socSerialNumber}));
    if (m_options.timeoutMinutes > 0) {
        connect(&m_cliTimer, &DeadlineTimer::timeout, this, &Cli::do_cliTimeout);
        m_cliTimer.start(uint64_t(m_options.timeoutMinutes) * 60000u);
        logMessage(Logger::DEBUG, QStringLiteral("CLI Flash timeout set to %1 min").arg(m_options.timeoutMinutes));
    } else {
        logMessage(Logger::DEBUG, QStringLiteral("CLI Flash timeout not activated"));
    }
    return QlnErrorCode::NoError;
}

int Cli::start()
{
    int code = QlnErrorCode::NoError;
    if (!m_options.isValid()) {
        logMessage(Logger::ERROR, QStringLiteral("Error Invalid options"));
        code = QlnErrorCode::CliInvalidOptions;
    } else if (m_options.cleanEmmc) {
        // The settings' GP flag override does not apply to a clean eMMC.
        FMConst::FORCE_GP_FLAG = false;
        m_configuration = CliConfiguration::cleanEmmc(m_options);
        logMessage(Logger::INFO, QStringLiteral("'") + m_configuration->getID() + QStringLiteral("' configuration used to flash"));
    } else {
        code = CliFlashFile::load(*this, m_options, m_flashFile);
        if (code == QlnErrorCode::NoError)
            code = CliConfiguration::choose(*this, m_options, m_flashFile, m_configuration);
    }
    if (code == QlnErrorCode::NoError)
        code = CliConfiguration::adjust(*this, m_options, m_flashFile, m_configuration);
    // An interrupt or the time-out during the unpacking settled the run already.
    if (m_exitCode >= 0)
        code = m_exitCode;
    if (code != QlnErrorCode::NoError) {
        m_flashFile.clear();
        return code;
    }

    if (!m_options.buildInfoOutput.isEmpty()) {
        const QSharedPointer<FlashFileManager> owner = m_configuration->getFlashFileManager();
        const QString path = BuildInfoFile::save(*m_configuration, m_options,
                                                 owner ? owner->getGroups() : FlashConfiguration::FileGroups());
        if (path.isEmpty())
            logMessage(Logger::ERROR, QStringLiteral("Fail to generate file with build properties (")
                                          + m_options.buildInfoOutput + QStringLiteral(")"));
        else
            logMessage(Logger::INFO, QStringLiteral("Build properties saved into ") + path);
    }
    if (m_options.skipFlash) {
        m_flashFile.clear();
        return ArgParser::UsageShown;
    }

    // A time-out or an interrupt that came while the flash file loaded ends the run before any
    // flash starts.
    QCoreApplication::processEvents();
    if (m_exitCode >= 0) {
        m_flashFile.clear();
        return m_exitCode;
    }

    connect(m_deviceManager, &DeviceManager::deviceDetected, this, &Cli::do_startFlash, Qt::QueuedConnection);
    connect(this, &Cli::startFlash, this, &Cli::do_startFlash);
    connect(m_flashManager, &FlashManager::flashFinished, this, &Cli::flashFinished);
    do_startFlashOfConnectedDevices();
    if (!m_flashStarted) {
        if (m_options.deviceDetectionTimeout != UINT64_MAX) {
            connect(&m_deviceDetectionTimer, &DeadlineTimer::timeout, this, &Cli::do_deviceDetectionTimeout);
            m_deviceDetectionTimer.start(m_options.deviceDetectionTimeout);
            logMessage(Logger::INFO, QStringLiteral("Starting device detection timer (%1 ms) ...")
                                         .arg(m_options.deviceDetectionTimeout));
        }
        logMessage(Logger::INFO, QStringLiteral("Waiting for devices ..."));
    }
    return QlnErrorCode::NoError;
}

void Cli::do_startFlashOfConnectedDevices()
{
    logMessage(Logger::DEBUG, QStringLiteral("Scanning devices..."));
    // The scan the start-up asked for answers: a second scan right after it would only repeat
    // every probe (a scanner that is not running scans once here).
    m_deviceManager->waitForScan(UINT64_MAX);
    logMessage(Logger::DEBUG, QStringLiteral("Scan OK"));
    if (m_flashStarted)
        return;

    if (!m_options.socSerialNumber.isEmpty() || m_configuration->getStartState() != DeviceState::DnxFirmware) {
        std::map<PortNumber, DevicePtr> devices;
        m_deviceManager->getDevices(devices);
        logMessage(Logger::INFO, QStringLiteral("Number of devices detected: %1").arg(devices.size()));
        for (const auto& entry : devices)
            emit startFlash(entry.second);
        return;
    }
    rebootConnectedDevices();
    startOnVirtualDevice();
}

void Cli::rebootConnectedDevices()
{
    const QString serial = m_options.osSerialNumber;
    if (m_options.reboot == 0) {
        if (serial.isEmpty())
            logMessage(Logger::DEBUG, QStringLiteral("Reboot of connected devices is deactivated (mode=0)"));
        else
            logMessage(Logger::DEBUG, QStringLiteral("Reboot of connected device %1 is disabled (mode=0)").arg(serial));
        return;
    }
    if (m_flashStarted) {
        logMessage(Logger::TRACE, QStringLiteral("Reboot skipped, flash already started"));
        return;
    }
    const QStringList reboot{QStringLiteral("reboot")};
    if (serial.isEmpty()) {
        logMessage(Logger::DEBUG, QStringLiteral("Rebooting connected devices (mode=-1 auto)"));
        // One command reboots every device of its kind.
        const int inOs = m_flashManager->getNbDeviceConnected(DeviceState::Cos)
                         + m_flashManager->getNbDeviceConnected(DeviceState::MainOs);
        if (inOs > 0) {
            logMessage(Logger::DEBUG, QStringLiteral("Number of MOS and COS devices detected: %1").arg(inOs));
            runRebootCommand(m_adbRebootProcess, false, reboot);
        }
        const int inPos = m_flashManager->getNbDeviceConnected(DeviceState::ProvisioningOs);
        if (inPos > 0) {
            logMessage(Logger::DEBUG, QStringLiteral("Number of POS devices detected: %1").arg(inPos));
            runRebootCommand(m_fastbootRebootProcess, true, reboot);
        }
        return;
    }

    const FlashDevice2Ptr device = m_deviceManager->getDeviceBySerial(serial).dynamicCast<FlashDevice2>();
    if (!device || !device->isConnected())
        return;
    logMessage(Logger::DEBUG, QStringLiteral("Rebooting device %1 (mode=-1 auto)").arg(serial));
    const DeviceAddress address(serial, device->getPort().getConnectionType());
    switch (device->getState()) {
    case DeviceState::DnxFirmware:
        logMessage(Logger::DEBUG, QStringLiteral("Reboot step skipped"));
        break;
    case DeviceState::ProvisioningOs:
        logMessage(Logger::DEBUG, QStringLiteral("Device %1 is connected in POS").arg(serial));
        runRebootCommand(m_fastbootRebootProcess, true, address.fastbootSelector() + reboot);
        break;
    case DeviceState::MainOs:
    case DeviceState::Cos:
        logMessage(Logger::DEBUG, QStringLiteral("Device %1 is connected in MOS or COS").arg(serial));
        runRebootCommand(m_adbRebootProcess, false, address.adbSelector() + reboot);
        break;
    default:
        logMessage(Logger::DEBUG, QStringLiteral("Reboot step skipped, device %1 not connected").arg(serial));
        break;
    }
}

void Cli::runRebootCommand(std::unique_ptr<ChildProcess>& process, bool fastboot, const QStringList& arguments)
{
    if (!process) {
        process = std::make_unique<ChildProcess>();
        connect(process.get(), qOverload<int, QProcess::ExitStatus>(&QProcess::finished), this,
                fastboot ? &Cli::doFastbootRebootProcessFinished : &Cli::doAdbRebootProcessFinished);
    }
    // Runs to its end (or its time-out); nothing depends on how it ended.
    QString output;
    if (fastboot)
        FlashUtils::executeFastbootCmd(arguments, FMConst::REBOOT_TIME_OUT, true, nullptr, output, process.get());
    else
        FlashUtils::executeAdbCmd(arguments, FMConst::REBOOT_TIME_OUT, true, nullptr, output, process.get());
}

void Cli::doAdbRebootProcessFinished(int exitCode)
{
    logMessage(Logger::DEBUG, QStringLiteral("Process \"adb reboot\" finished with code %1").arg(exitCode));
}

void Cli::doFastbootRebootProcessFinished(int exitCode)
{
    logMessage(Logger::DEBUG, QStringLiteral("Process \"fastboot reboot\" finished with code %1").arg(exitCode));
}

void Cli::startOnVirtualDevice()
{
    if (m_flashStarted)
        return;
    const DevicePtr created = m_deviceManager->createVirtualDevice();
    const FlashDevice2Ptr standBy = created.dynamicCast<FlashDevice2>();
    if (!standBy) {
        logMessage(Logger::ERROR, QStringLiteral("Fail to create virtual device"));
        m_deviceManager->unregisterVirtualDevice(created);
        return;
    }
    if (m_flashManager->startDeviceFlash(standBy, m_configuration, false))
        m_flashStarted = true;
}

void Cli::do_startFlash(const DevicePtr& detected)
{
    const FlashDevice2Ptr device = detected.dynamicCast<FlashDevice2>();
    if (!device)
        return;
    if (m_flashStarted) {
        logMessage(Logger::DEBUG, QStringLiteral("CLI flashing is already started"));
        m_deviceDetectionTimer.stop();
        return;
    }
    if (!m_configuration) {
        m_flashFile.clear();
        finish(QlnErrorCode::CliInvalidFlashFile);
        return;
    }
    if (device->isFlashing())
        return;

    if (m_options.vid != 0) {
        // Vendor and product ids win over the serial numbers.
        if (device->getVendorId() == m_options.vid && (m_options.pid == 0 || device->getProductId() == m_options.pid)) {
            requestFlash(device, portContext(*device), QStringLiteral("Start flashing ..."));
        }
        return;
    }
    if (m_options.socSerialNumber.isEmpty() && m_options.osSerialNumber.isEmpty()) {
        if (device->getState() == DeviceState::DnxFirmware && m_configuration->getStartState() != DeviceState::DnxFirmware) {
            logMessage(Logger::INFO, portContext(*device),
                       QStringLiteral("Ignoring device connection, WRONG state: ")
                           + FlashTypes::getStateName(device->getState()));
            return;
        }
        requestFlash(device, portContext(*device), QStringLiteral("Start flashing ..."));
        return;
    }
    if (!device->isConnected())
        return;
    const DeviceState state = device->getState();
    const bool inDnx = state == DeviceState::DnxFirmware || state == DeviceState::DnxOs;
    const QString serial = inDnx ? device->getSocSerial() : device->getPlatformSerial();
    const QString wanted = inDnx ? m_options.socSerialNumber : m_options.osSerialNumber;
    if (serial.isEmpty() || serial != wanted)
        return;
    requestFlash(device, QString(), QStringLiteral("Start flashing %1 ...").arg(serial));
}

void Cli::requestFlash(const FlashDevice2Ptr& device, const QString& context, const QString& startText)
{
    if (!device->claim(*this))
        return;
    logMessage(Logger::INFO, context, startText);
    m_flashStarted = true;
    m_deviceDetectionTimer.stop();
    // The flash manager reboots the device (running adb or fastboot) on its own thread.
    FlashManager* const manager = m_flashManager;
    const FlashConfigurationPtr configuration = m_configuration;
    QMetaObject::invokeMethod(
        manager, [manager, device, configuration] { manager->rebootAndStartDeviceFlash(device, configuration); },
        Qt::QueuedConnection);
}

void Cli::flashFinished(FlashDevice2Ptr, FlashTypes::FlashStatus status, FlashTypes::CommandType type)
{
    m_configuration.clear();
    m_flashFile.clear();
    m_flashEnded = true;
    if (m_exitCode >= 0) {
        // The run had ended already (a time-out) and waited for its flash to stop.
        emitFinished();
        return;
    }
    finish(exitCodeOf(status, type));
}

int Cli::exitCodeOf(FlashTypes::FlashStatus status, FlashTypes::CommandType type)
{
    if (status == Status::Success)
        return QlnErrorCode::NoError;
    switch (type) {
    case Type::Ifwi:
        return QlnErrorCode::FlashIfwiFailed;
    case Type::Fastboot:
    case Type::Adb:
    case Type::Shell:
    case Type::Modem:
        return QlnErrorCode::FlashAndroidFailed;
    case Type::DeviceEnumeration:
        return QlnErrorCode::FlashPosEnumerationTimeout;
    case Type::InitialDeviceState:
        return QlnErrorCode::FlashInvalidDeviceState;
    default:
        return QlnErrorCode::FlashUnknown;
    }
}

void Cli::do_cliTimeout()
{
    logMessage(Logger::ERROR, QStringLiteral("CLI Flash timeout (> %1 min), waiting for all actions to be terminated")
                                  .arg(m_options.timeoutMinutes));
    m_flashFile.clear();
    finish(QlnErrorCode::CliTimeout);
}

void Cli::do_deviceDetectionTimeout()
{
    logMessage(Logger::ERROR, QStringLiteral("Device detection timeout (> %1 ms), waiting for all actions to be terminated")
                                  .arg(m_options.deviceDetectionTimeout));
    m_flashFile.clear();
    finish(QlnErrorCode::CliDeviceDetectionTimeout);
}

void Cli::do_interrupt(int signal)
{
    if (m_exitCode < 0) {
        logMessage(Logger::ERROR, QStringLiteral("Interrupted by %1, waiting for all actions to be terminated")
                                      .arg(InterruptNotifier::signalName(signal)));
        m_flashFile.clear();
        finish(QlnErrorCode::FlashCancelled);
        return;
    }
    // The run stops already (its flash was stopped with it): the second signal ends the wait.
    logMessage(Logger::ERROR, QStringLiteral("Interrupted again by %1, leaving now")
                                  .arg(InterruptNotifier::signalName(signal)));
    leaveFlashBehind();
}

void Cli::do_stopGraceExpired()
{
    logMessage(Logger::WARNING, QStringLiteral("The stopped flash did not end within %1 s").arg(kStopGraceMs / 1000));
    leaveFlashBehind();
}

void Cli::leaveFlashBehind()
{
    if (m_flashStarted && !m_flashEnded)
        m_flashManager->abandonFlashes();
    emitFinished();
}

void Cli::finish(int code)
{
    // The first outcome is the run's; anything later only ends the wait for it.
    if (m_exitCode >= 0)
        return;
    m_exitCode = code;
    m_cliTimer.stop();
    m_deviceDetectionTimer.stop();
    // Nothing is unpacked for a run that has ended; an archiver that runs now is killed.
    ArchiveUnpacker::stopAll();
    if (m_flashStarted && !m_flashEnded) {
        // A flash still runs or waits (the global time-out cut it short): it is stopped, its tools
        // killed, and the program leaves once its end is recorded, or after a grace period.
        m_flashManager->stopFlash();
        m_stopTimer.start(kStopGraceMs);
        return;
    }
    emitFinished();
}

void Cli::emitFinished()
{
    if (m_finishedEmitted)
        return;
    m_finishedEmitted = true;
    m_stopTimer.stop();
    emit finished(m_exitCode);
}
