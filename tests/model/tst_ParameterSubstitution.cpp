#include "ModelTestKit.h"

#include "model/FlashParameterValueFile.h"
#include "model/FlashParameterValueString.h"
#include "model/FlashParameterValueTemporaryFile.h"
#include "model/FlashParameterValueTemporaryFileStorage.h"
#include "model/FlashVariable.h"
#include "model/FlashVariableValue.h"
#include "platform/utility/OSVersion.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

FlashParameterPtr stringParameter(const QString& id, const std::map<QString, QString>& options)
{
    std::map<QString, FlashParameterValueString*> values;
    for (const auto& option : options)
        values[option.first] = new FlashParameterValueString(option.first, option.second, QString());
    return FlashParameterPtr(new FlashParameter(id, id, values));
}

FlashParameterPtr variable(const QString& id, const QVariant& value)
{
    return FlashParameterPtr(new FlashVariable(id, id, {}, value, QRegExp(QStringLiteral("^.*$")),
                                               QStringLiteral("$0"), QString()));
}

// `text` with %host and %arch standing for this host's name and architecture.
QString withHostValues(QString text)
{
    const OSVersion host = getOSVersion();
    return text.replace(QLatin1String("%host"), QString::fromUtf8(host.name))
        .replace(QLatin1String("%arch"), host.arch == OSArch64 ? QStringLiteral("64") : QStringLiteral("32"));
}

} // namespace

// ${...} references: resolved for a run, resolved outside a run, and checked before a flash.
class tst_ParameterSubstitution : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void duringRun_data();
    void duringRun();
    void flashDirNeedsAFileFromDisk();
    void deviceKeysNeedADevice();
    void variableKeepsItsValuePerRun();
    void outsideRun_data();
    void outsideRun();
    void check_data();
    void check();
    void deprecatedFlashDirWarnsTwice();

private:
    QSharedPointer<FlashConfiguration> configurationWith(const QStringList& selections) const;

    QTemporaryDir m_dir;
    QSharedPointer<FakeFlashFile> m_flashFile;
    FlashConfiguration::Parameters m_parameters;
    QSharedPointer<FlashConfiguration> m_configuration;
    SharedPointer<FlashDevice2> m_device;
    RecordingLogSink m_recorder;
};

void tst_ParameterSubstitution::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_flashFile.reset(new FakeFlashFile(m_dir.filePath(QStringLiteral("flash.json"))));
    std::map<QString, FlashParameterValueTemporaryFile*> temporary = {
        {QStringLiteral("t"), new FlashParameterValueTemporaryFile(QStringLiteral("t"), QStringLiteral("log"), QString())}};
    std::map<QString, FlashParameterValueFile*> missingFile = {
        {QStringLiteral("f"), new FlashParameterValueFile(QStringLiteral("f"), m_dir.path(), QStringLiteral("absent.img"), QString())}};
    m_parameters = {
        {QStringLiteral("name"), stringParameter(QStringLiteral("name"), {{QStringLiteral("v"), QStringLiteral("alpha")}})},
        {QStringLiteral("board"), stringParameter(QStringLiteral("board"), {{QStringLiteral("a"), QStringLiteral("A-board")},
                                                                             {QStringLiteral("b"), QStringLiteral("B-board")}})},
        {QStringLiteral("selector"), stringParameter(QStringLiteral("selector"), {{QStringLiteral("s"), QStringLiteral("b")}})},
        {QStringLiteral("badSelector"), stringParameter(QStringLiteral("badSelector"), {{QStringLiteral("s"), QStringLiteral("zz")}})},
        {QStringLiteral("blankSelector"), stringParameter(QStringLiteral("blankSelector"), {{QStringLiteral("s"), QString()}})},
        {QStringLiteral("serial"), stringParameter(QStringLiteral("serial"), {{QStringLiteral("s"), QStringLiteral("param-serial")}})},
        {QStringLiteral("nested"), stringParameter(QStringLiteral("nested"), {{QStringLiteral("n"), QStringLiteral("${name}")}})},
        {QStringLiteral("tmp"), FlashParameterPtr(new FlashParameter(QStringLiteral("tmp"), QStringLiteral("tmp"), temporary))},
        {QStringLiteral("image"), FlashParameterPtr(new FlashParameter(QStringLiteral("image"), QStringLiteral("image"), missingFile))},
        {QStringLiteral("var"), variable(QStringLiteral("var"), QStringLiteral("vdef"))},
        {QStringLiteral("listVar"), variable(QStringLiteral("listVar"), QVariantList{1, 2})},
        {QStringLiteral("mapVar"), variable(QStringLiteral("mapVar"), QVariantMap{{QStringLiteral("k"), 1}})},
        {QStringLiteral("nullVar"), variable(QStringLiteral("nullVar"), QVariant())},
    };
    m_configuration = makeConfiguration(FlashConfiguration::UnknownGroupsDisabled, m_parameters);
    m_configuration->setFlashFileManager(m_flashFile);
    m_device = makeDevice(QStringLiteral("SER123"));
    relayApplicationLog(m_recorder);
}

void tst_ParameterSubstitution::init()
{
    m_recorder.clear();
}

QSharedPointer<FlashConfiguration> tst_ParameterSubstitution::configurationWith(const QStringList& selections) const
{
    FlashConfiguration::ParameterValues values;
    for (const QString& selection : selections)
        values[selection.section('=', 0, 0)] = selection.section('=', 1);
    const auto configuration = makeConfiguration(FlashConfiguration::UnknownGroupsDisabled, m_parameters, values);
    configuration->setFlashFileManager(m_flashFile);
    return configuration;
}

void tst_ParameterSubstitution::duringRun_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected"); // %serial %os %soc %port %dir %host %arch stand for their values
    QTest::addColumn<QString>("error");    // null: the reference resolves and the error is not touched

    QTest::newRow("no reference") << "plain ${ text" << "plain ${ text" << QString();
    QTest::newRow("serial beats the parameter") << "-s ${serial}" << "-s %serial" << QString();
    QTest::newRow("device serials") << "${soc_sn}/${soc_serial}/${os_sn}/${os_serial}" << "%soc/%soc/%os/%os" << QString();
    QTest::newRow("port") << "${port}" << "%port" << QString();
    QTest::newRow("flash folder") << "${flashDir}/boot.img" << "%dir/boot.img" << QString();
    QTest::newRow("older flash folder") << "${flash_dir}" << "%dir" << QString();
    QTest::newRow("host") << "${hostOsName}|${hostOsArch}" << "%host|%arch" << QString();
    QTest::newRow("option on predefined key") << "${hostOsArch,x}" << "${hostOsArch,x}"
                                              << "Cannot used dynamic option selection on predefined keys";
    QTest::newRow("option on device key") << "${serial,board}" << "${serial,board}"
                                          << "Cannot used dynamic option selection on predefined keys";
    QTest::newRow("single option") << "${name}" << "alpha" << QString();
    QTest::newRow("value is not scanned again") << "${nested}${name}" << "${name}alpha" << QString();
    QTest::newRow("unknown") << "a ${missing} b" << "a ${missing} b" << "Unknown parameter key 'missing'";
    QTest::newRow("two options, none selected") << "${board}" << "${board}"
                                                << "No default value set in configuration for the parameter 'board'";
    QTest::newRow("option selected by a parameter") << "${board,selector}" << "B-board" << QString();
    QTest::newRow("selector names an absent option") << "${board,badSelector}" << "${board,badSelector}"
                                                     << "The parameter 'board' does not have option index 'zz'";
    QTest::newRow("selector without a value") << "${board,blankSelector}" << "${board,blankSelector}" << QString();
    QTest::newRow("selector unknown") << "${board,nosuch}" << "${board,nosuch}"
                                      << "Undefined parameter 'nosuch' value used as parameter option index for 'board'";
    QTest::newRow("variable") << "${var}" << "vdef" << QString();
    QTest::newRow("variable holding a list") << "${listVar}" << "${listVar}" << "The variable listVar is a list";
    QTest::newRow("variable holding an object") << "${mapVar}" << "${mapVar}" << "The variable mapVar is a object";
    QTest::newRow("variable without value") << "${nullVar}" << "${nullVar}" << "The variable nullVar is null or undefined";
    QTest::newRow("option on a variable") << "${var,selector}" << "${var,selector}"
                                          << "Cannot used dynamic option selection on variables";
    QTest::newRow("list variable as selector")
        << "${board,listVar}" << "${board,listVar}"
        << "The variable listVar used for the dynamic option selection of 'board' is a list";
    QTest::newRow("null variable as selector")
        << "${board,nullVar}" << "${board,nullVar}"
        << "The variable nullVar used for the dynamic option selection of 'board' is null or undefined";
    QTest::newRow("variable as selector") << "${board,var}" << "${board,var}"
                                          << "The parameter 'board' does not have option index 'vdef'";
    QTest::newRow("two failures, in text order")
        << "${missing} ${board}" << "${missing} ${board}"
        << "Unknown parameter key 'missing'\nNo default value set in configuration for the parameter 'board'";
}

void tst_ParameterSubstitution::duringRun()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QFETCH(QString, error);
    const SharedPointer<FlashRunner> runner = makeRunner(m_device, m_configuration);
    expected = withHostValues(expected)
                   .replace(QLatin1String("%serial"), m_device->getSerial())
                   .replace(QLatin1String("%soc"), m_device->getSocSerial())
                   .replace(QLatin1String("%os"), m_device->getPlatformSerial())
                   .replace(QLatin1String("%port"), QStringLiteral("1-2"))
                   .replace(QLatin1String("%dir"), m_dir.path());

    bool ok = false;
    QString message = QStringLiteral("untouched");
    QCOMPARE(FlashCommand::replaceParameters(*runner, text, &ok, &message), expected);
    QCOMPARE(ok, error.isNull());
    QCOMPARE(message, error.isNull() ? QStringLiteral("untouched") : error);
    QVERIFY2(m_device->getSerial() == QLatin1String("SER123"), "device serial");
}

void tst_ParameterSubstitution::flashDirNeedsAFileFromDisk()
{
    const auto withoutFile = makeConfiguration(FlashConfiguration::UnknownGroupsDisabled, m_parameters);
    const SharedPointer<FlashRunner> runner = makeRunner(m_device, withoutFile);
    QString error;
    bool ok = true;
    QCOMPARE(FlashCommand::replaceParameters(*runner, QStringLiteral("${flashDir}/x"), &ok, &error),
             QStringLiteral("${flashDir}/x"));
    QVERIFY(!ok);
    QCOMPARE(error, QStringLiteral("Cannot use ${flashDir} predefined key without loading a file from disk"));
    QCOMPARE(FlashCommand::replaceParameters(*withoutFile, QStringLiteral("${flashDir}/x"), &ok),
             QStringLiteral("${flashDir}/x"));
    QVERIFY(!ok);

    FlashRunner bare;
    QCOMPARE(FlashCommand::replaceParameters(bare, QStringLiteral("${flash_dir}"), &ok, &error),
             QStringLiteral("${flash_dir}"));
    QCOMPARE(error, QStringLiteral("Cannot use ${flashDir} predefined key without loading a configuration"));
}

void tst_ParameterSubstitution::deviceKeysNeedADevice()
{
    const SharedPointer<FlashRunner> runner = makeRunner(SharedPointer<FlashDevice2>(), m_configuration);
    QString error;
    bool ok = true;
    QCOMPARE(FlashCommand::replaceParameters(*runner, QStringLiteral("${serial} ${port}"), &ok, &error),
             QStringLiteral("param-serial ${port}"));
    QCOMPARE(error, QStringLiteral("Unknown parameter key 'port'"));
}

void tst_ParameterSubstitution::variableKeepsItsValuePerRun()
{
    const SharedPointer<FlashRunner> first = makeRunner(m_device, m_configuration);
    const SharedPointer<FlashRunner> second = makeRunner(makeDevice(QStringLiteral("OTHER")), m_configuration);
    const auto value = m_parameters.at(QStringLiteral("var")).dynamicCast<FlashVariable>()->getVariableValue();
    value->setValue(*first, QStringLiteral("computed"));

    QCOMPARE(FlashCommand::replaceParameters(*first, QStringLiteral("${var}")), QStringLiteral("computed"));
    QCOMPARE(FlashCommand::replaceParameters(*second, QStringLiteral("${var}")), QStringLiteral("vdef"));

    // A temporary file is this run's own file under the per-user root.
    const QString firstFile = FlashCommand::replaceParameters(*first, QStringLiteral("${tmp}"));
    QVERIFY2(firstFile.startsWith(FlashParameterValueTemporaryFileStorage::rootFolder() + QStringLiteral("log.")),
             qPrintable(firstFile));
    QCOMPARE(FlashCommand::replaceParameters(*first, QStringLiteral("${tmp}")), firstFile);
    QVERIFY(FlashCommand::replaceParameters(*second, QStringLiteral("${tmp}")) != firstFile);
}

void tst_ParameterSubstitution::outsideRun_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("ok");

    QTest::newRow("single option") << "${name}" << "alpha" << true;
    QTest::newRow("not scanned again") << "${nested}" << "${name}" << true;
    QTest::newRow("variable waits for the run") << "${var}" << "${var}" << true;
    QTest::newRow("option by parameter") << "${board,selector}" << "B-board" << true;
    QTest::newRow("option by variable waits for the run") << "${board,var}" << "${board,var}" << true;
    QTest::newRow("absent option") << "${board,badSelector}" << "${board,badSelector}" << false;
    QTest::newRow("selector without a value") << "${board,blankSelector}" << "${board,blankSelector}" << true;
    QTest::newRow("no value") << "${board}" << "${board}" << false;
    QTest::newRow("option on variable") << "${var,selector}" << "${var,selector}" << false;
    QTest::newRow("unknown") << "${missing}" << "${missing}" << false;
    QTest::newRow("device keys are not predefined here") << "${serial}" << "param-serial" << true;
    QTest::newRow("flash folder") << "${flashDir}|${flash_dir}" << "%dir|%dir" << true;
    QTest::newRow("host") << "${hostOsName}|${hostOsArch}" << "%host|%arch" << true;
    QTest::newRow("option on predefined key") << "${hostOsName,x}" << "${hostOsName,x}" << false;
}

void tst_ParameterSubstitution::outsideRun()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QFETCH(bool, ok);
    expected = withHostValues(expected).replace(QLatin1String("%dir"), m_dir.path());
    bool resolved = !ok;
    QCOMPARE(FlashCommand::replaceParameters(*m_configuration, text, &resolved), expected);
    QCOMPARE(resolved, ok);
}

void tst_ParameterSubstitution::check_data()
{
    QTest::addColumn<QStringList>("texts");      // one command each; "define:<id>" defines a variable
    QTest::addColumn<QStringList>("selections"); // name=id
    QTest::addColumn<QString>("error");

    QTest::newRow("resolvable") << QStringList{"${name} ${board,selector} ${serial,x} ${hostOsArch}"}
                                << QStringList{} << QString();
    QTest::newRow("unknown parameter") << QStringList{"${name}", "${missing}"} << QStringList{}
                                       << "Parameter 'missing' not found.";
    QTest::newRow("unknown selector") << QStringList{"${board,nosuch}"} << QStringList{}
                                      << "Parameter 'nosuch' not found.";
    QTest::newRow("no selection") << QStringList{"${board}"} << QStringList{}
                                  << "A value for the parameter 'board' must be specified in configuration 'cfg'.";
    QTest::newRow("selection") << QStringList{"${board}"} << QStringList{"board=a"} << QString();
    QTest::newRow("selector names an absent option") << QStringList{"${board,badSelector}"} << QStringList{}
                                                     << "A value for the parameter 'board' must be specified in configuration 'cfg'.";
    QTest::newRow("file not found") << QStringList{"${image}"} << QStringList{}
                                    << "%absent";
    QTest::newRow("variable used before it is set") << QStringList{"${nullVar}", "define:nullVar"} << QStringList{}
                                                    << "The variable 'nullVar' value is not defined when first used in configuration 'cfg'.";
    QTest::newRow("variable set first") << QStringList{"define:nullVar", "${nullVar}"} << QStringList{} << QString();
    QTest::newRow("variable with a default") << QStringList{"${var}"} << QStringList{} << QString();
    QTest::newRow("selection of an unknown parameter comes first")
        << QStringList{"${missing}"} << QStringList{"ghost=a"} << "Parameter 'ghost' not found.";
    QTest::newRow("selection of an absent option")
        << QStringList{"${missing}"} << QStringList{"board=zz"}
        << "Value 'zz' for the parameter 'board' specified in configuration 'cfg' does not exist.";
}

void tst_ParameterSubstitution::check()
{
    QFETCH(QStringList, texts);
    QFETCH(QStringList, selections);
    QFETCH(QString, error);
    if (error == QLatin1String("%absent"))
        error = QDir::toNativeSeparators(m_dir.filePath(QStringLiteral("absent.img"))) + QStringLiteral(" not found");
    const auto configuration = configurationWith(selections);
    for (const QString& text : texts) {
        auto* command = new ScriptedCommand(QStringLiteral("c"));
        if (text.startsWith(QLatin1String("define:")))
            command->m_definesVariable = text.mid(7);
        else
            command->m_text = text;
        configuration->appendCommand(QSharedPointer<FlashCommand>(command));
    }
    QCOMPARE(configuration->getError(), error);
    QCOMPARE(configuration->getError().isNull(), error.isNull());
}

void tst_ParameterSubstitution::deprecatedFlashDirWarnsTwice()
{
    auto* command = new ScriptedCommand(QStringLiteral("c"));
    command->m_text = QStringLiteral("${flash_dir}/boot.img");
    const auto configuration = configurationWith({});
    configuration->appendCommand(QSharedPointer<FlashCommand>(command));

    QVERIFY(configuration->getError().isNull());
    QCOMPARE(m_recorder.rendered({QStringLiteral("app WARNING")}),
             (QStringList{QStringLiteral("app WARNING ${flash_dir} predefined parameter usage is deprecated."),
                          QStringLiteral("app WARNING Use ${flashDir} instead")}));
}

QTEST_GUILESS_MAIN(tst_ParameterSubstitution)
#include "tst_ParameterSubstitution.moc"
