#include "model/FlashCommand.h"

#include "core/ApplicationLog.h"
#include "engine/FlashDevice2.h"
#include "engine/FlashRunner.h"
#include "engine/FlashScriptEngine.h"
#include "model/FlashConfiguration.h"
#include "model/FlashFileContext.h"
#include "model/FlashParameter.h"
#include "model/FlashParameterValue.h"
#include "model/FlashVariable.h"
#include "model/FlashVariableValue.h"
#include "model/ParameterReferences.h"
#include "platform/utility/OSVersion.h"

#include <QDebug>
#include <QFileInfo>
#include <QScriptValue>
#include <QStringList>

#include <limits>

namespace {

const QString kNoPrecondition = QStringLiteral("true");

QString quoted(const QString& name)
{
    return name.isNull() ? QString() : QLatin1Char('`') + name + QLatin1Char('`');
}

bool isList(const QVariant& value)
{
    const int type = value.userType();
    return type == QMetaType::QVariantList || type == QMetaType::QStringList;
}

bool isObject(const QVariant& value)
{
    const int type = value.userType();
    return type == QMetaType::QVariantMap || type == QMetaType::QVariantHash;
}

// The message for a variable value that cannot stand in a text, or a null string when it can.
QString variableProblem(const QVariant& value, const QString& subject)
{
    if (!value.isValid() || value.isNull())
        return subject + QStringLiteral(" is null or undefined");
    if (isList(value))
        return subject + QStringLiteral(" is a list");
    if (isObject(value))
        return subject + QStringLiteral(" is a object");
    return QString();
}

// The host system is asked at most once per substitution, and again only while the
// architecture text is still unknown.
class HostDescription
{
public:
    QString name(bool architectureWanted)
    {
        if (!m_asked || (architectureWanted && m_architecture.isNull()))
            ask();
        return m_name;
    }

    QString architecture()
    {
        name(true);
        return m_architecture;
    }

private:
    void ask()
    {
        const OSVersion version = getOSVersion();
        m_asked = true;
        m_name = QString::fromUtf8(version.name);
        switch (version.arch) {
        case OSArch64:
            m_architecture = QStringLiteral("64");
            break;
        case OSArch32:
            m_architecture = QStringLiteral("32");
            break;
        case OSArchUnknown:
            m_architecture = QLatin1String("");
            break;
        default:
            m_architecture = QString();
            break;
        }
    }

    bool m_asked = false;
    QString m_name;
    QString m_architecture;
};

// A reference's value, or the reason it stays as written (a null reason: it stays without a fault).
struct Resolution
{
    std::optional<QString> value;
    QString problem;
};

Resolution resolvedTo(const QString& value)
{
    return {value, QString()};
}

Resolution unresolved(const QString& problem)
{
    return {std::nullopt, problem};
}

// What the predefined keys are read from during one substitution.
struct PredefinedSource
{
    const FlashDevice2* device;              // null: the device keys are ordinary parameter names
    const FlashConfiguration* configuration; // null: no configuration is loaded
    HostDescription host;
};

Resolution flashFolder(PredefinedSource& source)
{
    if (!source.configuration)
        return unresolved(QStringLiteral("Cannot use ${flashDir} predefined key without loading a configuration"));
    const QSharedPointer<FlashFileContext> flashFile = source.configuration->getFlashFileContext();
    if (!flashFile || flashFile->getPath().isEmpty())
        return unresolved(QStringLiteral("Cannot use ${flashDir} predefined key without loading a file from disk"));
    return resolvedTo(QFileInfo(flashFile->getPath()).absolutePath());
}

struct PredefinedKey
{
    const char* name;
    bool needsDevice; // without a device the name is an ordinary parameter name
    Resolution (*read)(PredefinedSource& source);

    bool isAvailable(const PredefinedSource& source) const { return !needsDevice || source.device; }
};

// Predefined keys come before the parameters of the same name.
const PredefinedKey kPredefinedKeys[] = {
    {"serial", true, [](PredefinedSource& source) { return resolvedTo(source.device->getSerial()); }},
    {"soc_sn", true, [](PredefinedSource& source) { return resolvedTo(source.device->getSocSerial()); }},
    {"soc_serial", true, [](PredefinedSource& source) { return resolvedTo(source.device->getSocSerial()); }},
    {"os_sn", true, [](PredefinedSource& source) { return resolvedTo(source.device->getPlatformSerial()); }},
    {"os_serial", true, [](PredefinedSource& source) { return resolvedTo(source.device->getPlatformSerial()); }},
    {"port", true, [](PredefinedSource& source) { return resolvedTo(source.device->getPort().toString()); }},
    {"flash_dir", false, flashFolder},
    {"flashDir", false, flashFolder},
    {"hostOsName", false, [](PredefinedSource& source) { return resolvedTo(source.host.name(false)); }},
    {"hostOsArch", false, [](PredefinedSource& source) { return resolvedTo(source.host.architecture()); }},
};

const PredefinedKey* findPredefinedKey(const QString& name)
{
    for (const PredefinedKey& key : kPredefinedKeys) {
        if (name == QLatin1String(key.name))
            return &key;
    }
    return nullptr;
}

// Resolves the references of texts for one run: predefined keys first, then the run's parameters.
class RunReferenceResolver
{
public:
    explicit RunReferenceResolver(FlashRunner& runner)
        : m_runner(runner)
        , m_configuration(runner.getConfiguration())
        , m_source{runner.getDevice().data(), m_configuration.data(), HostDescription()}
    {
    }

    Resolution resolve(const QString& name, const QString& option)
    {
        const PredefinedKey* key = findPredefinedKey(name);
        if (key && key->isAvailable(m_source))
            return predefined(*key, option);
        const QSharedPointer<FlashParameter> parameter = m_runner.getFlashParameter(name);
        if (!parameter)
            return unresolved(QStringLiteral("Unknown parameter key '") + name + QLatin1Char('\''));
        const auto variable = parameter.dynamicCast<FlashVariable>();
        if (variable && !option.isNull())
            return unresolved(QStringLiteral("Cannot used dynamic option selection on variables"));
        if (variable)
            return variableText(variable->getVariableValue()->getVariant(m_runner),
                                QStringLiteral("The variable ") + name);
        if (!option.isNull())
            return selectedOption(name, option);
        const QSharedPointer<FlashParameterValue> value = m_runner.getFlashParameterValue(name);
        if (!value)
            return unresolved(QStringLiteral("No default value set in configuration for the parameter '")
                              + name + QLatin1Char('\''));
        return resolvedTo(value->getValue(m_runner));
    }

private:
    Resolution predefined(const PredefinedKey& key, const QString& option)
    {
        const Resolution resolution = key.read(m_source);
        if (resolution.value && !option.isNull())
            return unresolved(QStringLiteral("Cannot used dynamic option selection on predefined keys"));
        return resolution;
    }

    static Resolution variableText(const QVariant& value, const QString& subject)
    {
        const QString problem = variableProblem(value, subject);
        return problem.isNull() ? resolvedTo(value.toString()) : unresolved(problem);
    }

    // ${name,option}: `option` names the parameter whose value is the option id of `name`.
    Resolution selectedOption(const QString& name, const QString& option)
    {
        const QSharedPointer<FlashParameterValue> selector = m_runner.getFlashParameterValue(option);
        if (!selector)
            return unresolved(QStringLiteral("Undefined parameter '") + option
                              + QStringLiteral("' value used as parameter option index for '") + name
                              + QLatin1Char('\''));
        Resolution optionId;
        if (selector->getParameterType() == FlashParameter::Variable) {
            const auto variableValue = selector.dynamicCast<FlashVariableValue>();
            optionId = variableText(variableValue ? variableValue->getVariant(m_runner) : QVariant(),
                                    QStringLiteral("The variable ") + option
                                        + QStringLiteral(" used for the dynamic option selection of '")
                                        + name + QLatin1Char('\''));
        } else {
            optionId = resolvedTo(selector->getValue());
        }
        // A selector without a value leaves the reference as written, without a fault.
        if (!optionId.value || optionId.value->isNull())
            return unresolved(optionId.problem);
        const QSharedPointer<FlashParameterValue> value = m_runner.getFlashParameterValue(name, *optionId.value);
        if (!value)
            return unresolved(QStringLiteral("The parameter '") + name
                              + QStringLiteral("' does not have option index '") + *optionId.value
                              + QLatin1Char('\''));
        return resolvedTo(value->getValue(m_runner));
    }

    FlashRunner& m_runner;
    const QSharedPointer<FlashConfiguration> m_configuration;
    PredefinedSource m_source;
};

} // namespace

FlashCommand::Factories FlashCommand::ms_kFactories;

FlashCommand::CommandParameter::CommandParameter(const QString& name, const QString& option)
    : name(name)
    , option(option)
{
}

bool FlashCommand::CommandParameter::operator<(const CommandParameter& other) const
{
    const int byName = QString::compare(name, other.name);
    if (byName != 0)
        return byName < 0;
    return QString::compare(option, other.option) < 0;
}

FlashCommand::FlashCommandData::FlashCommandData(const QString& expression, bool skipOnFailure)
    : expression(expression)
    , skipOnFailure(skipOnFailure)
{
    script = FlashScriptEngine::escapeFlashParameters(expression, parameters);
}

bool FlashCommand::addCommandFactory(const char* toolId, Creator creator)
{
    qDebug() << "Adding" << toolId << "tool";
    return ms_kFactories.emplace(std::string(toolId), creator).second;
}

bool FlashCommand::removeCommandFactory(const char* toolId)
{
    return ms_kFactories.erase(std::string(toolId)) != 0;
}

QSharedPointer<FlashCommand> FlashCommand::getCommandFromJson(const JsonObject& command)
{
    QString tool;
    if (command.getString(QStringLiteral("tool"), tool) != JsonObject::Found) {
        ApplicationLog::write(ERROR, QStringLiteral("Cannot create command, invalid 'tool' value "));
        return {};
    }
    // Tool ids compare byte for byte: letter case matters.
    const auto factory = ms_kFactories.find(tool.toUtf8().toStdString());
    if (factory == ms_kFactories.end()) {
        ApplicationLog::write(ERROR, QStringLiteral("Cannot create command, unknown tool '") + tool
                                  + QLatin1Char('\''));
        return {};
    }
    FlashCommand* created = factory->second(command);
    if (!created) {
        ApplicationLog::write(ERROR, QStringLiteral("Cannot create command with tool \"") + tool
                                  + QLatin1Char('"'));
        return {};
    }
    return QSharedPointer<FlashCommand>(created);
}

FlashCommand::FlashCommandData* FlashCommand::getCommandData(const JsonObject& command)
{
    QString expression = kNoPrecondition;
    bool skipOnFailure = false;
    JsonObject precondition;
    switch (command.getObject(QStringLiteral("precondition"), precondition)) {
    case JsonObject::Found:
        break;
    case JsonObject::WrongType:
        ApplicationLog::write(ERROR, QStringLiteral("Invalid precondition type"));
        return nullptr;
    default:
        return new FlashCommandData(expression, skipOnFailure);
    }
    switch (precondition.getString(QStringLiteral("expression"), expression)) {
    case JsonObject::Found:
        break;
    case JsonObject::WrongType:
        ApplicationLog::write(ERROR, QStringLiteral("Invalid command precondition expression"));
        return nullptr;
    default:
        ApplicationLog::write(ERROR, QStringLiteral("Missing command precondition expression"));
        return nullptr;
    }
    if (precondition.getBoolean(QStringLiteral("skipOnFailure"), skipOnFailure)
        == JsonObject::WrongType) {
        ApplicationLog::write(ERROR, QStringLiteral("Invalid skipOnFailure value"));
        return nullptr;
    }
    return new FlashCommandData(expression, skipOnFailure);
}

FlashCommand::FlashCommand(FlashCommandData* data)
    : m_data(data ? data : new FlashCommandData(kNoPrecondition, false))
{
}

FlashCommand::FlashCommand(const FlashCommand& other)
    : QObject()
    , m_group(other.m_group)
    , m_data(new FlashCommandData(*other.m_data))
{
}

FlashCommand::~FlashCommand()
{
    delete m_data;
}

QString FlashCommand::getUserFriendlyCommand(const SharedPointer<FlashRunner>& runner) const
{
    return getLogCommand(runner);
}

QString FlashCommand::getUserFriendlyCommand(const FlashConfiguration& configuration) const
{
    return getLogCommand(configuration);
}

QString FlashCommand::getDetails(const FlashConfiguration& configuration) const
{
    return getLogCommand(configuration);
}

std::set<FlashCommand::CommandParameter> FlashCommand::getParameterKeys() const
{
    return m_data->parameters;
}

bool FlashCommand::hasParameter(const QString& name) const
{
    for (const CommandParameter& key : getParameterKeys()) {
        if (key.name == name)
            return true;
    }
    return false;
}

bool FlashCommand::hasParameter(const QString& name, const QString& option) const
{
    const std::set<CommandParameter> keys = getParameterKeys();
    return keys.find(CommandParameter(name, option)) != keys.end();
}

QString FlashCommand::checkParameters(const FlashConfiguration& configuration,
                                      std::set<QString>& definedVariables) const
{
    return checkParameters(configuration, getParameterKeys(), definedVariables);
}

JsonObjectList FlashCommand::fillEditorInterface(JsonObjectList form,
                                                 const std::map<QString, QVariant>& values)
{
    for (JsonObject& field : form) {
        QString id;
        if (field.getString(QStringLiteral("id"), id) != JsonObject::Found)
            continue;
        const auto value = values.find(id);
        if (value != values.end())
            field.setValue(QStringLiteral("value"), value->second);
    }
    return form;
}

bool FlashCommand::hasRunner(const SharedPointer<FlashRunner>& runner)
{
    if (!runner.isNull())
        return true;
    ApplicationLog::write(TRACE, QStringLiteral("Invalid runner pointer"));
    return false;
}

JsonObject FlashCommand::getJsonBase() const
{
    JsonObject json;
    if (!m_group.isEmpty())
        json.setValue(QStringLiteral("group"), m_group);
    if (m_data->expression != kNoPrecondition || m_data->skipOnFailure) {
        JsonObject precondition;
        precondition.setValue(QStringLiteral("expression"), m_data->expression);
        precondition.setValue(QStringLiteral("skipOnFailure"), m_data->skipOnFailure);
        json.setValue(QStringLiteral("precondition"), precondition);
    }
    return json;
}

QString FlashCommand::checkParameters(const FlashConfiguration& configuration,
                                      const std::set<CommandParameter>& keys,
                                      std::set<QString>& definedVariables) const
{
    static const std::map<QString, QString> deprecated = {
        {QStringLiteral("flash_dir"), QStringLiteral("flashDir")},
    };
    for (const CommandParameter& key : keys) {
        const auto replacement = deprecated.find(key.name);
        if (replacement != deprecated.end()) {
            ApplicationLog::write(WARNING, QStringLiteral("${") + key.name
                                        + QStringLiteral("} predefined parameter usage is deprecated."));
            ApplicationLog::write(WARNING, QStringLiteral("Use ${") + replacement->second
                                        + QStringLiteral("} instead"));
            continue;
        }
        if (findPredefinedKey(key.name))
            continue;
        const QSharedPointer<FlashParameter> parameter = configuration.getParameter(key.name);
        if (!parameter)
            return QStringLiteral("Parameter '") + key.name + QStringLiteral("' not found.");

        QSharedPointer<FlashParameterValue> value;
        QString optionId;
        if (!key.option.isNull()) {
            const QSharedPointer<FlashParameter> selector = configuration.getParameter(key.option);
            if (!selector)
                return QStringLiteral("Parameter '") + key.option + QStringLiteral("' not found.");
            const QString error = checkParameter(selector, QString(), value, configuration,
                                                 definedVariables);
            if (!error.isNull())
                return error;
            optionId = value->getValue();
        }
        const QString error = checkParameter(parameter, optionId, value, configuration,
                                             definedVariables);
        if (!error.isNull())
            return error;
    }
    return QString();
}

bool FlashCommand::hasPrecondition() const
{
    return m_data->expression != kNoPrecondition;
}

bool FlashCommand::hasSkipPrecondition() const
{
    return m_data->skipOnFailure && hasPrecondition();
}

const QString& FlashCommand::getPreconditionExpression() const
{
    return m_data->expression;
}

bool FlashCommand::isSkipOnFailure() const
{
    return m_data->skipOnFailure;
}

void FlashCommand::setGroup(const QString& group)
{
    m_group = group;
}

const QString& FlashCommand::getGroup() const
{
    return m_group;
}

ExecuteResult FlashCommand::execute(const SharedPointer<FlashRunner>& runner,
                                    const SharedPointer<FlashDevice2>& device) const
{
    if (runner.isNull()) {
        ApplicationLog::write(ERROR, QStringLiteral("Flash failed to start"));
        ApplicationLog::write(TRACE, QStringLiteral("Invalid runner pointer"));
        return ExecuteFailed;
    }
    if (device.isNull()) {
        runner->logMessage(Logger::ERROR, QStringLiteral("Flash failed to start"));
        runner->logMessage(Logger::TRACE, QStringLiteral("Invalid device pointer"));
        return ExecuteFailed;
    }

    QString name = quoted(getLogCommand(runner));

    if (hasPrecondition()) {
        runner->logMessage(Logger::DEBUG, QStringLiteral("Evaluating precondition : ") + m_data->script);
        QScriptValue result;
        int line = 0;
        if (!runner->executeScript(m_data->script, result, line)) {
            runner->logMessage(Logger::ERROR, QStringLiteral("Precondition failed to evaluate"));
            runner->logMessage(Logger::DEBUG, QStringLiteral("Exception line ") + QString::number(line)
                                                  + QStringLiteral(": ") + result.toString());
            return ExecuteFailed;
        }
        if (!result.isBool()) {
            runner->logMessage(Logger::ERROR, QStringLiteral("Precondition must evaluate a boolean expression"));
            return ExecuteFailed;
        }
        if (!result.toBool()) {
            if (!m_data->skipOnFailure) {
                runner->logMessage(Logger::ERROR, QStringLiteral("Precondition for ") + name
                                                      + QStringLiteral(" failed"));
                return ExecuteFailed;
            }
            runner->logMessage(Logger::INFO, QStringLiteral("Skipping ") + name
                                                 + QStringLiteral(" command due to precondition"));
            return ExecuteSkipped;
        }
    }

    if (!name.isNull())
        runner->logMessage(Logger::INFO, QStringLiteral("Running ") + name + QStringLiteral(" command"));
    const QString outcome = QStringLiteral("Command ") + name;
    const QString info = getUserFriendlyCommand(runner);
    runner->setProgressionInfo(info);

    ExecuteResult result = ExecuteFailed;
    for (uint64_t attempt = 1;; ++attempt) {
        QString error;
        const int performed = performCommand(runner, device, attempt, error);
        if (!name.isNull() && error.isNull()) {
            switch (performed) {
            case PerformSuccess:
                error = outcome + QStringLiteral(" succeed");
                break;
            case PerformFailed:
            case PerformFailedContinue:
            case PerformRetry:
                error = outcome + QStringLiteral(" failed");
                break;
            case PerformCancelled:
                error = outcome + QStringLiteral(" cancelled by user");
                break;
            default:
                break;
            }
        }

        Logger::LogLevel level = Logger::INFO;
        bool retry = false;
        switch (performed) {
        case PerformSuccess:
            result = ExecuteSuccess;
            break;
        case PerformFailed:
            result = ExecuteFailed;
            level = Logger::ERROR;
            break;
        case PerformFailedContinue:
            result = ExecuteFailedContinue;
            level = Logger::WARNING;
            break;
        case PerformCancelled:
            result = ExecuteCancelled;
            level = Logger::WARNING;
            break;
        case PerformRetry:
            retry = attempt < std::numeric_limits<uint64_t>::max();
            if (retry) {
                level = Logger::WARNING;
            } else {
                result = ExecuteFailed;
                level = Logger::ERROR;
            }
            break;
        default:
            break;
        }

        if (!error.isNull())
            runner->logMessage(level, error);
        if (!retry)
            break;

        runner->setProgressionInfo(info + QStringLiteral(" (retry)"));
        runner->setCommandProgression(0, 1);
        name = quoted(getLogCommand(runner));
        if (!name.isNull())
            runner->logMessage(Logger::INFO, QStringLiteral("Retrying ") + name + QStringLiteral(" command"));
    }
    return result;
}

void FlashCommand::addParameterKeys(const QString& text, std::set<CommandParameter>& keys)
{
    forEachParameterReference(text, [&keys](const QString& name, const QString& option) {
        keys.insert(CommandParameter(name, option));
    });
}

QString FlashCommand::replaceParameters(FlashRunner& runner, const QString& text, bool* ok,
                                        QString* error)
{
    RunReferenceResolver resolver(runner);
    QStringList problems;
    const QString result =
        substituteParameterReferences(text, [&](const QString& name, const QString& option) {
            const Resolution resolution = resolver.resolve(name, option);
            if (!resolution.problem.isNull())
                problems << resolution.problem;
            return resolution.value;
        });
    if (ok)
        *ok = problems.isEmpty();
    if (error && !problems.isEmpty())
        *error = problems.join(QLatin1Char('\n'));
    return result;
}

QString FlashCommand::replaceParameters(const FlashConfiguration& configuration, const QString& text,
                                        bool* ok)
{
    // The predefined keys ask the disk and the host: a text without references needs none.
    if (!hasParameterReference(text)) {
        if (ok)
            *ok = true;
        return text;
    }
    PredefinedSource source{nullptr, &configuration, HostDescription()};
    std::map<QString, QString> keys;
    for (const PredefinedKey& key : kPredefinedKeys) {
        if (!key.isAvailable(source))
            continue;
        // Outside a run a key without a value is left to the parameters of its name.
        const Resolution resolution = key.read(source);
        if (resolution.value && !resolution.value->isNull())
            keys[QLatin1String(key.name)] = *resolution.value;
    }
    return configuration.replaceParameters(text, keys, ok);
}

QString checkParameter(QSharedPointer<FlashParameter> parameter, const QString& option,
                       QSharedPointer<FlashParameterValue>& value,
                       const FlashConfiguration& configuration, std::set<QString>& definedVariables)
{
    const auto missing = [&parameter, &configuration] {
        return QStringLiteral("A value for the parameter '") + parameter->getId()
               + QStringLiteral("' must be specified in configuration '") + configuration.getID()
               + QStringLiteral("'.");
    };
    if (option.isNull()) {
        value = parameter->getValue();
        if (!value) {
            const QString id = configuration.getParameterValueId(parameter->getId());
            if (id.isNull())
                return missing();
            value = parameter->getValue(id);
            if (!value)
                return missing();
        }
    } else {
        value = parameter->getValue(option);
        if (!value)
            return missing();
    }
    const QString error = value->getError();
    if (!error.isEmpty())
        return error;
    if (value->getParameterType() == FlashParameter::Variable
        && definedVariables.count(parameter->getId()) == 0)
        return QStringLiteral("The variable '") + parameter->getId()
               + QStringLiteral("' value is not defined when first used in configuration '")
               + configuration.getID() + QStringLiteral("'.");
    return QString();
}
