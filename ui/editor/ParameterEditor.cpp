#include "ui/editor/ParameterEditor.h"

#include "ui_ParameterEditor.h"

#include "model/FlashConfiguration.h"
#include "model/FlashParameter.h"
#include "model/FlashParameterValue.h"
#include "model/FlashParameterValueFile.h"
#include "model/FlashParameterValueString.h"
#include "model/FlashParameterValueTemporaryFile.h"
#include "ui/FileBrowserDelegate.h"
#include "ui/FileBrowserWidget.h"
#include "ui/editor/EditorStyle.h"
#include "ui/editor/FormWidget.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QStandardItemModel>
#include <QStyleOptionViewItem>
#include <QVBoxLayout>

namespace {

enum Column { IdColumn = 0, NameColumn = 1, ValueColumn = 2, ConfigurationsColumn = 3 };

const QString kIdField = QStringLiteral("id");
const QString kDescriptionField = QStringLiteral("desc");
const QString kValueField = QStringLiteral("value");
const QString kConfigurationsField = QStringLiteral("configs");

QString fieldText(const FormWidget& form, const QString& name)
{
    const auto* edit = form.findChild<QLineEdit*>(name, Qt::FindDirectChildrenOnly);
    return edit ? edit->text() : QString();
}

QList<QCheckBox*> configurationBoxes(const FormWidget& form)
{
    const auto* boxes = form.findChild<QWidget*>(kConfigurationsField, Qt::FindDirectChildrenOnly);
    return boxes ? boxes->findChildren<QCheckBox*>() : QList<QCheckBox*>();
}

} // namespace

ParameterEditor::ParameterEditor(QString& defaultFolder, QWidget* parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::ParameterEditor>())
    , m_defaultFolder(defaultFolder)
{
    ui->setupUi(this);
    m_delegate = new FileBrowserDelegate(this);
    m_model = new QStandardItemModel(ui->m_pkOptionView);
    m_model->setColumnCount(4);
    m_model->setHorizontalHeaderLabels({tr("ID"), tr("Name"), tr("Value"), tr("In configurations")});
    ui->m_pkOptionView->setModel(m_model);
    m_delegate->setKeyColumn(IdColumn);
    ui->m_pkOptionView->setItemDelegate(m_delegate);
    ui->m_pkOptionView->setSelectionBehavior(QAbstractItemView::SelectRows);
    ui->m_pkOptionView->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    ui->m_pkOptionView->horizontalHeader()->setStretchLastSection(true);
    ui->m_pkFileRadio->setChecked(true);
    onTypeChanged();
    for (QRadioButton* radio : {ui->m_pkFileRadio, ui->m_pkTempFileRadio, ui->m_pkTextRadio})
        connect(radio, &QRadioButton::clicked, this, &ParameterEditor::onTypeChanged);
    connect(ui->m_pkAddButton, &QToolButton::clicked, this, &ParameterEditor::onAddOption);
    connect(ui->m_pkEditButton, &QToolButton::clicked, this, &ParameterEditor::onEditOption);
    connect(ui->m_pkRemoveButton, &QToolButton::clicked, this, &ParameterEditor::onRemoveOptions);
    connect(m_delegate, &FileBrowserDelegate::dataChanged, this, &ParameterEditor::onOptionDataChanged);
    setStyleSheet(EditorStyle::fontStyleSheet());
}

ParameterEditor::~ParameterEditor() = default;

void ParameterEditor::setParameter(const QSharedPointer<FlashParameter>& parameter)
{
    m_parameterId = parameter->getId();
    for (const auto& entry : parameter->getValues()) {
        const FlashParameterValue& value = *entry.second;
        m_values.emplace(entry.first, Value{value.getValueId(), value.getValue(), value.getDescription()});
    }
    switch (parameter->getType()) {
    case FlashParameter::File:
        ui->m_pkFileRadio->setChecked(true);
        break;
    case FlashParameter::TemporaryFile:
        ui->m_pkTempFileRadio->setChecked(true);
        break;
    case FlashParameter::String:
        ui->m_pkTextRadio->setChecked(true);
        break;
    default:
        break;
    }
    ui->m_pkId->setText(parameter->getId());
    ui->m_pkName->setText(parameter->getName());
    m_configurations.clear();
    onTypeChanged();
    updateData();
}

void ParameterEditor::setConfigurationList(const std::map<QString, QSharedPointer<FlashConfiguration>>& configurations)
{
    m_configurations.clear();
    for (const auto& entry : configurations) {
        const FlashConfiguration& configuration = *entry.second;
        const QString selected = m_parameterId.isNull() ? QString() : configuration.getParameterValueId(m_parameterId);
        m_configurations.emplace(entry.first, ConfigData{configuration.getID(), configuration.getName(), selected});
    }
    updateData();
}

int ParameterEditor::getType() const
{
    if (ui->m_pkFileRadio->isChecked())
        return FlashParameter::File;
    if (ui->m_pkTempFileRadio->isChecked())
        return FlashParameter::TemporaryFile;
    return FlashParameter::String;
}

template <typename ValueKind>
void ParameterEditor::getParameterInternal(QSharedPointer<FlashParameter>& parameter) const
{
    std::map<QString, ValueKind*> values;
    for (const auto& entry : m_values)
        values.emplace(entry.second.id, new ValueKind(entry.second.id, entry.second.value, entry.second.description));
    parameter.reset(new FlashParameter(ui->m_pkId->text(), ui->m_pkName->text(), values));
}

void ParameterEditor::getParameter(QSharedPointer<FlashParameter>& parameter, std::map<QString, QString>& selections) const
{
    switch (getType()) {
    case FlashParameter::File:
        getParameterInternal<FlashParameterValueFile>(parameter);
        break;
    case FlashParameter::TemporaryFile:
        getParameterInternal<FlashParameterValueTemporaryFile>(parameter);
        break;
    default:
        getParameterInternal<FlashParameterValueString>(parameter);
        break;
    }
    for (const auto& entry : m_configurations)
        selections.emplace(entry.second.id, entry.second.valueId);
}

void ParameterEditor::setFileCellStyle(QStyleOptionViewItem* option, const QModelIndex& index)
{
    const QAbstractItemModel* model = index.model();
    if (!model)
        return;
    const QModelIndex cell = index.column() == ValueColumn ? index : model->index(index.row(), ValueColumn, index.parent());
    if (!cell.isValid())
        return;
    const QString path = cell.data().toString();
    if (path.isEmpty()) {
        option->font.setStrikeOut(true);
    } else if (!QFileInfo::exists(path)) {
        option->palette.setBrush(QPalette::Text, QBrush(Qt::red));
        option->font.setWeight(QFont::Bold);
    }
}

void ParameterEditor::onTypeChanged()
{
    const bool file = ui->m_pkFileRadio->isChecked();
    const bool temporary = !file && ui->m_pkTempFileRadio->isChecked();
    m_delegate->setFileBrowserColumn(file ? ValueColumn : -1);
    m_delegate->setStyleCallback(file ? &ParameterEditor::setFileCellStyle : nullptr);
    ui->m_pkFileRadio->setChecked(file);
    ui->m_pkTempFileRadio->setChecked(temporary);
    ui->m_pkTextRadio->setChecked(!file && !temporary);
    // A temporary file's value is made during the run: it has exactly the values it came with.
    ui->m_pkAddButton->setEnabled(!temporary);
    ui->m_pkRemoveButton->setEnabled(!temporary);
    // Every cell is painted and edited anew with the type's settings.
    ui->m_pkOptionView->viewport()->update();
}

FormWidget* ParameterEditor::getOptionWidget(const QString& valueId) const
{
    auto* id = new QLineEdit;
    id->setObjectName(kIdField);
    id->setText(valueId);
    auto* description = new QLineEdit;
    description->setObjectName(kDescriptionField);
    QWidget* value = nullptr;
    if (ui->m_pkFileRadio->isChecked()) {
        auto* chooser = new FileBrowserWidget;
        chooser->setDefaultFolderHandle(&m_defaultFolder);
        value = chooser;
    } else {
        value = new QLineEdit;
    }
    value->setObjectName(kValueField);
    auto* configurations = new QWidget;
    configurations->setObjectName(kConfigurationsField);
    auto* layout = new QVBoxLayout(configurations);
    for (const auto& entry : m_configurations) {
        auto* box = new QCheckBox(entry.second.name, configurations);
        box->setObjectName(entry.second.id);
        box->setChecked(entry.second.valueId.isNull() == valueId.isNull() && entry.second.valueId == valueId);
        layout->addWidget(box);
    }
    auto* form = new FormWidget;
    form->setForm(RecordList{{QStringLiteral("Value identifier"), id},
                             {QStringLiteral("Description"), description},
                             {QStringLiteral("Value"), value},
                             {QStringLiteral("Used in:"), configurations}});
    return form;
}

FormWidget* ParameterEditor::getOptionWidget(const Value& value) const
{
    FormWidget* form = getOptionWidget(value.id);
    auto* id = form->findChild<QLineEdit*>(kIdField, Qt::FindDirectChildrenOnly);
    id->setText(value.id);
    id->setEnabled(false);
    form->findChild<QLineEdit*>(kDescriptionField, Qt::FindDirectChildrenOnly)->setText(value.description);
    if (auto* chooser = form->findChild<FileBrowserWidget*>(kValueField, Qt::FindDirectChildrenOnly))
        chooser->setFile(value.value);
    else
        form->findChild<QLineEdit*>(kValueField, Qt::FindDirectChildrenOnly)->setText(value.value);
    return form;
}

bool ParameterEditor::runOptionDialog(FormWidget* form, const std::function<bool(const FormWidget&)>& accept) const
{
    QDialog dialog;
    dialog.setModal(true);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Horizontal, &dialog);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    while (dialog.exec() == QDialog::Accepted) {
        if (accept(*form))
            return true;
    }
    return false;
}

ParameterEditor::Value ParameterEditor::readOption(const FormWidget& form) const
{
    Value option{fieldText(form, kIdField), QString(), fieldText(form, kDescriptionField)};
    if (const auto* chooser = form.findChild<FileBrowserWidget*>(kValueField, Qt::FindDirectChildrenOnly))
        option.value = chooser->getFile();
    else
        option.value = fieldText(form, kValueField);
    return option;
}

void ParameterEditor::onAddOption()
{
    runOptionDialog(getOptionWidget(QString()), [this](const FormWidget& form) {
        const Value option = readOption(form);
        if (m_values.count(option.id) != 0)
            return false;  // asked again, as the user left it
        for (const QCheckBox* box : configurationBoxes(form)) {
            const auto configuration = m_configurations.find(box->objectName());
            if (box->isChecked() && configuration != m_configurations.end())
                configuration->second.valueId = option.id;
        }
        m_values.emplace(option.id, option);
        updateData();
        return true;
    });
}

void ParameterEditor::onEditOption()
{
    const QItemSelectionModel* selection = ui->m_pkOptionView->selectionModel();
    if (!selection)
        return;
    const QModelIndexList rows = selection->selectedRows(IdColumn);
    if (rows.size() != 1)
        return;
    const auto edited = m_values.find(rows.first().data().toString());
    if (edited == m_values.end())
        return;
    runOptionDialog(getOptionWidget(edited->second), [this, edited](const FormWidget& form) {
        const Value option = readOption(form);
        for (const QCheckBox* box : configurationBoxes(form)) {
            const auto configuration = m_configurations.find(box->objectName());
            if (configuration == m_configurations.end())
                continue;
            if (box->isChecked())
                configuration->second.valueId = option.id;
            else if (configuration->second.valueId == option.id)
                configuration->second.valueId = QString();
        }
        edited->second = option;
        updateData();
        return true;
    });
}

void ParameterEditor::onRemoveOptions()
{
    const QItemSelectionModel* selection = ui->m_pkOptionView->selectionModel();
    if (!selection || !selection->hasSelection())
        return;
    for (const QModelIndex& row : selection->selectedRows(IdColumn)) {
        if (!row.isValid() || row.column() != IdColumn)
            continue;
        const QString id = row.data().toString();
        m_values.erase(id);
        // A selection naming a value that is gone would leave its configuration in error.
        for (auto& configuration : m_configurations) {
            if (!configuration.second.valueId.isNull() && configuration.second.valueId == id)
                configuration.second.valueId = QString();
        }
    }
    updateData();
}

void ParameterEditor::onOptionDataChanged(const QModelIndex& index)
{
    const auto option = m_values.find(m_model->index(index.row(), IdColumn, index.parent()).data().toString());
    if (option != m_values.end()) {
        if (index.column() == ValueColumn)
            option->second.value = index.data().toString();
        else if (index.column() == NameColumn)
            option->second.description = index.data().toString();
    }
    updateData();
}

void ParameterEditor::updateData()
{
    std::vector<ConfigData> unlisted;
    for (const auto& entry : m_configurations)
        unlisted.push_back(entry.second);
    int row = 0;
    for (const auto& entry : m_values) {
        QStringList names;
        for (auto configuration = unlisted.begin(); configuration != unlisted.end();) {
            if (!configuration->valueId.isNull() && configuration->valueId == entry.first) {
                names << configuration->name;
                configuration = unlisted.erase(configuration);
            } else {
                ++configuration;
            }
        }
        while (m_model->rowCount() <= row)
            m_model->appendRow({new QStandardItem, new QStandardItem, new QStandardItem, new QStandardItem});
        const auto fill = [this, row](int column, const QString& text, bool editable) {
            QStandardItem* item = m_model->item(row, column);
            item->setData(text, Qt::DisplayRole);  // the edit role is the display role here
            item->setEditable(editable);
        };
        fill(IdColumn, entry.first, false);
        fill(NameColumn, entry.second.description, true);
        fill(ValueColumn, entry.second.value, true);
        fill(ConfigurationsColumn, names.join(QStringLiteral(", ")), false);
        ++row;
    }
    m_model->setRowCount(row);
}
