#pragma once

// The backup dialog of one device in its main OS: the Android data into an ".ab" archive (adb
// backup) and the factory partition into a host folder (adb pull), each job run to its message box
// before the next. Remembers the last good archive and the last factory folder in the settings.
// Created without parent by the device view; GUI thread.

#include "ui/options/AdbDeviceDialog.h"

#include <memory>

class Ui_DialogBackup;

class DialogBackup : public AdbDeviceDialog
{
    Q_OBJECT

public:
    explicit DialogBackup(QWidget* parent = nullptr);
    ~DialogBackup() override;

    void setDevice(const FlashDevice2Ptr& device);
    void setBackupFile(const QString& file);
    void setFactoryBackupDir(const QString& folder);

    // Each runs its job to its end: true when adb ran.
    bool backupAndroidData();
    bool backupFactoryData();

private slots:
    void on_pushButton_Backup_clicked();
    void on_pushButton_Cancel_clicked();
    void on_pushButton_Browse_clicked();
    void on_pushButton_BrowseFactoryPath_clicked();

private:
    // Logs the command line at `level` and runs adb's long job with the Backup button disabled;
    // false, the window back to idle, when adb did not start.
    bool runBackupJob(const QStringList& arguments, Logger::LogLevel level, const std::function<void()>& started,
                      QString& output, int& exitCode);
    // The job's window state while adb runs; every path back to idle passes here.
    void endJob();
    // The verdict of a finished Android backup written to `written`, kept as `file` on success.
    void finishAndroidBackup(const QString& file, const QString& written, const QString& output, bool statusProperty);

    std::unique_ptr<Ui_DialogBackup> m_ui;
};
