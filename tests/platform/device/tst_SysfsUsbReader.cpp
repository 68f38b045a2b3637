#include "platform/device/SysfsUsbReader.h"

#include <QtTest>

namespace {

void writeFile(const QString& path, const QString& text)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    file.write(text.toUtf8() + '\n');
}

// A device folder with its attributes, and optionally one interface inside it.
void writeDevice(const QString& folder, const QString& vendor, const QString& product,
                 const QString& serial)
{
    QVERIFY(QDir().mkpath(folder));
    writeFile(folder + "/idVendor", vendor);
    writeFile(folder + "/idProduct", product);
    if (!serial.isNull())
        writeFile(folder + "/serial", serial);
    writeFile(folder + "/manufacturer", "Maker");
    writeFile(folder + "/product", "Board");
}

void writeInterface(const QString& folder, const QString& cls, const QString& sub, const QString& proto)
{
    QVERIFY(QDir().mkpath(folder));
    writeFile(folder + "/bInterfaceClass", cls);
    writeFile(folder + "/bInterfaceSubClass", sub);
    writeFile(folder + "/bInterfaceProtocol", proto);
}

} // namespace

class tst_SysfsUsbReader : public QObject
{
    Q_OBJECT

private slots:
    void readsDevicesThroughLinksInPortOrder();
    void rootFollowsTheEnvironment();
    void superSpeedPortsTakeTheirHighSpeedPeer();
};

void tst_SysfsUsbReader::readsDevicesThroughLinksInPortOrder()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString real = dir.filePath("devices");
    const QString root = dir.filePath("usb");
    QVERIFY(QDir().mkpath(root));

    // As the kernel has it: real folders elsewhere, symbolic links in the root; interfaces
    // inside the device folder and linked beside it.
    writeDevice(real + "/usb1", "1d6b", "0002", "0000:00:14.0");
    writeDevice(real + "/usb1/1-10", "18d1", "4ee7", "ABC");
    writeInterface(real + "/usb1/1-10/1-10:1.0", "ff", "42", "01");
    writeDevice(real + "/usb1/1-2", "8087", "0a82", "SOC1");
    writeInterface(real + "/usb1/1-2/1-2:1.0", "ff", "ff", "ff");
    writeInterface(real + "/usb1/1-2/1-2:1.1", "fe", "01", "02");
    writeDevice(real + "/usb1/1-3", "zz", "0001", "BROKEN");   // unreadable vendor: skipped
    writeDevice(real + "/usb1/1-4", "18d1", "0001", "HALF");
    QVERIFY(QFile::remove(real + "/usb1/1-4/idProduct"));     // half written: skipped, never 0
    for (const char* name : {"usb1", "usb1/1-10", "usb1/1-2", "usb1/1-3", "usb1/1-4"})
        QVERIFY(QFile::link(real + "/" + name, root + "/" + QFileInfo(QString(name)).fileName()));
    QVERIFY(QFile::link(real + "/usb1/1-2/1-2:1.0", root + "/1-2:1.0"));

    const QList<UsbDeviceInfo> devices = SysfsUsbReader::read(root);
    QCOMPARE(devices.size(), 2);
    QCOMPARE(devices.at(0).port, QString("1-2"));
    QCOMPARE(devices.at(0).vendorId, uint16_t(0x8087));
    QCOMPARE(devices.at(0).productId, uint16_t(0x0a82));
    QCOMPARE(devices.at(0).serial, QString("SOC1"));
    QCOMPARE(devices.at(0).interfaces.size(), 2);   // the linked interface counts once
    QVERIFY(devices.at(0).hasInterface(0xfe, 0x01, 0x02));
    QVERIFY(!devices.at(0).hasInterface(0xfe, 0x01, 0x01));
    QVERIFY(!devices.at(0).hasInterface(0xff, 0x42));
    QCOMPARE(devices.at(1).port, QString("1-10"));
    QCOMPARE(devices.at(1).manufacturer, QString("Maker"));
    QVERIFY(devices.at(1).hasInterface(0xff, 0x42, 0x01));
    QVERIFY(!devices.at(1).hasInterface(0xff, 0x42, 0x03));

    QVERIFY(SysfsUsbReader::read(dir.filePath("absent")).isEmpty());
}

void tst_SysfsUsbReader::rootFollowsTheEnvironment()
{
    const QByteArray previous = qgetenv("QLN_USB_SYSFS_ROOT");
    qputenv("QLN_USB_SYSFS_ROOT", "/tmp/fake-usb");
    QCOMPARE(SysfsUsbReader::defaultRoot(), QString("/tmp/fake-usb"));
    qunsetenv("QLN_USB_SYSFS_ROOT");
    QCOMPARE(SysfsUsbReader::defaultRoot(), QString("/sys/bus/usb/devices"));
    if (!previous.isNull())
        qputenv("QLN_USB_SYSFS_ROOT", previous);
}

void tst_SysfsUsbReader::superSpeedPortsTakeTheirHighSpeedPeer()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString root = dir.path();
    // Root hubs usb1 (high-speed) and usb2 (SuperSpeed) share connector 2; a USB 3 hub behind it
    // shows as 1-2 and 2-2, whose port 4 is again one connector.
    writeDevice(root + "/usb1", "1d6b", "0002", "hcd");
    writeDevice(root + "/usb2", "1d6b", "0003", "hcd");
    for (const char* port : {"/usb1/1-0:1.0/usb1-port2", "/usb2/2-0:1.0/usb2-port2", "/usb1/1-0:1.0/usb1-port3",
                             "/1-2/1-2:1.0/1-2-port4", "/2-2/2-2:1.0/2-2-port4"})
        QVERIFY(QDir().mkpath(root + port));
    QVERIFY(QFile::link("../../../usb2/2-0:1.0/usb2-port2", root + "/usb1/1-0:1.0/usb1-port2/peer"));
    QVERIFY(QFile::link("../../../usb1/1-0:1.0/usb1-port2", root + "/usb2/2-0:1.0/usb2-port2/peer"));
    QVERIFY(QFile::link("../../../2-2/2-2:1.0/2-2-port4", root + "/1-2/1-2:1.0/1-2-port4/peer"));
    QVERIFY(QFile::link("../../../1-2/1-2:1.0/1-2-port4", root + "/2-2/2-2:1.0/2-2-port4/peer"));
    writeDevice(root + "/1-2", "05e3", "0610", QString());          // the hub, high-speed side
    writeDevice(root + "/2-2", "05e3", "0620", QString());          // the hub, SuperSpeed side
    writeDevice(root + "/2-2.4", "18d1", "4ee7", "PHONE");          // SuperSpeed behind the hub
    writeDevice(root + "/2-3", "18d1", "4ee7", "LONE");             // a SuperSpeed port without peer

    QStringList ports;
    for (const UsbDeviceInfo& device : SysfsUsbReader::read(root))
        ports << device.port + "=" + (device.serial.isEmpty() ? device.product : device.serial);
    QCOMPARE(ports, QStringList({"1-2=Board", "1-2=Board", "1-2.4=PHONE", "2-3=LONE"}));
}

QTEST_APPLESS_MAIN(tst_SysfsUsbReader)
#include "tst_SysfsUsbReader.moc"
