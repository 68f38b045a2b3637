#include "model/FlashParameterValue.h"

FlashParameterValue::FlashParameterValue(const QString& valueId, const QString& description)
    : m_valueId(valueId)
    , m_description(description)
{
}

FlashParameterValue::~FlashParameterValue() = default;

const QString& FlashParameterValue::getValueId() const
{
    return m_valueId;
}

const QString& FlashParameterValue::getDescription() const
{
    return m_description;
}
