#pragma once

// Map of member name to JSON object, iterated in QString key order: an object whose members are
// all objects (the "configurations" or "parameters" of a flash file). A value like JsonObject.

#include "platform/json/JsonObject.h"

#include <QMap>
#include <QString>
#include <QVariant>

class JsonObjectMap : public QMap<QString, JsonObject>
{
public:
    JsonObjectMap() = default;

    // One QVariantMap per member.
    QVariantMap toQVariantMap() const;
};
