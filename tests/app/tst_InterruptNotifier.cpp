// SIGINT, SIGTERM and SIGHUP reach the event loop as interrupted(int), one per signal, and the
// process ends on them again by default once the notifier is gone.

#include "app/InterruptNotifier.h"

#include <QSignalSpy>
#include <QtTest>

#include <csignal>

class tst_InterruptNotifier : public QObject
{
    Q_OBJECT

private slots:
    void signalReachesTheEventLoop_data();
    void signalReachesTheEventLoop();
    void defaultHandlingComesBack();
};

void tst_InterruptNotifier::signalReachesTheEventLoop_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<QString>("name");
    QTest::newRow("SIGINT") << SIGINT << "SIGINT";
    QTest::newRow("SIGTERM") << SIGTERM << "SIGTERM";
    QTest::newRow("SIGHUP") << SIGHUP << "SIGHUP";
}

void tst_InterruptNotifier::signalReachesTheEventLoop()
{
    QFETCH(int, signal);
    QFETCH(QString, name);
    InterruptNotifier notifier;
    QSignalSpy interrupted(&notifier, &InterruptNotifier::interrupted);
    QCOMPARE(::raise(signal), 0);
    QCOMPARE(::raise(signal), 0);
    // Nothing is delivered inside the handler: only the event loop brings it.
    QCOMPARE(interrupted.count(), 0);
    QTRY_COMPARE(interrupted.count(), 2);
    QCOMPARE(interrupted.at(0).at(0).toInt(), signal);
    QCOMPARE(InterruptNotifier::signalName(signal), name);
}

void tst_InterruptNotifier::defaultHandlingComesBack()
{
    {
        InterruptNotifier notifier;
    }
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction action {};
        QCOMPARE(::sigaction(signal, nullptr, &action), 0);
        QVERIFY(action.sa_handler == SIG_DFL);
    }
}

QTEST_GUILESS_MAIN(tst_InterruptNotifier)
#include "tst_InterruptNotifier.moc"
