#include "ToolsTestKit.h"

#include <QSettings>
#include <QtTest>

using namespace ToolsTestKit;

class tst_ExternalToolManager : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void userToolBecomesACommandKind();
    void userToolReplacesABuiltInKindUntilRemoved_data();
    void userToolReplacesABuiltInKindUntilRemoved();
    void internalToolKeepsItsKind();
    void removingAUserToolRemovesItsKind();
    void saveReplacesOnlyTheToolsGroup();
    void loadsAddUp();

private:
    QString toolsFile(const QString& name, const QMap<QString, QString>& tools);
    // The class name of the command that `toolId` gives; empty when none is made.
    QString kindOf(const QString& toolId);

    QTemporaryDir m_dir;
    QString m_record;
    QString m_stub;
    RecordingLogSink m_recorder;
};

void tst_ExternalToolManager::initTestCase()
{
    registerMetaTypes();
    relayApplicationLog(m_recorder);
    QVERIFY(m_dir.isValid());
    m_record = m_dir.filePath(QStringLiteral("helper.record"));
    m_stub = recordingStub(m_dir, QStringLiteral("helper"), m_record);
}

void tst_ExternalToolManager::init()
{
    resetRegistry();
    QFile::remove(m_record);
    m_recorder.clear();
}

QString tst_ExternalToolManager::toolsFile(const QString& name, const QMap<QString, QString>& tools)
{
    const QString path = m_dir.filePath(name);
    QFile::remove(path);
    QSettings settings(path, QSettings::IniFormat);
    settings.setValue(QStringLiteral("ADB"), QStringLiteral("/legacy/adb"));
    for (auto tool = tools.cbegin(); tool != tools.cend(); ++tool)
        settings.setValue(QStringLiteral("Tools/") + tool.key(), tool.value());
    return path;
}

QString tst_ExternalToolManager::kindOf(const QString& toolId)
{
    // Keys enough for every kind that may stand behind these ids.
    const QSharedPointer<FlashCommand> made = command(
        R"({"tool": ")" + toolId.toUtf8()
        + R"(", "timeout": 1000, "retry": 1, "description": "d", "source": "${fw}", "variable": "v"})");
    return made ? QString::fromLatin1(made->metaObject()->className()) : QString();
}

void tst_ExternalToolManager::userToolBecomesACommandKind()
{
    ExternalToolManager& tools = ExternalToolManager::instance();
    tools.loadFile(toolsFile(QStringLiteral("tools.opt"),
                             {{QStringLiteral("adb"), QStringLiteral("/x/adb")},
                              {QStringLiteral("fastboot"), QStringLiteral("/x/fastboot")},
                              {QStringLiteral("dfuDownloader"), QStringLiteral("/x/dfu-util")},
                              {QStringLiteral("helper"), m_stub}}));

    QCOMPARE(tools.getExternalTools(), (QMap<QString, QString>{{QStringLiteral("helper"), m_stub}}));
    QCOMPARE(tools.getTool(QStringLiteral("adb")), QStringLiteral("/x/adb"));
    QCOMPARE(tools.getTool(QStringLiteral("never")), QString());
    QCOMPARE(kindOf(QStringLiteral("adb")), QStringLiteral("AdbFlashCommand"));

    const QSharedPointer<FlashCommand> helper =
        command(R"({"tool": "helper", "timeout": 30000, "retry": 1, "description": "d", "args": "one 'two words'"})");
    QVERIFY(helper);
    QCOMPARE(QString::fromLatin1(helper->metaObject()->className()), QStringLiteral("ShellFlashCommand"));
    const SharedPointer<FlashDevice2> target = device(QStringLiteral("S1"), DeviceState::MainOs);
    QCOMPARE(helper->execute(makeRunner(target, makeConfiguration(), &m_recorder), target), ExecuteSuccess);
    const QStringList expected{QStringLiteral("one"), QStringLiteral("two words")};
    QCOMPARE(recordedRuns(m_record), QList<QStringList>{expected});
}

void tst_ExternalToolManager::userToolReplacesABuiltInKindUntilRemoved_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("builtIn");
    QTest::newRow("cat") << "cat" << "CatFlashCommand";
    QTest::newRow("setVariable") << "setVariable" << "SetVariableFlashCommand";
}

void tst_ExternalToolManager::userToolReplacesABuiltInKindUntilRemoved()
{
    QFETCH(QString, id);
    QFETCH(QString, builtIn);
    QCOMPARE(kindOf(id), builtIn);

    QVERIFY(ExternalToolManager::instance().useTool(id, m_stub));
    QCOMPARE(kindOf(id), QStringLiteral("ShellFlashCommand"));
    ExternalToolManager::instance().registerTools();  // twice: still one kind
    QCOMPARE(kindOf(id), QStringLiteral("ShellFlashCommand"));

    ExternalToolManager::instance().removeTool(id);
    QCOMPARE(kindOf(id), builtIn);
    QCOMPARE(FMConst::getTool(id), QString());
}

void tst_ExternalToolManager::internalToolKeepsItsKind()
{
    QVERIFY(ExternalToolManager::instance().useTool(QStringLiteral("fastboot"), m_stub));
    QCOMPARE(kindOf(QStringLiteral("fastboot")), QStringLiteral("FastbootFlashCommand"));
    ExternalToolManager::instance().removeTool(QStringLiteral("fastboot"));
    QCOMPARE(FMConst::getTool(QStringLiteral("fastboot")), QString());
    QCOMPARE(kindOf(QStringLiteral("fastboot")), QStringLiteral("FastbootFlashCommand"));
}

void tst_ExternalToolManager::removingAUserToolRemovesItsKind()
{
    ExternalToolManager& tools = ExternalToolManager::instance();
    QVERIFY(ExternalToolManager::instance().useTool(QStringLiteral("helper"), m_stub));
    tools.removeTool(QStringLiteral("absent"));
    QCOMPARE(kindOf(QStringLiteral("helper")), QStringLiteral("ShellFlashCommand"));

    tools.removeTool(QStringLiteral("helper"));
    QCOMPARE(kindOf(QStringLiteral("helper")), QString());
    QVERIFY(m_recorder.texts(Logger::ERROR).contains(QStringLiteral("Cannot create command, unknown tool 'helper'")));
}

void tst_ExternalToolManager::saveReplacesOnlyTheToolsGroup()
{
    ExternalToolManager& tools = ExternalToolManager::instance();
    const QString path = toolsFile(QStringLiteral("saved.opt"), {{QStringLiteral("helper"), m_stub},
                                                                 {QStringLiteral("other"), m_stub}});
    tools.loadFile(path);
    tools.removeTool(QStringLiteral("other"));
    tools.setTool(QStringLiteral("adb"), QStringLiteral("/x/adb"));
    tools.saveFile(path);

    QSettings settings(path, QSettings::IniFormat);
    settings.beginGroup(QStringLiteral("Tools"));
    QCOMPARE(settings.childKeys(), (QStringList{"adb", "helper"}));
    settings.endGroup();
    QCOMPARE(settings.value(QStringLiteral("ADB")).toString(), QStringLiteral("/legacy/adb"));
}

void tst_ExternalToolManager::loadsAddUp()
{
    ExternalToolManager& tools = ExternalToolManager::instance();
    tools.loadFile(toolsFile(QStringLiteral("first.opt"), {{QStringLiteral("a"), QStringLiteral("/1/a")},
                                                           {QStringLiteral("b"), QStringLiteral("/1/b")}}));
    tools.loadFile(toolsFile(QStringLiteral("second.opt"), {{QStringLiteral("b"), QStringLiteral("/2/b")},
                                                            {QStringLiteral("c"), QStringLiteral("/2/c")}}));

    QCOMPARE(tools.getTools(), (QMap<QString, QString>{{QStringLiteral("a"), QStringLiteral("/1/a")},
                                                       {QStringLiteral("b"), QStringLiteral("/2/b")},
                                                       {QStringLiteral("c"), QStringLiteral("/2/c")}}));
}

QTEST_GUILESS_MAIN(tst_ExternalToolManager)
#include "tst_ExternalToolManager.moc"
