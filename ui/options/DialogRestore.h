#pragma once

// The restore dialog of one device in its main OS: an ".ab" archive back onto the device (adb
// restore) and a host folder back onto its factory partition (remounted writable for the push).
// Offers the archive and the folder the backup dialog remembered. Runs the ticked jobs and closes.
// Created without parent by the device view; GUI thread.

#include "ui/options/AdbDeviceDialog.h"

#include <memory>

class Ui_DialogRestore;

class DialogRestore : public AdbDeviceDialog
{
    Q_OBJECT

public:
    explicit DialogRestore(QWidget* parent = nullptr);
    ~DialogRestore() override;

    // Holds the device and offers the remembered archive and factory folder.
    void setDevice(const FlashDevice2Ptr& device);

    // Each returns once its job has ended.
    void retoreAndroidData();
    void retoreFactoryData();

private slots:
    void on_pushButton_restore_clicked();
    void on_pushButton_Cancel_clicked();
    void on_pushButton_Browse_clicked();
    void on_pushButton_Browse_factory_clicked();

private:
    void endJob();

    std::unique_ptr<Ui_DialogRestore> m_ui;
};
