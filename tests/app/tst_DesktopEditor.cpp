// An edited file end to end: the editor loads a "3.0" file whose configuration starts in
// Provisioning OS, flashes `boot` from an image whose name holds a blank, a quote and a backslash,
// and runs a grouped command; every command and parameter dialog is accepted as shown and one
// description changed, and the file writer writes it beside the image. The real window, with that
// file reloaded at start, flashes a simulated phone in Main OS from its main button (the in-process
// driver reads the flash tab and the device row from the screen).

#include "DesktopStation.h"
#include "EditorTestKit.h"
#include "loader/ToolConst.h"
#include "tools/BuiltInKinds.h"
#include "ui/UiResources.h"

#include <QtTest>

using namespace EditorTestKit;

namespace {

// Reaches fastboot only as one whole argument.
const QString kAwkwardName = QStringLiteral("a b\"c\\d.img");

QByteArray fixture()
{
    QByteArray text = R"({"flash": {"version": "3.0",
    "groups": {"extra": {"name": "Extra", "description": "Extra steps"}},
    "parameters": {"mode": {"type": "string", "name": "Mode", "options": {
        "led": {"value": "set-led", "description": "Light"},
        "off": {"value": "clear-led", "description": "Dark"}}}},
    "configurations": {"prov": {"name": "Provisioning", "startState": "pos", "default": true,
                                "groupsState": {"extra": true}, "parameters": {"mode": "led"}}},
    "commands": [
        {"tool": "fastboot", "args": "flash boot @PATH@", "timeout": 60000, "retry": 1, "description": "Boot"},
        {"tool": "fastboot", "args": "oem ${mode}", "group": "extra", "timeout": 30000, "retry": 1,
         "description": "Grouped"}]}})";
    // JSON text of the image's path in quotes, its quote escaped as the argument splitter reads it.
    return text.replace("@PATH@", "\\\"${flashDir}/a b\\\\\\\"c\\\\d.img\\\"");
}

} // namespace

class tst_DesktopEditor : public QObject
{
    Q_OBJECT

private slots:
    void editedFileFlashesFromTheMainButton();
};

void tst_DesktopEditor::editedFileFlashesFromTheMainButton()
{
    DesktopStation station(QStringLiteral(QLN_DESKTOP_FACE_DRIVER));
    QVERIFY2(station.display.isValid() && station.isReady(), qPrintable(station.display.error()));
    const QString original = station.path(QStringLiteral("original.json"));
    const QString edited = station.path(QStringLiteral("edited.json"));
    QVERIFY(write(station.path(kAwkwardName), "boot image of an awkward name") && write(original, fixture()));

    BuiltInKinds::registerAll();
    UiResources::init();
    ToolConst::defaultOptionName = station.path(QStringLiteral("editor.opt"));
    qApp->setProperty("FONT_SIZE_GENERAL", 13);  // as the program publishes it
    {
        FlashEditorWidget tab;
        QVERIFY(tab.loadFile(original, true));
        tab.findChild<QCheckBox*>(QStringLiteral("checkBoxAdvanced"))->click();
        tab.onEnter();
        QStringList problems;
        acceptEveryDialog(tab, problems);
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
        ModalDialogDriver driver;
        driver.closeUnexpected();
        selectRows(tab, QStringLiteral("tableViewCommands"), {1});
        driver.answer(
            ModalDialogDriver::fillField(QStringLiteral("description"), QStringLiteral("Light the LED"), accept()));
        press(tab, QStringLiteral("pushButtonEditCommand"));
        QVERIFY2(driver.allAnswered(), qPrintable(driver.failures().join('\n')));
        const QSharedPointer<FlashFileManager> file = editedFile(tab);
        QVERIFY(file);
        QCOMPARE(commandOrder(*file), (QStringList{QStringLiteral("Boot"), QStringLiteral("Light the LED")}));
        QFile out(edited);
        QVERIFY(out.open(QIODevice::WriteOnly));
        QVERIFY(file->toJson(station.work(), out));
    }

    station.keepApplicationLog();
    station.reloadAtStart(edited);
    // A vendor whose phones the program reboots itself, from Main OS to Provisioning OS.
    QVERIFY(station.addDevice({QStringLiteral("PHONE1"), QStringLiteral("1-2"), QStringLiteral("mos"),
                               QStringLiteral("--vendor"), QStringLiteral("8087")}));
    station.setEnvironment(QStringLiteral("QLN_DRIVER_SCENARIO"), QStringLiteral("flash-tab-start-main"));
    const ProgramStation::Run run = station.run({}, 300000);
    const auto findings = [&run](const QString& prefix) { return DesktopStation::driverFindings(run, prefix); };
    const QByteArray report = run.report() + station.applicationLog().toLocal8Bit();
    QVERIFY2(run.exitCode == 0 && !run.hung, report);
    QVERIFY2(findings(QStringLiteral("FAIL")).isEmpty(), report);

    // The flash tab shows the edited file's configuration, drawn on the screen.
    QCOMPARE(findings(QStringLiteral("path: ")), QStringList{edited});
    QCOMPARE(findings(QStringLiteral("configuration: ")), QStringList{QStringLiteral("Provisioning")});
    QCOMPARE(findings(QStringLiteral("tab area: ")), QStringList{QStringLiteral("drawn")});

    QCOMPARE(findings(QStringLiteral("start button: ")), QStringList{QStringLiteral("Start to flash")});
    QVERIFY2(findings(QStringLiteral("outcome: ")) == QStringList{QStringLiteral("Flash success")}, report);
    // The image's name reached fastboot whole, and the grouped command ran with its parameter.
    QCOMPARE(station.partitions(QStringLiteral("PHONE1")).value(QStringLiteral("boot")).toString(),
             ProgramStation::digestOf(station.path(kAwkwardName)));
    const QStringList grouped = station.sim.commandLog().filter(QStringLiteral(" oem set-led"));
    QVERIFY2(grouped.size() == 1, qPrintable(station.sim.commandLog().join('\n')));

    const QStringList lime = findings(QStringLiteral("progress lime: "));
    QVERIFY2(lime.size() == 1 && lime.first().toInt() >= 50, report);
    QCOMPARE(station.sim.runningTools(), QStringList());
}

QTEST_MAIN(tst_DesktopEditor)
#include "tst_DesktopEditor.moc"
