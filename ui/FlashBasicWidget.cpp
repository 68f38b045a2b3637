#include "ui/FlashBasicWidget.h"

#include "ui_FlashBasicWidget.h"

#include "core/FMConst.h"
#include "core/MessageHandler.h"
#include "loader/FileManager2.h"
#include "loader/FlashFileManager.h"
#include "loader/ToolConst.h"
#include "ui/editor/FlashGroupsDialog.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDesktopServices>
#include <QDir>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QMessageBox>
#include <QUrl>

namespace {

const QString kBrowseFilter = QStringLiteral(
    "Flash File (*.json *.xml *.zip *.tgz *.tar.gz);;Flash config file (*.json *.xml);;"
    "Flash archive file (*.zip *.tgz *.tar.gz);;All file(*)");

} // namespace

FlashBasicWidget::FlashBasicWidget(QWidget* parent)
    : FlashBasicWidget(false, parent)
{
}

FlashBasicWidget::FlashBasicWidget(bool compact, QWidget* parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::FlashBasicWidget>())
{
    ui->setupUi(this);
    connect(this, &FlashBasicWidget::flashFileChanged, this, &FlashBasicWidget::do_flashFileChanged);
    ui->comboBoxCfgs->setEnabled(false);
    ui->comboBoxCfgs->clear();
    m_lastDirectory = ToolConst::onUsingDownloadDirName;
    ui->widgetProgressBar->hide();
    ui->toolButtonDocumentation->hide();
    if (!compact) {
        ui->browseArchive->setStyleSheet(ui->browseArchive->styleSheet() + ToolConst::StylePushButtonZorvikBlue);
        ui->txtArchive->setAcceptDrops(true);
        ui->txtArchive->installEventFilter(this);
        m_pkReloadMessageBox = new QMessageBox(this);
        m_pkReloadMessageBox->setIcon(QMessageBox::Warning);
        m_pkReloadMessageBox->setWindowTitle(QCoreApplication::applicationName());
        m_pkReloadMessageBox->setText(
            tr("Flash file in local tab has changed on disk since it was loaded.\nDo you want to reload it?"));
        m_pkReloadMessageBox->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        m_pkReloadMessageBox->setDefaultButton(QMessageBox::Yes);
        m_pkReloadMessageBox->setEscapeButton(QMessageBox::No);
    } else {
        for (QWidget* hidden : {static_cast<QWidget*>(ui->txtArchive), static_cast<QWidget*>(ui->browseArchive),
                                static_cast<QWidget*>(ui->progressBarLabel), static_cast<QWidget*>(ui->toolButtonReload),
                                static_cast<QWidget*>(ui->checkArchive), static_cast<QWidget*>(ui->label_iconZorvik)})
            hidden->hide();
        ui->txtArchive->setAcceptDrops(false);
        resize(sizeHint());
    }
}

FlashBasicWidget::~FlashBasicWidget()
{
    qDebug() << "destructor flashBasicWidget";
    m_flashFile.clear();
    m_pkFileWatcher.reset();
    ui.reset();
    m_configuration.clear();
}

QSharedPointer<FlashConfiguration> FlashBasicWidget::getCurrentFlashFile() const
{
    return m_configuration;
}

QString FlashBasicWidget::getCurrentFlashFileId() const
{
    if (!m_flashFile)
        return QString();
    return m_flashFile->getFileInfo() + QStringLiteral(" [") + ui->comboBoxCfgs->currentText() + QLatin1Char(']');
}

void FlashBasicWidget::onEnter()
{
    if (m_loading)
        return;
    on_comboBoxCfgs_currentIndexChanged(ui->comboBoxCfgs->currentIndex());
    QCoreApplication::processEvents();
    MessageHandler::instance()->scrollTextEditsToBottom();
}

void FlashBasicWidget::mainWindowQuit()
{
    releaseWatcher();
}

bool FlashBasicWidget::allowFileDrop(QDropEvent* event) const
{
    return !droppedFile(event).isEmpty();
}

void FlashBasicWidget::fileDropped(QDropEvent* event)
{
    const QString path = droppedFile(event);
    if (!path.isEmpty())
        loadLocalFile(path);
}

QWidget* FlashBasicWidget::getWidget()
{
    return this;
}

QObject* FlashBasicWidget::getEventMgr()
{
    return this;
}

bool FlashBasicWidget::needDeviceArea()
{
    return true;
}

QString FlashBasicWidget::droppedFile(const QDropEvent* event) const
{
    if (m_loading)
        return QString();
    return firstDroppedFile(event, {FileManager2::ArchiveFile, FileManager2::FlashFile});
}

void FlashBasicWidget::loadLocalFile(const QString& path)
{
    if (m_loading) {
        logMessage(Logger::WARNING, QStringLiteral("Another file is already loading. Ignore this new load"));
        return;
    }
    m_loading = true;

    m_configuration.clear();
    const QFileInfo info(path);
    const QString absolute = info.absoluteFilePath();
    m_lastDirectory = info.absolutePath();
    ui->txtArchive->setText(QDir::toNativeSeparators(absolute));
    m_flashFile.clear();
    emit flashFileChanged(false);
    emit statusText(QStringLiteral("Loading ") + info.fileName() + QStringLiteral(", please wait ..."));

    ui->widgetProgressBar->show();
    ui->comboXmlFlashFile->clear();
    loadFlashConfigs();
    ui->comboBoxCfgs->setEnabled(false);
    setLoadControlsEnabled(false);
    QCoreApplication::processEvents();

    const QString toLoad = flashFileToLoad(absolute);
    ui->widgetProgressBar->hide();
    if (toLoad.isEmpty()) {
        logMessage(Logger::ERROR, QLatin1Char('\'') + ui->txtArchive->text()
                                      + QStringLiteral("' is not a valid flash file or flash archive"));
        ui->comboXmlFlashFile->clear();
        m_flashFile.clear();
        loadFlashConfigs();
        setIconTrueFalseInLabel(ui->checkArchive, false);
    } else {
        loadLocalFlashFile(toLoad);
    }
    setLoadControlsEnabled(true);
    m_loading = false;
}

QString FlashBasicWidget::flashFileToLoad(const QString& absolutePath)
{
    switch (FileManager2::getFileType(absolutePath)) {
    case FileManager2::ArchiveFile: {
        const QString folder = FileManager2::getUnpackFolder(absolutePath);
        const QString archiveName = QFileInfo(absolutePath).fileName();
        if (!FileManager2::unzipArchiveWithEvents(absolutePath, folder, FMConst::ALWAYS_UNZIP_FLAG))
            return absolutePath;
        const QStringList names = FileManager2::getFiles(folder, FileManager2::FlashFile);
        if (names.isEmpty()) {
            logMessage(Logger::ERROR, QStringLiteral("There is no flash file in the archive"));
            return absolutePath;
        }
        logMessage(Logger::DEBUG, QStringLiteral("List of flash files in ") + archiveName + QStringLiteral(" = {")
                                      + names.join(QStringLiteral(", ")) + QLatin1Char('}'));
        for (const QString& name : names)
            ui->comboXmlFlashFile->addItem(name, folder + QDir::separator() + name);
        int chosen = names.indexOf(ToolConst::latestXmlFileInLocal);
        for (const QString& preferred : {QStringLiteral("flash.json"), QStringLiteral("flash.xml")}) {
            if (chosen < 0)
                chosen = names.indexOf(preferred);
        }
        ui->comboXmlFlashFile->setCurrentIndex(std::max(chosen, 0));
        return folder + QDir::separator() + ui->comboXmlFlashFile->currentText();
    }
    case FileManager2::FlashFile:
        ui->comboXmlFlashFile->addItem(QFileInfo(ui->txtArchive->text()).fileName(), absolutePath);
        return ui->txtArchive->text();
    default:
        return QString();
    }
}

void FlashBasicWidget::setLoadControlsEnabled(bool enabled)
{
    ui->browseArchive->setEnabled(enabled);
    ui->comboXmlFlashFile->setEnabled(enabled && ui->comboXmlFlashFile->count() > 0);
    ui->toolButtonReload->setEnabled(enabled);
}

void FlashBasicWidget::loadLocalFlashFile(const QString& path)
{
    m_flashFile = FlashFileManager::loadFromFile(path, true);
    loadFlashConfigs();
    const QString shown = QDir::toNativeSeparators(path);
    if (m_flashFile) {
        ToolConst::setLatestSelectedFileInLocal(ui->txtArchive->text(), ui->comboXmlFlashFile->currentText());
        m_flashFile->setFileInfo(shown);
        if (m_configuration)
            logMessage(Logger::DEBUG, m_configuration->getDetails());
        setLocalFileToMonitor(ui->txtArchive->text());
        const QString name = m_configuration ? m_configuration->getName() : QString();
        const QString loaded = QStringLiteral("Flash file ") + shown + QStringLiteral(" [") + name + QStringLiteral("] loaded");
        emit statusText(loaded);
        logMessage(Logger::INFO, loaded);
    } else {
        ui->comboBoxCfgs->setEnabled(false);
        ui->comboXmlFlashFile->setEnabled(ui->comboXmlFlashFile->count() > 0);
        const QString failed = QStringLiteral("Failed to load ") + shown;
        emit statusText(failed);
        logMessage(Logger::ERROR, failed);
    }
    setIconTrueFalseInLabel(ui->checkArchive, !m_flashFile.isNull());
}

void FlashBasicWidget::loadFlashConfigs()
{
    QSignalBlocker blocker(ui->comboBoxCfgs);
    ui->comboBoxCfgs->clear();
    QSharedPointer<FlashConfiguration> current;
    if (!m_flashFile) {
        ui->comboBoxCfgs->setEnabled(false);
    } else {
        const QSharedPointer<FlashConfiguration> defaultConfiguration = m_flashFile->getDefaultConfiguration();
        int defaultIndex = 0;
        QString defaultBrief;
        for (const auto& entry : m_flashFile->getConfigurationsList()) {
            const QSharedPointer<FlashConfiguration>& configuration = entry.second;
            const bool isDefault = configuration == defaultConfiguration;
            if (configuration->isHiddenToEndUser()) {
                if (!isDefault) {
                    logMessage(Logger::DEBUG, QStringLiteral("Configuration \"%1\" ignored").arg(configuration->getName()));
                    continue;
                }
                logMessage(Logger::DEBUG, QStringLiteral("\"hiddenToEndUser\" flag is ignored on default configuration"));
            }
            if (isDefault) {
                defaultIndex = ui->comboBoxCfgs->count();
                defaultBrief = configuration->getBrief();
            }
            ui->comboBoxCfgs->addItem(configuration->getName(), entry.first);
            ui->comboBoxCfgs->setItemData(ui->comboBoxCfgs->count() - 1, configuration->getBrief(), Qt::ToolTipRole);
        }
        if (ui->comboBoxCfgs->count() > 1) {
            ui->comboBoxCfgs->setCurrentIndex(defaultIndex);
            ui->comboBoxCfgs->setToolTip(defaultBrief);
            ui->comboBoxCfgs->setEnabled(true);
        } else {
            ui->comboBoxCfgs->setEnabled(false);
        }
        current = defaultConfiguration;
    }
    blocker.unblock();
    setCurrentConfiguration(current);
    ui->toolButton_FlashGroups->setEnabled(m_configuration && m_configuration->hasGroups());
}

void FlashBasicWidget::on_comboBoxCfgs_currentIndexChanged(int index)
{
    if (!m_flashFile)
        return;
    const QSharedPointer<FlashConfiguration> configuration =
        m_flashFile->getConfiguration(ui->comboBoxCfgs->itemData(index).toString());
    if (!configuration)
        return;
    logMessage(Logger::DEBUG, configuration->getDetails());
    const QString path = ui->comboXmlFlashFile->currentData().toString();
    m_flashFile->setFileInfo(path);
    ui->comboBoxCfgs->setToolTip(configuration->getBrief());
    const QString loaded = QStringLiteral("Flash file ") + path + QStringLiteral(" [") + configuration->getName()
                           + QStringLiteral("]") + QStringLiteral(" loaded");
    emit statusText(loaded);
    logMessage(Logger::INFO, loaded);
    ui->toolButton_FlashGroups->setEnabled(configuration->hasGroups());
    setCurrentConfiguration(configuration);
}

void FlashBasicWidget::setCurrentConfiguration(const QSharedPointer<FlashConfiguration>& configuration)
{
    m_configuration = configuration;
    emit flashFileChanged(!configuration.isNull());
    if (configuration && configuration->hasDocumentation())
        emit documentationChanged();
}

void FlashBasicWidget::do_flashFileChanged(bool current)
{
    ui->toolButtonDocumentation->setVisible(current && m_configuration && m_configuration->hasDocumentation());
}

void FlashBasicWidget::on_toolButtonDocumentation_clicked()
{
    if (m_configuration && m_configuration->hasDocumentation())
        QDesktopServices::openUrl(QUrl(m_configuration->getDocumentation()));
}

void FlashBasicWidget::on_comboXmlFlashFile_activated(const QString& name)
{
    if (name.isEmpty())
        return;
    const QString archive = ui->txtArchive->text();
    const QString path = FileManager2::getFileType(archive) == FileManager2::ArchiveFile
                             ? FileManager2::getUnpackFolder(archive) + QDir::separator() + name
                             : archive;
    loadLocalFlashFile(path);
}

void FlashBasicWidget::on_browseArchive_clicked(bool)
{
    const QString start = ui->txtArchive->text().isEmpty() ? m_lastDirectory : ui->txtArchive->text();
    const QString picked = QFileDialog::getOpenFileName(this, tr("Select flash file"), start, kBrowseFilter);
    if (!picked.isEmpty())
        loadLocalFile(picked);
}

bool FlashBasicWidget::eventFilter(QObject* watched, QEvent* event)
{
    const bool dropFamily = event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove
                            || event->type() == QEvent::Drop;
    if (watched != ui->txtArchive || !dropFamily)
        return QWidget::eventFilter(watched, event);
    auto* drop = static_cast<QDropEvent*>(event);
    const bool allowed = allowFileDrop(drop);
    if (allowed) {
        drop->acceptProposedAction();
    } else {
        drop->setDropAction(Qt::IgnoreAction);
        drop->accept();
    }
    if (allowed && event->type() == QEvent::Drop)
        fileDropped(drop);
    return true;
}

void FlashBasicWidget::setLocalFileToMonitor(const QString& path)
{
    if (!m_pkReloadMessageBox)
        return;
    logMessage(Logger::DEBUG, QStringLiteral("Monitoring ") + path);
    m_pkFileWatcher = std::make_unique<QFileSystemWatcher>();
    m_pkFileWatcher->addPath(QFileInfo(path).absoluteFilePath());
    connect(m_pkFileWatcher.get(), &QFileSystemWatcher::fileChanged, this, &FlashBasicWidget::do_localFileChanged);
}

void FlashBasicWidget::do_localFileChanged(const QString& path)
{
    if (!m_pkReloadMessageBox || !isVisible() || m_loading
        || path != QFileInfo(ui->txtArchive->text()).absoluteFilePath())
        return;
    logMessage(Logger::WARNING, QStringLiteral("Flash file %1 has changed on disk since it was loaded").arg(path));
    // A notice that comes while the question is open is answered like No.
    const bool alreadyAsking = m_pkReloadMessageBox->isVisible();
    if (!alreadyAsking && m_pkReloadMessageBox->exec() == QMessageBox::Yes) {
        on_toolButtonReload_clicked();
        return;
    }
    if (QFileInfo::exists(ui->txtArchive->text()))
        return;
    reportMissingFile();
    releaseWatcher();
}

void FlashBasicWidget::on_toolButtonReload_clicked()
{
    const QString path = ui->txtArchive->text();
    if (path.isEmpty())
        return;
    if (!QFileInfo::exists(path)) {
        reportMissingFile();
        return;
    }
    loadLocalFile(QFileInfo(path).absoluteFilePath());
}

void FlashBasicWidget::reportMissingFile()
{
    const QString text = QStringLiteral("File %1 does not exist anymore").arg(ui->txtArchive->text());
    logMessage(Logger::ERROR, text);
    QMessageBox::critical(this, QCoreApplication::applicationName(), text, QMessageBox::Ok);
}

void FlashBasicWidget::releaseWatcher()
{
    m_pkFileWatcher.reset();
}

void FlashBasicWidget::on_toolButton_FlashGroups_clicked()
{
    if (!m_configuration || !m_configuration->hasGroups())
        return;
    switch (FlashGroupsDialog::run(*m_configuration)) {
    case FlashGroupsDialog::Outcome::InvalidForm:
        logMessage(Logger::ERROR, QStringLiteral("Cannot create dialog for group configuration: Invalid form description"));
        return;
    case FlashGroupsDialog::Outcome::Cancelled:
        return;
    case FlashGroupsDialog::Outcome::Applied:
        break;
    }
    logMessage(Logger::DEBUG, m_configuration->getDetails());
    if (m_flashFile)
        emit flashFileChanged(true);
}

void FlashBasicWidget::setIconTrueFalseInLabel(QLabel* label, bool ok)
{
    label->setPixmap(QPixmap(ok ? QStringLiteral(":/icons/icons/weather-clear.png") : QStringLiteral(":/icons/icons/error.png")));
}

void FlashBasicWidget::reloadLatestFlashFile()
{
    if (!ToolConst::RELOAD_LOCAL_TAB_SETTINGS || !QFileInfo::exists(ToolConst::latestArchiveFileInLocal))
        return;
    loadLocalFile(QFileInfo(ToolConst::latestArchiveFileInLocal).absoluteFilePath());
}
