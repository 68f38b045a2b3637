#include "ui/options/AdbDeviceDialog.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QProgressBar>
#include <QStandardPaths>

AdbDeviceDialog::AdbDeviceDialog(const QString& name, QWidget* parent)
    : QDialog(parent)
    , m_name(name)
{
    getLogHandler()->setPrefix(name);
}

AdbDeviceDialog::~AdbDeviceDialog()
{
    if (m_busy)
        QApplication::restoreOverrideCursor();
}

QString AdbDeviceDialog::documentsFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

void AdbDeviceDialog::holdDevice(const FlashDevice2Ptr& device)
{
    m_job.setDevice(device);
    getLogHandler()->setPrefix(device ? m_name + QLatin1Char(' ') + device->getPort().toString() : m_name);
}

bool AdbDeviceDialog::checkDevice() const
{
    if (m_job.device())
        return true;
    logMessage(Logger::Warning, "Invalid device");
    return false;
}

void AdbDeviceDialog::setBusy(QProgressBar* bar, bool busy)
{
    if (busy != m_busy) {
        // The override cursor is a stack: push and pop exactly once per busy spell.
        if (busy)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QApplication::restoreOverrideCursor();
        m_busy = busy;
    }
    bar->setRange(0, busy ? 0 : 100);
    bar->setVisible(busy);
}

int AdbDeviceDialog::showBox(QMessageBox::Icon icon, const QString& titleSuffix, const QString& text, QWidget* parent)
{
    QMessageBox box(icon, QCoreApplication::applicationName() + titleSuffix, text, QMessageBox::Ok, parent);
    return box.exec();
}

void AdbDeviceDialog::browseFolderInto(QLineEdit* field)
{
    const QString chosen = QFileDialog::getExistingDirectory(this, tr("Select a Directory"), QDir::currentPath(),
                                                             QFileDialog::ShowDirsOnly);
    if (chosen.isEmpty())
        return;
    const QFileInfo info(chosen);
    m_lastFolder = info.absolutePath();
    field->setText(info.absoluteFilePath());
}

void AdbDeviceDialog::takeChosenFile(const QString& chosen, QLineEdit* field)
{
    if (chosen.isNull())
        return;
    const QFileInfo info(chosen);
    m_lastFolder = info.absolutePath();
    field->setText(info.absoluteFilePath());
}

AdbDeviceJob::Outcome AdbDeviceDialog::runAdb(const QStringList& arguments, const QString& commandLine,
                                              const std::function<void()>& started, QString& output, int& exitCode)
{
    const AdbDeviceJob::Outcome outcome = m_job.runLong(arguments, started, output, exitCode);
    if (outcome == AdbDeviceJob::Outcome::NotStarted)
        logMessage(Logger::Error, QStringLiteral("Failed to execute ") + commandLine);
    return outcome;
}
