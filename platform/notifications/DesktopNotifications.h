#pragma once

// Posts desktop notifications to the notification service of the session bus
// (org.freedesktop.Notifications). Each call is asynchronous and bounded in time: a bus or a
// service that is absent, fails or stays silent is reported as not answered, never waited for
// without end. Owned by its caller; used on the thread it lives on, which runs an event loop.

#include <QObject>
#include <QString>

#include <functional>

// The notification's "urgency" hint, a byte on the bus.
enum class NotificationUrgency : unsigned char { Low = 0, Normal = 1, Critical = 2 };

class DesktopNotifications : public QObject
{
    Q_OBJECT

public:
    static constexpr int kDefaultReplyTimeoutMs = 5000;

    // `onReply(answered, error)`: answered when the service returned the notification's id; else
    // `error` says why (no bus, no service, the service's error, no reply in time).
    using ReplyHandler = std::function<void(bool answered, const QString& error)>;

    explicit DesktopNotifications(int replyTimeoutMs = kDefaultReplyTimeoutMs, QObject* parent = nullptr);

    // Posts one notification that never expires by itself and offers no actions. `onReply` runs
    // once, on this object's thread, never after this object is gone; without a bus it runs before
    // post() returns.
    void post(const QString& appName, const QString& summary, const QString& body, NotificationUrgency urgency,
              const ReplyHandler& onReply);

private:
    int m_replyTimeoutMs;
};
