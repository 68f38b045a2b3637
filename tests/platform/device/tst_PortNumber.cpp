#include "platform/device/PortNumber.h"

#include <QtTest>

#include <map>

class tst_PortNumber : public QObject
{
    Q_OBJECT

private slots:
    void textAndConnectionType_data();
    void textAndConnectionType();
    void mapsListUsbThenNetworkThenVirtual();
    void virtualPortKeepsItsIdentityWhateverItStandsFor();
};

void tst_PortNumber::textAndConnectionType_data()
{
    QTest::addColumn<PortNumber>("port");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("isVirtual");
    QTest::newRow("usb") << PortNumber::usbPort("1-2.3") << "1-2.3" << 1 << false;
    QTest::newRow("network") << PortNumber::networkPort("127.0.0.1:5555") << "127.0.0.1:5555" << 2 << false;
    QTest::newRow("virtual") << PortNumber::virtualPort(4) << "virtual-4" << 0 << true;
    QTest::newRow("virtual fed by usb") << PortNumber::virtualPort(4, 1) << "virtual-4" << 1 << true;
    QTest::newRow("default") << PortNumber() << "" << 0 << false;
}

void tst_PortNumber::textAndConnectionType()
{
    QFETCH(PortNumber, port);
    QFETCH(QString, text);
    QFETCH(int, type);
    QFETCH(bool, isVirtual);
    QCOMPARE(port.toString(), text);
    QCOMPARE(port.getConnectionType(), type);
    QCOMPARE(port.isVirtualPort(), isVirtual);
}

void tst_PortNumber::mapsListUsbThenNetworkThenVirtual()
{
    std::map<PortNumber, int> ports;
    ports[PortNumber::virtualPort(2)] = 0;
    ports[PortNumber::networkPort("10.0.0.2:5555")] = 0;
    ports[PortNumber::usbPort("2-1")] = 0;
    ports[PortNumber::usbPort("1-10")] = 0;
    ports[PortNumber::virtualPort(1)] = 0;
    ports[PortNumber::usbPort("1-2.3")] = 0;
    ports[PortNumber::usbPort("1-2")] = 0;
    QStringList order;
    for (const auto& entry : ports)
        order << entry.first.toString();
    QCOMPARE(order, QStringList({"1-2", "1-2.3", "1-10", "2-1", "10.0.0.2:5555", "virtual-1",
                                 "virtual-2"}));
}

void tst_PortNumber::virtualPortKeepsItsIdentityWhateverItStandsFor()
{
    QVERIFY(PortNumber::virtualPort(3) == PortNumber::virtualPort(3, PortNumber::UsbConnection));
    QVERIFY(PortNumber::virtualPort(3) != PortNumber::virtualPort(4));
    QVERIFY(PortNumber::usbPort("1-2") != PortNumber::networkPort("1-2"));
    std::map<PortNumber, int> ports;
    ports[PortNumber::virtualPort(3)] = 1;
    ports[PortNumber::virtualPort(3, PortNumber::NetworkConnection)] = 2;
    QCOMPARE(ports.size(), size_t(1));
}

QTEST_APPLESS_MAIN(tst_PortNumber)
#include "tst_PortNumber.moc"
