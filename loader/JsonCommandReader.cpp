#include "loader/JsonCommandReader.h"

#include "loader/LoadErrorLog.h"
#include "model/FlashCommand.h"
#include "model/FlashGroup.h"
#include "platform/json/JsonObject.h"

#include <QStringList>

namespace {

// A required, non-empty text of a group: "Invalid value for <key>" when absent or no text,
// "Empty value for <key>" when empty.
bool readGroupText(const JsonObject& json, const QString& key, QString& value)
{
    if (json.getString(key, value) != JsonObject::Found) {
        LoadErrorLog::logErrorWithContext(QStringLiteral("Invalid value for ") + key, json);
        return false;
    }
    if (value.isEmpty()) {
        LoadErrorLog::logErrorWithContext(QStringLiteral("Empty value for ") + key, json);
        return false;
    }
    return true;
}

// A key of the wrong kind that holds null counts as absent.
bool isNullOrAbsent(const JsonObject& json, const QString& key, JsonObject::ConvertResult result)
{
    return result == JsonObject::Absent || json.hasNullValue(key) == JsonObject::Found;
}

} // namespace

bool JsonCommandReader::readGroup(const JsonObject& json, const QString& id,
                                  QSharedPointer<FlashGroup>& result)
{
    QString name;
    QString description;
    if (!readGroupText(json, QStringLiteral("name"), name)
        || !readGroupText(json, QStringLiteral("description"), description))
        return false;
    result.reset(new FlashGroup(id, name, description));
    return true;
}

bool JsonCommandReader::readCommand(const JsonObject& json,
                                    const FlashConfiguration::FileGroups& groups,
                                    std::set<QString>& restrict, QSharedPointer<FlashCommand>& result)
{
    const QString restrictKey = QStringLiteral("restrict");
    QStringList ids;
    const JsonObject::ConvertResult restriction = json.getStringList(restrictKey, ids);
    if (restriction == JsonObject::Found) {
        if (ids.isEmpty())
            return true;
        restrict.insert(ids.cbegin(), ids.cend());
    } else if (!isNullOrAbsent(json, restrictKey, restriction)) {
        LoadErrorLog::logErrorWithContext(QStringLiteral("Invalid value for restrict"), json);
        return false;
    }

    const QString groupKey = QStringLiteral("group");
    QString groupId;
    const JsonObject::ConvertResult groupRead = json.getString(groupKey, groupId);
    if (groupRead != JsonObject::Found && !isNullOrAbsent(json, groupKey, groupRead)) {
        LoadErrorLog::logErrorWithContext(QStringLiteral("Invalid value for group"), json);
        return false;
    }
    QSharedPointer<FlashGroup> group;
    if (!groupId.isEmpty()) {
        const auto found = groups.find(groupId);
        if (found == groups.end()) {
            LoadErrorLog::logErrorWithContext(QStringLiteral("Group Id not defined ") + groupId, json);
            return false;
        }
        group = found->second;
    }

    QString tool;
    switch (json.getString(QStringLiteral("tool"), tool)) {
    case JsonObject::Found:
        break;
    case JsonObject::Absent:
        LoadErrorLog::logErrorWithContext(QStringLiteral("No tool set in command"), json);
        return false;
    default:
        LoadErrorLog::logErrorWithContext(QStringLiteral("Invalid tool value in command"), json);
        return false;
    }

    const QSharedPointer<FlashCommand> command = FlashCommand::getCommandFromJson(json);
    if (!command) {
        LoadErrorLog::logErrorWithContext(
            QStringLiteral("Tool ") + tool + QStringLiteral(" not found or invalid tool configuration"),
            json);
        return false;
    }
    if (group) {
        group->addCommand(command);
        command->setGroup(groupId);
    }
    result = command;
    return true;
}
