#pragma once

// Registers the download client's types that travel in queued and blocking signals. The download
// manager's constructor calls it, as nothing at start-up creates a manager; calling it again is harmless.
void registerDownloadMetaTypes();
