#include "model/FlashGroup.h"

#include "model/FlashCommand.h"

FlashGroup::FlashGroup(const QString& id, const QString& name, const QString& description)
    : m_id(id)
    , m_name(name)
    , m_description(description)
{
}

void FlashGroup::addCommand(QSharedPointer<FlashCommand> command)
{
    QWeakPointer<FlashCommand>& entry = m_commands[command.data()];
    // An entry left by a destroyed command may carry the address of a new one.
    if (!entry.toStrongRef())
        entry = command;
}

const FlashGroup::Commands& FlashGroup::getCommands() const
{
    return m_commands;
}

QSharedPointer<FlashGroup> FlashGroup::cloneWithoutCommandSet() const
{
    return QSharedPointer<FlashGroup>(new FlashGroup(m_id, m_name, m_description));
}

const QString& FlashGroup::getId() const
{
    return m_id;
}

const QString& FlashGroup::getName() const
{
    return m_name;
}

const QString& FlashGroup::getDescription() const
{
    return m_description;
}
