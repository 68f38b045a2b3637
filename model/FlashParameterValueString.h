#pragma once

// A plain text option.

#include "model/FlashParameterValue.h"

class FlashParameterValueString : public FlashParameterValue
{
public:
    FlashParameterValueString(const QString& valueId, QString value, const QString& description);

    QString getValue() const override;
    QString getValue(FlashRunner& runner) override;
    FlashParameter::Type getParameterType() const override;
    QSharedPointer<FlashParameterValue> clone() const override;
    JsonObject toJson(const QString& folder) const override;

private:
    QString m_value;
};
