#include "core/ChildProcess.h"
#include "core/QlnErrorCode.h"

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// Runs the built quillonlite program with a fresh home folder and checks what an operator sees:
// the standard output, the standard error and the exit status.
class tst_ProgramEntry : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void version();
    void help_data();
    void help();
    void errorCode_data();
    void errorCode();
    void errorCodeWithoutNumber();
    void singleActionsNeedNoDisplay();
    void desktopWithoutDisplaySaysWhy();
    void commandLineWithoutFlashFile();
    void commandLineOptionErrors_data();
    void commandLineOptionErrors();
    void storedLogLevelAndDashL();
    void applicationLogFile_data();
    void applicationLogFile();

private:
    struct Run
    {
        int exitCode = -1;
        QString output;
        QString errors;
    };

    Run run(const QStringList& arguments, const QProcessEnvironment& environment);
    Run run(const QStringList& arguments) { return run(arguments, m_environment); }
    QString settingsFile() const { return m_home->filePath(QStringLiteral(".flasher/.quillonlite.opt")); }

    std::unique_ptr<QTemporaryDir> m_home;
    QProcessEnvironment m_environment;
};

namespace {

const QString kTime = QStringLiteral("\\d\\d/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d");

QString exitLine(int code)
{
    return kTime + (code == 0 ? QStringLiteral("  INFO   : ") : QStringLiteral("  ERROR  : "))
        + QStringLiteral("Quillon Lite exited with code ") + QString::number(code);
}

QString usageText()
{
    QFile reference(QFINDTESTDATA("data/usage.txt"));
    return reference.open(QIODevice::ReadOnly) ? QString::fromUtf8(reference.readAll()) : QString();
}

} // namespace

void tst_ProgramEntry::init()
{
    m_home = std::make_unique<QTemporaryDir>();
    QVERIFY(m_home->isValid());
    m_environment = QProcessEnvironment::systemEnvironment();
    m_environment.insert(QStringLiteral("HOME"), m_home->path());
}

tst_ProgramEntry::Run tst_ProgramEntry::run(const QStringList& arguments, const QProcessEnvironment& environment)
{
    ChildProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(QUILLONLITE_PROGRAM), arguments);
    Run result;
    if (!process.waitForStarted(30000) || !process.waitForFinished(60000))
        return result;
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.output = QString::fromLocal8Bit(process.readAllStandardOutput());
    result.errors = QString::fromLocal8Bit(process.readAllStandardError());
    return result;
}

void tst_ProgramEntry::version()
{
    const Run result = run({"--version", "--help"});
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.output, QStringLiteral("Zorvik(R) Quillon Lite V 5.3.2.0 x64 (build on Thursday July 30th 2015, 09:15:43 UTC)\n"));
    QCOMPARE(result.errors, QString());
    // A single action neither reads nor writes the settings.
    QVERIFY(!QFile::exists(m_home->filePath(QStringLiteral(".flasher"))));
}

void tst_ProgramEntry::help_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("--help") << QStringList{"--help"};
    QTest::newRow("-h, command line") << QStringList{"--cli", "-h", "-f", "x.json"};
    QTest::newRow("help wins over error code") << QStringList{"--get-error-code", "3", "--help"};
}

void tst_ProgramEntry::help()
{
    QFETCH(QStringList, arguments);
    const Run result = run(arguments);
    QCOMPARE(result.exitCode, 0);
    const QString expected = usageText() + '\n' + QlnErrorCode::getAllErrorCodeStr() + '\n';
    QVERIFY(expected.startsWith(QStringLiteral("Zorvik(R) Quillon Lite V 5.3.2.0 (build on ")));
    QCOMPARE(result.output.split('\n'), expected.split('\n'));
    QCOMPARE(result.output, expected);
    QVERIFY(!QFile::exists(settingsFile()));
}

void tst_ProgramEntry::errorCode_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("text");
    QTest::newRow("known") << "33" << "Flash Error: Android (Fastboot or ADB command) flash failed";
    QTest::newRow("not in the table") << "99" << "Invalid error code";
    QTest::newRow("not a number") << "abc" << "Invalid error code";
}

void tst_ProgramEntry::errorCode()
{
    QFETCH(QString, number);
    QFETCH(QString, text);
    const Run result = run({"--cli", "--get-error-code", number});
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.output, text + '\n');
}

void tst_ProgramEntry::errorCodeWithoutNumber()
{
    const Run result = run({"--cli", "--get-error-code"});
    QCOMPARE(result.exitCode, 12);
    QVERIFY2(QRegularExpression('^' + exitLine(12) + "\n$").match(result.output).hasMatch(), qPrintable(result.output));
    QCOMPARE(result.errors, QString());
    QVERIFY(!QFile::exists(settingsFile()));
}

void tst_ProgramEntry::singleActionsNeedNoDisplay()
{
    QProcessEnvironment environment = m_environment;
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        environment.remove(QLatin1String(name));
    const Run result = run({"--version"}, environment);
    QCOMPARE(result.exitCode, 0);
    QVERIFY(result.output.startsWith(QStringLiteral("Zorvik(R) Quillon Lite V 5.3.2.0")));
}

void tst_ProgramEntry::desktopWithoutDisplaySaysWhy()
{
    QProcessEnvironment environment = m_environment;
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        environment.remove(QLatin1String(name));
    const Run result = run({}, environment);
    QCOMPARE(result.exitCode, 7);
    QVERIFY2(QRegularExpression('^' + kTime + "  ERROR  : No display to open the window on \\(DISPLAY and "
                                "WAYLAND_DISPLAY are not set\\): run it in a desktop session, or use --cli\n$")
                 .match(result.errors).hasMatch(), qPrintable(result.errors));
    QVERIFY2(QRegularExpression('^' + exitLine(7) + "\n$").match(result.output).hasMatch(), qPrintable(result.output));
}

void tst_ProgramEntry::commandLineWithoutFlashFile()
{
    const Run result = run({"--cli"});
    QCOMPARE(result.exitCode, 0);
    QVERIFY2(result.output.contains(usageText()), qPrintable(result.output));
    // The start-up block comes first, then the usage text, the advice and the exit line.
    QVERIFY2(QRegularExpression('^' + kTime + "  INFO   : Zorvik\\(R\\) Quillon Lite V 5.3.2.0 x64 \\(build on")
                 .match(result.output).hasMatch(), qPrintable(result.output));
    const QStringList lines = result.output.split('\n');
    const int usageStart = lines.size() - (usageText().count(QLatin1Char('\n')) + 5); // usage and a blank line, advice, exit line, end
    QVERIFY(usageStart > 0);
    QVERIFY(QRegularExpression('^' + kTime + "  INFO   : Zorvik\\(R\\) Quillon Lite V 5.3.2.0 \\(build on")
                .match(lines.at(usageStart)).hasMatch());
    QVERIFY(QRegularExpression('^' + kTime + "  INFO   : Please specify a .zip, .tgz, .xml or .json file \\(\"-f\" option\\) $")
                .match(lines.at(lines.size() - 4)).hasMatch());
    QCOMPARE(lines.at(lines.size() - 3), QStringLiteral("\t to start flashing"));
    QVERIFY2(QRegularExpression('^' + exitLine(0) + '$').match(lines.at(lines.size() - 2)).hasMatch(),
             qPrintable(lines.at(lines.size() - 2)));
    // The settings were loaded, which writes the defaults of a first start.
    QVERIFY(QFile::exists(settingsFile()));
}

void tst_ProgramEntry::commandLineOptionErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");

    QTest::newRow("invalid option") << QStringList{"--cli", "-f", "image.bin"} << 11 << "Invalid option";
    QTest::newRow("missing argument") << QStringList{"--cli", "-f"} << 12 << "Missing argument for \"-f\"";
    QTest::newRow("missing option") << QStringList{"--cli", "--clean-emmc"} << 13
                                    << "Please specify a soc serial number (using --soc-sn) to use the clean emmc option";
    QTest::newRow("invalid argument") << QStringList{"--timeout", "x", "--cli"} << 18 << "Invalid value for --timeout";
}

void tst_ProgramEntry::commandLineOptionErrors()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, code);
    QFETCH(QString, message);
    const Run result = run(arguments);
    QCOMPARE(result.exitCode, code);
    const QString tail = '^' + kTime + "  ERROR  : " + QRegularExpression::escape(message) + '\n' + exitLine(code) + "\n$";
    QVERIFY2(QRegularExpression(tail, QRegularExpression::MultilineOption).match(result.output).hasMatch(),
             qPrintable(result.output));
}

void tst_ProgramEntry::storedLogLevelAndDashL()
{
    QDir().mkpath(m_home->filePath(QStringLiteral(".flasher")));
    {
        QSettings settings(settingsFile(), QSettings::IniFormat);
        settings.setValue(QStringLiteral("LOGLEVEL"), 0);
    }
    // The stored level hides the parser's ERROR line. A -l that the parser never reaches (it stops
    // at the failing option) still raises the level for this run, without being stored.
    const Run quiet = run({"--cli", "--timeout", "x"});
    QCOMPARE(quiet.exitCode, 18);
    QVERIFY2(QRegularExpression('^' + exitLine(18) + "\n$").match(quiet.output).hasMatch(), qPrintable(quiet.output));

    const Run verbose = run({"--cli", "--timeout", "x", "-l", "3"});
    QCOMPARE(verbose.exitCode, 18);
    QVERIFY2(verbose.output.contains(QStringLiteral("  ERROR  : Invalid value for --timeout\n")), qPrintable(verbose.output));
    QCOMPARE(QSettings(settingsFile(), QSettings::IniFormat).value(QStringLiteral("LOGLEVEL")).toInt(), 0);
}

void tst_ProgramEntry::applicationLogFile_data()
{
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<bool>("written");
    QTest::newRow("on") << true << "${year}/run.log" << true;
    QTest::newRow("on, no file name") << true << "" << false;
    QTest::newRow("off") << false << "${year}/run.log" << false;
}

void tst_ProgramEntry::applicationLogFile()
{
    QFETCH(bool, enabled);
    QFETCH(QString, pattern);
    QFETCH(bool, written);
    const QString folder = m_home->filePath(QStringLiteral("logs/deep"));
    QDir().mkpath(m_home->filePath(QStringLiteral(".flasher")));
    {
        QSettings settings(settingsFile(), QSettings::IniFormat);
        settings.setValue(QStringLiteral("FlashLogAllFile"), enabled);
        settings.setValue(QStringLiteral("FlashLogAllFileName"), pattern);
        settings.setValue(QStringLiteral("FlashLogDirectory"), folder);
    }
    const Run result = run({"--cli", "--timeout", "x"});
    QCOMPARE(result.exitCode, 18);
    QCOMPARE(result.output.contains(QStringLiteral("  INFO   : Starting logger...\n")), enabled);
    // The folders are made as needed; the file gets every line, the parser's error too.
    QFile log(folder + QStringLiteral("/%1/run.log").arg(QDate::currentDate().year()));
    QCOMPARE(log.exists(), written);
    if (written) {
        QVERIFY(log.open(QIODevice::ReadOnly));
        QVERIFY(log.readAll().contains("Invalid value for --timeout"));
    }
}

QTEST_GUILESS_MAIN(tst_ProgramEntry)
#include "tst_ProgramEntry.moc"
