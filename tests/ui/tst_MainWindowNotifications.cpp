// The end of a flash as the desktop shows it: the real flash manager's notification reaches the
// window, which logs it and hands it to the session's notification service, here the fake service
// on a private bus that records each call.

#include "MainWindowTestSetup.h"
#include "NotificationRecorder.h"
#include "PrivateSessionBus.h"
#include "core/LoggerBridge.h"
#include "core/MessageHandler.h"
#include "engine/FlashManager.h"
#include "loader/ToolConst.h"
#include "tests/core/RecordedLog.h"
#include "ui/MainWindow.h"

#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

const int kServiceWaitMs = 20000;   // the machine is shared: a loaded bus may be slow to answer
const QString kApplicationName = MainWindowTestSetup::applicationName();

QString traceLine(const QString& message)
{
    return QStringLiteral("Sending system tray notification: \"%1\"").arg(message);
}

} // namespace

class tst_MainWindowNotifications : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void flashEndReachesTheService_data();
    void flashEndReachesTheService();
    void switchedOffNothingIsPostedOrLogged();
    void withoutABusTheLineIsLoggedAndTheWindowGoesOn();

private:
    // A window with the real flash manager attached, its lines in the application log.
    void makeWindow();
    void notify(Logger::LogLevel level, const QString& message)
    {
        emit m_flashManager->postSystemTrayNotification(level, kApplicationName, message);
    }

    QTemporaryDir m_dir;
    std::unique_ptr<PrivateSessionBus> m_bus;
    std::unique_ptr<FlashManager> m_flashManager;   // goes after the window, as at start-up's end
    std::unique_ptr<MainWindow> m_window;
    std::unique_ptr<LoggerBridge> m_bridge;
};

void tst_MainWindowNotifications::initTestCase()
{
    QVERIFY(m_dir.isValid());
    MainWindowTestSetup::prepareApplication();
    m_bus = std::make_unique<PrivateSessionBus>();
    QVERIFY2(m_bus->isValid(), qPrintable(m_bus->error()));
}

void tst_MainWindowNotifications::init()
{
    MainWindowTestSetup::useFreshHome(m_dir);
    MessageHandler::instance()->setLogLevel(TRACE);
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_bus->address().toUtf8());
}

void tst_MainWindowNotifications::cleanup()
{
    MessageHandler::instance()->setMainTextEditLog(nullptr);
    m_bridge.reset();
    m_window.reset();
    m_flashManager.reset();
}

void tst_MainWindowNotifications::makeWindow()
{
    m_window = std::make_unique<MainWindow>();
    m_bridge = std::make_unique<LoggerBridge>();
    m_bridge->bind(*m_window);
    m_flashManager = std::make_unique<FlashManager>();
    m_window->setFlashManager(m_flashManager.get());
}

void tst_MainWindowNotifications::flashEndReachesTheService_data()
{
    QTest::addColumn<int>("level");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("urgency");
    QTest::newRow("failed") << int(Logger::ERROR) << "Flash failed" << 2;
    QTest::newRow("fatal") << int(Logger::FATAL) << "Flash failed" << 2;
    QTest::newRow("success") << int(Logger::INFO) << "Flash Success" << 1;
    QTest::newRow("cancelled") << int(Logger::WARNING) << "Flash cancelled" << 1;
    QTest::newRow("non-ASCII") << int(Logger::WARNING) << QStringLiteral("Flash annulé — 已取消 ✓") << 1;
}

void tst_MainWindowNotifications::flashEndReachesTheService()
{
    QFETCH(int, level);
    QFETCH(QString, message);
    QFETCH(int, urgency);
    NotificationRecorder service(m_bus->address());
    QVERIFY2(service.isValid(), qPrintable(service.error()));
    makeWindow();
    const RecordedLog log;

    notify(Logger::LogLevel(level), message);

    QTRY_COMPARE_WITH_TIMEOUT(service.notifications().size(), 1, kServiceWaitMs);
    const RecordedNotification recorded = service.notifications().at(0);
    QCOMPARE(recorded.appName, kApplicationName);
    QCOMPARE(recorded.summary, kApplicationName);
    QCOMPARE(recorded.body, message);
    QCOMPARE(recorded.urgency, urgency);
    QCOMPARE(log.at(QStringLiteral("TRACE")), QStringList{traceLine(message)});
}

void tst_MainWindowNotifications::switchedOffNothingIsPostedOrLogged()
{
    NotificationRecorder service(m_bus->address());
    QVERIFY2(service.isValid(), qPrintable(service.error()));
    makeWindow();
    const RecordedLog log;

    ToolConst::DISPLAY_SYSTRAY_NOTIFICATION = false;
    notify(Logger::ERROR, QStringLiteral("Flash failed"));
    QCoreApplication::processEvents();
    // Switched on again, the next one goes through: when it has arrived, the first had its chance.
    ToolConst::DISPLAY_SYSTRAY_NOTIFICATION = true;
    notify(Logger::INFO, QStringLiteral("Flash Success"));

    QTRY_COMPARE_WITH_TIMEOUT(service.notifications().size(), 1, kServiceWaitMs);
    QCOMPARE(service.notifications().at(0).body, QStringLiteral("Flash Success"));
    QCOMPARE(log.at(QStringLiteral("TRACE")), QStringList{traceLine(QStringLiteral("Flash Success"))});
}

void tst_MainWindowNotifications::withoutABusTheLineIsLoggedAndTheWindowGoesOn()
{
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + QFile::encodeName(m_dir.filePath(QStringLiteral("no-bus"))));
    makeWindow();
    const RecordedLog log;

    notify(Logger::ERROR, QStringLiteral("Flash failed"));

    QTRY_COMPARE(log.at(QStringLiteral("TRACE")), QStringList{traceLine(QStringLiteral("Flash failed"))});
    // The post ends, and says why, once the window's queued call has run.
    QTRY_VERIFY_WITH_TIMEOUT(!log.at(QStringLiteral("DEBUG")).filter(QStringLiteral("No desktop notification shown")).isEmpty(),
                             kServiceWaitMs);
    QVERIFY(log.at(QStringLiteral("ERROR")).isEmpty());
    // The window still serves: the next notification is logged as well.
    notify(Logger::INFO, QStringLiteral("Flash Success"));
    QTRY_COMPARE(log.at(QStringLiteral("TRACE")).size(), 2);
}

QTEST_MAIN(tst_MainWindowNotifications)
#include "tst_MainWindowNotifications.moc"
