#include "tools/PassFlashCommand.h"

#include "tools/EditorField.h"

#include <limits>
#include <memory>

PassFlashCommand::PassFlashCommand(FlashCommandData* data, const QString& description)
    : TextFlashCommand(data, description, TextReferences::DisplayOnly)
{
}

QString PassFlashCommand::toolId()
{
    return QStringLiteral("pass");
}

FlashCommand* PassFlashCommand::createPassCommand(const JsonObject& command)
{
    std::unique_ptr<FlashCommandData> data(getCommandData(command));
    if (!data)
        return nullptr;
    QString description;
    if (!readText(command, QStringLiteral("description"),
                  {QStringLiteral("Invalid 'description' in pass command"),
                   QStringLiteral("Invalid 'description' in pass command"),
                   QStringLiteral("Empty 'description' in pass command")},
                  description))
        return nullptr;
    return new PassFlashCommand(data.release(), description);
}

JsonObjectList PassFlashCommand::getJsonEditorInterfaceTemplate()
{
    return JsonObjectList{
        EditorField::hidden(QStringLiteral("tool"), toolId()),
        EditorField::text(QStringLiteral("description"), QStringLiteral("Description"),
                          QStringLiteral("Add a description here")),
    };
}

QString PassFlashCommand::getLogCommand(const SharedPointer<FlashRunner>&) const
{
    return QStringLiteral("Pass");
}

QString PassFlashCommand::getLogCommand(const FlashConfiguration&) const
{
    return QStringLiteral("Pass");
}

FlashTypes::CommandType PassFlashCommand::getType() const
{
    return FlashTypes::CommandType::Internal;
}

bool PassFlashCommand::isMandatory() const
{
    return true;
}

uint64_t PassFlashCommand::getTimeout() const
{
    return std::numeric_limits<uint64_t>::max();
}

JsonObject PassFlashCommand::toJson() const
{
    JsonObject json = getJsonBase();
    json.setValue(QStringLiteral("tool"), toolId());
    json.setValue(QStringLiteral("description"), getText());
    return json;
}

QString PassFlashCommand::getToolId() const
{
    return toolId();
}

QString PassFlashCommand::getToolParameters() const
{
    return QLatin1String("");
}

QSharedPointer<FlashCommand> PassFlashCommand::clone() const
{
    return QSharedPointer<FlashCommand>(new PassFlashCommand(*this));
}

JsonObjectList PassFlashCommand::getJsonEditorInterface() const
{
    return fillEditorInterface(getJsonEditorInterfaceTemplate(),
                               {{QStringLiteral("description"), getText()}});
}

int PassFlashCommand::performCommand(const SharedPointer<FlashRunner>&,
                                     const SharedPointer<FlashDevice2>&, uint64_t,
                                     QString&) const
{
    return PerformSuccess;
}
