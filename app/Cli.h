#pragma once

// The driver of the command-line face: parses the options and arms the global time-out (init),
// loads the flash file and prepares the configuration (start), then flashes exactly one device,
// the first that its matching takes (--vid/--pid, else --dnx-sn/--os-sn, else any device not in the
// wrong DnX state), watches the device-detection time-out and turns the end of the run into the
// exit code it emits, once, with finished(int); an interrupt (SIGINT, SIGTERM, SIGHUP) ends the run
// as the global time-out does. Created and owned by the application class; lives on the main thread.

#include "app/ArgParser.h"
#include "core/DeadlineTimer.h"
#include "core/FlashTypes.h"
#include "engine/FlashDevice2.h"
#include "model/FlashConfiguration.h"
#include "platform/device/Device.h"
#include "platform/log/LoggedObject.h"

#include <QObject>
#include <QSharedPointer>
#include <QStringList>
#include <QTimer>

#include <memory>

class ChildProcess;
class DeviceManager;
class FlashFileManager;
class FlashManager;

class Cli : public QObject, public LoggedObject
{
    Q_OBJECT

public:
    // Neither manager is owned; both outlive the driver.
    Cli(FlashManager* flashManager, DeviceManager* deviceManager);
    ~Cli() override;

    // Parses the application's arguments and arms the global time-out: 0 to go on, 1 when the usage
    // text was shown (nothing to do), else the parser's error code.
    int init();
    // Loads the flash file (or builds the clean-eMMC configuration), prepares the configuration and
    // offers the connected devices: 0 when the driver now waits for its flash, 1 when there is
    // nothing more to do (--skip-flash), else the error code to end the program with.
    int start();

    // The exit code of a flash that ended with `status`, failed (or stopped) in a command of `type`.
    static int exitCodeOf(FlashTypes::FlashStatus status, FlashTypes::CommandType type);

signals:
    // The exit code of the run; emitted once.
    void finished(int code);
    // Offers one connected device to the matching (delivered directly).
    void startFlash(const DevicePtr& device);

public slots:
    void do_startFlash(const DevicePtr& device);
    // The first interrupt stops the run (exit code 36) like the global time-out; one more while it
    // stops ends it at once, without waiting for the flash.
    void do_interrupt(int signal);
    void flashFinished(FlashDevice2Ptr device, FlashTypes::FlashStatus status, FlashTypes::CommandType type);

private slots:
    void do_startFlashOfConnectedDevices();
    void doAdbRebootProcessFinished(int exitCode);
    void doFastbootRebootProcessFinished(int exitCode);
    void do_cliTimeout();
    void do_deviceDetectionTimeout();
    void do_stopGraceExpired();

private:
    // The configuration starts in DnX firmware: reboot the connected devices as --reboot says,
    // then queue the flash on a virtual device that stands for the first board that shows up.
    void rebootConnectedDevices();
    void startOnVirtualDevice();
    // Starts the run's one flash on `device` once this process has claimed it (a device another
    // instance claimed is left alone, and the run waits on for the next): logs `startText`, then
    // the flash manager reboots the device into the start state and flashes it, on its own thread.
    void requestFlash(const FlashDevice2Ptr& device, const QString& context, const QString& startText);
    void runRebootCommand(std::unique_ptr<ChildProcess>& process, bool fastboot, const QStringList& arguments);
    // Ends the run with `code` unless an outcome is settled already. An unpacking in progress is
    // stopped; a flash that still runs is stopped first, and finished(int) waits for its end.
    void finish(int code);
    // Ends the run now: a flash that has not reported its end is recorded as interrupted and left
    // to its thread.
    void leaveFlashBehind();
    void emitFinished();

    FlashManager* m_flashManager;
    DeviceManager* m_deviceManager;
    QSharedPointer<FlashFileManager> m_flashFile;
    FlashConfigurationPtr m_configuration;
    ArgParser::Options m_options;
    bool m_flashStarted = false;
    bool m_flashEnded = false;
    int m_exitCode = -1;                     // the run's outcome once settled
    bool m_finishedEmitted = false;
    std::unique_ptr<ChildProcess> m_adbRebootProcess;
    std::unique_ptr<ChildProcess> m_fastbootRebootProcess;
    DeadlineTimer m_cliTimer;
    DeadlineTimer m_deviceDetectionTimer;
    QTimer m_stopTimer;                      // grace for a stopped flash to report its end
};
