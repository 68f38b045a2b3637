#include "platform/json/JsonObject.h"
#include "platform/json/JsonReader.h"
#include "platform/json/JsonWriter.h"

#include <QtTest>

#include <limits>

class tst_JsonText : public QObject
{
    Q_OBJECT

private slots:
    void parseErrorsAreReported_data();
    void parseErrorsAreReported();
    void numbersKeepTheirKind_data();
    void numbersKeepTheirKind();
    void escapesAreDecoded();
    void duplicateKeysAreListed();
    void memberNamesReadTheSameInEveryObject();
    void nulCharacterSurvivesLoadAndSave();
    void writerHandlesAnyVariant();
};

void tst_JsonText::parseErrorsAreReported_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("where"); // start of the error text

    QTest::newRow("empty") << QByteArray("") << "line 1, column 1";
    QTest::newRow("unterminated object") << QByteArray("{\"a\": 1") << "line 1, column 8";
    QTest::newRow("missing value") << QByteArray("{\n  \"a\": }") << "line 2, column 8";
    QTest::newRow("bare name") << QByteArray("{a: 1}") << "line 1, column 2";
    QTest::newRow("trailing comma") << QByteArray("[1,]") << "line 1, column 4";
    QTest::newRow("text after value") << QByteArray("{} x") << "line 1, column 4";
    QTest::newRow("leading zero") << QByteArray("[01]") << "line 1, column 3";
    QTest::newRow("bad literal") << QByteArray("[tru]") << "line 1, column 2";
    QTest::newRow("bad escape") << QByteArray("[\"\\x\"]") << "line 1, column 4";
    QTest::newRow("lone surrogate") << QByteArray("[\"\\ud800\"]") << "line 1, column 9";
    QTest::newRow("control character") << QByteArray("[\"a\nb\"]") << "line 1, column 4";
    QTest::newRow("unterminated string") << QByteArray("[\"abc") << "line 1, column 6";
    QTest::newRow("number out of range") << QByteArray("[1e999]") << "line 1, column 2";
    QTest::newRow("too deep") << QByteArray(2000, '[') << "line 1, column 513";
    QTest::newRow("invalid UTF-8 byte") << QByteArray("{\n \"é\": \"a\xff\"}") << "line 2, column 9";
    QTest::newRow("truncated UTF-8") << QByteArray("[\"\xe2\x82\"]") << "line 1, column 3";
    QTest::newRow("overlong UTF-8") << QByteArray("[\"\xc0\xaf\"]") << "line 1, column 3";
    QTest::newRow("UTF-8 surrogate") << QByteArray("[\"\xed\xa0\x80\"]") << "line 1, column 3";
}

void tst_JsonText::parseErrorsAreReported()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, where);

    QVariant value = QStringLiteral("before");
    QString error;
    QVERIFY(!JsonReader::parse(text, value, &error));
    QVERIFY2(error.startsWith(where + ": "), qPrintable(error));
    QCOMPARE(value, QVariant(QStringLiteral("before")));
}

void tst_JsonText::numbersKeepTheirKind_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("written"); // how the writer gives it back

    QTest::newRow("zero") << QByteArray("0") << int(QMetaType::LongLong) << "0";
    QTest::newRow("negative") << QByteArray("-17") << int(QMetaType::LongLong) << "-17";
    QTest::newRow("qint64 min") << QByteArray("-9223372036854775808") << int(QMetaType::LongLong)
                                << "-9223372036854775808";
    QTest::newRow("qint64 max") << QByteArray("9223372036854775807") << int(QMetaType::LongLong)
                                << "9223372036854775807";
    QTest::newRow("above qint64") << QByteArray("9223372036854775808") << int(QMetaType::ULongLong)
                                  << "9223372036854775808";
    QTest::newRow("quint64 max") << QByteArray("18446744073709551615") << int(QMetaType::ULongLong)
                                 << "18446744073709551615";
    QTest::newRow("above quint64") << QByteArray("18446744073709551616") << int(QMetaType::Double)
                                   << "18446744073709551616.0";
    QTest::newRow("below qint64") << QByteArray("-9223372036854775809") << int(QMetaType::Double)
                                  << "-9223372036854775808.0";
    QTest::newRow("fraction") << QByteArray("0.1") << int(QMetaType::Double) << "0.1";
    QTest::newRow("integral double") << QByteArray("3.0") << int(QMetaType::Double) << "3.0";
    QTest::newRow("exponent") << QByteArray("-2.5E-3") << int(QMetaType::Double) << "-0.0025";
}

void tst_JsonText::numbersKeepTheirKind()
{
    QFETCH(QByteArray, text);
    QFETCH(int, type);
    QFETCH(QString, written);

    QVariant value;
    QString error;
    QVERIFY2(JsonReader::parse(text, value, &error), qPrintable(error));
    QCOMPARE(value.userType(), type);
    QCOMPARE(QString::fromUtf8(JsonWriter::toJson(value)), written + "\n");
}

void tst_JsonText::escapesAreDecoded()
{
    QVariant value;
    QString error;
    QVERIFY2(JsonReader::parse("\xEF\xBB\xBF [\"\\u00e9\\ud83d\\ude00\\/\\\"\\\\\\b\\f\\n\\r\\t\", \"é\"]",
                               value, &error),
             qPrintable(error));
    const QVariantList expected{QStringLiteral("é😀/\"\\\b\f\n\r\t"), QStringLiteral("é")};
    QCOMPARE(value.toList(), expected);

    // What the writer escapes reads back the same.
    QVariant again;
    QVERIFY(JsonReader::parse(JsonWriter::toJson(value), again, &error));
    QCOMPARE(again, value);
    QVERIFY(JsonWriter::toJson(QStringLiteral("\x01")).contains("\\u0001"));
}

void tst_JsonText::duplicateKeysAreListed()
{
    const QByteArray text = "{\"a\": 1,\n"
                            " \"b\": [{\"x\": 1, \"x\": 2}],\n"
                            "\n"
                            " \"a\": {\"y\": 1,\r\n \"y\": 3}, \"a\": 4}";
    QVariant value;
    QList<JsonReader::DuplicateKey> duplicates;
    QVERIFY(JsonReader::parse(text, value, nullptr, &duplicates));
    QStringList found;
    for (const JsonReader::DuplicateKey& duplicate : duplicates)
        found << duplicate.key + QLatin1Char('@') + QString::number(duplicate.line);
    QCOMPARE(found, (QStringList{"x@2", "a@4", "y@5", "a@5"}));
    // The last one wins, at every level.
    QCOMPARE(value.toMap().value("a"), QVariant(qint64(4)));
    QCOMPARE(value.toMap().value("b").toList().at(0).toMap().value("x"), QVariant(qint64(2)));

    JsonObject object;
    QVERIFY(object.loadMemory(text, nullptr, &duplicates));
    QCOMPARE(duplicates.size(), 4);
}

void tst_JsonText::memberNamesReadTheSameInEveryObject()
{
    // Names repeat from object to object, written plainly, in UTF-8 or with escapes.
    const QByteArray text = "[{\"\xc3\xa9\": 1, \"a\\u0062\": 2, \"ac\": 3},\n"
                            " {\"ab\": 4, \"\xc3\xa9\": 5, \"a\\u0062\": 6, \"\\u00e9\": 7, \"ac\": 8}]";
    QVariant value;
    QList<JsonReader::DuplicateKey> duplicates;
    QString error;
    QVERIFY2(JsonReader::parse(text, value, &error, &duplicates), qPrintable(error));
    const QVariantList objects = value.toList();
    QCOMPARE(objects.size(), 2);
    QCOMPARE(objects.at(0).toMap(), (QVariantMap{{QStringLiteral("é"), qint64(1)},
                                                 {QStringLiteral("ab"), qint64(2)},
                                                 {QStringLiteral("ac"), qint64(3)}}));
    QCOMPARE(objects.at(1).toMap(), (QVariantMap{{QStringLiteral("é"), qint64(7)},
                                                 {QStringLiteral("ab"), qint64(6)},
                                                 {QStringLiteral("ac"), qint64(8)}}));
    QStringList found;
    for (const JsonReader::DuplicateKey& duplicate : duplicates)
        found << duplicate.key + QLatin1Char('@') + QString::number(duplicate.line);
    QCOMPARE(found, (QStringList{"ab@2", "é@2"}));
}

void tst_JsonText::nulCharacterSurvivesLoadAndSave()
{
    const QString expected = QStringLiteral("a") + QChar(0) + QStringLiteral("b");
    JsonObject loaded;
    QString error;
    QVERIFY2(loaded.loadMemory("{\"serial\": \"a\\u0000b\", \"bytes\": 1}", &error), qPrintable(error));
    QString serial;
    QCOMPARE(loaded.getString(QStringLiteral("serial"), serial), JsonObject::Found);
    QCOMPARE(serial, expected);

    const QByteArray saved = loaded.toJson();
    QVERIFY2(saved.contains("a\\u0000b"), saved.constData());
    JsonObject again;
    QVERIFY(again.loadMemory(saved, &error));
    QCOMPARE(again.getString(QStringLiteral("serial"), serial), JsonObject::Found);
    QCOMPARE(serial, expected);

    // Bytes given as a value are UTF-8 text, all of them.
    JsonObject fromBytes;
    QVERIFY(fromBytes.setContent(QVariantMap{{QStringLiteral("serial"), QByteArray("a\0b", 3)}}));
    QCOMPARE(fromBytes.getString(QStringLiteral("serial"), serial), JsonObject::Found);
    QCOMPARE(serial, expected);
}

void tst_JsonText::writerHandlesAnyVariant()
{
    QCOMPARE(JsonWriter::toJson(QVariant()), QByteArray("null\n"));
    QCOMPARE(JsonWriter::toJson(std::numeric_limits<double>::infinity()), QByteArray("null\n"));
    QCOMPARE(JsonWriter::toJson(QVariantHash{{"b", 1}, {"a", 2}}),
             QByteArray("{\n    \"a\": 2,\n    \"b\": 1\n}\n"));
    QCOMPARE(JsonWriter::toJson(QStringList{"x"}), QByteArray("[\n    \"x\"\n]\n"));
    QCOMPARE(JsonWriter::toJson(QByteArray("bytes")), QByteArray("\"bytes\"\n"));

    QVariant deep = QVariantList();
    for (int level = 0; level < 600; ++level)
        deep = QVariantList{deep};
    QByteArray text = "unchanged";
    QString error;
    QVERIFY(!JsonWriter::write(deep, text, &error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(text, QByteArray("unchanged"));
}

QTEST_GUILESS_MAIN(tst_JsonText)
#include "tst_JsonText.moc"
