#include "platform/downloader/DravikDownloaderLibrary.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>
#include <QMutex>
#include <QMutexLocker>

#include <atomic>

namespace {

const char kBackendFileName[] = "libdravik-dldr-api.so";

// The loaded backend. Once both entry points are found they never change again, so the deleter
// reads them without the lock.
struct Backend
{
    QMutex mutex;
    QLibrary library;
    DravikAllocFunction alloc = nullptr;
    std::atomic<DravikDeallocFunction> dealloc{nullptr};
};

Backend& backend()
{
    static Backend instance;
    return instance;
}

// Loads the backend unless it is loaded already; false with the reason in `error`.
bool load(Backend& state, QString& error)
{
    QMutexLocker locker(&state.mutex);
    if (state.alloc)
        return true;
    const QString path = DravikDownloaderLibrary::backendPath();
    if (!QFileInfo(path).isFile()) {
        error = QStringLiteral("No downloader backend at %1").arg(path);
        return false;
    }
    state.library.setFileName(path);
    if (!state.library.load()) {
        error = QStringLiteral("Cannot load the downloader backend: %1").arg(state.library.errorString());
        return false;
    }
    const auto alloc = reinterpret_cast<DravikAllocFunction>(state.library.resolve("dravikdldrapi_alloc"));
    const auto dealloc = reinterpret_cast<DravikDeallocFunction>(state.library.resolve("dravikdldrapi_dealloc"));
    if (!alloc || !dealloc) {
        error = QStringLiteral("The downloader backend %1 lacks its entry points").arg(path);
        return false;
    }
    state.dealloc = dealloc;
    state.alloc = alloc;
    return true;
}

} // namespace

void DravikDownloaderLibrary::Deleter::operator()(DravikDownloaderApi* api) const
{
    // Only objects of a loaded backend exist, so its dealloc is known.
    if (api)
        backend().dealloc.load()(api);
}

DravikDownloaderLibrary::DownloaderPtr DravikDownloaderLibrary::create(QString* error)
{
    Backend& state = backend();
    QString reason;
    if (!load(state, reason)) {
        if (error)
            *error = reason;
        return DownloaderPtr();
    }
    DownloaderPtr api(state.alloc());
    if (!api && error)
        *error = QStringLiteral("The downloader backend could not create a downloader");
    return api;
}

QString DravikDownloaderLibrary::backendPath()
{
    return QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(QLatin1String(kBackendFileName));
}
