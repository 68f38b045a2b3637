#include "LoaderTestKit.h"

#include "loader/FlashFileManager.h"
#include "model/FlashCommand.h"
#include "model/FlashGroup.h"
#include "model/FlashParameter.h"
#include "model/FlashParameterValue.h"
#include "tools/BuiltInKinds.h"

#include <QTemporaryDir>
#include <QtTest>

// The flash file container: which reader a file reaches, and the edits that keep every
// configuration's command list parallel to the file's.
class tst_FlashFileManager : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void dispatch_data();
    void dispatch();
    void dnxOsInVersion2_0IsReadAs2_1();
    void unreadableAndUnknownFiles();
    void relativePathIsKeptAsGiven();
    void commandEditsKeepConfigurationsParallel();
    void parameterAndConfigurationEdits();
    void configurationDetails();

private:
    QSharedPointer<FlashFileManager> loadFixture(const QString& name);
    QString write(const QString& name, const QByteArray& content);

    QTemporaryDir m_dir;
};

namespace {

QByteArray jsonWithVersion(const QByteArray& version)
{
    return R"({"flash": {"version": ")" + version
           + R"(", "configurations": {"c": {"name": "C", "startState": "mos"}}, "commands": []}})";
}

QByteArray xmlWithRoot(const QByteArray& rootTag)
{
    return "<?xml version=\"1.0\"?>\n" + rootTag + "<id>ota</id></flashfile>\n";
}

} // namespace

void tst_FlashFileManager::initTestCase()
{
    QVERIFY(m_dir.isValid());
    BuiltInKinds::registerAll();
}

QSharedPointer<FlashFileManager> tst_FlashFileManager::loadFixture(const QString& name)
{
    return FlashFileManager::loadFromFile(QFINDTESTDATA(QStringLiteral("data/") + name), true);
}

QString tst_FlashFileManager::write(const QString& name, const QByteArray& content)
{
    const QString path = m_dir.filePath(name);
    writeTextFile(path, content);
    return path;
}

void tst_FlashFileManager::dispatch_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("refusal");   // the ERROR line of a file no reader takes; null: it loads
    QTest::addColumn<int>("unknownGroups"); // what the reader gave the configurations, when it loads

    const QString loads;
    QTest::newRow("json 2.0") << jsonWithVersion("2.0") << loads << 0;
    QTest::newRow("json 2.1") << jsonWithVersion("2.1") << loads << 0;
    QTest::newRow("json 2.2") << jsonWithVersion("2.2") << loads << 0;
    QTest::newRow("json 3.0") << jsonWithVersion("3.0") << loads << 1;
    QTest::newRow("json 3") << jsonWithVersion("3") << R"(Unsupported flash file version "3")" << 0;
    QTest::newRow("json 3.00") << jsonWithVersion("3.00") << R"(Unsupported flash file version "3.00")" << 0;
    QTest::newRow("json empty version") << jsonWithVersion("") << R"(Unsupported flash file version "")" << 0;
    QTest::newRow("json version as number")
        << QByteArray(R"({"flash": {"version": 3.0, "configurations": {}, "commands": []}})")
        << "Invalid value for version" << 0;
    QTest::newRow("json without version")
        << QByteArray(R"({"flash": {"configurations": {}, "commands": []}})") << "version key not found" << 0;
    QTest::newRow("json without flash") << QByteArray(R"({"version": "3.0"})") << "flash key not found" << 0;
    QTest::newRow("json flash no object") << QByteArray(R"({"flash": []})") << "Invalid value for flash" << 0;
    QTest::newRow("xml without version") << xmlWithRoot("<flashfile>") << loads << 0;
    QTest::newRow("xml version 1") << xmlWithRoot("<flashfile version=\"1\">") << loads << 0;
    QTest::newRow("xml version 1.0") << xmlWithRoot("<flashfile version=\"1.0\">") << loads << 0;
    QTest::newRow("xml version 2.0") << xmlWithRoot("<flashfile version=\"2.0\">")
                                     << R"(Unsupported flash file version "2.0")" << 0;
    QTest::newRow("xml version 1.0 and a blank") << xmlWithRoot("<flashfile version=\"1.0 \">")
                                                 << R"(Unsupported flash file version "1.0 ")" << 0;
    QTest::newRow("xml other root") << QByteArray("<flash version=\"1.0\"><id>ota</id></flash>")
                                    << "No flashfile tag" << 0;
}

void tst_FlashFileManager::dispatch()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, refusal);
    QFETCH(int, unknownGroups);

    RecordedLog log;
    const QSharedPointer<FlashFileManager> flashFile =
        FlashFileManager::loadFromFile(write(QStringLiteral("dispatch"), content), false);
    QCOMPARE(flashFile.isNull(), !refusal.isNull());
    if (flashFile.isNull()) {
        // The refusal says why, at ERROR: the operator sees it without raising the log level.
        QCOMPARE(log.lines().filter(QStringLiteral("ERROR|")), QStringList{QStringLiteral("ERROR|") + refusal});
        return;
    }
    QCOMPARE(int(flashFile->getDefaultConfiguration()->getUnknownGroupBehavior()), unknownGroups);
}

void tst_FlashFileManager::dnxOsInVersion2_0IsReadAs2_1()
{
    RecordedLog log;
    const QByteArray content = R"({"flash": {"version": "2.0", "configurations": {
        "a": {"name": "A", "startState": "dnx"},
        "b": {"name": "B", "startState": "dnx_os"},
        "c": {"name": "C", "startState": "dnx_fw"}}, "commands": []}})";
    const QSharedPointer<FlashFileManager> flashFile = FlashFileManager::loadFromMemory(m_dir.path(), content, false);
    QVERIFY(flashFile);
    QVERIFY(log.lines().contains(QStringLiteral(
        "WARNING|Invalid start state 'dnx_os' for flash file v2.0 detected. Retry load with version 2.1.")));
    QCOMPARE(flashFile->getConfiguration(QStringLiteral("a"))->getStartState(), DeviceState::DnxFirmware);
    QCOMPARE(flashFile->getConfiguration(QStringLiteral("b"))->getStartState(), DeviceState::DnxOs);
    QCOMPARE(flashFile->getConfiguration(QStringLiteral("c"))->getStartState(), DeviceState::DnxFirmware);
}

void tst_FlashFileManager::unreadableAndUnknownFiles()
{
    RecordedLog log;
    const QString missing = m_dir.filePath(QStringLiteral("missing.json"));
    QVERIFY(!FlashFileManager::loadFromFile(missing, false));
    QVERIFY(log.lines().contains(QStringLiteral("ERROR|Fail to open ") + missing));

    // Text that is no document: the error of the format it starts like, with its line and column.
    const QString unrecognized = QStringLiteral("ERROR|Flash file format not recognized: ");
    QVERIFY(!FlashFileManager::loadFromFile(write(QStringLiteral("garbage"), "garbage { xml"), false));
    QCOMPARE(log.lines().last(), unrecognized + QStringLiteral("invalid JSON, line 1, column 1: unexpected character 'g'"));
    const QByteArray brokenJson = "{\"flash\": {\n    \"version\": \"3.0\",\n    \"commands\" []}}";
    const QString jsonError = QStringLiteral("invalid JSON, line 3, column 16: expected ':' after a member name");
    QVERIFY(!FlashFileManager::loadFromFile(write(QStringLiteral("broken.json"), brokenJson), false));
    QCOMPARE(log.lines().last(), unrecognized + jsonError);
    QVERIFY(!FlashFileManager::loadFromMemory(m_dir.path(), brokenJson, false));
    QCOMPARE(log.lines().last(), unrecognized + jsonError);
    const QByteArray brokenXml = "\xEF\xBB\xBF <flashfile>\n<id>ota</flashfile>\n";
    QVERIFY(!FlashFileManager::loadFromFile(write(QStringLiteral("broken.xml"), brokenXml), false));
    QVERIFY2(log.lines().last().startsWith(unrecognized + QStringLiteral("invalid XML, line 2, column ")),
             qPrintable(log.lines().last()));

    QFile closed(write(QStringLiteral("closed.json"), jsonWithVersion("3.0")));
    QVERIFY(!FlashFileManager::loadFromDevice(m_dir.path(), closed, false));
    QVERIFY(log.lines().contains(QStringLiteral("DEBUG|Invalid open mode")));
}

void tst_FlashFileManager::relativePathIsKeptAsGiven()
{
    const QString folder = m_dir.filePath(QStringLiteral("relative"));
    writeTextFile(folder + QStringLiteral("/images/boot.img"), "boot");
    writeTextFile(folder + QStringLiteral("/flash.json"), R"({"flash": {"version": "3.0",
        "parameters": {"boot": {"type": "file", "name": "Boot", "value": "images/boot.img", "description": "Boot"}},
        "configurations": {"c": {"name": "C", "startState": "mos", "parameters": {"boot": ""}}}, "commands": []}})");
    const QString previous = QDir::currentPath();
    QDir::setCurrent(m_dir.path());
    const QSharedPointer<FlashFileManager> flashFile =
        FlashFileManager::loadFromFile(QStringLiteral("relative/flash.json"), true);
    QDir::setCurrent(previous);
    QVERIFY(flashFile);
    QCOMPARE(flashFile->getPath(), QStringLiteral("relative/flash.json"));
    QCOMPARE(flashFile->getParameter(QStringLiteral("boot"))->getValue()->getValue(),
             QDir::toNativeSeparators(folder + QStringLiteral("/images/boot.img")));
}

void tst_FlashFileManager::commandEditsKeepConfigurationsParallel()
{
    const QSharedPointer<FlashFileManager> flashFile = loadFixture(QStringLiteral("flash-v3_0.json"));
    QVERIFY(flashFile);
    const auto a = flashFile->getConfiguration(QStringLiteral("a"));
    const auto b = flashFile->getConfiguration(QStringLiteral("b"));
    // Three commands kept ("restrict": [] drops the fourth); "a" runs the first two, "b" all three.
    QCOMPARE(flashFile->getCommandList().size(), std::size_t(3));
    QCOMPARE(a->getCommandsCount(), 2ul);
    QCOMPARE(b->getCommandsCount(), 3ul);
    const auto first = flashFile->getCommandList()[0];
    const auto third = flashFile->getCommandList()[2];

    QCOMPARE(flashFile->appendCommand(first->clone()), 3ul);
    QCOMPARE(a->getCommands().size(), std::size_t(4));
    QCOMPARE(a->getCommandsCount(), 2ul);
    QCOMPARE(b->getCommandsCount(), 3ul);

    flashFile->swapCommands(0, 2);
    QCOMPARE(flashFile->getCommandList()[0], third);
    QVERIFY(a->getCommand(0).isNull());
    QCOMPARE(a->getCommand(2), first);
    QCOMPARE(b->getCommand(0), third);

    QVERIFY(!flashFile->removeCommand(4));
    QVERIFY(flashFile->removeCommand(0));
    QCOMPARE(flashFile->getCommandList().size(), std::size_t(3));
    QCOMPARE(a->getCommands().size(), std::size_t(3));
    QCOMPARE(b->getCommandsCount(), 2ul);

    const auto replacement = first->clone();
    flashFile->setCommand(1, replacement);
    QCOMPARE(flashFile->getCommandList()[1], replacement);
    QCOMPARE(a->getCommand(1), first); // configurations keep their entry
    flashFile->setCommand(5, replacement);
    QCOMPARE(flashFile->getCommandList().size(), std::size_t(3));
    flashFile->setCommand(3, replacement);
    QCOMPARE(flashFile->getCommandList().size(), std::size_t(4));
    QCOMPARE(b->getCommands().size(), std::size_t(4));
}

void tst_FlashFileManager::parameterAndConfigurationEdits()
{
    const QSharedPointer<FlashFileManager> flashFile = loadFixture(QStringLiteral("flash-v3_0.json"));
    QVERIFY(flashFile);
    // "image" is used by a command; "scratch" by none.
    QVERIFY(!flashFile->removeParameter(QStringLiteral("image")));
    QVERIFY(flashFile->removeParameter(QStringLiteral("scratch")));
    QVERIFY(!flashFile->removeParameter(QStringLiteral("scratch")));

    const auto added = flashFile->getParameter(QStringLiteral("mode"))->clone();
    flashFile->setParameter(added);
    QCOMPARE(flashFile->getConfiguration(QStringLiteral("b"))->getParameter(QStringLiteral("mode")), added);

    const auto a = flashFile->getConfiguration(QStringLiteral("a"));
    const auto b = flashFile->getConfiguration(QStringLiteral("b"));
    QCOMPARE(flashFile->getDefaultConfiguration(), a);
    QVERIFY(!flashFile->removeConfiguration(a));
    const auto stranger = b->clone(QStringLiteral("x"), QStringLiteral("X"));
    flashFile->setDefaultConfiguration(stranger);
    QCOMPARE(flashFile->getDefaultConfiguration(), a);
    QVERIFY(!flashFile->addConfiguration(stranger)); // belongs to no file yet
    stranger->setFlashFileManager(flashFile);
    QVERIFY(flashFile->addConfiguration(stranger));
    QCOMPARE(stranger->getCommands().size(), flashFile->getCommandList().size());
    QCOMPARE(stranger->getCommandsCount(), 0ul);
    QVERIFY(!flashFile->addConfiguration(stranger)); // id taken
    QVERIFY(flashFile->removeConfiguration(b));
    QVERIFY(!flashFile->removeConfiguration(b));

    // The first configuration added to a file without default becomes its default.
    const QSharedPointer<FlashFileManager> empty = FlashFileManager::create({});
    const auto only = b->clone(QStringLiteral("only"), QStringLiteral("Only"));
    only->setFlashFileManager(empty);
    QVERIFY(empty->addConfiguration(only));
    QCOMPARE(empty->getDefaultConfiguration(), only);
    QCOMPARE(empty->executeConfiguration(SharedPointer<FlashRunner>(), SharedPointer<FlashDevice2>(),
                                         QStringLiteral("absent")),
             FlashTypes::FlashStatus::Failure);
}

void tst_FlashFileManager::configurationDetails()
{
    const QSharedPointer<FlashFileManager> flashFile = loadFixture(QStringLiteral("flash-v3_0.json"));
    QVERIFY(flashFile);
    QCOMPARE(flashFile->getFlashConfigurationDetails(),
             QStringLiteral("conf[a] name=Full, description=Everything\nconf[b] name=Quick"));
    QCOMPARE(FlashFileManager::create({})->getFlashConfigurationDetails(), QString());
}

QTEST_GUILESS_MAIN(tst_FlashFileManager)
#include "tst_FlashFileManager.moc"
