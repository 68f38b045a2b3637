#pragma once

// Finds and loads the firmware downloader backend: the shared library "libdravik-dldr-api.so"
// beside the executable. It is loaded on the first request that finds it and stays loaded until the
// process ends. Static only; every function may be called from any thread.

#include "platform/downloader/DravikDownloaderApi.h"

#include <QString>

#include <memory>

class DravikDownloaderLibrary
{
public:
    // Gives a downloader object back to the backend that made it.
    struct Deleter
    {
        void operator()(DravikDownloaderApi* api) const;
    };
    using DownloaderPtr = std::unique_ptr<DravikDownloaderApi, Deleter>;

    DravikDownloaderLibrary() = delete;

    // A new downloader object; null when no backend is there, it cannot be loaded or it refuses.
    // Then `error` (when given) says why.
    static DownloaderPtr create(QString* error = nullptr);

    // Where the backend is looked for.
    static QString backendPath();
};
