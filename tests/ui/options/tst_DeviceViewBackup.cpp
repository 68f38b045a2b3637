// The device view opens the backup and restore dialogs for a device in its main OS (on the
// simulator), with names proposed from the device's serial and today's date.

#include "ui/QPhoneWidget.h"
#include "ui/DeviceViewBinding.h"
#include "ui/options/DialogBackup.h"
#include "ui/options/DialogRestore.h"

#include "ModalDialogDriver.h"
#include "OnePhone.h"
#include "RecordingLogSink.h"

#include <QDate>
#include <QLineEdit>
#include <QtTest>

class tst_DeviceViewBackup : public QObject
{
    Q_OBJECT

private slots:
    void backupProposesNamesOfSerialAndDate();
    void restoreOffersTheRememberedFile();
    void outsideMainOsOnlyWarns();
};

namespace {

// Reads the two fields of the dialog that shows, then closes it.
ModalDialogDriver::Step readFields(QStringList& fields, const char* first, const char* second)
{
    return [&fields, first, second](QWidget* modal) {
        auto* one = modal->findChild<QLineEdit*>(QLatin1String(first));
        auto* two = modal->findChild<QLineEdit*>(QLatin1String(second));
        if (!one || !two)
            return false;
        fields << one->text() << two->text();
        static_cast<QDialog*>(modal)->reject();
        return true;
    };
}

} // namespace

void tst_DeviceViewBackup::backupProposesNamesOfSerialAndDate()
{
    OnePhone phone;
    QVERIFY(phone.attach("mos"));
    const OptionsHome& home = phone.home;
    QPhoneWidget view;
    QCOMPARE(DeviceViewBinding::bindDevice({&view}, phone.device), DeviceViewBinding::Outcome::Bound);

    QStringList fields;
    ModalDialogDriver driver;
    driver.answer(readFields(fields, "lineEdit_filename", "lineEdit_factorypath"));
    view.backupDevice();
    // Two more requests: the same dialog, the names computed again over what the user typed.
    driver.answer([&fields](QWidget* modal) {
        modal->findChild<QLineEdit*>("lineEdit_filename")->setText("typed");
        return readFields(fields, "lineEdit_filename", "lineEdit_factorypath")(modal);
    });
    driver.answer(readFields(fields, "lineEdit_filename", "lineEdit_factorypath"));
    view.backupDevice();
    view.backupDevice();
    QVERIFY2(driver.allAnswered(), qPrintable(driver.failures().join('\n')));

    const QString date = QDate::currentDate().toString("dd.MM.yyyy");
    const QString file = home.documents(QStringLiteral("backup_S_%1.ab").arg(date));
    const QString folder = home.documents(QStringLiteral("factory_S_%1").arg(date));
    QCOMPARE(fields, QStringList({file, folder, "typed", folder, file, folder}));
    int dialogs = 0;
    for (QWidget* widget : QApplication::topLevelWidgets())
        dialogs += qobject_cast<DialogBackup*>(widget) != nullptr;
    QCOMPARE(dialogs, 1);
}

void tst_DeviceViewBackup::restoreOffersTheRememberedFile()
{
    OnePhone phone;
    QVERIFY(phone.attach("mos"));
    const OptionsHome& home = phone.home;
    QPhoneWidget view;
    DeviceViewBinding::bindDevice({&view}, phone.device);
    const QString file = home.documents("kept.ab");
    QFile archive(file);
    QVERIFY(archive.open(QIODevice::WriteOnly) && archive.write("x") == 1);
    archive.close();
    ToolConst::setLatestBackupFile(file);

    QStringList fields;
    ModalDialogDriver driver;
    driver.answer(readFields(fields, "lineEdit_filename", "lineEdit_factory"));
    view.restoreDevice();
    QVERIFY2(driver.allAnswered(), qPrintable(driver.failures().join('\n')));
    QCOMPARE(fields, QStringList({file, QString()}));
}

void tst_DeviceViewBackup::outsideMainOsOnlyWarns()
{
    OnePhone phone;
    QVERIFY(phone.attach("pos"));
    QPhoneWidget view;
    DeviceViewBinding::bindDevice({&view}, phone.device);
    RecordingLogSink sink;
    sink.bind(view);
    ModalDialogDriver driver;
    driver.closeUnexpected();
    view.backupDevice();
    view.restoreDevice();
    QVERIFY2(driver.allAnswered(), qPrintable(driver.failures().join('\n')));
    QCOMPARE(sink.texts(Logger::Warning),
             QStringList({"The device must be in MOS to backup it", "The device must be in MOS to restore it"}));
}

QTEST_MAIN(tst_DeviceViewBackup)
#include "tst_DeviceViewBackup.moc"
