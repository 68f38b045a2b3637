// The file chooser as a person uses it: typing, the browse button and its dialog, the shared folder.

#include "ModalDialogDriver.h"
#include "ui/FileBrowserWidget.h"

#include <QDir>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtTest>

class tst_FileBrowserWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void typedTextIsTheFile();
    void pickedFileAndItsFolder();
    void cancelledDialogChangesNothing();
    void saveTypeResetsTheTitle();
    void focusGoesToTheLineEdit();

private:
    QTemporaryDir m_dir;
    QString m_file;
};

void tst_FileBrowserWidget::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("images")));
    m_file = m_dir.filePath(QStringLiteral("images/boot.img"));
    QFile file(m_file);
    QVERIFY(file.open(QIODevice::WriteOnly));
}

void tst_FileBrowserWidget::typedTextIsTheFile()
{
    FileBrowserWidget widget;
    QSignalSpy selected(&widget, &FileBrowserWidget::fileSelected);
    auto* line = widget.findChild<QLineEdit*>();
    QVERIFY(line);
    QTest::keyClicks(line, QStringLiteral("a/b.img"));
    QCOMPARE(widget.getFile(), QStringLiteral("a/b.img"));
    QCOMPARE(selected.count(), 7);  // one per typed character
    widget.setFile(QStringLiteral("/x//y.img"));
    QCOMPARE(widget.getFile(), QDir::toNativeSeparators(QStringLiteral("/x//y.img")));
}

void tst_FileBrowserWidget::pickedFileAndItsFolder()
{
    FileBrowserWidget widget;
    QString folder = QStringLiteral("/nowhere");
    widget.setDefaultFolderHandle(&folder);
    widget.setFileFilters(QStringLiteral("Images (*.img);;All file(*)"));
    widget.show();
    QSignalSpy selected(&widget, &FileBrowserWidget::fileSelected);

    ModalDialogDriver driver;
    driver.answer(ModalDialogDriver::pickFile(m_file));
    QTest::mouseClick(widget.findChild<QToolButton*>(), Qt::LeftButton);
    QVERIFY2(driver.allAnswered(), qPrintable(driver.failures().join(QLatin1Char('\n'))));
    QCOMPARE(widget.getFile(), QDir::toNativeSeparators(m_file));
    QCOMPARE(folder, m_dir.filePath(QStringLiteral("images")));
    QCOMPARE(selected.count(), 1);
}

void tst_FileBrowserWidget::cancelledDialogChangesNothing()
{
    FileBrowserWidget widget;
    QString folder = m_dir.path();
    widget.setDefaultFolderHandle(&folder);
    widget.setFile(QStringLiteral("kept.img"));
    widget.show();

    ModalDialogDriver driver;
    driver.answer(ModalDialogDriver::pickFile(QString()));
    QTest::mouseClick(widget.findChild<QToolButton*>(), Qt::LeftButton);
    QVERIFY2(driver.allAnswered(), qPrintable(driver.failures().join(QLatin1Char('\n'))));
    QCOMPARE(widget.getFile(), QStringLiteral("kept.img"));
    QCOMPARE(folder, m_dir.path());
}

void tst_FileBrowserWidget::saveTypeResetsTheTitle()
{
    FileBrowserWidget widget;
    widget.setDialogTitle(QStringLiteral("Pick the image"));
    widget.setWindowType(FileBrowserWidget::Save);
    widget.show();
    QString title;
    ModalDialogDriver driver;
    driver.answer([&title](QWidget* modal) {
        title = modal->windowTitle();
        return ModalDialogDriver::pickFile(QString())(modal);
    });
    QTest::mouseClick(widget.findChild<QToolButton*>(), Qt::LeftButton);
    QVERIFY(driver.allAnswered());
    QCOMPARE(title, QStringLiteral("Save file"));
    QCOMPARE(widget.getWindowType(), FileBrowserWidget::Save);
}

void tst_FileBrowserWidget::focusGoesToTheLineEdit()
{
    QWidget window;
    auto* before = new QLineEdit(&window);
    auto* widget = new FileBrowserWidget(&window);
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(before);
    layout->addWidget(widget);
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    widget->setFocus(Qt::OtherFocusReason);
    QTRY_COMPARE(QApplication::focusWidget(), widget->findChild<QLineEdit*>());
}

QTEST_MAIN(tst_FileBrowserWidget)
#include "tst_FileBrowserWidget.moc"
