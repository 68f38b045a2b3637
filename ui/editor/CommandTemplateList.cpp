#include "ui/editor/CommandTemplateList.h"

#include <QDir>
#include <QFileInfo>

namespace {

void readEntry(const QString& path, QList<CommandTemplateList::Entry>& entries,
               QList<CommandTemplateList::Skipped>& skipped)
{
    CommandTemplateList::Entry entry;
    QString error;
    if (!entry.document.loadFile(path, &error)) {
        skipped.append({path, error});
        return;
    }
    // A "name" of another kind is no name: the file name stands in for it.
    if (entry.document.getString(QStringLiteral("name"), entry.text) != JsonObject::Found || entry.text.isEmpty())
        entry.text = QFileInfo(path).fileName();
    entry.path = path;
    entries.append(entry);
}

} // namespace

const QStringList& CommandTemplateList::builtInPaths()
{
    static const QStringList kPaths = {
        QStringLiteral(":/templates/flashWithDfu.json"),
        QStringLiteral(":/templates/flashFwOsWithDravik.json"),
        QStringLiteral(":/templates/PmicNvmUpdateWithDravik.json"),
    };
    return kPaths;
}

QList<CommandTemplateList::Entry> CommandTemplateList::read(const QString& userFolder, QList<Skipped>& skipped)
{
    QList<Entry> entries;
    for (const QString& path : builtInPaths())
        readEntry(path, entries, skipped);
    if (userFolder.isEmpty())
        return entries;
    const QDir folder(userFolder);
    const QStringList names =
        folder.entryList({QStringLiteral("*.json")}, QDir::Files | QDir::Readable, QDir::Name);
    for (const QString& name : names)
        readEntry(folder.absoluteFilePath(name), entries, skipped);
    return entries;
}
