#pragma once

// The main window's tab for choosing what to flash: a flash file or archive (browsed, dragged onto
// the path field or dropped on the window), unpacked beside itself when an archive, loaded, its
// configurations listed and one made current; the configuration's command groups and its
// documentation; the chosen file watched on disk. The flash dialog embeds a compact variant that
// only picks the flash file and configuration.

#include "ui/FlashTab.h"

#include <QSharedPointer>
#include <QWidget>

#include <memory>

class FlashFileManager;
class QFileSystemWatcher;
class QLabel;
class QMessageBox;

namespace Ui {
class FlashBasicWidget;
}

class FlashBasicWidget : public QWidget, public FlashTab
{
    Q_OBJECT

public:
    explicit FlashBasicWidget(QWidget* parent = nullptr);
    // `compact`: the flash dialog's variant, without path field, reload button or file watching.
    FlashBasicWidget(bool compact, QWidget* parent = nullptr);
    ~FlashBasicWidget() override;

    QSharedPointer<FlashConfiguration> getCurrentFlashFile() const override;
    QString getCurrentFlashFileId() const override;
    void onEnter() override;
    void mainWindowQuit() override;
    bool allowFileDrop(QDropEvent* event) const override;
    void fileDropped(QDropEvent* event) override;
    QWidget* getWidget() override;
    QObject* getEventMgr() override;
    bool needDeviceArea() override;

signals:
    // A configuration became current (true) or none is (false).
    void flashFileChanged(bool current);
    void documentationChanged();
    void statusText(const QString& text);

public slots:
    void loadLocalFile(const QString& path);
    // Loads the file chosen last time, when the settings ask for it and it still exists.
    void reloadLatestFlashFile();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void on_browseArchive_clicked(bool checked);
    void on_comboXmlFlashFile_activated(const QString& name);
    void on_comboBoxCfgs_currentIndexChanged(int index);
    void on_toolButtonReload_clicked();
    void on_toolButtonDocumentation_clicked();
    void on_toolButton_FlashGroups_clicked();
    void do_flashFileChanged(bool current);
    void do_localFileChanged(const QString& path);

private:
    // The flash file to load from `absolutePath`, after unpacking an archive and filling the
    // flash-file list; empty when the path is neither an archive nor a flash file.
    QString flashFileToLoad(const QString& absolutePath);
    void loadLocalFlashFile(const QString& path);
    void loadFlashConfigs();
    void setCurrentConfiguration(const QSharedPointer<FlashConfiguration>& configuration);
    void setLocalFileToMonitor(const QString& path);
    void setLoadControlsEnabled(bool enabled);
    // The local path of the first dropped URL that names an archive or a flash file.
    QString droppedFile(const QDropEvent* event) const;
    void reportMissingFile();
    void releaseWatcher();
    static void setIconTrueFalseInLabel(QLabel* label, bool ok);

    std::unique_ptr<Ui::FlashBasicWidget> ui;
    QString m_lastDirectory;
    std::unique_ptr<QFileSystemWatcher> m_pkFileWatcher;
    QMessageBox* m_pkReloadMessageBox = nullptr;
    QSharedPointer<FlashFileManager> m_flashFile;
    QSharedPointer<FlashConfiguration> m_configuration;
    bool m_loading = false;
};
