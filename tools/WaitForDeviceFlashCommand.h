#pragma once

// The "waitForDevice" command: holds the flash of one device until the device reports a given
// state (after a reboot, say) or a time-out passes; a stopped flash ends the wait at once. Built by
// the flash file readers, owned by the flash file model; runs on a device's pool thread.

#include "model/FlashCommand.h"

class WaitForDeviceFlashCommand : public FlashCommand
{
public:
    WaitForDeviceFlashCommand(FlashCommandData* data, DeviceState state, uint64_t timeoutMs,
                              const QString& description);
    // With default command data (no precondition, no group).
    WaitForDeviceFlashCommand(DeviceState state, uint64_t timeoutMs, const QString& description);

    static QString toolId();
    static QString toolName();
    // Factory entry for "waitForDevice": null, without a message, when "state", "timeout" or
    // "description" is missing or unreadable.
    static FlashCommand* createWaitForDeviceCommand(const JsonObject& command);
    static JsonObjectList getJsonEditorInterfaceTemplate();

    // The description when there is one, else the log text.
    QString getUserFriendlyCommand(const SharedPointer<FlashRunner>& runner) const override;
    QString getUserFriendlyCommand(const FlashConfiguration& configuration) const override;
    // "Wait for device with status <state>", with " on port <port>" of the run's device.
    QString getLogCommand(const SharedPointer<FlashRunner>& runner) const override;
    QString getLogCommand(const FlashConfiguration& configuration) const override;
    FlashTypes::CommandType getType() const override;
    bool isMandatory() const override;
    uint64_t getTimeout() const override;
    JsonObject toJson() const override;
    QString getToolId() const override;
    QString getToolParameters() const override;
    QSharedPointer<FlashCommand> clone() const override;
    JsonObjectList getJsonEditorInterface() const override;
    // PerformSuccess when the run's device is in (or reaches) the state in time, PerformCancelled
    // when the flash was stopped, PerformFailed otherwise.
    int performCommand(const SharedPointer<FlashRunner>& runner,
                       const SharedPointer<FlashDevice2>& device, uint64_t attempt,
                       QString& error) const override;

private:
    QString logText() const;

    DeviceState m_state;
    uint64_t m_timeoutMs;
    QString m_description;
};
