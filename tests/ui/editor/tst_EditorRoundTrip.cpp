// An edit changes only what the user changed: every command and parameter dialog of the editor
// tab accepted unchanged leaves the written "3.0" document as it was, and one changed description
// and one changed value are, after saving and loading again, all that differs. On fixtures in
// the three formats the loader reads.

#include "EditorTestKit.h"
#include "loader/ToolConst.h"
#include "tests/core/RecordedLog.h"
#include "tools/BuiltInKinds.h"

#include <QComboBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

using namespace EditorTestKit;

namespace {

// The name of an image that only an argument passed whole reaches: a blank, a quote, a backslash.
const QString kAwkwardName = QStringLiteral("a b\"c\\d.img");

QByteArray jsonFixture(const QByteArray& version)
{
    QByteArray text = R"({"flash": {"version": ")" + version + R"(",
        "groups": {"g": {"name": "Images", "description": "The images"}},
        "parameters": {
            "image": {"type": "file", "name": "Image", "options": {
                "v1": {"value": "@IMAGE@", "description": "One"},
                "v2": {"value": "boot.img", "description": "Two"}}},
            "mode": {"type": "string", "name": "Mode", "options": {
                "fast": {"value": "-f", "description": "Fast"},
                "safe": {"value": "-s", "description": "Safe"}}}@VARIABLE@},
        "configurations": {
            "a": {"name": "Alpha", "startState": "pos", "default": true, "parameters": {"image": "v1", "mode": "fast"}},
            "b": {"name": "Beta", "startState": "mos", "parameters": {"image": "v2", "mode": "safe"}}},
        "commands": [
            {"tool": "fastboot", "args": "@ARGS@", "timeout": 18446744073709551615,
             "retry": 1, "description": "Boot", "mandatory": true,
             "precondition": {"expression": "1 == 1", "skipOnFailure": true},
             "successCondition": "true", "block_scan": true},
            {"tool": "fastboot", "args": "reboot ${mode}", "group": "g", "timeout": 1000, "retry": 1,
             "description": "Grouped", "restrict": ["a"]},
            {"tool": "cat", "description": "Read ${image}", "source": "${image}"}@SETVARIABLE@]}})";
    // Variables came with "3.0".
    const bool variables = version == "3.0";
    text.replace("@VARIABLE@", variables ? R"(,
            "counter": {"type": "variable", "name": "Counter", "description": "A counter",
                        "computedValue": "1 + 1", "value": 3})" : "");
    text.replace("@SETVARIABLE@", variables ? R"(,
            {"tool": "setVariable", "description": "Count", "variable": "counter", "mandatory": false})" : "");
    // JSON text of the awkward name, and of an argument holding it in quotes as the argument splitter reads it.
    return text.replace("@IMAGE@", "a b\\\"c\\\\d.img")
        .replace("@ARGS@", "flash boot \\\"${flashDir}/a b\\\\\\\"c\\\\d.img\\\"");
}

QByteArray xmlFixture()
{
    return R"(<flashfile>
    <id>fastboot</id>
    <file TYPE="BOOT"><name>boot.img</name></file>
    <command><string>fastboot flash boot ${boot_file}</string><description>Flash boot</description></command>
    <command><string>fastboot reboot</string><description>Reboot</description></command>
</flashfile>
)";
}

// The document's lines as written: a difference shows where it is.
QStringList lines(const JsonObject& document)
{
    return QString::fromUtf8(document.toJson()).split(QLatin1Char('\n'));
}

// `document` with the value at `path` replaced (object keys; a number indexes a list).
QVariant replaced(const QVariant& document, QStringList path, const QVariant& value)
{
    if (path.isEmpty())
        return value;
    const QString key = path.takeFirst();
    if (document.type() == QVariant::List) {
        QVariantList list = document.toList();
        list[key.toInt()] = replaced(list.value(key.toInt()), path, value);
        return list;
    }
    QVariantMap map = document.toMap();
    map[key] = replaced(map.value(key), path, value);
    return map;
}

} // namespace

class tst_EditorRoundTrip : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void unchangedDialogsChangeNothing_data();
    void unchangedDialogsChangeNothing();
    void onlyWhatChangedDiffers();

private:
    QString fixture(const QString& name, const QByteArray& text, const QString& fileName) const;

    QTemporaryDir m_dir;
};

void tst_EditorRoundTrip::initTestCase()
{
    QVERIFY(m_dir.isValid());
    BuiltInKinds::registerAll();
    ToolConst::defaultOptionName = m_dir.filePath(QStringLiteral("settings.opt"));
    qApp->setProperty("FONT_SIZE_GENERAL", 13);
}

QString tst_EditorRoundTrip::fixture(const QString& name, const QByteArray& text, const QString& fileName) const
{
    const QString folder = m_dir.filePath(name);
    if (!write(folder + QLatin1Char('/') + fileName, text) || !write(folder + QStringLiteral("/boot.img"), "boot")
        || !write(folder + QLatin1Char('/') + kAwkwardName, "awkward"))
        return QString();
    return folder + QLatin1Char('/') + fileName;
}

void tst_EditorRoundTrip::unchangedDialogsChangeNothing_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("3.0") << "flash.json" << jsonFixture("3.0");
    QTest::newRow("2.2") << "flash.json" << jsonFixture("2.2");
    QTest::newRow("XML") << "flash.xml" << xmlFixture();
}

void tst_EditorRoundTrip::unchangedDialogsChangeNothing()
{
    QFETCH(QString, fileName);
    QFETCH(QByteArray, text);
    const QString path = fixture(QStringLiteral("unchanged-") + QTest::currentDataTag(), text, fileName);
    FlashEditorWidget tab;
    const RecordedLog log;
    QVERIFY2(tab.loadFile(path, true), qPrintable(log.lines().join(QLatin1Char('\n'))));
    tab.findChild<QCheckBox*>(QStringLiteral("checkBoxAdvanced"))->click();
    tab.onEnter();
    const QSharedPointer<FlashFileManager> file = editedFile(tab);
    QVERIFY(file);
    const QString folder = QFileInfo(path).absolutePath();
    const JsonObject before = file->toJson(folder);

    QStringList problems;
    acceptEveryDialog(tab, problems);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
    QCOMPARE(lines(file->toJson(folder)), lines(before));
}

void tst_EditorRoundTrip::onlyWhatChangedDiffers()
{
    const QString path = fixture(QStringLiteral("changed"), jsonFixture("3.0"), QStringLiteral("flash.json"));
    const QString folder = QFileInfo(path).absolutePath();
    FlashEditorWidget tab;
    QVERIFY(tab.loadFile(path, true));
    tab.findChild<QCheckBox*>(QStringLiteral("checkBoxAdvanced"))->click();
    tab.onEnter();
    const QSharedPointer<FlashFileManager> file = editedFile(tab);
    const QVariantMap before = file->toJson(folder).toQVariantMap();

    ModalDialogDriver driver;
    driver.closeUnexpected();
    // The grouped command's description.
    selectRows(tab, QStringLiteral("tableViewCommands"), {1});
    driver.answer(ModalDialogDriver::fillField(QStringLiteral("description"), QStringLiteral("Changed"), accept()));
    press(tab, QStringLiteral("pushButtonEditCommand"));
    // The value of "mode"'s option "fast", through its value form.
    selectRows(tab, QStringLiteral("tableViewParameters"), {1});  // "image", "mode"; the variable is not listed
    driver.answer([](QWidget* modal) {
        auto* view = modal->findChild<QTableView*>(QStringLiteral("m_pkOptionView"));
        view->selectionModel()->select(view->model()->index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        return QMetaObject::invokeMethod(modal->findChild<QToolButton*>(QStringLiteral("m_pkEditButton")), "click",
                                         Qt::QueuedConnection);
    });
    driver.answer(ModalDialogDriver::fillField(QStringLiteral("value"), QStringLiteral("-F"), accept()));
    driver.answer(accept());
    press(tab, QStringLiteral("pushButtonEditParameter"));
    QVERIFY2(driver.allAnswered(), qPrintable(driver.failures().join('\n')));

    const QString saved = folder + QStringLiteral("/saved.json");
    QFile out(saved);
    QVERIFY(out.open(QIODevice::WriteOnly));
    QVERIFY(file->toJson(folder, out));
    out.close();
    const QSharedPointer<FlashFileManager> reloaded = FlashFileManager::loadFromFile(saved, true);
    QVERIFY(reloaded);

    QVariant expected = replaced(before, {"flash", "commands", "1", "description"}, QStringLiteral("Changed"));
    expected = replaced(expected, {"flash", "parameters", "mode", "options", "fast", "value"}, QStringLiteral("-F"));
    QCOMPARE(lines(reloaded->toJson(folder)), lines(JsonObject(expected.toMap())));
    // The argument, its time-out and what the form cannot show came through as written.
    const QVariantMap boot = reloaded->toJson(folder).toQVariantMap()[QStringLiteral("flash")].toMap()[QStringLiteral("commands")]
                                 .toList()[0]
                                 .toMap();
    QCOMPARE(boot[QStringLiteral("timeout")].toULongLong(), 18446744073709551615ULL);
    QCOMPARE(boot[QStringLiteral("block_scan")].toBool(), true);
    QCOMPARE(boot[QStringLiteral("successCondition")].toString(), QStringLiteral("true"));
}

QTEST_MAIN(tst_EditorRoundTrip)
#include "tst_EditorRoundTrip.moc"
