#include "app/Quillon.h"

#include "app/Cli.h"
#include "app/InterruptNotifier.h"
#include "app/StartupArguments.h"
#include "app/TempFolderSpace.h"
#include "loader/ToolConst.h"
#include "core/FMConst.h"
#include "core/FlashUtils.h"
#include "core/LogLevel.h"
#include "core/MessageHandler.h"
#include "core/QuillonLib.h"
#include "core/UniqueFileName.h"
#include "core/Utils.h"
#include "engine/FlashDevice2.h"
#include "engine/FlashLogger.h"
#include "engine/FlashManager.h"
#include "platform/device/AdbDeviceFilter.h"
#include "platform/device/DeviceManager.h"
#include "platform/device/DfuDeviceFilter.h"
#include "platform/device/FastbootDeviceFilter.h"
#include "platform/device/SocDeviceFilter.h"
#include "platform/device/UsbChangeWatcher.h"
#include "platform/device/UsbDeviceScanner.h"
#include "tools/DFUFlashCommand.h"
#include "tools/DravikFlashCommand.h"
#include "ui/MainWindow.h"
#include "ui/UiResources.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QApplication>
#include <QSplashScreen>
#include <QSslSocket>
#include <QTextCodec>

namespace {

// Between two scans when USB changes wake the scanner: what only a scan sees (network devices, an
// adb device that is authorised without enumerating anew) waits at most this long.
const unsigned long long kWatchedScanPeriodMs = 10000;

// %1 version, %2 build time, %3 the info level, %4 the most verbose level.
const char* const kUsageTemplate =
    "Zorvik(R) Quillon Lite V %1 (build on %2)\n"
    "\n"
    "Usage of the UI tool: \n"
    "      quillonlite [option]\n"
    "Options:\n"
    "  -h\n"
    "  --help\n"
    "\tDisplay this information\n"
    "  --version\n"
    "\tDisplay the application version\n"
    "\n"
    "\n"
    "Usage of the CLI tool: \n"
    "      quillonlitecli [options]\n"
    "\n"
    "General options:\n"
    "  -h\n"
    "  --help\n"
    "\tDisplay the CLI information\n"
    "  --version\n"
    "\tDisplay the application version\n"
    "  -l <level>\n"
    "  --log-level\n"
    "\tSet log level, [0-%4]\n"
    "\t0: no log, %3: info level, %4: very verbose\n"
    "  --timeout <timeout_value>\n"
    "\tSet the timeout value in minutes for CLI, if not specified the default value\n"
    "\tis 30min.\n"
    "\tAfter <timeout_value> minutes elapsed, all ongoing flashes are stopped and \n"
    "\tthe tool exits with 0x4 code\n"
    "\tIf <timeout_value> <= 0, the timeout is deactivated\n"
    "  --device-detection-timeout <timeout_value_in_ms>\n"
    "\tSet the timeout value in milliseconds for device detection, if not specified the timer \n"
    "\tis not enabled. The timer starts after when the flash file is loaded\n"
    "\t(message \"Waiting for devices\")\n"
    "  --skip-flash\n"
    "\tSkip the flash\n"
    "\n"
    "Flash options:\n"
    "  -f <file>\n"
    "  --flash-file <file>\n"
    "\tFlash phone by .zip/.tgz/.xml/.json file\n"
    "  -x <file>\n"
    "  --flash-filename <file>\n"
    "\t(Optional) Specify the flash file in archive, default is flash.json\n"
    "  -c <configuration-id>\n"
    "  --configuration <configuration-id>\n"
    "\t(Optional) Specify the flash configuration ID to be selected in the flash file\n"
    "  --enable-group <group-id>\n"
    "\t(Optional) Enable the flash group ID (Group of commands are only supported in Json flash file)\n"
    "  --disable-group <group-id>\n"
    "\t(Optional) Disable the flash group ID (Group of commands are only supported in Json flash file)\n"
    "  --set-parameter-value <param-id>=<param-value>\n"
    "\t(Optional) Change the parameter <param-id> value to <param-value>\n"
    "\t           <param-id> must be defined in the flash file\n"
    "\t           If the parameter <param-id> is a string or a file, <param-value> must be one of the existing value key\n"
    "\t           If the parameter <param-id> is a variable, <param-value> will become it's default value (as string)\n"
    "  --dnx-sn <serial> (replace deprecated --soc-sn <serial>)\n"
    "\tSerial number for flashing specific devices in DnX mode (SCU DnX, CSE DnX, DnX OS)\n"
    "  --os-sn <serial>\n"
    "\tOS serial number for flashing specific Android devices\n"
    "  --vid <vendor_id> --pid <product_id>\n"
    "\tVendor ID and Product ID for flashing specific devices. When specified, the --dnx-sn and --os-sn options are omitted.\n"
    "\tWhen Vendor ID is specified, Product ID option is optional.\n"
    "  --clean-emmc --fw-dnx <fw_dnx> --fw-image <fw_image>\n"
    "\tClean the eMMC of the specified soc device in --dnx-sn (Dravik wipe out ifwi\n"
    "\toption)\n"
    "  --always-unzip \n"
    "\tAlways extract archives\n"
    "  --reboot <value>\n"
    "\tSet the reboot behavior before starting the flash procedure:\n"
    "\t\t 1 : reboot command is executed only if a device is connected,\n"
    "\t\t     the reboot command is selected using the device state\n"
    "\t\t 0 : no reboot: even if a device is connected, the reboot cmd is not\n"
    "\t\t     executed\n"
    "\n"
    "External tools options:\n"
    "  --adb <path> \n"
    "\tSet adb.exe file path\n"
    "  --fastboot <path> \n"
    "\tSet fastboot.exe file path\n"
    "\n"
    "Single-action options:\n"
    "*** The options in this section immediately exit. You have to use them one by one without any other options. ***\n"
    "*** It must *NOT* be used with flash commands otherwise they will be ignored. ***\n"
    "  --get-error-code <value>\n"
    "\tReturn the error code description\n";


// The user's vendor id setting ("0x8087" or "8087") as 16 bits; 0 when it is no hexadecimal number.
unsigned short userVendorId(const QString& text)
{
    QString digits = text.trimmed();
    if (digits.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        digits = digits.mid(2);
    bool ok = false;
    const unsigned long value = digits.toULong(&ok, 16);
    return ok ? static_cast<unsigned short>(value & 0xffff) : 0;
}

} // namespace

const QString Quillon::help_message = QString::fromLatin1(kUsageTemplate)
                                          .arg(QLatin1String(QuillonLib::getVersion()))
                                          .arg(QLatin1String(QuillonLib::getBuildDate()))
                                          .arg(int(INFO))
                                          .arg(int(TRACE));

Quillon::Quillon()
    : QObject(nullptr)
    , LoggedObject(QStringLiteral("Quillon Lite"))
{
    // Everything logged through this object, and through the handlers bound to it later, reaches
    // the application log.
    m_logBridge.bind(*this);
}

Quillon::~Quillon()
{
    qDebug() << "destructor Quillon ...";
    if (m_flashManager)
        disconnect(this, nullptr, m_flashManager, nullptr);
    delete m_splashScreen;
    m_splashScreen = nullptr;
    // The window may still reach both managers while it goes.
    if (m_mainWindow) {
        MessageHandler::instance()->setMainTextEditLog(nullptr);
        delete m_mainWindow;
        m_mainWindow = nullptr;
    }
    settleFlashEnds();
    m_flashManagerThread.quit();
    m_flashManagerThread.wait();
    // The driver refers to both managers, and the flash manager to the device manager's devices.
    delete m_cliDriver;
    m_cliDriver = nullptr;
    delete m_flashManager;
    m_flashManager = nullptr;
    delete m_usbChangeWatcher;
    m_usbChangeWatcher = nullptr;
    delete m_deviceManager;
    m_deviceManager = nullptr;
    qDebug() << "destructor Quillon OK";
}

void Quillon::settleFlashEnds()
{
    // Ends of flashes (result files, statistics) queued to the flash manager's thread are
    // handled before that thread stops.
    if (m_flashManager && m_flashManagerThread.isRunning())
        QMetaObject::invokeMethod(m_flashManager, [] {}, Qt::BlockingQueuedConnection);
}

bool Quillon::hasAbandonedFlashes() const
{
    return m_flashManager && m_flashManager->hasAbandonedFlashes();
}

int Quillon::init(bool gui)
{
    // First: from here on an interrupt no longer ends the process at once, the face stops the run.
    m_interrupts = new InterruptNotifier(this);
    MessageHandler* const log = MessageHandler::instance();
    log->clear();
    if (gui)
        showSplashScreen();
    else
        log->setShell(true);
    if (!QTextCodec::codecForLocale())
        logMessage(Logger::WARNING, QStringLiteral("Cannot set the codec"));
    startLogFile();

    if (gui) {
        logSplashMessage(QStringLiteral("Starting user interface..."));
        m_mainWindow = new MainWindow;
        bindLogHandlers(*m_mainWindow);
    }
    printInitialisationLogs();
    // The desktop face runs the firmware downloader as a program of its own, the command line
    // through its library.
    if (gui)
        FMConst::USE_DRAVIK_SOLO = true;
    FMConst::USE_DRAVIK_EXTERNAL = gui;
    FMConst::GUI_ENABLED = gui;

    logSplashMessage(QStringLiteral("Initializing flash manager ..."));
    createFlashManager();
    logSplashMessage(QStringLiteral("Initializing device manager ..."));
    createDeviceManager();

    if (gui) {
        attachMainWindow();
    } else {
        const int code = initCommandLineDriver();
        if (code != 0)
            return terminate(code);
    }

    if (m_toolQueries.takeAndroidSdkFound())
        logMessage(Logger::INFO, QStringLiteral("Adb and fastboot binaries OK"));
    else
        logMessage(Logger::ERROR, QStringLiteral("Can not find Android adb and fastboot applications; Please "
                                                 "check the path of adb and fastboot in the option panel"));
    m_usbScanner->startScan();
    logSplashMessage(QStringLiteral("Starting user interface..."));

    if (gui) {
        showMainWindow();
        return 0;
    }
    // A run that ends while it starts (an interrupt or the time-out during the unpacking) has its
    // code returned by start().
    const int started = m_cliDriver->start();
    if (started != 0)
        return terminate(started);
    // Queued: the program never leaves from inside the driver's own call stack.
    connect(m_cliDriver, &Cli::finished, this, &Quillon::terminate, Qt::QueuedConnection);
    return 0;
}

void Quillon::showSplashScreen()
{
    UiResources::init();
    m_splashScreen = new QSplashScreen(QPixmap(QStringLiteral(":/icons/icons/splash_quillon.png")));
    m_splashScreen->setEnabled(false);
    m_splashScreen->show();
    logSplashMessage(QStringLiteral("Starting %1 %2 %3 ...")
                         .arg(QCoreApplication::applicationName(), QCoreApplication::applicationVersion(),
                              qApp->property("APP_ARCH").toString()));
    QCoreApplication::processEvents();
}

void Quillon::logSplashMessage(const QString& text)
{
    if (m_splashScreen)
        m_splashScreen->showMessage(text, Qt::AlignLeft | Qt::AlignBottom, QColor(43, 108, 195, 255));
}

void Quillon::attachMainWindow()
{
    m_mainWindow->setFlashManager(m_flashManager);
    m_mainWindow->setDeviceManager(m_deviceManager);
    logMessage(Logger::TRACE, QStringLiteral("TEMP folder location: '%1'").arg(QFileInfo(QDir::tempPath()).canonicalFilePath()));
    TempFolderSpace(FMConst::MIN_DISK_SPACE_WARNING_VALUE).report(*this);
    connect(m_mainWindow, &MainWindow::closing, this, &Quillon::terminate);
    // A flash's question and notice wait for the window's answer on the flash's own thread.
    connect(m_flashManager, &FlashManager::displayMessageBox, m_mainWindow, &MainWindow::displayMessageBox,
            Qt::BlockingQueuedConnection);
    connect(m_flashManager, &FlashManager::displayNotifierTool, m_mainWindow, &MainWindow::displayNotifierTool,
            Qt::BlockingQueuedConnection);
    // An interrupt closes the window as its close button would, without asking before it stops flashes.
    connect(m_interrupts, &InterruptNotifier::interrupted, m_mainWindow, &MainWindow::closeOnInterrupt);
    m_mainWindow->widgetFlashBasicReloadLatestFlashFile();
}

void Quillon::showMainWindow()
{
    QCoreApplication::processEvents();
    m_mainWindow->resize(1024, 768);
    m_mainWindow->update();
    m_splashScreen->finish(m_mainWindow);
    m_mainWindow->show();
    m_mainWindow->initAppStyle();
    MessageHandler::instance()->scrollTextEditsToBottom();
}

int Quillon::initCommandLineDriver()
{
    m_cliDriver = new Cli(m_flashManager, m_deviceManager);
    logMessage(Logger::DEBUG, QStringLiteral("Cli allocated"));
    bindLogHandlers(*m_cliDriver);
    connect(m_interrupts, &InterruptNotifier::interrupted, m_cliDriver, &Cli::do_interrupt);
    return m_cliDriver->init();
}

void Quillon::startLogFile()
{
    if (!FMConst::applicationLogEnabled_)
        return;
    logMessage(Logger::INFO, QStringLiteral("Starting logger..."));
    logSplashMessage(QStringLiteral("Starting logger..."));
    if (FMConst::applicationLogFileNamePattern_.isEmpty())
        return;
    MessageHandler* const log = MessageHandler::instance();
    const QDir directory(FMConst::logDirectory_.trimmed());
    if (!directory.exists() && !QDir().mkpath(directory.absolutePath())) {
        log->logMessage(WARNING, QStringLiteral("Fail create log directory"));
        return;
    }
    const QFileInfo file(directory.filePath(FlashLogger::getStrFromPattern(FMConst::applicationLogFileNamePattern_)));
    if (!QDir().mkpath(file.absolutePath())) {
        log->logMessage(WARNING, QStringLiteral("Fail create parent folder to log file"));
        return;
    }
    // Two runs started in the same second expand the pattern to one name: each gets a file of its own.
    QString error;
    const QString path = UniqueFileName::claim(file.absoluteFilePath(), error);
    if (path.isEmpty()) {
        log->logMessage(WARNING, QStringLiteral("Fail create log file ") + error);
        return;
    }
    log->setLogFile(path);
}

void Quillon::printInitialisationLogs()
{
    const QCoreApplication* application = QCoreApplication::instance();
    logMessage(Logger::INFO, QStringLiteral("Zorvik(R) Quillon Lite V %1 %2 (build on %3)")
                                 .arg(application->property("APP_FULL_VERSION").toString(),
                                      application->property("APP_ARCH").toString(),
                                      application->property("APP_BUILD_TIME").toString()));
    m_toolQueries.start();
    logMessage(Logger::INFO, QStringLiteral("Using ") + DravikFlashCommand::toolName() + QStringLiteral(" version: ")
                                 + m_toolQueries.takeDravikVersion());
    logMessage(Logger::INFO, QStringLiteral("Using ") + DFUFlashCommand::toolName() + QStringLiteral(" version: ")
                                 + m_toolQueries.takeDfuVersion());
    logMessage(Logger::INFO, QStringLiteral("Using ") + m_toolQueries.takeAdbVersion());
    logMessage(Logger::INFO, QStringLiteral("OS version detected: ") + Utils::getOsName());
    logMessage(Logger::INFO, QSslSocket::supportsSsl() ? QStringLiteral("SSL supported: Yes")
                                                       : QStringLiteral("SSL supported: No"));
    const QByteArray path = qgetenv("PATH");
    if (!path.isNull())
        logMessage(Logger::TRACE, QStringLiteral("System PATH: ") + QString::fromLocal8Bit(path));
    logMessage(Logger::TRACE, QStringLiteral("Application path is ") + QCoreApplication::applicationDirPath());
    logMessage(Logger::TRACE, QStringLiteral("Working directory is ") + QDir::currentPath());
}

void Quillon::createFlashManager()
{
    m_flashManager = new FlashManager;
    bindLogHandlers(*m_flashManager);
    m_flashManager->moveToThread(&m_flashManagerThread);
    m_flashManagerThread.start(QThread::InheritPriority);
    m_flashManager->setFlashManagerMode(FlashManager::FM_MODE_NORMAL, FlashConfigurationPtr());
    m_flashManager->setFlashManagerBehavior(FMConst::FM_BEHAVIOR_ENUM(ToolConst::TOOL_BEHAVIOR));
}

void Quillon::createDeviceManager()
{
    m_deviceManager = new DeviceManager;
    bindLogHandlers(*m_deviceManager);
    m_deviceManager->getLogHandler()->setFilterLevel(
        StartupArguments::deviceManagerLogLevel(QCoreApplication::arguments()));

    // adb and fastboot confirm what the USB tree shows through the program's own device commands,
    // so they use the tools the settings and the command line name.
    auto* adb = new AdbDeviceFilter(FlashUtils::executeAdbCmd);
    auto* fastboot = new FastbootDeviceFilter(FlashUtils::executeFastbootCmd);
    if (!FMConst::FASTBOOT_VENDOR_ID.isEmpty()) {
        const unsigned short vendorId = userVendorId(FMConst::FASTBOOT_VENDOR_ID);
        adb->setUserVID(vendorId);
        fastboot->setUserVID(vendorId);
    }
    if (FMConst::bLatin1ComparisonForFastbootEnabled) {
        adb->setSerialConverter(&DeviceFilter::ToLocal8BitsConverter);
        fastboot->setSerialConverter(&DeviceFilter::ToLocal8BitsConverter);
    }
    m_usbScanner = new UsbDeviceScanner;
    m_usbScanner->addFilter(new SocDeviceFilter);
    m_usbScanner->addFilter(fastboot);
    m_usbScanner->addFilter(adb);
    m_usbScanner->addFilter(new DfuDeviceFilter);
    // A change of the USB tree wakes the scanner at once; the periodic scan is then only a safety
    // net (for network devices, and a tree that could not be watched).
    if (FMConst::scanUSBDevicesOnPlug)
        m_usbChangeWatcher = new UsbChangeWatcher(m_usbScanner, QString());
    const bool watched = m_usbChangeWatcher && m_usbChangeWatcher->isWatching();
    m_usbScanner->setScanInterval(watched ? kWatchedScanPeriodMs : FMConst::DEVICE_SCAN_PERIOD);
    m_deviceManager->addScanner(m_usbScanner);
    m_deviceManager->setDeviceAllocator(&FlashDevice2::DeviceAllocator);
    m_flashManager->setDeviceManager(m_deviceManager);
}

int Quillon::terminate(int code)
{
    QCoreApplication::processEvents();
    qDebug() << "Quillon::terminate()";
    // The entry point runs it once more after the loop: the steps are done, the lines said.
    if (m_terminated) {
        QCoreApplication::exit(code);
        return code;
    }
    m_terminated = true;
    logMessage(Logger::DEBUG, QStringLiteral("Exiting Quillon Lite"));
    MessageHandler::instance()->setMainTextEditLog(nullptr);
    // The flash manager keeps its own connections (statistics, result files): a flash that ends
    // while the program leaves is still recorded.
    if (m_deviceManager)
        disconnect(m_deviceManager, nullptr, nullptr, nullptr);
    if (m_mainWindow) {
        m_mainWindow->detachDeviceViews();
        disconnect(m_mainWindow, nullptr, nullptr, nullptr);
        if (m_flashManager)
            disconnect(m_flashManager, nullptr, m_mainWindow, nullptr);
    }
    if (m_cliDriver) {
        disconnect(m_cliDriver, nullptr, nullptr, nullptr);
        if (m_flashManager)
            disconnect(m_flashManager, nullptr, m_cliDriver, nullptr);
    }
    if (m_deviceManager)
        m_deviceManager->stopAllScanners();
    QCoreApplication::processEvents();
    // The desktop's flashes end with the window; the command line's driver has stopped its own.
    if (m_mainWindow && m_flashManager && m_flashManager->isDeviceFlashing())
        m_flashManager->stopFlash();
    logMessage(Logger::DEBUG, QStringLiteral("Device Manager terminated"));
    logMessage(Logger::DEBUG, QStringLiteral("Flash Manager terminated"));
    QCoreApplication::exit(code);
    return code;
}
