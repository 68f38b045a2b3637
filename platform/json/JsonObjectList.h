#pragma once

// Ordered list of JSON objects: an array of objects in a JSON document, and the form descriptions
// of the flash editor (one object per field, built by appending). A value like JsonObject.

#include "platform/json/JsonObject.h"

#include <QList>
#include <QMetaType>
#include <QString>
#include <QVariant>

class JsonObjectList : public QList<JsonObject>
{
public:
    JsonObjectList() = default;
    JsonObjectList(std::initializer_list<JsonObject> objects);

    // The first object whose member `key` equals `value` (QVariant equality), or end().
    iterator findFromField(const QString& key, const QVariant& value);
    const_iterator findFromField(const QString& key, const QVariant& value) const;

    // One QVariantMap per object, in order.
    QVariantList toQVariantList() const;
    // The list rebuilt from a variant holding such a list; elements that are not maps are skipped.
    static JsonObjectList fromQVariant(const QVariant& value);
};

Q_DECLARE_METATYPE(JsonObjectList)
