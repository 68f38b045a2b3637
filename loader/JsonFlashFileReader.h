#pragma once

// Reader of JSON flash files "2.0" to "3.0" at document level: the version rules, the keys of the
// document, the order in which groups, parameters, configurations and commands are read and tied
// together, the default configuration and the final check. Records are read by the
// JsonParameterReader, JsonConfigurationReader and JsonCommandReader. Static only; runs on the
// loading thread and keeps no state.

#include "core/FlashVersion.h"
#include "loader/JsonFormat.h"

#include <QSharedPointer>
#include <QString>

class FlashFileManager;
class JsonObject;

class JsonFlashFileReader
{
public:
    JsonFlashFileReader() = delete;

    // Versions "2.0" to "2.2". A "2.0" file that uses the start states "dnx_fw" or "dnx_os" of
    // later versions is read again as "2.1", after a WARNING.
    static QSharedPointer<FlashFileManager> loadV2(const QString& folder, const JsonObject& document,
                                                   const FlashVersion& version,
                                                   bool checkConfigurations);
    static QSharedPointer<FlashFileManager> loadV3(const QString& folder, const JsonObject& document,
                                                   const FlashVersion& version,
                                                   bool checkConfigurations);

private:
    static QSharedPointer<FlashFileManager> walk(const JsonFormat& format, const QString& folder,
                                                 const JsonObject& document,
                                                 const FlashVersion& version,
                                                 bool checkConfigurations);
};
