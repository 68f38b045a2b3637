#include "platform/log/LogQDebugHandler.h"

#include "RecordingLogSink.h"

#include <QtTest>

#include <memory>

class tst_LogQDebugHandler : public QObject
{
    Q_OBJECT

private slots:
    void qtMessagesBecomeLines();
    void qtMessageFromInsideSinkGoesToPreviousHandler();
    void handlersDeletedOutOfOrderRestoreQtHandler();
};

namespace {

QStringList s_previousHandlerGot;

void previousHandler(QtMsgType, const QMessageLogContext&, const QString& text)
{
    s_previousHandlerGot.append(text);
}

} // namespace

void tst_LogQDebugHandler::qtMessagesBecomeLines()
{
    const QtMessageHandler testHandler = qInstallMessageHandler(previousHandler);
    s_previousHandlerGot.clear();
    {
        LogQDebugHandler handler(QStringLiteral("Qt"), QStringLiteral("Debug logs"));
        QCOMPARE(handler.getDescription(), QStringLiteral("Debug logs"));
        RecordingLogSink sink;
        sink.bind(handler);

        qDebug("debug %d", 1);
        qWarning() << "warning";
        qCritical("critical");

        const std::vector<RecordingLogSink::Line> lines = sink.lines();
        QCOMPARE(lines.size(), size_t(3));
        QCOMPARE(int(lines.at(0).level), int(Logger::DEBUG));
        QCOMPARE(lines.at(0).text, QStringLiteral("debug 1"));
        QCOMPARE(lines.at(0).source, QStringLiteral("Qt"));
        QCOMPARE(int(lines.at(1).level), int(Logger::WARNING));
        QCOMPARE(lines.at(1).text, QStringLiteral("warning"));
        QCOMPARE(int(lines.at(2).level), int(Logger::ERROR));
    }
    qDebug("after");
    qInstallMessageHandler(testHandler);
    QCOMPARE(s_previousHandlerGot, QStringList{"after"});
}

void tst_LogQDebugHandler::qtMessageFromInsideSinkGoesToPreviousHandler()
{
    class WarningSink : public RecordingLogSink
    {
    public:
        void write(Logger::LogLevel level, QDateTime time, const QString& first, const QString& second,
                   const QString& third) override
        {
            RecordingLogSink::write(level, time, first, second, third);
            qWarning("raised by the sink");
        }
    };

    const QtMessageHandler testHandler = qInstallMessageHandler(previousHandler);
    s_previousHandlerGot.clear();
    {
        LogQDebugHandler handler(QStringLiteral("Qt"), QString());
        LogHandler other;
        WarningSink sink;
        sink.bind(handler);
        sink.bind(other);
        other.logMessage(Logger::INFO, "outer");
        QCOMPARE(sink.rendered(), QStringList{"INFO outer"});
    }
    qInstallMessageHandler(testHandler);
    QCOMPARE(s_previousHandlerGot, QStringList{"raised by the sink"});
}

void tst_LogQDebugHandler::handlersDeletedOutOfOrderRestoreQtHandler()
{
    const QtMessageHandler testHandler = qInstallMessageHandler(previousHandler);
    s_previousHandlerGot.clear();
    {
        auto first = std::make_unique<LogQDebugHandler>(QStringLiteral("first"), QString());
        LogQDebugHandler second(QStringLiteral("second"), QString());
        RecordingLogSink sink;
        sink.bind(second);
        first.reset(); // before the handler created after it
        qDebug("to second");
        QCOMPARE(sink.rendered(), QStringList{"DEBUG to second"});
    }
    qDebug("after both");
    qInstallMessageHandler(testHandler);
    QCOMPARE(s_previousHandlerGot, QStringList{"after both"});
}

QTEST_GUILESS_MAIN(tst_LogQDebugHandler)
#include "tst_LogQDebugHandler.moc"
