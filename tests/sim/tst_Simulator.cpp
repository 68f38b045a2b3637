// Keeps the simulator honest: the same commands, run through Debian's real adb and fastboot
// against network devices on loopback and through the fake programs, must print the same.

#include "SimulatedDevices.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QtTest>

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

private:
    ToolOutput run(const QString& program, const QStringList& args) const;
    void startTcpFake(const QString& kind, quint16 port);

    std::unique_ptr<SimulatedDevices> m_devices;
    std::vector<std::unique_ptr<QProcess>> m_fakes;
    QString m_realAdb;
    QString m_realFastboot;
    QString m_image;
    quint16 m_adbServerPort = 0;
    quint16 m_adbPort = 0;
    quint16 m_fastbootPort = 0;
};

void tst_Simulator::initTestCase()
{
    m_realAdb = QStandardPaths::findExecutable(QStringLiteral("adb"));
    m_realFastboot = QStandardPaths::findExecutable(QStringLiteral("fastboot"));
    QVERIFY2(!m_realAdb.isEmpty() && !m_realFastboot.isEmpty(), "Debian's adb and fastboot must be installed");

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
    fake->start(QStringLiteral("python3"), {QStringLiteral(QLN_SIM_DIR "/tcpfake.py"), kind,
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
    QTest::addColumn<QStringList>("args");   // %A: adb device address, %F: fastboot address, %I: image

    QTest::newRow("adb devices -l") << "adb" << QStringList{"devices", "-l"};
    QTest::newRow("adb getprop") << "adb" << QStringList{"-s", "%A", "shell", "getprop", "ro.product.model"};
    QTest::newRow("adb unknown device") << "adb" << QStringList{"-s", "NOSUCH", "get-state"};
    QTest::newRow("fastboot getvar") << "fastboot" << QStringList{"-s", "tcp:%F", "getvar", "boot-mode"};
    QTest::newRow("fastboot getvar unknown") << "fastboot" << QStringList{"-s", "tcp:%F", "getvar", "nope"};
    QTest::newRow("fastboot flash") << "fastboot" << QStringList{"-s", "tcp:%F", "flash", "boot", "%I"};
    QTest::newRow("fastboot reboot") << "fastboot" << QStringList{"-s", "tcp:%F", "reboot"};
}

void tst_Simulator::fakesPrintWhatTheRealToolsPrint()
{
    QFETCH(QString, tool);
    QFETCH(QStringList, args);
    for (QString& arg : args) {
        arg.replace(QStringLiteral("%A"), QStringLiteral("127.0.0.1:%1").arg(m_adbPort));
        arg.replace(QStringLiteral("%F"), QStringLiteral("127.0.0.1:%1").arg(m_fastbootPort));
        arg.replace(QStringLiteral("%I"), m_image);
    }
    const bool isAdb = tool == QLatin1String("adb");
    const ToolOutput real = run(isAdb ? m_realAdb : m_realFastboot, args);
    const ToolOutput fake = run(m_devices->toolPath(tool), args);

    QCOMPARE(fake.out, real.out);
    QCOMPARE(fake.err, real.err);
    QCOMPARE(fake.exitCode, real.exitCode);
}

QTEST_GUILESS_MAIN(tst_Simulator)
#include "tst_Simulator.moc"
