#include "XvfbDisplay.h"

#include <QDeadlineTimer>
#include <QFile>

namespace {

const int kStartTimeoutMs = 20000;

// A session bus with no services to start: nothing of the host's desktop answers on it, and a test
// may own any name to stand in for a service.
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

QString failureOf(const QString& what, ChildProcess& process)
{
    return QStringLiteral("%1 did not start (%2): %3")
        .arg(what, process.errorString(), QString::fromLocal8Bit(process.readAllStandardError()).trimmed());
}

}

XvfbDisplay::XvfbDisplay()
{
    if (!m_folder.isValid())
        m_error = QStringLiteral("no temporary folder: %1").arg(m_folder.errorString());
    else if (startServer())
        startBus();
}

XvfbDisplay::~XvfbDisplay()
{
    stop(m_bus);
    stop(m_server);
}

void XvfbDisplay::stop(ChildProcess& process)
{
    // Asked politely, the server removes its socket and lock file; killed, it would leave them.
    process.terminate();
    if (!process.waitForFinished(5000))
        process.killGroup();
}

bool XvfbDisplay::startServer()
{
    // -displayfd: the server picks a free display number and prints it once it accepts clients,
    // so there is neither a race for a number nor a wait for the socket.
    m_server.start(QStringLiteral("Xvfb"),
                   {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"), QStringLiteral("0"),
                    QStringLiteral("%1x%2x24").arg(kWidth).arg(kHeight), QStringLiteral("-nolisten"),
                    QStringLiteral("tcp"), QStringLiteral("-noreset")});
    const QString number = firstLine(m_server, kStartTimeoutMs);
    if (number.isEmpty()) {
        m_error = failureOf(QStringLiteral("Xvfb"), m_server);
        return false;
    }
    m_name = QLatin1Char(':') + number;
    return true;
}

bool XvfbDisplay::startBus()
{
    QFile configuration(m_folder.filePath(QStringLiteral("bus.conf")));
    if (!configuration.open(QIODevice::WriteOnly)
        || configuration.write(QString::fromLatin1(kBusConfiguration).arg(m_folder.path()).toUtf8()) < 0) {
        m_error = QStringLiteral("cannot write %1").arg(configuration.fileName());
        return false;
    }
    configuration.close();
    m_bus.start(QStringLiteral("dbus-daemon"),
                {QStringLiteral("--config-file=") + configuration.fileName(), QStringLiteral("--nofork"),
                 QStringLiteral("--print-address=1")});
    m_busAddress = firstLine(m_bus, kStartTimeoutMs);
    if (m_busAddress.isEmpty()) {
        m_error = failureOf(QStringLiteral("dbus-daemon"), m_bus);
        return false;
    }
    return true;
}

QString XvfbDisplay::firstLine(ChildProcess& process, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    if (!process.waitForStarted(timeoutMs))
        return QString();
    while (!process.canReadLine()) {
        if (process.state() == QProcess::NotRunning || deadline.hasExpired())
            return QString();
        process.waitForReadyRead(int(deadline.remainingTime()));
    }
    return QString::fromLocal8Bit(process.readLine()).trimmed();
}

void XvfbDisplay::applyTo(QProcessEnvironment& environment) const
{
    environment.insert(QStringLiteral("DISPLAY"), m_name);
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_busAddress);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    // The server checks no cookies: the host's have no business here.
    environment.remove(QStringLiteral("XAUTHORITY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    // In a sanitizer build: libxkbcommon-x11 strndup()s a keymap name from a reply that is not
    // NUL-terminated, within its bound; ASan's strict string checks read past the bound and
    // report the X keyboard set-up of every window. The later option wins.
    const QString asan = environment.value(QStringLiteral("ASAN_OPTIONS"));
    if (!asan.isEmpty())
        environment.insert(QStringLiteral("ASAN_OPTIONS"), asan + QStringLiteral(":strict_string_checks=0"));
}

QProcessEnvironment XvfbDisplay::environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    applyTo(environment);
    return environment;
}
