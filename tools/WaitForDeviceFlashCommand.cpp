#include "tools/WaitForDeviceFlashCommand.h"

#include "engine/FlashDevice2.h"
#include "engine/FlashRunner.h"
#include "tools/EditorField.h"

#include <memory>

WaitForDeviceFlashCommand::WaitForDeviceFlashCommand(FlashCommandData* data, DeviceState state,
                                                     uint64_t timeoutMs, const QString& description)
    : FlashCommand(data)
    , m_state(state)
    , m_timeoutMs(timeoutMs)
    , m_description(description)
{
}

WaitForDeviceFlashCommand::WaitForDeviceFlashCommand(DeviceState state, uint64_t timeoutMs,
                                                     const QString& description)
    : WaitForDeviceFlashCommand(nullptr, state, timeoutMs, description)
{
}

QString WaitForDeviceFlashCommand::toolId()
{
    return QStringLiteral("waitForDevice");
}

QString WaitForDeviceFlashCommand::toolName()
{
    return QStringLiteral("Wait for device");
}

FlashCommand* WaitForDeviceFlashCommand::createWaitForDeviceCommand(const JsonObject& command)
{
    std::unique_ptr<FlashCommandData> data(getCommandData(command));
    if (!data)
        return nullptr;
    DeviceState state = DeviceState::Unknown;
    uint64_t timeoutMs = 0;
    QString description;
    if (command.getEnum(QStringLiteral("state"), FlashTypes::getStateMap(FlashTypes::StateMapV3p0), state) != JsonObject::Found
        || command.getUInt64(QStringLiteral("timeout"), timeoutMs) != JsonObject::Found
        || command.getString(QStringLiteral("description"), description) != JsonObject::Found)
        return nullptr;
    return new WaitForDeviceFlashCommand(data.release(), state, timeoutMs, description);
}

JsonObjectList WaitForDeviceFlashCommand::getJsonEditorInterfaceTemplate()
{
    // The keywords written today; the older "dnx" and "dnx_pos" are read but not offered.
    const EditorField::Choices states = {
        {QStringLiteral("cos"), QStringLiteral("Charger OS")},
        {QStringLiteral("dnx_fw"), QStringLiteral("DNX FW")},
        {QStringLiteral("dnx_os"), QStringLiteral("DNX OS")},
        {QStringLiteral("mos"), QStringLiteral("Main OS")},
        {QStringLiteral("pos"), QStringLiteral("Provision OS")},
        {QStringLiteral("ros"), QStringLiteral("Recovery OS")},
        {QStringLiteral("tos"), QStringLiteral("Test OS")},
    };
    return JsonObjectList{
        EditorField::hidden(QStringLiteral("tool"), toolId()).label(QStringLiteral("Tool")),
        EditorField::spinbox(QStringLiteral("timeout"), QStringLiteral("Timeout"), 120000)
            .minimum(-1)
            .step(1000)
            .suffix(QStringLiteral(" ms"))
            .specialValue(QStringLiteral("No timeout")),
        EditorField::text(QStringLiteral("description"), QStringLiteral("Description"),
                          QStringLiteral("Waiting for device")),
        EditorField::combobox(QStringLiteral("state"), QStringLiteral("Device state"), QStringLiteral("pos"),
                              states),
    };
}

QString WaitForDeviceFlashCommand::logText() const
{
    return QStringLiteral("Wait for device with status ") + FlashTypes::getStateName(m_state);
}

QString WaitForDeviceFlashCommand::getUserFriendlyCommand(const SharedPointer<FlashRunner>& runner) const
{
    return m_description.isEmpty() ? FlashCommand::getUserFriendlyCommand(runner) : m_description;
}

QString WaitForDeviceFlashCommand::getUserFriendlyCommand(const FlashConfiguration& configuration) const
{
    return m_description.isEmpty() ? FlashCommand::getUserFriendlyCommand(configuration) : m_description;
}

QString WaitForDeviceFlashCommand::getLogCommand(const SharedPointer<FlashRunner>& runner) const
{
    if (runner.isNull() || runner->getDevice().isNull())
        return logText();
    return logText() + QStringLiteral(" on port ") + runner->getDevice()->getPort().toString();
}

QString WaitForDeviceFlashCommand::getLogCommand(const FlashConfiguration&) const
{
    return logText();
}

FlashTypes::CommandType WaitForDeviceFlashCommand::getType() const
{
    return FlashTypes::CommandType::DeviceEnumeration;
}

bool WaitForDeviceFlashCommand::isMandatory() const
{
    return true;
}

uint64_t WaitForDeviceFlashCommand::getTimeout() const
{
    return m_timeoutMs;
}

JsonObject WaitForDeviceFlashCommand::toJson() const
{
    JsonObject json = getJsonBase();
    json.setValue(QStringLiteral("tool"), toolId());
    json.setValue(QStringLiteral("timeout"), m_timeoutMs);
    json.setValue(QStringLiteral("description"), m_description);
    json.setValue(QStringLiteral("state"), FlashTypes::getStateName(m_state));
    return json;
}

QString WaitForDeviceFlashCommand::getToolId() const
{
    return toolId();
}

QString WaitForDeviceFlashCommand::getToolParameters() const
{
    return FlashTypes::getStateName(m_state);
}

QSharedPointer<FlashCommand> WaitForDeviceFlashCommand::clone() const
{
    return QSharedPointer<FlashCommand>(new WaitForDeviceFlashCommand(*this));
}

JsonObjectList WaitForDeviceFlashCommand::getJsonEditorInterface() const
{
    return fillEditorInterface(getJsonEditorInterfaceTemplate(),
                               {{QStringLiteral("timeout"), EditorField::timeoutValue(m_timeoutMs)},
                                {QStringLiteral("description"), m_description},
                                {QStringLiteral("state"), FlashTypes::getStateName(m_state)}});
}

int WaitForDeviceFlashCommand::performCommand(const SharedPointer<FlashRunner>& runner,
                                              const SharedPointer<FlashDevice2>&, uint64_t attempt,
                                              QString&) const
{
    if (!hasRunner(runner))
        return PerformFailed;
    if (attempt != 1) {
        runner->logMessage(Logger::TRACE, QStringLiteral("Bad try count"));
        return PerformFailed;
    }
    // The run's own device is waited for; a time-out is reported by the command loop.
    switch (runner->waitForDevice(m_state, m_timeoutMs)) {
    case FlashRunner::WaitDone:
        return PerformSuccess;
    case FlashRunner::WaitCancelled:
        return PerformCancelled;
    default:
        return PerformFailed;
    }
}
