// The line edit's clear button as a person uses it: it appears with text and empties the edit.

#include "ui/ClearLineEdit.h"

#include <QPushButton>
#include <QtTest>

class tst_ClearLineEdit : public QObject
{
    Q_OBJECT

private slots:
    void clearButtonShowsWithTextAndEmptiesIt();
};

void tst_ClearLineEdit::clearButtonShowsWithTextAndEmptiesIt()
{
    ClearLineEdit edit;
    edit.show();
    QVERIFY(QTest::qWaitForWindowExposed(&edit));
    QVERIFY(!edit.clearButton()->isVisible());
    QVERIFY(!edit.clearButton()->icon().isNull());

    QTest::keyClicks(&edit, QStringLiteral("boot.img"));
    QVERIFY(edit.clearButton()->isVisible());
    QVERIFY(edit.clearButton()->geometry().right() > edit.width() / 2);   // at the right end

    QTest::mouseClick(edit.clearButton(), Qt::LeftButton);
    QCOMPARE(edit.text(), QString());
    QVERIFY(!edit.clearButton()->isVisible());
}

QTEST_MAIN(tst_ClearLineEdit)
#include "tst_ClearLineEdit.moc"
