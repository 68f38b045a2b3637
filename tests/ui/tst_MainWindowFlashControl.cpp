// The main window's flash control as an operator works it: the main start/stop button, the
// on-demand box, the device views' start buttons, the flash dialog, closing while devices flash and
// the battery warning, against the real flash manager and devices on the simulator. Where the table is about what the window asks for, the
// manager hears nothing of the window's requests and the test reads them from the window.

#include "DeviceManagerFixture.h"
#include "MainWindowTestSetup.h"
#include "ModalDialogDriver.h"
#include "NotificationRecorder.h"
#include "PrivateSessionBus.h"
#include "core/FMConst.h"
#include "core/LoggerBridge.h"
#include "core/MessageHandler.h"
#include "engine/FlashManager.h"
#include "loader/ToolConst.h"
#include "tests/core/RecordedLog.h"
#include "tools/BuiltInKinds.h"
#include "ui/FlashBasicDialog.h"
#include "ui/FlashBasicWidget.h"
#include "ui/MainWindow.h"
#include "ui/NotifierWidget.h"
#include "ui/QPhoneWidget.h"
#include "ui/StartStopPushButton.h"
#include "ui/UiResources.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QProgressBar>
#include <QPropertyAnimation>
#include <QSignalSpy>
#include <QTextBrowser>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <memory>

namespace {

const QString kApplicationName = MainWindowTestSetup::applicationName();
const QString kStart = QStringLiteral("Start to flash");
const QString kStop = QStringLiteral("Stop");
// Where the manager takes none of the window's requests, the devices wait in DnX firmware: a view
// reads no Android properties of such a device (each read runs adb on the GUI thread).
const char* const kQuietState = "dnx_fw";

// A flash file of one configuration "Alpha" with the given start state and fastboot commands.
QByteArray flashJson(const QString& startState, const QStringList& fastbootArgs)
{
    QByteArray commands;
    for (const QString& args : fastbootArgs) {
        if (!commands.isEmpty())
            commands += ", ";
        commands += R"({"tool": "fastboot", "args": ")" + args.toUtf8()
                    + R"(", "timeout": 60000, "retry": 1, "description": "Step"})";
    }
    return R"({"flash": {"version": "3.0", "configurations": {"a": {"name": "Alpha", "startState": ")"
           + startState.toUtf8() + R"(", "default": true}}, "commands": [)" + commands + "]}}";
}

// A configuration "Alpha" in Provisioning OS that runs the command `first`, then fastboot "oem after".
QByteArray flashJsonStartingWith(const QByteArray& first)
{
    return R"({"flash": {"version": "3.0", "configurations": {"a": {"name": "Alpha", "startState": "pos",
        "default": true}}, "commands": [)" + first + R"(,
        {"tool": "fastboot", "args": "oem after", "timeout": 60000, "retry": 1, "description": "Step"}]}})";
}

bool write(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QStringList serials(const QSignalSpy& spy)
{
    QStringList found;
    for (const QList<QVariant>& call : spy)
        found << call.at(0).value<FlashDevice2Ptr>()->getSerial();
    return found;
}

} // namespace

class tst_MainWindowFlashControl : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void refreshFollowsTheFlashState_data();
    void refreshFollowsTheFlashState();
    void mainStart_data();
    void mainStart();
    void mainStartWithoutConfigurationOnlyRefreshes();
    void onDemandEntersAndLeaves();
    void onDemandRefusesOtherStartStates();
    void onDemandFlashesAnArrivingDeviceOnceAndStopKeepsTheMode();
    void stopMidFlashCancelsAndTheViewTurnsOrange();
    void twoQueuedStartsFlashTheDeviceOnce();
    void droppedFileFlashesWithTheDialogsConfiguration_data();
    void droppedFileFlashesWithTheDialogsConfiguration();
    void notifierCommandReachesThePanelAndTheFlashGoesOn();
    void questionsHoldTheirFlashesEachInABox();
    void closeWhileFlashing_data();
    void closeWhileFlashing();
    void batteryWarningStopsThatDeviceOnly_data();
    void batteryWarningStopsThatDeviceOnly();

private:
    // The window as start-up makes it, with the flash tab current; the manager is attached
    // when `attachManager`.
    MainWindow& makeWindow(bool attachManager = true);
    void loadFlashFile(const QByteArray& json);
    void refresh() { QVERIFY(QMetaObject::invokeMethod(m_window.get(), "do_update_ui")); }
    // The window's requests stay with the window: the manager takes none of them.
    void keepRequestsFromTheManager();
    template <typename T>
    T* child(const QString& name) const
    {
        return MainWindowTestSetup::requiredChild<T>(*m_window, name);
    }
    StartStopPushButton* mainButton() const { return child<StartStopPushButton>(QStringLiteral("startFlashingMain")); }
    QCheckBox* onDemandBox() const { return child<QCheckBox>(QStringLiteral("useOnDemandMode")); }
    QList<QPhoneWidget*> views() const { return m_window->findChildren<QPhoneWidget*>(); }
    // The first view that shows a device.
    QPhoneWidget* boundView() const
    {
        for (QPhoneWidget* view : views()) {
            if (view->getDevice())
                return view;
        }
        qFatal("no view shows a device");
        return nullptr;
    }
    static StartStopPushButton* startButton(QPhoneWidget* view)
    {
        return view->findChild<StartStopPushButton*>(QStringLiteral("pushButton_startStop"));
    }
    void click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton); }
    // Devices `serials` (ports 1-2, 1-3, ...) in `state` flash a file of `state` from the main
    // button and hang in its first command; false when a flash never reached it.
    bool flashUntilTheyHang(const QStringList& serials, const QString& state);

    QTemporaryDir m_dir;
    std::unique_ptr<DeviceManagerFixture> m_devices;
    std::unique_ptr<FlashManager> m_flashManager;   // goes after the window, as at start-up's end
    std::unique_ptr<MainWindow> m_window;
    std::unique_ptr<LoggerBridge> m_bridge;
};

void tst_MainWindowFlashControl::initTestCase()
{
    QVERIFY(m_dir.isValid());
    MainWindowTestSetup::prepareApplication();
}

void tst_MainWindowFlashControl::init()
{
    MainWindowTestSetup::useFreshHome(m_dir);
    ToolConst::DISPLAY_DOCUMENTATION_POPUP = false;
    ToolConst::TOOL_BEHAVIOR = 0;   // no property reads: they would only slow the simulated flashes
    FMConst::USE_DRAVIK_SOLO = true;
    FMConst::USE_DRAVIK_EXTERNAL = true;
    m_devices = std::make_unique<DeviceManagerFixture>(FlashDevice2::DeviceAllocator);
    QVERIFY(m_devices->isValid());
}

void tst_MainWindowFlashControl::cleanup()
{
    MessageHandler::instance()->setMainTextEditLog(nullptr);
    m_bridge.reset();
    m_window.reset();
    if (m_flashManager)
        m_flashManager->stopFlash();
    m_flashManager.reset();
    m_devices.reset();
}

MainWindow& tst_MainWindowFlashControl::makeWindow(bool attachManager)
{
    m_window = std::make_unique<MainWindow>();
    m_bridge = std::make_unique<LoggerBridge>();
    m_bridge->bind(*m_window);
    m_flashManager = std::make_unique<FlashManager>();
    m_bridge->bind(*m_flashManager);
    m_flashManager->setDeviceManager(&m_devices->manager);
    if (attachManager)
        m_window->setFlashManager(m_flashManager.get());
    m_window->setDeviceManager(&m_devices->manager);
    QCoreApplication::processEvents();   // the flash tab becomes current
    return *m_window;
}

void tst_MainWindowFlashControl::loadFlashFile(const QByteArray& json)
{
    const QString path = QDir(qEnvironmentVariable("HOME")).filePath(QStringLiteral("flash.json"));
    QVERIFY(write(path, json));
    auto* tab = child<FlashBasicWidget>(QStringLiteral("widgetFlashBasic"));
    tab->loadLocalFile(path);
    QVERIFY(tab->getCurrentFlashFile());
}

void tst_MainWindowFlashControl::keepRequestsFromTheManager()
{
    QVERIFY(QObject::disconnect(m_window.get(), &MainWindow::start_flash, m_flashManager.get(), nullptr));
}

void tst_MainWindowFlashControl::refreshFollowsTheFlashState_data()
{
    QTest::addColumn<QString>("startState");        // empty: no flash file
    QTest::addColumn<QString>("situation");         // "no manager", "idle", "flashing", "on-demand", "virtual"
    QTest::addColumn<bool>("mainEnabled");
    QTest::addColumn<bool>("mainStarted");
    QTest::addColumn<bool>("boxEnabled");
    QTest::addColumn<bool>("viewsEnabled");

    QTest::newRow("no flash manager") << "pos" << "no manager" << false << false << false << false;
    QTest::newRow("no configuration") << QString() << "idle" << false << false << false << false;
    QTest::newRow("idle, pos") << "pos" << "idle" << true << false << false << true;
    QTest::newRow("idle, blankphone") << "dnx_fw" << "idle" << true << false << true << true;
    QTest::newRow("idle, fastboot DnX") << "dnx_os" << "idle" << true << false << true << true;
    QTest::newRow("a device flashing") << "dnx_os" << "flashing" << true << true << false << true;
    QTest::newRow("on-demand") << "dnx_os" << "on-demand" << true << true << false << false;
    // A virtual device has no view: the manager tells, and any such flash counts as blankphone.
    QTest::newRow("blankphone while a blankphone flash runs") << "dnx_fw" << "virtual" << true << true << false << false;
    QTest::newRow("pos while a blankphone flash runs") << "pos" << "virtual" << true << true << false << true;
}

void tst_MainWindowFlashControl::refreshFollowsTheFlashState()
{
    QFETCH(QString, startState);
    QFETCH(QString, situation);
    QFETCH(bool, mainEnabled);
    QFETCH(bool, mainStarted);
    QFETCH(bool, boxEnabled);
    QFETCH(bool, viewsEnabled);
    QVERIFY(m_devices->sim.addDevice("A", "1-2", kQuietState, {}));
    QVERIFY(m_devices->scan());
    makeWindow(situation != QLatin1String("no manager"));
    if (!startState.isEmpty())
        loadFlashFile(flashJson(startState, {"getvar product"}));
    onDemandBox()->setChecked(true);   // unchecked only without a configuration

    const FlashDevice2Ptr device = boundView()->getDevice();
    FlashDevice2Ptr virtualDevice;
    if (situation == QLatin1String("flashing"))
        device->setFlashState(FlashDevice2::FlashState::Flashing);
    if (situation == QLatin1String("on-demand"))
        m_flashManager->setFlashManagerMode(FlashManager::FM_MODE_ON_DEMAND, FlashConfigurationPtr());
    if (situation == QLatin1String("virtual")) {
        virtualDevice = m_devices->manager.createVirtualDevice().dynamicCast<FlashDevice2>();
        QVERIFY(virtualDevice);
        virtualDevice->setFlashState(FlashDevice2::FlashState::Flashing);
    }
    refresh();

    QCOMPARE(mainButton()->isEnabled(), mainEnabled);
    QCOMPARE(mainButton()->text(), mainStarted ? kStop : kStart);
    if (situation != QLatin1String("no manager")) {
        QCOMPARE(onDemandBox()->isEnabled(), boxEnabled);
        QCOMPARE(onDemandBox()->isChecked(), !startState.isEmpty());
    }
    // A flashing device's view offers its "Stop"; a view without device offers nothing.
    for (QPhoneWidget* view : views())
        QCOMPARE(startButton(view)->isEnabled(), view->getDevice() && (viewsEnabled || situation == "flashing"));
    const QString label = child<QLabel>(QStringLiteral("labelFlashFileLoaded"))->text();
    if (situation == QLatin1String("no manager") || startState.isEmpty())
        QCOMPARE(label, QString());
    else if (situation != QLatin1String("on-demand"))
        QVERIFY2(label.endsWith(QStringLiteral(" [Alpha]")), qPrintable(label));

    device->setFlashState(FlashDevice2::FlashState::Idle);
    if (virtualDevice) {
        virtualDevice->setFlashState(FlashDevice2::FlashState::Idle);
        m_devices->manager.unregisterVirtualDevices();
    }
}

void tst_MainWindowFlashControl::mainStart_data()
{
    QTest::addColumn<QString>("startState");
    QTest::addColumn<int>("deviceCount");
    QTest::addColumn<QString>("answer");            // the confirmation's answer; empty: no confirmation
    QTest::addColumn<QStringList>("requested");     // devices the window asks the manager for
    QTest::addColumn<bool>("virtualFlash");

    QTest::newRow("blankphone, one device") << "dnx_fw" << 1 << QString() << QStringList{"A"} << false;
    QTest::newRow("blankphone, no device") << "dnx_fw" << 0 << QString() << QStringList() << true;
    QTest::newRow("blankphone, two devices") << "dnx_fw" << 2 << QString() << QStringList() << true;
    QTest::newRow("pos, one device") << "pos" << 1 << QString() << QStringList{"A"} << false;
    QTest::newRow("pos, two devices, No") << "pos" << 2 << "No" << QStringList() << false;
    QTest::newRow("pos, two devices, Yes") << "pos" << 2 << "Yes" << QStringList{"A", "B"} << false;
    QTest::newRow("fastboot DnX without on-demand, two devices") << "dnx_os" << 2 << "Yes" << QStringList{"A", "B"}
                                                                << false;
}

void tst_MainWindowFlashControl::mainStart()
{
    QFETCH(QString, startState);
    QFETCH(int, deviceCount);
    QFETCH(QString, answer);
    QFETCH(QStringList, requested);
    QFETCH(bool, virtualFlash);
    for (int index = 0; index < deviceCount; ++index)
        QVERIFY(m_devices->sim.addDevice(QString(QChar('A' + index)), QStringLiteral("1-%1").arg(index + 2), kQuietState, {}));
    QVERIFY(m_devices->scan());
    makeWindow();
    keepRequestsFromTheManager();
    loadFlashFile(flashJson(startState, {"getvar product"}));
    QSignalSpy requests(m_window.get(), &MainWindow::start_flash);
    QSignalSpy started(m_flashManager.get(), &FlashManager::flashStarted);
    ModalDialogDriver dialogs;
    if (!answer.isEmpty())
        dialogs.answer(dialogs.readBoxText(ModalDialogDriver::pressButton(answer)));
    dialogs.closeUnexpected();

    click(mainButton());

    QVERIFY2(dialogs.allAnswered(), qPrintable(dialogs.failures().join('\n')));
    if (!answer.isEmpty())
        QCOMPARE(dialogs.texts(), QStringList{"Are you sure to flash all devices ?"});
    QCOMPARE(serials(requests), requested);
    if (virtualFlash) {
        QTRY_COMPARE_WITH_TIMEOUT(started.count(), 1, 30000);
        const FlashDevice2Ptr flashed = started.at(0).at(0).value<FlashDevice2Ptr>();
        for (QPhoneWidget* view : views())
            QVERIFY(view->getDevice() != flashed);
    } else {
        QCOMPARE(started.count(), 0);
    }
    if (answer == QLatin1String("No"))
        QCOMPARE(mainButton()->text(), kStart);
}

void tst_MainWindowFlashControl::mainStartWithoutConfigurationOnlyRefreshes()
{
    QVERIFY(m_devices->sim.addDevice("A", "1-2", kQuietState, {}));
    QVERIFY(m_devices->scan());
    makeWindow();
    QSignalSpy requests(m_window.get(), &MainWindow::start_flash);
    ModalDialogDriver dialogs;
    dialogs.closeUnexpected();
    // The button is disabled without a configuration: the slot is what a click would reach.
    QVERIFY(QMetaObject::invokeMethod(m_window.get(), "startFlashingMain"));
    QVERIFY2(dialogs.allAnswered(), qPrintable(dialogs.failures().join('\n')));
    QCOMPARE(requests.count(), 0);
    QCOMPARE(mainButton()->text(), kStart);
    QVERIFY(!mainButton()->isEnabled());
}

void tst_MainWindowFlashControl::onDemandEntersAndLeaves()
{
    makeWindow();
    loadFlashFile(flashJson("dnx_os", {"getvar product"}));
    QVERIFY(onDemandBox()->isEnabled());
    const RecordedLog log;
    click(onDemandBox());
    click(mainButton());

    QCOMPARE(m_flashManager->getFlashManagerMode(), FlashManager::FM_MODE_ON_DEMAND);
    QVERIFY(!FMConst::USE_DRAVIK_SOLO);
    QVERIFY(!FMConst::USE_DRAVIK_EXTERNAL);
    QVERIFY(m_flashManager->getOnDemandFlashFile());
    const QStringList entered = log.lines().filter(QStringLiteral("INFO|On-Demand flash for blankphone or fastboot "
                                                                  "DnX is activated \n\t Plug devices in DnX mode:\n"));
    QCOMPARE(entered.size(), 1);
    QVERIFY(entered.at(0).endsWith(QStringLiteral("release the buttons when flash is started")));
    QCOMPARE(mainButton()->text(), kStop);
    QVERIFY(!onDemandBox()->isEnabled());

    click(mainButton());   // nothing flashes: the mode ends
    QCOMPARE(m_flashManager->getFlashManagerMode(), FlashManager::FM_MODE_NORMAL);
    QVERIFY(FMConst::USE_DRAVIK_SOLO);
    QVERIFY(FMConst::USE_DRAVIK_EXTERNAL);
    QVERIFY(log.lines().contains(QStringLiteral("INFO|On-Demand flash mode for blankphone is stopped")));
    QCOMPARE(mainButton()->text(), kStart);
    QVERIFY(onDemandBox()->isEnabled());
    QVERIFY(!onDemandBox()->isChecked());
}

void tst_MainWindowFlashControl::onDemandRefusesOtherStartStates()
{
    makeWindow();
    loadFlashFile(flashJson("pos", {"getvar product"}));
    const RecordedLog log;
    bool entered = true;
    QVERIFY(QMetaObject::invokeMethod(m_window.get(), "startFlashingOnDemand", Q_RETURN_ARG(bool, entered)));
    QVERIFY(!entered);
    QCOMPARE(m_flashManager->getFlashManagerMode(), FlashManager::FM_MODE_NORMAL);
    QVERIFY(log.lines().contains(
        QStringLiteral("WARNING|On-Demand flash is only available for blankphone or fastboot DnX flash files")));
}

void tst_MainWindowFlashControl::onDemandFlashesAnArrivingDeviceOnceAndStopKeepsTheMode()
{
    makeWindow();
    loadFlashFile(flashJson("dnx_os", {"oem first", "oem second"}));
    QSignalSpy finished(m_flashManager.get(), &FlashManager::flashFinished);
    click(onDemandBox());
    click(mainButton());
    QCOMPARE(m_flashManager->getFlashManagerMode(), FlashManager::FM_MODE_ON_DEMAND);

    QVERIFY(m_devices->sim.addDevice("D1", "1-2", "dnx_os", {}));
    QVERIFY(m_devices->scan());
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 60000);
    QCOMPARE(finished.at(0).at(1).value<FlashTypes::FlashStatus>(), FlashTypes::FlashStatus::Success);
    QVERIFY(m_devices->scan());
    QTest::qWait(1000);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(m_devices->sim.commandLog().filter("oem second").size(), 1);

    // A second board hangs in its flash: Stop cancels it and the mode stays.
    QVERIFY(m_devices->sim.addDevice("D2", "1-3", "dnx_os", {}));
    QVERIFY(m_devices->sim.setFault("D2", "hang_match", "oem first"));
    QVERIFY(m_devices->scan());
    QTRY_VERIFY_WITH_TIMEOUT(m_devices->sim.commandLog().filter("oem first").size() == 2, 30000);
    click(mainButton());
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 2, 60000);
    QCOMPARE(finished.at(1).at(1).value<FlashTypes::FlashStatus>(), FlashTypes::FlashStatus::Interrupted);
    QCOMPARE(m_flashManager->getFlashManagerMode(), FlashManager::FM_MODE_ON_DEMAND);
    QTRY_COMPARE(mainButton()->text(), kStop);
}

void tst_MainWindowFlashControl::stopMidFlashCancelsAndTheViewTurnsOrange()
{
    const PrivateSessionBus bus;
    QVERIFY2(bus.isValid(), qPrintable(bus.error()));
    const NotificationRecorder desktop(bus.address());
    QVERIFY2(desktop.isValid(), qPrintable(desktop.error()));
    qputenv("DBUS_SESSION_BUS_ADDRESS", bus.address().toUtf8());
    QVERIFY(m_devices->sim.addDevice("A", "1-2", "pos", {}));
    QVERIFY(m_devices->sim.setFault("A", "hang_match", "oem hangs"));
    QVERIFY(m_devices->scan());
    makeWindow();
    loadFlashFile(flashJson("pos", {"oem hangs", "oem after"}));
    QSignalSpy finished(m_flashManager.get(), &FlashManager::flashFinished);
    auto* bar = boundView()->findChild<QProgressBar*>(QStringLiteral("progressBar"));
    ModalDialogDriver dialogs;
    dialogs.closeUnexpected();

    click(mainButton());
    QTRY_VERIFY_WITH_TIMEOUT(!m_devices->sim.commandLog().filter("oem hangs").isEmpty(), 30000);
    QCOMPARE(mainButton()->text(), kStop);
    click(mainButton());

    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 60000);
    QCOMPARE(finished.at(0).at(1).value<FlashTypes::FlashStatus>(), FlashTypes::FlashStatus::Interrupted);
    QTRY_VERIFY(bar->styleSheet().contains(QLatin1String("orange")));
    QTRY_COMPARE(mainButton()->text(), kStart);
    QCOMPARE(m_devices->sim.runningTools(), QStringList());
    QVERIFY(m_devices->sim.commandLog().filter("oem after").isEmpty());
    QVERIFY2(dialogs.allAnswered(), qPrintable(dialogs.failures().join('\n')));
    // The desktop hears of the end once.
    QTRY_COMPARE_WITH_TIMEOUT(desktop.notifications().size(), 1, 20000);
    QCOMPARE(desktop.notifications().at(0).summary, kApplicationName);
    QCOMPARE(desktop.notifications().at(0).body, QStringLiteral("Flash cancelled"));
    QCOMPARE(desktop.notifications().at(0).urgency, 1);
}

void tst_MainWindowFlashControl::twoQueuedStartsFlashTheDeviceOnce()
{
    QVERIFY(m_devices->sim.addDevice("A", "1-2", "pos", {}));
    QVERIFY(m_devices->scan());
    makeWindow();
    loadFlashFile(flashJson("pos", {"oem flashed"}));
    QSignalSpy finished(m_flashManager.get(), &FlashManager::flashFinished);
    QPhoneWidget* view = boundView();
    const FlashDevice2Ptr device = view->getDevice();
    const RecordedLog log;

    // Both requests reach the window in one pass of the event loop, before the manager takes either.
    emit view->start_flash(device, QString());
    emit view->start_flash(device, QString());
    QCoreApplication::processEvents();
    QVERIFY(startButton(view)->text() != kStart);

    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 60000);
    QTest::qWait(1000);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(m_devices->sim.commandLog().filter("oem flashed").size(), 1);
    QVERIFY(log.lines().filter(QStringLiteral("Cannot start flash, flash already in progress")).size() == 1);
    QTRY_COMPARE(startButton(view)->text(), kStart);
}

void tst_MainWindowFlashControl::droppedFileFlashesWithTheDialogsConfiguration_data()
{
    QTest::addColumn<bool>("accept");
    QTest::newRow("accepted") << true;
    QTest::newRow("rejected") << false;
}

void tst_MainWindowFlashControl::droppedFileFlashesWithTheDialogsConfiguration()
{
    QFETCH(bool, accept);
    QVERIFY(m_devices->sim.addDevice("SN1", "1-2", "pos", {}));
    QVERIFY(m_devices->scan());
    makeWindow();
    QSignalSpy finished(m_flashManager.get(), &FlashManager::flashFinished);
    // The dialog's file flashes a file beside it: it must stay loaded until the flash has ended,
    // although the dialog (its only holder) is gone.
    const QString folder = QDir(qEnvironmentVariable("HOME")).filePath(QStringLiteral("dropped"));
    QVERIFY(write(folder + "/boot.img", "boot image"));
    QVERIFY(write(folder + "/flash.json", flashJson("pos", {"flash boot ${flashDir}/boot.img"})));
    QPhoneWidget* view = boundView();
    const RecordedLog log;

    ModalDialogDriver dialogs(60000);
    dialogs.answer([accept](QWidget* modal) {
        auto* dialog = qobject_cast<FlashBasicDialog*>(modal);
        if (!dialog)
            return false;
        const QDialogButtonBox* buttons = dialog->findChild<QDialogButtonBox*>();
        QPushButton* start = buttons->button(QDialogButtonBox::Yes);
        QPushButton* cancel = buttons->button(QDialogButtonBox::No);
        // The load may be running further up the stack: the press waits for it from the event loop.
        auto* press = new QTimer(dialog);
        QObject::connect(press, &QTimer::timeout, dialog, [=] {
            if (accept ? !start->isEnabled() : !cancel->isEnabled())
                return;
            press->stop();
            (accept ? start : cancel)->click();
        });
        press->start(50);
        return start->text() == QLatin1String("Start to flash the device SN1");
    });
    emit view->start_flash(view->getDevice(), folder + "/flash.json");
    QCOMPARE(mainButton()->text(), kStop);   // shown as soon as the view asked
    QTRY_VERIFY_WITH_TIMEOUT(dialogs.allAnswered(), 40000);

    if (!accept) {
        refresh();
        QCOMPARE(mainButton()->text(), kStart);
        return;
    }
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 60000);
    QVERIFY2(finished.at(0).at(1).value<FlashTypes::FlashStatus>() == FlashTypes::FlashStatus::Success,
             qPrintable(log.lines().join('\n')));
    QVERIFY(m_devices->sim.commandLog().join('\n').contains("flash boot " + folder + "/boot.img"));
}

void tst_MainWindowFlashControl::notifierCommandReachesThePanelAndTheFlashGoesOn()
{
    QVERIFY(m_devices->sim.addDevice("A", "1-2", "pos", {}));
    QVERIFY(m_devices->scan());
    makeWindow();
    m_window->show();
    // As start-up relays it: the flash's thread waits only until the panel has taken the notice.
    connect(m_flashManager.get(), &FlashManager::displayNotifierTool, m_window.get(), &MainWindow::displayNotifierTool,
            Qt::BlockingQueuedConnection);
    loadFlashFile(flashJsonStartingWith(
        R"({"tool": "notifier", "source": "Plug the cable", "duration": 30000, "description": "Notice"})"));
    auto* notifier = child<NotifierWidget>(QStringLiteral("notifierWidget"));
    QSignalSpy closing(notifier->findChild<QAbstractAnimation*>(QStringLiteral("hideAnimation")),
                       &QAbstractAnimation::stateChanged);
    QSignalSpy finished(m_flashManager.get(), &FlashManager::flashFinished);
    const RecordedLog log;
    click(mainButton());

    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 60000);
    QCOMPARE(finished.at(0).at(1).value<FlashTypes::FlashStatus>(), FlashTypes::FlashStatus::Success);
    QVERIFY2(closing.isEmpty(), "the flash waited for the notice to end");
    auto* text = notifier->findChild<QTextBrowser*>(QStringLiteral("m_pkTextBrowser"));
    QCOMPARE(text->toPlainText(), QStringLiteral("Plug the cable"));
    QVERIFY(log.lines().contains(QStringLiteral("INFO|Displaying notification during 30000 ms")));
}

bool tst_MainWindowFlashControl::flashUntilTheyHang(const QStringList& serials, const QString& state)
{
    for (int index = 0; index < serials.size(); ++index) {
        if (!m_devices->sim.addDevice(serials.at(index), QStringLiteral("1-%1").arg(index + 2), state, {})
            || !m_devices->sim.setFault(serials.at(index), "hang_match", "oem hangs"))
            return false;
    }
    if (!m_devices->scan())
        return false;
    makeWindow();
    m_window->show();
    loadFlashFile(flashJson(state, {"oem hangs", "oem after"}));
    ModalDialogDriver dialogs;
    if (serials.size() > 1)
        dialogs.answer(ModalDialogDriver::pressButton(QStringLiteral("Yes")));   // flash all devices
    click(mainButton());
    return dialogs.allAnswered() && QTest::qWaitFor([&] {
        return m_devices->sim.commandLog().filter("oem hangs").size() == serials.size();
    }, 60000);
}

// Two flashes ask at once: each question opens a box of its own, over the other, and each flash
// waits for its own answer; "Continue" lets one go on, "Cancel Flash" cancels the other.
void tst_MainWindowFlashControl::questionsHoldTheirFlashesEachInABox()
{
    QVERIFY(m_devices->sim.addDevice("A", "1-2", "pos", {}));
    QVERIFY(m_devices->sim.addDevice("B", "1-3", "pos", {}));
    QVERIFY(m_devices->scan());
    makeWindow();
    m_window->show();
    // As start-up relays them: each flash's thread waits for the window's answer.
    connect(m_flashManager.get(), &FlashManager::displayMessageBox, m_window.get(), &MainWindow::displayMessageBox,
            Qt::BlockingQueuedConnection);
    loadFlashFile(flashJsonStartingWith(R"({"tool": "popup", "type": "question", "description": "Go on?"})"));
    QSignalSpy finished(m_flashManager.get(), &FlashManager::flashFinished);
    ModalDialogDriver dialogs;
    dialogs.answer(ModalDialogDriver::pressButton(QStringLiteral("Yes")));   // flash all devices
    // The boxes as they show: once both are open at once, "Continue" in the one on top, then
    // "Cancel Flash" in the other. (Each box runs its own event loop: the timer runs in them.)
    int mostAtOnce = 0;
    bool heldWhileAsked = false;
    QStringList pressed;
    QTimer answering;
    connect(&answering, &QTimer::timeout, this, [&] {
        QList<QMessageBox*> boxes;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(widget);
            if (box && box->isVisible() && box->text() == QLatin1String("Go on?"))
                boxes << box;
        }
        mostAtOnce = std::max(mostAtOnce, int(boxes.size()));
        if (boxes.size() == 2 && pressed.isEmpty()) {
            heldWhileAsked = m_devices->sim.commandLog().filter("oem after").isEmpty();
            if (ModalDialogDriver::pressButton(QStringLiteral("Continue"))(QApplication::activeModalWidget()))
                pressed << QStringLiteral("Continue");
        } else if (boxes.size() == 1 && pressed.size() == 1) {
            if (ModalDialogDriver::pressButton(QStringLiteral("Cancel Flash"))(boxes.first()))
                pressed << QStringLiteral("Cancel Flash");
        }
    });
    answering.start(20);
    click(mainButton());

    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 2, 60000);
    QVERIFY2(dialogs.allAnswered(), qPrintable(dialogs.failures().join('\n')));
    QCOMPARE(mostAtOnce, 2);
    QCOMPARE(pressed, QStringList({"Continue", "Cancel Flash"}));
    QVERIFY(heldWhileAsked);
    QList<FlashTypes::FlashStatus> outcomes;
    for (const QList<QVariant>& end : finished)
        outcomes << end.at(1).value<FlashTypes::FlashStatus>();
    std::sort(outcomes.begin(), outcomes.end());
    QCOMPARE(outcomes, QList<FlashTypes::FlashStatus>({FlashTypes::FlashStatus::Success, FlashTypes::FlashStatus::Interrupted}));
    QCOMPARE(m_devices->sim.commandLog().filter("oem after").size(), 1);
    const auto orangeRows = [this] {
        int orange = 0;
        for (QPhoneWidget* view : views())
            orange += view->findChild<QProgressBar*>(QStringLiteral("progressBar"))->styleSheet().contains("orange") ? 1 : 0;
        return orange;
    };
    QTRY_COMPARE(orangeRows(), 1);
}

void tst_MainWindowFlashControl::closeWhileFlashing_data()
{
    QTest::addColumn<QString>("situation");   // "flashing", "on-demand", "on-demand mode, another file"
    QTest::addColumn<QString>("answer");      // the button pressed, "Escape", "interrupt" (no box) or
                                              // "interrupt while asking" (one comes while the box is open)
    QTest::addColumn<QString>("text");        // the box's text; empty: no box
    QTest::addColumn<bool>("closes");

    const QString question = QStringLiteral("One or more devices are flashing.\nDo you want to quit anyway?");
    const QString onDemandWarning = QStringLiteral(
        "One or more devices are flashing blankphone using on-demand mode.\nWhen flashes are running in this mode "
        "Dravik API cannot be stopped.\n\nPlease wait for blankphone flashes to terminate.");
    QTest::newRow("flashing, No") << "flashing" << "No" << question << false;
    QTest::newRow("flashing, Escape") << "flashing" << "Escape" << question << false;
    QTest::newRow("flashing, Yes") << "flashing" << "Yes" << question << true;
    QTest::newRow("flashing, interrupt") << "flashing" << "interrupt" << QString() << true;
    QTest::newRow("flashing, interrupt while asking") << "flashing" << "interrupt while asking" << question << true;
    QTest::newRow("on-demand configuration flashing") << "on-demand" << "OK" << onDemandWarning << false;
    QTest::newRow("on-demand mode, another file flashing, Yes")
        << "on-demand mode, another file" << "Yes" << question << true;
}

void tst_MainWindowFlashControl::closeWhileFlashing()
{
    QFETCH(QString, situation);
    QFETCH(QString, answer);
    QFETCH(QString, text);
    QFETCH(bool, closes);
    if (situation == QLatin1String("on-demand")) {
        makeWindow();
        m_window->show();
        loadFlashFile(flashJson("dnx_os", {"oem hangs", "oem after"}));
        click(onDemandBox());
        click(mainButton());
        QVERIFY(m_devices->sim.addDevice("D1", "1-2", "dnx_os", {}));
        QVERIFY(m_devices->sim.setFault("D1", "hang_match", "oem hangs"));
        QVERIFY(m_devices->scan());
        QTRY_VERIFY_WITH_TIMEOUT(!m_devices->sim.commandLog().filter("oem hangs").isEmpty(), 60000);
    } else {
        QVERIFY(flashUntilTheyHang({"A"}, "pos"));
    }
    if (situation == QLatin1String("on-demand mode, another file")) {
        // The same file loaded again: an equal configuration, but not the one that flashes.
        loadFlashFile(flashJson("pos", {"oem hangs", "oem after"}));
        m_flashManager->setFlashManagerMode(FlashManager::FM_MODE_ON_DEMAND,
                                            child<FlashBasicWidget>(QStringLiteral("widgetFlashBasic"))->getCurrentFlashFile());
    }
    const FlashDevice2Ptr device = boundView()->getDevice();
    QVERIFY(device->isFlashing());
    QSignalSpy closing(m_window.get(), &MainWindow::closing);
    QSignalSpy finished(m_flashManager.get(), &FlashManager::flashFinished);
    ModalDialogDriver dialogs;
    if (!text.isEmpty()) {
        dialogs.answer(dialogs.readBoxText([this, answer](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            // A question defaults to No; every box is the application's, with no parent window.
            const QAbstractButton* no = box->button(QMessageBox::No);
            const bool looksRight = box->windowTitle() == kApplicationName && !box->parentWidget()
                                    && (!no || box->defaultButton() == no);
            if (answer == QLatin1String("Escape")) {
                QTest::keyClick(modal, Qt::Key_Escape);
            } else if (answer == QLatin1String("interrupt while asking")) {
                m_window->closeOnInterrupt();
                if (box->isHidden())
                    return looksRight;
                box->reject();   // the interrupt was lost: the test fails now, not at its time-out
                return false;
            } else if (!ModalDialogDriver::pressButton(answer)(modal)) {
                box->reject();   // the wrong box: the test fails now, not at its time-out
                return false;
            }
            return looksRight;
        }));
    }
    dialogs.closeUnexpected();

    if (answer == QLatin1String("interrupt"))
        m_window->closeOnInterrupt();
    else
        m_window->close();

    QVERIFY2(dialogs.allAnswered(), qPrintable(dialogs.failures().join('\n')));
    QCOMPARE(dialogs.texts(), text.isEmpty() ? QStringList() : QStringList{text});
    QCOMPARE(closing.count(), closes ? 1 : 0);
    QCOMPARE(m_window->isVisible(), !closes);
    if (closes) {
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 60000);
        QCOMPARE(finished.at(0).at(1).value<FlashTypes::FlashStatus>(), FlashTypes::FlashStatus::Interrupted);
        QCOMPARE(m_devices->sim.runningTools(), QStringList());
    } else {
        // Refused: the flash goes on, its tool still running.
        QCoreApplication::processEvents();
        QVERIFY(device->isFlashing());
        QCOMPARE(finished.count(), 0);
        QCOMPARE(m_devices->sim.runningTools().size(), 1);
    }
}

void tst_MainWindowFlashControl::batteryWarningStopsThatDeviceOnly_data()
{
    QTest::addColumn<QString>("answer");
    QTest::newRow("Yes") << "Yes";
    QTest::newRow("No") << "No";
}

void tst_MainWindowFlashControl::batteryWarningStopsThatDeviceOnly()
{
    QFETCH(QString, answer);
    QVERIFY(flashUntilTheyHang({"A", "B"}, "pos"));
    const FlashDevice2Ptr low = m_devices->deviceAt<FlashDevice2>(PortNumber::usbPort("1-2"));
    const FlashDevice2Ptr other = m_devices->deviceAt<FlashDevice2>(PortNumber::usbPort("1-3"));
    QSignalSpy finished(m_flashManager.get(), &FlashManager::flashFinished);
    QString title;
    QString question;
    ModalDialogDriver dialogs;
    dialogs.answer(dialogs.readBoxText([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        title = box->windowTitle();
        question = box->informativeText();
        const bool yesByDefault = box->defaultButton() == box->button(QMessageBox::Yes);
        return ModalDialogDriver::pressButton(answer)(modal) && yesByDefault && !box->parentWidget();
    }));
    dialogs.closeUnexpected();

    // Nothing in the program connects the warning: a direct call.
    m_window->do_batteryTooLowWhenFlashFW(low);

    QVERIFY2(dialogs.allAnswered(), qPrintable(dialogs.failures().join('\n')));
    QCOMPARE(title, kApplicationName + QStringLiteral(" - Battery Warning"));
    QCOMPARE(dialogs.texts(), QStringList{QStringLiteral("Battery too low for device %1 connected on port 1-2")
                                              .arg(low->getSocSerial())});
    QCOMPARE(question, QStringLiteral("Do you want to stop the flash ?"));
    if (answer == QLatin1String("Yes")) {
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 60000);
        QCOMPARE(finished.at(0).at(0).value<FlashDevice2Ptr>(), low);
        QCOMPARE(finished.at(0).at(1).value<FlashTypes::FlashStatus>(), FlashTypes::FlashStatus::Interrupted);
    } else {
        QCoreApplication::processEvents();
        QVERIFY(low->isFlashing());
    }
    QVERIFY(other->isFlashing());
    QCOMPARE(m_devices->sim.runningTools().size(), answer == QLatin1String("Yes") ? 1 : 2);
}

QTEST_MAIN(tst_MainWindowFlashControl)
#include "tst_MainWindowFlashControl.moc"
