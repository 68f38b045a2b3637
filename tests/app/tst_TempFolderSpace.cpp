// The start-up's look at the temporary folder's disk: what the operator reads for plenty of room,
// for too little, and for a folder whose disk cannot be asked.

#include "app/TempFolderSpace.h"
#include "core/LoggerBridge.h"
#include "platform/log/LoggedObject.h"
#include "tests/core/RecordedLog.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <limits>

class tst_TempFolderSpace : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void reportsByThreshold_data();
    void reportsByThreshold();
    void folderWithoutDiskIsOneDebugLine();

private:
    QByteArray m_tmpdir;
};

void tst_TempFolderSpace::initTestCase()
{
    m_tmpdir = qgetenv("TMPDIR");
    MessageHandler::instance()->setLogLevel(TRACE);
}

void tst_TempFolderSpace::cleanup()
{
    qputenv("TMPDIR", m_tmpdir);
}

void tst_TempFolderSpace::reportsByThreshold_data()
{
    QTest::addColumn<quint64>("warningBytes");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plenty") << quint64(0) << QStringLiteral("INFO|Disk space available on %1 : ");
    QTest::newRow("too little") << std::numeric_limits<quint64>::max()
                                << QStringLiteral("WARNING|You only have ");
}

void tst_TempFolderSpace::reportsByThreshold()
{
    QFETCH(quint64, warningBytes);
    QFETCH(QString, expected);
    // A temporary folder reached through a link: the disk is asked through its real path, the
    // operator reads the path as the system names it.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString link = dir.filePath(QStringLiteral("tmp-link"));
    QVERIFY(QFile::link(dir.path(), link));
    qputenv("TMPDIR", link.toLocal8Bit());

    LoggedObject object(QStringLiteral("start-up"));
    LoggerBridge bridge;
    bridge.bind(object);
    const RecordedLog log;
    TempFolderSpace(warningBytes).report(object);

    QCOMPARE(log.lines().size(), 1);
    const QString line = log.lines().first();
    QVERIFY2(line.startsWith(expected.replace(QStringLiteral("%1"), QDir::tempPath())), qPrintable(line));
    QVERIFY2(QRegularExpression(QStringLiteral("\\d+\\.\\d\\d (bytes|kB|MB|GB|TB|PB)")).match(line).hasMatch(), qPrintable(line));
    if (warningBytes)
        QVERIFY2(line.endsWith(QLatin1String(" of disk space left on system ((C:\\). Without enough disk space, "
                                             "device flash may fail.")), qPrintable(line));
}

void tst_TempFolderSpace::folderWithoutDiskIsOneDebugLine()
{
    qputenv("TMPDIR", "/no/such/folder");
    LoggedObject object(QStringLiteral("start-up"));
    const RecordedLog log;
    TempFolderSpace(0).report(object);
    QCOMPARE(log.lines(), QStringList{QStringLiteral("DEBUG|Failed to check available disk space")});
}

QTEST_GUILESS_MAIN(tst_TempFolderSpace)
#include "tst_TempFolderSpace.moc"
