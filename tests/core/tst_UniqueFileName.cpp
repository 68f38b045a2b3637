// A claimed file name belongs to one process: a name taken already gets the next free number and
// the file that holds it is never touched.

#include "core/UniqueFileName.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class tst_UniqueFileName : public QObject
{
    Q_OBJECT

private slots:
    void claimsTheFirstFreeName_data();
    void claimsTheFirstFreeName();
    void unwritableFolderGivesNoName();
};

void tst_UniqueFileName::claimsTheFirstFreeName_data()
{
    QTest::addColumn<QString>("wanted");
    QTest::addColumn<QStringList>("taken");     // names present before the claim
    QTest::addColumn<QString>("claimed");

    QTest::newRow("free") << "12-30-05.log" << QStringList() << "12-30-05.log";
    QTest::newRow("taken") << "12-30-05.log" << QStringList{"12-30-05.log"} << "12-30-05-2.log";
    QTest::newRow("taken twice") << "12-30-05.log" << QStringList{"12-30-05.log", "12-30-05-2.log"} << "12-30-05-3.log";
    QTest::newRow("only the numbered name taken") << "a.log" << QStringList{"a-2.log"} << "a.log";
    QTest::newRow("no suffix") << "run" << QStringList{"run"} << "run-2";
    QTest::newRow("dots in the name") << "a.b.log" << QStringList{"a.b.log"} << "a.b-2.log";
}

void tst_UniqueFileName::claimsTheFirstFreeName()
{
    QFETCH(QString, wanted);
    QFETCH(QStringList, taken);
    QFETCH(QString, claimed);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    for (const QString& name : taken) {
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("lines of another run\n");
    }

    QString error;
    QCOMPARE(UniqueFileName::claim(dir.filePath(wanted), error), dir.filePath(claimed));
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QVERIFY(QFileInfo(dir.filePath(claimed)).isFile());
    for (const QString& name : taken) {
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("lines of another run\n"));
    }
}

void tst_UniqueFileName::unwritableFolderGivesNoName()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QString error;
    QCOMPARE(UniqueFileName::claim(dir.filePath(QStringLiteral("missing/run.log")), error), QString());
    QVERIFY2(error.contains(QLatin1String("missing/run.log")), qPrintable(error));
}

QTEST_GUILESS_MAIN(tst_UniqueFileName)
#include "tst_UniqueFileName.moc"
