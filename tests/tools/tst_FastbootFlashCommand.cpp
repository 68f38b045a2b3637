#include "ToolsTestKit.h"

#include "SimulatedDevices.h"
#include "tools/FastbootFlashCommand.h"

#include <QCryptographicHash>
#include <QtTest>

using namespace ToolsTestKit;

class tst_FastbootFlashCommand : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void arguments_data();
    void arguments();
    void detailsShowTheSettingsNotTheDevice();
    void success_data();
    void success();
    void type_data();
    void type();
    void flashWritesTheImageIntoTheSimulatedDevice();
    void failedAnswerOfTheSimulatedDeviceFails();

private:
    QSharedPointer<FlashCommand> fastboot(const QByteArray& args);
    ExecuteResult run(const QByteArray& args, const SharedPointer<FlashDevice2>& target);

    QTemporaryDir m_dir;
    QString m_record;
    RecordingLogSink m_recorder;
};

void tst_FastbootFlashCommand::initTestCase()
{
    registerMetaTypes();
    relayApplicationLog(m_recorder);
    QVERIFY(m_dir.isValid());
    m_record = m_dir.filePath(QStringLiteral("fastboot.record"));
}

void tst_FastbootFlashCommand::init()
{
    resetRegistry();
    QFile::remove(m_record);
    m_recorder.clear();
}

QSharedPointer<FlashCommand> tst_FastbootFlashCommand::fastboot(const QByteArray& args)
{
    return command(R"({"tool": "fastboot", "timeout": 60000, "retry": 1, "description": "d", "args": ")" + args
                   + "\"}");
}

ExecuteResult tst_FastbootFlashCommand::run(const QByteArray& args, const SharedPointer<FlashDevice2>& target)
{
    const QSharedPointer<FlashCommand> command = fastboot(args);
    if (!command)
        return ExecuteSkipped;
    return command->execute(makeRunner(target, makeConfiguration(), &m_recorder), target);
}

void tst_FastbootFlashCommand::arguments_data()
{
    QTest::addColumn<bool>("forced");
    QTest::addColumn<QString>("network");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("usb") << false << QString() << QStringList{"-s", "S1", "flash", "boot", "boot.img"};
    QTest::newRow("usb, settings forced")
        << true << QString()
        << QStringList{"-i", "0x8087", "-S", "100M", "-s", "S1", "flash", "boot", "boot.img"};
    QTest::newRow("network") << false << "10.0.0.9:5554"
                             << QStringList{"-s", "tcp:10.0.0.9:5554", "flash", "boot", "boot.img"};
}

void tst_FastbootFlashCommand::arguments()
{
    QFETCH(bool, forced);
    QFETCH(QString, network);
    QFETCH(QStringList, expected);
    FMConst::FORCE_FASTBOOT_VENDOR_ID = forced;
    FMConst::FORCE_FASTBOOT_SPARSING = forced;
    QVERIFY(FMConst::setTool(QStringLiteral("fastboot"),
                             recordingStub(m_dir, QStringLiteral("fastboot"), m_record, {}, "OKAY\n")));
    const QString serial = network.isEmpty() ? QStringLiteral("S1") : network;

    QCOMPARE(run("flash boot boot.img", device(serial, DeviceState::ProvisioningOs, 0, 0, network)),
             ExecuteSuccess);
    QCOMPARE(recordedRuns(m_record), QList<QStringList>{expected});
}

void tst_FastbootFlashCommand::detailsShowTheSettingsNotTheDevice()
{
    FMConst::FORCE_FASTBOOT_SPARSING = true;
    FMConst::FASTBOOT_SPARSING_SIZE = 256;
    QCOMPARE(fastboot("erase data")->getDetails(*makeConfiguration()),
             QStringLiteral("fastboot \"-S\" \"256M\" \"erase\" \"data\""));
}

void tst_FastbootFlashCommand::success_data()
{
    QTest::addColumn<QByteArray>("args");
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<QByteArray>("errors");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<bool>("success");

    const QByteArray okay = "Writing 'boot'    OKAY [  0.010s]\n";
    QTest::newRow("okay") << QByteArray("flash boot x") << QByteArray() << okay << 0 << true;
    QTest::newRow("no okay") << QByteArray("flash boot x") << QByteArray() << QByteArray("done\n") << 0 << false;
    QTest::newRow("okay on stdout only") << QByteArray("flash boot x") << okay << QByteArray() << 0 << false;
    QTest::newRow("okay, then failed")
        << QByteArray("flash boot x") << QByteArray()
        << okay + "Writing 'system'  FAILED (remote: 'no space')\n" << 0 << false;
    QTest::newRow("okay, exit code 1") << QByteArray("flash boot x") << QByteArray() << okay << 1 << false;
    QTest::newRow("getvar without okay")
        << QByteArray("getvar product") << QByteArray() << QByteArray("product: sim\n") << 0 << true;
    QTest::newRow("getvar FAILED, exit 0")
        << QByteArray("getvar nope") << QByteArray()
        << QByteArray("getvar:nope FAILED (remote: 'GetVar Variable Not found')\n") << 0 << true;
    QTest::newRow("reboot") << QByteArray("reboot") << QByteArray() << QByteArray() << 0 << true;
    QTest::newRow("reboot-bootloader needs okay")
        << QByteArray("reboot-bootloader") << QByteArray() << QByteArray() << 0 << false;
}

void tst_FastbootFlashCommand::success()
{
    QFETCH(QByteArray, args);
    QFETCH(QByteArray, output);
    QFETCH(QByteArray, errors);
    QFETCH(int, exitCode);
    QFETCH(bool, success);
    QVERIFY(FMConst::setTool(QStringLiteral("fastboot"),
                             recordingStub(m_dir, QStringLiteral("fastboot"), m_record, output, errors, exitCode)));

    QCOMPARE(run(args, device(QStringLiteral("S1"), DeviceState::ProvisioningOs)),
             success ? ExecuteSuccess : ExecuteFailed);
}

void tst_FastbootFlashCommand::type_data()
{
    QTest::addColumn<QByteArray>("args");
    QTest::addColumn<int>("type");

    QTest::newRow("flash system") << QByteArray("flash system s.img") << int(FlashTypes::CommandType::Fastboot);
    QTest::newRow("Flash RADIO") << QByteArray("Flash RADIO r.img") << int(FlashTypes::CommandType::Modem);
    QTest::newRow("flash last") << QByteArray("oem flash") << int(FlashTypes::CommandType::Fastboot);
    QTest::newRow("modem script") << QByteArray("oem LOADFW_MODEM.SH") << int(FlashTypes::CommandType::Modem);
    QTest::newRow("nvm image") << QByteArray("flash x ${dir}/x_MODEM_NVM.bin") << int(FlashTypes::CommandType::Modem);
    QTest::newRow("nvm behind a reference") << QByteArray("flash x ${nvm}") << int(FlashTypes::CommandType::Fastboot);
}

void tst_FastbootFlashCommand::type()
{
    QFETCH(QByteArray, args);
    QFETCH(int, type);
    QCOMPARE(int(fastboot(args)->getType()), type);
}

void tst_FastbootFlashCommand::flashWritesTheImageIntoTheSimulatedDevice()
{
    SimulatedDevices sim;
    QVERIFY(sim.isValid());
    QVERIFY(sim.addDevice(QStringLiteral("SIM1"), QStringLiteral("1-4"), QStringLiteral("pos")));
    QVERIFY(FMConst::setTool(QStringLiteral("fastboot"), sim.toolPath(QStringLiteral("fastboot"))));
    const QString image = m_dir.filePath(QStringLiteral("boot image.img"));
    QFile file(image);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(5000, 'b'));
    file.close();

    QCOMPARE(run("flash boot '" + image.toUtf8() + "'", device(QStringLiteral("SIM1"), DeviceState::ProvisioningOs)),
             ExecuteSuccess);
    const QJsonObject partitions = sim.device(QStringLiteral("SIM1")).value(QStringLiteral("partitions")).toObject();
    QCOMPARE(partitions.value(QStringLiteral("boot")).toString(),
             QString::fromLatin1(QCryptographicHash::hash(QByteArray(5000, 'b'), QCryptographicHash::Sha256).toHex()));
}

void tst_FastbootFlashCommand::failedAnswerOfTheSimulatedDeviceFails()
{
    SimulatedDevices sim;
    QVERIFY(sim.isValid());
    QVERIFY(sim.addDevice(QStringLiteral("SIM1"), QStringLiteral("1-4"), QStringLiteral("pos")));
    QVERIFY(sim.setFault(QStringLiteral("SIM1"), QStringLiteral("fail_match"), QStringLiteral("erase")));
    QVERIFY(FMConst::setTool(QStringLiteral("fastboot"), sim.toolPath(QStringLiteral("fastboot"))));

    QCOMPARE(run("erase cache", device(QStringLiteral("SIM1"), DeviceState::ProvisioningOs)), ExecuteFailed);
    QCOMPARE(run("oem unlock", device(QStringLiteral("SIM1"), DeviceState::ProvisioningOs)), ExecuteSuccess);
}

QTEST_GUILESS_MAIN(tst_FastbootFlashCommand)
#include "tst_FastbootFlashCommand.moc"
