#pragma once

// One parameter of a flash file as its identifier, name, type and table of values, each value
// with the configurations that select it. Works on a copy: a new FlashParameter is built only
// when the result is asked for. Lives for one run of the tab's parameter dialog, as its child;
// GUI thread only.

#include <QSharedPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <map>
#include <memory>

class FileBrowserDelegate;
class FlashConfiguration;
class FlashParameter;
class FormWidget;
class QModelIndex;
class QStandardItemModel;
class QStyleOptionViewItem;

namespace Ui {
class ParameterEditor;
}

class ParameterEditor : public QWidget
{
    Q_OBJECT

public:
    struct Value
    {
        QString id;
        QString value;        // a file value's path
        QString description;  // shown as its name
    };

    // One configuration and the value of this parameter it selects (null: none).
    struct ConfigData
    {
        QString id;  // also the object name of its check box in the value forms
        QString name;
        QString valueId;
    };

    // `defaultFolder`: where the value forms' file choosers start; must outlive the editor.
    ParameterEditor(QString& defaultFolder, QWidget* parent);
    ~ParameterEditor() override;

    // Before setConfigurationList: it empties the configuration table.
    void setParameter(const QSharedPointer<FlashParameter>& parameter);
    void setConfigurationList(const std::map<QString, QSharedPointer<FlashConfiguration>>& configurations);
    // A new parameter of the chosen type, with every value, and per configuration (id) the value
    // it selects, added to `selections` (null: none; entries already there stay).
    void getParameter(QSharedPointer<FlashParameter>& parameter, std::map<QString, QString>& selections) const;
    // 0 file, 1 temporary file, 2 string: the type the result is built as.
    int getType() const;

    // Paints a file value's row struck out when its path is empty, red and bold when nothing is there.
    static void setFileCellStyle(QStyleOptionViewItem* option, const QModelIndex& index);

private slots:
    void onAddOption();
    void onRemoveOptions();
    void onEditOption();
    void onTypeChanged();
    void onOptionDataChanged(const QModelIndex& index);

private:
    // The value form: identifier, description, value and the configurations; new, owned by the caller.
    FormWidget* getOptionWidget(const QString& valueId) const;
    FormWidget* getOptionWidget(const Value& value) const;
    // Runs `form` in an OK/Cancel dialog; true when accepted. `again` re-runs the same dialog.
    bool runOptionDialog(FormWidget* form, const std::function<bool(const FormWidget&)>& again) const;
    // Value and description as the form holds them.
    Value readOption(const FormWidget& form) const;
    void updateData();
    template <typename ValueKind>
    void getParameterInternal(QSharedPointer<FlashParameter>& parameter) const;

    std::unique_ptr<Ui::ParameterEditor> ui;
    FileBrowserDelegate* m_delegate;
    std::map<QString, Value> m_values;
    QString m_parameterId;  // null for a new parameter
    std::map<QString, ConfigData> m_configurations;
    QString& m_defaultFolder;
    QStandardItemModel* m_model;
};
