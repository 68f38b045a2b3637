// Withdrawing queued tasks from the thread pool.

#include "core/ThreadPool.h"

#include <QSemaphore>
#include <QtTest>

#include <atomic>

namespace {

constexpr int WaitMs = 10000;

// Holds the pool's only thread until released.
class BlockingTask : public QRunnable
{
public:
    BlockingTask() { setAutoDelete(false); }
    void run() override
    {
        started.release();
        gate.tryAcquire(1, WaitMs);
    }
    QSemaphore started;
    QSemaphore gate;
};

class CountingTask : public QRunnable
{
public:
    CountingTask(std::atomic<int>& runs, std::atomic<int>* deletions = nullptr, bool autoDeleted = false,
                 QSemaphore* releasedOnDeletion = nullptr)
        : m_runs(runs)
        , m_deletions(deletions)
        , m_releasedOnDeletion(releasedOnDeletion)
    {
        setAutoDelete(autoDeleted);
    }
    ~CountingTask() override
    {
        if (m_deletions != nullptr)
            ++*m_deletions;
        if (m_releasedOnDeletion != nullptr)
            m_releasedOnDeletion->release();
    }
    void run() override { ++m_runs; }

private:
    std::atomic<int>& m_runs;
    std::atomic<int>* m_deletions;
    QSemaphore* m_releasedOnDeletion;
};

} // namespace

class tst_ThreadPool : public QObject
{
    Q_OBJECT

private slots:
    void withdrawnTaskNeverRuns();
    void withdrawnAutoDeleteTaskIsDeleted();
    void startedTaskCannotBeWithdrawn();
    void queuingTheSameTaskTwiceIsRefused();
    void destructionWithdrawsQueuedTasks();
};

void tst_ThreadPool::withdrawnTaskNeverRuns()
{
    ThreadPool pool;
    pool.setMaxThreadCount(1);
    BlockingTask blocker;
    std::atomic<int> runs{0};
    CountingTask task(runs);
    QVERIFY(pool.start(&blocker));
    QVERIFY(blocker.started.tryAcquire(1, WaitMs));
    QVERIFY(pool.start(&task));

    QVERIFY(pool.removeTask(&task));
    QVERIFY(!pool.removeTask(&task));
    blocker.gate.release();
    pool.waitForFinish();
    QCOMPARE(runs.load(), 0);

    // Once withdrawn, the same task may be queued again and then runs.
    QVERIFY(pool.start(&task));
    pool.waitForFinish();
    QCOMPARE(runs.load(), 1);
}

void tst_ThreadPool::withdrawnAutoDeleteTaskIsDeleted()
{
    ThreadPool pool;
    pool.setMaxThreadCount(1);
    BlockingTask blocker;
    std::atomic<int> runs{0};
    std::atomic<int> deletions{0};
    QVERIFY(pool.start(&blocker));
    QVERIFY(blocker.started.tryAcquire(1, WaitMs));
    auto* task = new CountingTask(runs, &deletions, true);
    QVERIFY(pool.start(task));

    QVERIFY(pool.removeTask(task));
    QCOMPARE(deletions.load(), 1);
    blocker.gate.release();
    pool.waitForFinish();
    QCOMPARE(runs.load(), 0);

    // An auto-delete task that runs is deleted after its run.
    QVERIFY(pool.start(new CountingTask(runs, &deletions, true)));
    pool.waitForFinish();
    QCOMPARE(runs.load(), 1);
    QCOMPARE(deletions.load(), 2);
}

void tst_ThreadPool::startedTaskCannotBeWithdrawn()
{
    ThreadPool pool;
    BlockingTask blocker;
    QVERIFY(pool.start(&blocker));
    QVERIFY(blocker.started.tryAcquire(1, WaitMs));
    QVERIFY(!pool.removeTask(&blocker));
    blocker.gate.release();
    pool.waitForFinish();
    QVERIFY(!pool.removeTask(&blocker));
    QVERIFY(!pool.start(nullptr));
}

void tst_ThreadPool::queuingTheSameTaskTwiceIsRefused()
{
    ThreadPool pool;
    pool.setMaxThreadCount(1);
    BlockingTask blocker;
    std::atomic<int> runs{0};
    CountingTask task(runs);
    QVERIFY(pool.start(&blocker));
    QVERIFY(blocker.started.tryAcquire(1, WaitMs));

    QVERIFY(pool.start(&task));
    QVERIFY(!pool.start(&task));
    blocker.gate.release();
    pool.waitForFinish();
    QCOMPARE(runs.load(), 1);
    // The pool keeps working after the refusal.
    QVERIFY(pool.start(&task));
    pool.waitForFinish();
    QCOMPARE(runs.load(), 2);
}

void tst_ThreadPool::destructionWithdrawsQueuedTasks()
{
    BlockingTask blocker;
    std::atomic<int> runs{0};
    std::atomic<int> deletions{0};
    {
        ThreadPool pool;
        pool.setMaxThreadCount(1);
        QCOMPARE(pool.maxThreadCount(), 1u);
        QVERIFY(pool.start(&blocker));
        QVERIFY(blocker.started.tryAcquire(1, WaitMs));
        // The blocker holds the only thread until the destructor withdraws (deletes) the first task.
        for (int i = 0; i < 5; ++i)
            QVERIFY(pool.start(new CountingTask(runs, &deletions, true, &blocker.gate)));
    }
    QCOMPARE(runs.load(), 0);
    QCOMPARE(deletions.load(), 5);
}

QTEST_GUILESS_MAIN(tst_ThreadPool)
#include "tst_ThreadPool.moc"
