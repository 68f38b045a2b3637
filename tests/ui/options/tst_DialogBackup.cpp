// The backup dialog on the device simulator: the archive and the factory folder written by the fake
// adb, the verdict, what the settings remember, and the jobs that must not run or must end.

#include "ui/options/DialogBackup.h"

#include "ModalDialogDriver.h"
#include "OnePhone.h"
#include "RecordingLogSink.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QJsonArray>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <memory>

class tst_DialogBackup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void backupWritesTheArchive_data();
    void backupWritesTheArchive();
    void emptyFieldMeansBackupAbInDocuments();
    void emptyArchiveFailsAndKeepsTheRememberedFile();
    void overwriteKeepsTheOldArchiveUntilTheNewOneIsGood();
    void cancelledOverwriteSkipsOnlyTheDataJob();
    void factoryBackupPullsIntoTheFolder_data();
    void factoryBackupPullsIntoTheFolder();
    void withoutDeviceNothingRuns();
    void adbThatCannotStartIsReported();
    void cancelEndsAHangingBackup();

private:
    void clickBackup();
    // "data.ab" in the documents folder, holding "old archive", named in the file field.
    QString useOldArchive();

    std::unique_ptr<OnePhone> m_phone;
    std::unique_ptr<DialogBackup> m_dialog;
    RecordingLogSink m_sink;
    ModalDialogDriver* m_driver = nullptr;
};

void tst_DialogBackup::initTestCase()
{
    QCoreApplication::setApplicationName(QStringLiteral("Quillon Lite"));
}

void tst_DialogBackup::init()
{
    m_phone = std::make_unique<OnePhone>();
    QVERIFY(m_phone->attach());
    m_dialog = std::make_unique<DialogBackup>();
    m_sink.clear();
    m_sink.bind(*m_dialog);
    m_dialog->setDevice(m_phone->device);
    m_dialog->show();
    m_driver = new ModalDialogDriver(30000);
    m_driver->setParent(m_dialog.get());
}

void tst_DialogBackup::cleanup()
{
    const QStringList left = m_phone ? m_phone->leftTools() : QStringList();
    m_dialog.reset();
    m_phone.reset();
    QVERIFY2(left.isEmpty(), qPrintable(left.join('\n')));
}

void tst_DialogBackup::clickBackup()
{
    QTest::mouseClick(child<QPushButton>(*m_dialog, "pushButton_Backup"), Qt::LeftButton);
}

QString tst_DialogBackup::useOldArchive()
{
    const QString file = m_phone->home.documents("data.ab");
    QFile old(file);
    if (!old.open(QIODevice::WriteOnly) || old.write("old archive") != 11)
        return QString();
    child<QLineEdit>(*m_dialog, "lineEdit_filename")->setText(file);
    return file;
}

void tst_DialogBackup::backupWritesTheArchive_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("apk");
    QTest::addColumn<bool>("shared");
    QTest::addColumn<QString>("options");
    QTest::newRow("both ticked") << "data.ab" << true << true << "-all -apk -shared";
    QTest::newRow("both unticked") << "data.ab" << false << false << "-all -noapk -noshared";
    // One argument for adb however the name is written: no shell, no quoting.
    QTest::newRow("blank, quote and backslash") << "my \"old\" back\\up.ab" << true << false << "-all -apk -noshared";
}

void tst_DialogBackup::backupWritesTheArchive()
{
    QFETCH(QString, name);
    QFETCH(bool, apk);
    QFETCH(bool, shared);
    QFETCH(QString, options);
    const QString file = m_phone->home.documents(name);
    child<QLineEdit>(*m_dialog, "lineEdit_filename")->setText(file);
    child<QCheckBox>(*m_dialog, "checkBox_apk")->setChecked(apk);
    child<QCheckBox>(*m_dialog, "checkBox_shared")->setChecked(shared);
    m_driver->answer(m_driver->readBoxText(ModalDialogDriver::pressButton(QDialogButtonBox::Ok)));
    clickBackup();
    QVERIFY2(m_driver->allAnswered(), qPrintable(m_driver->failures().join('\n')));

    QCOMPARE(m_driver->texts(), QStringList{"Backup completed Successfully"});
    QCOMPARE(QFileInfo(file).size(), qint64(1024));
    const QJsonObject backup = m_phone->fixture.sim.device("S").value("backup").toObject();
    QCOMPARE(backup.value("file").toString(), file);
    QCOMPARE(backup.value("options").toVariant().toStringList().join(' '), options);
    const QStringList log = m_phone->fixture.sim.commandLog();
    QVERIFY(log.contains("adb -s S shell setprop sys.backup_status done"));
    QVERIFY(log.contains("adb -s S shell getprop sys.backup_status"));
    QCOMPARE(OptionsHome::stored("LatestBackupFile").toString(), file);
    QVERIFY(m_sink.texts(Logger::Debug)
                .contains(QStringLiteral("\"%1\" -s S backup -f \"%2\" %3").arg(FMConst::AdbCmd(), file, options)));
    QVERIFY(m_sink.texts(Logger::Info).contains(QStringLiteral("Backup completed Successfully (%1)").arg(file)));
    QVERIFY(child<QPushButton>(*m_dialog, "pushButton_Backup")->isEnabled());
}

void tst_DialogBackup::emptyFieldMeansBackupAbInDocuments()
{
    child<QLineEdit>(*m_dialog, "lineEdit_filename")->clear();
    m_driver->answer(ModalDialogDriver::pressButton(QDialogButtonBox::Ok));
    QVERIFY(m_dialog->backupAndroidData());
    QCOMPARE(child<QLineEdit>(*m_dialog, "lineEdit_filename")->text(), m_phone->home.documents("backup.ab"));
    QVERIFY(QFileInfo(m_phone->home.documents("backup.ab")).size() > 0);
}

void tst_DialogBackup::emptyArchiveFailsAndKeepsTheRememberedFile()
{
    ToolConst::setLatestBackupFile(QStringLiteral("/earlier/backup.ab"));
    QVERIFY(m_phone->fixture.sim.setFault("S", "backup_bytes", "0"));
    child<QLineEdit>(*m_dialog, "lineEdit_filename")->setText(m_phone->home.documents("empty.ab"));
    m_driver->answer(m_driver->readBoxText(ModalDialogDriver::pressButton(QDialogButtonBox::Ok)));
    QVERIFY(m_dialog->backupAndroidData());
    QCOMPARE(m_driver->texts(), QStringList{"Backup failed"});
    QCOMPARE(OptionsHome::stored("LatestBackupFile").toString(), QString("/earlier/backup.ab"));
    QVERIFY(m_sink.texts(Logger::Info).contains("Backup failed"));
}

void tst_DialogBackup::overwriteKeepsTheOldArchiveUntilTheNewOneIsGood()
{
    const QString file = useOldArchive();
    QVERIFY(!file.isEmpty());
    QFile old(file);

    // A failed backup over it: the old archive is still there, nothing beside it.
    QVERIFY(m_phone->fixture.sim.setFault("S", "backup_bytes", "0"));
    m_driver->answer(m_driver->readBoxText(ModalDialogDriver::pressButton(QStringLiteral("Overwrite"))));
    m_driver->answer(m_driver->readBoxText(ModalDialogDriver::pressButton(QDialogButtonBox::Ok)));
    QVERIFY(m_dialog->backupAndroidData());
    QVERIFY2(m_driver->allAnswered(), qPrintable(m_driver->failures().join('\n')));
    QCOMPARE(m_driver->texts(), QStringList({"Backup file already exists.\nOverwrite it?", "Backup failed"}));
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), QByteArray("old archive"));
    old.close();
    QCOMPARE(QDir(m_phone->home.documents()).entryList(QDir::Files), QStringList{"data.ab"});

    // A good one replaces it.
    QVERIFY(m_phone->fixture.sim.setFault("S", "backup_bytes", "2048"));
    m_driver->answer(ModalDialogDriver::pressButton(QStringLiteral("Overwrite")));
    m_driver->answer(m_driver->readBoxText(ModalDialogDriver::pressButton(QDialogButtonBox::Ok)));
    QVERIFY(m_dialog->backupAndroidData());
    QCOMPARE(m_driver->texts().last(), QString("Backup completed Successfully"));
    QCOMPARE(QFileInfo(file).size(), qint64(2048));
    QCOMPARE(QDir(m_phone->home.documents()).entryList(QDir::Files), QStringList{"data.ab"});
}

void tst_DialogBackup::cancelledOverwriteSkipsOnlyTheDataJob()
{
    const QString file = useOldArchive();
    QVERIFY(!file.isEmpty());
    child<QGroupBox>(*m_dialog, "groupBox_factory")->setChecked(true);
    child<QLineEdit>(*m_dialog, "lineEdit_factorypath")->setText(m_phone->home.documents("factory"));
    m_driver->answer(ModalDialogDriver::pressButton(QDialogButtonBox::Cancel));
    m_driver->answer(m_driver->readBoxText(ModalDialogDriver::pressButton(QDialogButtonBox::Ok)));
    clickBackup();
    QVERIFY2(m_driver->allAnswered(), qPrintable(m_driver->failures().join('\n')));
    QVERIFY(m_sink.texts(Logger::Info).contains("Backup cancelled by user"));
    QVERIFY(m_driver->texts().value(0).startsWith("Factory backup finished with result:\n "));
    // adb pulls a folder into an existing one as a folder of its own.
    QVERIFY(QFileInfo::exists(m_phone->home.documents("factory/factory/calibration.bin")));
    for (const QString& line : m_phone->fixture.sim.commandLog())
        QVERIFY2(!line.contains(" backup "), qPrintable(line));
    QCOMPARE(QFileInfo(file).size(), qint64(11));
}

void tst_DialogBackup::factoryBackupPullsIntoTheFolder_data()
{
    QTest::addColumn<QString>("fault"); // a knob of the device, "" for none
    QTest::addColumn<int>("icon");
    QTest::newRow("pulled") << "" << int(QMessageBox::Information);
    QTest::newRow("pull fails") << "pull" << int(QMessageBox::Critical);
}

void tst_DialogBackup::factoryBackupPullsIntoTheFolder()
{
    QFETCH(QString, fault);
    QFETCH(int, icon);
    if (!fault.isEmpty())
        QVERIFY(m_phone->fixture.sim.setFault("S", "fail_match", fault));
    child<QLineEdit>(*m_dialog, "lineEdit_factorypath")->clear();
    int shownIcon = -1;
    m_driver->answer(m_driver->readBoxText([&shownIcon](QWidget* modal) {
        shownIcon = int(static_cast<QMessageBox*>(modal)->icon());
        return ModalDialogDriver::pressButton(QDialogButtonBox::Ok)(modal);
    }));
    QVERIFY(m_dialog->backupFactoryData());
    QVERIFY2(m_driver->allAnswered(), qPrintable(m_driver->failures().join('\n')));
    const QString folder = m_phone->home.documents("factory");
    QCOMPARE(child<QLineEdit>(*m_dialog, "lineEdit_factorypath")->text(), folder);
    QVERIFY(QFileInfo(folder).isDir());
    QCOMPARE(shownIcon, icon);
    QVERIFY(m_driver->texts().value(0).startsWith("Factory backup finished with result:\n "));
    const QStringList log = m_phone->fixture.sim.commandLog();
    const int root = log.indexOf("adb -s S root");
    QVERIFY(root >= 0);
    QCOMPARE(log.value(root + 1), QString("adb -s S wait-for-device"));
    QCOMPARE(log.value(root + 2), QStringLiteral("adb -s S pull /factory %1").arg(folder));
    if (fault.isEmpty())
        QVERIFY(QFileInfo::exists(folder + "/factory/calibration.bin"));
    QCOMPARE(OptionsHome::stored("LatestFactoryBackupDir").toString(), folder);
    QVERIFY(m_sink.texts(Logger::Info)
                .contains(QStringLiteral("\"%1\" -s S pull /factory \"%2\"").arg(FMConst::AdbCmd(), folder)));
    QVERIFY(m_sink.texts(Logger::Info).contains("Factory backup finished"));
}

void tst_DialogBackup::withoutDeviceNothingRuns()
{
    m_dialog->setDevice(FlashDevice2Ptr());
    const int before = m_phone->fixture.sim.commandLog().size();
    child<QGroupBox>(*m_dialog, "groupBox_factory")->setChecked(true);
    m_driver->closeUnexpected();
    clickBackup();
    QVERIFY2(m_driver->allAnswered(), qPrintable(m_driver->failures().join('\n')));
    QCOMPARE(m_sink.texts(Logger::Warning), QStringList({"Invalid device", "Invalid device"}));
    QCOMPARE(m_phone->fixture.sim.commandLog().size(), before);
}

void tst_DialogBackup::adbThatCannotStartIsReported()
{
    QVERIFY(m_phone->breakAdb());
    const QString broken = FMConst::AdbCmd();
    m_driver->closeUnexpected();
    QVERIFY(!m_dialog->backupFactoryData());
    QVERIFY2(m_driver->allAnswered(), qPrintable(m_driver->failures().join('\n')));
    QVERIFY(m_sink.texts(Logger::Error).value(0).startsWith(QStringLiteral("Failed to execute \"%1\"").arg(broken)));
    QVERIFY(child<QPushButton>(*m_dialog, "pushButton_Backup")->isEnabled());
}

void tst_DialogBackup::cancelEndsAHangingBackup()
{
    QVERIFY(m_phone->fixture.sim.setFault("S", "hang_match", "backup"));
    child<QLineEdit>(*m_dialog, "lineEdit_filename")->setText(m_phone->home.documents("hang.ab"));
    // Cancel once adb runs, then the verdict on what exists.
    QTimer::singleShot(1500, m_dialog.get(), [this] {
        QTest::mouseClick(child<QPushButton>(*m_dialog, "pushButton_Cancel"), Qt::LeftButton);
    });
    m_driver->answer(m_driver->readBoxText(ModalDialogDriver::pressButton(QDialogButtonBox::Ok)));
    QVERIFY(m_dialog->backupAndroidData());
    QCOMPARE(m_driver->texts(), QStringList{"Backup failed"});
    QVERIFY(m_sink.texts(Logger::Info).contains("Backup cancelled by user"));
    QTRY_VERIFY_WITH_TIMEOUT(m_phone->fixture.sim.runningTools().isEmpty(), 10000);
}

QTEST_MAIN(tst_DialogBackup)
#include "tst_DialogBackup.moc"
