#include "ToolsTestKit.h"

#include "tools/CatFlashCommand.h"

#include <QtTest>

#include <limits>

using namespace ToolsTestKit;

class tst_CatFlashCommand : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void createErrors_data();
    void createErrors();
    void fixedRecordValues();
    void content_data();
    void content();
    void missingFileFails();
    void check_data();
    void check();
    void writtenBack_data();
    void writtenBack();
    void editorForm();

private:
    QSharedPointer<FlashCommand> cat(const QByteArray& keys);

    QTemporaryDir m_dir;
    RecordingLogSink m_recorder;
    QSharedPointer<FlashConfiguration> m_configuration;
    SharedPointer<FlashRunner> m_runner;
};

void tst_CatFlashCommand::initTestCase()
{
    registerMetaTypes();
    relayApplicationLog(m_recorder);
    QVERIFY(m_dir.isValid());
    QFile file(m_dir.filePath(QStringLiteral("version.bin")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray("z\0z", 3));
    file.close();
    m_configuration = makeConfiguration(
        FlashConfiguration::UnknownGroupsEnabled,
        {{QStringLiteral("fw"), fileParameter(QStringLiteral("fw"), file.fileName())},
         {QStringLiteral("gone"), fileParameter(QStringLiteral("gone"), m_dir.filePath(QStringLiteral("gone")))},
         {QStringLiteral("name"), stringParameter(QStringLiteral("name"), QStringLiteral("x"))}});
}

void tst_CatFlashCommand::init()
{
    resetRegistry();
    const SharedPointer<FlashDevice2> target = device(QStringLiteral("S1"), DeviceState::MainOs);
    m_runner = makeRunner(target, m_configuration, &m_recorder);
    m_recorder.clear();
}

QSharedPointer<FlashCommand> tst_CatFlashCommand::cat(const QByteArray& keys)
{
    return command(R"({"tool": "cat", "description": "Read ${name}", )" + keys + "}");
}

void tst_CatFlashCommand::createErrors_data()
{
    QTest::addColumn<QByteArray>("keys");
    QTest::addColumn<QString>("error");  // empty: created

    QTest::newRow("plain reference") << QByteArray(R"("source": "${fw}")") << QString();
    QTest::newRow("reference with option") << QByteArray(R"("source": "${image,release}")") << QString();
    QTest::newRow("no source") << QByteArray(R"("mode": "hex")") << "Missing source in Cat command";
    QTest::newRow("source not a text") << QByteArray(R"("source": 1)") << "Missing source in Cat command";
    QTest::newRow("two references") << QByteArray(R"("source": "${a}${b}")") << "Invalid value for source in Cat command";
    QTest::newRow("prefix") << QByteArray(R"("source": "prefix${a}")") << "Invalid value for source in Cat command";
    QTest::newRow("two options") << QByteArray(R"("source": "${a,b,x}")") << "Invalid value for source in Cat command";
    QTest::newRow("empty") << QByteArray(R"("source": "")") << "Invalid value for source in Cat command";
    QTest::newRow("mode in capitals") << QByteArray(R"("source": "${fw}", "mode": "HEX")")
                                      << "Invalid `mode` value type in Cat command";
    QTest::newRow("mode a number") << QByteArray(R"("source": "${fw}", "mode": 1)")
                                   << "Invalid `mode` value type in Cat command";
}

void tst_CatFlashCommand::createErrors()
{
    QFETCH(QByteArray, keys);
    QFETCH(QString, error);

    const QSharedPointer<FlashCommand> created = cat(keys);
    const QStringList errors = m_recorder.rendered({QStringLiteral("app ERROR")});
    if (error.isEmpty()) {
        QVERIFY2(created.dynamicCast<CatFlashCommand>(), qPrintable(errors.join('\n')));
    } else {
        QVERIFY(!created);
        QCOMPARE(errors.value(0), QStringLiteral("app ERROR ") + error);
    }
}

void tst_CatFlashCommand::fixedRecordValues()
{
    const auto created = cat(R"("source": "${fw}", "timeout": 5, "retry": 9, "mandatory": false, "args": "x")")
                             .dynamicCast<CatFlashCommand>();
    QVERIFY(created);
    QCOMPARE(created->getTimeout(), std::numeric_limits<uint64_t>::max());
    QCOMPARE(created->getShellData().retry, uint64_t(1));
    QVERIFY(created->getShellData().args.isEmpty());
    QVERIFY(created->isMandatory());
    QCOMPARE(created->getType(), FlashTypes::CommandType::Internal);
    QVERIFY(!created->isFlashOnlyCommand());
}

void tst_CatFlashCommand::content_data()
{
    QTest::addColumn<QByteArray>("mode");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("ascii by default") << QByteArray() << QByteArray("z");
    QTest::newRow("hex") << QByteArray(R"(, "mode": "hex")") << QByteArray("7a007a");
}

void tst_CatFlashCommand::content()
{
    QFETCH(QByteArray, mode);
    QFETCH(QByteArray, expected);
    const auto created = cat(R"("source": "${fw}")" + mode).dynamicCast<CatFlashCommand>();
    QVERIFY(created);

    QByteArray output("stale");
    QString error;
    QCOMPARE(created->performCommandWithOutputBuffer(m_runner, m_runner->getDevice(), 1, error, &output),
             int(PerformSuccess));
    QCOMPARE(output, expected);
    QCOMPARE(created->execute(m_runner, m_runner->getDevice()), ExecuteSuccess);
}

void tst_CatFlashCommand::missingFileFails()
{
    const QSharedPointer<FlashCommand> created = cat(R"("source": "${gone}")");
    QCOMPARE(created->execute(m_runner, m_runner->getDevice()), ExecuteFailed);
    QCOMPARE(m_recorder.texts(Logger::ERROR),
             QStringList{QStringLiteral("Fail to open file '%1'").arg(m_dir.filePath(QStringLiteral("gone")))});
}

void tst_CatFlashCommand::check_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QString>("error");  // null: sound

    QTest::newRow("file parameter") << QByteArray("${fw}") << QString();
    QTest::newRow("string parameter") << QByteArray("${name}")
                                      << "Parameter name must be a file or a temporary file";
    QTest::newRow("unknown parameter") << QByteArray("${nope}") << "Parameter 'nope' not found.";
}

void tst_CatFlashCommand::check()
{
    QFETCH(QByteArray, source);
    QFETCH(QString, error);
    std::set<QString> defined;
    const QSharedPointer<FlashCommand> created = cat("\"source\": \"" + source + "\"");
    QCOMPARE(created->checkParameters(*m_configuration, defined), error);
}

void tst_CatFlashCommand::writtenBack_data()
{
    QTest::addColumn<QByteArray>("keys");
    QTest::addColumn<QString>("mode");
    QTest::newRow("hex in a group") << QByteArray(R"("source": "${fw}", "mode": "hex")") << "hex";
    QTest::newRow("mode absent") << QByteArray(R"("source": "${fw}")") << "ascii";
}

void tst_CatFlashCommand::writtenBack()
{
    QFETCH(QByteArray, keys);
    QFETCH(QString, mode);
    const QSharedPointer<FlashCommand> created = cat(keys);
    created->setGroup(QStringLiteral("g"));

    const QVariantMap json = created->toJson().toQVariantMap();
    QCOMPARE(json.keys(), (QStringList{"description", "group", "mode", "source", "tool"}));
    QCOMPARE(json.value(QStringLiteral("mode")).toString(), mode);
    QCOMPARE(json.value(QStringLiteral("tool")).toString(), QStringLiteral("cat"));
    QCOMPARE(json.value(QStringLiteral("group")).toString(), QStringLiteral("g"));
    QCOMPARE(created->getLogCommand(m_runner), QStringLiteral("cat ") + m_dir.filePath(QStringLiteral("version.bin")));
    QCOMPARE(created->getUserFriendlyCommand(m_runner), QStringLiteral("Read x"));
    QCOMPARE(created->getToolParameters(), QStringLiteral("cat ${fw}"));
}

void tst_CatFlashCommand::editorForm()
{
    const JsonObjectList form = cat(R"("source": "${fw}", "mode": "hex")")->getJsonEditorInterface();
    const auto field = [&form](const QString& id) {
        return form.findFromField(QStringLiteral("id"), id)->toQVariantMap();
    };
    QCOMPARE(form.size(), 4);
    QCOMPARE(field(QStringLiteral("tool")).value(QStringLiteral("value")).toString(), QStringLiteral("cat"));
    QCOMPARE(field(QStringLiteral("source")).value(QStringLiteral("value")).toString(), QStringLiteral("${fw}"));
    QCOMPARE(field(QStringLiteral("source")).value(QStringLiteral("required")).toString(), QStringLiteral("true"));
    QCOMPARE(field(QStringLiteral("mode")).value(QStringLiteral("value")).toString(), QStringLiteral("hex"));
    QCOMPARE(field(QStringLiteral("mode")).value(QStringLiteral("allowedValues")).toMap().value(QStringLiteral("hex")).toString(),
             QStringLiteral("Hexa"));
    QCOMPARE(field(QStringLiteral("description")).value(QStringLiteral("value")).toString(),
             QStringLiteral("Read ${name}"));
}

QTEST_GUILESS_MAIN(tst_CatFlashCommand)
#include "tst_CatFlashCommand.moc"
