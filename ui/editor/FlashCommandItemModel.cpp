#include "ui/editor/FlashCommandItemModel.h"

#include <algorithm>

FlashCommandItemModel::FlashCommandItemModel()
    : ConfigurationViewItemModel({QString(), QStringLiteral("Tool"), QStringLiteral("Parameters")})
{
}

QVariant FlashCommandItemModel::data(const QModelIndex& index, int role) const
{
    const QSharedPointer<FlashCommand> command = entityAt(index);
    if (!command)
        return QVariant();
    if (index.column() == 0 && role == Qt::CheckStateRole)
        return checkState(command);
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return QVariant();
    switch (index.column()) {
    case 0:
        return index.row() + 1;
    case 1:
        return command->getToolId();
    default:
        return command->getToolParameters();
    }
}

QSharedPointer<FlashCommand> FlashCommandItemModel::getCommandFromIndex(int row) const
{
    return entityAt(row);
}

QSharedPointer<FlashCommand> FlashCommandItemModel::getCommandFromIndex(const QModelIndex& index) const
{
    return entityAt(index);
}

QModelIndex FlashCommandItemModel::getIndexFromCommand(const QSharedPointer<FlashCommand>& command,
                                                       int column) const
{
    return indexOf(command, column);
}

FlashCommandItemModel::Rows FlashCommandItemModel::collectEntities(const FlashFileManager& file) const
{
    const FlashFileManager::Commands& commands = file.getCommandList();
    return Rows(commands.begin(), commands.end());
}

// A configuration runs the very command object; a copy with the same content is another command.
Qt::CheckState FlashCommandItemModel::checkState(const QSharedPointer<FlashCommand>& command) const
{
    const QSharedPointer<FlashConfiguration>& configuration = getConfiguration();
    if (!configuration)
        return Qt::Unchecked;
    const FlashConfiguration::Commands& used = configuration->getCommands();
    return std::find(used.begin(), used.end(), command) != used.end() ? Qt::Checked : Qt::Unchecked;
}
