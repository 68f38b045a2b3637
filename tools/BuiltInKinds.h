#pragma once

// The command kinds the program implements. Start-up registers them in FlashCommand's registry
// before the external tools are loaded (a user tool may replace a replaceable kind) and before
// any flash file loads.

#include "model/FlashCommand.h"

#include <QString>

#include <vector>

// A kind: its tool id, its creator, and whether a user tool of the same id (external tools
// registry) may replace it.
struct BuiltInKind
{
    QString toolId;
    FlashCommand::Creator creator;
    bool userReplaceable;
};

class BuiltInKinds
{
public:
    // Every built-in kind, one row each, in registration order.
    static const std::vector<BuiltInKind>& all();
    // The registry of the built-in kinds alone.
    static FlashCommand::Factories factories();
    // Makes FlashCommand's registry the built-in kinds alone.
    static void registerAll();
};
