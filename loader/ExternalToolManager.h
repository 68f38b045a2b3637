#pragma once

// The registry of tool programs: tool id (a command's "tool" word) -> program path, for the
// built-in program tools (adb, fastboot, dfuDownloader) and any number of user tools, stored in
// the tools file (INI, group "Tools"). Every user tool id becomes a command kind that runs its
// program (ShellFlashCommand). One registry exists, instance(); it keeps the paths in the core's
// tool-path table (FMConst::toolPaths()), where flash threads read them. It is filled and edited on
// the main thread.

#include <QMap>
#include <QSet>
#include <QString>

class QSettings;

class ExternalToolManager
{
public:
    ExternalToolManager(const ExternalToolManager&) = delete;
    ExternalToolManager& operator=(const ExternalToolManager&) = delete;

    static ExternalToolManager& instance();

    // Repairs the tools file (INI, group "Tools"): adb and fastboot entries that are missing take the
    // legacy top-level "ADB"/"FASTBOOT" value, else the default path; the dfuDownloader entry that is
    // missing takes the default path; an entry naming no existing file is replaced by the default
    // path. Then loads the group, which makes every user tool a command kind (register the
    // built-in kinds first). Never fails.
    void loadRepairedFile(const QString& toolsFile);

    // Adds the group "Tools" of the file to the registry (same ids replaced), then registerTools.
    void loadFile(const QString& path);
    void loadFile(QSettings& settings);
    // Replaces the group "Tools" of the file with the registry; other keys stay.
    void saveFile(const QString& path) const;
    void saveFile(QSettings& settings) const;

    // Stores the path; makes no command kind (registerTools does).
    void setTool(const QString& id, const QString& path);
    // FMConst::setTool (an executable path, else the default of a built-in program), then
    // registerTools: a user tool becomes a command kind at once.
    bool useTool(const QString& id, const QString& path);
    // Makes every user tool a command kind that runs its program, replacing a built-in kind of
    // the same id that is not internal.
    void registerTools() const;
    QMap<QString, QString> getTools() const;
    // Empty when the id is not registered. Any thread.
    QString getTool(const QString& id) const;
    // Forgets the id. A user tool's command kind goes too, and a built-in kind it had replaced
    // ("cat", "pass", "setVariable") comes back; an internal tool keeps its kind.
    void removeTool(const QString& id);
    // removeTool for every id.
    void clear();

    // Ids of the command kinds that the program implements itself and no user tool may replace.
    static const QSet<QString>& getInternalTools();
    // The registry without the internal ids.
    QMap<QString, QString> getExternalTools() const;

private:
    ExternalToolManager() = default;
};
