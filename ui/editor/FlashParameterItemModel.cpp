#include "ui/editor/FlashParameterItemModel.h"

#include "model/FlashParameterValue.h"
#include "model/FlashVariable.h"

FlashParameterItemModel::FlashParameterItemModel()
    : ConfigurationViewItemModel({QStringLiteral("Key"), QStringLiteral("Name"), QStringLiteral("Value")})
{
}

QVariant FlashParameterItemModel::data(const QModelIndex& index, int role) const
{
    const QSharedPointer<FlashParameter> parameter = entityAt(index);
    if (!parameter || role != Qt::DisplayRole)
        return QVariant();
    switch (index.column()) {
    case 0:
        return parameter->getId();
    case 1:
        return parameter->getName();
    default:
        return valueText(*parameter);
    }
}

QSharedPointer<FlashParameter> FlashParameterItemModel::getParameterDataFromIndex(int row) const
{
    return entityAt(row);
}

QSharedPointer<FlashParameter> FlashParameterItemModel::getParameterDataFromIndex(const QModelIndex& index) const
{
    return entityAt(index);
}

// Variables are filtered here, before any row is announced: views only ever hear of shown rows.
FlashParameterItemModel::Rows FlashParameterItemModel::collectEntities(const FlashFileManager& file) const
{
    Rows rows;
    for (const auto& entry : file.getParametersList()) {
        if (!entry.second.dynamicCast<FlashVariable>())
            rows << entry.second;
    }
    return rows;
}

// A parameter's only value applies everywhere; with several, the configuration's choice.
QString FlashParameterItemModel::valueText(const FlashParameter& parameter) const
{
    QSharedPointer<FlashParameterValue> value = parameter.getValue();
    if (!value && getConfiguration())
        value = getConfiguration()->getParameterValue(parameter.getId());
    return value ? value->getValue() : QStringLiteral("Undefined");
}
