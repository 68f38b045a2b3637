// The desktop face in process: the program's own entry point and start-up, plus a scenario that
// starts once the window shows a ready configuration ("Ready to flash!"). The scenario finds
// widgets by object name, works them with QTest input, answers dialogs with ModalDialogDriver,
// prints one "driver: " line per finding and closes the window as its user would; the desktop
// test runs this program on its station and reads those lines. QLN_DRIVER_SCENARIO names the
// scenario.

#include "ModalDialogDriver.h"
#include "app/EntryPoint.h"
#include "core/MessageHandler.h"
#include "model/FlashConfiguration.h"
#include "model/FlashGroup.h"
#include "ui/FlashBasicWidget.h"
#include "ui/MainWindow.h"
#include "ui/QPhoneWidget.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QMainWindow>
#include <QScreen>
#include <QSplashScreen>
#include <QTest>
#include <QToolButton>

#include <cstdio>

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

// The first device row once its battery reads a level (or QLN_DRIVER_WAIT_MS passed): its texts, and
// where its port line and battery icon are on the screen, for the test's screenshot. The window
// stays open: the test closes it from outside.
void deviceRow(QMainWindow* window)
{
    const int waitMs = qEnvironmentVariableIsSet("QLN_DRIVER_WAIT_MS") ? qEnvironmentVariableIntValue("QLN_DRIVER_WAIT_MS")
                                                                         : 60000;
    const auto firstShown = [window]() -> QPhoneWidget* {
        for (auto* view : window->findChildren<QPhoneWidget*>()) {
            if (view->isVisible())
                return view;
        }
        return nullptr;
    };
    const auto text = [](QWidget* view, const char* name) {
        return view->findChild<QLabel*>(QLatin1String(name))->text();
    };
    QElapsedTimer clock;
    clock.start();
    while ((!firstShown() || text(firstShown(), "batt_text") == QLatin1String("-- %")) && clock.elapsed() < waitMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    QPhoneWidget* view = firstShown();
    if (!view) {
        report(QStringLiteral("FAIL no device row"));
        return;
    }
    QCoreApplication::processEvents();  // the battery icon set with the text is painted
    const auto where = [view](const char* name) {
        auto* label = view->findChild<QLabel*>(QLatin1String(name));
        const QPoint corner = label->mapToGlobal(QPoint(0, 0));
        return QStringLiteral("%1 %2 %3 %4").arg(corner.x()).arg(corner.y()).arg(label->width()).arg(label->height());
    };
    report(QStringLiteral("battery: ") + text(view, "batt_text"));
    report(QStringLiteral("port: ") + text(view, "port"));
    report(QStringLiteral("port at: ") + where("port"));
    report(QStringLiteral("battery icon at: ") + where("label_icon_bat"));
    report(QStringLiteral("ready for the shot"));
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
        // A device row needs no flash file: that scenario starts with the window.
        if ((!m_ready && name != "device-row") || !window)
            return;
        killTimer(event->timerId());
        if (name == "device-row") {
            deviceRow(window);
            return;  // the test looks at the screen, then closes the window
        }
        if (name == "groups") {
            flashTab(window);
            deviceViews(window, qEnvironmentVariableIntValue("QLN_DRIVER_DEVICES"), 20000);
            groupsDialog(window);
        } else if (name == "close-while-flashing") {
            flashFirstDevice(window);
        } else if (name == "start-up") {
            report(QStringLiteral("window: %1x%2").arg(window->width()).arg(window->height()));
        }
        else
            report(QStringLiteral("FAIL no scenario ") + QString::fromLocal8Bit(name));
        report(QStringLiteral("done"));
        window->close();
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
    }
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(startScenario)

int main(int argc, char* argv[])
{
    EntryPoint entryPoint;
    return entryPoint.run(argc, argv);
}
