#pragma once

// Runs a built desktop program on a private X display, against the device simulator, and works it
// from outside as a person would: `display` is its Xvfb and session bus, `robot` takes the shots,
// clicks, types and closes windows. Everything else (home folder, tool settings, result folder,
// watchdog) is the program station's. Header-only; link qln_desktopstation. One per test case.

#include "DesktopRobot.h"
#include "ProgramStation.h"
#include "XvfbDisplay.h"

#include <QFile>
#include <QRect>

class DesktopStation : public ProgramStation
{
public:
    // A screen rectangle as the driver reports it ("x,y,w,h"); null when the text is none.
    static QRect reportedRect(const QString& text)
    {
        const QStringList parts = text.split(QLatin1Char(','));
        return parts.size() == 4 ? QRect(parts[0].toInt(), parts[1].toInt(), parts[2].toInt(), parts[3].toInt())
                                 : QRect();
    }

    // The in-process driver's lines of `run` that start with `prefix`, less "driver: " and the prefix.
    static QStringList driverFindings(const Run& run, const QString& prefix)
    {
        QStringList found;
        for (const QString& line : run.lines()) {
            if (line.startsWith(QStringLiteral("driver: ") + prefix))
                found << line.mid(8 + prefix.size());
        }
        return found;
    }

    // `program` runs with no fixed arguments.
    explicit DesktopStation(const QString& program)
        : ProgramStation(program, {})
        , robot(display.environment())
    {
    }

    // What the in-process driver reported as `label` ("driver: <label>: <text>"), once it has; null
    // when it did not within `timeoutMs`.
    QString reported(const QString& label, int timeoutMs = 60000)
    {
        return waitForLine(QStringLiteral("driver: ") + label + QStringLiteral(": "), timeoutMs);
    }

    // The station of a flash from the window: display and simulator ready, phone "A" in Main OS on
    // port 1-2 (with the simulator fault `fault`, if any), `flashFile` reloaded at start, the
    // application log kept, the driver's go file named. False when something could not be set up.
    bool prepareOnePhone(const QString& flashFile, const QStringList& fault = QStringList())
    {
        if (!display.isValid() || !isReady()
            || !addDevice({QStringLiteral("A"), QStringLiteral("1-2"), QStringLiteral("mos")}, fault))
            return false;
        keepApplicationLog();
        reloadAtStart(flashFile);
        setEnvironment(QStringLiteral("QLN_DRIVER_GO_FILE"), goFile());
        return true;
    }

    // Lets the driver's scenario go on past `step`, where it waits for the test (QLN_DRIVER_GO_FILE).
    bool goOn(const char* step) const
    {
        QFile file(goFile());
        return file.open(QIODevice::Append) && file.write(QByteArray(step) + '\n') > 0;
    }
    QString goFile() const { return path(QStringLiteral("driver-go")); }

    XvfbDisplay display;
    DesktopRobot robot;

protected:
    QProcessEnvironment programEnvironment() const override
    {
        QProcessEnvironment environment = ProgramStation::programEnvironment();
        display.applyTo(environment);
        return environment;
    }
};
