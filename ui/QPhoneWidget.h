#pragma once

// One row of the main window's device area: the view of one detected device (names, state,
// battery, port, serials), its start/stop button, a drop target for flash files and the status
// row of its flash. The window creates eight, binds devices to them and feeds them the flash
// manager's signals; a view that loses its device keeps the serials and port it saw, so the
// window can give the row back when the device returns. GUI thread.

#include "core/FlashTypes.h"
#include "engine/FlashDevice2.h"
#include "platform/log/LoggedObject.h"
#include "ui/FlashStatusRow.h"

#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <memory>

class AndroidDevicePropertyManager;
class DialogBackup;
class DialogRestore;
class QMenu;
class Ui_QPhoneWidget;

class QPhoneWidget : public QWidget, public LoggedObject
{
    Q_OBJECT

public:
    explicit QPhoneWidget(QWidget* parent = nullptr, const FlashDevice2Ptr& device = FlashDevice2Ptr());
    ~QPhoneWidget() override;

    const FlashDevice2Ptr& getDevice() const { return m_device; }
    // The last non-empty serials and the port seen on a device, kept after it went.
    const QString& getSocSerial() const { return m_socSerial; }
    const QString& getPlatformSerial() const { return m_platformSerial; }
    const PortNumber& getPort() const { return m_port; }
    // No device, or a device that reports not connected.
    bool isDisconnected() const;
    void setDeviceVisible(bool visible);
    // The disconnected look; serials, names, tool tip and status row stay.
    void setDisconnected(bool disconnected);
    // The Backup / Restore menu, its entries enabled by the device's state.
    std::unique_ptr<QMenu> createContextMenu() const;

signals:
    void start_flash(FlashDevice2Ptr device, QString flashFilePath);
    void stop_flash(FlashDevice2Ptr device);

public slots:
    // Hides QWidget::update: repaints, then refreshes every part from the device.
    void update();
    void setDevice(const FlashDevice2Ptr& device);
    void setFlashButtonEnabled(bool enabled);
    // A start of the view's device is on its way to the flash manager: "Please wait..." shows
    // until the manager has decided (its flashStarted or flashFinished, or the window's word).
    void setStartRequested(bool requested);
    // Clears the status row unless the view's device is flashing.
    void clearFlashStatus();
    // Releases the device when it is the view's own and not busy.
    void deviceLost(const DevicePtr& device);
    void showContextMenu();
    void backupDevice();
    void restoreDevice();

    // The flash manager's signals of every device; each keeps only the view's own.
    void onFlashStarted(const FlashDevice2Ptr& device);
    void onFlashProgressed(const FlashDevice2Ptr& device, uint64_t done, uint64_t total);
    void onFlashFinished(const FlashDevice2Ptr& device, FlashTypes::FlashStatus status,
                         FlashTypes::CommandType type);
    void onFlashInfo(const FlashDevice2Ptr& device, const QString& text);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private slots:
    void do_start_flash();
    void do_stop_flash();
    void updateIconAndserial();
    void updateBatt();
    void updateStartStopButton();
    void updateSpid();
    void updateProperties();

private:
    void clearFlashStatus(bool clear);
    // Has the device's property reader read it again; its answers show at the next refresh tick.
    void requestPropertyRefresh();
    void setBattIcon(int level);
    void showUnknownBattery();
    void showConnected(const PortNumber& port);
    void updateToolTip();
    // True when the view shows this very device.
    bool isOwnDevice(const FlashDevice2Ptr& device) const;
    void disconnectDevice();
    // The device's Android property reader, looked up under its read lock; null when none.
    AndroidDevicePropertyManager* findPropertyManager() const;
    // True when the backup and restore entries may be used now.
    bool isBackupPossible() const;
    bool isInMainOs(const char* refusal) const;

    std::unique_ptr<Ui_QPhoneWidget> m_ui;
    std::unique_ptr<FlashStatusRow> m_statusRow;
    FlashDevice2Ptr m_device;
    bool m_flashButtonEnabled = true;
    bool m_startRequested = false;   // the view's own: the device's flash state is the manager's
    QTimer m_refreshTimer;
    QString m_socSerial;
    QString m_platformSerial;
    PortNumber m_port;
    QString m_spidInfo;      // "Vendor: …\nProduct: …"
    QString m_properties;    // "\nkey: value" per Android property the device gives
    // Made on first use, without parent, and kept for the next request.
    std::unique_ptr<DialogBackup> m_backupDialog;
    std::unique_ptr<DialogRestore> m_restoreDialog;
};
