#pragma once

// The application class: owns the long-lived managers of a run (the flash manager on a thread of
// its own, the device manager with its USB scanner and four filters) and the face that drives them
// (the main window with its splash screen, or the command-line driver), wires them together, runs
// the start-up checks, starts scanning, passes SIGINT, SIGTERM and SIGHUP on to the face, and is the
// one way out of the event loop (terminate). The program entry creates one and deletes it after the
// loop; the destructor takes the face down first, then the flash manager's thread, then the
// managers. Main thread only.

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
class MainWindow;
class QSplashScreen;
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

    // Builds the desktop face (`gui`) or the command-line face and starts it. 0 when the window
    // shows or the driver now waits for its devices, else the driver's code after terminate()
    // (1: nothing more to do).
    int init(bool gui);
    // Start-up log block: program, downloader, DFU and adb versions, host, SSL, paths.
    void printInitialisationLogs();

    // True when the run ended without a flash thread that would not stop: the program must then
    // leave without this object's destructor, which would wait for that thread.
    bool hasAbandonedFlashes() const;
    // Handles the ends of flashes queued to the flash manager's thread (result files, statistics).
    void settleFlashEnds();

public slots:
    // Stops scanning, cuts the managers off from the face, stops the desktop's running flashes and
    // asks the event loop to end with `code`; returns `code`. Runs again harmlessly (and silently).
    int terminate(int code);

private:
    void showSplashScreen();
    // Shows `text` on the splash screen, when there is one.
    void logSplashMessage(const QString& text);
    // The window's part of start-up once both managers exist; it shows at the end of init.
    void attachMainWindow();
    void showMainWindow();
    // Creates the driver and runs its init(): 0 when it goes on.
    int initCommandLineDriver();

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
    MainWindow* m_mainWindow = nullptr;
    Cli* m_cliDriver = nullptr;
    QSplashScreen* m_splashScreen = nullptr;
    StartupToolQueries m_toolQueries;
    InterruptNotifier* m_interrupts = nullptr;  // child of this object
    bool m_terminated = false;
};
