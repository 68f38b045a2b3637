#pragma once

// Tool id (a command's "tool" word, or a program the program itself runs: adb, fastboot, 7z) ->
// program path. Filled and edited on the main thread at start-up and from the options; flash
// threads read paths while it is edited.

#include <QMap>
#include <QReadWriteLock>
#include <QString>

class ToolPathTable
{
public:
    ToolPathTable() = default;
    ToolPathTable(const ToolPathTable&) = delete;
    ToolPathTable& operator=(const ToolPathTable&) = delete;

    void set(const QString& id, const QString& path);
    // Empty when the id is not in the table.
    QString get(const QString& id) const;
    // False when the id was not in the table.
    bool remove(const QString& id);
    QMap<QString, QString> all() const;
    void clear();

private:
    mutable QReadWriteLock m_lock;
    QMap<QString, QString> m_paths;
};
