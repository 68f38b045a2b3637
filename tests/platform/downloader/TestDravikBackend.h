#pragma once

// Control of the scriptable downloader backend that the tests build as "libdravik-dldr-api.so"
// beside their executables. A test reaches the loaded backend's script through
// TestDravikBackend::script(), which resolves the control entry point in the same library file
// the program loads (the same loaded copy), so the program's real loading path stays in use.

#include <QLibrary>
#include <QMutex>
#include <QMutexLocker>
#include <QStringList>
#include <QtGlobal>

#include <cstdint>
#include <string>
#include <vector>

struct TestDravikBackendScript
{
    // Set by the test.
    bool refuseAllocation = false;
    // Every download blocks for good, as a backend stuck in a call. A program that loads the
    // backend starts with it set when its environment has QLN_TEST_DRAVIK_HANG.
    bool hangDownloads = qEnvironmentVariableIsSet("QLN_TEST_DRAVIK_HANG");
    std::vector<bool> downloads;           // outcome of each download in turn; past the end: success
    std::vector<std::string> statusLines;  // sent through the status callback during each download
    uint64_t errorCode = 0;
    std::string errorText;
    std::string version = "4.2.1";

    // Recorded by the backend: one entry per call, "name(arguments)".
    QStringList calls;
    int liveObjects = 0;

    QMutex mutex;

    void reset()
    {
        QMutexLocker locker(&mutex);
        refuseAllocation = false;
        hangDownloads = false;
        downloads.clear();
        statusLines.clear();
        errorCode = 0;
        errorText.clear();
        version = "4.2.1";
        calls.clear();
        liveObjects = 0;
    }

    QStringList recordedCalls()
    {
        QMutexLocker locker(&mutex);
        return calls;
    }
};

extern "C" {
using TestDravikBackendControl = TestDravikBackendScript* (*)();
}

namespace TestDravikBackend {

// The script of the backend at `path` (loads it if needed); null when it cannot be loaded.
inline TestDravikBackendScript* script(const QString& path)
{
    QLibrary library(path);
    const auto control = reinterpret_cast<TestDravikBackendControl>(library.resolve("dravikTestBackend_script"));
    return control ? control() : nullptr;
}

} // namespace TestDravikBackend
