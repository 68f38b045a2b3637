#include "loader/JsonFlashFileReader.h"

#include "core/ApplicationLog.h"
#include "loader/FlashFileManager.h"
#include "loader/JsonCommandReader.h"
#include "loader/JsonConfigurationReader.h"
#include "loader/JsonParameterReader.h"
#include "loader/LoadErrorLog.h"
#include "platform/json/JsonObject.h"

#include <set>

namespace {

enum class Presence { Required, Optional };

// Turns the outcome of reading a document-level key into the reader's message; true when the
// reading goes on (found, or absent where the key is optional).
bool accept(JsonObject::ConvertResult result, const QString& key, Presence presence,
            int internalError, const JsonObject& context)
{
    switch (result) {
    case JsonObject::Found:
        return true;
    case JsonObject::WrongType:
        LoadErrorLog::logErrorWithContext(QStringLiteral("Invalid value for ") + key, context);
        return false;
    case JsonObject::Absent:
        if (presence == Presence::Optional)
            return true;
        LoadErrorLog::logErrorWithContext(key + QStringLiteral(" key not found"), context);
        return false;
    }
    LoadErrorLog::logErrorWithContext(
        QStringLiteral("Internal load error (%1)").arg(internalError), context);
    return false;
}

// An object map that may be missing: absence is logged at DEBUG and leaves the map empty.
bool readOptionalMap(const JsonObject& flash, const QString& key, int internalError,
                     JsonObjectMap& map)
{
    const JsonObject::ConvertResult result = flash.getObjectMap(key, map);
    if (result == JsonObject::Absent)
        ApplicationLog::write(DEBUG, key + QStringLiteral(" key not found"));
    return accept(result, key, Presence::Optional, internalError, flash);
}

JsonFormat formatOf(FlashTypes::StateMapVersion stateKeywords)
{
    const bool v3 = stateKeywords >= FlashTypes::StateMapV3p0;
    return JsonFormat{stateKeywords,
                      stateKeywords >= FlashTypes::StateMapV2p2,
                      v3,
                      v3,
                      v3,
                      v3 ? FlashConfiguration::UnknownGroupsDisabled
                         : FlashConfiguration::UnknownGroupsEnabled};
}

// The first start-state keyword of a "2.0" file that only later versions know, or a null text.
// Null too after an error, which has been logged: `failed` tells the two apart.
QString laterStartState(const JsonObject& document, bool& failed)
{
    failed = true;
    JsonObject flash;
    if (!accept(document.getObject(QStringLiteral("flash"), flash), QStringLiteral("flash"),
                Presence::Required, 0, document))
        return QString();
    JsonObjectMap configurations;
    if (!accept(flash.getObjectMap(QStringLiteral("configurations"), configurations),
                QStringLiteral("configurations"), Presence::Required, 4, flash))
        return QString();
    failed = false;
    for (const JsonObject& configuration : configurations) {
        QString state;
        configuration.getString(QStringLiteral("startState"), state);
        if (state == QLatin1String("dnx_fw") || state == QLatin1String("dnx_os"))
            return state;
    }
    return QString();
}

} // namespace

QSharedPointer<FlashFileManager> JsonFlashFileReader::loadV2(const QString& folder,
                                                             const JsonObject& document,
                                                             const FlashVersion& version,
                                                             bool checkConfigurations)
{
    if (version >= QStringLiteral("2.1")) {
        const FlashTypes::StateMapVersion keywords =
            version < QStringLiteral("2.2") ? FlashTypes::StateMapV2p1 : FlashTypes::StateMapV2p2;
        return walk(formatOf(keywords), folder, document, version, checkConfigurations);
    }
    bool failed = false;
    const QString state = laterStartState(document, failed);
    if (failed)
        return {};
    if (!state.isNull()) {
        ApplicationLog::write(
            WARNING, QStringLiteral("Invalid start state '") + state
                         + QStringLiteral("' for flash file v2.0 detected. Retry load with version 2.1."));
        return loadV2(folder, document, FlashVersion(QStringLiteral("2.1")), checkConfigurations);
    }
    return walk(formatOf(FlashTypes::StateMapV2p0), folder, document, version, checkConfigurations);
}

QSharedPointer<FlashFileManager> JsonFlashFileReader::loadV3(const QString& folder,
                                                             const JsonObject& document,
                                                             const FlashVersion& version,
                                                             bool checkConfigurations)
{
    return walk(formatOf(FlashTypes::StateMapV3p0), folder, document, version, checkConfigurations);
}

QSharedPointer<FlashFileManager> JsonFlashFileReader::walk(const JsonFormat& format,
                                                           const QString& folder,
                                                           const JsonObject& document,
                                                           const FlashVersion& version,
                                                           bool checkConfigurations)
{
    if (version < QStringLiteral("2"))
        return LoadErrorLog::logErrorWithContext(QStringLiteral("Invalid flash file version"), document);

    JsonObject flash;
    if (!accept(document.getObject(QStringLiteral("flash"), flash), QStringLiteral("flash"),
                Presence::Required, 0, document))
        return {};
    FlashFileManager::Contents contents;
    if (!accept(document.getMap(QStringLiteral("build_info"), contents.buildProperties),
                QStringLiteral("build_info"), Presence::Optional, 1, document))
        return {};
    if (format.readsPlatforms
        && !accept(flash.getEnumList(QStringLiteral("platforms"), FlashTypes::getPlatformMap(),
                                     contents.platforms),
                   QStringLiteral("platforms"), Presence::Optional, 2, flash))
        return {};
    JsonObjectMap parameters;
    if (!readOptionalMap(flash, QStringLiteral("parameters"), 3, parameters))
        return {};
    JsonObjectMap groups;
    if (!readOptionalMap(flash, QStringLiteral("groups"), 12, groups))
        return {};
    JsonObjectMap configurations;
    if (!accept(flash.getObjectMap(QStringLiteral("configurations"), configurations),
                QStringLiteral("configurations"), Presence::Required, 4, flash))
        return {};
    if (configurations.isEmpty())
        return LoadErrorLog::logErrorWithContext(QStringLiteral("No configuration found"), flash);
    JsonObjectList commands;
    if (!accept(flash.getObjectList(QStringLiteral("commands"), commands),
                QStringLiteral("commands"), Presence::Required, 5, flash))
        return {};

    for (auto group = groups.cbegin(); group != groups.cend(); ++group) {
        if (!JsonCommandReader::readGroup(group.value(), group.key(), contents.groups[group.key()]))
            return {};
    }
    for (auto parameter = parameters.cbegin(); parameter != parameters.cend(); ++parameter) {
        QSharedPointer<FlashParameter>& result = contents.parameters[parameter.key()];
        const bool read = format.readsVariables
                              ? JsonParameterReader::readV3(parameter.value(), parameter.key(), folder, result)
                              : JsonParameterReader::readV2(parameter.value(), parameter.key(), folder, result);
        if (!read)
            return {};
    }
    for (auto entry = configurations.cbegin(); entry != configurations.cend(); ++entry) {
        bool isDefault = false;
        QSharedPointer<FlashConfiguration>& configuration = contents.configurations[entry.key()];
        if (!JsonConfigurationReader::read(format, entry.value(), entry.key(), contents.parameters,
                                           contents.groups, isDefault, configuration))
            return {};
        if (!isDefault)
            continue;
        if (contents.defaultConfiguration)
            return LoadErrorLog::logErrorWithContext(QStringLiteral("Too many default configurations"),
                                                     entry.value());
        contents.defaultConfiguration = configuration;
    }
    if (!contents.defaultConfiguration)
        contents.defaultConfiguration = contents.configurations.begin()->second;

    for (const JsonObject& json : commands) {
        std::set<QString> restrict;
        QSharedPointer<FlashCommand> command;
        if (!JsonCommandReader::readCommand(json, contents.groups, restrict, command))
            return {};
        if (!command)
            continue;
        contents.commands.push_back(command);
        const bool everywhere = restrict.empty();
        for (const auto& configuration : contents.configurations) {
            const bool runs = everywhere || restrict.erase(configuration.first) != 0;
            configuration.second->appendCommand(runs ? command : QSharedPointer<FlashCommand>());
        }
        for (const QString& unknown : restrict) {
            LoadErrorLog::logErrorWithContext(
                QStringLiteral("No configuration found with ") + unknown + QStringLiteral(" key"), json);
        }
        if (!restrict.empty())
            return {};
    }

    if (checkConfigurations) {
        for (const auto& configuration : contents.configurations) {
            const QString error = configuration.second->getError();
            if (!error.isNull())
                return LoadErrorLog::logErrorWithContext(error, flash);
        }
    }

    const QSharedPointer<FlashFileManager> flashFile = FlashFileManager::create(std::move(contents));
    ApplicationLog::write(DEBUG, QStringLiteral("Json Flash file parsed (") + folder
                                                      + QLatin1Char(')'));
    return flashFile;
}
