#include "core/FastestHost.h"
#include "core/MessageHandler.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {

// A fake "ping" answering per host (its last argument): the time it needs, its exit code and the
// minimum time in its summary line (none: no summary). Every start and end is appended to a log.
const char* const kFakePing = R"(#!/bin/sh
for last; do :; done
echo "$*" >> "$FAKE_PING_DIR/args"
echo + >> "$FAKE_PING_DIR/events"
case "$last" in
    127.0.0.2) delay=0.3; code=0; min=12.5 ;;
    127.0.0.3) delay=0.3; code=0; min=3.1 ;;
    127.0.0.4) delay=0; code=0; min=50.0 ;;
    127.0.0.5) delay=0; code=1; min=1.0 ;;
    127.0.0.6) /bin/sleep 30 & echo $! > "$FAKE_PING_DIR/child"; wait; exit 1 ;;
    127.0.0.7) delay=0; code=0; min= ;;
    *) delay=0.1; code=0; min=2.0 ;;
esac
/bin/sleep $delay
echo "PING $last ($last) 56(84) bytes of data."
[ -n "$min" ] && echo "rtt min/avg/max/mdev = $min/$min/$min/0.000 ms"
echo - >> "$FAKE_PING_DIR/events"
exit $code
)";

QString url(const char* host)
{
    return QStringLiteral("http://%1:8081/artifactory").arg(QLatin1String(host));
}

} // namespace

class tst_FastestHost : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void fastestHost_data();
    void fastestHost();
    void firstAnswerWinsAndStopsTheRest();
    void deadlineKillsPingsThatHang();
    void pingThatCannotStartCountsAsFinished_data();
    void pingThatCannotStartCountsAsFinished();
    void pingHostsKeepsAtMostTwentyUnfinished();
    void pingHostsArguments();
    void emptyListIsLogged();
    void hostsThatReadAsOptionsAreRefused();
    void realPingOnLoopback();

private:
    QStringList events() const;
    // True when the child that the hanging ping started has ended.
    bool hangingPingsChildEnded() const;

    QTemporaryDir m_fakes;
    QTemporaryDir m_empty;
    QByteArray m_systemPath;
};

void tst_FastestHost::initTestCase()
{
    QVERIFY(m_fakes.isValid() && m_empty.isValid());
    QFile ping(m_fakes.filePath(QStringLiteral("ping")));
    QVERIFY(ping.open(QIODevice::WriteOnly));
    ping.write(kFakePing);
    ping.close();
    QVERIFY(ping.setPermissions(ping.permissions() | QFileDevice::ExeOwner));
    qputenv("FAKE_PING_DIR", m_fakes.path().toLocal8Bit());
    m_systemPath = qgetenv("PATH");
}

void tst_FastestHost::init()
{
    QFile::remove(m_fakes.filePath(QStringLiteral("args")));
    QFile::remove(m_fakes.filePath(QStringLiteral("events")));
    QFile::remove(m_fakes.filePath(QStringLiteral("child")));
    qputenv("PATH", m_fakes.path().toLocal8Bit());
}

void tst_FastestHost::cleanup()
{
    qputenv("PATH", m_systemPath);
}

QStringList tst_FastestHost::events() const
{
    QFile file(m_fakes.filePath(QStringLiteral("events")));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLatin1(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

bool tst_FastestHost::hangingPingsChildEnded() const
{
    QFile file(m_fakes.filePath(QStringLiteral("child")));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const qint64 pid = file.readAll().trimmed().toLongLong();
    return pid > 0 && ::kill(pid_t(pid), 0) != 0;
}

void tst_FastestHost::fastestHost_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("expected");

    QTest::newRow("lowest minimum wins")
        << QStringList{url("127.0.0.2"), url("127.0.0.3")} << url("127.0.0.3");
    QTest::newRow("first answer is not the fastest")
        << QStringList{url("127.0.0.4"), url("127.0.0.3")} << url("127.0.0.3");
    QTest::newRow("no usable summary: first entry")
        << QStringList{url("127.0.0.7"), url("127.0.0.5")} << url("127.0.0.7");
    QTest::newRow("failed ping never wins")
        << QStringList{url("127.0.0.2"), url("127.0.0.5")} << url("127.0.0.2");
    QTest::newRow("bare host names") << QStringList{"127.0.0.2", "127.0.0.3"} << "127.0.0.3";
}

void tst_FastestHost::fastestHost()
{
    QFETCH(QStringList, entries);
    QFETCH(QString, expected);
    QCOMPARE(FastestHost::getFastestHost(entries, 1), expected);
    QCOMPARE(FastestHost::getFastestHost_3(entries, 1), expected);
}

void tst_FastestHost::firstAnswerWinsAndStopsTheRest()
{
    QSignalSpy logs(MessageHandler::instance(), &MessageHandler::newLog);
    QElapsedTimer clock;
    clock.start();

    // 127.0.0.4 answers at once (50 ms), 127.0.0.3 later but faster, 127.0.0.6 never.
    const QString result =
        FastestHost::getFastestHost_2({url("127.0.0.6"), url("127.0.0.3"), url("127.0.0.4")}, 2);

    QCOMPARE(result, url("127.0.0.4"));
    QVERIFY2(clock.elapsed() < 10000, "the hanging ping was not stopped");
    QTRY_VERIFY2(hangingPingsChildEnded(), "the stopped ping left its child running");
    QStringList lines;
    for (const QList<QVariant>& arguments : logs)
        lines << arguments.at(2).toString();
    QVERIFY2(lines.contains(QStringLiteral("Ping command started with args: -c 2 127.0.0.6")),
             qPrintable(lines.join('\n')));
    QVERIFY(lines.contains(QStringLiteral("Default host \"%1\"").arg(url("127.0.0.6"))));
    QVERIFY(lines.contains(QStringLiteral("Ping result of fastest host \"%1\": PING 127.0.0.4 "
                                          "(127.0.0.4) 56(84) bytes of data.\n"
                                          "rtt min/avg/max/mdev = 50.0/50.0/50.0/0.000 ms")
                               .arg(url("127.0.0.4"))));
}

void tst_FastestHost::deadlineKillsPingsThatHang()
{
    QElapsedTimer clock;
    clock.start();
    // Count 1: pings still running 2000 ms after the last start are killed.
    const QString result = FastestHost::getFastestHost_3({url("127.0.0.6"), url("127.0.0.4")}, 1);
    QCOMPARE(result, url("127.0.0.4"));
    QVERIFY2(clock.elapsed() >= 1900 && clock.elapsed() < 10000,
             qPrintable(QString::number(clock.elapsed())));
    QTRY_VERIFY2(hangingPingsChildEnded(), "the killed ping left its child running");
}

void tst_FastestHost::pingThatCannotStartCountsAsFinished_data()
{
    QTest::addColumn<int>("variant");
    QTest::newRow("getFastestHost") << 1;
    QTest::newRow("getFastestHost_2") << 2;
    QTest::newRow("getFastestHost_3") << 3;
    QTest::newRow("pingHosts") << 4;
}

void tst_FastestHost::pingThatCannotStartCountsAsFinished()
{
    QFETCH(int, variant);
    qputenv("PATH", m_empty.path().toLocal8Bit());
    const QStringList entries{url("127.0.0.2"), url("127.0.0.3")};
    switch (variant) {
    case 1: QCOMPARE(FastestHost::getFastestHost(entries, 1), entries.first()); break;
    case 2: QCOMPARE(FastestHost::getFastestHost_2(entries, 1), entries.first()); break;
    case 3: QCOMPARE(FastestHost::getFastestHost_3(entries, 1), entries.first()); break;
    default: QCOMPARE(FastestHost::pingHosts({"127.0.0.2", "127.0.0.3"}, 1, 1000), QStringList());
    }
}

void tst_FastestHost::pingHostsKeepsAtMostTwentyUnfinished()
{
    if (FastestHost::isFPingAvailable())
        QSKIP("fping is installed: pingHosts does not use ping");
    QStringList names;
    for (int i = 0; i < 50; ++i)
        names << QStringLiteral("127.0.1.%1").arg(i + 1);
    names << QStringLiteral("127.0.0.5");

    const QStringList answered = FastestHost::pingHosts(names, 1, 1000);

    QCOMPARE(answered.size(), 50);
    QVERIFY(!answered.contains(QStringLiteral("127.0.0.5")));
    int running = 0;
    int most = 0;
    for (const QString& event : events()) {
        running += event == QLatin1String("+") ? 1 : -1;
        most = qMax(most, running);
    }
    QCOMPARE(running, 0);
    QVERIFY2(most <= 21, qPrintable(QString::number(most)));
    QVERIFY2(most > 1, "pings did not run in parallel");
}

void tst_FastestHost::pingHostsArguments()
{
    if (FastestHost::isFPingAvailable())
        QSKIP("fping is installed: pingHosts does not use ping");
    QCOMPARE(FastestHost::pingHosts({"127.0.0.4"}, 3, 2500), QStringList{"127.0.0.4"});
    QFile args(m_fakes.filePath(QStringLiteral("args")));
    QVERIFY(args.open(QIODevice::ReadOnly));
    QCOMPARE(args.readAll(), QByteArray("-c 3 -w 3 127.0.0.4\n"));
}

void tst_FastestHost::emptyListIsLogged()
{
    QSignalSpy logs(MessageHandler::instance(), &MessageHandler::newLog);
    QCOMPARE(FastestHost::getFastestHost({}, 1), QString());
    QCOMPARE(FastestHost::pingHosts({}, 1, 1000), QStringList());
    QCOMPARE(logs.count(), 2);
    QCOMPARE(logs.at(0).at(2).toString(), QStringLiteral("Utils::getFastestHost(): Empty host list"));
    QCOMPARE(logs.at(1).at(2).toString(), QStringLiteral("Utils::pingHosts(): Empty host list"));
    QCOMPARE(logs.at(1).at(0).value<LOGLEVEL>(), LOGLEVEL::DEBUG);
}

void tst_FastestHost::hostsThatReadAsOptionsAreRefused()
{
    QSignalSpy logs(MessageHandler::instance(), &MessageHandler::newLog);
    QCOMPARE(FastestHost::getFastestHost({QStringLiteral("-fc9999"), url("127.0.0.4")}, 1), url("127.0.0.4"));
    QCOMPARE(FastestHost::getFastestHost_2({QStringLiteral("-fc9999")}, 1), QStringLiteral("-fc9999"));
    QCOMPARE(FastestHost::pingHosts({QStringLiteral("--help"), QStringLiteral("127.0.0.4")}, 1, 1000),
             QStringList{QStringLiteral("127.0.0.4")});

    // No ping ever saw them; each refusal is a warning.
    QFile args(m_fakes.filePath(QStringLiteral("args")));
    QVERIFY(args.open(QIODevice::ReadOnly));
    const QString seen = QString::fromLatin1(args.readAll());
    QVERIFY2(!seen.contains(QStringLiteral("-fc9999")) && !seen.contains(QStringLiteral("--help")), qPrintable(seen));
    QStringList warnings;
    for (const QList<QVariant>& arguments : logs) {
        if (arguments.at(0).value<LOGLEVEL>() == LOGLEVEL::WARNING)
            warnings << arguments.at(2).toString();
    }
    QCOMPARE(warnings, (QStringList{QStringLiteral("Host name \"-fc9999\" refused: it begins with \"-\""),
                                    QStringLiteral("Host name \"-fc9999\" refused: it begins with \"-\""),
                                    QStringLiteral("Host name \"--help\" refused: it begins with \"-\"")}));
}

void tst_FastestHost::realPingOnLoopback()
{
    qputenv("PATH", QByteArrayLiteral("/usr/bin:/bin"));
    if (QStandardPaths::findExecutable(QStringLiteral("ping")).isEmpty())
        QSKIP("no ping program");
    QSignalSpy logs(MessageHandler::instance(), &MessageHandler::newLog);

    QCOMPARE(FastestHost::getFastestHost_3({url("127.0.0.1")}, 1), url("127.0.0.1"));

    // The summary of the system's ping yields a time.
    bool timed = false;
    for (const QList<QVariant>& arguments : logs)
        timed |= arguments.at(2).toString().startsWith(
            QStringLiteral("Ping value host \"%1\": ").arg(url("127.0.0.1")));
    QVERIFY2(timed, "no time read from the ping summary");
    if (!FastestHost::isFPingAvailable())
        QCOMPARE(FastestHost::pingHosts({"127.0.0.1"}, 1, 2000), QStringList{"127.0.0.1"});
}

QTEST_GUILESS_MAIN(tst_FastestHost)
#include "tst_FastestHost.moc"
