#include "download/DownloadMetaTypes.h"

#include "download/DownloadItem.h"
#include "download/DownloadManager.h"

#include <QMetaType>

#include <cstdint>

void registerDownloadMetaTypes()
{
    qRegisterMetaType<DownloadItemPtr>("DownloadItemPtr");
    qRegisterMetaType<DownloadItem*>("DownloadItem*");
    // An identifier is an uint64_t, which is unsigned long on Linux, not quint64.
    qRegisterMetaType<uint64_t>("uint64_t");
    qRegisterMetaType<DownloadManager::DownloadId>("DownloadManager::DownloadId");
    qRegisterMetaType<DownloadManager::DownloadStatus>("DownloadManager::DownloadStatus");
    qRegisterMetaType<DownloadManager::DownloadActionAnswer>("DownloadManager::DownloadActionAnswer");
    qRegisterMetaType<DownloadManager::DownloadActionAnswer*>("DownloadManager::DownloadActionAnswer*");
    // Credentials asked of the operator through a blocking connection.
    qRegisterMetaType<QString*>("QString*");
    qRegisterMetaType<bool*>("bool*");
}
