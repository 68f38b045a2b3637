#pragma once

// One command as a choice of tool, the tool's form, a group and the configurations that run it;
// the answers become a new command through the command factory. Lives for one run of the tab's
// command dialog, as its child; GUI thread only.

#include "platform/json/JsonObject.h"

#include <QSharedPointer>
#include <QString>
#include <QWidget>

#include <list>
#include <map>
#include <memory>

class FlashCommand;
class FlashGroup;
class FormWidget;

namespace Ui {
class CommandEditor;
}

class CommandEditor : public QWidget
{
    Q_OBJECT

public:
    // One configuration's check box, in the order the boxes are laid out.
    struct ConfigActivation
    {
        QString id;    // also the check box's object name
        QString name;  // the check box's text
        bool activated = false;
    };

    explicit CommandEditor(QWidget* parent = nullptr);
    ~CommandEditor() override;

    // "none" (no group) first, then the groups by id, each shown by its name.
    void fillCommandGroups(const std::map<QString, QSharedPointer<FlashGroup>>& groups);
    // Shows `command` in its own form (null: the new command's tool stays) and one check box per
    // record, three to a row.
    void attachCommand(const QSharedPointer<FlashCommand>& command, const std::list<ConfigActivation>& activations);
    // The command built from the answers, its group set, and the check boxes read back. A refused
    // build leaves `command` null and `activations` as they were, and says so in a critical box.
    void getCommand(QSharedPointer<FlashCommand>& command, std::list<ConfigActivation>& activations);

private slots:
    void onToolChanged(int index);

private:
    // Inserted where the list stays sorted by display text (code-unit order, ties in insertion order).
    void addTool(const QString& name, const QString& toolId, const JsonObjectList& form);
    // The form's answers over what the attached command holds that its form cannot show.
    JsonObject commandJson() const;

    FormWidget* m_form;
    std::unique_ptr<Ui::CommandEditor> ui;
    JsonObject m_attached;  // the attached command as written, empty for a new one
    QString m_attachedToolId;
};
