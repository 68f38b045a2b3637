#include "core/FlashUtils.h"

#include "core/FMConst.h"
#include "platform/device/Device.h"
#include "platform/device/DummyDevice.h"
#include "platform/device/PortNumber.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString kNotRun = QStringLiteral("<not run>");

DevicePtr makeDevice(DeviceState state, int connectionType, const QString& serial)
{
    DummyDevice data;
    data.setState(state);
    data.setSerial(serial);
    switch (connectionType) {
    case PortNumber::UsbConnection:
        data.setPort(PortNumber::usbPort(QStringLiteral("1-2")));
        break;
    case PortNumber::NetworkConnection:
        data.setPort(PortNumber::networkPort(serial));
        break;
    default:
        data.setPort(PortNumber::virtualPort(1));
        break;
    }
    return DevicePtr(new Device(data, nullptr));
}

} // namespace

class tst_FlashUtils : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void argumentVectors_data();
    void argumentVectors();
    void probeFormsRunQuietly();

private:
    // The tool's recorded argument vector, one argument a line; kNotRun when it did not run.
    QString recordedArguments(const QString& tool) const;

    QTemporaryDir m_dir;
};

void tst_FlashUtils::initTestCase()
{
    QVERIFY(m_dir.isValid());
    for (const QString& tool : {QStringLiteral("fastboot"), QStringLiteral("adb")}) {
        const QString path = m_dir.filePath(tool);
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.args\"\necho ran\n");
        file.close();
        QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }
}

void tst_FlashUtils::init()
{
    FMConst::resetToDefaults();
    QVERIFY(FMConst::setTool(FMConst::FASTBOOT_TOOL_ID, m_dir.filePath(QStringLiteral("fastboot"))));
    QVERIFY(FMConst::setTool(FMConst::ADB_TOOL_ID, m_dir.filePath(QStringLiteral("adb"))));
    QFile::remove(m_dir.filePath(QStringLiteral("fastboot.args")));
    QFile::remove(m_dir.filePath(QStringLiteral("adb.args")));
}

QString tst_FlashUtils::recordedArguments(const QString& tool) const
{
    QFile file(m_dir.filePath(tool + QStringLiteral(".args")));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : kNotRun;
}

void tst_FlashUtils::argumentVectors_data()
{
    QTest::addColumn<QString>("tool");
    QTest::addColumn<bool>("hasDevice");
    QTest::addColumn<DeviceState>("state");
    QTest::addColumn<int>("connection");     // 1 USB, 2 Ethernet, 0 none
    QTest::addColumn<QString>("serial");
    QTest::addColumn<bool>("forceVendorId");
    QTest::addColumn<QString>("expected");   // argv after the program, one a line; or kNotRun

    const QString fb = QStringLiteral("fastboot");
    const QString adb = QStringLiteral("adb");
    using S = DeviceState;
    QTest::newRow("fastboot pos usb") << fb << true << S::ProvisioningOs << 1 << "SER1" << false
                                      << "-s\nSER1\ngetvar\nproduct\n";
    QTest::newRow("fastboot tos usb") << fb << true << S::Tos << 1 << "SER1" << false
                                      << "-s\nSER1\ngetvar\nproduct\n";
    QTest::newRow("fastboot pos usb forced vendor") << fb << true << S::ProvisioningOs << 1 << "SER1" << true
                                                    << "-i\n0x8087\n-s\nSER1\ngetvar\nproduct\n";
    QTest::newRow("fastboot pos network") << fb << true << S::ProvisioningOs << 2 << "192.168.42.1" << false
                                          << "-s\ntcp:192.168.42.1\ngetvar\nproduct\n";
    QTest::newRow("fastboot tos network forced vendor") << fb << true << S::Tos << 2 << "10.0.0.7:5554"
                                                        << true
                                                        << "-i\n0x8087\n-s\ntcp:10.0.0.7:5554\ngetvar\nproduct\n";
    QTest::newRow("fastboot network serial with scheme") << fb << true << S::ProvisioningOs << 2
                                                         << "tcp:10.0.0.7" << false
                                                         << "-s\ntcp:10.0.0.7\ngetvar\nproduct\n";
    QTest::newRow("fastboot no connection type") << fb << true << S::ProvisioningOs << 0 << "SER1" << false
                                                 << "getvar\nproduct\n";
    QTest::newRow("fastboot in mos") << fb << true << S::MainOs << 1 << "SER1" << false << kNotRun;
    QTest::newRow("fastboot in cos") << fb << true << S::Cos << 1 << "SER1" << false << kNotRun;
    QTest::newRow("fastboot in dnx os") << fb << true << S::DnxOs << 1 << "SER1" << false << kNotRun;
    QTest::newRow("fastboot in ros") << fb << true << S::RecoveryOs << 1 << "SER1" << true << kNotRun;
    QTest::newRow("fastboot without device") << fb << false << S::Unknown << 0 << "" << false
                                             << "getvar\nproduct\n";
    QTest::newRow("fastboot without device forced vendor") << fb << false << S::Unknown << 0 << "" << true
                                                           << "-i\n0x8087\ngetvar\nproduct\n";

    QTest::newRow("adb mos usb") << adb << true << S::MainOs << 1 << "SER1" << true
                                 << "-s\nSER1\ngetvar\nproduct\n";
    QTest::newRow("adb cos usb") << adb << true << S::Cos << 1 << "SER1" << false
                                 << "-s\nSER1\ngetvar\nproduct\n";
    QTest::newRow("adb mos network bare") << adb << true << S::MainOs << 2 << "192.168.42.1" << false
                                          << "-s\n192.168.42.1:5555\ngetvar\nproduct\n";
    QTest::newRow("adb mos network 5555") << adb << true << S::MainOs << 2 << "192.168.42.1:5555" << false
                                          << "-s\n192.168.42.1:5555\ngetvar\nproduct\n";
    QTest::newRow("adb mos network other port") << adb << true << S::MainOs << 2 << "192.168.42.1:5037"
                                                << false << "-s\n192.168.42.1:5037\ngetvar\nproduct\n";
    QTest::newRow("adb mos no connection type") << adb << true << S::MainOs << 0 << "SER1" << false
                                                << "-s\nSER1\ngetvar\nproduct\n";
    QTest::newRow("adb in pos") << adb << true << S::ProvisioningOs << 1 << "SER1" << false << kNotRun;
    QTest::newRow("adb in tos") << adb << true << S::Tos << 1 << "SER1" << false << kNotRun;
    QTest::newRow("adb in dnx firmware") << adb << true << S::DnxFirmware << 1 << "SER1" << false << kNotRun;
    QTest::newRow("adb without device") << adb << false << S::Unknown << 0 << "" << false
                                        << "getvar\nproduct\n";
}

void tst_FlashUtils::argumentVectors()
{
    QFETCH(QString, tool);
    QFETCH(bool, hasDevice);
    QFETCH(DeviceState, state);
    QFETCH(int, connection);
    QFETCH(QString, serial);
    QFETCH(bool, forceVendorId);
    QFETCH(QString, expected);

    FMConst::FORCE_FASTBOOT_VENDOR_ID = forceVendorId;
    const DevicePtr device = hasDevice ? makeDevice(state, connection, serial) : DevicePtr();
    const QStringList arguments {QStringLiteral("getvar"), QStringLiteral("product")};
    QString output = QStringLiteral("untouched");
    bool success = false;
    const int code = tool == QLatin1String("fastboot")
        ? FlashUtils::executeFastbootCmd(device.data(), arguments, 5000, false, &success, output)
        : FlashUtils::executeAdbCmd(device.data(), arguments, 5000, false, &success, output);

    QCOMPARE(recordedArguments(tool), expected);
    if (expected == kNotRun) {
        QCOMPARE(code, -1);
        QCOMPARE(output, QStringLiteral("untouched"));
        QCOMPARE(success, false);
    } else {
        QCOMPARE(code, 0);
        QCOMPARE(output, QStringLiteral("ran\n"));
        QCOMPARE(success, true);
    }
}

void tst_FlashUtils::probeFormsRunQuietly()
{
    const DevicePtr fastbootDevice = makeDevice(DeviceState::ProvisioningOs, 1, QStringLiteral("F1"));
    const DevicePtr adbDevice = makeDevice(DeviceState::MainOs, 1, QStringLiteral("A1"));
    QString output;
    QCOMPARE(FlashUtils::executeFastbootCmd(fastbootDevice.data(), {QStringLiteral("devices")}, 5000, output), 0);
    QCOMPARE(recordedArguments(QStringLiteral("fastboot")), QStringLiteral("-s\nF1\ndevices\n"));
    QCOMPARE(output, QStringLiteral("ran\n"));
    QCOMPARE(FlashUtils::executeAdbCmd(adbDevice.data(), {QStringLiteral("devices")}, 5000, output), 0);
    QCOMPARE(recordedArguments(QStringLiteral("adb")), QStringLiteral("-s\nA1\ndevices\n"));
    QCOMPARE(FlashUtils::executeAdbCmd(fastbootDevice.data(), {QStringLiteral("devices")}, 5000, output), -1);
}

QTEST_GUILESS_MAIN(tst_FlashUtils)
#include "tst_FlashUtils.moc"
