#include "app/Cli.h"

#include <QtTest>

// The exit code of a command-line flash by how it ended and the kind of command that ended it.
class tst_Cli : public QObject
{
    Q_OBJECT

private slots:
    void exitCodeOfAFlash_data();
    void exitCodeOfAFlash();
};

void tst_Cli::exitCodeOfAFlash_data()
{
    using Status = FlashTypes::FlashStatus;
    using Type = FlashTypes::CommandType;
    QTest::addColumn<Status>("status");
    QTest::addColumn<Type>("type");
    QTest::addColumn<int>("code");

    QTest::newRow("success, any command") << Status::Success << Type::Dfu << 0;
    QTest::newRow("firmware") << Status::Failure << Type::Ifwi << 32;
    QTest::newRow("fastboot") << Status::Failure << Type::Fastboot << 33;
    QTest::newRow("adb") << Status::Failure << Type::Adb << 33;
    QTest::newRow("program") << Status::Failure << Type::Shell << 33;
    QTest::newRow("modem") << Status::Failure << Type::Modem << 33;
    QTest::newRow("interrupted fastboot") << Status::Interrupted << Type::Fastboot << 33;
    QTest::newRow("device enumeration") << Status::Failure << Type::DeviceEnumeration << 35;
    QTest::newRow("initial device state") << Status::Failure << Type::InitialDeviceState << 34;
    QTest::newRow("DFU") << Status::Failure << Type::Dfu << 30;
    QTest::newRow("wrong device type") << Status::Failure << Type::WrongDeviceType << 30;
    QTest::newRow("internal") << Status::Interrupted << Type::Internal << 30;
}

void tst_Cli::exitCodeOfAFlash()
{
    QFETCH(FlashTypes::FlashStatus, status);
    QFETCH(FlashTypes::CommandType, type);
    QFETCH(int, code);
    QCOMPARE(Cli::exitCodeOf(status, type), code);
}

QTEST_GUILESS_MAIN(tst_Cli)
#include "tst_Cli.moc"
