#pragma once

// Finds devices on a thread of its own: every scan interval, or at once when asked, it collects
// the scan records of its devices through its filters and hands them to the device manager, which
// updates the devices on this same thread. Owns its filters; the device manager owns the scanner.
// The control functions may be called from any thread.

#include "platform/device/DeviceFilter.h"
#include "platform/log/LoggedObject.h"

#include <QList>
#include <QMutex>
#include <QObject>
#include <QWaitCondition>

class DeviceManager;
class QThread;

class DeviceScanner : public QObject, public LoggedObject
{
    Q_OBJECT

public:
    explicit DeviceScanner(const QString& name);
    // Stops scanning and deletes the filters.
    ~DeviceScanner() override;

    // The scanner owns `filter`; filters are asked in the order they were added.
    void addFilter(DeviceFilter* filter);
    void setScanInterval(unsigned long long intervalMs);
    unsigned long long getScanInterval() const;

    // Starts the scanning thread (its first scan runs at once and counts as asked for, so a
    // waitForScan right after waits for it); nothing when it runs already.
    void startScan();
    // Ends the scanning thread after the scan in progress, and waits for it unless called from it.
    void stopScan();
    bool isScanning() const;

    // Asks for a scan now, without waiting for it; that scan probes every device anew (a flash
    // asks so when a device may have changed without showing it on USB).
    void scan();
    // Asks for a scan now that keeps what each device's enumeration told (the USB tree changed).
    void requestScan();
    // Waits until the scans asked for before the call are complete; true when they are. A scanner
    // that is not running scans once on the calling thread. Above 2147483647 ms: no limit.
    bool waitForScan(unsigned long long timeoutMs);

protected:
    // Collects the records of one scan. Blocked ports of `context` are neither probed nor reported.
    virtual void collect(const QList<DeviceFilter*>& filters, const DeviceFilter::ScanContext& context,
                         QList<DummyDevice>& found) = 0;

private:
    friend class DeviceManager;
    void setManager(DeviceManager* manager);
    void run();
    void scanOnce(bool isFresh);
    // Whether a scan was asked for since the last scan began; clears it (the caller holds m_mutex).
    bool takeFreshRequest();

    QList<DeviceFilter*> m_filters;          // set before startScan, read by the scanning thread
    DeviceManager* m_manager = nullptr;

    mutable QMutex m_mutex;                  // guards what follows
    QWaitCondition m_wake;                   // scan asked for, or stop
    QWaitCondition m_scanDone;
    unsigned long long m_intervalMs = 2000;
    unsigned long long m_requested = 0;      // scans asked for
    unsigned long long m_completed = 0;      // scans asked for that have completed
    bool m_freshRequested = false;           // scan() since the last scan began
    bool m_stopRequested = false;
    QThread* m_thread = nullptr;

    QMutex m_scanMutex;                      // one scan at a time
};
