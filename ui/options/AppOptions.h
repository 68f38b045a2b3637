#pragma once

// The options dialog: edits the settings file (~/.flasher/.quillonlite.opt) through its own
// settings handle and ToolConst's setters, the runtime values of FMConst and ToolConst, and the
// external tools file through the tools registry. Built on the stack by the main window's options
// action and run modally; GUI thread.

#include "platform/log/LoggedObject.h"

#include <QDialog>
#include <QString>

#include <memory>

class FlashManager;
class QCheckBox;
class QSettings;
class QStandardItemModel;
class QStyleOptionViewItem;
class QModelIndex;
class QLineEdit;
class Ui_AppOptions;

class AppOptions : public QDialog, public LoggedObject
{
    Q_OBJECT

public:
    AppOptions(FlashManager& manager, QWidget* parent = nullptr);
    ~AppOptions() override;

    void setFlashManager(FlashManager& manager) { m_flashManager = &manager; }

    void loadAllOptions();
    void saveAllOptions();
    void restoreAllOptions();

public slots:
    void accept() override;

signals:
    void showDocumentation();

protected:
    void showEvent(QShowEvent* event) override;

private slots:
    void on_deleteCacheDir_clicked();
    void on_deleteDownloadDir_clicked();
    void on_changeCacheDir_clicked();
    void on_changeDownloadDir_clicked();
    void on_buttonRestore_clicked();
    void on_browseFlashLogDirectory_clicked();
    void on_checkFlashLogResultXML_clicked();
    void on_checkFlashLogResultJSon_clicked();
    void on_pushButton_browse_usbmap_clicked();
    void onAddTool();
    void onRemoveTool();
    void onChangeCommandTemplateDir();

private:
    // A bool or number the file holds under `key`, else `fallback` written back.
    QVariant loadValue(const QString& key, const QVariant& fallback);
    void store(const QString& key, const QVariant& value);
    // A switch loaded from its key (its default written back when missing) and shown; saved from its
    // box; or put back to its default, shown and stored.
    void loadSwitch(bool& value, bool fallback, QCheckBox* box, const QString& key);
    void saveSwitch(bool& value, QCheckBox* box, const QString& key);
    void resetSwitch(bool& value, bool fallback, QCheckBox* box, const QString& key);
    void loadTools();
    void saveTools();
    void loadLogWidgets();
    void saveFolder(QLineEdit* field, const QString& key, QString& inUse);
    // The chosen folder's absolute path (and the new last folder), or empty when cancelled.
    QString selectDir(const QString& title, QString startFolder);
    void chooseFolderInto(QLineEdit* field, const QString& title);
    // Empties the folder of `field` (keeping it), or refuses a folder that must never be emptied.
    void emptyFolder(QLineEdit* field, const QString& what);
    void showMessage(bool success, const QString& text);
    void setScanOnPlugUnavailable();

    std::unique_ptr<Ui_AppOptions> m_ui;
    std::unique_ptr<QSettings> m_settings;
    QStandardItemModel* m_tools = nullptr; // owned by the dialog
    FlashManager* m_flashManager;
    QString m_lastFolder;
};

// Paints a tools-table cell by its row's path: struck out when empty, red and bold when not
// executable, orange for an internal tool other than the three built-in programs.
void setExternalToolStyle(QStyleOptionViewItem* option, const QModelIndex& index);
