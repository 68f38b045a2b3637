#include "XvfbDisplay.h"

namespace {

const int kStartTimeoutMs = 20000;

} // namespace

XvfbDisplay::XvfbDisplay()
{
    startServer();
    if (m_error.isEmpty() && !m_bus.isValid())
        m_error = m_bus.error();
}

XvfbDisplay::~XvfbDisplay()
{
    m_server.stop();
}

void XvfbDisplay::startServer()
{
    // -displayfd: the server picks a free display number and prints it once it accepts clients,
    // so there is neither a race for a number nor a wait for the socket.
    m_server.start(QStringLiteral("Xvfb"),
                   {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"), QStringLiteral("0"),
                    QStringLiteral("%1x%2x24").arg(kWidth).arg(kHeight), QStringLiteral("-nolisten"),
                    QStringLiteral("tcp"), QStringLiteral("-noreset")});
    const QString number = m_server.firstLine(kStartTimeoutMs);
    if (number.isEmpty()) {
        m_error = QStringLiteral("Xvfb did not start (%1): %2")
                      .arg(m_server.errorString(), QString::fromLocal8Bit(m_server.readAllStandardError()).trimmed());
        return;
    }
    m_name = QLatin1Char(':') + number;
}

void XvfbDisplay::applyTo(QProcessEnvironment& environment) const
{
    environment.insert(QStringLiteral("DISPLAY"), m_name);
    m_bus.applyTo(environment);
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
