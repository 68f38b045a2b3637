#include "platform/device/AndroidDevicePropertyManager.h"
#include "platform/device/Device.h"

#include <QtTest>

namespace {

QMap<QString, QString>& answers()
{
    static QMap<QString, QString> table;
    return table;
}

int fakeTool(const QString& tool, const QStringList& arguments, QString& output)
{
    const QString key = tool + QLatin1Char(' ') + arguments.join(QLatin1Char(' '));
    if (!answers().contains(key))
        return 1;
    output = answers().value(key);
    return 0;
}

int fakeAdb(const Device*, const QStringList& arguments, int, QString& output)
{
    return fakeTool(QStringLiteral("adb"), arguments, output);
}

int fakeFastboot(const Device*, const QStringList& arguments, int, QString& output)
{
    return fakeTool(QStringLiteral("fastboot"), arguments, output);
}

DummyDevice usbData(DeviceState state)
{
    DummyDevice data;
    data.setPort(PortNumber::usbPort("1-2"));
    data.setState(state);
    data.setSerial("S1");
    data.setVendorName("USB Maker");
    data.setProductName("USB Board");
    return data;
}

} // namespace

class tst_AndroidDevicePropertyManager : public QObject
{
    Q_OBJECT

private slots:
    void init() { answers().clear(); }
    void readsAndroidPropertiesInMainOs();
    void fallsBackToUsbDescriptors();
    void batteryLevel_data();
    void batteryLevel();
    void deviceKeepsOneReaderOfEachKind();
};

void tst_AndroidDevicePropertyManager::readsAndroidPropertiesInMainOs()
{
    answers().insert("adb shell getprop ro.product.manufacturer", "Acme\n");
    answers().insert("adb shell getprop ro.product.model", "Rocket\n");
    answers().insert("adb shell getprop ro.empty", "\n");
    Device device(usbData(DeviceState::MainOs), nullptr);
    auto* reader = new AndroidDevicePropertyManager(&device, nullptr, fakeAdb, fakeFastboot);
    QCOMPARE(reader->getVendorName(), QString("Acme"));
    QCOMPARE(reader->getProductName(), QString("Rocket"));
    QVERIFY(reader->getProperty("ro.empty").isNull());     // getprop's empty line: absent
    QVERIFY(reader->getProperty("ro.unknown").isNull());   // failed lookup: absent
}

void tst_AndroidDevicePropertyManager::fallsBackToUsbDescriptors()
{
    answers().insert("fastboot getvar product", "product: sim\nFinished. Total time: 0.001s\n");
    Device fastbootDevice(usbData(DeviceState::ProvisioningOs), nullptr);
    auto* reader = new AndroidDevicePropertyManager(&fastbootDevice, nullptr, fakeAdb, fakeFastboot);
    QCOMPARE(reader->getVendorName(), QString("USB Maker"));
    QCOMPARE(reader->getProductName(), QString("sim"));
    QVERIFY(reader->getProperty("ro.product.model").isNull());   // adb does not reach fastboot

    Device withoutRunners(usbData(DeviceState::MainOs), nullptr);
    auto* plain = new AndroidDevicePropertyManager(&withoutRunners, nullptr, nullptr, nullptr);
    QCOMPARE(plain->getProductName(), QString("USB Board"));
    QCOMPARE(plain->getBatteryLevel(), AndroidDevicePropertyManager::UnknownBatteryLevel);
}

void tst_AndroidDevicePropertyManager::batteryLevel_data()
{
    QTest::addColumn<QString>("report");
    QTest::addColumn<int>("level");
    QTest::newRow("percentage") << "Current Battery Service state:\n  AC powered: false\n  level: 87\n  scale: 100\n" << 87;
    QTest::newRow("out of range") << "  level: 140\n" << 255;
    QTest::newRow("no level") << "Can't find service: battery\n" << 255;
}

void tst_AndroidDevicePropertyManager::batteryLevel()
{
    QFETCH(QString, report);
    QFETCH(int, level);
    answers().insert("adb shell dumpsys battery", report);
    Device device(usbData(DeviceState::MainOs), nullptr);
    auto* reader = new AndroidDevicePropertyManager(&device, nullptr, fakeAdb, fakeFastboot);
    QCOMPARE(int(reader->getBatteryLevel()), level);
}

void tst_AndroidDevicePropertyManager::deviceKeepsOneReaderOfEachKind()
{
    answers().insert("adb shell getprop ro.product.manufacturer", "Acme\n");
    Device device(usbData(DeviceState::MainOs), nullptr);
    // The main window makes a reader on every detection: first while the device was in a
    // download state (no runners), then in Main OS (runners), then again.
    auto* first = new AndroidDevicePropertyManager(&device, nullptr, nullptr, nullptr);
    for (int detection = 0; detection < 3; ++detection) {
        auto* again = new AndroidDevicePropertyManager(&device, nullptr, fakeAdb, fakeFastboot);
        QCOMPARE(again->getVendorName(), QString("Acme"));   // usable right after it was made
    }
    QReadLocker locker(&device.getLock());
    QCOMPARE(device.getPropertyManagersLocked().size(), size_t(1));
    QCOMPARE(device.getPropertyManagersLocked().front(), first);
    locker.unlock();
    QCOMPARE(first->getVendorName(), QString("Acme"));   // it took the runners it lacked
    // The device deletes what it keeps when it goes (checked by the sanitizer build).
}

QTEST_APPLESS_MAIN(tst_AndroidDevicePropertyManager)
#include "tst_AndroidDevicePropertyManager.moc"
