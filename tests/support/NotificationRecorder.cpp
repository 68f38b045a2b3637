#include "NotificationRecorder.h"

#include <QProcessEnvironment>

namespace {

const int kStartTimeoutMs = 20000;

} // namespace

NotificationRecorder::NotificationRecorder(const QString& busAddress, Replies replies)
{
    if (!m_folder.isValid()) {
        m_error = QStringLiteral("no temporary folder: %1").arg(m_folder.errorString());
        return;
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), busAddress);
    m_service.setProcessEnvironment(environment);
    QStringList arguments{recordFile()};
    if (replies == Replies::Never)
        arguments << QStringLiteral("--never-reply");
    m_service.start(QStringLiteral(QLN_FAKE_NOTIFICATION_SERVICE), arguments);
    if (m_service.firstLine(kStartTimeoutMs) != QLatin1String("ready"))
        m_error = QStringLiteral("the fake notification service did not start (%1): %2")
                      .arg(m_service.errorString(), QString::fromLocal8Bit(m_service.readAllStandardError()).trimmed());
}

NotificationRecorder::~NotificationRecorder()
{
    m_service.stop();
}
