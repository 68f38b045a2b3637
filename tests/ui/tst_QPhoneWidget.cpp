// The device view over FlashDevice2 objects as the scanner updates them: what the row shows, what
// its button and a drop ask for, and how the status row follows the flash manager's signals.
// Android properties come from the real reader over fake adb answers.

#include "engine/FlashRunner.h"
#include "loader/FlashFileManager.h"
#include "loader/ToolConst.h"
#include "model/FlashConfiguration.h"
#include "DeviceData.h"
#include "platform/device/AndroidDevicePropertyManager.h"
#include "ui/QPhoneWidget.h"
#include "ui/StartStopPushButton.h"

#include "RecordingLogSink.h"

#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// What the fake adb answers, per command line; a missing line fails the command.
QMap<QString, QString>& adbAnswers()
{
    static QMap<QString, QString> answers;
    return answers;
}

int fakeAdb(const Device*, const QStringList& arguments, int, QString& output)
{
    const QString key = arguments.join(QLatin1Char(' '));
    if (!adbAnswers().contains(key))
        return 1;
    output = adbAnswers().value(key);
    return 0;
}

DummyDevice deviceData(DeviceState state, const QString& serial, bool connected = true,
                       const QString& port = QStringLiteral("1-2"))
{
    return zorvikDeviceData(state, serial, port, connected);
}

// A device with the property reader that binding gives it, over the fake adb.
FlashDevice2Ptr makeDevice(DeviceState state, const QString& serial)
{
    const FlashDevice2Ptr device(new FlashDevice2(deviceData(state, serial), nullptr));
    new AndroidDevicePropertyManager(device.data(), nullptr, fakeAdb, nullptr);   // the device owns it
    return device;
}

// What the scanner does when it has news about the device.
void updateDevice(FlashDevice2& device, const DummyDevice& data)
{
    bool changed = false;
    bool other = false;
    QWriteLocker locker(&device.getLock());
    device.setDataLocked(data, changed, other);
}

template <class T>
T* part(const QPhoneWidget& view, const char* name)
{
    T* widget = view.findChild<T*>(QLatin1String(name));
    if (!widget)
        qFatal("no %s in the view", name);
    return widget;
}

QString text(const QPhoneWidget& view, const char* name)
{
    return part<QLabel>(view, name)->text();
}

QImage pixmapOf(const QPhoneWidget& view, const char* name)
{
    return part<QLabel>(view, name)->pixmap(Qt::ReturnByValue).toImage();
}

QImage resourceImage(const QString& name)
{
    return QPixmap(QStringLiteral(":/icons/icons/%1.png").arg(name)).toImage();
}

AndroidDevicePropertyManager* readerOf(const FlashDevice2Ptr& device)
{
    QReadLocker locker(&device->getLock());
    return dynamic_cast<AndroidDevicePropertyManager*>(device->getPropertyManagersLocked().front());
}

// Waits until the reader's refresh has read the fake's "ro.product.model" (every test that waits
// gives one), then refreshes the view as its timer does.
void waitForRefresh(QPhoneWidget& view, const FlashDevice2Ptr& device)
{
    QTRY_COMPARE_WITH_TIMEOUT(readerOf(device)->getProperty("ro.product.model").isNull(), false, 10000);
    view.update();
}

StartStopPushButton* button(const QPhoneWidget& view)
{
    return part<StartStopPushButton>(view, "pushButton_startStop");
}

void drop(QPhoneWidget& view, const QList<QUrl>& urls)
{
    QMimeData data;
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&view, &enter);
    QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&view, &dropped);
}

const QString kProgressSheet = QStringLiteral("QProgressBar::chunk:horizontal {background-color: %1;}");

} // namespace

class tst_QPhoneWidget : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void unboundViewLooksDisconnected();
    void boundViewShowsTheDevice_data();
    void boundViewShowsTheDevice();
    void serialsAreRememberedWhileEmpty();
    void toolTipListsPlatformNamesAndProperties();
    void buttonFollowsTheFlashState_data();
    void buttonFollowsTheFlashState();
    void buttonClicksAskToStartOrStop();
    void startRequestWaitsForTheManagersWord_data();
    void startRequestWaitsForTheManagersWord();
    void battery_data();
    void battery();
    void dropStartsAFlashFile_data();
    void dropStartsAFlashFile();
    void lossReleasesOnlyTheOwnIdleDevice();
    void absentDeviceLooksDisconnectedAndReturns();
    void statusRowFollowsOwnFlash_data();
    void statusRowFollowsOwnFlash();
    void otherDevicesChangeNothing();
    void startShowsTheRunnersProgressAndKind_data();
    void startShowsTheRunnersProgressAndKind();
    void zeroTotalIsBusy();
    void largeCountsAreScaled();
    void clearingLeavesAFlashingRowAlone();
    void bindingAHiddenViewClearsTheRow();
    void contextMenuNeedsAnIdleDeviceInMosOrPos_data();
    void contextMenuNeedsAnIdleDeviceInMosOrPos();
    void backupAndRestoreNeedMainOs();

private:
    QTemporaryDir m_dir;
};

void tst_QPhoneWidget::init()
{
    adbAnswers().clear();
    ToolConst::TOOL_BEHAVIOR = 1;
}

void tst_QPhoneWidget::cleanup()
{
    ToolConst::TOOL_BEHAVIOR = 1;
}

void tst_QPhoneWidget::unboundViewLooksDisconnected()
{
    QPhoneWidget view;
    QCOMPARE(text(view, "port"), QString("<h4><font color=orange><i>Disconnected</i></font></h4>"));
    QCOMPARE(text(view, "statusDevice"), QString("--"));
    QCOMPARE(text(view, "batt_text"), QString("-- %"));
    QCOMPARE(pixmapOf(view, "label_icon_bat"), resourceImage("battery_horizontal_unknown"));
    QCOMPARE(pixmapOf(view, "icon"), resourceImage("phone_disconnected"));
    QCOMPARE(button(view)->text(), QString("Start to flash"));
    QVERIFY(!button(view)->isEnabled());
    QCOMPARE(part<QWidget>(view, "widgetMainInfos")->toolTip(), QString("Platform: Unknown"));
    QVERIFY(view.isDisconnected());
}

void tst_QPhoneWidget::boundViewShowsTheDevice_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("serial");
    QTest::addColumn<QString>("shownState");
    QTest::addColumn<QString>("socSerial");
    QTest::addColumn<QString>("osSerial");
    QTest::newRow("main os") << 4 << "OS1" << "MOS" << "--" << "OS1";
    QTest::newRow("dnx firmware") << 1 << "A&B" << "DNX_FW" << "A&&B" << "--";
    QTest::newRow("unknown state") << 9 << "X" << "INVALID STATE" << "--" << "--";
}

void tst_QPhoneWidget::boundViewShowsTheDevice()
{
    QFETCH(int, state);
    QFETCH(QString, serial);
    QFETCH(QString, shownState);
    QFETCH(QString, socSerial);
    QFETCH(QString, osSerial);
    QPhoneWidget view;
    view.setDevice(makeDevice(DeviceState(state), serial));
    QVERIFY(view.isVisible());
    QCOMPARE(text(view, "port"), QString("<h4><font color=green>Connected on port 1-2</font></h4>"));
    QCOMPARE(pixmapOf(view, "icon"), resourceImage("phone_connected"));
    QCOMPARE(text(view, "statusDevice"), shownState);
    QCOMPARE(text(view, "serialSOC"), socSerial);
    QCOMPARE(text(view, "serialAndroid"), osSerial);
    QCOMPARE(view.getPort(), PortNumber::usbPort("1-2"));
    QVERIFY(!view.isDisconnected());
}

void tst_QPhoneWidget::serialsAreRememberedWhileEmpty()
{
    const FlashDevice2Ptr device = makeDevice(DeviceState::DnxFirmware, "SOC1");
    QPhoneWidget view;
    view.setDevice(device);
    updateDevice(*device, deviceData(DeviceState::MainOs, "OS1"));
    view.update();
    QCOMPARE(view.getSocSerial(), QString("SOC1"));
    QCOMPARE(view.getPlatformSerial(), QString("OS1"));
    // Binding empties what was remembered; the device tells its serials again at the refresh.
    view.setDevice(makeDevice(DeviceState::MainOs, "OS2"));
    QCOMPARE(view.getSocSerial(), QString());
    QCOMPARE(view.getPlatformSerial(), QString("OS2"));
}

void tst_QPhoneWidget::toolTipListsPlatformNamesAndProperties()
{
    adbAnswers().insert("shell getprop", "[ro.product.manufacturer]: [V]\n[ro.product.model]: [P]\n"
                                         "[gsm.version.baseband]: [  BB-1 ]\n[ro.build.date]: [today]\n");
    const FlashDevice2Ptr device = makeDevice(DeviceState::MainOs, "OS1");
    QPhoneWidget view;
    view.setDevice(device);
    // The reader's first answers come with the refresh that binding started.
    QCOMPARE(part<QWidget>(view, "widgetMainInfos")->toolTip(),
             QString("Platform: zorvik_android\nVendor: \nProduct: "));
    waitForRefresh(view, device);
    // The property lines come with the view's next timer tick, the names with every update.
    const auto toolTipAfterUpdate = [&view] {
        view.update();
        return part<QWidget>(view, "widgetMainInfos")->toolTip();
    };
    QTRY_COMPARE_WITH_TIMEOUT(toolTipAfterUpdate(),
                              QString("Platform: zorvik_android\nVendor: V\nProduct: P\n\ngsm.version.baseband: BB-1"
                                      "\nro.build.date: today"),
                              10000);
    QCOMPARE(text(view, "platform_label"), QString("V"));
    QCOMPARE(text(view, "hwDevice"), QString("P"));

    ToolConst::TOOL_BEHAVIOR = 0;   // names still shown, properties not read
    view.setDevice(device);
    QCOMPARE(part<QWidget>(view, "widgetMainInfos")->toolTip(),
             QString("Platform: zorvik_android\nVendor: V\nProduct: P"));
}

void tst_QPhoneWidget::buttonFollowsTheFlashState_data()
{
    QTest::addColumn<int>("flashState");
    QTest::addColumn<bool>("allowed");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QString>("label");
    QTest::newRow("idle") << 0 << true << true << "Start to flash";
    QTest::newRow("idle, not allowed") << 0 << false << false << "Start to flash";
    QTest::newRow("pending") << 1 << true << false << "Please wait...";
    QTest::newRow("flashing") << 2 << false << true << "Stop";
}

void tst_QPhoneWidget::buttonFollowsTheFlashState()
{
    QFETCH(int, flashState);
    QFETCH(bool, allowed);
    QFETCH(bool, enabled);
    QFETCH(QString, label);
    const FlashDevice2Ptr device = makeDevice(DeviceState::MainOs, "OS1");
    QPhoneWidget view;
    view.setDevice(device);
    device->setFlashState(FlashDevice2::FlashState(flashState));
    view.setFlashButtonEnabled(allowed);
    QCOMPARE(button(view)->isEnabled(), enabled);
    QCOMPARE(button(view)->text(), label);
    device->setFlashState(FlashDevice2::FlashState::Idle);
}

void tst_QPhoneWidget::buttonClicksAskToStartOrStop()
{
    const FlashDevice2Ptr device = makeDevice(DeviceState::MainOs, "OS1");
    QPhoneWidget view;
    view.setDevice(device);
    QSignalSpy starts(&view, &QPhoneWidget::start_flash);
    QSignalSpy stops(&view, &QPhoneWidget::stop_flash);

    QTest::mouseClick(button(view), Qt::LeftButton);
    QCOMPARE(starts.count(), 1);
    QCOMPARE(starts.at(0).at(0).value<FlashDevice2Ptr>(), device);
    QCOMPARE(starts.at(0).at(1).toString(), QString());
    QCOMPARE(button(view)->text(), QString("Stop"));   // at once, before the device says so

    device->setFlashState(FlashDevice2::FlashState::Flashing);
    view.update();
    QTest::mouseClick(button(view), Qt::LeftButton);
    QCOMPARE(stops.count(), 1);
    QCOMPARE(stops.at(0).at(0).value<FlashDevice2Ptr>(), device);
    QCOMPARE(starts.count(), 1);
    device->setFlashState(FlashDevice2::FlashState::Idle);
}

void tst_QPhoneWidget::startRequestWaitsForTheManagersWord_data()
{
    QTest::addColumn<QString>("word");
    QTest::addColumn<bool>("waiting");
    QTest::newRow("its flash started") << "started" << false;
    QTest::newRow("its flash finished") << "finished" << false;
    QTest::newRow("request handled") << "handled" << false;
    QTest::newRow("another device's flash started") << "other" << true;
}

// The view's wait for a start it asked for is its own: the device's flash state is the manager's.
void tst_QPhoneWidget::startRequestWaitsForTheManagersWord()
{
    QFETCH(QString, word);
    QFETCH(bool, waiting);
    const FlashDevice2Ptr device = makeDevice(DeviceState::MainOs, "OS1");
    QPhoneWidget view;
    view.setDevice(device);
    view.setStartRequested(true);
    QCOMPARE(button(view)->text(), QString("Please wait..."));
    QVERIFY(!button(view)->isEnabled());
    QCOMPARE(device->getFlashState(), FlashDevice2::FlashState::Idle);

    if (word == QLatin1String("started"))
        view.onFlashStarted(device);
    else if (word == QLatin1String("finished"))
        view.onFlashFinished(device, FlashTypes::FlashStatus::Failure, FlashTypes::CommandType::InitialDeviceState);
    else if (word == QLatin1String("handled"))
        view.setStartRequested(false);
    else
        view.onFlashStarted(makeDevice(DeviceState::MainOs, "OS2"));
    view.update();
    QCOMPARE(button(view)->text(), waiting ? QString("Please wait...") : QString("Start to flash"));
    QCOMPARE(button(view)->isEnabled(), !waiting);
}

void tst_QPhoneWidget::battery_data()
{
    QTest::addColumn<QString>("report");   // dumpsys battery's answer; null: adb fails
    QTest::addColumn<int>("behavior");
    QTest::addColumn<QString>("icon");
    QTest::addColumn<QString>("shown");
    const QString report = QStringLiteral("Current Battery Service state:\n  AC powered: false\n  level: %1\n  scale: 100\n");
    QTest::newRow("14") << report.arg(14) << 1 << "battery_horizontal_0percent2" << "14%";
    QTest::newRow("15") << report.arg(15) << 1 << "battery_horizontal_10percent" << "15%";
    QTest::newRow("94") << report.arg(94) << 1 << "battery_horizontal_80percent" << "94%";
    QTest::newRow("95") << report.arg(95) << 1 << "battery_horizontal_100percent" << "95%";
    QTest::newRow("100") << report.arg(100) << 1 << "battery_horizontal_100percent" << "100%";
    QTest::newRow("101") << report.arg(101) << 1 << "battery_horizontal_unknown" << "-- %";
    QTest::newRow("no level") << QString("Can't find service: battery\n") << 1 << "battery_horizontal_unknown" << "-- %";
    QTest::newRow("not read") << report.arg(50) << 0 << "battery_horizontal_unknown" << "-- %";
}

void tst_QPhoneWidget::battery()
{
    QFETCH(QString, report);
    QFETCH(int, behavior);
    QFETCH(QString, icon);
    QFETCH(QString, shown);
    ToolConst::TOOL_BEHAVIOR = behavior;
    adbAnswers().insert("shell dumpsys battery", report);
    adbAnswers().insert("shell getprop", "[ro.product.model]: [P]\n");
    const FlashDevice2Ptr device = makeDevice(DeviceState::MainOs, "OS1");
    QPhoneWidget view;
    view.setDevice(device);
    QCOMPARE(text(view, "batt_text"), QString("-- %"));   // known from the first refresh on
    waitForRefresh(view, device);
    QCOMPARE(text(view, "batt_text"), shown);
    QCOMPARE(pixmapOf(view, "label_icon_bat"), resourceImage(icon));
}

void tst_QPhoneWidget::dropStartsAFlashFile_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("flashState");
    QTest::addColumn<bool>("bound");
    QTest::addColumn<bool>("starts");
    QTest::addColumn<QString>("info");
    const QByteArray flashJson = R"({"flash": {"version": "2.1", "configurations": {}}})";
    QTest::newRow("flash file") << "flash.json" << flashJson << 0 << true << true << QString();
    QTest::newRow("archive") << "build.zip" << QByteArray("PK") << 0 << true << true << QString();
    QTest::newRow("other file") << "notes.txt" << QByteArray("text") << 0 << true << false << QString();
    QTest::newRow("busy device") << "flash.json" << flashJson << 2 << true << false << "Device is busy";
    QTest::newRow("no device") << "flash.json" << flashJson << 0 << false << false << "Device is not connected";
}

void tst_QPhoneWidget::dropStartsAFlashFile()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    QFETCH(int, flashState);
    QFETCH(bool, bound);
    QFETCH(bool, starts);
    QFETCH(QString, info);
    const QString path = m_dir.filePath(file);
    QFile written(path);
    QVERIFY(written.open(QIODevice::WriteOnly));
    written.write(content);
    written.close();
    const FlashDevice2Ptr device = makeDevice(DeviceState::MainOs, "OS1");
    QPhoneWidget view;
    RecordingLogSink sink;
    sink.bind(view);
    if (bound)
        view.setDevice(device);
    device->setFlashState(FlashDevice2::FlashState(flashState));
    QSignalSpy starts_(&view, &QPhoneWidget::start_flash);

    // Only the first file counts.
    drop(view, {QUrl::fromLocalFile(path), QUrl::fromLocalFile(m_dir.filePath("second.json"))});
    QCOMPARE(starts_.count(), starts ? 1 : 0);
    if (starts) {
        QCOMPARE(starts_.at(0).at(0).value<FlashDevice2Ptr>(), device);
        QCOMPARE(starts_.at(0).at(1).toString(), path);
    }
    QCOMPARE(sink.texts(Logger::INFO), info.isEmpty() ? QStringList() : QStringList(info));
    device->setFlashState(FlashDevice2::FlashState::Idle);
}

void tst_QPhoneWidget::lossReleasesOnlyTheOwnIdleDevice()
{
    const FlashDevice2Ptr device = makeDevice(DeviceState::MainOs, "OS1");
    QPhoneWidget view;
    view.setDevice(device);
    view.deviceLost(makeDevice(DeviceState::MainOs, "OTHER"));
    QCOMPARE(view.getDevice(), device);

    device->setFlashState(FlashDevice2::FlashState::Flashing);
    view.deviceLost(device);
    QCOMPARE(view.getDevice(), device);   // its flash still runs

    device->setFlashState(FlashDevice2::FlashState::Idle);
    view.deviceLost(device);
    QVERIFY(!view.getDevice());
    QCOMPARE(text(view, "port"), QString("<h4><font color=orange><i>Disconnected</i></font></h4>"));
    QCOMPARE(view.getPlatformSerial(), QString("OS1"));   // kept to match the device's return
}

void tst_QPhoneWidget::absentDeviceLooksDisconnectedAndReturns()
{
    const FlashDevice2Ptr device = makeDevice(DeviceState::MainOs, "OS1");
    QPhoneWidget view;
    view.setDevice(device);
    updateDevice(*device, deviceData(DeviceState::MainOs, "OS1", false));
    emit device->dataChanged();
    QTRY_COMPARE(text(view, "port"), QString("<h4><font color=orange><i>Disconnected</i></font></h4>"));
    QCOMPARE(text(view, "statusDevice"), QString("--"));
    QVERIFY(view.isDisconnected());
    QCOMPARE(view.getDevice(), device);

    updateDevice(*device, deviceData(DeviceState::ProvisioningOs, "OS1"));
    emit device->dataChanged();
    QTRY_COMPARE(text(view, "statusDevice"), QString("POS"));
}

void tst_QPhoneWidget::statusRowFollowsOwnFlash_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("colour");
    QTest::newRow("success") << 0 << "lime";
    QTest::newRow("failure") << 1 << "red";
    QTest::newRow("interrupted") << 2 << "orange";
}

void tst_QPhoneWidget::statusRowFollowsOwnFlash()
{
    QFETCH(int, status);
    QFETCH(QString, colour);
    const FlashDevice2Ptr device = makeDevice(DeviceState::MainOs, "OS1");
    QPhoneWidget view;
    view.setDevice(device);
    QProgressBar* bar = part<QProgressBar>(view, "progressBar");
    QVERIFY(bar->isHidden());

    view.onFlashStarted(device);
    QVERIFY(bar->styleSheet().contains(kProgressSheet.arg("deepskyblue")));
    QVERIFY(!bar->isHidden());
    QVERIFY(!part<QLabel>(view, "scriptId")->isHidden());
    view.onFlashProgressed(device, 30, 120);
    QCOMPARE(bar->maximum(), 120);
    QCOMPARE(bar->value(), 30);
    view.onFlashInfo(device, QStringLiteral("flash boot /tmp/boot.img"));
    QCOMPARE(text(view, "status"), QString("flash boot /tmp/boot.img"));

    view.onFlashFinished(device, FlashTypes::FlashStatus(status), FlashTypes::CommandType::Fastboot);
    QVERIFY(bar->styleSheet().contains(kProgressSheet.arg(colour)));
    QCOMPARE(bar->value(), 30);
    QCOMPARE(text(view, "status"), QString("flash boot /tmp/boot.img"));
}

void tst_QPhoneWidget::otherDevicesChangeNothing()
{
    const FlashDevice2Ptr device = makeDevice(DeviceState::MainOs, "OS1");
    const FlashDevice2Ptr other = makeDevice(DeviceState::MainOs, "OS2");
    QPhoneWidget view;
    view.setDevice(device);
    QProgressBar* bar = part<QProgressBar>(view, "progressBar");
    for (const FlashDevice2Ptr& stranger : {other, FlashDevice2Ptr()}) {
        view.onFlashStarted(stranger);
        view.onFlashProgressed(stranger, 5, 10);
        view.onFlashInfo(stranger, QStringLiteral("elsewhere"));
        view.onFlashFinished(stranger, FlashTypes::FlashStatus::Failure, FlashTypes::CommandType::Adb);
    }
    QVERIFY(bar->isHidden());
    QCOMPARE(bar->maximum(), 100);
    QCOMPARE(bar->value(), 0);
    QCOMPARE(text(view, "status"), QString());
    QVERIFY(bar->styleSheet().contains(kProgressSheet.arg("deepskyblue")));

    // Another device's finish still refreshes the view.
    updateDevice(*device, deviceData(DeviceState::ProvisioningOs, "OS1"));
    view.onFlashFinished(other, FlashTypes::FlashStatus::Success, FlashTypes::CommandType::Adb);
    QCOMPARE(text(view, "statusDevice"), QString("POS"));
}

void tst_QPhoneWidget::startShowsTheRunnersProgressAndKind_data()
{
    QTest::addColumn<int>("startState");
    QTest::addColumn<bool>("withFile");
    QTest::addColumn<QString>("icon");
    QTest::addColumn<QString>("toolTip");
    QTest::newRow("blank") << 1 << true << "blank_file" << "Build 42";
    QTest::newRow("fastboot dnx") << 2 << true << "fastboot_dnx_file" << "Build 42";
    QTest::newRow("fastboot") << 3 << true << "fastboot_file" << "Build 42";
    QTest::newRow("ota") << 4 << true << "ota_file" << "Build 42";
    QTest::newRow("other state") << 6 << true << "unknown_file" << "Build 42";
    QTest::newRow("no flash file") << 4 << false << "ota_file" << "No file information";
}

void tst_QPhoneWidget::startShowsTheRunnersProgressAndKind()
{
    QFETCH(int, startState);
    QFETCH(bool, withFile);
    QFETCH(QString, icon);
    QFETCH(QString, toolTip);
    const FlashDevice2Ptr device = makeDevice(DeviceState::MainOs, "OS1");
    QSharedPointer<FlashConfiguration> configuration(new FlashConfiguration(
        DeviceState(startState), FlashConfiguration::UnknownGroupsEnabled, "cfg", "Configuration",
        QString(), QString(), QString(), false, {}, {}));
    QSharedPointer<FlashFileManager> flashFile(new FlashFileManager);
    flashFile->setFileInfo(QStringLiteral("Build 42"));
    if (withFile)
        configuration->setFlashFileManager(flashFile);
    SharedPointer<FlashRunner> runner(new FlashRunner(nullptr, device, configuration));
    runner->setConfigurationProgression(40, 80);
    device->setFlashFile(runner);
    device->setFlashState(FlashDevice2::FlashState::Flashing);

    QPhoneWidget view;
    view.setDevice(device);   // a flash that runs already shows at once
    QProgressBar* bar = part<QProgressBar>(view, "progressBar");
    QVERIFY(!bar->isHidden());
    QCOMPARE(bar->maximum(), 80);
    QCOMPARE(bar->value(), 40);
    QCOMPARE(pixmapOf(view, "scriptId"), resourceImage(icon));
    QCOMPARE(part<QLabel>(view, "scriptId")->toolTip(), toolTip);

    device->setFlashState(FlashDevice2::FlashState::Idle);
    device->setFlashFile(SharedPointer<FlashRunner>());
}

void tst_QPhoneWidget::zeroTotalIsBusy()
{
    const FlashDevice2Ptr device = makeDevice(DeviceState::MainOs, "OS1");
    QPhoneWidget view;
    view.setDevice(device);
    view.onFlashProgressed(device, 0, 0);
    QProgressBar* bar = part<QProgressBar>(view, "progressBar");
    QCOMPARE(bar->minimum(), 0);
    QCOMPARE(bar->maximum(), 0);
}

void tst_QPhoneWidget::largeCountsAreScaled()
{
    const FlashDevice2Ptr device = makeDevice(DeviceState::MainOs, "OS1");
    QPhoneWidget view;
    view.setDevice(device);
    view.onFlashProgressed(device, 3ull << 32, 4ull << 32);
    QProgressBar* bar = part<QProgressBar>(view, "progressBar");
    QVERIFY(bar->maximum() > 0);
    QCOMPARE(qRound(100.0 * bar->value() / bar->maximum()), 75);
}

void tst_QPhoneWidget::clearingLeavesAFlashingRowAlone()
{
    const FlashDevice2Ptr device = makeDevice(DeviceState::MainOs, "OS1");
    QPhoneWidget view;
    view.setDevice(device);
    view.onFlashStarted(device);
    view.onFlashProgressed(device, 10, 20);
    view.onFlashInfo(device, QStringLiteral("running"));
    QProgressBar* bar = part<QProgressBar>(view, "progressBar");

    device->setFlashState(FlashDevice2::FlashState::Flashing);
    view.clearFlashStatus();
    QVERIFY(!bar->isHidden());
    QCOMPARE(text(view, "status"), QString("running"));

    device->setFlashState(FlashDevice2::FlashState::Idle);
    view.clearFlashStatus();
    QVERIFY(bar->isHidden());
    QVERIFY(part<QLabel>(view, "scriptId")->isHidden());
    QCOMPARE(bar->maximum(), 100);
    QCOMPARE(bar->value(), 0);
    QCOMPARE(text(view, "status"), QString());
}

void tst_QPhoneWidget::bindingAHiddenViewClearsTheRow()
{
    const FlashDevice2Ptr first = makeDevice(DeviceState::MainOs, "OS1");
    QPhoneWidget view;
    view.setDevice(first);
    view.onFlashInfo(first, QStringLiteral("done"));
    // Shown: the row of the previous device stays.
    view.setDevice(makeDevice(DeviceState::MainOs, "OS2"));
    QCOMPARE(text(view, "status"), QString("done"));
    // Hidden: binding clears it.
    view.hide();
    view.setDevice(first);
    QCOMPARE(text(view, "status"), QString());
}

void tst_QPhoneWidget::contextMenuNeedsAnIdleDeviceInMosOrPos_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("connected");
    QTest::addColumn<int>("flashState");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("mos") << 4 << true << 0 << true;
    QTest::newRow("pos") << 3 << true << 0 << true;
    QTest::newRow("dnx os") << 2 << true << 0 << false;
    QTest::newRow("mos, busy") << 4 << true << 1 << false;
    QTest::newRow("mos, gone") << 4 << false << 0 << false;
}

void tst_QPhoneWidget::contextMenuNeedsAnIdleDeviceInMosOrPos()
{
    QFETCH(int, state);
    QFETCH(bool, connected);
    QFETCH(int, flashState);
    QFETCH(bool, enabled);
    const FlashDevice2Ptr device(new FlashDevice2(deviceData(DeviceState(state), "S", connected), nullptr));
    device->setFlashState(FlashDevice2::FlashState(flashState));
    QPhoneWidget view;
    view.setDevice(device);
    const std::unique_ptr<QMenu> menu = view.createContextMenu();
    const QList<QAction*> actions = menu->actions();
    QCOMPARE(actions.size(), 2);
    QCOMPARE(actions.at(0)->text(), QString("Backup"));
    QCOMPARE(actions.at(1)->text(), QString("Restore"));
    QCOMPARE(actions.at(0)->isEnabled(), enabled);
    QCOMPARE(actions.at(1)->isEnabled(), enabled);
    device->setFlashState(FlashDevice2::FlashState::Idle);
}

void tst_QPhoneWidget::backupAndRestoreNeedMainOs()
{
    QPhoneWidget view;
    RecordingLogSink sink;
    sink.bind(view);
    view.setDevice(makeDevice(DeviceState::ProvisioningOs, "OS1"));
    view.backupDevice();
    view.restoreDevice();
    QCOMPARE(sink.texts(Logger::WARNING), QStringList({"The device must be in MOS to backup it",
                                                       "The device must be in MOS to restore it"}));
    QCOMPARE(sink.lines().front().label, QString("Port 1-2"));
}

QTEST_MAIN(tst_QPhoneWidget)
#include "tst_QPhoneWidget.moc"
