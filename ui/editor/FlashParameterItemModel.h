#pragma once

// The parameters of the edited flash file that the user sets, in id order (variables, which
// commands compute during a run, are left out): id, name and the value that applies in the
// current configuration.

#include "ui/editor/ConfigurationViewItemModel.h"

#include "model/FlashParameter.h"

class FlashParameterItemModel : public ConfigurationViewItemModel<FlashParameter>
{
    Q_OBJECT

public:
    FlashParameterItemModel();

    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    // Null when out of range or not an index of this list.
    QSharedPointer<FlashParameter> getParameterDataFromIndex(int row) const;
    QSharedPointer<FlashParameter> getParameterDataFromIndex(const QModelIndex& index) const;

protected:
    Rows collectEntities(const FlashFileManager& file) const override;

private:
    QString valueText(const FlashParameter& parameter) const;
};
