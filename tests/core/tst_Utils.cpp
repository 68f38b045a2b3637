#include "core/ChildProcess.h"
#include "core/Utils.h"

#include "RecordedLog.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>

#include <sys/stat.h>
#include <unistd.h>

namespace {

QString writeScript(const QTemporaryDir& dir, const QString& name, const QByteArray& body)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    file.write("#!/bin/sh\n" + body + '\n');
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

// A zombie waiting for a parent that never reaps it counts as gone.
bool isAlive(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = stat.readAll();
    const int end = text.lastIndexOf(')');
    return end > 0 && text.mid(end + 2, 1) != "Z";
}

QString readOsReleasePrettyName()
{
    QFile file(QStringLiteral("/etc/os-release"));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.startsWith("PRETTY_NAME=")) {
            QByteArray value = line.mid(12).trimmed();
            if (value.startsWith('"') && value.endsWith('"'))
                value = value.mid(1, value.size() - 2);
            return QString::fromUtf8(value);
        }
    }
    return QString();
}

} // namespace

class tst_Utils : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void executeCmdOutcome_data();
    void executeCmdOutcome();
    void executeCmdKillsWhatTimedOut();
    void executeCmdLeavesCallersProcessToTheCaller();

    void splitArguments_data();
    void splitArguments();

    void osNameIsThePrettyNameAndArchitecture();
    void digestsOfAFile();
    void privateTempFolder_data();
    void privateTempFolder();
    void copyToTempFolderStaysPrivate();
    void isoDates_data();
    void isoDates();
    void runtimeVersion();
    void scramblingIsReversible();
    void magicKeys_data();
    void magicKeys();
    void passwordPromptEndsAtEndOfInput();

private:
    QTemporaryDir m_dir;
    QTemporaryDir m_tempRoot;
};

void tst_Utils::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(m_tempRoot.isValid());
    // Temporary copies go below our own folder, not the machine's /tmp.
    qputenv("TMPDIR", QFile::encodeName(m_tempRoot.path()));
    QCoreApplication::instance()->setProperty("APP_ARCH", QStringLiteral("x64"));
}

void tst_Utils::executeCmdOutcome_data()
{
    QTest::addColumn<QByteArray>("body");       // shell body of the program; empty: no program at all
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("timeoutMs");
    QTest::addColumn<bool>("verbose");
    QTest::addColumn<int>("expectedCode");
    QTest::addColumn<QString>("expectedOutput");
    QTest::addColumn<bool>("expectedSuccess");
    QTest::addColumn<QStringList>("expectedLog"); // "%1" stands for the display text

    const QStringList twoArgs {QStringLiteral("a"), QStringLiteral("b c")};
    QTest::newRow("output") << QByteArray("printf 'hello\\n'") << twoArgs << 5000 << true << 0
                            << QStringLiteral("hello\n") << true
                            << QStringList {QStringLiteral("INFO|Executing %1"),
                                            QStringLiteral("TRACE|%1 return:\nhello")};
    QTest::newRow("stderr merged") << QByteArray("echo out; echo err >&2; exit 0") << QStringList()
                                   << 5000 << false << 0 << QStringLiteral("out\nerr\n") << true
                                   << QStringList();
    QTest::newRow("cut at NUL") << QByteArray("printf 'abc\\000def'") << QStringList() << 5000 << false
                                << 0 << QStringLiteral("abc") << true << QStringList();
    QTest::newRow("silent failure") << QByteArray("exit 3") << twoArgs << 5000 << true << 3 << QString()
                                    << false
                                    << QStringList {QStringLiteral("INFO|Executing %1"),
                                                    QStringLiteral("INFO|%1 OK")};
    QTest::newRow("crash") << QByteArray("echo partial; kill -SEGV $$") << QStringList() << 5000 << false
                           << -1 << QString() << false
                           << QStringList {QStringLiteral("TRACE|Process exited abnormally %1")};
    QTest::newRow("time-out") << QByteArray("exec sleep 30") << QStringList() << 300 << false << -1
                              << QString() << false
                              << QStringList {QStringLiteral("TRACE|Process TIMEOUT (300ms) wait to execute %1")};
    QTest::newRow("reads no input") << QByteArray("cat") << QStringList() << 5000 << false << 0
                                    << QString() << true << QStringList();
    QTest::newRow("missing program") << QByteArray() << twoArgs << 5000 << true << -1 << QString() << false
                                     << QStringList {QStringLiteral("INFO|Executing %1"),
                                                     QStringLiteral("WARNING|Process could not be started (execvp: No such file or directory) %1")};
}

void tst_Utils::executeCmdOutcome()
{
    QFETCH(QByteArray, body);
    QFETCH(QStringList, arguments);
    QFETCH(int, timeoutMs);
    QFETCH(bool, verbose);
    QFETCH(int, expectedCode);
    QFETCH(QString, expectedOutput);
    QFETCH(bool, expectedSuccess);
    QFETCH(QStringList, expectedLog);

    const QString program = body.isEmpty() ? m_dir.filePath(QStringLiteral("absent"))
                                           : writeScript(m_dir, QTest::currentDataTag(), body);
    QString display = '"' + program + "\" \"" + arguments.join(QStringLiteral("\" \"")) + '"';
    for (QString& line : expectedLog)
        line = line.arg(display);

    QString output = QStringLiteral("stale");
    bool success = !expectedSuccess;
    const RecordedLog log;
    QCOMPARE(Utils::executeCmd(program, arguments, timeoutMs, verbose, &success, output), expectedCode);
    QCOMPARE(output, expectedOutput);
    QCOMPARE(success, expectedSuccess);
    QCOMPARE(log.lines(), expectedLog);
}

void tst_Utils::executeCmdKillsWhatTimedOut()
{
    // A wrapper that forks: its child must not outlive the time-out, even with a process that the
    // caller handed over.
    const QString pidFile = m_dir.filePath(QStringLiteral("child.pid"));
    const QString program = writeScript(m_dir, QStringLiteral("hang"),
                                        "sleep 30 & echo $! > '" + QFile::encodeName(pidFile) + "'; wait");
    ChildProcess process;
    QString output;
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(Utils::executeCmd(program, {}, 300, false, nullptr, output, &process), -1);
    QVERIFY2(timer.elapsed() < 5000, "the time-out did not end the wait");
    QCOMPARE(process.state(), QProcess::NotRunning);

    QFile file(pidFile);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const qint64 child = file.readAll().trimmed().toLongLong();
    QVERIFY(child > 0);
    QTRY_VERIFY2_WITH_TIMEOUT(!isAlive(child), "the program's child survived the time-out", 2000);
}

void tst_Utils::executeCmdLeavesCallersProcessToTheCaller()
{
    const QString program = writeScript(m_dir, QStringLiteral("exit5"), "echo five; exit 5");
    ChildProcess process;
    QString output;
    bool success = true;
    QCOMPARE(Utils::executeCmd(program, {}, 5000, false, &success, output, &process), 5);
    QCOMPARE(output, QStringLiteral("five\n"));
    QVERIFY(!success);
    QCOMPARE(process.exitCode(), 5);  // the caller's object ran the program and still exists
}

void tst_Utils::splitArguments_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("both quotes") << QStringLiteral("-s \"my device\" 'a b'")
                                 << QStringList {"-s", "my device", "a b"};
    QTest::newRow("touching pieces") << QStringLiteral("one\"two three\"four")
                                     << QStringList {"onetwo threefour"};
    QTest::newRow("escaped quote") << QStringLiteral("\"say \\\"hi\\\"\"") << QStringList {"say \"hi\""};
    QTest::newRow("other escape stays") << QStringLiteral("\"a\\nb\"") << QStringList {"a\\nb"};
    QTest::newRow("escape of other quote stays") << QStringLiteral("'it\\\"s'") << QStringList {"it\\\"s"};
    QTest::newRow("other quote is ordinary") << QStringLiteral("\"it's\"") << QStringList {"it's"};
    QTest::newRow("backslash outside quotes") << QStringLiteral("a\\ b") << QStringList {"a\\", "b"};
    QTest::newRow("unclosed quote") << QStringLiteral("x \"rest of  line") << QStringList {"x", "rest of  line"};
    QTest::newRow("runs of spaces") << QStringLiteral("  a \t  b  ") << QStringList {"a", "b"};
    QTest::newRow("empty quotes alone") << QStringLiteral("\"\"") << QStringList();
    QTest::newRow("empty quotes between") << QStringLiteral("a '' b") << QStringList {"a", "b"};
    QTest::newRow("trailing backslash in quotes") << QStringLiteral("\"a\\") << QStringList {"a\\"};
}

void tst_Utils::splitArguments()
{
    QFETCH(QString, line);
    QFETCH(QStringList, expected);
    QCOMPARE(Utils::splitArguments(line), expected);
}

void tst_Utils::osNameIsThePrettyNameAndArchitecture()
{
    const QString pretty = readOsReleasePrettyName();
    if (pretty.isEmpty())
        QSKIP("this machine has no /etc/os-release");
    QCOMPARE(Utils::getOsName(), pretty + QStringLiteral(" x64"));
}

void tst_Utils::digestsOfAFile()
{
    const QString path = m_dir.filePath(QStringLiteral("abc.txt"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("abc");
    file.close();
    QCOMPARE(Utils::getFileSHA1(path), QStringLiteral("a9993e364706816aba3e25717850c26c9cd0d89d"));
    QCOMPARE(Utils::getFileMD5(path), QStringLiteral("900150983cd24fb0d6963f7d28e17f72"));
    QCOMPARE(Utils::getFileSHA1(m_dir.filePath(QStringLiteral("absent"))), QString());
    QCOMPARE(Utils::getFileMD5(m_dir.filePath(QStringLiteral("absent"))), QString());
}

void tst_Utils::privateTempFolder_data()
{
    QTest::addColumn<QString>("occupant"); // what already sits where the folder belongs
    QTest::addColumn<bool>("usable");
    QTest::newRow("nothing") << QString() << true;
    QTest::newRow("folder open to others") << QStringLiteral("open folder") << true;
    QTest::newRow("planted link") << QStringLiteral("link") << false;
    QTest::newRow("plain file") << QStringLiteral("file") << false;
}

void tst_Utils::privateTempFolder()
{
    QFETCH(QString, occupant);
    QFETCH(bool, usable);
    const QString baseName = QStringLiteral("lfm-") + QString::fromLatin1(QTest::currentDataTag()).replace(' ', '_');
    const QString expected = m_tempRoot.filePath(baseName + QStringLiteral("-%1").arg(::getuid()));
    QCOMPARE(Utils::userTempFolderPath(baseName), expected);
    const QByteArray native = QFile::encodeName(expected);
    const QString elsewhere = m_tempRoot.filePath(baseName + QStringLiteral("-elsewhere"));
    if (occupant == QLatin1String("open folder")) {
        QCOMPARE(::mkdir(native.constData(), 0777), 0);
        QCOMPARE(::chmod(native.constData(), 0777), 0);
    } else if (occupant == QLatin1String("link")) {
        QVERIFY(QDir().mkpath(elsewhere));
        QVERIFY(QFile::link(elsewhere, expected));
    } else if (occupant == QLatin1String("file")) {
        QFile file(expected);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }

    QString error;
    const QString folder = Utils::privateTempFolder(baseName, error);
    if (!usable) {
        QCOMPARE(folder, QString());
        QVERIFY2(!error.isEmpty(), "a refusal gives its reason");
        QVERIFY(!QFileInfo::exists(elsewhere) || QDir(elsewhere).isEmpty());
        return;
    }
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(folder, expected);
    struct stat info;
    QCOMPARE(::lstat(native.constData(), &info), 0);
    QVERIFY(S_ISDIR(info.st_mode));
    QCOMPARE(int(info.st_mode & 0777), 0700);
}

void tst_Utils::copyToTempFolderStaysPrivate()
{
    const QString source = m_dir.filePath(QStringLiteral("image.bin"));
    QFile file(source);
    QVERIFY(file.open(QIODevice::WriteOnly));
    const QByteArray content = QByteArray(100000, 'x') + "end";
    file.write(content);
    file.close();

    const QString folder = m_tempRoot.filePath(QStringLiteral("lfm-short-%1").arg(::getuid()));
    const QString elsewhere = m_tempRoot.filePath(QStringLiteral("elsewhere"));
    QVERIFY(QDir().mkpath(elsewhere));

    // Somebody planted a link where the folder belongs: no copy lands behind it.
    QVERIFY(QFile::link(elsewhere, folder));
    QCOMPARE(Utils::copyFileToTempFolder(source), source);
    QVERIFY(QDir(elsewhere).isEmpty());
    QVERIFY(QFile::remove(folder));

    const QString copy = Utils::copyFileToTempFolder(source);
    QVERIFY2(copy != source, "no copy was made");
    QCOMPARE(QFileInfo(copy).absolutePath(), folder);
    QFile copied(copy);
    QVERIFY(copied.open(QIODevice::ReadOnly));
    QCOMPARE(copied.readAll(), content);

    struct stat info;
    QCOMPARE(::stat(QFile::encodeName(folder).constData(), &info), 0);
    QCOMPARE(int(info.st_mode & 0777), 0700);

    // A folder opened up to others is closed again before it is used.
    QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 0755), 0);
    QVERIFY(Utils::copyFileToTempFolder(source) != source);
    QCOMPARE(::stat(QFile::encodeName(folder).constData(), &info), 0);
    QCOMPARE(int(info.st_mode & 0777), 0700);

    const QString absent = m_dir.filePath(QStringLiteral("absent"));
    QCOMPARE(Utils::copyFileToTempFolder(absent), absent);
}

void tst_Utils::isoDates_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<uint>("expected");
    QTest::newRow("UTC") << QStringLiteral("1970-01-01T00:00:10Z") << 10u;
    QTest::newRow("offset") << QStringLiteral("2026-12-08T14:05:09+02:00") << 1796731509u;
    QTest::newRow("fraction") << QStringLiteral("2026-12-08T12:05:09.750Z") << 1796731509u;
    QTest::newRow("garbage") << QStringLiteral("yesterday") << 0xffffffffu;
}

void tst_Utils::isoDates()
{
    QFETCH(QString, text);
    QFETCH(uint, expected);
    QCOMPARE(uint(Utils::getUTCTimeFromISODate(text)), expected);
}

void tst_Utils::runtimeVersion()
{
    QVERIFY(Utils::checkQtRuntimeVersion(4, 7, 0));
    QVERIFY(Utils::checkQtRuntimeVersion(QT_VERSION_MAJOR, QT_VERSION_MINOR, 0));
    QVERIFY(!Utils::checkQtRuntimeVersion(QT_VERSION_MAJOR, QT_VERSION_MINOR + 1, 0));
    QVERIFY(!Utils::checkQtRuntimeVersion(QT_VERSION_MAJOR + 1, 0, 0));
}

void tst_Utils::scramblingIsReversible()
{
    const QString text = QStringLiteral("s3cret pass");
    const QByteArray hex = Utils::encryptString(text);
    QCOMPARE(hex.size(), text.size() * 2);
    QVERIFY(!hex.contains(text.toLatin1().toHex()));
    QCOMPARE(Utils::decryptString(hex), text);
}

void tst_Utils::magicKeys_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("removeMissing");
    QTest::addColumn<QString>("expected");
    QTest::newRow("missing kept") << QStringLiteral("${a}/${b}") << false << QStringLiteral("A/${b}");
    QTest::newRow("missing removed") << QStringLiteral("${a}/${b}") << true << QStringLiteral("A/");
    QTest::newRow("value not expanded again") << QStringLiteral("x${loop}y") << false
                                              << QStringLiteral("x${a}y");
    QTest::newRow("removed then found") << QStringLiteral("${b}${a}") << true << QStringLiteral("A");
}

void tst_Utils::magicKeys()
{
    QFETCH(QString, text);
    QFETCH(bool, removeMissing);
    QFETCH(QString, expected);
    const QMap<QString, QString> values {{QStringLiteral("a"), QStringLiteral("A")},
                                         {QStringLiteral("loop"), QStringLiteral("${a}")}};
    QCOMPARE(Utils::replaceMagicKeys(text, values, removeMissing), expected);

    std::set<QString> keys {QStringLiteral("kept")};
    Utils::getMagicKeys(QStringLiteral("${a} and ${b,c} and ${a} and $plain"), keys);
    QCOMPARE(keys, (std::set<QString> {QStringLiteral("a"), QStringLiteral("b,c"), QStringLiteral("kept")}));
}

void tst_Utils::passwordPromptEndsAtEndOfInput()
{
    const QString input = m_dir.filePath(QStringLiteral("typed"));
    QFile file(input);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("p\xc3\xa4ss\nnext line");
    file.close();
    QVERIFY(std::freopen(QFile::encodeName(input).constData(), "r", stdin));
    QCOMPARE(Utils::getPasswordFromConsole(), QStringLiteral("p\u00e4ss"));
    // No line feed before the end of the input: what was typed, not an endless wait.
    QCOMPARE(Utils::getPasswordFromConsole(), QStringLiteral("next line"));
    QCOMPARE(Utils::getPasswordFromConsole(), QString());
}

QTEST_GUILESS_MAIN(tst_Utils)
#include "tst_Utils.moc"
