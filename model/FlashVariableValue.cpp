#include "model/FlashVariableValue.h"

#include "engine/FlashRunner.h"
#include "model/FlashCommand.h"
#include "model/FlashVariableValueStorage.h"
#include "platform/json/JsonObject.h"

#include <QRegularExpression>

namespace {

// A filter that takes the whole output, with "$0" as value, is what the reader assumes when
// "filter" is absent. A filter without the dot-star (such as "", "^", "$" or "^$") matches an
// empty text instead, so it must be written out.
bool isTrivial(const QRegExp& filter, const QString& replacement)
{
    static const QRegularExpression trivialFilter(
        QRegularExpression::anchoredPattern(QStringLiteral("\\^?(?:\\(\\.\\*\\)|\\.\\*)\\$?")));
    return replacement == QLatin1String("$0") && trivialFilter.match(filter.pattern()).hasMatch();
}

} // namespace

FlashVariableValue::FlashVariableValue(QSharedPointer<FlashCommand> subCommand,
                                       const QVariant& defaultValue, const QRegExp& filter,
                                       const QString& replacement, const QString& description)
    : FlashParameterValue(QString(""), description)
    , m_subCommand(std::move(subCommand))
    , m_defaultValue(defaultValue)
    , m_filter(filter)
    , m_replacement(replacement)
{
}

FlashVariableValue::FlashVariableValue(const FlashVariableValue& other)
    : FlashParameterValue(other)
    , m_subCommand(other.m_subCommand ? other.m_subCommand->clone() : QSharedPointer<FlashCommand>())
    , m_defaultValue(other.m_defaultValue)
    , m_filter(other.m_filter)
    , m_replacement(other.m_replacement)
{
}

QString FlashVariableValue::getValue() const
{
    return m_defaultValue.toString();
}

QString FlashVariableValue::getValue(FlashRunner& runner)
{
    return getVariant(runner).toString();
}

FlashParameter::Type FlashVariableValue::getParameterType() const
{
    return FlashParameter::Variable;
}

QSharedPointer<FlashParameterValue> FlashVariableValue::clone() const
{
    return cloneVariableValue();
}

JsonObject FlashVariableValue::toJson(const QString&) const
{
    JsonObject json;
    if (m_subCommand) {
        json.setValue(QStringLiteral("subCommand"), m_subCommand->toJson());
        if (!isTrivial(m_filter, m_replacement)) {
            json.setValue(QStringLiteral("filter"), m_filter.pattern());
            json.setValue(QStringLiteral("computedValue"), m_replacement);
        }
    } else {
        json.setValue(QStringLiteral("computedValue"), m_replacement);
    }
    json.setValue(QStringLiteral("description"), getDescription());
    json.setValue(QStringLiteral("value"), m_defaultValue);
    return json;
}

QVariant FlashVariableValue::getVariant(FlashRunner& runner)
{
    const auto* storage = runner.getStorage<FlashVariableValueStorage, QVariant>(this, m_defaultValue);
    return storage ? storage->getValue() : m_defaultValue;
}

void FlashVariableValue::setValue(FlashRunner& runner, const QVariant& value) const
{
    auto* storage = runner.getStorage<FlashVariableValueStorage, QVariant>(this, m_defaultValue);
    if (storage)
        storage->setValue(value);
}

void FlashVariableValue::setDefaultValue(const QVariant& value)
{
    m_defaultValue = value;
}

const QRegExp& FlashVariableValue::getFilter() const
{
    return m_filter;
}

const QString& FlashVariableValue::getReplacement() const
{
    return m_replacement;
}

const QSharedPointer<FlashCommand>& FlashVariableValue::getSubCommand() const
{
    return m_subCommand;
}

QSharedPointer<FlashVariableValue> FlashVariableValue::cloneVariableValue() const
{
    return QSharedPointer<FlashVariableValue>(new FlashVariableValue(*this));
}

const QVariant& FlashVariableValue::getDefaultValue() const
{
    return m_defaultValue;
}
