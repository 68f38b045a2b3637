// The flash editor's three lists over a loaded flash file: what each row shows, which
// configuration the lists read through, and the row changes views hear across loads and edits.

#include "ui/editor/FlashCommandItemModel.h"
#include "ui/editor/FlashConfigurationItemModel.h"
#include "ui/editor/FlashParameterItemModel.h"

#include "loader/FlashFileManager.h"
#include "model/FlashParameter.h"
#include "model/FlashParameterValueString.h"
#include "tools/BuiltInKinds.h"

#include <QAbstractItemModelTester>
#include <QFile>
#include <QFont>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Configurations "a" (default, 2 commands), "b" (1 command) and "c" (none, and named as "a");
// three parameters, "mode" with two values, and two variables.
const QByteArray ms_kFlashFile = R"({"flash": {
    "version": "3.0",
    "parameters": {
        "boot": {"type": "string", "name": "Boot", "value": "boot.img", "description": "Boot"},
        "counter": {"type": "variable", "name": "Counter", "description": "Counter",
                    "computedValue": "1 + 1", "value": 3},
        "mode": {"type": "string", "name": "Mode", "options": {
            "fast": {"value": "-f", "description": "Fast"},
            "safe": {"value": "-s", "description": "Safe"}}},
        "slot": {"type": "string", "name": "Slot", "value": "_a", "description": "Slot"},
        "stamp": {"type": "variable", "name": "Stamp", "description": "Stamp",
                  "computedValue": "2", "value": 1}
    },
    "configurations": {
        "a": {"name": "Full", "startState": "pos", "default": true, "parameters": {"mode": "fast"}},
        "b": {"name": "Quick", "startState": "pos", "parameters": {"mode": "safe"}},
        "c": {"name": "Full", "startState": "pos"}
    },
    "commands": [
        {"tool": "fastboot", "args": "flash boot ${boot}", "restrict": ["a", "b"],
         "timeout": 1000, "retry": 1, "description": "Flash", "mandatory": true},
        {"tool": "fastboot", "args": "reboot ${mode}", "restrict": ["a"],
         "timeout": 1000, "retry": 1, "description": "Reboot", "mandatory": true}
    ]
}})";

// Another file: its default "z" runs its one command.
const QByteArray ms_kOtherFlashFile = R"({"flash": {
    "version": "3.0",
    "parameters": {},
    "configurations": {"y": {"name": "Y", "startState": "pos"},
                       "z": {"name": "Z", "startState": "pos", "default": true}},
    "commands": [{"tool": "fastboot", "args": "reboot", "restrict": ["z"],
                  "timeout": 1000, "retry": 1, "description": "Reboot", "mandatory": true}]
}})";

QStringList columnTexts(const QAbstractItemModel& model, int column, int role = Qt::DisplayRole)
{
    QStringList texts;
    for (int row = 0; row < model.rowCount(); ++row)
        texts << model.index(row, column).data(role).toString();
    return texts;
}

QList<int> checkStates(const QAbstractItemModel& model)
{
    QList<int> states;
    for (int row = 0; row < model.rowCount(); ++row)
        states << model.index(row, 0).data(Qt::CheckStateRole).toInt();
    return states;
}

QSharedPointer<FlashParameter> stringParameter(const QString& id, const QString& value)
{
    const std::map<QString, FlashParameterValueString*> values{
        {QString(), new FlashParameterValueString(QString(), value, QStringLiteral("text"))}};
    return QSharedPointer<FlashParameter>::create(id, id.toUpper(), values);
}

} // namespace

class tst_EditorItemModels : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void configurationRows_data();
    void configurationRows();
    void commandRows_data();
    void commandRows();
    void commandCheckIsIdentity();
    void parameterRows_data();
    void parameterRows();
    void anotherFileDropsTheConfiguration();
    void headers_data();
    void headers();
    void viewsHearExactlyTheShownRows();

private:
    QSharedPointer<FlashFileManager> load(const QByteArray& content);

    QTemporaryDir m_dir;
    int m_files = 0;
};

void tst_EditorItemModels::initTestCase()
{
    QVERIFY(m_dir.isValid());
    BuiltInKinds::registerAll();
}

QSharedPointer<FlashFileManager> tst_EditorItemModels::load(const QByteArray& content)
{
    const QString path = m_dir.filePath(QStringLiteral("flash%1.json").arg(++m_files));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        return {};
    file.close();
    return FlashFileManager::loadFromFile(path, true);
}

void tst_EditorItemModels::configurationRows_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("label");
    QTest::addColumn<bool>("bold");

    QTest::newRow("default, two commands") << "a" << "Full [2 commands] [Default]" << true;
    QTest::newRow("one command") << "b" << "Quick [1 command]" << false;
    QTest::newRow("no command, the default's name") << "c" << "Full [0 command]" << false;
}

void tst_EditorItemModels::configurationRows()
{
    QFETCH(QString, id);
    QFETCH(QString, label);
    QFETCH(bool, bold);

    const QSharedPointer<FlashFileManager> file = load(ms_kFlashFile);
    QVERIFY(file);
    FlashConfigurationItemModel model;
    model.setSource(file);
    QCOMPARE(columnTexts(model, 0, Qt::UserRole), (QStringList{"a", "b", "c"}));

    const QSharedPointer<FlashConfiguration> configuration = file->getConfiguration(id);
    const QModelIndex index = model.getIndexFromConfiguration(configuration, 0);
    QVERIFY(index.isValid());
    QCOMPARE(model.getConfigurationFromIndex(index), configuration);
    QCOMPARE(model.getConfigurationFromIndex(index.row()), configuration);
    QCOMPARE(index.data().toString(), label);
    const QVariant font = index.data(Qt::FontRole);
    QCOMPARE(font.isValid(), bold);
    if (bold)
        QCOMPARE(font.value<QFont>().weight(), 75);
    QVERIFY(!model.getIndexFromConfiguration(configuration, 1).isValid());
}

void tst_EditorItemModels::commandRows_data()
{
    QTest::addColumn<QString>("configuration"); // null: none chosen, the file's default applies
    QTest::addColumn<QList<int>>("checks");

    QTest::newRow("default") << QString() << QList<int>{Qt::Checked, Qt::Checked};
    QTest::newRow("b") << "b" << QList<int>{Qt::Checked, Qt::Unchecked};
    QTest::newRow("c") << "c" << QList<int>{Qt::Unchecked, Qt::Unchecked};
}

void tst_EditorItemModels::commandRows()
{
    QFETCH(QString, configuration);
    QFETCH(QList<int>, checks);

    const QSharedPointer<FlashFileManager> file = load(ms_kFlashFile);
    QVERIFY(file);
    FlashCommandItemModel model;
    model.setSource(file);
    if (!configuration.isNull())
        model.setConfiguration(file->getConfiguration(configuration));

    QCOMPARE(checkStates(model), checks);
    QCOMPARE(columnTexts(model, 0), (QStringList{"1", "2"}));
    QCOMPARE(columnTexts(model, 1), (QStringList{"fastboot", "fastboot"}));
    QCOMPARE(model.index(1, 2).data(Qt::EditRole).toString(), file->getCommandList()[1]->getToolParameters());

    const QSharedPointer<FlashCommand> second = file->getCommandList()[1];
    QCOMPARE(model.getIndexFromCommand(second, 2), model.index(1, 2));
    QCOMPARE(model.getCommandFromIndex(model.index(1, 2)), second);
    QVERIFY(!model.getIndexFromCommand(second, 3).isValid());
    QVERIFY(!model.getCommandFromIndex(2));
}

void tst_EditorItemModels::commandCheckIsIdentity()
{
    const QSharedPointer<FlashFileManager> file = load(ms_kFlashFile);
    QVERIFY(file);
    const QSharedPointer<FlashConfiguration> quick = file->getConfiguration(QStringLiteral("b"));
    FlashCommandItemModel model;
    model.setSource(file);
    model.setConfiguration(quick);

    const QSharedPointer<FlashCommand> reboot = file->getCommandList()[1];
    QVERIFY(quick->setCommand(1, reboot->clone()));
    model.onDataChanged();
    QCOMPARE(model.index(1, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));

    QVERIFY(quick->setCommand(1, reboot));
    model.onDataChanged();
    QCOMPARE(model.index(1, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
}

void tst_EditorItemModels::parameterRows_data()
{
    QTest::addColumn<QString>("configuration"); // null: a file without configurations
    QTest::addColumn<QString>("mode");

    QTest::newRow("a selects fast") << "a" << "-f";
    QTest::newRow("b selects safe") << "b" << "-s";
    QTest::newRow("c selects none") << "c" << "Undefined";
    QTest::newRow("no configuration") << QString() << "Undefined";
}

void tst_EditorItemModels::parameterRows()
{
    QFETCH(QString, configuration);
    QFETCH(QString, mode);

    const QSharedPointer<FlashFileManager> loaded = load(ms_kFlashFile);
    QVERIFY(loaded);
    QSharedPointer<FlashFileManager> file = loaded;
    if (configuration.isNull()) {
        file = QSharedPointer<FlashFileManager>::create();
        for (const auto& entry : loaded->getParametersList())
            file->setParameter(entry.second);
    }
    FlashParameterItemModel model;
    model.setSource(file);
    if (!configuration.isNull())
        model.setConfiguration(file->getConfiguration(configuration));

    QCOMPARE(columnTexts(model, 0), (QStringList{"boot", "mode", "slot"}));
    QCOMPARE(columnTexts(model, 1), (QStringList{"Boot", "Mode", "Slot"}));
    QCOMPARE(columnTexts(model, 2), (QStringList{"boot.img", mode, "_a"}));
    QCOMPARE(model.getParameterDataFromIndex(model.index(1, 2)), file->getParameter(QStringLiteral("mode")));
    QVERIFY(!model.index(0, 3).isValid());
}

// The lists read through the chosen configuration until another file comes; the same file keeps
// the choice, another one (or a null choice) brings the file's default back.
void tst_EditorItemModels::anotherFileDropsTheConfiguration()
{
    const QSharedPointer<FlashFileManager> file = load(ms_kFlashFile);
    const QSharedPointer<FlashFileManager> other = load(ms_kOtherFlashFile);
    QVERIFY(file && other);
    FlashCommandItemModel commands;
    FlashParameterItemModel parameters;
    const auto setSource = [&](const QSharedPointer<FlashFileManager>& source) {
        commands.setSource(source);
        parameters.setSource(source);
    };
    const auto choose = [&](const QSharedPointer<FlashConfiguration>& configuration) {
        commands.setConfiguration(configuration);
        parameters.setConfiguration(configuration);
    };
    const QList<int> quick{Qt::Checked, Qt::Unchecked};
    const QList<int> full{Qt::Checked, Qt::Checked};

    setSource(file);
    choose(file->getConfiguration(QStringLiteral("b")));
    setSource(file);
    QCOMPARE(checkStates(commands), quick);
    QCOMPARE(parameters.index(1, 2).data().toString(), QStringLiteral("-s"));

    setSource(other);
    QCOMPARE(checkStates(commands), QList<int>{Qt::Checked});
    setSource(file);
    QCOMPARE(checkStates(commands), full);
    QCOMPARE(parameters.index(1, 2).data().toString(), QStringLiteral("-f"));

    choose(file->getConfiguration(QStringLiteral("b")));
    QCOMPARE(checkStates(commands), quick);
    choose(QSharedPointer<FlashConfiguration>());
    QCOMPARE(checkStates(commands), full);
    QCOMPARE(parameters.index(1, 2).data().toString(), QStringLiteral("-f"));
}

void tst_EditorItemModels::headers_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<QStringList>("headers"); // null: no header for that column

    QTest::newRow("configurations") << "configurations" << QStringList{QString()};
    QTest::newRow("commands") << "commands" << QStringList{QString(), "Tool", "Parameters"};
    QTest::newRow("parameters") << "parameters" << QStringList{"Key", "Name", "Value"};
}

void tst_EditorItemModels::headers()
{
    QFETCH(QString, list);
    QFETCH(QStringList, headers);

    const QSharedPointer<FlashFileManager> file = load(ms_kFlashFile);
    QVERIFY(file);
    FlashConfigurationItemModel configurations;
    FlashCommandItemModel commands;
    FlashParameterItemModel parameters;
    const QMap<QString, QAbstractItemModel*> lists{
        {"configurations", &configurations}, {"commands", &commands}, {"parameters", &parameters}};
    configurations.setSource(file);
    commands.setSource(file);
    parameters.setSource(file);
    QAbstractItemModel& model = *lists[list];

    QCOMPARE(model.columnCount(), headers.size());
    QCOMPARE(model.columnCount(model.index(0, 0)), 0);
    for (int section = 0; section < headers.size(); ++section) {
        const QVariant header = model.headerData(section, Qt::Horizontal, Qt::DisplayRole);
        QCOMPARE(header.isValid(), !headers[section].isNull());
        QCOMPARE(header.toString(), headers[section]);
        QVERIFY(!model.headerData(section, Qt::Vertical, Qt::DisplayRole).isValid());
    }
    QVERIFY(!model.headerData(headers.size(), Qt::Horizontal, Qt::DisplayRole).isValid());
    QVERIFY(!model.setData(model.index(0, 0), QStringLiteral("x"), Qt::EditRole));
}

// The model tester checks every announcement against what the lists then show: loads, refills
// after edits in the middle of the lists, a second file and no file at all.
void tst_EditorItemModels::viewsHearExactlyTheShownRows()
{
    const QSharedPointer<FlashFileManager> file = load(ms_kFlashFile);
    const QSharedPointer<FlashFileManager> other = load(ms_kOtherFlashFile);
    QVERIFY(file && other);
    FlashConfigurationItemModel configurations;
    FlashCommandItemModel commands;
    FlashParameterItemModel parameters;
    const auto mode = QAbstractItemModelTester::FailureReportingMode::Fatal;
    QAbstractItemModelTester configurationsTester(&configurations, mode);
    QAbstractItemModelTester commandsTester(&commands, mode);
    QAbstractItemModelTester parametersTester(&parameters, mode);
    const auto setSource = [&](const QSharedPointer<FlashFileManager>& source) {
        configurations.setSource(source);
        commands.setSource(source);
        parameters.setSource(source);
    };
    const auto refill = [&] {
        configurations.onDataChanged();
        commands.onDataChanged();
        parameters.onDataChanged();
    };

    // Parameters arrive one by one, variables among them, into a file the lists already show.
    const QSharedPointer<FlashFileManager> growing = QSharedPointer<FlashFileManager>::create();
    setSource(growing);
    for (const auto& entry : file->getParametersList()) {
        growing->setParameter(entry.second);
        refill();
    }
    QCOMPARE(parameters.rowCount(), 3);

    setSource(file);
    QCOMPARE(parameters.rowCount(), 3);
    commands.setConfiguration(file->getConfiguration(QStringLiteral("b")));
    parameters.setConfiguration(file->getConfiguration(QStringLiteral("b")));

    // Edits in the middle of the lists.
    const QSharedPointer<FlashConfiguration> added =
        file->getConfiguration(QStringLiteral("a"))->clone(QStringLiteral("ab"), QStringLiteral("AB"));
    added->setFlashFileManager(file);
    QVERIFY(file->addConfiguration(added));
    file->setParameter(stringParameter(QStringLiteral("kernel"), QStringLiteral("zImage")));
    file->appendCommand(file->getCommandList()[0]->clone());
    file->swapCommands(0, 2);
    refill();
    QCOMPARE(columnTexts(configurations, 0, Qt::UserRole), (QStringList{"a", "ab", "b", "c"}));
    QCOMPARE(columnTexts(parameters, 0), (QStringList{"boot", "kernel", "mode", "slot"}));
    QCOMPARE(commands.rowCount(), 3);

    QVERIFY(file->removeConfiguration(file->getConfiguration(QStringLiteral("b"))));
    QVERIFY(file->removeParameter(QStringLiteral("kernel")));
    file->setParameter(stringParameter(QStringLiteral("slot"), QStringLiteral("_b")));
    QVERIFY(file->removeCommand(0));
    refill();
    QCOMPARE(columnTexts(configurations, 0, Qt::UserRole), (QStringList{"a", "ab", "c"}));
    QCOMPARE(columnTexts(parameters, 2), (QStringList{"boot.img", "-s", "_b"}));
    QCOMPARE(commands.rowCount(), 2);

    setSource(other);
    QCOMPARE(configurations.rowCount(), 2);
    QCOMPARE(parameters.rowCount(), 0);
    refill();
    setSource({});
    refill();
    QCOMPARE(configurations.rowCount() + commands.rowCount() + parameters.rowCount(), 0);
}

QTEST_MAIN(tst_EditorItemModels)
#include "tst_EditorItemModels.moc"
