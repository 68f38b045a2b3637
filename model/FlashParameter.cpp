#include "model/FlashParameter.h"

#include "model/FlashParameterValue.h"
#include "model/FlashParameterValueFile.h"
#include "model/FlashParameterValueString.h"
#include "model/FlashParameterValueTemporaryFile.h"
#include "platform/json/JsonObject.h"

namespace {

template <class T>
FlashParameter::Values takeValues(const std::map<QString, T*>& values)
{
    FlashParameter::Values result;
    for (const auto& entry : values)
        result[entry.first] = QSharedPointer<FlashParameterValue>(entry.second);
    return result;
}

} // namespace

FlashParameter::FlashParameter(const QString& id, const QString& name,
                               const std::map<QString, FlashParameterValueFile*>& values)
    : FlashParameter(File, id, name)
{
    m_values = takeValues(values);
}

FlashParameter::FlashParameter(const QString& id, const QString& name,
                               const std::map<QString, FlashParameterValueTemporaryFile*>& values)
    : FlashParameter(TemporaryFile, id, name)
{
    m_values = takeValues(values);
}

FlashParameter::FlashParameter(const QString& id, const QString& name,
                               const std::map<QString, FlashParameterValueString*>& values)
    : FlashParameter(String, id, name)
{
    m_values = takeValues(values);
}

FlashParameter::FlashParameter(Type type, const QString& id, const QString& name)
    : m_type(type)
    , m_id(id)
    , m_name(name)
{
}

FlashParameter::FlashParameter(const FlashParameter& other)
    : QObject()
    , m_type(other.m_type)
    , m_id(other.m_id)
    , m_name(other.m_name)
{
    for (const auto& entry : other.m_values)
        m_values[entry.first] = entry.second ? entry.second->clone() : entry.second;
}

FlashParameter::~FlashParameter() = default;

const FlashParameter::Values& FlashParameter::getValues() const
{
    return m_values;
}

QSharedPointer<FlashParameterValue> FlashParameter::getValue() const
{
    if (m_values.size() != 1)
        return {};
    return m_values.begin()->second;
}

QSharedPointer<FlashParameterValue> FlashParameter::getValue(const QString& valueId) const
{
    const auto found = m_values.find(valueId);
    return found == m_values.end() ? QSharedPointer<FlashParameterValue>() : found->second;
}

QSharedPointer<FlashParameter> FlashParameter::clone() const
{
    return QSharedPointer<FlashParameter>(new FlashParameter(*this));
}

JsonObject FlashParameter::toJson(const QString& folder) const
{
    JsonObject json;
    if (m_values.empty())
        return json;
    json.setValue(QStringLiteral("type"), typeKeyword(m_type));
    json.setValue(QStringLiteral("name"), m_name);
    JsonObject options;
    for (const auto& entry : m_values) {
        if (entry.second)
            options.setValue(entry.first, entry.second->toJson(folder));
    }
    json.setValue(QStringLiteral("options"), options);
    return json;
}

const QString& FlashParameter::getId() const
{
    return m_id;
}

const QString& FlashParameter::getName() const
{
    return m_name;
}

FlashParameter::Type FlashParameter::getType() const
{
    return m_type;
}

QString FlashParameter::typeKeyword(Type type)
{
    switch (type) {
    case File:
        return QStringLiteral("file");
    case TemporaryFile:
        return QStringLiteral("temporary_file");
    case String:
        return QStringLiteral("string");
    case Variable:
        return QStringLiteral("variable");
    }
    return QString();
}
