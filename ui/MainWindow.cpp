#include "ui/MainWindow.h"

#include "ui_MainWindow.h"

#include "core/MessageHandler.h"
#include "core/FMConst.h"
#include "engine/FlashManager.h"
#include "engine/FlashRunner.h"
#include "model/FlashFileContext.h"
#include "loader/ToolConst.h"
#include "platform/device/DeviceManager.h"
#include "ui/AboutDialog.h"
#include "ui/DeviceItemModel.h"
#include "ui/DeviceViewBinding.h"
#include "ui/FlashBasicDialog.h"
#include "ui/FlashBasicWidget.h"
#include "ui/NotifierWidget.h"
#include "ui/QPhoneWidget.h"
#include "ui/SystemTrayNotifier.h"
#include "ui/UiResources.h"
#include "ui/options/AppOptions.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <cstdio>
#include <map>

namespace {

constexpr int kRefreshIntervalMs = 3000;
constexpr int kDropHoverMs = 500;
constexpr int kLogPaneHeight = 145;
constexpr int kDeviceViewCount = 8;

const QString kTransparentButtonStyle = QStringLiteral(
    "background-color: rgba(0, 113, 197, 0);font: %1px; font-weight: bold;color: rgb(255, 255, 255);");
const QString kCheckedToolButtonStyle = QStringLiteral(
    "background-color: rgb(0, 174, 239);font: %1px; font-weight: bold;color: rgb(255, 255, 255);");

// A font size that start-up stores on the application object; 0 when it is missing.
int applicationFontSize(const char* property)
{
    return qApp->property(property).toInt();
}

// How a flash's message box looks, by the kind the flash sends.
struct MessageBoxKind
{
    const char* type;
    QMessageBox::Icon icon;
    bool isQuestion;
};
constexpr std::array<MessageBoxKind, 3> kMessageBoxKinds{{
    {"info", QMessageBox::Information, false},
    {"warn", QMessageBox::Warning, false},
    {"question", QMessageBox::Question, true},
}};

// A warning warns; fatal and error lines are critical; the rest informs.
QSystemTrayIcon::MessageIcon messageIconOf(Logger::LogLevel level)
{
    if (level == Logger::WARNING)
        return QSystemTrayIcon::Warning;
    return level < Logger::WARNING ? QSystemTrayIcon::Critical : QSystemTrayIcon::Information;
}

// Only blankphone (DnX firmware) and fastboot DnX (DnX OS) flash files flash devices as they arrive.
bool isOnDemandStartState(DeviceState state)
{
    return state == DeviceState::DnxFirmware || state == DeviceState::DnxOs;
}

} // namespace

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent)
    , ui(std::make_unique<Ui_MainWindow>())
    , m_deviceItemModel(new DeviceItemModel(this))
{
    ui->setupUi(this);
    const QString applicationName = QCoreApplication::applicationName();
    setWindowTitle(applicationName);
    ui->actionAbout->setToolTip(tr("About ") + applicationName);
    // Of the menu bar only the help menu shows.
    ui->menuConfiguration_file->menuAction()->setVisible(false);
    ui->menuFile->menuAction()->setVisible(false);
    ui->actionAbout->setIcon(UiResources::applicationIcon());

    // The editor is built by the form but is no tab of the window.
    m_tabs.append(ui->widgetFlashBasic);
    for (FlashTab* tab : qAsConst(m_tabs))
        bindLogHandlers(*tab);
    ui->actionCheckForUpdate->setEnabled(false);

    connect(ui->startFlashingMain, &StartStopPushButton::startClicked, this, &MainWindow::startFlashingMain,
            Qt::DirectConnection);
    connect(ui->startFlashingMain, &StartStopPushButton::stopClicked, this, &MainWindow::stopFlashingMain,
            Qt::DirectConnection);
    ui->startFlashingMain->init(tr("Stop"));
    setAttribute(Qt::WA_AlwaysShowToolTips);
    createUserFolders();

    ui->toolButtonFlasher->setAcceptDrops(true);
    ui->toolButtonFlasher->installEventFilter(this);
    ui->actionRebootPhones->setEnabled(false);
    std::setvbuf(stdout, nullptr, _IONBF, 0);

    MessageHandler::instance()->setMainTextEditLog(ui->textEditLog);
    fillLogLevelSelector();
    createDeviceViews();

    // The flash tab is the only registered tab: its signals are the tabs' signals.
    connect(ui->widgetFlashBasic, &FlashBasicWidget::flashFileChanged, this, &MainWindow::onFlashFileChanged);
    connect(ui->widgetFlashBasic, &FlashBasicWidget::documentationChanged, this, &MainWindow::onDocumentationChanged);

    m_dropHoverTimer.setInterval(kDropHoverMs);
    m_dropHoverTimer.setSingleShot(true);
    connect(&m_dropHoverTimer, &QTimer::timeout, this, &MainWindow::switchToFlashBasic);

    // The flash tab becomes current when the event loop first runs, not during construction.
    QMetaObject::invokeMethod(this, &MainWindow::on_toolButtonFlasher_clicked, Qt::QueuedConnection);
    QMetaObject::invokeMethod(this, &MainWindow::do_update_ui, Qt::QueuedConnection);

    setWindowTitle(applicationName + QLatin1Char(' ') + QCoreApplication::applicationVersion());
    connect(&m_updateTimer, &QTimer::timeout, this, &MainWindow::do_update_ui);
    m_updateTimer.start(kRefreshIntervalMs);

    ui->actionCheckForUpdate->setVisible(false);
    // Hiding only its button would leave the editor showing beside the flash tab.
    ui->toolButtonFlasherEditor->hide();
    ui->widgetFlashEditor->hide();
    ui->widgetFlashEditor->init();

    const QString logButtonStyle = kTransparentButtonStyle.arg(applicationFontSize("FONT_SIZE_LOG_BUTTON"));
    ui->pushButton_editLogSave->setStyleSheet(logButtonStyle);
    ui->pushButton_editLogClear->setStyleSheet(logButtonStyle);
    refreshLog();

    // Start-up relays the flash manager's notices into this signal, blocking the flash's thread
    // only until the panel has started to show.
    connect(this, &MainWindow::displayNotifierTool, ui->notifierWidget, &NotifierWidget::displayMessage,
            Qt::DirectConnection);
    bindLogHandlers(*ui->notifierWidget);
    ui->notifierWidget->setProgressVisible(true);

    // Where the desktop has a system tray, its icon carries this menu.
    auto* trayMenu = new QMenu(this);
    trayMenu->addAction(ui->actionAbout);
    m_systemTrayNotifier = new SystemTrayNotifier(trayMenu, this);
    bindLogHandlers(*m_systemTrayNotifier);
}

MainWindow::~MainWindow()
{
    // The form's widgets outlive this body (the base class deletes them): nothing they or the
    // flash manager emit may reach the half-destroyed window.
    disconnect(ui->widgetFlashBasic, nullptr, this, nullptr);
    if (m_flashManager)
        disconnect(m_flashManager, nullptr, this, nullptr);
    m_currentTab = nullptr;
    m_phoneWidgets.clear();
    m_flashManager = nullptr;
    // Its tray icon shows the form's about action: it goes before the form.
    delete m_systemTrayNotifier;
    m_systemTrayNotifier = nullptr;
    ui.reset();
}

void MainWindow::fillLogLevelSelector()
{
    QComboBox* selector = ui->comboBox_loggerLevel;
    selector->clear();
    QFont font = selector->font();
    font.setPointSize(8);
    font.setWeight(QFont::Bold);
    selector->setFont(font);
    MessageHandler* log = MessageHandler::instance();
    for (int level = FATAL; level <= TRACE; ++level) {
        selector->addItem(log->getLogLevelStr(LOGLEVEL(level)), level);
        selector->setItemData(level, QColor(Qt::white), Qt::ForegroundRole);
        selector->setItemData(level, font, Qt::FontRole);
    }
    // Set before the connections: showing the current level changes nothing.
    selector->setCurrentIndex(log->getLogLevel());
    connect(selector, qOverload<int>(&QComboBox::currentIndexChanged), this, &MainWindow::updateLogLevel);
    connect(selector, qOverload<int>(&QComboBox::currentIndexChanged), &m_tableLog, &TableLog::setLogFilter,
            Qt::QueuedConnection);
}

void MainWindow::createDeviceViews()
{
    QLayout* layout = ui->scrollAreaWidgetContents->layout();
    if (!layout)
        layout = new QVBoxLayout(ui->scrollAreaWidgetContents);
    auto* box = qobject_cast<QBoxLayout*>(layout);
    m_phoneWidgets.clear();
    // Every view exists before the managers are set: the setters wire the views there are.
    for (int index = 0; index < kDeviceViewCount; ++index) {
        auto* view = new QPhoneWidget(this);     // the layout reparents it; the window deletes it
        bindLogHandlers(*view);
        m_phoneWidgets.append(view);
        view->hide();
        if (box)
            box->insertWidget(index, view);
        else
            layout->addWidget(view);
    }
    layout->setAlignment(Qt::AlignTop);
}

void MainWindow::createUserFolders()
{
    // A folder that cannot be made shows up when it is used; the window opens regardless.
    for (const QString& folder : {ToolConst::onUsingDownloadDirName, ToolConst::onUsingConfigCacheDirName,
                                  ToolConst::getUserCommandTemplatesDirectory()})
        QDir().mkpath(folder);
}

void MainWindow::setFlashManager(FlashManager* manager)
{
    if (!manager)
        return;
    if (m_flashManager) {
        disconnect(m_flashManager, nullptr, this, nullptr);
        disconnect(this, nullptr, m_flashManager, nullptr);
    }
    m_flashManager = manager;
    connect(manager, &FlashManager::flashFinished, this, &MainWindow::do_update_ui);
    connect(manager, &FlashManager::postSystemTrayNotification, this, &MainWindow::handleSystemTrayNotification);
    connect(this, &MainWindow::start_flash, manager, &FlashManager::rebootAndStartDeviceFlash, Qt::QueuedConnection);
    connect(manager, &FlashManager::flashStarted, this, &MainWindow::do_update_ui);
    for (QPhoneWidget* view : qAsConst(m_phoneWidgets))
        connectDeviceView(view);
}

void MainWindow::connectDeviceView(QPhoneWidget* view)
{
    connect(view, &QPhoneWidget::start_flash, this, &MainWindow::prepareAndStartFlash, Qt::QueuedConnection);
    // The main button shows the start at once, before the queued request is handled.
    connect(view, &QPhoneWidget::start_flash, this, &MainWindow::setflashStartedInUI);
    connect(view, &QPhoneWidget::stop_flash, m_flashManager, qOverload<const FlashDevice2Ptr&>(&FlashManager::stopFlash));
    // Each view hears every device's flash and keeps its own.
    connect(m_flashManager, &FlashManager::flashStarted, view, &QPhoneWidget::onFlashStarted, Qt::QueuedConnection);
    connect(m_flashManager, &FlashManager::flashFinished, view, &QPhoneWidget::onFlashFinished, Qt::QueuedConnection);
    connect(m_flashManager, &FlashManager::flashProgress, view, &QPhoneWidget::onFlashProgressed, Qt::QueuedConnection);
    connect(m_flashManager, &FlashManager::flashInfoChanged, view, &QPhoneWidget::onFlashInfo, Qt::QueuedConnection);
}

void MainWindow::disconnectDeviceView(QPhoneWidget* view)
{
    if (m_flashManager) {
        disconnect(m_flashManager, nullptr, view, nullptr);
        disconnect(view, nullptr, m_flashManager, nullptr);
    }
    if (m_deviceManager)
        disconnect(m_deviceManager, nullptr, view, nullptr);
}

void MainWindow::setDeviceManager(DeviceManager* manager)
{
    if (!manager)
        return;
    if (m_deviceManager) {
        disconnect(m_deviceManager, nullptr, this, nullptr);
        disconnect(this, nullptr, m_deviceManager, nullptr);
        disconnect(m_deviceManager, nullptr, m_deviceItemModel, nullptr);
        for (QPhoneWidget* view : qAsConst(m_phoneWidgets))
            disconnect(m_deviceManager, nullptr, view, nullptr);
    }
    m_deviceManager = manager;
    connect(manager, &DeviceManager::deviceDetected, this, &MainWindow::onDeviceFound);
    for (QPhoneWidget* view : qAsConst(m_phoneWidgets))
        connect(manager, &DeviceManager::deviceLost, view, &QPhoneWidget::deviceLost);
    connect(manager, &DeviceManager::deviceDetected, m_deviceItemModel, &DeviceItemModel::onDeviceUpdate);
    connect(manager, &DeviceManager::deviceUpdated, m_deviceItemModel, &DeviceItemModel::onDeviceUpdate);
    connect(manager, &DeviceManager::deviceLost, m_deviceItemModel, &DeviceItemModel::onDeviceLost);

    // Devices found before the window was attached get their views now; the model only hears
    // of changes from here on.
    std::map<PortNumber, DevicePtr> known;
    manager->getDevices(known);
    for (const auto& entry : known) {
        if (entry.second)
            onDeviceFound(entry.second);
    }
}

void MainWindow::detachDeviceViews()
{
    for (QPhoneWidget* view : qAsConst(m_phoneWidgets))
        disconnectDeviceView(view);
}

void MainWindow::initAppStyle()
{
    ui->startFlashingMain->setStyleSheet(ui->startFlashingMain->styleSheet() + ToolConst::StylePushButtonZorvikBlue);
    QList<int> sizes = ui->splitter_2->sizes();
    int total = 0;
    for (int size : qAsConst(sizes))
        total += size;
    ui->splitter_2->setSizes({total - kLogPaneHeight, kLogPaneHeight});
    setStyleSheet(QStringLiteral("font : %1px \"%2\";").arg(applicationFontSize("FONT_SIZE_GENERAL")).arg(QFont().family()));
    ui->textEditLog->setStyleSheet(QStringLiteral("font : %1px;").arg(applicationFontSize("FONT_SIZE_LOGGER")));
    // The notifier sits at the device area's right edge: it keeps clear of its scroll bar, which
    // shows only once the views overflow (its size hint is the width it will take).
    if (const QScrollBar* bar = ui->scrollArea->verticalScrollBar())
        ui->notifierWidget->setRightScrollBarMargin(bar->sizeHint().width());
}

void MainWindow::widgetFlashBasicReloadLatestFlashFile()
{
    QMetaObject::invokeMethod(ui->widgetFlashBasic, &FlashBasicWidget::reloadLatestFlashFile);
}

void MainWindow::refreshLog()
{
    m_tableLog.setLogFilter(MessageHandler::instance()->getLogLevel());
}

void MainWindow::displayMessageBox(const QString& type, const QString& text, bool* answer)
{
    const auto kind = std::find_if(kMessageBoxKinds.begin(), kMessageBoxKinds.end(),
                                   [&type](const MessageBoxKind& candidate) { return type == QLatin1String(candidate.type); });
    if (kind == kMessageBoxKinds.end())
        return;
    // The program is leaving and its flashes are stopped: a box now would wait for nobody and hold
    // the exit (the asking flash waits for the answer, the exit for the flash).
    if (m_closeAccepted) {
        if (answer)
            *answer = kind->isQuestion;
        return;
    }
    QMessageBox box(this);
    box.setWindowTitle(QCoreApplication::applicationName());
    box.setText(text);
    box.setIcon(kind->icon);
    if (kind->isQuestion) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setButtonText(QMessageBox::Yes, tr("Continue"));
        box.setButtonText(QMessageBox::No, tr("Cancel Flash"));
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
        box.setDefaultButton(QMessageBox::Ok);
        box.setEscapeButton(QMessageBox::Ok);
    }
    const int result = box.exec();
    if (answer)
        *answer = result == QMessageBox::No;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    const bool isDrag = type == QEvent::DragEnter || type == QEvent::DragMove || type == QEvent::Drop;
    if (!watched->isWidgetType() || !(isDrag || type == QEvent::DragLeave))
        return QMainWindow::eventFilter(watched, event);
    if (!isDrag || watched != ui->toolButtonFlasher) {
        m_dropHoverTimer.stop();
        return QMainWindow::eventFilter(watched, event);
    }

    auto* drop = static_cast<QDropEvent*>(event);
    const bool allowed = flashTab()->allowFileDrop(drop);
    if (allowed) {
        // A file held over the button switches to the flash tab even when it is not dropped.
        if (type == QEvent::DragEnter)
            m_dropHoverTimer.start();
        drop->setDropAction(drop->proposedAction());
    } else {
        drop->setDropAction(Qt::IgnoreAction);
    }
    drop->accept();
    if (type != QEvent::Drop)
        return true;
    m_dropHoverTimer.stop();
    if (allowed) {
        flashTab()->fileDropped(drop);
        onTabSwitch(flashTab(), ui->toolButtonFlasher);
    }
    return true;
}

void MainWindow::keyPressEvent(QKeyEvent* event)
{
    // Every other key is taken without effect.
    if (event->key() != Qt::Key_F11 || event->modifiers() != Qt::NoModifier)
        return;
    if (isFullScreen()) {
        switch (m_stateBeforeFullScreen) {
        case StateBeforeFullScreen::Maximized:
            showMaximized();
            break;
        case StateBeforeFullScreen::Minimized:
            showMinimized();
            break;
        case StateBeforeFullScreen::Normal:
            showNormal();
            break;
        }
        return;
    }
    if (isMaximized())
        m_stateBeforeFullScreen = StateBeforeFullScreen::Maximized;
    else if (isMinimized())
        m_stateBeforeFullScreen = StateBeforeFullScreen::Minimized;
    else
        m_stateBeforeFullScreen = StateBeforeFullScreen::Normal;
    showFullScreen();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // The flashes stop before the tabs are asked: a tab that refuses leaves them stopped.
    if (m_flashManager && m_deviceManager && m_flashManager->isDeviceFlashing()) {
        const bool stopped = m_closingOnInterrupt ? m_flashManager->stopFlash() : stopFlashesBeforeClose();
        if (!stopped) {
            event->ignore();
            return;
        }
    }
    for (FlashTab* tab : qAsConst(m_tabs)) {
        if (!tab->mainWindowAboutToQuit()) {
            event->ignore();
            return;
        }
    }
    for (FlashTab* tab : qAsConst(m_tabs))
        tab->mainWindowQuit();
    event->accept();
    // Before closing: its receiver flushes pending events, which may hold a flash's question.
    m_closeAccepted = true;
    emit closing(0);
}

void MainWindow::closeOnInterrupt()
{
    // A close that is asking already runs: Qt would ignore a second one, and the program would
    // wait for an answer nobody may give.
    if (m_quitQuestion) {
        m_quitQuestion->button(QMessageBox::Yes)->click();
        return;
    }
    m_closingOnInterrupt = true;
    close();
    m_closingOnInterrupt = false;   // a tab that refused leaves the window as it was
}

bool MainWindow::stopFlashesBeforeClose()
{
    if (isOnDemandConfigurationFlashing()) {
        warnOnDemandFlashesCannotStop();
        return false;
    }
    QMessageBox question(QMessageBox::Question, QCoreApplication::applicationName(),
                         tr("One or more devices are flashing.\nDo you want to quit anyway?"),
                         QMessageBox::Yes | QMessageBox::No);
    question.setDefaultButton(QMessageBox::No);
    m_quitQuestion = &question;
    const int answer = question.exec();
    m_quitQuestion = nullptr;
    if (answer != QMessageBox::Yes)
        return false;
    if (!m_flashManager->stopFlash()) {
        warnOnDemandFlashesCannotStop();
        return false;
    }
    return true;
}

bool MainWindow::isOnDemandConfigurationFlashing() const
{
    if (m_flashManager->getFlashManagerMode() != FlashManager::FM_MODE_ON_DEMAND)
        return false;
    const FlashConfigurationPtr onDemand = m_flashManager->getOnDemandFlashFile();
    if (!onDemand)
        return false;
    // A device whose runner runs the on-demand configuration itself: the same object, not a copy.
    std::map<PortNumber, DevicePtr> devices;
    m_deviceManager->getDevices(devices);
    return std::any_of(devices.begin(), devices.end(), [&onDemand](const auto& entry) {
        const FlashDevice2Ptr device = entry.second.template dynamicCast<FlashDevice2>();
        const SharedPointer<FlashRunner> runner = device ? device->getFlashFile() : SharedPointer<FlashRunner>();
        return runner && runner->getConfiguration() == onDemand;
    });
}

void MainWindow::warnOnDemandFlashesCannotStop()
{
    QMessageBox::warning(nullptr, QCoreApplication::applicationName(),
                         tr("One or more devices are flashing blankphone using on-demand mode.\n"
                            "When flashes are running in this mode Dravik API cannot be stopped.\n\n"
                            "Please wait for blankphone flashes to terminate."),
                         QMessageBox::Ok);
}

void MainWindow::do_batteryTooLowWhenFlashFW(const FlashDevice2Ptr& device)
{
    if (!device)
        return;
    QMessageBox box(QMessageBox::Warning, QCoreApplication::applicationName() + tr(" - Battery Warning"),
                    tr("Battery too low for device %1 connected on port %2")
                        .arg(device->getSocSerial(), device->getPort().toString()),
                    QMessageBox::Yes | QMessageBox::No);
    box.setInformativeText(tr("Do you want to stop the flash ?"));
    box.setDefaultButton(QMessageBox::Yes);
    if (box.exec() == QMessageBox::Yes && m_flashManager)
        m_flashManager->stopFlash(device);
}

void MainWindow::on_actionAbout_triggered()
{
    AboutDialog about(this);
    about.exec();
}

void MainWindow::on_actionCheckForUpdate_triggered()
{
}

void MainWindow::on_actionOptions_triggered()
{
    if (!m_flashManager)
        return;
    AppOptions options(*m_flashManager, this);
    bindLogHandlers(options);
    connect(&options, &AppOptions::showDocumentation, this, &MainWindow::on_actionDocumentation_triggered);
    options.exec();
}

void MainWindow::on_actionDocumentation_triggered()
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(ToolConst::getHelpURL()));
}

void MainWindow::on_actionOptionsToolbar_triggered()
{
    on_actionOptions_triggered();
}

void MainWindow::on_actionDocumentationToolbar_triggered()
{
    on_actionDocumentation_triggered();
}

void MainWindow::on_toolButtonFlasher_clicked()
{
    onTabSwitch(flashTab(), ui->toolButtonFlasher);
    do_update_ui();
}

void MainWindow::onFlashFileChanged(bool ready)
{
    do_update_ui();
    if (ready && m_currentTab && m_currentTab->getCurrentFlashFile())
        MessageHandler::instance()->logMessage(INFO, tr("Ready to flash!"));
}

void MainWindow::onDocumentationChanged()
{
    if (!m_currentTab || !isVisible() || !ToolConst::DISPLAY_DOCUMENTATION_POPUP)
        return;
    const FlashConfigurationPtr configuration = m_currentTab->getCurrentFlashFile();
    if (!configuration || !configuration->hasDocumentation())
        return;

    QMessageBox box(QMessageBox::Information, QCoreApplication::applicationName(), tr("Documentation available."),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    box.setButtonText(QMessageBox::Yes, tr("Open it"));
    box.setButtonText(QMessageBox::No, tr("Cancel"));
    auto* container = new QWidget(&box);
    auto* layout = new QHBoxLayout(container);
    auto* doNotDisplay = new QCheckBox(tr("Do not display this message again"), container);
    doNotDisplay->blockSignals(true);
    layout->addWidget(doNotDisplay);
    static_cast<QGridLayout*>(box.layout())->addWidget(container, 1, 1);

    if (box.exec() == QMessageBox::Yes)
        QDesktopServices::openUrl(QUrl(configuration->getDocumentation()));
    ToolConst::setDisplayDocumentationPopupEnabled(!doNotDisplay->isChecked());
}

bool MainWindow::startFlashingOnDemand()
{
    if (!m_currentTab || !m_flashManager)
        return false;
    const FlashConfigurationPtr configuration = m_currentTab->getCurrentFlashFile();
    if (!configuration) {
        do_update_ui();
        return false;
    }
    if (!isOnDemandStartState(configuration->getStartState())) {
        logMessage(Logger::WARNING, tr("On-Demand flash is only available for blankphone or fastboot DnX flash files"));
        do_update_ui();
        return false;
    }
    m_flashManager->setFlashManagerMode(FlashManager::FM_MODE_ON_DEMAND, configuration);
    // Several boards flash at once: the downloader runs through its library's multi-device interface.
    FMConst::USE_DRAVIK_SOLO = false;
    FMConst::USE_DRAVIK_EXTERNAL = false;
    ui->useOnDemandMode->setEnabled(false);
    logMessage(Logger::INFO,
               tr("On-Demand flash for blankphone or fastboot DnX is activated \n") + tr("\t Plug devices in DnX mode:\n")
                   + tr("\t  -> For blankphone press and hold 2 seconds the camera button (or the Volume+ button), "
                        "connect the device and release the button\n")
                   + tr("\t  -> For fastboot DnX press and hold the Volume+ AND Volume- buttons, connect the device "
                        "and release the buttons when flash is started"));
    do_update_ui();
    return true;
}

void MainWindow::stopFlashingOnDemand()
{
    if (!m_flashManager)
        return;
    // The manager keeps the last on-demand configuration it was given.
    m_flashManager->setFlashManagerMode(FlashManager::FM_MODE_NORMAL, FlashConfigurationPtr());
    FMConst::USE_DRAVIK_SOLO = true;
    FMConst::USE_DRAVIK_EXTERNAL = true;
    logMessage(Logger::INFO, tr("On-Demand flash mode for blankphone is stopped"));
    do_update_ui();
}

void MainWindow::startFlashingMain()
{
    if (!m_currentTab || !m_flashManager)
        return;
    StartStopPushButton* mainButton = ui->startFlashingMain;
    if (mainButton->isStarted()) {
        do_update_ui();
        return;
    }
    // "Stop" shows before the work begins.
    mainButton->setStarted(true);
    QCoreApplication::processEvents();
    repaint();

    const FlashConfigurationPtr configuration = m_currentTab->getCurrentFlashFile();
    if (!configuration) {
        do_update_ui();
        return;
    }
    int deviceCount = 0;
    if (m_deviceManager) {
        m_deviceManager->rescan();
        deviceCount = m_deviceManager->getDevicesCount();
    }
    const DeviceState startState = configuration->getStartState();
    QCheckBox* onDemandBox = ui->useOnDemandMode;
    const bool onDemandChosen = onDemandBox->isChecked() && onDemandBox->isEnabled();
    if (onDemandChosen && isOnDemandStartState(startState))
        startFlashingOnDemand();
    else if (startState == DeviceState::DnxFirmware)
        startBlankphone(configuration, deviceCount);
    else if (deviceCount < 2 || confirmFlashAllDevices())
        startEveryShownDevice(configuration);
    do_update_ui();
}

void MainWindow::startBlankphone(const FlashConfigurationPtr& configuration, int deviceCount)
{
    m_flashManager->setFlashManagerMode(FlashManager::FM_MODE_NORMAL, FlashConfigurationPtr());
    ui->startFlashingMain->setStarted(true);
    if (deviceCount == 1)
        startFirstIdleDevice(configuration);
    else
        startVirtualDevice(configuration);
}

void MainWindow::startFirstIdleDevice(const FlashConfigurationPtr& configuration)
{
    for (QPhoneWidget* view : qAsConst(m_phoneWidgets)) {
        const FlashDevice2Ptr device = view->getDevice();
        if (view->isHidden() || !device || !device->isConnected())
            continue;
        if (!device->isFlashing()) {
            startFlash(device, configuration);
            return;
        }
        logMessage(Logger::DEBUG, tr("One device is already being flashed"));
    }
}

void MainWindow::startVirtualDevice(const FlashConfigurationPtr& configuration)
{
    if (!m_deviceManager)
        return;
    const DevicePtr created = m_deviceManager->createVirtualDevice();
    const FlashDevice2Ptr device = created.dynamicCast<FlashDevice2>();
    if (!device) {
        logMessage(Logger::ERROR, tr("Fail to create virtual device"));
        m_deviceManager->unregisterVirtualDevice(created);
        return;
    }
    // No view shows a virtual device: the manager's refusals and its flash reach the log only.
    m_flashManager->startDeviceFlash(device, configuration, false);
}

void MainWindow::startEveryShownDevice(const FlashConfigurationPtr& configuration)
{
    for (QPhoneWidget* view : qAsConst(m_phoneWidgets)) {
        if (!view->isHidden())
            startFlash(view->getDevice(), configuration);
    }
}

bool MainWindow::confirmFlashAllDevices()
{
    QMessageBox box;
    box.setWindowTitle(QCoreApplication::applicationName());
    box.setText(tr("Are you sure to flash all devices ?"));
    box.setIcon(QMessageBox::Question);
    QPushButton* yes = box.addButton(tr("Yes"), QMessageBox::ActionRole);
    box.addButton(tr("No"), QMessageBox::ActionRole);
    box.exec();
    return box.clickedButton() == yes;
}

void MainWindow::startFlash(const FlashDevice2Ptr& device, const FlashConfigurationPtr& configuration)
{
    if (!configuration || !device || !device->isConnected()) {
        ui->startFlashingMain->setStarted(false);
        do_update_ui();
        return;
    }
    if (device->isFlashing()) {
        logMessage(Logger::DEBUG, tr("The device is already being flashed"));
        do_update_ui();
        return;
    }
    // The window never writes the device's flash state: the manager claims the device when the
    // request arrives, and a second request for it is refused there.
    QPhoneWidget* view = viewOf(device);
    if (view)
        view->setStartRequested(true);
    do_update_ui();
    emit start_flash(device, configuration);
    followStartRequest(view, device, configuration);
}

void MainWindow::followStartRequest(QPhoneWidget* waitingView, const FlashDevice2Ptr& device,
                                    const FlashConfigurationPtr& configuration)
{
    if (!m_flashManager) {
        if (waitingView)
            waitingView->setStartRequested(false);   // nobody takes the request
        return;
    }
    const QPointer<QPhoneWidget> view(waitingView);
    // Queued behind start_flash, so it runs once the manager has handled the request and sent
    // what it decided (flashStarted, or nothing when it refused); the view then follows the device
    // again. The configuration holds its flash file weakly: until the runner holds it, this does
    // (a closed flash dialog or another file loaded in the tab would free it meanwhile).
    const QSharedPointer<FlashFileContext> flashFile = configuration->getFlashFileContext();
    QMetaObject::invokeMethod(
        m_flashManager,
        [view, device, flashFile] {
            QMetaObject::invokeMethod(
                qApp,
                [view, device] {
                    if (view && view->getDevice() == device)
                        view->setStartRequested(false);
                },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

QPhoneWidget* MainWindow::viewOf(const FlashDevice2Ptr& device) const
{
    for (QPhoneWidget* view : m_phoneWidgets) {
        if (view->getDevice() == device)
            return view;
    }
    return nullptr;
}

void MainWindow::stopFlashingMain()
{
    if (!m_flashManager)
        return;
    // A press while flashes run only cancels them (on-demand mode stays): each end refreshes the
    // controls. Asked before the stop too, as a cancelled flash may end before the question.
    const bool wasFlashing = m_flashManager->isDeviceFlashing();
    m_flashManager->stopFlash();
    if (wasFlashing || m_flashManager->isDeviceFlashing())
        return;
    if (m_deviceManager)
        m_deviceManager->unregisterVirtualDevices();
    ui->notifierWidget->hideWidget();
    ui->startFlashingMain->setStarted(false);
    if (m_flashManager->getFlashManagerMode() == FlashManager::FM_MODE_ON_DEMAND) {
        ui->useOnDemandMode->setChecked(false);
        ui->useOnDemandMode->setEnabled(true);
        stopFlashingOnDemand();
    }
    do_update_ui();
}

void MainWindow::updateLogLevel(int level)
{
    MessageHandler::instance()->setLogLevel(LOGLEVEL(level));
    ToolConst::setDefaultLogLevel(level);
}

void MainWindow::checkForUpdateInBackground()
{
}

void MainWindow::on_pushButton_editLogClear_clicked()
{
    ui->textEditLog->clear();
    m_tableLog.clear();
}

void MainWindow::on_pushButton_editLogSave_clicked()
{
    const QString path = QFileDialog::getSaveFileName(this, tr("Set log file"), QStringLiteral("."),
                                                      tr("Log (*.log);;All (*)"));
    if (!path.isEmpty())
        m_tableLog.save(path);
}

void MainWindow::on_pushButton_clearDisconnectedDevices_clicked()
{
    // Views stay in the list: a hidden one serves the next device found.
    for (QPhoneWidget* view : qAsConst(m_phoneWidgets)) {
        const FlashDevice2Ptr device = view->getDevice();
        view->clearFlashStatus();
        if (device && (device->isConnected() || device->isBusy()))
            continue;
        view->setVisible(false);
        view->setDevice(FlashDevice2Ptr());
    }
}

void MainWindow::onDeviceFound(const DevicePtr& device)
{
    if (DeviceViewBinding::bindDevice(m_phoneWidgets, device) == DeviceViewBinding::Outcome::Bound)
        do_update_ui();
}

void MainWindow::prepareAndStartFlash(const FlashDevice2Ptr& device, const QString& flashFilePath)
{
    if (flashFilePath.isEmpty()) {
        if (m_currentTab)
            startFlash(device, m_currentTab->getCurrentFlashFile());
        return;
    }
    FlashBasicDialog dialog(this, device, flashFilePath);
    // The dialog's load, queued by its constructor, and then this run once exec() shows it modal.
    // (Shown and loaded before exec(), a click during the load would end the dialog before exec()
    // and leave exec() waiting on a dialog nobody can end.)
    QMetaObject::invokeMethod(&dialog, &QWidget::adjustSize, Qt::QueuedConnection);
    // Rejected: the next refresh puts the main button back. Accepted: the request is made while
    // the dialog, the only holder of its flash file, still lives; the request holds it from there.
    if (dialog.exec() == QDialog::Accepted)
        startFlash(device, dialog.getCurrentFlashFile());
}

void MainWindow::setflashStartedInUI()
{
    ui->startFlashingMain->setStarted(true);
}

void MainWindow::do_update_ui()
{
    StartStopPushButton* mainButton = ui->startFlashingMain;
    if (!m_currentTab || !m_flashManager) {
        ui->labelFlashFileLoaded->clear();
        mainButton->setEnabled(false);
        mainButton->setStarted(false);
        for (QPhoneWidget* view : qAsConst(m_phoneWidgets))
            view->setFlashButtonEnabled(false);
        return;
    }
    const FlashConfigurationPtr configuration = m_currentTab->getCurrentFlashFile();
    const bool onDemand = m_flashManager->getFlashManagerMode() == FlashManager::FM_MODE_ON_DEMAND;
    // In on-demand mode the label keeps naming the file the mode was started with.
    if (!onDemand)
        ui->labelFlashFileLoaded->setText(configuration ? m_currentTab->getCurrentFlashFileId() : QString());

    bool flashingSeen = false;
    bool blankphoneRunning = false;
    for (QPhoneWidget* view : qAsConst(m_phoneWidgets)) {
        const FlashDevice2Ptr device = view->getDevice();
        if (!device || !device->isFlashing())
            continue;
        flashingSeen = true;
        const SharedPointer<FlashRunner> runner = device->getFlashFile();
        const FlashConfigurationPtr running = runner ? runner->getConfiguration() : FlashConfigurationPtr();
        if (running && running->getStartState() == DeviceState::DnxFirmware)
            blankphoneRunning = true;
    }
    // A virtual device flashes without a view.
    if (!flashingSeen)
        flashingSeen = blankphoneRunning = m_flashManager->isDeviceFlashing();

    const DeviceState startState = configuration ? configuration->getStartState() : DeviceState::Unknown;
    // Two blankphone flashes never run at once: the boards share one downloader.
    const bool viewsEnabled = configuration && !onDemand
                              && !(startState == DeviceState::DnxFirmware && blankphoneRunning);
    for (QPhoneWidget* view : qAsConst(m_phoneWidgets))
        view->setFlashButtonEnabled(viewsEnabled);   // also refreshes the view

    QCheckBox* onDemandBox = ui->useOnDemandMode;
    if (!configuration) {
        onDemandBox->setEnabled(false);
        onDemandBox->setChecked(false);
    } else {
        onDemandBox->setEnabled(isOnDemandStartState(startState) && !flashingSeen && !onDemand);
    }

    if (onDemand || flashingSeen) {
        mainButton->setEnabled(true);
        mainButton->setStarted(true);
    } else {
        mainButton->setStarted(false);
        mainButton->setEnabled(!configuration.isNull());
    }
}

void MainWindow::switchToFlashBasic()
{
    onTabSwitch(flashTab(), ui->toolButtonFlasher);
}

void MainWindow::handleSystemTrayNotification(Logger::LogLevel level, const QString& title, const QString& message)
{
    if (!ToolConst::DISPLAY_SYSTRAY_NOTIFICATION)
        return;
    logMessage(Logger::TRACE, QStringLiteral("Sending system tray notification: \"%1\"").arg(message));
    if (!QMetaObject::invokeMethod(m_systemTrayNotifier, "postNotification", Qt::QueuedConnection,
                                   Q_ARG(QString, title), Q_ARG(QString, message),
                                   Q_ARG(QSystemTrayIcon::MessageIcon, messageIconOf(level))))
        logMessage(Logger::ERROR, QStringLiteral("Cannot post the system tray notification"));
}

void MainWindow::triggerBreakpoint()
{
}

void MainWindow::onTabSwitch(FlashTab* tab, QToolButton* button)
{
    m_currentTab = tab;
    for (FlashTab* each : qAsConst(m_tabs)) {
        if (QWidget* widget = each->getWidget())
            widget->setVisible(each == tab);
    }
    ui->widgetFlasher->setVisible(tab->needDeviceArea());
    setButtonChecked(button == ui->toolButtonFlasher, ui->toolButtonFlasher);
    tab->getWidget()->setFocus(Qt::OtherFocusReason);
    // Queued device and flash updates run between the switch and the tab's entry.
    QCoreApplication::processEvents();
    MessageHandler::instance()->scrollTextEditsToBottom();
    m_currentTab->onEnter();
}

void MainWindow::setButtonChecked(bool checked, QToolButton* button)
{
    const QString style = checked ? kCheckedToolButtonStyle : kTransparentButtonStyle;
    button->setStyleSheet(style.arg(applicationFontSize("FONT_SIZE_TOOL_BUTTON")));
}

FlashTab* MainWindow::flashTab() const
{
    return ui->widgetFlashBasic;
}
