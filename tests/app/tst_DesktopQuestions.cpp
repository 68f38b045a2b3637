// What the desktop window asks and tells its user, end to end on the desktop station: the desktop
// notification at a flash's end (the station's bus carries the fake notification service), a
// flash's question answered with "Cancel Flash", the question before a close while a device
// flashes (No keeps the window and the flash, Yes stops the flash and ends the program; an
// interrupt asks nothing), a question still queued when the window closes, and the about box.
// Looked at from outside; the in-process driver presses and reads what the screen cannot tell.

#include "DesktopStation.h"
#include "NotificationRecorder.h"

#include <QJsonObject>
#include <QtTest>

namespace {

// xdotool's patterns for the main window's title ("Zorvik® Quillon Lite 5.3.2.0"), a message box's
// ("Zorvik® Quillon Lite") and the about box's: its regular expressions do not take the "®" as
// one character.
const QString kWindowTitle = QStringLiteral("Zorvik.+ Quillon Lite 5\\.3\\.2\\.0");
const QString kBoxTitle = QStringLiteral("Zorvik.+ Quillon Lite");
const QString kAboutTitle = QStringLiteral("About Zorvik.+ Quillon Lite");

const QColor kOrange(255, 165, 0);
// The middle of the 1024 x 768 window, over the empty device area, where boxes show.
const QRect kCentre(412, 334, 200, 100);
const QPoint kWindowCentre(512, 384);

// The share of `rectangle`'s pixels that are clearly blue: the banner's gradient from light to
// dark blue.
double blueShare(const ScreenShot& shot, const QRect& rectangle)
{
    int blue = 0;
    const QRect area = rectangle.intersected(shot.image().rect());
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor pixel = shot.colourAt(QPoint(x, y));
            blue += pixel.blue() > 100 && pixel.blue() > pixel.red() + 80 ? 1 : 0;
        }
    }
    return area.isEmpty() ? 0.0 : double(blue) / (area.width() * area.height());
}

// Empty when the service recorded exactly one notification, the end of a flash with `body` and
// `urgency`; else what it recorded. Asked once the program has ended: nothing more can come.
QString oneNotification(const NotificationRecorder& service, const QString& body, int urgency)
{
    const QList<RecordedNotification> recorded = service.notifications();
    QStringList seen;
    for (const RecordedNotification& each : recorded)
        seen << QStringLiteral("%1|%2|%3|%4").arg(each.appName, each.summary, each.body).arg(each.urgency);
    const QString expected = QStringLiteral("Zorvik\u00ae Quillon Lite|Zorvik\u00ae Quillon Lite|%1|%2").arg(body).arg(urgency);
    if (seen == QStringList{expected})
        return QString();
    return seen.isEmpty() ? QStringLiteral("no notification") : seen.join(QLatin1Char('\n'));
}

} // namespace

class tst_DesktopQuestions : public QObject
{
    Q_OBJECT

private slots:
    void successfulFlash();
    void flashsQuestionCancelsIt();
    void closeWhileFlashingAsksFirst();
    void interruptStopsTheFlashWithoutAsking_data();
    void interruptStopsTheFlashWithoutAsking();
    void questionQueuedAtTheCloseLetsTheProgramEnd();
    void aboutBoxOfCtrlF1();

private:
    // The program's window once it shows a ready configuration; empty when it did not.
    static QString readyWindow(DesktopStation& station);
    // Lets the driver close the window; the program ends well and leaves no tool running.
    static void closeAndEnd(DesktopStation& station);
    // Starts the program (the driver's scenario "start-flash") and waits until A's flash hangs in
    // its system image; returns the main window, empty when it did not get there.
    static QString startHangingFlash(DesktopStation& station);
    // The run ended with 0, A's flash recorded as interrupted and no tool left running.
    static void endedWithTheFlashInterrupted(DesktopStation& station);
};

QString tst_DesktopQuestions::readyWindow(DesktopStation& station)
{
    if (!station.waitForApplicationLog({QStringLiteral("Ready to flash!")}, 120000))
        return QString();
    return station.robot.waitForWindow(kWindowTitle);
}

void tst_DesktopQuestions::closeAndEnd(DesktopStation& station)
{
    QVERIFY(station.goOn("close"));
    const ProgramStation::Run run = station.finish(60000);
    QVERIFY2(run.exitCode == 0 && !run.hung, run.report());
    QVERIFY2(run.lines().filter(QStringLiteral("driver: FAIL")).isEmpty(), run.report());
    QCOMPARE(station.sim.runningTools(), QStringList());
}

void tst_DesktopQuestions::successfulFlash()
{
    DesktopStation station(QStringLiteral(QLN_DESKTOP_FACE_DRIVER));
    QVERIFY2(station.prepareOnePhone(station.path(QStringLiteral("flash.json"))), qPrintable(station.display.error()));
    station.setEnvironment(QStringLiteral("QLN_DRIVER_SCENARIO"), QStringLiteral("flash-from-window"));
    const NotificationRecorder desktop(station.display.bus().address());
    QVERIFY2(desktop.isValid(), qPrintable(desktop.error()));
    station.start({});
    if (!station.waitForApplicationLog({QStringLiteral("Flash success (duration=")}, 200000))
        QFAIL(station.finish(1000).report() + station.applicationLog().toLocal8Bit());
    QCOMPARE(station.reported(QStringLiteral("flash ended"), 60000), QStringLiteral("yes"));
    closeAndEnd(station);
    const QString notified = oneNotification(desktop, QStringLiteral("Flash Success"), 1);
    QVERIFY2(notified.isEmpty(), qPrintable(notified));

    QFile result(station.resultFolder() + QStringLiteral("/A.xml"));
    QVERIFY2(result.open(QIODevice::ReadOnly), qPrintable(result.fileName()));
    const QByteArray content = result.readAll();
    QVERIFY2(content.contains("<RESULT>PASS</RESULT>") && content.contains("<ERROR>0</ERROR>"), content.constData());
    const QJsonObject partitions = station.partitions(QStringLiteral("A"));
    QCOMPARE(partitions.value(QStringLiteral("boot")).toString(), ProgramStation::digestOf(station.path("boot.img")));
    QCOMPARE(partitions.value(QStringLiteral("system")).toString(), ProgramStation::digestOf(station.path("system.img")));
}

// A question between the two images: the box shows over the window, "Cancel Flash" ends the flash
// cancelled, with the system image never flashed.
void tst_DesktopQuestions::flashsQuestionCancelsIt()
{
    DesktopStation station(QStringLiteral(QLN_DESKTOP_FACE_DRIVER));
    const QJsonObject question{{QStringLiteral("tool"), QStringLiteral("popup")},
                               {QStringLiteral("type"), QStringLiteral("question")},
                               {QStringLiteral("description"), QStringLiteral("Flash the system image?")}};
    QVERIFY2(station.prepareOnePhone(station.path(QStringLiteral("question.json")))
                 && station.writeSampleWith(QStringLiteral("question.json"), 3, question),
             qPrintable(station.display.error()));
    station.setEnvironment(QStringLiteral("QLN_DRIVER_SCENARIO"), QStringLiteral("flash-from-window"));
    station.setEnvironment(QStringLiteral("QLN_DRIVER_ANSWER"), QStringLiteral("Cancel Flash"));
    const NotificationRecorder desktop(station.display.bus().address());
    QVERIFY2(desktop.isValid(), qPrintable(desktop.error()));
    station.start({});
    const QString window = readyWindow(station);
    QVERIFY2(!window.isEmpty(), qPrintable(station.outputSoFar() + station.robot.lastError()));
    const ScreenShot before = station.robot.screenshot();

    const QRect box = DesktopStation::reportedRect(station.reported(QStringLiteral("question box"), 200000));
    QCOMPARE(station.reported(QStringLiteral("question")), QStringLiteral("Flash the system image?"));
    QCOMPARE(station.reported(QStringLiteral("question buttons")), QStringLiteral("Cancel Flash|Continue"));
    QVERIFY2(box.contains(kWindowCentre), qPrintable(station.outputSoFar()));
    const ScreenShot asked = station.robot.waitForShot([&](const ScreenShot& shot) {
        return shot.differsFrom(before, kCentre) && !shot.isUniform(box);
    });
    QVERIFY2(asked.differsFrom(before, kCentre) && !asked.isUniform(box), "no box over the window's centre");
    QVERIFY(station.sim.commandLog().filter(QStringLiteral("flash system")).isEmpty());   // the flash waits

    QVERIFY(station.goOn("answer"));
    const QRect bar = DesktopStation::reportedRect(station.reported(QStringLiteral("progress bar"), 120000));
    QCOMPARE(station.reported(QStringLiteral("main button")), QStringLiteral("Start to flash"));
    const QRect inside = bar.adjusted(2, 2, -2, -2);   // less the bar's frame
    const ScreenShot ended = station.robot.waitForShot(
        [&](const ScreenShot& shot) { return shot.fractionNear(inside, kOrange, 40) > 0.3; });
    QVERIFY2(ended.fractionNear(inside, kOrange, 40) > 0.3, qPrintable(QString::number(ended.fractionNear(inside, kOrange, 40))));
    QVERIFY(station.waitForApplicationLog({QStringLiteral("Flash cancelled")}));
    closeAndEnd(station);
    const QString notified = oneNotification(desktop, QStringLiteral("Flash cancelled"), 1);
    QVERIFY2(notified.isEmpty(), qPrintable(notified));
    QVERIFY(!station.partitions(QStringLiteral("A")).contains(QStringLiteral("system")));
}

QString tst_DesktopQuestions::startHangingFlash(DesktopStation& station)
{
    if (!station.prepareOnePhone(station.path(QStringLiteral("flash.json")), {QStringLiteral("hang_match"), QStringLiteral("flash system")}))
        return QString();
    station.setEnvironment(QStringLiteral("QLN_DRIVER_SCENARIO"), QStringLiteral("start-flash"));
    station.start({});
    const QString window = readyWindow(station);
    const auto hangs = [&station] { return !station.sim.commandLog().filter(QStringLiteral("flash system")).isEmpty(); };
    return !window.isEmpty() && QTest::qWaitFor(hangs, 200000) ? window : QString();
}

void tst_DesktopQuestions::endedWithTheFlashInterrupted(DesktopStation& station)
{
    const ProgramStation::Run run = station.finish(60000);
    QVERIFY2(run.exitCode == 0 && !run.hung, run.report());
    QCOMPARE(run.texts().last(), QStringLiteral("Quillon Lite exited with code 0"));
    QCOMPARE(station.sim.runningTools(), QStringList());
    QFile result(station.resultFolder() + QStringLiteral("/A.xml"));
    QVERIFY2(result.open(QIODevice::ReadOnly), "no result file");
    const QByteArray content = result.readAll();
    QVERIFY2(content.contains("<REASON>INTERRUPTED</REASON>"), content.constData());
}

// WM_DELETE_WINDOW while a fastboot command hangs: the question shows; "No" keeps the window and
// the flash; the second close's "Yes" stops the flash and the program ends with 0.
void tst_DesktopQuestions::closeWhileFlashingAsksFirst()
{
    DesktopStation station(QStringLiteral(QLN_DESKTOP_FACE_DRIVER));
    QVERIFY2(station.display.isValid(), qPrintable(station.display.error()));
    const QString window = startHangingFlash(station);
    QVERIFY2(!window.isEmpty(), qPrintable(station.outputSoFar() + station.robot.lastError() + station.sim.commandLog().join('\n')));
    const ScreenShot before = station.robot.screenshot();

    for (const char* answer : {"n", "y"}) {
        QVERIFY2(station.robot.closeWindow(window), qPrintable(station.robot.lastError()));
        const QString question = station.robot.waitForWindow(kBoxTitle);
        QVERIFY2(!question.isEmpty(), qPrintable(station.robot.lastError() + station.outputSoFar()));
        const ScreenShot asked = station.robot.waitForShot(
            [&](const ScreenShot& shot) { return shot.differsFrom(before, kCentre) && !shot.isUniform(kCentre); });
        QVERIFY2(asked.differsFrom(before, kCentre) && !asked.isUniform(kCentre), "no question over the window's centre");
        QVERIFY2(station.robot.pressKeys(question, {QString::fromLatin1(answer)}), qPrintable(station.robot.lastError()));
        if (QByteArray(answer) == "n") {
            // The box goes; the window and the flash stay.
            const ScreenShot answered = station.robot.waitForShot(
                [&](const ScreenShot& shot) { return !shot.differsFrom(before, kCentre, 16); });
            QVERIFY2(!answered.differsFrom(before, kCentre, 16), "the question stayed");
            QVERIFY2(!station.robot.waitForWindow(kWindowTitle, 5000).isEmpty(), "the window went");
            QCOMPARE(station.sim.runningTools().size(), 1);
            QVERIFY(!station.applicationLog().contains(QLatin1String("Flash cancelled")));
        }
    }
    endedWithTheFlashInterrupted(station);
}

void tst_DesktopQuestions::interruptStopsTheFlashWithoutAsking_data()
{
    QTest::addColumn<bool>("questionOpen");
    QTest::newRow("no question open") << false;
    QTest::newRow("the quit question open") << true;
}

// SIGTERM while a fastboot command hangs: nobody may be at the screen, so the window closes
// without its question (or with an open one taken as Yes), the flash is stopped and the program
// ends with 0.
void tst_DesktopQuestions::interruptStopsTheFlashWithoutAsking()
{
    QFETCH(bool, questionOpen);
    DesktopStation station(QStringLiteral(QLN_DESKTOP_FACE_DRIVER));
    QVERIFY2(station.display.isValid(), qPrintable(station.display.error()));
    const QString window = startHangingFlash(station);
    QVERIFY2(!window.isEmpty(), qPrintable(station.outputSoFar() + station.robot.lastError()));
    if (questionOpen) {
        QVERIFY2(station.robot.closeWindow(window), qPrintable(station.robot.lastError()));
        QVERIFY2(!station.robot.waitForWindow(kBoxTitle).isEmpty(), qPrintable(station.robot.lastError()));
    }
    QVERIFY(station.signal(SIGTERM));
    endedWithTheFlashInterrupted(station);
}

// The driver's thread asks through the flash manager the moment the close event arrives, and the
// driver holds the main thread until that question waits in its queue: the close runs with it
// queued, the exit's handling of pending events reaches it, and the program still ends.
void tst_DesktopQuestions::questionQueuedAtTheCloseLetsTheProgramEnd()
{
    DesktopStation station(QStringLiteral(QLN_DESKTOP_FACE_DRIVER));
    QVERIFY2(station.prepareOnePhone(station.path(QStringLiteral("flash.json"))), qPrintable(station.display.error()));
    station.setEnvironment(QStringLiteral("QLN_DRIVER_SCENARIO"), QStringLiteral("question-while-closing"));
    const ProgramStation::Run run = station.run({}, 90000);
    QVERIFY2(run.exitCode == 0 && !run.hung, run.report());
    QVERIFY2(run.lines().filter(QStringLiteral("driver: FAIL")).isEmpty(), run.report());
    QVERIFY2(run.lines().contains(QStringLiteral("driver: question queued: yes")), run.report());
    QVERIFY2(run.lines().contains(QStringLiteral("driver: question answered: Cancel Flash")), run.report());
    QCOMPARE(run.texts().last(), QStringLiteral("Quillon Lite exited with code 0"));
}

// Ctrl+F1 opens the about box over the window: white, with the blue banner at its right edge;
// Escape closes it.
void tst_DesktopQuestions::aboutBoxOfCtrlF1()
{
    DesktopStation station(QStringLiteral(QUILLONLITE_PROGRAM));
    QVERIFY2(station.prepareOnePhone(station.path(QStringLiteral("flash.json"))), qPrintable(station.display.error()));
    station.start({});
    const QString window = readyWindow(station);
    QVERIFY2(!window.isEmpty(), qPrintable(station.outputSoFar() + station.robot.lastError()));
    const ScreenShot before = station.robot.screenshot();
    QVERIFY2(!before.isNull(), qPrintable(station.robot.lastError()));

    QVERIFY2(station.robot.pressKeys(window, {QStringLiteral("ctrl+F1")}), qPrintable(station.robot.lastError()));
    const QString about = station.robot.waitForWindow(kAboutTitle);
    QVERIFY2(!about.isEmpty(), qPrintable(station.robot.lastError()));
    const QRect box = station.robot.windowGeometry(about);
    QCOMPARE(box.size(), QSize(548, 400));
    QVERIFY2(box.contains(kWindowCentre), qPrintable(QStringLiteral("%1,%2").arg(box.x()).arg(box.y())));
    // The banner stands in the right third, the texts and the Close button on white to its left.
    const QRect rightPart(box.x() + box.width() * 2 / 3, box.y(), box.width() / 3, box.height() * 2 / 3);
    const auto shows = [&](const ScreenShot& shot) {
        return shot.fractionNear(box, Qt::white, 16) > 0.5 && blueShare(shot, rightPart) > 0.3;
    };
    QVERIFY2(!shows(before), "the window alone looks like the about box");
    const ScreenShot shown = station.robot.waitForShot(shows);
    QVERIFY2(shows(shown), qPrintable(QStringLiteral("%1 white, %2 blue in the right part")
                                          .arg(shown.fractionNear(box, Qt::white, 16))
                                          .arg(blueShare(shown, rightPart))));

    QVERIFY2(station.robot.pressKeys(about, {QStringLiteral("Escape")}), qPrintable(station.robot.lastError()));
    // The window behind may have refreshed meanwhile: what counts is that the box is gone.
    const ScreenShot closed = station.robot.waitForShot([&](const ScreenShot& shot) { return !shows(shot); });
    QVERIFY2(!shows(closed), "the about box stayed");

    QVERIFY2(station.robot.closeWindow(window), qPrintable(station.robot.lastError()));
    const ProgramStation::Run run = station.finish(30000);
    QVERIFY2(run.exitCode == 0 && !run.hung, run.report());
}

QTEST_MAIN(tst_DesktopQuestions)
#include "tst_DesktopQuestions.moc"
