// A device view bound as the window binds it, over the device simulator: the real scanner, the
// real property reader and the fake adb and fastboot.

#include "ui/DeviceViewBinding.h"
#include "ui/QPhoneWidget.h"

#include "DeviceManagerFixture.h"

#include <QLabel>
#include <QtTest>

class tst_DeviceViewOnSimulator : public QObject
{
    Q_OBJECT

private slots:
    void showsTheBattery_data();
    void showsTheBattery();
    void followsRebootAndUnplug();
};

namespace {

QString text(const QPhoneWidget& view, const char* name)
{
    return view.findChild<QLabel*>(QLatin1String(name))->text();
}

} // namespace

void tst_DeviceViewOnSimulator::showsTheBattery_data()
{
    QTest::addColumn<QString>("level");   // the simulator's battery knob; empty: no level line
    QTest::addColumn<QString>("shown");
    QTest::newRow("14") << "14" << "14%";
    QTest::newRow("95") << "95" << "95%";
    QTest::newRow("101") << "101" << "-- %";
    QTest::newRow("no level") << "" << "-- %";
}

void tst_DeviceViewOnSimulator::showsTheBattery()
{
    QFETCH(QString, level);
    QFETCH(QString, shown);
    DeviceManagerFixture fixture(FlashDevice2::DeviceAllocator);
    QVERIFY(fixture.isValid());
    QVERIFY(fixture.sim.addDevice("S1", "1-2", "mos", {"--vendor", "8087", "--battery", level}));
    QVERIFY(fixture.scan());
    QPhoneWidget view;
    const DevicePtr device = fixture.deviceAt(PortNumber::usbPort("1-2"));
    QCOMPARE(DeviceViewBinding::bindDevice({&view}, device), DeviceViewBinding::Outcome::Bound);
    QCOMPARE(text(view, "batt_text"), shown);
    QCOMPARE(text(view, "statusDevice"), QString("MOS"));
}

void tst_DeviceViewOnSimulator::followsRebootAndUnplug()
{
    DeviceManagerFixture fixture(FlashDevice2::DeviceAllocator);
    QVERIFY(fixture.isValid());
    QVERIFY(fixture.sim.addDevice("S1", "1-2", "mos", {"--vendor", "8087", "--battery", "60"}));
    QVERIFY(fixture.scan());
    QPhoneWidget view;
    const DevicePtr device = fixture.deviceAt(PortNumber::usbPort("1-2"));
    DeviceViewBinding::bindDevice({&view}, device);
    QCOMPARE(text(view, "batt_text"), QString("60%"));

    QVERIFY(fixture.runTool("adb", {"-s", "S1", "reboot", "bootloader"}));
    QVERIFY(fixture.scan());
    QCOMPARE(fixture.deviceAt(PortNumber::usbPort("1-2")), device);   // detected again, same object
    QCOMPARE(DeviceViewBinding::bindDevice({&view}, device), DeviceViewBinding::Outcome::AlreadyShown);
    QTRY_COMPARE(text(view, "statusDevice"), QString("POS"));          // through dataChanged
    QCOMPARE(text(view, "batt_text"), QString("-- %"));                 // adb does not reach POS
    QCOMPARE(text(view, "port"), QString("<h4><font color=green>Connected on port 1-2</font></h4>"));

    QVERIFY(fixture.sim.unplug("S1"));
    QVERIFY(fixture.scan());
    QTRY_COMPARE(text(view, "port"), QString("<h4><font color=orange><i>Disconnected</i></font></h4>"));
    QVERIFY(view.isDisconnected());
    QCOMPARE(view.getPlatformSerial(), QString("S1"));
}

QTEST_MAIN(tst_DeviceViewOnSimulator)
#include "tst_DeviceViewOnSimulator.moc"
