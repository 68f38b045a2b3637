// Which device view a detected device gets, over real views that saw devices come and go.

#include "DeviceData.h"
#include "platform/device/AndroidDevicePropertyManager.h"
#include "ui/DeviceViewBinding.h"
#include "ui/QPhoneWidget.h"

#include <QtTest>

#include <memory>
#include <vector>

namespace {

DummyDevice deviceData(DeviceState state, const QString& serial, const QString& port, bool connected)
{
    return zorvikDeviceData(state, serial, port, connected);
}

void updateDevice(FlashDevice2& device, const DummyDevice& data)
{
    bool changed = false;
    bool other = false;
    QWriteLocker locker(&device.getLock());
    device.setDataLocked(data, changed, other);
}

// A device on `port` that was seen with SoC serial `soc` (in DnX firmware) and then with OS serial
// `os` (in Main OS); "-" skips a serial.
FlashDevice2Ptr makeDevice(const QString& port, const QString& soc, const QString& os, bool connected = true)
{
    FlashDevice2Ptr device(new FlashDevice2(deviceData(DeviceState::DnxFirmware, soc == "-" ? QString() : soc,
                                                       port, connected), nullptr));
    if (os != "-")
        updateDevice(*device, deviceData(DeviceState::MainOs, os, port, connected));
    return device;
}

// Views described as "free" (never bound, hidden), "live port" (bound to a connected device) or
// "gone port soc os" (its device went away after the view saw it).
struct Views
{
    explicit Views(const QStringList& descriptions)
    {
        for (const QString& description : descriptions) {
            const QStringList words = description.split(QLatin1Char(' '));
            auto view = std::make_unique<QPhoneWidget>();
            if (words.at(0) == "live") {
                view->setDevice(makeDevice(words.at(1), "-", "LIVE" + words.at(1)));
            } else if (words.at(0) == "gone") {
                const FlashDevice2Ptr device = makeDevice(words.at(1), words.at(2), words.at(3));
                view->setDevice(device);
                view->deviceLost(device);
            }
            list << view.get();
            owned.push_back(std::move(view));
        }
    }
    std::vector<std::unique_ptr<QPhoneWidget>> owned;
    QList<QPhoneWidget*> list;
};

int androidReaders(const Device& device)
{
    QReadLocker locker(&device.getLock());
    int count = 0;
    for (DevicePropertyManager* manager : device.getPropertyManagersLocked())
        count += dynamic_cast<AndroidDevicePropertyManager*>(manager) != nullptr;
    return count;
}

} // namespace

class tst_DeviceViewBinding : public QObject
{
    Q_OBJECT

private slots:
    void choosesAView_data();
    void choosesAView();
    void bindingShowsTheDeviceInItsView();
    void theSameDeviceAgainIsOnlyShown();
    void rebindsKeepOneReader();
};

void tst_DeviceViewBinding::choosesAView_data()
{
    QTest::addColumn<QStringList>("views");
    QTest::addColumn<QString>("device");   // "port soc os"
    QTest::addColumn<int>("chosen");
    QTest::newRow("port over serials") << QStringList{"gone 1-1 A B", "gone 1-2 X Y"} << "1-2 A B" << 1;
    QTest::newRow("os serial over soc serial") << QStringList{"gone 1-1 A -", "gone 1-2 - B"} << "1-3 A B" << 1;
    QTest::newRow("soc serial over free") << QStringList{"free", "gone 1-1 A -"} << "1-3 A -" << 1;
    QTest::newRow("first free") << QStringList{"live 1-1", "free", "free"} << "1-3 A B" << 1;
    QTest::newRow("last port match") << QStringList{"gone 1-2 X -", "gone 1-2 Y -", "free"} << "1-2 A B" << 1;
    QTest::newRow("last soc match") << QStringList{"gone 1-1 A -", "gone 1-2 A -", "free"} << "1-3 A -" << 1;
    QTest::newRow("last os match") << QStringList{"gone 1-1 - B", "gone 1-2 - B", "free"} << "1-3 - B" << 1;
    QTest::newRow("a view counts for its first test") << QStringList{"gone 1-3 A -", "gone 1-1 - B"} << "1-3 A B" << 1;
    QTest::newRow("a shown view is not free") << QStringList{"gone 1-1 Z -", "free"} << "1-3 A -" << 1;
    QTest::newRow("live views are not taken") << QStringList{"live 1-2", "free"} << "1-2 - LIVE1-2" << 1;
    QTest::newRow("ninth device") << QStringList{"live 1-1", "live 1-2", "live 1-3", "live 1-4", "live 1-5",
                                                 "live 1-6", "live 1-7", "live 1-8"}
                                  << "1-9 A B" << -1;
}

void tst_DeviceViewBinding::choosesAView()
{
    QFETCH(QStringList, views);
    QFETCH(QString, device);
    QFETCH(int, chosen);
    Views built(views);
    const QStringList words = device.split(QLatin1Char(' '));
    const FlashDevice2Ptr detected = makeDevice(words.at(0), words.at(1), words.at(2));
    QCOMPARE(DeviceViewBinding::chooseView(built.list, *detected), chosen);
    QCOMPARE(DeviceViewBinding::bindDevice(built.list, detected),
             chosen < 0 ? DeviceViewBinding::Outcome::NoView : DeviceViewBinding::Outcome::Bound);
    if (chosen >= 0)
        QCOMPARE(built.list.at(chosen)->getDevice(), detected);
}

void tst_DeviceViewBinding::bindingShowsTheDeviceInItsView()
{
    Views built({"free", "free"});
    const FlashDevice2Ptr device = makeDevice("1-4", "-", "OS1");
    QCOMPARE(DeviceViewBinding::bindDevice(built.list, device), DeviceViewBinding::Outcome::Bound);
    QCOMPARE(built.list.at(0)->getDevice(), device);
    QVERIFY(built.list.at(0)->isVisible());
    QVERIFY(!built.list.at(1)->isVisible());
    QCOMPARE(androidReaders(*device), 1);
    // A device that is no engine device gets no view.
    const DevicePtr plain(new Device(deviceData(DeviceState::MainOs, "P", "1-5", true), nullptr));
    QCOMPARE(DeviceViewBinding::bindDevice(built.list, plain), DeviceViewBinding::Outcome::NoView);
    QVERIFY(!built.list.at(1)->getDevice());
}

void tst_DeviceViewBinding::theSameDeviceAgainIsOnlyShown()
{
    Views built({"free", "free"});
    const FlashDevice2Ptr device = makeDevice("1-4", "-", "OS1");
    DeviceViewBinding::bindDevice(built.list, device);
    built.list.at(0)->hide();
    QCOMPARE(DeviceViewBinding::bindDevice(built.list, device), DeviceViewBinding::Outcome::AlreadyShown);
    QVERIFY(built.list.at(0)->isVisible());
    QVERIFY(!built.list.at(1)->getDevice());
}

void tst_DeviceViewBinding::rebindsKeepOneReader()
{
    Views built({"free"});
    const FlashDevice2Ptr device = makeDevice("1-4", "-", "OS1");
    for (int detection = 0; detection < 10; ++detection) {
        built.list.at(0)->setDevice(FlashDevice2Ptr());
        QCOMPARE(DeviceViewBinding::bindDevice(built.list, device), DeviceViewBinding::Outcome::Bound);
    }
    QCOMPARE(androidReaders(*device), 1);
}

QTEST_MAIN(tst_DeviceViewBinding)
#include "tst_DeviceViewBinding.moc"
