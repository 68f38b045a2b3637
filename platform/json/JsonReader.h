#pragma once

// Parser of JSON text (RFC 8259, UTF-8) into QVariant values of the canonical kinds of JsonObject.
// Integers stay exact: qint64, or quint64 above its range; only numbers with a fraction or an
// exponent (or beyond 64 bits) become double. Stateless; any thread.

#include <QByteArray>
#include <QString>
#include <QVariant>

class JsonReader
{
public:
    // Parses the whole text (a leading UTF-8 byte-order mark is skipped); the root may be any
    // value. On failure `value` is unchanged and `error` (when not null) names line, column and
    // cause.
    static bool parse(const QByteArray& text, QVariant& value, QString* error = nullptr);
};
