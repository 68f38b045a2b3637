// Command templates in the flash editor: the compiled-in ones, the chooser over the user's folder,
// and inserting a template's commands and parameters, its inputs dialog answered by the modal
// driver, into small real flash files.

#include "ModalDialogDriver.h"
#include "core/LoggerBridge.h"
#include "loader/FlashFileManager.h"
#include "loader/ToolConst.h"
#include "model/FlashParameter.h"
#include "model/FlashParameterValue.h"
#include "tests/core/RecordedLog.h"
#include "tools/BuiltInKinds.h"
#include "ui/FileBrowserWidget.h"
#include "ui/UiResources.h"
#include "ui/editor/FlashEditorWidget.h"
#include "model/FlashParameterValueFile.h"
#include "model/FlashParameterValueString.h"

#include <QComboBox>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

namespace {

using Step = ModalDialogDriver::Step;

const QString kDfuTemplate = QStringLiteral("Flash with DFU Downloader");

bool write(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Two configurations ("a" the default, "b"), each running `commands` sleep commands ("s0", ...);
// the file parameters `parameters` (each an image beside the file).
QByteArray flashJson(int commands, const QStringList& parameters = {})
{
    QStringList list;
    for (int n = 0; n < commands; ++n)
        list << QStringLiteral(R"({"tool": "fastboot", "args": "getvar s%1", "timeout": 1000, "retry": 1, "description": "s%1"})").arg(n);
    QStringList declared;
    for (const QString& id : parameters)
        declared << QStringLiteral(R"("%1": {"type": "file", "name": "%1", "value": "image.bin", "description": "%1"})")
                        .arg(id);
    return QStringLiteral(R"({"flash": {"version": "3.0", "parameters": {%1},
        "configurations": {"a": {"name": "Alpha", "startState": "dnx_fw", "default": true},
                           "b": {"name": "Beta", "startState": "mos", "default": false}},
        "commands": [%2]}})")
        .arg(declared.join(QLatin1Char(',')), list.join(QLatin1Char(',')))
        .toUtf8();
}

QStringList items(const QComboBox& combo)
{
    QStringList texts;
    for (int row = 0; row < combo.count(); ++row)
        texts << combo.itemText(row);
    return texts;
}

// Sets the form's file choosers and line edits (object name → text), then runs `then`.
Step answer(const QMap<QString, QString>& texts, Step then)
{
    return [texts, then](QWidget* modal) {
        for (auto text = texts.begin(); text != texts.end(); ++text) {
            if (auto* chooser = modal->findChild<FileBrowserWidget*>(text.key()))
                chooser->setFile(text.value());
            else if (auto* edit = modal->findChild<QLineEdit*>(text.key()))
                edit->setText(text.value());
            else
                return false;
        }
        return then(modal);
    };
}

Step pressOk()
{
    return ModalDialogDriver::pressButton(QDialogButtonBox::Ok);
}

// Reads a message box's text into `texts`, then presses its Ok.
Step readBox(QStringList& texts)
{
    return [&texts](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        texts << (box ? box->text() : QString());
        return box && pressOk()(modal);
    };
}

Step escape()
{
    return [](QWidget* modal) {
        QTest::keyClick(modal, Qt::Key_Escape);
        return true;
    };
}

// The form still shows `expected` in the file chooser `objectName`.
Step fileShows(const QString& objectName, const QString& expected, Step then)
{
    return [objectName, expected, then](QWidget* modal) {
        auto* chooser = modal->findChild<FileBrowserWidget*>(objectName);
        return chooser && chooser->getFile() == expected && then(modal);
    };
}

// Each command of `file` as its JSON object.
QList<JsonObject> commandsOf(const FlashFileManager& file)
{
    QList<JsonObject> commands;
    for (const auto& command : file.getCommandList())
        commands << command->toJson();
    return commands;
}

QString textOf(const JsonObject& object, const QString& key)
{
    QString text;
    object.getString(key, text);
    return text;
}

// Arguments as a command writes them: each word in double quotes.
QString quoted(const QStringList& words)
{
    return QLatin1Char('"') + words.join(QStringLiteral("\" \"")) + QLatin1Char('"');
}

QString dfuArgs(const QString& partition, const QString& parameter, bool reset = false)
{
    return QStringLiteral(R"("--alt" "%1" "-D" "${%2}" "-t" "4096")").arg(partition, parameter)
           + (reset ? QStringLiteral(" -R") : QString());
}

} // namespace

class tst_CommandTemplates : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void compiledInTemplates();
    void chooserListsBuiltInThenUserFiles();
    void dfuTemplateGoesBelowTheSelection();
    void inputsDialogKeepsAnswersUntilTheyPass();
    void cancellingChangesNothing_data();
    void cancellingChangesNothing();
    void clashingIdentifiersAreRenamed();
    void valuesAndDependencies();
    void refusedCommandAddsNothing();
    void invalidTemplate_data();
    void invalidTemplate();
    void noInputsNoDialog();
    void createParameterMakesOneValue();

private:
    struct Editor;
    // A flash file in a folder of its own, loaded into `tab`.
    QString load(FlashEditorWidget& tab, const QString& folder, const QByteArray& json);
    // `name` written into the user templates folder.
    QString userTemplate(const QString& name, const QByteArray& json);
    bool choose(FlashEditorWidget& tab, const QString& text) const;
    void selectRows(FlashEditorWidget& tab, const QList<int>& rows) const;
    // Clicks the add-template button, `steps` answering the dialogs it opens in turn; the
    // driver's failures (a step that failed, a dialog nobody expected).
    QStringList addTemplate(FlashEditorWidget& tab, const QList<Step>& steps = {}) const;
    QSharedPointer<FlashFileManager> fileOf(const FlashEditorWidget& tab) const;

    QTemporaryDir m_dir;
    QString m_templates;
};

void tst_CommandTemplates::initTestCase()
{
    QVERIFY(m_dir.isValid());
    BuiltInKinds::registerAll();
    UiResources::init();
    ToolConst::defaultOptionName = m_dir.filePath(QStringLiteral("settings.opt"));
    MessageHandler::instance()->setLogLevel(TRACE);
    QCoreApplication::setApplicationName(QStringLiteral("Quillon Lite"));
    qApp->setProperty("FONT_SIZE_GENERAL", 13);
    m_templates = m_dir.filePath(QStringLiteral("templates"));
    QVERIFY(QDir().mkpath(m_templates));
}

QString tst_CommandTemplates::load(FlashEditorWidget& tab, const QString& folder, const QByteArray& json)
{
    const QString path = m_dir.filePath(folder + QStringLiteral("/flash.json"));
    if (!write(path, json) || !write(m_dir.filePath(folder + QStringLiteral("/image.bin")), "image"))
        return QString();
    tab.setUserTemplatesFolder(m_templates);
    return tab.loadFile(path, false) ? path : QString();
}

QString tst_CommandTemplates::userTemplate(const QString& name, const QByteArray& json)
{
    const QString path = QDir(m_templates).filePath(name);
    return write(path, json) ? path : QString();
}

bool tst_CommandTemplates::choose(FlashEditorWidget& tab, const QString& text) const
{
    auto* chooser = tab.findChild<QComboBox*>(QStringLiteral("comboBoxTemplates"));
    const int row = chooser ? chooser->findText(text) : -1;
    if (row < 0)
        return false;
    chooser->setCurrentIndex(row);
    return true;
}

void tst_CommandTemplates::selectRows(FlashEditorWidget& tab, const QList<int>& rows) const
{
    auto* view = tab.findChild<QTableView*>(QStringLiteral("tableViewCommands"));
    for (int row : rows)
        view->selectionModel()->select(view->model()->index(row, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

QStringList tst_CommandTemplates::addTemplate(FlashEditorWidget& tab, const QList<Step>& steps) const
{
    auto* button = tab.findChild<QPushButton*>(QStringLiteral("pushButtonAddTemplateCommand"));
    if (!button || !button->isEnabled())
        return {QStringLiteral("no enabled add-template button")};
    ModalDialogDriver driver;
    for (const Step& step : steps)
        driver.answer(step);
    driver.closeUnexpected();
    QTest::mouseClick(button, Qt::LeftButton);
    return driver.failures();
}

QSharedPointer<FlashFileManager> tst_CommandTemplates::fileOf(const FlashEditorWidget& tab) const
{
    const QSharedPointer<FlashConfiguration> registered = tab.getCurrentFlashFile();
    return registered ? registered->getFlashFileManager() : QSharedPointer<FlashFileManager>();
}

void tst_CommandTemplates::compiledInTemplates()
{
    QDir resources(QStringLiteral(":/templates"));
    QCOMPARE(resources.entryList(QDir::Files, QDir::Name),
             (QStringList{QStringLiteral("PmicNvmUpdateWithDravik.json"), QStringLiteral("flashFwOsWithDravik.json"),
                          QStringLiteral("flashWithDfu.json")}));

    JsonObject dfu;
    QVERIFY(dfu.loadFile(QStringLiteral(":/templates/flashWithDfu.json")));
    QCOMPARE(textOf(dfu, QStringLiteral("name")), kDfuTemplate);
    JsonObjectList inputs;
    JsonObjectList commands;
    QCOMPARE(dfu.getObjectList(QStringLiteral("parameters"), inputs), JsonObject::Found);
    QCOMPARE(dfu.getObjectList(QStringLiteral("commands"), commands), JsonObject::Found);
    QStringList ids;
    for (const JsonObject& input : inputs) {
        ids << textOf(input, QStringLiteral("id"));
        QCOMPARE(textOf(input, QStringLiteral("type")), QStringLiteral("file"));
        QCOMPARE(textOf(input, QStringLiteral("param_type")), QStringLiteral("file"));
        bool required = false;
        QCOMPARE(input.getBoolean(QStringLiteral("required"), required), JsonObject::Found);
        QVERIFY(required);
    }
    QCOMPARE(ids, (QStringList{QStringLiteral("u-boot_file"), QStringLiteral("u-boot-env_file"),
                               QStringLiteral("boot_file"), QStringLiteral("rootfs_file")}));
    QCOMPARE(commands.size(), 5);
    const QStringList args = {dfuArgs(QStringLiteral("u-boot0"), QStringLiteral("u-boot_file")),
                              dfuArgs(QStringLiteral("u-boot-env0"), QStringLiteral("u-boot-env_file")),
                              dfuArgs(QStringLiteral("u-boot-env1"), QStringLiteral("u-boot-env_file")),
                              dfuArgs(QStringLiteral("boot"), QStringLiteral("boot_file")),
                              dfuArgs(QStringLiteral("rootfs"), QStringLiteral("rootfs_file"), true)};
    for (int n = 0; n < commands.size(); ++n) {
        const JsonObject& command = commands[n];
        QCOMPARE(textOf(command, QStringLiteral("tool")), QStringLiteral("dfuDownloader"));
        QCOMPARE(textOf(command, QStringLiteral("args")), args[n]);
        unsigned long long timeout = 0;
        unsigned long long retry = 0;
        bool mandatory = false;
        QCOMPARE(command.getUInt64(QStringLiteral("timeout"), timeout), JsonObject::Found);
        QCOMPARE(timeout, n == 4 ? 1200000ull : 60000ull);
        QCOMPARE(command.getUInt64(QStringLiteral("retry"), retry), JsonObject::Found);
        QCOMPARE(retry, 2ull);
        QCOMPARE(command.getBoolean(QStringLiteral("mandatory"), mandatory), JsonObject::Found);
        QVERIFY(mandatory);
        QCOMPARE(command.hasNullValue(QStringLiteral("restrict")), JsonObject::Found);
    }

    const QList<std::tuple<QString, QString, QString, int>> dravik = {
        {QStringLiteral(":/templates/flashFwOsWithDravik.json"), QStringLiteral("Flash FW/OS with Dravik Downloader"),
         QStringLiteral("0x80000045"), 7},
        {QStringLiteral(":/templates/PmicNvmUpdateWithDravik.json"),
         QStringLiteral("PMIC NVM update with Dravik Downloader"), QStringLiteral("0x80000007"), 3}};
    for (const auto& expected : dravik) {
        JsonObject document;
        QVERIFY(document.loadFile(std::get<0>(expected)));
        QCOMPARE(textOf(document, QStringLiteral("name")), std::get<1>(expected));
        QVERIFY(document.getObjectList(QStringLiteral("parameters"), inputs) == JsonObject::Found);
        QCOMPARE(inputs.size(), std::get<3>(expected));
        const JsonObject gpflag = inputs.last();
        QCOMPARE(textOf(gpflag, QStringLiteral("id")), QStringLiteral("gpflag"));
        QCOMPARE(textOf(gpflag, QStringLiteral("value")), std::get<2>(expected));
        QCOMPARE(textOf(gpflag, QStringLiteral("input_mask")), QStringLiteral("\\0\\xHHHHHHHH;_"));
        QVERIFY(document.getObjectList(QStringLiteral("commands"), commands) == JsonObject::Found);
        QCOMPARE(commands.size(), 1);
        QCOMPARE(textOf(commands.first(), QStringLiteral("tool")), QStringLiteral("dravikDownloader"));
        QCOMPARE(textOf(commands.first(), QStringLiteral("gpflag")), QStringLiteral("${gpflag}"));
    }
}

void tst_CommandTemplates::chooserListsBuiltInThenUserFiles()
{
    const QString folder = m_dir.filePath(QStringLiteral("chooser"));
    QVERIFY(write(QDir(folder).filePath(QStringLiteral("b.json")), R"({"name": "Alpha", "commands": []})"));
    QVERIFY(write(QDir(folder).filePath(QStringLiteral("a.json")), R"({"name": "Beta"})"));
    QVERIFY(write(QDir(folder).filePath(QStringLiteral("c.json")), R"({"commands": []})"));
    QVERIFY(write(QDir(folder).filePath(QStringLiteral("broken.json")), R"(["not", "an", "object"])"));
    QVERIFY(write(QDir(folder).filePath(QStringLiteral("notes.txt")), R"({"name": "Notes"})"));

    FlashEditorWidget tab;
    LoggerBridge bridge;
    bridge.bind(tab);
    const RecordedLog log;
    tab.setUserTemplatesFolder(folder);
    auto* chooser = tab.findChild<QComboBox*>(QStringLiteral("comboBoxTemplates"));
    QVERIFY(chooser);
    const QStringList builtIn = {kDfuTemplate, QStringLiteral("Flash FW/OS with Dravik Downloader"),
                                 QStringLiteral("PMIC NVM update with Dravik Downloader")};
    const QStringList user = {QStringLiteral("Beta"), QStringLiteral("Alpha"), QStringLiteral("c.json")};
    QCOMPARE(items(*chooser), builtIn + user);
    const QStringList warnings = log.at(QStringLiteral("WARNING"));
    QCOMPARE(warnings.size(), 1);
    QVERIFY2(warnings.first().contains(QDir(folder).filePath(QStringLiteral("broken.json"))), qPrintable(warnings.first()));

    // Each entry carries its document and its path.
    QCOMPARE(chooser->itemData(4, Qt::UserRole + 1).toString(), QDir(folder).filePath(QStringLiteral("b.json")));
    JsonObject document;
    QVERIFY(document.setContent(chooser->itemData(4, Qt::UserRole)));
    QCOMPARE(textOf(document, QStringLiteral("name")), QStringLiteral("Alpha"));
    QCOMPARE(chooser->itemData(0, Qt::UserRole + 1).toString(), QStringLiteral(":/templates/flashWithDfu.json"));

    // The list follows the folder.
    QVERIFY(write(QDir(folder).filePath(QStringLiteral("aa.json")), R"({"name": "New"})"));
    QTRY_COMPARE_WITH_TIMEOUT(chooser->count(), 7, 20000);
    QCOMPARE(chooser->itemText(4), QStringLiteral("New"));
}

void tst_CommandTemplates::dfuTemplateGoesBelowTheSelection()
{
    FlashEditorWidget tab;
    const QString path = load(tab, QStringLiteral("dfu"), flashJson(8));
    QVERIFY(!path.isEmpty());
    const QString images = m_dir.filePath(QStringLiteral("dfu/images"));
    QMap<QString, QString> answers;
    for (const QString& id : {QStringLiteral("u-boot_file"), QStringLiteral("u-boot-env_file"),
                              QStringLiteral("boot_file"), QStringLiteral("rootfs_file")}) {
        QVERIFY(write(QDir(images).filePath(id + QStringLiteral(".img")), id.toUtf8()));
        answers.insert(id, QDir(images).filePath(id + QStringLiteral(".img")));
    }
    selectRows(tab, {2, 5});
    QVERIFY(choose(tab, kDfuTemplate));
    QSignalSpy registered(&tab, &FlashEditorWidget::flashFileChanged);
    const QStringList failures = addTemplate(tab, {answer(answers, pressOk())});
    QVERIFY2(failures.isEmpty(), qPrintable(failures.join('\n')));
    QCOMPARE(registered.count(), 1);

    const QSharedPointer<FlashFileManager> file = fileOf(tab);
    QVERIFY(file);
    const QList<JsonObject> commands = commandsOf(*file);
    QCOMPARE(commands.size(), 13);
    QStringList descriptions;
    for (const JsonObject& command : commands)
        descriptions << textOf(command, QStringLiteral("description"));
    QCOMPARE(descriptions, (QStringList{QStringLiteral("s0"), QStringLiteral("s1"), QStringLiteral("s2"),
                                        QStringLiteral("s3"), QStringLiteral("s4"), QStringLiteral("s5"),
                                        QStringLiteral("Flashing u-boot0"), QStringLiteral("Flashing u-boot-env0"),
                                        QStringLiteral("Flashing u-boot-env1"), QStringLiteral("Flashing boot"),
                                        QStringLiteral("Flashing rootfs"), QStringLiteral("s6"), QStringLiteral("s7")}));
    const QSharedPointer<FlashConfiguration> alpha = file->getConfiguration(QStringLiteral("a"));
    const QSharedPointer<FlashConfiguration> beta = file->getConfiguration(QStringLiteral("b"));
    for (unsigned long position = 6; position <= 10; ++position) {
        QCOMPARE(alpha->getCommand(position), file->getCommandList()[position]);
        QVERIFY(!beta->getCommand(position));
    }
    QVERIFY(beta->getCommand(11));  // the commands that were there keep their uses
    for (auto id = answers.begin(); id != answers.end(); ++id) {
        const QSharedPointer<FlashParameter> parameter = file->getParameter(id.key());
        QVERIFY2(parameter, qPrintable(id.key()));
        QCOMPARE(parameter->getType(), FlashParameter::File);
        QCOMPARE(parameter->getValues().size(), std::size_t(1));
        QCOMPARE(parameter->getValues().begin()->second->getValue(), QDir::toNativeSeparators(id.value()));
    }

    // Written as "3.0" and read again, the commands are whole.
    const QString saved = m_dir.filePath(QStringLiteral("dfu/saved.json"));
    QVERIFY(file->toJson(QFileInfo(saved).absolutePath()).saveToFile(saved));
    const QSharedPointer<FlashFileManager> reloaded = FlashFileManager::loadFromFile(saved, true);
    QVERIFY(reloaded);
    const QList<JsonObject> again = commandsOf(*reloaded);
    QCOMPARE(again.size(), 13);
    for (int n = 6; n <= 10; ++n)
        QCOMPARE(again[n], commands[n]);
    QCOMPARE(textOf(again[10], QStringLiteral("args")),
             quoted({QStringLiteral("--alt"), QStringLiteral("rootfs"), QStringLiteral("-D"),
                     QStringLiteral("${rootfs_file}"), QStringLiteral("-t"), QStringLiteral("4096"), QStringLiteral("-R")}));
    unsigned long long timeout = 0;
    QCOMPARE(again[10].getUInt64(QStringLiteral("timeout"), timeout), JsonObject::Found);
    QCOMPARE(timeout, 1200000ull);
    QVERIFY(reloaded->getConfiguration(QStringLiteral("a"))->getCommand(8));
    QVERIFY(!reloaded->getConfiguration(QStringLiteral("b"))->getCommand(8));
    QCOMPARE(reloaded->getParameter(QStringLiteral("boot_file"))->getValues().begin()->second->getValue(),
             QDir::toNativeSeparators(answers.value(QStringLiteral("boot_file"))));
}

void tst_CommandTemplates::inputsDialogKeepsAnswersUntilTheyPass()
{
    FlashEditorWidget tab;
    QVERIFY(!load(tab, QStringLiteral("checks"), flashJson(1)).isEmpty());
    QVERIFY(choose(tab, kDfuTemplate));
    const QString image = m_dir.filePath(QStringLiteral("checks/image.bin"));
    const QString missing = m_dir.filePath(QStringLiteral("checks/missing.bin"));
    QMap<QString, QString> three = {{QStringLiteral("u-boot_file"), image},
                                    {QStringLiteral("u-boot-env_file"), image},
                                    {QStringLiteral("boot_file"), image}};
    QMap<QString, QString> withMissing = three;
    withMissing.insert(QStringLiteral("rootfs_file"), missing);

    QStringList texts;
    const QStringList failures = addTemplate(
        tab, {answer(three, pressOk()), readBox(texts),
              fileShows(QStringLiteral("boot_file"), image, answer(withMissing, pressOk())), readBox(texts),
              fileShows(QStringLiteral("rootfs_file"), missing, answer({{QStringLiteral("rootfs_file"), image}}, pressOk()))});
    QVERIFY2(failures.isEmpty(), qPrintable(failures.join('\n')));
    QCOMPARE(texts, (QStringList{QStringLiteral("Some required fields are not set, please fill them!"),
                                          QStringLiteral("Some specified files are not found")}));
    QCOMPARE(fileOf(tab)->getCommandList().size(), std::size_t(6));
}

void tst_CommandTemplates::cancellingChangesNothing_data()
{
    QTest::addColumn<bool>("byEscape");
    QTest::newRow("Cancel") << false;
    QTest::newRow("Escape") << true;
}

void tst_CommandTemplates::cancellingChangesNothing()
{
    QFETCH(bool, byEscape);
    FlashEditorWidget tab;
    QVERIFY(!load(tab, QStringLiteral("cancel"), flashJson(2)).isEmpty());
    tab.onEnter();
    const QSharedPointer<FlashFileManager> file = fileOf(tab);
    QVERIFY(choose(tab, kDfuTemplate));
    QSignalSpy registered(&tab, &FlashEditorWidget::flashFileChanged);
    const QString image = m_dir.filePath(QStringLiteral("cancel/image.bin"));
    const QStringList failures =
        addTemplate(tab, {answer({{QStringLiteral("boot_file"), image}},
                                 byEscape ? escape() : ModalDialogDriver::pressButton(QDialogButtonBox::Cancel))});
    QVERIFY2(failures.isEmpty(), qPrintable(failures.join('\n')));
    QCOMPARE(registered.count(), 0);
    QCOMPARE(file->getCommandList().size(), std::size_t(2));
    QVERIFY(!file->getParameter(QStringLiteral("boot_file")));
    QVERIFY(!QApplication::activeModalWidget());
}

void tst_CommandTemplates::clashingIdentifiersAreRenamed()
{
    QVERIFY(!userTemplate(QStringLiteral("clash.json"), R"js({"name": "Clash",
        "parameters": [{"id": "boot_file", "type": "file", "param_type": "file", "label": "Boot", "value": ""},
                       {"id": "a", "type": "file", "param_type": "file", "label": "A", "value": ""},
                       {"id": "a_1", "type": "file", "param_type": "file", "label": "A1", "value": ""},
                       {"id": "b", "type": "text", "label": "B", "value": ""}],
        "commands": [{"tool": "fastboot", "args": "flash boot ${boot_file}", "timeout": 1000, "retry": 1, "description": "d"},
                     {"tool": "fastboot", "args": "flash a ${a}", "timeout": 1000, "retry": 1, "description": "d"},
                     {"tool": "fastboot", "args": "flash a1 ${a_1}", "timeout": 1000, "retry": 1, "description": "d"},
                     {"tool": "fastboot", "args": "flash $(b) ${a}", "timeout": 1000, "retry": 1, "description": "d"}]})js").isEmpty());
    FlashEditorWidget tab;
    QVERIFY(!load(tab, QStringLiteral("clash"),
                  flashJson(1, {QStringLiteral("boot_file"), QStringLiteral("boot_file_1"), QStringLiteral("a")}))
                 .isEmpty());
    QVERIFY(choose(tab, QStringLiteral("Clash")));
    const QString boot = m_dir.filePath(QStringLiteral("clash/boot.img"));
    const QString a = m_dir.filePath(QStringLiteral("clash/a.img"));
    const QString a1 = m_dir.filePath(QStringLiteral("clash/a1.img"));
    QVERIFY(write(boot, "boot") && write(a, "a") && write(a1, "a1"));
    const QStringList failures =
        addTemplate(tab, {answer({{QStringLiteral("boot_file"), boot}, {QStringLiteral("a"), a}, {QStringLiteral("a_1"), a1},
                                  {QStringLiteral("b"), QStringLiteral("x")}},
                                 pressOk())});
    QVERIFY2(failures.isEmpty(), qPrintable(failures.join('\n')));

    const QSharedPointer<FlashFileManager> file = fileOf(tab);
    const QList<JsonObject> commands = commandsOf(*file);
    QCOMPARE(commands.size(), 5);
    QCOMPARE(textOf(commands[1], QStringLiteral("args")), quoted({QStringLiteral("flash"), QStringLiteral("boot"), QStringLiteral("${boot_file_2}")}));
    QCOMPARE(textOf(commands[2], QStringLiteral("args")), quoted({QStringLiteral("flash"), QStringLiteral("a"), QStringLiteral("${a_1}")}));
    QCOMPARE(textOf(commands[3], QStringLiteral("args")), quoted({QStringLiteral("flash"), QStringLiteral("a1"), QStringLiteral("${a_1_1}")}));
    // "$(b)" ends at its own bracket: the "${a}" after it is renamed as well.
    QCOMPARE(textOf(commands[4], QStringLiteral("args")), quoted({QStringLiteral("flash"), QStringLiteral("x"), QStringLiteral("${a_1}")}));

    const QSharedPointer<FlashParameter> renamed = file->getParameter(QStringLiteral("boot_file_2"));
    QVERIFY(renamed);
    QCOMPARE(renamed->getName(), QStringLiteral("Boot"));
    QCOMPARE(renamed->getValues().size(), std::size_t(1));
    QCOMPARE(renamed->getValues().begin()->first, QStringLiteral("boot_file"));
    QCOMPARE(renamed->getValues().begin()->second->getValue(), boot);
    // Each input keeps its own parameter and image.
    QCOMPARE(file->getParameter(QStringLiteral("a_1"))->getValues().begin()->second->getValue(), a);
    QCOMPARE(file->getParameter(QStringLiteral("a_1_1"))->getValues().begin()->second->getValue(), a1);
    QCOMPARE(file->getParameter(QStringLiteral("a"))->getValues().begin()->second->getValue(),
             m_dir.filePath(QStringLiteral("clash/image.bin")));
    QVERIFY(!file->getParameter(QStringLiteral("b")));
}

void tst_CommandTemplates::valuesAndDependencies()
{
    QVERIFY(!userTemplate(QStringLiteral("values.json"), R"js({"name": "Values",
        "parameters": [{"id": "gpflag", "type": "text", "label": "GP flag", "value": "0x80000045"},
                       {"id": "extra", "type": "text", "label": "Extra", "required": false, "value": ""},
                       {"id": "os", "type": "text", "label": "OS", "value": ""}],
        "commands": [{"tool": "fastboot", "args": "oem gpflag $(gpflag)", "timeout": 1000, "retry": 1, "description": "d", "mandatory": true},
                     {"tool": "fastboot", "args": "flash extra ${extra}", "timeout": 1000, "retry": 1, "description": "d", "dependencies": ["extra"]},
                     {"tool": "fastboot", "args": "flash os ${os}", "timeout": 1000, "retry": 1, "description": "d", "dependencies": ["os"]}]})js")
                 .isEmpty());
    FlashEditorWidget tab;
    QVERIFY(!load(tab, QStringLiteral("values"), flashJson(0)).isEmpty());
    QVERIFY(choose(tab, QStringLiteral("Values")));
    const QStringList failures = addTemplate(
        tab, {answer({{QStringLiteral("gpflag"), QStringLiteral("0x80000007")}, {QStringLiteral("os"), QStringLiteral("os.img")}},
                     pressOk())});
    QVERIFY2(failures.isEmpty(), qPrintable(failures.join('\n')));

    const QSharedPointer<FlashFileManager> file = fileOf(tab);
    const QList<JsonObject> commands = commandsOf(*file);
    QCOMPARE(commands.size(), 2);
    QCOMPARE(textOf(commands[0], QStringLiteral("args")), quoted({QStringLiteral("oem"), QStringLiteral("gpflag"), QStringLiteral("0x80000007")}));
    bool mandatory = false;
    QCOMPARE(commands[0].getBoolean(QStringLiteral("mandatory"), mandatory), JsonObject::Found);
    QVERIFY(mandatory);
    QCOMPARE(textOf(commands[1], QStringLiteral("args")), quoted({QStringLiteral("flash"), QStringLiteral("os"), QStringLiteral("${os}")}));
    QVERIFY(!file->getParameter(QStringLiteral("gpflag")));
    QVERIFY(!file->getParameter(QStringLiteral("extra")));
    const QSharedPointer<FlashParameter> os = file->getParameter(QStringLiteral("os"));
    QVERIFY(os);
    QCOMPARE(os->getType(), FlashParameter::String);
    QCOMPARE(os->getValues().begin()->second->getValue(), QStringLiteral("os.img"));
}

void tst_CommandTemplates::refusedCommandAddsNothing()
{
    QVERIFY(!userTemplate(QStringLiteral("refused.json"), R"js({"name": "Refused",
        "parameters": [{"id": "image", "type": "text", "label": "Image", "value": "x"}],
        "commands": [{"tool": "fastboot", "args": "flash one ${image}", "timeout": 1000, "retry": 1, "description": "d"},
                     {"tool": "fastboot", "args": "flash two ${image}", "timeout": 1000, "retry": 1, "description": "d"},
                     {"tool": "fastboot", "args": "flash three", "timeout": "soon", "retry": 1, "description": "d"},
                     {"tool": "fastboot", "args": "flash four", "timeout": 1000, "retry": 1, "description": "d"},
                     {"tool": "sleep", "duration": 1}]})js").isEmpty());
    FlashEditorWidget tab;
    LoggerBridge bridge;
    bridge.bind(tab);
    QVERIFY(!load(tab, QStringLiteral("refused"), flashJson(2)).isEmpty());
    tab.onEnter();
    const QSharedPointer<FlashFileManager> file = fileOf(tab);
    QVERIFY(choose(tab, QStringLiteral("Refused")));
    QSignalSpy registered(&tab, &FlashEditorWidget::flashFileChanged);
    const RecordedLog log;
    QStringList texts;
    const QStringList failures = addTemplate(tab, {pressOk(), readBox(texts)});
    QVERIFY2(failures.isEmpty(), qPrintable(failures.join('\n')));
    QCOMPARE(texts, QStringList{QStringLiteral("Fail to create command 'fastboot'.\nCheck logs for more details.")});
    QVERIFY(log.at(QStringLiteral("ERROR")).contains(QStringLiteral("Fail to create command 'fastboot'")));
    QCOMPARE(registered.count(), 0);
    QCOMPARE(file->getCommandList().size(), std::size_t(2));
    QCOMPARE(file->getConfiguration(QStringLiteral("a"))->getCommand(1), file->getCommandList()[1]);
    QVERIFY(!file->getParameter(QStringLiteral("image")));
    auto* view = tab.findChild<QTableView*>(QStringLiteral("tableViewCommands"));
    QCOMPARE(view->model()->rowCount(), 2);
}

void tst_CommandTemplates::invalidTemplate_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("key");
    QTest::newRow("parameters") << QByteArray(R"({"name": "Bad", "parameters": {"id": "x"}, "commands": []})")
                                << QStringLiteral("parameters");
    QTest::newRow("commands") << QByteArray(R"({"name": "Bad", "commands": "none"})") << QStringLiteral("commands");
}

void tst_CommandTemplates::invalidTemplate()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, key);
    const QString path = userTemplate(QStringLiteral("bad.json"), json);
    FlashEditorWidget tab;
    LoggerBridge bridge;
    bridge.bind(tab);
    QVERIFY(!load(tab, QStringLiteral("bad"), flashJson(1)).isEmpty());
    QVERIFY(choose(tab, QStringLiteral("Bad")));
    QSignalSpy registered(&tab, &FlashEditorWidget::flashFileChanged);
    const RecordedLog log;
    QStringList texts;
    const QStringList failures = addTemplate(tab, {readBox(texts)});
    QVERIFY2(failures.isEmpty(), qPrintable(failures.join('\n')));
    QCOMPARE(texts, QStringList{QStringLiteral("Invalid template Bad")});
    QCOMPARE(log.at(QStringLiteral("ERROR")), QStringList{QStringLiteral("Invalid template Bad")});
    QVERIFY(log.at(QStringLiteral("TRACE"))
                .contains(QStringLiteral("Invalid type for %1 key in template %2").arg(key, path)));
    QCOMPARE(registered.count(), 0);
    QVERIFY(QFile::remove(path));
}

void tst_CommandTemplates::noInputsNoDialog()
{
    QVERIFY(!userTemplate(QStringLiteral("plain.json"), R"js({"name": "Plain",
        "commands": [{"tool": "fastboot", "args": "reboot", "timeout": 1000, "retry": 1, "description": "plain"},
                     {"tool": "sleep", "duration": 1, "dependencies": ["none"]}]})js").isEmpty());
    QVERIFY(!userTemplate(QStringLiteral("empty.json"), R"js({"name": "Empty",
        "parameters": [{"id": "x", "type": "text", "label": "X", "value": "1"}], "commands": []})js").isEmpty());
    FlashEditorWidget tab;
    QVERIFY(!load(tab, QStringLiteral("plain"), flashJson(1)).isEmpty());
    QSignalSpy registered(&tab, &FlashEditorWidget::flashFileChanged);
    QVERIFY(choose(tab, QStringLiteral("Plain")));
    QStringList failures = addTemplate(tab);
    QVERIFY2(failures.isEmpty(), qPrintable(failures.join('\n')));
    QCOMPARE(registered.count(), 1);
    const QSharedPointer<FlashFileManager> file = fileOf(tab);
    QCOMPARE(commandsOf(*file).size(), 2);
    QCOMPARE(textOf(commandsOf(*file).last(), QStringLiteral("description")), QStringLiteral("plain"));

    // Inputs but no commands: the dialog, then nothing added, yet an edit that registers.
    QVERIFY(choose(tab, QStringLiteral("Empty")));
    failures = addTemplate(tab, {pressOk()});
    QVERIFY2(failures.isEmpty(), qPrintable(failures.join('\n')));
    QCOMPARE(registered.count(), 2);
    QCOMPARE(fileOf(tab)->getCommandList().size(), std::size_t(2));
    QVERIFY(!fileOf(tab)->getParameter(QStringLiteral("x")));
}

void tst_CommandTemplates::createParameterMakesOneValue()
{
    const QSharedPointer<FlashParameter> file =
        FlashEditorWidget::createParameter<FlashParameterValueFile, std::map<QString, FlashParameterValueFile*>>(
            QStringLiteral("p"), QStringLiteral("Name"), QStringLiteral("v"), QStringLiteral("rel/image.bin"),
            QStringLiteral("Description"));
    QVERIFY(file);
    QCOMPARE(file->getId(), QStringLiteral("p"));
    QCOMPARE(file->getName(), QStringLiteral("Name"));
    QCOMPARE(file->getType(), FlashParameter::File);
    QCOMPARE(file->getValues().size(), std::size_t(1));
    QCOMPARE(file->getValues().begin()->first, QStringLiteral("v"));
    QCOMPARE(file->getValues().begin()->second->getValue(), QDir::current().absoluteFilePath(QStringLiteral("rel/image.bin")));
    QCOMPARE(file->getValues().begin()->second->getDescription(), QStringLiteral("Description"));
    const QSharedPointer<FlashParameter> text =
        FlashEditorWidget::createParameter<FlashParameterValueString, std::map<QString, FlashParameterValueString*>>(
            QStringLiteral("s"), QString(), QStringLiteral("s"), QString(), QString());
    QVERIFY(text);
    QCOMPARE(text->getType(), FlashParameter::String);
    QCOMPARE(text->getValues().begin()->second->getValue(), QString());
}

QTEST_MAIN(tst_CommandTemplates)
#include "tst_CommandTemplates.moc"
