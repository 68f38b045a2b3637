#pragma once

// The form of a new configuration: identifier, name, texts for the user, hidden flag and start
// state. It runs again, with the entries kept, until the answers pass the checks (an identifier
// and a name, an identifier the file does not have yet) or the user cancels. Modal, GUI thread only.

#include "platform/device/DeviceTypes.h"

#include <QString>
#include <QVector>

class FlashFileManager;

class NewConfigurationForm
{
public:
    struct Answers
    {
        DeviceState startState = DeviceState::ProvisioningOs;
        QString id;
        QString name;
        QString description;
        QString brief;
        QString documentation;
        bool hiddenToEndUser = false;
    };

    enum class Outcome { Accepted, Cancelled, InvalidForm, InvalidAnswer };

    // A start state a configuration may begin in, with the text that names it.
    struct StartState
    {
        DeviceState state;
        const char* text;
    };
    static const QVector<StartState>& startStates();

    // `file`: the loaded file whose identifiers are taken, null when none. On InvalidAnswer
    // `error` is the line that names the answer the form gave in a shape it should not have.
    static Outcome run(const FlashFileManager* file, Answers& answers, QString& error);
};
