#pragma once

// A home folder of its own for one test: the settings file, the tools file and the documents folder
// start absent (the documents folder made empty), and the settings' per-user paths point into it.
// Header-only; one per test function.

#include "core/FMConst.h"
#include "loader/ExternalToolManager.h"
#include "loader/ToolConst.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QVariant>

class OptionsHome
{
public:
    OptionsHome()
    {
        qputenv("HOME", QFile::encodeName(m_dir.path()));
        qunsetenv("XDG_CONFIG_HOME"); // the documents folder is then ~/Documents
        ExternalToolManager::instance().clear();
        FMConst::resetToDefaults();
        ToolConst::resetToDefaults();
        QDir(m_dir.path()).mkpath(QStringLiteral("Documents"));
    }

    bool isValid() const { return m_dir.isValid(); }
    QString path(const QString& name = QString()) const { return QDir(m_dir.path()).filePath(name); }
    QString documents(const QString& name = QString()) const { return path(QStringLiteral("Documents/") + name); }

    // What the settings file holds now under `key` (invalid when absent).
    static QVariant stored(const QString& key)
    {
        QSettings settings(ToolConst::defaultOptionName, QSettings::IniFormat);
        return settings.value(key);
    }
    static void store(const QString& key, const QVariant& value)
    {
        QSettings settings(ToolConst::defaultOptionName, QSettings::IniFormat);
        settings.setValue(key, value);
    }
    // The tools file's group "Tools".
    static QVariant storedTool(const QString& id)
    {
        QSettings settings(FMConst::defaultExternalToolsSettingsFileName, QSettings::IniFormat);
        return settings.value(QStringLiteral("Tools/") + id);
    }

private:
    QTemporaryDir m_dir;
};
