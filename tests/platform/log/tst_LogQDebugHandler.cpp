#include "platform/log/LogQDebugHandler.h"

#include "RecordingSink.h"

#include <QtTest>

class tst_LogQDebugHandler : public QObject
{
    Q_OBJECT

private slots:
    void qtMessagesBecomeLines();
    void qtMessageFromInsideSinkGoesToPreviousHandler();
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
        RecordingSink sink;
        sink.bind(handler);

        qDebug("debug %d", 1);
        qWarning() << "warning";
        qCritical("critical");

        const QList<LogRecord> records = sink.records();
        QCOMPARE(records.size(), 3);
        QCOMPARE(records.at(0).level, int(Logger::DEBUG));
        QCOMPARE(records.at(0).text, QStringLiteral("debug 1"));
        QCOMPARE(records.at(0).name, QStringLiteral("Qt"));
        QCOMPARE(records.at(1).level, int(Logger::WARNING));
        QCOMPARE(records.at(1).text, QStringLiteral("warning"));
        QCOMPARE(records.at(2).level, int(Logger::ERROR));
    }
    qDebug("after");
    qInstallMessageHandler(testHandler);
    QCOMPARE(s_previousHandlerGot, QStringList{"after"});
}

void tst_LogQDebugHandler::qtMessageFromInsideSinkGoesToPreviousHandler()
{
    class WarningSink : public RecordingSink
    {
    public:
        void write(Logger::LogLevel level, QDateTime time, const QString& first, const QString& second,
                   const QString& third) override
        {
            RecordingSink::write(level, time, first, second, third);
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
        QCOMPARE(sink.texts(), QStringList{"outer"});
    }
    qInstallMessageHandler(testHandler);
    QCOMPARE(s_previousHandlerGot, QStringList{"raised by the sink"});
}

QTEST_GUILESS_MAIN(tst_LogQDebugHandler)
#include "tst_LogQDebugHandler.moc"
