#pragma once

// The one value of a variable: default value, optional sub-command, filter and value script.
// Its fields never change during a run; each run's current value lives in that run's
// FlashVariableValueStorage, so concurrent runs never see each other's values.

#include "model/FlashParameterValue.h"

#include <QRegExp>
#include <QSharedPointer>
#include <QVariant>

class FlashCommand;

// The sub-command is an external-program command (ShellFlashCommand); the model holds it through
// the command base so that it depends on no command kind.
class FlashVariableValue : public FlashParameterValue
{
public:
    FlashVariableValue(QSharedPointer<FlashCommand> subCommand, const QVariant& defaultValue,
                       const QRegExp& filter, const QString& replacement,
                       const QString& description);
    // Deep: the sub-command is cloned.
    FlashVariableValue(const FlashVariableValue& other);

    // The default value as text.
    QString getValue() const override;
    // This run's current value as text (lists and objects give an empty text).
    QString getValue(FlashRunner& runner) override;
    FlashParameter::Type getParameterType() const override;
    QSharedPointer<FlashParameterValue> clone() const override;
    JsonObject toJson(const QString& folder) const override;

    // This run's current value: the default until a command sets it.
    virtual QVariant getVariant(FlashRunner& runner);
    virtual void setValue(FlashRunner& runner, const QVariant& value) const;
    virtual void setDefaultValue(const QVariant& value);
    virtual const QRegExp& getFilter() const;
    virtual const QString& getReplacement() const;
    virtual const QSharedPointer<FlashCommand>& getSubCommand() const;
    virtual QSharedPointer<FlashVariableValue> cloneVariableValue() const;

    const QVariant& getDefaultValue() const;

private:
    QSharedPointer<FlashCommand> m_subCommand;
    QVariant m_defaultValue;
    QRegExp m_filter;
    QString m_replacement;
};
