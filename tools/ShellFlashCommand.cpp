#include "tools/ShellFlashCommand.h"

#include "core/ApplicationLog.h"
#include "core/FMConst.h"
#include "core/Utils.h"
#include "engine/FlashDevice2.h"
#include "engine/FlashRunner.h"
#include "engine/FlashScriptEngine.h"
#include "tools/EditorField.h"
#include "tools/ShellProcess.h"

#include <QScriptValue>

#include <utility>

namespace {

constexpr uint64_t kTemplateTimeoutMs = 60000;
constexpr uint64_t kTemplateRetry = 2;

QString quoted(const QString& text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

// " \"a\" \"b\"": each argument after a blank, in double quotes.
QString quotedArguments(const QStringList& args)
{
    QString text;
    for (const QString& arg : args)
        text += QLatin1Char(' ') + quoted(arg);
    return text;
}

// The "args" text that Utils::splitArguments reads back as `args`. The splitter takes a backslash
// as an escape only before the closing quote character, so only double quotes are escaped, and
// backslashes that end an argument stand after its closing quote, where they are plain characters.
QString argumentsText(const QStringList& args)
{
    QStringList words;
    for (const QString& arg : args) {
        int end = arg.size();
        while (end > 0 && arg.at(end - 1) == QLatin1Char('\\'))
            --end;
        QString inner = arg.left(end);
        inner.replace(QLatin1Char('"'), QStringLiteral("\\\""));
        words << quoted(inner) + arg.mid(end);
    }
    return words.join(QLatin1Char(' '));
}

} // namespace

ShellFlashCommand::ShellFlashCommandData::ShellFlashCommandData(
    FlashCommandData* base, const QString& toolId, const QStringList& args, uint64_t timeout,
    uint64_t retry, const QString& description, const QString& successCondition, bool mandatory,
    bool blockScan)
    : base(base)
    , toolId(toolId)
    , args(args)
    , timeout(timeout)
    , retry(retry)
    , description(description)
    , successCondition(successCondition)
    , mandatory(mandatory)
    , blockScan(blockScan)
{
    escapedSuccessCondition =
        FlashScriptEngine::escapeFlashParameters(successCondition, successConditionParameters);
}

ShellFlashCommand::ShellFlashCommandData::ShellFlashCommandData(const ShellFlashCommandData& other)
    : toolId(other.toolId)
    , args(other.args)
    , timeout(other.timeout)
    , retry(other.retry)
    , description(other.description)
    , successCondition(other.successCondition)
    , escapedSuccessCondition(other.escapedSuccessCondition)
    , successConditionParameters(other.successConditionParameters)
    , mandatory(other.mandatory)
    , blockScan(other.blockScan)
{
}

std::unique_ptr<ShellFlashCommand::ShellFlashCommandData>
ShellFlashCommand::getShellCommandData(const JsonObject& json, bool skipArgs)
{
    std::unique_ptr<FlashCommandData> base(getCommandData(json));
    if (!base)
        return nullptr;

    QString toolId;
    if (json.getString(QStringLiteral("tool"), toolId) != JsonObject::Found) {
        ApplicationLog::write(ERROR, QStringLiteral("Invalid 'tool' in shell command"));
        return nullptr;
    }
    if (toolId.isEmpty()) {
        ApplicationLog::write(ERROR, QStringLiteral("Empty 'tool' in shell command"));
        return nullptr;
    }
    QString argsText;
    if (!skipArgs && json.getString(QStringLiteral("args"), argsText) == JsonObject::WrongType) {
        ApplicationLog::write(ERROR, QStringLiteral("Invalid 'args' in shell command"));
        return nullptr;
    }
    uint64_t timeout = 0;
    if (json.getUInt64(QStringLiteral("timeout"), timeout) != JsonObject::Found) {
        ApplicationLog::write(ERROR, QStringLiteral("Invalid 'timeout' in shell command"));
        return nullptr;
    }
    uint64_t retry = 0;
    if (json.getUInt64(QStringLiteral("retry"), retry) != JsonObject::Found) {
        ApplicationLog::write(ERROR, QStringLiteral("Invalid 'retry' in shell command"));
        return nullptr;
    }
    QString description;
    if (json.getString(QStringLiteral("description"), description) != JsonObject::Found) {
        ApplicationLog::write(ERROR, QStringLiteral("Invalid 'description' in shell command"));
        return nullptr;
    }
    if (description.isEmpty()) {
        ApplicationLog::write(ERROR, QStringLiteral("Empty 'description' in shell command"));
        return nullptr;
    }

    QString successCondition;
    switch (json.getString(QStringLiteral("successCondition"), successCondition)) {
    case JsonObject::WrongType:
        ApplicationLog::write(ERROR, QStringLiteral("Invalid 'successCondition' in shell command"));
        return nullptr;
    case JsonObject::Absent:
        switch (json.getString(QStringLiteral("success_condition"), successCondition)) {
        case JsonObject::WrongType:
            ApplicationLog::write(ERROR, QStringLiteral("Invalid 'success_condition' in shell command"));
            return nullptr;
        case JsonObject::Found:
            ApplicationLog::write(
                WARNING, QStringLiteral("The 'success_condition' key is deprecated in flash file"));
            ApplicationLog::write(
                DEBUG, QStringLiteral("Please use 'successCondition' instead"));
            break;
        default:
            break;
        }
        break;
    default:
        break;
    }

    bool mandatory = true;
    if (json.getBoolean(QStringLiteral("mandatory"), mandatory) == JsonObject::WrongType) {
        ApplicationLog::write(ERROR, QStringLiteral("Invalid 'mandatory' in shell command"));
        return nullptr;
    }
    bool blockScan = false;
    if (json.getBoolean(QStringLiteral("block_scan"), blockScan) == JsonObject::WrongType) {
        ApplicationLog::write(ERROR, QStringLiteral("Invalid 'block_scan' in shell command"));
        return nullptr;
    }

    // Split once, here: every later use works on the list, never on a command line.
    const QStringList args = skipArgs ? QStringList() : Utils::splitArguments(argsText);
    return std::make_unique<ShellFlashCommandData>(base.release(), toolId, args, timeout, retry,
                                                   description, successCondition, mandatory,
                                                   blockScan);
}

FlashCommand* ShellFlashCommand::createShellCommand(const JsonObject& json)
{
    return createKind<ShellFlashCommand>(json);
}

JsonObjectList ShellFlashCommand::getJsonEditorInterfaceTemplate()
{
    return editorTemplate(QString(""));
}

JsonObjectList ShellFlashCommand::editorTemplate(const QString& toolId)
{
    return JsonObjectList{
        EditorField::hidden(QStringLiteral("tool"), toolId),
        EditorField::text(QStringLiteral("args"), QStringLiteral("Arguments"), QString("")),
        EditorField::spinbox(QStringLiteral("timeout"), QStringLiteral("Timeout"),
                             QVariant::fromValue(kTemplateTimeoutMs))
            .minimum(-1)
            .step(1000)
            .suffix(QStringLiteral(" ms"))
            .specialValue(QStringLiteral("No timeout")),
        EditorField::text(QStringLiteral("description"), QStringLiteral("Description"),
                          QStringLiteral("Add a description here")),
        EditorField::checkbox(QStringLiteral("mandatory"), QStringLiteral("Mandatory"), true),
        EditorField::spinbox(QStringLiteral("retry"), QStringLiteral("Tries"),
                             QVariant::fromValue(kTemplateRetry))
            .minimum(1),
    };
}

QString ShellFlashCommand::outputText(const QByteArray& bytes)
{
    const int nul = bytes.indexOf('\0');
    return QString::fromUtf8(nul < 0 ? bytes : bytes.left(nul));
}

ShellFlashCommand::ShellFlashCommand(std::unique_ptr<ShellFlashCommandData> data, int captureFlags)
    : FlashCommand(data->base.release())
    , m_shell(std::move(data))
    , m_captureFlags(captureFlags)
{
}

ShellFlashCommand::ShellFlashCommand(const ShellFlashCommand& other)
    : FlashCommand(other)
    , m_shell(std::make_unique<ShellFlashCommandData>(*other.m_shell))
    , m_captureFlags(other.m_captureFlags)
{
}

ShellFlashCommand::~ShellFlashCommand() = default;

const ShellFlashCommand::ShellFlashCommandData& ShellFlashCommand::getShellData() const
{
    return *m_shell;
}

QString ShellFlashCommand::getUserFriendlyCommand(const SharedPointer<FlashRunner>&) const
{
    return m_shell->description;
}

QString ShellFlashCommand::getUserFriendlyCommand(const FlashConfiguration&) const
{
    return m_shell->description;
}

QString ShellFlashCommand::commandLine(const QString& program, const QStringList& args) const
{
    return quoted(program) + quotedArguments(args);
}

QString ShellFlashCommand::getLogCommand(const SharedPointer<FlashRunner>& runner) const
{
    QString program = getAbsoluteProgramPath(m_shell->toolId);
    if (program.isEmpty())
        program = m_shell->toolId;
    if (runner.isNull())
        return commandLine(program, m_shell->args);

    QStringList args = m_shell->args;
    if (!runner->getDevice().isNull())
        deviceSpecificParameters(runner->getDevice(), args);
    for (QString& arg : args)
        arg = replaceParameters(*runner, arg);
    return commandLine(program, args);
}

QString ShellFlashCommand::getLogCommand(const FlashConfiguration& configuration) const
{
    QString program = getAbsoluteProgramPath(m_shell->toolId);
    if (program.isEmpty())
        program = m_shell->toolId;
    QStringList args = m_shell->args;
    for (QString& arg : args)
        arg = replaceParameters(configuration, arg);
    return commandLine(program, args);
}

QString ShellFlashCommand::getDetails(const FlashConfiguration& configuration) const
{
    QStringList args = m_shell->args;
    specificParameters(args);
    for (QString& arg : args)
        arg = replaceParameters(configuration, arg);
    return m_shell->toolId + quotedArguments(args);
}

FlashTypes::CommandType ShellFlashCommand::getType() const
{
    return FlashTypes::CommandType::Shell;
}

bool ShellFlashCommand::isMandatory() const
{
    return m_shell->mandatory;
}

uint64_t ShellFlashCommand::getTimeout() const
{
    return m_shell->timeout;
}

std::set<FlashCommand::CommandParameter> ShellFlashCommand::getParameterKeys() const
{
    std::set<CommandParameter> keys = FlashCommand::getParameterKeys();
    keys.insert(m_shell->successConditionParameters.begin(),
                m_shell->successConditionParameters.end());
    for (const QString& arg : std::as_const(m_shell->args))
        addParameterKeys(arg, keys);
    return keys;
}

JsonObject ShellFlashCommand::toJson() const
{
    return getJsonBase();
}

JsonObject ShellFlashCommand::getJsonBase() const
{
    JsonObject json = FlashCommand::getJsonBase();
    json.setValue(QStringLiteral("tool"), m_shell->toolId);
    json.setValue(QStringLiteral("args"), argumentsText(m_shell->args));
    json.setValue(QStringLiteral("timeout"), m_shell->timeout);
    json.setValue(QStringLiteral("retry"), m_shell->retry);
    json.setValue(QStringLiteral("description"), m_shell->description);
    json.setValue(QStringLiteral("mandatory"), m_shell->mandatory);
    if (!m_shell->successCondition.isEmpty())
        json.setValue(QStringLiteral("successCondition"), m_shell->successCondition);
    if (m_shell->blockScan)
        json.setValue(QStringLiteral("block_scan"), true);
    return json;
}

QString ShellFlashCommand::getToolId() const
{
    return m_shell->toolId;
}

QString ShellFlashCommand::getToolParameters() const
{
    return quotedArguments(m_shell->args).mid(1);
}

QSharedPointer<FlashCommand> ShellFlashCommand::clone() const
{
    return QSharedPointer<FlashCommand>(new ShellFlashCommand(*this));
}

JsonObjectList ShellFlashCommand::getJsonEditorInterface() const
{
    return fillEditorInterface(
        getJsonEditorInterfaceTemplate(),
        {{QStringLiteral("tool"), m_shell->toolId},
         {QStringLiteral("args"), argumentsText(m_shell->args)},
         {QStringLiteral("timeout"), EditorField::timeoutValue(m_shell->timeout)},
         {QStringLiteral("retry"), QVariant::fromValue(m_shell->retry)},
         {QStringLiteral("description"), m_shell->description},
         {QStringLiteral("mandatory"), m_shell->mandatory}});
}

int ShellFlashCommand::performCommand(const SharedPointer<FlashRunner>& runner,
                                      const SharedPointer<FlashDevice2>& device, uint64_t attempt,
                                      QString& error) const
{
    return performCommandWithOutputBuffer(runner, device, attempt, error, nullptr);
}

bool ShellFlashCommand::isFlashOnlyCommand() const
{
    return false;
}

int ShellFlashCommand::performCommandWithOutputBuffer(const SharedPointer<FlashRunner>& runner,
                                                      const SharedPointer<FlashDevice2>& device,
                                                      uint64_t attempt, QString& error,
                                                      QByteArray* output) const
{
    if (!hasRunner(runner))
        return PerformFailed;
    const int failure = m_shell->mandatory ? PerformFailed : PerformFailedContinue;

    const QString program = getAbsoluteProgramPath(m_shell->toolId);
    if (program.isEmpty()) {
        error = QStringLiteral("Tool '") + m_shell->toolId + QStringLiteral("' not found");
        return PerformFailed;
    }
    QStringList args;
    const int expanded = expandArguments(
        runner, device, attempt,
        QStringLiteral("Cannot compute device specific parameters, please check device connection"), args,
        error);
    if (expanded != PerformSuccess)
        return expanded;

    int flags = m_captureFlags;
    if (output || !m_shell->successCondition.isEmpty())
        flags |= ShellProcess::CaptureStdMerged;
    ShellProcess process(runner, flags);
    if (!prepareShellProcess(runner, device, &process, args, error))
        return failure;

    ProgramOutcome outcome;
    {
        const ScanBlock frozen(m_shell->blockScan ? device.data() : nullptr);
        outcome = runner->runExternalProgram(process, program, args, m_shell->timeout,
                                             QIODevice::ReadWrite | QIODevice::Unbuffered);
    }

    int result = decide(runner, process, outcome, program, args, error);
    if (output)
        *output = *process.getStdMerged();
    if (!terminateShellProcess(runner, device, &process, error))
        return failure;
    if (result == PerformRetry && attempt == m_shell->retry)
        result = failure;
    if (result == PerformFailed || result == PerformFailedContinue) {
        // Why it failed is in the program's own last words: shown at the level of the failure.
        const Logger::LogLevel level = result == PerformFailed ? Logger::ERROR : Logger::WARNING;
        for (const QString& line : process.lastLines())
            runner->logMessage(level, line);
    }
    return result;
}

int ShellFlashCommand::expandArguments(const SharedPointer<FlashRunner>& runner,
                                       const SharedPointer<FlashDevice2>& device, uint64_t attempt,
                                       const QString& noDeviceError, QStringList& args,
                                       QString& error) const
{
    const int failure = m_shell->mandatory ? PerformFailed : PerformFailedContinue;
    if (attempt == 0 || attempt > m_shell->retry) {
        error = QStringLiteral("Invalid retry number (") + QString::number(attempt) + QLatin1Char(')');
        return failure;
    }

    // Each argument is substituted on its own: a value never splits into several arguments.
    args.clear();
    for (const QString& arg : std::as_const(m_shell->args)) {
        bool ok = true;
        const QString expanded = replaceParameters(*runner, arg, &ok, &error);
        if (!ok)
            return PerformFailed;
        args << expanded;
    }
    if (!deviceSpecificParameters(device, args)) {
        error = noDeviceError;
        return failure;
    }
    return PerformSuccess;
}

int ShellFlashCommand::decide(const SharedPointer<FlashRunner>& runner, ShellProcess& process,
                              ProgramOutcome outcome, const QString& program, const QStringList& args,
                              QString& error) const
{
    const QString command = QStringLiteral("Command `") + program + quotedArguments(args) + QLatin1Char('`');
    switch (outcome) {
    case ProgramOutcome::Ok:
    case ProgramOutcome::Failed:
    case ProgramOutcome::Crashed:
        if (m_shell->successCondition.isEmpty())
            return isSuccess(&process, program, args) ? PerformSuccess : PerformRetry;
        if (outcome == ProgramOutcome::Crashed)
            return PerformRetry;
        return evaluateSuccessCondition(runner, process);
    case ProgramOutcome::Cancelled:
        return PerformCancelled;
    case ProgramOutcome::NotStarted:
        error = command + QStringLiteral(" could not be started (") + process.errorString() + QLatin1Char(')');
        return PerformRetry;
    case ProgramOutcome::TimedOut:
        error = command + QStringLiteral(" timed out (")
                + QString::number(double(m_shell->timeout) * 0.001, 'g', 6) + QStringLiteral(" s)");
        return PerformRetry;
    }
    return PerformRetry;
}

int ShellFlashCommand::evaluateSuccessCondition(const SharedPointer<FlashRunner>& runner,
                                                ShellProcess& process) const
{
    const FlashRunner::ScriptValues values = {
        {QStringLiteral("$code"), QScriptValue(process.exitCode())},
        {QStringLiteral("$output"), QScriptValue(outputText(*process.getStdMerged()))},
    };
    QScriptValue result;
    int line = 0;
    const QString& script = m_shell->escapedSuccessCondition;
    if (!runner->executeScript(script, result, line, values)) {
        runner->logMessage(Logger::ERROR, QStringLiteral("Success condition failed to evaluate"));
        runner->logMessage(Logger::DEBUG, QStringLiteral("Exception line ") + QString::number(line)
                                              + QStringLiteral(": ") + result.toString());
        runner->logMessage(Logger::DEBUG, QStringLiteral("Expanded script: ") + script);
        return PerformFailed;
    }
    if (!result.isBool()) {
        runner->logMessage(Logger::ERROR,
                           QStringLiteral("Success condition must evaluate a boolean expression"));
        runner->logMessage(Logger::DEBUG, QStringLiteral("Expanded script: ") + script);
        return PerformFailed;
    }
    return result.toBool() ? PerformSuccess : PerformRetry;
}

bool ShellFlashCommand::deviceSpecificParameters(const SharedPointer<FlashDevice2>&,
                                                 QStringList&) const
{
    return true;
}

bool ShellFlashCommand::specificParameters(QStringList&) const
{
    return true;
}

QString ShellFlashCommand::getAbsoluteProgramPath(const QString& toolId) const
{
    return FMConst::getTool(toolId);
}

bool ShellFlashCommand::isSuccess(ShellProcess* process, const QString&, const QStringList&) const
{
    return process && process->exitStatus() == QProcess::NormalExit && process->exitCode() == 0;
}

bool ShellFlashCommand::prepareShellProcess(const SharedPointer<FlashRunner>&,
                                            const SharedPointer<FlashDevice2>&, ShellProcess*,
                                            const QStringList&, QString&) const
{
    return true;
}

bool ShellFlashCommand::terminateShellProcess(const SharedPointer<FlashRunner>&,
                                              const SharedPointer<FlashDevice2>&, ShellProcess*,
                                              QString&) const
{
    return true;
}
