#include "ui/QPhoneWidget.h"

#include "engine/FlashLogger.h"
#include "engine/FlashRunner.h"
#include "loader/FileManager2.h"
#include "loader/ToolConst.h"
#include "platform/device/AndroidDevicePropertyManager.h"
#include "ui/options/DialogBackup.h"
#include "ui/options/DialogRestore.h"
#include "ui_QPhoneWidget.h"

#include <QCoreApplication>
#include <QCursor>
#include <QDate>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMenu>
#include <QMimeData>
#include <QUrl>

namespace {

const int kRefreshIntervalMs = 2000;
const QString kDisconnectedPort = QStringLiteral("<h4><font color=orange><i>Disconnected</i></font></h4>");
const QString kUnknownBatteryIcon = QStringLiteral(":/icons/icons/battery_horizontal_unknown.png");
const char* const kAndroidProperties[] = {"gsm.version.baseband", "persist.radio.device.imei",
                                          "ro.build.date", "ro.build.version.incremental",
                                          "ro.build.fingerprint"};

// The first dropped file when it is a flash file or an archive; empty otherwise.
QString droppedFlashFile(const QMimeData* data)
{
    const QList<QUrl> urls = data ? data->urls() : QList<QUrl>();
    const QString path = urls.isEmpty() ? QString() : urls.first().toLocalFile();
    const FileManager2::FileType type = FileManager2::getFileType(path);
    return type == FileManager2::ArchiveFile || type == FileManager2::FlashFile ? path : QString();
}

QString batteryIconOf(int level)
{
    const char* name = level < 15   ? "0percent2"
                       : level < 25 ? "10percent"
                       : level < 40 ? "20percent"
                       : level < 60 ? "40percent"
                       : level < 80 ? "60percent"
                       : level < 95 ? "80percent"
                                    : "100percent";
    return QStringLiteral(":/icons/icons/battery_horizontal_%1.png").arg(QLatin1String(name));
}

} // namespace

QPhoneWidget::QPhoneWidget(QWidget* parent, const FlashDevice2Ptr& device)
    : QWidget(parent)
    , m_ui(new Ui_QPhoneWidget)
    , m_device(device)
{
    if (device)
        getLogHandler()->setPrefix(QStringLiteral("Port ") + device->getPort().toString());
    m_ui->setupUi(this);
    m_ui->configuratorButton->hide();
    m_statusRow = std::make_unique<FlashStatusRow>(m_ui->scriptId, m_ui->progressBar, m_ui->status);
    setAcceptDrops(true);
    m_ui->scriptId->setPixmap(QPixmap(QStringLiteral(":/icons/icons/unknown_file.png")));

    StartStopPushButton* button = m_ui->pushButton_startStop;
    button->init(QStringLiteral("Stop"));
    connect(button, &StartStopPushButton::startClicked, this, &QPhoneWidget::do_start_flash);
    connect(button, &StartStopPushButton::stopClicked, this, &QPhoneWidget::do_stop_flash);
    button->setStyleSheet(button->styleSheet() + ToolConst::StylePushButtonZorvikBlue);
    // Start-up sets the size; without it the form's fonts stay.
    const int fontPixels = qApp->property("FONT_SIZE_DEVICE_WIDGET").toInt();
    if (fontPixels > 0)
        m_ui->widgetMainInfos->setStyleSheet(
            QStringLiteral("font : %1px \"%2\";").arg(QString::number(fontPixels), QFont().family()));

    // The timer runs also while the view is hidden or unbound; each tick then returns at once.
    // A tick shows what the reader's last refresh read and has it read again for the next one.
    m_refreshTimer.start(kRefreshIntervalMs);
    connect(&m_refreshTimer, &QTimer::timeout, this, &QPhoneWidget::requestPropertyRefresh);
    connect(&m_refreshTimer, &QTimer::timeout, this, &QPhoneWidget::updateBatt);
    connect(&m_refreshTimer, &QTimer::timeout, this, &QPhoneWidget::updateProperties);
    m_ui->icon->setPixmap(QPixmap(QStringLiteral(":/icons/icons/phone_disconnected.png")));
    clearFlashStatus(!device || !device->isFlashing());
    update();
}

QPhoneWidget::~QPhoneWidget() = default;

bool QPhoneWidget::isDisconnected() const
{
    return !m_device || !m_device->isConnected();
}

void QPhoneWidget::setDeviceVisible(bool visible)
{
    m_ui->widget_device->setVisible(visible);
}

void QPhoneWidget::setDisconnected(bool disconnected)
{
    m_ui->port->setText(kDisconnectedPort);
    m_ui->statusDevice->setText(QStringLiteral("--"));
    showUnknownBattery();
    m_ui->pushButton_startStop->setEnabled(false);
    m_ui->icon->setPixmap(QPixmap(disconnected ? QStringLiteral(":/icons/icons/phone_disconnected.png")
                                               : QStringLiteral(":/icons/icons/phone_connected.png")));
}

void QPhoneWidget::update()
{
    QWidget::update();
    if (m_device) {
        if (!m_device->isConnected() && !m_device->isFlashing()) {
            setDisconnected(true);
            return;
        }
        const QString socSerial = m_device->getSocSerial();
        const QString platformSerial = m_device->getPlatformSerial();
        if (!socSerial.isEmpty())
            m_socSerial = socSerial;
        if (!platformSerial.isEmpty())
            m_platformSerial = platformSerial;
        m_port = m_device->getPort();
        showConnected(m_port);
    }
    updateIconAndserial();
    updateStartStopButton();
    updateSpid();
    updateBatt();
    updateToolTip();
}

void QPhoneWidget::setDevice(const FlashDevice2Ptr& device)
{
    disconnectDevice();
    m_device = device;
    m_startRequested = false;
    if (!m_device) {
        getLogHandler()->setPrefix(QString());
        updateProperties();
        update();
        return;
    }
    getLogHandler()->setPrefix(QStringLiteral("Port ") + m_device->getPort().toString());
    m_socSerial.clear();
    m_platformSerial.clear();
    connect(m_device.data(), &Device::dataChanged, this, &QPhoneWidget::update, Qt::QueuedConnection);
    connect(m_device.data(), &Device::deviceLost, this, &QPhoneWidget::update, Qt::QueuedConnection);
    // A new state may change every answer (adb or fastboot, or neither).
    connect(m_device.data(), &Device::dataChanged, this, &QPhoneWidget::requestPropertyRefresh,
            Qt::QueuedConnection);
    if (!isVisible())
        clearFlashStatus(true);
    updateProperties();
    update();
    // Asked once the labels show what is known now: the answers arrive with the next tick.
    requestPropertyRefresh();
    if (m_device->isFlashing())
        onFlashStarted(m_device);
    show();
}

void QPhoneWidget::setFlashButtonEnabled(bool enabled)
{
    m_flashButtonEnabled = enabled;
    update();
}

void QPhoneWidget::setStartRequested(bool requested)
{
    m_startRequested = requested;
    update();
}

void QPhoneWidget::clearFlashStatus()
{
    clearFlashStatus(!m_device || !m_device->isFlashing());
}

void QPhoneWidget::clearFlashStatus(bool clear)
{
    if (!clear)
        return;
    m_statusRow->clear();
    update();
}

void QPhoneWidget::deviceLost(const DevicePtr& device)
{
    if (!m_device || m_device.data() != device.data() || m_device->isBusy())
        return;
    disconnectDevice();
    m_device.reset();
    setDisconnected(true);
}

std::unique_ptr<QMenu> QPhoneWidget::createContextMenu() const
{
    auto menu = std::make_unique<QMenu>();
    QAction* backup = menu->addAction(tr("Backup"), this, &QPhoneWidget::backupDevice);
    QAction* restore = menu->addAction(tr("Restore"), this, &QPhoneWidget::restoreDevice);
    const bool possible = isBackupPossible();
    backup->setEnabled(possible);
    restore->setEnabled(possible);
    return menu;
}

void QPhoneWidget::showContextMenu()
{
    createContextMenu()->exec(QCursor::pos());
}

void QPhoneWidget::backupDevice()
{
    if (!isInMainOs("The device must be in MOS to backup it"))
        return;
    if (!m_backupDialog) {
        m_backupDialog = std::make_unique<DialogBackup>();
        bindLogHandlers(*m_backupDialog);
    }
    // The serial names files: nothing of it may leave the documents folder.
    const QString serial = FlashLogger::sanitizeForFileName(m_device->getPlatformSerial());
    const QString date = QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy"));
    const QString folder = AdbDeviceDialog::documentsFolder() + QDir::separator();
    m_backupDialog->setBackupFile(folder + QStringLiteral("backup_%1_%2.ab").arg(serial, date));
    m_backupDialog->setFactoryBackupDir(folder + QStringLiteral("factory_%1_%2").arg(serial, date));
    m_backupDialog->setDevice(m_device);
    m_backupDialog->exec();
}

void QPhoneWidget::restoreDevice()
{
    if (!isInMainOs("The device must be in MOS to restore it"))
        return;
    if (!m_restoreDialog) {
        m_restoreDialog = std::make_unique<DialogRestore>();
        bindLogHandlers(*m_restoreDialog);
    }
    m_restoreDialog->setDevice(m_device);
    m_restoreDialog->exec();
}

void QPhoneWidget::onFlashStarted(const FlashDevice2Ptr& device)
{
    if (!isOwnDevice(device))
        return;
    m_startRequested = false;
    m_statusRow->showStart();
    const SharedPointer<FlashRunner> runner = device->getFlashFile();
    if (runner) {
        m_statusRow->showRunner(runner);
        uint64_t done = 0;
        uint64_t total = 0;
        runner->getProgress(done, total);
        onFlashProgressed(device, done, total);
    }
    showConnected(device->getPort());
    update();
}

void QPhoneWidget::onFlashProgressed(const FlashDevice2Ptr& device, uint64_t done, uint64_t total)
{
    if (!isOwnDevice(device))
        return;
    m_statusRow->showRunner(device->getFlashFile());
    m_statusRow->showProgress(done, total);
    update();
}

void QPhoneWidget::onFlashFinished(const FlashDevice2Ptr& device, FlashTypes::FlashStatus status,
                                   FlashTypes::CommandType)
{
    if (isOwnDevice(device)) {
        m_startRequested = false;
        m_statusRow->showFinish(status);
    }
    update();   // also for another device: the window's controls follow every finish
}

void QPhoneWidget::onFlashInfo(const FlashDevice2Ptr& device, const QString& text)
{
    if (!isOwnDevice(device))
        return;
    m_statusRow->showInfo(text);
    update();
}

void QPhoneWidget::dragEnterEvent(QDragEnterEvent* event)
{
    if (droppedFlashFile(event->mimeData()).isEmpty())
        return;
    event->setDropAction(Qt::CopyAction);
    event->acceptProposedAction();
}

void QPhoneWidget::dropEvent(QDropEvent* event)
{
    if (isDisconnected()) {
        logMessage(Logger::Info, "Device is not connected");
        return;
    }
    if (m_device->isBusy()) {
        logMessage(Logger::Info, "Device is busy");
        return;
    }
    const QString path = droppedFlashFile(event->mimeData());
    if (!path.isEmpty())
        emit start_flash(m_device, path);
}

void QPhoneWidget::do_start_flash()
{
    emit start_flash(m_device, QString());
    m_ui->pushButton_startStop->flipStatus();   // "Stop" at once; the next refresh follows the device
}

void QPhoneWidget::do_stop_flash()
{
    emit stop_flash(m_device);
}

void QPhoneWidget::updateIconAndserial()
{
    if (!m_device) {
        setDisconnected(true);
        return;
    }
    const QString platformSerial = m_device->getPlatformSerial();
    QString socSerial = m_device->getSocSerial();
    m_ui->serialAndroid->setText(platformSerial.isEmpty() ? QStringLiteral("--") : platformSerial);
    // A single "&" would mark a mnemonic.
    m_ui->serialSOC->setText(socSerial.isEmpty() ? QStringLiteral("--")
                                                 : socSerial.replace(QLatin1Char('&'), QStringLiteral("&&")));
    m_ui->statusDevice->setText(m_device->isConnected()
                                    ? FlashTypes::getStateName(m_device->getState()).toUpper()
                                    : QStringLiteral("--"));
}

void QPhoneWidget::updateBatt()
{
    AndroidDevicePropertyManager* reader = ToolConst::TOOL_BEHAVIOR != 0 ? findPropertyManager() : nullptr;
    const int level = reader ? reader->getBatteryLevel() : AndroidDevicePropertyManager::UnknownBatteryLevel;
    if (level > 100) {
        showUnknownBattery();
        return;
    }
    setBattIcon(level);
    m_ui->batt_text->setText(QString::number(level) + QLatin1Char('%'));
}

void QPhoneWidget::updateStartStopButton()
{
    StartStopPushButton* button = m_ui->pushButton_startStop;
    FlashDevice2::FlashState state = m_device ? m_device->getFlashState() : FlashDevice2::FlashState::Idle;
    if (m_startRequested && state == FlashDevice2::FlashState::Idle)
        state = FlashDevice2::FlashState::Pending;
    button->setStarted(m_device && state != FlashDevice2::FlashState::Idle);
    if (!m_device) {
        button->setEnabled(false);
        return;
    }
    switch (state) {
    case FlashDevice2::FlashState::Idle:
        button->setEnabled(m_flashButtonEnabled);
        break;
    case FlashDevice2::FlashState::Pending:
        button->setEnabled(false);
        button->setText(tr("Please wait..."));
        break;
    case FlashDevice2::FlashState::Flashing:
        button->setEnabled(true);
        break;
    }
}

void QPhoneWidget::updateSpid()
{
    const AndroidDevicePropertyManager* reader = findPropertyManager();
    if (!reader)
        return;
    const QString vendor = reader->getVendorName();
    const QString product = reader->getProductName();
    m_spidInfo = QStringLiteral("Vendor: %1\nProduct: %2").arg(vendor, product);
    m_ui->platform_label->setText(vendor);
    m_ui->hwDevice->setText(product);
}

void QPhoneWidget::updateProperties()
{
    if (!m_device) {
        m_properties.clear();
        return;
    }
    if (m_device->isBusy())
        return;
    m_properties.clear();
    const AndroidDevicePropertyManager* reader = ToolConst::TOOL_BEHAVIOR != 0 ? findPropertyManager() : nullptr;
    if (!reader)
        return;
    for (const char* key : kAndroidProperties) {
        const QString value = reader->getProperty(QLatin1String(key));
        if (!value.isNull())
            m_properties += QStringLiteral("\n%1: %2").arg(QLatin1String(key), value.trimmed());
    }
}

void QPhoneWidget::requestPropertyRefresh()
{
    if (AndroidDevicePropertyManager* reader = findPropertyManager())
        reader->requestRefresh();
}

void QPhoneWidget::setBattIcon(int level)
{
    m_ui->label_icon_bat->setPixmap(QPixmap(batteryIconOf(level)));
}

void QPhoneWidget::showUnknownBattery()
{
    m_ui->label_icon_bat->setPixmap(QPixmap(kUnknownBatteryIcon));
    m_ui->batt_text->setText(QStringLiteral("-- %"));
}

void QPhoneWidget::showConnected(const PortNumber& port)
{
    m_ui->port->setText(QStringLiteral("<h4><font color=green>Connected on port %1</font></h4>").arg(port.toString()));
    m_ui->icon->setPixmap(QPixmap(QStringLiteral(":/icons/icons/phone_connected.png")));
}

void QPhoneWidget::updateToolTip()
{
    QString platform = QStringLiteral("Unknown");
    if (m_device) {
        const auto& names = FlashTypes::getPlatformNameMap();
        const auto found = names.find(m_device->getPlatform());
        if (found != names.end())
            platform = found->second;
    }
    QString toolTip = QStringLiteral("Platform: ") + platform;
    if (!m_spidInfo.isEmpty())
        toolTip += QLatin1Char('\n') + m_spidInfo;
    if (!m_properties.isEmpty())
        toolTip += QLatin1Char('\n') + m_properties;   // begins with its own line break
    m_ui->widgetMainInfos->setToolTip(toolTip);
}

bool QPhoneWidget::isOwnDevice(const FlashDevice2Ptr& device) const
{
    return device && device.data() == m_device.data();
}

void QPhoneWidget::disconnectDevice()
{
    if (m_device)
        disconnect(m_device.data(), nullptr, this, nullptr);
}

AndroidDevicePropertyManager* QPhoneWidget::findPropertyManager() const
{
    if (!m_device)
        return nullptr;
    QReadLocker locker(&m_device->getLock());
    for (DevicePropertyManager* manager : m_device->getPropertyManagersLocked()) {
        if (auto* android = dynamic_cast<AndroidDevicePropertyManager*>(manager))
            return android;
    }
    return nullptr;
}

bool QPhoneWidget::isBackupPossible() const
{
    if (!m_device || m_device->isBusy() || !m_device->isConnected())
        return false;
    const DeviceState state = m_device->getState();
    return state == DeviceState::MainOs || state == DeviceState::ProvisioningOs;
}

bool QPhoneWidget::isInMainOs(const char* refusal) const
{
    if (m_device && m_device->getState() == DeviceState::MainOs)
        return true;
    logMessage(Logger::Warning, refusal);
    return false;
}
