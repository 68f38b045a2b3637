// The desktop face in process: the program's own entry point and start-up, plus a scenario that
// starts once the window shows a ready configuration ("Ready to flash!"). The scenario finds
// widgets by object name, works them with QTest input, answers dialogs with ModalDialogDriver,
// prints one "driver: " line per finding and closes the window as its user would; the desktop
// test runs this program on its station and reads those lines. QLN_DRIVER_SCENARIO names the
// scenario.

#include "ModalDialogDriver.h"
#include "SleepingThread.h"
#include "app/EntryPoint.h"
#include "core/MessageHandler.h"
#include "engine/FlashManager.h"
#include "model/FlashConfiguration.h"
#include "model/FlashGroup.h"
#include "ui/FlashBasicWidget.h"
#include "ui/MainWindow.h"
#include "ui/QPhoneWidget.h"
#include "ui/StartStopPushButton.h"

#include <QAbstractAnimation>
#include <QApplication>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSplashScreen>
#include <QTest>
#include <QThread>
#include <QToolButton>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>

namespace {

void report(const QString& finding)
{
    std::printf("driver: %s\n", qPrintable(finding));
    std::fflush(stdout);
}

QMainWindow* shownMainWindow()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == QLatin1String("MainWindow") && widget->isVisible())
            return qobject_cast<QMainWindow*>(widget);
    }
    return nullptr;
}

// "name=enabled" for each group of the configuration.
QStringList groupStates(const FlashConfigurationPtr& configuration)
{
    QStringList states;
    for (const FlashConfiguration::Group& group : configuration->getGroupsStatus())
        states << group.group->getId() + QLatin1Char('=') + (group.enabled ? "on" : "off");
    return states;
}

bool isUniform(const QImage& image)
{
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) != image.pixel(0, 0))
                return false;
        }
    }
    return true;
}

// The text of the form row that holds `field`.
QString rowLabel(QWidget* field)
{
    auto* form = qobject_cast<QFormLayout*>(field->parentWidget()->layout());
    auto* label = form ? qobject_cast<QLabel*>(form->labelForField(field)) : nullptr;
    return label ? label->text() : QString();
}

// What the flash tab shows, and that the editor does not show.
void flashTab(QMainWindow* window)
{
    auto* tab = window->findChild<FlashBasicWidget*>(QStringLiteral("widgetFlashBasic"));
    report(QStringLiteral("path: ") + tab->findChild<QLineEdit*>(QStringLiteral("txtArchive"))->text());
    auto* configurations = tab->findChild<QComboBox*>(QStringLiteral("comboBoxCfgs"));
    report(QStringLiteral("configuration: ") + configurations->currentText());
    QStringList listed;
    for (int index = 0; index < configurations->count(); ++index)
        listed << configurations->itemText(index);
    report(QStringLiteral("configurations: ") + listed.join(QStringLiteral(", ")));
    QWidget* editor = window->findChild<QWidget*>(QStringLiteral("widgetFlashEditor"));
    report(QStringLiteral("editor: ") + (!editor ? "none" : editor->isVisible() ? "shown" : "hidden"));
    // The tab area as the screen shows it, once the window has been painted: text and controls drawn.
    QWidget* tools = window->findChild<QWidget*>(QStringLiteral("widgetFlashTools"));
    const QPoint corner = tools->mapToGlobal(QPoint(0, 0));
    const auto grab = [&] {
        return QGuiApplication::primaryScreen()->grabWindow(0, corner.x(), corner.y(), tools->width(), tools->height()).toImage();
    };
    QElapsedTimer clock;
    clock.start();
    while (isUniform(grab()) && clock.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
    report(QStringLiteral("tab area: ") + (isUniform(grab()) ? "uniform" : "drawn"));
}

// The device views shown once the scanner has had `waitMs` to find the attached devices.
void deviceViews(QMainWindow* window, int expected, int waitMs)
{
    const auto shown = [window] {
        int count = 0;
        for (auto* view : window->findChildren<QPhoneWidget*>())
            count += view->isVisible() ? 1 : 0;
        return count;
    };
    QElapsedTimer clock;
    clock.start();
    while (shown() < expected && clock.elapsed() < waitMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    report(QStringLiteral("device views shown: %1").arg(shown()));
}

// The groups dialog of the flash tab: what it lists, and that Restore Defaults then Cancel leave
// the configuration's groups as they were.
void groupsDialog(QMainWindow* window)
{
    auto* tab = window->findChild<FlashBasicWidget*>(QStringLiteral("widgetFlashBasic"));
    QToolButton* groupsButton = nullptr;
    for (auto* button : tab->findChildren<QToolButton*>()) {
        if (button->toolTip() == QLatin1String("Configure command groups"))
            groupsButton = button;
    }
    if (!groupsButton) {
        report(QStringLiteral("FAIL no groups button"));
        return;
    }
    const QStringList before = groupStates(tab->getCurrentFlashFile());
    report(QStringLiteral("groups before: ") + before.join(QLatin1Char(' ')));
    ModalDialogDriver dialogs;
    dialogs.answer([](QWidget* modal) {
        for (auto* box : modal->findChildren<QCheckBox*>())
            report(QStringLiteral("dialog check box: %1 %2").arg(rowLabel(box), box->isChecked() ? "on" : "off"));
        report(QStringLiteral("dialog size: %1x%2").arg(modal->width()).arg(modal->height()));
        return ModalDialogDriver::pressButton(QDialogButtonBox::RestoreDefaults)(modal);
    });
    dialogs.answer(ModalDialogDriver::pressButton(QDialogButtonBox::Cancel));
    QTest::mouseClick(groupsButton, Qt::LeftButton);
    for (const QString& failure : dialogs.failures())
        report(QStringLiteral("FAIL ") + failure);
    report(QStringLiteral("groups after: ") + groupStates(tab->getCurrentFlashFile()).join(QLatin1Char(' ')));
}

// Processes events until `done` holds or `waitMs` passed; whether it holds.
bool waitUntil(const std::function<bool()>& done, int waitMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < waitMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return done();
}

QString labelText(QWidget* view, const char* name)
{
    auto* label = view->findChild<QLabel*>(QLatin1String(name));
    return label ? label->text() : QString();
}

QString screenRect(QWidget* widget)
{
    const QPoint corner = widget->mapToGlobal(QPoint(0, 0));
    return QStringLiteral("%1,%2,%3,%4").arg(corner.x()).arg(corner.y()).arg(widget->width()).arg(widget->height());
}

// The shown device views, top to bottom.
QList<QPhoneWidget*> shownRows(QMainWindow* window)
{
    QList<QPhoneWidget*> rows;
    for (auto* view : window->findChildren<QPhoneWidget*>()) {
        if (view->isVisible())
            rows << view;
    }
    std::sort(rows.begin(), rows.end(), [](QWidget* a, QWidget* b) { return a->y() < b->y(); });
    return rows;
}

// One line a shown row: "rows <step>: <i>|<port>|<state>|<battery>|<row rectangle>|<port label
// rectangle>" (rectangles on the screen), then the device area's rectangle, after the window
// painted them.
void reportRows(QMainWindow* window, const QString& step)
{
    window->repaint();
    QCoreApplication::processEvents();
    const QList<QPhoneWidget*> rows = shownRows(window);
    for (int index = 0; index < rows.size(); ++index) {
        QPhoneWidget* row = rows.at(index);
        report(QStringLiteral("rows %1: %2|%3|%4|%5|%6|%7")
                   .arg(step, QString::number(index), labelText(row, "port"), labelText(row, "statusDevice"),
                        labelText(row, "batt_text"), screenRect(row),
                        screenRect(row->findChild<QLabel*>(QStringLiteral("port")))));
    }
    report(QStringLiteral("area %1: %2").arg(step, screenRect(window->findChild<QWidget*>(QStringLiteral("scrollArea"))->findChild<QWidget*>(QStringLiteral("qt_scrollarea_viewport")))));
}

// The first device row once its battery reads a level (or QLN_DRIVER_WAIT_MS passed): its texts, and
// where its port line and battery icon are on the screen, for the test's screenshot. The window
// stays open: the test closes it from outside.
void deviceRow(QMainWindow* window)
{
    const int waitMs = qEnvironmentVariableIsSet("QLN_DRIVER_WAIT_MS") ? qEnvironmentVariableIntValue("QLN_DRIVER_WAIT_MS")
                                                                         : 60000;
    waitUntil([window] {
        const QList<QPhoneWidget*> rows = shownRows(window);
        return !rows.isEmpty() && labelText(rows.first(), "batt_text") != QLatin1String("-- %");
    }, waitMs);
    const QList<QPhoneWidget*> rows = shownRows(window);
    if (rows.isEmpty()) {
        report(QStringLiteral("FAIL no device row"));
        return;
    }
    QPhoneWidget* view = rows.first();
    QCoreApplication::processEvents();  // the battery icon set with the text is painted
    report(QStringLiteral("battery: ") + labelText(view, "batt_text"));
    report(QStringLiteral("port: ") + labelText(view, "port"));
    report(QStringLiteral("port at: ") + screenRect(view->findChild<QLabel*>(QStringLiteral("port"))));
    report(QStringLiteral("battery icon at: ") + screenRect(view->findChild<QLabel*>(QStringLiteral("label_icon_bat"))));
    report(QStringLiteral("ready for the shot"));
}

// Waits until the test has written `step` into the file named by QLN_DRIVER_GO_FILE.
bool waitForGo(const QString& step)
{
    const QString path = qEnvironmentVariable("QLN_DRIVER_GO_FILE");
    return waitUntil([&] {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) && file.readAll().split('\n').contains(step.toUtf8());
    }, 120000);
}

// The attached devices' rows as the test changes the devices: found, one rebooted, one unplugged,
// then "Clear devices". Each step is reported once the rows show it; the test looks at the screen
// in between and says when to go on.
void attachedDevices(QMainWindow* window)
{
    const auto connected = [window](int count) {
        const QList<QPhoneWidget*> rows = shownRows(window);
        int found = 0;
        for (auto* row : rows)
            found += labelText(row, "port").contains(QLatin1String("Connected on port")) ? 1 : 0;
        return found == count && labelText(rows.first(), "batt_text") != QLatin1String("-- %");
    };
    const auto rowSays = [window](int index, const char* name, const QString& text) {
        const QList<QPhoneWidget*> rows = shownRows(window);
        return index < rows.size() && labelText(rows.at(index), name).contains(text);
    };
    if (!waitUntil([&] { return connected(2); }, 60000))
        report(QStringLiteral("FAIL two connected rows with a battery"));
    reportRows(window, QStringLiteral("found"));
    if (!waitUntil([&] { return rowSays(0, "statusDevice", QStringLiteral("POS")); }, 60000))
        report(QStringLiteral("FAIL the first row never read POS"));
    reportRows(window, QStringLiteral("rebooted"));
    if (!waitUntil([&] { return rowSays(1, "port", QStringLiteral("Disconnected")); }, 60000))
        report(QStringLiteral("FAIL the second row never read Disconnected"));
    reportRows(window, QStringLiteral("unplugged"));
    if (!waitForGo(QStringLiteral("clear")))
        report(QStringLiteral("FAIL no go for Clear devices"));
    QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("pushButton_clearDisconnectedDevices")), Qt::LeftButton);
    waitUntil([&] { return shownRows(window).size() == 1; }, 5000);
    reportRows(window, QStringLiteral("cleared"));
    if (!waitForGo(QStringLiteral("close")))
        report(QStringLiteral("FAIL no go to close"));
}

// Answers the flash's message box, once it shows, with `button`: reports its text, buttons and
// place on the screen, then waits for the go "answer" (the test looks at the screen meanwhile).
// The box runs its own event loop: the step runs inside it.
void answerTheFlashsQuestion(ModalDialogDriver& dialogs, const QString& button)
{
    dialogs.answer([button](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box)
            return false;
        QStringList buttons;
        for (QAbstractButton* each : box->buttons())
            buttons << each->text();
        std::sort(buttons.begin(), buttons.end());
        report(QStringLiteral("question: ") + box->text());
        report(QStringLiteral("question buttons: ") + buttons.join(QLatin1Char('|')));
        report(QStringLiteral("question box: ") + screenRect(box));
        if (!waitForGo(QStringLiteral("answer")))
            report(QStringLiteral("FAIL no go to answer"));
        return ModalDialogDriver::pressButton(button)(modal);
    });
}

// Presses the main "Start to flash" with the first device's row shown, as its user would, and
// reports what the window shows: with QLN_DRIVER_NOTIFIER set, the notifier panel once it has
// opened and once it has closed; with QLN_DRIVER_PRESS_STOP set, the main button's text when the
// go "stop" comes, then presses it; with QLN_DRIVER_ANSWER set, the flash's message box, answered
// with that button at the go "answer". Once the flash has ended in the row, the main button's
// text and the row's progress bar on the screen. The window stays until the go "close".
void flashFromTheWindow(QMainWindow* window)
{
    if (!waitUntil([window] { return !shownRows(window).isEmpty(); }, 60000)) {
        report(QStringLiteral("FAIL no device row"));
        return;
    }
    auto* mainButton = window->findChild<StartStopPushButton*>(QStringLiteral("startFlashingMain"));
    auto* bar = shownRows(window).first()->findChild<QProgressBar*>(QStringLiteral("progressBar"));
    auto* notifier = window->findChild<QWidget*>(QStringLiteral("notifierWidget"));
    ModalDialogDriver dialogs(180000);
    if (qEnvironmentVariableIsSet("QLN_DRIVER_ANSWER"))
        answerTheFlashsQuestion(dialogs, qEnvironmentVariable("QLN_DRIVER_ANSWER"));
    QTest::mouseClick(mainButton, Qt::LeftButton);
    if (!waitUntil([mainButton] { return mainButton->isStarted(); }, 20000))
        report(QStringLiteral("FAIL the main button never turned to Stop"));

    if (qEnvironmentVariableIsSet("QLN_DRIVER_NOTIFIER")) {
        // Reported at its full size, once its slide in has ended and the layout has given it the
        // last frame's size (a pass after the animation's end).
        auto* slideIn = notifier->findChild<QAbstractAnimation*>(QStringLiteral("showAnimation"));
        if (!waitUntil([&] {
                return notifier->height() > 0 && slideIn->state() == QAbstractAnimation::Stopped
                       && notifier->size() == notifier->maximumSize();
            }, 60000))
            report(QStringLiteral("FAIL the notifier never opened"));
        report(QStringLiteral("notifier open: ") + screenRect(notifier));
    }
    if (qEnvironmentVariableIsSet("QLN_DRIVER_PRESS_STOP")) {
        if (!waitForGo(QStringLiteral("stop")))
            report(QStringLiteral("FAIL no go for Stop"));
        report(QStringLiteral("main button before stop: ") + mainButton->text());
        QTest::mouseClick(mainButton, Qt::LeftButton);
    }
    // The row's bar leaves its flashing colour for the end's, and the main button returns to start.
    const bool ended = waitUntil([&] {
        return !bar->styleSheet().contains(QLatin1String("deepskyblue")) && !mainButton->isStarted();
    }, 180000);
    window->repaint();
    QCoreApplication::processEvents();
    report(QStringLiteral("flash ended: ") + (ended ? "yes" : "no"));
    report(QStringLiteral("main button: ") + mainButton->text());
    report(QStringLiteral("progress bar: ") + screenRect(bar));
    if (qEnvironmentVariableIsSet("QLN_DRIVER_NOTIFIER")) {
        const auto closed = [notifier] { return !notifier->isVisible() || notifier->height() == 0; };
        waitUntil(closed, 30000);
        report(QStringLiteral("notifier closed: ") + (closed() ? "yes" : "no"));
    }
    for (const QString& failure : dialogs.failures())
        report(QStringLiteral("FAIL ") + failure);
    if (!waitForGo(QStringLiteral("close")))
        report(QStringLiteral("FAIL no go to close"));
}

// Reports every message the splash screen shows, from its first show on.
class SplashWatch : public QObject
{
public:
    SplashWatch()
        : QObject(QCoreApplication::instance())
    {
        QCoreApplication::instance()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* splash = qobject_cast<QSplashScreen*>(watched);
        if (event->type() == QEvent::Show && splash && !m_watched.contains(splash)) {
            m_watched << splash;
            connect(splash, &QSplashScreen::messageChanged, this,
                    [](const QString& message) { report(QStringLiteral("splash: ") + message); });
        }
        return false;
    }

private:
    QList<QSplashScreen*> m_watched;
};

// A flash's question that waits in the window's queue when the close comes: when the window's
// close event arrives, a thread of the driver asks through the flash manager's relay to the window,
// as a flash's thread does, and the driver holds the main thread, handling no event, until that
// thread sleeps on its answer. The close then runs with the question queued, and the program must
// still end. Reports what the thread was answered and any box that shows after the close.
class QuestionAtClose : public QObject
{
public:
    QuestionAtClose()
        : QObject(QCoreApplication::instance())
    {
        QCoreApplication::instance()->installEventFilter(this);
    }
    ~QuestionAtClose() override
    {
        if (m_asking)
            m_asking->wait();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        // Start-up moves the manager to its thread while the object is still on this one.
        if (event->type() == QEvent::ThreadChange && qobject_cast<FlashManager*>(watched))
            m_flashManager = static_cast<FlashManager*>(watched);
        if (event->type() == QEvent::Show && m_closing && qobject_cast<QMessageBox*>(watched))
            report(QStringLiteral("FAIL a box showed after the close: ") + static_cast<QMessageBox*>(watched)->text());
        if (event->type() == QEvent::Close && qobject_cast<MainWindow*>(watched) && !m_closing) {
            m_closing = true;
            askAndWaitUntilQueued();
        }
        return false;
    }

private:
    void askAndWaitUntilQueued()
    {
        if (!m_flashManager) {
            report(QStringLiteral("FAIL no flash manager"));
            return;
        }
        FlashManager* manager = m_flashManager;
        m_asking.reset(QThread::create([this, manager] {
            m_askingId = SleepingThread::currentId();
            bool cancel = false;
            emit manager->displayMessageBox(QStringLiteral("question"), QStringLiteral("Leave now?"), &cancel);
            report(QStringLiteral("question answered: ") + (cancel ? "Cancel Flash" : "Continue"));
        }));
        m_asking->start();
        report(QStringLiteral("question queued: ") + (SleepingThread::waitUntilAsleep(m_askingId) ? "yes" : "no"));
    }

    FlashManager* m_flashManager = nullptr;
    std::unique_ptr<QThread> m_asking;
    std::atomic<pid_t> m_askingId{0};
    bool m_closing = false;
};

// Starts the flash tab's configuration on the first device's view as the window's own start
// request does, and reports once the device flashes (the window is closed after it).
void flashFirstDevice(QMainWindow* window)
{
    deviceViews(window, 1, 20000);
    FlashDevice2Ptr device;
    for (auto* view : window->findChildren<QPhoneWidget*>()) {
        if (view->isVisible() && !device)
            device = view->getDevice();
    }
    auto* mainWindow = qobject_cast<MainWindow*>(window);
    auto* tab = window->findChild<FlashBasicWidget*>(QStringLiteral("widgetFlashBasic"));
    if (!device || !mainWindow) {
        report(QStringLiteral("FAIL no device to flash"));
        return;
    }
    emit mainWindow->start_flash(device, tab->getCurrentFlashFile());
    QElapsedTimer clock;
    clock.start();
    while (!device->isFlashing() && clock.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    report(QStringLiteral("flashing: ") + (device->isFlashing() ? "yes" : "no"));
}

// The share of `widget`'s pixels on screen within 16 of `colour` in each channel.
double screenFractionNear(QWidget* widget, const QColor& colour)
{
    const QPoint corner = widget->mapToGlobal(QPoint(0, 0));
    const QImage image =
        QGuiApplication::primaryScreen()->grabWindow(0, corner.x(), corner.y(), widget->width(), widget->height()).toImage();
    int near = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            near += qAbs(pixel.red() - colour.red()) <= 16 && qAbs(pixel.green() - colour.green()) <= 16
                    && qAbs(pixel.blue() - colour.blue()) <= 16;
        }
    }
    return image.isNull() ? 0.0 : double(near) / (image.width() * image.height());
}

// Presses "Start to flash" with the one device shown, waits for the flash's end and reports how
// the first device row shows it: the progress bar's lime share and whether the kind icon is drawn.
void startFromTheMainButton(QMainWindow* window)
{
    deviceViews(window, 1, 30000);
    bool ended = false;
    QString outcome;
    QObject listening;   // ends the connection with this function, whose locals it writes
    QObject::connect(MessageHandler::instance(), &MessageHandler::newLog, &listening,
                     [&](LOGLEVEL, const QString&, const QString& text) {
                         for (const char* end : {"Flash success", "Flash failed", "Flash cancelled"}) {
                             if (!ended && text.contains(QLatin1String(end))) {
                                 ended = true;
                                 outcome = QLatin1String(end);
                             }
                         }
                     });
    auto* button = window->findChild<QPushButton*>(QStringLiteral("startFlashingMain"));
    if (!button) {
        report(QStringLiteral("FAIL no start button"));
        return;
    }
    report(QStringLiteral("start button: ") + button->text());
    QTest::mouseClick(button, Qt::LeftButton);
    waitUntil([&] { return ended; }, 240000);
    report(QStringLiteral("outcome: ") + (ended ? outcome : QStringLiteral("none")));
    const QList<QPhoneWidget*> rows = shownRows(window);
    if (rows.isEmpty()) {
        report(QStringLiteral("FAIL no device row"));
        return;
    }
    QPhoneWidget* row = rows.first();
    auto* progress = row->findChild<QProgressBar*>(QStringLiteral("progressBar"));
    auto* kind = row->findChild<QLabel*>(QStringLiteral("scriptId"));
    // The row repaints from queued signals after the last line.
    waitUntil([progress] { return screenFractionNear(progress, QColor(0, 255, 0)) >= 0.5; }, 10000);
    report(QStringLiteral("progress lime: %1").arg(int(100 * screenFractionNear(progress, QColor(0, 255, 0)))));
    const QPoint corner = kind->mapToGlobal(QPoint(0, 0));
    const QImage icon =
        QGuiApplication::primaryScreen()->grabWindow(0, corner.x(), corner.y(), kind->width(), kind->height()).toImage();
    report(QStringLiteral("kind icon: ") + (isUniform(icon) ? "uniform" : "drawn"));
    report(QStringLiteral("kind icon tooltip: ") + kind->toolTip());
}

// Saves the whole screen, as it shows now, as <QLN_DRIVER_SHOTS>/<name>.png and reports the file.
void shoot(QMainWindow* window, const QString& name)
{
    window->repaint();
    waitUntil([] { return false; }, 300);   // boxes and panels paint too
    const QString path = QDir(qEnvironmentVariable("QLN_DRIVER_SHOTS")).filePath(name + QStringLiteral(".png"));
    if (QGuiApplication::primaryScreen()->grabWindow(0).save(path))
        report(QStringLiteral("shot: ") + path);
    else
        report(QStringLiteral("FAIL cannot write ") + path);
}

// Runs `press` with one step queued for the box or dialog it opens: the screen is saved as `name`
// once `ready` holds for it, then `answer` ends it.
void shootDialog(QMainWindow* window, const QString& name, const std::function<void()>& press,
                 const ModalDialogDriver::Step& answer,
                 const std::function<bool(QWidget*)>& ready = [](QWidget*) { return true; })
{
    ModalDialogDriver dialogs(60000);
    dialogs.answer([=](QWidget* modal) {
        waitUntil([&] { return ready(modal); }, 30000);
        shoot(window, name);
        return answer(modal);
    });
    press();
    waitUntil([&] { return dialogs.allAnswered(); }, 60000);   // a queued press opens it later
    for (const QString& failure : dialogs.failures())
        report(QStringLiteral("FAIL ") + name + QStringLiteral(": ") + failure);
}

// The window in the states a reviewer looks at, each saved as a picture (scripts/screenshots):
// empty; a file loaded with two devices; flashing; the quit question; the notifier; success,
// cancel and failure; the flash dialog; the about box; on-demand mode. The devices come at the go
// "devices": A succeeds, B hangs until "Stop", C fails. QLN_DRIVER_FLASH_FILE and
// QLN_DRIVER_ON_DEMAND_FILE name the files.
void screensForReview(QMainWindow* window)
{
    auto* mainWindow = qobject_cast<MainWindow*>(window);
    auto* tab = window->findChild<FlashBasicWidget*>(QStringLiteral("widgetFlashBasic"));
    auto* mainButton = window->findChild<StartStopPushButton*>(QStringLiteral("startFlashingMain"));
    const QString flashFile = qEnvironmentVariable("QLN_DRIVER_FLASH_FILE");
    shoot(window, QStringLiteral("01-empty"));
    report(QStringLiteral("ready for devices"));
    if (!waitForGo(QStringLiteral("devices")))
        report(QStringLiteral("FAIL no go for the devices"));
    tab->loadLocalFile(flashFile);
    const auto barsOf = [window] {
        QList<QProgressBar*> bars;
        for (QPhoneWidget* row : shownRows(window))
            bars << row->findChild<QProgressBar*>(QStringLiteral("progressBar"));
        return bars;
    };
    const auto flashing = [&](int count) {
        int found = 0;
        for (QProgressBar* bar : barsOf())
            found += bar->styleSheet().contains(QLatin1String("deepskyblue")) && bar->value() > 0 ? 1 : 0;
        return found >= count;
    };
    waitUntil([&] { return shownRows(window).size() == 3 && tab->getCurrentFlashFile(); }, 60000);
    shoot(window, QStringLiteral("02-file-loaded"));

    shootDialog(window, QStringLiteral("03-confirm-all-devices"), [&] { QTest::mouseClick(mainButton, Qt::LeftButton); },
                ModalDialogDriver::pressButton(QStringLiteral("Yes")));
    waitUntil([&] { return flashing(3); }, 20000);
    shoot(window, QStringLiteral("04-flashing"));
    waitUntil([&] { return !flashing(2) && flashing(1); }, 120000);   // only B, which hangs, still runs
    shootDialog(window, QStringLiteral("05-quit-question"), [window] { window->close(); },
                ModalDialogDriver::pressButton(QStringLiteral("No")));
    auto* notifier = window->findChild<QWidget*>(QStringLiteral("notifierWidget"));
    emit mainWindow->displayNotifierTool(QStringLiteral("Plug the cable of the next device"), 30000);
    waitUntil([notifier] { return notifier->height() > 0 && notifier->size() == notifier->maximumSize(); }, 30000);
    shoot(window, QStringLiteral("06-notifier-open"));
    QTest::mouseClick(mainButton, Qt::LeftButton);   // Stop: B is cancelled
    waitUntil([&] { return !mainButton->isStarted() && !flashing(1); }, 60000);
    shoot(window, QStringLiteral("07-success-cancelled-failure"));

    QPhoneWidget* first = shownRows(window).first();
    shootDialog(window, QStringLiteral("08-flash-dialog"), [&] { emit first->start_flash(first->getDevice(), flashFile); },
                ModalDialogDriver::pressButton(QDialogButtonBox::No), [](QWidget* modal) {
                    auto* buttons = modal->findChild<QDialogButtonBox*>();
                    return buttons && buttons->button(QDialogButtonBox::Yes)->isEnabled();
                });
    shootDialog(window, QStringLiteral("09-about-box"),
                [window] { window->findChild<QAction*>(QStringLiteral("actionAbout"))->trigger(); },
                [](QWidget* modal) { return static_cast<QDialog*>(modal)->close(); });

    tab->loadLocalFile(qEnvironmentVariable("QLN_DRIVER_ON_DEMAND_FILE"));
    waitUntil([tab] { return tab->getCurrentFlashFile(); }, 30000);
    QTest::mouseClick(window->findChild<QCheckBox*>(QStringLiteral("useOnDemandMode")), Qt::LeftButton);
    QTest::mouseClick(mainButton, Qt::LeftButton);
    shoot(window, QStringLiteral("10-on-demand"));
    QTest::mouseClick(mainButton, Qt::LeftButton);   // nothing flashes: the mode ends
}

// Polls until the window shows with a configuration ready, runs the scenario, closes the window.
class Scenario : public QObject
{
public:
    Scenario()
        : QObject(QCoreApplication::instance())
    {
        connect(MessageHandler::instance(), &MessageHandler::newLog, this,
                [this](LOGLEVEL, const QString&, const QString& text) {
                    m_ready = m_ready || text == QLatin1String("Ready to flash!");
                });
        startTimer(100);
    }

protected:
    void timerEvent(QTimerEvent* event) override
    {
        QMainWindow* window = shownMainWindow();
        const QByteArray name = qgetenv("QLN_DRIVER_SCENARIO");
        // Device rows need no flash file: those scenarios start with the window.
        const bool needsNoFile = name == "attached-devices" || name == "device-row" || name == "screenshots";
        if (!window || (!m_ready && !needsNoFile))
            return;
        killTimer(event->timerId());
        if (name == "device-row") {
            deviceRow(window);
            return;  // the test looks at the screen, then closes the window
        }
        if (name == "start-flash") {
            flashFirstDevice(window);
            return;  // the test closes the window and answers its question from outside
        }
        if (name == "groups") {
            flashTab(window);
            deviceViews(window, qEnvironmentVariableIntValue("QLN_DRIVER_DEVICES"), 20000);
            groupsDialog(window);
        } else if (name == "close-while-flashing") {
            flashFirstDevice(window);
        } else if (name == "attached-devices") {
            attachedDevices(window);
        } else if (name == "flash-from-window") {
            flashFromTheWindow(window);
        } else if (name == "start-main") {
            startFromTheMainButton(window);
        } else if (name == "flash-tab-start-main") {
            flashTab(window);
            startFromTheMainButton(window);
        } else if (name == "screenshots") {
            screensForReview(window);
        } else if (name == "start-up") {
            report(QStringLiteral("window: %1x%2").arg(window->width()).arg(window->height()));
        } else if (name != "question-while-closing") {   // its work is done at the close
            report(QStringLiteral("FAIL no scenario ") + QString::fromLocal8Bit(name));
        }
        report(QStringLiteral("done"));
        // A close while a device flashes asks first: the user agrees.
        ModalDialogDriver quitQuestion;
        if (name == "close-while-flashing")
            quitQuestion.answer(quitQuestion.readBoxText(ModalDialogDriver::pressButton(QStringLiteral("Yes"))));
        window->close();
        if (!quitQuestion.texts().isEmpty())
            report(QStringLiteral("quit question: ") + quitQuestion.texts().join(QLatin1Char('|')).replace('\n', "\\n"));
        for (const QString& failure : quitQuestion.failures())
            report(QStringLiteral("FAIL ") + failure);
    }

private:
    bool m_ready = false;
};

void startScenario()
{
    // The command line's application has no window to drive.
    if (qobject_cast<QApplication*>(QCoreApplication::instance())) {
        new SplashWatch;
        new Scenario;
        if (qgetenv("QLN_DRIVER_SCENARIO") == "question-while-closing")
            new QuestionAtClose;
    }
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(startScenario)

int main(int argc, char* argv[])
{
    EntryPoint entryPoint;
    return entryPoint.run(argc, argv);
}
