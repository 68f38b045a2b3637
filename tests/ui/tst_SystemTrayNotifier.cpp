// The window's desktop notifications as the session's notification service receives them, posted
// the way the window posts them (a queued call by name): the icon chooses the urgency, the title is
// both the application's name and the summary. Without a service and without a tray (offscreen
// there is none) the notification ends in a DEBUG line that says why.

#include "NotificationRecorder.h"
#include "PrivateSessionBus.h"
#include "RecordingLogSink.h"
#include "ui/SystemTrayNotifier.h"
#include "ui/UiMetaTypes.h"

#include <QMenu>
#include <QtTest>

#include <memory>

namespace {

const int kServiceWaitMs = 20000;   // the machine is shared: a loaded bus may be slow to answer
const QString kTitle = QStringLiteral("Zorvik® Quillon Lite");

// As the window calls it.
bool postByName(SystemTrayNotifier& notifier, const QString& message, QSystemTrayIcon::MessageIcon icon)
{
    return QMetaObject::invokeMethod(&notifier, "postNotification", Qt::QueuedConnection, Q_ARG(QString, kTitle),
                                     Q_ARG(QString, message), Q_ARG(QSystemTrayIcon::MessageIcon, icon));
}

} // namespace

class tst_SystemTrayNotifier : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void iconChoosesTheUrgency_data();
    void iconChoosesTheUrgency();
    void withoutServiceAndTrayOnlyTheReasonIsLogged();

private:
    std::unique_ptr<PrivateSessionBus> m_bus;
};

void tst_SystemTrayNotifier::initTestCase()
{
    registerUiMetaTypes();
    m_bus = std::make_unique<PrivateSessionBus>();
    QVERIFY2(m_bus->isValid(), qPrintable(m_bus->error()));
    QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
}

void tst_SystemTrayNotifier::init()
{
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_bus->address().toUtf8());
}

void tst_SystemTrayNotifier::iconChoosesTheUrgency_data()
{
    QTest::addColumn<int>("icon");
    QTest::addColumn<int>("urgency");
    QTest::newRow("critical") << int(QSystemTrayIcon::Critical) << 2;
    QTest::newRow("warning") << int(QSystemTrayIcon::Warning) << 1;
    QTest::newRow("information") << int(QSystemTrayIcon::Information) << 1;
    QTest::newRow("no icon") << int(QSystemTrayIcon::NoIcon) << 1;
}

void tst_SystemTrayNotifier::iconChoosesTheUrgency()
{
    QFETCH(int, icon);
    QFETCH(int, urgency);
    NotificationRecorder service(m_bus->address());
    QVERIFY2(service.isValid(), qPrintable(service.error()));
    QMenu menu;
    SystemTrayNotifier notifier(&menu, nullptr);

    QVERIFY(postByName(notifier, QStringLiteral("Flash failed"), QSystemTrayIcon::MessageIcon(icon)));

    QTRY_COMPARE_WITH_TIMEOUT(service.notifications().size(), 1, kServiceWaitMs);
    const RecordedNotification recorded = service.notifications().at(0);
    QCOMPARE(recorded.appName, kTitle);
    QCOMPARE(recorded.summary, kTitle);
    QCOMPARE(recorded.body, QStringLiteral("Flash failed"));
    QCOMPARE(recorded.urgency, urgency);
}

void tst_SystemTrayNotifier::withoutServiceAndTrayOnlyTheReasonIsLogged()
{
    SystemTrayNotifier notifier(nullptr, nullptr);
    RecordingLogSink sink;
    sink.bind(notifier);

    QVERIFY(postByName(notifier, QStringLiteral("Flash Success"), QSystemTrayIcon::Information));

    QTRY_COMPARE_WITH_TIMEOUT(sink.texts(Logger::DEBUG).size(), 1, kServiceWaitMs);
    QVERIFY2(sink.texts(Logger::DEBUG).at(0).startsWith(QStringLiteral("No desktop notification shown (")),
             qPrintable(sink.texts(Logger::DEBUG).at(0)));
    QCOMPARE(sink.lines().size(), size_t(1));
}

QTEST_MAIN(tst_SystemTrayNotifier)
#include "tst_SystemTrayNotifier.moc"
