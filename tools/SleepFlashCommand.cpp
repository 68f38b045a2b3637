#include "tools/SleepFlashCommand.h"

#include "core/ApplicationLog.h"
#include "engine/FlashRunner.h"
#include "tools/EditorField.h"

#include <QWaitCondition>

#include <memory>

SleepFlashCommand::SleepFlashCommand(FlashCommandData* data, uint64_t durationMs)
    : FlashCommand(data)
    , m_durationMs(durationMs)
{
}

QString SleepFlashCommand::toolId()
{
    return QStringLiteral("sleep");
}

QString SleepFlashCommand::toolName()
{
    return QStringLiteral("Sleep");
}

FlashCommand* SleepFlashCommand::createSleepCommand(const JsonObject& command)
{
    std::unique_ptr<FlashCommandData> data(getCommandData(command));
    if (!data)
        return nullptr;
    uint64_t durationMs = 0;
    if (command.getUInt64(QStringLiteral("duration"), durationMs) != JsonObject::Found) {
        ApplicationLog::write(DEBUG, QStringLiteral("Invalid or missing `duration` arg in Sleep command"));
        return nullptr;
    }
    return new SleepFlashCommand(data.release(), durationMs);
}

JsonObjectList SleepFlashCommand::getJsonEditorInterfaceTemplate()
{
    return JsonObjectList{
        EditorField::hidden(QStringLiteral("tool"), toolId()),
        EditorField::spinbox(QStringLiteral("duration"), QStringLiteral("Duration"), 25000)
            .step(1000)
            .suffix(QStringLiteral(" ms")),
    };
}

QString SleepFlashCommand::logText() const
{
    return QStringLiteral("Sleeping for %1 seconds").arg(QString::number(double(m_durationMs) * 0.001, 'g', 6));
}

QString SleepFlashCommand::getLogCommand(const SharedPointer<FlashRunner>&) const
{
    return logText();
}

QString SleepFlashCommand::getLogCommand(const FlashConfiguration&) const
{
    return logText();
}

FlashTypes::CommandType SleepFlashCommand::getType() const
{
    return FlashTypes::CommandType::Sleep;
}

bool SleepFlashCommand::isMandatory() const
{
    return true;
}

uint64_t SleepFlashCommand::getTimeout() const
{
    return m_durationMs;
}

JsonObject SleepFlashCommand::toJson() const
{
    JsonObject json = getJsonBase();
    json.setValue(QStringLiteral("tool"), toolId());
    json.setValue(QStringLiteral("duration"), m_durationMs);
    return json;
}

QString SleepFlashCommand::getToolId() const
{
    return toolId();
}

QString SleepFlashCommand::getToolParameters() const
{
    return QString::number(m_durationMs) + QStringLiteral(" ms");
}

QSharedPointer<FlashCommand> SleepFlashCommand::clone() const
{
    return QSharedPointer<FlashCommand>(new SleepFlashCommand(*this));
}

JsonObjectList SleepFlashCommand::getJsonEditorInterface() const
{
    return fillEditorInterface(getJsonEditorInterfaceTemplate(),
                               {{QStringLiteral("duration"), QVariant::fromValue<quint64>(m_durationMs)}});
}

int SleepFlashCommand::performCommand(const SharedPointer<FlashRunner>& runner,
                                      const SharedPointer<FlashDevice2>&, uint64_t attempt,
                                      QString&) const
{
    if (!hasRunner(runner) || attempt != 1)
        return PerformFailed;
    // Nobody else knows this condition: only the runner's cancel can wake it before the time.
    QWaitCondition condition;
    switch (runner->waitForCondition(condition, m_durationMs)) {
    case FlashRunner::WaitTimedOut:
        return PerformSuccess;
    case FlashRunner::WaitCancelled:
        return PerformCancelled;
    default:
        runner->logMessage(Logger::TRACE, QStringLiteral("Sleep process does not exit with timeout"));
        return PerformFailed;
    }
}
