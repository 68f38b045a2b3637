#pragma once

// What the editor tab's tests share: fixture files, the tab's edited file, buttons pressed by
// object name, the answers of the dialogs the tab opens, and every dialog accepted as shown.

#include "ModalDialogDriver.h"
#include "loader/FlashFileManager.h"
#include "model/FlashCommand.h"
#include "model/FlashConfiguration.h"
#include "ui/editor/FlashEditorWidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTest>

namespace EditorTestKit {

using Step = ModalDialogDriver::Step;

inline bool write(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// The file the tab edits, reached through the configuration it registered last.
inline QSharedPointer<FlashFileManager> editedFile(const FlashEditorWidget& tab)
{
    const QSharedPointer<FlashConfiguration> registered = tab.getCurrentFlashFile();
    return registered ? registered->getFlashFileManager() : QSharedPointer<FlashFileManager>();
}

inline QString description(const QSharedPointer<FlashCommand>& command)
{
    QString text;
    if (command)
        command->toJson().getString(QStringLiteral("description"), text);
    return text;
}

// The descriptions of the file's commands, in file order.
inline QStringList commandOrder(const FlashFileManager& file)
{
    QStringList texts;
    for (const QSharedPointer<FlashCommand>& command : file.getCommandList())
        texts << description(command);
    return texts;
}

// The descriptions of the commands `configuration` runs: its entries that are the very objects
// of the file at their positions.
inline QStringList commandsRun(const FlashFileManager& file, const QString& configuration)
{
    QStringList texts;
    const QSharedPointer<FlashConfiguration> runner = file.getConfiguration(configuration);
    for (unsigned long position = 0; position < file.getCommandList().size(); ++position) {
        const QSharedPointer<FlashCommand> command = runner->getCommand(position);
        if (command && command == file.getCommandList()[position])
            texts << description(command);
    }
    return texts;
}

// Selects whole rows of the tab's list `view` (the list's own selection, as a user's clicks leave it).
inline void selectRows(FlashEditorWidget& tab, const QString& view, const QList<int>& rows)
{
    auto* table = tab.findChild<QTableView*>(view);
    table->selectionModel()->clear();
    for (int row : rows)
        table->selectionModel()->select(table->model()->index(row, 0),
                                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

inline QList<int> selectedRows(FlashEditorWidget& tab, const QString& view)
{
    QList<int> rows;
    for (const QModelIndex& index : tab.findChild<QTableView*>(view)->selectionModel()->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

inline void press(FlashEditorWidget& tab, const QString& button)
{
    QTest::mouseClick(tab.findChild<QPushButton*>(button), Qt::LeftButton);
}

inline Step both(Step first, Step second)
{
    return [first, second](QWidget* modal) { return first(modal) && second(modal); };
}

inline Step setChecked(const QString& box, bool checked)
{
    return [box, checked](QWidget* modal) {
        auto* found = modal->findChild<QCheckBox*>(box);
        if (!found)
            return false;
        found->setChecked(checked);
        return true;
    };
}

inline Step accept()
{
    return ModalDialogDriver::pressButton(QDialogButtonBox::Ok);
}

// The tool the command dialog shows is the command's own, and a time-out beyond the spin box's
// range shows as "No timeout".
inline Step showsItself(const QString& tool, bool unlimited, QStringList& problems)
{
    return [tool, unlimited, &problems](QWidget* modal) {
        auto* tools = modal->findChild<QComboBox*>(QStringLiteral("m_pkCommandType"));
        if (tools->currentData(Qt::UserRole + 1).toString() != tool)
            problems << QStringLiteral("%1 shown as %2").arg(tool, tools->currentText());
        auto* timeout = modal->findChild<QSpinBox*>(QStringLiteral("timeout"));
        if (unlimited && (!timeout || timeout->value() != -1 || timeout->text() != QStringLiteral("No timeout")))
            problems << QStringLiteral("time-out shown as %1").arg(timeout ? timeout->text() : QString());
        return true;
    };
}

// Opens every command and parameter dialog of the tab in turn and accepts it as shown.
inline void acceptEveryDialog(FlashEditorWidget& tab, QStringList& problems)
{
    const QSharedPointer<FlashFileManager> file = editedFile(tab);
    ModalDialogDriver driver;
    driver.closeUnexpected();
    for (int row = 0; row < int(file->getCommandList().size()); ++row) {
        const QSharedPointer<FlashCommand> command = file->getCommandList()[size_t(row)];
        unsigned long long timeout = 0;
        command->toJson().getUInt64(QStringLiteral("timeout"), timeout);
        selectRows(tab, QStringLiteral("tableViewCommands"), {row});
        driver.answer(both(showsItself(command->getToolId(), timeout > 2147483647ULL, problems), accept()));
        press(tab, QStringLiteral("pushButtonEditCommand"));
    }
    const int parameters = tab.findChild<QTableView*>(QStringLiteral("tableViewParameters"))->model()->rowCount();
    for (int row = 0; row < parameters; ++row) {
        selectRows(tab, QStringLiteral("tableViewParameters"), {row});
        driver.answer(accept());
        press(tab, QStringLiteral("pushButtonEditParameter"));
    }
    problems << driver.failures();
}

} // namespace EditorTestKit
