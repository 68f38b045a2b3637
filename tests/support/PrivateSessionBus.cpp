#include "PrivateSessionBus.h"

#include <QFile>

namespace {

const int kStartTimeoutMs = 20000;

// A session bus with no services to start, where anyone may own any name.
const char kBusConfiguration[] = R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:tmpdir=%1</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";

// `path` as a value of a D-Bus address, where only [-0-9A-Za-z_/.\*] stand for themselves: a
// temporary folder named after the application ("Zorvik® ...") would stop the daemon.
QString addressValue(const QString& path)
{
    return QString::fromLatin1(path.toUtf8().toPercentEncoding("/\\*", "~"));
}

} // namespace

PrivateSessionBus::PrivateSessionBus()
{
    if (!m_folder.isValid()) {
        m_error = QStringLiteral("no temporary folder: %1").arg(m_folder.errorString());
        return;
    }
    QFile configuration(m_folder.filePath(QStringLiteral("bus.conf")));
    if (!configuration.open(QIODevice::WriteOnly)
        || configuration.write(QString::fromLatin1(kBusConfiguration).arg(addressValue(m_folder.path())).toUtf8()) < 0) {
        m_error = QStringLiteral("cannot write %1").arg(configuration.fileName());
        return;
    }
    configuration.close();
    m_daemon.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--config-file=") + configuration.fileName(), QStringLiteral("--nofork"),
                    QStringLiteral("--print-address=1")});
    m_address = m_daemon.firstLine(kStartTimeoutMs);
    if (m_address.isEmpty())
        m_error = QStringLiteral("dbus-daemon did not start (%1): %2")
                      .arg(m_daemon.errorString(), QString::fromLocal8Bit(m_daemon.readAllStandardError()).trimmed());
}

PrivateSessionBus::~PrivateSessionBus()
{
    m_daemon.stop();
}

void PrivateSessionBus::applyTo(QProcessEnvironment& environment) const
{
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_address);
}
