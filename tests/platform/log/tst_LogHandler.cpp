#include "platform/log/LoggedObject.h"

#include "RecordingLogSink.h"

#include <QtTest>

#include <thread>
#include <vector>

class tst_LogHandler : public QObject
{
    Q_OBJECT

private slots:
    void lineCarriesNameLabelAndText_data();
    void lineCarriesNameLabelAndText();
    void boundObjectLogsThroughCallersHandlers();
    void lineReachesEachSinkOnce();
    void filterLevelDropsVerboseLines();
    void deliveredWhenASinkWouldReceive_data();
    void deliveredWhenASinkWouldReceive();
    void deletedObjectsAndSinksUnbind();
    void sinkLoggingFromWriteEnds();
    void manyThreadsLoseNothing();
    void levelTypeIsRegistered();
};

void tst_LogHandler::lineCarriesNameLabelAndText_data()
{
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<QString>("context");
    QTest::addColumn<QString>("label");

    QTest::newRow("no label") << "" << "" << "";
    QTest::newRow("prefix") << "Port 1-2" << "" << "Port 1-2";
    QTest::newRow("context") << "" << "Port 3" << "Port 3";
    QTest::newRow("prefix and context") << "Backup" << "Port 3" << "Backup Port 3";
}

void tst_LogHandler::lineCarriesNameLabelAndText()
{
    QFETCH(QString, prefix);
    QFETCH(QString, context);
    QFETCH(QString, label);

    LoggedObject object(QStringLiteral("Flash Manager"));
    object.getLogHandler()->setPrefix(prefix);
    RecordingLogSink sink;
    sink.bind(object);

    if (context.isEmpty())
        object.getLogHandler()->logMessage(Logger::WARNING, QStringLiteral("text"));
    else
        object.getLogHandler()->logMessage(Logger::WARNING, context, QStringLiteral("text"));
    object.logMessage(Logger::TRACE, "chars");

    const std::vector<RecordingLogSink::Line> lines = sink.lines();
    QCOMPARE(lines.size(), size_t(2));
    QCOMPARE(int(lines.at(0).level), int(Logger::WARNING));
    QCOMPARE(lines.at(0).source, QStringLiteral("Flash Manager"));
    QCOMPARE(lines.at(0).label, label);
    QCOMPARE(lines.at(0).text, QStringLiteral("text"));
    QCOMPARE(int(lines.at(1).level), int(Logger::TRACE));
    QCOMPARE(lines.at(1).label, prefix);
    QCOMPARE(lines.at(1).text, QStringLiteral("chars"));
}

void tst_LogHandler::boundObjectLogsThroughCallersHandlers()
{
    LoggedObject application(QStringLiteral("Application"));
    LoggedObject window;
    LoggedObject view;
    view.getLogHandler()->setPrefix(QStringLiteral("Port 1-4"));
    RecordingLogSink sink;
    sink.bind(application);

    application.bindLogHandlers(window);
    window.bindLogHandlers(view);
    window.logMessage(Logger::INFO, "from window");
    view.logMessage(Logger::INFO, "from view");

    const std::vector<RecordingLogSink::Line> lines = sink.lines();
    QCOMPARE(sink.rendered(), QStringList({"INFO from window", "INFO from view"}));
    // A handler without a name or prefix takes those of the handlers it logs through.
    QCOMPARE(lines.at(0).source, QStringLiteral("Application"));
    QCOMPARE(lines.at(0).label, QString());
    QCOMPARE(lines.at(1).label, QStringLiteral("Port 1-4"));

    application.unbindLogHandlers(window);
    view.logMessage(Logger::INFO, "lost");
    QCOMPARE(sink.lines().size(), size_t(2));
}

void tst_LogHandler::lineReachesEachSinkOnce()
{
    LoggedObject manager;
    LoggedObject runner;
    LoggedObject runnable;
    RecordingLogSink sink;
    sink.bind(manager);
    sink.bind(runner);
    sink.bind(runner); // twice: still one binding
    manager.bindLogHandlers(runner);
    manager.bindLogHandlers(runnable);
    runner.bindLogHandlers(runnable);
    runnable.bindLogHandlers(manager); // a cycle must not loop

    runnable.logMessage(Logger::INFO, "once");
    QCOMPARE(sink.rendered(), QStringList{"INFO once"});
}

void tst_LogHandler::filterLevelDropsVerboseLines()
{
    LoggedObject application;
    LoggedObject deviceManager;
    LoggedObject scanner;
    RecordingLogSink filtered;
    RecordingLogSink everything;
    everything.useLogFilterLevel(false);
    filtered.bind(application);
    everything.bind(application);
    application.bindLogHandlers(deviceManager);
    deviceManager.bindLogHandlers(scanner);
    deviceManager.getLogHandler()->setFilterLevel(Logger::INFO);

    scanner.logMessage(Logger::DEBUG, "debug of a bound handler");
    deviceManager.logMessage(Logger::DEBUG, "debug");
    deviceManager.logMessage(Logger::INFO, "info");
    application.logMessage(Logger::TRACE, "trace of the application");
    deviceManager.logMessage(Logger::LogLevel(9), "unknown level");

    QCOMPARE(filtered.rendered(), QStringList({"INFO info", "TRACE trace of the application", "? unknown level"}));
    QCOMPARE(everything.lines().size(), size_t(5));
    QCOMPARE(int(everything.lines().back().level), 9);
}

void tst_LogHandler::deliveredWhenASinkWouldReceive_data()
{
    QTest::addColumn<int>("ownFilter");
    QTest::addColumn<int>("applicationFilter");
    QTest::addColumn<bool>("sinkIgnoresFilters");
    QTest::addColumn<bool>("debugDelivered");
    QTest::newRow("nothing filtered") << int(Logger::TRACE) << int(Logger::TRACE) << false << true;
    QTest::newRow("own filter at INFO") << int(Logger::INFO) << int(Logger::TRACE) << false << false;
    QTest::newRow("application at INFO") << int(Logger::TRACE) << int(Logger::INFO) << false << false;
    QTest::newRow("sink takes every line") << int(Logger::INFO) << int(Logger::INFO) << true << true;
}

void tst_LogHandler::deliveredWhenASinkWouldReceive()
{
    QFETCH(int, ownFilter);
    QFETCH(int, applicationFilter);
    QFETCH(bool, sinkIgnoresFilters);
    QFETCH(bool, debugDelivered);
    LoggedObject application;
    LoggedObject cli;
    RecordingLogSink sink;
    sink.useLogFilterLevel(!sinkIgnoresFilters);
    sink.bind(application);
    application.bindLogHandlers(cli);
    cli.getLogHandler()->setFilterLevel(ownFilter);
    application.getLogHandler()->setFilterLevel(applicationFilter);

    QCOMPARE(cli.getLogHandler()->isDelivered(Logger::DEBUG), debugDelivered);
    QVERIFY(cli.getLogHandler()->isDelivered(Logger::INFO));
    cli.logMessage(Logger::DEBUG, "debug");
    QCOMPARE(sink.lines().size(), size_t(debugDelivered ? 1 : 0));
    // A handler bound to no sink delivers nothing.
    QVERIFY(!LoggedObject().getLogHandler()->isDelivered(Logger::FATAL));
}

void tst_LogHandler::deletedObjectsAndSinksUnbind()
{
    LoggedObject parent;
    auto sink = std::make_unique<RecordingLogSink>();
    sink->bind(parent);
    {
        LoggedObject child;
        parent.bindLogHandlers(child);
        child.logMessage(Logger::INFO, "child");
    }
    parent.logMessage(Logger::INFO, "parent");
    QCOMPARE(sink->rendered(), QStringList({"INFO child", "INFO parent"}));

    auto child = std::make_unique<LoggedObject>();
    child->bindLogHandlers(parent);
    sink.reset();
    child.reset();
    parent.logMessage(Logger::INFO, "nobody listens"); // must not touch the deleted sink or child
}

void tst_LogHandler::sinkLoggingFromWriteEnds()
{
    // A sink that logs every line it gets back into the handler it is bound to.
    class EchoSink : public LoggerInterface
    {
    public:
        explicit EchoSink(const LoggedObject& object)
            : m_object(object)
        {
        }
        void write(Logger::LogLevel level, QDateTime, const QString&, const QString&, const QString& text) override
        {
            ++m_lines;
            m_object.logMessage(level, "echo " + text);
        }
        int m_lines = 0;

    private:
        const LoggedObject& m_object;
    };

    LoggedObject object;
    EchoSink sink(object);
    sink.bind(object);
    object.logMessage(Logger::INFO, "start");
    QVERIFY2(sink.m_lines > 1 && sink.m_lines < 10, qPrintable(QString::number(sink.m_lines)));
}

void tst_LogHandler::manyThreadsLoseNothing()
{
    constexpr int kThreads = 8;
    constexpr int kLines = 2000;
    LoggedObject manager;
    RecordingLogSink sink;
    sink.bind(manager);

    std::vector<std::unique_ptr<LoggedObject>> runners;
    for (int thread = 0; thread < kThreads; ++thread) {
        runners.push_back(std::make_unique<LoggedObject>());
        runners.back()->getLogHandler()->setPrefix(QString::number(thread));
    }
    std::vector<std::thread> threads;
    for (int thread = 0; thread < kThreads; ++thread) {
        threads.emplace_back([&manager, runner = runners[size_t(thread)].get()] {
            manager.bindLogHandlers(*runner);
            for (int line = 0; line < kLines; ++line)
                runner->logMessage(Logger::INFO, QString::number(line));
        });
    }
    for (std::thread& thread : threads)
        thread.join();

    const std::vector<RecordingLogSink::Line> lines = sink.lines();
    QCOMPARE(int(lines.size()), kThreads * kLines);
    QVector<int> next(kThreads, 0);
    for (const RecordingLogSink::Line& line : lines) {
        const int thread = line.label.toInt();
        QCOMPARE(line.text.toInt(), next[thread]); // each thread's lines arrive in order
        ++next[thread];
    }
}

void tst_LogHandler::levelTypeIsRegistered()
{
    Logger::registerMetaTypes();
    QCOMPARE(QMetaType::type("Logger::LogLevel"), qMetaTypeId<Logger::LogLevel>());
    QCOMPARE(int(Logger::Error), int(Logger::ERROR));
}

QTEST_GUILESS_MAIN(tst_LogHandler)
#include "tst_LogHandler.moc"
