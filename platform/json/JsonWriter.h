#pragma once

// Writer of QVariant values as indented JSON text (four blanks a level, members in key order,
// a line feed at the end). Integers are written as exact digits; doubles in their shortest form
// that reads back the same, non-finite ones as null. Stateless; any thread.

#include <QByteArray>
#include <QString>
#include <QVariant>

class JsonWriter
{
public:
    // Maps (QVariantMap, QVariantHash) are objects, lists (QVariantList, QStringList) arrays; an
    // invalid or nullptr variant is null; other types become text when Qt converts them to text.
    // False, with `error` set when not null, for a value nested too deep to write.
    static bool write(const QVariant& value, QByteArray& text, QString* error = nullptr);
    static QByteArray toJson(const QVariant& value);
};
