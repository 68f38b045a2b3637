// The options dialog on a fresh home folder: what opening writes, what OK saves (settings, tools
// file, flash manager), Restore, the tools table's look, the folder deletion and its refusals, the
// result-template checks, and the window's action that opens it.

#include "ui/options/AppOptions.h"

#include "ModalDialogDriver.h"
#include "OptionsHome.h"
#include "RecordingLogSink.h"
#include "core/MessageHandler.h"
#include "engine/FlashManager.h"
#include "model/FlashCommand.h"
#include "tools/BuiltInKinds.h"
#include "ui/FileBrowserWidget.h"
#include "ui/MainWindow.h"
#include "ui/UiResources.h"

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QStyleOptionViewItem>
#include <QTableView>
#include <QTextEdit>
#include <QToolButton>
#include <QtTest>

#include <memory>

class tst_AppOptions : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void openingWritesTheDefaultsEvenWhenCancelled();
    void hexFieldsFallBackToTheirDefaults_data();
    void hexFieldsFallBackToTheirDefaults();
    void behaviourIsSavedAsZeroOrOne_data();
    void behaviourIsSavedAsZeroOrOne();
    void clearedAdbPathSavesTheDefault();
    void clearedUserToolIsRemovedAndUnregistered();
    void removeKeepsTheBuiltInRows();
    void restoreThenCancelKeepsTheDefaults();
    void toolCellsShowTheirPath_data();
    void toolCellsShowTheirPath();
    void deleteEmptiesTheDownloadFolder();
    void deleteRefusesFoldersThatHoldTooMuch_data();
    void deleteRefusesFoldersThatHoldTooMuch();
    void deleteThatFailsSaysSo();
    void applicationLogChangeIsNoticed();
    void templateChecksSayWhere_data();
    void templateChecksSayWhere();
    void windowActionOpensTheDialog();

private:
    AppOptions& open();
    QTableView& table() { return *m_options->findChild<QTableView*>("m_pkExternalToolsTable"); }
    int rowOf(const QString& id);
    // Clears the path cell of `id` through the table's editor, as a user does.
    void clearPath(const QString& id);
    void clickOk();
    QString writeTool(const QString& name, bool executable);

    std::unique_ptr<OptionsHome> m_home;
    std::unique_ptr<FlashManager> m_manager;
    std::unique_ptr<AppOptions> m_options;
    RecordingLogSink m_sink;
};

namespace {

template <class T> T* child(QWidget& dialog, const char* name)
{
    return dialog.findChild<T*>(QLatin1String(name));
}

} // namespace

void tst_AppOptions::initTestCase()
{
    QCoreApplication::setApplicationName(QStringLiteral("Quillon Lite"));
    UiResources::init();
    for (const char* property :
         {"FONT_SIZE_GENERAL", "FONT_SIZE_LOGGER", "FONT_SIZE_TOOL_BUTTON", "FONT_SIZE_LOG_BUTTON"})
        qApp->setProperty(property, 11);
    BuiltInKinds::registerAll();
}

void tst_AppOptions::init()
{
    m_home = std::make_unique<OptionsHome>();
    QVERIFY(m_home->isValid());
    m_manager = std::make_unique<FlashManager>();
    m_sink.clear();
}

void tst_AppOptions::cleanup()
{
    m_options.reset();
    m_manager.reset();
    m_home.reset();
}

AppOptions& tst_AppOptions::open()
{
    m_options = std::make_unique<AppOptions>(*m_manager);
    m_sink.bind(*m_options);
    m_options->show();
    return *m_options;
}

int tst_AppOptions::rowOf(const QString& id)
{
    QAbstractItemModel* model = table().model();
    for (int row = 0; row < model->rowCount(); ++row) {
        if (model->index(row, 0).data().toString() == id)
            return row;
    }
    return -1;
}

void tst_AppOptions::clearPath(const QString& id)
{
    const QModelIndex index = table().model()->index(rowOf(id), 1);
    table().setCurrentIndex(index);
    table().edit(index);
    auto* editor = table().findChild<FileBrowserWidget*>();
    QVERIFY(editor);
    auto* field = editor->findChild<QLineEdit*>();
    QVERIFY(field);
    field->setFocus();
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Delete);
    QCOMPARE(field->text(), QString());
}

void tst_AppOptions::clickOk()
{
    auto* buttons = child<QDialogButtonBox>(*m_options, "buttonBox");
    QTest::mouseClick(buttons->button(QDialogButtonBox::Ok), Qt::LeftButton);
}

QString tst_AppOptions::writeTool(const QString& name, bool executable)
{
    QFile file(m_home->path(name));
    if (!file.open(QIODevice::WriteOnly) || file.write("#!/bin/sh\nexit 0\n") <= 0)
        return QString();
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | (executable ? QFile::ExeOwner : QFile::Permissions()));
    return file.fileName();
}

void tst_AppOptions::openingWritesTheDefaultsEvenWhenCancelled()
{
    QVERIFY(!QFile::exists(ToolConst::defaultOptionName));
    AppOptions& options = open();
    options.reject();
    const QMap<QString, QVariant> expected{{"OVERRIDE_GP_FLAG", false},
                                           {"GP_FLAG", "0x80000045"},
                                           {"ALWAYS_UNZIP_FLAG", true},
                                           {"ALWAYS_UNZIP_FLAG_ARTIFACTORY", false},
                                           {"TOOL_BEHAVIOR", 1},
                                           {"REMOVE_UNZIPPED_DIR_FLAG", false},
                                           {"REMOVE_HISTORY_FLAG", true},
                                           {"REMOVE_HISTORY_ASK", true},
                                           {"REMOVE_HISTORY_AGE", 14},
                                           {"AutoReloadLocalTabSettings", false},
                                           {"AutoReloadEditorTabSettings", true},
                                           {"DisplaySystrayNotification", true},
                                           {"DisplayDocumentationPopup", true},
                                           {"StrOptDownloadDir", m_home->path(".flasher/.download")},
                                           {"StrOptCacheDir", m_home->path(".flasher/.configs")}};
    for (auto key = expected.begin(); key != expected.end(); ++key)
        QCOMPARE(OptionsHome::stored(key.key()).toString(), key.value().toString());

    for (const char* hidden : {"checkBox_alwaysUnzipArtifactory", "groupBox_configFile", "groupBox_cacheManagement",
                               "widget_crashinfo", "flashLogResultGroup", "labelLogSeeDocumentation", "groupBox_usbmap",
                               "groupBoxStatusServer", "checkBox_reloadEditorTabFlashFile", "groupBox_autoupdater",
                               "widget_group_ethernet", "labelCacheDir", "changeCacheDir", "cacheDir", "deleteCacheDir",
                               "labelCommandTemplate", "m_pkChangeCommandTemplateDir", "m_pkCommandTemplateDir"})
        QVERIFY2(child<QWidget>(options, hidden)->isHidden(), hidden);
    for (const char* shown :
         {"downloadDir", "changeDownloadDir", "deleteDownloadDir", "groupBox_3", "checkBox_alwaysUnzip",
          "checkBox_reloadLocalTabFlashFile", "checkBox_displayDocumentationPopup",
          "checkBox_displaySystrayNotification", "checkBox_pollDeviceInfoOnDetection", "m_pkExternalToolsTable",
          "lineEditLogDirectory", "applicationLogGroup", "checkBoxForceGPFlag", "groupBox_scan", "checkBox_scanOnPlug"})
        QVERIFY2(!child<QWidget>(options, shown)->isHidden(), shown);
    QVERIFY(!child<QCheckBox>(options, "checkBox_scanOnPlug")->isEnabled());
    QCOMPARE(rowOf("fastboot") >= 0 && rowOf("adb") >= 0 && rowOf("dfuDownloader") >= 0, true);
    QVERIFY(!(table().model()->flags(table().model()->index(rowOf("adb"), 0)) & Qt::ItemIsEditable));
}

void tst_AppOptions::hexFieldsFallBackToTheirDefaults_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("fallback");
    QTest::newRow("GP flag") << "gpFlags"
                             << "GP_FLAG"
                             << "0x80000045";
    QTest::newRow("vendor id") << "lineEdit_fastbootVendorID"
                               << "FASTBOOT_VENDOR_ID"
                               << "0x8087";
}

void tst_AppOptions::hexFieldsFallBackToTheirDefaults()
{
    QFETCH(QString, field);
    QFETCH(QString, key);
    QFETCH(QString, fallback);
    AppOptions& options = open();
    auto* edit = options.findChild<QLineEdit*>(field);
    QCOMPARE(edit->text(), fallback); // nothing stored: the default
    options.findChild<QTabWidget*>("tabOptions")->setCurrentIndex(field == "gpFlags" ? 3 : 0);
    options.findChild<QGroupBox*>("checkBoxForceGPFlag")->setChecked(true); // else the field takes no keys
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QCOMPARE(edit->text(), QString("0x")); // what a masked field reads when empty
    clickOk();
    QCOMPARE(OptionsHome::stored(key).toString(), fallback);
    QCOMPARE(edit->text(), fallback);
}

void tst_AppOptions::behaviourIsSavedAsZeroOrOne_data()
{
    QTest::addColumn<int>("stored");
    QTest::addColumn<bool>("checked");
    QTest::addColumn<int>("saved");
    QTest::newRow("2") << 2 << true << 1;
    QTest::newRow("0") << 0 << false << 0;
}

void tst_AppOptions::behaviourIsSavedAsZeroOrOne()
{
    QFETCH(int, stored);
    QFETCH(bool, checked);
    QFETCH(int, saved);
    OptionsHome::store("TOOL_BEHAVIOR", stored);
    OptionsHome::store("FASTBOOT", "/old/fastboot");
    OptionsHome::store("ADB", "/old/adb");
    m_manager->setFlashManagerBehavior(FMConst::FM_BEHAVIOR_ENUM::AlwaysCancel);
    AppOptions& options = open();
    QCOMPARE(child<QCheckBox>(options, "checkBox_pollDeviceInfoOnDetection")->isChecked(), checked);
    clickOk();
    QCOMPARE(OptionsHome::stored("TOOL_BEHAVIOR").toInt(), saved);
    QCOMPARE(int(m_manager->getFlashManagerBehavior()), saved);
    QCOMPARE(ToolConst::TOOL_BEHAVIOR, saved);
    QVERIFY(!OptionsHome::stored("FASTBOOT").isValid());
    QVERIFY(!OptionsHome::stored("ADB").isValid());
}

void tst_AppOptions::clearedAdbPathSavesTheDefault()
{
    open();
    clearPath("adb");
    clickOk();
    QCOMPARE(OptionsHome::storedTool("adb").toString(), FMConst::defaultAdbCmd());
    QCOMPARE(FMConst::AdbCmd(), FMConst::defaultAdbCmd());
}

void tst_AppOptions::clearedUserToolIsRemovedAndUnregistered()
{
    ExternalToolManager& tools = ExternalToolManager::instance();
    ToolConst::Init();
    tools.setTool("mytool", writeTool("mytool", true));
    tools.saveFile(FMConst::defaultExternalToolsSettingsFileName);
    tools.registerTools();
    QVERIFY(FlashCommand::ms_kFactories.count("mytool"));
    open();
    QVERIFY(rowOf("mytool") >= 0);
    clearPath("mytool");
    clickOk();
    QVERIFY(!OptionsHome::storedTool("mytool").isValid());
    QVERIFY(OptionsHome::storedTool("fastboot").isValid());
    QVERIFY(!tools.getTools().contains("mytool"));
    QVERIFY(!FlashCommand::ms_kFactories.count("mytool"));
}

void tst_AppOptions::removeKeepsTheBuiltInRows()
{
    ExternalToolManager::instance().setTool("mytool", writeTool("mytool", true));
    ExternalToolManager::instance().saveFile(FMConst::defaultExternalToolsSettingsFileName);
    open();
    table().selectAll();
    QTest::mouseClick(child<QToolButton>(*m_options, "m_pkRemoveTool"), Qt::LeftButton);
    QStringList ids;
    for (int row = 0; row < table().model()->rowCount(); ++row)
        ids << table().model()->index(row, 0).data().toString();
    QCOMPARE(ids, QStringList({"adb", "dfuDownloader", "fastboot"}));
}

void tst_AppOptions::restoreThenCancelKeepsTheDefaults()
{
    OptionsHome::store("ALWAYS_UNZIP_FLAG", false);
    OptionsHome::store("GP_FLAG", "0x12345678");
    ExternalToolManager::instance().setTool("mytool", writeTool("mytool", true));
    ExternalToolManager::instance().saveFile(FMConst::defaultExternalToolsSettingsFileName);
    AppOptions& options = open();
    QVERIFY(!child<QCheckBox>(options, "checkBox_alwaysUnzip")->isChecked());
    QTest::mouseClick(child<QPushButton>(options, "buttonRestore"), Qt::LeftButton);
    options.reject();
    QCOMPARE(OptionsHome::stored("ALWAYS_UNZIP_FLAG").toBool(), true);
    QCOMPARE(OptionsHome::stored("GP_FLAG").toString(), QString("0x80000045"));
    QSettings file(FMConst::defaultExternalToolsSettingsFileName, QSettings::IniFormat);
    file.beginGroup("Tools");
    QCOMPARE(file.childKeys(), QStringList({"adb", "dfuDownloader", "fastboot"}));
    QVERIFY(child<QPushButton>(options, "buttonRestore")->isEnabled());
}

void tst_AppOptions::toolCellsShowTheirPath_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("path"); // "exec", "plain" (not executable), "folder", "" empty
    QTest::addColumn<bool>("struckOut");
    QTest::addColumn<bool>("redBold");
    QTest::addColumn<bool>("orange");
    QTest::newRow("empty path") << "mytool"
                                << "" << true << false << false;
    QTest::newRow("folder") << "mytool"
                            << "folder" << false << true << false;
    QTest::newRow("not executable") << "mytool"
                                    << "plain" << false << true << false;
    QTest::newRow("user tool") << "mytool"
                               << "exec" << false << false << false;
    QTest::newRow("internal tool") << "sleep"
                                   << "exec" << false << false << true;
    QTest::newRow("built-in program") << "adb"
                                      << "exec" << false << false << false;
}

void tst_AppOptions::toolCellsShowTheirPath()
{
    QFETCH(QString, id);
    QFETCH(QString, path);
    QFETCH(bool, struckOut);
    QFETCH(bool, redBold);
    QFETCH(bool, orange);
    QString file;
    if (path == "exec" || path == "plain")
        file = writeTool("tool", path == "exec");
    else if (path == "folder")
        file = m_home->path("Documents");
    open();
    const int row = table().model()->rowCount();
    table().model()->insertRow(row);
    table().model()->setData(table().model()->index(row, 0), id);
    table().model()->setData(table().model()->index(row, 1), file);
    for (int column : {0, 1}) {
        QStyleOptionViewItem option;
        option.palette.setColor(QPalette::Text, Qt::black);
        setExternalToolStyle(&option, table().model()->index(row, column));
        QCOMPARE(option.font.strikeOut(), struckOut);
        QCOMPARE(option.palette.color(QPalette::Text) == QColor(Qt::red), redBold);
        QCOMPARE(option.font.weight() == QFont::Bold, redBold);
        QCOMPARE(option.palette.color(QPalette::Text) == QColor(253, 184, 19), orange);
    }
}

void tst_AppOptions::deleteEmptiesTheDownloadFolder()
{
    const QString folder = m_home->path("downloads");
    QVERIFY(QDir().mkpath(folder + "/sub"));
    QFile file(folder + "/sub/image.zip");
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    OptionsHome::store("StrOptDownloadDir", folder);
    AppOptions& options = open();
    ModalDialogDriver driver;
    driver.answer(driver.readBoxText(ModalDialogDriver::pressButton(QDialogButtonBox::Ok)));
    QTest::mouseClick(child<QToolButton>(options, "deleteDownloadDir"), Qt::LeftButton);
    QTRY_VERIFY(driver.allAnswered());
    QCOMPARE(driver.texts(), QStringList{"Delete download directory succeed"});
    QVERIFY(QFileInfo(folder).isDir());
    QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
}

void tst_AppOptions::deleteRefusesFoldersThatHoldTooMuch_data()
{
    QTest::addColumn<QString>("folder"); // "~" for the home folder
    QTest::newRow("empty field") << "";
    QTest::newRow("root") << "/";
    QTest::newRow("home") << "~";
    QTest::newRow("above home") << "~/..";
    QTest::newRow("a link") << "link";
}

void tst_AppOptions::deleteRefusesFoldersThatHoldTooMuch()
{
    QFETCH(QString, folder);
    // Something to lose in the home folder and behind the link.
    QVERIFY(QDir().mkpath(m_home->path("kept")));
    QFile keep(m_home->path("kept/precious"));
    QVERIFY(keep.open(QIODevice::WriteOnly));
    keep.close();
    QVERIFY(QFile::link(m_home->path("kept"), m_home->path("link")));
    AppOptions& options = open();
    QString text = folder;
    text.replace("~", m_home->path()).replace("link", m_home->path("link"));
    child<QLineEdit>(options, "downloadDir")->setText(text);
    ModalDialogDriver driver;
    int icon = -1;
    driver.answer(driver.readBoxText([&icon](QWidget* modal) {
        icon = int(static_cast<QMessageBox*>(modal)->icon());
        return ModalDialogDriver::pressButton(QDialogButtonBox::Ok)(modal);
    }));
    QTest::mouseClick(child<QToolButton>(options, "deleteDownloadDir"), Qt::LeftButton);
    QTRY_VERIFY(driver.allAnswered());
    QCOMPARE(icon, int(QMessageBox::Critical));
    QVERIFY2(driver.texts().value(0).startsWith("Delete download directory refused\n"),
             qPrintable(driver.texts().value(0)));
    QVERIFY(QFile::exists(m_home->path("kept/precious")));
    QVERIFY(QFileInfo(ToolConst::defaultOptionName).exists());
}

void tst_AppOptions::deleteThatFailsSaysSo()
{
    // Nothing in a process's fdinfo folder can be removed, whoever asks.
    const QString folder = QStringLiteral("/proc/%1/fdinfo").arg(QCoreApplication::applicationPid());
    AppOptions& options = open();
    child<QLineEdit>(options, "downloadDir")->setText(folder);
    ModalDialogDriver driver;
    driver.answer(driver.readBoxText(ModalDialogDriver::pressButton(QDialogButtonBox::Ok)));
    QTest::mouseClick(child<QToolButton>(options, "deleteDownloadDir"), Qt::LeftButton);
    QTRY_VERIFY(driver.allAnswered());
    QCOMPARE(driver.texts(), QStringList{"Delete download directory failed\nSome content may have been deleted"});
}

void tst_AppOptions::applicationLogChangeIsNoticed()
{
    AppOptions& options = open();
    auto* group = child<QGroupBox>(options, "applicationLogGroup");
    group->setChecked(!group->isChecked());
    ModalDialogDriver driver;
    driver.answer(driver.readBoxText(ModalDialogDriver::pressButton(QDialogButtonBox::Ok)));
    clickOk();
    QVERIFY2(driver.allAnswered(), qPrintable(driver.failures().join('\n')));
    const QString notice = "Changes on application logs settings will take effect on next launch.";
    QCOMPARE(driver.texts(), QStringList{notice});
    QCOMPARE(m_sink.texts(Logger::Warning), QStringList{notice});
    QCOMPARE(OptionsHome::stored("FlashLogAllFile").toBool(), group->isChecked());
}

void tst_AppOptions::templateChecksSayWhere_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("content");
    QTest::addColumn<QString>("message");
    QTest::newRow("valid XML") << "checkFlashLogResultXML"
                               << "<a><b/></a>"
                               << "Your log is a valid XML document";
    QTest::newRow("bad XML") << "checkFlashLogResultXML"
                             << "<a>\n<b></a>"
                             << "Your log is NOT a valid XML document\nTag mismatch\nLine 2\nColumn 7";
    QTest::newRow("valid JSON") << "checkFlashLogResultJSon"
                                << "{\"a\": 1}"
                                << "Your log is a valid JSon document";
    QTest::newRow("bad JSON") << "checkFlashLogResultJSon"
                              << "{\n\"a\": 1,\n\"b\" }"
                              << "Your log is NOT a valid JSon document\nmissing name separator\nLine 3";
}

void tst_AppOptions::templateChecksSayWhere()
{
    QFETCH(QString, button);
    QFETCH(QString, content);
    QFETCH(QString, message);
    AppOptions& options = open();
    options.findChild<QGroupBox*>("flashLogResultGroup")->setChecked(true); // else its buttons are disabled
    options.findChild<QTextEdit*>("textEditFlashLogResultContent")->setPlainText(content);
    ModalDialogDriver driver;
    driver.answer(driver.readBoxText(ModalDialogDriver::pressButton(QDialogButtonBox::Ok)));
    QMetaObject::invokeMethod(options.findChild<QPushButton*>(button), "click", Qt::QueuedConnection);
    QTRY_VERIFY(driver.allAnswered());
    QCOMPARE(driver.texts(), QStringList{message});
}

void tst_AppOptions::windowActionOpensTheDialog()
{
    MainWindow window;
    window.setFlashManager(m_manager.get());
    ModalDialogDriver driver;
    QString opened;
    driver.answer([&opened](QWidget* modal) {
        opened = QString::fromLatin1(modal->metaObject()->className());
        static_cast<QDialog*>(modal)->reject();
        return true;
    });
    window.findChild<QAction*>("actionOptions")->trigger();
    QVERIFY2(driver.allAnswered(), qPrintable(driver.failures().join('\n')));
    QCOMPARE(opened, QString("AppOptions"));
}

QTEST_MAIN(tst_AppOptions)
#include "tst_AppOptions.moc"
