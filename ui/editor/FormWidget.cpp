#include "ui/editor/FormWidget.h"

#include "ui/FileBrowserWidget.h"
#include "ui/editor/EditorStyle.h"
#include "ui/editor/FormFieldReader.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTextEdit>
#include <QVBoxLayout>

#include <vector>

namespace {

// Empty, or holding only the literals of its input mask (a cleared "\0\xHHHHHHHH" reads "0x").
bool isEmpty(const QLineEdit& edit)
{
    if (edit.text().isEmpty())
        return true;
    if (edit.inputMask().isEmpty())
        return false;
    QLineEdit cleared;  // the mask's text with every blank position empty
    cleared.setInputMask(edit.inputMask());
    return edit.text() == cleared.text();
}

bool isRequired(const QWidget& widget)
{
    const QVariant required = widget.property("required");
    return !required.isValid() || !required.canConvert<bool>() || required.toBool();
}

} // namespace

FormWidget::FormWidget(QWidget* parent)
    : QWidget(parent)
    , m_layout(new QFormLayout(this))
{
    m_layout->setContentsMargins(0, 0, 0, 0);
    setStyleSheet(EditorStyle::fontStyleSheet());
}

bool FormWidget::setForm(const JsonObjectList& description, QString* defaultFolder)
{
    // Every field is read before the form changes: a refused one drops those made so far.
    const FormFieldReader reader(defaultFolder);
    std::vector<FormField> fields(size_t(description.size()));
    for (int index = 0; index < description.size(); ++index) {
        if (!reader.read(description.at(index), fields[size_t(index)]))
            return false;
    }
    RecordList rows;
    QList<QWidget*> hidden;
    for (FormField& field : fields) {
        if (field.isHidden)
            hidden << field.widget.release();
        else
            rows << qMakePair(field.rowLabel, field.widget.release());
    }
    setForm(rows);
    for (QWidget* widget : qAsConst(hidden))
        widget->setParent(this);  // outside the layout; it stays hidden
    return true;
}

bool FormWidget::setForm(const RecordList& rows)
{
    clearForm();
    for (const auto& [label, widget] : rows) {
        if (widget && !label.isEmpty())
            m_layout->addRow(label, widget);
        else if (widget)
            m_layout->addRow(widget);
        else if (!label.isEmpty())
            m_layout->addRow(new QLabel(label, this));
    }
    m_layout->invalidate();
    return true;
}

bool FormWidget::clearForm()
{
    // The rows go at once; their widgets may still have a slot running, so they are deleted later.
    while (m_layout->rowCount() > 0) {
        const QFormLayout::TakeRowResult row = m_layout->takeRow(0);
        delete row.labelItem;  // the layout's items, not the widgets
        delete row.fieldItem;
    }
    for (QWidget* child : directChildren()) {
        child->setParent(nullptr);
        child->deleteLater();
    }
    return true;
}

QList<QWidget*> FormWidget::directChildren() const
{
    return findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
}

JsonObject FormWidget::getFormData() const
{
    JsonObject answers;
    for (QWidget* child : directChildren()) {
        QVariant answer;
        if (auto* box = qobject_cast<QCheckBox*>(child))
            answer = box->checkState() == Qt::PartiallyChecked ? QVariant() : QVariant(box->isChecked());
        else if (auto* combo = qobject_cast<QComboBox*>(child))
            answer = combo->currentData();
        else if (auto* line = qobject_cast<QLineEdit*>(child))
            answer = line->text();
        else if (auto* text = qobject_cast<QTextEdit*>(child))
            answer = text->toPlainText();
        else if (auto* spin = qobject_cast<QSpinBox*>(child))
            answer = spin->value();
        else if (auto* chooser = qobject_cast<FileBrowserWidget*>(child))
            answer = chooser->getFile();
        else
            continue;
        answers.setValue(child->objectName(), answer);
    }
    return answers;
}

bool FormWidget::hasRequiredFieldsNotSet() const
{
    for (QWidget* child : directChildren()) {
        bool empty = false;
        if (auto* line = qobject_cast<QLineEdit*>(child))
            empty = isEmpty(*line);
        else if (auto* text = qobject_cast<QTextEdit*>(child))
            empty = text->toPlainText().isEmpty();
        else if (auto* chooser = qobject_cast<FileBrowserWidget*>(child))
            empty = chooser->getFile().isEmpty();
        if (empty && isRequired(*child))
            return true;
    }
    return false;
}

bool FormWidget::hasInvalidFiles() const
{
    for (QWidget* child : directChildren()) {
        auto* chooser = qobject_cast<FileBrowserWidget*>(child);
        if (chooser && chooser->getWindowType() == FileBrowserWidget::Open && !chooser->getFile().isEmpty()
            && !QFileInfo::exists(chooser->getFile()))
            return true;
    }
    return false;
}

bool FormWidget::createFormDialog(const JsonObjectList& description, QDialog*& dialog, FormWidget*& form)
{
    return createFormDialog(description, dialog, form, nullptr, nullptr);
}

bool FormWidget::createFormDialog(const JsonObjectList& description, QDialog*& dialog, FormWidget*& form,
                                  QDialogButtonBox*& buttons)
{
    return createFormDialog(description, dialog, form, nullptr, &buttons);
}

bool FormWidget::createFormDialog(const JsonObjectList& description, QDialog*& dialog, FormWidget*& form,
                                  QString* defaultFolder, QDialogButtonBox** buttons)
{
    form = new FormWidget;
    if (!form->setForm(description, defaultFolder)) {
        delete form;  // never shown, nothing queued for it
        form = nullptr;
        dialog = nullptr;
        return false;
    }
    dialog = new QDialog;
    dialog->setWindowTitle(QCoreApplication::applicationName());
    auto* layout = new QVBoxLayout(dialog);
    layout->addWidget(form);
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Horizontal, dialog);
    layout->addWidget(box);
    connect(box, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    if (buttons)
        *buttons = box;
    return true;
}
