#include "model/FlashVariable.h"

#include "model/FlashCommand.h"
#include "model/FlashVariableValue.h"
#include "platform/json/JsonObject.h"

FlashVariable::FlashVariable(const QString& id, const QString& name,
                             QSharedPointer<FlashCommand> subCommand, const QVariant& defaultValue,
                             const QRegExp& filter, const QString& replacement,
                             const QString& description)
    : FlashParameter(Variable, id, name)
    , m_variableValue(new FlashVariableValue(std::move(subCommand), defaultValue, filter,
                                             replacement, description))
{
    m_values[QString("")] = m_variableValue;
}

FlashVariable::FlashVariable(const FlashVariable& other)
    : FlashParameter(Variable, other.getId(), other.getName())
    , m_variableValue(other.m_variableValue->cloneVariableValue())
{
    m_values[QString("")] = m_variableValue;
}

QSharedPointer<FlashParameter> FlashVariable::clone() const
{
    return cloneVariable();
}

JsonObject FlashVariable::toJson(const QString& folder) const
{
    JsonObject json = m_variableValue->toJson(folder);
    json.setValue(QStringLiteral("type"), typeKeyword(Variable));
    json.setValue(QStringLiteral("name"), getName());
    return json;
}

QSharedPointer<FlashVariable> FlashVariable::cloneVariable() const
{
    return QSharedPointer<FlashVariable>(new FlashVariable(*this));
}

QSharedPointer<FlashVariableValue> FlashVariable::getVariableValue() const
{
    return m_variableValue;
}
