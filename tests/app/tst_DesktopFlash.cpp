// Flashes started and stopped from the desktop window on the desktop station: the driver presses the
// main button (and "Stop" when told), the test watches the simulator and the log, and looks at the
// screen while the driver holds the window open: the device's row ends lime, red or orange, and a
// flash's notice opens the notifier panel and closes it again.

#include "DesktopStation.h"

#include <QJsonObject>
#include <QtTest>

namespace {

const QColor kLime(0, 255, 0);
const QColor kRed(255, 0, 0);
const QColor kOrange(255, 165, 0);

} // namespace

class tst_DesktopFlash : public QObject
{
    Q_OBJECT

private slots:
    void flashEndsInItsColour_data();
    void flashEndsInItsColour();
    void stopEndsAHangingFlash();
    void noticeOpensThePanelAndCloses();

private:
    // Device A in Main OS (with the simulator fault `fault`, if any); the program reloads `flashFile`
    // at start, and its driver flashes from the window.
    static bool prepare(DesktopStation& station, const QString& flashFile, const QStringList& fault = {});
    // Waits for the driver's report of the flash's end: the main button reads "Start to flash" again
    // and a shot shows the row's progress bar mostly `colour` (at least `least` of it).
    static void endsIn(DesktopStation& station, const QColor& colour, double least);
    // Lets the driver close the window; the program ends well and leaves no tool running.
    static void close(DesktopStation& station);
};

bool tst_DesktopFlash::prepare(DesktopStation& station, const QString& flashFile, const QStringList& fault)
{
    station.setEnvironment(QStringLiteral("QLN_DRIVER_SCENARIO"), QStringLiteral("flash-from-window"));
    return station.prepareOnePhone(flashFile, fault);
}

void tst_DesktopFlash::endsIn(DesktopStation& station, const QColor& colour, double least)
{
    const QRect bar = DesktopStation::reportedRect(station.reported(QStringLiteral("progress bar"), 200000));
    QVERIFY2(bar.width() > 10 && bar.height() > 4, qPrintable(station.outputSoFar()));
    QCOMPARE(station.reported(QStringLiteral("flash ended")), QStringLiteral("yes"));
    QCOMPARE(station.reported(QStringLiteral("main button")), QStringLiteral("Start to flash"));
    // The chunk spans the progress made when the flash ended (all of it on success); the text sits
    // on it. Mostly the end's colour: of the bar at least `least`, of its painted (not white) part 80 %.
    const QRect inside = bar.adjusted(2, 2, -2, -2);   // less the bar's frame
    const auto share = [&](const ScreenShot& shot) { return shot.fractionNear(inside, colour, 40); };
    const auto ofPainted = [&](const ScreenShot& shot) {
        return share(shot) / qMax(0.01, 1.0 - shot.fractionNear(inside, Qt::white, 16));
    };
    const ScreenShot shot = station.robot.waitForShot(
        [&](const ScreenShot& shot) { return share(shot) > least && ofPainted(shot) > 0.8; });
    QVERIFY2(!shot.isNull(), qPrintable(station.robot.lastError()));
    QVERIFY2(share(shot) > least && ofPainted(shot) > 0.8,
             qPrintable(QStringLiteral("%1 of the bar, %2 of its painted part near %3")
                            .arg(share(shot)).arg(ofPainted(shot)).arg(colour.name())));
}

void tst_DesktopFlash::close(DesktopStation& station)
{
    QVERIFY(station.goOn("close"));
    const ProgramStation::Run run = station.finish(60000);
    QVERIFY2(run.exitCode == 0 && !run.hung, qPrintable(run.report()));
    QVERIFY2(run.lines().filter(QStringLiteral("driver: FAIL")).isEmpty(), qPrintable(run.report()));
    QVERIFY2(run.lines().contains(QStringLiteral("driver: done")), qPrintable(run.report()));
    QCOMPARE(station.sim.runningTools(), QStringList());
}

void tst_DesktopFlash::flashEndsInItsColour_data()
{
    QTest::addColumn<QStringList>("fault");
    QTest::addColumn<QString>("logged");
    QTest::addColumn<QColor>("colour");
    QTest::addColumn<double>("least");   // of the bar: a failure's chunk shows the progress made

    QTest::newRow("success") << QStringList() << QStringLiteral("Flash success") << kLime << 0.6;
    QTest::newRow("fastboot fails") << QStringList{QStringLiteral("fail_match"), QStringLiteral("flash system")}
                                    << QStringLiteral("Flash failed") << kRed << 0.3;
}

void tst_DesktopFlash::flashEndsInItsColour()
{
    QFETCH(QStringList, fault);
    QFETCH(QString, logged);
    QFETCH(QColor, colour);
    QFETCH(double, least);
    DesktopStation station(QStringLiteral(QLN_DESKTOP_FACE_DRIVER));
    QVERIFY2(prepare(station, station.path(QStringLiteral("flash.json")), fault), qPrintable(station.display.error()));
    station.start({});
    if (!station.waitForApplicationLog({logged}, 200000))
        QFAIL(qPrintable(station.finish(1000).report() + station.applicationLog()));
    endsIn(station, colour, least);
    close(station);
    if (fault.isEmpty()) {
        const QJsonObject partitions = station.partitions(QStringLiteral("A"));
        QCOMPARE(partitions.value(QStringLiteral("boot")).toString(), ProgramStation::digestOf(station.path("boot.img")));
        QCOMPARE(partitions.value(QStringLiteral("system")).toString(), ProgramStation::digestOf(station.path("system.img")));
    }
}

void tst_DesktopFlash::stopEndsAHangingFlash()
{
    DesktopStation station(QStringLiteral(QLN_DESKTOP_FACE_DRIVER));
    QVERIFY2(prepare(station, station.path(QStringLiteral("flash.json")), {QStringLiteral("hang_match"), QStringLiteral("flash system")}),
             qPrintable(station.display.error()));
    station.setEnvironment(QStringLiteral("QLN_DRIVER_PRESS_STOP"), QStringLiteral("1"));
    station.start({});
    // Stop once the fake fastboot has received the command that hangs.
    const auto hangs = [&station] { return !station.sim.commandLog().filter(QStringLiteral("flash system")).isEmpty(); };
    QVERIFY2(QTest::qWaitFor(hangs, 200000), qPrintable(station.sim.commandLog().join('\n')));
    QVERIFY(station.goOn("stop"));
    endsIn(station, kOrange, 0.3);
    QCOMPARE(station.reported(QStringLiteral("main button before stop")), QStringLiteral("Stop"));
    QCOMPARE(station.sim.runningTools(), QStringList());
    close(station);
}

void tst_DesktopFlash::noticeOpensThePanelAndCloses()
{
    DesktopStation station(QStringLiteral(QLN_DESKTOP_FACE_DRIVER));
    const QString flashFile = station.path(QStringLiteral("notice.json"));
    // A notice ("Plug the cable", 5 s) before the sample's first command.
    const QJsonObject notice{{QStringLiteral("tool"), QStringLiteral("notifier")},
                             {QStringLiteral("source"), QStringLiteral("Plug the cable")},
                             {QStringLiteral("duration"), 5000},
                             {QStringLiteral("description"), QStringLiteral("Notice")}};
    QVERIFY2(prepare(station, flashFile) && station.writeSampleWith(QStringLiteral("notice.json"), 0, notice),
             qPrintable(station.display.error()));
    station.setEnvironment(QStringLiteral("QLN_DRIVER_NOTIFIER"), QStringLiteral("1"));
    station.start({});
    const QRect panel = DesktopStation::reportedRect(station.reported(QStringLiteral("notifier open"), 200000));
    QElapsedTimer sinceOpen;
    sinceOpen.start();
    QVERIFY2(panel.width() >= 250 && panel.height() >= 80, qPrintable(station.outputSoFar()));
    const ScreenShot open = station.robot.screenshot();
    QVERIFY2(!open.isNull(), qPrintable(station.robot.lastError()));
    QVERIFY2(!open.isUniform(panel), "the open panel shows nothing");

    // The notice lasts 5 s: a second later the panel has closed, and its area shows something else.
    QTest::qWait(qMax(0, 6000 - int(sinceOpen.elapsed())));
    const ScreenShot later = station.robot.screenshot();
    QVERIFY2(!later.isNull(), qPrintable(station.robot.lastError()));
    QVERIFY2(later.differsFrom(open, panel, 16), "the panel still shows");
    endsIn(station, kLime, 0.6);
    QCOMPARE(station.reported(QStringLiteral("notifier closed")), QStringLiteral("yes"));
    QVERIFY(station.applicationLog().contains(QLatin1String("Displaying notification during 5000 ms")));
    close(station);
}

QTEST_MAIN(tst_DesktopFlash)
#include "tst_DesktopFlash.moc"
