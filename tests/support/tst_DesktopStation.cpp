#include "DesktopStation.h"

#include <QtTest>

// The desktop station end to end: a small Qt window runs as its own program on the station's
// display; the test sees it only through screenshots, works it with the pointer and keys, and
// closes it as a window manager would.
class tst_DesktopStation : public QObject
{
    Q_OBJECT

private slots:
    void windowIsSeenWorkedAndClosedFromOutside();
    void programGrabsTheStationScreenFromInside();
    void displayStopsWithTheStation();
    void waitForAWindowThatNeverShowsEndsInTime();

private:
    static bool panelIs(const ScreenShot& shot, const QColor& colour)
    {
        return shot.fractionNear(kPanel, colour) == 1;
    }
    // What a failed wait for the panel's colour prints.
    static QByteArray seen(const ScreenShot& shot, const DesktopRobot& robot)
    {
        return shot.isNull() ? robot.lastError().toLocal8Bit()
                             : "the panel shows " + shot.colourAt(kPanel.center()).name().toLatin1();
    }

    static const QRect kPanel;
    static const QPoint kButtonCentre;
};

const QRect tst_DesktopStation::kPanel(100, 100, 300, 200);
const QPoint tst_DesktopStation::kButtonCentre(600, 130);

void tst_DesktopStation::windowIsSeenWorkedAndClosedFromOutside()
{
    DesktopStation station(QStringLiteral(QLN_STATION_TEST_WINDOW));
    QVERIFY2(station.display.isValid(), qPrintable(station.display.error()));
    station.start({});
    const QString window = station.robot.waitForWindow(QStringLiteral("Station test window"));
    QVERIFY2(!window.isEmpty(), qPrintable(station.robot.lastError()));

    const ScreenShot blue = station.robot.waitForShot([](const ScreenShot& shot) { return panelIs(shot, Qt::blue); });
    QVERIFY2(panelIs(blue, Qt::blue), seen(blue, station.robot));
    QCOMPARE(blue.image().size(), station.display.size());
    QVERIFY(blue.isUniform(kPanel));
    QVERIFY(!blue.isUniform(kPanel.adjusted(-10, -10, 10, 10)));   // the panel's edge shows

    QVERIFY2(station.robot.click(kButtonCentre), qPrintable(station.robot.lastError()));
    const ScreenShot green = station.robot.waitForShot([](const ScreenShot& shot) { return panelIs(shot, Qt::green); });
    QVERIFY2(panelIs(green, Qt::green), seen(green, station.robot));
    QVERIFY(green.differsFrom(blue, kPanel));
    QVERIFY(!green.differsFrom(blue, QRect(0, 400, 1024, 368)));   // nothing else changed

    QVERIFY2(station.robot.pressKeys(window, {QStringLiteral("y")}), qPrintable(station.robot.lastError()));
    const ScreenShot yellow = station.robot.waitForShot([](const ScreenShot& shot) { return panelIs(shot, Qt::yellow); });
    QVERIFY2(panelIs(yellow, Qt::yellow), seen(yellow, station.robot));

    QVERIFY2(station.robot.closeWindow(window), qPrintable(station.robot.lastError()));
    const ProgramStation::Run run = station.finish(10000);
    QVERIFY2(run.exitCode == 0 && !run.hung, run.report());
}

void tst_DesktopStation::programGrabsTheStationScreenFromInside()
{
    DesktopStation station(QStringLiteral(QLN_STATION_TEST_WINDOW));
    QVERIFY2(station.display.isValid(), qPrintable(station.display.error()));
    const ProgramStation::Run run = station.run({QStringLiteral("--grab-check")}, 20000);
    QVERIFY2(run.exitCode == 0, run.report());
}

void tst_DesktopStation::displayStopsWithTheStation()
{
    auto display = std::make_unique<XvfbDisplay>();
    QVERIFY2(display->isValid(), qPrintable(display->error()));
    const QString socket = QStringLiteral("/tmp/.X11-unix/X") + display->name().mid(1);
    const DesktopRobot robot(display->environment());
    QVERIFY2(!robot.screenshot().isNull(), qPrintable(robot.lastError()));
    QVERIFY(QFile::exists(socket));

    display.reset();
    QVERIFY(robot.screenshot().isNull());
    QVERIFY2(!QFile::exists(socket), "the server was killed, not stopped");
}

void tst_DesktopStation::waitForAWindowThatNeverShowsEndsInTime()
{
    const XvfbDisplay display;
    QVERIFY2(display.isValid(), qPrintable(display.error()));
    const DesktopRobot robot(display.environment());
    QElapsedTimer clock;
    clock.start();
    QVERIFY(robot.waitForWindow(QStringLiteral("No such window"), 1500).isEmpty());
    QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY2(robot.lastError().contains(QLatin1String("still running after 1500 ms")), qPrintable(robot.lastError()));
}

QTEST_GUILESS_MAIN(tst_DesktopStation)
#include "tst_DesktopStation.moc"
