#include "platform/device/AdbDeviceFilter.h"
#include "platform/device/Device.h"
#include "platform/device/DfuDeviceFilter.h"
#include "platform/device/FastbootDeviceFilter.h"
#include "platform/device/SocDeviceFilter.h"

#include <QtTest>

#include <memory>
#include <vector>

namespace {

// What the fake tools answer: "<tool> <serial or -> <arguments>" -> output; anything else fails.
// An answer "!N" exits N with no output.
QMap<QString, QString>& answers()
{
    static QMap<QString, QString> table;
    return table;
}

// Every probe run, as its key.
QStringList& probed()
{
    static QStringList calls;
    return calls;
}

int fakeProbe(const QString& tool, const Device* device, const QStringList& arguments, QString& output)
{
    const QString key = tool + QLatin1Char(' ') + (device ? device->getSerial() : QStringLiteral("-"))
                        + QLatin1Char(' ') + arguments.join(QLatin1Char(' '));
    probed().append(key);
    if (!answers().contains(key))
        return 1;
    const QString answer = answers().value(key);
    if (answer.startsWith(QLatin1Char('!')))
        return answer.mid(1).toInt();
    output = answer;
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
            filter->beginScan(context);
        for (const auto& filter : filters) {
            if (filter->filter(usb, device))
                return true;
        }
        return false;
    }

    DeviceFilter::ScanContext context;
    std::vector<std::unique_ptr<DeviceFilter>> filters;
    FastbootDeviceFilter* fastboot = nullptr;
    AdbDeviceFilter* adb = nullptr;
};

// What the device manager last stored for a device on port 1-2.
DummyDevice stored(DeviceKind kind, DeviceState state, const QString& serial = QStringLiteral("S1"))
{
    DummyDevice data;
    data.setPort(PortNumber::usbPort(QStringLiteral("1-2")));
    data.setKind(kind);
    data.setState(state);
    data.setSerial(serial);
    return data;
}

// A USB device on port 1-2 with the given interfaces ("cls/sub/proto", several joined by ",").
UsbDeviceInfo usbDevice(int vendor, int product, const QString& interfaces, const QString& serial)
{
    UsbDeviceInfo usb;
    usb.port = QStringLiteral("1-2");
    usb.vendorId = uint16_t(vendor);
    usb.productId = uint16_t(product);
    usb.serial = serial;
    for (const QString& interface : interfaces.split(QLatin1Char(','))) {
        const QStringList parts = interface.split(QLatin1Char('/'));
        UsbInterfaceInfo info;
        info.interfaceClass = uint8_t(parts.at(0).toUInt(nullptr, 16));
        info.subClass = uint8_t(parts.at(1).toUInt(nullptr, 16));
        info.protocol = uint8_t(parts.at(2).toUInt(nullptr, 16));
        usb.interfaces.append(info);
    }
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
    void onlyAPositiveAnswerChangesTheState_data();
    void onlyAPositiveAnswerChangesTheState();
    void otherDevicesAreIgnored_data();
    void otherDevicesAreIgnored();
    void userVendorIdCountsAsInHousePlatform();
    void adbListsNetworkDevices();
    void failedListKeepsNetworkDevices();
    void serialConverterMatchesTheToolsSpelling();
};

void tst_DeviceFilter::init()
{
    answers().clear();
    probed().clear();
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

void tst_DeviceFilter::onlyAPositiveAnswerChangesTheState_data()
{
    QTest::addColumn<int>("product");
    QTest::addColumn<QString>("interface");
    QTest::addColumn<QStringList>("tools");   // "key=output" ("key=!N": exits N, prints nothing)
    QTest::addColumn<int>("storedKind");      // what the device manager knows of port 1-2; 0: nothing
    QTest::addColumn<int>("storedState");
    QTest::addColumn<bool>("busy");
    QTest::addColumn<int>("state");

    const int adb = int(DeviceKind::Adb);
    const int fastboot = int(DeviceKind::Fastboot);
    const QString adbListed = "adb - devices=List of devices attached\nS1\tdevice\n";
    const QString adbCharger = "adb S1 shell getprop ro.bootmode=charger\n";
    QTest::newRow("adb list fails: keeps COS") << 0x4ee7 << "ff/42/01" << QStringList{"adb - devices=!1"}
        << adb << int(DeviceState::Cos) << false << int(DeviceState::Cos);
    QTest::newRow("adb list fails, new device: Unknown") << 0x4ee7 << "ff/42/01" << QStringList{"adb - devices=!1"}
        << 0 << 0 << false << int(DeviceState::Unknown);
    QTest::newRow("adb list fails, was in fastboot: Unknown") << 0x4ee7 << "ff/42/01" << QStringList{"adb - devices=!1"}
        << fastboot << int(DeviceState::ProvisioningOs) << false << int(DeviceState::Unknown);
    QTest::newRow("boot mode probe fails: keeps COS") << 0x4ee7 << "ff/42/01" << QStringList{adbListed}
        << adb << int(DeviceState::Cos) << false << int(DeviceState::Cos);
    QTest::newRow("boot mode probe times out: keeps COS") << 0x4ee7 << "ff/42/01"
        << QStringList{adbListed, "adb S1 shell getprop ro.bootmode=!-1"}
        << adb << int(DeviceState::Cos) << false << int(DeviceState::Cos);
    QTest::newRow("boot mode empty: keeps COS") << 0x4ee7 << "ff/42/01"
        << QStringList{adbListed, "adb S1 shell getprop ro.bootmode=\n"}
        << adb << int(DeviceState::Cos) << false << int(DeviceState::Cos);
    QTest::newRow("boot mode probe fails, new device: Main OS") << 0x4ee7 << "ff/42/01" << QStringList{adbListed}
        << 0 << 0 << false << int(DeviceState::MainOs);
    QTest::newRow("boot mode answers: Main OS") << 0x4ee7 << "ff/42/01"
        << QStringList{adbListed, "adb S1 shell getprop ro.bootmode=normal\n"}
        << adb << int(DeviceState::Cos) << false << int(DeviceState::MainOs);
    QTest::newRow("busy adb device: not probed") << 0x4ee7 << "ff/42/01" << QStringList{adbListed, adbCharger}
        << adb << int(DeviceState::MainOs) << true << int(DeviceState::MainOs);
    QTest::newRow("busy adb device, new: Main OS, not probed") << 0x4ee7 << "ff/42/01" << QStringList{adbListed, adbCharger}
        << fastboot << int(DeviceState::ProvisioningOs) << true << int(DeviceState::MainOs);

    const QString fastbootListed = "fastboot - devices=S1\tfastboot\n";
    const QString fastbootProvisioning = "fastboot S1 getvar boot-mode=boot-mode: provisioning\n";
    QTest::newRow("fastboot list fails: keeps TOS") << 0x4ee0 << "ff/42/03" << QStringList{"fastboot - devices=!1"}
        << fastboot << int(DeviceState::Tos) << false << int(DeviceState::Tos);
    QTest::newRow("boot-mode times out: keeps TOS") << 0x4ee0 << "ff/42/03"
        << QStringList{fastbootListed, "fastboot S1 getvar boot-mode=!-1"}
        << fastboot << int(DeviceState::Tos) << false << int(DeviceState::Tos);
    QTest::newRow("boot-mode empty: keeps DnX OS") << 0x4ee0 << "ff/42/03"
        << QStringList{fastbootListed, "fastboot S1 getvar boot-mode=Finished. Total time: 0.001s\n"}
        << fastboot << int(DeviceState::DnxOs) << false << int(DeviceState::DnxOs);
    QTest::newRow("boot-mode empty, was in Main OS: Provisioning OS") << 0x4ee0 << "ff/42/03"
        << QStringList{fastbootListed, "fastboot S1 getvar boot-mode=\n"}
        << adb << int(DeviceState::MainOs) << false << int(DeviceState::ProvisioningOs);
    QTest::newRow("busy fastboot device: not probed") << 0x4ee0 << "ff/42/03" << QStringList{fastbootListed, fastbootProvisioning}
        << fastboot << int(DeviceState::Tos) << true << int(DeviceState::Tos);
}

void tst_DeviceFilter::onlyAPositiveAnswerChangesTheState()
{
    QFETCH(int, product);
    QFETCH(QString, interface);
    QFETCH(QStringList, tools);
    QFETCH(int, storedKind);
    QFETCH(int, storedState);
    QFETCH(bool, busy);
    QFETCH(int, state);
    for (const QString& entry : tools)
        answers().insert(entry.section('=', 0, 0), entry.section('=', 1));

    Chain chain;
    if (storedKind != 0) {
        const DummyDevice last = stored(DeviceKind(storedKind), DeviceState(storedState));
        chain.context.known[last.getPort()] = last;
    }
    chain.context.isBusy = [busy](const PortNumber& port) { return busy && port.toString() == "1-2"; };
    DummyDevice device;
    QVERIFY(chain.classify(usbDevice(0x18d1, product, interface, "S1"), device));
    QCOMPARE(int(device.getState()), state);
    if (busy)
        QVERIFY2(probed().filter(" S1 ").isEmpty(), qPrintable(probed().join(", ")));
}

void tst_DeviceFilter::otherDevicesAreIgnored_data()
{
    QTest::addColumn<int>("vendor");
    QTest::addColumn<QString>("interfaces");
    QTest::newRow("a mouse") << 0x046d << "03/01/02";
    QTest::newRow("neither adb nor fastboot") << 0x18d1 << "ff/42/02";
    // Keyboards and many other peripherals carry a run-time DFU interface beside their function.
    QTest::newRow("keyboard with run-time DFU") << 0x046d << "03/01/01,fe/01/01";
}

void tst_DeviceFilter::otherDevicesAreIgnored()
{
    QFETCH(int, vendor);
    QFETCH(QString, interfaces);
    Chain chain;
    DummyDevice device;
    QVERIFY(!chain.classify(usbDevice(vendor, 0xc077, interfaces, "X1"), device));
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
    DeviceFilter::ScanContext context;
    context.isBlocked = [](const PortNumber& port) { return port.toString() == "[::1]:5556"; };
    filter.beginScan(context);
    QList<DummyDevice> devices;
    filter.addOtherDevices(devices);
    QCOMPARE(devices.size(), 1);   // the USB serial is no address; the blocked port is left alone
    QCOMPARE(devices.at(0).getSerial(), QString("127.0.0.1:5555"));
    QCOMPARE(devices.at(0).getPort().getConnectionType(), int(PortNumber::NetworkConnection));
    QCOMPARE(devices.at(0).getState(), DeviceState::MainOs);
}

void tst_DeviceFilter::failedListKeepsNetworkDevices()
{
    answers().insert("adb - devices", "!1");
    DeviceFilter::ScanContext context;
    for (const char* address : {"10.0.0.1:5555", "10.0.0.2:5555"}) {
        DummyDevice last = stored(DeviceKind::Adb, DeviceState::Cos, address);
        last.setPort(PortNumber::networkPort(address));
        context.known[last.getPort()] = last;
    }
    context.known[PortNumber::usbPort("1-2")] = stored(DeviceKind::Adb, DeviceState::MainOs);
    context.isBlocked = [](const PortNumber& port) { return port.toString() == "10.0.0.2:5555"; };
    AdbDeviceFilter filter(fakeAdb, nullptr);
    filter.beginScan(context);
    QList<DummyDevice> devices;
    filter.addOtherDevices(devices);
    QCOMPARE(devices.size(), 1);   // neither the blocked one nor the USB device
    QCOMPARE(devices.at(0).getSerial(), QString("10.0.0.1:5555"));
    QCOMPARE(devices.at(0).getState(), DeviceState::Cos);
}

void tst_DeviceFilter::serialConverterMatchesTheToolsSpelling()
{
    // adb prints the serial's bytes; the program reads a tool's output one byte a character.
    const QString serial = QString::fromUtf8("S\xc3\xa9" "1");
    const QString printed = QString::fromLatin1(serial.toUtf8());
    QCOMPARE(DeviceFilter::ToLocal8BitsConverter(serial), printed);   // the tests run in UTF-8
    answers().insert("adb - devices", "List of devices attached\n" + printed + "\tdevice\n");
    answers().insert("adb " + serial + " shell getprop ro.bootmode", "normal\n");

    const DeviceFilter::ScanContext context;   // lives through the scans below
    AdbDeviceFilter plain(fakeAdb, nullptr);
    plain.beginScan(context);
    DummyDevice device;
    QVERIFY(plain.filter(usbDevice(0x18d1, 0x4ee7, "ff/42/01", serial), device));
    QCOMPARE(device.getState(), DeviceState::Unknown);   // compared as it is, the serials differ

    AdbDeviceFilter converting(fakeAdb, DeviceFilter::ToLocal8BitsConverter);
    converting.beginScan(context);
    QVERIFY(converting.filter(usbDevice(0x18d1, 0x4ee7, "ff/42/01", serial), device));
    QCOMPARE(device.getState(), DeviceState::MainOs);
    QCOMPARE(device.getSerial(), serial);   // the device keeps the serial that addresses it
}

QTEST_APPLESS_MAIN(tst_DeviceFilter)
#include "tst_DeviceFilter.moc"
