// The restore dialog on the device simulator: what it offers from the remembered backup, the adb
// commands of both jobs, the status poll and its ends, and the refusals.

#include "ui/options/DialogRestore.h"

#include "ModalDialogDriver.h"
#include "OnePhone.h"
#include "RecordingLogSink.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <memory>

class tst_DialogRestore : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void offersTheRememberedBackup_data();
    void offersTheRememberedBackup();
    void restoreSendsTheArchive_data();
    void restoreSendsTheArchive();
    void statusPollEnds_data();
    void statusPollEnds();
    void factoryRestorePushesWhileWritable();
    void tickedJobWithoutFileRunsNothing();
    void withoutDeviceNothingRuns();
    void cancelClosesTheDialog();
    void restoreProgramThatCannotStartIsNotAwaited();

private:
    void clickRestore();
    QString writeFile(const QString& name);

    std::unique_ptr<OnePhone> m_phone;
    std::unique_ptr<DialogRestore> m_dialog;
    RecordingLogSink m_sink;
    ModalDialogDriver* m_driver = nullptr;
};

namespace {

const char* const kStarted = "Restore initiated,  please press 'restore my data' on device side to start restore "
                             "process and check your device";

} // namespace

void tst_DialogRestore::initTestCase()
{
    QCoreApplication::setApplicationName(QStringLiteral("Quillon Lite"));
}

void tst_DialogRestore::init()
{
    m_phone = std::make_unique<OnePhone>();
    QVERIFY(m_phone->attach());
    m_dialog = std::make_unique<DialogRestore>();
    m_dialog->job().setPollTiming(50, 5000);
    m_dialog->show();
    m_sink.clear();
    m_sink.bind(*m_dialog);
    m_driver = new ModalDialogDriver(30000);
    m_driver->setParent(m_dialog.get());
}

void tst_DialogRestore::cleanup()
{
    const QStringList left = m_phone ? m_phone->leftTools() : QStringList();
    m_dialog.reset();
    m_phone.reset();
    QVERIFY2(left.isEmpty(), qPrintable(left.join('\n')));
}

void tst_DialogRestore::clickRestore()
{
    QTest::mouseClick(child<QPushButton>(*m_dialog, "pushButton_restore"), Qt::LeftButton);
}

QString tst_DialogRestore::writeFile(const QString& name)
{
    const QString path = m_phone->home.documents(name);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write("data\n") != 5)
        return QString();
    return path;
}

void tst_DialogRestore::offersTheRememberedBackup_data()
{
    QTest::addColumn<QString>("file"); // remembered: "" none, "gone" a missing one, else written
    QTest::addColumn<QString>("folder");
    QTest::addColumn<bool>("dataTicked");
    QTest::addColumn<bool>("fileShown");
    QTest::addColumn<bool>("factoryTicked");
    QTest::addColumn<bool>("folderShown");
    QTest::newRow("nothing remembered") << ""
                                        << "" << false << false << false << false;
    QTest::newRow("both exist") << "a.ab"
                                << "factory/x" << true << true << true << true;
    QTest::newRow("both gone") << "gone"
                               << "gone" << false << false << true << false;
}

void tst_DialogRestore::offersTheRememberedBackup()
{
    QFETCH(QString, file);
    QFETCH(QString, folder);
    QFETCH(bool, dataTicked);
    QFETCH(bool, fileShown);
    QFETCH(bool, factoryTicked);
    QFETCH(bool, folderShown);
    auto remembered = [this](const QString& name) {
        if (name.isEmpty())
            return QString();
        return name == "gone" ? m_phone->home.documents("gone") : writeFile(name);
    };
    ToolConst::latestBackupFile = remembered(file);
    ToolConst::latestFactoryBackupDir
        = folder.isEmpty() || folder == "gone" ? remembered(folder) : QFileInfo(remembered(folder)).absolutePath();
    child<QCheckBox>(*m_dialog, "checkBox_factory")->setChecked(true);
    child<QLineEdit>(*m_dialog, "lineEdit_filename")->setText("typed");
    m_dialog->setDevice(m_phone->device);
    QCOMPARE(child<QCheckBox>(*m_dialog, "checkBox_androiddata")->isChecked(), dataTicked);
    QCOMPARE(child<QCheckBox>(*m_dialog, "checkBox_factory")->isChecked(), factoryTicked);
    const QString fileField = child<QLineEdit>(*m_dialog, "lineEdit_filename")->text();
    QCOMPARE(fileField, fileShown ? ToolConst::latestBackupFile : file.isEmpty() ? QString("typed") : QString());
    QCOMPARE(child<QLineEdit>(*m_dialog, "lineEdit_factory")->text().isEmpty(), !folderShown);
}

void tst_DialogRestore::restoreSendsTheArchive_data()
{
    QTest::addColumn<QString>("knob"); // device knob=value, "" for none
    QTest::addColumn<bool>("box");
    QTest::newRow("no status property") << "no_backup_status=1" << true;
    QTest::newRow("status done") << "backup_status=running,done" << true;
    QTest::newRow("status completed") << "backup_status=running,completed" << false;
}

void tst_DialogRestore::restoreSendsTheArchive()
{
    QFETCH(QString, knob);
    QFETCH(bool, box);
    const QStringList pair = knob.split('=');
    QVERIFY(m_phone->fixture.sim.setFault("S", pair.value(0), pair.value(1)));
    ToolConst::latestBackupFile = writeFile("my \"old\" back\\up.ab");
    m_dialog->setDevice(m_phone->device);
    if (box)
        m_driver->answer(m_driver->readBoxText(ModalDialogDriver::pressButton(QDialogButtonBox::Ok)));
    m_driver->closeUnexpected();
    m_dialog->show();
    clickRestore();
    QVERIFY2(m_driver->allAnswered(), qPrintable(m_driver->failures().join('\n')));
    QCOMPARE(m_driver->texts(), box ? QStringList{kStarted} : QStringList());
    QVERIFY(
        m_phone->fixture.sim.commandLog().contains(QStringLiteral("adb -s S restore ") + ToolConst::latestBackupFile));
    QVERIFY(!m_phone->fixture.sim.device("S").value("restored").toString().isEmpty());
    QVERIFY(m_sink.texts(Logger::Debug)
                .contains(
                    QStringLiteral("\"%1\" -s S restore \"%2\"").arg(FMConst::AdbCmd(), ToolConst::latestBackupFile)));
    QVERIFY(!m_dialog->isVisible());
}

void tst_DialogRestore::statusPollEnds_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("running for ever: the bound") << "bound";
    QTest::newRow("device unplugged") << "unplug";
    QTest::newRow("cancel") << "cancel";
}

void tst_DialogRestore::statusPollEnds()
{
    QFETCH(QString, how);
    QVERIFY(m_phone->fixture.sim.setFault("S", "backup_status", "running"));
    ToolConst::latestBackupFile = writeFile("a.ab");
    m_dialog->setDevice(m_phone->device);
    m_dialog->job().setPollTiming(50, how == "bound" ? 1500 : 60000);
    QElapsedTimer elapsed;
    elapsed.start();
    if (how == "unplug")
        QTimer::singleShot(500, m_dialog.get(), [this] { m_phone->fixture.sim.unplug("S"); });
    if (how == "cancel")
        QTimer::singleShot(500, m_dialog.get(), [this] {
            QTest::mouseClick(child<QPushButton>(*m_dialog, "pushButton_Cancel"), Qt::LeftButton);
        });
    if (how != "cancel")
        m_driver->answer(m_driver->readBoxText(ModalDialogDriver::pressButton(QDialogButtonBox::Ok)));
    m_driver->closeUnexpected();
    m_dialog->retoreAndroidData();
    QVERIFY2(m_driver->allAnswered(), qPrintable(m_driver->failures().join('\n')));
    QVERIFY2(elapsed.elapsed() < 50000, "the poll ran to the long bound");
    if (how == "cancel")
        QVERIFY(m_sink.texts(Logger::Info).contains("Restore cancelled by user"));
    else
        QCOMPARE(m_driver->texts(), QStringList{kStarted});
}

void tst_DialogRestore::factoryRestorePushesWhileWritable()
{
    const QString folder = QFileInfo(writeFile("factory/calibration.bin")).absolutePath();
    ToolConst::latestFactoryBackupDir = folder;
    m_dialog->setDevice(m_phone->device);
    child<QCheckBox>(*m_dialog, "checkBox_factory")->setChecked(true);
    m_driver->closeUnexpected();
    m_dialog->show();
    clickRestore();
    QVERIFY2(m_driver->allAnswered(), qPrintable(m_driver->failures().join('\n')));
    const QStringList log = m_phone->fixture.sim.commandLog();
    const int root = log.indexOf("adb -s S root");
    QVERIFY(root >= 0);
    QCOMPARE(log.mid(root, 5),
             QStringList({"adb -s S root", "adb -s S wait-for-device", "adb -s S shell mount -o remount,rw /factory",
                          QStringLiteral("adb -s S push %1 /factory").arg(folder),
                          "adb -s S shell mount -o remount,ro /factory"}));
    const QJsonObject device = m_phone->fixture.sim.device("S");
    QCOMPARE(device.value("factory").toObject().value("calibration.bin").toString(), QString("data\n"));
    QCOMPARE(device.value("factory_mount").toString(), QString("ro"));
    QVERIFY(!m_dialog->isVisible());
}

void tst_DialogRestore::tickedJobWithoutFileRunsNothing()
{
    m_dialog->setDevice(m_phone->device);
    child<QCheckBox>(*m_dialog, "checkBox_androiddata")->setChecked(true);
    child<QLineEdit>(*m_dialog, "lineEdit_filename")->clear();
    child<QCheckBox>(*m_dialog, "checkBox_factory")->setChecked(true);
    child<QLineEdit>(*m_dialog, "lineEdit_factory")->setText(m_phone->home.documents("nothing"));
    const int before = m_phone->fixture.sim.commandLog().size();
    m_driver->closeUnexpected();
    m_dialog->show();
    clickRestore();
    QVERIFY2(m_driver->allAnswered(), qPrintable(m_driver->failures().join('\n')));
    QCOMPARE(m_sink.texts(Logger::Error),
             QStringList({"Restore error, ab file not found", "Restore error, factory directory not found"}));
    QCOMPARE(m_phone->fixture.sim.commandLog().size(), before);
    QVERIFY(!m_dialog->isVisible());
}

void tst_DialogRestore::withoutDeviceNothingRuns()
{
    ToolConst::latestBackupFile = writeFile("a.ab");
    ToolConst::latestFactoryBackupDir = QFileInfo(writeFile("factory/calibration.bin")).absolutePath();
    m_dialog->setDevice(FlashDevice2Ptr());
    child<QCheckBox>(*m_dialog, "checkBox_factory")->setChecked(true);
    const int before = m_phone->fixture.sim.commandLog().size();
    m_driver->closeUnexpected();
    clickRestore();
    QVERIFY2(m_driver->allAnswered(), qPrintable(m_driver->failures().join('\n')));
    QCOMPARE(m_sink.texts(Logger::Warning), QStringList({"Invalid device", "Invalid device"}));
    QCOMPARE(m_phone->fixture.sim.commandLog().size(), before);
}

void tst_DialogRestore::cancelClosesTheDialog()
{
    m_dialog->setDevice(m_phone->device);
    m_dialog->show();
    QTest::mouseClick(child<QPushButton>(*m_dialog, "pushButton_Cancel"), Qt::LeftButton);
    QCOMPARE(m_sink.texts(Logger::Info), QStringList{"Restore cancelled by user"});
    QVERIFY(!m_dialog->isVisible());
}

void tst_DialogRestore::restoreProgramThatCannotStartIsNotAwaited()
{
    ToolConst::latestBackupFile = writeFile("a.ab");
    m_dialog->setDevice(m_phone->device);
    QVERIFY(m_phone->breakAdb());
    const QString broken = FMConst::AdbCmd();
    m_driver->closeUnexpected();
    m_dialog->retoreAndroidData();
    QVERIFY2(m_driver->allAnswered(), qPrintable(m_driver->failures().join('\n')));
    QCOMPARE(
        m_sink.texts(Logger::Error),
        QStringList{
            QStringLiteral("Failed to execute \"%1\" -s S restore \"%2\"").arg(broken, ToolConst::latestBackupFile)});
}

QTEST_MAIN(tst_DialogRestore)
#include "tst_DialogRestore.moc"
