#pragma once

// Interface of the firmware downloader backend ("Dravik Downloader" API library). A backend is a
// shared library that exports the two C entry points below; it creates one downloader object per
// download run, used from one thread at a time and destroyed through the library again. The
// program never links a backend: DravikDownloaderLibrary loads it at run time.

#include <cstdint>
#include <string>

// What the last failed download left: a code and a NUL-terminated text.
struct DravikDownloaderError
{
    uint64_t code;
    char text[128];
};

// Receives every status line of a download ("DRAVIK-<KIND>[--USBSN:<serial>]--<text>"), on the
// thread that called the download, before the download returns.
using DravikStatusCallback = void (*)(const char* line, void* clientData);

class DravikDownloaderApi
{
public:
    // Seconds the downloader waits for the device to enumerate in download mode.
    virtual void setEnumerationTimeout(int seconds) = 0;
    // Detail of the status lines: 0 errors only, 1 progress and status, 2 everything.
    virtual void setStatusVerbosity(int level) = 0;
    virtual void setStatusCallback(DravikStatusCallback callback, void* clientData) = 0;
    // Erase the firmware partition before writing it.
    virtual void setWipeIfwi(bool wipe) = 0;
    // Also send the XXR DnX file (`xxrDnx`, empty when `enable` is false).
    virtual void setMiscDnx(bool enable, const char* xxrDnx) = 0;
    // Downloads to the device whose SoC serial is `targetSerial`; true on success.
    virtual bool downloadMulti(const char* ifwiDnx, const char* ifwi, const char* osDnx,
                               const char* os, const char* gpFlag, const char* targetSerial,
                               const char* softFuse) = 0;
    // Downloads to the only device in download mode; true on success.
    virtual bool downloadSolo(const char* ifwiDnx, const char* ifwi, const char* osDnx,
                              const char* os, const char* gpFlag, const char* softFuse) = 0;
    virtual void getLastError(DravikDownloaderError* error) = 0;
    virtual std::string getVersion() = 0;

protected:
    // Only the backend's dravikdldrapi_dealloc destroys its objects.
    virtual ~DravikDownloaderApi() = default;
};

// The entry points a backend exports.
extern "C" {
using DravikAllocFunction = DravikDownloaderApi* (*)();
using DravikDeallocFunction = void (*)(DravikDownloaderApi*);

// A new downloader object, or null.
DravikDownloaderApi* dravikdldrapi_alloc();
// Destroys an object of dravikdldrapi_alloc; null is ignored.
void dravikdldrapi_dealloc(DravikDownloaderApi* api);
}
