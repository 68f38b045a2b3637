// The application log: line format, which sink gets which level, log-file failures, the text-edit
// views and logging from several threads at once.

#include "core/LoggerBridge.h"
#include "core/MessageHandler.h"
#include "platform/log/LogQDebugHandler.h"

#include <QApplication>
#include <QDate>
#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <cstdio>
#include <memory>
#include <thread>
#include <unistd.h>

namespace {

// Sends the process's standard output into a file until finish() is called.
class StdoutCapture
{
public:
    explicit StdoutCapture(const QString& path)
        : m_path(path)
    {
        std::fflush(stdout);
        m_saved = dup(STDOUT_FILENO);
        FILE* file = std::fopen(qPrintable(path), "w");
        dup2(fileno(file), STDOUT_FILENO);
        std::fclose(file);
    }
    ~StdoutCapture() { finish(); }

    QStringList finish()
    {
        if (m_saved >= 0) {
            std::fflush(stdout);
            dup2(m_saved, STDOUT_FILENO);
            close(m_saved);
            m_saved = -1;
        }
        QFile file(m_path);
        file.open(QIODevice::ReadOnly | QIODevice::Text);
        return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    }

private:
    QString m_path;
    int m_saved = -1;
};

QStringList fileLines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
}

// Everything after the time stamp: tag, ": " and text.
QString afterTimeStamp(const QString& line)
{
    return line.mid(QStringLiteral("MM/dd/yy hh:mm:ss.zzz").size());
}

QStringList textEditLines(const QTextEdit& edit)
{
    return edit.toPlainText().split('\n', Qt::SkipEmptyParts);
}

class LoggingThread : public QThread
{
public:
    LoggingThread(int id, int count)
        : m_id(id)
        , m_count(count)
    {
    }

protected:
    void run() override
    {
        for (int i = 0; i < m_count; ++i)
            MessageHandler::instance()->logMessage(INFO, QStringLiteral("thread %1 line %2 ").arg(m_id).arg(i)
                                                             + QString(40, QLatin1Char('x')));
    }

private:
    int m_id;
    int m_count;
};

} // namespace

class tst_MessageHandler : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void lineHasTimeStampTagAndText_data();
    void lineHasTimeStampTagAndText();
    void consoleOnlyInShellModeUpToLevel();
    void fileGetsEveryLevel();
    void undefinedLevels_data();
    void undefinedLevels();
    void unopenableLogFileWarnsAndLoggingGoesOn();
    void fullDiskWarnsOnceAndStopsTheFile();
    void namingTheLogFileAgainTruncatesIt();
    void resetTruncatesTheFileAndSetsDebug();
    void textEditsShowLinesUpToTheLevelAtDisplayTime();
    void textEditLoggersByIdAndWithDate();
    void concurrentLinesAreNeitherInterleavedNorLost();
    void deletingWhileQtMessagesAreBoundEnds();

private:
    QString logPath() const { return m_dir.filePath(QStringLiteral("app.log")); }

    QTemporaryDir m_dir;
};

void tst_MessageHandler::init()
{
    QVERIFY(m_dir.isValid());
    MessageHandler::deleteInstance();
    MessageHandler::instance()->setLogFile(logPath());
}

void tst_MessageHandler::cleanup()
{
    MessageHandler::deleteInstance();
}

void tst_MessageHandler::lineHasTimeStampTagAndText_data()
{
    QTest::addColumn<int>("level");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("fatal") << int(FATAL) << "boom" << "  FATAL  : boom";
    QTest::newRow("error") << int(ERROR) << "bad" << "  ERROR  : bad";
    QTest::newRow("warning") << int(WARNING) << "hm" << "  WARNING: hm";
    QTest::newRow("info") << int(INFO) << "Flash started" << "  INFO   : Flash started";
    QTest::newRow("debug") << int(DEBUG) << "adb devices" << "  DEBUG  : adb devices";
    QTest::newRow("trace") << int(TRACE) << "chatter" << "  TRACE  : chatter";
    QTest::newRow("empty text") << int(INFO) << "" << "  INFO   : ";
    QTest::newRow("placeholders kept") << int(INFO) << "100% of %1" << "  INFO   : 100% of %1";
}

void tst_MessageHandler::lineHasTimeStampTagAndText()
{
    QFETCH(int, level);
    QFETCH(QString, text);
    QFETCH(QString, expected);

    const QString dayBefore = QDate::currentDate().toString(QStringLiteral("MM/dd/yy"));
    MessageHandler::instance()->logMessage(LOGLEVEL(level), text);
    const QString dayAfter = QDate::currentDate().toString(QStringLiteral("MM/dd/yy"));

    const QStringList lines = fileLines(logPath());
    QCOMPARE(lines.size(), 1);
    const QString& line = lines.first();
    QVERIFY2(QRegularExpression(QStringLiteral("^\\d\\d/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}  "))
                 .match(line)
                 .hasMatch(),
             qPrintable(line));
    QVERIFY2(line.startsWith(dayBefore) || line.startsWith(dayAfter), qPrintable(line));
    QCOMPARE(afterTimeStamp(line), expected);
}

void tst_MessageHandler::consoleOnlyInShellModeUpToLevel()
{
    MessageHandler* handler = MessageHandler::instance();
    const QString consolePath = m_dir.filePath(QStringLiteral("console.txt"));
    QStringList console;
    {
        StdoutCapture capture(consolePath);
        handler->logMessage(ERROR, "not in shell mode");
        handler->setShell(true);
        handler->logMessage(INFO, "info shown");
        handler->logMessage(DEBUG, "debug hidden");
        handler->setLogLevel(DEBUG);
        handler->logMessage(DEBUG, "debug shown");
        handler->logMessage(TRACE, "trace hidden");
        console = capture.finish();
    }
    QStringList texts;
    for (const QString& line : console)
        texts << afterTimeStamp(line);
    QCOMPARE(texts, QStringList({"  INFO   : info shown", "  DEBUG  : debug shown"}));
}

void tst_MessageHandler::fileGetsEveryLevel()
{
    MessageHandler* handler = MessageHandler::instance();
    handler->setLogLevel(FATAL);
    QSignalSpy newLog(handler, &MessageHandler::newLog);
    for (int level = FATAL; level <= TRACE; ++level)
        handler->logMessage(LOGLEVEL(level), QStringLiteral("level %1").arg(level));

    const QStringList lines = fileLines(logPath());
    QCOMPARE(lines.size(), 6);
    QCOMPARE(afterTimeStamp(lines.last()), QStringLiteral("  TRACE  : level 5"));
    // The log table gets every level too, with the bare text and the time stamp alone.
    QCOMPARE(newLog.size(), 6);
    QCOMPARE(newLog.last().at(0).value<LOGLEVEL>(), TRACE);
    QCOMPARE(newLog.last().at(2).toString(), QStringLiteral("level 5"));
    QCOMPARE(newLog.last().at(1).toString(), lines.last().left(21));
}

void tst_MessageHandler::undefinedLevels_data()
{
    QTest::addColumn<int>("level");
    QTest::newRow("6") << 6;
    QTest::newRow("-1") << -1;
    QTest::newRow("100") << 100;
}

void tst_MessageHandler::undefinedLevels()
{
    QFETCH(int, level);
    MessageHandler* handler = MessageHandler::instance();
    QCOMPARE(handler->getLogLevel(), INFO);
    QCOMPARE(handler->getLogLevelStr(LOGLEVEL(level)), QString());

    handler->setLogLevel(LOGLEVEL(level));
    QCOMPARE(handler->getLogLevel(), TRACE);

    handler->logMessage(LOGLEVEL(level), "odd level");
    QCOMPARE(handler->getLogLevel(), TRACE);

    QStringList texts;
    for (const QString& line : fileLines(logPath()))
        texts << afterTimeStamp(line);
    QCOMPARE(texts, QStringList({"  WARNING: setLogLevel(): Undefined log level - Setting to max",
                                 "  WARNING: logMessage(...): Undefined log level - Setting to max",
                                 "  TRACE  : odd level"}));
}

void tst_MessageHandler::unopenableLogFileWarnsAndLoggingGoesOn()
{
    MessageHandler* handler = MessageHandler::instance();
    handler->logMessage(INFO, "before");
    QSignalSpy newLog(handler, &MessageHandler::newLog);
    const QString badPath = m_dir.filePath(QStringLiteral("missing/folder/app.log"));

    QVERIFY(handler->setLogFile(badPath));

    QCOMPARE(newLog.size(), 1);
    QCOMPARE(newLog.first().at(0).value<LOGLEVEL>(), WARNING);
    QCOMPARE(newLog.first().at(2).toString(),
             "messageHandler(): Can't open log file \"" + badPath + "\". Disabling log-file creation!");
    QCOMPARE(handler->getLogFilePath(), QString());

    handler->logMessage(ERROR, "after");
    QCOMPARE(newLog.size(), 2);
    QCOMPARE(newLog.last().at(2).toString(), QStringLiteral("after"));
    // The old file was closed when the new one was named: it keeps only what came before.
    const QStringList lines = fileLines(logPath());
    QCOMPARE(lines.size(), 1);
    QVERIFY(lines.first().endsWith(QStringLiteral(": before")));
    QVERIFY(!QFile::exists(badPath));
}

void tst_MessageHandler::fullDiskWarnsOnceAndStopsTheFile()
{
    const QString full = QStringLiteral("/dev/full");   // every write: "No space left on device"
    MessageHandler* handler = MessageHandler::instance();
    handler->setShell(true);
    QVERIFY(handler->setLogFile(full));
    QCOMPARE(handler->getLogFilePath(), full);

    StdoutCapture console(m_dir.filePath(QStringLiteral("console")));
    handler->logMessage(INFO, "first");
    handler->logMessage(INFO, "second");
    const QStringList lines = console.finish();

    const QString warning = QStringLiteral("  WARNING: messageHandler(): Can't write log file \"/dev/full\": "
                                           "No space left on device. Disabling log-file creation!");
    QCOMPARE(lines.size(), 3);
    QCOMPARE(afterTimeStamp(lines.at(0)), QStringLiteral("  INFO   : first"));
    QCOMPARE(afterTimeStamp(lines.at(1)), warning);
    QCOMPARE(afterTimeStamp(lines.at(2)), QStringLiteral("  INFO   : second"));
    QCOMPARE(handler->getLogFilePath(), QString());
}

void tst_MessageHandler::namingTheLogFileAgainTruncatesIt()
{
    MessageHandler* handler = MessageHandler::instance();
    handler->logMessage(INFO, "first run");
    handler->setLogFile(QString());
    handler->logMessage(INFO, "no file");
    QCOMPARE(fileLines(logPath()).size(), 1);

    handler->setLogFile(logPath());
    handler->logMessage(INFO, "second run");
    const QStringList lines = fileLines(logPath());
    QCOMPARE(lines.size(), 1);
    QVERIFY(lines.first().endsWith(QStringLiteral(": second run")));
}

void tst_MessageHandler::resetTruncatesTheFileAndSetsDebug()
{
    MessageHandler* handler = MessageHandler::instance();
    handler->logMessage(INFO, "old");
    handler->reset();
    QCOMPARE(handler->getLogLevel(), DEBUG);
    QCOMPARE(fileLines(logPath()), QStringList());
    handler->logMessage(INFO, "new");
    QCOMPARE(fileLines(logPath()).size(), 1);
}

void tst_MessageHandler::textEditsShowLinesUpToTheLevelAtDisplayTime()
{
    MessageHandler* handler = MessageHandler::instance();
    QTextEdit edit;
    handler->setMainTextEditLog(&edit);

    handler->logMessage(INFO, "shown");
    handler->logMessage(DEBUG, "above the level");
    QTRY_COMPARE(textEditLines(edit).size(), 1);
    QCOMPARE(afterTimeStamp(textEditLines(edit).first()), QStringLiteral("  INFO   : shown"));

    // Queued while DEBUG is allowed, shown after the level went down: the view tests it late.
    handler->setLogLevel(DEBUG);
    handler->logMessage(DEBUG, "queued");
    handler->setLogLevel(INFO);
    handler->logMessage(WARNING, "marker");
    QTRY_COMPARE(textEditLines(edit).size(), 2);
    QVERIFY(textEditLines(edit).last().endsWith(QStringLiteral("  WARNING: marker")));

    handler->clear();
    QTRY_VERIFY(edit.toPlainText().isEmpty());
    handler->setMainTextEditLog(nullptr);
}

void tst_MessageHandler::textEditLoggersByIdAndWithDate()
{
    MessageHandler* handler = MessageHandler::instance();
    QTextEdit main;
    QTextEdit device;
    handler->setMainTextEditLog(&main);
    handler->registerTextEditLogger(3, &device);
    QCOMPARE(handler->getTextEditLogger(0), nullptr);
    QCOMPARE(handler->getTextEditLogger(2), nullptr);
    QCOMPARE(handler->getTextEditLogger(3), &device);
    QCOMPARE(handler->getTextEditLogger(4), nullptr);

    handler->logMessage(INFO, "for device 3", 3);
    handler->logMessage(INFO, "for nobody", 7);
    handler->logMessageWithDate(INFO, "01/02/03 04:05:06.789", "");
    handler->logMessageWithDate(ERROR, "01/02/03 04:05:06.789", "again");
    QTRY_COMPARE(textEditLines(main).size(), 1);
    QCOMPARE(textEditLines(main).first(), QStringLiteral("01/02/03 04:05:06.789  ERROR  : again"));
    QCOMPARE(textEditLines(device).size(), 1);
    QVERIFY(textEditLines(device).first().endsWith(QStringLiteral("  INFO   : for device 3")));
    // Shown again, not logged again: the file has only the two messages logged.
    QCOMPARE(fileLines(logPath()).size(), 2);
    handler->setMainTextEditLog(nullptr);
    handler->registerTextEditLogger(3, nullptr);
}

void tst_MessageHandler::concurrentLinesAreNeitherInterleavedNorLost()
{
    MessageHandler::deleteInstance();
    const int threads = 8;
    const int perThread = 300;
    std::vector<std::unique_ptr<LoggingThread>> workers;
    for (int id = 0; id < threads; ++id)
        workers.push_back(std::make_unique<LoggingThread>(id, perThread));
    // The first thread to log creates the handler: several may race for it.
    for (auto& worker : workers)
        worker->start();
    for (auto& worker : workers)
        QVERIFY(worker->wait(30000));

    // No file was named in this run: name it now and log once more from every thread.
    MessageHandler::instance()->setLogFile(logPath());
    workers.clear();
    for (int id = 0; id < threads; ++id)
        workers.push_back(std::make_unique<LoggingThread>(id, perThread));
    for (auto& worker : workers)
        worker->start();
    for (auto& worker : workers)
        QVERIFY(worker->wait(30000));

    const QStringList lines = fileLines(logPath());
    QCOMPARE(lines.size(), threads * perThread);
    const QRegularExpression pattern(QStringLiteral(
        "^\\d\\d/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}  INFO   : thread (\\d+) line (\\d+) x{40}$"));
    std::vector<int> next(threads, 0);
    for (const QString& line : lines) {
        const QRegularExpressionMatch match = pattern.match(line);
        QVERIFY2(match.hasMatch(), qPrintable(line));
        const int id = match.captured(1).toInt();
        QCOMPARE(match.captured(2).toInt(), next[id]);   // each thread's lines in its own order
        ++next[id];
    }
}

void tst_MessageHandler::deletingWhileQtMessagesAreBoundEnds()
{
    // Qt's own messages go to the application log, as the program binds them at start-up.
    LogQDebugHandler qtMessages(QStringLiteral("Qt"), QStringLiteral("Qt messages"));
    LoggerBridge bridge;
    bridge.bind(qtMessages);
    MessageHandler::instance()->setLogLevel(TRACE);

    // The handler's destructor writes Qt debug lines. Detached, so that a dead-locked deletion
    // fails the check below instead of hanging the suite.
    const auto deleted = std::make_shared<std::atomic<bool>>(false);
    std::thread([deleted] {
        MessageHandler::deleteInstance();
        *deleted = true;
    }).detach();
    QTRY_VERIFY2_WITH_TIMEOUT(deleted->load(), "deleting the log waited for itself", 5000);
    // The dying handler took its own farewell into the file before closing it.
    QVERIFY(fileLines(logPath()).last().endsWith(QStringLiteral("destructor QLN messageHandler ...")));
    bridge.unbind(qtMessages);
}

QTEST_MAIN(tst_MessageHandler)
#include "tst_MessageHandler.moc"
