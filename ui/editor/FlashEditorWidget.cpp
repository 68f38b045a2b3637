#include "ui/editor/FlashEditorWidget.h"

#include "ui_FlashEditorWidget.h"

#include "loader/FlashFileManager.h"
#include "model/FlashParameter.h"
#include "loader/ToolConst.h"
#include "model/FlashParameterValueFile.h"
#include "model/FlashParameterValueString.h"
#include "model/FlashParameterValueTemporaryFile.h"
#include "ui/editor/CommandEditor.h"
#include "ui/editor/CommandTemplateBuilder.h"
#include "ui/editor/CommandTemplateList.h"
#include "ui/editor/FlashCommandItemModel.h"
#include "ui/editor/FlashConfigurationItemModel.h"
#include "ui/editor/FlashGroupsDialog.h"
#include "ui/editor/FlashParameterItemModel.h"
#include "ui/editor/IdentifierCheck.h"
#include "ui/editor/NewConfigurationForm.h"
#include "ui/editor/ParameterEditor.h"
#include "ui/editor/TemplateInputsDialog.h"

#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QItemSelectionModel>
#include <QMessageBox>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <algorithm>

namespace {

using RowOrder = bool (*)(const QModelIndex&, const QModelIndex&);

// Greatest row first: removal keeps the positions still to remove, the insertion point is the
// first element, a move down starts at the bottom.
bool greaterModelIndex(const QModelIndex& a, const QModelIndex& b)
{
    return a.row() > b.row();
}

// Smallest row first: a move up starts at the top.
bool lessModelIndex(const QModelIndex& a, const QModelIndex& b)
{
    return a.row() < b.row();
}

// The rows of `view` whose every column is selected, in `order`; none without a selection model.
QModelIndexList selectedRows(const QAbstractItemView& view, RowOrder order)
{
    const QItemSelectionModel* selection = view.selectionModel();
    if (!selection)
        return {};
    QModelIndexList rows = selection->selectedRows();
    std::sort(rows.begin(), rows.end(), order);
    return rows;
}

// The row that new commands go below: the greatest selected one; -1 without one (the end).
int insertionRow(const QAbstractItemView& view)
{
    const QModelIndexList rows = selectedRows(view, greaterModelIndex);
    return rows.isEmpty() ? -1 : rows.first().row();
}

// Moves the command just appended at `index` up until it stands right below `row`; with `row`
// -1 it stays last. Each swap swaps every configuration's entries too, so its uses travel with
// it. Returns its position: commands added one after another each go below the one before.
unsigned long moveAppendedCommandBelow(FlashFileManager& file, unsigned long index, int row)
{
    if (row < 0)
        return index;
    while (index > 0 && index - 1 > static_cast<unsigned long>(row)) {
        file.swapCommands(index, index - 1);
        --index;
    }
    return index;
}

using Activations = std::list<CommandEditor::ConfigActivation>;

// Runs the command dialog on `command` (null: a new one). True when the user accepted and a
// command was built: `command` is the new object and `activations` the check boxes as left.
bool runCommandUi(const QSharedPointer<FlashFileManager>& file, QSharedPointer<FlashCommand>& command,
                  Activations& activations)
{
    if (!file)
        return false;
    QDialog dialog;
    auto* editor = new CommandEditor(&dialog);
    auto* layout = new QVBoxLayout(&dialog);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Horizontal, &dialog);
    layout->addWidget(editor);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    editor->fillCommandGroups(file->getGroups());
    editor->attachCommand(command, activations);
    dialog.setWindowTitle(QCoreApplication::applicationName());
    dialog.setMinimumSize(350, 400);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    editor->getCommand(command, activations);
    return !command.isNull();
}

// One record per configuration, by id: checked when it runs `command` at `position`; every one
// for a new command (null).
Activations activationsOf(const FlashFileManager& file, const QSharedPointer<FlashCommand>& command,
                          unsigned long position)
{
    Activations activations;
    for (const auto& entry : file.getConfigurationsList()) {
        const bool runs = !command || entry.second->getCommand(position) == command;
        activations.push_back({entry.second->getID(), entry.second->getName(), runs});
    }
    return activations;
}

// The checked configurations run `command` at `position`, the others nothing there.
void applyActivations(const FlashFileManager& file, unsigned long position, const QSharedPointer<FlashCommand>& command,
                      const Activations& activations)
{
    for (const CommandEditor::ConfigActivation& activation : activations) {
        if (const QSharedPointer<FlashConfiguration> configuration = file.getConfiguration(activation.id))
            configuration->setCommand(position, activation.activated ? command : QSharedPointer<FlashCommand>());
    }
}

// True when one of the file's commands refers to `parameter` (with `valueId`, when not null).
bool isUsedByCommand(const FlashFileManager& file, const QString& parameter, const QString& valueId = QString())
{
    for (const QSharedPointer<FlashCommand>& command : file.getCommandList()) {
        if (command && (valueId.isNull() ? command->hasParameter(parameter) : command->hasParameter(parameter, valueId)))
            return true;
    }
    return false;
}

} // namespace

FlashEditorWidget::FlashEditorWidget(QWidget* parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::FlashEditorWidget>())
    , m_parameterModel(std::make_unique<FlashParameterItemModel>())
    , m_commandModel(std::make_unique<FlashCommandItemModel>())
    , m_configurationModel(std::make_unique<FlashConfigurationItemModel>())
{
    ui->setupUi(this);
    setAcceptDrops(true);
    ui->comboBoxConfiguration->setModel(m_configurationModel.get());
    ui->tableViewParameters->setModel(m_parameterModel.get());
    ui->tableViewCommands->setModel(m_commandModel.get());
    for (const NewConfigurationForm::StartState& entry : NewConfigurationForm::startStates())
        ui->comboBoxStartState->addItem(QString::fromLatin1(entry.text), int(entry.state));
    connectControls();
    reloadTemplates();
    setAdvancedUi(false);
    updateUiState();
}

FlashEditorWidget::~FlashEditorWidget() = default;

void FlashEditorWidget::connectControls()
{
    // The selector's own moves are the user's: the tab follows its programmatic moves itself.
    connect(ui->comboBoxConfiguration, qOverload<int>(&QComboBox::activated), this, &FlashEditorWidget::onConfigurationChange);
    connect(ui->comboBoxStartState, qOverload<int>(&QComboBox::currentIndexChanged), this, &FlashEditorWidget::onStartStateChange);
    connect(ui->pushButtonAddConfiguration, &QPushButton::clicked, this, &FlashEditorWidget::onAddConfiguration);
    connect(ui->pushButtonRemoveConfiguration, &QPushButton::clicked, this, &FlashEditorWidget::onRemoveConfiguration);
    connect(ui->pushButtonDefaultConfiguration, &QPushButton::clicked, this, &FlashEditorWidget::onMakeConfigurationDefault);
    connect(ui->pushButtonRegisterConfiguration, &QPushButton::clicked, this, &FlashEditorWidget::onRegisterConfiguration);
    connect(ui->pushButtonFlashGroups, &QPushButton::clicked, this, &FlashEditorWidget::onChangeFlashGroups);
    connect(ui->pushButtonAddParameter, &QPushButton::clicked, this, &FlashEditorWidget::onAddParameter);
    connect(ui->pushButtonEditParameter, &QPushButton::clicked, this, &FlashEditorWidget::onEditParameter);
    connect(ui->pushButtonRemoveParameter, &QPushButton::clicked, this, &FlashEditorWidget::onRemoveParameter);
    connect(ui->pushButtonAddCommand, &QPushButton::clicked, this, &FlashEditorWidget::onAddCommand);
    connect(ui->pushButtonEditCommand, &QPushButton::clicked, this, &FlashEditorWidget::onEditCommand);
    connect(ui->pushButtonRemoveCommand, &QPushButton::clicked, this, &FlashEditorWidget::onRemoveCommand);
    connect(ui->pushButtonCommandUp, &QPushButton::clicked, this, &FlashEditorWidget::onCommandUp);
    connect(ui->pushButtonCommandDown, &QPushButton::clicked, this, &FlashEditorWidget::onCommandDown);
    connect(ui->pushButtonResetFile, &QPushButton::clicked, this, &FlashEditorWidget::onResetFile);
    connect(ui->pushButtonAddTemplateCommand, &QPushButton::clicked, this, &FlashEditorWidget::onAddTemplateCommand);
    connect(&m_templatesWatcher, &QFileSystemWatcher::directoryChanged, this, &FlashEditorWidget::reloadTemplates);
    connect(&m_templatesWatcher, &QFileSystemWatcher::fileChanged, this, &FlashEditorWidget::reloadTemplates);
    connect(ui->checkBoxAdvanced, &QCheckBox::toggled, this, &FlashEditorWidget::setAdvancedUi);
    connect(ui->tableViewCommands->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &FlashEditorWidget::updateUiState);
    connect(ui->tableViewParameters->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &FlashEditorWidget::updateUiState);
}

bool FlashEditorWidget::loadFile(const QString& path, bool quiet)
{
    const QSharedPointer<FlashFileManager> file = FlashFileManager::loadFromFile(path, true);
    if (!file) {
        if (!quiet)
            QMessageBox::critical(this, QCoreApplication::applicationName(), tr("Failed to load file"), QMessageBox::Ok);
        return false;
    }
    m_loading = true;
    m_filePath = path;
    m_flashFile = file;
    m_parameterModel->setSource(m_flashFile);
    m_commandModel->setSource(m_flashFile);
    m_configurationModel->setSource(m_flashFile);
    updateUiState();
    selectConfiguration(m_flashFile->getDefaultConfiguration());
    onConfigurationChange();
    m_loading = false;
    return true;
}

QSharedPointer<FlashConfiguration> FlashEditorWidget::getCurrentFlashFile() const
{
    return m_registeredConfiguration;
}

QString FlashEditorWidget::getCurrentFlashFileId() const
{
    if (!m_registeredConfiguration)
        return QString();
    const QString mark = m_fileBacked && m_modified ? QStringLiteral("*") : QString();
    return mark + QStringLiteral(" [") + m_registeredConfiguration->getName() + QLatin1Char(']');
}

void FlashEditorWidget::onEnter()
{
    onRegisterConfiguration();
}

void FlashEditorWidget::mainWindowQuit()
{
    // saveFile stores nothing, so whatever state was stored before is stale.
    if (ToolConst::RELOAD_EDITOR_TAB_SETTINGS)
        QFile::remove(QDir(ToolConst::onUsingConfigCacheDirName).absoluteFilePath(QStringLiteral(".editor")));
}

bool FlashEditorWidget::allowFileDrop(QDropEvent* event) const
{
    return !firstDroppedFile(event, {FileManager2::FlashFile}).isEmpty();
}

void FlashEditorWidget::fileDropped(QDropEvent* event)
{
    const QString path = firstDroppedFile(event, {FileManager2::FlashFile});
    if (!path.isEmpty())
        loadFile(path, false);
}

QWidget* FlashEditorWidget::getWidget()
{
    return this;
}

QObject* FlashEditorWidget::getEventMgr()
{
    return this;
}

bool FlashEditorWidget::needDeviceArea()
{
    return true;
}

void FlashEditorWidget::dragEnterEvent(QDragEnterEvent* event)
{
    if (!event)
        return;
    if (allowFileDrop(event))
        event->acceptProposedAction();
    else
        event->ignore();
}

void FlashEditorWidget::dropEvent(QDropEvent* event)
{
    if (!event)
        return;
    if (!allowFileDrop(event)) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    fileDropped(event);
}

QSharedPointer<FlashConfiguration> FlashEditorWidget::selectedConfiguration() const
{
    if (!m_flashFile)
        return {};
    return m_configurationModel->getConfigurationFromIndex(ui->comboBoxConfiguration->currentIndex());
}

void FlashEditorWidget::selectConfiguration(const QSharedPointer<FlashConfiguration>& configuration)
{
    ui->comboBoxConfiguration->setCurrentIndex(m_configurationModel->getIndexFromConfiguration(configuration, 0).row());
}

void FlashEditorWidget::onRegisterConfiguration()
{
    const QSharedPointer<FlashConfiguration> configuration = selectedConfiguration();
    m_registeredConfiguration.clear();
    if (configuration) {
        const QString error = configuration->getError();
        if (!error.isEmpty()) {
            logMessage(Logger::ERROR, error);
        } else {
            m_registeredConfiguration = configuration->clone();
            // A copy to flash still belongs to the edited file: its folder and platforms are the file's.
            m_registeredConfiguration->setFlashFileManager(m_flashFile);
            logMessage(Logger::DEBUG, m_registeredConfiguration->getDetails());
        }
    }
    emit flashFileChanged(!m_registeredConfiguration.isNull());
    updateUiState();
}

void FlashEditorWidget::onAutoRegisterConfiguration()
{
    if (m_loading)
        return;
    m_modified = true;
    onRegisterConfiguration();
}

void FlashEditorWidget::onConfigurationChange()
{
    const QSharedPointer<FlashConfiguration> configuration = selectedConfiguration();
    m_parameterModel->setConfiguration(configuration);
    m_commandModel->setConfiguration(configuration);
    if (configuration) {
        // Showing the configuration's state is no change of it.
        const QSignalBlocker blocker(ui->comboBoxStartState);
        ui->comboBoxStartState->setCurrentIndex(ui->comboBoxStartState->findData(int(configuration->getStartState())));
    }
    onAutoRegisterConfiguration();
    if (configuration && configuration->hasDocumentation())
        emit documentationChanged();
    updateUiState();
}

void FlashEditorWidget::onStartStateChange(int index)
{
    const QSharedPointer<FlashConfiguration> configuration = selectedConfiguration();
    if (!configuration || index < 0)
        return;
    configuration->setStartState(DeviceState(ui->comboBoxStartState->itemData(index).toInt()));
    onAutoRegisterConfiguration();
}

void FlashEditorWidget::onAddConfiguration()
{
    NewConfigurationForm::Answers answers;
    QString error;
    switch (NewConfigurationForm::run(m_flashFile.data(), answers, error)) {
    case NewConfigurationForm::Outcome::InvalidForm:
        logMessage(Logger::TRACE, QStringLiteral("Invalid form description"));
        return;
    case NewConfigurationForm::Outcome::InvalidAnswer:
        logMessage(Logger::TRACE, error);
        return;
    case NewConfigurationForm::Outcome::Cancelled:
        return;
    case NewConfigurationForm::Outcome::Accepted:
        break;
    }
    if (!m_flashFile) {
        m_flashFile = QSharedPointer<FlashFileManager>::create();
        m_commandModel->setSource(m_flashFile);
        m_parameterModel->setSource(m_flashFile);
        m_configurationModel->setSource(m_flashFile);
    }
    const auto configuration = QSharedPointer<FlashConfiguration>::create(
        answers.startState, FlashConfiguration::UnknownGroupsDisabled, answers.id, answers.name, answers.description,
        answers.brief, answers.documentation, answers.hiddenToEndUser, m_flashFile->getParametersList(),
        FlashConfiguration::ParameterValues());
    configuration->setFlashFileManager(m_flashFile);
    m_flashFile->addConfiguration(configuration);  // the form has refused identifiers the file has
    m_configurationModel->onDataChanged();
    m_parameterModel->onDataChanged();
    selectConfiguration(configuration);
    onConfigurationChange();
}

void FlashEditorWidget::onRemoveConfiguration()
{
    const QSharedPointer<FlashConfiguration> configuration = selectedConfiguration();
    if (!configuration || !m_flashFile)
        return;
    const QString title = tr("Remove configuration");
    if (configuration == m_flashFile->getDefaultConfiguration()) {
        QMessageBox::critical(this, title, tr("Cannot remove the default configuration '%1'.").arg(configuration->getName()),
                              QMessageBox::Ok);
        return;
    }
    const QMessageBox::StandardButton answer =
        QMessageBox::question(this, title, tr("Do you really want to remove the configuration '%1'?").arg(configuration->getName()),
                              QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer == QMessageBox::Yes) {
        // Its commands, parameters and groups stay in the file.
        m_flashFile->removeConfiguration(configuration);
        m_configurationModel->onDataChanged();
        selectConfiguration(m_flashFile->getDefaultConfiguration());
        onConfigurationChange();
    }
    updateUiState();
}

void FlashEditorWidget::onMakeConfigurationDefault()
{
    if (!m_flashFile)
        return;
    m_flashFile->setDefaultConfiguration(selectedConfiguration());
    m_configurationModel->onDataChanged();
}

void FlashEditorWidget::onChangeFlashGroups()
{
    const QSharedPointer<FlashConfiguration> configuration = selectedConfiguration();
    if (!configuration)
        return;
    switch (FlashGroupsDialog::run(*configuration)) {
    case FlashGroupsDialog::Outcome::InvalidForm:
        logMessage(Logger::ERROR, QStringLiteral("Cannot create dialog for group configuration: Invalid form description"));
        return;
    case FlashGroupsDialog::Outcome::Cancelled:
        return;
    case FlashGroupsDialog::Outcome::Applied:
        onAutoRegisterConfiguration();
        return;
    }
}

void FlashEditorWidget::onAddParameter()
{
    if (!m_flashFile || !selectedConfiguration())
        return;
    runAddOrEditParameterUi(nullptr);
}

void FlashEditorWidget::onEditParameter()
{
    const QModelIndexList rows = selectedRows(*ui->tableViewParameters, lessModelIndex);
    if (!m_flashFile || !selectedConfiguration() || rows.size() != 1)
        return;
    if (const QSharedPointer<FlashParameter> parameter = m_parameterModel->getParameterDataFromIndex(rows.first()))
        runAddOrEditParameterUi(parameter);
}

void FlashEditorWidget::runAddOrEditParameterUi(const QSharedPointer<FlashParameter>& parameter)
{
    QDialog dialog;
    auto* layout = new QVBoxLayout(&dialog);
    auto* editor = new ParameterEditor(m_defaultFolder, &dialog);
    if (parameter)
        editor->setParameter(parameter);
    editor->setConfigurationList(m_flashFile->getConfigurationsList());
    layout->addWidget(editor);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Horizontal, &dialog);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    dialog.setWindowTitle(QCoreApplication::applicationName());

    QSharedPointer<FlashParameter> result;
    std::map<QString, QString> selections;
    bool accepted = false;
    while (!accepted && dialog.exec() == QDialog::Accepted) {
        selections.clear();
        editor->getParameter(result, selections);
        // Storing under an identifier another parameter has would silently replace that one.
        const QString& id = result->getId();
        const bool taken = (!parameter || id != parameter->getId()) && m_flashFile->getParameter(id);
        const QString refused = IdentifierCheck::refusal(id, taken);
        accepted = refused.isEmpty();
        if (!accepted)
            QMessageBox::critical(&dialog, QCoreApplication::applicationName(), refused, QMessageBox::Ok);
    }
    if (accepted && parameter) {
        for (const auto& value : parameter->getValues()) {
            if (result->getValues().count(value.first) != 0 || !isUsedByCommand(*m_flashFile, result->getId(), value.first))
                continue;
            QMessageBox::critical(this, QCoreApplication::applicationName(),
                                  tr("The parameter value '%1' is used by at least one command.\n"
                                     "Please remove or edit the related command first.")
                                      .arg(value.first),
                                  QMessageBox::Ok);
            accepted = false;
        }
    }
    if (accepted) {
        m_flashFile->setParameter(result);
        for (const auto& selection : selections) {
            if (const QSharedPointer<FlashConfiguration> configuration = m_flashFile->getConfiguration(selection.first))
                configuration->setParameterValue(result->getId(), selection.second);
        }
        m_parameterModel->onDataChanged();
        onAutoRegisterConfiguration();
    }
    updateUiState();
}

void FlashEditorWidget::onRemoveParameter()
{
    const QModelIndexList rows = selectedRows(*ui->tableViewParameters, lessModelIndex);
    if (!m_flashFile || rows.isEmpty())
        return;
    for (const QModelIndex& row : rows) {
        const QString id = row.data().toString();
        if (m_flashFile->removeParameter(id)) {
            for (const auto& configuration : m_flashFile->getConfigurationsList())
                configuration.second->setParameter(id, nullptr);
        } else if (isUsedByCommand(*m_flashFile, id)) {
            QMessageBox::critical(this, QCoreApplication::applicationName(),
                                  tr("The parameter '%1' is used by at least one command.\n"
                                     "Please remove or edit the related command first.")
                                      .arg(id),
                                  QMessageBox::Ok);
        }
    }
    m_parameterModel->onDataChanged();
    onAutoRegisterConfiguration();
    updateUiState();
}

void FlashEditorWidget::onAddCommand()
{
    if (!m_flashFile)
        return;
    Activations activations = activationsOf(*m_flashFile, nullptr, 0);
    QSharedPointer<FlashCommand> command;
    if (runCommandUi(m_flashFile, command, activations)) {
        const unsigned long position = m_flashFile->appendCommand(command);
        applyActivations(*m_flashFile, position, command, activations);
        moveAppendedCommandBelow(*m_flashFile, position, insertionRow(*ui->tableViewCommands));
        m_commandModel->onDataChanged();
        onAutoRegisterConfiguration();
    }
    updateUiState();
}

void FlashEditorWidget::onEditCommand()
{
    const QModelIndexList rows = selectedRows(*ui->tableViewCommands, greaterModelIndex);
    if (!m_flashFile || rows.size() != 1)
        return;
    const QSharedPointer<FlashCommand> command = m_commandModel->getCommandFromIndex(rows.first());
    if (!command)
        return;
    const auto position = static_cast<unsigned long>(rows.first().row());
    Activations activations = activationsOf(*m_flashFile, command, position);
    QSharedPointer<FlashCommand> edited = command;
    if (runCommandUi(m_flashFile, edited, activations)) {
        // A new object: the old one leaves the file and every configuration.
        m_flashFile->setCommand(position, edited);
        applyActivations(*m_flashFile, position, edited, activations);
        m_commandModel->onDataChanged();
        onAutoRegisterConfiguration();
    }
    updateUiState();
}

void FlashEditorWidget::init()
{
    setUserTemplatesFolder(ToolConst::getUserCommandTemplatesDirectory());
}

void FlashEditorWidget::setUserTemplatesFolder(const QString& folder)
{
    m_userTemplatesFolder = folder;
    const QStringList watched = m_templatesWatcher.files() + m_templatesWatcher.directories();
    if (!watched.isEmpty())
        m_templatesWatcher.removePaths(watched);
    if (!folder.isEmpty())
        m_templatesWatcher.addPath(folder);
    reloadTemplates();
}

void FlashEditorWidget::reloadTemplates()
{
    QList<CommandTemplateList::Skipped> skipped;
    const QList<CommandTemplateList::Entry> entries = CommandTemplateList::read(m_userTemplatesFolder, skipped);
    for (const CommandTemplateList::Skipped& file : skipped)
        logMessage(Logger::WARNING, QStringLiteral("Skipping command template %1: %2").arg(file.path, file.reason));
    // The same template stays chosen across a refresh.
    const QString chosen = ui->comboBoxTemplates->currentData(Qt::UserRole + 1).toString();
    ui->comboBoxTemplates->clear();
    for (const CommandTemplateList::Entry& entry : entries) {
        ui->comboBoxTemplates->addItem(entry.text, QVariant::fromValue(entry.document));
        ui->comboBoxTemplates->setItemData(ui->comboBoxTemplates->count() - 1, entry.path, Qt::UserRole + 1);
    }
    const int row = ui->comboBoxTemplates->findData(chosen, Qt::UserRole + 1);
    if (row >= 0)
        ui->comboBoxTemplates->setCurrentIndex(row);
    updateUiState();
}

void FlashEditorWidget::onAddTemplateCommand()
{
    const QSharedPointer<FlashConfiguration> configuration = selectedConfiguration();
    const int chosen = ui->comboBoxTemplates->currentIndex();
    JsonObject document;
    if (!m_flashFile || !configuration || chosen < 0
        || !document.setContent(ui->comboBoxTemplates->itemData(chosen, Qt::UserRole)))
        return;
    const QString name = ui->comboBoxTemplates->itemText(chosen);
    const QString path = ui->comboBoxTemplates->itemData(chosen, Qt::UserRole + 1).toString();

    JsonObjectList inputs;
    JsonObjectList commands;
    for (const auto& list : {std::make_pair(QStringLiteral("parameters"), &inputs),
                             std::make_pair(QStringLiteral("commands"), &commands)}) {
        if (document.getObjectList(list.first, *list.second) == JsonObject::WrongType) {
            logMessage(Logger::ERROR, QStringLiteral("Invalid template ") + name);
            logMessage(Logger::TRACE, QStringLiteral("Invalid type for %1 key in template %2").arg(list.first, path));
            QMessageBox::critical(this, QCoreApplication::applicationName(), tr("Invalid template %1").arg(name),
                                  QMessageBox::Ok);
            return;
        }
    }

    JsonObject answers;
    if (!inputs.isEmpty()
        && TemplateInputsDialog::ask(inputs, &m_defaultFolder, answers) != TemplateInputsDialog::Outcome::Accepted)
        return;
    CommandTemplateBuilder builder(*m_flashFile, inputs);
    builder.addAnswers(answers);
    QString failedTool;
    if (!builder.buildCommands(commands, failedTool)) {
        logMessage(Logger::ERROR, QStringLiteral("Fail to create command '") + failedTool + QLatin1Char('\''));
        QMessageBox::critical(this, QCoreApplication::applicationName(),
                              tr("Fail to create command '%1'.").arg(failedTool) + QLatin1Char('\n')
                                  + tr("Check logs for more details."),
                              QMessageBox::Ok);
        return;
    }

    // Only the edited configuration runs the new commands; they go below the selection, in order.
    int row = insertionRow(*ui->tableViewCommands);
    for (const QSharedPointer<FlashCommand>& command : builder.commands()) {
        unsigned long index = m_flashFile->appendCommand(command);
        configuration->setCommand(index, command);
        index = moveAppendedCommandBelow(*m_flashFile, index, row);
        if (row >= 0)
            row = static_cast<int>(index);
    }
    for (const QSharedPointer<FlashParameter>& parameter : builder.usedParameters())
        m_flashFile->setParameter(parameter);
    m_commandModel->onDataChanged();
    m_parameterModel->onDataChanged();
    onAutoRegisterConfiguration();
    updateUiState();
}

void FlashEditorWidget::onRemoveCommand()
{
    const QModelIndexList rows = selectedRows(*ui->tableViewCommands, greaterModelIndex);
    if (!m_flashFile || rows.isEmpty())
        return;
    for (const QModelIndex& row : rows)
        m_flashFile->removeCommand(static_cast<unsigned long>(row.row()));
    m_commandModel->onDataChanged();
    ui->tableViewCommands->selectionModel()->clear();
    onAutoRegisterConfiguration();
    updateUiState();
}

void FlashEditorWidget::onCommandUp()
{
    moveSelectedCommands(-1);
}

void FlashEditorWidget::onCommandDown()
{
    moveSelectedCommands(1);
}

void FlashEditorWidget::moveSelectedCommands(int step)
{
    const bool up = step < 0;
    const QModelIndexList rows = selectedRows(*ui->tableViewCommands, up ? lessModelIndex : greaterModelIndex);
    if (!m_flashFile || rows.isEmpty())
        return;
    // A selected block already at the edge stays; the rows behind it close up on it.
    int edge = up ? 0 : static_cast<int>(m_flashFile->getCommandList().size()) - 1;
    for (const QModelIndex& row : rows) {
        if (row.row() == edge) {
            edge -= step;
            continue;
        }
        m_flashFile->swapCommands(static_cast<unsigned long>(row.row()), static_cast<unsigned long>(row.row() + step));
    }
    const auto staysAtEdge = [&](int r) { return up ? r <= edge : r >= edge; };
    QItemSelection moved;
    for (const QModelIndex& cell : ui->tableViewCommands->selectionModel()->selectedIndexes()) {
        const QModelIndex target = staysAtEdge(cell.row()) ? cell : cell.sibling(cell.row() + step, cell.column());
        moved.select(target, target);
    }
    m_commandModel->onDataChanged();
    ui->tableViewCommands->selectionModel()->select(moved, QItemSelectionModel::ClearAndSelect);
    onAutoRegisterConfiguration();
    updateUiState();
}

void FlashEditorWidget::onResetFile()
{
    if (m_filePath.isEmpty() || !m_flashFile)
        return;
    const QString question = tr("Do you want to erase all data and reload '%1'?", "%1: File name")
                                 .arg(QDir::toNativeSeparators(m_filePath));
    if (QMessageBox::question(this, QCoreApplication::applicationName(), question, QMessageBox::Yes | QMessageBox::No,
                              QMessageBox::No)
        != QMessageBox::Yes)
        return;
    loadFile(m_filePath, false);
    m_fileBacked = true;
    m_modified = false;
    updateUiState();
}

void FlashEditorWidget::updateUiState()
{
    const QSharedPointer<FlashConfiguration> configuration = selectedConfiguration();
    const bool selected = !configuration.isNull();
    const int commandRows = ui->tableViewCommands->selectionModel()->selectedRows().size();
    const int parameterRows = ui->tableViewParameters->selectionModel()->selectedRows().size();
    for (QWidget* control :
         {static_cast<QWidget*>(ui->comboBoxConfiguration), static_cast<QWidget*>(ui->comboBoxStartState),
          static_cast<QWidget*>(ui->tableViewParameters), static_cast<QWidget*>(ui->tableViewCommands),
          static_cast<QWidget*>(ui->pushButtonRemoveConfiguration),
          static_cast<QWidget*>(ui->pushButtonDefaultConfiguration),
          static_cast<QWidget*>(ui->pushButtonRegisterConfiguration)})
        control->setEnabled(selected);
    ui->pushButtonAddParameter->setEnabled(selected);
    ui->pushButtonEditParameter->setEnabled(selected && parameterRows == 1);
    ui->pushButtonRemoveParameter->setEnabled(selected && parameterRows > 0);
    ui->pushButtonAddCommand->setEnabled(selected);
    ui->pushButtonEditCommand->setEnabled(selected && commandRows == 1);
    for (QPushButton* button : {ui->pushButtonRemoveCommand, ui->pushButtonCommandUp, ui->pushButtonCommandDown})
        button->setEnabled(selected && commandRows > 0);
    ui->pushButtonFlashGroups->setEnabled(selected && configuration->hasGroups());
    ui->pushButtonResetFile->setEnabled(m_flashFile && !m_filePath.isEmpty());
    const bool templates = selected && ui->comboBoxTemplates->count() > 0;
    ui->comboBoxTemplates->setEnabled(templates);
    ui->pushButtonAddTemplateCommand->setEnabled(templates);
}

void FlashEditorWidget::setAdvancedUi(bool advanced)
{
    ui->groupBoxParameters->setVisible(advanced);
    ui->widgetCommandTools->setVisible(advanced);
    ui->pushButtonAddCommand->setVisible(advanced);
    ui->pushButtonEditCommand->setVisible(advanced);
    ui->checkBoxAdvanced->setChecked(advanced);
    // Disconnected first: however often the mode is set, one double click edits once.
    disconnect(ui->tableViewCommands, &QAbstractItemView::doubleClicked, this, &FlashEditorWidget::onEditCommand);
    if (advanced)
        connect(ui->tableViewCommands, &QAbstractItemView::doubleClicked, this, &FlashEditorWidget::onEditCommand);
}

template <typename Value, typename ValueMap>
QSharedPointer<FlashParameter> FlashEditorWidget::createParameter(const QString& id, const QString& name,
                                                                  const QString& valueId, const QString& value,
                                                                  const QString& description)
{
    ValueMap values;
    values[valueId] = new Value(valueId, value, description);  // the parameter takes it over
    return QSharedPointer<FlashParameter>::create(id, name, values);
}

template QSharedPointer<FlashParameter>
FlashEditorWidget::createParameter<FlashParameterValueFile, std::map<QString, FlashParameterValueFile*>>(
    const QString&, const QString&, const QString&, const QString&, const QString&);
template QSharedPointer<FlashParameter> FlashEditorWidget::createParameter<
    FlashParameterValueTemporaryFile, std::map<QString, FlashParameterValueTemporaryFile*>>(
    const QString&, const QString&, const QString&, const QString&, const QString&);
template QSharedPointer<FlashParameter>
FlashEditorWidget::createParameter<FlashParameterValueString, std::map<QString, FlashParameterValueString*>>(
    const QString&, const QString&, const QString&, const QString&, const QString&);
