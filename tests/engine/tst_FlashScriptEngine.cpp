#include "core/ThreadPool.h"
#include "engine/FlashRunner.h"
#include "engine/FlashScriptEngine.h"
#include "FunctionTask.h"
#include "RecordingLogSink.h"

#include <QDateTime>
#include <QRegExp>
#include <QScriptValue>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#include <sanitizer/lsan_interface.h>
#define QLN_LSAN_DISABLER __lsan::ScopedDisabler
#endif
#endif

namespace {

// While one lives, LeakSanitizer skips what its thread allocates. For scripts that make
// JavaScriptCore leak a few bytes on a stack that ends in JIT code, which no suppression can name.
#ifdef QLN_LSAN_DISABLER
using JavaScriptCoreLeakPass = QLN_LSAN_DISABLER;
#else
struct JavaScriptCoreLeakPass
{
};
#endif

} // namespace

class tst_FlashScriptEngine : public QObject
{
    Q_OBJECT

private slots:
    void rewritesReferences_data();
    void rewritesReferences();
    void rewrittenNameReachesGetParameterUnchanged();

    void globalsDoNotSurviveAnEvaluation();
    void extraValuesAreReadOnlyAndGoAway();
    void apiCannotBeChangedByAScript();
    void uncaughtErrorsReportTheirLine_data();
    void uncaughtErrorsReportTheirLine();

    void scriptValueToVariant_data();
    void scriptValueToVariant();
    void conversionRefusesWhatItCannotHold_data();
    void conversionRefusesWhatItCannotHold();
    void variantToScriptValue();

    void cancelAbortsARunningScript_data();
    void cancelAbortsARunningScript();
    void cancelAbortsAScriptOnAnyThread_data();
    void cancelAbortsAScriptOnAnyThread();
    void cancelAbortsTheTextOfAThrownObject();

private:
    static QStringList keyTexts(const std::set<FlashCommand::CommandParameter>& keys);
    QVariant evaluate(const QString& script);

    FlashRunner m_runner;
};

QStringList tst_FlashScriptEngine::keyTexts(const std::set<FlashCommand::CommandParameter>& keys)
{
    QStringList texts;
    for (const FlashCommand::CommandParameter& key : keys)
        texts << key.name + QLatin1Char('|') + (key.option.isNull() ? QStringLiteral("<null>") : key.option);
    return texts;
}

QVariant tst_FlashScriptEngine::evaluate(const QString& script)
{
    QScriptValue result;
    int line = 0;
    if (!m_runner.executeScript(script, result, line))
        qWarning("script failed on line %d: %s", line, qPrintable(result.toString()));
    return FlashScriptEngine::ScriptValueToVariant(result);
}

void tst_FlashScriptEngine::rewritesReferences_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QStringList>("keys");

    QTest::newRow("plain") << QStringLiteral("${flashDir} + '/boot.img'")
                           << QStringLiteral("($.getParameter(\"flashDir\")) + '/boot.img'")
                           << QStringList{QStringLiteral("flashDir|<null>")};
    QTest::newRow("indirect")
        << QStringLiteral("${image,variant}")
        << QStringLiteral("($.getParameter(\"image\", $.getParameter(\"variant\")))")
        << QStringList{QStringLiteral("image|variant")};
    QTest::newRow("twice, one key") << QStringLiteral("${a} == ${a}")
                                    << QStringLiteral("($.getParameter(\"a\")) == ($.getParameter(\"a\"))")
                                    << QStringList{QStringLiteral("a|<null>")};
    QTest::newRow("side by side") << QStringLiteral("${a}${b}")
                                  << QStringLiteral("($.getParameter(\"a\"))($.getParameter(\"b\"))")
                                  << QStringList{QStringLiteral("a|<null>"), QStringLiteral("b|<null>")};
    QTest::newRow("empty name") << QStringLiteral("${}") << QStringLiteral("${}") << QStringList();
    QTest::newRow("empty option") << QStringLiteral("${a,}") << QStringLiteral("${a,}") << QStringList();
    QTest::newRow("two commas") << QStringLiteral("${a,b,c}") << QStringLiteral("${a,b,c}")
                                << QStringList();
    QTest::newRow("option without a name") << QStringLiteral("${,a}") << QStringLiteral("${,a}")
                                           << QStringList();
    QTest::newRow("unclosed") << QStringLiteral("${a ${b") << QStringLiteral("${a ${b") << QStringList();
    QTest::newRow("unclosed option") << QStringLiteral("${a,b") << QStringLiteral("${a,b") << QStringList();
    QTest::newRow("after one that fails")
        << QStringLiteral("${a,b,${c}") << QStringLiteral("${a,b,($.getParameter(\"c\"))")
        << QStringList{QStringLiteral("c|<null>")};
    QTest::newRow("line feed in a name") << QStringLiteral("${a\nb}")
                                         << QStringLiteral("($.getParameter(\"a\\nb\"))")
                                         << QStringList{QStringLiteral("a\nb|<null>")};
    QTest::newRow("nested") << QStringLiteral("${a${b}}")
                            << QStringLiteral("($.getParameter(\"a${b\"))}")
                            << QStringList{QStringLiteral("a${b|<null>")};
    QTest::newRow("blanks belong to the name") << QStringLiteral("${ a }")
                                               << QStringLiteral("($.getParameter(\" a \"))")
                                               << QStringList{QStringLiteral(" a |<null>")};
    QTest::newRow("quote and backslash")
        << QStringLiteral("${a\"b\\c,d\\\"}")
        << QStringLiteral("($.getParameter(\"a\\\"b\\\\c\", $.getParameter(\"d\\\\\\\"\")))")
        << QStringList{QStringLiteral("a\"b\\c|d\\\"")};
    QTest::newRow("replacement is not searched again")
        << QStringLiteral("${${x}}")
        << QStringLiteral("($.getParameter(\"${x\"))}")
        << QStringList{QStringLiteral("${x|<null>")};
}

void tst_FlashScriptEngine::rewritesReferences()
{
    QFETCH(QString, script);
    QFETCH(QString, expected);
    QFETCH(QStringList, keys);

    std::set<FlashCommand::CommandParameter> found;
    QCOMPARE(FlashScriptEngine::escapeFlashParameters(script, found), expected);
    QCOMPARE(keyTexts(found), keys);
    QCOMPARE(FlashScriptEngine::escapeFlashParameters(script), expected);
}

void tst_FlashScriptEngine::rewrittenNameReachesGetParameterUnchanged()
{
    // The API refuses unknown names with a message that quotes the name as it arrived.
    const QString name = QStringLiteral("we\"ird\\na\nme");
    const QString script = FlashScriptEngine::escapeFlashParameters(QStringLiteral("${%1}").arg(name));
    QScriptValue result;
    int line = 0;
    QVERIFY(!m_runner.executeScript(script, result, line));
    QCOMPARE(result.toString(),
             QStringLiteral("ReferenceError: Parameter %1 is not defined or does not have value "
                            "associated to the current configuration").arg(name));
}

void tst_FlashScriptEngine::globalsDoNotSurviveAnEvaluation()
{
    QCOMPARE(evaluate(QStringLiteral("leaked = 5; var declared = 6; leaked + declared")), QVariant(11.0));
    QCOMPARE(evaluate(QStringLiteral("typeof leaked + ',' + typeof declared")),
             QVariant(QStringLiteral("undefined,undefined")));
    QCOMPARE(evaluate(QStringLiteral("Math.PI = 4; Math.answer = 42; Math.answer")), QVariant(42.0));
    QCOMPARE(evaluate(QStringLiteral("typeof Math.answer")), QVariant(QStringLiteral("undefined")));
}

void tst_FlashScriptEngine::extraValuesAreReadOnlyAndGoAway()
{
    FlashScriptEngine::ScriptValues values{{QStringLiteral("$code"), QScriptValue(0)},
                                           {QStringLiteral("$output"), QScriptValue(QStringLiteral("OKAY"))}};
    QScriptValue result;
    int line = -7;
    QVERIFY(m_runner.executeScript(QStringLiteral("$code == 0 && $output == 'OKAY'"), result, line, values));
    QVERIFY(result.toBool());
    QCOMPARE(line, -7); // untouched on success

    QVERIFY(m_runner.executeScript(QStringLiteral("$code = 1; delete $code; $code"), result, line, values));
    QCOMPARE(result.toInt32(), 0);

    QVERIFY(m_runner.executeScript(QStringLiteral("typeof $code"), result, line));
    QCOMPARE(result.toString(), QStringLiteral("undefined"));
}

void tst_FlashScriptEngine::apiCannotBeChangedByAScript()
{
    QCOMPARE(evaluate(QStringLiteral("$.getParameter = 1; $.Info.value = 7; delete $; typeof $.getParameter")),
             QVariant(QStringLiteral("function")));
    QCOMPARE(evaluate(QStringLiteral("typeof $ + ',' + $.Info.value + ',' + $.Warn.name")),
             QVariant(QStringLiteral("object,3,Warning")));
}

void tst_FlashScriptEngine::uncaughtErrorsReportTheirLine_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("error");
    QTest::addColumn<bool>("leaksInsideTheEngine");   // building a deeply nested array does

    QTest::newRow("reference error on line 3")
        << QStringLiteral("var a = 1;\nvar b = 2;\nmissingFunction();") << 3
        << QStringLiteral("ReferenceError: Can't find variable: missingFunction") << false;
    QTest::newRow("syntax error") << QStringLiteral("var a = ;") << 1 << QStringLiteral("SyntaxError") << false;
    QTest::newRow("thrown by the script")
        << QStringLiteral("\n\nthrow new TypeError('bad');") << 3 << QStringLiteral("TypeError: bad") << false;
    QTest::newRow("raised by the API")
        << QStringLiteral("\n$.log($.Info)") << 2 << QStringLiteral("SyntaxError: Invalid parameter count") << false;
    QTest::newRow("thrown text, no error object")
        << QStringLiteral("var a = 1;\n\nthrow 'plain text';") << 3 << QStringLiteral("plain text") << false;
    QTest::newRow("thrown object with its own text")
        << QStringLiteral("var a = 1;\nthrow {toString: function () { return 'mine'; }};") << 2
        << QStringLiteral("mine") << false;
    // The engine's own text of such values dies or runs for hours: they get a fixed text.
    QTest::newRow("thrown sparse array")
        << QStringLiteral("var a = [];\na[4294967294] = 1;\nthrow a;") << 3
        << QStringLiteral("[array of more than 1048576 elements]") << false;
    QTest::newRow("thrown array longer than its elements")
        << QStringLiteral("var a = [1];\na.length = 2000000;\nthrow [a];") << 3
        << QStringLiteral("[array of more than 1048576 elements]") << false;
    QTest::newRow("thrown error with a huge message")
        << QStringLiteral("var e = new Error('x');\ne.message = [];\ne.message[4294967294] = 1;\nthrow e;") << 4
        << QStringLiteral("[object of more than 1048576 elements]") << false;
    QTest::newRow("thrown deep array")
        << QStringLiteral("var a = [];\nfor (var i = 0; i < 100000; ++i) a = [a];\nthrow a;") << 3
        << QStringLiteral("[array nested deeper than 512 levels]") << true;
    QTest::newRow("thrown array")
        << QStringLiteral("var a = 1;\nthrow [1, 'two', [3, null]];") << 2 << QStringLiteral("1,two,3,") << false;
}

void tst_FlashScriptEngine::uncaughtErrorsReportTheirLine()
{
    QFETCH(QString, script);
    QFETCH(int, line);
    QFETCH(QString, error);
    QFETCH(bool, leaksInsideTheEngine);

    QScriptValue result;
    int errorLine = 0;
    {
        std::optional<JavaScriptCoreLeakPass> pass;
        if (leaksInsideTheEngine)
            pass.emplace();
        QVERIFY(!m_runner.executeScript(script, result, errorLine));
    }
    QCOMPARE(errorLine, line);
    QVERIFY2(result.toString().startsWith(error), qPrintable(result.toString()));
    // The failure leaves nothing behind for the next evaluation.
    QCOMPARE(evaluate(QStringLiteral("1 + 1")), QVariant(2.0));
}

void tst_FlashScriptEngine::scriptValueToVariant_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("array of a number and a string")
        << QStringLiteral("[1, 'a']") << QVariant(QVariantList{1.0, QStringLiteral("a")});
    QTest::newRow("array with a hole")
        << QStringLiteral("var a = []; a[2] = true; a.extra = 1; a")
        << QVariant(QVariantList{QVariant(), QVariant(), true});
    QTest::newRow("one array held twice")
        << QStringLiteral("var x = [1]; ({a: x, b: x})")
        << QVariant(QVariantMap{{QStringLiteral("a"), QVariantList{1.0}}, {QStringLiteral("b"), QVariantList{1.0}}});
    QTest::newRow("getter is left out, not run")
        << QStringLiteral("({a: 1, get b() { while (true) {} }})")
        << QVariant(QVariantMap{{QStringLiteral("a"), 1.0}});
    QTest::newRow("nested array") << QStringLiteral("[[1], []]")
                                  << QVariant(QVariantList{QVariantList{1.0}, QVariantList()});
    QTest::newRow("empty array") << QStringLiteral("[]") << QVariant(QVariantList());
    QTest::newRow("object ordered by name")
        << QStringLiteral("({b: 'x', a: [2]})")
        << QVariant(QVariantMap{{QStringLiteral("a"), QVariantList{2.0}}, {QStringLiteral("b"), QStringLiteral("x")}});
    QTest::newRow("empty object") << QStringLiteral("({})") << QVariant(QVariantMap());
    QTest::newRow("function") << QStringLiteral("(function () {})") << QVariant();
    QTest::newRow("undefined") << QStringLiteral("undefined") << QVariant();
    QTest::newRow("null") << QStringLiteral("null") << QVariant(QVariant::String);
    QTest::newRow("integer number") << QStringLiteral("3") << QVariant(3.0);
    QTest::newRow("boolean") << QStringLiteral("1 == 1") << QVariant(true);
    QTest::newRow("string") << QStringLiteral("'text'") << QVariant(QStringLiteral("text"));
    QTest::newRow("date") << QStringLiteral("new Date(Date.UTC(2020, 0, 2))")
                          << QVariant(QDateTime(QDate(2020, 1, 2), QTime(0, 0), Qt::UTC));
}

void tst_FlashScriptEngine::scriptValueToVariant()
{
    QFETCH(QString, script);
    QFETCH(QVariant, expected);

    const QVariant actual = evaluate(script);
    QCOMPARE(actual.type(), expected.type());
    QCOMPARE(actual.isNull(), expected.isNull());
    if (actual.type() == QVariant::DateTime)
        QCOMPARE(actual.toDateTime().toMSecsSinceEpoch(), expected.toDateTime().toMSecsSinceEpoch());
    else
        QCOMPARE(actual, expected);
}

void tst_FlashScriptEngine::conversionRefusesWhatItCannotHold_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("error");

    QTest::newRow("object holding itself")
        << QStringLiteral("var o = {}; o.self = o; o") << QStringLiteral("the value refers to itself");
    QTest::newRow("cycle through an array")
        << QStringLiteral("var a = [1]; a.push({back: a}); a") << QStringLiteral("the value refers to itself");
    QTest::newRow("far sparse element")
        << QStringLiteral("var a = [1]; a[4000000000] = 2; a")
        << QStringLiteral("the value holds more than 1048576 elements");
    // Each array alone is small enough: the budget is the conversion's, not the array's.
    QTest::newRow("eight sparse arrays")
        << QStringLiteral("var l = []; for (var i = 0; i < 8; ++i) { var a = []; a[600000] = i; l.push(a); } l")
        << QStringLiteral("the value holds more than 1048576 elements");
    QTest::newRow("nested too deep")
        << QStringLiteral("var o = {}; for (var i = 0; i < 100000; ++i) o = {n: o}; o")
        << QStringLiteral("the value is nested deeper than 512 levels");
}

void tst_FlashScriptEngine::conversionRefusesWhatItCannotHold()
{
    QFETCH(QString, script);
    QFETCH(QString, error);

    QScriptValue result;
    int line = 0;
    {
        // Building a deeply nested object leaks inside JavaScriptCore.
        [[maybe_unused]] const JavaScriptCoreLeakPass pass;
        QVERIFY(m_runner.executeScript(script, result, line));
    }
    QString reason;
    QVERIFY(!FlashScriptEngine::ScriptValueToVariant(result, reason).isValid());
    QCOMPARE(reason, error);
    QVERIFY(!FlashScriptEngine::ScriptValueToVariant(result).isValid());
}

void tst_FlashScriptEngine::variantToScriptValue()
{
    FlashScriptEngine& engine = m_runner.getScriptEngine();
    const QVariantMap mapOfLists{{QStringLiteral("list"), QVariantList{1, QStringLiteral("two")}},
                                 {QStringLiteral("names"), QStringList{QStringLiteral("x")}}};
    FlashScriptEngine::ScriptValues values{
        {QStringLiteral("$map"), engine.VariantToScriptValue(mapOfLists)},
        {QStringLiteral("$null"), engine.VariantToScriptValue(QVariant(QVariant::String))},
        {QStringLiteral("$none"), engine.VariantToScriptValue(QVariant())},
        {QStringLiteral("$bytes"), engine.VariantToScriptValue(QByteArray("ab"))},
        {QStringLiteral("$big"), engine.VariantToScriptValue(Q_UINT64_C(4294967296))},
        {QStringLiteral("$regexp"), engine.VariantToScriptValue(QRegExp(QStringLiteral("^a+$")))},
    };
    QScriptValue result;
    int line = 0;
    QVERIFY(m_runner.executeScript(
        QStringLiteral("[Array.isArray($map.list), $map.list.length, $map.list[1], $map.names[0],"
                       " $null === null, $none === undefined, $big, $regexp.test('aaa')].join()"),
        result, line, values));
    QCOMPARE(result.toString(), QStringLiteral("true,2,two,x,true,true,4294967296,true"));
    QVERIFY(values[QStringLiteral("$bytes")].isVariant());

    // Null and undefined survive the way back.
    QVERIFY(FlashScriptEngine::ScriptValueToVariant(values[QStringLiteral("$null")]).isNull());
    QVERIFY(!FlashScriptEngine::ScriptValueToVariant(values[QStringLiteral("$none")]).isValid());
}

void tst_FlashScriptEngine::cancelAbortsARunningScript_data()
{
    QTest::addColumn<QString>("loop");
    QTest::newRow("while") << QStringLiteral("while (true) {}");
    QTest::newRow("for") << QStringLiteral("for (;;);");
    QTest::newRow("do while") << QStringLiteral("do {} while (1);");
    QTest::newRow("recursion in a loop")
        << QStringLiteral("function f(n) { return n > 0 ? f(n - 1) : 0; }\nwhile (true) { f(3); }");
}

void tst_FlashScriptEngine::cancelAbortsARunningScript()
{
    QFETCH(QString, loop);

    RecordingLogSink sink;
    auto runner = std::make_unique<FlashRunner>();
    sink.bind(*runner);

    bool success = true;
    QScriptValue result;
    int line = 0;
    std::unique_ptr<QThread> thread(QThread::create([&] {
        // An abort that unwinds through a script function leaks inside JavaScriptCore.
        [[maybe_unused]] const JavaScriptCoreLeakPass pass;
        success = runner->executeScript(QStringLiteral("$.log($.Info, 'looping');\n") + loop, result, line);
    }));
    thread->start();
    QTRY_VERIFY(sink.texts(Logger::INFO).contains(QStringLiteral("looping")));
    runner->cancel();
    QVERIFY2(thread->wait(5000), "the script kept running after the cancel");
    QVERIFY(!success);
    QVERIFY(line >= 2);
    QCOMPARE(result.toString(), QStringLiteral("Error: Script evaluation cancelled"));

    // A cancelled run evaluates nothing more.
    QVERIFY(!runner->executeScript(QStringLiteral("1"), result, line));
}

void tst_FlashScriptEngine::cancelAbortsAScriptOnAnyThread_data()
{
    QTest::addColumn<QString>("thread");
    QTest::newRow("flash pool thread") << QStringLiteral("pool");
    QTest::newRow("thread Qt did not start") << QStringLiteral("std");
}

void tst_FlashScriptEngine::cancelAbortsAScriptOnAnyThread()
{
    QFETCH(QString, thread);

    RecordingLogSink sink;
    const auto runner = std::make_shared<FlashRunner>();
    sink.bind(*runner);
    const auto success = std::make_shared<std::atomic<int>>(-1);
    const auto work = [runner, success] {
        QScriptValue result;
        int line = 0;
        *success = runner->executeScript(QStringLiteral("$.log($.Info, 'looping');\nwhile (true) {}"),
                                         result, line);
    };
    ThreadPool pool;
    if (thread == QLatin1String("pool"))
        QVERIFY(pool.start(new FunctionTask(work)));
    else
        std::thread(work).detach();   // a hang shows as a failed check, not a hung suite
    QTRY_VERIFY(sink.texts(Logger::INFO).contains(QStringLiteral("looping")));
    runner->cancel();
    QTRY_VERIFY2_WITH_TIMEOUT(*success >= 0, "the script kept running after the cancel", 5000);
    QCOMPARE(success->load(), 0);
}

void tst_FlashScriptEngine::cancelAbortsTheTextOfAThrownObject()
{
    // The caller prints the thrown value: its text must be made while the cancel still counts.
    RecordingLogSink sink;
    const auto runner = std::make_shared<FlashRunner>();
    sink.bind(*runner);
    const auto text = std::make_shared<QString>();
    const auto ended = std::make_shared<std::atomic<bool>>(false);
    std::thread([runner, text, ended] {
        QScriptValue result;
        int line = 0;
        runner->executeScript(
            QStringLiteral("throw {toString: function () { $.log($.Info, 'looping'); while (true) {} }};"),
            result, line);
        *text = result.toString();
        *ended = true;
    }).detach();   // a hang shows as a failed check, not a hung suite
    QTRY_VERIFY(sink.texts(Logger::INFO).contains(QStringLiteral("looping")));
    runner->cancel();
    QTRY_VERIFY2_WITH_TIMEOUT(ended->load(), "the thrown object's text kept running after the cancel", 5000);
    QCOMPARE(*text, QStringLiteral("Error: Script evaluation cancelled"));
}

QTEST_GUILESS_MAIN(tst_FlashScriptEngine)
#include "tst_FlashScriptEngine.moc"
