#pragma once

// Small pieces the command kind tests share: commands made through the factory registry, editor
// forms written as JSON text, work on a thread of its own as a flash pool thread would do it.

#include "tests/model/ModelTestKit.h"

#include "core/MetaTypes.h"
#include "engine/EngineMetaTypes.h"
#include "model/FlashCommand.h"
#include "model/FlashParameterValueString.h"
#include "platform/json/JsonObjectList.h"

#include <QThread>

#include <functional>
#include <memory>

namespace ToolsTestKit {

// What every command kind test starts with: the meta-types, the registry of the built-in kinds,
// the application log relayed into `recorder`.
inline void startCommandTests(RecordingLogSink& recorder)
{
    registerMetaTypes();
    registerEngineMetaTypes();
    FlashCommand::ms_kFactories = FlashCommand::initFactories();
    relayApplicationLog(recorder);
}

// A configuration with one string parameter `name` whose only value is `value`.
inline QSharedPointer<FlashConfiguration> configurationWith(const QString& name, const QString& value)
{
    std::map<QString, FlashParameterValueString*> values = {
        {QString(), new FlashParameterValueString(QString(), value, QString())}};
    return makeConfiguration(FlashConfiguration::UnknownGroupsEnabled,
                             {{name, FlashParameterPtr(new FlashParameter(name, name, values))}});
}

// The command the factory registry makes of `json`; null when it refuses it.
inline QSharedPointer<FlashCommand> commandFrom(const QByteArray& json)
{
    JsonObject object;
    if (!object.loadMemory(json))
        return {};
    return FlashCommand::getCommandFromJson(object);
}

// An editor form from the JSON text of its field array.
inline JsonObjectList formFrom(const QByteArray& fields)
{
    JsonObject object;
    JsonObjectList form;
    if (object.loadMemory("{\"form\": " + fields + "}"))
        object.getObjectList(QStringLiteral("form"), form);
    return form;
}

// Each field as one JSON text line, for readable comparisons.
inline QStringList fieldTexts(const JsonObjectList& form)
{
    QStringList texts;
    for (const JsonObject& field : form)
        texts << QString::fromUtf8(field.toJson()).simplified();
    return texts;
}

// Runs `work` on a thread of its own, as a flash pool thread would.
inline std::unique_ptr<QThread> startThread(std::function<void()> work)
{
    std::unique_ptr<QThread> thread(QThread::create(std::move(work)));
    thread->start();
    return thread;
}

} // namespace ToolsTestKit
