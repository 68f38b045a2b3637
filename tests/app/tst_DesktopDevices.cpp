// The attached devices' rows of the desktop face end to end: the built program (with the driver's
// scenario, DesktopFaceDriver.cpp) on the desktop station against the simulator, without a flash
// file. The driver reports what the rows read and where they are; the screen is looked at from
// outside between the steps, and the test changes the simulated devices as a person would.

#include "DesktopStation.h"

#include <QtTest>

namespace {

const QColor kWhite(255, 255, 255);
const QColor kGreen(0, 128, 0);        // "Connected on port …"
const QColor kOrange(255, 165, 0);     // "Disconnected"
const int kTextTolerance = 48;         // anti-aliased text

// One shown row as the driver reported it.
struct Row
{
    QString port;
    QString state;
    QString battery;
    QRect rectangle;
    QRect portLabel;
};

// The rows and the device area the driver reported at `step`.
struct Step
{
    QList<Row> rows;
    QRect area;

    Step(const QStringList& lines, const QString& step)
    {
        const QString rowPrefix = QStringLiteral("driver: rows %1: ").arg(step);
        const QString areaPrefix = QStringLiteral("driver: area %1: ").arg(step);
        for (const QString& line : lines) {
            if (line.startsWith(areaPrefix))
                area = DesktopStation::reportedRect(line.mid(areaPrefix.size()));
            if (!line.startsWith(rowPrefix))
                continue;
            const QStringList fields = line.mid(rowPrefix.size()).split(QLatin1Char('|'));
            if (fields.size() == 6)
                rows << Row{fields[1], fields[2], fields[3], DesktopStation::reportedRect(fields[4]), DesktopStation::reportedRect(fields[5])};
        }
    }

    // The device area below the last row.
    QRect belowRows() const
    {
        const int top = rows.isEmpty() ? area.top() : rows.last().rectangle.bottom() + 1;
        return QRect(area.left(), top, area.width(), area.bottom() - top + 1);
    }
};

bool hasTextIn(const ScreenShot& shot, const QRect& rectangle, const QColor& colour)
{
    return shot.fractionNear(rectangle, colour, kTextTolerance) > 0.005;
}

} // namespace

class tst_DesktopDevices : public QObject
{
    Q_OBJECT

private slots:
    void rowsFollowTheAttachedDevices();
};

void tst_DesktopDevices::rowsFollowTheAttachedDevices()
{
    DesktopStation station(QStringLiteral(QLN_DESKTOP_FACE_DRIVER));
    QVERIFY2(station.display.isValid() && station.isReady(), qPrintable(station.display.error()));
    QVERIFY(station.addDevice({"A", "1-1", "mos", "--vendor", "8087", "--battery", "87"}));
    QVERIFY(station.addDevice({"B", "1-2", "pos"}));
    const QString goFile = station.path(QStringLiteral("driver-go"));
    const auto go = [&goFile](const char* step) {
        QFile file(goFile);
        return file.open(QIODevice::Append) && file.write(QByteArray(step) + '\n') > 0;
    };
    station.setEnvironment(QStringLiteral("QLN_DRIVER_SCENARIO"), QStringLiteral("attached-devices"));
    station.setEnvironment(QStringLiteral("QLN_DRIVER_GO_FILE"), goFile);
    station.start({});
    const auto failRun = [&station] { return station.finish(1000).report(); };

    // Screenshot 1: two 80-pixel rows at the top of the device area, green port labels, white below.
    if (!station.waitForOutput(QStringLiteral("driver: area found: "), 120000))
        QFAIL(failRun());
    const Step found(station.outputLines(), QStringLiteral("found"));
    QCOMPARE(found.rows.size(), 2);
    QVERIFY(qAbs(found.rows[0].rectangle.top() - found.area.top()) <= 2);   // the area's layout margin
    QCOMPARE(found.rows[0].rectangle.height(), 80);
    QCOMPARE(found.rows[1].rectangle.height(), 80);
    const int gap = found.rows[1].rectangle.top() - found.rows[0].rectangle.bottom() - 1;
    QVERIFY2(gap >= 0 && gap <= 6, qPrintable(QString::number(gap)));   // the layout's spacing
    QCOMPARE(found.rows[0].port, QString("<h4><font color=green>Connected on port 1-1</font></h4>"));
    QCOMPARE(found.rows[0].state, QString("MOS"));
    QCOMPARE(found.rows[0].battery, QString("87%"));
    QCOMPARE(found.rows[1].state, QString("POS"));
    const ScreenShot first = station.robot.waitForShot([&](const ScreenShot& shot) {
        return hasTextIn(shot, found.rows[0].portLabel, kGreen) && hasTextIn(shot, found.rows[1].portLabel, kGreen);
    });
    QVERIFY2(!first.isNull(), qPrintable(station.robot.lastError()));
    for (const Row& row : found.rows) {
        QVERIFY2(hasTextIn(first, row.portLabel, kGreen), "a port label without green text");
        QCOMPARE(first.fractionNear(row.portLabel, kOrange, kTextTolerance), 0.0);
    }
    QVERIFY2(first.fractionNear(found.belowRows(), kWhite, 8) > 0.95, "the area below the rows is not white");

    // Screenshot 2: A rebooted into Provisioning OS keeps the first row.
    QVERIFY(station.tool(station.sim.toolPath("adb"), {"-s", "A", "reboot", "bootloader"}));
    if (!station.waitForOutput(QStringLiteral("driver: area rebooted: "), 120000))
        QFAIL(failRun());
    const Step rebooted(station.outputLines(), QStringLiteral("rebooted"));
    QCOMPARE(rebooted.rows.size(), 2);
    QCOMPARE(rebooted.rows[0].port, QString("<h4><font color=green>Connected on port 1-1</font></h4>"));
    QCOMPARE(rebooted.rows[0].state, QString("POS"));
    QCOMPARE(rebooted.rows[0].rectangle, found.rows[0].rectangle);
    const ScreenShot second = station.robot.screenshot();
    QVERIFY2(hasTextIn(second, rebooted.rows[0].portLabel, kGreen), "A's port label is not green");

    // Screenshot 3: B unplugged turns its port label orange; "Clear devices" leaves one row.
    QVERIFY(station.sim.unplug("B"));
    if (!station.waitForOutput(QStringLiteral("driver: area unplugged: "), 120000))
        QFAIL(failRun());
    const Step unplugged(station.outputLines(), QStringLiteral("unplugged"));
    QCOMPARE(unplugged.rows.size(), 2);
    QCOMPARE(unplugged.rows[1].port, QString("<h4><font color=orange><i>Disconnected</i></font></h4>"));
    const ScreenShot orange = station.robot.waitForShot(
        [&](const ScreenShot& shot) { return hasTextIn(shot, unplugged.rows[1].portLabel, kOrange); });
    QVERIFY2(hasTextIn(orange, unplugged.rows[1].portLabel, kOrange), "B's port label is not orange");
    QVERIFY(go("clear"));
    if (!station.waitForOutput(QStringLiteral("driver: area cleared: "), 60000))
        QFAIL(failRun());
    const Step cleared(station.outputLines(), QStringLiteral("cleared"));
    QCOMPARE(cleared.rows.size(), 1);
    QCOMPARE(cleared.rows[0].state, QString("POS"));
    const ScreenShot third = station.robot.waitForShot(
        [&](const ScreenShot& shot) { return shot.fractionNear(cleared.belowRows(), kWhite, 8) > 0.95; });
    QVERIFY2(third.fractionNear(cleared.belowRows(), kWhite, 8) > 0.95, "the area below the row is not white");

    // The program closes and ends with nothing of the simulator left running.
    QVERIFY(go("close"));
    const ProgramStation::Run run = station.finish(60000);
    QVERIFY2(run.exitCode == 0 && !run.hung, run.report());
    QVERIFY2(run.lines().filter(QStringLiteral("FAIL")).isEmpty(), run.report());
    QVERIFY2(run.lines().contains(QStringLiteral("driver: done")), run.report());
    QCOMPARE(station.sim.runningTools(), QStringList());
}

QTEST_MAIN(tst_DesktopDevices)
#include "tst_DesktopDevices.moc"
