#include "app/StartupArguments.h"

#include <QtTest>

#include <vector>

Q_DECLARE_METATYPE(StartupArguments::SingleAction)

namespace {

// argv for `arguments`, the program name first; valid while `texts` lives.
std::vector<char*> argumentVector(const QStringList& arguments, std::vector<QByteArray>& texts)
{
    texts = {QByteArray("quillonlite")};
    for (const QString& argument : arguments)
        texts.push_back(argument.toLocal8Bit());
    std::vector<char*> vector;
    for (QByteArray& text : texts)
        vector.push_back(text.data());
    vector.push_back(nullptr);
    return vector;
}

} // namespace

class tst_StartupArguments : public QObject
{
    Q_OBJECT

private slots:
    void cliFace_data();
    void cliFace();
    void singleAction_data();
    void singleAction();
    void errorCodeArgument();
    void logLevels_data();
    void logLevels();
    void deviceManagerLogLevel_data();
    void deviceManagerLogLevel();
};

void tst_StartupArguments::cliFace_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("cli");

    QTest::newRow("first") << QStringList{"--cli", "-f", "a.xml"} << true;
    QTest::newRow("last") << QStringList{"-f", "a.xml", "--cli"} << true;
    QTest::newRow("absent") << QStringList{"-f", "a.xml"} << false;
    QTest::newRow("with a value") << QStringList{"--cli=1"} << false;
    QTest::newRow("other case") << QStringList{"--CLI"} << false;
}

void tst_StartupArguments::cliFace()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, cli);
    std::vector<QByteArray> texts;
    std::vector<char*> argv = argumentVector(arguments, texts);
    QCOMPARE(StartupArguments::isCliRequested(int(texts.size()), argv.data()), cli);

    // The program name itself never counts.
    char program[] = "--cli";
    char* alone[] = {program, nullptr};
    QVERIFY(!StartupArguments::isCliRequested(1, alone));
}

void tst_StartupArguments::singleAction_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<StartupArguments::SingleAction>("action");

    using Action = StartupArguments::SingleAction;
    QTest::newRow("none") << QStringList{"--cli", "-f", "a.xml"} << Action::None;
    QTest::newRow("version wins over help") << QStringList{"--help", "--version"} << Action::Version;
    QTest::newRow("help wins over error code") << QStringList{"--get-error-code", "3", "-h"} << Action::Help;
    QTest::newRow("error code") << QStringList{"--cli", "--get-error-code", "3"} << Action::ErrorCode;
    QTest::newRow("exact words only") << QStringList{"--version=1", "-help"} << Action::None;
}

void tst_StartupArguments::singleAction()
{
    QFETCH(QStringList, arguments);
    QFETCH(StartupArguments::SingleAction, action);
    QCOMPARE(StartupArguments::singleAction(QStringList{"quillonlite"} + arguments), action);
}

void tst_StartupArguments::errorCodeArgument()
{
    QString value;
    QVERIFY(StartupArguments::errorCodeArgument({"q", "--get-error-code", "33", "--get-error-code", "7"}, value));
    QCOMPARE(value, QStringLiteral("33"));
    QVERIFY(!StartupArguments::errorCodeArgument({"q", "--get-error-code"}, value));
}

void tst_StartupArguments::logLevels_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QList<int>>("levels");

    QTest::newRow("none") << QStringList{"--log-level", "4"} << QList<int>();
    QTest::newRow("attached") << QStringList{"-l4"} << QList<int>{4};
    QTest::newRow("next") << QStringList{"-l", "4"} << QList<int>{4};
    QTest::newRow("next, leading digits") << QStringList{"-l", "4x"} << QList<int>{4};
    QTest::newRow("attached, no digit") << QStringList{"-lx"} << QList<int>{3};
    QTest::newRow("last argument") << QStringList{"-f", "a.xml", "-l"} << QList<int>{3};
    QTest::newRow("next is an option") << QStringList{"-l", "-f"} << QList<int>{3};
    QTest::newRow("above the range") << QStringList{"-l", "9"} << QList<int>{9};
    QTest::newRow("any -l word") << QStringList{"-lfoo"} << QList<int>{3};
    QTest::newRow("every match, in order") << QStringList{"-l", "1", "-c", "x", "-l2"} << QList<int>{1, 2};
    QTest::newRow("huge") << QStringList{"-l99999999999999999999"} << QList<int>{INT_MAX};
}

void tst_StartupArguments::logLevels()
{
    QFETCH(QStringList, arguments);
    QFETCH(QList<int>, levels);
    std::vector<QByteArray> texts;
    std::vector<char*> argv = argumentVector(arguments, texts);
    QCOMPARE(StartupArguments::logLevels(int(texts.size()), argv.data()), levels);
}

void tst_StartupArguments::deviceManagerLogLevel_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("level");

    QTest::newRow("absent") << QStringList{"--cli"} << 3;
    QTest::newRow("next") << QStringList{"--device-mgr-log-level", "4", "--cli"} << 4;
    QTest::newRow("zero") << QStringList{"--device-mgr-log-level", "0"} << 0;
    QTest::newRow("above the range") << QStringList{"--device-mgr-log-level", "7"} << 5;
    QTest::newRow("not a number") << QStringList{"--device-mgr-log-level", "abc"} << 5;
    QTest::newRow("last argument") << QStringList{"--device-mgr-log-level"} << 5;
    QTest::newRow("attached value is not read") << QStringList{"--device-mgr-log-level=1"} << 3;
}

void tst_StartupArguments::deviceManagerLogLevel()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, level);
    QCOMPARE(StartupArguments::deviceManagerLogLevel(QStringList{"quillonlite"} + arguments), level);
}

QTEST_GUILESS_MAIN(tst_StartupArguments)
#include "tst_StartupArguments.moc"
