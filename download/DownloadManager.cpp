#include "download/DownloadManager.h"

DownloadManager::DownloadManager() = default;

DownloadManager::~DownloadManager() = default;

bool DownloadManager::isDownloading(const QString& path) const
{
    Q_UNUSED(path)
    return false; // a client without downloads writes no file
}
