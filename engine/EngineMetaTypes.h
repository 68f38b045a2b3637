#pragma once

// Registers the engine's types that travel in queued signals (devices, outcomes).
// main() calls it once, after registerMetaTypes() and before the first connection is made.
void registerEngineMetaTypes();
