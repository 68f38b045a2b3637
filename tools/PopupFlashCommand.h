#pragma once

// The "popup" command: shows the operator a message in the middle of a flash and, for a question,
// lets the operator stop it. The question travels as a blocking signal to the desktop face, so the
// device's pool thread waits for the answer; without a desktop face every popup succeeds at once.
// Built by the flash file reader, owned by the flash file model.

#include "tools/TextFlashCommand.h"

class PopupFlashCommand : public TextFlashCommand
{
public:
    enum class PopupLevel : int { Info = 0, Warn = 1, Question = 2 };

    PopupFlashCommand(FlashCommandData* data, PopupLevel level, const QString& description);

    static QString toolId();
    static QString toolName();
    // Factory entry for "popup": null after logging why.
    static FlashCommand* createPopupCommand(const JsonObject& command);
    static JsonObjectList getJsonEditorInterfaceTemplate();

    PopupLevel getLevel() const;

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
    // PerformSuccess once the box was closed, PerformCancelled when the operator chose to cancel.
    int performCommand(const SharedPointer<FlashRunner>& runner,
                       const SharedPointer<FlashDevice2>& device, uint64_t attempt,
                       QString& error) const override;

private:
    PopupLevel m_level;
};
