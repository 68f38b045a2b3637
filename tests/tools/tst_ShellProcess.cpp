#include "ToolsTestKit.h"

#include "tools/ShellProcess.h"

#include <QtTest>

// Programs are Python one-liners: each os.write is one write to the pipe, so a "burst" arrives
// in one read.
class tst_ShellProcess : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void lines_data();
    void lines();
    void burstOfStandardOutputIsCut_data();
    void burstOfStandardOutputIsCut();
    void standardErrorIsNeverCut();
    void captureBuffers_data();
    void captureBuffers();
    void callbackTakesTheLines();

private:
    // Runs python3 with `script`; the lines the runner's log received at DEBUG.
    QStringList run(const QString& script, int flags = 0, ShellProcess** keep = nullptr);

    RecordingLogSink m_recorder;
    SharedPointer<FlashRunner> m_runner;
    std::unique_ptr<ShellProcess> m_process;
};

void tst_ShellProcess::initTestCase()
{
    registerMetaTypes();
}

void tst_ShellProcess::init()
{
    m_recorder.clear();
    m_runner = SharedPointer<FlashRunner>(new FlashRunner());
    m_recorder.bind(*m_runner);
}

QStringList tst_ShellProcess::run(const QString& script, int flags, ShellProcess** keep)
{
    m_process = std::make_unique<ShellProcess>(m_runner, flags);
    if (keep)
        *keep = m_process.get();
    const QString program = QStringLiteral(QLN_PYTHON3);
    const ProgramOutcome outcome = m_runner->runExternalProgram(
        *m_process, program, {QStringLiteral("-c"), QStringLiteral("import os, time\n") + script}, 30000);
    return outcome == ProgramOutcome::Ok ? m_recorder.texts(Logger::DEBUG)
                                            : QStringList{QStringLiteral("<not finished>")};
}

void tst_ShellProcess::lines_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("partial line joined")
        << "os.write(1, b'abc'); time.sleep(0.3); os.write(1, b'def\\n')" << QStringList{"abcdef"};
    QTest::newRow("line break runs")
        << "os.write(1, b'one\\r\\n\\r\\ntwo\\n')" << QStringList{"one", "two"};
    QTest::newRow("last line without break")
        << "os.write(1, b'first\\nlast')" << QStringList{"first", "last"};
    QTest::newRow("utf-8 split across reads")
        << "os.write(1, b'caf\\xc3'); time.sleep(0.3); os.write(1, b'\\xa9 \\xe2\\x82'); time.sleep(0.3); "
           "os.write(1, b'\\xac\\n')"
        << QStringList{QStringLiteral("café €")};
    QTest::newRow("text after NUL dropped")
        << "os.write(1, b'kept\\x00dropped\\n')" << QStringList{"kept"};
    QTest::newRow("both channels")
        << "os.write(2, b'err\\n'); time.sleep(0.3); os.write(1, b'out\\n')" << QStringList{"err", "out"};
}

void tst_ShellProcess::lines()
{
    QFETCH(QString, script);
    QFETCH(QStringList, expected);
    QCOMPARE(run(script), expected);
}

void tst_ShellProcess::burstOfStandardOutputIsCut_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("logged");

    QTest::newRow("200 lines") << 200 << 200;
    QTest::newRow("201 lines") << 201 << 50;
}

void tst_ShellProcess::burstOfStandardOutputIsCut()
{
    QFETCH(int, count);
    QFETCH(int, logged);

    const QStringList lines =
        run(QStringLiteral("os.write(1, b''.join(b'line %d\\n' % i for i in range(%1)))").arg(count));

    QCOMPARE(lines.size(), logged);
    QCOMPARE(lines.last(), QStringLiteral("line %1").arg(count - 1));
    QCOMPARE(lines.first(), QStringLiteral("line %1").arg(count - logged));
    const QStringList warnings = m_recorder.texts(Logger::WARNING);
    if (logged == count)
        QVERIFY(warnings.isEmpty());
    else
        QCOMPARE(warnings, QStringList{QStringLiteral("External program sent too much logs, skipping %1 lines...")
                                           .arg(count - logged)});
}

void tst_ShellProcess::standardErrorIsNeverCut()
{
    const QStringList lines = run(QStringLiteral("os.write(2, b''.join(b'e%d\\n' % i for i in range(300)))"));
    QCOMPARE(lines.size(), 300);
    QVERIFY(m_recorder.texts(Logger::WARNING).isEmpty());
}

void tst_ShellProcess::captureBuffers_data()
{
    QTest::addColumn<int>("flags");
    QTest::newRow("none") << 0;
    QTest::newRow("output") << int(ShellProcess::CaptureStdOutput);
    QTest::newRow("error") << int(ShellProcess::CaptureStdError);
    QTest::newRow("all") << int(ShellProcess::CaptureStdOutput | ShellProcess::CaptureStdError
                                | ShellProcess::CaptureStdMerged);
}

void tst_ShellProcess::captureBuffers()
{
    QFETCH(int, flags);
    ShellProcess* process = nullptr;
    const QStringList lines = run(QStringLiteral("os.write(1, b'a\\n'); time.sleep(0.3); os.write(2, b'b\\n'); "
                                                 "time.sleep(0.3); os.write(1, b'c\\n')"),
                                  flags, &process);

    QCOMPARE(lines, (QStringList{"a", "b", "c"}));  // logged whatever is captured
    const auto check = [flags](const QByteArray* buffer, int flag, const QByteArray& expected) {
        return (flags & flag) ? buffer && *buffer == expected : buffer == nullptr;
    };
    QVERIFY(check(process->getStdOutput(), ShellProcess::CaptureStdOutput, "a\nc\n"));
    QVERIFY(check(process->getStdError(), ShellProcess::CaptureStdError, "b\n"));
    QVERIFY(check(process->getStdMerged(), ShellProcess::CaptureStdMerged, "a\nb\nc\n"));
}

void tst_ShellProcess::callbackTakesTheLines()
{
    m_process = std::make_unique<ShellProcess>(m_runner, 0);
    QStringList received;
    m_process->registerLogCallback([&received](const QString& line) { received << line; });
    const QString program = QStringLiteral(QLN_PYTHON3);
    QCOMPARE(m_runner->runExternalProgram(
                 *m_process, program,
                 {QStringLiteral("-c"),
                  QStringLiteral("import os\nos.write(1, b''.join(b'%d\\n' % i for i in range(300)))\n"
                                 "os.write(2, b'tail')")},
                 30000),
             ProgramOutcome::Ok);

    QCOMPARE(received.size(), 51);
    QCOMPARE(received.first(), QStringLiteral("250"));
    QCOMPARE(received.last(), QStringLiteral("tail"));
    QVERIFY(m_recorder.texts(Logger::DEBUG).isEmpty());
    QCOMPARE(m_recorder.texts(Logger::WARNING).size(), 1);  // the warning still reaches the log
}

QTEST_GUILESS_MAIN(tst_ShellProcess)
#include "tst_ShellProcess.moc"
