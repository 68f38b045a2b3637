#include "DesktopRobot.h"

#include "TiedChildProcess.h"

#include <QDeadlineTimer>
#include <QImage>
#include <QMap>

namespace {

const int kToolTimeoutMs = 10000;

}

DesktopRobot::DesktopRobot(const QProcessEnvironment& display)
    : m_display(display)
{
}

ScreenShot DesktopRobot::screenshot() const
{
    QByteArray png;
    if (!runTool(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"), QStringLiteral("png:-")},
                 kToolTimeoutMs, &png))
        return ScreenShot();
    const QImage image = QImage::fromData(png, "PNG");
    if (image.isNull())
        m_error = QStringLiteral("import gave no PNG picture (%1 bytes)").arg(png.size());
    return ScreenShot(image);
}

ScreenShot DesktopRobot::waitForShot(const std::function<bool(const ScreenShot&)>& condition, int timeoutMs) const
{
    // A shot takes tens of milliseconds: back to back, they poll often enough without a pause.
    const QDeadlineTimer deadline(timeoutMs);
    ScreenShot shot = screenshot();
    while ((shot.isNull() || !condition(shot)) && !deadline.hasExpired())
        shot = screenshot();
    return shot;
}

QString DesktopRobot::waitForWindow(const QString& title, int timeoutMs) const
{
    // --sync searches until a window shows; the tool's time-out bounds it.
    QByteArray found;
    if (!runTool(QStringLiteral("xdotool"),
                 {QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--onlyvisible"),
                  QStringLiteral("--name"), QStringLiteral("^%1$").arg(title)},
                 timeoutMs, &found))
        return QString();
    return QString::fromLatin1(found).split(QLatin1Char('\n'), Qt::SkipEmptyParts).value(0);
}

QRect DesktopRobot::windowGeometry(const QString& window) const
{
    // "X=238\nY=184\nWIDTH=548\nHEIGHT=400\nSCREEN=0" and the window's id.
    QByteArray shell;
    if (!runTool(QStringLiteral("xdotool"), {QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), window},
                 kToolTimeoutMs, &shell))
        return QRect();
    QMap<QString, int> values;
    for (const QString& line : QString::fromLatin1(shell).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        values.insert(line.section(QLatin1Char('='), 0, 0), line.section(QLatin1Char('='), 1).toInt());
    const QRect geometry(values.value(QStringLiteral("X")), values.value(QStringLiteral("Y")),
                         values.value(QStringLiteral("WIDTH")), values.value(QStringLiteral("HEIGHT")));
    if (geometry.isEmpty())
        m_error = QStringLiteral("no geometry for window %1: %2").arg(window, QString::fromLatin1(shell));
    return geometry;
}

bool DesktopRobot::click(const QPoint& point) const
{
    return runTool(QStringLiteral("xdotool"),
                   {QStringLiteral("mousemove"), QStringLiteral("--sync"), QString::number(point.x()),
                    QString::number(point.y()), QStringLiteral("click"), QStringLiteral("1")},
                   kToolTimeoutMs);
}

bool DesktopRobot::pressKeys(const QString& window, const QStringList& keys) const
{
    // Without a window manager nobody gives a window the focus: the robot does, as a click would.
    return runTool(QStringLiteral("xdotool"),
                   QStringList{QStringLiteral("windowfocus"), QStringLiteral("--sync"), window, QStringLiteral("key")}
                       + keys,
                   kToolTimeoutMs);
}

bool DesktopRobot::closeWindow(const QString& window) const
{
    return runTool(QStringLiteral(QLN_PYTHON3), {QStringLiteral(QLN_CLOSE_WINDOW_SCRIPT), window}, kToolTimeoutMs);
}

bool DesktopRobot::runTool(const QString& program, const QStringList& arguments, int timeoutMs,
                           QByteArray* output) const
{
    TiedChildProcess process;
    process.setProcessEnvironment(m_display);
    process.start(program, arguments);
    const QString command = program + QLatin1Char(' ') + arguments.join(QLatin1Char(' '));
    if (!process.waitForStarted(timeoutMs)) {
        m_error = QStringLiteral("cannot start %1: %2").arg(command, process.errorString());
        return false;
    }
    if (!process.waitForFinished(timeoutMs)) {
        m_error = QStringLiteral("%1 still running after %2 ms").arg(command).arg(timeoutMs);
        return false;   // the destructor kills its group
    }
    if (output)
        *output = process.readAllStandardOutput();
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        m_error = QStringLiteral("%1 failed (exit code %2): %3")
                      .arg(command)
                      .arg(process.exitCode())
                      .arg(QString::fromLocal8Bit(process.readAllStandardError()).trimmed());
        return false;
    }
    return true;
}
