#pragma once

// The adb work the backup and restore dialogs share, for one device in its main OS: short commands
// run at once, the long job (backup, restore, pull) run while the GUI thread keeps handling events,
// and the poll of the device's "sys.backup_status" property on a timer. Cancel ends whichever of
// the two waits is running. Owned by its dialog; GUI thread only.

#include "engine/FlashDevice2.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class ChildProcess;
class QEventLoop;
class QTimer;

class AdbDeviceJob : public QObject
{
    Q_OBJECT

public:
    // How a long job ended.
    enum class Outcome { Finished, NotStarted, Cancelled };

    explicit AdbDeviceJob(QObject* parent = nullptr);
    ~AdbDeviceJob() override;

    void setDevice(const FlashDevice2Ptr& device) { m_device = device; }
    const FlashDevice2Ptr& device() const { return m_device; }

    // "-s <serial>" and the arguments, run through FlashUtils::executeAdbCmd; the output, empty unless
    // adb answered with exit code 0 (a device gone, no longer in an adb state, a time-out).
    QString runShort(const QStringList& arguments, int timeoutMs, bool verbose) const;

    // The adb program quoted, then the arguments after "-s <serial>"; `quoted` arguments (indexes in
    // `arguments`) in double quotes. For the log only: the program gets the list.
    QString commandLine(const QStringList& arguments, const QList<int>& quoted) const;
    // The list handed to adb for a long job: "-s", the serial, then `arguments`.
    QStringList addressed(const QStringList& arguments) const;

    // Starts adb with addressed(arguments), calls `started` once it runs and waits for its end with
    // events; `output` gets what it printed (merged channels, cut at the first NUL, trimmed) and
    // `exitCode` its code (-1 when it was killed).
    Outcome runLong(const QStringList& arguments, const std::function<void()>& started, QString& output, int& exitCode);

    // Reads the status property until it is no longer "running": every intervalMs, at most limitMs
    // in all. An unanswered read, a device that left, the limit or a cancel end it as the empty
    // status; otherwise the last value read, trimmed and lower-cased.
    QString pollStatus(bool verbose);
    // Shortens the poll (tests).
    void setPollTiming(int intervalMs, int limitMs);

    bool isRunning() const;
    // True when the last long job or poll was ended by cancel().
    bool wasCancelled() const { return m_cancelled; }

public slots:
    // Ends the running long job (its whole process group) or poll.
    void cancel();

private:
    QString readStatus(bool verbose) const;

    FlashDevice2Ptr m_device;
    std::unique_ptr<ChildProcess> m_process;
    QEventLoop* m_loop = nullptr; // the wait in progress, if any
    bool m_cancelled = false;
    int m_pollIntervalMs = 2000;
    int m_pollLimitMs = 10 * 60 * 1000;
};
