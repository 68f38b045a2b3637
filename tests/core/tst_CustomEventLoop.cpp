// A local event loop whose exit code survives an exit that arrives before it runs.

#include "core/CustomEventLoop.h"

#include <QThread>
#include <QTimer>
#include <QtTest>

#include <atomic>
#include <memory>

class tst_CustomEventLoop : public QObject
{
    Q_OBJECT

private slots:
    void earlyExitCodeReturnsAtOnceUntilReset();
    void quitBeforeRunDoesNotPreventIt();
    void quitSlotEndsTheRunWithItsCode();
    void exitFromAnotherThreadEndsTheRun();
    void deletedInsideItsOwnRunEndsTheRun();
};

void tst_CustomEventLoop::earlyExitCodeReturnsAtOnceUntilReset()
{
    CustomEventLoop loop;
    bool ranEvents = false;
    QTimer::singleShot(0, this, [&] { ranEvents = true; });

    loop.exit(3);
    QCOMPARE(loop.exec(), 3);
    QCOMPARE(loop.exec(), 3);
    QVERIFY2(!ranEvents, "an early exit code must end exec() without running the loop");

    loop.resetErrorCode();
    bool runningInside = false;
    QTimer::singleShot(0, this, [&] {
        runningInside = loop.isRunning();
        loop.quit();
    });
    QVERIFY(!loop.isRunning());
    QCOMPARE(loop.exec(), 0);
    QVERIFY(runningInside);
    QVERIFY(ranEvents);
    QVERIFY(!loop.isRunning());
}

void tst_CustomEventLoop::quitBeforeRunDoesNotPreventIt()
{
    CustomEventLoop loop;
    loop.quit();
    bool ran = false;
    QTimer::singleShot(0, this, [&] {
        ran = true;
        loop.exit(5);
    });
    QCOMPARE(loop.exec(), 5);
    QVERIFY(ran);
    // A run that ended with a non-zero code leaves it pending.
    QCOMPARE(loop.exec(), 5);
}

void tst_CustomEventLoop::quitSlotEndsTheRunWithItsCode()
{
    CustomEventLoop loop;
    QTimer button;
    button.setSingleShot(true);
    connect(&button, &QTimer::timeout, &loop, [&loop] { loop.quit(2); });
    button.start(0);
    QCOMPARE(loop.exec(), 2);
}

void tst_CustomEventLoop::exitFromAnotherThreadEndsTheRun()
{
    CustomEventLoop loop;
    std::atomic<bool> sawRunning{false};
    QThread* worker = QThread::create([&] {
        QDeadlineTimer deadline(10000);
        while (!loop.isRunning() && !deadline.hasExpired())
            QThread::yieldCurrentThread();
        sawRunning = loop.isRunning();
        loop.exit(9);
    });
    worker->start();
    QCOMPARE(loop.exec(), 9);
    QVERIFY(worker->wait(10000));
    QVERIFY(sawRunning);
    delete worker;
}

void tst_CustomEventLoop::deletedInsideItsOwnRunEndsTheRun()
{
    std::atomic<int> code{-1};
    std::unique_ptr<QThread> thread(QThread::create([&code] {
        auto* loop = new CustomEventLoop;
        QTimer::singleShot(0, [loop] {
            loop->exit(4);
            delete loop;
        });
        code = loop->exec();
    }));
    thread->start();
    QVERIFY2(thread->wait(5000), "deleting the loop inside its run waited for the run");
    QCOMPARE(code.load(), 4);
}

QTEST_GUILESS_MAIN(tst_CustomEventLoop)
#include "tst_CustomEventLoop.moc"
