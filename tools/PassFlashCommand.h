#pragma once

// The "pass" command: does nothing and always succeeds; it carries a description and, like every
// command, a group and a precondition. Built by the flash file reader, owned by the flash file
// model; runs on a device's pool thread.

#include "tools/TextFlashCommand.h"

class PassFlashCommand : public TextFlashCommand
{
public:
    PassFlashCommand(FlashCommandData* data, const QString& description);

    static QString toolId();
    // Factory entry for "pass": null after logging why.
    static FlashCommand* createPassCommand(const JsonObject& command);
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
};
