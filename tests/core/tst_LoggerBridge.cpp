// Lines of the logging library reach the application log through the bridge.

#include "core/LoggerBridge.h"
#include "core/MessageHandler.h"
#include "platform/log/LoggedObject.h"

#include <QSignalSpy>
#include <QtTest>

#include <atomic>
#include <thread>
#include <vector>

class tst_LoggerBridge : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void rendersLabelAndMapsLevel_data();
    void rendersLabelAndMapsLevel();
    void boundObjectLogsThroughTheBridge();
    void bridgeDeletedWhileThreadsLog();
};

void tst_LoggerBridge::cleanup()
{
    MessageHandler::deleteInstance();
}

void tst_LoggerBridge::rendersLabelAndMapsLevel_data()
{
    QTest::addColumn<int>("level");
    QTest::addColumn<QString>("label");
    QTest::addColumn<int>("expectedLevel");
    QTest::addColumn<QString>("expectedText");
    QTest::newRow("labelled") << 3 << "Port 1-2" << int(INFO) << "[Port 1-2] text";
    QTest::newRow("no label") << 1 << "" << int(ERROR) << "text";
    QTest::newRow("trace") << 5 << "x" << int(TRACE) << "[x] text";
    QTest::newRow("unknown level is fatal") << 9 << "x" << int(FATAL) << "[x] text";
    QTest::newRow("negative level is fatal") << -2 << "" << int(FATAL) << "text";
}

void tst_LoggerBridge::rendersLabelAndMapsLevel()
{
    QFETCH(int, level);
    QFETCH(QString, label);
    QFETCH(int, expectedLevel);
    QFETCH(QString, expectedText);

    QSignalSpy newLog(MessageHandler::instance(), &MessageHandler::newLog);
    LoggerBridge bridge;
    bridge.write(Logger::LogLevel(level), QDateTime(), QStringLiteral("handler name"), label,
                 QStringLiteral("text"));

    QCOMPARE(newLog.size(), 1);
    QCOMPARE(int(newLog.first().at(0).value<LOGLEVEL>()), expectedLevel);
    QCOMPARE(newLog.first().at(2).toString(), expectedText);
}

void tst_LoggerBridge::boundObjectLogsThroughTheBridge()
{
    QSignalSpy newLog(MessageHandler::instance(), &MessageHandler::newLog);
    LoggerBridge bridge;
    LoggedObject object(QStringLiteral("Flash Manager"));
    bridge.bind(object);

    object.logMessage(Logger::WARNING, QStringLiteral("Port 1-2"), QStringLiteral("device lost"));
    object.logMessage(Logger::DEBUG, QStringLiteral("no label"));

    QCOMPARE(newLog.size(), 2);
    QCOMPARE(newLog.first().at(0).value<LOGLEVEL>(), WARNING);
    QCOMPARE(newLog.first().at(2).toString(), QStringLiteral("[Port 1-2] device lost"));
    QCOMPARE(newLog.last().at(0).value<LOGLEVEL>(), DEBUG);
    QCOMPARE(newLog.last().at(2).toString(), QStringLiteral("no label"));
}

void tst_LoggerBridge::bridgeDeletedWhileThreadsLog()
{
    // A flash left running at exit still logs while the program deletes its bridge: no line may
    // reach a bridge that is being destroyed.
    LoggedObject flash(QStringLiteral("Flash"));
    std::atomic<bool> done{false};
    std::vector<std::thread> loggers;
    for (int index = 0; index < 3; ++index) {
        loggers.emplace_back([&] {
            while (!done)
                flash.logMessage(Logger::INFO, QStringLiteral("still flashing"));
        });
    }
    for (int round = 0; round < 300; ++round) {
        auto* bridge = new LoggerBridge;
        bridge->bind(flash);
        QThread::usleep(100);
        delete bridge;
    }
    done = true;
    for (std::thread& logger : loggers)
        logger.join();
}

QTEST_GUILESS_MAIN(tst_LoggerBridge)
#include "tst_LoggerBridge.moc"
