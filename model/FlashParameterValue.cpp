#include "model/FlashParameterValue.h"

#include "platform/json/JsonObject.h"

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

QString FlashParameterValue::getError() const
{
    return QString();
}

JsonObject FlashParameterValue::textJson(const QString& value) const
{
    JsonObject json;
    json.setValue(QStringLiteral("description"), m_description);
    json.setValue(QStringLiteral("value"), value);
    return json;
}
