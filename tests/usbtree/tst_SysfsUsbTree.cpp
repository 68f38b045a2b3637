#include <QtTest>

#include <cstring>

#include "tests/usbtree/UsbTestSupport.h"
#include "usbtree/SysfsUsbTree.h"
#include "usbtree/UsbTreeScan.h"

// The USB tree built from a fake sysfs tree, compared with what the registry text gives.
class tst_SysfsUsbTree : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void sameRecordsAsRegistryText();
    void rootHubsNumberedInBusOrder();
    void deviceTextStaysWhole();
    void devicesAreNeverMerged();
    void unreadableRootGivesNoTree();
    void scanReadsTheEnvironmentRoot();

private:
    // One device folder under devices/ with its attribute files, linked from bus/usb/devices/
    // as the kernel does. Each attribute is written with the line end sysfs adds.
    void addEntry(const QString& entry, const QMap<QString, QString>& attributes);
    void addHubTree();
    std::string root() const { return m_devices.toStdString(); }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_devices;
};

void tst_SysfsUsbTree::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
    m_devices = m_dir->filePath(QStringLiteral("bus/usb/devices"));
    QVERIFY(QDir().mkpath(m_devices));
}

void tst_SysfsUsbTree::addEntry(const QString& entry, const QMap<QString, QString>& attributes)
{
    const QString folder = m_dir->filePath(QStringLiteral("devices/") + entry);
    QVERIFY(QDir().mkpath(folder));
    for (auto it = attributes.begin(); it != attributes.end(); ++it) {
        QFile file(folder + QLatin1Char('/') + it.key());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(it.value().toUtf8() + '\n');
    }
    QVERIFY(QFile::link(folder, m_devices + QLatin1Char('/') + entry));
}

// Bus 1: hub on port 2 with a nameless phone on port 1 and a USB 3 drive on port 3; bus 2 empty.
void tst_SysfsUsbTree::addHubTree()
{
    addEntry("usb1", {{"product", "xHCI Host Controller"}, {"manufacturer", "Linux 6.1.0 xhci-hcd"},
                      {"idVendor", "1d6b"}, {"idProduct", "0002"}, {"speed", "480"}, {"bDeviceClass", "09"}});
    addEntry("usb2", {{"product", "xHCI Host Controller"}, {"idVendor", "1d6b"}, {"idProduct", "0003"},
                      {"speed", "5000"}, {"bDeviceClass", "09"}});
    addEntry("1-0:1.0", {{"bInterfaceClass", "09"}});
    addEntry("1-2", {{"product", "USB2.0 Hub"}, {"manufacturer", "GenesysLogic"}, {"idVendor", "05e3"},
                     {"idProduct", "0608"}, {"speed", "480"}, {"bDeviceClass", "09"}});
    addEntry("1-2:1.0", {{"bInterfaceClass", "09"}});
    addEntry("1-2.1", {{"serial", "0123456789ABCDEF"}, {"manufacturer", "Google"}, {"idVendor", "18d1"},
                       {"idProduct", "4ee7"}, {"speed", "480"}, {"bDeviceClass", "00"}});
    addEntry("1-2.3", {{"product", "Flash Drive"}, {"serial", "AA00000000123"}, {"manufacturer", "Kingston"},
                       {"idVendor", "0951"}, {"idProduct", "16a3"}, {"speed", "5000"}, {"bDeviceClass", "00"}});
}

void tst_SysfsUsbTree::sameRecordsAsRegistryText()
{
    addHubTree();
    USBTreePtr fromSysfs(buildSysfsUsbTree(root()));
    USBTreePtr fromText = parseFile(QFINDTESTDATA("data/registry-sysfs-hub.txt"));
    QVERIFY(fromSysfs && fromText);
    QCOMPARE(fromSysfs->name, fromText->name);
    QCOMPARE(fromSysfs->klass, fromText->klass);
    QCOMPARE(fromSysfs->depth, 0);

    Records sysfs(fromSysfs.get());
    Records registry(fromText.get());
    QCOMPARE(sysfs.size(), 2);
    QCOMPARE(registry.size(), 2);
    for (int i = 0; i < 2; ++i) {
        const PortscopeDeviceProperties& a = sysfs[i];
        const PortscopeDeviceProperties& b = registry[i];
        QCOMPARE(hexBytes(a.usb2Address), hexBytes(b.usb2Address));
        QCOMPARE(hexBytes(a.usb3Address), hexBytes(b.usb3Address));
        QCOMPARE(hexBytes(a.hubAddress), hexBytes(b.hubAddress));
        QCOMPARE(a.isUsb3, b.isUsb3);
        QCOMPARE(a.speed, b.speed);
        QCOMPARE(text(a.serialNumber), text(b.serialNumber));
        QCOMPARE(a.vendorId, b.vendorId);
        QCOMPARE(text(a.vendorName), text(b.vendorName));
        QCOMPARE(a.productId, b.productId);
        QCOMPARE(text(a.productName), text(b.productName));
        QCOMPARE(text(a.locationId), text(b.locationId));
    }

    const PortscopeDeviceProperties& phone = sysfs[0];
    QCOMPARE(text(phone.productName), QStringLiteral("<null>"));
    QCOMPARE(hexBytes(phone.usb2Address), QStringLiteral("00 02 01 00 00 00 00 03"));
    QCOMPARE(hexBytes(phone.hubAddress), QStringLiteral("00 02 01 00 00 00 00 02"));
    QCOMPARE(phone.speed, 1u);
    QCOMPARE(int(phone.vendorId), 0x18d1);
    QCOMPARE(int(phone.productId), 0x4ee7);
    QCOMPARE(text(phone.serialNumber), QStringLiteral("0123456789ABCDEF"));
    QCOMPARE(text(phone.locationId), QStringLiteral("18939904"));  // 0x01210000

    const PortscopeDeviceProperties& drive = sysfs[1];
    QCOMPARE(text(drive.productName), QStringLiteral("Flash Drive"));
    QCOMPARE(drive.speed, 2u);
    QCOMPARE(drive.isUsb3, 1u);
    QCOMPARE(hexBytes(drive.usb3Address), QStringLiteral("00 02 03 00 00 00 00 03"));
    QCOMPARE(hexBytes(drive.usb2Address), QStringLiteral("00 00 00 00 00 00 00 00"));
    QCOMPARE(text(drive.vendorName), QStringLiteral("Kingston"));
}

void tst_SysfsUsbTree::rootHubsNumberedInBusOrder()
{
    addEntry("usb10", {{"product", "EHCI Host Controller"}});
    addEntry("usb2", {{"product", "xHCI Host Controller"}});
    addEntry("10-1", {{"product", "Mouse"}});
    USBTreePtr tree(buildSysfsUsbTree(root()));
    QVERIFY(tree);
    QCOMPARE(tree->children.size(), size_t(2));
    USBTree* bus2 = child(tree.get(), "  +-o xHCI Host Controller@02000000");
    USBTree* bus10 = child(tree.get(), "  +-o EHCI Host Controller@0a000000");
    QVERIFY(bus2 && bus10);
    QCOMPARE(bus2->klass, std::string("IOUSBRootHubDevice"));
    QCOMPARE(propertyOf(bus2, "PortNum"), QStringLiteral("0"));
    QCOMPARE(propertyOf(bus10, "PortNum"), QStringLiteral("1"));
    const std::list<USBTree*> devices = getEndDevices(tree.get(), nullptr);
    QCOMPARE(names(devices), QStringList{"Mouse"});
    QCOMPARE(devices.front()->parent, bus10);
    QCOMPARE(hexBytes(getUSBAddress(devices.front())), QStringLiteral("01 01 00 00 00 00 00 02"));
}

void tst_SysfsUsbTree::deviceTextStaysWhole()
{
    const QString product = QStringLiteral("Cam, <HD> @ 4K = \"best\"");
    const QString vendor = QStringLiteral("Acme = Labs, Inc.");
    const QString serial = QStringLiteral("S/N <1>@2, 3 = 4");
    addEntry("usb1", {{"product", "xHCI Host Controller"}});
    addEntry("1-1", {{"product", product}, {"manufacturer", vendor}, {"serial", serial}, {"idVendor", "abcd"}});
    addEntry("1-2", {{"product", "Plain"}, {"idVendor", "1234"}});
    USBTreePtr tree(buildSysfsUsbTree(root()));
    QVERIFY(tree);
    Records records(tree.get());
    QCOMPARE(records.size(), 2);
    QCOMPARE(text(records[0].productName), product);
    QCOMPARE(text(records[0].vendorName), vendor);
    QCOMPARE(text(records[0].serialNumber), serial);
    QCOMPARE(int(records[0].vendorId), 0xabcd);
    QCOMPARE(hexBytes(records[0].usb2Address), QStringLiteral("00 01 00 00 00 00 00 02"));
    QCOMPARE(text(records[1].productName), QStringLiteral("Plain"));
    QCOMPARE(int(records[1].vendorId), 0x1234);
}

void tst_SysfsUsbTree::devicesAreNeverMerged()
{
    // Ports 1 and 17 share a location id digit; the device without a hub has nowhere to hang.
    addEntry("usb1", {{"product", "xHCI Host Controller"}});
    addEntry("1-1", {{"product", "Board"}});
    addEntry("1-17", {{"product", "Board"}});
    addEntry("1-5.2", {{"product", "Orphan"}});
    USBTreePtr tree(buildSysfsUsbTree(root()));
    QVERIFY(tree);
    Records records(tree.get());
    QCOMPARE(records.size(), 2);
    QStringList addresses{hexBytes(records[0].usb2Address), hexBytes(records[1].usb2Address)};
    addresses.sort();
    QCOMPARE(addresses, (QStringList{"00 01 00 00 00 00 00 02", "00 11 00 00 00 00 00 02"}));
}

void tst_SysfsUsbTree::unreadableRootGivesNoTree()
{
    QVERIFY(!buildSysfsUsbTree(m_dir->filePath(QStringLiteral("absent")).toStdString()));
    USBTreePtr empty(buildSysfsUsbTree(root()));
    QVERIFY(empty);
    QVERIFY(empty->children.empty());
}

void tst_SysfsUsbTree::scanReadsTheEnvironmentRoot()
{
    if (QFileInfo::exists(QStringLiteral("/usr/sbin/ioreg")))
        QSKIP("this system has the registry tool; the sysfs tree is not read");
    addHubTree();
    const QByteArray saved = qgetenv("QLN_USB_SYSFS_ROOT");
    qputenv("QLN_USB_SYSFS_ROOT", m_devices.toLocal8Bit());
    USBTreePtr tree(getUsbTree());
    qputenv("QLN_USB_SYSFS_ROOT", saved);
    QVERIFY(tree);
    QCOMPARE(names(getEndDevices(tree.get(), nullptr)), (QStringList{"", "Flash Drive"}));
}

QTEST_GUILESS_MAIN(tst_SysfsUsbTree)
#include "tst_SysfsUsbTree.moc"
