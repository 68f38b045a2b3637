#pragma once

// Small pieces the model tests share: a command kind whose attempts a test scripts, the application
// log relayed into a recording sink, a device on a USB port, a configuration and its runner.

#include "FakeFlashFile.h"
#include "RecordingLogSink.h"
#include "core/MessageHandler.h"
#include "engine/FlashDevice2.h"
#include "engine/FlashRunner.h"
#include "model/FlashCommand.h"
#include "model/FlashConfiguration.h"
#include "platform/json/JsonObjectList.h"

#include <functional>
#include <vector>

// A command kind driven by the test: each attempt answers the next scripted result (the last one
// repeats), or whatever `onPerform` decides.
class ScriptedCommand : public FlashCommand
{
public:
    using Perform = std::function<int(const SharedPointer<FlashRunner>&, uint64_t, QString&)>;

    explicit ScriptedCommand(const QString& name, std::vector<int> results = {PerformSuccess},
                             FlashCommandData* data = nullptr)
        : FlashCommand(data)
        , m_name(name)
        , m_results(std::move(results))
    {
    }

    // Tool "scripted": "name" (text), "text" (a text with references), "refuse" (true: the
    // creator returns null).
    static FlashCommand* create(const JsonObject& json)
    {
        FlashCommandData* data = getCommandData(json);
        if (!data)
            return nullptr;
        bool refuse = false;
        json.getBoolean(QStringLiteral("refuse"), refuse);
        if (refuse) {
            delete data;
            return nullptr;
        }
        QString name;
        json.getString(QStringLiteral("name"), name);
        auto* command = new ScriptedCommand(name, {PerformSuccess}, data);
        json.getString(QStringLiteral("text"), command->m_text);
        return command;
    }

    QString getLogCommand(const SharedPointer<FlashRunner>&) const override { return m_name; }
    QString getLogCommand(const FlashConfiguration&) const override { return m_name; }
    FlashTypes::CommandType getType() const override { return m_type; }
    bool isMandatory() const override { return m_mandatory; }
    uint64_t getTimeout() const override { return m_timeout; }
    std::set<CommandParameter> getParameterKeys() const override
    {
        std::set<CommandParameter> keys = FlashCommand::getParameterKeys();
        addParameterKeys(m_text, keys);
        return keys;
    }
    QString checkParameters(const FlashConfiguration& configuration,
                            std::set<QString>& definedVariables) const override
    {
        const QString error = FlashCommand::checkParameters(configuration, definedVariables);
        if (error.isNull() && !m_definesVariable.isEmpty())
            definedVariables.insert(m_definesVariable);
        return error;
    }
    JsonObject toJson() const override
    {
        JsonObject json = getJsonBase();
        json.setValue(QStringLiteral("tool"), getToolId());
        json.setValue(QStringLiteral("name"), m_name);
        return json;
    }
    QString getToolId() const override { return QStringLiteral("scripted"); }
    QString getToolParameters() const override { return m_text; }
    QSharedPointer<FlashCommand> clone() const override
    {
        return QSharedPointer<FlashCommand>(new ScriptedCommand(*this));
    }
    JsonObjectList getJsonEditorInterface() const override { return JsonObjectList(); }
    int performCommand(const SharedPointer<FlashRunner>& runner, const SharedPointer<FlashDevice2>&,
                       uint64_t attempt, QString& error) const override
    {
        m_attempts.push_back(attempt);
        if (m_onPerform)
            return m_onPerform(runner, attempt, error);
        const std::size_t index = std::min<std::size_t>(attempt - 1, m_results.size() - 1);
        return m_results[index];
    }

    QString m_name;
    QString m_text;
    QString m_definesVariable;
    std::vector<int> m_results;
    Perform m_onPerform;
    FlashTypes::CommandType m_type = FlashTypes::CommandType::Shell;
    bool m_mandatory = true;
    uint64_t m_timeout = 1000;
    mutable std::vector<uint64_t> m_attempts;
};

// Relays the application log into `sink`, each line tagged "app".
inline void relayApplicationLog(RecordingLogSink& sink)
{
    QObject::connect(MessageHandler::instance(), &MessageHandler::newLog, &sink,
                     [&sink](LOGLEVEL level, const QString&, const QString& text) {
                         sink.relay(QStringLiteral("app"), Logger::LogLevel(level), text);
                     },
                     Qt::DirectConnection);
}

inline SharedPointer<FlashDevice2> makeDevice(const QString& serial = QStringLiteral("SER123"),
                                              const PortNumber& port = PortNumber::usbPort(QStringLiteral("1-2")))
{
    DummyDevice data;
    data.setPort(port);
    data.setSerial(serial);
    data.setState(DeviceState::MainOs);
    data.setConnected(true);
    return SharedPointer<FlashDevice2>(new FlashDevice2(data, nullptr));
}

inline QSharedPointer<FlashConfiguration> makeConfiguration(
    FlashConfiguration::UnknownGroupBehavior behavior = FlashConfiguration::UnknownGroupsEnabled,
    const FlashConfiguration::Parameters& parameters = {},
    const FlashConfiguration::ParameterValues& values = {})
{
    return QSharedPointer<FlashConfiguration>(new FlashConfiguration(
        DeviceState::MainOs, behavior, QStringLiteral("cfg"), QStringLiteral("Configuration"),
        QString(), QString(), QString(), false, parameters, values));
}

// A runner for `configuration` on `device`, its lines going to `recorder`.
inline SharedPointer<FlashRunner> makeRunner(const SharedPointer<FlashDevice2>& device,
                                             const QSharedPointer<FlashConfiguration>& configuration,
                                             RecordingLogSink* recorder = nullptr)
{
    SharedPointer<FlashRunner> runner(new FlashRunner(nullptr, device, configuration));
    if (recorder)
        recorder->bind(*runner);
    return runner;
}
