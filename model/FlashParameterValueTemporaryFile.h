#pragma once

// A temporary-file option: a name pattern from which each run creates its own empty file under
// the per-user temporary root (see FlashParameterValueTemporaryFileStorage).

#include "model/FlashParameterValue.h"

class FlashParameterValueTemporaryFile : public FlashParameterValue
{
public:
    FlashParameterValueTemporaryFile(const QString& valueId, QString value,
                                     const QString& description);

    // The name pattern.
    QString getValue() const override;
    // This run's file, created on first use and removed when the run ends; empty when it could
    // not be created. Pool thread of the run only.
    QString getValue(FlashRunner& runner) override;
    FlashParameter::Type getParameterType() const override;
    QSharedPointer<FlashParameterValue> clone() const override;
    JsonObject toJson(const QString& folder) const override;

private:
    QString m_value;
};
