#pragma once

// The flash file a configuration belongs to, reduced to what the model and the runner read of it.

#include "model/FlashFileContext.h"

#include <QMap>
#include <QString>
#include <QVariant>

#include <list>

class FakeFlashFile : public FlashFileContext
{
public:
    explicit FakeFlashFile(const QString& path = QString())
        : m_path(path)
    {
    }

    const QString& getPath() const override { return m_path; }
    const std::list<DevicePlatform>& getPlatforms() const override { return m_platforms; }
    const QMap<QString, QVariant>& getBuildProperties() const override { return m_properties; }

    QString m_path;
    std::list<DevicePlatform> m_platforms;
    QMap<QString, QVariant> m_properties;
};
