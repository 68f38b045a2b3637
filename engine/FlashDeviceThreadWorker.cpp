#include "engine/FlashDeviceThreadWorker.h"

#include "core/DeviceAddress.h"
#include "core/FlashUtils.h"
#include "engine/FlashDevice2.h"
#include "platform/device/DeviceScanner.h"
#include "platform/json/JsonObject.h"

#include <QEventLoop>
#include <QRegularExpression>

namespace {

constexpr int kRootTimeoutMs = 10000;
constexpr int kWaitForDeviceTimeoutMs = 30000;
constexpr int kCrashToolTimeoutMs = 10000;
constexpr uint64_t kMainOsWaitMs = 500;

// One adb command for the device; true when it ran and exited with 0.
bool runAdb(const QStringList& selector, const QStringList& arguments, int timeoutMs, QString& output)
{
    bool success = false;
    FlashUtils::executeAdbCmd(selector + arguments, timeoutMs, true, &success, output);
    return success;
}

} // namespace

FlashDeviceThreadWorker::FlashDeviceThreadWorker(DeviceScanner* scanner, const DeviceAddress& address,
                                                 int* verdict)
    : m_scanner(scanner)
    , m_selector(address.adbSelector())
    , m_verdict(verdict)
{
}

void FlashDeviceThreadWorker::run()
{
    *m_verdict = check();
}

FlashDeviceThreadWorker::Verdict FlashDeviceThreadWorker::check() const
{
    QString output;
    if (!runAdb(m_selector, {QStringLiteral("root")}, kRootTimeoutMs, output)
        || output.contains(QLatin1String("error"), Qt::CaseInsensitive))
        return AdbFailed;
    if (!runAdb(m_selector, {QStringLiteral("wait-for-device")}, kWaitForDeviceTimeoutMs, output))
        return AdbFailed;
    const QStringList getEvent{QStringLiteral("shell"), QStringLiteral("crashinfo"),
                               QStringLiteral("getevent"), QStringLiteral("--full"),
                               QStringLiteral("-j")};
    if (!runAdb(m_selector, getEvent, kCrashToolTimeoutMs, output)
        || output.contains(QLatin1String("/system/bin/sh: crashinfo: not found")))
        return AdbFailed;
    if (output.contains(QLatin1String("checkArgs failed"))
        || output.contains(QLatin1String("usage: crashinfo getevent")))
        return RequestRefused;
    // The root and wait steps may have restarted adbd: let the library see the device again.
    if (m_scanner)
        m_scanner->scan();

    // One crash event per line, as a JSON object.
    const QStringList lines = output.split(QRegularExpression(QStringLiteral("[\r\n]+")), Qt::SkipEmptyParts);
    for (const QString& line : lines) {
        JsonObject event;
        if (!event.loadMemory(line.toUtf8()))
            return UnreadableEvent;
        int uploaded = 0;
        int logsUploaded = 0;
        QString crashDir;
        if (event.getInt32(QStringLiteral("uploaded"), uploaded) != JsonObject::Found
            || event.getInt32(QStringLiteral("logsuploaded"), logsUploaded) != JsonObject::Found
            || event.getString(QStringLiteral("crashdir"), crashDir) != JsonObject::Found)
            return UnreadableEvent;
        switch (uploaded) {
        case -1:
            break;
        case 0:
            return PendingLogs;
        case 1:
            if (logsUploaded == 0 && !crashDir.isEmpty())
                return PendingLogs;
            break;
        default:
            return UnreadableEvent;
        }
    }
    return NoPendingLogs;
}

int FlashDeviceThreadWorker::checkPendingLogs(FlashDevice2& device)
{
    const QString serial = device.getPlatformSerial();
    if (serial.isEmpty() || device.getState() != DeviceState::MainOs)
        return NotChecked;

    int verdict = NotChecked;
    {
        FlashDeviceThreadWorker worker(device.getScanner(),
                                       DeviceAddress(serial, device.getPort().getConnectionType()), &verdict);
        QEventLoop loop;
        connect(&worker, &QThread::finished, &loop, &QEventLoop::quit);
        worker.start(QThread::InheritPriority);
        // The caller's events go on while the worker runs. A worker that ended before the loop
        // starts has nothing left to wait for.
        if (!worker.isFinished())
            loop.exec();
        // finished() comes just before the thread ends: a QThread destroyed while it still runs
        // aborts the program, so this wait has no limit.
        worker.wait();
    }

    // adb root restarts the device's adb daemon: give the library a moment to see it in Main OS again.
    if (device.getState() != DeviceState::MainOs) {
        if (DeviceScanner* scanner = device.getScanner())
            scanner->scan();
        device.waitForDevice(DeviceState::MainOs, kMainOsWaitMs);
    }
    return verdict;
}
