#include "platform/device/AdbDeviceFilter.h"
#include "platform/device/Device.h"
#include "platform/device/DfuDeviceFilter.h"
#include "platform/device/FastbootDeviceFilter.h"
#include "platform/device/SocDeviceFilter.h"

#include <QtTest>

#include <memory>
#include <vector>

namespace {

// What the fake tools answer: "<serial or -> <arguments>" -> output; anything else fails.
QMap<QString, QString>& answers()
{
    static QMap<QString, QString> table;
    return table;
}

int fakeProbe(const QString& tool, const Device* device, const QStringList& arguments, QString& output)
{
    const QString key = tool + QLatin1Char(' ') + (device ? device->getSerial() : QStringLiteral("-"))
                        + QLatin1Char(' ') + arguments.join(QLatin1Char(' '));
    if (!answers().contains(key))
        return 1;
    output = answers().value(key);
    return 0;
}

int fakeAdb(const Device* device, const QStringList& arguments, int, QString& output)
{
    return fakeProbe(QStringLiteral("adb"), device, arguments, output);
}

int fakeFastboot(const Device* device, const QStringList& arguments, int, QString& output)
{
    return fakeProbe(QStringLiteral("fastboot"), device, arguments, output);
}

// The chain start-up builds: SoC, fastboot, adb, DFU.
struct Chain
{
    Chain()
    {
        auto fastbootFilter = std::make_unique<FastbootDeviceFilter>(fakeFastboot, nullptr);
        auto adbFilter = std::make_unique<AdbDeviceFilter>(fakeAdb, nullptr);
        fastboot = fastbootFilter.get();
        adb = adbFilter.get();
        filters.push_back(std::make_unique<SocDeviceFilter>());
        filters.push_back(std::move(fastbootFilter));
        filters.push_back(std::move(adbFilter));
        filters.push_back(std::make_unique<DfuDeviceFilter>());
    }

    bool classify(const UsbDeviceInfo& usb, DummyDevice& device)
    {
        for (const auto& filter : filters)
            filter->beginScan();
        for (const auto& filter : filters) {
            if (filter->filter(usb, device))
                return true;
        }
        return false;
    }

    std::vector<std::unique_ptr<DeviceFilter>> filters;
    FastbootDeviceFilter* fastboot = nullptr;
    AdbDeviceFilter* adb = nullptr;
};

UsbDeviceInfo usbDevice(int vendor, int product, const QString& interface, const QString& serial)
{
    UsbDeviceInfo usb;
    usb.port = QStringLiteral("1-2");
    usb.vendorId = uint16_t(vendor);
    usb.productId = uint16_t(product);
    usb.serial = serial;
    const QStringList parts = interface.split(QLatin1Char('/'));
    UsbInterfaceInfo info;
    info.interfaceClass = uint8_t(parts.at(0).toUInt(nullptr, 16));
    info.subClass = uint8_t(parts.at(1).toUInt(nullptr, 16));
    info.protocol = uint8_t(parts.at(2).toUInt(nullptr, 16));
    usb.interfaces.append(info);
    return usb;
}

} // namespace

class tst_DeviceFilter : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void classifiesUsbDevices_data();
    void classifiesUsbDevices();
    void otherDevicesAreIgnored();
    void userVendorIdCountsAsInHousePlatform();
    void adbListsNetworkDevices();
    void serialConverterAppliesToTreeAndListing();
};

void tst_DeviceFilter::init()
{
    answers().clear();
}

void tst_DeviceFilter::classifiesUsbDevices_data()
{
    QTest::addColumn<int>("vendor");
    QTest::addColumn<int>("product");
    QTest::addColumn<QString>("interface");
    QTest::addColumn<QStringList>("tools");   // "key=output" entries of the fake tools
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("platform");

    const QString adbListed = "adb - devices=List of devices attached\nS1\tdevice\n";
    QTest::newRow("adb device: main OS") << 0x18d1 << 0x4ee7 << "ff/42/01"
        << QStringList{adbListed, "adb S1 shell getprop ro.bootmode=normal\n"}
        << int(DeviceKind::Adb) << int(DeviceState::MainOs) << int(DevicePlatform::GenericAndroid);
    QTest::newRow("adb device in charger: COS") << 0x8087 << 0x4ee7 << "ff/42/01"
        << QStringList{adbListed, "adb S1 shell getprop ro.bootmode=charger\n"}
        << int(DeviceKind::Adb) << int(DeviceState::Cos) << int(DevicePlatform::ZorvikAndroid);
    QTest::newRow("adb recovery") << 0x04e8 << 0x4ee7 << "ff/42/01"
        << QStringList{"adb - devices=List of devices attached\nS1\trecovery\n"}
        << int(DeviceKind::Adb) << int(DeviceState::RecoveryOs) << int(DevicePlatform::SamsungAndroid);
    QTest::newRow("adb unauthorized") << 0x18d1 << 0x4ee7 << "ff/42/01"
        << QStringList{"adb - devices=List of devices attached\nS1\tunauthorized\n"}
        << int(DeviceKind::Adb) << int(DeviceState::Unknown) << int(DevicePlatform::GenericAndroid);
    QTest::newRow("adb not listed") << 0x18d1 << 0x4ee7 << "ff/42/01" << QStringList()
        << int(DeviceKind::Adb) << int(DeviceState::Unknown) << int(DevicePlatform::GenericAndroid);

    const QString fastbootListed = "fastboot - devices=S1\tfastboot\n";
    QTest::newRow("fastboot provisioning") << 0x18d1 << 0x4ee0 << "ff/42/03"
        << QStringList{fastbootListed, "fastboot S1 getvar boot-mode=boot-mode: provisioning\nFinished. Total time: 0.001s\n"}
        << int(DeviceKind::Fastboot) << int(DeviceState::ProvisioningOs) << int(DevicePlatform::GenericAndroid);
    QTest::newRow("fastboot test mode") << 0x8087 << 0x4ee0 << "ff/42/03"
        << QStringList{fastbootListed, "fastboot S1 getvar boot-mode=boot-mode: test\n"}
        << int(DeviceKind::Fastboot) << int(DeviceState::Tos) << int(DevicePlatform::ZorvikAndroid);
    QTest::newRow("fastboot without boot-mode variable") << 0x18d1 << 0x4ee0 << "ff/42/03"
        << QStringList{fastbootListed, "fastboot S1 getvar boot-mode=getvar:boot-mode FAILED (remote: 'GetVar Variable Not found')\n"}
        << int(DeviceKind::Fastboot) << int(DeviceState::ProvisioningOs) << int(DevicePlatform::GenericAndroid);
    QTest::newRow("fastboot not listed") << 0x18d1 << 0x4ee0 << "ff/42/03" << QStringList()
        << int(DeviceKind::Fastboot) << int(DeviceState::Unknown) << int(DevicePlatform::GenericAndroid);
    QTest::newRow("fastboot DnX OS id") << 0x8087 << 0x0a65 << "ff/42/03" << QStringList()
        << int(DeviceKind::Fastboot) << int(DeviceState::DnxOs) << int(DevicePlatform::ZorvikAndroid);
    QTest::newRow("SoC download mode") << 0x8087 << 0x0a82 << "ff/ff/ff" << QStringList()
        << int(DeviceKind::Soc) << int(DeviceState::DnxFirmware) << int(DevicePlatform::ZorvikSoc);
    QTest::newRow("DFU interface") << 0x0483 << 0xdf11 << "fe/01/02" << QStringList()
        << int(DeviceKind::Dfu) << int(DeviceState::DnxFirmware) << int(DevicePlatform::Generic);
}

void tst_DeviceFilter::classifiesUsbDevices()
{
    QFETCH(int, vendor);
    QFETCH(int, product);
    QFETCH(QString, interface);
    QFETCH(QStringList, tools);
    QFETCH(int, kind);
    QFETCH(int, state);
    QFETCH(int, platform);
    for (const QString& entry : tools)
        answers().insert(entry.section('=', 0, 0), entry.section('=', 1));

    Chain chain;
    DummyDevice device;
    QVERIFY(chain.classify(usbDevice(vendor, product, interface, "S1"), device));
    QCOMPARE(int(device.getKind()), kind);
    QCOMPARE(int(device.getState()), state);
    QCOMPARE(int(device.getPlatform()), platform);
    QCOMPARE(device.getSerial(), QString("S1"));
    QCOMPARE(device.getPort().getConnectionType(), int(PortNumber::UsbConnection));
    QCOMPARE(device.getPort().toString(), QString("1-2"));
    QCOMPARE(device.getVendorId(), uint16_t(vendor));
    QVERIFY(device.isConnected());
}

void tst_DeviceFilter::otherDevicesAreIgnored()
{
    Chain chain;
    DummyDevice device;
    QVERIFY(!chain.classify(usbDevice(0x046d, 0xc077, "03/01/02", "MOUSE"), device));   // a mouse
    QVERIFY(!chain.classify(usbDevice(0x18d1, 0x4ee1, "ff/42/02", "S1"), device));      // neither adb nor fastboot
}

void tst_DeviceFilter::userVendorIdCountsAsInHousePlatform()
{
    answers().insert("adb - devices", "S1\tdevice\n");
    Chain chain;
    DummyDevice device;
    QVERIFY(chain.classify(usbDevice(0x1234, 0x0001, "ff/42/01", "S1"), device));
    QCOMPARE(device.getPlatform(), DevicePlatform::GenericAndroid);
    chain.adb->setUserVID(0x1234);
    QVERIFY(chain.classify(usbDevice(0x1234, 0x0001, "ff/42/01", "S1"), device));
    QCOMPARE(device.getPlatform(), DevicePlatform::ZorvikAndroid);
}

void tst_DeviceFilter::adbListsNetworkDevices()
{
    answers().insert("adb - devices", "* daemon started successfully\nList of devices attached\n"
                                      "127.0.0.1:5555\tdevice\nUSB1\tdevice\n[::1]:5556\toffline\n");
    answers().insert("adb 127.0.0.1:5555 shell getprop ro.bootmode", "normal\n");
    AdbDeviceFilter filter(fakeAdb, nullptr);
    filter.beginScan();
    QList<DummyDevice> devices;
    filter.addOtherDevices(devices, [](const PortNumber& port) { return port.toString() == "[::1]:5556"; });
    QCOMPARE(devices.size(), 1);   // the USB serial is no address; the blocked port is left alone
    QCOMPARE(devices.at(0).getSerial(), QString("127.0.0.1:5555"));
    QCOMPARE(devices.at(0).getPort().getConnectionType(), int(PortNumber::NetworkConnection));
    QCOMPARE(devices.at(0).getState(), DeviceState::MainOs);
}

void tst_DeviceFilter::serialConverterAppliesToTreeAndListing()
{
    answers().insert("adb - devices", "s1\tdevice\n");
    AdbDeviceFilter filter(fakeAdb, [](const QString& serial) { return serial.toLower(); });
    filter.beginScan();
    DummyDevice device;
    QVERIFY(filter.filter(usbDevice(0x18d1, 0x4ee7, "ff/42/01", "S1"), device));
    QCOMPARE(device.getSerial(), QString("s1"));
    QCOMPARE(device.getState(), DeviceState::MainOs);
    QCOMPARE(DeviceFilter::ToLocal8BitsConverter("ABC-123"), QString("ABC-123"));
}

QTEST_APPLESS_MAIN(tst_DeviceFilter)
#include "tst_DeviceFilter.moc"
