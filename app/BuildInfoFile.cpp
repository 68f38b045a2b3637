#include "app/BuildInfoFile.h"

#include "core/FlashTypes.h"
#include "model/FlashGroup.h"
#include "model/FlashParameter.h"
#include "model/FlashParameterValue.h"
#include "platform/json/JsonObject.h"

#include <QFileInfo>
#include <QVariantMap>

namespace {

// Parameter id -> text of its value; parameters without any value are left out.
QVariantMap componentValues(const FlashConfiguration& configuration)
{
    QVariantMap components;
    for (const auto& entry : configuration.getParameters()) {
        QSharedPointer<FlashParameterValue> value = entry.second ? entry.second->getValue() : nullptr;
        if (!value)
            value = configuration.getParameterValue(entry.first);
        if (value)
            components.insert(entry.first, value->getValue());
    }
    return components;
}

// Group id -> enabled: the configuration's own states, then the flash file's other groups by the
// configuration's rule for groups it does not list.
QVariantMap groupStates(const FlashConfiguration& configuration, FlashConfiguration::FileGroups unlisted)
{
    QVariantMap states;
    for (const FlashConfiguration::Group& state : configuration.getGroupsStatus()) {
        if (!state.group)
            continue;
        states.insert(state.group->getId(), state.enabled);
        unlisted.erase(state.group->getId());
    }
    const bool unlistedEnabled = configuration.getUnknownGroupBehavior() == FlashConfiguration::UnknownGroupsEnabled;
    for (const auto& entry : unlisted)
        states.insert(entry.first, unlistedEnabled);
    return states;
}

} // namespace

JsonObject BuildInfoFile::toJson(const FlashConfiguration& configuration, const ArgParser::Options& options,
                                 const FlashConfiguration::FileGroups& fileGroups)
{
    JsonObject document;
    document.setValue(QStringLiteral("components"), componentValues(configuration));
    document.setValue(QStringLiteral("buildProperties"), QVariantMap(configuration.getBuildProperties()));
    document.setValue(QStringLiteral("localFlashFile"), options.flashFile);
    document.setValue(QStringLiteral("flashFileName"), QFileInfo(options.flashFileName).fileName());
    document.setValue(QStringLiteral("flashConfiguration"), options.configuration);
    document.setValue(QStringLiteral("flashConfigurationStartState"),
                      FlashTypes::getStateName(configuration.getStartState()));
    document.setValue(QStringLiteral("flashGroupsState"), groupStates(configuration, fileGroups));
    return document;
}

QString BuildInfoFile::save(const FlashConfiguration& configuration, const ArgParser::Options& options,
                            const FlashConfiguration::FileGroups& fileGroups)
{
    if (options.buildInfoOutput.isEmpty())
        return QString();
    const QString path = QFileInfo(options.buildInfoOutput).absoluteFilePath();
    return toJson(configuration, options, fileGroups).saveToFile(path) ? path : QString();
}
