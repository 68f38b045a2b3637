// Forms made from JSON field lists, filled in through their real widgets: the answers, the fields
// refused, the checks a dialog runs before it accepts, and the forms of every command kind.

#include "ModalDialogDriver.h"
#include "ToolsTestKit.h"
#include "tools/AdbFlashCommand.h"
#include "tools/CatFlashCommand.h"
#include "tools/DFUFlashCommand.h"
#include "tools/DravikFlashCommand.h"
#include "tools/FastbootFlashCommand.h"
#include "tools/NotifierToolFlashCommand.h"
#include "tools/PassFlashCommand.h"
#include "tools/PopupFlashCommand.h"
#include "tools/SetVariableFlashCommand.h"
#include "tools/SleepFlashCommand.h"
#include "tools/WaitForDeviceFlashCommand.h"
#include "ui/FileBrowserWidget.h"
#include "ui/editor/FormWidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QToolButton>
#include <QtTest>

#include <memory>

using ToolsTestKit::formFrom;

namespace {

// One field of every type; the answers it starts with are kAllTypesAnswers.
const QByteArray kAllTypes = R"([
    {"type": "checkbox", "id": "on", "label": "On", "value": "checked"},
    {"type": "checkbox", "id": "off", "label": "Off", "value": "false"},
    {"type": "checkbox", "id": "grey", "label": "Grey", "value": null, "tristate": true},
    {"type": "combobox", "id": "mode", "label": "Mode", "value": "b",
     "allowedValues": {"c": "Gamma", "b": "Beta", "a": "Alpha"}},
    {"type": "combobox", "id": "twice", "label": "Twice", "value": "x", "allowedValues": ["x", "y", "x"]},
    {"type": "combobox", "id": "blank", "label": "Blank", "value": "", "required": false,
     "allowedValues": ["x", "y"]},
    {"type": "text", "id": "name", "label": "Name", "value": "board", "tooltip": "The board"},
    {"type": "textarea", "id": "notes", "label": "Notes", "value": "one\ntwo"},
    {"type": "spinbox", "id": "count", "label": "Count", "value": 50, "max": 10},
    {"type": "spinbox", "id": "large", "label": "Large", "value": 150, "min": -5, "max": 200},
    {"type": "file", "id": "image", "label": "Image", "value": "/images/boot.img", "mode": "save"},
    {"type": "label", "label": "Only text"},
    {"type": "hidden", "id": "tool", "value": "adb"}
])";

const QByteArray kAllTypesAnswers = R"({"on": true, "off": false, "grey": null, "mode": "b", "twice": "x",
    "blank": null, "name": "board", "notes": "one\ntwo", "count": 10, "large": 150,
    "image": "/images/boot.img",
    "tool": "adb"})";

JsonObject object(const QByteArray& json)
{
    JsonObject parsed;
    parsed.loadMemory(json);
    return parsed;
}

// Answers as JSON text, so that a failure shows both sides.
QString text(const JsonObject& answers)
{
    return QString::fromUtf8(answers.toJson());
}

// The row labels of the form's layout, as written (labels of text lines included).
QStringList rowLabels(const FormWidget& form)
{
    QStringList labels;
    auto* layout = form.findChild<QFormLayout*>();
    for (int row = 0; row < layout->rowCount(); ++row) {
        QLayoutItem* item = layout->itemAt(row, QFormLayout::LabelRole);
        if (!item)
            item = layout->itemAt(row, QFormLayout::SpanningRole);
        auto* label = item ? qobject_cast<QLabel*>(item->widget()) : nullptr;
        labels << (label ? label->text() : QString());
    }
    return labels;
}

// A box without text of its own answers clicks on its indicator only.
void clickIndicator(QCheckBox* box)
{
    QStyleOptionButton option;
    option.initFrom(box);
    QTest::mouseClick(box, Qt::LeftButton, {},
                      box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box).center());
}

void deleteOldWidgets()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

class tst_FormWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyTypeAnswers();
    void typedInputReachesTheAnswers();
    void rowsShowLabelsAndMarks();
    void fileFieldOpensItsDialog();
    void refusedDescriptionKeepsTheForm_data();
    void refusedDescriptionKeepsTheForm();
    void acceptedEdges_data();
    void acceptedEdges();
    void oldWidgetsAreDeletedLater();
    void givenRows();
    void requiredFieldsNotSet_data();
    void requiredFieldsNotSet();
    void invalidFiles_data();
    void invalidFiles();
    void commandKindForms_data();
    void commandKindForms();
    void dialogAnswers_data();
    void dialogAnswers();

private:
    QTemporaryDir m_dir;
    QString m_file;
};

void tst_FormWidget::initTestCase()
{
    ToolsTestKit::resetRegistry();
    qApp->setProperty("FONT_SIZE_GENERAL", 13);  // as the program publishes it
    QVERIFY(m_dir.isValid());
    m_file = m_dir.filePath(QStringLiteral("boot.img"));
    QFile file(m_file);
    QVERIFY(file.open(QIODevice::WriteOnly));
}

void tst_FormWidget::everyTypeAnswers()
{
    FormWidget form;
    QVERIFY(form.setForm(formFrom(kAllTypes)));
    QCOMPARE(text(form.getFormData()), text(object(kAllTypesAnswers)));

    auto* mode = form.findChild<QComboBox*>(QStringLiteral("mode"));
    QCOMPARE(mode->itemText(0), QStringLiteral("Alpha"));  // by member name, not as written
    QCOMPARE(mode->currentText(), QStringLiteral("Beta"));
    QCOMPARE(form.findChild<QComboBox*>(QStringLiteral("twice"))->currentIndex(), 2);
    auto* blank = form.findChild<QComboBox*>(QStringLiteral("blank"));
    QCOMPARE(blank->count(), 3);
    QCOMPARE(blank->currentIndex(), 0);
    QCOMPARE(form.findChild<QSpinBox*>(QStringLiteral("count"))->minimum(), 0);
    QCOMPARE(form.findChild<QCheckBox*>(QStringLiteral("grey"))->checkState(), Qt::PartiallyChecked);
}

void tst_FormWidget::typedInputReachesTheAnswers()
{
    FormWidget form;
    QVERIFY(form.setForm(formFrom(kAllTypes)));
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    clickIndicator(form.findChild<QCheckBox*>(QStringLiteral("off")));
    clickIndicator(form.findChild<QCheckBox*>(QStringLiteral("grey")));  // partial to checked
    QTest::keyClick(form.findChild<QComboBox*>(QStringLiteral("mode")), Qt::Key_Down);
    QTest::keyClick(form.findChild<QComboBox*>(QStringLiteral("blank")), Qt::Key_Down);
    QTest::keyClicks(form.findChild<QLineEdit*>(QStringLiteral("name")), QStringLiteral("-2"));
    auto* notes = form.findChild<QTextEdit*>(QStringLiteral("notes"));
    notes->moveCursor(QTextCursor::End);
    QTest::keyClick(notes, Qt::Key_Return);
    QTest::keyClicks(notes, QStringLiteral("three"));
    auto* count = form.findChild<QSpinBox*>(QStringLiteral("count"));
    QTest::keyClick(count, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(count, QStringLiteral("7"));
    auto* image = form.findChild<FileBrowserWidget*>(QStringLiteral("image"));
    auto* path = image->findChild<QLineEdit*>();
    path->selectAll();
    QTest::keyClicks(path, QStringLiteral("/tmp/os.img"));

    QCOMPARE(text(form.getFormData()),
             text(object(R"({"on": true, "off": true, "grey": true, "mode": "c", "twice": "x", "blank": "x",
                             "name": "board-2", "notes": "one\ntwo\nthree", "count": 7, "large": 150,
                             "image": "/tmp/os.img", "tool": "adb"})")));
}

void tst_FormWidget::rowsShowLabelsAndMarks()
{
    FormWidget form;
    QVERIFY(form.setForm(formFrom(R"([
        {"type": "text", "id": "name", "label": "Name", "value": "", "tooltip": "The board"},
        {"type": "text", "id": "note", "label": "Note", "value": "", "required": false, "tooltip": "  "},
        {"type": "label", "label": "Plain <b>text</b>"},
        {"type": "spinbox", "id": "wait", "label": "Wait", "value": 0, "min": -1, "step": 500,
         "suffix": " ms", "prefix": "~", "specialValue": "Never"},
        {"type": "hidden", "id": "tool", "value": "adb", "tooltip": "unseen", "label": "Tool"}
    ])")));
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    QCOMPARE(rowLabels(form), (QStringList{"Name<span style=\"color:red\">*</span>:", "Note:",
                                           "Plain <b>text</b>", "Wait<span style=\"color:red\">*</span>:"}));
    auto* name = form.findChild<QLineEdit*>(QStringLiteral("name"));
    QCOMPARE(name->toolTip(), QStringLiteral("The board"));
    QCOMPARE(name->property("required"), QVariant(true));
    auto* note = form.findChild<QLineEdit*>(QStringLiteral("note"));
    QCOMPARE(note->toolTip(), QString());
    QCOMPARE(note->property("required"), QVariant(false));

    auto* wait = form.findChild<QSpinBox*>(QStringLiteral("wait"));
    QCOMPARE(wait->minimum(), -1);
    QCOMPARE(wait->singleStep(), 500);
    QCOMPARE(wait->text(), QStringLiteral("~0 ms"));
    wait->setValue(-1);
    QCOMPARE(wait->text(), QStringLiteral("Never"));

    auto* hidden = form.findChild<QTextEdit*>(QStringLiteral("tool"));
    QCOMPARE(hidden->parentWidget(), &form);
    QVERIFY(!hidden->isVisible());
    QCOMPARE(hidden->toolTip(), QString());
    QVERIFY(!hidden->property("required").isValid());
    QCOMPARE(form.styleSheet(), QStringLiteral("font : 13px \"%1\";").arg(QFont().family()));
}

void tst_FormWidget::fileFieldOpensItsDialog()
{
    FormWidget form;
    QString folder = m_dir.path();  // the file dialog picks in the folder it starts in: no race with its model
    QVERIFY(form.setForm(formFrom(R"json([
        {"type": "file", "id": "image", "label": "Boot image", "value": "", "extensions": "Images (*.img)"}
    ])json"), &folder));
    form.show();

    QString title;
    QStringList filters;
    QString start;
    ModalDialogDriver driver;
    driver.answer([&](QWidget* modal) {
        title = modal->windowTitle();
        if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
            filters = dialog->nameFilters();
            start = dialog->directory().path();
        }
        return ModalDialogDriver::pickFile(m_file)(modal);
    });
    QTest::mouseClick(form.findChild<FileBrowserWidget*>()->findChild<QToolButton*>(), Qt::LeftButton);
    QVERIFY2(driver.allAnswered(), qPrintable(driver.failures().join(QLatin1Char('\n'))));
    QCOMPARE(title, QStringLiteral("Open Boot image file"));
    QCOMPARE(filters, (QStringList{"Images (*.img)", "All file(*)"}));
    QCOMPARE(form.getFormData().toQVariantMap().value(QStringLiteral("image")).toString(), m_file);
    QCOMPARE(start, m_dir.path());  // the form's file fields share the handle

    QVERIFY(form.setForm(formFrom(R"([{"type": "file", "id": "out", "label": "Log", "value": "", "mode": "save"}])")));
    driver.answer([&](QWidget* modal) {
        title = modal->windowTitle();
        if (auto* dialog = qobject_cast<QFileDialog*>(modal))
            filters = dialog->nameFilters();
        return ModalDialogDriver::pickFile(QString())(modal);
    });
    QTest::mouseClick(form.findChild<FileBrowserWidget*>()->findChild<QToolButton*>(), Qt::LeftButton);
    QVERIFY2(driver.allAnswered(), qPrintable(driver.failures().join(QLatin1Char('\n'))));
    QCOMPARE(title, QStringLiteral("Save Log file"));
    QCOMPARE(filters, (QStringList{QString(), "All file(*)"}));  // no extensions: an empty one first
}

void tst_FormWidget::refusedDescriptionKeepsTheForm_data()
{
    // Each description starts with a good field, made before the fault is met.
    QTest::addColumn<QByteArray>("refused");
    const QByteArray good = R"({"type": "text", "id": "ok", "label": "Ok", "value": "v"}, )";
    QTest::newRow("type in other case") << good + R"({"type": "Text", "id": "a", "label": "A", "value": ""})";
    QTest::newRow("no type") << good + R"({"id": "a", "label": "A", "value": ""})";
    QTest::newRow("no id") << good + R"({"type": "text", "label": "A", "value": ""})";
    QTest::newRow("empty label") << good + R"({"type": "text", "id": "a", "label": "", "value": ""})";
    QTest::newRow("label field without label") << good + R"({"type": "label", "label": ""})";
    QTest::newRow("hidden with empty label") << good + R"({"type": "hidden", "id": "a", "label": "", "value": ""})";
    QTest::newRow("tooltip a number") << good + R"({"type": "text", "id": "a", "label": "A", "value": "", "tooltip": 1})";
    QTest::newRow("required not boolean")
        << good + R"({"type": "text", "id": "a", "label": "A", "value": "", "required": "yes"})";
    QTest::newRow("text without value") << good + R"({"type": "text", "id": "a", "label": "A"})";
    QTest::newRow("greyed without tristate")
        << good + R"({"type": "checkbox", "id": "a", "label": "A", "value": "greyed"})";
    QTest::newRow("null without tristate") << good + R"({"type": "checkbox", "id": "a", "label": "A", "value": null})";
    QTest::newRow("checkbox other word") << good + R"({"type": "checkbox", "id": "a", "label": "A", "value": "yes"})";
    QTest::newRow("combo value not allowed")
        << good + R"({"type": "combobox", "id": "a", "label": "A", "value": "z", "allowedValues": ["x"]})";
    QTest::newRow("combo empty value, required")
        << good + R"({"type": "combobox", "id": "a", "label": "A", "value": "", "allowedValues": {"x": "X"}})";
    QTest::newRow("allowedValues a number")
        << good + R"({"type": "combobox", "id": "a", "label": "A", "value": "x", "allowedValues": 5})";
    QTest::newRow("allowedValues not all texts")
        << good + R"({"type": "combobox", "id": "a", "label": "A", "value": "x", "allowedValues": ["x", 1]})";
    QTest::newRow("mode edit") << good + R"({"type": "file", "id": "a", "label": "A", "value": "", "mode": "edit"})";
    QTest::newRow("spinbox value text") << good + R"({"type": "spinbox", "id": "a", "label": "A", "value": "5"})";
    QTest::newRow("spinbox max text")
        << good + R"({"type": "spinbox", "id": "a", "label": "A", "value": 5, "max": "9"})";
    QTest::newRow("hidden without value") << good + R"({"type": "hidden", "id": "a"})";
}

void tst_FormWidget::refusedDescriptionKeepsTheForm()
{
    QFETCH(QByteArray, refused);
    QDialog previous;  // what the dialog argument holds before the refusal
    FormWidget form;
    QVERIFY(form.setForm(formFrom(kAllTypes)));
    QTest::keyClicks(form.findChild<QLineEdit*>(QStringLiteral("name")), QStringLiteral("-typed"));
    const JsonObject answers = form.getFormData();
    const QPointer<QLineEdit> name = form.findChild<QLineEdit*>(QStringLiteral("name"));
    const int widgets = QApplication::allWidgets().size();

    const JsonObjectList description = formFrom("[" + refused + "]");
    QCOMPARE(description.size(), 2);
    QVERIFY(!form.setForm(description));
    QCOMPARE(QApplication::allWidgets().size(), widgets);  // what was made for it is gone already
    deleteOldWidgets();
    QVERIFY(name);
    QCOMPARE(name->parentWidget(), &form);
    QCOMPARE(text(form.getFormData()), text(answers));

    QDialog* dialog = &previous;
    FormWidget* made = &form;
    QVERIFY(!FormWidget::createFormDialog(description, dialog, made));
    QVERIFY(!dialog);
    QVERIFY(!made);
    QCOMPARE(QApplication::allWidgets().size(), widgets);
}

void tst_FormWidget::acceptedEdges_data()
{
    QTest::addColumn<QByteArray>("description");
    QTest::addColumn<QByteArray>("answers");
    QTest::newRow("empty description") << QByteArray("[]") << QByteArray("{}");
    QTest::newRow("label without id") << QByteArray(R"([{"type": "label", "label": "L", "id": 3}])") << QByteArray("{}");
    QTest::newRow("hidden without label") << QByteArray(R"([{"type": "hidden", "id": "h", "value": "", "label": 1}])")
                                          << QByteArray(R"({"h": ""})");
    QTest::newRow("empty id") << QByteArray(R"([{"type": "text", "id": "", "label": "T", "value": "v"}])")
                              << QByteArray(R"({"": "v"})");
    // What the command kinds write: a boolean check value, "required" as text.
    QTest::newRow("boolean check value, text required")
        << QByteArray(R"([{"type": "checkbox", "id": "c", "label": "C", "value": true, "required": "false"}])")
        << QByteArray(R"({"c": true})");
    QTest::newRow("greyed with tristate")
        << QByteArray(R"([{"type": "checkbox", "id": "c", "label": "C", "value": "greyed", "tristate": true}])")
        << QByteArray(R"({"c": null})");
    QTest::newRow("blank entry of an object")
        << QByteArray(R"([{"type": "combobox", "id": "c", "label": "C", "value": "", "required": false,
                           "allowedValues": {"x": "X"}}])")
        << QByteArray(R"({"c": null})");
    QTest::newRow("empty value stored by a later entry")
        << QByteArray(R"([{"type": "combobox", "id": "c", "label": "C", "value": "", "required": false,
                           "allowedValues": ["x", ""]}])")
        << QByteArray(R"({"c": ""})");
    QTest::newRow("number as display text")
        << QByteArray(R"([{"type": "combobox", "id": "c", "label": "C", "value": "k", "allowedValues": {"k": 7}}])")
        << QByteArray(R"({"c": "k"})");
}

void tst_FormWidget::acceptedEdges()
{
    QFETCH(QByteArray, description);
    QFETCH(QByteArray, answers);
    FormWidget form;
    QVERIFY(form.setForm(formFrom(description)));
    QCOMPARE(text(form.getFormData()), text(object(answers)));
}

void tst_FormWidget::oldWidgetsAreDeletedLater()
{
    FormWidget form;
    QVERIFY(form.setForm(formFrom(kAllTypes)));
    const QPointer<QLineEdit> old = form.findChild<QLineEdit*>(QStringLiteral("name"));
    QVERIFY(form.setForm(formFrom(R"([{"type": "text", "id": "other", "label": "Other", "value": "o"}])")));
    QVERIFY(old);  // a slot of it may still be on the stack
    QVERIFY(old->parent() != &form);
    QCOMPARE(form.findChild<QFormLayout*>()->rowCount(), 1);
    QCOMPARE(text(form.getFormData()), text(object(R"({"other": "o"})")));
    deleteOldWidgets();
    QVERIFY(!old);

    QVERIFY(form.clearForm());
    QCOMPARE(form.findChild<QFormLayout*>()->rowCount(), 0);
    QCOMPARE(text(form.getFormData()), text(JsonObject()));
}

void tst_FormWidget::givenRows()
{
    FormWidget form;
    auto* path = new QLineEdit;
    auto* panel = new QWidget;
    new QLineEdit(panel);  // inside another widget: never answers
    path->setObjectName(QStringLiteral("path"));
    QVERIFY(form.setForm(RecordList{{QStringLiteral("Path"), path}, {QString(), panel},
                                    {QStringLiteral("A line"), nullptr}, {QString(), nullptr}}));
    QCOMPARE(form.findChild<QFormLayout*>()->rowCount(), 3);
    QCOMPARE(rowLabels(form), (QStringList{"Path", QString(), "A line"}));
    QCOMPARE(text(form.getFormData()), text(object(R"({"path": ""})")));
    QVERIFY(form.hasRequiredFieldsNotSet());  // no "required" property: required
    path->setText(QStringLiteral("x"));
    QVERIFY(!form.hasRequiredFieldsNotSet());
}

void tst_FormWidget::requiredFieldsNotSet_data()
{
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<bool>("notSet");
    QTest::newRow("empty text") << QByteArray(R"({"type": "text", "id": "a", "label": "A", "value": ""})") << true;
    QTest::newRow("blank text") << QByteArray(R"({"type": "text", "id": "a", "label": "A", "value": " "})") << false;
    QTest::newRow("optional empty text")
        << QByteArray(R"({"type": "text", "id": "a", "label": "A", "value": "", "required": false})") << false;
    QTest::newRow("empty text area") << QByteArray(R"({"type": "textarea", "id": "a", "label": "A", "value": ""})")
                                     << true;
    QTest::newRow("empty file") << QByteArray(R"({"type": "file", "id": "a", "label": "A", "value": ""})") << true;
    QTest::newRow("empty hidden") << QByteArray(R"({"type": "hidden", "id": "a", "value": ""})") << true;
    QTest::newRow("hidden") << QByteArray(R"({"type": "hidden", "id": "a", "value": "v"})") << false;
    QTest::newRow("cleared mask")
        << QByteArray(R"({"type": "text", "id": "a", "label": "A", "value": "", "input_mask": "\\0\\xHHHHHHHH;_"})")
        << true;
    QTest::newRow("filled mask")
        << QByteArray(R"({"type": "text", "id": "a", "label": "A", "value": "0x1f", "input_mask": "\\0\\xHHHHHHHH;_"})")
        << false;
    QTest::newRow("spin box") << QByteArray(R"({"type": "spinbox", "id": "a", "label": "A", "value": 0})") << false;
    QTest::newRow("check box") << QByteArray(R"({"type": "checkbox", "id": "a", "label": "A", "value": "false"})")
                               << false;
    QTest::newRow("blank combo box")
        << QByteArray(R"({"type": "combobox", "id": "a", "label": "A", "value": "", "required": false,
                          "allowedValues": ["x"]})")
        << false;
}

void tst_FormWidget::requiredFieldsNotSet()
{
    QFETCH(QByteArray, field);
    QFETCH(bool, notSet);
    FormWidget form;
    QVERIFY(form.setForm(formFrom("[" + field + "]")));
    QCOMPARE(form.hasRequiredFieldsNotSet(), notSet);
}

void tst_FormWidget::invalidFiles_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("invalid");
    const QString missing = m_dir.filePath(QStringLiteral("missing.img"));
    QTest::newRow("open, missing") << "open" << missing << true;
    QTest::newRow("open, empty") << "open" << QString() << false;
    QTest::newRow("open, file") << "open" << m_file << false;
    QTest::newRow("open, folder") << "open" << m_dir.path() << false;
    QTest::newRow("save, missing") << "save" << missing << false;
}

void tst_FormWidget::invalidFiles()
{
    QFETCH(QString, mode);
    QFETCH(QString, path);
    QFETCH(bool, invalid);
    JsonObject field = object(R"({"type": "file", "id": "f", "label": "F"})");
    field.setValue(QStringLiteral("mode"), mode);
    field.setValue(QStringLiteral("value"), path);
    FormWidget form;
    QVERIFY(form.setForm(JsonObjectList{field}));
    QCOMPARE(form.hasInvalidFiles(), invalid);
}

void tst_FormWidget::commandKindForms_data()
{
    QTest::addColumn<QString>("tool");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<JsonObjectList>("editorTemplate");
    using Template = JsonObjectList (*)();
    const std::map<QString, std::pair<QByteArray, Template>> kinds = {
        {"setVariable", {R"({"tool": "setVariable", "description": "Read", "variable": "v", "args": "x", "mandatory": false})",
                         &SetVariableFlashCommand::getJsonEditorInterfaceTemplate}},
        {"adb", {R"({"tool": "adb", "timeout": 60000, "retry": 2, "description": "d", "args": "devices"})",
                 &AdbFlashCommand::getJsonEditorInterfaceTemplate}},
        {"fastboot", {R"({"tool": "fastboot", "timeout": 60000, "retry": 1, "description": "d", "args": "devices"})",
                      &FastbootFlashCommand::getJsonEditorInterfaceTemplate}},
        {"pass", {R"({"tool": "pass", "description": "Mine"})", &PassFlashCommand::getJsonEditorInterfaceTemplate}},
        {"popup", {R"({"tool": "popup", "description": "Stop?", "type": "question"})",
                   &PopupFlashCommand::getJsonEditorInterfaceTemplate}},
        {"notifier", {R"({"tool": "notifier", "source": "Hello", "duration": 600000})",
                      &NotifierToolFlashCommand::getJsonEditorInterfaceTemplate}},
        {"sleep", {R"({"tool": "sleep", "duration": 1500})", &SleepFlashCommand::getJsonEditorInterfaceTemplate}},
        {"waitForDevice", {R"({"tool": "waitForDevice", "state": "pos", "timeout": 600000, "description": "w"})",
                           &WaitForDeviceFlashCommand::getJsonEditorInterfaceTemplate}},
        {"dravikDownloader", {R"({"tool": "dravikDownloader", "ifwi": "i", "ifwi_dnx": "id", "os_dnx": "od",
                                  "gpflag": "g", "soft_fuse": "s"})",
                              &DravikFlashCommand::getJsonEditorInterfaceTemplate}},
        {"cat", {R"({"tool": "cat", "description": "Read", "source": "${fw}", "mode": "hex"})",
                 &CatFlashCommand::getJsonEditorInterfaceTemplate}},
        {"dfuDownloader", {R"({"tool": "dfuDownloader", "timeout": 60000, "retry": 1, "description": "Loading",
                               "args": "-D x.bin"})",
                           &DFUFlashCommand::getJsonEditorInterfaceTemplate}},
    };
    // One row per registered kind: a kind added without a row here fails.
    ToolsTestKit::resetRegistry();
    for (const auto& factory : FlashCommand::ms_kFactories) {
        const QString tool = QString::fromStdString(factory.first);
        const auto kind = kinds.find(tool);
        if (kind == kinds.end())
            QTest::newRow(qPrintable(tool)) << tool << QByteArray() << JsonObjectList();
        else
            QTest::newRow(qPrintable(tool)) << tool << kind->second.first << kind->second.second();
    }
}

void tst_FormWidget::commandKindForms()
{
    QFETCH(QString, tool);
    QFETCH(QByteArray, command);
    QFETCH(JsonObjectList, editorTemplate);
    QVERIFY2(!command.isEmpty(), qPrintable(tool + QStringLiteral(" has no row in this table")));
    FormWidget form;
    QVERIFY(form.setForm(editorTemplate));

    const QSharedPointer<FlashCommand> made = ToolsTestKit::command(command);
    QVERIFY(made);
    const JsonObjectList filled = made->getJsonEditorInterface();
    QVERIFY2(form.setForm(filled), qPrintable(ToolsTestKit::fieldTexts(filled).join(QLatin1Char('\n'))));
    QString answeredTool = tool;  // the forms without a "tool" field leave it to the editor
    form.getFormData().getString(QStringLiteral("tool"), answeredTool);
    QCOMPARE(answeredTool, tool);
}

void tst_FormWidget::dialogAnswers_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("result");
    QTest::newRow("ok") << int(QDialogButtonBox::Ok) << int(QDialog::Accepted);
    QTest::newRow("cancel") << int(QDialogButtonBox::Cancel) << int(QDialog::Rejected);
}

void tst_FormWidget::dialogAnswers()
{
    QFETCH(int, button);
    QFETCH(int, result);
    QCoreApplication::setApplicationName(QStringLiteral("Form test"));
    QDialog* dialog = nullptr;
    FormWidget* form = nullptr;
    QDialogButtonBox* buttons = nullptr;
    QVERIFY(FormWidget::createFormDialog(formFrom(kAllTypes), dialog, form, buttons));
    std::unique_ptr<QDialog> owner(dialog);
    QPointer<FormWidget> formAlive = form;
    QCOMPARE(form->parentWidget(), dialog);
    QCOMPARE(buttons->parentWidget(), dialog);
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Form test"));

    ModalDialogDriver driver;
    driver.answer(ModalDialogDriver::fillField(
        QStringLiteral("name"), QStringLiteral("typed"),
        ModalDialogDriver::pressButton(QDialogButtonBox::StandardButton(button))));
    QCOMPARE(dialog->exec(), result);
    QVERIFY2(driver.allAnswered(), qPrintable(driver.failures().join(QLatin1Char('\n'))));
    QCOMPARE(form->getFormData().toQVariantMap().value(QStringLiteral("name")).toString(), QStringLiteral("typed"));
    owner.reset();
    QVERIFY(!formAlive);

    QVERIFY(FormWidget::createFormDialog(JsonObjectList(), dialog, form));
    owner.reset(dialog);
    QVERIFY(dialog->findChild<QDialogButtonBox*>());
}

QTEST_MAIN(tst_FormWidget)
#include "tst_FormWidget.moc"
