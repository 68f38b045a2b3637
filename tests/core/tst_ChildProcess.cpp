// Programs in a process group of their own: a kill by pid reaches them from the moment they started.

#include "core/ChildProcess.h"

#include <QtTest>

class tst_ChildProcess : public QObject
{
    Q_OBJECT

private slots:
    void groupKillRightAfterTheStartEndsTheProgram();
};

void tst_ChildProcess::groupKillRightAfterTheStartEndsTheProgram()
{
    // Between fork and exec the child has not made its group yet: a kill landing then must still
    // end it, not leave it running until a time-out.
    for (int attempt = 0; attempt < 40; ++attempt) {
        ChildProcess process;
        process.start(QStringLiteral("sleep"), {QStringLiteral("30")});
        ChildProcess::killProcessGroup(process.processId());
        QVERIFY2(process.waitForFinished(5000), qPrintable(QStringLiteral("attempt %1").arg(attempt)));
        QCOMPARE(process.exitStatus(), QProcess::CrashExit);
    }
}

QTEST_GUILESS_MAIN(tst_ChildProcess)
#include "tst_ChildProcess.moc"
