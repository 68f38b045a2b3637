#pragma once

// Asks an Android device in Main OS, over adb, whether it stores crash events whose logs were not
// uploaded yet: runs the device's "crashinfo" tool on a thread of its own and leaves a one-number
// verdict in storage that its creator provides. Created, started, waited for and deleted by
// checkPendingLogs (FlashDevice2::checkPendingLogs), one worker per check.

#include <QString>
#include <QStringList>
#include <QThread>

class DeviceAddress;
class DeviceAddress;
class DeviceScanner;
class FlashDevice2;

class FlashDeviceThreadWorker : public QThread
{
    Q_OBJECT

public:
    // What run() leaves in the verdict storage.
    enum Verdict {
        NotChecked = 0,          // no worker ran (checkPendingLogs only)
        AdbFailed = 1,           // an adb step failed, adb reported an error, or there is no crash tool
        RequestRefused = 2,      // the crash tool refused the request
        UnreadableEvent = 3,     // an answer line is not a crash event that can be read
        NoPendingLogs = 4,
        PendingLogs = 5,
    };

    // `address` names the device for adb. `verdict` belongs to the creator and must outlive the thread; `scanner` (may be null) is asked
    // to scan once the crash tool has answered.
    FlashDeviceThreadWorker(DeviceScanner* scanner, const DeviceAddress& address, int* verdict);

    // Runs a worker for `device` when it is in Main OS with a platform serial and returns its verdict;
    // NotChecked otherwise. Blocks until the worker has ended (up to the adb time-outs, 50 s).
    static int checkPendingLogs(FlashDevice2& device);

protected:
    // Writes the verdict exactly once, on every path.
    void run() override;

private:
    Verdict check() const;

    DeviceScanner* m_scanner;
    QStringList m_selector;   // adb's "-s" arguments for the device
    int* m_verdict;
};
