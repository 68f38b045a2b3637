// A deadline of any 64-bit length: reached in steps no longer than the timer can count, it ends
// once, never before its whole duration, and a duration past one step keeps it armed.

#include "core/DeadlineTimer.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>

#include <cstdint>

class tst_DeadlineTimer : public QObject
{
    Q_OBJECT

private slots:
    void endsOnceAfterItsWholeDuration_data();
    void endsOnceAfterItsWholeDuration();
    void durationPastTheTimersRangeStaysArmed();
    void stopCancelsTheDeadline();
    void restartCountsFromTheRestart();
};

void tst_DeadlineTimer::endsOnceAfterItsWholeDuration_data()
{
    QTest::addColumn<int>("maxStepMs");
    QTest::addColumn<qulonglong>("durationMs");

    QTest::newRow("within one step") << 1000 << qulonglong(40);
    QTest::newRow("several steps") << 15 << qulonglong(120);
    QTest::newRow("many one-millisecond steps") << 1 << qulonglong(60);
    QTest::newRow("duration not a multiple of the step") << 25 << qulonglong(110);
    QTest::newRow("zero") << 10 << qulonglong(0);
}

void tst_DeadlineTimer::endsOnceAfterItsWholeDuration()
{
    QFETCH(int, maxStepMs);
    QFETCH(qulonglong, durationMs);

    DeadlineTimer timer(nullptr, maxStepMs);
    QSignalSpy ended(&timer, &DeadlineTimer::timeout);
    QElapsedTimer clock;
    clock.start();
    timer.start(durationMs);
    QCOMPARE(ended.count(), 0); // never from inside start()

    QVERIFY(ended.wait(30000));
    const qint64 elapsedMs = clock.elapsed();
    QVERIFY2(uint64_t(elapsedMs) >= durationMs, qPrintable(QStringLiteral("ended after %1 ms").arg(elapsedMs)));
    QVERIFY(!timer.isActive());
    QTest::qWait(100); // several more steps' time: nothing re-arms after the end
    QCOMPARE(ended.count(), 1);
}

void tst_DeadlineTimer::durationPastTheTimersRangeStaysArmed()
{
    // 2^31 ms and beyond: one QTimer arming cannot hold it, the deadline does.
    for (const uint64_t durationMs : {uint64_t(INT_MAX) + 1, uint64_t(35792) * 60000, UINT64_MAX - 1}) {
        DeadlineTimer timer;
        QSignalSpy ended(&timer, &DeadlineTimer::timeout);
        timer.start(durationMs);
        QVERIFY2(timer.isActive(), qPrintable(QString::number(durationMs)));
        QTest::qWait(50);
        QCOMPARE(ended.count(), 0);
        QVERIFY(timer.isActive());
    }
}

void tst_DeadlineTimer::stopCancelsTheDeadline()
{
    DeadlineTimer timer(nullptr, 10);
    QSignalSpy ended(&timer, &DeadlineTimer::timeout);
    timer.start(60);
    QTest::qWait(25); // past the first step
    timer.stop();
    QVERIFY(!timer.isActive());
    QTest::qWait(150);
    QCOMPARE(ended.count(), 0);
}

void tst_DeadlineTimer::restartCountsFromTheRestart()
{
    DeadlineTimer timer(nullptr, 10);
    QSignalSpy ended(&timer, &DeadlineTimer::timeout);
    timer.start(60);
    QTest::qWait(30);
    QElapsedTimer clock;
    clock.start();
    timer.start(80);
    QVERIFY(ended.wait(30000));
    QVERIFY2(clock.elapsed() >= 80, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(ended.count(), 1);
}

QTEST_GUILESS_MAIN(tst_DeadlineTimer)
#include "tst_DeadlineTimer.moc"
