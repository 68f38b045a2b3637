// The sanitizer harness (sanitized-test) run on a program whose child commits a fault while the
// program expects the child to fail: the harness fails it all the same, on the child's report.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QtTest>

class tst_SanitizerHarness : public QObject
{
    Q_OBJECT

private slots:
    void reportOfAChildFailsTheTest_data();
    void reportOfAChildFailsTheTest();
};

void tst_SanitizerHarness::reportOfAChildFailsTheTest_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("report");   // what the harness prints; empty: the test passes
    QTest::newRow("leak") << "leak" << "ERROR: LeakSanitizer: detected memory leaks";
    QTest::newRow("heap overflow") << "overflow" << "ERROR: AddressSanitizer: heap-buffer-overflow";
    QTest::newRow("undefined behaviour") << "undefined" << "runtime error: signed integer overflow";
    QTest::newRow("no fault") << "none" << QString();
}

void tst_SanitizerHarness::reportOfAChildFailsTheTest()
{
    QFETCH(QString, fault);
    QFETCH(QString, report);

    // A report left by an earlier run must not count: the harness empties the folder first.
    QTemporaryDir reports;
    QVERIFY(reports.isValid());
    QFile stale(reports.filePath(QStringLiteral("report.1")));
    QVERIFY(stale.open(QIODevice::WriteOnly) && stale.write("ERROR: LeakSanitizer: stale\n") > 0);
    stale.close();

    QProcess harness;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QLN_SANITIZER_REPORTS"), reports.path());
    harness.setProcessEnvironment(environment);
    harness.setProcessChannelMode(QProcess::MergedChannels);
    harness.start(QStringLiteral(QLN_SANITIZED_TEST),
                  {QStringLiteral(QLN_SANITIZER_PROBE), QStringLiteral("expect-failure"), fault});
    QVERIFY2(harness.waitForFinished(60000), "the harness did not end");
    const QString output = QString::fromLocal8Bit(harness.readAll());

    QCOMPARE(harness.exitStatus(), QProcess::NormalExit);
    QVERIFY2(!output.contains(QStringLiteral("stale")), qPrintable(output));
    if (report.isEmpty()) {
        QVERIFY2(harness.exitCode() == 0, qPrintable(output));
        QVERIFY(QDir(reports.path()).isEmpty());
    } else {
        QVERIFY2(harness.exitCode() != 0, qPrintable(output));
        QVERIFY2(output.contains(report), qPrintable(output));
        QVERIFY2(output.contains(QStringLiteral("FAIL: 1 sanitizer report(s)")), qPrintable(output));
    }
}

QTEST_GUILESS_MAIN(tst_SanitizerHarness)
#include "tst_SanitizerHarness.moc"
