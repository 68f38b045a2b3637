// A stand-in for the desktop's notification service, for tests: it owns
// org.freedesktop.Notifications on the session bus of its environment (DBUS_SESSION_BUS_ADDRESS),
// answers Notify with a new id as a real service does, and appends every Notify to the record file
// as one JSON line (RecordedNotification.h reads them). It prints "ready" once it owns the name.
// With --never-reply it records the calls and answers none of them, as a hung service.
//
//     qln_fake_notification_service <record file> [--never-reply]

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusError>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <QVariantMap>

#include <cstdio>

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");

class FakeNotificationService : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    FakeNotificationService(const QString& recordPath, bool replies)
        : m_record(recordPath)
        , m_replies(replies)
    {
    }

    bool openRecord() { return m_record.open(QIODevice::WriteOnly | QIODevice::Append); }
    QString recordError() const { return m_record.errorString(); }

public slots:
    uint Notify(const QString& appName, uint, const QString&, const QString& summary, const QString& body,
                const QStringList& actions, const QVariantMap& hints, int expireTimeout)
    {
        // A real service takes the urgency only as a byte: anything else counts as no urgency.
        const QVariant urgency = hints.value(QStringLiteral("urgency"));
        const QJsonObject line{
            {QStringLiteral("appName"), appName},
            {QStringLiteral("summary"), summary},
            {QStringLiteral("body"), body},
            {QStringLiteral("urgency"), urgency.userType() == QMetaType::UChar ? QJsonValue(urgency.toInt()) : QJsonValue()},
            {QStringLiteral("expireTimeout"), expireTimeout},
            {QStringLiteral("actions"), QJsonArray::fromStringList(actions)},
        };
        // Written before the reply leaves: a caller that has its answer finds the line.
        m_record.write(QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n');
        m_record.flush();
        if (!m_replies)
            setDelayedReply(true);   // and no reply ever follows
        return ++m_lastId;
    }

    QStringList GetCapabilities() { return {QStringLiteral("body")}; }

    QString GetServerInformation(QString& vendor, QString& version, QString& specVersion)
    {
        vendor = QStringLiteral("quillonlite tests");
        version = QStringLiteral("1");
        specVersion = QStringLiteral("1.2");
        return QStringLiteral("qln-fake-notifications");
    }

    void CloseNotification(uint) {}

private:
    QFile m_record;
    bool m_replies;
    uint m_lastId = 0;
};

int fail(const QString& text)
{
    std::fprintf(stderr, "qln_fake_notification_service: %s\n", qPrintable(text));
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    if (arguments.isEmpty())
        return fail(QStringLiteral("usage: qln_fake_notification_service <record file> [--never-reply]"));
    FakeNotificationService service(arguments.at(0), !arguments.contains(QStringLiteral("--never-reply")));
    if (!service.openRecord())
        return fail(QStringLiteral("cannot open %1: %2").arg(arguments.at(0), service.recordError()));
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return fail(QStringLiteral("no session bus: %1").arg(bus.lastError().message()));
    if (!bus.registerObject(kPath, &service, QDBusConnection::ExportAllSlots))
        return fail(QStringLiteral("cannot register %1: %2").arg(kPath, bus.lastError().message()));
    if (!bus.registerService(kService))
        return fail(QStringLiteral("cannot own %1: %2").arg(kService, bus.lastError().message()));
    std::printf("ready\n");
    std::fflush(stdout);
    return QCoreApplication::exec();
}

#include "FakeNotificationService.moc"
