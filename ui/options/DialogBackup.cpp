#include "ui/options/DialogBackup.h"

#include "loader/ToolConst.h"
#include "ui_DialogBackup.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QPushButton>

namespace {

const QString kTitle = QStringLiteral(" - Device backup");
const QString kStatusProperty = QStringLiteral("sys.backup_status");

} // namespace

DialogBackup::DialogBackup(QWidget* parent)
    : AdbDeviceDialog(QStringLiteral("Backup"), parent)
    , m_ui(std::make_unique<Ui_DialogBackup>())
{
    m_ui->setupUi(this);
    m_ui->progressBar->hide();
    m_ui->label_info->hide();
    setWindowTitle(tr("Device backup"));
    m_lastFolder = documentsFolder();
}

DialogBackup::~DialogBackup() = default;

void DialogBackup::setDevice(const FlashDevice2Ptr& device)
{
    holdDevice(device);
    m_ui->pushButton_Backup->setEnabled(true);
    m_ui->progressBar->hide();
}

void DialogBackup::setBackupFile(const QString& file)
{
    m_ui->lineEdit_filename->setText(file);
}

void DialogBackup::setFactoryBackupDir(const QString& folder)
{
    m_ui->lineEdit_factorypath->setText(folder);
}

void DialogBackup::on_pushButton_Backup_clicked()
{
    if (m_ui->groupBox_androiddata->isChecked())
        backupAndroidData();
    if (m_ui->groupBox_factory->isChecked())
        backupFactoryData();
}

bool DialogBackup::backupAndroidData()
{
    if (!checkDevice()) {
        m_ui->pushButton_Backup->setEnabled(true);
        return false;
    }
    if (m_ui->lineEdit_filename->text().isEmpty())
        m_ui->lineEdit_filename->setText(documentsFolder() + QDir::separator() + QStringLiteral("backup.ab"));
    const QString file = QFileInfo(m_ui->lineEdit_filename->text()).absoluteFilePath();
    QString written = file;
    if (QFileInfo::exists(file)) {
        QMessageBox ask(QMessageBox::Information, QCoreApplication::applicationName() + kTitle,
                        tr("Backup file already exists.\nOverwrite it?"), QMessageBox::Yes | QMessageBox::Cancel);
        ask.setDefaultButton(QMessageBox::Yes);
        ask.setEscapeButton(QMessageBox::Cancel);
        ask.button(QMessageBox::Yes)->setText(tr("Overwrite"));
        if (ask.exec() != QMessageBox::Yes) {
            endJob();
            logMessage(Logger::Info, "Backup cancelled by user");
            return false;
        }
        // The old archive stays until the new one is known good.
        written = file + QStringLiteral(".partial");
        QFile::remove(written);
    }

    m_job.runShort({QStringLiteral("shell"), QStringLiteral("setprop"), kStatusProperty, QStringLiteral("done")}, 10000,
                   false);
    // Compared as adb prints it: the device must give the value back exactly.
    const bool statusProperty
        = m_job.runShort({QStringLiteral("shell"), QStringLiteral("getprop"), kStatusProperty}, 10000, false)
        == QLatin1String("done");

    const QStringList arguments{QStringLiteral("backup"),
                                QStringLiteral("-f"),
                                written,
                                QStringLiteral("-all"),
                                m_ui->checkBox_apk->isChecked() ? QStringLiteral("-apk") : QStringLiteral("-noapk"),
                                m_ui->checkBox_shared->isChecked() ? QStringLiteral("-shared")
                                                                   : QStringLiteral("-noshared")};
    QString output;
    int exitCode = 0;
    const bool ran = runBackupJob(
        arguments, Logger::Debug,
        [this] {
            m_ui->label_info->setText(
                tr("<b> Please press 'back up my data' on device side to start backup process </b>"));
            m_ui->label_info->show();
            logMessage(Logger::Info, "Backup in progress, please wait ...");
            setBusy(m_ui->progressBar, true);
        },
        output, exitCode);
    if (!ran)
        return false;
    finishAndroidBackup(file, written, output, statusProperty);
    endJob();
    return true;
}

void DialogBackup::finishAndroidBackup(const QString& file, const QString& written, const QString& output,
                                       bool statusProperty)
{
    QString status = QStringLiteral("completed");
    if (statusProperty) {
        status = m_job.pollStatus(false);
        if (!status.isEmpty())
            status = m_job.runShort({QStringLiteral("shell"), QStringLiteral("getprop"), kStatusProperty}, 10000, false)
                         .trimmed()
                         .toLower();
    }
    setBusy(m_ui->progressBar, false);
    if (!output.isEmpty())
        logMessage(Logger::Debug, QStringLiteral("Backup message: \n") + output);

    bool success = QFileInfo(written).size() >= 1 && status == QLatin1String("completed");
    if (written != file) {
        if (success)
            success = QFile::remove(file) && QFile::rename(written, file);
        else
            QFile::remove(written);
    }
    if (success) {
        logMessage(Logger::Info,
                   QStringLiteral("Backup completed Successfully (") + m_ui->lineEdit_filename->text()
                       + QLatin1Char(')'));
        ToolConst::setLatestBackupFile(m_ui->lineEdit_filename->text());
        m_ui->pushButton_Backup->setEnabled(true);
        showBox(QMessageBox::Information, kTitle, tr("Backup completed Successfully"), this);
    } else {
        logMessage(Logger::Info, "Backup failed");
        m_ui->pushButton_Backup->setEnabled(true);
        showBox(QMessageBox::Warning, kTitle, tr("Backup failed"), this);
    }
    if (statusProperty)
        m_job.runShort({QStringLiteral("shell"), QStringLiteral("setprop"), kStatusProperty + QStringLiteral(" done")},
                       10000, false);
}

bool DialogBackup::backupFactoryData()
{
    if (!checkDevice())
        return false;
    m_job.runShort({QStringLiteral("root")}, 10000, true);
    m_job.runShort({QStringLiteral("wait-for-device")}, 10000, true);
    if (m_ui->lineEdit_factorypath->text().isEmpty())
        m_ui->lineEdit_factorypath->setText(documentsFolder() + QDir::separator() + QStringLiteral("factory"));
    const QString folder = m_ui->lineEdit_factorypath->text();
    QDir().mkdir(folder);

    const QStringList arguments{QStringLiteral("pull"), QStringLiteral("/factory"), folder};
    QString output;
    int exitCode = 0;
    const bool ran = runBackupJob(
        arguments, Logger::Info,
        [this] {
            logMessage(Logger::Info, "Factory backup in progress, please wait ...");
            setBusy(m_ui->progressBar, true);
        },
        output, exitCode);
    if (!ran)
        return false;
    setBusy(m_ui->progressBar, false);
    logMessage(Logger::Debug, QStringLiteral("Factory backup result: \n") + output);
    showBox(exitCode == 0 ? QMessageBox::Information : QMessageBox::Critical, kTitle,
            tr("Factory backup finished with result:\n %1").arg(output), this);
    ToolConst::setLatestFactoryBackupDir(folder);
    logMessage(Logger::Info, "Factory backup finished");
    endJob();
    return true;
}

bool DialogBackup::runBackupJob(const QStringList& arguments, Logger::LogLevel level,
                                const std::function<void()>& started, QString& output, int& exitCode)
{
    const QString commandLine = m_job.commandLine(arguments, {2}); // the file or folder, quoted
    logMessage(level, commandLine);
    m_ui->pushButton_Backup->setEnabled(false);
    if (runAdb(arguments, commandLine, started, output, exitCode) != AdbDeviceJob::Outcome::NotStarted)
        return true;
    endJob();
    return false;
}

void DialogBackup::endJob()
{
    setBusy(m_ui->progressBar, false);
    m_ui->pushButton_Backup->setEnabled(true);
    m_ui->label_info->clear();
    m_ui->label_info->hide();
}

void DialogBackup::on_pushButton_Cancel_clicked()
{
    if (m_job.isRunning()) {
        m_job.cancel();
        logMessage(Logger::Info, "Backup cancelled by user");
    }
    setBusy(m_ui->progressBar, false);
    close();
}

void DialogBackup::on_pushButton_Browse_clicked()
{
    takeChosenFile(QFileDialog::getSaveFileName(this, tr("Save File"),
                                                m_lastFolder + QDir::separator()
                                                    + QFileInfo(m_ui->lineEdit_filename->text()).fileName(),
                                                tr("Backup file (*.ab)")),
                   m_ui->lineEdit_filename);
}

void DialogBackup::on_pushButton_BrowseFactoryPath_clicked()
{
    browseFolderInto(m_ui->lineEdit_factorypath);
}
