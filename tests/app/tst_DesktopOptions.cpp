// The options dialog end to end: run in this test on the station's fresh home folder, it names the
// simulator's adb and fastboot in the tools table and switches the reading of Android properties;
// the program then starts on the desktop station with that home and nothing else configured, finds
// the simulated phone through the tools file alone and shows its battery only while the option is
// on. The window is looked at from outside; the in-process driver (scenario "device-row") tells the
// texts and where the row's parts are.

#include "DesktopStation.h"
#include "engine/FlashManager.h"
#include "loader/ExternalToolManager.h"
#include "loader/ToolConst.h"
#include "core/FMConst.h"
#include "ui/FileBrowserWidget.h"
#include "ui/options/AppOptions.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QtTest>

namespace {

// The window's title as xdotool's pattern (its expressions do not take the "®" as one character).
const QString kWindowTitle = QStringLiteral("Zorvik.+ Quillon Lite 5\\.3\\.2\\.0");
const QColor kGreen(0, 128, 0); // the port line of a connected device

// The rectangle after `prefix` in the driver's lines.
QRect rectangle(const QStringList& lines, const QString& prefix)
{
    for (const QString& line : lines) {
        if (line.startsWith(prefix))
            return DesktopStation::reportedRect(line.mid(prefix.size()));
    }
    return QRect();
}

} // namespace

class tst_DesktopOptions : public QObject
{
    Q_OBJECT

private slots:
    void toolsAndPropertyOptionReachTheProgram();

private:
    // The options dialog on `home`, as its user works it: the adb and fastboot rows name the
    // simulator's programs, the property option is set to `readProperties`, then OK.
    static void configure(const DesktopStation& station, bool readProperties);
    static void setToolPath(QTableView& table, const QString& id, const QString& path);
    // One run of the program: the device row's battery text, the look of its port line and
    // battery icon, and the exit on WM_DELETE_WINDOW.
    static void checkDeviceRow(DesktopStation& station, const QString& battery);
};

void tst_DesktopOptions::setToolPath(QTableView& table, const QString& id, const QString& path)
{
    QAbstractItemModel* model = table.model();
    int row = 0;
    while (row < model->rowCount() && model->index(row, 0).data().toString() != id)
        ++row;
    QVERIFY2(row < model->rowCount(), qPrintable(id));
    const QModelIndex index = model->index(row, 1);
    table.setCurrentIndex(index);
    table.edit(index);
    auto* editor = table.findChild<FileBrowserWidget*>();
    QVERIFY(editor);
    auto* field = editor->findChild<QLineEdit*>();
    QVERIFY(field);
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, path);
    QTest::keyClick(field, Qt::Key_Return);
    QTRY_COMPARE(model->index(row, 1).data().toString(), path);
}

void tst_DesktopOptions::configure(const DesktopStation& station, bool readProperties)
{
    qputenv("HOME", QFile::encodeName(station.home()));
    ExternalToolManager::instance().clear();
    FMConst::resetToDefaults();
    ToolConst::resetToDefaults();
    FlashManager manager;
    AppOptions options(manager);
    options.show();
    auto* table = options.findChild<QTableView*>(QStringLiteral("m_pkExternalToolsTable"));
    options.findChild<QTabWidget*>(QStringLiteral("tabOptions"))->setCurrentIndex(1);
    setToolPath(*table, QStringLiteral("adb"), station.sim.toolPath(QStringLiteral("adb")));
    setToolPath(*table, QStringLiteral("fastboot"), station.sim.toolPath(QStringLiteral("fastboot")));
    options.findChild<QTabWidget*>(QStringLiteral("tabOptions"))->setCurrentIndex(0);
    auto* option = options.findChild<QCheckBox*>(QStringLiteral("checkBox_pollDeviceInfoOnDetection"));
    if (option->isChecked() != readProperties)
        QTest::mouseClick(option, Qt::LeftButton, {}, QPoint(5, option->height() / 2));
    QCOMPARE(option->isChecked(), readProperties);
    QTest::mouseClick(options.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"))->button(QDialogButtonBox::Ok),
                      Qt::LeftButton);
    QVERIFY(!options.isVisible());
}

void tst_DesktopOptions::checkDeviceRow(DesktopStation& station, const QString& battery)
{
    station.start({});
    if (!station.waitForOutput(QStringLiteral("driver: ready for the shot"), 120000))
        QFAIL(station.finish(1000).report());
    const QStringList lines = station.outputSoFar().split(QLatin1Char('\n'));
    QVERIFY2(lines.contains(QStringLiteral("driver: battery: ") + battery), qPrintable(lines.join('\n')));
    QVERIFY2(lines.contains(QStringLiteral("driver: port: <h4><font color=green>Connected on port 1-2</font></h4>")),
             qPrintable(lines.join('\n')));
    const QRect port = rectangle(lines, QStringLiteral("driver: port at: "));
    const QRect icon = rectangle(lines, QStringLiteral("driver: battery icon at: "));
    QVERIFY(port.isValid() && icon.isValid());

    const QString window = station.robot.waitForWindow(kWindowTitle);
    QVERIFY2(!window.isEmpty(), qPrintable(station.robot.lastError()));
    const ScreenShot shot = station.robot.waitForShot(
        [&](const ScreenShot& shot) { return shot.fractionNear(port, kGreen, 48) > 0 && !shot.isUniform(icon); });
    QVERIFY2(shot.fractionNear(port, kGreen, 48) > 0, "no green text in the port line");
    QVERIFY2(!shot.isUniform(icon), "no battery icon");

    QVERIFY2(station.robot.closeWindow(window), qPrintable(station.robot.lastError()));
    const ProgramStation::Run run = station.finish(30000);
    QVERIFY2(run.exitCode == 0 && !run.hung, run.report());
    QCOMPARE(station.sim.runningTools(), QStringList());
}

void tst_DesktopOptions::toolsAndPropertyOptionReachTheProgram()
{
    DesktopStation station(QStringLiteral(QLN_DESKTOP_FACE_DRIVER));
    QVERIFY2(station.display.isValid() && station.isReady(), qPrintable(station.display.error()));
    // Nothing configured: the station's own settings and tools files go.
    QFile::remove(station.home() + QStringLiteral("/.flasher/.quillonlite.opt"));
    QFile::remove(station.home() + QStringLiteral("/.flasher/.externalTools.opt"));
    QVERIFY(station.addDevice({QStringLiteral("S"), QStringLiteral("1-2"), QStringLiteral("mos"),
                               QStringLiteral("--vendor"), QStringLiteral("8087"), QStringLiteral("--battery"),
                               QStringLiteral("64")}));
    station.setEnvironment(QStringLiteral("QLN_DRIVER_SCENARIO"), QStringLiteral("device-row"));

    configure(station, true);
    if (QTest::currentTestFailed())
        return;
    QSettings tools(station.home() + QStringLiteral("/.flasher/.externalTools.opt"), QSettings::IniFormat);
    QCOMPARE(tools.value(QStringLiteral("Tools/adb")).toString(), station.sim.toolPath(QStringLiteral("adb")));
    checkDeviceRow(station, QStringLiteral("64%"));
    if (QTest::currentTestFailed())
        return;

    configure(station, false);
    if (QTest::currentTestFailed())
        return;
    // Without the option the battery never reads: the driver reports once its wait has passed.
    station.setEnvironment(QStringLiteral("QLN_DRIVER_WAIT_MS"), QStringLiteral("10000"));
    checkDeviceRow(station, QStringLiteral("-- %"));
}

QTEST_MAIN(tst_DesktopOptions)
#include "tst_DesktopOptions.moc"
