#include "ui/editor/FlashConfigurationItemModel.h"

#include <QFont>

FlashConfigurationItemModel::FlashConfigurationItemModel()
    : EditorItemModel({QString()})
{
}

QVariant FlashConfigurationItemModel::data(const QModelIndex& index, int role) const
{
    const QSharedPointer<FlashConfiguration> configuration = entityAt(index);
    if (!configuration)
        return QVariant();
    switch (role) {
    case Qt::DisplayRole: {
        const unsigned long commands = configuration->getCommandsCount();
        QString label = configuration->getName() + QStringLiteral(" [") + QString::number(commands)
                        + (commands > 1 ? QStringLiteral(" commands]") : QStringLiteral(" command]"));
        if (isDefault(configuration))
            label += QStringLiteral(" [Default]");
        return label;
    }
    case Qt::FontRole:
        if (isDefault(configuration)) {
            QFont font;
            font.setWeight(QFont::Bold);
            return font;
        }
        return QVariant();
    case Qt::UserRole:
        return configuration->getID();
    default:
        return QVariant();
    }
}

QSharedPointer<FlashConfiguration> FlashConfigurationItemModel::getConfigurationFromIndex(int row) const
{
    return entityAt(row);
}

QSharedPointer<FlashConfiguration>
FlashConfigurationItemModel::getConfigurationFromIndex(const QModelIndex& index) const
{
    return entityAt(index);
}

QModelIndex FlashConfigurationItemModel::getIndexFromConfiguration(
    const QSharedPointer<FlashConfiguration>& configuration, int column) const
{
    return indexOf(configuration, column);
}

FlashConfigurationItemModel::Rows FlashConfigurationItemModel::collectRows(const FlashFileManager& file)
{
    Rows rows;
    for (const auto& entry : file.getConfigurationsList())
        rows << entry.second;
    return rows;
}

// The default is an object, not a name: two configurations may share a name.
bool FlashConfigurationItemModel::isDefault(const QSharedPointer<FlashConfiguration>& configuration) const
{
    return configuration == getSource()->getDefaultConfiguration();
}
