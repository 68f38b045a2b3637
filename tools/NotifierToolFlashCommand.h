#pragma once

// The "notifier" command: hands the desktop face a notice (a text shown as HTML, or the path of a
// file to show) for a given time and goes on at once; without a desktop face the notice is dropped.
// Built by the flash file reader, owned by the flash file model; runs on a device's pool thread.

#include "tools/TextFlashCommand.h"

class NotifierToolFlashCommand : public TextFlashCommand
{
public:
    NotifierToolFlashCommand(FlashCommandData* data, const QString& source, uint64_t durationMs);

    static QString toolId();
    static QString toolName();
    // Factory entry for "notifier": null after logging why.
    static FlashCommand* createNotifierToolCommand(const JsonObject& command);
    static JsonObjectList getJsonEditorInterfaceTemplate();

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
    int performCommand(const SharedPointer<FlashRunner>& runner,
                       const SharedPointer<FlashDevice2>& device, uint64_t attempt,
                       QString& error) const override;

private:
    uint64_t m_durationMs;
};
