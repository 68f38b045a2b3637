#include <QtTest>

#include <cstring>

#include "tests/usbtree/UsbTestSupport.h"

// Device records and port addresses made from tree nodes.
class tst_DeviceRecord : public QObject
{
    Q_OBJECT

private slots:
    void speedSelectsTheAddressField_data();
    void speedSelectsTheAddressField();
    void idsReadLikeAtol_data();
    void idsReadLikeAtol();
    void textsKeepEmptyApartFromAbsent();
    void secondRootHubPortThree();
    void pathWithoutPortNumbers();
    void deepPathIsCutAtSevenPorts();
};

namespace {

// Root entry, root hub with "PortNum" 1, device on port 3 with the given properties.
struct SmallTree
{
    SmallTree()
    {
        root = new USBTree;
        root->name = "Root";
        root->klass = "IORegistryEntry";
        root->depth = 0;
        root->properties["PortNum"] = "9";  // ignored on the registry's own entry
        USBTree* rootHub = new USBTree;
        rootHub->klass = "IOUSBRootHubDevice";
        rootHub->depth = 1;
        rootHub->parent = root;
        rootHub->properties["PortNum"] = "1";
        root->children["hub"] = rootHub;
        device = new USBTree;
        device->name = "Phone";
        device->klass = "IOUSBDevice";
        device->depth = 2;
        device->parent = rootHub;
        device->properties["PortNum"] = "3";
        rootHub->children["device"] = device;
        tree.reset(root);
    }
    USBTreePtr tree;
    USBTree* root = nullptr;
    USBTree* device = nullptr;
};

} // namespace

void tst_DeviceRecord::speedSelectsTheAddressField_data()
{
    QTest::addColumn<QString>("deviceSpeed");  // null: no "Device Speed" property
    QTest::addColumn<uint>("speed");
    QTest::newRow("super") << "3" << 2u;
    QTest::newRow("high") << "2" << 1u;
    QTest::newRow("full") << "1" << 0u;
    QTest::newRow("super plus") << "4" << 0u;
    QTest::newRow("absent") << QString() << 0u;
}

void tst_DeviceRecord::speedSelectsTheAddressField()
{
    QFETCH(QString, deviceSpeed);
    QFETCH(uint, speed);
    SmallTree small;
    if (!deviceSpeed.isNull())
        small.device->properties["Device Speed"] = deviceSpeed.toStdString();
    Records records(small.tree.get());
    QCOMPARE(records.size(), 1);
    const PortscopeDeviceProperties& record = records[0];
    QCOMPARE(record.speed, speed);
    QCOMPARE(record.isUsb3, speed == 2 ? 1u : 0u);
    const QString address = QStringLiteral("01 03 00 00 00 00 00 02");
    const QString zero = QStringLiteral("00 00 00 00 00 00 00 00");
    QCOMPARE(hexBytes(record.usb3Address), speed == 2 ? address : zero);
    QCOMPARE(hexBytes(record.usb2Address), speed == 2 ? zero : address);
    QCOMPARE(hexBytes(record.hubAddress), QStringLiteral("01 03 00 00 00 00 00 01"));
}

void tst_DeviceRecord::idsReadLikeAtol_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("id");
    QTest::newRow("decimal") << "6353" << 6353;
    QTest::newRow("above 16 bits keeps the low bits") << "70000" << 4464;
    QTest::newRow("leading blanks") << "  42" << 42;
    QTest::newRow("hex text stops at x") << "0x18d1" << 0;
    QTest::newRow("not a number") << "abc" << 0;
    QTest::newRow("negative wraps") << "-1" << 65535;
}

void tst_DeviceRecord::idsReadLikeAtol()
{
    QFETCH(QString, value);
    QFETCH(int, id);
    SmallTree small;
    small.device->properties["idVendor"] = value.toStdString();
    small.device->properties["idProduct"] = value.toStdString();
    Records records(small.tree.get());
    QCOMPARE(int(records[0].vendorId), id);
    QCOMPARE(int(records[0].productId), id);
}

void tst_DeviceRecord::textsKeepEmptyApartFromAbsent()
{
    SmallTree small;
    small.device->properties["USB Serial Number"] = "";
    small.device->properties["USB Vendor Name"] = "Acme, <Labs> @ 1 = 2";
    small.device->properties["locationID"] = "18939904";
    {
        Records records(small.tree.get());
        QCOMPARE(text(records[0].serialNumber), QStringLiteral(""));
        QCOMPARE(text(records[0].vendorName), QStringLiteral("Acme, <Labs> @ 1 = 2"));
        QCOMPARE(text(records[0].productName), QStringLiteral("Phone"));
        QCOMPARE(text(records[0].locationId), QStringLiteral("18939904"));
        QCOMPARE(records[0].reserved, uint64_t(0));
    }
    small.device->name.clear();
    small.device->properties.erase("USB Serial Number");
    small.device->properties.erase("locationID");
    Records records(small.tree.get());
    QCOMPARE(text(records[0].serialNumber), QStringLiteral("<null>"));
    QCOMPARE(text(records[0].productName), QStringLiteral("<null>"));
    QCOMPARE(text(records[0].locationId), QStringLiteral("<null>"));
}

void tst_DeviceRecord::secondRootHubPortThree()
{
    USBTreePtr tree = parseFile(QFINDTESTDATA("data/registry-two-buses.txt"));
    QVERIFY(tree);
    Records records(tree.get());
    QCOMPARE(records.size(), 4);

    const PortscopeDeviceProperties& flash = records[0];
    QCOMPARE(text(flash.productName), QStringLiteral("Flash Drive"));
    QCOMPARE(flash.speed, 2u);
    QCOMPARE(hexBytes(flash.usb3Address), QStringLiteral("00 01 00 00 00 00 00 02"));
    QCOMPARE(text(flash.serialNumber), QStringLiteral("AA00000000123"));
    QCOMPARE(int(flash.vendorId), 2385);
    QCOMPARE(text(flash.vendorName), QStringLiteral("Kingston"));

    const PortscopeDeviceProperties& android = records[1];
    QCOMPARE(hexBytes(android.usb2Address), QStringLiteral("01 03 02 00 00 00 00 03"));
    QCOMPARE(hexBytes(android.hubAddress), QStringLiteral("01 03 02 00 00 00 00 02"));
    QCOMPARE(text(android.locationId), QStringLiteral("344137728"));

    const PortscopeDeviceProperties& hub = records[3];
    QCOMPARE(text(hub.productName), QStringLiteral("USB2.0 Hub"));
    QCOMPARE(hub.speed, 1u);
    QCOMPARE(hexBytes(hub.usb2Address), QStringLiteral("01 03 00 00 00 00 00 02"));
    QCOMPARE(hexBytes(hub.hubAddress), QStringLiteral("01 03 00 00 00 00 00 01"));
    QCOMPARE(hexBytes(hub.usb3Address), QStringLiteral("00 00 00 00 00 00 00 00"));
}

void tst_DeviceRecord::pathWithoutPortNumbers()
{
    USBTreePtr tree(parseUsbTree("+-o Gadget@1  <class IOUSBDevice, id 1>\n  {\n    \"Device Speed\" = 2\n  }\n"));
    QVERIFY(tree);
    QCOMPARE(hexBytes(getUSBAddress(tree.get())), QStringLiteral("00 00 00 00 00 00 00 00"));
    QCOMPARE(hexBytes(getUSBAddress(nullptr)), QStringLiteral("00 00 00 00 00 00 00 00"));
    Records records(tree.get());
    QCOMPARE(records.size(), 1);
    QCOMPARE(hexBytes(records[0].hubAddress), QStringLiteral("00 00 00 00 00 00 00 ff"));
}

void tst_DeviceRecord::deepPathIsCutAtSevenPorts()
{
    USBTreePtr tree = parseFile(QFINDTESTDATA("data/registry-deep.txt"));
    QVERIFY(tree);
    Records records(tree.get());
    QCOMPARE(records.size(), 8);
    // Deepest first: Level 8 sits on nine port numbers.
    QCOMPARE(text(records[0].productName), QStringLiteral("Level 8"));
    QCOMPARE(hexBytes(records[0].usb2Address), QStringLiteral("00 01 02 03 04 05 06 07"));
    QCOMPARE(hexBytes(records[0].hubAddress), QStringLiteral("00 01 02 03 04 05 06 06"));
    QCOMPARE(hexBytes(records[0].usb3Address), QStringLiteral("00 00 00 00 00 00 00 00"));
    QCOMPARE(records[0].isUsb3, 0u);
    QCOMPARE(hexBytes(records[2].usb2Address), QStringLiteral("00 01 02 03 04 05 06 07"));
    QCOMPARE(text(records[3].productName), QStringLiteral("Level 5"));
    QCOMPARE(hexBytes(records[3].usb2Address), QStringLiteral("00 01 02 03 04 05 00 06"));
}

QTEST_GUILESS_MAIN(tst_DeviceRecord)
#include "tst_DeviceRecord.moc"
