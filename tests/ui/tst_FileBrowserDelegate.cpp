// Editing a table through the delegate: unique key texts, file cells with a chooser, the notice.

#include "ui/FileBrowserDelegate.h"
#include "ui/FileBrowserWidget.h"

#include <QLineEdit>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QtTest>

Q_DECLARE_METATYPE(QModelIndex)

class tst_FileBrowserDelegate : public QObject
{
    Q_OBJECT

private slots:
    void keyTextsStayUnique_data();
    void keyTextsStayUnique();
    void siblingsOnlyClash();
    void fileColumnEditsWithAChooser();
    void foreignIndexIsLeftAlone();

private:
    // Writes `text` into `index` as a view does when a line editor closes.
    static void edit(FileBrowserDelegate& delegate, QStandardItemModel& model, const QModelIndex& index,
                     const QString& text);
};

void tst_FileBrowserDelegate::edit(FileBrowserDelegate& delegate, QStandardItemModel& model,
                                   const QModelIndex& index, const QString& text)
{
    QWidget parent;
    QWidget* editor = delegate.createEditor(&parent, QStyleOptionViewItem(), index);
    auto* line = qobject_cast<QLineEdit*>(editor);
    QVERIFY(line);
    delegate.setEditorData(editor, index);
    line->clear();
    QTest::keyClicks(line, text);
    delegate.setModelData(editor, &model, index);
}

void tst_FileBrowserDelegate::keyTextsStayUnique_data()
{
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<int>("edited");
    QTest::addColumn<QString>("entered");
    QTest::addColumn<QString>("stored");

    QTest::newRow("free name") << QStringList{"adb", "fastboot", "x"} << 2 << "dfu" << "dfu";
    QTest::newRow("held once") << QStringList{"adb", "fastboot", "x"} << 2 << "adb" << "adb (1)";
    QTest::newRow("held with its first counter")
        << QStringList{"adb", "adb (1)", "x"} << 2 << "adb" << "adb (2)";
    QTest::newRow("counter follows the entered text")
        << QStringList{"adb (1)", "adb (1) (1)", "x"} << 2 << "adb (1)" << "adb (1) (2)";
    QTest::newRow("own unchanged text") << QStringList{"adb", "fastboot"} << 0 << "adb" << "adb";
    QTest::newRow("case matters") << QStringList{"adb", "x"} << 1 << "ADB" << "ADB";
}

void tst_FileBrowserDelegate::keyTextsStayUnique()
{
    QFETCH(QStringList, rows);
    QFETCH(int, edited);
    QFETCH(QString, entered);
    QFETCH(QString, stored);

    QStandardItemModel model;
    for (const QString& row : rows)
        model.appendRow({new QStandardItem(row), new QStandardItem(QStringLiteral("/bin/") + row)});
    FileBrowserDelegate delegate;
    delegate.setKeyColumn(0);
    QSignalSpy changed(&delegate, &FileBrowserDelegate::dataChanged);
    const QModelIndex index = model.index(edited, 0);
    edit(delegate, model, index, entered);
    QCOMPARE(model.data(index).toString(), stored);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.first().first().value<QModelIndex>(), index);
}

void tst_FileBrowserDelegate::siblingsOnlyClash()
{
    QStandardItemModel model;
    auto* first = new QStandardItem(QStringLiteral("tools"));
    auto* second = new QStandardItem(QStringLiteral("more"));
    model.appendRow(first);
    model.appendRow(second);
    first->appendRow(new QStandardItem(QStringLiteral("adb")));
    second->appendRow(new QStandardItem(QStringLiteral("other")));
    FileBrowserDelegate delegate;
    delegate.setKeyColumn(0);
    const QModelIndex index = second->child(0)->index();
    edit(delegate, model, index, QStringLiteral("adb"));
    QCOMPARE(model.data(index).toString(), QStringLiteral("adb"));
}

void tst_FileBrowserDelegate::fileColumnEditsWithAChooser()
{
    QStandardItemModel model;
    model.appendRow({new QStandardItem(QStringLiteral("adb")), new QStandardItem(QStringLiteral("/usr/bin/adb"))});
    FileBrowserDelegate delegate;
    delegate.setKeyColumn(0);
    delegate.setFileBrowserColumn(1);
    QSignalSpy changed(&delegate, &FileBrowserDelegate::dataChanged);

    QWidget parent;
    const QModelIndex index = model.index(0, 1);
    auto* browser = qobject_cast<FileBrowserWidget*>(delegate.createEditor(&parent, QStyleOptionViewItem(), index));
    QVERIFY(browser);
    QCOMPARE(browser->getWindowType(), FileBrowserWidget::Open);
    delegate.setEditorData(browser, index);
    QCOMPARE(browser->getFile(), QStringLiteral("/usr/bin/adb"));
    auto* line = browser->findChild<QLineEdit*>();
    line->clear();
    QTest::keyClicks(line, QStringLiteral("/opt/adb"));
    delegate.setModelData(browser, &model, index);
    QCOMPARE(model.data(index).toString(), QStringLiteral("/opt/adb"));
    QCOMPARE(changed.count(), 1);

    // Another column gets the standard editor.
    QWidget* plain = delegate.createEditor(&parent, QStyleOptionViewItem(), model.index(0, 0));
    QVERIFY(!qobject_cast<FileBrowserWidget*>(plain));
}

void tst_FileBrowserDelegate::foreignIndexIsLeftAlone()
{
    QStandardItemModel model;
    QStandardItemModel other;
    model.appendRow(new QStandardItem(QStringLiteral("a")));
    other.appendRow(new QStandardItem(QStringLiteral("b")));
    FileBrowserDelegate delegate;
    QSignalSpy changed(&delegate, &FileBrowserDelegate::dataChanged);
    QLineEdit editor(QStringLiteral("c"));
    delegate.setModelData(&editor, &model, other.index(0, 0));
    delegate.setModelData(&editor, nullptr, model.index(0, 0));
    QCOMPARE(model.data(model.index(0, 0)).toString(), QStringLiteral("a"));
    QCOMPARE(other.data(other.index(0, 0)).toString(), QStringLiteral("b"));
    QCOMPARE(changed.count(), 0);
}

QTEST_MAIN(tst_FileBrowserDelegate)
#include "tst_FileBrowserDelegate.moc"
