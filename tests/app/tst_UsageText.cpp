#include "app/Quillon.h"

#include <QFile>
#include <QtTest>

// The usage text, byte for byte: tabs, trailing blanks and the final newline included.
class tst_UsageText : public QObject
{
    Q_OBJECT

private slots:
    void matchesTheReference();
};

void tst_UsageText::matchesTheReference()
{
    QFile reference(QFINDTESTDATA("data/usage.txt"));
    QVERIFY(reference.open(QIODevice::ReadOnly));
    const QByteArray expected = reference.readAll();
    const QByteArray actual = Quillon::help_message.toUtf8();
    QCOMPARE(actual.split('\n'), expected.split('\n')); // a difference names its line
    QCOMPARE(actual, expected);
}

QTEST_GUILESS_MAIN(tst_UsageText)
#include "tst_UsageText.moc"
