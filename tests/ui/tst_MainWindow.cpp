// The main window as an operator meets it: its menus and log controls, the flash tab it makes
// current, files dragged onto the Flash button, full screen, the documentation popup, the log
// panel's buttons, closing and the message boxes of a running flash; the device views and the
// devices the device manager finds on the simulator.

#include "DeviceManagerFixture.h"
#include "MainWindowTestSetup.h"
#include "ModalDialogDriver.h"
#include "OpenedUrls.h"
#include "SleepingThread.h"
#include "core/LoggerBridge.h"
#include "core/MessageHandler.h"
#include "engine/FlashManager.h"
#include "loader/ToolConst.h"
#include "tests/core/RecordedLog.h"
#include "tools/BuiltInKinds.h"
#include "ui/FlashBasicWidget.h"
#include "ui/MainWindow.h"
#include "ui/QPhoneWidget.h"
#include "ui/StartStopPushButton.h"
#include "ui/UiResources.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QLayout>
#include <QMimeData>
#include <QSettings>
#include <QSignalSpy>
#include <QScopeGuard>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QThread>
#include <QToolButton>
#include <QtTest>

#include <atomic>
#include <memory>

namespace {

const QString kApplicationName = MainWindowTestSetup::applicationName();
const QString kCheckedButtonColour = QStringLiteral("rgb(0, 174, 239)");

QByteArray flashJson(const QByteArray& documentation = QByteArray())
{
    const QByteArray documented = documentation.isEmpty() ? QByteArray() : R"("documentation": ")" + documentation + R"(", )";
    return R"({"flash": {"version": "3.0", "configurations": {"a": {"name": "Alpha", "startState": "pos", )" + documented
           + R"("default": true}}, "commands": [{"tool": "fastboot", "args": "reboot", "timeout": 1000, "retry": 1,
              "description": "Reboot"}]}})";
}

bool write(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Asks the window from another thread as a flash does: the asking thread waits for the answer.
class Asker : public QObject
{
    Q_OBJECT

signals:
    void ask(const QString& type, const QString& text, bool* answer);
};

} // namespace

class tst_MainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void formShowsOnlyHelpAndTheFlashTab();
    void logLevelSelectorShowsTheLogsLevel_data();
    void logLevelSelectorShowsTheLogsLevel();
    void choosingALevelSetsAndStoresIt();
    void flashTabBecomesCurrentOnFirstPass();
    void missingUserFoldersAreMade();
    void logPaneStartsAt145Pixels();
    void f11TogglesFullScreen_data();
    void f11TogglesFullScreen();
    void dragOntoFlashButton_data();
    void dragOntoFlashButton();
    void reloadsTheLatestFlashFileAtOnce();
    void flashFileStateIsLoggedAndShown_data();
    void flashFileStateIsLoggedAndShown();
    void documentationPopup_data();
    void documentationPopup();
    void documentationActionOpensTheGuide();
    void aboutActionOpensTheAboutBox();
    void clearLogEmptiesPanelAndHistory();
    void saveLogWritesTheChosenFile();
    void closeWithNothingFlashing();
    void displayMessageBox_data();
    void displayMessageBox();
    void questionsAfterTheCloseGetNoBox_data();
    void questionsAfterTheCloseGetNoBox();
    void systemTrayNotificationIsTraced_data();
    void systemTrayNotificationIsTraced();
    void eightHiddenDeviceViewsAtTheTop();
    void knownDevicesAreBoundOnceInPortOrder();
    void nullManagersAreIgnored();
    void clearDevices_data();
    void clearDevices();

private:
    // A window as start-up makes it; the log panel is detached again before it goes.
    MainWindow& makeWindow();
    // Runs the calls the constructor queued (the flash tab becomes current).
    void firstPass();
    template <typename T>
    T* child(const QString& name) const
    {
        return MainWindowTestSetup::requiredChild<T>(*m_window, name);
    }
    FlashBasicWidget* flashTab() const { return child<FlashBasicWidget>(QStringLiteral("widgetFlashBasic")); }
    QString fixture(const QString& name, const QByteArray& bytes) const;
    // The views in the device area's layout, in layout order.
    QList<QPhoneWidget*> deviceViews() const;
    QVariant storedSetting(const QString& key) const;

    QTemporaryDir m_dir;
    // Handed to the window, which may reach it until it goes: it goes after the window, as at
    // start-up's end.
    std::unique_ptr<FlashManager> m_flashManager;
    std::unique_ptr<MainWindow> m_window;
};

void tst_MainWindow::initTestCase()
{
    QVERIFY(m_dir.isValid());
    MainWindowTestSetup::prepareApplication();
    QCoreApplication::setApplicationVersion(QStringLiteral("5.3.2"));
}

void tst_MainWindow::init()
{
    MainWindowTestSetup::useFreshHome(m_dir);
}

void tst_MainWindow::cleanup()
{
    MessageHandler::instance()->setMainTextEditLog(nullptr);
    m_window.reset();
    m_flashManager.reset();
}

MainWindow& tst_MainWindow::makeWindow()
{
    m_window = std::make_unique<MainWindow>();
    return *m_window;
}

void tst_MainWindow::firstPass()
{
    QCoreApplication::processEvents();
}

QString tst_MainWindow::fixture(const QString& name, const QByteArray& bytes) const
{
    const QString path = QDir(qEnvironmentVariable("HOME")).filePath(name);
    return write(path, bytes) ? path : QString();
}

QList<QPhoneWidget*> tst_MainWindow::deviceViews() const
{
    QLayout* layout = child<QWidget>(QStringLiteral("scrollAreaWidgetContents"))->layout();
    QList<QPhoneWidget*> views;
    for (int index = 0; index < layout->count(); ++index) {
        if (auto* view = qobject_cast<QPhoneWidget*>(layout->itemAt(index)->widget()))
            views << view;
    }
    return views;
}

QVariant tst_MainWindow::storedSetting(const QString& key) const
{
    return QSettings(ToolConst::defaultOptionName, QSettings::IniFormat).value(key);
}

void tst_MainWindow::formShowsOnlyHelpAndTheFlashTab()
{
    MainWindow& window = makeWindow();
    QCOMPARE(window.objectName(), QStringLiteral("MainWindow"));
    QCOMPARE(window.minimumSize(), QSize(800, 600));
    QCOMPARE(window.windowTitle(), kApplicationName + QStringLiteral(" 5.3.2"));

    QStringList menus;
    for (QAction* action : child<QMenuBar>(QStringLiteral("menuBar"))->actions()) {
        if (action->isVisible())
            menus << action->text();
    }
    QCOMPARE(menus, QStringList{QStringLiteral("&Help")});
    QStringList help;
    for (QAction* action : child<QMenu>(QStringLiteral("menuHelp"))->actions()) {
        if (action->isVisible() && !action->isSeparator())
            help << action->text() + QLatin1Char('|') + action->shortcut().toString();
    }
    QCOMPARE(help, (QStringList{QStringLiteral("&Documentation|F1"), QStringLiteral("&About|Ctrl+F1")}));
    QCOMPARE(child<QAction>(QStringLiteral("actionAbout"))->toolTip(), QStringLiteral("About ") + kApplicationName);
    QVERIFY(!child<QAction>(QStringLiteral("actionCheckForUpdate"))->isEnabled());
    QVERIFY(!child<QAction>(QStringLiteral("actionRebootPhones"))->isEnabled());

    window.show();
    firstPass();
    QVERIFY(flashTab()->isVisible());
    QVERIFY(!child<QToolButton>(QStringLiteral("toolButtonFlasherEditor"))->isVisible());
    QVERIFY(!child<QWidget>(QStringLiteral("widgetFlashEditor"))->isVisible());
    QCOMPARE(child<StartStopPushButton>(QStringLiteral("startFlashingMain"))->text(), QStringLiteral("Start to flash"));
}

void tst_MainWindow::logLevelSelectorShowsTheLogsLevel_data()
{
    QTest::addColumn<int>("level");
    QTest::newRow("ERROR") << int(ERROR);
    QTest::newRow("TRACE") << int(TRACE);
}

void tst_MainWindow::logLevelSelectorShowsTheLogsLevel()
{
    QFETCH(int, level);
    MessageHandler::instance()->setLogLevel(LOGLEVEL(level));
    makeWindow();
    auto* selector = child<QComboBox>(QStringLiteral("comboBox_loggerLevel"));
    QStringList names;
    for (int index = 0; index < selector->count(); ++index) {
        names << selector->itemText(index);
        QCOMPARE(selector->itemData(index).toInt(), index);
    }
    QCOMPARE(names, (QStringList{"FATAL", "ERROR", "WARNING", "INFO", "DEBUG", "TRACE"}));
    QCOMPARE(selector->currentIndex(), level);
    // Showing the level chose nothing: no default level was stored.
    QVERIFY(!storedSetting(ToolConst::KEY_DEFAULT_LOGLEVEL).isValid());
}

void tst_MainWindow::choosingALevelSetsAndStoresIt()
{
    MessageHandler::instance()->setLogLevel(INFO);
    makeWindow().show();
    auto* selector = child<QComboBox>(QStringLiteral("comboBox_loggerLevel"));
    selector->setFocus();
    QTest::keyClick(selector, Qt::Key_Down);
    QCOMPARE(selector->currentText(), QStringLiteral("DEBUG"));
    QCOMPARE(int(MessageHandler::instance()->getLogLevel()), int(DEBUG));
    QCOMPARE(storedSetting(ToolConst::KEY_DEFAULT_LOGLEVEL).toInt(), int(DEBUG));
}

void tst_MainWindow::flashTabBecomesCurrentOnFirstPass()
{
    makeWindow();
    auto* flashButton = child<QToolButton>(QStringLiteral("toolButtonFlasher"));
    QVERIFY(!flashButton->styleSheet().contains(kCheckedButtonColour));
    firstPass();
    QVERIFY2(flashButton->styleSheet().contains(kCheckedButtonColour), qPrintable(flashButton->styleSheet()));
}

void tst_MainWindow::missingUserFoldersAreMade()
{
    const QStringList folders{ToolConst::onUsingDownloadDirName, ToolConst::onUsingConfigCacheDirName,
                              ToolConst::getUserCommandTemplatesDirectory()};
    for (const QString& folder : folders)
        QVERIFY2(!QFileInfo::exists(folder), qPrintable(folder));
    makeWindow();
    for (const QString& folder : folders)
        QVERIFY2(QFileInfo(folder).isDir(), qPrintable(folder));
}

void tst_MainWindow::logPaneStartsAt145Pixels()
{
    MainWindow& window = makeWindow();
    firstPass();
    window.resize(1024, 768);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.initAppStyle();
    auto* splitter = child<QSplitter>(QStringLiteral("splitter_2"));
    QCOMPARE(splitter->sizes().last(), 145);
    QVERIFY2(window.styleSheet().startsWith(QStringLiteral("font : 11px \"")), qPrintable(window.styleSheet()));
}

void tst_MainWindow::f11TogglesFullScreen_data()
{
    QTest::addColumn<bool>("maximized");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<bool>("fullScreenAfterFirst");
    QTest::newRow("normal") << false << int(Qt::NoModifier) << true;
    QTest::newRow("maximized") << true << int(Qt::NoModifier) << true;
    QTest::newRow("Shift+F11") << false << int(Qt::ShiftModifier) << false;
}

void tst_MainWindow::f11TogglesFullScreen()
{
    QFETCH(bool, maximized);
    QFETCH(int, modifiers);
    QFETCH(bool, fullScreenAfterFirst);
    MainWindow& window = makeWindow();
    if (maximized)
        window.showMaximized();
    else
        window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QTest::keyClick(&window, Qt::Key_F11, Qt::KeyboardModifiers(modifiers));
    QCOMPARE(window.isFullScreen(), fullScreenAfterFirst);
    QTest::keyClick(&window, Qt::Key_F11, Qt::KeyboardModifiers(modifiers));
    QVERIFY(!window.isFullScreen());
    QCOMPARE(window.isMaximized(), maximized);
}

void tst_MainWindow::dragOntoFlashButton_data()
{
    QTest::addColumn<bool>("allowed");
    QTest::addColumn<bool>("dropped");
    QTest::newRow("refused file held") << false << false;
    QTest::newRow("refused file dropped") << false << true;
    QTest::newRow("flash file held") << true << false;
    QTest::newRow("flash file dropped") << true << true;
}

void tst_MainWindow::dragOntoFlashButton()
{
    QFETCH(bool, allowed);
    QFETCH(bool, dropped);
    const QString path = allowed ? fixture(QStringLiteral("flash.json"), flashJson()) : fixture(QStringLiteral("notes.txt"), "text");
    makeWindow().show();
    firstPass();
    auto* flashButton = child<QToolButton>(QStringLiteral("toolButtonFlasher"));
    // A tab switch gives the button its look again.
    flashButton->setStyleSheet(QString());

    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(flashButton, &enter);
    QVERIFY(enter.isAccepted());
    QCOMPARE(int(enter.dropAction()), int(allowed ? Qt::CopyAction : Qt::IgnoreAction));
    QVERIFY(flashButton->styleSheet().isEmpty());

    if (dropped) {
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(flashButton, &drop);
        QVERIFY(drop.isAccepted());
        QCOMPARE(int(drop.dropAction()), int(allowed ? Qt::CopyAction : Qt::IgnoreAction));
        QCOMPARE(flashButton->styleSheet().contains(kCheckedButtonColour), allowed);
        QCOMPARE(!flashTab()->getCurrentFlashFile().isNull(), allowed);
        flashButton->setStyleSheet(QString());
    }
    // Held for 500 ms, an allowed file switches to the flash tab; a drop ends the hold.
    QTest::qWait(800);
    QCOMPARE(flashButton->styleSheet().contains(kCheckedButtonColour), allowed && !dropped);
    if (!dropped)
        QVERIFY(flashTab()->getCurrentFlashFile().isNull());
}

void tst_MainWindow::reloadsTheLatestFlashFileAtOnce()
{
    ToolConst::RELOAD_LOCAL_TAB_SETTINGS = true;
    ToolConst::latestArchiveFileInLocal = fixture(QStringLiteral("flash.json"), flashJson());
    MainWindow& window = makeWindow();
    firstPass();
    const RecordedLog log;
    window.widgetFlashBasicReloadLatestFlashFile();
    QVERIFY(flashTab()->getCurrentFlashFile());
    QVERIFY2(log.lines().contains(QStringLiteral("INFO|Ready to flash!")), qPrintable(log.lines().join('\n')));
}

void tst_MainWindow::flashFileStateIsLoggedAndShown_data()
{
    QTest::addColumn<bool>("ready");
    QTest::addColumn<bool>("withManager");
    QTest::newRow("ready, no flash manager") << true << false;
    QTest::newRow("ready") << true << true;
    QTest::newRow("not ready") << false << true;
}

void tst_MainWindow::flashFileStateIsLoggedAndShown()
{
    QFETCH(bool, ready);
    QFETCH(bool, withManager);
    const QString path = fixture(QStringLiteral("flash.json"), flashJson());
    MainWindow& window = makeWindow();
    m_flashManager = std::make_unique<FlashManager>();
    if (withManager)
        window.setFlashManager(m_flashManager.get());
    firstPass();
    FlashBasicWidget* tab = flashTab();
    tab->loadLocalFile(path);
    QVERIFY(tab->getCurrentFlashFile());
    const RecordedLog log;
    emit tab->flashFileChanged(ready);

    QCOMPARE(log.lines(), ready ? QStringList{QStringLiteral("INFO|Ready to flash!")} : QStringList());
    auto* mainButton = child<StartStopPushButton>(QStringLiteral("startFlashingMain"));
    QCOMPARE(mainButton->isEnabled(), withManager);
    QVERIFY(!mainButton->isStarted());
    QCOMPARE(child<QLabel>(QStringLiteral("labelFlashFileLoaded"))->text(),
             withManager ? tab->getCurrentFlashFileId() : QString());
}

void tst_MainWindow::documentationPopup_data()
{
    QTest::addColumn<bool>("visible");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QByteArray>("documentation");
    QTest::addColumn<QString>("button");        // empty: no popup expected
    QTest::addColumn<bool>("tick");
    QTest::addColumn<bool>("stillEnabled");
    const QByteArray link = "https://docs.example.com/alpha";
    QTest::newRow("Cancel ticked") << true << true << link << "Cancel" << true << false;
    QTest::newRow("Open it") << true << true << link << "Open it" << false << true;
    QTest::newRow("hidden window") << false << true << link << "" << false << true;
    QTest::newRow("popup turned off") << true << false << link << "" << false << false;
    QTest::newRow("no documentation") << true << true << QByteArray() << "" << false << true;
}

void tst_MainWindow::documentationPopup()
{
    QFETCH(bool, visible);
    QFETCH(bool, enabled);
    QFETCH(QByteArray, documentation);
    QFETCH(QString, button);
    QFETCH(bool, tick);
    QFETCH(bool, stillEnabled);
    const QString path = fixture(QStringLiteral("flash.json"), flashJson(documentation));
    ToolConst::DISPLAY_DOCUMENTATION_POPUP = enabled;
    MainWindow& window = makeWindow();
    if (visible)
        window.show();
    firstPass();
    const OpenedUrls opened({QStringLiteral("https")});

    ModalDialogDriver driver(2000);
    driver.answer(driver.readBoxText([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        auto* doNotDisplay = modal->findChild<QCheckBox*>();
        const bool looksRight = box && doNotDisplay && box->windowTitle() == kApplicationName
                                && doNotDisplay->text() == QStringLiteral("Do not display this message again");
        if (tick && doNotDisplay)
            QTest::mouseClick(doNotDisplay, Qt::LeftButton);
        // A popup that should not have shown is closed all the same, and counts as answered.
        if (button.isEmpty())
            QTest::keyClick(modal, Qt::Key_Escape);
        else if (!ModalDialogDriver::pressButton(button)(modal))
            return false;
        return looksRight;
    }));
    flashTab()->loadLocalFile(path);

    QCOMPARE(driver.allAnswered(), !button.isEmpty());
    if (!button.isEmpty())
        QCOMPARE(driver.texts(), QStringList{QStringLiteral("Documentation available.")});
    QCOMPARE(opened.urls, button == QStringLiteral("Open it") ? QList<QUrl>{QUrl(QString::fromLatin1(documentation))} : QList<QUrl>());
    QCOMPARE(ToolConst::DISPLAY_DOCUMENTATION_POPUP, stillEnabled);
    if (!button.isEmpty())
        QCOMPARE(storedSetting(ToolConst::KEY_DISPLAY_DOCUMENTATION_POPUP).toBool(), stillEnabled);
}

void tst_MainWindow::documentationActionOpensTheGuide()
{
    makeWindow();
    const OpenedUrls opened({QStringLiteral("file")});
    child<QAction>(QStringLiteral("actionDocumentation"))->trigger();
    QCOMPARE(opened.urls, QList<QUrl>{QUrl::fromLocalFile(ToolConst::getHelpURL())});
}

void tst_MainWindow::aboutActionOpensTheAboutBox()
{
    MainWindow& window = makeWindow();
    window.show();
    firstPass();
    ModalDialogDriver driver;
    QPointer<QWidget> about;
    driver.answer([&](QWidget* modal) {
        about = modal;
        QTest::keyClick(modal, Qt::Key_Escape);
        return modal->inherits("AboutDialog") && modal->parentWidget() == &window;
    });
    child<QAction>(QStringLiteral("actionAbout"))->trigger();
    QVERIFY2(driver.allAnswered(), qPrintable(driver.failures().join(QLatin1Char('\n'))));
    // It goes when it closes.
    QVERIFY(about.isNull());
}

void tst_MainWindow::clearLogEmptiesPanelAndHistory()
{
    makeWindow().show();
    firstPass();
    MessageHandler::instance()->logMessage(INFO, QStringLiteral("before clearing"));
    auto* panel = child<QTextEdit>(QStringLiteral("textEditLog"));
    QTRY_VERIFY(panel->toPlainText().contains(QStringLiteral("before clearing")));
    QCoreApplication::processEvents();  // the history takes the line queued

    QTest::mouseClick(child<QToolButton>(QStringLiteral("pushButton_editLogClear")), Qt::LeftButton);
    QVERIFY(panel->toPlainText().isEmpty());
    // The history is empty too: re-filling the panel from it brings nothing back. The panel is
    // written through queued calls: a line logged afterwards shows when the re-fill is done.
    m_window->refreshLog();
    MessageHandler::instance()->logMessage(INFO, QStringLiteral("after clearing"));
    QTRY_VERIFY(panel->toPlainText().contains(QStringLiteral("after clearing")));
    QVERIFY2(!panel->toPlainText().contains(QStringLiteral("before clearing")), qPrintable(panel->toPlainText()));
}

void tst_MainWindow::saveLogWritesTheChosenFile()
{
    makeWindow().show();
    firstPass();
    MessageHandler::instance()->logMessage(INFO, QStringLiteral("worth keeping"));
    QCoreApplication::processEvents();
    const QString path = QDir(qEnvironmentVariable("HOME")).filePath(QStringLiteral("saved"));

    ModalDialogDriver driver;
    driver.answer(ModalDialogDriver::pickFile(path));
    QTest::mouseClick(child<QToolButton>(QStringLiteral("pushButton_editLogSave")), Qt::LeftButton);
    QVERIFY2(driver.allAnswered(), qPrintable(driver.failures().join('\n')));
    QFile saved(path);  // as typed: no suffix added
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QVERIFY(saved.readAll().contains("worth keeping"));
}

void tst_MainWindow::closeWithNothingFlashing()
{
    MainWindow& window = makeWindow();
    window.show();
    firstPass();
    QSignalSpy closing(&window, &MainWindow::closing);
    QVERIFY(window.close());
    QCOMPARE(closing.count(), 1);
    QCOMPARE(closing.first().first().toInt(), 0);
    QVERIFY(!window.isVisible());
}

void tst_MainWindow::displayMessageBox_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("button");       // "Escape", "Return": the key; empty: no box expected
    QTest::addColumn<int>("icon");
    QTest::addColumn<bool>("expected");
    QTest::newRow("question, Continue") << "question" << "Continue" << int(QMessageBox::Question) << false;
    QTest::newRow("question, Cancel Flash") << "question" << "Cancel Flash" << int(QMessageBox::Question) << true;
    QTest::newRow("question, Escape") << "question" << "Escape" << int(QMessageBox::Question) << true;
    QTest::newRow("question, Return (the default)") << "question" << "Return" << int(QMessageBox::Question) << false;
    QTest::newRow("info") << "info" << "OK" << int(QMessageBox::Information) << false;
    QTest::newRow("warn") << "warn" << "OK" << int(QMessageBox::Warning) << false;
    QTest::newRow("Info (other case)") << "Info" << "" << 0 << true;
}

void tst_MainWindow::displayMessageBox()
{
    QFETCH(QString, type);
    QFETCH(QString, button);
    QFETCH(int, icon);
    QFETCH(bool, expected);
    MainWindow& window = makeWindow();
    window.show();
    firstPass();

    ModalDialogDriver driver(2000);
    driver.answer(driver.readBoxText([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        const bool looksRight = box && box->icon() == QMessageBox::Icon(icon) && box->windowTitle() == kApplicationName;
        // A box that should not have shown is closed all the same, and counts as answered.
        if (button.isEmpty() || button == QStringLiteral("Escape"))
            QTest::keyClick(modal, Qt::Key_Escape);
        else if (button == QStringLiteral("Return"))
            QTest::keyClick(modal, Qt::Key_Return);
        else if (!ModalDialogDriver::pressButton(button)(modal))
            return false;
        return looksRight;
    }));
    bool answer = !expected;
    if (button.isEmpty())
        answer = expected;  // a box that never shows leaves the answer as it was
    window.displayMessageBox(type, QStringLiteral("Plug the cable"), &answer);

    QCOMPARE(driver.allAnswered(), !button.isEmpty());
    if (!button.isEmpty())
        QCOMPARE(driver.texts(), QStringList{QStringLiteral("Plug the cable")});
    QCOMPARE(answer, expected);
}

void tst_MainWindow::questionsAfterTheCloseGetNoBox_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<bool>("expected");   // the answer after the call
    QTest::addColumn<bool>("written");    // written over its opposite, else left as it was
    QTest::newRow("question: Cancel Flash") << "question" << true << true;
    QTest::newRow("info: Ok") << "info" << false << true;
    QTest::newRow("Info: left as it was") << "Info" << true << false;
}

// A flash's question that waits in the queue while the window closes reaches it when start-up's
// terminate handles the pending events: answered there at once, as the program is leaving and its
// flashes are stopped. A box would wait for nobody, and its flash and the exit with it.
void tst_MainWindow::questionsAfterTheCloseGetNoBox()
{
    QFETCH(QString, type);
    QFETCH(bool, expected);
    QFETCH(bool, written);
    MainWindow& window = makeWindow();
    window.show();
    firstPass();
    Asker asker;
    connect(&asker, &Asker::ask, &window, &MainWindow::displayMessageBox, Qt::BlockingQueuedConnection);
    bool answer = written ? !expected : expected;
    std::atomic<pid_t> asking{0};
    std::unique_ptr<QThread> flash(QThread::create([&] {
        asking = SleepingThread::currentId();
        emit asker.ask(type, QStringLiteral("Go on?"), &answer);
    }));
    std::unique_ptr<QThread> later(QThread::create([&] { emit asker.ask(type, QStringLiteral("Go on?"), &answer); }));
    // A check that fails leaves no thread waiting for an answer behind it.
    const auto release = qScopeGuard([&] { (void)QTest::qWaitFor([&] { return flash->wait(1) && later->wait(1); }, 10000); });
    bool answeredWhileClosing = false;
    connect(&window, &MainWindow::closing, this, [&] {
        // What terminate does first.
        QCoreApplication::processEvents();
        answeredWhileClosing = flash->isFinished() || flash->wait(5000);
    });
    ModalDialogDriver dialogs;
    dialogs.closeUnexpected();

    // From here until the close this thread handles no event: the question waits in its queue.
    flash->start();
    QVERIFY(SleepingThread::waitUntilAsleep(asking));
    QVERIFY(window.close());

    QVERIFY(answeredWhileClosing);
    QCOMPARE(answer, expected);
    QCoreApplication::processEvents();
    QVERIFY2(dialogs.allAnswered(), qPrintable(dialogs.failures().join('\n')));

    // Later questions too: the window never asks again.
    answer = written ? !expected : expected;
    later->start();
    QVERIFY(QTest::qWaitFor([&] { return later->isFinished(); }, 10000));
    QCOMPARE(answer, expected);
    QVERIFY2(dialogs.allAnswered(), qPrintable(dialogs.failures().join('\n')));
}

void tst_MainWindow::systemTrayNotificationIsTraced_data()
{
    QTest::addColumn<bool>("enabled");
    QTest::newRow("notifications on") << true;
    QTest::newRow("notifications off") << false;
}

void tst_MainWindow::systemTrayNotificationIsTraced()
{
    QFETCH(bool, enabled);
    ToolConst::DISPLAY_SYSTRAY_NOTIFICATION = enabled;
    MessageHandler::instance()->setLogLevel(TRACE);
    MainWindow& window = makeWindow();
    LoggerBridge bridge;
    bridge.bind(window);
    m_flashManager = std::make_unique<FlashManager>();
    window.setFlashManager(m_flashManager.get());
    const RecordedLog log;
    emit m_flashManager->postSystemTrayNotification(Logger::INFO, kApplicationName, QStringLiteral("Flash Success"));
    QTRY_COMPARE(log.lines().contains(QStringLiteral("TRACE|Sending system tray notification: \"Flash Success\"")), enabled);
    if (!enabled) {
        QCoreApplication::processEvents();
        QVERIFY(log.lines().isEmpty());
    }
}

void tst_MainWindow::eightHiddenDeviceViewsAtTheTop()
{
    makeWindow();
    QLayout* layout = child<QWidget>(QStringLiteral("scrollAreaWidgetContents"))->layout();
    QVERIFY(layout->count() >= 8);
    for (int index = 0; index < 8; ++index) {
        auto* view = qobject_cast<QPhoneWidget*>(layout->itemAt(index)->widget());
        QVERIFY2(view, qPrintable(QStringLiteral("no device view at %1").arg(index)));
        QVERIFY(view->isHidden());
        QVERIFY(view->getDevice().isNull());
    }
    QCOMPARE(deviceViews().size(), 8);
    QCOMPARE(layout->alignment(), Qt::Alignment(Qt::AlignTop));
}

void tst_MainWindow::knownDevicesAreBoundOnceInPortOrder()
{
    DeviceManagerFixture fixture(FlashDevice2::DeviceAllocator);
    QVERIFY(fixture.isValid());
    // Plugged in the reverse of port order.
    QVERIFY(fixture.sim.addDevice("B", "1-3", "pos", {}));
    QVERIFY(fixture.sim.addDevice("A", "1-2", "mos", {"--vendor", "8087"}));
    QVERIFY(fixture.scan());
    MainWindow& window = makeWindow();
    window.setDeviceManager(&fixture.manager);

    const QList<QPhoneWidget*> views = deviceViews();
    QCOMPARE(views.at(0)->getDevice(), fixture.deviceAt<FlashDevice2>(PortNumber::usbPort("1-2")));
    QCOMPARE(views.at(1)->getDevice(), fixture.deviceAt<FlashDevice2>(PortNumber::usbPort("1-3")));
    QVERIFY(!views.at(0)->isHidden());
    QVERIFY(!views.at(1)->isHidden());
    for (int index = 2; index < views.size(); ++index) {
        QVERIFY(views.at(index)->getDevice().isNull());
        QVERIFY(views.at(index)->isHidden());
    }

    // A device that comes back later keeps its one view.
    QVERIFY(fixture.runTool("adb", {"-s", "A", "reboot", "bootloader"}));
    QVERIFY(fixture.scan());
    QCoreApplication::processEvents();
    QCOMPARE(views.at(0)->getDevice(), fixture.deviceAt<FlashDevice2>(PortNumber::usbPort("1-2")));
    for (int index = 2; index < views.size(); ++index)
        QVERIFY(views.at(index)->getDevice().isNull());
}

void tst_MainWindow::nullManagersAreIgnored()
{
    DeviceManagerFixture fixture(FlashDevice2::DeviceAllocator);
    QVERIFY(fixture.isValid());
    MainWindow& window = makeWindow();
    window.setFlashManager(nullptr);
    window.setDeviceManager(&fixture.manager);
    window.setDeviceManager(nullptr);

    // The manager set before still reaches the views.
    QVERIFY(fixture.sim.addDevice("A", "1-2", "mos", {}));
    QVERIFY(fixture.scan());
    QTRY_VERIFY(!deviceViews().at(0)->getDevice().isNull());
}

void tst_MainWindow::clearDevices_data()
{
    QTest::addColumn<bool>("unplugged");
    QTest::newRow("connected and idle") << false;
    QTest::newRow("unplugged") << true;
}

void tst_MainWindow::clearDevices()
{
    QFETCH(bool, unplugged);
    DeviceManagerFixture fixture(FlashDevice2::DeviceAllocator);
    QVERIFY(fixture.isValid());
    QVERIFY(fixture.sim.addDevice("A", "1-2", "mos", {}));
    QVERIFY(fixture.scan());
    MainWindow& window = makeWindow();
    window.setDeviceManager(&fixture.manager);
    QPhoneWidget* view = deviceViews().at(0);
    const FlashDevice2Ptr device = view->getDevice();
    QVERIFY(device);
    view->onFlashInfo(device, QStringLiteral("Flash failed"));
    auto* status = view->findChild<QLabel*>(QStringLiteral("status"));
    QCOMPARE(status->text(), QStringLiteral("Flash failed"));
    if (unplugged) {
        QVERIFY(fixture.sim.unplug("A"));
        QVERIFY(fixture.scan());
        QTRY_VERIFY(view->isDisconnected());
    }

    child<QPushButton>(QStringLiteral("pushButton_clearDisconnectedDevices"))->click();
    QCOMPARE(status->text(), QString());
    QCOMPARE(view->isHidden(), unplugged);
    QCOMPARE(view->getDevice().isNull(), unplugged);
}

QTEST_MAIN(tst_MainWindow)
#include "tst_MainWindow.moc"
