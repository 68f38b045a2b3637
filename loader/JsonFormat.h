#pragma once

// What differs between the JSON flash file versions "2.0", "2.1", "2.2" and "3.0": the generation
// of start-state keywords, the configuration keys read, variables and platforms, and whether
// commands of groups a configuration does not list run.

#include "core/FlashTypes.h"
#include "model/FlashConfiguration.h"

struct JsonFormat
{
    FlashTypes::StateMapVersion stateKeywords;
    bool readsDocumentation;
    bool readsHiddenToEndUser;
    bool readsVariables;
    bool readsPlatforms;
    FlashConfiguration::UnknownGroupBehavior unknownGroups;
};
