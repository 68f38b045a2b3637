// The editor tab's command editing on small real flash files: the command dialog's tool list,
// form, group and configuration boxes; where added, edited, removed and moved commands end up,
// with the configurations that run them; a command the factory refuses.

#include "EditorTestKit.h"
#include "core/ApplicationLog.h"
#include "loader/ExternalToolManager.h"
#include "loader/ToolConst.h"
#include "tools/BuiltInKinds.h"
#include "ui/editor/FormWidget.h"

#include <QComboBox>
#include <QGridLayout>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtTest>

using namespace EditorTestKit;

namespace {

// Six fastboot commands "c0" to "c5"; configuration "a" runs them all, "b" only c1, c3 and c5.
QByteArray sixCommands()
{
    QByteArray commands;
    for (int index = 0; index < 6; ++index) {
        const QByteArray restrict = index % 2 ? R"(["a", "b"])" : R"(["a"])";
        commands += (index ? ",\n" : "") + QByteArray(R"({"tool": "fastboot", "args": "getvar c)") + QByteArray::number(index)
                    + R"(", "timeout": 1000, "retry": 1, "description": "c)" + QByteArray::number(index)
                    + R"(", "restrict": )" + restrict + "}";
    }
    return R"({"flash": {"version": "3.0",
        "groups": {"g": {"name": "Images", "description": "The images"}},
        "configurations": {"a": {"name": "Alpha", "startState": "pos", "default": true},
                           "b": {"name": "Beta", "startState": "pos"}},
        "commands": [)" + commands + "]}}";
}

// Ten configurations "k0" to "k9", one command.
QByteArray tenConfigurations()
{
    QByteArray configurations;
    for (int index = 0; index < 10; ++index)
        configurations += (index ? ", " : "") + QByteArray(R"("k)") + QByteArray::number(index) + R"(": {"name": "Config )"
                          + QByteArray::number(index) + R"(", "startState": "pos", "default": )" + (index ? "false" : "true") + "}";
    return R"({"flash": {"version": "3.0", "configurations": {)" + configurations
           + R"(}, "commands": [{"tool": "fastboot", "args": "reboot", "timeout": 1000, "retry": 1, "description": "c0"}]}})";
}

QStringList texts(const QComboBox& combo)
{
    QStringList all;
    for (int row = 0; row < combo.count(); ++row)
        all << combo.itemText(row);
    return all;
}

QString answeredTool(QWidget* modal)
{
    QString tool;
    modal->findChild<FormWidget*>()->getFormData().getString(QStringLiteral("tool"), tool);
    return tool;
}

Step setText(const QString& field, const QString& text)
{
    return ModalDialogDriver::fillField(field, text);
}

// The form's hidden "tool" answer, as a form description that names another tool would give it.
Step setTool(const QString& tool)
{
    return [tool](QWidget* modal) {
        auto* field = modal->findChild<QTextEdit*>(QStringLiteral("tool"));
        if (!field)
            return false;
        field->setPlainText(tool);
        return true;
    };
}

} // namespace

class tst_CommandEditing : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void dialogOffersEveryToolSorted();
    void positions_data();
    void positions();
    void refusedBuildChangesNothing_data();
    void refusedBuildChangesNothing();

private:
    // Loads `json` into `tab` in advanced mode, shown, with its default configuration registered.
    bool load(FlashEditorWidget& tab, const QString& name, const QByteArray& json);

    QTemporaryDir m_dir;
};

void tst_CommandEditing::initTestCase()
{
    QVERIFY(m_dir.isValid());
    BuiltInKinds::registerAll();
    ToolConst::defaultOptionName = m_dir.filePath(QStringLiteral("settings.opt"));
    qApp->setProperty("FONT_SIZE_GENERAL", 13);
}

void tst_CommandEditing::cleanup()
{
    ExternalToolManager::instance().clear();
}

bool tst_CommandEditing::load(FlashEditorWidget& tab, const QString& name, const QByteArray& json)
{
    const QString path = m_dir.filePath(name + QStringLiteral("/flash.json"));
    if (!write(path, json) || !tab.loadFile(path, true))
        return false;
    tab.findChild<QCheckBox*>(QStringLiteral("checkBoxAdvanced"))->click();
    tab.show();
    tab.onEnter();
    return QTest::qWaitForWindowExposed(&tab) && editedFile(tab);
}

void tst_CommandEditing::dialogOffersEveryToolSorted()
{
    ExternalToolManager::instance().setTool(QStringLiteral("b"), QStringLiteral("/bin/true"));
    ExternalToolManager::instance().setTool(QStringLiteral("a"), QStringLiteral("/bin/true"));
    FlashEditorWidget tab;
    QVERIFY(load(tab, QStringLiteral("tools"), tenConfigurations()));
    const QByteArray before = editedFile(tab)->toJson(m_dir.path()).toJson();

    QStringList problems;
    const Step inspect = [&problems](QWidget* modal) {
        auto* tools = modal->findChild<QComboBox*>(QStringLiteral("m_pkCommandType"));
        const QStringList expected{"ADB",   "DFU Downloader", "Dravik Downloader", "Fastboot", "Notifier",
                                   "Popup", "Sleep",          "Wait for device",   "a",        "b"};
        if (texts(*tools) != expected)
            problems << texts(*tools).join(QLatin1Char(','));
        if (tools->currentText() != QStringLiteral("Fastboot") || answeredTool(modal) != QStringLiteral("fastboot"))
            problems << QStringLiteral("opens on %1 (%2)").arg(tools->currentText(), answeredTool(modal));
        if (texts(*modal->findChild<QComboBox*>(QStringLiteral("m_pkCommandGroup"))) != QStringList{"none"})
            problems << QStringLiteral("groups");
        auto* grid = modal->findChild<QGridLayout*>(QStringLiteral("gridLayout"));
        for (int index = 0; index < 10; ++index) {
            auto* box = modal->findChild<QCheckBox*>(QStringLiteral("k%1").arg(index));
            int row = -1, column = -1, rowSpan = 0, columnSpan = 0;
            if (box)
                grid->getItemPosition(grid->indexOf(box), &row, &column, &rowSpan, &columnSpan);
            if (!box || !box->isChecked() || row != index / 3 || column != index % 3
                || box->text() != QStringLiteral("Config %1").arg(index))
                problems << QStringLiteral("box k%1 at %2,%3").arg(index).arg(row).arg(column);
        }
        // Each external tool's form names its own tool.
        for (const QString& id : {QStringLiteral("a"), QStringLiteral("b")}) {
            tools->setCurrentIndex(tools->findText(id));
            if (answeredTool(modal) != id)
                problems << QStringLiteral("%1 answers %2").arg(id, answeredTool(modal));
        }
        return ModalDialogDriver::pressButton(QDialogButtonBox::Cancel)(modal);
    };
    ModalDialogDriver driver;
    driver.closeUnexpected();
    driver.answer(inspect);
    press(tab, QStringLiteral("pushButtonAddCommand"));
    QVERIFY2(driver.allAnswered(), qPrintable(driver.failures().join('\n')));
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
    QCOMPARE(editedFile(tab)->toJson(m_dir.path()).toJson(), before);
}

void tst_CommandEditing::positions_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QList<int>>("selected");
    QTest::addColumn<QStringList>("order");
    QTest::addColumn<QStringList>("runByB");
    QTest::addColumn<QList<int>>("selectedAfter");

    const QStringList runByB{"c1", "c3", "c5"};
    // The dialog's answers: description "new" (or "edited"), "b" unchecked.
    QTest::newRow("add below rows 1 and 4")
        << "pushButtonAddCommand" << QList<int>{1, 4} << QStringList{"c0", "c1", "c2", "c3", "c4", "new", "c5"} << runByB
        << QList<int>{1, 4};
    QTest::newRow("add below row 0") << "pushButtonAddCommand" << QList<int>{0}
                                     << QStringList{"c0", "new", "c1", "c2", "c3", "c4", "c5"} << runByB << QList<int>{0};
    QTest::newRow("add without selection") << "pushButtonAddCommand" << QList<int>{}
                                           << QStringList{"c0", "c1", "c2", "c3", "c4", "c5", "new"} << runByB
                                           << QList<int>{};
    QTest::newRow("edit row 3") << "pushButtonEditCommand" << QList<int>{3}
                                << QStringList{"c0", "c1", "c2", "edited", "c4", "c5"} << QStringList{"c1", "c5"}
                                << QList<int>{3};
    QTest::newRow("remove 0, 2, 3") << "pushButtonRemoveCommand" << QList<int>{0, 2, 3}
                                    << QStringList{"c1", "c4", "c5"} << QStringList{"c1", "c5"} << QList<int>{};
    QTest::newRow("up 0, 1, 3") << "pushButtonCommandUp" << QList<int>{0, 1, 3}
                                << QStringList{"c0", "c1", "c3", "c2", "c4", "c5"} << runByB << QList<int>{0, 1, 2};
    QTest::newRow("up 1, 2") << "pushButtonCommandUp" << QList<int>{1, 2}
                             << QStringList{"c1", "c2", "c0", "c3", "c4", "c5"} << runByB << QList<int>{0, 1};
    QTest::newRow("down last and 2") << "pushButtonCommandDown" << QList<int>{5, 2}
                                     << QStringList{"c0", "c1", "c3", "c2", "c4", "c5"} << runByB << QList<int>{3, 5};
    QTest::newRow("down 3, 4") << "pushButtonCommandDown" << QList<int>{3, 4}
                               << QStringList{"c0", "c1", "c2", "c5", "c3", "c4"} << QStringList{"c1", "c5", "c3"}
                               << QList<int>{4, 5};
}

void tst_CommandEditing::positions()
{
    QFETCH(QString, button);
    QFETCH(QList<int>, selected);
    QFETCH(QStringList, order);
    QFETCH(QStringList, runByB);
    QFETCH(QList<int>, selectedAfter);
    FlashEditorWidget tab;
    QVERIFY(load(tab, QStringLiteral("positions"), sixCommands()));
    selectRows(tab, QStringLiteral("tableViewCommands"), selected);

    ModalDialogDriver driver;
    driver.closeUnexpected();
    const bool adds = button == QStringLiteral("pushButtonAddCommand");
    if (adds || button == QStringLiteral("pushButtonEditCommand"))
        driver.answer(both(setText(QStringLiteral("description"), adds ? QStringLiteral("new") : QStringLiteral("edited")),
                           both(setChecked(QStringLiteral("b"), false), accept())));
    press(tab, button);
    QVERIFY2(driver.allAnswered(), qPrintable(driver.failures().join('\n')));

    const QSharedPointer<FlashFileManager> file = editedFile(tab);
    QCOMPARE(commandOrder(*file), order);
    // "a" runs every command, the new object included; "b" keeps its own through every move.
    QCOMPARE(commandsRun(*file, QStringLiteral("a")), order);
    QCOMPARE(commandsRun(*file, QStringLiteral("b")), runByB);
    QCOMPARE(selectedRows(tab, QStringLiteral("tableViewCommands")), selectedAfter);
    // The registered copy runs what the file's configuration runs.
    QCOMPARE(tab.getCurrentFlashFile()->getCommandsCount(), static_cast<unsigned long>(order.size()));
}

void tst_CommandEditing::refusedBuildChangesNothing_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("tool");
    QTest::newRow("add, unknown tool") << "pushButtonAddCommand" << "nope";
    QTest::newRow("edit, no tool") << "pushButtonEditCommand" << "";
}

void tst_CommandEditing::refusedBuildChangesNothing()
{
    QFETCH(QString, button);
    QFETCH(QString, tool);
    FlashEditorWidget tab;
    QVERIFY(load(tab, QStringLiteral("refused"), sixCommands()));
    selectRows(tab, QStringLiteral("tableViewCommands"), {2});
    const QSharedPointer<FlashFileManager> file = editedFile(tab);
    const QByteArray before = file->toJson(m_dir.path()).toJson();

    ModalDialogDriver driver;
    driver.closeUnexpected();
    driver.answer(both(setTool(tool), accept()));
    driver.answer(driver.readBoxText(accept()));
    press(tab, button);
    QVERIFY2(driver.allAnswered(), qPrintable(driver.failures().join('\n')));
    QCOMPARE(driver.texts(), QStringList{QStringLiteral("Fail to create command '%1'.\nCheck logs for more details.").arg(tool)});
    QCOMPARE(file->toJson(m_dir.path()).toJson(), before);
}

QTEST_MAIN(tst_CommandEditing)
#include "tst_CommandEditing.moc"
