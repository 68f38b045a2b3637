#pragma once

// The questions start-up asks the external tools (versions of the firmware downloader, dfu-util and
// adb; whether adb and fastboot run at all). Each waits on a program or a library of its own, so
// start() asks them all at once on threads of their own; the getters wait for their one answer,
// so the log prints them in its usual order.

#include <QString>

#include <future>

class StartupToolQueries
{
public:
    StartupToolQueries() = default;
    // Waits for the questions still running.
    ~StartupToolQueries() = default;

    StartupToolQueries(const StartupToolQueries&) = delete;
    StartupToolQueries& operator=(const StartupToolQueries&) = delete;

    void start();

    // Each answer once, after start().
    QString takeDravikVersion();
    QString takeDfuVersion();
    QString takeAdbVersion();
    bool takeAndroidSdkFound();

private:
    std::future<QString> m_dravikVersion;
    std::future<QString> m_dfuVersion;
    std::future<QString> m_adbVersion;
    std::future<bool> m_androidSdkFound;
};
