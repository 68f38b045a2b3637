#pragma once

// What the backup and restore dialogs share: the device and its adb job, the log prefix that names
// the dialog and the device's port, the busy look (wait cursor, busy bar) and the message boxes.
// Created without parent by the device view, which keeps one of each per view. GUI thread.

#include "engine/FlashDevice2.h"
#include "platform/log/LoggedObject.h"
#include "ui/options/AdbDeviceJob.h"

#include <QDialog>
#include <QMessageBox>

class QLineEdit;
class QProgressBar;

class AdbDeviceDialog : public QDialog, public LoggedObject
{
    Q_OBJECT

public:
    // `name` is the log prefix without device ("Backup", "Restore").
    AdbDeviceDialog(const QString& name, QWidget* parent);
    ~AdbDeviceDialog() override;

    AdbDeviceJob& job() { return m_job; }

    // The user's documents folder, where names are proposed.
    static QString documentsFolder();

protected:
    void holdDevice(const FlashDevice2Ptr& device);
    // False, with the WARNING "Invalid device", when no device is held.
    bool checkDevice() const;
    // Wait cursor and busy bar, or the normal cursor and the bar hidden at its maximum 100.
    void setBusy(QProgressBar* bar, bool busy);
    // A box titled with the application name and `titleSuffix`, one Ok button.
    int showBox(QMessageBox::Icon icon, const QString& titleSuffix, const QString& text, QWidget* parent);

    // m_job.runLong with the ERROR "Failed to execute " + `commandLine` when adb did not start.
    AdbDeviceJob::Outcome runAdb(const QStringList& arguments, const QString& commandLine,
                                 const std::function<void()>& started, QString& output, int& exitCode);
    // The folder chooser of the factory fields: it opens in the working folder; the choice goes
    // into `field` and its parent becomes the last folder.
    void browseFolderInto(QLineEdit* field);
    // A file chooser's answer: a choice goes into `field` and its folder becomes the last folder;
    // a cancel (null) changes nothing.
    void takeChosenFile(const QString& chosen, QLineEdit* field);

    AdbDeviceJob m_job;
    QString m_lastFolder; // where the file choosers open

private:
    QString m_name;
    bool m_busy = false;
};
