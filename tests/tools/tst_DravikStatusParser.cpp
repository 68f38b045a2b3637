// The downloader's status lines become lines of the run's log and the command's progress.

#include "ToolsTestKit.h"

#include "tools/DravikStatusParser.h"

#include <QtTest>

using namespace ToolsTestKit;

class tst_DravikStatusParser : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void lines_data();
    void lines();
};

void tst_DravikStatusParser::initTestCase()
{
    registerMetaTypes();
    registerEngineMetaTypes();
}

void tst_DravikStatusParser::lines_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QStringList>("progress");   // "done/total" of each progress change
    QTest::addColumn<QStringList>("log");        // the run's log lines

    QTest::newRow("progress") << QStringList{"DRAVIK-PROGRESS--42"} << QStringList{"42/200"}
                              << QStringList{"DEBUG DRAVIK-PROGRESS--42"};
    QTest::newRow("second phase after PASS")
        << QStringList{"DRAVIK-PROGRESS--42", "DRAVIK-STATUS--PASS", "DRAVIK-PROGRESS--42"}
        << QStringList{"42/200", "100/200", "142/200"}
        << QStringList{"DEBUG DRAVIK-PROGRESS--42", "DEBUG DRAVIK-PROGRESS--42"};
    QTest::newRow("second PASS changes nothing")
        << QStringList{"DRAVIK-STATUS--PASS", "DRAVIK-STATUS--PASS", "DRAVIK-PROGRESS--1"}
        << QStringList{"100/200", "101/200"} << QStringList{"DEBUG DRAVIK-PROGRESS--1"};
    QTest::newRow("no number") << QStringList{"DRAVIK-PROGRESS--abc"} << QStringList()
                               << QStringList{"DEBUG DRAVIK-PROGRESS--abc"};
    QTest::newRow("with USB serial") << QStringList{"DRAVIK-PROGRESS--USBSN:ABC--42"} << QStringList{"42/200"}
                                     << QStringList{"DEBUG DRAVIK-PROGRESS--USBSN:ABC--42"};
    QTest::newRow("dashes in the text join the kind") << QStringList{"DRAVIK-PROGRESS--50--x"} << QStringList()
                                                      << QStringList{"DEBUG DRAVIK-PROGRESS--50--x"};
    QTest::newRow("blanks") << QStringList{"  DRAVIK-PROGRESS-- 42 \r\n"} << QStringList{"42/200"}
                            << QStringList{"DEBUG DRAVIK-PROGRESS-- 42"};
    QTest::newRow("empty line") << QStringList{"   \n"} << QStringList() << QStringList();
    QTest::newRow("log") << QStringList{"DRAVIK-LOG--Opening device"} << QStringList()
                         << QStringList{"DEBUG DRAVIK-LOG--Opening device"};
    QTest::newRow("kind in lower case") << QStringList{"dravik-log--x", "dravik-log--BATI low"} << QStringList()
                                        << QStringList{"DEBUG dravik-log--x", "WARNING dravik-log--BATI low"};
    QTest::newRow("error codes")
        << QStringList{"DRAVIK-STATUS--Error Code: 0 - Success", "DRAVIK-STATUS--Error Code: 12 - Timeout"}
        << QStringList()
        << QStringList{"INFO DRAVIK-STATUS--Error Code: 0 - Success", "WARNING DRAVIK-STATUS--Error Code: 12 - Timeout"};
    QTest::newRow("other status") << QStringList{"DRAVIK-STATUS--Rebooting"} << QStringList()
                                  << QStringList{"INFO DRAVIK-STATUS--Rebooting"};
    QTest::newRow("other kind") << QStringList{"DRAVIK-BATTERY--BATI 3%", "DRAVIK-FOO--bar"} << QStringList()
                                << QStringList{"WARNING DRAVIK-BATTERY--BATI 3%", "DEBUG DRAVIK-FOO--bar"};
    QTest::newRow("plain message") << QStringList{"Firmware download done"} << QStringList()
                                   << QStringList{"INFO Firmware download done"};
}

void tst_DravikStatusParser::lines()
{
    QFETCH(QStringList, lines);
    QFETCH(QStringList, progress);
    QFETCH(QStringList, log);
    RecordingLogSink runLog;
    const SharedPointer<FlashRunner> runner = makeRunner(makeDevice(), makeConfiguration(), &runLog);
    runner->setConfigurationProgression(0, 1);
    QSignalSpy progressSpy(runner.data(), &FlashRunner::progressionChanged);
    QSignalSpy infoSpy(runner.data(), &FlashRunner::progressionInfoChanged);

    DravikStatusParser parser(runner, "Flashing");
    for (const QString& line : lines)
        parser.parse(line);

    QStringList seen;
    for (const QList<QVariant>& change : progressSpy)
        seen << QString::number(change.at(0).value<uint64_t>()) + '/' + QString::number(change.at(1).value<uint64_t>());
    QCOMPARE(seen, progress);
    QCOMPARE(runLog.rendered(), log);
    // A progress line that moves the bar also shows the progress text.
    QCOMPARE(infoSpy.isEmpty(), progress.isEmpty());
    for (const QList<QVariant>& info : infoSpy)
        QCOMPARE(info.at(0).toString(), QString("Flashing"));
}

QTEST_GUILESS_MAIN(tst_DravikStatusParser)
#include "tst_DravikStatusParser.moc"
