#pragma once

// Registers the model's types that travel in queued signals ("FlashConfigurationPtr").
// main() calls it once, after registerMetaTypes() and before the first connection is made.
void registerModelMetaTypes();
