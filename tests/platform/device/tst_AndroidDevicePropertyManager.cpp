#include "platform/device/AndroidDevicePropertyManager.h"
#include "platform/device/Device.h"

#include <QtTest>

#include <atomic>
#include <memory>

namespace {

// What the fake tools answer, per command line; a missing line fails the command. Guarded: the
// reader's worker calls the fakes on its own thread.
QMutex& answersMutex()
{
    static QMutex mutex;
    return mutex;
}

QMap<QString, QString>& answers()
{
    static QMap<QString, QString> table;
    return table;
}

void setAnswer(const QString& command, const QString& output)
{
    QMutexLocker locker(&answersMutex());
    answers().insert(command, output);
}

std::atomic<int> g_calls{0};
std::atomic<int> g_running{0};
std::atomic<int> g_hangMs{0};   // how long each call takes, as a hung tool until its time-out

int fakeTool(const QString& tool, const QStringList& arguments, QString& output)
{
    ++g_calls;
    ++g_running;
    QThread::msleep(g_hangMs);
    const QString key = tool + QLatin1Char(' ') + arguments.join(QLatin1Char(' '));
    QMutexLocker locker(&answersMutex());
    const bool known = answers().contains(key);
    output = answers().value(key);
    --g_running;
    return known ? 0 : 1;
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
    data.setConnected(true);
    data.setVendorName("USB Maker");
    data.setProductName("USB Board");
    return data;
}

// A device the program may be working on, as the engine's devices are.
class BusyableDevice : public Device
{
public:
    explicit BusyableDevice(DeviceState state)
        : Device(usbData(state), nullptr)
    {
    }
    ~BusyableDevice() override { stopPropertyManagers(); }
    bool isBusy() const override { return m_busy; }
    void setBusy(bool busy) { m_busy = busy; }

private:
    std::atomic<bool> m_busy{false};
};

AndroidDevicePropertyManager* readerOf(Device& device)
{
    return new AndroidDevicePropertyManager(&device, nullptr, fakeAdb, fakeFastboot);   // the device owns it
}

const QString kBatteryReport = QStringLiteral("Current Battery Service state:\n  AC powered: false\n"
                                              "  level: %1\n  scale: 100\n");

} // namespace

class tst_AndroidDevicePropertyManager : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void answersArriveWithTheRefresh();
    void fallsBackToUsbDescriptors();
    void batteryLevel_data();
    void batteryLevel();
    void busyDeviceIsNotAskedAndKeepsItsAnswers();
    void destructionWaitsForTheRefreshInFlight();
    void deviceKeepsOneReaderOfEachKind();
};

void tst_AndroidDevicePropertyManager::init()
{
    QMutexLocker locker(&answersMutex());
    answers().clear();
    g_calls = 0;
    g_hangMs = 0;
}

void tst_AndroidDevicePropertyManager::answersArriveWithTheRefresh()
{
    setAnswer("adb shell getprop", "[ro.product.manufacturer]: [Acme]\n[ro.product.model]: [Rocket]\n"
                                   "[ro.empty]: []\n[gsm.version.baseband]: [  BB-1 ]\n");
    setAnswer("adb shell dumpsys battery", kBatteryReport.arg(87));
    BusyableDevice device(DeviceState::MainOs);
    AndroidDevicePropertyManager* reader = readerOf(device);
    // Nothing is read before a refresh: the getters never run a tool.
    QCOMPARE(reader->getVendorName(), QString("USB Maker"));
    QCOMPARE(reader->getBatteryLevel(), AndroidDevicePropertyManager::UnknownBatteryLevel);
    QCOMPARE(g_calls.load(), 0);

    reader->requestRefresh();
    QTRY_COMPARE(int(reader->getBatteryLevel()), 87);
    QCOMPARE(reader->getVendorName(), QString("Acme"));
    QCOMPARE(reader->getProductName(), QString("Rocket"));
    QCOMPARE(reader->getProperty("gsm.version.baseband"), QString("BB-1"));
    QVERIFY(reader->getProperty("ro.empty").isNull());     // getprop's empty value: absent
    QVERIFY(reader->getProperty("ro.unknown").isNull());
    QCOMPARE(g_calls.load(), 2);   // one listing and one battery report a refresh
}

void tst_AndroidDevicePropertyManager::fallsBackToUsbDescriptors()
{
    setAnswer("fastboot getvar product", "product: sim\nFinished. Total time: 0.001s\n");
    setAnswer("adb shell getprop", "[ro.product.model]: [Rocket]\n");
    BusyableDevice fastbootDevice(DeviceState::ProvisioningOs);
    AndroidDevicePropertyManager* reader = readerOf(fastbootDevice);
    reader->requestRefresh();
    QTRY_COMPARE(reader->getProductName(), QString("sim"));
    QCOMPARE(reader->getVendorName(), QString("USB Maker"));
    QVERIFY(reader->getProperty("ro.product.model").isNull());   // adb does not reach fastboot

    Device withoutRunners(usbData(DeviceState::MainOs), nullptr);
    auto* plain = new AndroidDevicePropertyManager(&withoutRunners, nullptr, nullptr, nullptr);
    plain->requestRefresh();
    QCOMPARE(plain->getProductName(), QString("USB Board"));
    QCOMPARE(plain->getBatteryLevel(), AndroidDevicePropertyManager::UnknownBatteryLevel);
}

void tst_AndroidDevicePropertyManager::batteryLevel_data()
{
    QTest::addColumn<QString>("report");
    QTest::addColumn<int>("level");
    QTest::newRow("percentage") << kBatteryReport.arg(87) << 87;
    QTest::newRow("out of range") << "  level: 140\n" << 255;
    QTest::newRow("no level") << "Can't find service: battery\n" << 255;
}

void tst_AndroidDevicePropertyManager::batteryLevel()
{
    QFETCH(QString, report);
    QFETCH(int, level);
    setAnswer("adb shell dumpsys battery", report);
    BusyableDevice device(DeviceState::MainOs);
    AndroidDevicePropertyManager* reader = readerOf(device);
    reader->requestRefresh();
    QTRY_COMPARE(g_calls.load(), 2);
    QTRY_COMPARE(int(reader->getBatteryLevel()), level);
}

void tst_AndroidDevicePropertyManager::busyDeviceIsNotAskedAndKeepsItsAnswers()
{
    setAnswer("adb shell dumpsys battery", kBatteryReport.arg(60));
    BusyableDevice device(DeviceState::MainOs);
    AndroidDevicePropertyManager* reader = readerOf(device);
    reader->requestRefresh();
    QTRY_COMPARE(int(reader->getBatteryLevel()), 60);
    QTRY_COMPARE(g_calls.load(), 2);

    device.setBusy(true);
    setAnswer("adb shell dumpsys battery", kBatteryReport.arg(10));
    for (int tick = 0; tick < 5; ++tick)
        reader->requestRefresh();
    QTest::qWait(300);
    QCOMPARE(g_calls.load(), 2);                        // its flash owns adb meanwhile
    QCOMPARE(int(reader->getBatteryLevel()), 60);       // the row keeps the last values

    // A flash that starts while a refresh runs: what that refresh read is dropped.
    device.setBusy(false);
    g_hangMs = 1500;
    reader->requestRefresh();
    QTRY_COMPARE(g_calls.load(), 3);
    device.setBusy(true);
    QTRY_COMPARE(g_running.load(), 0);
    QTest::qWait(300);
    QCOMPARE(g_calls.load(), 3);                        // the battery was not asked after it
    QCOMPARE(int(reader->getBatteryLevel()), 60);
}

void tst_AndroidDevicePropertyManager::destructionWaitsForTheRefreshInFlight()
{
    g_hangMs = 500;   // a tool that hangs until its time-out
    auto device = std::make_unique<BusyableDevice>(DeviceState::MainOs);
    readerOf(*device)->requestRefresh();
    QTRY_COMPARE(g_running.load(), 1);
    device.reset();
    QCOMPARE(g_running.load(), 0);   // the refresh ended before its reader and device went
    const int calls = g_calls.load();
    QTest::qWait(700);
    QCOMPARE(g_calls.load(), calls);   // and nothing ran afterwards
}

void tst_AndroidDevicePropertyManager::deviceKeepsOneReaderOfEachKind()
{
    setAnswer("adb shell getprop", "[ro.product.manufacturer]: [Acme]\n");
    BusyableDevice device(DeviceState::MainOs);
    // The main window makes a reader on every detection: first while the device was in a
    // download state (no runners), then in Main OS (runners), then ten times again.
    auto* first = new AndroidDevicePropertyManager(&device, nullptr, nullptr, nullptr);
    for (int detection = 0; detection < 10; ++detection) {
        auto* again = readerOf(device);
        again->requestRefresh();   // usable right after it was made
    }
    QReadLocker locker(&device.getLock());
    QCOMPARE(device.getPropertyManagersLocked().size(), size_t(1));
    QCOMPARE(device.getPropertyManagersLocked().front(), first);
    locker.unlock();
    first->requestRefresh();
    QTRY_COMPARE(first->getVendorName(), QString("Acme"));   // it took the runners it lacked
    // The device stops and deletes what it keeps when it goes (checked by the sanitizer build).
}

QTEST_GUILESS_MAIN(tst_AndroidDevicePropertyManager)
#include "tst_AndroidDevicePropertyManager.moc"
