// A device view bound as the window binds it, over the device simulator: the real scanner, the
// real property reader and the fake adb and fastboot.

#include "loader/ToolConst.h"
#include "platform/device/AndroidDevicePropertyManager.h"
#include "ui/DeviceViewBinding.h"
#include "ui/QPhoneWidget.h"

#include "DeviceManagerFixture.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QtTest>

class tst_DeviceViewOnSimulator : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { ToolConst::TOOL_BEHAVIOR = 1; }
    void showsTheBattery_data();
    void showsTheBattery();
    void busyDeviceIsNotAsked();
    void hungToolLeavesTheWindowAnswering();
    void followsRebootAndUnplug();
};

namespace {

const int kRefreshWaitMs = 20000;   // a refresh tick and the fakes' start-up on a loaded machine

QString text(const QPhoneWidget& view, const char* name)
{
    return view.findChild<QLabel*>(QLatin1String(name))->text();
}

QString toolTip(const QPhoneWidget& view)
{
    return view.findChild<QWidget*>(QStringLiteral("widgetMainInfos"))->toolTip();
}

AndroidDevicePropertyManager* readerOf(const DevicePtr& device)
{
    QReadLocker locker(&device->getLock());
    return dynamic_cast<AndroidDevicePropertyManager*>(device->getPropertyManagersLocked().front());
}

// Adds S1 on port 1-2 in Main OS, model "Sim Phone", and binds it to `view`.
DevicePtr bindSimulatedPhone(DeviceManagerFixture& fixture, QPhoneWidget& view, const QStringList& options)
{
    if (!fixture.sim.addDevice("S1", "1-2", "mos",
                               QStringList{"--vendor", "8087", "--prop", "ro.product.model=Sim Phone",
                                           "--prop", "gsm.version.baseband=BB-7"} + options)
        || !fixture.scan())
        return DevicePtr();
    const DevicePtr device = fixture.deviceAt(PortNumber::usbPort("1-2"));
    if (DeviceViewBinding::bindDevice({&view}, device) != DeviceViewBinding::Outcome::Bound)
        return DevicePtr();
    return device;
}

// The device's commands in the simulator's journal that read properties or the battery.
int propertyReads(const SimulatedDevices& sim)
{
    int reads = 0;
    for (const QString& line : sim.commandLog())
        reads += line.endsWith(QLatin1String("shell getprop")) || line.endsWith(QLatin1String("dumpsys battery"));
    return reads;
}

// The property reads once no tool runs and the count has stood still for a second (a refresh in
// flight has ended, however loaded the machine); -1 when it never settles.
int settledPropertyReads(const SimulatedDevices& sim)
{
    QElapsedTimer waited;
    waited.start();
    int reads = propertyReads(sim);
    while (waited.elapsed() < kRefreshWaitMs) {
        QTest::qWait(1000);
        const int now = propertyReads(sim);
        if (now == reads && sim.runningTools().isEmpty())
            return now;
        reads = now;
    }
    return -1;
}

} // namespace

void tst_DeviceViewOnSimulator::showsTheBattery_data()
{
    QTest::addColumn<QString>("level");   // the simulator's battery knob; empty: no level line
    QTest::addColumn<int>("behavior");    // TOOL_BEHAVIOR
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("icon");
    QTest::newRow("14") << "14" << 1 << "14%" << "0percent2";
    QTest::newRow("15") << "15" << 1 << "15%" << "10percent";
    QTest::newRow("94") << "94" << 1 << "94%" << "80percent";
    QTest::newRow("95") << "95" << 1 << "95%" << "100percent";
    QTest::newRow("100") << "100" << 1 << "100%" << "100percent";
    QTest::newRow("101") << "101" << 1 << "-- %" << "unknown";
    QTest::newRow("no level") << "" << 1 << "-- %" << "unknown";
    QTest::newRow("behaviour 0") << "87" << 0 << "-- %" << "unknown";
}

void tst_DeviceViewOnSimulator::showsTheBattery()
{
    QFETCH(QString, level);
    QFETCH(int, behavior);
    QFETCH(QString, shown);
    QFETCH(QString, icon);
    ToolConst::TOOL_BEHAVIOR = behavior;
    DeviceManagerFixture fixture(FlashDevice2::DeviceAllocator);
    QVERIFY(fixture.isValid());
    QPhoneWidget view;
    const DevicePtr device = bindSimulatedPhone(fixture, view, {"--battery", level});
    QVERIFY(device);
    QCOMPARE(text(view, "statusDevice"), QString("MOS"));
    QCOMPARE(text(view, "batt_text"), QString("-- %"));   // the first answers come with the refresh

    // The view's own timer shows what the refresh read.
    QTRY_COMPARE_WITH_TIMEOUT(readerOf(device)->getProductName(), QString("Sim Phone"), kRefreshWaitMs);
    // The window updates its views every few seconds; the view's timer reads the properties.
    const auto toolTipAfterUpdate = [&view] {
        view.update();
        return toolTip(view);
    };
    if (behavior != 0)
        QTRY_VERIFY_WITH_TIMEOUT(toolTipAfterUpdate().contains(QLatin1String("gsm.version.baseband: BB-7")), kRefreshWaitMs);
    else
        QTest::qWait(2500);   // a tick of the view's timer
    view.update();
    QCOMPARE(text(view, "batt_text"), shown);
    const QImage expected = QPixmap(QStringLiteral(":/icons/icons/battery_horizontal_%1.png").arg(icon)).toImage();
    QCOMPARE(view.findChild<QLabel*>(QStringLiteral("label_icon_bat"))->pixmap(Qt::ReturnByValue).toImage(), expected);
    QCOMPARE(text(view, "hwDevice"), QString("Sim Phone"));   // names are shown whatever the behaviour
    QCOMPARE(toolTip(view).contains(QLatin1String("gsm.version.baseband: BB-7")), behavior != 0);
}

void tst_DeviceViewOnSimulator::busyDeviceIsNotAsked()
{
    DeviceManagerFixture fixture(FlashDevice2::DeviceAllocator);
    QVERIFY(fixture.isValid());
    QPhoneWidget view;
    const DevicePtr device = bindSimulatedPhone(fixture, view, {"--battery", "60"});
    QVERIFY(device);
    QTRY_COMPARE_WITH_TIMEOUT(text(view, "batt_text"), QString("60%"), kRefreshWaitMs);

    const auto flashDevice = device.dynamicCast<FlashDevice2>();
    flashDevice->setFlashState(FlashDevice2::FlashState::Flashing);
    const int reads = settledPropertyReads(fixture.sim);   // a refresh that was in flight ends
    QVERIFY(reads >= 0);
    QTest::qWait(5000);   // two ticks of the view
    view.update();
    QCOMPARE(propertyReads(fixture.sim), reads);   // its flash owns adb meanwhile
    QCOMPARE(text(view, "batt_text"), QString("60%"));   // the row keeps the last values

    flashDevice->setFlashState(FlashDevice2::FlashState::Idle);
    QTRY_VERIFY_WITH_TIMEOUT(propertyReads(fixture.sim) > reads, kRefreshWaitMs);
}

void tst_DeviceViewOnSimulator::hungToolLeavesTheWindowAnswering()
{
    DeviceManagerFixture fixture(FlashDevice2::DeviceAllocator);
    QVERIFY(fixture.isValid());
    fixture.manager.setLostDeviceKeepMs(0);
    QVERIFY(fixture.sim.setToolFault("hang_match", "dumpsys"));
    QPhoneWidget view;
    DevicePtr device = bindSimulatedPhone(fixture, view, {"--battery", "50"});
    QVERIFY(device);
    // The refreshes follow each other: a hang ends at its time-out and the next begins at once. A
    // hang is therefore waited for as "pid: words", read once per look.
    const auto hungTool = [&fixture] {
        const QStringList running = fixture.sim.runningTools().filter(QStringLiteral("dumpsys"));
        return running.isEmpty() ? QString() : running.first();
    };
    QString firstHang;
    QVERIFY(QTest::qWaitFor([&] { return !(firstHang = hungTool()).isEmpty(); }, kRefreshWaitMs));

    // While the refresh waits for the hung tool, the view polls (its timer and the window's
    // updates) and a zero-timer keeps firing.
    QElapsedTimer sinceLast;
    qint64 longestGapMs = 0;
    QTimer heartbeat;
    heartbeat.setInterval(0);
    connect(&heartbeat, &QTimer::timeout, [&] {
        longestGapMs = qMax(longestGapMs, sinceLast.restart());
    });
    QTimer windowUpdate;
    windowUpdate.setInterval(100);
    connect(&windowUpdate, &QTimer::timeout, &view, &QPhoneWidget::update);
    sinceLast.start();
    heartbeat.start();
    windowUpdate.start();
    QTest::qWait(4500);   // two ticks of the view's timer
    heartbeat.stop();
    windowUpdate.stop();
    // Well under the hung tool's 5 s time-out, with room for a loaded machine's scheduling.
    QVERIFY2(longestGapMs < 1000, qPrintable(QStringLiteral("the GUI thread stood still for %1 ms").arg(longestGapMs)));
    QCOMPARE(text(view, "statusDevice"), QString("MOS"));

    // The device goes while its refresh is in flight: its destruction waits for the refresh,
    // which ends the hung tool at its time-out; nothing runs afterwards. The first hang may end
    // any moment now: the device goes during the next one, which has its whole time-out ahead.
    QVERIFY(QTest::qWaitFor([&] {
        const QString hang = hungTool();
        return !hang.isEmpty() && hang != firstHang;
    }, kRefreshWaitMs));
    view.setDevice(FlashDevice2Ptr());
    device.reset();
    QVERIFY(fixture.sim.unplug("S1"));
    // The scan that forgets the device deletes it on this thread.
    const auto forgotten = [&fixture] { return fixture.scan() && !fixture.deviceAt(PortNumber::usbPort("1-2")); };
    QTRY_VERIFY_WITH_TIMEOUT(forgotten(), kRefreshWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(fixture.sim.runningTools(), QStringList(), 10000);
}

void tst_DeviceViewOnSimulator::followsRebootAndUnplug()
{
    DeviceManagerFixture fixture(FlashDevice2::DeviceAllocator);
    QVERIFY(fixture.isValid());
    QPhoneWidget view;
    const DevicePtr device = bindSimulatedPhone(fixture, view, {"--battery", "60"});
    QVERIFY(device);
    QTRY_COMPARE_WITH_TIMEOUT(text(view, "batt_text"), QString("60%"), kRefreshWaitMs);

    QVERIFY(fixture.runTool("adb", {"-s", "S1", "reboot", "bootloader"}));
    QVERIFY(fixture.scan());
    QCOMPARE(fixture.deviceAt(PortNumber::usbPort("1-2")), device);   // detected again, same object
    QCOMPARE(DeviceViewBinding::bindDevice({&view}, device), DeviceViewBinding::Outcome::AlreadyShown);
    QTRY_COMPARE_WITH_TIMEOUT(text(view, "statusDevice"), QString("POS"), kRefreshWaitMs);   // through dataChanged
    QTRY_COMPARE_WITH_TIMEOUT(text(view, "batt_text"), QString("-- %"), kRefreshWaitMs);   // adb does not reach POS
    QCOMPARE(text(view, "port"), QString("<h4><font color=green>Connected on port 1-2</font></h4>"));

    QVERIFY(fixture.sim.unplug("S1"));
    QVERIFY(fixture.scan());
    QTRY_COMPARE_WITH_TIMEOUT(text(view, "port"), QString("<h4><font color=orange><i>Disconnected</i></font></h4>"),
                              kRefreshWaitMs);
    QVERIFY(view.isDisconnected());
    QCOMPARE(view.getPlatformSerial(), QString("S1"));
}

QTEST_MAIN(tst_DeviceViewOnSimulator)
#include "tst_DeviceViewOnSimulator.moc"
