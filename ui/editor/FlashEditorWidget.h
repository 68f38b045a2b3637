#pragma once

// The flash editor's tab: one flash file held in memory, its configurations, parameters and
// commands listed, one configuration selected and edited, and a checked copy of it registered as
// what the tab would flash. Every edit ends in the registration follow-up, so the copy follows
// the edits; nothing is written to disk. Owned by its parent widget; GUI thread only.

#include "ui/FlashTab.h"

#include <QFileSystemWatcher>
#include <QSharedPointer>
#include <QString>
#include <QWidget>

#include <memory>

class FlashCommandItemModel;
class FlashConfigurationItemModel;
class FlashFileManager;
class FlashParameter;
class FlashParameterItemModel;

namespace Ui {
class FlashEditorWidget;
}

class FlashEditorWidget : public QWidget, public FlashTab
{
    Q_OBJECT

public:
    explicit FlashEditorWidget(QWidget* parent = nullptr);
    ~FlashEditorWidget() override;

    // Loads `path` and selects its default configuration; a load is no edit: it neither marks the
    // file modified nor registers. The path is kept for a reload. A refused file keeps the one
    // loaded before, said in a critical box unless `quiet`.
    bool loadFile(const QString& path, bool quiet);

    QSharedPointer<FlashConfiguration> getCurrentFlashFile() const override;
    // Empty without a registered configuration; else "*" once a file reloaded from disk has been
    // edited, then the registered configuration's name in brackets.
    QString getCurrentFlashFileId() const override;
    void onEnter() override;
    // Forgets the editor's stored state (".editor" in the configuration folder) while the
    // settings ask the editor to start afresh.
    void mainWindowQuit() override;
    // Only flash files: the editor unpacks no archive.
    bool allowFileDrop(QDropEvent* event) const override;
    void fileDropped(QDropEvent* event) override;
    QWidget* getWidget() override;
    QObject* getEventMgr() override;
    bool needDeviceArea() override;

    // A parameter of one value (kind `Value`, keyed by `valueId`); the file is not touched.
    // Instances: the file, temporary-file and string values with their maps.
    template <typename Value, typename ValueMap>
    static QSharedPointer<FlashParameter> createParameter(const QString& id, const QString& name, const QString& valueId,
                                                          const QString& value, const QString& description);

signals:
    // After every registration: whether a configuration is registered now.
    void flashFileChanged(bool registered);
    // The newly selected configuration has documentation.
    void documentationChanged();

public slots:
    // Watches `folder` (and nothing else) for command templates; the chooser follows its files.
    void setUserTemplatesFolder(const QString& folder);
    // Registers a copy of the selected configuration, or none when it reports an error.
    void onRegisterConfiguration();
    // The user templates folder of the settings.
    void init();

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private slots:
    void onAddConfiguration();
    void onRemoveConfiguration();
    void onMakeConfigurationDefault();
    void onStartStateChange(int index);
    void onAddParameter();
    void onEditParameter();
    void onRemoveParameter();
    void onAddCommand();
    void onEditCommand();
    void onRemoveCommand();
    void onCommandUp();
    void onCommandDown();
    // Inserts the chosen template's commands below the selected ones, used by the selected
    // configuration only, with the parameters they refer to; asks for the template's inputs first.
    void onAddTemplateCommand();
    // The chooser lists the compiled-in templates, then the user folder's, skipping broken files.
    void reloadTemplates();
    // Asks, then reloads the file from disk: edits are dropped and later ones show in the file id.
    void onResetFile();
    // The follow-up of every edit: marks the file modified and registers, unless loading.
    void onAutoRegisterConfiguration();
    // The selector moved: the lists read through the new configuration, which is registered.
    void onConfigurationChange();
    void updateUiState();
    // Advanced mode shows the parameters and the command tools; a double click edits a command.
    void setAdvancedUi(bool advanced);
    void onChangeFlashGroups();

private:
    QSharedPointer<FlashConfiguration> selectedConfiguration() const;
    // The edited file becomes `file`; the lists show it.
    void setEditedFile(const QSharedPointer<FlashFileManager>& file);
    void selectConfiguration(const QSharedPointer<FlashConfiguration>& configuration);
    void connectControls();
    // Runs the parameter dialog on `parameter` (null: a new one) and stores what the user confirmed.
    void runAddOrEditParameterUi(const QSharedPointer<FlashParameter>& parameter);
    // Moves the selected commands one row up (-1) or down (1), their uses and the selection with them.
    void moveSelectedCommands(int step);

    std::unique_ptr<Ui::FlashEditorWidget> ui;
    std::unique_ptr<FlashParameterItemModel> m_parameterModel;
    std::unique_ptr<FlashCommandItemModel> m_commandModel;
    std::unique_ptr<FlashConfigurationItemModel> m_configurationModel;
    QSharedPointer<FlashFileManager> m_flashFile;
    QSharedPointer<FlashConfiguration> m_registeredConfiguration;
    QString m_filePath;       // the file a reset reloads
    QString m_defaultFolder;  // start folder of the forms' file choosers
    QString m_userTemplatesFolder;
    QFileSystemWatcher m_templatesWatcher;
    bool m_loading = false;     // loadFile fills the tab: no edit, no registration
    bool m_fileBacked = false;  // the file was reloaded from disk
    bool m_modified = false;    // edited since
};
