#pragma once

// Posts the desktop's notifications for the window: to the session's notification service, else
// as a message of the system tray icon when there is a tray; where there is a tray, its icon also
// carries the window's menu. The main window owns it; main thread only.

#include "platform/log/LoggedObject.h"
#include "platform/notifications/DesktopNotifications.h"

#include <QObject>
#include <QString>
#include <QSystemTrayIcon>

#include <memory>

class QMenu;

class SystemTrayNotifier : public QObject, public LoggedObject
{
    Q_OBJECT

public:
    // `menu` (not owned; null for none) becomes the tray icon's menu.
    SystemTrayNotifier(QMenu* menu, QObject* parent);
    ~SystemTrayNotifier() override;

public slots:
    // The icon chooses the notification's urgency. Reached by a queued call by name: the icon's
    // type is registered at start (registerUiMetaTypes).
    void postNotification(const QString& title, const QString& message, QSystemTrayIcon::MessageIcon icon);

private:
    void onServiceReply(bool answered, const QString& error, const QString& title, const QString& message,
                        QSystemTrayIcon::MessageIcon icon);

    DesktopNotifications m_desktopNotifications;
    std::unique_ptr<QSystemTrayIcon> m_trayIcon;   // null where the desktop has no tray
};
