// The log history fed by the application log: the level filter re-fills the log's text view, and the
// saved log file holds the headers and every row.

#include "core/MessageHandler.h"
#include "core/Utils.h"
#include "ui/TableLog.h"
#include "ui/UiResources.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtTest>

class tst_TableLog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void filterRefillsTheLogView_data();
    void filterRefillsTheLogView();
    void savedLogHoldsHeadersAndEveryRow();
    void emptyHistorySavesTheHeaders();
    void unopenablePathIsLogged();

private:
    QStringList savedLines(TableLog& log);

    QTemporaryDir m_dir;
    QString m_logFile;
    QTextEdit m_logView;
};

namespace {

const QString kBuildTime = QStringLiteral("Thursday July 30th 2015, 09:15:43 UTC");

QStringList headerPatterns()
{
    return {QStringLiteral("# Zorvik® Quillon Lite - Logs generated on \\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d"),
            QRegularExpression::escape(QStringLiteral("# Zorvik® Quillon Lite V 5.3.2.0 x64 (build on ") + kBuildTime
                                       + QStringLiteral(")")),
            QRegularExpression::escape(QStringLiteral("# OS: ") + Utils::getOsName())};
}

} // namespace

void tst_TableLog::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QCoreApplication::setApplicationName(QStringLiteral("Zorvik® Quillon Lite"));
    QCoreApplication::setApplicationVersion(QStringLiteral("5.3.2.0"));
    qApp->setProperty("APP_ARCH", QStringLiteral("x64"));
    qApp->setProperty("APP_BUILD_TIME", kBuildTime);
    UiResources::init();
    m_logFile = m_dir.filePath(QStringLiteral("application.log"));
    MessageHandler::instance()->init(false, m_logFile, &m_logView, nullptr, TRACE);
}

void tst_TableLog::init()
{
    QCoreApplication::processEvents();  // what earlier tests logged reaches the view now, not later
    m_logView.clear();
}

void tst_TableLog::filterRefillsTheLogView_data()
{
    QTest::addColumn<int>("filter");
    QTest::addColumn<int>("admitted");
    QTest::newRow("fatal only") << 0 << 1;
    QTest::newRow("up to info") << 3 << 4;
    QTest::newRow("every level") << 5 << 6;
}

void tst_TableLog::filterRefillsTheLogView()
{
    QFETCH(int, filter);
    QFETCH(int, admitted);
    TableLog log;
    MessageHandler* handler = MessageHandler::instance();
    for (int level = TRACE; level >= FATAL; --level)
        handler->logMessage(LOGLEVEL(level), QStringLiteral("message %1").arg(level));
    QTRY_COMPARE(log.rowCount(), 6);
    const qint64 logFileSize = QFileInfo(m_logFile).size();

    log.setLogFilter(filter);
    QCoreApplication::processEvents();

    QStringList expected;
    for (int row = 0; row < log.rowCount(); ++row) {
        const int level = log.item(row, 0)->data(Qt::UserRole + 1).toInt();
        if (level <= filter)
            expected << log.item(row, 1)->text() + MessageHandler::levelTag(LOGLEVEL(level))
                            + QStringLiteral(": message %1").arg(level);
    }
    QCOMPARE(expected.size(), admitted);
    QCOMPARE(m_logView.toPlainText().split(QLatin1Char('\n')), expected);
    QCOMPARE(log.rowCount(), 6);
    QCOMPARE(QFileInfo(m_logFile).size(), logFileSize);
}

QStringList tst_TableLog::savedLines(TableLog& log)
{
    const QString path = m_dir.filePath(QStringLiteral("saved.log"));
    if (!log.save(path))
        return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    if (lines.last().isEmpty())
        lines.removeLast();  // after the final line break
    return lines;
}

void tst_TableLog::savedLogHoldsHeadersAndEveryRow()
{
    TableLog log;
    log.logMessage(INFO, QStringLiteral("01/02/26 10:00:00.001"), QStringLiteral("Flash started"));
    log.logMessage(ERROR, QStringLiteral("01/02/26 10:00:01.002"), QStringLiteral("Flash failed"));
    log.logMessage(LOGLEVEL(9), QStringLiteral("01/02/26 10:00:02.003"), QStringLiteral("odd level"));
    log.setLogFilter(0);  // hides every row; the file still holds them

    const QStringList lines = savedLines(log);
    QCOMPARE(lines.size(), 6);
    const QStringList headers = headerPatterns();
    for (int line = 0; line < headers.size(); ++line)
        QVERIFY2(QRegularExpression(QLatin1Char('^') + headers[line] + QLatin1Char('$')).match(lines[line]).hasMatch(),
                 qPrintable(lines[line]));
    QCOMPARE(lines.mid(3), (QStringList{QStringLiteral("01/02/26 10:00:00.001\tINFO\tFlash started"),
                                        QStringLiteral("01/02/26 10:00:01.002\tERROR\tFlash failed"),
                                        QStringLiteral("01/02/26 10:00:02.003\t\todd level")}));
}

void tst_TableLog::emptyHistorySavesTheHeaders()
{
    TableLog log;
    const QStringList lines = savedLines(log);
    QCOMPARE(lines.size(), 3);
    QVERIFY2(lines[0].startsWith(QStringLiteral("# Zorvik® Quillon Lite - Logs generated on ")), qPrintable(lines[0]));
    QVERIFY2(lines[2].startsWith(QStringLiteral("# OS: ")), qPrintable(lines[2]));
}

void tst_TableLog::unopenablePathIsLogged()
{
    TableLog log;
    const QString path = m_dir.filePath(QStringLiteral("missing/folder/saved.log"));
    QVERIFY(!log.save(path));
    QVERIFY(!QFileInfo::exists(path));
    QTRY_COMPARE(log.rowCount(), 1);
    QCOMPARE(log.item(0, 0)->data(Qt::UserRole + 1).toInt(), int(ERROR));
    QCOMPARE(log.item(0, 2)->text(), QStringLiteral("Failed to open log file"));
}

QTEST_MAIN(tst_TableLog)
#include "tst_TableLog.moc"
