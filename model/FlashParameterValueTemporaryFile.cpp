#include "model/FlashParameterValueTemporaryFile.h"

#include "engine/FlashRunner.h"
#include "model/FlashParameterValueTemporaryFileStorage.h"
#include "platform/json/JsonObject.h"

FlashParameterValueTemporaryFile::FlashParameterValueTemporaryFile(const QString& valueId,
                                                                   QString value,
                                                                   const QString& description)
    : FlashParameterValue(valueId, description)
    , m_value(std::move(value))
{
}

QString FlashParameterValueTemporaryFile::getValue() const
{
    return m_value;
}

QString FlashParameterValueTemporaryFile::getValue(FlashRunner& runner)
{
    // The storage stays registered even when the file could not be created: one try per run.
    const auto* storage =
        runner.getStorage<FlashParameterValueTemporaryFileStorage, QString>(this, m_value);
    return storage ? storage->getPath() : QString();
}

FlashParameter::Type FlashParameterValueTemporaryFile::getParameterType() const
{
    return FlashParameter::TemporaryFile;
}

QSharedPointer<FlashParameterValue> FlashParameterValueTemporaryFile::clone() const
{
    return QSharedPointer<FlashParameterValue>(new FlashParameterValueTemporaryFile(*this));
}

JsonObject FlashParameterValueTemporaryFile::toJson(const QString&) const
{
    return textJson(m_value);
}
