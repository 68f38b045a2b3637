#pragma once

// The command templates the editor offers: the compiled-in ones, then every "*.json" of the user
// templates folder in file-name order. Reading only: the editor puts the entries into its chooser
// and says what was skipped. GUI thread (called by the editor).

#include "platform/json/JsonObject.h"

#include <QList>
#include <QString>
#include <QStringList>

class CommandTemplateList
{
public:
    struct Entry
    {
        QString text;         // the template's "name", or its file name when it has none
        JsonObject document;  // the whole template
        QString path;
    };
    struct Skipped
    {
        QString path;
        QString reason;
    };

    // The compiled-in templates' resource paths, in the order they are offered.
    static const QStringList& builtInPaths();
    // Every readable template; the files that are no JSON object go to `skipped`.
    static QList<Entry> read(const QString& userFolder, QList<Skipped>& skipped);
};
