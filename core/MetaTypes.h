#pragma once

// Registers the types that travel in queued signals under the names the signals use.
// main() calls it once, before the first connection is made.
void registerMetaTypes();
