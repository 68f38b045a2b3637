#pragma once

// The one top-level window of the desktop face: it wires the tabs, the log panel, the eight device
// views and the two managers, switches tabs, takes files dropped on the Flash button and asks the tabs before it
// closes. Start-up creates it without a parent and deletes it; main thread only.

#include "engine/FlashDevice2.h"
#include "model/FlashConfiguration.h"
#include "platform/log/LoggedObject.h"
#include "ui/TableLog.h"

#include <QList>
#include <QMainWindow>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <memory>

class DeviceItemModel;
class DeviceManager;
class FlashManager;
class FlashTab;
class QMessageBox;
class QPhoneWidget;
class QToolButton;
class SystemTrayNotifier;
class Ui_MainWindow;

class MainWindow : public QMainWindow, public LoggedObject
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // Null is ignored; a manager set before loses its connections with the window.
    void setFlashManager(FlashManager* manager);
    // Null is ignored; a manager set before loses its connections with the window and its views.
    // The devices the manager knows already are bound to views at once, in port order.
    void setDeviceManager(DeviceManager* manager);
    // Cuts every connection between the managers and the device views (the program is leaving).
    void detachDeviceViews();
    // Once, right after the window shows: button colours, the log pane's height, fonts.
    void initAppStyle();
    // Loads the flash file chosen last time into the flash tab, on the calling thread.
    void widgetFlashBasicReloadLatestFlashFile();
    // Re-fills the log panel with the history up to the log's current level.
    void refreshLog();

signals:
    void start_flash(FlashDevice2Ptr device, FlashConfigurationPtr configuration);
    void closing(int code);
    void displayNotifierTool(const QString& text, uint64_t durationMs);

public slots:
    // A flash's question or notice ("info", "warn", "question"); `answer`, when given, becomes
    // true when the user cancels the flash. Any other kind shows nothing and leaves the answer.
    void displayMessageBox(const QString& type, const QString& text, bool* answer = nullptr);
    // A device view's start request, queued.
    void prepareAndStartFlash(const FlashDevice2Ptr& device, const QString& flashFilePath);
    // Closes as an interrupt (SIGINT, SIGTERM, SIGHUP) asks: running flashes are stopped without a
    // question, as nobody may be there to answer it; a quit question already open is answered Yes.
    void closeOnInterrupt();
    // Asks whether to stop `device`'s flash because its battery is too low; Yes stops that flash only.
    void do_batteryTooLowWhenFlashFW(const FlashDevice2Ptr& device);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private slots:
    void on_actionAbout_triggered();
    void on_actionCheckForUpdate_triggered();
    void on_actionOptions_triggered();
    void on_actionDocumentation_triggered();
    void on_actionOptionsToolbar_triggered();
    void on_actionDocumentationToolbar_triggered();
    void on_toolButtonFlasher_clicked();
    void onFlashFileChanged(bool ready);
    void onDocumentationChanged();
    // True when on-demand mode was entered.
    bool startFlashingOnDemand();
    void stopFlashingOnDemand();
    void startFlashingMain();
    void stopFlashingMain();
    void updateLogLevel(int level);
    void onDeviceFound(const DevicePtr& device);
    void checkForUpdateInBackground();
    void on_pushButton_editLogClear_clicked();
    void on_pushButton_editLogSave_clicked();
    void on_pushButton_clearDisconnectedDevices_clicked();
    void do_update_ui();
    void setflashStartedInUI();
    void switchToFlashBasic();
    void handleSystemTrayNotification(Logger::LogLevel level, const QString& title, const QString& message);
    void triggerBreakpoint();

private:
    void fillLogLevelSelector();
    void createDeviceViews();
    void connectDeviceView(QPhoneWidget* view);
    void disconnectDeviceView(QPhoneWidget* view);
    void createUserFolders();
    void onTabSwitch(FlashTab* tab, QToolButton* button);
    static void setButtonChecked(bool checked, QToolButton* button);
    FlashTab* flashTab() const;
    // Asks the flash manager to flash `device` (queued); the manager's claim decides whether it runs.
    void startFlash(const FlashDevice2Ptr& device, const FlashConfigurationPtr& configuration);
    // Called right after start_flash: keeps the configuration's flash file alive until the manager
    // has taken the request (its runner then holds the file), then ends the view's wait.
    void followStartRequest(QPhoneWidget* waitingView, const FlashDevice2Ptr& device,
                            const FlashConfigurationPtr& configuration);
    // Blankphone start without on-demand: the one device there is, else a virtual device.
    void startBlankphone(const FlashConfigurationPtr& configuration, int deviceCount);
    void startFirstIdleDevice(const FlashConfigurationPtr& configuration);
    void startVirtualDevice(const FlashConfigurationPtr& configuration);
    void startEveryShownDevice(const FlashConfigurationPtr& configuration);
    static bool confirmFlashAllDevices();
    // Before a close while devices flash: true once the user agreed and the flashes were asked to
    // stop; false (the close is refused) on any other answer, or while on-demand flashes run.
    bool stopFlashesBeforeClose();
    bool isOnDemandConfigurationFlashing() const;
    static void warnOnDemandFlashesCannotStop();
    QPhoneWidget* viewOf(const FlashDevice2Ptr& device) const;

    // The window's state when F11 took it to full screen, to return to on the next F11.
    enum class StateBeforeFullScreen { Normal, Minimized, Maximized };

    std::unique_ptr<Ui_MainWindow> ui;
    FlashTab* m_currentTab = nullptr;
    QList<FlashTab*> m_tabs;
    QList<QPhoneWidget*> m_phoneWidgets;   // children of the window, in device area order
    FlashManager* m_flashManager = nullptr;
    DeviceManager* m_deviceManager = nullptr;
    DeviceItemModel* m_deviceItemModel = nullptr;   // a child of the window
    QTimer m_updateTimer;
    TableLog m_tableLog;
    QTimer m_dropHoverTimer;
    StateBeforeFullScreen m_stateBeforeFullScreen = StateBeforeFullScreen::Normal;
    SystemTrayNotifier* m_systemTrayNotifier = nullptr;   // a child of the window, deleted first
    // Set when a close is accepted: from then on nobody answers a flash's question.
    bool m_closeAccepted = false;
    bool m_closingOnInterrupt = false;
    QMessageBox* m_quitQuestion = nullptr;   // while the close asks whether to quit anyway
};
