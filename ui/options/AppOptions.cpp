#include "ui/options/AppOptions.h"

#include "core/FMConst.h"
#include "core/UsbPortMap.h"
#include "engine/FlashManager.h"
#include "loader/ExternalToolManager.h"
#include "loader/FileManager2.h"
#include "loader/ToolConst.h"
#include "ui/FileBrowserDelegate.h"
#include "ui_AppOptions.h"

#include <QDebug>
#include <QDir>
#include <QDomDocument>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QMessageBox>
#include <QSettings>
#include <QSet>
#include <QStandardItemModel>
#include <QStyleOptionViewItem>
#include <QThread>

namespace {

const QString kScanOnPlugTip = QStringLiteral("Only available on Windows plateform");
const QString kGpFlagMask = QStringLiteral("\\0\\xHHHHHHHH;_");
const QString kVendorIdMask = QStringLiteral("\\0\\xHHHH;_");

// The three built-in program tools: their rows stay, and an empty path means their default.
const QStringList& builtInTools()
{
    static const QStringList ids{FMConst::FASTBOOT_TOOL_ID, FMConst::ADB_TOOL_ID, FMConst::DFU_TOOL_ID};
    return ids;
}

QString defaultPathOf(const QString& id)
{
    if (id == FMConst::ADB_TOOL_ID)
        return FMConst::defaultAdbCmd();
    if (id == FMConst::FASTBOOT_TOOL_ID)
        return FMConst::defaultFastbootCmd();
    return FMConst::defaultDfuDownloaderCmd();
}

QList<QStandardItem*> toolRow(const QString& id, const QString& path)
{
    auto* idItem = new QStandardItem(id);
    if (builtInTools().contains(id))
        idItem->setEditable(false);
    return {idItem, new QStandardItem(path)};
}

// A masked hex field reads "0x" when nothing was typed: no digit means empty.
QString hexOr(const QString& text, const QString& fallback)
{
    return text.mid(2).remove(QLatin1Char('_')).isEmpty() ? fallback : text;
}

QString slashes(const QString& path)
{
    return QDir::fromNativeSeparators(path);
}

// Why `folder` must not be emptied; empty when it may. The empty text would be the working
// folder; the root, the home folder and the folders above it hold everything; a link's target is
// not the folder the field names.
QString refusalToEmpty(const QString& folder)
{
    if (folder.trimmed().isEmpty())
        return QStringLiteral("No folder is set");
    const QFileInfo info(QDir::cleanPath(folder)); // "link/" would name the target
    if (info.isSymLink())
        return QStringLiteral("%1 is a link").arg(folder);
    const QString path = QDir::cleanPath(info.absoluteFilePath());
    const QString home = QDir::cleanPath(QDir::homePath());
    if (path == QDir::rootPath() || path == home || (home + QLatin1Char('/')).startsWith(path + QLatin1Char('/')))
        return QStringLiteral("%1 holds the home folder").arg(path);
    return QString();
}

} // namespace

void setExternalToolStyle(QStyleOptionViewItem* option, const QModelIndex& index)
{
    const QModelIndex pathIndex = index.sibling(index.row(), 1);
    if (!pathIndex.isValid())
        return;
    const QString id = index.sibling(index.row(), 0).data().toString();
    const QString path = pathIndex.data().toString();
    if (path.isEmpty()) {
        option->font.setStrikeOut(true);
        return;
    }
    const QFileInfo program(path);
    if (!program.isFile() || !program.isExecutable()) { // a folder has its x bit too
        option->palette.setColor(QPalette::Text, Qt::red);
        option->font.setWeight(QFont::Bold);
        return;
    }
    if (ExternalToolManager::getInternalTools().contains(id) && !builtInTools().contains(id))
        option->palette.setColor(QPalette::Text, QColor(253, 184, 19));
}

AppOptions::AppOptions(FlashManager& manager, QWidget* parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui_AppOptions>())
    , m_flashManager(&manager)
{
    m_ui->setupUi(this);
    m_lastFolder = FMConst::perUserPath(QString());
    m_settings = std::make_unique<QSettings>(ToolConst::defaultOptionName, QSettings::IniFormat);

    QComboBox* pending = m_ui->comboBox_pendingEventResponse;
    pending->clear();
    pending->addItem(tr("Ask before flash"), 0);
    pending->addItem(tr("Always flash (Disable check)"), 1);
    pending->addItem(tr("Always cancel flash"), 2);

    m_tools = new QStandardItemModel(0, 2, this);
    m_tools->setHorizontalHeaderLabels({tr("Tool name"), tr("Executable path")});
    QTableView* table = m_ui->m_pkExternalToolsTable;
    table->setModel(m_tools);
    auto* delegate = new FileBrowserDelegate(table);
    delegate->setKeyColumn(0);
    delegate->setFileBrowserColumn(1);
    delegate->setStyleCallback(setExternalToolStyle);
    table->setItemDelegate(delegate);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    table->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);

    m_ui->lineEdit_fastbootVendorID->setInputMask(kVendorIdMask);
    m_ui->gpFlags->setInputMask(kGpFlagMask);

    loadAllOptions();

    const QList<QWidget*> hidden{m_ui->checkBox_alwaysUnzipArtifactory,
                                 m_ui->groupBox_configFile,
                                 m_ui->groupBox_cacheManagement,
                                 m_ui->widget_crashinfo,
                                 m_ui->flashLogResultGroup,
                                 m_ui->labelLogSeeDocumentation,
                                 m_ui->groupBox_usbmap,
                                 m_ui->groupBoxStatusServer,
                                 m_ui->checkBox_reloadEditorTabFlashFile,
                                 m_ui->groupBox_autoupdater,
                                 m_ui->widget_group_ethernet,
                                 m_ui->labelCacheDir,
                                 m_ui->changeCacheDir,
                                 m_ui->cacheDir,
                                 m_ui->deleteCacheDir,
                                 m_ui->labelCommandTemplate,
                                 m_ui->m_pkChangeCommandTemplateDir,
                                 m_ui->m_pkCommandTemplateDir};
    for (QWidget* widget : hidden)
        widget->hide();

    m_ui->widgetRemoveHistory->setToolTip(
        tr("Cache will be purged only if its size exceed %1 GB").arg(FMConst::MAX_CACHE_SIZE >> 30));
    m_ui->label_parallelDownloads->setText(m_ui->label_parallelDownloads->text().arg(QThread::idealThreadCount()));
    m_ui->checkBox_scanOnPlug->setToolTip(
        tr("The application uses the system's device events to trigger its scans of USB devices"));

    connect(m_ui->m_pkAddTool, &QToolButton::clicked, this, &AppOptions::onAddTool);
    connect(m_ui->m_pkRemoveTool, &QToolButton::clicked, this, &AppOptions::onRemoveTool);
    connect(m_ui->labelLogSeeDocumentation, &QLabel::linkActivated, this, &AppOptions::showDocumentation);
    connect(m_ui->m_pkChangeCommandTemplateDir, &QPushButton::clicked, this, &AppOptions::onChangeCommandTemplateDir);
    m_ui->labelStatusServerRestartOption->setText(
        QStringLiteral("<img src=\":/icons/icons/alert.png\" width=16 height=16 /> ")
        + tr("This option requires to restart the application"));
}

AppOptions::~AppOptions() = default;

QVariant AppOptions::loadValue(const QString& key, const QVariant& fallback)
{
    if (m_settings->contains(key))
        return m_settings->value(key);
    m_settings->setValue(key, fallback);
    return fallback;
}

void AppOptions::store(const QString& key, const QVariant& value)
{
    m_settings->setValue(key, value);
}

void AppOptions::loadSwitch(bool& value, bool fallback, QCheckBox* box, const QString& key)
{
    value = loadValue(key, fallback).toBool();
    box->setChecked(value);
}

void AppOptions::saveSwitch(bool& value, QCheckBox* box, const QString& key)
{
    value = box->isChecked();
    store(key, value);
}

void AppOptions::resetSwitch(bool& value, bool fallback, QCheckBox* box, const QString& key)
{
    value = fallback;
    box->setChecked(value);
    store(key, value);
}

void AppOptions::loadAllOptions()
{
    qDebug() << "loadAllOptions()" << ToolConst::defaultOptionName;
    m_settings->sync(); // what another handle wrote since
    ToolConst::Init();
    m_settings->sync();
    loadTools();

    m_ui->checkBox_forceSparsing->setChecked(FMConst::FORCE_FASTBOOT_SPARSING);
    m_ui->spinBox_sparsingSize->setValue(FMConst::FASTBOOT_SPARSING_SIZE);
    m_ui->checkBox_forceFastbootVendorID->setChecked(FMConst::FORCE_FASTBOOT_VENDOR_ID);
    m_ui->lineEdit_fastbootVendorID->setText(FMConst::FASTBOOT_VENDOR_ID);
    m_ui->spinBox_commandDelay->setValue(static_cast<int>(FMConst::COMMAND_DELAY));

    m_ui->cacheDir->setText(
        loadValue(ToolConst::KEY_CONFIGURATION_DIR, QDir(ToolConst::defaultConfigCacheDirName).absolutePath())
            .toString());
    m_ui->downloadDir->setText(
        loadValue(ToolConst::KEY_DOWNLOAD_DIR, QDir(ToolConst::defaultDownloadDirName).absolutePath()).toString());

    m_ui->checkBoxForceGPFlag->setChecked(loadValue(FMConst::KEY_FORCE_GPFLAG, false).toBool());
    const QString gpFlag = m_settings->value(FMConst::KEY_GPFLAG).toString();
    if (gpFlag.isEmpty())
        store(FMConst::KEY_GPFLAG, FMConst::USER_GP_FLAG);
    m_ui->gpFlags->setText(gpFlag.isEmpty() ? FMConst::USER_GP_FLAG : gpFlag);

    loadSwitch(FMConst::ALWAYS_UNZIP_FLAG, FMConst::DEFAULT_ALWAYS_UNZIP_FLAG, m_ui->checkBox_alwaysUnzip,
               FMConst::KEY_ALWAYS_UNZIP);
    loadSwitch(FMConst::ALWAYS_UNZIP_FLAG_ARTIFACTORY, FMConst::DEFAULT_ALWAYS_UNZIP_FLAG_ARTIFACTORY,
               m_ui->checkBox_alwaysUnzipArtifactory, FMConst::KEY_ALWAYS_UNZIP_ARTIFACTORY);

    ToolConst::TOOL_BEHAVIOR = loadValue(ToolConst::KEY_TOOL_BEHAVIOR, 1).toInt();
    m_ui->checkBox_pollDeviceInfoOnDetection->setChecked(ToolConst::TOOL_BEHAVIOR != 0);

    loadSwitch(FMConst::REMOVE_UNZIPPED_DIR_FLAG, FMConst::DEFAULT_REMOVE_UNZIPPED_DIR_FLAG,
               m_ui->checkBox_removeUnzippedDirs, FMConst::KEY_REMOVE_UNZIPPED_DIR);

    loadSwitch(FMConst::REMOVE_HISTORY_FLAG, FMConst::DEFAULT_REMOVE_HISTORY_FLAG, m_ui->checkBox_removeHistory,
               FMConst::KEY_REMOVE_HISTORY_FLAG);
    m_ui->checkBox_removeHistoryAsk->setEnabled(FMConst::REMOVE_HISTORY_FLAG);
    m_ui->spinBox_removeHistoryAge->setEnabled(FMConst::REMOVE_HISTORY_FLAG);
    loadSwitch(FMConst::REMOVE_HISTORY_ASK, FMConst::DEFAULT_REMOVE_HISTORY_ASK, m_ui->checkBox_removeHistoryAsk,
               FMConst::KEY_REMOVE_HISTORY_ASK);
    FMConst::REMOVE_HISTORY_AGE
        = loadValue(FMConst::KEY_REMOVE_HISTORY_AGE, FMConst::DEFAULT_REMOVE_HISTORY_AGE).toInt();
    m_ui->spinBox_removeHistoryAge->setValue(FMConst::REMOVE_HISTORY_AGE);

    loadSwitch(ToolConst::RELOAD_LOCAL_TAB_SETTINGS, ToolConst::DEFAULT_RELOAD_LOCAL_TAB_SETTINGS,
               m_ui->checkBox_reloadLocalTabFlashFile, ToolConst::KEY_RELOAD_LOCAL_TAB_SETTING);
    loadSwitch(ToolConst::RELOAD_EDITOR_TAB_SETTINGS, ToolConst::DEFAULT_RELOAD_EDITOR_TAB_SETTINGS,
               m_ui->checkBox_reloadEditorTabFlashFile, ToolConst::KEY_RELOAD_EDITOR_TAB_SETTING);
    loadSwitch(ToolConst::DISPLAY_SYSTRAY_NOTIFICATION, ToolConst::DEFAULT_DISPLAY_SYSTRAY_NOTIFICATION,
               m_ui->checkBox_displaySystrayNotification, ToolConst::KEY_DISPLAY_SYSTRAY_NOTIFICATION);
    loadSwitch(ToolConst::DISPLAY_DOCUMENTATION_POPUP, ToolConst::DEFAULT_DISPLAY_DOCUMENTATION_POPUP,
               m_ui->checkBox_displayDocumentationPopup, ToolConst::KEY_DISPLAY_DOCUMENTATION_POPUP);

    setScanOnPlugUnavailable();
    m_ui->lineEdit_usbmap->clear();
    m_ui->lineEdit_usbmap->setEnabled(false);
    m_ui->groupBox_usbmap->setChecked(false);
    m_ui->groupBox_usbmap->setEnabled(false);
    m_ui->groupBox_usbmap->setToolTip(kScanOnPlugTip);

    loadLogWidgets();
    m_ui->m_pkCommandTemplateDir->setText(ToolConst::getUserCommandTemplatesDirectory());
    m_settings->sync();
}

void AppOptions::loadTools()
{
    m_tools->removeRows(0, m_tools->rowCount());
    ExternalToolManager& tools = ExternalToolManager::instance();
    // Paths of a settings file older than the tools file.
    if (tools.getTool(FMConst::FASTBOOT_TOOL_ID).isEmpty())
        tools.setTool(FMConst::FASTBOOT_TOOL_ID,
                      m_settings->value(FMConst::KEY_FASTBOOT, FMConst::defaultFastbootCmd()).toString());
    if (tools.getTool(FMConst::ADB_TOOL_ID).isEmpty())
        tools.setTool(FMConst::ADB_TOOL_ID, m_settings->value(FMConst::KEY_ADB, FMConst::defaultAdbCmd()).toString());
    const QMap<QString, QString> all = tools.getTools();
    for (auto tool = all.begin(); tool != all.end(); ++tool)
        m_tools->appendRow(toolRow(tool.key(), tool.value()));
}

void AppOptions::loadLogWidgets()
{
    m_ui->flashLogResultGroup->setChecked(FMConst::flashLogResultEnabled_);
    m_ui->lineEditLogDirectory->setText(QDir::toNativeSeparators(FMConst::logDirectory_));
    m_ui->lineEditFlashLogResultPattern->setText(QDir::toNativeSeparators(FMConst::flashLogResultFileNamePattern_));
    m_ui->textEditFlashLogResultContent->setPlainText(FMConst::flashLogResultContent_);
    m_ui->checkBoxFlashLogResultAppend->setChecked(FMConst::flashLogResultAppend_);
    m_ui->applicationLogGroup->setChecked(FMConst::applicationLogEnabled_);
    m_ui->lineEditApplicationLogPattern->setText(QDir::toNativeSeparators(FMConst::applicationLogFileNamePattern_));
}

void AppOptions::setScanOnPlugUnavailable()
{
    m_ui->checkBox_scanOnPlug->setChecked(false);
    m_ui->checkBox_scanOnPlug->setEnabled(false);
    m_ui->checkBox_scanOnPlug->setToolTip(kScanOnPlugTip);
}

void AppOptions::saveFolder(QLineEdit* field, const QString& key, QString& inUse)
{
    const QDir folder(field->text());
    if (!folder.exists())
        folder.mkpath(QStringLiteral("."));
    inUse = folder.absolutePath();
    store(key, inUse);
}

void AppOptions::saveAllOptions()
{
    qDebug() << "saveAllOptions()" << ToolConst::defaultOptionName;
    saveFolder(m_ui->cacheDir, ToolConst::KEY_CONFIGURATION_DIR, ToolConst::onUsingConfigCacheDirName);
    saveFolder(m_ui->downloadDir, ToolConst::KEY_DOWNLOAD_DIR, ToolConst::onUsingDownloadDirName);
    saveTools();

    store(FMConst::KEY_FORCE_FASTBOOT_SPARSING, m_ui->checkBox_forceSparsing->isChecked());
    store(FMConst::KEY_FASTBOOT_SPARSING_SIZE, m_ui->spinBox_sparsingSize->value());
    store(FMConst::KEY_FORCE_FASTBOOT_VENDOR_ID, m_ui->checkBox_forceFastbootVendorID->isChecked());
    m_ui->lineEdit_fastbootVendorID->setText(
        hexOr(m_ui->lineEdit_fastbootVendorID->text(), FMConst::DEFAULT_FASTBOOT_VENDOR_ID));
    store(FMConst::KEY_FASTBOOT_VENDOR_ID, m_ui->lineEdit_fastbootVendorID->text());
    store(FMConst::KEY_COMMAND_DELAY, m_ui->spinBox_commandDelay->value());

    m_ui->gpFlags->setText(hexOr(m_ui->gpFlags->text(), FMConst::DEFAULT_GP_FLAG));
    FMConst::USER_GP_FLAG = m_ui->gpFlags->text();
    store(FMConst::KEY_FORCE_GPFLAG, m_ui->checkBoxForceGPFlag->isChecked());
    store(FMConst::KEY_GPFLAG, FMConst::USER_GP_FLAG);

    saveSwitch(FMConst::ALWAYS_UNZIP_FLAG, m_ui->checkBox_alwaysUnzip, FMConst::KEY_ALWAYS_UNZIP);
    ToolConst::TOOL_BEHAVIOR = m_ui->checkBox_pollDeviceInfoOnDetection->isChecked() ? 1 : 0;
    m_flashManager->setFlashManagerBehavior(static_cast<FMConst::FM_BEHAVIOR_ENUM>(ToolConst::TOOL_BEHAVIOR));
    store(ToolConst::KEY_TOOL_BEHAVIOR, ToolConst::TOOL_BEHAVIOR);
    saveSwitch(ToolConst::RELOAD_LOCAL_TAB_SETTINGS, m_ui->checkBox_reloadLocalTabFlashFile,
               ToolConst::KEY_RELOAD_LOCAL_TAB_SETTING);
    saveSwitch(ToolConst::RELOAD_EDITOR_TAB_SETTINGS, m_ui->checkBox_reloadEditorTabFlashFile,
               ToolConst::KEY_RELOAD_EDITOR_TAB_SETTING);
    saveSwitch(ToolConst::DISPLAY_SYSTRAY_NOTIFICATION, m_ui->checkBox_displaySystrayNotification,
               ToolConst::KEY_DISPLAY_SYSTRAY_NOTIFICATION);
    saveSwitch(ToolConst::DISPLAY_DOCUMENTATION_POPUP, m_ui->checkBox_displayDocumentationPopup,
               ToolConst::KEY_DISPLAY_DOCUMENTATION_POPUP);
    saveSwitch(FMConst::REMOVE_UNZIPPED_DIR_FLAG, m_ui->checkBox_removeUnzippedDirs, FMConst::KEY_REMOVE_UNZIPPED_DIR);

    FMConst::USB_MAP_ENABLED = m_ui->groupBox_usbmap->isChecked();
    FMConst::USB_MAP_FILE = m_ui->lineEdit_usbmap->text();
    store(FMConst::KEY_USB_MAP_ENABLED, FMConst::USB_MAP_ENABLED);
    store(FMConst::KEY_USB_MAP_FILE, FMConst::USB_MAP_FILE);
    if (UsbPortMap::exists()) {
        // A map that cannot be read is off for this run; the stored option stays on.
        if (FMConst::USB_MAP_ENABLED) {
            if (!UsbPortMap::instance()->loadConfigFile(FMConst::USB_MAP_FILE))
                FMConst::USB_MAP_ENABLED = false;
        } else {
            UsbPortMap::instance()->clear();
        }
    }

    const QString logFolder = slashes(m_ui->lineEditLogDirectory->text());
    const QString applicationPattern = slashes(m_ui->lineEditApplicationLogPattern->text());
    if (m_ui->applicationLogGroup->isChecked() != FMConst::applicationLogEnabled_ || logFolder != FMConst::logDirectory_
        || applicationPattern != FMConst::applicationLogFileNamePattern_) {
        const QString notice = tr("Changes on application logs settings will take effect on next launch.");
        logMessage(Logger::Warning, notice);
        QMessageBox box(QMessageBox::Information, QCoreApplication::applicationName(), notice, QMessageBox::Ok);
        box.exec();
    }
    m_settings->sync(); // ToolConst's setters and Init use handles of their own

    ToolConst::setFlashLogResultEnabled(m_ui->flashLogResultGroup->isChecked());
    ToolConst::setLogDirectory(logFolder);
    ToolConst::setFlashLogResultFileNamePattern(slashes(m_ui->lineEditFlashLogResultPattern->text()));
    ToolConst::setFlashLogResultContent(m_ui->textEditFlashLogResultContent->toPlainText());
    ToolConst::setFlashLogResultAppend(m_ui->checkBoxFlashLogResultAppend->isChecked());
    ToolConst::setApplicationLog(m_ui->applicationLogGroup->isChecked(), applicationPattern);
    ToolConst::setUserCommandTemplatesDirectory(m_ui->m_pkCommandTemplateDir->text());
    ToolConst::Init();
    m_settings->sync();
}

void AppOptions::saveTools()
{
    QTableView* table = m_ui->m_pkExternalToolsTable;
    const QModelIndex current = table->currentIndex();
    table->setCurrentIndex(QModelIndex()); // commits an open cell editor
    table->setCurrentIndex(current);

    ExternalToolManager& tools = ExternalToolManager::instance();
    QSet<QString> unused;
    for (const QString& id : tools.getTools().keys())
        unused.insert(id);
    for (int row = 0; row < m_tools->rowCount(); ++row) {
        const QString id = m_tools->index(row, 0).data().toString();
        QString path = m_tools->index(row, 1).data().toString();
        if (path.isEmpty() && builtInTools().contains(id))
            path = defaultPathOf(id);
        if (!path.isEmpty()) {
            tools.setTool(id, path);
            unused.remove(id);
        }
    }
    for (const QString& id : unused)
        tools.removeTool(id);
    tools.saveFile(FMConst::defaultExternalToolsSettingsFileName);
    tools.registerTools();
    m_settings->remove(FMConst::KEY_FASTBOOT);
    m_settings->remove(FMConst::KEY_ADB);
}

void AppOptions::restoreAllOptions()
{
    m_ui->buttonRestore->setEnabled(false);
    m_ui->checkBoxForceGPFlag->setChecked(false);
    resetSwitch(FMConst::ALWAYS_UNZIP_FLAG, FMConst::DEFAULT_ALWAYS_UNZIP_FLAG, m_ui->checkBox_alwaysUnzip,
                FMConst::KEY_ALWAYS_UNZIP);
    resetSwitch(FMConst::ALWAYS_UNZIP_FLAG_ARTIFACTORY, FMConst::DEFAULT_ALWAYS_UNZIP_FLAG_ARTIFACTORY,
                m_ui->checkBox_alwaysUnzipArtifactory, FMConst::KEY_ALWAYS_UNZIP_ARTIFACTORY);
    ToolConst::TOOL_BEHAVIOR = 1;
    m_ui->checkBox_pollDeviceInfoOnDetection->setChecked(true);
    store(ToolConst::KEY_TOOL_BEHAVIOR, 1);
    resetSwitch(FMConst::REMOVE_UNZIPPED_DIR_FLAG, FMConst::DEFAULT_REMOVE_UNZIPPED_DIR_FLAG,
                m_ui->checkBox_removeUnzippedDirs, FMConst::KEY_REMOVE_UNZIPPED_DIR);
    resetSwitch(ToolConst::RELOAD_LOCAL_TAB_SETTINGS, ToolConst::DEFAULT_RELOAD_LOCAL_TAB_SETTINGS,
                m_ui->checkBox_reloadLocalTabFlashFile, ToolConst::KEY_RELOAD_LOCAL_TAB_SETTING);
    resetSwitch(ToolConst::RELOAD_EDITOR_TAB_SETTINGS, ToolConst::DEFAULT_RELOAD_EDITOR_TAB_SETTINGS,
                m_ui->checkBox_reloadEditorTabFlashFile, ToolConst::KEY_RELOAD_EDITOR_TAB_SETTING);
    resetSwitch(ToolConst::DISPLAY_SYSTRAY_NOTIFICATION, ToolConst::DEFAULT_DISPLAY_SYSTRAY_NOTIFICATION,
                m_ui->checkBox_displaySystrayNotification, ToolConst::KEY_DISPLAY_SYSTRAY_NOTIFICATION);
    resetSwitch(ToolConst::DISPLAY_DOCUMENTATION_POPUP, ToolConst::DEFAULT_DISPLAY_DOCUMENTATION_POPUP,
                m_ui->checkBox_displayDocumentationPopup, ToolConst::KEY_DISPLAY_DOCUMENTATION_POPUP);
    m_ui->downloadDir->setText(QDir(ToolConst::defaultDownloadDirName).absolutePath());
    m_ui->cacheDir->setText(QDir(ToolConst::defaultConfigCacheDirName).absolutePath());

    m_tools->removeRows(0, m_tools->rowCount());
    for (const QString& id : builtInTools())
        m_tools->appendRow(toolRow(id, defaultPathOf(id)));

    m_ui->checkBox_forceSparsing->setChecked(FMConst::DEFAULT_FORCE_FASTBOOT_SPARSING);
    m_ui->spinBox_sparsingSize->setValue(FMConst::DEFAULT_FASTBOOT_SPARSING_SIZE);
    m_ui->checkBox_forceFastbootVendorID->setChecked(FMConst::DEFAULT_FORCE_FASTBOOT_VENDOR_ID);
    m_ui->lineEdit_fastbootVendorID->setText(FMConst::DEFAULT_FASTBOOT_VENDOR_ID);
    FMConst::COMMAND_DELAY = 0;
    m_ui->spinBox_commandDelay->setValue(0);
    m_ui->gpFlags->setText(FMConst::DEFAULT_GP_FLAG);
    setScanOnPlugUnavailable();

    m_settings->sync();
    ToolConst::setFlashLogResultAppend(FMConst::defaultFlashLogResultAppend);
    ToolConst::setApplicationLog(FMConst::defaultApplicationLogEnabled, FMConst::defaultApplicationLogFileNamePattern);
    ToolConst::setFlashLogResultContent(FMConst::defaultFlashLogResultContent);
    ToolConst::setLogDirectory(FMConst::defaultLogDirectory);
    ToolConst::setFlashLogResultEnabled(FMConst::defaultFlashLogResultEnabled);
    ToolConst::setFlashLogResultFileNamePattern(FMConst::defaultFlashLogResultFileNamePattern);
    loadLogWidgets();

    FMConst::USB_MAP_ENABLED = false;
    FMConst::USB_MAP_FILE.clear();
    m_ui->groupBox_usbmap->setChecked(false);
    m_ui->lineEdit_usbmap->clear();
    store(FMConst::KEY_USB_MAP_ENABLED, false);
    store(FMConst::KEY_USB_MAP_FILE, QString());

    m_ui->m_pkCommandTemplateDir->setText(ToolConst::defaultUserCommandTemplatesDirectory);
    saveAllOptions();
    m_ui->buttonRestore->setEnabled(true);
}

void AppOptions::accept()
{
    saveAllOptions();
    QDialog::accept();
}

void AppOptions::showEvent(QShowEvent* event)
{
    m_ui->tabOptions->setCurrentIndex(0);
    QDialog::showEvent(event);
}

QString AppOptions::selectDir(const QString& title, QString startFolder)
{
    if (startFolder.isEmpty())
        startFolder = m_lastFolder;
    const QString chosen = QFileDialog::getExistingDirectory(this, title, startFolder, QFileDialog::ShowDirsOnly);
    if (chosen.isEmpty())
        return QString();
    m_lastFolder = QDir(chosen).absolutePath();
    return m_lastFolder;
}

void AppOptions::chooseFolderInto(QLineEdit* field, const QString& title)
{
    const QString chosen = selectDir(title, field->text());
    if (!chosen.isEmpty())
        field->setText(chosen);
}

void AppOptions::on_changeCacheDir_clicked()
{
    chooseFolderInto(m_ui->cacheDir, tr("Select cache directory"));
}

void AppOptions::on_changeDownloadDir_clicked()
{
    chooseFolderInto(m_ui->downloadDir, tr("Select download directory"));
}

void AppOptions::onChangeCommandTemplateDir()
{
    chooseFolderInto(m_ui->m_pkCommandTemplateDir, tr("Select command templates directory"));
}

void AppOptions::on_browseFlashLogDirectory_clicked()
{
    chooseFolderInto(m_ui->lineEditLogDirectory, tr("Select flash log directory"));
}

void AppOptions::showMessage(bool success, const QString& text)
{
    QMessageBox box(success ? QMessageBox::Information : QMessageBox::Critical, QCoreApplication::applicationName(),
                    text, QMessageBox::Ok, this);
    box.exec();
}

void AppOptions::emptyFolder(QLineEdit* field, const QString& what)
{
    const QString refusal = refusalToEmpty(field->text());
    if (!refusal.isEmpty()) {
        logMessage(Logger::Warning, refusal);
        showMessage(false, tr("Delete %1 directory refused\n%2").arg(what, refusal));
        return;
    }
    if (FileManager2::removeDir(field->text(), false))
        showMessage(true, tr("Delete %1 directory succeed").arg(what));
    else
        showMessage(false, tr("Delete %1 directory failed\nSome content may have been deleted").arg(what));
}

void AppOptions::on_deleteCacheDir_clicked()
{
    emptyFolder(m_ui->cacheDir, QStringLiteral("configuration"));
}

void AppOptions::on_deleteDownloadDir_clicked()
{
    emptyFolder(m_ui->downloadDir, QStringLiteral("download"));
}

void AppOptions::on_buttonRestore_clicked()
{
    restoreAllOptions();
}

void AppOptions::on_checkFlashLogResultXML_clicked()
{
    QDomDocument document;
    QString message;
    int line = 0;
    int column = 0;
    if (document.setContent(m_ui->textEditFlashLogResultContent->toPlainText(), &message, &line, &column)) {
        showMessage(true, tr("Your log is a valid XML document"));
        return;
    }
    if (!message.isEmpty())
        message[0] = message.at(0).toUpper();
    showMessage(false,
                tr("Your log is NOT a valid XML document\n%3\nLine %1\nColumn %2")
                    .arg(QString::number(line), QString::number(column), message));
}

void AppOptions::on_checkFlashLogResultJSon_clicked()
{
    const QByteArray data = m_ui->textEditFlashLogResultContent->toPlainText().toUtf8();
    QJsonParseError error;
    QJsonDocument::fromJson(data, &error);
    if (error.error == QJsonParseError::NoError) {
        showMessage(true, tr("Your log is a valid JSon document"));
        return;
    }
    const int line = data.left(error.offset).count('\n') + 1;
    showMessage(
        false,
        tr("Your log is NOT a valid JSon document\n%2\nLine %1").arg(QString::number(line), error.errorString()));
}

void AppOptions::on_pushButton_browse_usbmap_clicked()
{
    const QString file = QFileDialog::getOpenFileName(this, tr("USB Port Map config file"), QDir::homePath(),
                                                      QStringLiteral("ini files (*.ini)"));
    if (!file.isEmpty())
        m_ui->lineEdit_usbmap->setText(file);
}

void AppOptions::onAddTool()
{
    m_tools->appendRow({new QStandardItem, new QStandardItem});
    const QModelIndex id = m_tools->index(m_tools->rowCount() - 1, 0);
    m_ui->m_pkExternalToolsTable->setCurrentIndex(id);
    m_ui->m_pkExternalToolsTable->edit(id);
}

void AppOptions::onRemoveTool()
{
    QList<QPersistentModelIndex> selected;
    for (const QModelIndex& index : m_ui->m_pkExternalToolsTable->selectionModel()->selectedIndexes())
        selected << QPersistentModelIndex(index);
    for (const QPersistentModelIndex& index : selected) {
        if (index.isValid() && m_tools->item(index.row(), 0)->isEditable())
            m_tools->removeRow(index.row());
    }
}
