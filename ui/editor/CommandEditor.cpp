#include "ui/editor/CommandEditor.h"

#include "ui_CommandEditor.h"

#include "loader/ExternalToolManager.h"
#include "model/FlashCommand.h"
#include "model/FlashGroup.h"
#include "tools/AdbFlashCommand.h"
#include "tools/DFUFlashCommand.h"
#include "tools/DravikFlashCommand.h"
#include "tools/FastbootFlashCommand.h"
#include "tools/NotifierToolFlashCommand.h"
#include "tools/PopupFlashCommand.h"
#include "tools/ShellFlashCommand.h"
#include "tools/SleepFlashCommand.h"
#include "tools/WaitForDeviceFlashCommand.h"
#include "ui/editor/EditorStyle.h"
#include "ui/editor/FormWidget.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QMessageBox>

#include <limits>

namespace {

constexpr int kFormRole = Qt::UserRole;
constexpr int kToolIdRole = Qt::UserRole + 1;
constexpr int kBoxesPerRow = 3;

const QString kToolField = QStringLiteral("tool");
const QString kTimeoutField = QStringLiteral("timeout");

// A built-in kind the editor offers, described by the kind itself.
struct OfferedKind
{
    QString (*name)();
    QString (*id)();
    JsonObjectList (*form)();
};

// Cat, pass and set-variable commands come only from files and templates.
const OfferedKind kOfferedKinds[] = {
    {&AdbFlashCommand::toolName, &AdbFlashCommand::toolId, &AdbFlashCommand::getJsonEditorInterfaceTemplate},
    {&FastbootFlashCommand::toolName, &FastbootFlashCommand::toolId, &FastbootFlashCommand::getJsonEditorInterfaceTemplate},
    {&PopupFlashCommand::toolName, &PopupFlashCommand::toolId, &PopupFlashCommand::getJsonEditorInterfaceTemplate},
    {&NotifierToolFlashCommand::toolName, &NotifierToolFlashCommand::toolId,
     &NotifierToolFlashCommand::getJsonEditorInterfaceTemplate},
    {&SleepFlashCommand::toolName, &SleepFlashCommand::toolId, &SleepFlashCommand::getJsonEditorInterfaceTemplate},
    {&WaitForDeviceFlashCommand::toolName, &WaitForDeviceFlashCommand::toolId,
     &WaitForDeviceFlashCommand::getJsonEditorInterfaceTemplate},
    {&DravikFlashCommand::toolName, &DravikFlashCommand::toolId, &DravikFlashCommand::getJsonEditorInterfaceTemplate},
    {&DFUFlashCommand::toolName, &DFUFlashCommand::toolId, &DFUFlashCommand::getJsonEditorInterfaceTemplate},
};

QString toolIdOf(const JsonObjectList& form)
{
    QString toolId;
    const auto field = form.findFromField(QStringLiteral("id"), kToolField);
    if (field != form.end())
        field->getString(QStringLiteral("value"), toolId);
    return toolId;
}

} // namespace

CommandEditor::CommandEditor(QWidget* parent)
    : QWidget(parent)
    , m_form(new FormWidget(this))
    , ui(std::make_unique<Ui::CommandEditor>())
{
    ui->setupUi(this);
    ui->m_pkFormLayout->insertRow(1, m_form);
    for (const OfferedKind& kind : kOfferedKinds)
        addTool(kind.name(), kind.id(), kind.form());
    JsonObjectList shellForm = ShellFlashCommand::getJsonEditorInterfaceTemplate();
    const auto toolField = shellForm.findFromField(QStringLiteral("id"), kToolField);
    if (toolField != shellForm.end()) {
        for (const QString& toolId : ExternalToolManager::instance().getExternalTools().keys()) {
            toolField->setValue(QStringLiteral("value"), toolId);
            addTool(toolId, toolId, shellForm);
        }
    }
    connect(ui->m_pkCommandType, qOverload<int>(&QComboBox::currentIndexChanged), this, &CommandEditor::onToolChanged);
    ui->m_pkCommandType->setCurrentIndex(-1);
    ui->m_pkCommandType->setCurrentIndex(ui->m_pkCommandType->findData(FastbootFlashCommand::toolId(), kToolIdRole));
    setStyleSheet(EditorStyle::fontStyleSheet());
}

CommandEditor::~CommandEditor() = default;

void CommandEditor::addTool(const QString& name, const QString& toolId, const JsonObjectList& form)
{
    QComboBox* tools = ui->m_pkCommandType;
    int row = 0;
    while (row < tools->count() && !(name < tools->itemText(row)))
        ++row;
    tools->insertItem(row, name, form.toQVariantList());
    tools->setItemData(row, toolId, kToolIdRole);
}

void CommandEditor::fillCommandGroups(const std::map<QString, QSharedPointer<FlashGroup>>& groups)
{
    ui->m_pkCommandGroup->clear();
    ui->m_pkCommandGroup->addItem(tr("none"), QString(""));
    for (const auto& group : groups)
        ui->m_pkCommandGroup->addItem(group.second->getName(), group.first);
}

void CommandEditor::attachCommand(const QSharedPointer<FlashCommand>& command,
                                  const std::list<ConfigActivation>& activations)
{
    if (command) {
        const JsonObjectList form = command->getJsonEditorInterface();
        if (form.findFromField(QStringLiteral("id"), kToolField) == form.end())
            return;
        const QString toolId = toolIdOf(form);
        int row = ui->m_pkCommandType->findData(toolId, kToolIdRole);
        // A kind the list does not offer is still edited as what it is, never as another kind.
        if (row < 0)
            addTool(toolId, toolId, form);
        row = ui->m_pkCommandType->findData(toolId, kToolIdRole);
        ui->m_pkCommandType->setItemData(row, form.toQVariantList(), kFormRole);
        // Through -1, so that the form is rebuilt with the command's values even when its tool was current.
        ui->m_pkCommandType->setCurrentIndex(-1);
        ui->m_pkCommandType->setCurrentIndex(row);
        const int group = ui->m_pkCommandGroup->findData(command->getGroup());
        if (group >= 0)
            ui->m_pkCommandGroup->setCurrentIndex(group);
        m_attached = command->toJson();
        m_attachedToolId = toolId;
    }

    for (QCheckBox* box : ui->m_pkConfigsGroup->findChildren<QCheckBox*>()) {
        ui->gridLayout->removeWidget(box);
        box->hide();
        box->setParent(nullptr);  // no longer one of the boxes read back
        box->deleteLater();
    }
    ui->gridLayout->invalidate();
    int position = 0;
    for (const ConfigActivation& activation : activations) {
        auto* box = new QCheckBox(activation.name, ui->m_pkConfigsGroup);
        box->setObjectName(activation.id);
        box->setChecked(activation.activated);
        ui->gridLayout->addWidget(box, position / kBoxesPerRow, position % kBoxesPerRow);
        ++position;
    }
}

JsonObject CommandEditor::commandJson() const
{
    const JsonObject answers = m_form->getFormData();
    QString toolId;
    answers.getString(kToolField, toolId);
    // A command of another tool is new: nothing of the attached one applies to it.
    JsonObject json = toolId == m_attachedToolId ? m_attached : JsonObject();
    for (const QString& key : answers.keys()) {
        QVariant answer;
        answers.getValue(key, answer);
        // An empty text box stands for a value the command leaves unset, too: unset it stays.
        if (answer == QVariant(QString()) && json.hasNullValue(key) == JsonObject::Found)
            continue;
        json.setValue(key, answer);
    }
    // The spin box holds 32 bits: its "No timeout" (-1) is the file's all-ones time-out.
    int timeout = 0;
    if (answers.getInt32(kTimeoutField, timeout) == JsonObject::Found && timeout == -1)
        json.setValue(kTimeoutField, std::numeric_limits<unsigned long long>::max());
    return json;
}

void CommandEditor::getCommand(QSharedPointer<FlashCommand>& command, std::list<ConfigActivation>& activations)
{
    const JsonObject json = commandJson();
    command = FlashCommand::getCommandFromJson(json);
    if (!command) {
        QString toolId;
        m_form->getFormData().getString(kToolField, toolId);
        QMessageBox::critical(nullptr, QCoreApplication::applicationName(),
                              QCoreApplication::translate("FlashCommand", "Fail to create command '%1'.").arg(toolId)
                                  + QLatin1Char('\n')
                                  + QCoreApplication::translate("QObject", "Check logs for more details."),
                              QMessageBox::Ok);
        return;
    }
    activations.clear();
    for (const QCheckBox* box : ui->m_pkConfigsGroup->findChildren<QCheckBox*>())
        activations.push_back({box->objectName(), box->text(), box->isChecked()});
    command->setGroup(ui->m_pkCommandGroup->currentData().toString());
}

void CommandEditor::onToolChanged(int index)
{
    if (index < 0 || index >= ui->m_pkCommandType->count()) {
        m_form->clearForm();
        return;
    }
    const JsonObjectList form = JsonObjectList::fromQVariant(ui->m_pkCommandType->itemData(index, kFormRole));
    if (!m_form->setForm(form, nullptr))
        m_form->clearForm();
}
