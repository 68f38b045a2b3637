#pragma once

// Wakes a scanner when the USB tree changes, so a device plugged in is seen at once rather than at
// the next periodic scan. On the kernel's tree it listens to the kernel's USB uevents (a netlink
// socket); on another tree (the simulator's) it watches the tree's folder, whose entries change
// whenever a device comes, goes or enumerates anew. A burst of events (one device sends several)
// gives one scan once the burst is over. Lives on a thread with an event loop.

#include <QObject>
#include <QTimer>

class DeviceScanner;
class QFileSystemWatcher;
class QSocketNotifier;

class UsbChangeWatcher : public QObject
{
    Q_OBJECT

public:
    // `root`: the tree `scanner` reads (SysfsUsbReader::defaultRoot() when empty). The scanner
    // must outlive the watcher.
    UsbChangeWatcher(DeviceScanner* scanner, const QString& root, QObject* parent = nullptr);
    ~UsbChangeWatcher() override;

    // False when neither the uevents nor the folder could be watched: only the periodic scans
    // see changes then.
    bool isWatching() const;

private:
    bool listenToKernel();
    void readKernelEvents();
    void changed();

    DeviceScanner* const m_scanner;
    QTimer m_settle;                         // the end of a burst
    int m_socket = -1;
    QSocketNotifier* m_notifier = nullptr;
    QFileSystemWatcher* m_folderWatcher = nullptr;
};
