#include "engine/FlashManagerApplication.h"
#include "engine/FlashManagerCoreApplication.h"

#include <QApplication>
#include <QtTest>

#include <memory>
#include <type_traits>

static_assert(std::is_same<FlashManagerApplication::FlashManagerEventListener, FlashManagerEventListener>::value,
              "the application's listener type is the shared one");

class tst_FlashManagerApplication : public QObject
{
    Q_OBJECT

private slots:
    void commandLineApplicationNeedsNoDisplay();
    void desktopApplicationIsAGuiApplication();
    void registeringTwiceKeepsOneEntry();
    void destroyedListenerLeavesEveryRegister();
    void destroyedRegisterLeavesEveryListenerEmpty();
};

void tst_FlashManagerApplication::commandLineApplicationNeedsNoDisplay()
{
    // main() removed every display and platform setting: a GUI application would abort here.
    QVERIFY(qEnvironmentVariableIsEmpty("DISPLAY"));
    QVERIFY(qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"));
    int argc = 2;
    char program[] = "quillonlite";
    char cli[] = "--cli";
    char* argv[] = {program, cli, nullptr};
    FlashManagerEventListener listener;
    {
        std::unique_ptr<QCoreApplication> application(
            FlashManagerApplication::createApplication(argc, argv, false));
        QVERIFY(application);
        QVERIFY(!qobject_cast<QGuiApplication*>(application.get()));
        QCOMPARE(QCoreApplication::arguments(), QStringList({"quillonlite", "--cli"}));
        FlashManagerListenerRegister* listeners = FlashManagerListenerRegister::instance();
        QVERIFY2(listeners, "the command-line application has no listener register");
        QVERIFY(dynamic_cast<FlashManagerCoreApplication*>(listeners));
        listeners->registerEventListener(&listener);
        QCOMPARE(listener.getApplications().size(), size_t(1));
    }
    QVERIFY(listener.getApplications().empty());
}

void tst_FlashManagerApplication::desktopApplicationIsAGuiApplication()
{
    int argc = 3;
    char program[] = "quillonlite";
    char platform[] = "-platform";
    char offscreen[] = "offscreen";
    char* argv[] = {program, platform, offscreen, nullptr};
    FlashManagerEventListener listener;
    {
        std::unique_ptr<QCoreApplication> application(
            FlashManagerApplication::createApplication(argc, argv, true));
        QVERIFY(qobject_cast<QApplication*>(application.get()));
        FlashManagerListenerRegister* listeners = FlashManagerListenerRegister::instance();
        QVERIFY(dynamic_cast<FlashManagerApplication*>(listeners));
        listeners->registerEventListener(&listener);
        QCOMPARE(listener.getApplications().size(), size_t(1));
    }
    QVERIFY(listener.getApplications().empty());
}

void tst_FlashManagerApplication::registeringTwiceKeepsOneEntry()
{
    FlashManagerListenerRegister application;
    FlashManagerEventListener listener;
    application.registerEventListener(&listener);
    application.registerEventListener(&listener);
    QCOMPARE(application.getEventListeners().size(), 1);
    QCOMPARE(listener.getApplications().size(), size_t(1));
    application.unregisterEventListener(&listener);
    application.unregisterEventListener(&listener);
    QVERIFY(application.getEventListeners().isEmpty());
    QVERIFY(listener.getApplications().empty());
}

void tst_FlashManagerApplication::destroyedListenerLeavesEveryRegister()
{
    FlashManagerListenerRegister first;
    FlashManagerListenerRegister second;
    FlashManagerEventListener stays;
    {
        FlashManagerEventListener leaves;
        first.registerEventListener(&leaves);
        first.registerEventListener(&stays);
        second.registerEventListener(&leaves);
    }
    QCOMPARE(first.getEventListeners(), QList<FlashManagerEventListener*>({&stays}));
    QVERIFY(second.getEventListeners().isEmpty());
}

void tst_FlashManagerApplication::destroyedRegisterLeavesEveryListenerEmpty()
{
    FlashManagerEventListener first;
    FlashManagerEventListener second;
    FlashManagerListenerRegister kept;
    kept.registerEventListener(&first);
    {
        FlashManagerListenerRegister application;
        application.registerEventListener(&first);
        application.registerEventListener(&second);
    }
    QCOMPARE(first.getApplications().size(), size_t(1));
    QVERIFY(second.getApplications().empty());
}

// No application object and no display: the test builds its own application like main() does.
int main(int argc, char** argv)
{
    qunsetenv("DISPLAY");
    qunsetenv("WAYLAND_DISPLAY");
    qunsetenv("QT_QPA_PLATFORM");
    tst_FlashManagerApplication test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_FlashManagerApplication.moc"
