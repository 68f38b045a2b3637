#pragma once

// Parser of JSON text (RFC 8259, UTF-8) into QVariant values of the canonical kinds of JsonObject.
// Integers stay exact: qint64, or quint64 above its range; only numbers with a fraction or an
// exponent (or beyond 64 bits) become double. Stateless; any thread.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariant>

class JsonReader
{
public:
    // A member name written twice in one object; the object keeps the value of the last one.
    struct DuplicateKey
    {
        QString key;
        int line; // of the repeated name, from 1
    };

    // Parses the whole text (a leading UTF-8 byte-order mark is skipped); the root may be any
    // value. On failure `value` is unchanged and `error` (when not null) names line, column and
    // cause. `duplicates` (when not null) receives every repeated member name, in text order.
    static bool parse(const QByteArray& text, QVariant& value, QString* error = nullptr,
                      QList<DuplicateKey>* duplicates = nullptr);
    // The same check of the whole text, keeping only the root and the kinds of its members or
    // elements: an object or array inside it comes out empty, a string inside them is not made.
    // What a file holds, judged without the cost of building its content.
    static bool parseOutline(const QByteArray& text, QVariant& value, QString* error = nullptr);
};
