#include "core/FastestHost.h"

#include "core/ApplicationLog.h"
#include "core/ChildProcess.h"

#include <QCoreApplication>
#include <QDebug>
#include <QEventLoop>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>

#include <cfloat>
#include <memory>
#include <vector>

namespace {

// Most pings that pingHosts leaves unfinished before it starts the next one.
constexpr size_t kMaxUnfinishedPings = 20;

struct Ping
{
    QString entry;
    std::unique_ptr<ChildProcess> process;
    bool refused = false;   // never started: the host name would read as an option of ping
};

using Pings = std::vector<Ping>;

QString quoted(const QString& text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QString hostOf(const QString& entry)
{
    // A bare "10.0.0.1" parses as a path: the entry itself is then the host.
    const QString host = QUrl(entry).host();
    return host.isEmpty() ? entry : host;
}

// Standard output up to its first NUL byte, as Latin-1.
QString outputOf(QProcess& process)
{
    QByteArray bytes = process.readAllStandardOutput();
    const int nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    return QString::fromLatin1(bytes);
}

bool hasEnded(const QProcess& process)
{
    return process.state() == QProcess::NotRunning;
}

// An ended ping that answered; one that was refused, could not start or crashed did not.
bool succeeded(const Ping& ping)
{
    const QProcess& process = *ping.process;
    return !ping.refused && process.error() != QProcess::FailedToStart
           && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool anyEnded(const Pings& pings)
{
    for (const Ping& ping : pings) {
        if (hasEnded(*ping.process))
            return true;
    }
    return false;
}

// Starts `program` for one entry, `host` being its last argument; its end, or its failure to
// start, wakes `loop`. A host name that begins with "-" is refused: ping would read it as an
// option. A refused ping counts as one that ended without an answer.
Ping startPing(const QString& entry, const QString& host, const QString& program,
               const QStringList& arguments, QEventLoop& loop)
{
    Ping ping{entry, std::make_unique<ChildProcess>()};
    if (host.startsWith(QLatin1Char('-'))) {
        ApplicationLog::write(
            LOGLEVEL::WARNING, QStringLiteral("Host name %1 refused: it begins with \"-\"").arg(quoted(host)));
        ping.refused = true;
        return ping;
    }
    ChildProcess* process = ping.process.get();
    QObject::connect(process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), &loop,
                     &QEventLoop::quit, Qt::QueuedConnection);
    QObject::connect(process, &QProcess::errorOccurred, &loop, &QEventLoop::quit,
                     Qt::QueuedConnection);
    process->start(program, arguments + QStringList{host});
    return ping;
}

// Starts every ping of a getFastestHost variant; `announce` waits for each start and logs it.
Pings startAll(const QStringList& entries, int count, QEventLoop& loop, bool announce)
{
    Pings pings;
    for (const QString& entry : entries) {
        pings.push_back(startPing(entry, hostOf(entry), QStringLiteral("ping"),
                                  {QStringLiteral("-c"), QString::number(count)}, loop));
        QProcess& process = *pings.back().process;
        if (announce && !pings.back().refused && process.waitForStarted(-1))
            ApplicationLog::write(TRACE, QStringLiteral("Ping command started with args: %1")
                      .arg(process.arguments().join(QLatin1Char(' '))));
    }
    return pings;
}

// Runs the loop unless a ping has already ended (its wake-up may have been consumed earlier).
void waitForAnEnd(const Pings& pings, QEventLoop& loop)
{
    if (!anyEnded(pings))
        loop.exec();
}

// Hands every ended ping to `handle` in list order and drops it; stops early, returning false,
// when `handle` returns false.
template <typename Handle>
bool dropEnded(Pings& pings, Handle handle)
{
    for (auto it = pings.begin(); it != pings.end();) {
        if (!hasEnded(*it->process)) {
            ++it;
            continue;
        }
        const bool goOn = handle(*it);
        it = pings.erase(it);
        if (!goOn)
            return false;
    }
    return true;
}

// Runs `loop` until every ping has ended, handling each end as dropEnded does; false when
// `handle` stopped early.
template <typename Handle>
bool handleAllEnds(Pings& pings, QEventLoop& loop, Handle handle)
{
    while (!pings.empty()) {
        waitForAnEnd(pings, loop);
        if (!dropEnded(pings, handle))
            return false;
    }
    return true;
}

const QRegularExpression& timePattern()
{
    static const QRegularExpression pattern(QStringLiteral("min/avg/max/mdev = (\\d+(?:\\.\\d+)?)/"));
    return pattern;
}

// The minimum response time in a ping summary; false when the output has none.
bool minimumTime(const QString& output, float& time)
{
    const QRegularExpressionMatch match = timePattern().match(output);
    if (!match.hasMatch())
        return false;
    time = match.captured(1).toFloat();
    return true;
}

bool emptyList(const QStringList& entries, const char* function)
{
    if (!entries.isEmpty())
        return false;
    ApplicationLog::write(
        LOGLEVEL::DEBUG, QStringLiteral("Utils::%1(): Empty host list").arg(QLatin1String(function)));
    return true;
}

} // namespace

QString FastestHost::getFastestHost(const QStringList& entries, int count)
{
    if (emptyList(entries, "getFastestHost"))
        return QString();
    QEventLoop loop;
    Pings pings = startAll(entries, count, loop, false);
    QString result = entries.first();
    float best = FLT_MAX;
    handleAllEnds(pings, loop, [&result, &best](Ping& ping) {
        float time = 0;
        if (succeeded(ping) && minimumTime(outputOf(*ping.process), time) && time < best) {
            best = time;
            result = ping.entry;
        }
        return true;
    });
    return result;
}

QString FastestHost::getFastestHost_2(const QStringList& entries, int count)
{
    if (emptyList(entries, "getFastestHost"))
        return QString();
    QEventLoop loop;
    Pings pings = startAll(entries, count, loop, true);
    ApplicationLog::write(TRACE, QStringLiteral("Default host ") + quoted(entries.first()));
    QString result = entries.first();
    const bool oneAnswered = !handleAllEnds(pings, loop, [&result](Ping& ping) {
        QProcess& process = *ping.process;
        const QString output = outputOf(process).trimmed();
        if (succeeded(ping)) {
            ApplicationLog::write(TRACE, QStringLiteral("Ping result of fastest host %1: %2").arg(quoted(ping.entry), output));
            result = ping.entry;
            return false;
        }
        ApplicationLog::write(TRACE, QStringLiteral("Ping result of fastest host %1: %2 %3")
                  .arg(quoted(ping.entry), QString::number(process.exitCode()), output));
        return true;
    });
    if (oneAnswered) {
        for (Ping& other : pings) {
            ApplicationLog::write(TRACE, QStringLiteral("Ping result of host %1: %2")
                      .arg(quoted(other.entry), outputOf(*other.process).trimmed()));
            other.process->killGroup();
            other.process->close();
        }
    }
    return result;
}

QString FastestHost::getFastestHost_3(const QStringList& entries, int count)
{
    if (emptyList(entries, "getFastestHost"))
        return QString();
    QEventLoop loop;
    Pings pings = startAll(entries, count, loop, true);
    QTimer deadline;
    deadline.setSingleShot(true);
    for (const Ping& ping : pings)
        QObject::connect(&deadline, &QTimer::timeout, ping.process.get(), &ChildProcess::killGroup);
    deadline.start(count * 1000 + 1000);

    QString result = entries.first();
    float best = FLT_MAX;
    handleAllEnds(pings, loop, [&result, &best](Ping& ping) {
        if (!succeeded(ping))
            return true;
        const QString output = outputOf(*ping.process);
        qDebug() << "Ping result of host" << ping.entry << output;
        float time = 0;
        if (minimumTime(output, time)) {
            ApplicationLog::write(TRACE, QStringLiteral("Ping value host %1: %2")
                      .arg(quoted(ping.entry), QString::number(time, 'g', 6)));
            if (time < best) {
                best = time;
                result = ping.entry;
            }
        }
        return true;
    });
    return result;
}

QStringList FastestHost::pingHosts(const QStringList& names, int count, uint64_t timeoutMs)
{
    if (names.isEmpty()) {
        ApplicationLog::write(LOGLEVEL::DEBUG,
                                               QStringLiteral("Utils::pingHosts(): Empty host list"));
        return {};
    }
    QString program;
    QStringList fixedArguments;
    if (isFPingAvailable()) {
        program = QStringLiteral("fping");
        fixedArguments = QStringList{QStringLiteral("-b"), QStringLiteral("24"), QStringLiteral("-i"),
                          QStringLiteral("10"), QStringLiteral("-p"), QStringLiteral("20"),
                          QStringLiteral("-r"), QString::number(count - 1),
                          QStringLiteral("-t"), QString::number(timeoutMs)};
    } else {
        // Linux ping: -c is the echo count, -w the deadline in whole seconds.
        program = QStringLiteral("ping");
        fixedArguments = QStringList{QStringLiteral("-c"), QString::number(count), QStringLiteral("-w"),
                          QString::number((timeoutMs + 999) / 1000)};
    }

    QEventLoop loop;
    Pings pings;
    QStringList answered;
    const auto answer = [&answered](Ping& ping) {
        if (succeeded(ping))
            answered.append(ping.entry);
        return true;
    };
    for (const QString& name : names) {
        pings.push_back(startPing(name, name, program, fixedArguments, loop));
        QCoreApplication::processEvents();
        dropEnded(pings, answer);
        while (pings.size() > kMaxUnfinishedPings) {
            waitForAnEnd(pings, loop);
            dropEnded(pings, answer);
        }
    }
    handleAllEnds(pings, loop, answer);
    return answered;
}

bool FastestHost::isFPingAvailable()
{
    static const bool available = !QStandardPaths::findExecutable(QStringLiteral("fping")).isEmpty();
    return available;
}
