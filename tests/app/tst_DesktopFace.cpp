// The desktop face end to end on the desktop station: the built program opens its window on a
// private X display against the simulator, loads the flash archive named in its settings, and is
// looked at, worked and closed from outside as a person would; the in-process driver (the program's
// own start-up with a scenario, DesktopFaceDriver.cpp) reads what the screen cannot show.

#include "DesktopStation.h"
#include "ModalDialogDriver.h"
#include "loader/FlashFileManager.h"
#include "tools/BuiltInKinds.h"
#include "ui/editor/FlashEditorWidget.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QtTest>

namespace {

// The window's title, "Zorvik® Quillon Lite 5.3.2.0", as xdotool's pattern: its regular
// expressions do not take the "®" as one character.
// The window's title, "Zorvik® Quillon Lite 5.3.2.0", and a dialog's, "Zorvik® Quillon Lite", as
// xdotool's patterns: its regular expressions do not take the "®" as one character.
const QString kWindowTitle = QStringLiteral("Zorvik.+ Quillon Lite 5\\.3\\.2\\.0");
const QString kDialogTitle = QStringLiteral("Zorvik.+ Quillon Lite");

const QColor kWhite(255, 255, 255);
const QColor kFlashButtonChecked(0, 174, 239);
const QColor kBlue(0, 113, 197);           // the start button; the left bar's upper part
const QColor kDarkBlue(0, 70, 134);        // the left bar near its bottom
const QColor kSplitterHandle(128, 128, 128);

// The window's layout at 1024 x 768 with the station's fonts: the menu bar takes the first 19
// rows; the form fixes the left bar's width (85), the Flash button's size (85 x 70) and the log
// pane's height (145); the rest follows from them.
const QRect kFlashButton(0, 19, 85, 70);
const QRect kLeftBarUpper(0, 100, 85, 150);
const QRect kLeftBarLower(0, 540, 80, 40);
const QRect kRightOfLeftBar(85, 100, 5, 150);
const QRect kTabArea(85, 19, 939, 88);
const QRect kDeviceArea(90, 110, 915, 470);
const QRect kStartButton(91, 590, 100, 26);
const QRect kLogPane(85, 625, 920, 140);
const QRect kCentre(412, 334, 200, 100);
const QPoint kGroupsButton(559, 81);

// Height of the log pane: the rows under the splitter's grey handle, the lowest grey row across
// the window's right part.
int logPaneHeight(const ScreenShot& shot)
{
    for (int y = shot.image().height() - 1; y > 0; --y) {
        if (shot.fractionNear(QRect(90, y, 900, 1), kSplitterHandle, 8) > 0.95)
            return shot.image().height() - 1 - y;
    }
    return -1;
}

// samples/update with its two fastboot flash commands in the group "images", packed as a .zip.
bool writeGroupedUpdateArchive(const ProgramStation& station, const QString& archive)
{
    QFile sample(station.path(QStringLiteral("flash.json")));
    if (!sample.open(QIODevice::ReadOnly))
        return false;
    QJsonObject root = QJsonDocument::fromJson(sample.readAll()).object();
    sample.close();
    QJsonObject flash = root.value(QStringLiteral("flash")).toObject();
    flash.insert(QStringLiteral("groups"),
                 QJsonObject{{QStringLiteral("images"), QJsonObject{{QStringLiteral("name"), QStringLiteral("images")},
                                                                    {QStringLiteral("description"), QStringLiteral("The images")}}}});
    QJsonArray commands = flash.value(QStringLiteral("commands")).toArray();
    for (int index = 0; index < commands.size(); ++index) {
        QJsonObject command = commands.at(index).toObject();
        if (command.value(QStringLiteral("args")).toString().startsWith(QLatin1String("flash "))) {
            command.insert(QStringLiteral("group"), QStringLiteral("images"));
            commands.replace(index, command);
        }
    }
    flash.insert(QStringLiteral("commands"), commands);
    QJsonObject configurations = flash.value(QStringLiteral("configurations")).toObject();
    QJsonObject update = configurations.value(QStringLiteral("update")).toObject();
    update.insert(QStringLiteral("groupsState"), QJsonObject{{QStringLiteral("images"), true}});
    configurations.insert(QStringLiteral("update"), update);
    flash.insert(QStringLiteral("configurations"), configurations);
    root.insert(QStringLiteral("flash"), flash);
    if (!sample.open(QIODevice::WriteOnly | QIODevice::Truncate) || sample.write(QJsonDocument(root).toJson()) < 0)
        return false;
    sample.close();
    return station.tool(QStringLiteral("7z"), {QStringLiteral("a"), QStringLiteral("-tzip"), archive,
                                               QStringLiteral("flash.json"), QStringLiteral("boot.img"),
                                               QStringLiteral("system.img")});
}

// A "3.0" file: "pos" starts in Provisioning OS with one fastboot command in group "extra" and one
// outside it; "other", the default, starts in Main OS.
const QByteArray kEditorFixture = R"({"flash": {"version": "3.0",
    "groups": {"extra": {"name": "extra", "description": "Extra images"}},
    "configurations": {
        "pos": {"name": "pos", "startState": "pos", "groupsState": {"extra": true}},
        "other": {"name": "other", "startState": "mos", "default": true}},
    "commands": [{"tool": "fastboot", "args": "flash boot boot.img", "timeout": 60000, "retry": 1,
                  "description": "Boot", "group": "extra"},
                 {"tool": "fastboot", "args": "reboot", "timeout": 30000, "retry": 1, "description": "Reboot"}]}})";

ModalDialogDriver::Step fillAndAccept(const QMap<QString, QString>& texts)
{
    return ModalDialogDriver::fillFields(texts, ModalDialogDriver::pressButton(QDialogButtonBox::Ok));
}

ModalDialogDriver::Step uncheckAndAccept(const QString& group)
{
    return [group](QWidget* modal) {
        auto* box = modal->findChild<QCheckBox*>(group);
        if (!box)
            return false;
        box->setChecked(false);
        return ModalDialogDriver::pressButton(QDialogButtonBox::Ok)(modal);
    };
}

} // namespace

class tst_DesktopFace : public QObject
{
    Q_OBJECT

private slots:
    void opensLoadsAndClosesFromOutside();
    void groupsDialogInProcess();
    void startUpInProcess();
    void interruptClosesTheWindow();
    void editedFileInTheFlashTab();
    void closingStopsARunningFlash();

private:
    // A station whose settings reload `archive` at start and keep the application log.
    static bool prepare(DesktopStation& station, const QString& archive);
};

bool tst_DesktopFace::prepare(DesktopStation& station, const QString& archive)
{
    if (!station.display.isValid() || !station.isReady() || !writeGroupedUpdateArchive(station, archive))
        return false;
    station.keepApplicationLog();
    station.reloadAtStart(archive);
    return true;
}

void tst_DesktopFace::opensLoadsAndClosesFromOutside()
{
    DesktopStation station(QStringLiteral(QUILLONLITE_PROGRAM));
    const QString archive = station.path(QStringLiteral("update.zip"));
    QVERIFY2(prepare(station, archive), qPrintable(station.display.error()));
    station.start({});
    // (QVERIFY2 computes its message whatever the outcome: ending the run goes in a branch.)
    if (!station.waitForApplicationLog({QStringLiteral("Quillon Lite initialized successfully"),
                                        QStringLiteral("Ready to flash!")}))
        QFAIL(station.finish(1000).report() + station.applicationLog().toLocal8Bit());
    const QString window = station.robot.waitForWindow(kWindowTitle);
    QVERIFY2(!window.isEmpty(), qPrintable(station.robot.lastError()));

    const ScreenShot shot = station.robot.waitForShot(
        [](const ScreenShot& shot) { return shot.fractionNear(kStartButton, kBlue) > 0.6; });
    QVERIFY2(!shot.isNull(), qPrintable(station.robot.lastError()));
    QCOMPARE(shot.image().size(), QSize(1024, 768));
    QVERIFY2(shot.fractionNear(kFlashButton, kFlashButtonChecked) > 0.6, qPrintable(shot.colourAt(kFlashButton.center()).name()));
    QVERIFY(shot.fractionNear(kLeftBarUpper, kBlue) > 0.95);
    QVERIFY(shot.fractionNear(kLeftBarLower, kDarkBlue) > 0.95);
    QCOMPARE(shot.fractionNear(kRightOfLeftBar, kBlue), 0.0);
    QVERIFY(!shot.isUniform(kTabArea));
    QVERIFY2(shot.fractionNear(kDeviceArea, kWhite, 8) > 0.95, "the device area is not empty and white");
    QVERIFY2(shot.fractionNear(kStartButton, kBlue) > 0.6, "no blue start button");
    const int logPane = logPaneHeight(shot);
    QVERIFY2(qAbs(logPane - 145) <= 2, qPrintable(QString::number(logPane)));
    QVERIFY2(!shot.isUniform(kLogPane), "the log pane shows no text");

    // The groups button opens the form engine's dialog over the window's centre.
    QVERIFY2(station.robot.click(kGroupsButton), qPrintable(station.robot.lastError()));
    const QString dialog = station.robot.waitForWindow(kDialogTitle);
    QVERIFY2(!dialog.isEmpty(), qPrintable(station.robot.lastError()));
    const ScreenShot withDialog = station.robot.waitForShot(
        [&](const ScreenShot& later) { return later.differsFrom(shot, kCentre); });
    QVERIFY2(withDialog.differsFrom(shot, kCentre), "no dialog over the window's centre");
    QVERIFY2(station.robot.closeWindow(dialog), qPrintable(station.robot.lastError()));
    const ScreenShot closed = station.robot.waitForShot(
        [&](const ScreenShot& later) { return !later.differsFrom(shot, kCentre); });
    QVERIFY2(!closed.differsFrom(shot, kCentre), "the dialog stayed");

    QVERIFY2(station.robot.closeWindow(window), qPrintable(station.robot.lastError()));
    const ProgramStation::Run run = station.finish(20000);
    QVERIFY2(run.exitCode == 0 && !run.hung, run.report());
    QCOMPARE(run.texts().last(), QStringLiteral("Quillon Lite exited with code 0"));
    QCOMPARE(station.sim.runningTools(), QStringList());
}

void tst_DesktopFace::groupsDialogInProcess()
{
    DesktopStation station(QStringLiteral(QLN_DESKTOP_FACE_DRIVER));
    const QString archive = station.path(QStringLiteral("update.zip"));
    QVERIFY2(prepare(station, archive), qPrintable(station.display.error()));
    station.setEnvironment(QStringLiteral("QLN_DRIVER_SCENARIO"), QStringLiteral("groups"));
    const ProgramStation::Run run = station.run({}, 60000);
    QVERIFY2(run.exitCode == 0 && !run.hung, run.report());
    const QStringList findings = run.lines().filter(QRegularExpression(QStringLiteral("^driver: ")));
    QVERIFY2(findings.filter(QStringLiteral("FAIL")).isEmpty(), run.report());
    QVERIFY2(findings.contains(QStringLiteral("driver: path: ") + archive), run.report());
    QVERIFY2(findings.contains(QStringLiteral("driver: configuration: Update")), run.report());
    QVERIFY2(findings.contains(QStringLiteral("driver: editor: hidden")), run.report());
    QVERIFY2(findings.contains(QStringLiteral("driver: dialog check box: images: on")), run.report());
    QVERIFY2(findings.contains(QStringLiteral("driver: groups before: images=on")), run.report());
    QVERIFY2(findings.contains(QStringLiteral("driver: groups after: images=on")), run.report());
    QVERIFY2(findings.contains(QStringLiteral("driver: done")), run.report());
}

void tst_DesktopFace::startUpInProcess()
{
    DesktopStation station(QStringLiteral(QLN_DESKTOP_FACE_DRIVER));
    QVERIFY2(prepare(station, station.path(QStringLiteral("update.zip"))), qPrintable(station.display.error()));
    station.setEnvironment(QStringLiteral("QLN_DRIVER_SCENARIO"), QStringLiteral("start-up"));
    const ProgramStation::Run run = station.run({QStringLiteral("-l"), QStringLiteral("5")}, 60000);
    QVERIFY2(run.exitCode == 0 && !run.hung, run.report());
    const QStringList findings = run.lines().filter(QRegularExpression(QStringLiteral("^driver: ")));
    QVERIFY2(findings.filter(QStringLiteral("FAIL")).isEmpty(), run.report());
    QCOMPARE(findings.filter(QStringLiteral("splash: ")),
             QStringList({QStringLiteral("driver: splash: Starting Zorvik\u00ae Quillon Lite 5.3.2.0 x64 ..."),
                          QStringLiteral("driver: splash: Starting logger..."),
                          QStringLiteral("driver: splash: Starting user interface..."),
                          QStringLiteral("driver: splash: Initializing flash manager ..."),
                          QStringLiteral("driver: splash: Initializing device manager ..."),
                          QStringLiteral("driver: splash: Starting user interface...")}));
    QVERIFY2(findings.contains(QStringLiteral("driver: window: 1024x768")), run.report());

    const QString log = station.applicationLog();
    const QString temp = QFileInfo(QDir::tempPath()).canonicalFilePath();
    QVERIFY2(log.contains(QStringLiteral("  TRACE  : TEMP folder location: '%1'\n").arg(temp)), qPrintable(log));
    QVERIFY2(log.contains(QStringLiteral("  INFO   : Disk space available on %1 : ").arg(QDir::tempPath()))
                 || log.contains(QStringLiteral("  WARNING: You only have ")),
             qPrintable(log));
    QVERIFY2(log.contains(QStringLiteral("Quillon Lite initialized successfully")), qPrintable(log));
}

void tst_DesktopFace::interruptClosesTheWindow()
{
    DesktopStation station(QStringLiteral(QUILLONLITE_PROGRAM));
    QVERIFY2(prepare(station, station.path(QStringLiteral("update.zip"))), qPrintable(station.display.error()));
    station.start({});
    if (!station.waitForApplicationLog({QStringLiteral("Quillon Lite initialized successfully")}))
        QFAIL(station.finish(1000).report());
    QVERIFY(station.signal(SIGTERM));
    const ProgramStation::Run run = station.finish(20000);
    QVERIFY2(run.exitCode == 0 && !run.hung, run.report());
    QCOMPARE(run.texts().last(), QStringLiteral("Quillon Lite exited with code 0"));
}

// The editor's work, written with the file writer, is what the flash tab of the next run shows.
void tst_DesktopFace::editedFileInTheFlashTab()
{
    DesktopStation station(QStringLiteral(QLN_DESKTOP_FACE_DRIVER));
    QVERIFY2(station.display.isValid() && station.isReady(), qPrintable(station.display.error()));
    const QString original = station.path(QStringLiteral("original.json"));
    const QString edited = station.path(QStringLiteral("edited.json"));
    {
        QFile file(original);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(kEditorFixture) == kEditorFixture.size());
    }
    BuiltInKinds::registerAll();
    {
        FlashEditorWidget editor;
        QVERIFY(editor.loadFile(original, false));
        auto* configurations = editor.findChild<QComboBox*>(QStringLiteral("comboBoxConfiguration"));
        QCOMPARE(configurations->currentText(), QStringLiteral("other [2 commands] [Default]"));
        // "pos" is listed after the default: the next entry.
        QTest::keyClick(configurations, Qt::Key_Down);
        QVERIFY2(configurations->currentText().startsWith(QLatin1String("pos")), qPrintable(configurations->currentText()));
        QTest::mouseClick(editor.findChild<QPushButton*>(QStringLiteral("pushButtonDefaultConfiguration")), Qt::LeftButton);

        ModalDialogDriver dialogs;
        dialogs.closeUnexpected();
        dialogs.answer(uncheckAndAccept(QStringLiteral("extra")));
        QTest::mouseClick(editor.findChild<QPushButton*>(QStringLiteral("pushButtonFlashGroups")), Qt::LeftButton);
        QVERIFY(!editor.getCurrentFlashFile()->isGroupEnabled(QStringLiteral("extra")));
        dialogs.answer(fillAndAccept({{QStringLiteral("id"), QStringLiteral("empty")}, {QStringLiteral("name"), QStringLiteral("empty")}}));
        QTest::mouseClick(editor.findChild<QPushButton*>(QStringLiteral("pushButtonAddConfiguration")), Qt::LeftButton);
        QVERIFY2(dialogs.allAnswered(), qPrintable(dialogs.failures().join('\n')));
        QVERIFY(!editor.getCurrentFlashFile()->isGroupEnabled(QStringLiteral("extra")));

        QFile file(edited);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(editor.getCurrentFlashFile()->getFlashFileManager()->toJson(station.work(), file));
    }
    station.keepApplicationLog();
    station.reloadAtStart(edited);
    QVERIFY(station.addDevice({QStringLiteral("A"), QStringLiteral("1-1"), QStringLiteral("mos")}));

    station.setEnvironment(QStringLiteral("QLN_DRIVER_SCENARIO"), QStringLiteral("groups"));
    station.setEnvironment(QStringLiteral("QLN_DRIVER_DEVICES"), QStringLiteral("1"));
    const ProgramStation::Run run = station.run({}, 60000);
    QVERIFY2(run.exitCode == 0 && !run.hung, run.report());
    const QStringList findings = run.lines().filter(QRegularExpression(QStringLiteral("^driver: ")));
    QVERIFY2(findings.filter(QStringLiteral("FAIL")).isEmpty(), run.report());
    QVERIFY2(findings.contains(QStringLiteral("driver: path: ") + edited), run.report());
    QVERIFY2(findings.contains(QStringLiteral("driver: configuration: pos")), run.report());
    QVERIFY2(findings.filter(QRegularExpression(QStringLiteral("^driver: configurations: .*empty"))).size() == 1, run.report());
    QVERIFY2(findings.contains(QStringLiteral("driver: editor: hidden")), run.report());
    QVERIFY2(findings.contains(QStringLiteral("driver: tab area: drawn")), run.report());
    QVERIFY2(findings.contains(QStringLiteral("driver: device views shown: 1")), run.report());
    // A file keeps each group's default state: switching "extra" off in the editor changed what the
    // editor would flash, not the file.
    QVERIFY2(findings.contains(QStringLiteral("driver: dialog check box: extra: on")), run.report());
    QCOMPARE(station.sim.runningTools(), QStringList());
}

// Closing the window while a device flashes: the flash is stopped and recorded as interrupted, the
// program ends with 0 and leaves no tool running.
void tst_DesktopFace::closingStopsARunningFlash()
{
    DesktopStation station(QStringLiteral(QLN_DESKTOP_FACE_DRIVER));
    QVERIFY2(prepare(station, station.path(QStringLiteral("update.zip"))), qPrintable(station.display.error()));
    QVERIFY(station.addDevice({QStringLiteral("PHONE1"), QStringLiteral("1-2"), QStringLiteral("mos")},
                              {QStringLiteral("hang_match"), QStringLiteral("flash boot")}));
    station.setEnvironment(QStringLiteral("QLN_DRIVER_SCENARIO"), QStringLiteral("close-while-flashing"));
    const ProgramStation::Run run = station.run({}, 90000);
    QVERIFY2(run.exitCode == 0 && !run.hung, run.report());
    QVERIFY2(run.lines().contains(QStringLiteral("driver: flashing: yes")), run.report() + station.applicationLog().toLocal8Bit());
    QVERIFY2(run.lines().contains(QStringLiteral("driver: done")), run.report());
    QFile result(station.resultFolder() + QStringLiteral("/PHONE1.xml"));
    QVERIFY2(result.open(QIODevice::ReadOnly), "no result file");
    const QByteArray content = result.readAll();
    QVERIFY2(content.contains("<REASON>INTERRUPTED</REASON>"), content.constData());
    QCOMPARE(station.sim.runningTools(), QStringList());
}

QTEST_MAIN(tst_DesktopFace)
#include "tst_DesktopFace.moc"
