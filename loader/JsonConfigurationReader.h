#pragma once

// Reader of one member of a JSON flash file's "configurations": texts, start state, default flag,
// selected parameter values and group states, by the rules of the file's version. Static only.

#include "loader/JsonFormat.h"
#include "model/FlashConfiguration.h"

#include <QSharedPointer>
#include <QString>

class JsonObject;

class JsonConfigurationReader
{
public:
    JsonConfigurationReader() = delete;

    // True with `result` built and `isDefault` read; false after logging the refusal.
    static bool read(const JsonFormat& format, const JsonObject& json, const QString& id,
                     const FlashConfiguration::Parameters& parameters,
                     const FlashConfiguration::FileGroups& groups, bool& isDefault,
                     QSharedPointer<FlashConfiguration>& result);
};
