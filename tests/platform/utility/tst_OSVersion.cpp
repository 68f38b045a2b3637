#include "platform/utility/OSVersion.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>

class tst_OSVersion : public QObject
{
    Q_OBJECT

private slots:
    void prettyNameIsUnquoted_data();
    void prettyNameIsUnquoted();
    void hostIsDescribed();
};

void tst_OSVersion::prettyNameIsUnquoted_data()
{
    QTest::addColumn<QByteArray>("content"); // null: no file at all
    QTest::addColumn<QString>("name");

    QTest::newRow("double quotes") << QByteArray("NAME=\"Debian\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n")
                                   << "Debian GNU/Linux 12 (bookworm)";
    QTest::newRow("single quotes") << QByteArray("PRETTY_NAME='Arch Linux'\n") << "Arch Linux";
    QTest::newRow("no quotes") << QByteArray("PRETTY_NAME=Gentoo\n") << "Gentoo";
    QTest::newRow("escapes") << QByteArray("PRETTY_NAME=\"Say \\\"hi\\\" \\\\ now\"\n") << "Say \"hi\" \\ now";
    QTest::newRow("similar key only") << QByteArray("MY_PRETTY_NAME=\"x\"\n") << "";
    QTest::newRow("no file") << QByteArray() << "";
}

void tst_OSVersion::prettyNameIsUnquoted()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, name);

    QTemporaryDir dir;
    const QString path = dir.filePath("os-release");
    if (!content.isNull()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    QCOMPARE(readOsReleasePrettyName(path), name);
}

void tst_OSVersion::hostIsDescribed()
{
    const OSVersion version = getOSVersion();
    QVERIFY(std::memchr(version.name, '\0', sizeof version.name) != nullptr);
    QVERIFY(version.name[0] != '\0');
    QCOMPARE(version.arch, sizeof(void*) == 8 ? int(OSArch64) : int(OSArch32));

    const QString fromFile = readOsReleasePrettyName(QStringLiteral("/etc/os-release"));
    if (!fromFile.isEmpty())
        QCOMPARE(QString::fromUtf8(version.name), fromFile);
}

QTEST_GUILESS_MAIN(tst_OSVersion)
#include "tst_OSVersion.moc"
