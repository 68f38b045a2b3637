#include "ToolsTestKit.h"

#include "SimulatedDevices.h"
#include "tools/DFUFlashCommand.h"

#include <QCryptographicHash>
#include <QSignalSpy>
#include <QtTest>

using namespace ToolsTestKit;

class tst_DFUFlashCommand : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void deviceIds_data();
    void deviceIds();
    void progressLines();
    void downloadIntoTheSimulatedDevice();
    void version_data();
    void version();
    void kindWords();

private:
    QSharedPointer<FlashCommand> dfu(const QByteArray& args);

    QTemporaryDir m_dir;
    QString m_record;
    RecordingLogSink m_recorder;
};

void tst_DFUFlashCommand::initTestCase()
{
    registerMetaTypes();
    relayApplicationLog(m_recorder);
    QVERIFY(m_dir.isValid());
    m_record = m_dir.filePath(QStringLiteral("dfu.record"));
}

void tst_DFUFlashCommand::init()
{
    resetRegistry();
    QFile::remove(m_record);
    m_recorder.clear();
}

QSharedPointer<FlashCommand> tst_DFUFlashCommand::dfu(const QByteArray& args)
{
    return command(R"({"tool": "dfuDownloader", "timeout": 60000, "retry": 1, "description": "Loading", "args": ")"
                   + args + "\"}");
}

void tst_DFUFlashCommand::deviceIds_data()
{
    QTest::addColumn<int>("vendor");
    QTest::addColumn<int>("product");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("both ids") << 0x12AB << 0x0034 << QStringList{"-D", "x.bin", "-d", "12ab:0034"};
    QTest::newRow("padded") << 0x00AB << 0x0C0D << QStringList{"-D", "x.bin", "-d", "00ab:0c0d"};
    QTest::newRow("no vendor id") << 0 << 0x0C0D << QStringList{"-D", "x.bin"};
}

void tst_DFUFlashCommand::deviceIds()
{
    QFETCH(int, vendor);
    QFETCH(int, product);
    QFETCH(QStringList, expected);
    QVERIFY(FMConst::setTool(QStringLiteral("dfuDownloader"),
                             recordingStub(m_dir, QStringLiteral("dfu-util"), m_record)));
    const SharedPointer<FlashDevice2> target =
        device(QStringLiteral("D1"), DeviceState::Unknown, uint16_t(vendor), uint16_t(product));

    QCOMPARE(dfu("-D x.bin")->execute(makeRunner(target, makeConfiguration(), &m_recorder), target),
             ExecuteSuccess);
    QCOMPARE(recordedRuns(m_record), QList<QStringList>{expected});
}

void tst_DFUFlashCommand::progressLines()
{
    const QByteArray output = "Opening DFU capable USB device...\n"
                              "Download\t[=====          ]  45%          300 bytes\r"
                              "  Download\t[=======        ]  50%             bytes  \n"
                              "Download done.\n";
    QVERIFY(FMConst::setTool(QStringLiteral("dfuDownloader"),
                             recordingStub(m_dir, QStringLiteral("dfu-util"), m_record, output,
                                           "dfu-util: Error during download get_status\n")));
    const SharedPointer<FlashDevice2> target = device(QStringLiteral("D1"), DeviceState::Unknown);
    const SharedPointer<FlashRunner> runner = makeRunner(target, makeConfiguration(), &m_recorder);
    runner->setConfigurationProgression(0, 1);
    QSignalSpy progress(runner.data(), &FlashRunner::progressionChanged);
    QSignalSpy info(runner.data(), &FlashRunner::progressionInfoChanged);

    QCOMPARE(dfu("-D x.bin")->execute(runner, target), ExecuteSuccess);

    QCOMPARE(progress.size(), 2);
    QCOMPARE(progress.at(0).at(0).value<uint64_t>(), uint64_t(45));
    QCOMPARE(progress.at(0).at(1).value<uint64_t>(), uint64_t(100));
    QCOMPARE(progress.at(1).at(0).value<uint64_t>(), uint64_t(50));
    QStringList infos;
    for (const QList<QVariant>& signal : info)
        infos << signal.at(0).toString();
    QVERIFY(infos.contains(QStringLiteral("Loading\nProgress : 45% => 300.00 bytes")));
    QCOMPARE(infos.last(), QStringLiteral("Loading\nProgress : 50%"));

    const QStringList debug = m_recorder.rendered({QStringLiteral("DEBUG"), QStringLiteral("WARNING")});
    QCOMPARE(debug, (QStringList{"DEBUG Opening DFU capable USB device...",
                                 "DEBUG Progress : 45% => 300.00 bytes",
                                 "DEBUG Progress : 50%",
                                 "WARNING dfu-util: Error during download get_status"}));
}

void tst_DFUFlashCommand::downloadIntoTheSimulatedDevice()
{
    SimulatedDevices sim;
    QVERIFY(sim.isValid());
    QVERIFY(sim.addDevice(QStringLiteral("DFU1"), QStringLiteral("1-5"), QStringLiteral("dfu")));
    QVERIFY(FMConst::setTool(QStringLiteral("dfuDownloader"), sim.toolPath(QStringLiteral("dfu-util"))));
    const QString image = m_dir.filePath(QStringLiteral("fw.bin"));
    QFile file(image);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(300, 'f'));
    file.close();
    const SharedPointer<FlashDevice2> target = device(QStringLiteral("DFU1"), DeviceState::Unknown, 0x0483, 0xdf11);
    const SharedPointer<FlashRunner> runner = makeRunner(target, makeConfiguration(), &m_recorder);
    runner->setConfigurationProgression(0, 1);
    QSignalSpy progress(runner.data(), &FlashRunner::progressionChanged);

    QCOMPARE(dfu("-a 0 -D " + image.toUtf8() + " -R")->execute(runner, target), ExecuteSuccess);

    const QJsonObject simulated = sim.device(QStringLiteral("DFU1"));
    QCOMPARE(simulated.value(QStringLiteral("state")).toString(), QStringLiteral("mos"));
    QCOMPARE(simulated.value(QStringLiteral("partitions")).toObject().value(QStringLiteral("dfu")).toString(),
             QString::fromLatin1(QCryptographicHash::hash(QByteArray(300, 'f'), QCryptographicHash::Sha256).toHex()));
    QVERIFY(sim.commandLog().contains(QStringLiteral("dfu-util -a 0 -D %1 -R -d 0483:df11").arg(image)));
    QCOMPARE(progress.last().at(0).value<uint64_t>(), uint64_t(100));
}

void tst_DFUFlashCommand::version_data()
{
    QTest::addColumn<bool>("present");
    QTest::addColumn<QString>("expected");
    QTest::newRow("simulated dfu-util") << true << "0.11";
    QTest::newRow("missing program") << false << "";
}

void tst_DFUFlashCommand::version()
{
    QFETCH(bool, present);
    QFETCH(QString, expected);
    SimulatedDevices sim;
    ExternalToolManager::instance().setTool(
        QStringLiteral("dfuDownloader"),
        present ? sim.toolPath(QStringLiteral("dfu-util")) : m_dir.filePath(QStringLiteral("absent")));

    QCOMPARE(DFUFlashCommand::toolVersion(), expected);
    const bool traced = m_recorder.texts(Logger::TRACE).filter(QStringLiteral("Cannot get DFU Downloader version\n")).size() == 1;
    QCOMPARE(traced, !present);
}

void tst_DFUFlashCommand::kindWords()
{
    const QSharedPointer<FlashCommand> command = dfu("-D x.bin");
    QVERIFY(command.dynamicCast<DFUFlashCommand>());
    QCOMPARE(command->getType(), FlashTypes::CommandType::Dfu);
    QVERIFY(command->clone().dynamicCast<DFUFlashCommand>());
    QCOMPARE(command->getDetails(*makeConfiguration()), QStringLiteral("dfuDownloader \"--verbose\" \"-D\" \"x.bin\""));
    QCOMPARE(DFUFlashCommand::toolName(), QStringLiteral("DFU Downloader"));
}

QTEST_GUILESS_MAIN(tst_DFUFlashCommand)
#include "tst_DFUFlashCommand.moc"
