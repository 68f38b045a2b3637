#pragma once

// The configurations of the edited flash file, in id order: name, command count and which one is
// the default. The editor's configuration selector shows it.

#include "ui/editor/EditorItemModel.h"

#include "model/FlashConfiguration.h"

class FlashConfigurationItemModel : public EditorItemModel<FlashConfiguration>
{
    Q_OBJECT

public:
    FlashConfigurationItemModel();

    // Column 0: the label (display), bold for the default (font), the id (Qt::UserRole).
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    // Null when out of range or not an index of this list.
    QSharedPointer<FlashConfiguration> getConfigurationFromIndex(int row) const;
    QSharedPointer<FlashConfiguration> getConfigurationFromIndex(const QModelIndex& index) const;
    QModelIndex getIndexFromConfiguration(const QSharedPointer<FlashConfiguration>& configuration,
                                          int column) const;

protected:
    Rows collectRows(const FlashFileManager& file) override;

private:
    bool isDefault(const QSharedPointer<FlashConfiguration>& configuration) const;
};
