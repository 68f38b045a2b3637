#pragma once

// One option of a flash-file parameter. Values are immutable after loading and shared by the
// flash file, its configurations and every concurrent run; what a run computes lives in the
// runner's storages, never here.

#include "model/FlashParameter.h"

#include <QSharedPointer>
#include <QString>

class FlashRunner;
class JsonObject;

class FlashParameterValue
{
public:
    FlashParameterValue(const QString& valueId, const QString& description);
    virtual ~FlashParameterValue();

    // The value's text without a run.
    virtual QString getValue() const = 0;
    // The value's text for one run (a temporary file: this run's file).
    virtual QString getValue(FlashRunner& runner) = 0;
    // Empty when the value is usable, else why not; only a file value can be unusable.
    virtual QString getError() const;
    virtual FlashParameter::Type getParameterType() const = 0;
    virtual QSharedPointer<FlashParameterValue> clone() const = 0;
    virtual JsonObject toJson(const QString& folder) const = 0;

    const QString& getValueId() const;
    const QString& getDescription() const;

protected:
    FlashParameterValue(const FlashParameterValue&) = default;
    // The JSON of a value written as text: "description" and "value".
    JsonObject textJson(const QString& value) const;

private:
    QString m_valueId;
    QString m_description;
};
