// The flash editor's tab on small real flash files: loading, dropping, the file id, advanced
// mode, quitting, and the editing of configurations through their dialogs.

#include "ModalDialogDriver.h"
#include "core/LoggerBridge.h"
#include "loader/ToolConst.h"
#include "tests/core/RecordedLog.h"
#include "loader/FlashFileManager.h"
#include "tools/BuiltInKinds.h"
#include "ui/editor/FlashEditorWidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

namespace {

using Step = ModalDialogDriver::Step;

// Configurations "a" (Alpha) and "b" (Beta, main OS), `defaultId` the default; one command in
// group "g" that flashes the file parameter "image" (boot.img beside the file).
QByteArray flashJson(const QByteArray& defaultId = "a")
{
    return R"({"flash": {"version": "3.0",
        "groups": {"g": {"name": "Images", "description": "The images"}},
        "parameters": {"image": {"type": "file", "name": "Image", "value": "boot.img", "description": "Image"}},
        "configurations": {
            "a": {"name": "Alpha", "startState": "pos", "groupsState": {"g": true}, "default": )"
           + QByteArray(defaultId == "a" ? "true" : "false") + R"(},
            "b": {"name": "Beta", "startState": "mos", "default": )"
           + QByteArray(defaultId == "b" ? "true" : "false") + R"(}},
        "commands": [{"tool": "fastboot", "args": "flash boot ${image}", "timeout": 1000, "retry": 1,
                      "description": "Boot", "group": "g"}]}})";
}

bool write(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

Step both(Step first, Step second)
{
    return [first, second](QWidget* modal) { return first(modal) && second(modal); };
}

// Fills the form's line edits (object name → text), then presses Ok.
Step fillAndAccept(const QMap<QString, QString>& texts)
{
    return ModalDialogDriver::fillFields(texts, ModalDialogDriver::pressButton(QDialogButtonBox::Ok));
}

// The form still shows what was entered before.
Step fieldShows(const QString& objectName, const QString& expected)
{
    return [objectName, expected](QWidget* modal) {
        auto* field = modal->findChild<QLineEdit*>(objectName);
        return field && field->text() == expected;
    };
}

Step setGroup(bool checked)
{
    return [checked](QWidget* modal) {
        auto* box = modal->findChild<QCheckBox*>(QStringLiteral("g"));
        if (!box)
            return false;
        box->setChecked(checked);
        return true;
    };
}

Step groupShows(bool checked)
{
    return [checked](QWidget* modal) {
        auto* box = modal->findChild<QCheckBox*>(QStringLiteral("g"));
        return box && box->isChecked() == checked;
    };
}

QStringList items(const QComboBox& combo)
{
    QStringList texts;
    for (int row = 0; row < combo.count(); ++row)
        texts << combo.itemText(row);
    return texts;
}

} // namespace

class tst_FlashEditorWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void loadSelectsTheDefaultWithoutEditing();
    void refusedFileKeepsTheOldOne_data();
    void refusedFileKeepsTheOldOne();
    void dropLoadsTheFirstFlashFile();
    void fileIdFollowsResetAndEdits();
    void doubleClickEditsOnceInAdvancedMode();
    void quitForgetsStoredState_data();
    void quitForgetsStoredState();
    void addingChecksTheAnswers();
    void addingWithoutFileStartsOne();
    void removingAsksExceptForTheDefault();
    void configurationErrorRegistersNothing();
    void groupsRestoreDefaults();

private:
    // A flash file (with its boot.img) in a folder of its own.
    QString fixture(const QString& folder, const QByteArray& defaultId = "a") const;

    QTemporaryDir m_dir;
};

void tst_FlashEditorWidget::initTestCase()
{
    QVERIFY(m_dir.isValid());
    BuiltInKinds::registerAll();
    ToolConst::defaultOptionName = m_dir.filePath(QStringLiteral("settings.opt"));
    MessageHandler::instance()->setLogLevel(TRACE);
    qApp->setProperty("FONT_SIZE_GENERAL", 13);  // as the program publishes it
}

QString tst_FlashEditorWidget::fixture(const QString& folder, const QByteArray& defaultId) const
{
    const QString path = m_dir.filePath(folder + QStringLiteral("/flash.json"));
    if (!write(path, flashJson(defaultId)) || !write(m_dir.filePath(folder + QStringLiteral("/boot.img")), "boot"))
        return QString();
    return path;
}

void tst_FlashEditorWidget::loadSelectsTheDefaultWithoutEditing()
{
    FlashEditorWidget tab;
    QSignalSpy changed(&tab, &FlashEditorWidget::flashFileChanged);
    QVERIFY(tab.loadFile(fixture(QStringLiteral("load"), "b"), false));
    auto* configurations = tab.findChild<QComboBox*>(QStringLiteral("comboBoxConfiguration"));
    auto* startState = tab.findChild<QComboBox*>(QStringLiteral("comboBoxStartState"));
    QCOMPARE(configurations->currentText(), QStringLiteral("Beta [1 command] [Default]"));
    QCOMPARE(startState->currentData().toInt(), int(DeviceState::MainOs));
    // A load is no edit: nothing registered, nothing said.
    QCOMPARE(changed.count(), 0);
    QVERIFY(!tab.getCurrentFlashFile());
    QVERIFY(tab.getCurrentFlashFileId().isEmpty());

    tab.onEnter();
    QCOMPARE(tab.getCurrentFlashFile()->getID(), QStringLiteral("b"));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.last().first().toBool(), true);
    // The copy to flash still belongs to the file: ${flashDir} and the platforms are its.
    QVERIFY(tab.getCurrentFlashFile()->getFlashFileManager());

    // A second file replaces the first, its default selected.
    QVERIFY(tab.loadFile(fixture(QStringLiteral("second"), "a"), true));
    QCOMPARE(items(*configurations), QStringList({"Alpha [1 command] [Default]", "Beta [1 command]"}));
    QCOMPARE(configurations->currentIndex(), 0);
    QCOMPARE(startState->currentData().toInt(), int(DeviceState::ProvisioningOs));
    QCOMPARE(changed.count(), 1);
}

void tst_FlashEditorWidget::refusedFileKeepsTheOldOne_data()
{
    QTest::addColumn<bool>("quiet");
    QTest::newRow("said") << false;
    QTest::newRow("quiet") << true;
}

void tst_FlashEditorWidget::refusedFileKeepsTheOldOne()
{
    QFETCH(bool, quiet);
    const QString refused = m_dir.filePath(QStringLiteral("refused/flash.json"));
    QVERIFY(write(refused, R"({"flash": {"version": "3.0", "configurations": 5}})"));
    FlashEditorWidget tab;
    QVERIFY(tab.loadFile(fixture(QStringLiteral("kept")), true));
    tab.onEnter();

    ModalDialogDriver driver;
    driver.closeUnexpected();
    if (!quiet)
        driver.answer(driver.readBoxText(ModalDialogDriver::pressButton(QDialogButtonBox::Ok)));
    QVERIFY(!tab.loadFile(refused, quiet));
    QVERIFY2(driver.allAnswered(), qPrintable(driver.failures().join('\n')));
    QCOMPARE(driver.texts(), quiet ? QStringList() : QStringList{QStringLiteral("Failed to load file")});
    auto* configurations = tab.findChild<QComboBox*>(QStringLiteral("comboBoxConfiguration"));
    QCOMPARE(configurations->count(), 2);
    QCOMPARE(configurations->currentText(), QStringLiteral("Alpha [1 command] [Default]"));
    QCOMPARE(tab.getCurrentFlashFileId(), QStringLiteral(" [Alpha]"));
}

void tst_FlashEditorWidget::dropLoadsTheFirstFlashFile()
{
    const QString flashFile = fixture(QStringLiteral("dropped"), "b");
    const QString notes = m_dir.filePath(QStringLiteral("dropped/notes.txt"));
    const QString archive = m_dir.filePath(QStringLiteral("dropped/flash.zip"));
    QVERIFY(write(notes, "text"));
    QVERIFY(write(archive, "PK"));
    FlashEditorWidget tab;
    auto* configurations = tab.findChild<QComboBox*>(QStringLiteral("comboBoxConfiguration"));

    // A lone archive is refused: the editor unpacks nothing.
    QMimeData onlyArchive;
    onlyArchive.setUrls({QUrl::fromLocalFile(archive)});
    QDropEvent refused(QPointF(1, 1), Qt::CopyAction, &onlyArchive, Qt::LeftButton, Qt::NoModifier);
    QVERIFY(!tab.allowFileDrop(&refused));
    QDragEnterEvent refusedEnter(QPoint(1, 1), Qt::CopyAction, &onlyArchive, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&tab, &refusedEnter);
    QVERIFY(!refusedEnter.isAccepted());
    QCOMPARE(configurations->count(), 0);

    // Through the widget's own drop: the second URL is the first flash file.
    QMimeData mixed;
    mixed.setUrls({QUrl::fromLocalFile(notes), QUrl::fromLocalFile(flashFile), QUrl::fromLocalFile(archive)});
    QDropEvent drop(QPointF(1, 1), Qt::CopyAction, &mixed, Qt::LeftButton, Qt::NoModifier);
    QVERIFY(tab.allowFileDrop(&drop));
    // A drop reaches the widget that accepted the drag's entry.
    QDragEnterEvent enter(QPoint(1, 1), Qt::CopyAction, &mixed, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&tab, &enter);
    QVERIFY(enter.isAccepted());
    QApplication::sendEvent(&tab, &drop);
    QVERIFY(drop.isAccepted());
    QCOMPARE(configurations->currentText(), QStringLiteral("Beta [1 command] [Default]"));
}

void tst_FlashEditorWidget::fileIdFollowsResetAndEdits()
{
    FlashEditorWidget tab;
    QCOMPARE(tab.getCurrentFlashFileId(), QString());
    const QString path = fixture(QStringLiteral("reset"));
    QVERIFY(tab.loadFile(path, false));
    tab.onEnter();
    QCOMPARE(tab.getCurrentFlashFileId(), QStringLiteral(" [Alpha]"));

    // An edit of a file never reloaded from disk is no "*".
    auto* startState = tab.findChild<QComboBox*>(QStringLiteral("comboBoxStartState"));
    startState->setCurrentIndex(startState->findData(int(DeviceState::MainOs)));
    QCOMPARE(tab.getCurrentFlashFile()->getStartState(), DeviceState::MainOs);
    QCOMPARE(tab.getCurrentFlashFileId(), QStringLiteral(" [Alpha]"));

    // The reset asks, reloads (the edit is gone) and the next edit shows.
    ModalDialogDriver driver;
    driver.closeUnexpected();
    driver.answer(driver.readBoxText(ModalDialogDriver::pressButton(QDialogButtonBox::Yes)));
    QTest::mouseClick(tab.findChild<QPushButton*>(QStringLiteral("pushButtonResetFile")), Qt::LeftButton);
    QCOMPARE(driver.texts(),
             QStringList{QStringLiteral("Do you want to erase all data and reload '%1'?").arg(QDir::toNativeSeparators(path))});
    QCOMPARE(startState->currentData().toInt(), int(DeviceState::ProvisioningOs));
    tab.onEnter();
    QCOMPARE(tab.getCurrentFlashFileId(), QStringLiteral(" [Alpha]"));
    // A load is no edit, not even after a reset.
    QVERIFY(tab.loadFile(path, false));
    tab.onEnter();
    QCOMPARE(tab.getCurrentFlashFileId(), QStringLiteral(" [Alpha]"));
    startState->setCurrentIndex(startState->findData(int(DeviceState::DnxOs)));
    QCOMPARE(tab.getCurrentFlashFileId(), QStringLiteral("* [Alpha]"));
}

void tst_FlashEditorWidget::doubleClickEditsOnceInAdvancedMode()
{
    FlashEditorWidget tab;
    QVERIFY(tab.loadFile(fixture(QStringLiteral("advanced")), false));
    tab.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tab));
    auto* commands = tab.findChild<QTableView*>(QStringLiteral("tableViewCommands"));
    // A widget's double click in QTest is the second click only: the first comes before it.
    const auto doubleClick = [commands] {
        const QPoint row = commands->visualRect(commands->model()->index(0, 1)).center();
        QTest::mouseClick(commands->viewport(), Qt::LeftButton, Qt::NoModifier, row);
        QTest::mouseDClick(commands->viewport(), Qt::LeftButton, Qt::NoModifier, row);
    };
    int shown = 0;
    const Step cancel = [&shown](QWidget* modal) {
        ++shown;
        return ModalDialogDriver::pressButton(QDialogButtonBox::Cancel)(modal);
    };

    QVERIFY(QMetaObject::invokeMethod(&tab, "setAdvancedUi", Q_ARG(bool, true)));
    QVERIFY(QMetaObject::invokeMethod(&tab, "setAdvancedUi", Q_ARG(bool, true)));
    QVERIFY(tab.findChild<QCheckBox*>(QStringLiteral("checkBoxAdvanced"))->isChecked());
    QVERIFY(tab.findChild<QPushButton*>(QStringLiteral("pushButtonEditCommand"))->isVisible());
    {
        ModalDialogDriver driver;
        driver.closeUnexpected();
        driver.answer(cancel);
        doubleClick();  // a second dialog would be one connection too many
        QVERIFY2(driver.allAnswered(), qPrintable(driver.failures().join('\n')));
        QCOMPARE(shown, 1);
    }

    // Out of advanced mode a double click edits nothing.
    QVERIFY(QMetaObject::invokeMethod(&tab, "setAdvancedUi", Q_ARG(bool, false)));
    QVERIFY(!tab.findChild<QPushButton*>(QStringLiteral("pushButtonEditCommand"))->isVisible());
    {
        ModalDialogDriver driver;
        driver.closeUnexpected();
        doubleClick();
        QVERIFY2(driver.allAnswered(), qPrintable(driver.failures().join('\n')));
        QCOMPARE(shown, 1);
    }

    // Accepted, the command is rebuilt from its form and the configuration registered with it.
    tab.findChild<QCheckBox*>(QStringLiteral("checkBoxAdvanced"))->click();
    ModalDialogDriver driver;
    driver.closeUnexpected();
    driver.answer(fillAndAccept({{QStringLiteral("args"), QStringLiteral("flash recovery ${image}")}}));
    doubleClick();
    QVERIFY2(driver.allAnswered(), qPrintable(driver.failures().join('\n')));
    const QSharedPointer<FlashConfiguration> registered = tab.getCurrentFlashFile();
    QVERIFY(registered);
    const QString parameters = registered->getCommand(0)->getToolParameters();
    QVERIFY2(parameters.contains(QLatin1String("recovery")), qPrintable(parameters));
    QCOMPARE(commands->model()->index(0, 2).data().toString(), parameters);
}

void tst_FlashEditorWidget::quitForgetsStoredState_data()
{
    QTest::addColumn<bool>("settingOn");
    QTest::newRow("setting on") << true;
    QTest::newRow("setting off") << false;
}

void tst_FlashEditorWidget::quitForgetsStoredState()
{
    QFETCH(bool, settingOn);
    const QString folder = m_dir.filePath(QStringLiteral("configs"));
    const QString stored = folder + QStringLiteral("/.editor");
    QVERIFY(write(stored, "state"));
    ToolConst::onUsingConfigCacheDirName = folder;
    ToolConst::RELOAD_EDITOR_TAB_SETTINGS = settingOn;
    FlashEditorWidget tab;
    tab.mainWindowQuit();
    QCOMPARE(QFile::exists(stored), !settingOn);
    tab.mainWindowQuit();  // nothing left to delete: nothing fails
    ToolConst::RELOAD_EDITOR_TAB_SETTINGS = ToolConst::DEFAULT_RELOAD_EDITOR_TAB_SETTINGS;
}

void tst_FlashEditorWidget::addingChecksTheAnswers()
{
    FlashEditorWidget tab;
    QVERIFY(tab.loadFile(fixture(QStringLiteral("add")), false));
    QSignalSpy changed(&tab, &FlashEditorWidget::flashFileChanged);
    ModalDialogDriver driver;
    driver.closeUnexpected();
    const Step sayOk = driver.readBoxText(ModalDialogDriver::pressButton(QDialogButtonBox::Ok));
    const QString name = QStringLiteral("name");
    const QString id = QStringLiteral("id");
    driver.answer(fillAndAccept({{id, QString()}, {name, QStringLiteral("Gamma")}}));
    driver.answer(sayOk);
    driver.answer(both(fieldShows(name, QStringLiteral("Gamma")), fillAndAccept({{id, QStringLiteral("a")}})));
    driver.answer(sayOk);
    // Identifiers differ in case: "A" is new.
    driver.answer(fillAndAccept({{id, QStringLiteral("A")}, {name, QString()}}));
    driver.answer(sayOk);
    driver.answer(both(fieldShows(id, QStringLiteral("A")), fillAndAccept({{name, QStringLiteral("Gamma")}})));
    QVERIFY(QMetaObject::invokeMethod(&tab, "onAddConfiguration"));
    QVERIFY2(driver.allAnswered(), qPrintable(driver.failures().join('\n')));
    QCOMPARE(driver.texts(), QStringList({"Missing identifier value", "Identifier \"a\" already exists", "Missing name value"}));

    auto* configurations = tab.findChild<QComboBox*>(QStringLiteral("comboBoxConfiguration"));
    QCOMPARE(items(*configurations),
             QStringList({"Gamma [0 command]", "Alpha [1 command] [Default]", "Beta [1 command]"}));
    QCOMPARE(configurations->currentIndex(), 0);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(tab.getCurrentFlashFile()->getID(), QStringLiteral("A"));

    // Cancelled: nothing added.
    driver.answer(ModalDialogDriver::pressButton(QDialogButtonBox::Cancel));
    QVERIFY(QMetaObject::invokeMethod(&tab, "onAddConfiguration"));
    QVERIFY2(driver.allAnswered(), qPrintable(driver.failures().join('\n')));
    QCOMPARE(configurations->count(), 3);
    QCOMPARE(changed.count(), 1);
}

void tst_FlashEditorWidget::addingWithoutFileStartsOne()
{
    FlashEditorWidget tab;
    QSignalSpy changed(&tab, &FlashEditorWidget::flashFileChanged);
    ModalDialogDriver driver;
    driver.closeUnexpected();
    driver.answer(fillAndAccept({{QStringLiteral("id"), QStringLiteral("n")}, {QStringLiteral("name"), QStringLiteral("New")}}));
    QTest::mouseClick(tab.findChild<QPushButton*>(QStringLiteral("pushButtonAddConfiguration")), Qt::LeftButton);
    QVERIFY2(driver.allAnswered(), qPrintable(driver.failures().join('\n')));

    auto* configurations = tab.findChild<QComboBox*>(QStringLiteral("comboBoxConfiguration"));
    QCOMPARE(items(*configurations), QStringList{QStringLiteral("New [0 command] [Default]")});
    // Registered at once.
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.first().first().toBool(), true);
    const QSharedPointer<FlashConfiguration> registered = tab.getCurrentFlashFile();
    QCOMPARE(registered->getID(), QStringLiteral("n"));
    QCOMPARE(registered->getStartState(), DeviceState::ProvisioningOs);
    QCOMPARE(int(registered->getUnknownGroupBehavior()), 1);
    QCOMPARE(tab.findChild<QComboBox*>(QStringLiteral("comboBoxStartState"))->currentText(), QStringLiteral("Provisioning OS"));
}

void tst_FlashEditorWidget::removingAsksExceptForTheDefault()
{
    FlashEditorWidget tab;
    QVERIFY(tab.loadFile(fixture(QStringLiteral("remove")), false));
    auto* configurations = tab.findChild<QComboBox*>(QStringLiteral("comboBoxConfiguration"));
    auto* remove = tab.findChild<QPushButton*>(QStringLiteral("pushButtonRemoveConfiguration"));
    const Step no = ModalDialogDriver::pressButton(QDialogButtonBox::No);
    {
        ModalDialogDriver driver;
        driver.closeUnexpected();
        driver.answer(driver.readBoxText(ModalDialogDriver::pressButton(QDialogButtonBox::Ok)));
        QTest::mouseClick(remove, Qt::LeftButton);  // a question would be one box too many
        QVERIFY2(driver.allAnswered(), qPrintable(driver.failures().join('\n')));
        QCOMPARE(driver.texts(), QStringList{QStringLiteral("Cannot remove the default configuration 'Alpha'.")});
        QCOMPARE(configurations->count(), 2);
    }

    // The user moves to Beta.
    QTest::keyClick(configurations, Qt::Key_Down);
    QCOMPARE(tab.getCurrentFlashFile()->getID(), QStringLiteral("b"));
    QSignalSpy changed(&tab, &FlashEditorWidget::flashFileChanged);
    {
        ModalDialogDriver driver;
        driver.closeUnexpected();
        driver.answer(driver.readBoxText(no));
        QTest::mouseClick(remove, Qt::LeftButton);
        QCOMPARE(driver.texts(), QStringList{QStringLiteral("Do you really want to remove the configuration 'Beta'?")});
        QCOMPARE(items(*configurations), QStringList({"Alpha [1 command] [Default]", "Beta [1 command]"}));
        QCOMPARE(configurations->currentIndex(), 1);
        QCOMPARE(changed.count(), 0);
    }
    ModalDialogDriver driver;
    driver.closeUnexpected();
    driver.answer(ModalDialogDriver::pressButton(QDialogButtonBox::Yes));
    QTest::mouseClick(remove, Qt::LeftButton);
    QVERIFY(driver.allAnswered());
    QCOMPARE(items(*configurations), QStringList{QStringLiteral("Alpha [1 command] [Default]")});
    QCOMPARE(tab.getCurrentFlashFile()->getID(), QStringLiteral("a"));
    QCOMPARE(changed.count(), 1);
}

void tst_FlashEditorWidget::configurationErrorRegistersNothing()
{
    const QString path = fixture(QStringLiteral("error"));
    FlashEditorWidget tab;
    LoggerBridge bridge;
    bridge.bind(tab);
    QVERIFY(tab.loadFile(path, false));
    tab.onEnter();
    QVERIFY(tab.getCurrentFlashFile());
    QSignalSpy changed(&tab, &FlashEditorWidget::flashFileChanged);
    const RecordedLog log;
    const QString image = QFileInfo(path).absolutePath() + QStringLiteral("/boot.img");
    QVERIFY(QFile::remove(image));
    QVERIFY(QMetaObject::invokeMethod(&tab, "onRegisterConfiguration"));
    QVERIFY2(log.at(QStringLiteral("ERROR")).contains(QDir::toNativeSeparators(image) + QStringLiteral(" not found")),
             qPrintable(log.lines().join('\n')));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.first().first().toBool(), false);
    QVERIFY(!tab.getCurrentFlashFile());
    QVERIFY(tab.getCurrentFlashFileId().isEmpty());
}

void tst_FlashEditorWidget::groupsRestoreDefaults()
{
    FlashEditorWidget tab;
    QVERIFY(tab.loadFile(fixture(QStringLiteral("groups")), false));
    auto* groups = tab.findChild<QPushButton*>(QStringLiteral("pushButtonFlashGroups"));
    QVERIFY(groups->isEnabled());
    QSignalSpy changed(&tab, &FlashEditorWidget::flashFileChanged);
    const auto groupEnabled = [&tab] { return tab.getCurrentFlashFile()->isGroupEnabled(QStringLiteral("g")); };

    // Unchecked and accepted: applied and registered.
    ModalDialogDriver driver;
    driver.closeUnexpected();
    driver.answer(both(setGroup(false), ModalDialogDriver::pressButton(QDialogButtonBox::Ok)));
    QTest::mouseClick(groups, Qt::LeftButton);
    QVERIFY2(driver.allAnswered(), qPrintable(driver.failures().join('\n')));
    QCOMPARE(changed.count(), 1);
    QVERIFY(!groupEnabled());

    // Defaults restored in the form, then cancelled: unchanged.
    driver.answer(both(groupShows(false), ModalDialogDriver::pressButton(QDialogButtonBox::RestoreDefaults)));
    driver.answer(both(groupShows(true), ModalDialogDriver::pressButton(QDialogButtonBox::Cancel)));
    QTest::mouseClick(groups, Qt::LeftButton);
    QVERIFY2(driver.allAnswered(), qPrintable(driver.failures().join('\n')));
    QCOMPARE(changed.count(), 1);
    tab.onEnter();
    QVERIFY(!groupEnabled());

    // Restored and accepted: the defaults apply.
    driver.answer(ModalDialogDriver::pressButton(QDialogButtonBox::RestoreDefaults));
    driver.answer(both(groupShows(true), ModalDialogDriver::pressButton(QDialogButtonBox::Ok)));
    QTest::mouseClick(groups, Qt::LeftButton);
    QVERIFY2(driver.allAnswered(), qPrintable(driver.failures().join('\n')));
    QVERIFY(groupEnabled());
}

QTEST_MAIN(tst_FlashEditorWidget)
#include "tst_FlashEditorWidget.moc"
