#pragma once

// Every command of the edited flash file, in file order: its number, whether the current
// configuration runs it, its tool and its parameters. A row is a position of the file's list.

#include "ui/editor/ConfigurationViewItemModel.h"

#include "model/FlashCommand.h"

class FlashCommandItemModel : public ConfigurationViewItemModel<FlashCommand>
{
    Q_OBJECT

public:
    FlashCommandItemModel();

    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    // Null when out of range or not an index of this list.
    QSharedPointer<FlashCommand> getCommandFromIndex(int row) const;
    QSharedPointer<FlashCommand> getCommandFromIndex(const QModelIndex& index) const;
    QModelIndex getIndexFromCommand(const QSharedPointer<FlashCommand>& command, int column) const;

protected:
    Rows collectEntities(const FlashFileManager& file) const override;

private:
    Qt::CheckState checkState(const QSharedPointer<FlashCommand>& command) const;
};
