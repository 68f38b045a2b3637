#include "ui/options/DialogRestore.h"

#include "loader/ToolConst.h"
#include "ui_DialogRestore.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace {

const QString kTitle = QStringLiteral(" - Device restore");
const QString kStatusProperty = QStringLiteral("sys.backup_status");

bool namesSomething(const QString& path)
{
    return !path.isEmpty() && QFileInfo::exists(path);
}

} // namespace

DialogRestore::DialogRestore(QWidget* parent)
    : AdbDeviceDialog(QStringLiteral("Restore"), parent)
    , m_ui(std::make_unique<Ui_DialogRestore>())
{
    m_ui->setupUi(this);
    m_ui->progressBar->hide();
}

DialogRestore::~DialogRestore() = default;

void DialogRestore::setDevice(const FlashDevice2Ptr& device)
{
    holdDevice(device);
    m_ui->progressBar->hide();
    m_ui->label_info->hide();

    const QString& file = ToolConst::latestBackupFile;
    if (file.isEmpty()) {
        m_ui->checkBox_androiddata->setChecked(false);
    } else {
        m_lastFolder = QFileInfo(file).absolutePath();
        if (QFileInfo::exists(file)) {
            m_ui->lineEdit_filename->setText(file);
        } else {
            m_ui->lineEdit_filename->clear();
            m_ui->checkBox_androiddata->setChecked(false);
        }
    }
    const QString& folder = ToolConst::latestFactoryBackupDir;
    if (folder.isEmpty()) {
        m_ui->checkBox_factory->setChecked(false);
    } else {
        m_lastFolder = QFileInfo(folder).absolutePath();
        if (QFileInfo::exists(folder))
            m_ui->lineEdit_factory->setText(folder);
        else
            m_ui->lineEdit_factory->clear();
    }
}

void DialogRestore::on_pushButton_restore_clicked()
{
    if (m_ui->checkBox_androiddata->isChecked()) {
        if (namesSomething(m_ui->lineEdit_filename->text()))
            retoreAndroidData();
        else
            logMessage(Logger::Error, "Restore error, ab file not found");
    }
    if (m_ui->checkBox_factory->isChecked()) {
        if (namesSomething(m_ui->lineEdit_factory->text()))
            retoreFactoryData();
        else
            logMessage(Logger::Error, "Restore error, factory directory not found");
    }
    endJob();
    close();
}

void DialogRestore::retoreAndroidData()
{
    if (!checkDevice())
        return;
    const QString file = m_ui->lineEdit_filename->text();
    if (!namesSomething(file)) {
        logMessage(Logger::Error, "Restore error, invalid file");
        return;
    }
    m_job.runShort({QStringLiteral("shell"), QStringLiteral("setprop"), kStatusProperty + QStringLiteral(" done")},
                   5000, false);
    const bool statusProperty
        = m_job.runShort({QStringLiteral("shell"), QStringLiteral("getprop"), kStatusProperty}, 5000, false)
              .trimmed()
              .toLower()
        == QLatin1String("done");

    const QStringList arguments{QStringLiteral("restore"), file};
    const QString commandLine = m_job.commandLine(arguments, {1});
    logMessage(Logger::Debug, commandLine);
    setBusy(m_ui->progressBar, true);
    m_ui->label_info->setText(tr("<b> Please press 'restore my data' on device side to start restore process </b>"));
    m_ui->label_info->show();
    QString output;
    int exitCode = 0;
    const AdbDeviceJob::Outcome outcome = runAdb(
        arguments, commandLine,
        [this] {
            logMessage(Logger::Info,
                       "Restore initiated, please press 'restore my data' on device side to start restore process");
        },
        output, exitCode);
    if (outcome == AdbDeviceJob::Outcome::NotStarted) {
        endJob();
        return;
    }
    const QString started = tr("Restore initiated,  please press 'restore my data' on device side to start restore "
                               "process and check your device");
    if (outcome == AdbDeviceJob::Outcome::Cancelled) {
        endJob();
        return;
    }
    if (!statusProperty) {
        showBox(QMessageBox::Information, kTitle, started, this);
    } else {
        const QString status = m_job.pollStatus(true);
        if (!m_job.wasCancelled()) {
            if (status.isEmpty() || status == QLatin1String("done"))
                showBox(QMessageBox::Information, kTitle, started, this);
            m_job.runShort({QStringLiteral("shell"), QStringLiteral("getprop"), kStatusProperty}, 10000, true);
        }
    }
    endJob();
}

void DialogRestore::retoreFactoryData()
{
    if (!checkDevice())
        return;
    setBusy(m_ui->progressBar, true);
    const QString factory = QStringLiteral("/factory");
    const QList<QStringList> steps{
        {QStringLiteral("root")},
        {QStringLiteral("wait-for-device")},
        {QStringLiteral("shell"), QStringLiteral("mount"), QStringLiteral("-o"), QStringLiteral("remount,rw"), factory},
        {QStringLiteral("push"), m_ui->lineEdit_factory->text(), factory},
        {QStringLiteral("shell"), QStringLiteral("mount"), QStringLiteral("-o"), QStringLiteral("remount,ro"), factory},
    };
    for (const QStringList& step : steps)
        m_job.runShort(step, 10000, true);
    setBusy(m_ui->progressBar, false);
}

void DialogRestore::endJob()
{
    setBusy(m_ui->progressBar, false);
    m_ui->label_info->hide();
}

void DialogRestore::on_pushButton_Cancel_clicked()
{
    m_job.cancel();
    logMessage(Logger::Info, "Restore cancelled by user");
    endJob();
    close();
}

void DialogRestore::on_pushButton_Browse_clicked()
{
    takeChosenFile(QFileDialog::getOpenFileName(this, tr("Select backup file"), m_lastFolder,
                                                QStringLiteral("Backup File (*.ab)")),
                   m_ui->lineEdit_filename);
}

void DialogRestore::on_pushButton_Browse_factory_clicked()
{
    browseFolderInto(m_ui->lineEdit_factory);
}
