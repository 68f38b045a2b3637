#pragma once

// A parameter whose value a set-variable command computes during a run. It holds exactly one
// value, under the empty value id, which is also `getVariableValue()`.

#include "model/FlashParameter.h"

#include <QRegExp>
#include <QVariant>

class FlashVariableValue;
class FlashCommand;

class FlashVariable : public FlashParameter
{
    Q_OBJECT

public:
    FlashVariable(const QString& id, const QString& name,
                  QSharedPointer<FlashCommand> subCommand, const QVariant& defaultValue,
                  const QRegExp& filter, const QString& replacement, const QString& description);
    // Deep: the value (and its sub-command) is cloned.
    FlashVariable(const FlashVariable& other);

    QSharedPointer<FlashParameter> clone() const override;
    JsonObject toJson(const QString& folder) const override;
    virtual QSharedPointer<FlashVariable> cloneVariable() const;

    QSharedPointer<FlashVariableValue> getVariableValue() const;

private:
    QSharedPointer<FlashVariableValue> m_variableValue;
};
