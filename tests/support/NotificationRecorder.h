#pragma once

// The fake notification service (qln_fake_notification_service) running on a session bus, and
// what it recorded: a test starts one on its private bus (PrivateSessionBus, or a desktop
// station's display bus) and reads the Notify calls that reached it. The service stops with it.
// Owned by the test; the thread that made it.

#include "RecordedNotification.h"
#include "TiedChildProcess.h"

#include <QList>
#include <QString>
#include <QTemporaryDir>

class NotificationRecorder
{
public:
    enum class Replies { Always, Never };

    // Starts the service on the bus at `busAddress` and waits until it owns its name; isValid()
    // says whether it does. With Replies::Never it records calls and answers none.
    explicit NotificationRecorder(const QString& busAddress, Replies replies = Replies::Always);
    ~NotificationRecorder();
    NotificationRecorder(const NotificationRecorder&) = delete;
    NotificationRecorder& operator=(const NotificationRecorder&) = delete;

    bool isValid() const { return m_error.isEmpty(); }
    // Why the service did not start; empty when it runs.
    QString error() const { return m_error; }
    QString recordFile() const { return m_folder.filePath(QStringLiteral("notifications.jsonl")); }
    // The calls recorded so far, read now.
    QList<RecordedNotification> notifications() const { return RecordedNotification::readAll(recordFile()); }

private:
    QTemporaryDir m_folder;
    TiedChildProcess m_service;
    QString m_error;
};
