// The XML text viewer driven by keys and clicks: case-insensitive highlights, stepping with F3 and
// the button (wrapping), searching again on a new text, and a window Escape does not close.

#include "ui/editor/DialogXml.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTextEdit>
#include <QtTest>

namespace {

struct Viewer
{
    Viewer()
    {
        dialog.show();
        search = dialog.findChild<QLineEdit*>(QStringLiteral("lineEdit"));
        view = dialog.findChild<QTextEdit*>(QStringLiteral("textEditFlashFile"));
        next = dialog.findChild<QPushButton*>(QStringLiteral("pushButton_find"));
    }

    // Start and end of each yellow highlight, in order.
    QList<QPair<int, int>> highlights() const
    {
        QList<QPair<int, int>> spans;
        for (const QTextEdit::ExtraSelection& highlight : view->extraSelections()) {
            if (highlight.format.background().color() == QColor(Qt::yellow))
                spans.append({highlight.cursor.selectionStart(), highlight.cursor.selectionEnd()});
        }
        return spans;
    }
    QPair<int, int> selected() const
    {
        return {view->textCursor().selectionStart(), view->textCursor().selectionEnd()};
    }
    void type(const QString& text)
    {
        search->setFocus();
        QTest::keyClicks(search, text);
    }

    DialogXml dialog;
    QLineEdit* search = nullptr;
    QTextEdit* view = nullptr;
    QPushButton* next = nullptr;
};

using Spans = QList<QPair<int, int>>;

} // namespace

class tst_DialogXml : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void highlightsEveryMatchAndSelectsTheFirst();
    void nextStepsAndWraps_data();
    void nextStepsAndWraps();
    void noMatchAndEmptySearchClear();
    void newTextIsSearchedAgain();
    void escapeKeepsItOpenAndClosingSaysSoOnce();
};

void tst_DialogXml::initTestCase()
{
    QCoreApplication::setApplicationName(QStringLiteral("Quillon Lite"));
}

void tst_DialogXml::highlightsEveryMatchAndSelectsTheFirst()
{
    Viewer viewer;
    QVERIFY(viewer.search && viewer.view && viewer.next);
    QCOMPARE(viewer.dialog.windowTitle(), QStringLiteral("Quillon Lite"));
    QVERIFY(viewer.view->isReadOnly());
    viewer.dialog.setText(QStringLiteral("ABC abc aBc"));
    viewer.type(QStringLiteral("abc"));
    QCOMPARE(viewer.highlights(), (Spans{{0, 3}, {4, 7}, {8, 11}}));
    QCOMPARE(viewer.selected(), qMakePair(0, 3));
}

void tst_DialogXml::nextStepsAndWraps_data()
{
    QTest::addColumn<bool>("byButton");
    QTest::newRow("F3") << false;
    QTest::newRow("Next (F3)") << true;
}

void tst_DialogXml::nextStepsAndWraps()
{
    QFETCH(bool, byButton);
    Viewer viewer;
    viewer.dialog.setText(QStringLiteral("ABC abc\naBc"));
    viewer.type(QStringLiteral("abc"));
    QCOMPARE(viewer.next->text(), QStringLiteral("Next (F3)"));
    const auto step = [&] {
        if (byButton)
            QTest::mouseClick(viewer.next, Qt::LeftButton);
        else
            QTest::keyClick(viewer.search, Qt::Key_F3);
    };
    for (const QPair<int, int>& expected : Spans{{4, 7}, {8, 11}, {0, 3}, {4, 7}}) {
        step();
        QCOMPARE(viewer.selected(), expected);
    }
    QCOMPARE(viewer.highlights().size(), 3);  // stepping keeps every highlight
    QCOMPARE(viewer.dialog.focusWidget(), static_cast<QWidget*>(viewer.view));
}

void tst_DialogXml::noMatchAndEmptySearchClear()
{
    Viewer viewer;
    viewer.dialog.setText(QStringLiteral("ABC abc aBc"));
    viewer.type(QStringLiteral("abc"));
    QCOMPARE(viewer.highlights().size(), 3);

    viewer.search->clear();
    QVERIFY(viewer.highlights().isEmpty());
    QCOMPARE(viewer.selected(), qMakePair(0, 0));

    viewer.type(QStringLiteral("xyz"));
    QVERIFY(viewer.highlights().isEmpty());
    QTest::keyClick(viewer.search, Qt::Key_F3);
    QCOMPARE(viewer.selected(), qMakePair(0, 0));
    QVERIFY(viewer.dialog.isVisible());
}

void tst_DialogXml::newTextIsSearchedAgain()
{
    Viewer viewer;
    viewer.dialog.setText(QStringLiteral("<a/>"));
    viewer.type(QStringLiteral("flash"));
    QVERIFY(viewer.highlights().isEmpty());
    viewer.dialog.setText(QStringLiteral("<flash>\n<FLASH/>\n</flash>"));
    QCOMPARE(viewer.highlights(), (Spans{{1, 6}, {9, 14}, {19, 24}}));
    QCOMPARE(viewer.selected(), qMakePair(1, 6));
    // Return searches again from the first match, with the focus in the text.
    QTest::keyClick(viewer.search, Qt::Key_F3);
    QTest::keyClick(viewer.search, Qt::Key_Return);
    QCOMPARE(viewer.selected(), qMakePair(1, 6));
    QCOMPARE(viewer.dialog.focusWidget(), static_cast<QWidget*>(viewer.view));
}

void tst_DialogXml::escapeKeepsItOpenAndClosingSaysSoOnce()
{
    Viewer viewer;
    QSignalSpy closed(&viewer.dialog, &DialogXml::closed);
    QSignalSpy rejected(&viewer.dialog, &QDialog::rejected);
    QTest::keyClick(viewer.search, Qt::Key_Escape);
    QTest::keyClick(viewer.view, Qt::Key_Escape);
    QVERIFY(viewer.dialog.isVisible());
    QCOMPARE(rejected.count(), 0);
    QCOMPARE(closed.count(), 0);

    QVERIFY(viewer.dialog.close());
    QVERIFY(!viewer.dialog.isVisible());
    QCOMPARE(closed.count(), 1);
}

QTEST_MAIN(tst_DialogXml)
#include "tst_DialogXml.moc"
