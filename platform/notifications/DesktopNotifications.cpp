#include "platform/notifications/DesktopNotifications.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
const char kSessionBusVariable[] = "DBUS_SESSION_BUS_ADDRESS";
const int kNeverExpires = -1;   // the service's "expire_timeout": 0 would be its own default

// The session bus that the environment names now. Qt's shared session connection is made once,
// at its first use: a bus started (or gone) after that would never be seen. Without the variable,
// the platform's own discovery finds the bus.
QDBusConnection sessionBus()
{
    const QString address = qEnvironmentVariable(kSessionBusVariable);
    if (address.isEmpty())
        return QDBusConnection::sessionBus();
    const QString name = QStringLiteral("qln-notifications ") + address;
    QDBusConnection bus = QDBusConnection::connectToBus(address, name);
    if (!bus.isConnected())
        QDBusConnection::disconnectFromBus(name);   // the next notification tries again
    return bus;
}

QString busFailure(const QDBusConnection& bus)
{
    const QString reason = bus.lastError().message();
    const QString address = qEnvironmentVariable(kSessionBusVariable);
    return QStringLiteral("no session bus at \"%1\"%2")
        .arg(address.isEmpty() ? QStringLiteral("(default)") : address,
             reason.isEmpty() ? QString() : QStringLiteral(": ") + reason);
}

} // namespace

DesktopNotifications::DesktopNotifications(int replyTimeoutMs, QObject* parent)
    : QObject(parent)
    , m_replyTimeoutMs(replyTimeoutMs)
{
}

void DesktopNotifications::post(const QString& appName, const QString& summary, const QString& body,
                                NotificationUrgency urgency, const ReplyHandler& onReply)
{
    QDBusConnection bus = sessionBus();
    if (!bus.isConnected()) {
        onReply(false, busFailure(bus));
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    const QVariantMap hints{{QStringLiteral("urgency"), QVariant::fromValue(uchar(urgency))}};
    call << appName << uint(0) << QString() << summary << body << QStringList() << hints << kNeverExpires;
    // The watcher is a child and the handler's context is this object: a reply that comes after
    // this object has gone reaches nobody.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, m_replyTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [onReply](QDBusPendingCallWatcher* finished) {
        const QDBusPendingReply<uint> reply = *finished;
        finished->deleteLater();
        if (reply.isError())
            onReply(false, QStringLiteral("%1: %2").arg(reply.error().name(), reply.error().message()));
        else
            onReply(true, QString());
    });
}
