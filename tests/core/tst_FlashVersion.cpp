// Parsing and comparing dotted version numbers.

#include "core/FlashVersion.h"

#include <QtTest>

class tst_FlashVersion : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void compare_data();
    void compare();
    void compareWithText();
};

void tst_FlashVersion::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("printed");
    QTest::newRow("four parts") << "5.3.2.0" << true << "5.3.2.0";
    QTest::newRow("one part") << "3" << true << "3";
    QTest::newRow("leading zero") << "05.3" << true << "5.3";
    QTest::newRow("largest component") << "65535.1" << true << "65535.1";
    QTest::newRow("component above 16 bits") << "65537" << false << "";
    QTest::newRow("huge component") << "2.4294967296" << false << "";
    QTest::newRow("letter") << "1.a" << false << "";
    QTest::newRow("empty middle part") << "1..2" << false << "";
    QTest::newRow("trailing dot") << "1." << false << "";
    QTest::newRow("leading dot") << ".1" << false << "";
    QTest::newRow("empty") << "" << false << "";
    QTest::newRow("sign") << "+1.2" << false << "";
    QTest::newRow("blank") << "1. 2" << false << "";
}

void tst_FlashVersion::parse()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(QString, printed);

    FlashVersion version;
    QCOMPARE(version.setVersion(text), valid);
    QCOMPARE(version.isValid(), valid);
    QCOMPARE(version.toString(), printed);
    QCOMPARE(QString(FlashVersion(text)), printed);

    // A failed parse also clears what was there before.
    FlashVersion reused(QStringLiteral("1.2"));
    reused.setVersion(text);
    QCOMPARE(reused.toString(), printed);
}

void tst_FlashVersion::compare_data()
{
    QTest::addColumn<QString>("left");
    QTest::addColumn<QString>("right");
    QTest::addColumn<int>("order");
    QTest::newRow("trailing zeros") << "1.2" << "1.2.0.0" << 0;
    QTest::newRow("trailing non-zero") << "1.2" << "1.2.0.1" << -1;
    QTest::newRow("numeric, not text") << "1.10" << "1.9" << 1;
    QTest::newRow("first difference decides") << "2.0.9" << "2.1" << -1;
    QTest::newRow("invalid equals zero") << "" << "0.0" << 0;
    QTest::newRow("invalid below any version") << "" << "0.0.1" << -1;
    QTest::newRow("3 equals 3.0.0") << "3" << "3.0.0" << 0;
}

void tst_FlashVersion::compare()
{
    QFETCH(QString, left);
    QFETCH(QString, right);
    QFETCH(int, order);

    const FlashVersion a(left);
    const FlashVersion b(right);
    QCOMPARE(a < b, order < 0);
    QCOMPARE(a <= b, order <= 0);
    QCOMPARE(a == b, order == 0);
    QCOMPARE(a != b, order != 0);
    QCOMPARE(a >= b, order >= 0);
    QCOMPARE(a > b, order > 0);
    // The same order seen from the other side.
    QCOMPARE(b < a, order > 0);
    QCOMPARE(b > a, order < 0);
}

void tst_FlashVersion::compareWithText()
{
    const FlashVersion v20(QStringLiteral("2.0"));
    QVERIFY(v20 >= QStringLiteral("2.0"));
    QVERIFY(v20 >= QStringLiteral("2"));
    QVERIFY(v20 < QStringLiteral("2.1"));
    QVERIFY(!(v20 < QStringLiteral("2")));
    QVERIFY(FlashVersion(QStringLiteral("3")) == QStringLiteral("3.0.0"));
    QVERIFY(FlashVersion(QStringLiteral("3.0")) >= QStringLiteral("3"));
    // An unparsable text compares as the empty version, i.e. as 0.
    QVERIFY(FlashVersion(QStringLiteral("0.0")) == QStringLiteral("x"));
    QVERIFY(FlashVersion(QStringLiteral("0.1")) > QStringLiteral("x"));
    QVERIFY(FlashVersion(QStringLiteral("1")) != QStringLiteral("65537"));
}

QTEST_GUILESS_MAIN(tst_FlashVersion)
#include "tst_FlashVersion.moc"
