#include "tools/SetVariableFlashCommand.h"

#include "core/ApplicationLog.h"
#include "engine/FlashRunner.h"
#include "engine/FlashScriptEngine.h"
#include "model/FlashConfiguration.h"
#include "model/FlashVariableValue.h"
#include "tools/EditorField.h"
#include "tools/ShellFlashCommand.h"

#include <QRegExp>
#include <QScriptValue>

#include <limits>

namespace {

// A default value is a number, a boolean or a text; JSON null means none.
bool isScalar(const QVariant& value)
{
    switch (value.userType()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::QString:
        return true;
    default:
        return false;
    }
}

bool isJsonNull(const QVariant& value)
{
    return value.userType() == QMetaType::Nullptr;
}

} // namespace

FlashCommand* SetVariableFlashCommand::createSetVariableCommand(const JsonObject& json)
{
    std::unique_ptr<FlashCommandData> data(getCommandData(json));
    if (!data)
        return nullptr;

    QString description;
    if (json.getString(QStringLiteral("description"), description) != JsonObject::Found) {
        ApplicationLog::write(ERROR, QStringLiteral("Invalid 'description' in setVariable command"));
        return nullptr;
    }
    if (description.isEmpty()) {
        ApplicationLog::write(ERROR, QStringLiteral("Empty 'description' in setVariable command"));
        return nullptr;
    }
    QString variable;
    if (json.getString(QStringLiteral("variable"), variable) != JsonObject::Found) {
        ApplicationLog::write(ERROR, QStringLiteral("Invalid 'variable' in setVariable command"));
        return nullptr;
    }
    if (variable.isEmpty()) {
        ApplicationLog::write(ERROR, QStringLiteral("Empty 'variable' in setVariable command"));
        return nullptr;
    }
    bool mandatory = true;
    if (json.getBoolean(QStringLiteral("mandatory"), mandatory) == JsonObject::WrongType) {
        ApplicationLog::write(ERROR, QStringLiteral("Invalid 'mandatory' in setVariable command"));
        return nullptr;
    }

    // A mandatory command never falls back: its default is not even looked at.
    QVariant defaultValue;
    if (!mandatory) {
        if (json.getValue(QStringLiteral("defaultValue"), defaultValue) == JsonObject::Absent
            && json.getValue(QStringLiteral("default_value"), defaultValue) == JsonObject::Found) {
            ApplicationLog::write(WARNING, QStringLiteral("The 'default_value' key is deprecated in flash file"));
            ApplicationLog::write(DEBUG, QStringLiteral("Please use 'defaultValue' instead"));
        }
        if (isJsonNull(defaultValue))
            defaultValue = QVariant();
        if (defaultValue.isValid() && !isScalar(defaultValue)) {
            ApplicationLog::write(ERROR, QStringLiteral("Invalid 'defaultValue' value in setVariable command"));
            return nullptr;
        }
    }
    return new SetVariableFlashCommand(data.release(), description, variable, defaultValue,
                                       mandatory);
}

QString SetVariableFlashCommand::toolId()
{
    return QStringLiteral("setVariable");
}

JsonObjectList SetVariableFlashCommand::getJsonEditorInterfaceTemplate()
{
    return JsonObjectList{
        EditorField::hidden(QStringLiteral("tool"), toolId()),
        EditorField::text(QStringLiteral("description"), QStringLiteral("Description"),
                          QStringLiteral("Add a description here")),
        EditorField::text(QStringLiteral("variable"), QStringLiteral("Variable ID"), QString("")),
        EditorField::checkbox(QStringLiteral("mandatory"), QStringLiteral("Mandatory"), true),
        EditorField::text(QStringLiteral("defaultValue"), QStringLiteral("Default value"), QString("")),
    };
}

SetVariableFlashCommand::SetVariableFlashCommand(FlashCommandData* data,
                                                 const QString& description,
                                                 const QString& variable,
                                                 const QVariant& defaultValue, bool mandatory)
    : FlashCommand(data)
    , m_description(description)
    , m_variable(variable)
    , m_defaultValue(defaultValue)
    , m_mandatory(mandatory)
{
}

SetVariableFlashCommand::SetVariableFlashCommand(const SetVariableFlashCommand& other) = default;

QString SetVariableFlashCommand::getUserFriendlyCommand(const SharedPointer<FlashRunner>& runner) const
{
    return runner.isNull() ? m_description : replaceParameters(*runner, m_description);
}

QString SetVariableFlashCommand::getUserFriendlyCommand(const FlashConfiguration& configuration) const
{
    return replaceParameters(configuration, m_description);
}

QString SetVariableFlashCommand::getLogCommand(const SharedPointer<FlashRunner>&) const
{
    return QStringLiteral("Set variable '") + m_variable + QLatin1Char('\'');
}

QString SetVariableFlashCommand::getLogCommand(const FlashConfiguration&) const
{
    return QStringLiteral("Set variable '") + m_variable + QLatin1Char('\'');
}

FlashTypes::CommandType SetVariableFlashCommand::getType() const
{
    return FlashTypes::CommandType::Internal;
}

bool SetVariableFlashCommand::isMandatory() const
{
    return m_mandatory;
}

uint64_t SetVariableFlashCommand::getTimeout() const
{
    return std::numeric_limits<uint64_t>::max();
}

std::set<FlashCommand::CommandParameter> SetVariableFlashCommand::getParameterKeys() const
{
    std::set<CommandParameter> keys = FlashCommand::getParameterKeys();
    keys.insert(CommandParameter(m_variable, QString()));
    return keys;
}

QString SetVariableFlashCommand::checkParameters(const FlashConfiguration& configuration,
                                                 std::set<QString>& definedVariables) const
{
    // The precondition's references; the variable itself is defined here, not used.
    QString error = FlashCommand::checkParameters(configuration, FlashCommand::getParameterKeys(),
                                                  definedVariables);
    if (!error.isEmpty())
        return error;
    const QSharedPointer<FlashParameterValue> found = configuration.getParameterValue(m_variable);
    if (!found)
        return QStringLiteral("Variable parameter '") + m_variable + QStringLiteral("' not found.");
    const auto value = found.dynamicCast<FlashVariableValue>();
    if (!value)
        return QStringLiteral("The parameter '") + m_variable
               + QStringLiteral("' is not a variable parameter");
    if (value->getSubCommand()) {
        error = value->getSubCommand()->checkParameters(configuration, definedVariables);
        if (!error.isEmpty())
            return error;
    }
    if (definedVariables.count(m_variable) == 0) {
        if (!getGroup().isEmpty() || hasSkipPrecondition())
            ApplicationLog::write(WARNING, QStringLiteral("First setVariable command for '") + m_variable
                                        + QStringLiteral("' can be skipped"));
        definedVariables.insert(m_variable);
    }
    return QString();
}

JsonObject SetVariableFlashCommand::toJson() const
{
    JsonObject json = getJsonBase();
    json.setValue(QStringLiteral("tool"), toolId());
    json.setValue(QStringLiteral("description"), m_description);
    json.setValue(QStringLiteral("mandatory"), m_mandatory);
    json.setValue(QStringLiteral("variable"), m_variable);
    if (!m_mandatory)
        json.setValue(QStringLiteral("defaultValue"), m_defaultValue);
    return json;
}

QString SetVariableFlashCommand::getToolId() const
{
    return toolId();
}

QString SetVariableFlashCommand::getToolParameters() const
{
    return m_variable;
}

QSharedPointer<FlashCommand> SetVariableFlashCommand::clone() const
{
    return QSharedPointer<FlashCommand>(new SetVariableFlashCommand(*this));
}

JsonObjectList SetVariableFlashCommand::getJsonEditorInterface() const
{
    return fillEditorInterface(getJsonEditorInterfaceTemplate(),
                               {{QStringLiteral("description"), m_description},
                                {QStringLiteral("variable"), m_variable},
                                {QStringLiteral("mandatory"), m_mandatory},
                                // The form edits the default as text: none is the empty text.
                                {QStringLiteral("defaultValue"),
                                 m_defaultValue.isValid() ? m_defaultValue.toString() : QString("")}});
}

int SetVariableFlashCommand::performCommand(const SharedPointer<FlashRunner>& runner,
                                            const SharedPointer<FlashDevice2>& device,
                                            uint64_t attempt, QString& error) const
{
    if (runner.isNull()) {
        ApplicationLog::write(TRACE, QStringLiteral("Invalid runner pointer"));
        return PerformFailed;
    }
    const QSharedPointer<FlashParameterValue> found = runner->getFlashParameterValue(m_variable);
    if (!found) {
        error = QStringLiteral("Invalid variable key '") + m_variable + QLatin1Char('\'');
        return PerformFailed;
    }
    const auto value = found.dynamicCast<FlashVariableValue>();
    if (!value) {
        error = QStringLiteral("Parameter '") + m_variable + QStringLiteral("' is not a variable parameter");
        return PerformFailed;
    }

    const int result = computeValue(runner, device, attempt, *value, error);
    if (result != PerformFailed || m_mandatory)
        return result;
    error = QStringLiteral("Variable '") + m_variable + QStringLiteral("' set to default value '")
            + m_defaultValue.toString() + QLatin1Char('\'');
    value->setValue(*runner, m_defaultValue);
    return PerformFailedContinue;
}

int SetVariableFlashCommand::computeValue(const SharedPointer<FlashRunner>& runner,
                                          const SharedPointer<FlashDevice2>& device,
                                          uint64_t attempt, const FlashVariableValue& value,
                                          QString& error) const
{
    const QString script = FlashScriptEngine::escapeFlashParameters(value.getReplacement());
    FlashRunner::ScriptValues captures;

    if (const QSharedPointer<FlashCommand>& sub = value.getSubCommand()) {
        const auto* shell = qobject_cast<const ShellFlashCommand*>(sub.data());
        if (!shell) {
            error = QStringLiteral("Variable '") + m_variable
                    + QStringLiteral("' has a sub-command that runs no program");
            return PerformFailed;
        }
        QByteArray output;
        const int result = shell->performCommandWithOutputBuffer(runner, device, attempt, error,
                                                                 &output);
        if (result == PerformFailed || result == PerformFailedContinue)
            return PerformFailed;
        if (result != PerformSuccess)
            return result;

        // A copy: the filter's match state must not be shared by the runs of several devices.
        QRegExp filter = value.getFilter();
        if (!filter.isValid()) {
            error = QStringLiteral("Invalid regular expression '") + filter.pattern() + QLatin1Char('\'');
            return PerformFailed;
        }
        // The line break that ends a program's output is no part of its value; QRegExp's "."
        // matches it, so "ver=(.*)" would otherwise capture "1.2.3\n".
        QString text = ShellFlashCommand::outputText(output);
        while (text.endsWith(QLatin1Char('\n')) || text.endsWith(QLatin1Char('\r')))
            text.chop(1);
        if (filter.indexIn(text, 0) < 0) {
            error = QStringLiteral("Invalid program output");
            return PerformFailed;
        }
        for (int i = 0; i <= filter.captureCount(); ++i)
            captures[QStringLiteral("$") + QString::number(i)] = QScriptValue(filter.cap(i));
    }

    runner->logMessage(Logger::DEBUG, QStringLiteral("Evaluating value : ") + script);
    QScriptValue result;
    int line = 0;
    if (!runner->executeScript(script, result, line, captures)) {
        error = QStringLiteral("Value fails to evaluate");
        runner->logMessage(Logger::DEBUG, QStringLiteral("Exception line ") + QString::number(line)
                                              + QStringLiteral(": ") + result.toString());
        return PerformFailed;
    }
    // A returned object may be circular or huge, and its toString is script code: both go through
    // the engine's guarded conversions.
    QString conversionError;
    const QVariant converted = FlashScriptEngine::ScriptValueToVariant(result, conversionError);
    if (!conversionError.isEmpty()) {
        error = QStringLiteral("Value fails to evaluate");
        runner->logMessage(Logger::DEBUG, conversionError);
        return PerformFailed;
    }
    error = QStringLiteral("Variable '") + m_variable + QStringLiteral("' set to '")
            + runner->getScriptEngine().toText(result) + QLatin1Char('\'');
    value.setValue(*runner, converted);
    return PerformSuccess;
}
