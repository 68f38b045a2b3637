#include "engine/FlashLogger.h"

#include "core/FMConst.h"
#include "../core/RecordedLog.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QWriteLocker>
#include <QtTest>

#include <csignal>

#include <sys/resource.h>

namespace {

// Lowers the size a file of this process may grow to (0: no change) and makes a write past it fail
// with EFBIG instead of a signal; restored when it goes.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        if (bytes == 0)
            return;
        getrlimit(RLIMIT_FSIZE, &m_saved);
        m_savedHandler = std::signal(SIGXFSZ, SIG_IGN);
        const rlimit lowered{bytes, m_saved.rlim_max};
        m_active = setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    ~FileSizeLimit()
    {
        if (!m_active)
            return;
        setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_savedHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_saved{};
    void (*m_savedHandler)(int) = nullptr;
    bool m_active = false;
};

using Status = FlashTypes::FlashStatus;
using Type = FlashTypes::CommandType;

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every file below `root`, relative to it.
QStringList filesBelow(const QString& root)
{
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(root).relativeFilePath(it.next());
    files.sort();
    return files;
}

// A device whose current serial is `serial`, after it was seen with `socSerial` in a download
// state and with `platformSerial` in an operating-system state (when they are not empty).
FlashDevice2Ptr makeDevice(const QString& serial, const QString& socSerial = QString(),
                           const QString& platformSerial = QString())
{
    DummyDevice data;
    data.setPort(PortNumber::usbPort(QStringLiteral("1-2")));
    const FlashDevice2Ptr device(new FlashDevice2(data, nullptr));
    const auto update = [&data, &device](DeviceState state, const QString& text) {
        data.setState(state);
        data.setSerial(text);
        bool changed = false;
        bool other = false;
        const QWriteLocker locker(&device->getLock());
        device->setDataLocked(data, changed, other);
    };
    if (!socSerial.isEmpty())
        update(DeviceState::DnxOs, socSerial);
    if (!platformSerial.isEmpty())
        update(DeviceState::MainOs, platformSerial);
    update(DeviceState::Unknown, serial);
    return device;
}

} // namespace

class tst_FlashLogger : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void keywordExpansion_data();
    void keywordExpansion();
    void baseKeywordsFollowTheClock();
    void deviceKeywordsInNames();

    void disabledWritesNothing();
    void successOfADevice();
    void resultKeywords_data();
    void resultKeywords();
    void appendOrReplace_data();
    void appendOrReplace();
    void templateKeepsItsBlankLines();
    void emptyLogFolderIsTheWorkingFolder();
    void deviceTextCannotLeaveTheLogFolder_data();
    void deviceTextCannotLeaveTheLogFolder();
    void failuresAreWarnings_data();
    void failuresAreWarnings();

private:
    QString m_logDir;
    std::unique_ptr<QTemporaryDir> m_root;
    std::unique_ptr<FlashLogger> m_logger;
};

void tst_FlashLogger::initTestCase()
{
    QCoreApplication::setApplicationName(QStringLiteral("Quillon Lit\u00e9"));
    QCoreApplication::setApplicationVersion(QStringLiteral("5.3.2.0"));
    m_logger = std::make_unique<FlashLogger>();
}

void tst_FlashLogger::cleanupTestCase()
{
    m_logger.reset();
}

void tst_FlashLogger::init()
{
    m_root = std::make_unique<QTemporaryDir>();
    QVERIFY(m_root->isValid());
    m_logDir = m_root->filePath(QStringLiteral("logs/results"));
    FMConst::resetToDefaults();
    FMConst::setLogDirectory(m_logDir);
    FMConst::setFlashLogResultEnabled(true);
}

void tst_FlashLogger::keywordExpansion_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << QStringLiteral("$year/${month}") << QStringLiteral("2026/12");
    QTest::newRow("two dollars") << QStringLiteral("$$year") << QStringLiteral("$year");
    QTest::newRow("braces end the name") << QStringLiteral("${year}2") << QStringLiteral("20262");
    QTest::newRow("longest name") << QStringLiteral("$year2") << QStringLiteral("$year2");
    QTest::newRow("upper case kept") << QStringLiteral("$YEAR ${SERIAL}") << QStringLiteral("$YEAR ${SERIAL}");
    QTest::newRow("unknown kept") << QStringLiteral("${nope}-$nope-$") << QStringLiteral("${nope}-$nope-$");
    QTest::newRow("value not expanded again") << QStringLiteral("$nested") << QStringLiteral("$year");
    QTest::newRow("trimmed") << QStringLiteral("  \n${serial}.xml \t") << QStringLiteral("ABC.xml");
}

void tst_FlashLogger::keywordExpansion()
{
    QFETCH(QString, pattern);
    QFETCH(QString, expected);
    const QMap<QString, QString> map {{QStringLiteral("$"), QStringLiteral("$")},
                                      {QStringLiteral("year"), QStringLiteral("2026")},
                                      {QStringLiteral("month"), QStringLiteral("12")},
                                      {QStringLiteral("serial"), QStringLiteral("ABC")},
                                      {QStringLiteral("nested"), QStringLiteral("$year")}};
    QCOMPARE(FlashLogger::replaceKeywords(pattern, map), expected);
}

void tst_FlashLogger::baseKeywordsFollowTheClock()
{
    QMap<QString, QString> map {{QStringLiteral("year"), QStringLiteral("old")},
                                {QStringLiteral("other"), QStringLiteral("kept")}};
    const QDateTime before = QDateTime::currentDateTime();
    FlashLogger::updateKeywordMap(map);
    const QDateTime after = QDateTime::currentDateTime();

    QCOMPARE(map.value(QStringLiteral("other")), QStringLiteral("kept"));
    QCOMPARE(map.value(QStringLiteral("$")), QStringLiteral("$"));
    QCOMPARE(map.value(QStringLiteral("software_name")), QStringLiteral("Zorvik Quillon Lit\u00e9"));
    QCOMPARE(map.value(QStringLiteral("software_version")), QStringLiteral("5.3.2.0"));
    QCOMPARE(map.value(QStringLiteral("soc_serial")), QStringLiteral("unknown_soc"));
    QCOMPARE(map.value(QStringLiteral("android_serial")), QStringLiteral("unknown_android"));
    QVERIFY(!map.contains(QStringLiteral("serial")));

    const qint64 stamp = map.value(QStringLiteral("timestamp")).toLongLong();
    QVERIFY(stamp >= before.toSecsSinceEpoch() && stamp <= after.toSecsSinceEpoch());
    const QDateTime read = QDateTime::fromSecsSinceEpoch(stamp);
    QCOMPARE(map.value(QStringLiteral("year")), read.toString(QStringLiteral("yyyy")));
    const QString dateTime = map.value(QStringLiteral("year")) + '-' + map.value(QStringLiteral("month"))
        + '-' + map.value(QStringLiteral("day")) + ' ' + map.value(QStringLiteral("24h")) + ':'
        + map.value(QStringLiteral("minute")) + ':' + map.value(QStringLiteral("second"));
    QCOMPARE(dateTime, read.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
    QCOMPARE(map.value(QStringLiteral("msecond")).size(), 3);
    const int hour12 = map.value(QStringLiteral("12h")).toInt();
    QVERIFY(hour12 >= 1 && hour12 <= 12);
    QCOMPARE(map.value(QStringLiteral("12h")).size(), 2);
    QCOMPARE(map.value(QStringLiteral("ampm")), read.time().hour() < 12 ? QStringLiteral("AM")
                                                                       : QStringLiteral("PM"));
}

void tst_FlashLogger::deviceKeywordsInNames()
{
    const QString pattern = QStringLiteral("${serial}_${soc_serial}_${android_serial}");
    QCOMPARE(FlashLogger::getStrFromPattern(pattern),
             QStringLiteral("${serial}_unknown_soc_unknown_android"));
    QCOMPARE(FlashLogger::getStrFromPattern(pattern, FlashDevice2Ptr()),
             QStringLiteral("${serial}_unknown_soc_unknown_android"));
    QCOMPARE(FlashLogger::getStrFromPattern(pattern, makeDevice(QString())),
             QStringLiteral("${serial}_unknown_soc_unknown_android"));
    QCOMPARE(FlashLogger::getStrFromPattern(pattern, makeDevice(QStringLiteral("ABC123"),
                                                                QStringLiteral("SOC9"))),
             QStringLiteral("ABC123_SOC9_unknown_android"));
    QCOMPARE(FlashLogger::getStrFromPattern(pattern, makeDevice(QStringLiteral("a/../b"),
                                                                QStringLiteral("..\\x"),
                                                                QStringLiteral("OS1"))),
             QStringLiteral("a____b____x_OS1"));
}

void tst_FlashLogger::disabledWritesNothing()
{
    FMConst::setFlashLogResultEnabled(false);
    m_logger->logResult(makeDevice(QStringLiteral("ABC123")), Status::Success, Type::Fastboot);
    QVERIFY(!QFileInfo::exists(m_logDir));
}

void tst_FlashLogger::successOfADevice()
{
    const QDateTime before = QDateTime::currentDateTime();
    const RecordedLog log;
    m_logger->logResult(makeDevice(QStringLiteral("ABC123")), Status::Success, Type::Fastboot);
    const QDateTime after = QDateTime::currentDateTime();

    const QStringList files = filesBelow(m_logDir);
    QCOMPARE(files.size(), 1);
    // The second may have turned while the result was written: the file names one of them.
    QDateTime written;
    for (QDateTime t = before.addMSecs(-before.time().msec()); t <= after; t = t.addSecs(1)) {
        if (files.first() == t.toString(QStringLiteral("yyyy-MM/dd/'ABC123_'hh-mm-ss'.xml'")))
            written = t;
    }
    QVERIFY2(written.isValid(), qPrintable(files.first()));

    const QString expected = QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<LOG>\n<TIMESTAMP>%1</TIMESTAMP>\n<RESULT>PASS</RESULT>\n"
        "<ERROR>0</ERROR>\n<REASON>SUCCESS</REASON>\n<SOFTWARE_NAME>Zorvik Quillon Lit\u00e9</SOFTWARE_NAME>\n"
        "<SOFTWARE_VER>5.3.2.0</SOFTWARE_VER>\n</LOG>").arg(written.toSecsSinceEpoch());
    QCOMPARE(readFile(QDir(m_logDir).filePath(files.first())), expected.toUtf8());
    QCOMPARE(log.lines().filter(QStringLiteral("Log successfully written")),
             QStringList {QStringLiteral("TRACE|Log successfully written :\n") + expected});
}

void tst_FlashLogger::resultKeywords_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("expected");  // "${status}|${errno}|${reason}" expanded
    const struct { Type type; const char* expected; } failures[] = {
        {Type::Ifwi, "FAIL|32|FAIL_IFWI"},
        {Type::Fastboot, "FAIL|33|FAIL_OS"},
        {Type::Adb, "FAIL|33|FAIL_OS"},
        {Type::Shell, "FAIL|33|FAIL_OS"},
        {Type::Modem, "FAIL|33|FAIL_MODEM"},
        {Type::DeviceEnumeration, "FAIL|35|FAIL_ENUM"},
        {Type::InitialDeviceState, "FAIL|34|FAIL_STATE"},
        {Type::Popup, "FAIL|33|FAIL_OS"},
        {Type::Notifier, "FAIL|33|FAIL_OS"},
        {Type::Sleep, "FAIL|33|FAIL_OS"},
        {Type::Token, "FAIL|37|FAIL_TOKEN"},
        {Type::Fls, "FAIL|38|FAIL_FLS_FLASH"},
        {Type::Dfu, "FAIL|39|FAIL_DFU_FLASH"},
        {Type::JLink, "FAIL|${errno}|${reason}"},
        {Type::Controller, "FAIL|40|FAIL_CONTROLLER"},
        {Type::WrongDeviceType, "FAIL|41|FAIL_DEVICE_TYPE"},
        {Type::Internal, "FAIL|7|FAIL_INTERNAL"},
        {Type(42), "FAIL|${errno}|${reason}"},
    };
    for (const auto& failure : failures) {
        QTest::addRow("failure of type %d", int(failure.type))
            << int(Status::Failure) << int(failure.type) << QString::fromLatin1(failure.expected);
    }
    QTest::newRow("success") << int(Status::Success) << int(Type::JLink) << QStringLiteral("PASS|0|SUCCESS");
    QTest::newRow("interrupted") << int(Status::Interrupted) << int(Type::Ifwi)
                                 << QStringLiteral("FAIL|36|INTERRUPTED");
    QTest::newRow("unknown status") << 9 << int(Type::Ifwi)
                                    << QStringLiteral("${status}|${errno}|${reason}");
}

void tst_FlashLogger::resultKeywords()
{
    QFETCH(int, status);
    QFETCH(int, type);
    QFETCH(QString, expected);
    FMConst::setFlashLogResultFileNamePattern(QStringLiteral("result.txt"));
    FMConst::setFlashLogResultContent(QStringLiteral("${status}|${errno}|${reason}"));
    m_logger->logResult(FlashDevice2Ptr(), Status(status), Type(type));
    QCOMPARE(readFile(QDir(m_logDir).filePath(QStringLiteral("result.txt"))), expected.toUtf8());
}

void tst_FlashLogger::appendOrReplace_data()
{
    QTest::addColumn<bool>("append");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("append") << true << QByteArray("<PASS/>\n<FAIL/>\n");
    QTest::newRow("replace") << false << QByteArray("<FAIL/>\n");
}

void tst_FlashLogger::appendOrReplace()
{
    QFETCH(bool, append);
    QFETCH(QByteArray, expected);
    FMConst::setFlashLogResultAppend(append);
    FMConst::setFlashLogResultFileNamePattern(QStringLiteral("$serial.log"));
    FMConst::setFlashLogResultContent(QStringLiteral("<${status}/>\n"));
    const FlashDevice2Ptr device = makeDevice(QStringLiteral("ABC123"));
    m_logger->logResult(device, Status::Success, Type::Adb);
    m_logger->logResult(device, Status::Failure, Type::Adb);
    QCOMPARE(readFile(QDir(m_logDir).filePath(QStringLiteral("ABC123.log"))), expected);
}

void tst_FlashLogger::templateKeepsItsBlankLines()
{
    FMConst::setFlashLogResultFileNamePattern(QStringLiteral("  blank.txt\n"));
    FMConst::setFlashLogResultContent(QStringLiteral("\n\n  <R>$status</R>\n"));
    const RecordedLog log;
    m_logger->logResult(FlashDevice2Ptr(), Status::Success, Type::Adb);
    QCOMPARE(readFile(QDir(m_logDir).filePath(QStringLiteral("blank.txt"))), QByteArray("\n\n  <R>PASS</R>\n"));
    QVERIFY(log.lines().contains(QStringLiteral("TRACE|Log successfully written :\n<R>PASS</R>")));
}

void tst_FlashLogger::emptyLogFolderIsTheWorkingFolder()
{
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_root->path()));
    FMConst::setLogDirectory(QStringLiteral("  "));
    FMConst::setFlashLogResultFileNamePattern(QStringLiteral("here/r.txt"));
    m_logger->logResult(FlashDevice2Ptr(), Status::Success, Type::Adb);
    QDir::setCurrent(previous);
    QCOMPARE(filesBelow(m_root->path()), QStringList {QStringLiteral("here/r.txt")});
}

void tst_FlashLogger::deviceTextCannotLeaveTheLogFolder_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("serial");
    QTest::addColumn<QString>("expectedFile");  // relative to the log folder
    QTest::newRow("parent folders") << QStringLiteral("${serial}.xml") << QStringLiteral("../../escaped")
                                    << QStringLiteral("______escaped.xml");
    QTest::newRow("serial as a folder") << QStringLiteral("${serial}/r.xml") << QStringLiteral("..")
                                        << QStringLiteral("__/r.xml");
    QTest::newRow("dot folder") << QStringLiteral("${serial}/r.xml") << QStringLiteral(".")
                                << QStringLiteral("_/r.xml");
    QTest::newRow("backslash and NUL") << QStringLiteral("${serial}.xml") << QString::fromLatin1("a\\b\0c", 5)
                                       << QStringLiteral("a_b_c.xml");
    QTest::newRow("absolute serial") << QStringLiteral("${serial}") << QStringLiteral("%1/x")
                                     << QStringLiteral("%2_x");
}

void tst_FlashLogger::deviceTextCannotLeaveTheLogFolder()
{
    QFETCH(QString, pattern);
    QFETCH(QString, serial);
    QFETCH(QString, expectedFile);
    // "%1": a folder of this test, so that a file that escapes stays in the test's own folder.
    serial.replace(QStringLiteral("%1"), m_root->path());
    expectedFile.replace(QStringLiteral("%2"), QString(m_root->path()).replace('/', '_'));
    FMConst::setFlashLogResultFileNamePattern(pattern);
    FMConst::setFlashLogResultContent(QStringLiteral("<S>${serial}</S>"));
    m_logger->logResult(makeDevice(serial), Status::Success, Type::Adb);
    QCOMPARE(filesBelow(m_root->path()), QStringList {QStringLiteral("logs/results/") + expectedFile});
    // The content keeps what the device reported.
    QCOMPARE(readFile(QDir(m_logDir).filePath(expectedFile)), (QStringLiteral("<S>") + serial + "</S>").toUtf8());
}

void tst_FlashLogger::failuresAreWarnings_data()
{
    QTest::addColumn<QString>("logDirectory");   // relative to the temporary root
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<bool>("append");
    QTest::addColumn<QString>("expectedWarning"); // "%1": the log folder's absolute path
    QTest::newRow("log folder") << QStringLiteral("plain/sub") << QStringLiteral("r.xml") << false
                                << QStringLiteral("Fail create log directory");
    QTest::newRow("parent folder") << QStringLiteral("dir") << QStringLiteral("plain/r.xml") << false
                                   << QStringLiteral("Fail create parent folder to log file");
    QTest::newRow("open") << QStringLiteral("dir") << QStringLiteral("folder") << false
                          << QStringLiteral("Fail open log file %1/folder\nIs a directory");
    // The disk fills up under the file (a file size limit stands in for the full disk).
    QTest::newRow("write") << QStringLiteral("dir") << QStringLiteral("r.xml") << false
                           << QStringLiteral("Fail write log file %1/r.xml\nFile too large");
    QTest::newRow("append write") << QStringLiteral("dir") << QStringLiteral("r.xml") << true
                                  << QStringLiteral("Fail write log file %1/r.xml\nFile too large");
}

void tst_FlashLogger::failuresAreWarnings()
{
    QFETCH(QString, logDirectory);
    QFETCH(QString, pattern);
    QFETCH(bool, append);
    QFETCH(QString, expectedWarning);
    QFile plain(m_root->filePath(QStringLiteral("plain")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    const QString directory = m_root->filePath(logDirectory);
    QVERIFY(QDir().mkpath(m_root->filePath(QStringLiteral("dir/folder"))));
    if (QByteArray(QTest::currentDataTag()) == "parent folder")
        QVERIFY(QFile::copy(plain.fileName(), m_root->filePath(QStringLiteral("dir/plain"))));
    const QString previousFile = m_root->filePath(QStringLiteral("dir/r.xml"));
    QFile previous(previousFile);
    QVERIFY(previous.open(QIODevice::WriteOnly));
    previous.write("<previous/>\n");
    previous.close();
    FMConst::setLogDirectory(directory);
    FMConst::setFlashLogResultFileNamePattern(pattern);
    FMConst::setFlashLogResultAppend(append);

    const RecordedLog log;
    {
        const FileSizeLimit limit(expectedWarning.startsWith(QLatin1String("Fail write")) ? 64 : 0);
        m_logger->logResult(makeDevice(QStringLiteral("ABC123")), Status::Success, Type::Adb);
    }
    const QStringList warnings = log.lines().filter(QRegularExpression(QStringLiteral("^WARNING\\|")));
    QCOMPARE(warnings, QStringList{QStringLiteral("WARNING|") + QString(expectedWarning).replace(QStringLiteral("%1"), directory)});
    QVERIFY(log.lines().filter(QStringLiteral("successfully")).isEmpty());
    // What the earlier results wrote is still there, whole, and nothing is left beside it.
    QCOMPARE(readFile(previousFile), QByteArray("<previous/>\n"));
    QCOMPARE(QDir(m_root->filePath(QStringLiteral("dir"))).entryList({QStringLiteral("r.xml*")}, QDir::Files),
             QStringList{QStringLiteral("r.xml")});
}

QTEST_GUILESS_MAIN(tst_FlashLogger)
#include "tst_FlashLogger.moc"
