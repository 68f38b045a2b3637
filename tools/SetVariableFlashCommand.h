#pragma once

// The "setVariable" command kind: gives one variable parameter its value for the current run.
// The recipe belongs to the variable (optional shell sub-command, filter over its output, value
// script); this command carries it out and stores the result in the run's storage, or stores its
// own default value when it is optional and the recipe fails. Its check declares the variable
// defined for the commands after it. Runs on the device's flash thread; read, checked and written
// on the loading thread.

#include "model/FlashCommand.h"

class FlashVariableValue;

class SetVariableFlashCommand : public FlashCommand
{
    Q_OBJECT

public:
    static FlashCommand* createSetVariableCommand(const JsonObject& json);
    static QString toolId();
    static JsonObjectList getJsonEditorInterfaceTemplate();

    SetVariableFlashCommand(FlashCommandData* data, const QString& description,
                            const QString& variable, const QVariant& defaultValue, bool mandatory);
    SetVariableFlashCommand(const SetVariableFlashCommand& other);

    QString getUserFriendlyCommand(const SharedPointer<FlashRunner>& runner) const override;
    QString getUserFriendlyCommand(const FlashConfiguration& configuration) const override;
    QString getLogCommand(const SharedPointer<FlashRunner>& runner) const override;
    QString getLogCommand(const FlashConfiguration& configuration) const override;
    FlashTypes::CommandType getType() const override;
    bool isMandatory() const override;
    uint64_t getTimeout() const override;
    std::set<CommandParameter> getParameterKeys() const override;
    QString checkParameters(const FlashConfiguration& configuration,
                            std::set<QString>& definedVariables) const override;
    JsonObject toJson() const override;
    QString getToolId() const override;
    QString getToolParameters() const override;
    QSharedPointer<FlashCommand> clone() const override;
    JsonObjectList getJsonEditorInterface() const override;
    int performCommand(const SharedPointer<FlashRunner>& runner,
                       const SharedPointer<FlashDevice2>& device, uint64_t attempt,
                       QString& error) const override;

private:
    // Runs the variable's recipe and stores the value: PerformSuccess, PerformFailed, or the
    // sub-command's cancel or retry answer.
    int computeValue(const SharedPointer<FlashRunner>& runner,
                     const SharedPointer<FlashDevice2>& device, uint64_t attempt,
                     const FlashVariableValue& value, QString& error) const;

    QString m_description;
    QString m_variable;
    QVariant m_defaultValue;  // null when none
    bool m_mandatory;
};
