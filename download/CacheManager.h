#pragma once

// Cache of downloaded files that the download manager consults before it fetches one. Nothing in
// the program implements it; without one the item's own output file serves as the cache. Called on
// the thread that starts a download, with that download's lock held: it must not call back into the
// item or the manager.

#include <QString>

class CacheManager
{
public:
    enum CacheState : int {
        CACHE_ABSENT = 0,
        CACHE_PRESENT = 1,    // freshness unknown
        CACHE_OUTDATED = 2,
        CACHE_UP_TO_DATE = 3,
    };

    virtual ~CacheManager() = default;

    // `cachedPath` comes in holding the download's output path and leaves holding the cached copy's.
    virtual CacheState getCacheState(const QString& urlText, bool hasUser, QString& cachedPath) = 0;
    virtual bool isInCache(const QString& urlText, QString& cachedPath) = 0;
};
