#include "model/FlashVariableValueStorage.h"

FlashVariableValueStorage::FlashVariableValueStorage(const QVariant& value)
    : m_value(value)
{
}

const QVariant& FlashVariableValueStorage::getValue() const
{
    return m_value;
}

void FlashVariableValueStorage::setValue(const QVariant& value)
{
    m_value = value;
}
