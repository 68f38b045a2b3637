#include "tools/NotifierToolFlashCommand.h"

#include "core/ApplicationLog.h"
#include "engine/FlashRunner.h"
#include "tools/EditorField.h"

#include <limits>
#include <memory>

NotifierToolFlashCommand::NotifierToolFlashCommand(FlashCommandData* data, const QString& source,
                                                   uint64_t durationMs)
    : TextFlashCommand(data, source, TextReferences::Checked)
    , m_durationMs(durationMs)
{
}

QString NotifierToolFlashCommand::toolId()
{
    return QStringLiteral("notifier");
}

QString NotifierToolFlashCommand::toolName()
{
    return QStringLiteral("Notifier");
}

FlashCommand* NotifierToolFlashCommand::createNotifierToolCommand(const JsonObject& command)
{
    std::unique_ptr<FlashCommandData> data(getCommandData(command));
    if (!data)
        return nullptr;
    QString source;
    if (!readText(command, QStringLiteral("source"),
                  {QStringLiteral("Invalid 'source' value type in Notifier command"),
                   QStringLiteral("No key 'source' in Notifier command"),
                   QStringLiteral("Empty 'source' value in Notifier command")},
                  source))
        return nullptr;
    uint64_t durationMs = 0;
    if (command.getUInt64(QStringLiteral("duration"), durationMs) != JsonObject::Found) {
        ApplicationLog::write(DEBUG, QStringLiteral("Invalid or missing 'duration' arg in Notifier command"));
        return nullptr;
    }
    return new NotifierToolFlashCommand(data.release(), source, durationMs);
}

JsonObjectList NotifierToolFlashCommand::getJsonEditorInterfaceTemplate()
{
    return JsonObjectList{
        EditorField::hidden(QStringLiteral("tool"), toolId()),
        EditorField::text(QStringLiteral("source"), QStringLiteral("Source"), QString("")),
        EditorField::spinbox(QStringLiteral("duration"), QStringLiteral("Duration"), 10000)
            .step(1000)
            .suffix(QStringLiteral(" ms")),
    };
}

QString NotifierToolFlashCommand::getLogCommand(const SharedPointer<FlashRunner>&) const
{
    return QStringLiteral("Notify");
}

QString NotifierToolFlashCommand::getLogCommand(const FlashConfiguration&) const
{
    return QStringLiteral("Notify");
}

FlashTypes::CommandType NotifierToolFlashCommand::getType() const
{
    return FlashTypes::CommandType::Notifier;
}

bool NotifierToolFlashCommand::isMandatory() const
{
    return true;
}

uint64_t NotifierToolFlashCommand::getTimeout() const
{
    return std::numeric_limits<uint64_t>::max();
}

JsonObject NotifierToolFlashCommand::toJson() const
{
    JsonObject json = getJsonBase();
    json.setValue(QStringLiteral("tool"), toolId());
    json.setValue(QStringLiteral("source"), getText());
    json.setValue(QStringLiteral("duration"), m_durationMs);
    return json;
}

QString NotifierToolFlashCommand::getToolId() const
{
    return toolId();
}

QString NotifierToolFlashCommand::getToolParameters() const
{
    return QLatin1Char('"') + getText() + QLatin1Char('"');
}

QSharedPointer<FlashCommand> NotifierToolFlashCommand::clone() const
{
    return QSharedPointer<FlashCommand>(new NotifierToolFlashCommand(*this));
}

JsonObjectList NotifierToolFlashCommand::getJsonEditorInterface() const
{
    return fillEditorInterface(getJsonEditorInterfaceTemplate(),
                               {{QStringLiteral("source"), getText()},
                                {QStringLiteral("duration"), QVariant::fromValue<quint64>(m_durationMs)}});
}

int NotifierToolFlashCommand::performCommand(const SharedPointer<FlashRunner>& runner,
                                             const SharedPointer<FlashDevice2>&, uint64_t attempt,
                                             QString& error) const
{
    QString text;
    const int resolved = resolveText(runner, attempt, text, error);
    if (resolved != PerformSuccess)
        return resolved;
    // The panel hides the notice by itself: the flash does not wait for the duration.
    runner->sendDisplayNotifierToolSignal(text, m_durationMs);
    return PerformSuccess;
}
