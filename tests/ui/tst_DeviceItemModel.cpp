// The device list model fed as the device manager feeds it: which devices get a row, and that a
// port never has two.

#include "ui/DeviceItemModel.h"

#include <QAbstractItemModelTester>
#include <QtTest>

class tst_DeviceItemModel : public QObject
{
    Q_OBJECT

private slots:
    void listsUsableDevicesOnly_data();
    void listsUsableDevicesOnly();
    void anUpdateMovesTheRowToTheEnd();
    void lossRemovesOnlyItsPort();
};

namespace {

DevicePtr makeDevice(const QString& serial, const PortNumber& port, DeviceState state,
                     bool connected = true)
{
    DummyDevice data;
    data.setPort(port);
    data.setSerial(serial);
    data.setState(state);
    data.setConnected(connected);
    return DevicePtr(new Device(data, nullptr));
}

QStringList serials(const QStandardItemModel& model)
{
    QStringList texts;
    for (int row = 0; row < model.rowCount(); ++row)
        texts << model.item(row)->text();
    return texts;
}

} // namespace

void tst_DeviceItemModel::listsUsableDevicesOnly_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("network");
    QTest::addColumn<bool>("connected");
    QTest::addColumn<bool>("listed");
    QTest::newRow("unknown state") << 0 << false << true << false;
    QTest::newRow("dnx firmware") << 1 << false << true << true;
    QTest::newRow("dnx os") << 2 << false << true << false;
    QTest::newRow("pos") << 3 << false << true << true;
    QTest::newRow("mos") << 4 << false << true << true;
    QTest::newRow("ros") << 5 << false << true << false;
    QTest::newRow("tos") << 7 << false << true << false;
    QTest::newRow("mos over the network") << 4 << true << true << false;
    QTest::newRow("mos, not connected") << 4 << false << false << false;
}

void tst_DeviceItemModel::listsUsableDevicesOnly()
{
    QFETCH(int, state);
    QFETCH(bool, network);
    QFETCH(bool, connected);
    QFETCH(bool, listed);
    DeviceItemModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    const PortNumber port = network ? PortNumber::networkPort("10.0.0.2:5555") : PortNumber::usbPort("1-2");
    // Listed before: an update that makes the device unusable takes its row away.
    model.onDeviceUpdate(makeDevice("S1", port, DeviceState::MainOs));
    model.onDeviceUpdate(makeDevice("S1", port, DeviceState(state), connected));
    QCOMPARE(model.rowCount(), listed ? 1 : 0);
    if (listed) {
        QCOMPARE(model.item(0)->text(), QString("S1"));
        QCOMPARE(model.portAt(0), port);
        QCOMPARE(model.item(0)->data(Qt::UserRole).userType(), qMetaTypeId<PortNumber>());
    }
}

void tst_DeviceItemModel::anUpdateMovesTheRowToTheEnd()
{
    DeviceItemModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.onDeviceUpdate(makeDevice("A", PortNumber::usbPort("1-1"), DeviceState::MainOs));
    model.onDeviceUpdate(makeDevice("B", PortNumber::usbPort("1-2"), DeviceState::MainOs));
    model.onDeviceUpdate(makeDevice("A2", PortNumber::usbPort("1-1"), DeviceState::ProvisioningOs));
    QCOMPARE(serials(model), QStringList({"B", "A2"}));
    model.onDeviceUpdate(makeDevice("A3", PortNumber::usbPort("1-1"), DeviceState::ProvisioningOs));
    QCOMPARE(serials(model), QStringList({"B", "A3"}));
}

void tst_DeviceItemModel::lossRemovesOnlyItsPort()
{
    DeviceItemModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    const DevicePtr a = makeDevice("A", PortNumber::usbPort("1-1"), DeviceState::MainOs);
    model.onDeviceUpdate(a);
    model.onDeviceUpdate(makeDevice("B", PortNumber::usbPort("1-2"), DeviceState::MainOs));
    model.onDeviceLost(makeDevice("C", PortNumber::usbPort("1-3"), DeviceState::MainOs));
    QCOMPARE(serials(model), QStringList({"A", "B"}));
    model.onDeviceLost(a);
    QCOMPARE(serials(model), QStringList({"B"}));
}

QTEST_MAIN(tst_DeviceItemModel)
#include "tst_DeviceItemModel.moc"
