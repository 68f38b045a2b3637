#pragma once

// A named group of commands that a configuration can switch off. The group only points at its
// commands (weakly): it never keeps one alive.

#include <QObject>
#include <QSharedPointer>
#include <QString>
#include <QWeakPointer>

#include <map>

class FlashCommand;

class FlashGroup : public QObject
{
public:
    // Keyed by the command's address, so a command is held once; an entry outlives its command
    // and then yields a null strong reference.
    using Commands = std::map<const FlashCommand*, QWeakPointer<FlashCommand>>;

    FlashGroup(const QString& id, const QString& name, const QString& description);

    void addCommand(QSharedPointer<FlashCommand> command);
    const Commands& getCommands() const;
    QSharedPointer<FlashGroup> cloneWithoutCommandSet() const;

    const QString& getId() const;
    const QString& getName() const;
    const QString& getDescription() const;

private:
    QString m_id;
    QString m_name;
    QString m_description;
    Commands m_commands;
};

using FlashGroupPtr = QSharedPointer<FlashGroup>;
