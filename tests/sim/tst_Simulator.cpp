// Keeps the simulator honest: the same commands, run through Debian's real adb and fastboot
// against network devices on loopback and through the fake programs, must print the same.

#include "SimulatedDevices.h"

#include "platform/device/SysfsUsbReader.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QThread>
#include <QtTest>

#include <sys/stat.h>

#include <atomic>

namespace {

quint16 freePort()
{
    // Never an emulator port (5554-5585) nor adb's default server port.
    for (;;) {
        QTcpServer server;
        if (!server.listen(QHostAddress::LocalHost))
            return 0;
        const quint16 port = server.serverPort();
        if (port > 6000)
            return port;
    }
}

// Which file a path names, and when it last changed: a rewrite (even of the same bytes) or a
// rename over it shows.
struct FileIdentity
{
    quint64 inode = 0;
    qint64 modifiedNs = 0;
    bool operator==(const FileIdentity& other) const
    {
        return inode == other.inode && modifiedNs == other.modifiedNs;
    }
};

FileIdentity identity(const QString& path)
{
    struct stat info;
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    return {quint64(info.st_ino), qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

char* toString(const FileIdentity& file)
{
    return QTest::toString(QStringLiteral("inode %1, modified %2 ns")
                               .arg(QString::number(file.inode), QString::number(file.modifiedNs)));
}

struct ToolOutput
{
    int exitCode = -1;
    QString out;
    QString err;
};

// Run times, transport ids and the path of the program differ by nature, not by format.
QString normalised(QString text, const QString& program)
{
    text.replace(QRegularExpression(QStringLiteral("\\d+\\.\\d{3}s")), QStringLiteral("T.TTTs"));
    text.replace(QRegularExpression(QStringLiteral("transport_id:\\d+")), QStringLiteral("transport_id:N"));
    text.replace(program, QStringLiteral("PROGRAM"));
    return text;
}

} // namespace

class tst_Simulator : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void fakesPrintWhatTheRealToolsPrint_data();
    void fakesPrintWhatTheRealToolsPrint();
    void readOnlyCallsWriteNothing();
    void treeReadsStayWholeDuringFakeCalls();
    void adbWaitForDeviceWaits();
    void fastbootWaitsForAVanishedDevice();
    void dfuDownloadPrintsItsProgress();
    void dfuRecordsEachAlternateSetting();
    void slowCommandsTakeTheirTimeOutsideTheLock();
    void journalLinesCarryTheFakesStartTimes();

private:
    ToolOutput run(const QString& program, const QStringList& args) const;
    void startTcpFake(const QString& kind, quint16 port);

    std::unique_ptr<SimulatedDevices> m_devices;
    std::vector<std::unique_ptr<QProcess>> m_fakes;
    QString m_realAdb;
    QString m_realFastboot;
    QString m_realDfuUtil;
    QString m_image;
    QString m_shortImage;
    quint16 m_adbServerPort = 0;
    quint16 m_adbPort = 0;
    quint16 m_fastbootPort = 0;
};

void tst_Simulator::initTestCase()
{
    m_realAdb = QStandardPaths::findExecutable(QStringLiteral("adb"));
    m_realFastboot = QStandardPaths::findExecutable(QStringLiteral("fastboot"));
    m_realDfuUtil = QStandardPaths::findExecutable(QStringLiteral("dfu-util"));
    QVERIFY2(!m_realAdb.isEmpty() && !m_realFastboot.isEmpty() && !m_realDfuUtil.isEmpty(),
             "Debian's adb, fastboot and dfu-util must be installed");

    m_devices = std::make_unique<SimulatedDevices>();
    QVERIFY(m_devices->isValid());
    m_adbServerPort = freePort();
    m_adbPort = freePort();
    m_fastbootPort = freePort();
    QVERIFY(m_adbServerPort && m_adbPort && m_fastbootPort);

    const QString adbAddress = QStringLiteral("127.0.0.1:%1").arg(m_adbPort);
    const QString fastbootAddress = QStringLiteral("127.0.0.1:%1").arg(m_fastbootPort);
    QVERIFY(m_devices->addDevice(QStringLiteral("NETADB"), QString(), QStringLiteral("mos"),
                                 {QStringLiteral("--network"), adbAddress,
                                  QStringLiteral("--prop"), QStringLiteral("ro.product.model=Net Phone")}));
    QVERIFY(m_devices->addDevice(QStringLiteral("NETFB"), QString(), QStringLiteral("pos"),
                                 {QStringLiteral("--network"), fastbootAddress}));
    startTcpFake(QStringLiteral("adb"), m_adbPort);
    startTcpFake(QStringLiteral("fastboot"), m_fastbootPort);

    QFile image(m_devices->folder() + QStringLiteral("/boot.img"));
    QVERIFY(image.open(QIODevice::WriteOnly));
    image.write(QByteArray(3000, 'x'));
    m_image = image.fileName();
    QFile shortImage(m_devices->folder() + QStringLiteral("/short.bin"));
    QVERIFY(shortImage.open(QIODevice::WriteOnly));
    shortImage.write("tiny");
    m_shortImage = shortImage.fileName();

    const ToolOutput connected = run(m_realAdb, {QStringLiteral("connect"), adbAddress});
    QVERIFY2(connected.out.contains(QStringLiteral("connected to")), qPrintable(connected.out + connected.err));
}

void tst_Simulator::cleanupTestCase()
{
    if (!m_realAdb.isEmpty() && m_adbServerPort)
        run(m_realAdb, {QStringLiteral("kill-server")});
    for (auto& fake : m_fakes) {
        fake->kill();
        fake->waitForFinished();
    }
}

void tst_Simulator::startTcpFake(const QString& kind, quint16 port)
{
    auto fake = std::make_unique<QProcess>();
    fake->start(QStringLiteral(QLN_PYTHON3), {QStringLiteral(QLN_SIM_DIR "/tcpfake.py"), kind,
                                            QString::number(port)});
    QVERIFY(fake->waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(fake->canReadLine() || fake->waitForReadyRead(100), 10000);
    QCOMPARE(fake->readLine().trimmed(), QByteArray("ready"));
    m_fakes.push_back(std::move(fake));
}

ToolOutput tst_Simulator::run(const QString& program, const QStringList& args) const
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("ANDROID_ADB_SERVER_PORT"), QString::number(m_adbServerPort));
    process.setProcessEnvironment(environment);
    process.start(program, args);
    ToolOutput output;
    if (!process.waitForFinished(20000)) {
        process.kill();
        process.waitForFinished();
        return output;
    }
    output.exitCode = process.exitCode();
    output.out = normalised(QString::fromUtf8(process.readAllStandardOutput()), program);
    output.err = normalised(QString::fromUtf8(process.readAllStandardError()), program);
    return output;
}

void tst_Simulator::fakesPrintWhatTheRealToolsPrint_data()
{
    QTest::addColumn<QString>("tool");
    QTest::addColumn<QStringList>("args");   // %A: adb device address, %F: fastboot address, %I: image, %S: a short one

    QTest::newRow("adb devices -l") << "adb" << QStringList{"devices", "-l"};
    QTest::newRow("adb getprop") << "adb" << QStringList{"-s", "%A", "shell", "getprop", "ro.product.model"};
    QTest::newRow("adb unknown device") << "adb" << QStringList{"-s", "NOSUCH", "get-state"};
    QTest::newRow("fastboot getvar") << "fastboot" << QStringList{"-s", "tcp:%F", "getvar", "boot-mode"};
    QTest::newRow("fastboot getvar unknown") << "fastboot" << QStringList{"-s", "tcp:%F", "getvar", "nope"};
    QTest::newRow("fastboot flash") << "fastboot" << QStringList{"-s", "tcp:%F", "flash", "boot", "%I"};
    QTest::newRow("fastboot reboot") << "fastboot" << QStringList{"-s", "tcp:%F", "reboot"};
    // No DFU device here (the simulator has none, the machine has no USB), so the real dfu-util
    // can run: its banner, its warnings, its errors and exit codes.
    QTest::newRow("dfu-util version") << "dfu-util" << QStringList{"-V"};
    QTest::newRow("dfu-util list") << "dfu-util" << QStringList{"-d", "0483:df11", "-l"};
    QTest::newRow("dfu-util no device") << "dfu-util" << QStringList{"-d", "0483:df11", "-a", "0", "-D", "%I", "-R"};
    QTest::newRow("dfu-util short image") << "dfu-util" << QStringList{"--device", "0483:df11", "--download", "%S"};
    QTest::newRow("dfu-util missing image") << "dfu-util" << QStringList{"-d", "0483:df11", "-D", "/nonexistent/fw.bin"};
}

void tst_Simulator::fakesPrintWhatTheRealToolsPrint()
{
    QFETCH(QString, tool);
    QFETCH(QStringList, args);
    for (QString& arg : args) {
        arg.replace(QStringLiteral("%A"), QStringLiteral("127.0.0.1:%1").arg(m_adbPort));
        arg.replace(QStringLiteral("%F"), QStringLiteral("127.0.0.1:%1").arg(m_fastbootPort));
        arg.replace(QStringLiteral("%I"), m_image);
        arg.replace(QStringLiteral("%S"), m_shortImage);
    }
    const QString realTool = tool == QLatin1String("adb") ? m_realAdb
                             : tool == QLatin1String("fastboot") ? m_realFastboot : m_realDfuUtil;
    const ToolOutput real = run(realTool, args);
    const ToolOutput fake = run(m_devices->toolPath(tool), args);

    QCOMPARE(fake.out, real.out);
    QCOMPARE(fake.err, real.err);
    QCOMPARE(fake.exitCode, real.exitCode);
}

void tst_Simulator::readOnlyCallsWriteNothing()
{
    SimulatedDevices sim;
    QVERIFY(sim.isValid());
    QVERIFY(sim.addDevice(QStringLiteral("R1"), QStringLiteral("1-2"), QStringLiteral("mos")));
    QVERIFY(sim.addDevice(QStringLiteral("R2"), QStringLiteral("1-3"), QStringLiteral("pos")));
    const FileIdentity state = identity(sim.statePath());
    const FileIdentity tree = identity(sim.sysfsRoot());
    const FileIdentity device = identity(sim.sysfsRoot() + QStringLiteral("/1-2"));
    QVERIFY(state.inode != 0 && tree.inode != 0 && device.inode != 0);

    for (const QStringList& call : {QStringList{"adb", "devices"}, QStringList{"adb", "devices", "-l"},
                                    QStringList{"fastboot", "devices"},
                                    QStringList{"fastboot", "-s", "R2", "getvar", "boot-mode"},
                                    QStringList{"dfu-util", "-l"}}) {
        QProcess process;
        process.start(sim.toolPath(call.first()), call.mid(1));
        QVERIFY(process.waitForFinished(20000));
        QCOMPARE(process.exitCode(), 0);
    }
    QCOMPARE(identity(sim.statePath()), state);
    QCOMPARE(identity(sim.sysfsRoot()), tree);
    QCOMPARE(identity(sim.sysfsRoot() + QStringLiteral("/1-2")), device);
    QCOMPARE(sim.commandLog().size(), 5);   // the journal beside the state still has them
}

void tst_Simulator::treeReadsStayWholeDuringFakeCalls()
{
    SimulatedDevices sim;
    QVERIFY(sim.isValid());
    QVERIFY(sim.addDevice(QStringLiteral("STILL1"), QStringLiteral("1-2"), QStringLiteral("mos")));
    QVERIFY(sim.addDevice(QStringLiteral("MOVER"), QStringLiteral("1-3"), QStringLiteral("mos")));
    QVERIFY(sim.addDevice(QStringLiteral("STILL2"), QStringLiteral("1-4"), QStringLiteral("pos")));

    // What a scanner reads while the fakes run: the two devices that never move are always there,
    // whole; the one that reboots is absent or whole in one of its two identities.
    std::atomic<bool> stop{false};
    std::atomic<int> reads{0};
    QStringList wrong;
    QThread* reader = QThread::create([&] {
        while (!stop) {
            QStringList seen;
            for (const UsbDeviceInfo& device : SysfsUsbReader::read(sim.sysfsRoot())) {
                const int protocol = device.interfaces.isEmpty() ? -1 : device.interfaces.first().protocol;
                seen << QStringLiteral("%1=%2:%3/%4").arg(device.port, device.serial,
                                                         QString::number(device.productId, 16),
                                                         QString::number(protocol));
            }
            const QString still = QStringLiteral("1-2=STILL1:4ee7/1,1-4=STILL2:4ee0/3");
            const QString all = seen.join(QLatin1Char(','));
            if (all != still && all != QStringLiteral("1-2=STILL1:4ee7/1,1-3=MOVER:4ee7/1,1-4=STILL2:4ee0/3")
                && all != QStringLiteral("1-2=STILL1:4ee7/1,1-3=MOVER:4ee0/3,1-4=STILL2:4ee0/3"))
                wrong << all;
            ++reads;
        }
    });
    reader->start();
    const QList<QStringList> calls = {
        {"adb", "devices"}, {"fastboot", "-s", "STILL2", "getvar", "boot-mode"},
        {"adb", "-s", "MOVER", "reboot", "bootloader"}, {"adb", "-s", "STILL1", "shell", "getprop", "ro.bootmode"},
        {"fastboot", "devices"}, {"fastboot", "-s", "MOVER", "reboot"},
    };
    for (int round = 0; round < 4; ++round) {
        for (const QStringList& call : calls) {
            QProcess process;
            process.start(sim.toolPath(call.first()), call.mid(1));
            QVERIFY(process.waitForFinished(20000));
            QCOMPARE(process.exitCode(), 0);
        }
    }
    stop = true;
    reader->wait();
    delete reader;
    QVERIFY(reads > 0);
    QVERIFY2(wrong.isEmpty(), qPrintable(QStringLiteral("%1 of %2 reads saw: %3")
                                             .arg(QString::number(wrong.size()), QString::number(reads.load()),
                                                  wrong.mid(0, 3).join(QStringLiteral(" | ")))));
}

void tst_Simulator::adbWaitForDeviceWaits()
{
    SimulatedDevices sim;
    QVERIFY(sim.isValid());
    QProcess any;
    any.start(sim.toolPath(QStringLiteral("adb")), {QStringLiteral("wait-for-device")});
    QVERIFY(any.waitForStarted());
    QVERIFY(!any.waitForFinished(1000));   // no device: it waits
    QVERIFY(sim.addDevice(QStringLiteral("W1"), QStringLiteral("1-2"), QStringLiteral("ros")));
    QVERIFY(!any.waitForFinished(1000));   // in recovery is not "device"
    QVERIFY(sim.setState(QStringLiteral("W1"), QStringLiteral("mos")));
    QVERIFY(any.waitForFinished(20000));
    QCOMPARE(any.exitCode(), 0);

    QVERIFY(sim.setState(QStringLiteral("W1"), QStringLiteral("ros")));
    QProcess one;
    one.start(sim.toolPath(QStringLiteral("adb")), {QStringLiteral("-s"), QStringLiteral("W1"), QStringLiteral("wait-for-device")});
    QVERIFY(one.waitForStarted());
    QVERIFY(!one.waitForFinished(1000));
    one.kill();                             // until it is killed
    QVERIFY(one.waitForFinished(20000));

    QProcess recovery;
    recovery.start(sim.toolPath(QStringLiteral("adb")), {QStringLiteral("-s"), QStringLiteral("W1"), QStringLiteral("wait-for-recovery")});
    QVERIFY(recovery.waitForFinished(20000));
    QCOMPARE(recovery.exitCode(), 0);
}

void tst_Simulator::fastbootWaitsForAVanishedDevice()
{
    SimulatedDevices sim;
    QVERIFY(sim.isValid());
    QVERIFY(sim.addDevice(QStringLiteral("GONE1"), QStringLiteral("1-2"), QStringLiteral("pos")));
    QVERIFY(sim.setFault(QStringLiteral("GONE1"), QStringLiteral("vanish_match"), QStringLiteral("flash")));
    const QStringList args{QStringLiteral("-s"), QStringLiteral("GONE1"), QStringLiteral("flash"),
                           QStringLiteral("boot"), m_image};

    // The real fastboot, which finds no such device here, and the fake whose device vanishes at
    // the command: both wait, saying so once, until the device is back or they are killed.
    QProcess real;
    real.start(m_realFastboot, args);
    QProcess fake;
    fake.start(sim.toolPath(QStringLiteral("fastboot")), args);
    QVERIFY(real.waitForStarted() && fake.waitForStarted());
    const qint64 fakePid = fake.processId();
    QVERIFY(!real.waitForFinished(1500));
    QVERIFY(!fake.waitForFinished(100));
    real.kill();
    QVERIFY(real.waitForFinished(20000));
    const QByteArray waiting = real.readAllStandardError();
    QCOMPARE(waiting, QByteArray("< waiting for GONE1 >\n"));
    QCOMPARE(fake.readAllStandardError(), waiting);
    QCOMPARE(sim.device(QStringLiteral("GONE1")).value(QStringLiteral("connected")).toBool(), false);
    QVERIFY(!QFileInfo::exists(sim.sysfsRoot() + QStringLiteral("/1-2")));
    QCOMPARE(sim.runningTools().size(), 1);
    QVERIFY(sim.runningTools().first().startsWith(QString::number(fakePid) + QStringLiteral(": ")));

    // Plugged again, the device takes the command it was sent.
    QVERIFY(sim.plug(QStringLiteral("GONE1")));
    QVERIFY(fake.waitForFinished(20000));
    QCOMPARE(fake.exitCode(), 0);
    QVERIFY(fake.readAllStandardError().contains("Writing 'boot'"));
    QVERIFY(sim.device(QStringLiteral("GONE1")).value(QStringLiteral("partitions")).toObject().contains(QStringLiteral("boot")));
    QCOMPARE(sim.toolPids(), QList<qint64>{fakePid});
    QVERIFY(sim.runningTools().isEmpty());
}

void tst_Simulator::dfuDownloadPrintsItsProgress()
{
    SimulatedDevices sim;
    QVERIFY(sim.isValid());
    QVERIFY(sim.addDevice(QStringLiteral("D1"), QStringLiteral("1-5"), QStringLiteral("dfu")));
    QProcess process;
    process.start(sim.toolPath(QStringLiteral("dfu-util")),
                  {QStringLiteral("-d"), QStringLiteral("0483:df11"), QStringLiteral("-a"), QStringLiteral("0"),
                   QStringLiteral("-D"), m_image, QStringLiteral("-R")});
    QVERIFY(process.waitForFinished(20000));
    QCOMPARE(process.exitCode(), 0);
    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    // dfu-util 0.11 redraws one bar with carriage returns and ends it with a line feed.
    QVERIFY2(out.contains(QStringLiteral("Copying data from PC to DFU device\n\rDownload\t[                         ]   0%            0 bytes")),
             qPrintable(out));
    QVERIFY2(out.contains(QStringLiteral("\rDownload\t[=========================] 100%         3000 bytes\nDownload done.\n")),
             qPrintable(out));
    QVERIFY(out.endsWith(QStringLiteral("Done!\nResetting USB to switch back to Run-Time mode\n")));
    QCOMPARE(QString::fromUtf8(process.readAllStandardError()),
             QStringLiteral("dfu-util: Warning: Invalid DFU suffix signature\n"
                            "dfu-util: A valid DFU suffix will be required in a future dfu-util release\n"));
    QCOMPARE(sim.device(QStringLiteral("D1")).value(QStringLiteral("state")).toString(), QStringLiteral("mos"));
}

// A run of several alternate settings leaves each image where it went; "dfu" keeps the last one.
void tst_Simulator::dfuRecordsEachAlternateSetting()
{
    SimulatedDevices sim;
    QVERIFY(sim.isValid());
    QVERIFY(sim.addDevice(QStringLiteral("D1"), QStringLiteral("1-5"), QStringLiteral("dfu")));
    const auto download = [&sim](const QStringList& args) {
        QProcess process;
        process.start(sim.toolPath(QStringLiteral("dfu-util")), args);
        return process.waitForFinished(20000) && process.exitStatus() == QProcess::NormalExit
               && process.exitCode() == 0;
    };
    QVERIFY(download({QStringLiteral("--alt"), QStringLiteral("u-boot0"), QStringLiteral("-D"), m_image,
                      QStringLiteral("-t"), QStringLiteral("4096")}));
    QVERIFY(download({QStringLiteral("-D"), m_shortImage}));
    QVERIFY(download({QStringLiteral("-a"), QStringLiteral("1"), QStringLiteral("-D"), m_shortImage}));

    const QJsonObject partitions = sim.device(QStringLiteral("D1")).value(QStringLiteral("partitions")).toObject();
    const auto sha256 = [](const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly)
                   ? QString::fromLatin1(QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex())
                   : QString();
    };
    QCOMPARE(partitions.value(QStringLiteral("dfu:u-boot0")).toString(), sha256(m_image));
    QCOMPARE(partitions.value(QStringLiteral("dfu:0")).toString(), sha256(m_shortImage));
    QCOMPARE(partitions.value(QStringLiteral("dfu:1")).toString(), sha256(m_shortImage));
    QCOMPARE(partitions.value(QStringLiteral("dfu")).toString(), sha256(m_shortImage));
    QCOMPARE(sim.device(QStringLiteral("D1")).value(QStringLiteral("state")).toString(), QStringLiteral("dfu"));
}

void tst_Simulator::slowCommandsTakeTheirTimeOutsideTheLock()
{
    SimulatedDevices sim;
    QVERIFY(sim.isValid());
    QVERIFY(sim.addDevice(QStringLiteral("SLOW"), QStringLiteral("1-2"), QStringLiteral("pos")));
    QVERIFY(sim.addDevice(QStringLiteral("QUICK"), QStringLiteral("1-3"), QStringLiteral("pos")));
    QVERIFY(sim.setFault(QStringLiteral("SLOW"), QStringLiteral("delay_match"), QStringLiteral("flash")));
    QVERIFY(sim.setFault(QStringLiteral("SLOW"), QStringLiteral("delay_ms"), QStringLiteral("120000")));
    QVERIFY(sim.setToolFault(QStringLiteral("delay_match"), QStringLiteral("getvar")));
    QVERIFY(sim.setToolFault(QStringLiteral("delay_ms"), QStringLiteral("1500")));

    // The slow flash is done (the device holds the image) and still takes its time ...
    QProcess slow;
    slow.start(sim.toolPath(QStringLiteral("fastboot")),
               {QStringLiteral("-s"), QStringLiteral("SLOW"), QStringLiteral("flash"), QStringLiteral("boot"), m_image});
    QVERIFY(slow.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(sim.device(QStringLiteral("SLOW")).value(QStringLiteral("partitions")).toObject()
                                 .contains(QStringLiteral("boot")), 60000);
    // ... while another device's command, itself slowed tool-wide, runs meanwhile and takes its own.
    QElapsedTimer clock;
    clock.start();
    QProcess quick;
    quick.start(sim.toolPath(QStringLiteral("fastboot")),
                {QStringLiteral("-s"), QStringLiteral("QUICK"), QStringLiteral("getvar"), QStringLiteral("boot-mode")});
    QVERIFY(quick.waitForFinished(60000));
    QCOMPARE(quick.exitCode(), 0);
    QVERIFY2(clock.elapsed() >= 1500, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(!slow.waitForFinished(100));   // a delay inside the lock would have ended before either
    slow.kill();
    QVERIFY(slow.waitForFinished(20000));
}

void tst_Simulator::journalLinesCarryTheFakesStartTimes()
{
    SimulatedDevices sim;
    QVERIFY(sim.isValid());
    QVERIFY(sim.addDevice(QStringLiteral("T1"), QStringLiteral("1-2"), QStringLiteral("pos")));
    const double before = double(QDateTime::currentMSecsSinceEpoch()) / 1000;
    for (const QStringList& call : {QStringList{"fastboot", "devices"}, QStringList{"fastboot", "-s", "T1", "getvar", "boot-mode"}}) {
        QProcess process;
        process.start(sim.toolPath(call.first()), call.mid(1));
        QVERIFY(process.waitForFinished(20000));
    }
    const double after = double(QDateTime::currentMSecsSinceEpoch()) / 1000;

    QString timed;
    QVERIFY2(sim.control({QStringLiteral("log"), QStringLiteral("--times")}, &timed), qPrintable(timed));
    const QStringList lines = timed.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    QStringList commands;
    double previous = before;
    for (const QString& line : lines) {
        bool isTime = false;
        const double started = line.section(QLatin1Char(' '), 0, 0).toDouble(&isTime);
        QVERIFY2(isTime && started >= previous - 0.01 && started <= after + 0.01, qPrintable(line));
        previous = started;
        commands << line.section(QLatin1Char(' '), 1);
    }
    QCOMPARE(sim.commandLog(), commands);   // the plain journal: the same lines without their times
    QCOMPARE(commands, QStringList({"fastboot devices", "fastboot -s T1 getvar boot-mode"}));
}

QTEST_GUILESS_MAIN(tst_Simulator)
#include "tst_Simulator.moc"
