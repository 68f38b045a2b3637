#include "loader/ArchiveListing.h"

#include <QTemporaryDir>
#include <QtTest>

// Judging a 7z technical listing, and an unpacked folder: which entries could write or point
// outside the output folder.
class tst_ArchiveListing : public QObject
{
    Q_OBJECT

private slots:
    void problem_data();
    void problem();
    void parsesEntriesAfterTheSeparator();
    void unpackedLinks_data();
    void unpackedLinks();
};

namespace {

// A listing as "7z l -slt" prints it, one block per entry ("path" or "path|key = value|...").
QString listing(const QStringList& entries)
{
    QString text = QStringLiteral("7-Zip\n\n--\nPath = archive.tar\nType = tar\n\n----------\n");
    for (const QString& entry : entries) {
        const QStringList parts = entry.split(QLatin1Char('|'));
        text += QStringLiteral("Path = ") + parts.first() + QLatin1Char('\n');
        for (int index = 1; index < parts.size(); ++index)
            text += parts[index] + QLatin1Char('\n');
        text += QLatin1Char('\n');
    }
    return text;
}

} // namespace

void tst_ArchiveListing::problem_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("problem"); // null: safe

    QTest::newRow("plain files") << QStringList{QStringLiteral("a/b.txt"), QStringLiteral("./c")} << QString();
    QTest::newRow("dot-dot inside a name") << QStringList{QStringLiteral("a..b/c..")} << QString();
    QTest::newRow("dot-dot") << QStringList{QStringLiteral("a/../../x")}
                             << "the entry \"a/../../x\" would land outside the output folder";
    QTest::newRow("backslash dot-dot") << QStringList{QStringLiteral("a\\..\\x")}
                                       << "the entry \"a\\..\\x\" would land outside the output folder";
    QTest::newRow("absolute") << QStringList{QStringLiteral("/etc/passwd")}
                              << "the entry \"/etc/passwd\" would land outside the output folder";
    QTest::newRow("drive letter") << QStringList{QStringLiteral("C:\\x")}
                                  << "the entry \"C:\\x\" would land outside the output folder";
    QTest::newRow("link inside") << QStringList{QStringLiteral("a/l|Symbolic Link = ../b"), QStringLiteral("b")}
                                 << QString();
    QTest::newRow("link climbing out") << QStringList{QStringLiteral("a/l|Symbolic Link = ../../b")}
                                       << "the entry \"a/l\" links outside the output folder";
    QTest::newRow("absolute link") << QStringList{QStringLiteral("l|Mode = lrwxrwxrwx|Symbolic Link = /etc")}
                                   << "the entry \"l\" links outside the output folder";
    QTest::newRow("hard link out") << QStringList{QStringLiteral("h|Hard Link = ../x")}
                                   << "the entry \"h\" links outside the output folder";
    QTest::newRow("file through a zip link")
        << QStringList{QStringLiteral("l|Attributes =  lrwxrwxrwx"), QStringLiteral("l/x")}
        << "the entry \"l/x\" would be written through the link \"l\"";
    QTest::newRow("file over a link") << QStringList{QStringLiteral("l|Symbolic Link = a"), QStringLiteral("l")}
                                      << "the entry \"l\" would be written through the link \"l\"";
    // "d" is the root itself, so "d/.." is its parent, although the text stays inside.
    QTest::newRow("dot-dot past a link")
        << QStringList{QStringLiteral("d|Symbolic Link = ."), QStringLiteral("x|Symbolic Link = d/../etc")}
        << "the entry \"x\" links outside the output folder";
}

void tst_ArchiveListing::problem()
{
    QFETCH(QStringList, entries);
    QFETCH(QString, problem);
    QCOMPARE(ArchiveListing::parse(listing(entries)).problem(), problem);
}

void tst_ArchiveListing::parsesEntriesAfterTheSeparator()
{
    const ArchiveListing parsed = ArchiveListing::parse(
        listing({QStringLiteral("a|Mode = -rw-r--r--|Symbolic Link =|Hard Link ="),
                 QStringLiteral("b|Mode = lrwxrwxrwx|Symbolic Link = a")}));
    QCOMPARE(parsed.entries().size(), std::size_t(2));
    QCOMPARE(parsed.entries()[0].path, QStringLiteral("a"));
    QVERIFY(!parsed.entries()[0].isLink);
    QVERIFY(parsed.entries()[1].isLink);
    QCOMPARE(parsed.entries()[1].linkTarget, QStringLiteral("a"));
}

void tst_ArchiveListing::unpackedLinks_data()
{
    QTest::addColumn<QString>("link");   // relative to the unpacked folder, which holds "images/boot.img"
    QTest::addColumn<QString>("target"); // as stored
    QTest::addColumn<bool>("isSafe");

    QTest::newRow("beside") << "images/current.img" << "boot.img" << true;
    QTest::newRow("up and down, inside") << "images/sub/current.img" << "../boot.img" << true;
    QTest::newRow("to a folder inside") << "all" << "images" << true;
    QTest::newRow("dangling, inside") << "images/next.img" << "later.img" << true;
    QTest::newRow("climbing out") << "images/etc" << "../../etc" << false;
    QTest::newRow("absolute") << "root" << "/" << false;
    // 7z turns a zip link to "/etc/hostname" into one to "<folder>/etc/hostname": once the folder
    // is renamed into place, that target is gone.
    QTest::newRow("absolute into the folder itself") << "hostname" << "@FOLDER@/images/boot.img" << false;
}

void tst_ArchiveListing::unpackedLinks()
{
    QFETCH(QString, link);
    QFETCH(QString, target);
    QFETCH(bool, isSafe);

    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    QDir root(folder.path());
    QVERIFY(root.mkpath(QStringLiteral("images")) && root.mkpath(QFileInfo(link).path()));
    QFile image(root.filePath(QStringLiteral("images/boot.img")));
    QVERIFY(image.open(QIODevice::WriteOnly));
    image.close();
    target.replace(QStringLiteral("@FOLDER@"), root.absolutePath());
    QVERIFY(QFile::link(target, root.filePath(link)));

    const QString problem = ArchiveListing::ofFolder(root.absolutePath()).problem();
    QCOMPARE(problem, isSafe ? QString() : QStringLiteral("the entry \"%1\" links outside the output folder").arg(link));
}

QTEST_GUILESS_MAIN(tst_ArchiveListing)
#include "tst_ArchiveListing.moc"
