// Desktop notifications as the session's notification service receives them: the fake service on
// a private bus records each call; a bus or service that is missing or silent is a post that no
// one answered, reported in bounded time.

#include "NotificationRecorder.h"
#include "PrivateSessionBus.h"
#include "platform/notifications/DesktopNotifications.h"

#include <QTemporaryDir>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(NotificationUrgency)

namespace {

const int kServiceWaitMs = 20000;   // the machine is shared: a loaded bus may be slow to answer

// What one post's handler heard.
struct Reply
{
    int calls = 0;
    bool answered = false;
    QString error;

    DesktopNotifications::ReplyHandler handler()
    {
        return [this](bool isAnswered, const QString& why) {
            ++calls;
            answered = isAnswered;
            error = why;
        };
    }
};

void useBus(const QString& address)
{
    qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());
}

} // namespace

class tst_DesktopNotifications : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    // First: the process has made no bus connection before it.
    void busNamedAfterAFailedPostIsUsed();
    void serviceRecordsWhatWasPosted_data();
    void serviceRecordsWhatWasPosted();
    void unansweredPost_data();
    void unansweredPost();
    void noReplyReachesAHandlerWhoseObjectIsGone();

private:
    QString absentBus() const { return QStringLiteral("unix:path=") + m_dir.filePath(QStringLiteral("no-bus")); }

    QTemporaryDir m_dir;
    std::unique_ptr<PrivateSessionBus> m_bus;
};

void tst_DesktopNotifications::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_bus = std::make_unique<PrivateSessionBus>();
    QVERIFY2(m_bus->isValid(), qPrintable(m_bus->error()));
}

void tst_DesktopNotifications::init()
{
    useBus(m_bus->address());
}

void tst_DesktopNotifications::serviceRecordsWhatWasPosted_data()
{
    QTest::addColumn<QString>("appName");
    QTest::addColumn<QString>("summary");
    QTest::addColumn<QString>("body");
    QTest::addColumn<NotificationUrgency>("urgency");
    QTest::addColumn<int>("urgencyByte");

    QTest::newRow("critical") << "Quillon" << "Quillon" << "Flash failed" << NotificationUrgency::Critical << 2;
    QTest::newRow("normal") << "Quillon" << "Quillon" << "Flash Success" << NotificationUrgency::Normal << 1;
    QTest::newRow("low") << "Quillon" << "Quillon" << "Flash Success" << NotificationUrgency::Low << 0;
    QTest::newRow("non-ASCII, name and summary apart")
        << QStringLiteral("Zorvik® Quillon Lite") << QStringLiteral("Téléphone «A» — 端口 1-2")
        << QStringLiteral("Échec du flash: ✗ 失败\nsecond line") << NotificationUrgency::Normal << 1;
}

void tst_DesktopNotifications::serviceRecordsWhatWasPosted()
{
    QFETCH(QString, appName);
    QFETCH(QString, summary);
    QFETCH(QString, body);
    QFETCH(NotificationUrgency, urgency);
    QFETCH(int, urgencyByte);
    NotificationRecorder service(m_bus->address());
    QVERIFY2(service.isValid(), qPrintable(service.error()));
    DesktopNotifications notifications;
    Reply reply;

    notifications.post(appName, summary, body, urgency, reply.handler());

    QTRY_COMPARE_WITH_TIMEOUT(reply.calls, 1, kServiceWaitMs);
    QVERIFY2(reply.answered, qPrintable(reply.error));
    const QList<RecordedNotification> recorded = service.notifications();
    QCOMPARE(recorded.size(), 1);
    QCOMPARE(recorded[0].appName, appName);
    QCOMPARE(recorded[0].summary, summary);
    QCOMPARE(recorded[0].body, body);
    QCOMPARE(recorded[0].urgency, urgencyByte);
    QCOMPARE(recorded[0].expireTimeout, -1);
    QCOMPARE(recorded[0].actions, QStringList());
}

void tst_DesktopNotifications::unansweredPost_data()
{
    QTest::addColumn<QString>("situation");   // "no bus", "no service", "silent service"
    QTest::addColumn<int>("reachedService");
    QTest::newRow("no bus at all") << "no bus" << 0;
    QTest::newRow("bus without the service") << "no service" << 0;
    QTest::newRow("service that never answers") << "silent service" << 1;
}

void tst_DesktopNotifications::unansweredPost()
{
    QFETCH(QString, situation);
    QFETCH(int, reachedService);
    std::unique_ptr<NotificationRecorder> service;
    if (situation == QLatin1String("no bus"))
        useBus(absentBus());
    if (situation == QLatin1String("silent service")) {
        service = std::make_unique<NotificationRecorder>(m_bus->address(), NotificationRecorder::Replies::Never);
        QVERIFY2(service->isValid(), qPrintable(service->error()));
    }
    DesktopNotifications notifications(500);
    Reply reply;

    notifications.post(QStringLiteral("Quillon"), QStringLiteral("Quillon"), QStringLiteral("Flash failed"),
                       NotificationUrgency::Critical, reply.handler());

    if (situation == QLatin1String("no bus"))
        QCOMPARE(reply.calls, 1);   // nothing to wait for
    QTRY_COMPARE_WITH_TIMEOUT(reply.calls, 1, kServiceWaitMs);
    QVERIFY(!reply.answered);
    QVERIFY2(!reply.error.isEmpty(), "a post that no one answered says why");
    if (service)
        QCOMPARE(service->notifications().size(), reachedService);
    QTest::qWait(100);
    QCOMPARE(reply.calls, 1);
}

void tst_DesktopNotifications::busNamedAfterAFailedPostIsUsed()
{
    // The first post finds no bus; the bus that the environment names afterwards takes the next one.
    useBus(absentBus());
    DesktopNotifications notifications;
    Reply first;
    notifications.post(QStringLiteral("Quillon"), QStringLiteral("Quillon"), QStringLiteral("first"),
                       NotificationUrgency::Normal, first.handler());
    QTRY_COMPARE_WITH_TIMEOUT(first.calls, 1, kServiceWaitMs);
    QVERIFY(!first.answered);

    NotificationRecorder service(m_bus->address());
    QVERIFY2(service.isValid(), qPrintable(service.error()));
    useBus(m_bus->address());
    Reply second;
    notifications.post(QStringLiteral("Quillon"), QStringLiteral("Quillon"), QStringLiteral("second"),
                       NotificationUrgency::Normal, second.handler());
    QTRY_COMPARE_WITH_TIMEOUT(second.calls, 1, kServiceWaitMs);
    QVERIFY2(second.answered, qPrintable(second.error));
    QCOMPARE(service.notifications().size(), 1);
    QCOMPARE(service.notifications()[0].body, QStringLiteral("second"));
}

void tst_DesktopNotifications::noReplyReachesAHandlerWhoseObjectIsGone()
{
    NotificationRecorder service(m_bus->address(), NotificationRecorder::Replies::Never);
    QVERIFY2(service.isValid(), qPrintable(service.error()));
    auto notifications = std::make_unique<DesktopNotifications>(300);
    Reply reply;
    notifications->post(QStringLiteral("Quillon"), QStringLiteral("Quillon"), QStringLiteral("Flash failed"),
                        NotificationUrgency::Critical, reply.handler());
    QTRY_COMPARE_WITH_TIMEOUT(service.notifications().size(), 1, kServiceWaitMs);

    notifications.reset();
    QTest::qWait(1000);   // past the reply time-out
    QCOMPARE(reply.calls, 0);
}

QTEST_GUILESS_MAIN(tst_DesktopNotifications)
#include "tst_DesktopNotifications.moc"
