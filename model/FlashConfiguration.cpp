#include "model/FlashConfiguration.h"

#include "core/ApplicationLog.h"
#include "engine/FlashDevice2.h"
#include "engine/FlashRunner.h"
#include "model/FileCheckScope.h"
#include "model/FlashGroup.h"
#include "model/FlashParameter.h"
#include "model/FlashParameterValue.h"
#include "model/FlashVariable.h"
#include "model/FlashVariableValue.h"
#include "model/ParameterReferences.h"
#include "platform/json/JsonObjectList.h"

#include <QCoreApplication>
#include <QDebug>
#include <QRegularExpression>
#include <QStringList>

#include <climits>
#include <utility>

FlashConfiguration::FlashConfiguration(DeviceState startState,
                                       UnknownGroupBehavior unknownGroupBehavior,
                                       const QString& id, const QString& name,
                                       const QString& description, const QString& brief,
                                       const QString& documentation, bool hiddenToEndUser,
                                       const Parameters& parameters,
                                       const ParameterValues& parameterValues)
    : m_id(id)
    , m_name(name)
    , m_parameters(parameters)
    , m_parameterValues(parameterValues)
    , m_startState(startState)
    , m_description(description)
    , m_brief(brief)
    , m_hiddenToEndUser(hiddenToEndUser)
    , m_unknownGroupBehavior(unknownGroupBehavior)
{
    m_commands.reserve(20);
    setDocumentation(documentation);
}

FlashConfiguration::~FlashConfiguration()
{
    while (!m_commands.empty())
        m_commands.pop_back();
    m_parameters.clear();
    m_flashFile.clear();
    m_groups.clear();
}

bool FlashConfiguration::getExecutionCommands(const SharedPointer<FlashRunner>& runner,
                                              Commands& commands) const
{
    commands.clear();
    if (runner.isNull())
        return false;
    for (const auto& command : m_commands) {
        if (runner->isCancelled())
            break;
        if (!command)
            continue;
        if (isGroupEnabled(command->getGroup())) {
            commands.push_back(command);
            continue;
        }
        runner->logMessage(Logger::DEBUG, QStringLiteral("Group '") + command->getGroup()
                                              + QStringLiteral("' disables command `")
                                              + command->getUserFriendlyCommand(runner)
                                              + QLatin1Char('`'));
    }
    return true;
}

FlashTypes::FlashStatus FlashConfiguration::execute(const SharedPointer<FlashRunner>& runner,
                                                    const SharedPointer<FlashDevice2>& device,
                                                    QSharedPointer<FlashCommand>& lastCommand) const
{
    using Status = FlashTypes::FlashStatus;
    lastCommand.clear();
    if (runner.isNull() || device.isNull() || device->getPort().getConnectionType() == 0)
        return Status::Failure;

    const uint64_t total = getCommandsCount();
    runner->setConfigurationProgression(0, total);

    Commands list;
    if (!getExecutionCommands(runner, list))
        return Status::Failure;

    Status outcome = Status::Success;
    uint64_t done = 0;
    bool first = true;
    for (const auto& command : list) {
        if (runner->isCancelled())
            break;
        if (!command)
            continue;
        lastCommand = command;
        const uint64_t delay = runner->getCommandDelay();
        if (delay != 0 && !first) {
            runner->logMessage(Logger::INFO, QStringLiteral("Sleep ") + QString::number(delay)
                                                 + QStringLiteral(" ms before executing next command"));
            const int slept = runner->sleep(delay);
            if (slept == FlashRunner::SleepCancelled)
                return Status::Interrupted;
            if (slept == FlashRunner::SleepWokenEarly)
                return Status::Failure;
            if (slept != FlashRunner::SleepElapsed) {
                runner->logMessage(Logger::ERROR, QStringLiteral("Sleep command from FlashRunner returned an unknown status"));
                return Status::Failure;
            }
        }
        first = false;
        const ExecuteResult result = command->execute(runner, device);
        if (result == ExecuteFailed) {
            outcome = Status::Failure;
            break;
        }
        if (result == ExecuteCancelled) {
            outcome = Status::Interrupted;
            break;
        }
        ++done;
        runner->setConfigurationProgression(done, total);
        outcome = Status::Success;
    }
    // A command that failed because the run was cancelled counts as interrupted.
    if (runner->isCancelled())
        outcome = Status::Interrupted;
    return outcome;
}

const QString& FlashConfiguration::getID() const
{
    return m_id;
}

const QString& FlashConfiguration::getName() const
{
    return m_name;
}

DeviceState FlashConfiguration::getStartState() const
{
    return m_startState;
}

void FlashConfiguration::setStartState(DeviceState state)
{
    m_startState = state;
}

const QString& FlashConfiguration::getDescription() const
{
    return m_description;
}

void FlashConfiguration::setDescription(const QString& description)
{
    m_description = description;
}

const QString& FlashConfiguration::getBrief() const
{
    return m_brief;
}

void FlashConfiguration::setBrief(const QString& brief)
{
    m_brief = brief;
}

bool FlashConfiguration::isHiddenToEndUser() const
{
    return m_hiddenToEndUser;
}

FlashConfiguration::UnknownGroupBehavior FlashConfiguration::getUnknownGroupBehavior() const
{
    return m_unknownGroupBehavior;
}

const FlashConfiguration::Parameters& FlashConfiguration::getParameters() const
{
    return m_parameters;
}

const FlashConfiguration::ParameterValues& FlashConfiguration::getParameterValues() const
{
    return m_parameterValues;
}

const FlashConfiguration::Commands& FlashConfiguration::getCommands() const
{
    return m_commands;
}

QSharedPointer<FlashFileContext> FlashConfiguration::getFlashFileContext() const
{
    return m_flashFile.toStrongRef();
}

void FlashConfiguration::setFlashFileManager(const QSharedPointer<FlashFileContext>& flashFile)
{
    m_flashFile = flashFile;
}

QSharedPointer<FlashParameter> FlashConfiguration::getParameter(const QString& name) const
{
    return findParameter(m_parameters, name);
}

QSharedPointer<FlashParameter> FlashConfiguration::findParameter(const Parameters& parameters,
                                                                 const QString& name)
{
    const auto found = parameters.find(name);
    return found == parameters.end() ? QSharedPointer<FlashParameter>() : found->second;
}

QSharedPointer<FlashParameterValue> FlashConfiguration::findParameterValue(
    const Parameters& parameters, const ParameterValues& selected, const QString& name)
{
    const QSharedPointer<FlashParameter> parameter = findParameter(parameters, name);
    if (!parameter)
        return {};
    const auto id = selected.find(name);
    return id != selected.end() ? parameter->getValue(id->second) : parameter->getValue();
}

void FlashConfiguration::setParameters(const Parameters& parameters)
{
    m_parameters = parameters;
}

void FlashConfiguration::setParameter(const QString& name,
                                      const QSharedPointer<FlashParameter>& parameter)
{
    if (!parameter) {
        m_parameters.erase(name);
        m_parameterValues.erase(name);
        return;
    }
    m_parameters[name] = parameter;
    const auto selected = m_parameterValues.find(name);
    if (selected != m_parameterValues.end() && !parameter->getValue(selected->second))
        m_parameterValues.erase(selected);
}

QSharedPointer<FlashParameterValue> FlashConfiguration::getParameterValue(const QString& name) const
{
    return findParameterValue(m_parameters, m_parameterValues, name);
}

QSharedPointer<FlashParameterValue> FlashConfiguration::getParameterValue(const QString& name,
                                                                          const QString& id) const
{
    const QSharedPointer<FlashParameter> parameter = getParameter(name);
    return parameter ? parameter->getValue(id) : QSharedPointer<FlashParameterValue>();
}

QString FlashConfiguration::getParameterValueId(const QString& name) const
{
    const auto selected = m_parameterValues.find(name);
    return selected == m_parameterValues.end() ? QString() : selected->second;
}

void FlashConfiguration::setParameterValue(const QString& name, const QString& id)
{
    if (id.isNull())
        m_parameterValues.erase(name);
    else
        m_parameterValues[name] = id;
}

void FlashConfiguration::appendCommand(const QSharedPointer<FlashCommand>& command)
{
    m_commands.push_back(command);
}

bool FlashConfiguration::setCommand(unsigned long index, const QSharedPointer<FlashCommand>& command)
{
    if (index >= m_commands.size())
        return false;
    m_commands[index] = command;
    return true;
}

void FlashConfiguration::swapCommands(unsigned long first, unsigned long second)
{
    if (first == second || first >= m_commands.size() || second >= m_commands.size())
        return;
    std::swap(m_commands[first], m_commands[second]);
}

bool FlashConfiguration::removeCommand(unsigned long index)
{
    if (index >= m_commands.size())
        return false;
    m_commands.erase(m_commands.begin() + static_cast<long>(index));
    return true;
}

QSharedPointer<FlashCommand> FlashConfiguration::getCommand(unsigned long index) const
{
    return index < m_commands.size() ? m_commands[index] : QSharedPointer<FlashCommand>();
}

unsigned long FlashConfiguration::getCommandsCount() const
{
    unsigned long count = 0;
    for (const auto& command : m_commands) {
        if (command)
            ++count;
    }
    return count;
}

void FlashConfiguration::resizeCommandsList(unsigned long size)
{
    m_commands.resize(size);
}

void FlashConfiguration::setDocumentation(const QString& documentation)
{
    m_documentation = documentation;
    m_resolvedDocumentation = QString();
}

bool FlashConfiguration::hasDocumentation() const
{
    return !m_documentation.isEmpty();
}

QString FlashConfiguration::getDocumentation() const
{
    if (!m_resolvedDocumentation.isNull())
        return m_resolvedDocumentation;
    const std::map<QString, QString> keys = {
        {QStringLiteral("appName"), QCoreApplication::applicationName()},
        {QStringLiteral("appVersion"), QCoreApplication::applicationVersion()},
    };
    QString link = replaceParameters(m_documentation, keys);
    static const QRegularExpression webAddress(QStringLiteral("^https?://"));
    if (!webAddress.match(link).hasMatch())
        link.prepend(QStringLiteral("file://"));
    m_resolvedDocumentation = link;
    return link;
}

QString FlashConfiguration::replaceParameters(const QString& text,
                                              const std::map<QString, QString>& keys,
                                              bool* ok) const
{
    bool failed = false;
    const QString result = substituteParameterReferences(
        text, [&](const QString& name, const QString& index) {
            return resolveReference(name, index, keys, failed);
        });
    if (ok)
        *ok = !failed;
    return result;
}

std::optional<QString> FlashConfiguration::resolveReference(const QString& name, const QString& index,
                                                            const std::map<QString, QString>& keys,
                                                            bool& failed) const
{
    const auto key = keys.find(name);
    if (key != keys.end()) {
        if (!index.isNull()) {
            failed = true;
            return std::nullopt;
        }
        return key->second;
    }
    const QSharedPointer<FlashParameter> parameter = getParameter(name);
    if (!parameter || (!index.isNull() && parameter->getType() == FlashParameter::Variable)) {
        failed = true;
        return std::nullopt;
    }
    // A variable gets its value during a run: not a failure here.
    if (parameter->getType() == FlashParameter::Variable)
        return std::nullopt;

    QSharedPointer<FlashParameterValue> value;
    if (index.isNull()) {
        value = getParameterValue(name);
    } else {
        const QSharedPointer<FlashParameterValue> selector = getParameterValue(index);
        if (!selector) {
            failed = true;
            return std::nullopt;
        }
        // An option chosen by a variable is known only during a run; a selector without a value
        // leaves the reference as written.
        if (selector->getParameterType() == FlashParameter::Variable || selector->getValue().isNull())
            return std::nullopt;
        value = parameter->getValue(selector->getValue());
    }
    if (!value) {
        failed = true;
        return std::nullopt;
    }
    return value->getValue();
}

QString FlashConfiguration::replaceParameters(const QString& text, bool* ok) const
{
    return replaceParameters(text, std::map<QString, QString>(), ok);
}

QString FlashConfiguration::getDetails() const
{
    QStringList lines;
    lines << QStringLiteral("FlashConfiguration:") << QStringLiteral("name=") + m_name
          << QStringLiteral("startState=") + FlashTypes::getStateName(m_startState)
          << QStringLiteral("brief=") + m_brief
          << QStringLiteral("description=") + m_description
          << QStringLiteral("documentation=") + m_documentation
          << QStringLiteral("hiddenToEndUser=")
                 + (m_hiddenToEndUser ? QStringLiteral("yes") : QStringLiteral("no"));
    const QSharedPointer<FlashFileContext> flashFile = getFlashFileContext();
    if (flashFile && !flashFile->getPlatforms().empty()) {
        QString line = QStringLiteral("platforms=");
        const auto& names = FlashTypes::getPlatformNameMap();
        for (DevicePlatform platform : flashFile->getPlatforms()) {
            const auto name = names.find(platform);
            if (name != names.end())
                line += QLatin1Char(' ') + name->second;
        }
        lines << line;
    }
    if (!m_id.isEmpty())
        lines << QStringLiteral("id=") + m_id;
    unsigned long number = 0;
    for (const auto& command : m_commands) {
        if (!command)
            continue;
        // Any time-out beyond what a wait can express means no limit.
        const uint64_t timeout = command->getTimeout();
        const QString timeoutText = timeout > static_cast<uint64_t>(INT_MAX)
                                        ? QStringLiteral("no")
                                        : QString::number(timeout);
        lines << QStringLiteral("cmd[%1, m=%2, t=%3, s=%4] ")
                         .arg(QString::number(number),
                              command->isMandatory() ? QStringLiteral("yes") : QStringLiteral("no"),
                              timeoutText,
                              isGroupEnabled(command->getGroup()) ? QStringLiteral("no")
                                                                  : QStringLiteral("yes"))
                     + command->getDetails(*this);
        ++number;
    }
    return lines.join(QLatin1Char('\n'));
}

const QMap<QString, QVariant>& FlashConfiguration::getBuildProperties() const
{
    static const QMap<QString, QVariant> empty;
    const QSharedPointer<FlashFileContext> flashFile = getFlashFileContext();
    return flashFile ? flashFile->getBuildProperties() : empty;
}

QSharedPointer<FlashConfiguration> FlashConfiguration::copyWithoutCommands(const QString& id,
                                                                           const QString& name) const
{
    QSharedPointer<FlashConfiguration> copy(new FlashConfiguration(
        m_startState, m_unknownGroupBehavior, id, name, m_description, m_brief, m_documentation,
        m_hiddenToEndUser, Parameters(), m_parameterValues));
    for (const auto& parameter : m_parameters)
        copy->m_parameters[parameter.first] = parameter.second->clone();
    return copy;
}

QSharedPointer<FlashConfiguration> FlashConfiguration::clone(const QString& id,
                                                             const QString& name) const
{
    const QSharedPointer<FlashConfiguration> copy = copyWithoutCommands(id, name);
    for (const auto& state : m_groups) {
        Group group = state.second;
        if (group.group)
            group.group = group.group->cloneWithoutCommandSet();
        copy->m_groups[state.first] = group;
    }
    for (const auto& command : m_commands) {
        if (!command) {
            copy->m_commands.push_back(command);
            continue;
        }
        const QSharedPointer<FlashCommand> commandCopy = command->clone();
        copy->m_commands.push_back(commandCopy);
        if (commandCopy->getGroup().isEmpty())
            continue;
        const auto state = copy->m_groups.find(commandCopy->getGroup());
        if (state != copy->m_groups.end() && state->second.group)
            state->second.group->addCommand(commandCopy);
    }
    return copy;
}

QSharedPointer<FlashConfiguration> FlashConfiguration::clone() const
{
    return clone(m_id, m_name);
}

QSharedPointer<FlashConfiguration> FlashConfiguration::clone(const Commands& commands,
                                                             const FileGroups& groups) const
{
    if (commands.size() != m_commands.size())
        return {};
    const QSharedPointer<FlashConfiguration> copy = copyWithoutCommands(m_id, m_name);
    for (const auto& state : m_groups) {
        Group group = state.second;
        const auto replacement =
            group.group ? groups.find(group.group->getId()) : groups.end();
        if (replacement != groups.end())
            group.group = replacement->second;
        else
            qDebug() << "Group ID not found during FlashConfiguration cloning 2!";
        copy->m_groups[state.first] = group;
    }
    for (std::size_t index = 0; index < m_commands.size(); ++index)
        copy->m_commands.push_back(m_commands[index] ? commands[index] : QSharedPointer<FlashCommand>());
    return copy;
}

JsonObject FlashConfiguration::toJson(const FileGroups& fileGroups) const
{
    JsonObject json;
    json.setValue(QStringLiteral("name"), m_name);
    json.setValue(QStringLiteral("description"), m_description);
    json.setValue(QStringLiteral("brief"), m_brief);
    json.setValue(QStringLiteral("startState"), FlashTypes::getStateName(m_startState));
    json.setValue(QStringLiteral("documentation"), m_documentation);
    json.setValue(QStringLiteral("hiddenToEndUser"), m_hiddenToEndUser);
    JsonObject parameters;
    for (const auto& selected : m_parameterValues)
        parameters.setValue(selected.first, selected.second);
    json.setValue(QStringLiteral("parameters"), parameters);
    JsonObject groupsState;
    for (const auto& state : m_groups)
        groupsState.setValue(state.first, state.second.defaultEnabled);
    if (m_unknownGroupBehavior == UnknownGroupsEnabled) {
        // Groups this configuration does not list run under this behaviour: say so explicitly.
        for (const auto& group : fileGroups) {
            if (m_groups.find(group.first) == m_groups.end())
                groupsState.setValue(group.first, true);
        }
    }
    json.setValue(QStringLiteral("groupsState"), groupsState);
    return json;
}

QString FlashConfiguration::getError() const
{
    for (const auto& selected : m_parameterValues) {
        const QSharedPointer<FlashParameter> parameter = getParameter(selected.first);
        if (!parameter)
            return QStringLiteral("Parameter '") + selected.first + QStringLiteral("' not found.");
        if (!parameter->getValue(selected.second))
            return QStringLiteral("Value '") + selected.second + QStringLiteral("' for the parameter '")
                   + selected.first + QStringLiteral("' specified in configuration '") + m_id
                   + QStringLiteral("' does not exist.");
    }

    std::set<QString> definedVariables;
    for (const auto& entry : m_parameters) {
        const auto variable = entry.second.dynamicCast<FlashVariable>();
        if (variable && variable->getVariableValue()
            && !variable->getVariableValue()->getValue().isNull())
            definedVariables.insert(entry.first);
    }

    const FileCheckScope oneLookPerFile;
    for (const auto& command : m_commands) {
        if (!command)
            continue;
        const QString error = command->checkParameters(*this, definedVariables);
        if (!error.isNull())
            return error;
    }
    return QString();
}

void FlashConfiguration::attachGroup(QSharedPointer<FlashGroup> group, bool enabled)
{
    if (!group)
        return;
    Group state;
    state.group = group;
    state.enabled = enabled;
    state.defaultEnabled = enabled;
    m_groups.emplace(group->getId(), state);
}

void FlashConfiguration::setGroupEnabled(QString id, bool enabled)
{
    for (auto state = m_groups.begin(); state != m_groups.end(); ++state) {
        if (state->second.group && state->second.group->getId() == id) {
            setGroupEnabled(state, enabled);
            return;
        }
    }
    ApplicationLog::write(
        WARNING, QStringLiteral("Group with ID '") + id
                     + QStringLiteral("' not found in the flash configuration"));
}

void FlashConfiguration::setGroupEnabled(Groups::iterator& state, bool enabled)
{
    if (state == m_groups.end())
        return;
    state->second.enabled = enabled;
    ApplicationLog::write(
        DEBUG, QStringLiteral("The group '") + state->first
                   + (enabled ? QStringLiteral("' is enabled") : QStringLiteral("' is disabled")));
}

std::list<FlashConfiguration::Group> FlashConfiguration::getGroupsStatus() const
{
    std::list<Group> states;
    for (const auto& state : m_groups)
        states.push_back(state.second);
    return states;
}

bool FlashConfiguration::hasGroups() const
{
    return !m_groups.empty();
}

bool FlashConfiguration::isGroupEnabled(const QString& groupId) const
{
    if (groupId.isEmpty())
        return true;
    const auto state = m_groups.find(groupId);
    if (state != m_groups.end())
        return state->second.enabled;
    return m_unknownGroupBehavior == UnknownGroupsEnabled;
}

JsonObjectList FlashConfiguration::getJsonGroupInterface() const
{
    return groupInterface(false);
}

JsonObjectList FlashConfiguration::getJsonGroupDefaultInterface() const
{
    return groupInterface(true);
}

void FlashConfiguration::setJsonGroupInterfaceResult(const JsonObject& answer)
{
    for (auto state = m_groups.begin(); state != m_groups.end(); ++state) {
        bool enabled = false;
        if (answer.getBoolean(state->first, enabled) == JsonObject::Found)
            setGroupEnabled(state, enabled);
    }
}

JsonObjectList FlashConfiguration::groupInterface(bool defaults) const
{
    JsonObjectList form;
    JsonObject title;
    title.setValue(QStringLiteral("label"), QStringLiteral("Execute command groups:"));
    title.setValue(QStringLiteral("type"), QStringLiteral("label"));
    form.append(title);
    for (const auto& state : m_groups) {
        if (!state.second.group)
            continue;
        JsonObject field;
        field.setValue(QStringLiteral("id"), state.second.group->getId());
        field.setValue(QStringLiteral("label"), state.second.group->getName());
        field.setValue(QStringLiteral("type"), QStringLiteral("checkbox"));
        field.setValue(QStringLiteral("value"),
                       defaults ? state.second.defaultEnabled : state.second.enabled);
        field.setValue(QStringLiteral("required"), false);
        field.setValue(QStringLiteral("tooltip"), state.second.group->getDescription());
        form.append(field);
    }
    return form;
}
