#pragma once

// Reader of one member of a JSON flash file's "parameters": file, temporary-file and string
// parameters with their options (every version), and variables (version "3.0"). Static only.

#include <QSharedPointer>
#include <QString>

class FlashCommand;
class FlashParameter;
class JsonObject;

class JsonParameterReader
{
public:
    JsonParameterReader() = delete;

    // Versions "2.0" to "2.2": kinds "file", "temporary_file" and "string". A relative file path
    // is made absolute against `folder`, the flash file's folder. True with `result` set; false
    // after logging the refusal, `result` untouched.
    static bool readV2(const JsonObject& json, const QString& id, const QString& folder,
                       QSharedPointer<FlashParameter>& result);
    // Version "3.0": "variable" here, every other kind as readV2.
    static bool readV3(const JsonObject& json, const QString& id, const QString& folder,
                       QSharedPointer<FlashParameter>& result);

private:
    static bool readVariable(const JsonObject& json, const QString& id,
                             QSharedPointer<FlashParameter>& result);
    // Why a variable cannot take its value from `command`; null when it can.
    static QString subCommandProblem(const QSharedPointer<FlashCommand>& command);
};
