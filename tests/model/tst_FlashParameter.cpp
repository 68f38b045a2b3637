#include "ModelTestKit.h"

#include "model/FlashParameterValueFile.h"
#include "model/FlashParameterValueString.h"
#include "model/FlashParameterValueTemporaryFile.h"
#include "model/FlashParameterValueTemporaryFileStorage.h"
#include "model/FlashVariable.h"
#include "model/FlashVariableValue.h"

#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

FlashParameterPtr temporaryParameter(const QString& pattern)
{
    std::map<QString, FlashParameterValueTemporaryFile*> values = {
        {QStringLiteral("t"), new FlashParameterValueTemporaryFile(QStringLiteral("t"), pattern, QStringLiteral("scratch"))}};
    return FlashParameterPtr(new FlashParameter(QStringLiteral("tmp"), QStringLiteral("Temporary"), values));
}

mode_t folderMode(const QString& path)
{
    struct stat info;
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? (info.st_mode & 0777) : 0;
}

} // namespace

// Parameters, their values, the per-run storages and variables.
class tst_FlashParameter : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void valueLookup();
    void filePathIsWrittenRelative_data();
    void filePathIsWrittenRelative();
    void fileValueError();
    void parameterWithoutValuesWritesNothing();
    void temporaryFilePerRunAndValue();
    void temporaryFolderIsPrivate();
    void temporaryFileNeverLeavesTheFolder_data();
    void temporaryFileNeverLeavesTheFolder();
    void foreignTemporaryFolderIsRefused();
    void variableValuePerRun();
    void storageOfAnotherKindFallsBackToDefault();
    void clonesAreDeep();
    void variableWriter_data();
    void variableWriter();

private:
    QTemporaryDir m_tempRoot;
    QString m_root;
    RecordingLogSink m_recorder;
    SharedPointer<FlashDevice2> m_device;
    QSharedPointer<FlashConfiguration> m_configuration;
};

void tst_FlashParameter::initTestCase()
{
    // The root folder is fixed on first use: make it land in a folder of this test.
    QVERIFY(m_tempRoot.isValid());
    qputenv("TMPDIR", QFile::encodeName(m_tempRoot.path()));
    m_root = FlashParameterValueTemporaryFileStorage::rootFolder();
    QCOMPARE(m_root, m_tempRoot.path() + QStringLiteral("/lfm-temp-") + QString::number(::getuid()) + '/');
    relayApplicationLog(m_recorder);
    m_device = makeDevice();
    m_configuration = makeConfiguration();
}

void tst_FlashParameter::init()
{
    m_recorder.clear();
}

void tst_FlashParameter::valueLookup()
{
    std::map<QString, FlashParameterValueString*> two = {
        {QStringLiteral("a"), new FlashParameterValueString(QStringLiteral("a"), QStringLiteral("A"), QString())},
        {QStringLiteral("b"), new FlashParameterValueString(QStringLiteral("b"), QStringLiteral("B"), QString())}};
    FlashParameter parameter(QStringLiteral("p"), QStringLiteral("P"), two);
    QVERIFY(!parameter.getValue());
    QCOMPARE(parameter.getValue(QStringLiteral("b"))->getValue(), QStringLiteral("B"));
    QVERIFY(!parameter.getValue(QStringLiteral("B")));
    QCOMPARE(parameter.getType(), FlashParameter::String);

    std::map<QString, FlashParameterValueString*> one = {
        {QStringLiteral("a"), new FlashParameterValueString(QStringLiteral("a"), QStringLiteral("A"), QString())}};
    FlashParameter single(QStringLiteral("q"), QStringLiteral("Q"), one);
    QCOMPARE(single.getValue()->getValue(), QStringLiteral("A"));
    QCOMPARE(single.toJson(QString()).toQVariantMap(),
             (QVariantMap{{"type", "string"}, {"name", "Q"},
                          {"options", QVariantMap{{"a", QVariantMap{{"description", ""}, {"value", "A"}}}}}}));
}

void tst_FlashParameter::filePathIsWrittenRelative_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("written");

    QTest::newRow("the flash file's folder") << "/flash" << "images/boot.img";
    QTest::newRow("a sibling folder") << "/other" << "../flash/images/boot.img";
    QTest::newRow("the image's folder") << "/flash/images" << "boot.img";
    QTest::newRow("no folder") << "" << "/flash/images/boot.img";
}

void tst_FlashParameter::filePathIsWrittenRelative()
{
    QFETCH(QString, folder);
    QFETCH(QString, written);
    FlashParameterValueFile value(QStringLiteral("f"), QStringLiteral("/flash"), QStringLiteral("images/boot.img"),
                                  QStringLiteral("boot"));
    QCOMPARE(value.getValue(), QStringLiteral("/flash/images/boot.img"));
    QCOMPARE(value.toJson(folder).toQVariantMap(),
             (QVariantMap{{"description", "boot"}, {"value", written}}));
}

void tst_FlashParameter::fileValueError()
{
    FlashParameterValueFile missing(QStringLiteral("f"), m_tempRoot.path(), QStringLiteral("boot.img"), QString());
    QCOMPARE(missing.getError(), m_tempRoot.filePath(QStringLiteral("boot.img")) + QStringLiteral(" not found"));
    FlashParameterValueFile present(QStringLiteral("f"), m_tempRoot.path(), QStringLiteral("."), QString());
    QVERIFY(present.getError().isEmpty());
    FlashParameterValueFile empty(QStringLiteral("f"), QString(), QString());
    QVERIFY(empty.getError().isEmpty());
    QCOMPARE(empty.toJson(QStringLiteral("/flash")).toQVariantMap().value("value"), QVariant(QString("")));
}

void tst_FlashParameter::parameterWithoutValuesWritesNothing()
{
    FlashParameter parameter(FlashParameter::File, QStringLiteral("p"), QStringLiteral("P"));
    QVERIFY(parameter.toJson(QStringLiteral("/flash")).isEmpty());
}

void tst_FlashParameter::temporaryFilePerRunAndValue()
{
    const FlashParameterPtr parameter = temporaryParameter(QStringLiteral("log"));
    const QSharedPointer<FlashParameterValue> value = parameter->getValue();
    SharedPointer<FlashRunner> first = makeRunner(m_device, m_configuration);
    const SharedPointer<FlashRunner> second = makeRunner(m_device, m_configuration);

    const QString path = value->getValue(*first);
    QVERIFY2(path.startsWith(m_root + QStringLiteral("log.")), qPrintable(path));
    QVERIFY(QFileInfo(path).isFile());
    QCOMPARE(value->getValue(*first), path);
    QCOMPARE(value->getValue(), QStringLiteral("log"));

    const QString other = value->getValue(*second);
    QVERIFY(QFileInfo(other).isFile());
    QVERIFY(other != path);
    // A copy of the value is another value: another file in the same run.
    const QString copied = parameter->clone()->getValue()->getValue(*first);
    QVERIFY(copied != path);

    first.reset();
    QVERIFY2(!QFileInfo::exists(path), "the file outlived its run");
    QVERIFY2(!QFileInfo::exists(copied), "the file outlived its run");
    QVERIFY(QFileInfo(other).isFile());
    QVERIFY(QFileInfo(m_root).isDir()); // the folder stays
}

void tst_FlashParameter::temporaryFolderIsPrivate()
{
    QDir(m_root).removeRecursively();
    // Values outlive the run, as those of a configuration do: storages are keyed by the value.
    const FlashParameterPtr first = temporaryParameter(QStringLiteral("a"));
    const FlashParameterPtr second = temporaryParameter(QStringLiteral("b"));
    const SharedPointer<FlashRunner> runner = makeRunner(m_device, m_configuration);
    QVERIFY(!first->getValue()->getValue(*runner).isEmpty());
    QCOMPARE(folderMode(m_root), mode_t(0700));

    // A folder opened up to others is closed again before it is used.
    QVERIFY(QFile::setPermissions(m_root, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                              | QFileDevice::ReadOther | QFileDevice::ExeOther));
    QVERIFY(!second->getValue()->getValue(*runner).isEmpty());
    QCOMPARE(folderMode(m_root), mode_t(0700));
}

void tst_FlashParameter::temporaryFileNeverLeavesTheFolder_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::newRow("parent steps") << "../../escape-XXXXXX";
    QTest::newRow("absolute") << "/tmp/escape";
    QTest::newRow("sub-folder") << "sub/log";
    QTest::newRow("empty") << "";
}

void tst_FlashParameter::temporaryFileNeverLeavesTheFolder()
{
    QFETCH(QString, pattern);
    const FlashParameterPtr parameter = temporaryParameter(pattern);
    const SharedPointer<FlashRunner> runner = makeRunner(m_device, m_configuration);
    const QString path = parameter->getValue()->getValue(*runner);
    QVERIFY2(!path.isEmpty(), qPrintable(m_recorder.rendered().join('\n')));
    QCOMPARE(QFileInfo(path).absolutePath() + '/', m_root);
    QVERIFY(QFileInfo(path).isFile());
}

void tst_FlashParameter::foreignTemporaryFolderIsRefused()
{
    // Someone replaced the folder by a link to a place of their choosing.
    QTemporaryDir elsewhere;
    QVERIFY(QDir(m_root).removeRecursively());
    QVERIFY(QFile::link(elsewhere.path(), QDir::cleanPath(m_root)));
    const FlashParameterPtr parameter = temporaryParameter(QStringLiteral("log"));
    const QSharedPointer<FlashParameterValue> value = parameter->getValue();
    const SharedPointer<FlashRunner> runner = makeRunner(m_device, m_configuration);

    QVERIFY(value->getValue(*runner).isEmpty());
    QVERIFY(value->getValue(*runner).isEmpty()); // one try per run and value
    QCOMPARE(m_recorder.rendered({QStringLiteral("app ERROR")}),
             QStringList{QStringLiteral("app ERROR Failed to create temp folder: ") + m_root});
    QVERIFY(QDir(elsewhere.path()).isEmpty());
    QVERIFY(QFile::remove(QDir::cleanPath(m_root)));
}

void tst_FlashParameter::variableValuePerRun()
{
    FlashVariable variable(QStringLiteral("v"), QStringLiteral("V"), {}, QStringLiteral("default"),
                           QRegExp(QStringLiteral("^.*$")), QStringLiteral("$0"), QString());
    const QSharedPointer<FlashVariableValue> value = variable.getVariableValue();
    QCOMPARE(variable.getValue(), QSharedPointer<FlashParameterValue>(value));
    QCOMPARE(variable.getValue(QString("")), QSharedPointer<FlashParameterValue>(value));
    const SharedPointer<FlashRunner> first = makeRunner(m_device, m_configuration);
    const SharedPointer<FlashRunner> second = makeRunner(m_device, m_configuration);

    QCOMPARE(value->getVariant(*first), QVariant(QStringLiteral("default")));
    value->setValue(*first, 5);
    QCOMPARE(value->getVariant(*first), QVariant(5));
    QCOMPARE(value->getValue(*first), QStringLiteral("5"));
    QCOMPARE(value->getVariant(*second), QVariant(QStringLiteral("default")));

    value->setValue(*second, QVariantList{1, 2});
    QCOMPARE(value->getValue(*second), QString());
    QCOMPARE(value->getVariant(*second), QVariant(QVariantList{1, 2}));
    QCOMPARE(value->getValue(), QStringLiteral("default"));
}

void tst_FlashParameter::storageOfAnotherKindFallsBackToDefault()
{
    FlashVariable variable(QStringLiteral("v"), QStringLiteral("V"), {}, 7, QRegExp(), QStringLiteral("1"), QString());
    const QSharedPointer<FlashVariableValue> value = variable.getVariableValue();
    const SharedPointer<FlashRunner> runner = makeRunner(m_device, m_configuration);
    QVERIFY((runner->getStorage<FlashParameterValueTemporaryFileStorage, QString>(value.data(), QStringLiteral("x"))));

    value->setValue(*runner, 9);
    QCOMPARE(value->getVariant(*runner), QVariant(7));
}

void tst_FlashParameter::clonesAreDeep()
{
    QSharedPointer<ScriptedCommand> subCommand(new ScriptedCommand(QStringLiteral("getprop")));
    FlashVariable variable(QStringLiteral("v"), QStringLiteral("V"), subCommand, QStringLiteral("d"),
                           QRegExp(QStringLiteral("^(\\d+)$")), QStringLiteral("$1"), QStringLiteral("desc"));
    const QSharedPointer<FlashVariable> copy = variable.cloneVariable();

    QVERIFY(copy->getVariableValue() != variable.getVariableValue());
    QCOMPARE(copy->getValues().size(), std::size_t(1));
    QCOMPARE(copy->getValue(QString("")), QSharedPointer<FlashParameterValue>(copy->getVariableValue()));
    QVERIFY(copy->getVariableValue()->getSubCommand());
    QVERIFY(copy->getVariableValue()->getSubCommand() != QSharedPointer<FlashCommand>(subCommand));
    QCOMPARE(copy->toJson(QString()), variable.toJson(QString()));
    QCOMPARE(copy->getId(), QStringLiteral("v"));
    QCOMPARE(copy->getType(), FlashParameter::Variable);

    const SharedPointer<FlashRunner> runner = makeRunner(m_device, m_configuration);
    copy->getVariableValue()->setValue(*runner, QStringLiteral("changed"));
    QCOMPARE(variable.getVariableValue()->getVariant(*runner), QVariant(QStringLiteral("d")));
}

void tst_FlashParameter::variableWriter_data()
{
    QTest::addColumn<bool>("subCommand");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("replacement");
    QTest::addColumn<bool>("filterWritten");
    QTest::addColumn<bool>("computedWritten");

    QTest::newRow("whole output") << true << "^.*$" << "$0" << false << false;
    QTest::newRow("unanchored") << true << ".*" << "$0" << false << false;
    QTest::newRow("captured") << true << "^(.*)$" << "$0" << false << false;
    QTest::newRow("digits") << true << "^(\\d+)$" << "$0" << true << true;
    QTest::newRow("first capture") << true << "^.*$" << "$1" << true << true;
    // These match an empty text, not the output: they must survive a save and a load.
    QTest::newRow("empty filter") << true << "" << "$0" << true << true;
    QTest::newRow("caret") << true << "^" << "$0" << true << true;
    QTest::newRow("dollar") << true << "$" << "$0" << true << true;
    QTest::newRow("caret dollar") << true << "^$" << "$0" << true << true;
    QTest::newRow("no sub-command") << false << "^.*$" << "$0" << false << true;
}

void tst_FlashParameter::variableWriter()
{
    QFETCH(bool, subCommand);
    QFETCH(QString, filter);
    QFETCH(QString, replacement);
    QFETCH(bool, filterWritten);
    QFETCH(bool, computedWritten);
    QSharedPointer<FlashCommand> command;
    if (subCommand)
        command.reset(new ScriptedCommand(QStringLiteral("getprop")));
    FlashVariable variable(QStringLiteral("v"), QStringLiteral("Version"), command, 3, QRegExp(filter),
                           replacement, QStringLiteral("desc"));

    const QVariantMap json = variable.toJson(QStringLiteral("/flash")).toQVariantMap();

    QCOMPARE(json.value("type").toString(), QStringLiteral("variable"));
    QCOMPARE(json.value("name").toString(), QStringLiteral("Version"));
    QCOMPARE(json.value("description").toString(), QStringLiteral("desc"));
    QCOMPARE(json.value("value"), QVariant(qint64(3)));
    QCOMPARE(json.contains("subCommand"), subCommand);
    QCOMPARE(json.contains("filter"), filterWritten);
    QCOMPARE(json.contains("computedValue"), computedWritten);
    if (filterWritten)
        QCOMPARE(json.value("filter").toString(), filter);
    QVERIFY(!json.contains("options"));
}

QTEST_GUILESS_MAIN(tst_FlashParameter)
#include "tst_FlashParameter.moc"
