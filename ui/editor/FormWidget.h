#pragma once

// A form made from a JSON field list (or from ready-made label/widget rows) whose answers come
// back as one JSON object keyed by field id: the command, configuration, template and group
// dialogs. Its owner is the dialog or panel that shows it; GUI thread only.

#include "platform/json/JsonObject.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QWidget>

class QDialog;
class QDialogButtonBox;
class QFormLayout;

// Rows of a form: (label, widget) is a labelled row, (label, null) a text line across the form,
// (empty, widget) a widget across the form.
using RecordList = QList<QPair<QString, QWidget*>>;

class FormWidget : public QWidget
{
    Q_OBJECT

public:
    explicit FormWidget(QWidget* parent = nullptr);

    // One answer per answering child, under its object name: check box true/false (null when
    // partially checked), combo box its entry's stored value (null for the blank entry), line and
    // text edits their text, spin box its value, file chooser its path as shown.
    JsonObject getFormData() const;
    // A required line edit, text edit (hidden fields included) or file chooser is empty. A child
    // without the "required" property counts as required; blanks count as set.
    bool hasRequiredFieldsNotSet() const;
    // An open-mode file chooser names a path where nothing exists.
    bool hasInvalidFiles() const;

    // A new form from `description` in a new OK/Cancel dialog titled with the application name.
    // Both are handed out without parent: the caller runs the dialog and deletes it (the form goes
    // with it). On a refused description, false and both null.
    static bool createFormDialog(const JsonObjectList& description, QDialog*& dialog, FormWidget*& form);
    static bool createFormDialog(const JsonObjectList& description, QDialog*& dialog, FormWidget*& form,
                                 QDialogButtonBox*& buttons);
    // As above, the file fields sharing `defaultFolder`; the button box is stored where `buttons`
    // points unless it is null.
    static bool createFormDialog(const JsonObjectList& description, QDialog*& dialog, FormWidget*& form,
                                 QString* defaultFolder, QDialogButtonBox** buttons);

public slots:
    // Replaces the form by the fields of `description`, the file fields sharing `defaultFolder`
    // (may be null; the caller keeps it alive as long as the form). False, the form as it was,
    // when the description is refused.
    bool setForm(const JsonObjectList& description, QString* defaultFolder = nullptr);
    // Replaces the form by `rows`; their widgets become the form's.
    bool setForm(const RecordList& rows);
    // Removes every row at once; the old widgets are deleted when the event loop next runs.
    bool clearForm();

private:
    QList<QWidget*> directChildren() const;

    QFormLayout* m_layout;
};
