#pragma once

// Registers the desktop face's types that travel in queued calls under the names the calls use.
// Start-up calls it once, before the window is made.
void registerUiMetaTypes();
