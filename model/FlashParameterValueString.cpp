#include "model/FlashParameterValueString.h"

#include "platform/json/JsonObject.h"

FlashParameterValueString::FlashParameterValueString(const QString& valueId, QString value,
                                                     const QString& description)
    : FlashParameterValue(valueId, description)
    , m_value(std::move(value))
{
}

QString FlashParameterValueString::getValue() const
{
    return m_value;
}

QString FlashParameterValueString::getValue(FlashRunner&)
{
    return m_value;
}

FlashParameter::Type FlashParameterValueString::getParameterType() const
{
    return FlashParameter::String;
}

QSharedPointer<FlashParameterValue> FlashParameterValueString::clone() const
{
    return QSharedPointer<FlashParameterValue>(new FlashParameterValueString(*this));
}

JsonObject FlashParameterValueString::toJson(const QString&) const
{
    return textJson(m_value);
}
