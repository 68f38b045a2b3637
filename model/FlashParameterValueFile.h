#pragma once

// A file option: an absolute path (platform separators) that must exist to be usable.

#include "model/FlashParameterValue.h"

class FlashParameterValueFile : public FlashParameterValue
{
public:
    // The path is made absolute against the current folder.
    FlashParameterValueFile(const QString& valueId, QString path, const QString& description);
    // The path is made absolute against `baseFolder`.
    FlashParameterValueFile(const QString& valueId, const QString& baseFolder, QString path,
                            const QString& description);

    QString getValue() const override;
    QString getValue(FlashRunner& runner) override;
    QString getError() const override;
    FlashParameter::Type getParameterType() const override;
    QSharedPointer<FlashParameterValue> clone() const override;
    // "value" is the path relative to `folder` (the written flash file's folder) when one is given.
    JsonObject toJson(const QString& folder) const override;

private:
    QString m_path;
};
