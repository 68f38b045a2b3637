#include "platform/json/JsonObject.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdint>
#include <limits>

namespace {

// One member of every kind the getters tell apart.
const char kDocument[] = R"({
    "string": "text",
    "numberText": "12",
    "true": true,
    "falseText": "false",
    "int": -42,
    "int32Overflow": 2147483648,
    "big": 18446744073709551615,
    "real": 1.5,
    "integralReal": 3.0,
    "object": {"a": 1},
    "objects": {"x": {}, "y": {"k": "v"}},
    "list": [{"a": 1}, {"b": 2}],
    "mixedList": [{}, 1],
    "strings": ["a", "b"],
    "mixedStrings": ["a", 1],
    "null": null
})";

const QString kUntouched = QStringLiteral("<untouched>");

// Runs one getter; `value` is its out argument as text, kUntouched when the getter left it.
int runGetter(const JsonObject& json, const QString& getter, const QString& key, QString& value)
{
    value = kUntouched;
    if (getter == "getString") {
        QString out = kUntouched;
        const int rc = json.getString(key, out);
        value = out;
        return rc;
    }
    if (getter == "getBoolean") {
        bool out = false;
        const int rc = json.getBoolean(key, out);
        if (rc == JsonObject::Found)
            value = out ? "true" : "false";
        return rc;
    }
    if (getter == "getInt32") {
        int out = 7777;
        const int rc = json.getInt32(key, out);
        value = out == 7777 ? kUntouched : QString::number(out);
        return rc;
    }
    if (getter == "getUInt64") {
        unsigned long long out = 7777;
        const int rc = json.getUInt64(key, out);
        value = out == 7777 ? kUntouched : QString::number(out);
        return rc;
    }
    if (getter == "getObject") {
        JsonObject out;
        out.setValue("marker", true);
        const int rc = json.getObject(key, out);
        value = out.hasValue("marker") == JsonObject::Found ? kUntouched : out.keys().join(',');
        return rc;
    }
    if (getter == "getObjectMap") {
        JsonObjectMap out;
        out.insert("marker", JsonObject());
        const int rc = json.getObjectMap(key, out);
        value = out.contains("marker") ? kUntouched : QStringList(out.keys()).join(',');
        return rc;
    }
    if (getter == "getObjectList") {
        JsonObjectList out{JsonObject(), JsonObject(), JsonObject()};
        const int rc = json.getObjectList(key, out);
        value = out.size() == 3 ? kUntouched : QString::number(out.size());
        return rc;
    }
    if (getter == "getMap") {
        QVariantMap out{{"marker", true}};
        const int rc = json.getMap(key, out);
        value = out.contains("marker") ? kUntouched : QStringList(out.keys()).join(',');
        return rc;
    }
    if (getter == "getStringList") {
        QStringList out{kUntouched};
        const int rc = json.getStringList(key, out);
        value = out.join(',');
        return rc;
    }
    if (getter == "getValue") {
        QVariant out = kUntouched;
        const int rc = json.getValue(key, out);
        value = out.userType() == QMetaType::Nullptr ? QStringLiteral("null") : out.toString();
        return rc;
    }
    if (getter == "hasValue")
        return json.hasValue(key);
    if (getter == "hasNullValue")
        return json.hasNullValue(key);
    if (getter == "hasObject")
        return json.hasObject(key);
    qFatal("unknown getter %s", qPrintable(getter));
}

enum class Color { Red, Green, Blue };

// "0" is a word too: a value of another kind counts when Qt converts it to a word of the table.
const std::map<QString, Color> kColors{
    {"red", Color::Red}, {"green", Color::Green}, {"blue", Color::Blue}, {"0", Color::Red}};

} // namespace

class tst_JsonObject : public QObject
{
    Q_OBJECT

private slots:
    void getters_data();
    void getters();
    void largeIntegersSurviveSaveAndLoad();
    void getBooleanAcceptsOnlyTrueAndFalse_data();
    void getBooleanAcceptsOnlyTrueAndFalse();
    void getEnum_data();
    void getEnum();
    void getEnumList_data();
    void getEnumList();
    void storedValuesReadBackAfterReload();
    void copiesAreIndependent();
    void failedLoadKeepsContent();
    void saveToFileReportsFailure();
    void objectListFindsAndConverts();
};

void tst_JsonObject::getters_data()
{
    QTest::addColumn<QString>("getter");
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("expected");
    QTest::addColumn<QString>("value"); // out argument afterwards

    const int found = JsonObject::Found;
    auto row = [](const char* getter, const char* key, int expected, const QString& value) {
        QTest::addRow("%s %s", getter, key) << QString(getter) << QString(key) << expected << value;
    };
    auto wrongType = [&row](const char* getter, std::initializer_list<const char*> keys) {
        for (const char* key : keys)
            row(getter, key, JsonObject::WrongType, kUntouched);
    };

    row("getString", "string", found, "text");
    wrongType("getString", {"int", "true"});

    row("getBoolean", "true", found, "true");
    row("getBoolean", "falseText", found, "false");
    wrongType("getBoolean", {"string", "int"});

    row("getInt32", "int", found, "-42");
    row("getInt32", "integralReal", found, "3");
    wrongType("getInt32", {"real", "int32Overflow", "big", "numberText"});

    row("getUInt64", "big", found, "18446744073709551615");
    row("getUInt64", "int32Overflow", found, "2147483648");
    row("getUInt64", "integralReal", found, "3");
    wrongType("getUInt64", {"int", "real", "numberText"});

    row("getObject", "object", found, "a");
    wrongType("getObject", {"list"});

    row("getObjectMap", "objects", found, "x,y");
    wrongType("getObjectMap", {"object" /* a member that is no object */, "list"});

    row("getObjectList", "list", found, "2");
    wrongType("getObjectList", {"mixedList", "strings", "object"});

    row("getMap", "object", found, "a");
    wrongType("getMap", {"list"});

    row("getStringList", "strings", found, "a,b");
    wrongType("getStringList", {"mixedStrings", "string"});

    row("getValue", "big", found, "18446744073709551615");
    row("hasValue", "string", found, kUntouched);
    row("hasObject", "object", found, kUntouched);
    wrongType("hasObject", {"list"});
    wrongType("hasNullValue", {"string"});

    // Null is a value of its own kind: only getValue and the presence tests accept it.
    const char* const typed[] = {"getString", "getBoolean", "getInt32", "getUInt64", "getObject",
                                 "getObjectMap", "getObjectList", "getMap", "getStringList", "hasObject"};
    for (const char* getter : typed)
        row(getter, "null", JsonObject::WrongType, kUntouched);
    row("getValue", "null", found, "null");
    row("hasValue", "null", found, kUntouched);
    row("hasNullValue", "null", found, kUntouched);

    // An absent key: Absent from every getter, the out argument untouched.
    for (const char* getter : typed)
        row(getter, "absent", JsonObject::Absent, kUntouched);
    for (const char* getter : {"getValue", "hasValue", "hasNullValue"})
        row(getter, "absent", JsonObject::Absent, kUntouched);
}

void tst_JsonObject::getters()
{
    QFETCH(QString, getter);
    QFETCH(QString, key);
    QFETCH(int, expected);
    QFETCH(QString, value);

    JsonObject parsed;
    QString error;
    QVERIFY2(parsed.loadMemory(kDocument, &error), qPrintable(error));

    // The same answers after a save and a load.
    QBuffer buffer;
    buffer.open(QIODevice::ReadWrite);
    QVERIFY2(parsed.saveToDevice(buffer, &error), qPrintable(error));
    buffer.seek(0);
    JsonObject reloaded;
    QVERIFY2(reloaded.loadDevice(buffer, &error), qPrintable(error));

    for (const JsonObject* json : {&parsed, &reloaded}) {
        QString out;
        QCOMPARE(runGetter(*json, getter, key, out), expected);
        QCOMPARE(out, value);
    }
}

void tst_JsonObject::largeIntegersSurviveSaveAndLoad()
{
    const unsigned long long max = std::numeric_limits<unsigned long long>::max();
    const uint64_t aboveDoublePrecision = 9007199254740993ULL; // 2^53 + 1: no double holds it
    const long long min = std::numeric_limits<long long>::min();

    JsonObject json;
    json.setValue("max", max);
    json.setValue("uint64", aboveDoublePrecision);
    json.setValue("min", min);
    json.setValue("map", QVariantMap{{"nested", QVariant::fromValue(max)}});

    QTemporaryDir dir;
    const QString path = dir.filePath("numbers.json");
    QString error;
    QVERIFY2(json.saveToFile(path, &error), qPrintable(error));

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    QVERIFY2(text.contains("\"max\": 18446744073709551615"), text.constData());
    QVERIFY2(text.contains("\"uint64\": 9007199254740993"), text.constData());

    JsonObject loaded;
    QVERIFY2(loaded.loadFile(path, &error), qPrintable(error));
    unsigned long long readMax = 0;
    QCOMPARE(loaded.getUInt64("max", readMax), JsonObject::Found);
    QCOMPARE(readMax, max);
    uint64_t readUint64 = 0;
    QCOMPARE(loaded.getUInt64("uint64", readUint64), JsonObject::Found);
    QCOMPARE(readUint64, aboveDoublePrecision);
    QVariant readMin;
    QCOMPARE(loaded.getValue("min", readMin), JsonObject::Found);
    QCOMPARE(readMin.toLongLong(), min);
    JsonObject map;
    QCOMPARE(loaded.getObject("map", map), JsonObject::Found);
    QCOMPARE(map.getUInt64("nested", readMax), JsonObject::Found);
    QCOMPARE(readMax, max);
    QCOMPARE(loaded, json);
}

void tst_JsonObject::getBooleanAcceptsOnlyTrueAndFalse_data()
{
    QTest::addColumn<QByteArray>("value"); // JSON text of the member
    QTest::addColumn<int>("expected");
    QTest::addColumn<bool>("result");

    QTest::newRow("true") << QByteArray("true") << int(JsonObject::Found) << true;
    QTest::newRow("false") << QByteArray("false") << int(JsonObject::Found) << false;
    QTest::newRow("text true") << QByteArray("\"true\"") << int(JsonObject::Found) << true;
    QTest::newRow("text false") << QByteArray("\"false\"") << int(JsonObject::Found) << false;
    QTest::newRow("text True") << QByteArray("\"True\"") << int(JsonObject::WrongType) << false;
    QTest::newRow("text yes") << QByteArray("\"yes\"") << int(JsonObject::WrongType) << false;
    QTest::newRow("text 1") << QByteArray("\"1\"") << int(JsonObject::WrongType) << false;
    QTest::newRow("empty text") << QByteArray("\"\"") << int(JsonObject::WrongType) << false;
    QTest::newRow("number 1") << QByteArray("1") << int(JsonObject::WrongType) << false;
    QTest::newRow("number 0") << QByteArray("0") << int(JsonObject::WrongType) << false;
    QTest::newRow("null") << QByteArray("null") << int(JsonObject::WrongType) << false;
    QTest::newRow("list") << QByteArray("[true]") << int(JsonObject::WrongType) << false;
}

void tst_JsonObject::getBooleanAcceptsOnlyTrueAndFalse()
{
    QFETCH(QByteArray, value);
    QFETCH(int, expected);
    QFETCH(bool, result);

    JsonObject json;
    QString error;
    QVERIFY2(json.loadMemory("{\"flag\": " + value + "}", &error), qPrintable(error));
    // Start from the opposite of the expected result so that a stored value shows.
    bool out = !result;
    QCOMPARE(int(json.getBoolean("flag", out)), expected);
    QCOMPARE(out, expected == JsonObject::Found ? result : !result);
}

void tst_JsonObject::getEnum_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<int>("expected");
    QTest::addColumn<int>("color");

    const int untouched = int(Color::Green);
    QTest::newRow("word") << QByteArray(R"({"c": "blue"})") << int(JsonObject::Found) << int(Color::Blue);
    QTest::newRow("case differs") << QByteArray(R"({"c": "Blue"})") << int(JsonObject::WrongType) << untouched;
    QTest::newRow("unknown word") << QByteArray(R"({"c": "pink"})") << int(JsonObject::WrongType) << untouched;
    QTest::newRow("number") << QByteArray(R"({"c": 2})") << int(JsonObject::WrongType) << untouched;
    QTest::newRow("number of a word") << QByteArray(R"({"c": 0})") << int(JsonObject::Found) << int(Color::Red);
    QTest::newRow("object") << QByteArray(R"({"c": {"red": 1}})") << int(JsonObject::WrongType) << untouched;
    QTest::newRow("list") << QByteArray(R"({"c": ["red"]})") << int(JsonObject::WrongType) << untouched;
    QTest::newRow("null") << QByteArray(R"({"c": null})") << int(JsonObject::WrongType) << untouched;
    QTest::newRow("absent") << QByteArray(R"({"d": "red"})") << int(JsonObject::Absent) << untouched;
}

void tst_JsonObject::getEnum()
{
    QFETCH(QByteArray, document);
    QFETCH(int, expected);
    QFETCH(int, color);

    JsonObject json;
    QVERIFY(json.loadMemory(document));
    Color out = Color::Green;
    QCOMPARE(int(json.getEnum("c", kColors, out)), expected);
    QCOMPARE(int(out), color);
}

void tst_JsonObject::getEnumList_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<int>("expected");
    QTest::addColumn<QList<int>>("colors"); // the list afterwards; it held Green before

    const int g = int(Color::Green), r = int(Color::Red), b = int(Color::Blue);
    QTest::newRow("words appended") << QByteArray(R"({"c": ["red", "blue"]})") << int(JsonObject::Found)
                                    << QList<int>{g, r, b};
    QTest::newRow("number of a word") << QByteArray(R"({"c": ["blue", 0]})") << int(JsonObject::Found)
                                      << QList<int>{g, b, r};
    QTest::newRow("empty list") << QByteArray(R"({"c": []})") << int(JsonObject::Found) << QList<int>{g};
    QTest::newRow("stops at unknown word") << QByteArray(R"({"c": ["red", "pink", "blue"]})")
                                           << int(JsonObject::WrongType) << QList<int>{g, r};
    QTest::newRow("stops at an object") << QByteArray(R"({"c": ["blue", {}]})") << int(JsonObject::WrongType)
                                        << QList<int>{g, b};
    QTest::newRow("not a list") << QByteArray(R"({"c": {"a": "red"}})") << int(JsonObject::WrongType)
                                << QList<int>{g};
    QTest::newRow("a word") << QByteArray(R"({"c": "red"})") << int(JsonObject::WrongType) << QList<int>{g};
    QTest::newRow("null") << QByteArray(R"({"c": null})") << int(JsonObject::WrongType) << QList<int>{g};
    QTest::newRow("absent") << QByteArray(R"({})") << int(JsonObject::Absent) << QList<int>{g};
}

void tst_JsonObject::getEnumList()
{
    QFETCH(QByteArray, document);
    QFETCH(int, expected);
    QFETCH(QList<int>, colors);

    JsonObject json;
    QVERIFY(json.loadMemory(document));
    std::list<Color> out{Color::Green};
    QCOMPARE(int(json.getEnumList("c", kColors, out)), expected);
    QList<int> actual;
    for (Color color : out)
        actual.append(int(color));
    QCOMPARE(actual, colors);
}

void tst_JsonObject::storedValuesReadBackAfterReload()
{
    JsonObject nested;
    nested.setValue("inner", "value");
    JsonObjectMap objects;
    objects.insert("one", nested);

    JsonObject json;
    json.setValue("chars", "text");
    json.setValue("string", QStringLiteral("ünïcode \"quoted\" \\ \n\t\x01 😀"));
    json.setValue("bool", true);
    json.setValue("int", -5);
    json.setValue("uint64", uint64_t(5));
    json.setValue("double", 0.1);
    json.setValue("variantNull", QVariant());
    json.setValue("variantInt", QVariant(7));
    json.setValue("map", QVariantMap{{"hash", QVariantHash{{"b", 2}, {"a", 1}}}});
    json.setValue("list", QVariantList{1, "two", QVariant()});
    json.setValue("strings", QStringList{"a", "b"});
    json.setValue("object", nested);
    json.setValue("objects", objects);
    json.setValue("objectList", JsonObjectList{nested, nested});

    JsonObject reloaded;
    QString error;
    QVERIFY2(reloaded.loadMemory(json.toJson(), &error), qPrintable(error));
    QCOMPARE(reloaded, json);

    QString text;
    QCOMPARE(reloaded.getString("chars", text), JsonObject::Found);
    QCOMPARE(text, QStringLiteral("text"));
    QCOMPARE(reloaded.getString("string", text), JsonObject::Found);
    QCOMPARE(text, QStringLiteral("ünïcode \"quoted\" \\ \n\t\x01 😀"));
    int number = 0;
    QCOMPARE(reloaded.getInt32("int", number), JsonObject::Found);
    QCOMPARE(number, -5);
    QCOMPARE(reloaded.getInt32("variantInt", number), JsonObject::Found);
    QCOMPARE(number, 7);
    QVariant value;
    QCOMPARE(reloaded.getValue("double", value), JsonObject::Found);
    QCOMPARE(value.userType(), int(QMetaType::Double));
    QCOMPARE(value.toDouble(), 0.1);
    QCOMPARE(reloaded.hasNullValue("variantNull"), JsonObject::Found);
    QStringList strings;
    QCOMPARE(reloaded.getStringList("strings", strings), JsonObject::Found);
    QCOMPARE(strings, QStringList({"a", "b"}));
    JsonObjectMap readObjects;
    QCOMPARE(reloaded.getObjectMap("objects", readObjects), JsonObject::Found);
    QCOMPARE(readObjects, objects);
    JsonObjectList readList;
    QCOMPARE(reloaded.getObjectList("objectList", readList), JsonObject::Found);
    QCOMPARE(readList, JsonObjectList({nested, nested}));

    // Members in key order, four blanks a level.
    JsonObject small;
    small.setValue("b", 1);
    small.setValue("a", QVariantList{true, QVariantMap()});
    QCOMPARE(small.toJson(), QByteArray("{\n    \"a\": [\n        true,\n        {}\n    ],\n    \"b\": 1\n}\n"));
}

void tst_JsonObject::copiesAreIndependent()
{
    JsonObject original;
    original.setValue("key", "before");
    JsonObject copy(original);
    copy.setValue("key", "after");
    copy.setValue("added", true);
    QString text;
    QCOMPARE(original.getString("key", text), JsonObject::Found);
    QCOMPARE(text, QStringLiteral("before"));
    QCOMPARE(original.hasValue("added"), JsonObject::Absent);

    copy.clear();
    QVERIFY(copy.isEmpty());
    QVERIFY(!original.isEmpty());
}

void tst_JsonObject::failedLoadKeepsContent()
{
    JsonObject json;
    json.setValue("kept", true);
    QString error;
    QVERIFY(!json.loadMemory("[1, 2]", &error));
    QVERIFY2(error.contains("not an object"), qPrintable(error));
    QVERIFY(!json.loadMemory("{\"a\": }", &error));
    QVERIFY2(error.startsWith("line 1, column 7"), qPrintable(error));
    QVERIFY(!json.loadFile("/nonexistent/file.json", &error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(json.hasValue("kept"), JsonObject::Found);
    QCOMPARE(json.keys(), QStringList{"kept"});

    QVERIFY(!json.setContent(QVariantList{1}));
    QVERIFY(json.setContent(QVariantHash{{"n", 1u}}));
    QVariant value;
    QCOMPARE(json.getValue("n", value), JsonObject::Found);
    QCOMPARE(value.userType(), int(QMetaType::LongLong));
}

void tst_JsonObject::saveToFileReportsFailure()
{
    JsonObject json;
    json.setValue("a", 1);
    QString error;
    QVERIFY(!json.saveToFile("/nonexistent/dir/file.json", &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(!json.saveToFile("/nonexistent/dir/file.json", nullptr));

    QBuffer readOnly;
    readOnly.open(QIODevice::ReadOnly);
    QVERIFY(!json.saveToDevice(readOnly, &error));

    // Content nested deeper than the writer goes is refused, not saved as an empty file.
    QVariant deep = QVariantList();
    for (int level = 0; level < 600; ++level)
        deep = QVariantList{deep};
    JsonObject tooDeep;
    tooDeep.setValue("deep", deep);
    QTemporaryDir dir;
    const QString path = dir.filePath("deep.json");
    error.clear();
    QVERIFY(!tooDeep.saveToFile(path, &error));
    QVERIFY2(error.contains("nested deeper"), qPrintable(error));
    QVERIFY(!QFile::exists(path));
}

void tst_JsonObject::objectListFindsAndConverts()
{
    JsonObjectList fields;
    JsonObject field;
    for (const char* id : {"tool", "args", "timeout"}) {
        field.setValue("id", id);
        field.setValue("value", 1);
        fields.append(field);
        field.clear();
    }
    auto found = fields.findFromField("id", "args");
    QVERIFY(found != fields.end());
    QCOMPARE(found - fields.begin(), 1);
    found->setValue("value", "changed");
    QVERIFY(fields.findFromField("id", "absent") == fields.end());
    QVERIFY(fields.findFromField("value", 1) == fields.begin());

    const QVariant stored = fields.toQVariantList();
    const JsonObjectList rebuilt = JsonObjectList::fromQVariant(stored);
    QCOMPARE(rebuilt, fields);
    QString text;
    QCOMPARE(rebuilt.at(1).getString("value", text), JsonObject::Found);
    QCOMPARE(text, QStringLiteral("changed"));
}

QTEST_GUILESS_MAIN(tst_JsonObject)
#include "tst_JsonObject.moc"
