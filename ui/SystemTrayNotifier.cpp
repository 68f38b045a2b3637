#include "ui/SystemTrayNotifier.h"

#include "ui/UiResources.h"

#include <QCoreApplication>
#include <QMenu>

namespace {

NotificationUrgency urgencyOf(QSystemTrayIcon::MessageIcon icon)
{
    return icon == QSystemTrayIcon::Critical ? NotificationUrgency::Critical : NotificationUrgency::Normal;
}

} // namespace

SystemTrayNotifier::SystemTrayNotifier(QMenu* menu, QObject* parent)
    : QObject(parent)
{
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return;
    m_trayIcon = std::make_unique<QSystemTrayIcon>(UiResources::applicationIcon());
    m_trayIcon->setToolTip(QCoreApplication::applicationName());
    if (menu)
        m_trayIcon->setContextMenu(menu);
    m_trayIcon->show();
}

SystemTrayNotifier::~SystemTrayNotifier() = default;

void SystemTrayNotifier::postNotification(const QString& title, const QString& message,
                                          QSystemTrayIcon::MessageIcon icon)
{
    m_desktopNotifications.post(title, title, message, urgencyOf(icon),
                                [this, title, message, icon](bool answered, const QString& error) {
                                    onServiceReply(answered, error, title, message, icon);
                                });
}

void SystemTrayNotifier::onServiceReply(bool answered, const QString& error, const QString& title,
                                        const QString& message, QSystemTrayIcon::MessageIcon icon)
{
    if (answered)
        return;
    if (!m_trayIcon) {
        logMessage(Logger::DEBUG, QStringLiteral("No desktop notification shown (%1)").arg(error));
        return;
    }
    logMessage(Logger::DEBUG, QStringLiteral("Showing the notification at the tray icon (%1)").arg(error));
    m_trayIcon->showMessage(title, message, icon);
}
