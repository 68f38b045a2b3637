#pragma once

// Reader of the group objects and command objects of a JSON flash file: a group becomes a
// FlashGroup; a command becomes the kind its "tool" names (through the command factory), joins its
// group and names the configurations it is restricted to. Static only.

#include "model/FlashConfiguration.h"

#include <QSharedPointer>
#include <QString>

#include <set>

class FlashCommand;
class FlashGroup;
class JsonObject;

class JsonCommandReader
{
public:
    JsonCommandReader() = delete;

    // True with `result` set; false after logging the refusal.
    static bool readGroup(const JsonObject& json, const QString& id, QSharedPointer<FlashGroup>& result);

    // True with `result` set and `restrict` holding the configuration ids of "restrict" (empty: all
    // configurations); true with `result` empty for a command restricted to no configuration, which
    // is dropped unread; false after logging the refusal.
    static bool readCommand(const JsonObject& json, const FlashConfiguration::FileGroups& groups,
                            std::set<QString>& restrict, QSharedPointer<FlashCommand>& result);
};
