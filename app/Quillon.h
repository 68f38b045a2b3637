#pragma once

// The application class: owns the long-lived managers of a run (the flash manager on a thread of
// its own, the device manager with its USB scanner and four filters, the command-line driver),
// wires them together, runs the start-up checks, starts scanning and the driver, passes SIGINT,
// SIGTERM and SIGHUP on to the driver, and is the one way out of the event loop (terminate). The
// program entry creates one and deletes it after the loop; the destructor releases the managers in
// the reverse order of their creation. Main thread only.

#include "app/StartupToolQueries.h"
#include "core/LoggerBridge.h"
#include "platform/log/LoggedObject.h"

#include <QObject>
#include <QString>
#include <QThread>

class Cli;
class DeviceManager;
class InterruptNotifier;
class FlashManager;
class UsbChangeWatcher;
class UsbDeviceScanner;

class Quillon : public QObject, public LoggedObject
{
    Q_OBJECT

public:
    // Built at program load with the version, the build time and the log level range filled in;
    // ends with a newline.
    static const QString help_message;

    Quillon();
    ~Quillon() override;

    // Builds the command-line face and starts it: 0 when the driver now waits for its devices,
    // else the driver's code after terminate() (1: nothing more to do).
    int init();
    // Start-up log block: program, downloader, DFU and adb versions, host, SSL, paths.
    void printInitialisationLogs();

    // True when the run ended without a flash thread that would not stop: the program must then
    // leave without this object's destructor, which would wait for that thread.
    bool hasAbandonedFlashes() const;
    // Handles the ends of flashes queued to the flash manager's thread (result files, statistics).
    void settleFlashEnds();

public slots:
    // Stops scanning, cuts the managers off from the driver and asks the event loop to end with
    // `code`; returns `code`. Runs again harmlessly (and silently).
    int terminate(int code);

private:
    // Opens the application log file when the settings ask for one.
    void startLogFile();
    void createFlashManager();
    void createDeviceManager();

    QThread m_flashManagerThread;
    DeviceManager* m_deviceManager = nullptr;
    FlashManager* m_flashManager = nullptr;
    LoggerBridge m_logBridge;
    UsbDeviceScanner* m_usbScanner = nullptr;   // owned by the device manager
    UsbChangeWatcher* m_usbChangeWatcher = nullptr; // wakes m_usbScanner; goes before it
    Cli* m_cliDriver = nullptr;
    StartupToolQueries m_toolQueries;
    InterruptNotifier* m_interrupts = nullptr;  // child of this object
    bool m_terminated = false;
};
