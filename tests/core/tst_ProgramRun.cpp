// How a program's run ended, by name: started or not, in time or not, by itself or stopped.

#include "core/ChildProcess.h"
#include "core/ProgramRun.h"

#include <QTimer>
#include <QtTest>

#include <set>
#include <thread>

namespace {

// Stands in for a flash run or the unpacker: stops every program it was told about.
class RecordingStopper : public ProgramStopper
{
public:
    bool programStarted(qint64 pid) override
    {
        if (m_stopped)
            return false;
        m_running.insert(pid);
        return true;
    }
    void programEnded(qint64 pid) override { m_running.erase(pid); }
    bool isStopped() const override { return m_stopped; }
    void stop()
    {
        m_stopped = true;
        for (qint64 pid : m_running)
            ChildProcess::killProcessGroup(pid);
    }
    const std::set<qint64>& running() const { return m_running; }

private:
    bool m_stopped = false;
    std::set<qint64> m_running;
};

} // namespace

class tst_ProgramRun : public QObject
{
    Q_OBJECT

private slots:
    void outcome_data();
    void outcome();
    void stopDuringTheWaitEndsTheProgram_data();
    void stopDuringTheWaitEndsTheProgram();
    void outputDecodedAsTheCallerChooses();
};

void tst_ProgramRun::outcome_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("script");
    QTest::addColumn<qulonglong>("timeoutMs");
    QTest::addColumn<bool>("stoppedFirst");
    QTest::addColumn<ProgramOutcome>("expected");

    const QString shell = QStringLiteral("/bin/sh");
    QTest::newRow("ok") << shell << "exit 0" << 10000ULL << false << ProgramOutcome::Ok;
    QTest::newRow("non-zero exit") << shell << "exit 3" << 10000ULL << false << ProgramOutcome::Failed;
    QTest::newRow("killed by a signal") << shell << "kill -SEGV $$" << 10000ULL << false
                                        << ProgramOutcome::Crashed;
    QTest::newRow("past its time-out") << shell << "exec sleep 30" << 200ULL << false
                                       << ProgramOutcome::TimedOut;
    QTest::newRow("does not exist") << QStringLiteral("/nonexistent/program") << QString() << 10000ULL
                                    << false << ProgramOutcome::NotStarted;
    QTest::newRow("stopped before the start") << shell << "exit 0" << 10000ULL << true
                                              << ProgramOutcome::Cancelled;
}

void tst_ProgramRun::outcome()
{
    QFETCH(QString, program);
    QFETCH(QString, script);
    QFETCH(qulonglong, timeoutMs);
    QFETCH(bool, stoppedFirst);
    QFETCH(ProgramOutcome, expected);

    RecordingStopper stopper;
    if (stoppedFirst)
        stopper.stop();
    ChildProcess process;
    ProgramRun run(process, &stopper);
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(run.run(program, {QStringLiteral("-c"), script}, timeoutMs), expected);
    QCOMPARE(run.outcome(), expected);
    QVERIFY(timer.elapsed() < 10000);
    QCOMPARE(process.state(), QProcess::NotRunning);
    QVERIFY2(stopper.running().empty(), "an ended program is still on the stopper's record");
    if (expected == ProgramOutcome::NotStarted)
        QVERIFY(!run.errorText().isEmpty());
    if (expected == ProgramOutcome::Cancelled)
        QCOMPARE(process.processId(), qint64(0));  // nothing ran
}

void tst_ProgramRun::stopDuringTheWaitEndsTheProgram_data()
{
    QTest::addColumn<bool>("withEvents");
    QTest::newRow("blocking wait") << false;
    QTest::newRow("wait with events") << true;
}

void tst_ProgramRun::stopDuringTheWaitEndsTheProgram()
{
    QFETCH(bool, withEvents);

    RecordingStopper stopper;
    ChildProcess process;
    ProgramRun run(process, &stopper);
    QVERIFY(run.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("sleep 30 & wait")}));
    QCOMPARE(stopper.running().size(), std::size_t(1));
    QElapsedTimer timer;
    timer.start();
    if (withEvents) {
        QTimer::singleShot(200, [&stopper] { stopper.stop(); });
        QCOMPARE(run.waitWithEvents(), ProgramOutcome::Cancelled);
    } else {
        // The blocking wait has no events: the stop comes from another thread, as a cancel does.
        std::thread stopping([&stopper] {
            QThread::msleep(200);
            stopper.stop();
        });
        const ProgramOutcome outcome = run.wait(600000);
        stopping.join();
        QCOMPARE(outcome, ProgramOutcome::Cancelled);
    }
    QVERIFY(timer.elapsed() < 10000);
    QVERIFY(stopper.running().empty());
}

void tst_ProgramRun::outputDecodedAsTheCallerChooses()
{
    const QStringList arguments {QStringLiteral("-c"), QStringLiteral("printf 'caf\\303\\251\\000tail'")};
    ChildProcess utf8Process;
    ProgramRun utf8Run(utf8Process);
    QCOMPARE(utf8Run.run(QStringLiteral("/bin/sh"), arguments, 10000), ProgramOutcome::Ok);
    QCOMPARE(utf8Run.output(), QStringLiteral("caf\u00e9"));

    ChildProcess latin1Process;
    ProgramRun latin1Run(latin1Process);
    QCOMPARE(latin1Run.run(QStringLiteral("/bin/sh"), arguments, 10000), ProgramOutcome::Ok);
    QCOMPARE(latin1Run.output(ProgramRun::latin1), QStringLiteral("caf\u00c3\u00a9"));
}

QTEST_GUILESS_MAIN(tst_ProgramRun)
#include "tst_ProgramRun.moc"
