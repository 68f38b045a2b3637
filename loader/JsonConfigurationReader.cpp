#include "loader/JsonConfigurationReader.h"

#include "loader/LoadErrorLog.h"
#include "model/FlashGroup.h"
#include "model/FlashParameter.h"
#include "model/FlashParameterValue.h"
#include "platform/json/JsonObject.h"

namespace {

// Optional keys: only a value of the wrong kind is refused, with "Invalid value for <key>".
bool accepted(JsonObject::ConvertResult result, const QString& key, const JsonObject& json)
{
    if (result != JsonObject::WrongType)
        return true;
    LoadErrorLog::logErrorWithContext(QStringLiteral("Invalid value for ") + key, json);
    return false;
}

bool readOptional(const JsonObject& json, const QString& key, QString& value)
{
    return accepted(json.getString(key, value), key, json);
}

bool readOptional(const JsonObject& json, const QString& key, bool& value)
{
    return accepted(json.getBoolean(key, value), key, json);
}

bool readOptional(const JsonObject& json, const QString& key, QVariantMap& value)
{
    return accepted(json.getMap(key, value), key, json);
}

// A group state is a JSON boolean, number or text; null, arrays and objects are refused.
bool isBooleanLike(const QVariant& value)
{
    switch (static_cast<QMetaType::Type>(value.userType())) {
    case QMetaType::Bool:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::QString:
        return true;
    default:
        return false;
    }
}

} // namespace

bool JsonConfigurationReader::read(const JsonFormat& format, const JsonObject& json,
                                   const QString& id,
                                   const FlashConfiguration::Parameters& parameters,
                                   const FlashConfiguration::FileGroups& groups, bool& isDefault,
                                   QSharedPointer<FlashConfiguration>& result)
{
    QString name;
    if (json.getString(QStringLiteral("name"), name) != JsonObject::Found) {
        LoadErrorLog::logErrorWithContext(QStringLiteral("Invalid value for name"), json);
        return false;
    }
    QString description;
    QString brief;
    if (!readOptional(json, QStringLiteral("description"), description)
        || !readOptional(json, QStringLiteral("brief"), brief))
        return false;

    DeviceState startState = DeviceState::Unknown;
    switch (json.getEnum(QStringLiteral("startState"), FlashTypes::getStateMap(format.stateKeywords),
                         startState)) {
    case JsonObject::Found:
        break;
    case JsonObject::WrongType:
        LoadErrorLog::logErrorWithContext(
            QStringLiteral("Invalid start state value value in configuration"), json);
        return false;
    case JsonObject::Absent:
        LoadErrorLog::logErrorWithContext(QStringLiteral("Start state not found in configuration"),
                                          json);
        return false;
    default:
        LoadErrorLog::logErrorWithContext(
            QStringLiteral("Internal load error (%1)").arg(format.readsHiddenToEndUser ? 13 : 10), json);
        return false;
    }

    isDefault = false;
    if (!readOptional(json, QStringLiteral("default"), isDefault))
        return false;
    QString documentation;
    if (format.readsDocumentation && !readOptional(json, QStringLiteral("documentation"), documentation))
        return false;
    bool hiddenToEndUser = false;
    if (format.readsHiddenToEndUser
        && !readOptional(json, QStringLiteral("hiddenToEndUser"), hiddenToEndUser))
        return false;

    QVariantMap selections;
    if (!readOptional(json, QStringLiteral("parameters"), selections))
        return false;
    const JsonObject selectionsJson(selections);
    FlashConfiguration::ParameterValues selected;
    for (auto selection = selections.cbegin(); selection != selections.cend(); ++selection) {
        const QString& parameterId = selection.key();
        const QString valueId = selection.value().toString();
        const auto parameter = parameters.find(parameterId);
        if (parameter == parameters.end() || !parameter->second) {
            LoadErrorLog::logErrorWithContext(QStringLiteral("Invalid parameter key ") + parameterId,
                                              selectionsJson);
            return false;
        }
        const QSharedPointer<FlashParameterValue> value = parameter->second->getValue(valueId);
        if (!value) {
            LoadErrorLog::logErrorWithContext(QStringLiteral("Invalid parameter value '") + valueId
                                                  + QStringLiteral("' for ") + parameterId,
                                              selectionsJson);
            return false;
        }
        const QString error = value->getError();
        if (!error.isEmpty()) {
            LoadErrorLog::logErrorWithContext(
                QStringLiteral("Invalid parameter ") + parameterId + QStringLiteral(" : ") + error, json);
            return false;
        }
        selected[parameterId] = valueId;
    }

    QSharedPointer<FlashConfiguration> configuration(new FlashConfiguration(
        startState, format.unknownGroups, id, name, description, brief, documentation,
        hiddenToEndUser, parameters, selected));

    QVariantMap states;
    if (!readOptional(json, QStringLiteral("groupsState"), states))
        return false;
    const JsonObject statesJson(states);
    for (auto state = states.cbegin(); state != states.cend(); ++state) {
        const auto group = groups.find(state.key());
        if (group == groups.end()) {
            LoadErrorLog::logErrorWithContext(QStringLiteral("Invalid group key ") + state.key(),
                                              statesJson);
            return false;
        }
        if (!isBooleanLike(state.value())) {
            LoadErrorLog::logErrorWithContext(
                QStringLiteral("Invalid group ") + state.key() + QStringLiteral(" value"), statesJson);
            return false;
        }
        configuration->attachGroup(group->second, state.value().toBool());
    }
    result = configuration;
    return true;
}
