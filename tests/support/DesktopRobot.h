#pragma once

// Looks at and works a display from outside, as a person at it would: screenshots of the whole
// screen (ImageMagick's import), pointer clicks and keys (xdotool, through the X test extension),
// and closing a window as a window manager asks (WM_DELETE_WINDOW). Every call has a time-out
// and says why it failed in lastError(). Owned by the test; the thread that made it.

#include "ScreenShot.h"

#include <QPoint>
#include <QRect>
#include <QProcessEnvironment>
#include <QStringList>

#include <functional>

class DesktopRobot
{
public:
    // `display`: the environment that names the display (XvfbDisplay::environment()).
    explicit DesktopRobot(const QProcessEnvironment& display);

    // The root window as it is now; null when no picture came.
    ScreenShot screenshot() const;
    // Takes shots until one meets `condition`, or `timeoutMs` passed; returns the last one taken.
    ScreenShot waitForShot(const std::function<bool(const ScreenShot&)>& condition, int timeoutMs = 20000) const;
    // The id of the shown window whose title is `title`, once there is one; empty after `timeoutMs`.
    QString waitForWindow(const QString& title, int timeoutMs = 20000) const;

    // Where `window` is on the screen, its frame left out; null when that could not be read.
    QRect windowGeometry(const QString& window) const;

    // A click of the left button at `point` of the screen.
    bool click(const QPoint& point) const;
    // Gives `window` the keyboard focus and presses `keys` (xdotool key names: "y", "ctrl+s").
    bool pressKeys(const QString& window, const QStringList& keys) const;
    // Asks `window` to close with WM_DELETE_WINDOW, as a window manager's close button does.
    bool closeWindow(const QString& window) const;

    QString lastError() const { return m_error; }

private:
    // Runs `program` on the display to its end; true on exit code 0, with its standard output.
    bool runTool(const QString& program, const QStringList& arguments, int timeoutMs, QByteArray* output = nullptr) const;

    QProcessEnvironment m_display;
    mutable QString m_error;
};
