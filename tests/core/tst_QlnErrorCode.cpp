// The error code table: the listing printed by --help and the text of one code.

#include "core/QlnErrorCode.h"

#include <QtTest>

class tst_QlnErrorCode : public QObject
{
    Q_OBJECT

private slots:
    void listingHasEveryCodeInOrder();
    void singleCode_data();
    void singleCode();
};

void tst_QlnErrorCode::listingHasEveryCodeInOrder()
{
    const QString expected = QStringLiteral(
        "Error codes:\n"
        "\t00 : No Error \n"
        "\t07 : Internal Error \n"
        "\t11 : CLI: Invalid Options \n"
        "\t12 : CLI: Missing Arguments \n"
        "\t13 : CLI: Missing Options \n"
        "\t14 : CLI: Invalid Flash File \n"
        "\t15 : CLI: Cannot get or install the new version \n"
        "\t16 : CLI: Timeout \n"
        "\t17 : CLI: Internal Error, Memory Allocation Failure \n"
        "\t18 : CLI: Invalid Argument \n"
        "\t19 : CLI: Unzip failed \n"
        "\t20 : CLI: Device detection timeout \n"
        "\t30 : Flash Error: Unknown \n"
        "\t31 : Flash Error: Timeout to start IFWI flash \n"
        "\t32 : Flash Error: IFWI flash failed \n"
        "\t33 : Flash Error: Android (Fastboot or ADB command) flash failed \n"
        "\t34 : Flash Error: Invalid device state \n"
        "\t35 : Flash Error: Timeout to enumerate device in POS \n"
        "\t36 : Flash Cancelled \n"
        "\t39 : Flash Error: Failed to flash DFU file \n"
        "\t40 : Flash Error: Flash failed due to a controller \n"
        "\t41 : Flash Error: Invalid device type \n");
    QCOMPARE(QlnErrorCode::getAllErrorCodeStr(), expected);
}

void tst_QlnErrorCode::singleCode_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("expected");
    QTest::newRow("0") << 0 << "No Error";
    QTest::newRow("7") << 7 << "Internal Error";
    QTest::newRow("36") << 36 << "Flash Cancelled";
    QTest::newRow("41") << 41 << "Flash Error: Invalid device type";
    QTest::newRow("37 is written but has no text") << 37 << "Invalid error code";
    QTest::newRow("38") << 38 << "Invalid error code";
    QTest::newRow("1") << 1 << "Invalid error code";
    QTest::newRow("42") << 42 << "Invalid error code";
    // The command line passes -1 for an argument that is not a number.
    QTest::newRow("-1") << -1 << "Invalid error code";
}

void tst_QlnErrorCode::singleCode()
{
    QFETCH(int, code);
    QFETCH(QString, expected);
    QCOMPARE(QlnErrorCode::getErrorCodeStr(code), expected);
}

QTEST_GUILESS_MAIN(tst_QlnErrorCode)
#include "tst_QlnErrorCode.moc"
