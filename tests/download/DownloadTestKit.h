#pragma once

// Test support of the download client: the repository server (tests/download/repo_server.py) run as a
// child process, certificates made at test time, a recorder of the client's signals and a capture of
// Qt's debug stream. Main thread only, except where a function says otherwise.

#include "RecordingLogSink.h"
#include "core/ChildProcess.h"
#include "download/DownloadItem.h"
#include "download/DownloadManager.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QMutexLocker>
#include <QObject>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace DownloadTestKit {

constexpr int WaitMs = 30000;
// The one password the repository server accepts; no text of the client may ever show it.
const QString ms_kPassword = QStringLiteral("s3cret-pw");

inline QString serverScript()
{
    return QStringLiteral(QLN_REPO_SERVER_SCRIPT);
}

inline QString python()
{
    return QStringLiteral(QLN_PYTHON3);
}

// Runs the script to completion; false with the reason in `error`.
inline bool runScript(const QStringList& arguments, QString& error)
{
    ChildProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(python(), QStringList{serverScript()} + arguments);
    if (!process.waitForFinished(WaitMs) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0) {
        error = QStringLiteral("repo_server.py %1 failed: %2")
                    .arg(arguments.join(QLatin1Char(' ')), QString::fromLocal8Bit(process.readAll()));
        return false;
    }
    return true;
}

// ca.pem, trusted.pem/key ("quillon.test"), other-host.pem/key ("other.test") and a self-signed
// untrusted.pem/key in `folder`; signed by the given authority when there is one.
inline bool makeCertificates(const QString& folder, QString& error, const QString& caCert = QString(),
                             const QString& caKey = QString())
{
    QStringList arguments{QStringLiteral("certs"), folder};
    if (!caCert.isEmpty())
        arguments << QStringLiteral("--ca-cert") << caCert << QStringLiteral("--ca-key") << caKey;
    return runScript(arguments, error);
}

// From now on every new download manager trusts the authority (it copies the default configuration).
inline bool trustAuthority(const QString& pemPath)
{
    const QList<QSslCertificate> certificates = QSslCertificate::fromPath(pemPath, QSsl::Pem);
    if (certificates.isEmpty())
        return false;
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setCaCertificates(configuration.caCertificates() + certificates);
    QSslConfiguration::setDefaultConfiguration(configuration);
    return true;
}

// One running repository server; the child process ends with this object, and by itself when the
// test process is gone.
class RepositoryServer
{
public:
    // Serves `root`; HTTPS with `certificate` and `key` when given. Requests with "auth" in their
    // query need the basic authentication "alice" / ms_kPassword.
    bool start(const QString& root, QString& error, const QString& certificate = QString(),
               const QString& key = QString())
    {
        m_log = m_logFolder.filePath(QStringLiteral("requests.jsonl"));
        m_https = !certificate.isEmpty();
        QStringList arguments{serverScript(), QStringLiteral("serve"), QStringLiteral("--root"), root,
                              QStringLiteral("--log"), m_log, QStringLiteral("--idle"), QStringLiteral("600"),
                              QStringLiteral("--credentials"), QStringLiteral("alice:") + ms_kPassword};
        if (m_https)
            arguments << QStringLiteral("--cert") << certificate << QStringLiteral("--key") << key;
        m_process = std::make_unique<ChildProcess>();
        m_process->start(python(), arguments);
        QByteArray output;
        QElapsedTimer clock;
        clock.start();
        // Python takes most of a second to start the server, longer on a loaded machine: wait for
        // the line until WaitMs or the server's end, not for one read.
        while (!output.contains('\n') && clock.elapsed() < WaitMs && m_process->state() != QProcess::NotRunning) {
            m_process->waitForReadyRead(1000);
            output += m_process->readAllStandardOutput();
        }
        const QList<QByteArray> words = output.trimmed().split(' ');
        if (words.size() != 2 || words.first() != "PORT") {
            error = QStringLiteral("the repository server did not start: ")
                    + QString::fromLocal8Bit(output + m_process->readAllStandardError());
            return false;
        }
        m_port = words.last().toUShort();
        return true;
    }

    quint16 port() const { return m_port; }

    // "scheme://host:port/pathAndQuery".
    QUrl url(const QString& pathAndQuery, const QString& host = QStringLiteral("127.0.0.1")) const
    {
        return QUrl(QStringLiteral("%1://%2:%3/%4")
                        .arg(m_https ? QStringLiteral("https") : QStringLiteral("http"), host,
                             QString::number(m_port), pathAndQuery));
    }

    // Recorded events ("connection", "request", "error") in order.
    QList<QJsonObject> events(const QString& kind = QString()) const
    {
        QList<QJsonObject> events;
        QFile log(m_log);
        if (!log.open(QIODevice::ReadOnly))
            return events;
        for (const QByteArray& line : log.readAll().split('\n')) {
            const QJsonObject event = QJsonDocument::fromJson(line).object();
            if (!event.isEmpty() && (kind.isEmpty() || event.value(QStringLiteral("event")).toString() == kind))
                events << event;
        }
        return events;
    }

    // Headers of the requests for `path` (query included).
    QList<QJsonObject> requestHeaders(const QString& path) const
    {
        QList<QJsonObject> headers;
        for (const QJsonObject& event : events(QStringLiteral("request"))) {
            if (event.value(QStringLiteral("path")).toString() == path)
                headers << event.value(QStringLiteral("headers")).toObject();
        }
        return headers;
    }

    int maxConnections() const
    {
        int most = 0;
        for (const QJsonObject& event : events(QStringLiteral("connection")))
            most = qMax(most, event.value(QStringLiteral("active")).toInt());
        return most;
    }

    void clearLog() { QFile::remove(m_log); }

private:
    QTemporaryDir m_logFolder;
    QString m_log;
    std::unique_ptr<ChildProcess> m_process;
    quint16 m_port = 0;
    bool m_https = false;
};

// The client's signals as texts, in the order the main thread receives them:
// "created 1", "waiting 1", "started 1", "finished 1 504", "released 1", "completed",
// "flash 1", "progress 10 20 1 2" (received, expected, finished, counted), and from attached items
// "status 1 503 502" (id, new, old), "children 1", "child 1 2" (parent, child).
class SignalLog : public QObject
{
public:
    void attach(DownloadManager* manager)
    {
        using M = DownloadManager;
        connect(manager, &M::downloadCreated, this, [this](M::DownloadId id) { add("created", {id}); }, Qt::QueuedConnection);
        connect(manager, &M::downloadWaiting, this, [this](M::DownloadId id) { add("waiting", {id}); }, Qt::QueuedConnection);
        connect(manager, &M::downloadStarted, this, [this](M::DownloadId id) { add("started", {id}); }, Qt::QueuedConnection);
        connect(manager, &M::downloadFinished, this,
                [this](M::DownloadId id, M::DownloadStatus status) { add("finished", {id, quint64(status)}); },
                Qt::QueuedConnection);
        connect(manager, &M::downloadReleased, this, [this](M::DownloadId id) { add("released", {id}); }, Qt::QueuedConnection);
        connect(manager, &M::downloadsCompleted, this, [this] { add("completed", {}); }, Qt::QueuedConnection);
        connect(manager, &M::flashFileCompleted, this, [this](M::DownloadId id) { add("flash", {id}); }, Qt::QueuedConnection);
        connect(manager, &M::globalDownloadProgress, this,
                [this](quint64 received, quint64 expected, quint64 finished, quint64 counted) {
                    add("progress", {received, expected, finished, counted});
                },
                Qt::QueuedConnection);
    }

    void attach(DownloadItem* item)
    {
        using M = DownloadManager;
        connect(item, &DownloadItem::statusChanged, this,
                [this](M::DownloadId id, M::DownloadStatus status, M::DownloadStatus previous) {
                    add("status", {id, quint64(status), quint64(previous)});
                },
                Qt::QueuedConnection);
        connect(item, &DownloadItem::childDownloadsFinished, this,
                [this](M::DownloadId id) { add("children", {id}); }, Qt::QueuedConnection);
        connect(item, &DownloadItem::childDownloadAdded, this,
                [this](M::DownloadId parent, M::DownloadId child) { add("child", {parent, child}); },
                Qt::QueuedConnection);
    }

    QStringList events() const { return m_events; }

    // Events that start with `prefix` ("finished 3").
    QStringList events(const QString& prefix) const
    {
        QStringList found;
        for (const QString& event : m_events) {
            if (event == prefix || event.startsWith(prefix + QLatin1Char(' ')))
                found << event;
        }
        return found;
    }

    int count(const QString& prefix) const { return events(prefix).size(); }

    void clear() { m_events.clear(); }

private:
    void add(const char* name, std::initializer_list<quint64> values)
    {
        QString event = QLatin1String(name);
        for (const quint64 value : values)
            event += QLatin1Char(' ') + QString::number(value);
        m_events << event;
    }

    QStringList m_events;
};

// Every message of Qt's debug stream while it lives, from any thread.
class DebugCapture
{
public:
    DebugCapture()
    {
        ms_current = this;
        m_previous = qInstallMessageHandler(&DebugCapture::handle);
    }
    ~DebugCapture()
    {
        qInstallMessageHandler(m_previous);
        ms_current = nullptr;
    }
    DebugCapture(const DebugCapture&) = delete;
    DebugCapture& operator=(const DebugCapture&) = delete;

    QStringList messages() const
    {
        QMutexLocker locker(&m_mutex);
        return m_messages;
    }

private:
    static void handle(QtMsgType, const QMessageLogContext&, const QString& message)
    {
        if (DebugCapture* capture = ms_current) {
            QMutexLocker locker(&capture->m_mutex);
            capture->m_messages << message;
        }
    }

    static inline DebugCapture* ms_current = nullptr;
    QtMessageHandler m_previous = nullptr;
    mutable QMutex m_mutex;
    QStringList m_messages;
};

// Under root, permission bits stop nobody: while this lives, the calling thread (and every thread it
// starts) loses the effective rights that override them, so a read-only folder is read-only again.
// The rights stay permitted and come back when it ends. Nothing to do for other users.
class PermissionBitsApply
{
public:
    PermissionBitsApply()
    {
        if (::geteuid() != 0 || !read(m_saved))
            return;
        __user_cap_data_struct lowered[2] = {m_saved[0], m_saved[1]};
        for (const int capability : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER})
            lowered[0].effective &= ~(1u << capability);
        m_active = write(lowered);
    }
    ~PermissionBitsApply()
    {
        if (m_active)
            write(m_saved);
    }
    PermissionBitsApply(const PermissionBitsApply&) = delete;
    PermissionBitsApply& operator=(const PermissionBitsApply&) = delete;

private:
    static bool read(__user_cap_data_struct* data)
    {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        return ::syscall(SYS_capget, &header, data) == 0;
    }
    static bool write(__user_cap_data_struct* data)
    {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        return ::syscall(SYS_capset, &header, data) == 0;
    }

    __user_cap_data_struct m_saved[2] = {};
    bool m_active = false;
};

// A download manager with its log and its signals recorded; the manager goes first. Devices that
// downloads write into are declared before it, so that they outlive its downloads.
struct Client
{
    explicit Client(unsigned char maxParallel = 2)
        : manager(std::make_unique<DownloadManager>(maxParallel))
    {
        log.bind(*manager);
        events.attach(manager.get());
    }

    // Waits for the download's first downloadFinished; its status, -1 when none came.
    int waitForFinish(DownloadManager::DownloadId id, int timeoutMs = WaitMs)
    {
        const QString prefix = QStringLiteral("finished ") + QString::number(id);
        QElapsedTimer clock;
        clock.start();
        while (events.count(prefix) == 0 && clock.elapsed() < timeoutMs)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        const QStringList found = events.events(prefix);
        return found.isEmpty() ? -1 : found.first().section(QLatin1Char(' '), 2).toInt();
    }

    // A started download into `output` that holds a transfer thread of its pool for `holdMs`: with
    // one thread a pool, what is started after it waits in 502 meanwhile.
    DownloadItemPtr startBlocker(const RepositoryServer& server, QIODevice* output, int holdMs,
                                 bool priority = false)
    {
        static int count = 0;
        const DownloadItemPtr item = manager->downloadSimpleFile(
            server.url(QStringLiteral("file.bin?hold=%1&blocker=%2").arg(holdMs).arg(++count)), QHostAddress(), output);
        if (priority)
            manager->startPriorityDownload(item);
        else
            manager->startDownload(item);
        return item;
    }

    RecordingLogSink log;
    SignalLog events;
    std::unique_ptr<DownloadManager> manager;
};

inline QString hexDigest(const QByteArray& data, QCryptographicHash::Algorithm algorithm)
{
    return QString::fromLatin1(QCryptographicHash::hash(data, algorithm).toHex());
}

inline bool writeFile(const QString& path, const QByteArray& data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

inline QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Deterministic content of `size` bytes.
inline QByteArray payload(int size)
{
    QByteArray data(size, '\0');
    for (int i = 0; i < size; ++i)
        data[i] = char((i * 131 + i / 251) & 0xff);
    return data;
}

} // namespace DownloadTestKit
