// One set of addressing rules: what the builder gives for a serial is what the adb and fastboot
// kinds and the tool helpers send.

#include "ToolsTestKit.h"

#include "core/DeviceAddress.h"
#include "core/FlashUtils.h"

#include <QtTest>

using namespace ToolsTestKit;

class tst_DeviceAddressing : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void selectors_data();
    void selectors();
    void noConnectionIsNotAddressable();

private:
    // The first two arguments each path sent for `target`: the adb kind, the fastboot kind and the
    // tool helpers.
    QStringList sentByKind(const QString& tool, const QByteArray& args, const SharedPointer<FlashDevice2>& target);
    QStringList sentByHelper(const QString& tool, const SharedPointer<FlashDevice2>& target);

    QTemporaryDir m_dir;
    QString m_record;
    RecordingLogSink m_recorder;
};

void tst_DeviceAddressing::initTestCase()
{
    startCommandTests(m_recorder);
    QVERIFY(m_dir.isValid());
    m_record = m_dir.filePath(QStringLiteral("tool.record"));
    FMConst::FORCE_FASTBOOT_VENDOR_ID = false;
    FMConst::FORCE_FASTBOOT_SPARSING = false;
}

void tst_DeviceAddressing::init()
{
    resetRegistry();
    QVERIFY(FMConst::setTool(QStringLiteral("adb"), recordingStub(m_dir, QStringLiteral("adb"), m_record)));
    QVERIFY(FMConst::setTool(QStringLiteral("fastboot"),
                             recordingStub(m_dir, QStringLiteral("fastboot"), m_record, {}, "OKAY\n")));
}

QStringList tst_DeviceAddressing::sentByKind(const QString& tool, const QByteArray& args,
                                             const SharedPointer<FlashDevice2>& target)
{
    QFile::remove(m_record);
    const QSharedPointer<FlashCommand> kind = command(R"({"tool": ")" + tool.toUtf8()
                                                      + R"(", "timeout": 60000, "retry": 1, "description": "d", "args": ")"
                                                      + args + "\"}");
    if (!kind || kind->execute(makeRunner(target, makeConfiguration(), &m_recorder), target) != ExecuteSuccess)
        return {};
    const QList<QStringList> runs = recordedRuns(m_record);
    return runs.size() == 1 ? runs.first().mid(0, 2) : QStringList();
}

QStringList tst_DeviceAddressing::sentByHelper(const QString& tool, const SharedPointer<FlashDevice2>& target)
{
    QFile::remove(m_record);
    QString output;
    const QStringList getvar {QStringLiteral("getvar"), QStringLiteral("product")};
    const int code = tool == QLatin1String("adb")
        ? FlashUtils::executeAdbCmd(target.data(), getvar, 5000, output)
        : FlashUtils::executeFastbootCmd(target.data(), getvar, 5000, output);
    const QList<QStringList> runs = recordedRuns(m_record);
    return code == 0 && runs.size() == 1 ? runs.first().mid(0, 2) : QStringList();
}

void tst_DeviceAddressing::selectors_data()
{
    QTest::addColumn<QString>("serial");
    QTest::addColumn<bool>("network");
    QTest::addColumn<QStringList>("adb");
    QTest::addColumn<QStringList>("fastboot");

    QTest::newRow("usb") << "S1" << false << QStringList{"-s", "S1"} << QStringList{"-s", "S1"};
    QTest::newRow("usb serial with a colon") << "AB:12" << false << QStringList{"-s", "AB:12"}
                                             << QStringList{"-s", "AB:12"};
    QTest::newRow("bare address") << "10.0.0.7" << true << QStringList{"-s", "10.0.0.7:5555"}
                                  << QStringList{"-s", "tcp:10.0.0.7"};
    QTest::newRow("host:port") << "10.0.0.7:5037" << true << QStringList{"-s", "10.0.0.7:5037"}
                               << QStringList{"-s", "tcp:10.0.0.7:5037"};
    QTest::newRow("host name") << "board.local" << true << QStringList{"-s", "board.local:5555"}
                               << QStringList{"-s", "tcp:board.local"};
    QTest::newRow("IPv6 with port") << "[fe80::1]:5555" << true << QStringList{"-s", "[fe80::1]:5555"}
                                    << QStringList{"-s", "tcp:[fe80::1]:5555"};
    QTest::newRow("IPv6 without port") << "[fe80::1]" << true << QStringList{"-s", "[fe80::1]:5555"}
                                       << QStringList{"-s", "tcp:[fe80::1]"};
    QTest::newRow("tcp: form") << "tcp:10.0.0.9" << true << QStringList{"-s", "tcp:10.0.0.9:5555"}
                               << QStringList{"-s", "tcp:10.0.0.9"};
}

void tst_DeviceAddressing::selectors()
{
    QFETCH(QString, serial);
    QFETCH(bool, network);
    QFETCH(QStringList, adb);
    QFETCH(QStringList, fastboot);

    const DeviceAddress address(serial, network ? PortNumber::NetworkConnection : PortNumber::UsbConnection);
    QVERIFY(address.isAddressable());
    QCOMPARE(address.adbSelector(), adb);
    QCOMPARE(address.fastbootSelector(), fastboot);

    const QString port = network ? serial : QString();
    const SharedPointer<FlashDevice2> inMainOs = device(serial, DeviceState::MainOs, 0, 0, port);
    const SharedPointer<FlashDevice2> inFastboot = device(serial, DeviceState::ProvisioningOs, 0, 0, port);
    QCOMPARE(sentByKind(QStringLiteral("adb"), "shell true", inMainOs), adb);
    QCOMPARE(sentByHelper(QStringLiteral("adb"), inMainOs), adb);
    QCOMPARE(sentByKind(QStringLiteral("fastboot"), "erase cache", inFastboot), fastboot);
    QCOMPARE(sentByHelper(QStringLiteral("fastboot"), inFastboot), fastboot);
}

void tst_DeviceAddressing::noConnectionIsNotAddressable()
{
    const DeviceAddress address(QStringLiteral("V1"), PortNumber::NoConnection);
    QVERIFY(!address.isAddressable());
    QVERIFY(address.fastbootSelector().isEmpty());
}

QTEST_GUILESS_MAIN(tst_DeviceAddressing)
#include "tst_DeviceAddressing.moc"
