// A command template end to end: the editor inserts "Flash with DFU Downloader" into a file with
// one DnX firmware configuration and no command, the file writer writes it, and the real window
// flashes it from its main button onto a simulated DFU board (the in-process driver presses the
// button and reads the device row from the screen).

#include "DesktopStation.h"
#include "ModalDialogDriver.h"
#include "loader/FlashFileManager.h"
#include "tools/BuiltInKinds.h"
#include "ui/FileBrowserWidget.h"
#include "ui/UiResources.h"
#include "ui/editor/FlashEditorWidget.h"

#include <QComboBox>
#include <QCryptographicHash>
#include <QPushButton>
#include <QtTest>

namespace {

const QByteArray kFixture = R"({"flash": {"version": "3.0", "platforms": ["generic"],
    "configurations": {"dfu": {"name": "dfu", "startState": "dnx_fw", "default": true}},
    "commands": []}})";

QString sha256(const QByteArray& bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

} // namespace

class tst_DesktopTemplates : public QObject
{
    Q_OBJECT

private slots:
    void insertedDfuTemplateFlashesFromTheMainButton();
};

void tst_DesktopTemplates::insertedDfuTemplateFlashesFromTheMainButton()
{
    DesktopStation station(QStringLiteral(QLN_DESKTOP_FACE_DRIVER));
    QVERIFY2(station.display.isValid() && station.isReady(), qPrintable(station.display.error()));
    const QString original = station.path(QStringLiteral("original.json"));
    const QString edited = station.path(QStringLiteral("edited.json"));
    QMap<QString, QByteArray> images = {{QStringLiteral("u-boot_file"), "u-boot image"},
                                        {QStringLiteral("u-boot-env_file"), "u-boot environment"},
                                        {QStringLiteral("boot_file"), "boot image"},
                                        {QStringLiteral("rootfs_file"), QByteArray(5000, 'r')}};
    for (auto image = images.begin(); image != images.end(); ++image) {
        QFile file(station.path(image.key() + QStringLiteral(".img")));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(image.value()) == image.value().size());
    }
    {
        QFile file(original);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(kFixture) == kFixture.size());
    }

    BuiltInKinds::registerAll();
    UiResources::init();
    qApp->setProperty("FONT_SIZE_GENERAL", 13);  // as the program publishes it
    {
        FlashEditorWidget editor;
        QVERIFY(editor.loadFile(original, false));
        auto* templates = editor.findChild<QComboBox*>(QStringLiteral("comboBoxTemplates"));
        templates->setCurrentIndex(templates->findText(QStringLiteral("Flash with DFU Downloader")));
        QVERIFY(templates->currentIndex() >= 0);
        ModalDialogDriver dialogs;
        dialogs.closeUnexpected();
        dialogs.answer([&station, &images](QWidget* modal) {
            for (const QString& id : images.keys()) {
                auto* chooser = modal->findChild<FileBrowserWidget*>(id);
                if (!chooser)
                    return false;
                chooser->setFile(station.path(id + QStringLiteral(".img")));
            }
            return ModalDialogDriver::pressButton(QDialogButtonBox::Ok)(modal);
        });
        QTest::mouseClick(editor.findChild<QPushButton*>(QStringLiteral("pushButtonAddTemplateCommand")), Qt::LeftButton);
        QVERIFY2(dialogs.allAnswered(), qPrintable(dialogs.failures().join('\n')));
        QVERIFY(editor.getCurrentFlashFile());
        QFile file(edited);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(editor.getCurrentFlashFile()->getFlashFileManager()->toJson(station.work(), file));
    }

    station.keepApplicationLog();
    station.reloadAtStart(edited);
    QVERIFY(station.addDevice({QStringLiteral("BOARD1"), QStringLiteral("1-4"), QStringLiteral("dfu")}));
    station.setEnvironment(QStringLiteral("QLN_DRIVER_SCENARIO"), QStringLiteral("start-main"));
    const ProgramStation::Run run = station.run({}, 300000);
    const auto findings = [&run](const QString& prefix) { return DesktopStation::driverFindings(run, prefix); };
    const QByteArray report = run.report() + station.applicationLog().toLocal8Bit();
    QVERIFY2(run.exitCode == 0 && !run.hung, report);
    QVERIFY2(findings(QStringLiteral("FAIL")).isEmpty(), report);
    QCOMPARE(findings(QStringLiteral("start button: ")), QStringList{QStringLiteral("Start to flash")});
    QCOMPARE(findings(QStringLiteral("outcome: ")), QStringList{QStringLiteral("Flash success")});

    // Five downloads, each to its alternate setting with the template's transfer size.
    QStringList downloads;
    for (const QString& line : station.sim.commandLog()) {
        if (line.startsWith(QLatin1String("dfu-util")) && line.contains(QLatin1String(" -D ")))
            downloads << line;
    }
    QCOMPARE(downloads.size(), 5);
    const QStringList alternates = {QStringLiteral("u-boot0"), QStringLiteral("u-boot-env0"),
                                    QStringLiteral("u-boot-env1"), QStringLiteral("boot"), QStringLiteral("rootfs")};
    for (int n = 0; n < 5; ++n) {
        QVERIFY2(downloads[n].contains(QStringLiteral("--alt %1 -D ").arg(alternates[n])), qPrintable(downloads[n]));
        QVERIFY2(downloads[n].contains(QLatin1String(" -t 4096")), qPrintable(downloads[n]));
        QVERIFY2(downloads[n].split(QLatin1Char(' ')).contains(QStringLiteral("-R")) == (n == 4), qPrintable(downloads[n]));
    }
    const QJsonObject partitions = station.partitions(QStringLiteral("BOARD1"));
    QCOMPARE(partitions.value(QStringLiteral("dfu:u-boot0")).toString(), sha256(images.value(QStringLiteral("u-boot_file"))));
    QCOMPARE(partitions.value(QStringLiteral("dfu:u-boot-env0")).toString(),
             sha256(images.value(QStringLiteral("u-boot-env_file"))));
    QCOMPARE(partitions.value(QStringLiteral("dfu:u-boot-env1")).toString(),
             sha256(images.value(QStringLiteral("u-boot-env_file"))));
    QCOMPARE(partitions.value(QStringLiteral("dfu:boot")).toString(), sha256(images.value(QStringLiteral("boot_file"))));
    QCOMPARE(partitions.value(QStringLiteral("dfu:rootfs")).toString(), sha256(images.value(QStringLiteral("rootfs_file"))));
    QCOMPARE(station.sim.device(QStringLiteral("BOARD1")).value(QStringLiteral("state")).toString(), QStringLiteral("mos"));

    // The device row as the screen shows it: a finished, successful bar and the blank phone's icon.
    const QStringList lime = findings(QStringLiteral("progress lime: "));
    QVERIFY2(lime.size() == 1 && lime.first().toInt() >= 50, report);
    QCOMPARE(findings(QStringLiteral("kind icon: ")), QStringList{QStringLiteral("drawn")});
    QCOMPARE(station.sim.runningTools(), QStringList());
}

QTEST_MAIN(tst_DesktopTemplates)
#include "tst_DesktopTemplates.moc"
