// Flash statistics: counters and their signals, and the lines of the statistics file.

#include "RecordingLogSink.h"
#include "core/MetaTypes.h"
#include "core/SingletonException.h"
#include "engine/EngineMetaTypes.h"
#include "engine/FlashStats.h"
#include "tests/engine/RunnerFixtures.h"
#include "tests/model/ModelTestKit.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

using Status = FlashTypes::FlashStatus;
using Type = FlashTypes::CommandType;

QStringList fileLines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
}

// A device seen in DnX OS with `socSerial`.
FlashDevice2Ptr socDevice(const QString& socSerial)
{
    return RunnerFixtures::makeDevice(DeviceState::DnxOs, socSerial);
}

} // namespace

class tst_FlashStats : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void countersAndTheirSignals();
    void failureDetails_data();
    void failureDetails();
    void recordedLines();
    void deviceTextStaysOneField();
    void unwritableFolderNeverRecords();
    void failedWriteIsReported();
    void sameFileIsKept();
    void resetKeepsDfuAndControllerCounters();
    void updateEmitsEveryCounterButTheController();
    void secondInstanceIsRefused();
};

void tst_FlashStats::initTestCase()
{
    registerMetaTypes();
    registerEngineMetaTypes();
}

void tst_FlashStats::countersAndTheirSignals()
{
    FlashStats stats;
    QSignalSpy global(&stats, &FlashStats::handsetGobalStatUpdated);
    QSignalSpy ifwi(&stats, &FlashStats::handsetIFWIFailure);
    stats.handleResult(socDevice("A1"), Status::Success, Type::Fastboot);
    stats.handleResult(socDevice("A1"), Status::Failure, Type::Ifwi);
    stats.handleResult(socDevice("A1"), Status::Interrupted, Type::Adb);
    QCOMPARE(global.count(), 3);
    QCOMPARE(global.at(0), (QList<QVariant>{quint64(1), quint64(0), quint64(0), quint64(1)}));
    QCOMPARE(global.at(1), (QList<QVariant>{quint64(1), quint64(1), quint64(0), quint64(2)}));
    QCOMPARE(global.at(2), (QList<QVariant>{quint64(1), quint64(1), quint64(1), quint64(3)}));
    QCOMPARE(ifwi.count(), 1);
    QCOMPARE(ifwi.at(0).at(0).toInt(), 1);
}

void tst_FlashStats::failureDetails_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("detail");
    QTest::addColumn<QString>("counter");     // the signal that counts it; empty: none
    QTest::newRow("Ifwi") << int(Type::Ifwi) << "FAIL_IFWI" << "IFWI";
    QTest::newRow("Fastboot") << int(Type::Fastboot) << "FAIL_OS" << "OS";
    QTest::newRow("Wrong device type") << int(Type::WrongDeviceType) << "FAIL_OS" << "OS";
    QTest::newRow("Modem") << int(Type::Modem) << "FAIL_MODEM" << "modem";
    QTest::newRow("Device enumeration") << int(Type::DeviceEnumeration) << "FAIL_ENUM" << "enumeration";
    QTest::newRow("Initial device state") << int(Type::InitialDeviceState) << "FAIL_ENUM" << "enumeration";
    QTest::newRow("FLS") << int(Type::Fls) << "FAIL_FLS_FLASH" << "OS";
    QTest::newRow("DFU") << int(Type::Dfu) << "FAIL_DFU_FLASH" << "DFU";
    QTest::newRow("Controller") << int(Type::Controller) << "FAIL_CONTROLLER" << "controller";
    QTest::newRow("Internal") << int(Type::Internal) << "FAIL_INTERNAL" << QString();
    QTest::newRow("JLink") << int(Type::JLink) << QString() << QString();
}

void tst_FlashStats::failureDetails()
{
    QFETCH(int, type);
    QFETCH(QString, detail);
    QFETCH(QString, counter);
    QTemporaryDir dir;
    FlashStats stats;
    QSignalSpy ifwi(&stats, &FlashStats::handsetIFWIFailure);
    QSignalSpy os(&stats, &FlashStats::handsetOsFailure);
    QSignalSpy modem(&stats, &FlashStats::handsetModemFailure);
    QSignalSpy enumeration(&stats, &FlashStats::handsetAdbEnumFailure);
    QSignalSpy dfu(&stats, &FlashStats::handsetDfuFailure);
    QSignalSpy controller(&stats, &FlashStats::phoneControllerFailure);
    QSignalSpy global(&stats, &FlashStats::handsetGobalStatUpdated);
    const QString path = dir.filePath("stats.csv");
    QVERIFY(stats.setStatsFile(path));

    stats.handleResult(socDevice("A1B2C3"), Status::Failure, Type(type));
    const QMap<QString, int> counts{{"IFWI", ifwi.count()},   {"OS", os.count()},
                                    {"modem", modem.count()}, {"enumeration", enumeration.count()},
                                    {"DFU", dfu.count()},     {"controller", controller.count()}};
    for (auto it = counts.begin(); it != counts.end(); ++it)
        QCOMPARE(it.value(), it.key() == counter ? 1 : 0);
    QCOMPARE(global.count(), 1);   // every failure is counted as one
    const QStringList lines = fileLines(path);
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines.at(0).endsWith(";A1B2C3;FAIL;" + detail), qPrintable(lines.at(0)));
}

void tst_FlashStats::recordedLines()
{
    QTemporaryDir dir;
    RecordingLogSink sink;
    relayApplicationLog(sink);
    FlashStats stats;
    const QString path = dir.filePath("plovt-stats.csv");
    stats.setSaveStatsFile(true, path);
    QCOMPARE(stats.getStatFileName(), path);
    stats.handleResult(socDevice("A1B2C3"), Status::Success, Type::Fastboot);
    stats.handleResult(FlashDevice2Ptr(), Status::Interrupted, Type::Internal);
    stats.setSaveStatsFile(false, path);
    stats.handleResult(socDevice("A1B2C3"), Status::Failure, Type::Ifwi);   // not recorded

    const QStringList lines = fileLines(path);
    QCOMPARE(lines.size(), 2);
    const QRegularExpression format(R"(^(\d{4}\.\d\d\.\d\d);(\d\d:\d\d:\d\d);([^;]*);([A-Z]+);([A-Z_]*)$)");
    const QRegularExpressionMatch first = format.match(lines.at(0));
    QVERIFY2(first.hasMatch(), qPrintable(lines.at(0)));
    const QDateTime written = QDateTime::fromString(first.captured(1) + ' ' + first.captured(2), "yyyy.MM.dd hh:mm:ss");
    QVERIFY(qAbs(written.secsTo(QDateTime::currentDateTime())) < 600);
    QCOMPARE(first.captured(3), QString("A1B2C3"));
    QCOMPARE(first.captured(4) + ';' + first.captured(5), QString("SUCCESS;SUCCESS"));
    QVERIFY2(lines.at(1).endsWith(";?;INTERRUPTED;INTERRUPTED"), qPrintable(lines.at(1)));

    const QStringList app = sink.rendered({"app"});
    QVERIFY(app.contains("app INFO Statistics record enabled to " + path));
    QVERIFY(app.contains("app TRACE Writing flash result to the statistic file ..."));
    QVERIFY(app.contains("app INFO Flash result '" + lines.at(0) + "' added to the statistic file"));
    QVERIFY(app.contains("app INFO Statistics record stopped"));
}

void tst_FlashStats::deviceTextStaysOneField()
{
    // Date and time of one clock reading; a serial cannot add fields or lines.
    const QDateTime midnight(QDate(2024, 1, 31), QTime(23, 59, 59, 999));
    QCOMPARE(FlashStats::statsLine(midnight, "A1;B2\nC3\r", "FAIL", "FAIL_IFWI"),
             QString("2024.01.31;23:59:59;A1_B2_C3_;FAIL;FAIL_IFWI"));
}

void tst_FlashStats::unwritableFolderNeverRecords()
{
    QTemporaryDir dir;
    RecordingLogSink sink;
    relayApplicationLog(sink);
    FlashStats stats;
    const QString path = dir.filePath("missing/folder/stats.csv");
    stats.setSaveStatsFile(true, path);
    const QStringList app = sink.rendered({"app"});
    const int error = app.indexOf("app ERROR FlashStats module cannot open " + path + " file");
    QVERIFY2(error >= 0, qPrintable(app.join('\n')));
    QCOMPARE(app.indexOf("app INFO Statistics record enabled to " + path), error + 1);
    stats.handleResult(socDevice("A1"), Status::Success, Type::Fastboot);
    QVERIFY(!QFile::exists(path));
    QVERIFY(sink.rendered({"app TRACE Writing"}).isEmpty());
}

void tst_FlashStats::failedWriteIsReported()
{
    QVERIFY2(QFile::exists("/dev/full"), "the device that refuses every write is missing");
    RecordingLogSink sink;
    relayApplicationLog(sink);
    FlashStats stats;
    QVERIFY(stats.setStatsFile("/dev/full"));
    stats.handleResult(socDevice("A1"), Status::Success, Type::Fastboot);
    const QStringList app = sink.rendered({"app"});
    QVERIFY2(!app.filter("could not be written to the statistic file /dev/full").isEmpty(), qPrintable(app.join('\n')));
    QVERIFY(app.filter("added to the statistic file").isEmpty());
}

void tst_FlashStats::sameFileIsKept()
{
    QTemporaryDir dir;
    FlashStats stats;
    const QString path = dir.filePath("stats.csv");
    QVERIFY(stats.setStatsFile(path));
    stats.handleResult(socDevice("A1"), Status::Success, Type::Fastboot);
    QVERIFY(stats.setStatsFile(path));
    stats.handleResult(socDevice("A1"), Status::Success, Type::Fastboot);
    QCOMPARE(fileLines(path).size(), 2);
    // A file that can't be opened leaves the open one in use.
    QVERIFY(!stats.setStatsFile(dir.filePath("no/such/folder.csv")));
    QCOMPARE(stats.getStatFileName(), path);
    stats.handleResult(socDevice("A1"), Status::Success, Type::Fastboot);
    QCOMPARE(fileLines(path).size(), 3);
}

void tst_FlashStats::resetKeepsDfuAndControllerCounters()
{
    FlashStats stats;
    stats.handleResult(socDevice("A1"), Status::Failure, Type::Dfu);
    stats.handleResult(socDevice("A1"), Status::Failure, Type::Ifwi);
    QSignalSpy global(&stats, &FlashStats::handsetGobalStatUpdated);
    QSignalSpy ifwi(&stats, &FlashStats::handsetIFWIFailure);
    QSignalSpy dfu(&stats, &FlashStats::handsetDfuFailure);
    stats.do_reset();
    QCOMPARE(global.at(0), (QList<QVariant>{quint64(0), quint64(0), quint64(0), quint64(0)}));
    QCOMPARE(ifwi.at(0).at(0).toInt(), 0);
    QCOMPARE(dfu.count(), 0);
    stats.handleResult(socDevice("A1"), Status::Failure, Type::Dfu);
    QCOMPARE(dfu.at(0).at(0).toInt(), 2);   // the DFU counter kept its 1
}

void tst_FlashStats::updateEmitsEveryCounterButTheController()
{
    FlashStats stats;
    stats.handleResult(socDevice("A1"), Status::Failure, Type::Modem);
    QSignalSpy global(&stats, &FlashStats::handsetGobalStatUpdated);
    QSignalSpy modem(&stats, &FlashStats::handsetModemFailure);
    QSignalSpy controller(&stats, &FlashStats::phoneControllerFailure);
    stats.update();
    QCOMPARE(global.at(0), (QList<QVariant>{quint64(0), quint64(1), quint64(0), quint64(1)}));
    QCOMPARE(modem.at(0).at(0).toInt(), 1);
    QCOMPARE(controller.count(), 0);
}

void tst_FlashStats::secondInstanceIsRefused()
{
    FlashStats stats;
    QCOMPARE(stats.getStatFileName(), QDir::homePath() + "/plovt-stats.csv");
    QVERIFY_EXCEPTION_THROWN(FlashStats second, SingletonException);
}

QTEST_GUILESS_MAIN(tst_FlashStats)
#include "tst_FlashStats.moc"
