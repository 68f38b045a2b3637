#pragma once

// Pieces the loader tests share: the application log recorded line by line, and readers of what
// a load logged.

#include "../core/RecordedLog.h"
#include "platform/json/JsonObject.h"
#include "platform/json/JsonWriter.h"

#include <QDir>
#include <QFile>
#include <QStringList>

// The lines that follow the first line equal to `line` ("LEVEL|text"), up to the next line that is
// no DEBUG line; empty when `line` was not logged.
inline QStringList contextAfter(const QStringList& lines, const QString& line)
{
    QStringList context;
    const int at = lines.indexOf(line);
    if (at < 0)
        return context;
    for (int index = at + 1; index < lines.size() && lines[index].startsWith(QLatin1String("DEBUG|")); ++index)
        context << lines[index];
    return context;
}

// The DEBUG lines that report a JSON context: "In context:", then the object's text, four blanks in.
inline QStringList jsonContextLines(const QByteArray& json)
{
    JsonObject object;
    object.loadMemory(json);
    QStringList lines{QStringLiteral("DEBUG|In context:")};
    const QString text = QString::fromUtf8(JsonWriter::toJson(object.toQVariantMap()));
    for (const QString& line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        lines << QStringLiteral("DEBUG|    ") + line;
    return lines;
}

inline bool writeTextFile(const QString& path, const QByteArray& text)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}
