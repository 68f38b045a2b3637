// The flash dialog run as the main window runs it: shown, its load left to the event loop, then
// modal and answered by the test.

#include "ModalDialogDriver.h"
#include "loader/ToolConst.h"
#include "model/FlashConfiguration.h"
#include "platform/device/DummyDevice.h"
#include "tools/BuiltInKinds.h"
#include "ui/FlashBasicDialog.h"
#include "ui/FlashBasicWidget.h"

#include <QLabel>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QByteArray kFlashJson = R"({"flash": {"version": "3.0",
    "configurations": {"a": {"name": "Alpha", "startState": "pos", "default": true}},
    "commands": [{"tool": "fastboot", "args": "reboot", "timeout": 1000, "retry": 1, "description": "Reboot"}]}})";

FlashDevice2Ptr device(const QString& serial)
{
    DummyDevice data;
    data.setPort(PortNumber::usbPort(QStringLiteral("1-2")));
    data.setState(DeviceState::ProvisioningOs);
    data.setSerial(serial);
    return FlashDevice2Ptr(new FlashDevice2(data, nullptr));
}

QPushButton* button(const FlashBasicDialog& dialog, QDialogButtonBox::StandardButton which)
{
    return dialog.findChild<QDialogButtonBox*>()->button(which);
}

} // namespace

class tst_FlashBasicDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void startButtonNamesTheDevice_data();
    void startButtonNamesTheDevice();
    void buttonsWaitForTheFirstReport_data();
    void buttonsWaitForTheFirstReport();
    void escapeAndCloseLeaveItOpen();
    void acceptedHandsOutTheConfiguration();

private:
    QString fixture(const QString& name, const QByteArray& bytes) const;

    QTemporaryDir m_dir;
};

void tst_FlashBasicDialog::initTestCase()
{
    QVERIFY(m_dir.isValid());
    BuiltInKinds::registerAll();
    ToolConst::defaultOptionName = m_dir.filePath(QStringLiteral("settings.opt"));
}

QString tst_FlashBasicDialog::fixture(const QString& name, const QByteArray& bytes) const
{
    const QString path = m_dir.filePath(name);
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() ? path : QString();
}

void tst_FlashBasicDialog::startButtonNamesTheDevice_data()
{
    QTest::addColumn<QString>("serial");
    QTest::addColumn<QString>("text");

    QTest::newRow("serial") << QStringLiteral("ABC123") << QStringLiteral("Start to flash the device ABC123");
    QTest::newRow("no serial") << QString() << QStringLiteral("Start to flash");
}

void tst_FlashBasicDialog::startButtonNamesTheDevice()
{
    QFETCH(QString, serial);
    QFETCH(QString, text);
    const FlashBasicDialog dialog(nullptr, device(serial), fixture(QStringLiteral("flash.json"), kFlashJson));

    QCOMPARE(button(dialog, QDialogButtonBox::Yes)->text(), text);
    QCOMPARE(button(dialog, QDialogButtonBox::No)->text(), QStringLiteral("Cancel"));
    QCOMPARE(dialog.windowFlags() & (Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
             Qt::CustomizeWindowHint | Qt::WindowTitleHint);
}

void tst_FlashBasicDialog::buttonsWaitForTheFirstReport_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<bool>("startable");
    QTest::addColumn<QString>("status");

    QTest::newRow("loads") << kFlashJson << true << QStringLiteral("Flash file %1 [Alpha] loaded");
    QTest::newRow("fails to load") << QByteArray(R"({"flash": {"version": "3.0", "configurations": 5}})") << false << QStringLiteral("Failed to load %1");
}

void tst_FlashBasicDialog::buttonsWaitForTheFirstReport()
{
    QFETCH(QByteArray, contents);
    QFETCH(bool, startable);
    QFETCH(QString, status);
    const QString path = fixture(QStringLiteral("flash.json"), contents);
    FlashBasicDialog dialog(nullptr, device(QStringLiteral("ABC123")), path);
    auto* tab = dialog.findChild<FlashBasicWidget*>();
    QVERIFY(tab);
    QSignalSpy reports(tab, &FlashBasicWidget::flashFileChanged);
    dialog.show();

    QVERIFY(!button(dialog, QDialogButtonBox::Yes)->isEnabled());
    QVERIFY(!button(dialog, QDialogButtonBox::No)->isEnabled());
    QTRY_VERIFY(!reports.isEmpty());
    // The load has ended when the tab says how.
    QTRY_COMPARE(dialog.findChild<QLabel*>(QString(), Qt::FindDirectChildrenOnly)->text(), status.arg(path));
    QCOMPARE(button(dialog, QDialogButtonBox::Yes)->isEnabled(), startable);
    QVERIFY(button(dialog, QDialogButtonBox::No)->isEnabled());
}

void tst_FlashBasicDialog::escapeAndCloseLeaveItOpen()
{
    FlashBasicDialog dialog(nullptr, device(QStringLiteral("ABC123")), fixture(QStringLiteral("flash.json"), kFlashJson));
    // The queued load runs first; a dialog shown before exec() would not become modal.
    QCoreApplication::processEvents();
    ModalDialogDriver driver;
    driver.answer([](QWidget* modal) {
        QTest::keyClick(modal, Qt::Key_Escape);
        const bool closed = modal->close();
        return !closed && modal->isVisible() && ModalDialogDriver::pressButton(QStringLiteral("Cancel"))(modal);
    });

    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    QVERIFY2(driver.allAnswered(), qPrintable(driver.failures().join('\n')));
}

void tst_FlashBasicDialog::acceptedHandsOutTheConfiguration()
{
    FlashBasicDialog dialog(nullptr, device(QStringLiteral("ABC123")), fixture(QStringLiteral("flash.json"), kFlashJson));
    QVERIFY(!dialog.getCurrentFlashFile());
    // The queued load runs first; a dialog shown before exec() would not become modal.
    QCoreApplication::processEvents();
    ModalDialogDriver driver;
    driver.answer(ModalDialogDriver::pressButton(QStringLiteral("Start to flash the device ABC123")));

    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QVERIFY2(driver.allAnswered(), qPrintable(driver.failures().join('\n')));
    QVERIFY(dialog.getCurrentFlashFile());
    QCOMPARE(dialog.getCurrentFlashFile()->getName(), QStringLiteral("Alpha"));
}

QTEST_MAIN(tst_FlashBasicDialog)
#include "tst_FlashBasicDialog.moc"
