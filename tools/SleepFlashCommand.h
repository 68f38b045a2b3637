#pragma once

// The "sleep" command: pauses the flash of one device for a fixed time on the runner's cancellable
// wait, so stopping the flash ends the sleep at once. Built by the flash file reader, owned by the
// flash file model; runs on a device's pool thread.

#include "model/FlashCommand.h"

class SleepFlashCommand : public FlashCommand
{
public:
    SleepFlashCommand(FlashCommandData* data, uint64_t durationMs);

    static QString toolId();
    static QString toolName();
    // Factory entry for "sleep": null after logging why.
    static FlashCommand* createSleepCommand(const JsonObject& command);
    static JsonObjectList getJsonEditorInterfaceTemplate();

    // "Sleeping for <seconds> seconds".
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
    // PerformSuccess when the whole time passed, PerformCancelled when the flash was stopped.
    int performCommand(const SharedPointer<FlashRunner>& runner,
                       const SharedPointer<FlashDevice2>& device, uint64_t attempt,
                       QString& error) const override;

private:
    QString logText() const;

    uint64_t m_durationMs;
};
