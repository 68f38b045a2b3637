#pragma once

// An editor list that reads the file through one of its configurations (check marks, selected
// values): the configuration the editor chose, else the file's default once a refill finds none.

#include "ui/editor/EditorItemModel.h"

#include "model/FlashConfiguration.h"

template <class Entity>
class ConfigurationViewItemModel : public EditorItemModel<Entity>
{
public:
    // Null lets the refill, which runs at once, take the file's default.
    void setConfiguration(const QSharedPointer<FlashConfiguration>& configuration)
    {
        m_configuration = configuration;
        this->fillData();
    }

protected:
    using Base = EditorItemModel<Entity>;
    using Base::Base;

    const QSharedPointer<FlashConfiguration>& getConfiguration() const { return m_configuration; }

    // Every refill collects the rows first: the configuration is settled before any row is read.
    typename Base::Rows collectRows(const FlashFileManager& file) override
    {
        if (!m_configuration)
            m_configuration = file.getDefaultConfiguration();
        return collectEntities(file);
    }
    virtual typename Base::Rows collectEntities(const FlashFileManager& file) const = 0;

    // Another file's configurations mean nothing here; the same file keeps the chosen one.
    void sourceChanging(const QSharedPointer<FlashFileManager>& file) override
    {
        if (file != this->getSource())
            m_configuration.clear();
    }

private:
    QSharedPointer<FlashConfiguration> m_configuration;
};
