// The editor tab's parameter editing on small real flash files: the parameter dialog and its
// value forms, what a confirmed dialog stores in the file and its configurations, and the guards
// that keep commands' references and identifiers whole.

#include "EditorTestKit.h"
#include "loader/ToolConst.h"
#include "tests/core/RecordedLog.h"
#include "model/FlashParameter.h"
#include "model/FlashParameterValue.h"
#include "tools/BuiltInKinds.h"
#include "ui/FileBrowserWidget.h"
#include "ui/editor/ParameterEditor.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QRadioButton>
#include <QStyleOptionViewItem>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

using namespace EditorTestKit;

namespace {

// Configurations "a" (Alpha, "image" v1, "mode" fast), "b" (Beta, "image" v2, "mode" safe) and
// "c" (Gamma, nothing selected). Commands use ${image,v1} twice, ${image,v2} once and ${used}
// (the option of a reference is the parameter whose value names the option).
QByteArray flashJson()
{
    return R"({"flash": {"version": "3.0",
        "parameters": {
            "image": {"type": "file", "name": "Image", "options": {
                "v1": {"value": "boot.img", "description": "One"},
                "v2": {"value": "boot.img", "description": "Two"}}},
            "mode": {"type": "string", "name": "Mode", "options": {
                "fast": {"value": "-f", "description": "Fast"},
                "safe": {"value": "-s", "description": "Safe"}}},
            "alpha": {"type": "string", "name": "Alpha", "value": "1", "description": "A"},
            "used": {"type": "string", "name": "Used", "value": "2", "description": "U"},
            "zulu": {"type": "string", "name": "Zulu", "value": "3", "description": "Z"},
            "v1": {"type": "string", "name": "V1", "value": "v1", "description": "Picks v1"},
            "v2": {"type": "string", "name": "V2", "value": "v2", "description": "Picks v2"}},
        "configurations": {
            "a": {"name": "Alpha", "startState": "pos", "default": true,
                  "parameters": {"image": "v1", "mode": "fast"}},
            "b": {"name": "Beta", "startState": "pos", "parameters": {"image": "v2", "mode": "safe"}},
            "c": {"name": "Gamma", "startState": "pos"}},
        "commands": [
            {"tool": "fastboot", "args": "flash boot ${image,v1}", "timeout": 1000, "retry": 1, "description": "One"},
            {"tool": "fastboot", "args": "flash recovery ${image,v1}", "timeout": 1000, "retry": 1, "description": "Again"},
            {"tool": "fastboot", "args": "flash misc ${image,v2} ${used}", "timeout": 1000, "retry": 1, "description": "Two"}]}})";
}

// Runs `slot` of `widget` once the current step has returned: a dialog it opens is the next step's.
Step later(QObject* widget, const char* slot)
{
    return [widget, slot](QWidget*) { return QMetaObject::invokeMethod(widget, slot, Qt::QueuedConnection); };
}

Step pressLater(const QString& button)
{
    return [button](QWidget* modal) {
        auto* found = modal->findChild<QToolButton*>(button);
        return found && later(found, "click")(modal);
    };
}

Step selectValue(const QString& id)
{
    return [id](QWidget* modal) {
        auto* view = modal->findChild<QTableView*>(QStringLiteral("m_pkOptionView"));
        const QModelIndexList found = view->model()->match(view->model()->index(0, 0), Qt::DisplayRole, id, 1, Qt::MatchExactly);
        if (found.isEmpty())
            return false;
        view->selectionModel()->select(found.first(), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        return true;
    };
}

Step clickRadio(const QString& name)
{
    return [name](QWidget* modal) {
        auto* radio = modal->findChild<QRadioButton*>(name);
        if (!radio)
            return false;
        QTest::mouseClick(radio, Qt::LeftButton);
        return true;
    };
}

Step pressNow(const QString& button)
{
    return [button](QWidget* modal) {
        auto* found = modal->findChild<QToolButton*>(button);
        if (!found)
            return false;
        found->click();
        return true;
    };
}

// The value form: identifier, file, boxes to check ("+b") or uncheck ("-c").
Step fillValue(const QString& id, const QString& path, const QStringList& boxes)
{
    return [id, path, boxes](QWidget* modal) {
        auto* edit = modal->findChild<QLineEdit*>(QStringLiteral("id"));
        auto* chooser = modal->findChild<FileBrowserWidget*>(QStringLiteral("value"));
        if (!edit || !chooser)
            return false;
        edit->setText(id);
        chooser->setFile(path);
        for (const QString& box : boxes) {
            if (!setChecked(box.mid(1), box.startsWith(QLatin1Char('+')))(modal))
                return false;
        }
        return true;
    };
}

// The names of the checked configuration boxes of a value form.
QStringList checkedBoxes(QWidget* modal)
{
    QStringList names;
    for (const QString& id : {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}) {
        auto* box = modal->findChild<QCheckBox*>(id);
        if (box && box->isChecked())
            names << id;
    }
    return names;
}

QString cell(QWidget* modal, int row, int column)
{
    auto* view = modal->findChild<QTableView*>(QStringLiteral("m_pkOptionView"));
    return view->model()->index(row, column).data().toString();
}

} // namespace

class tst_ParameterEditing : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void newParameterThroughItsDialog();
    void removedValuesStillUsedBlockTheEdit();
    void removedValueLeavesNoDanglingSelection();
    void removingParametersSparesTheUsedOne();
    void identifiersAreChecked();

private:
    bool load(FlashEditorWidget& tab, const QString& name);
    QString m_image;
    QTemporaryDir m_dir;
};

void tst_ParameterEditing::initTestCase()
{
    QVERIFY(m_dir.isValid());
    BuiltInKinds::registerAll();
    MessageHandler::instance()->setLogLevel(TRACE);
    ToolConst::defaultOptionName = m_dir.filePath(QStringLiteral("settings.opt"));
    qApp->setProperty("FONT_SIZE_GENERAL", 13);
    m_image = m_dir.filePath(QStringLiteral("present.img"));
    QVERIFY(write(m_image, "image"));
}

bool tst_ParameterEditing::load(FlashEditorWidget& tab, const QString& name)
{
    const QString path = m_dir.filePath(name + QStringLiteral("/flash.json"));
    const RecordedLog log;
    if (!write(path, flashJson()) || !write(m_dir.filePath(name + QStringLiteral("/boot.img")), "boot")
        || !tab.loadFile(path, true)) {
        qWarning("%s", qPrintable(log.lines().join(QLatin1Char('\n'))));
        return false;
    }
    tab.findChild<QCheckBox*>(QStringLiteral("checkBoxAdvanced"))->click();
    tab.onEnter();
    return !editedFile(tab).isNull();
}

void tst_ParameterEditing::newParameterThroughItsDialog()
{
    FlashEditorWidget tab;
    QVERIFY(load(tab, QStringLiteral("new")));
    QStringList problems;
    const auto expect = [&problems](bool holds, const QString& what) {
        if (!holds)
            problems << what;
        return true;
    };
    const Step opened = [&](QWidget* modal) {
        auto* view = modal->findChild<QTableView*>(QStringLiteral("m_pkOptionView"));
        QStringList headers;
        for (int column = 0; column < view->model()->columnCount(); ++column)
            headers << view->model()->headerData(column, Qt::Horizontal).toString();
        expect(headers == QStringList({"ID", "Name", "Value", "In configurations"}), headers.join(','));
        expect(modal->findChild<QRadioButton*>(QStringLiteral("m_pkFileRadio"))->isChecked(), QStringLiteral("File"));
        return true;
    };
    const auto buttonsEnabled = [](QWidget* modal) {
        QString states;
        for (const char* name : {"m_pkEditButton", "m_pkAddButton", "m_pkRemoveButton"})
            states += modal->findChild<QToolButton*>(QLatin1String(name))->isEnabled() ? '1' : '0';
        return states;
    };
    const Step temporaryDisablesAddAndRemove = [&](QWidget* modal) {
        clickRadio(QStringLiteral("m_pkTempFileRadio"))(modal);
        expect(buttonsEnabled(modal) == QStringLiteral("100"), QStringLiteral("temporary: ") + buttonsEnabled(modal));
        clickRadio(QStringLiteral("m_pkFileRadio"))(modal);
        return expect(buttonsEnabled(modal) == QStringLiteral("111"), QStringLiteral("file: ") + buttonsEnabled(modal));
    };
    const auto boxesShow = [&](const QStringList& checked) -> Step {
        return [&, checked](QWidget* modal) {
            return expect(checkedBoxes(modal) == checked, QStringLiteral("boxes ") + checkedBoxes(modal).join(','));
        };
    };
    const Step styled = [&](QWidget* modal) {
        auto* view = modal->findChild<QTableView*>(QStringLiteral("m_pkOptionView"));
        const auto style = [view](int row, int column) {
            QStyleOptionViewItem option;
            ParameterEditor::setFileCellStyle(&option, view->model()->index(row, column));
            return option;
        };
        // Rows by id: "empty" (no path), "gone" (missing), "here" (present); every column shows the state.
        expect(style(0, 1).font.strikeOut(), QStringLiteral("empty not struck out"));
        expect(style(1, 3).palette.brush(QPalette::Text).color() == QColor(Qt::red) && style(1, 0).font.bold(),
               QStringLiteral("missing not red and bold"));
        expect(!style(2, 2).font.strikeOut() && !style(2, 2).font.bold(), QStringLiteral("present styled"));
        expect(cell(modal, 1, 3) == QStringLiteral("Gamma"), cell(modal, 1, 3));
        expect(cell(modal, 0, 3) == QStringLiteral("Alpha, Beta"), cell(modal, 0, 3));
        modal->findChild<QLineEdit*>(QStringLiteral("m_pkId"))->setText(QStringLiteral("fresh"));
        modal->findChild<QLineEdit*>(QStringLiteral("m_pkName"))->setText(QStringLiteral("Fresh"));
        return true;
    };

    ModalDialogDriver driver;
    driver.closeUnexpected();
    driver.answer(both(opened, both(temporaryDisablesAddAndRemove, pressLater(QStringLiteral("m_pkAddButton")))));
    // The first value: every configuration checked; Gamma's left out.
    driver.answer(both(boxesShow({"a", "b", "c"}), both(fillValue(QStringLiteral("empty"), QString(), {"-c"}), accept())));
    driver.answer(pressLater(QStringLiteral("m_pkAddButton")));
    // Later values: only the configurations without a selection. A taken identifier asks again, silently.
    driver.answer(both(boxesShow({"c"}), both(fillValue(QStringLiteral("empty"), m_image, {}), accept())));
    driver.answer(both(boxesShow({"c"}), both(fillValue(QStringLiteral("gone"), m_dir.filePath("gone.img"), {}), accept())));
    driver.answer(pressLater(QStringLiteral("m_pkAddButton")));
    driver.answer(both(boxesShow({}), both(fillValue(QStringLiteral("here"), m_image, {}), accept())));
    driver.answer(both(styled, accept()));
    press(tab, QStringLiteral("pushButtonAddParameter"));
    QVERIFY2(driver.allAnswered(), qPrintable(driver.failures().join('\n')));
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));

    const QSharedPointer<FlashFileManager> file = editedFile(tab);
    const QSharedPointer<FlashParameter> fresh = file->getParameter(QStringLiteral("fresh"));
    QVERIFY(fresh);
    QCOMPARE(fresh->getName(), QStringLiteral("Fresh"));
    QCOMPARE(fresh->getType(), FlashParameter::File);
    QCOMPARE(int(fresh->getValues().size()), 3);
    QCOMPARE(fresh->getValue(QStringLiteral("here"))->getValue(), QDir::toNativeSeparators(m_image));
    QCOMPARE(file->getConfiguration(QStringLiteral("a"))->getParameterValueId(QStringLiteral("fresh")), QStringLiteral("empty"));
    QCOMPARE(file->getConfiguration(QStringLiteral("b"))->getParameterValueId(QStringLiteral("fresh")), QStringLiteral("empty"));
    QCOMPARE(file->getConfiguration(QStringLiteral("c"))->getParameterValueId(QStringLiteral("fresh")), QStringLiteral("gone"));
    // Every configuration knows the new parameter, and the tab lists it.
    QVERIFY(file->getConfiguration(QStringLiteral("c"))->getParameter(QStringLiteral("fresh")));
    const QAbstractItemModel* listed = tab.findChild<QTableView*>(QStringLiteral("tableViewParameters"))->model();
    QCOMPARE(listed->index(1, 0).data().toString(), QStringLiteral("fresh"));
}

void tst_ParameterEditing::removedValuesStillUsedBlockTheEdit()
{
    FlashEditorWidget tab;
    QVERIFY(load(tab, QStringLiteral("guard")));
    const QSharedPointer<FlashFileManager> file = editedFile(tab);
    const QSharedPointer<FlashParameter> before = file->getParameter(QStringLiteral("image"));
    selectRows(tab, QStringLiteral("tableViewParameters"), {1});  // "image", after "alpha"

    ModalDialogDriver driver;
    driver.closeUnexpected();
    driver.answer(both(selectValue(QStringLiteral("v1")),
                       both(selectValue(QStringLiteral("v2")), both(pressNow(QStringLiteral("m_pkRemoveButton")), accept()))));
    driver.answer(driver.readBoxText(accept()));
    driver.answer(driver.readBoxText(accept()));
    press(tab, QStringLiteral("pushButtonEditParameter"));
    QVERIFY2(driver.allAnswered(), qPrintable(driver.failures().join('\n')));
    const QString text = QStringLiteral(
        "The parameter value '%1' is used by at least one command.\nPlease remove or edit the related command first.");
    QCOMPARE(driver.texts(), QStringList({text.arg("v1"), text.arg("v2")}));
    // Nothing applied: the very object, its selections as they were.
    QCOMPARE(file->getParameter(QStringLiteral("image")), before);
    QCOMPARE(file->getConfiguration(QStringLiteral("b"))->getParameterValueId(QStringLiteral("image")), QStringLiteral("v2"));
    // The tab's buttons still follow the selection.
    QVERIFY(tab.findChild<QPushButton*>(QStringLiteral("pushButtonEditParameter"))->isEnabled());
}

void tst_ParameterEditing::removedValueLeavesNoDanglingSelection()
{
    FlashEditorWidget tab;
    QVERIFY(load(tab, QStringLiteral("dangling")));
    const QSharedPointer<FlashFileManager> file = editedFile(tab);
    selectRows(tab, QStringLiteral("tableViewParameters"), {2});  // "mode"

    ModalDialogDriver driver;
    driver.closeUnexpected();
    driver.answer(both(selectValue(QStringLiteral("safe")), both(pressNow(QStringLiteral("m_pkRemoveButton")), accept())));
    press(tab, QStringLiteral("pushButtonEditParameter"));
    QVERIFY2(driver.allAnswered(), qPrintable(driver.failures().join('\n')));
    QCOMPARE(int(file->getParameter(QStringLiteral("mode"))->getValues().size()), 1);
    const QSharedPointer<FlashConfiguration> beta = file->getConfiguration(QStringLiteral("b"));
    QVERIFY(beta->getParameterValueId(QStringLiteral("mode")).isNull());
    QCOMPARE(beta->getError(), QString());
    QCOMPARE(file->getConfiguration(QStringLiteral("a"))->getParameterValueId(QStringLiteral("mode")), QStringLiteral("fast"));
}

void tst_ParameterEditing::removingParametersSparesTheUsedOne()
{
    FlashEditorWidget tab;
    QVERIFY(load(tab, QStringLiteral("remove")));
    const QSharedPointer<FlashFileManager> file = editedFile(tab);
    // Rows by id: alpha, image, mode, used, v1, v2, zulu.
    selectRows(tab, QStringLiteral("tableViewParameters"), {0, 3, 6});

    ModalDialogDriver driver;
    driver.closeUnexpected();
    driver.answer(driver.readBoxText(accept()));
    press(tab, QStringLiteral("pushButtonRemoveParameter"));
    QVERIFY2(driver.allAnswered(), qPrintable(driver.failures().join('\n')));
    QCOMPARE(driver.texts(),
             QStringList{QStringLiteral("The parameter 'used' is used by at least one command.\nPlease remove or edit the "
                                        "related command first.")});
    QVERIFY(file->getParameter(QStringLiteral("used")));
    const QSharedPointer<FlashConfiguration> alpha = file->getConfiguration(QStringLiteral("a"));
    QVERIFY(alpha->getParameter(QStringLiteral("used")));
    for (const QString& gone : {QStringLiteral("alpha"), QStringLiteral("zulu")}) {
        QVERIFY(!file->getParameter(gone));
        QVERIFY(!alpha->getParameter(gone));
        QVERIFY(alpha->getParameterValueId(gone).isEmpty());
    }
    QVERIFY(tab.getCurrentFlashFile()->getParameter(QStringLiteral("used")));
    QVERIFY(!tab.getCurrentFlashFile()->getParameter(QStringLiteral("zulu")));
}

void tst_ParameterEditing::identifiersAreChecked()
{
    FlashEditorWidget tab;
    QVERIFY(load(tab, QStringLiteral("identifiers")));
    const QSharedPointer<FlashFileManager> file = editedFile(tab);
    const QByteArray before = file->toJson(m_dir.path()).toJson();
    const auto setId = [](const QString& id) -> Step {
        return [id](QWidget* modal) {
            modal->findChild<QLineEdit*>(QStringLiteral("m_pkId"))->setText(id);
            return true;
        };
    };

    // A new parameter: empty, then taken, then cancelled.
    ModalDialogDriver driver;
    driver.closeUnexpected();
    driver.answer(both(setId(QString()), accept()));
    driver.answer(driver.readBoxText(accept()));
    driver.answer(both(setId(QStringLiteral("mode")), accept()));
    driver.answer(driver.readBoxText(accept()));
    driver.answer(ModalDialogDriver::pressButton(QDialogButtonBox::Cancel));
    press(tab, QStringLiteral("pushButtonAddParameter"));
    // A renaming edit onto another parameter's identifier; its own identifier is no clash.
    selectRows(tab, QStringLiteral("tableViewParameters"), {0});  // "alpha"
    driver.answer(both(setId(QStringLiteral("zulu")), accept()));
    driver.answer(driver.readBoxText(accept()));
    driver.answer(ModalDialogDriver::pressButton(QDialogButtonBox::Cancel));
    press(tab, QStringLiteral("pushButtonEditParameter"));
    QVERIFY2(driver.allAnswered(), qPrintable(driver.failures().join('\n')));
    QCOMPARE(driver.texts(), QStringList({"Missing identifier value", "Identifier \"mode\" already exists",
                                          "Identifier \"zulu\" already exists"}));
    QCOMPARE(file->toJson(m_dir.path()).toJson(), before);

    driver.answer(accept());
    press(tab, QStringLiteral("pushButtonEditParameter"));
    QVERIFY2(driver.allAnswered(), qPrintable(driver.failures().join('\n')));
    QCOMPARE(file->toJson(m_dir.path()).toJson(), before);
}

QTEST_MAIN(tst_ParameterEditing)
#include "tst_ParameterEditing.moc"
