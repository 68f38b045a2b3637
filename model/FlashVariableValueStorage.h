#pragma once

// The current value of one variable in one run; owned by the run's FlashRunner.

#include "model/FlashStorageArea.h"

#include <QVariant>

class FlashVariableValueStorage : public FlashStorageArea
{
public:
    explicit FlashVariableValueStorage(const QVariant& value);

    const QVariant& getValue() const;
    void setValue(const QVariant& value);

private:
    QVariant m_value;
};
