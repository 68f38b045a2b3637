#include "LoaderTestKit.h"

#include "loader/FileManager2.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <chrono>
#include <future>

// What a path holds, the names derived from it, and the removal of folder trees and caches.
class tst_FileManager2 : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void fileType_data();
    void fileType();
    void expectedFileTypes_data();
    void expectedFileTypes();
    void fifoIsJudgedWithoutOpeningIt();
    void namesAndSizes();
    void getFilesKeepsWantedKinds();
    void removeDirNeverFollowsLinks();
    void deleteUnzippedDirectories();
    void deleteUnsedCachedFiles();
    void sizeOfDir();

private:
    QString write(const QString& name, const QByteArray& content = "x");

    std::unique_ptr<QTemporaryDir> m_dir;
};

namespace {

// Sets the last-read time of a file to `daysAgo` days before now.
void setLastRead(const QString& path, int daysAgo)
{
    const qint64 when = QDateTime::currentDateTime().addDays(-daysAgo).toSecsSinceEpoch();
    struct utimbuf times;
    times.actime = static_cast<time_t>(when);
    times.modtime = static_cast<time_t>(when);
    ::utime(QFile::encodeName(path).constData(), &times);
}

} // namespace

void tst_FileManager2::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

QString tst_FileManager2::write(const QString& name, const QByteArray& content)
{
    const QString path = m_dir->filePath(name);
    writeTextFile(path, content);
    return path;
}

void tst_FileManager2::fileType_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content"); // null: a folder
    QTest::addColumn<int>("type");

    const QByteArray head = "<flashfile>";
    QTest::newRow("folder") << "folder.zip" << QByteArray() << int(FileManager2::Directory);
    QTest::newRow("zip") << "build.ZIP" << QByteArray("PK") << int(FileManager2::ArchiveFile);
    QTest::newRow("tgz") << "x.tgz" << QByteArray("x") << int(FileManager2::ArchiveFile);
    QTest::newRow("tar.gz") << "a.b.TAR.GZ" << QByteArray("x") << int(FileManager2::ArchiveFile);
    QTest::newRow("lone gz") << "data.gz" << QByteArray("x") << int(FileManager2::OtherFile);
    QTest::newRow("text") << "notes.txt" << QByteArray("x") << int(FileManager2::OtherFile);
    QTest::newRow("no suffix") << "README" << QByteArray("x") << int(FileManager2::OtherFile);
    QTest::newRow("xml head") << "flash.XML" << head << int(FileManager2::FlashFile);
    QTest::newRow("xml head with version 1.0")
        << "a.xml" << QByteArray("<flashfile version='1.0'>") << int(FileManager2::FlashFile);
    QTest::newRow("xml declaration in both quote styles")
        << "a.xml"
        << QByteArray("  <?xml version=\"1.0\" encoding='UTF-8' standalone=\"yes\"?>\n<flashfile version=\"1\">")
        << int(FileManager2::FlashFile);
    QTest::newRow("xml version 1.1") << "a.xml" << QByteArray("<flashfile version=\"1.1\">")
                                     << int(FileManager2::OtherFile);
    QTest::newRow("xml blank before >") << "a.xml" << QByteArray("<flashfile >") << int(FileManager2::OtherFile);
    QTest::newRow("xml other attribute") << "a.xml" << QByteArray("<flashfile id=\"x\">")
                                         << int(FileManager2::OtherFile);
    QTest::newRow("xml comment first") << "a.xml" << QByteArray("<!-- c --><flashfile>")
                                       << int(FileManager2::OtherFile);
    QTest::newRow("xml byte-order mark") << "a.xml" << QByteArray("\xEF\xBB\xBF<flashfile>")
                                         << int(FileManager2::OtherFile);
    QTest::newRow("json flash") << "f.json" << QByteArray(R"({"flash": {}})") << int(FileManager2::FlashFile);
    QTest::newRow("json hardwares") << "h.json" << QByteArray(R"({"hardwares": {}})")
                                    << int(FileManager2::HardwaresJsonFile);
    QTest::newRow("json both") << "b.json" << QByteArray(R"({"flash": {}, "hardwares": {}})")
                               << int(FileManager2::OtherFile);
    QTest::newRow("json flash list") << "l.json" << QByteArray(R"({"flash": []})") << int(FileManager2::OtherFile);
    QTest::newRow("json broken") << "x.json" << QByteArray("{") << int(FileManager2::OtherFile);
    QTest::newRow("json flash null") << "n.json" << QByteArray(R"({"flash": null})") << int(FileManager2::OtherFile);
    QTest::newRow("json hardwares beside a null flash") << "n.json" << QByteArray(R"({"flash": null, "hardwares": {}})")
                                                        << int(FileManager2::OtherFile);
    QTest::newRow("json root list") << "r.json" << QByteArray(R"([{"flash": {}}])") << int(FileManager2::OtherFile);
    QTest::newRow("json broken deep inside") << "d.json" << QByteArray(R"({"flash": {"c": [{"a": tru}]}})")
                                             << int(FileManager2::OtherFile);
    QTest::newRow("json bad UTF-8 deep inside") << "u.json" << QByteArray("{\"flash\": {\"c\": [\"\xff\"]}}")
                                                << int(FileManager2::OtherFile);
    QTest::newRow("json escapes deep inside") << "e.json" << QByteArray(R"({"flash": {"c\u0041": ["\n\u00e9"]}})")
                                              << int(FileManager2::FlashFile);
    QTest::newRow("token group 6") << "t.pcd" << QByteArray("<datagroup name=\"n\" id=\"6\">")
                                   << int(FileManager2::PcdGroup6File);
    QTest::newRow("token group 20") << "t.pcd" << QByteArray("<x/><datagroup id=\"20\" >")
                                    << int(FileManager2::PcdUpperGroupFile);
    QTest::newRow("token group 10") << "t.pcd" << QByteArray("<datagroup id=\"10\">") << int(FileManager2::OtherFile);
    QTest::newRow("token group 30") << "t.pcd" << QByteArray("<datagroup id=\"30\">") << int(FileManager2::OtherFile);
    QTest::newRow("token id in single quotes skipped")
        << "t.pcd" << QByteArray("<datagroup id='6'><datagroup id=\"20\">") << int(FileManager2::PcdUpperGroupFile);
    QTest::newRow("token id low 16 bits") << "t.pcd" << QByteArray("<datagroup id=\"65542\">")
                                          << int(FileManager2::PcdGroup6File);
    QTest::newRow("token id too large") << "t.pcd" << QByteArray("<datagroup id=\"99999999999\">")
                                        << int(FileManager2::OtherFile);
    QTest::newRow("token without group") << "t.pcd" << QByteArray("<token/>") << int(FileManager2::OtherFile);
}

void tst_FileManager2::fileType()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(int, type);

    const QString path = content.isNull() ? m_dir->filePath(name) : write(name, content);
    if (content.isNull())
        QVERIFY(QDir().mkpath(path));
    QCOMPARE(int(FileManager2::getFileType(path)), type);
}

void tst_FileManager2::expectedFileTypes_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("types");

    QTest::newRow("zip") << "a/b.zip" << 32;
    QTest::newRow("tar.gz") << "x.TAR.gz" << 32;
    QTest::newRow("gz") << "x.gz" << 2;
    QTest::newRow("TGZ") << "x.TGZ" << 34;
    QTest::newRow("xml") << "flash.xml" << 66;
    QTest::newRow("json") << "flash.json" << 82;
    QTest::newRow("pcd") << "t.pcd" << 14;
    QTest::newRow("folder") << "some/folder/" << 1;
    QTest::newRow("query after the name") << "http://host/a.zip?x=1" << 2;
    QTest::newRow("no suffix") << "README" << 2;
}

void tst_FileManager2::expectedFileTypes()
{
    QFETCH(QString, name);
    QFETCH(int, types);
    QCOMPARE(int(FileManager2::getExpectedFileTypes(m_dir->filePath(QStringLiteral("missing/")) + name)), types);

    // An existing file gets exactly its real kind...
    QCOMPARE(int(FileManager2::getExpectedFileTypes(write(QStringLiteral("plain.xml"), "<other/>"))),
             int(FileManager2::OtherFile));
    QCOMPARE(int(FileManager2::getExpectedFileTypes(write(QStringLiteral("settings.json"), "{\"volume\": 3}"))),
             int(FileManager2::OtherFile));
    // ...but a ".json" file that is no JSON has none: its name decides, so the loader can say why.
    QCOMPARE(int(FileManager2::getExpectedFileTypes(write(QStringLiteral("broken.json"), "{\"flash\": }"))), 82);
}

void tst_FileManager2::fifoIsJudgedWithoutOpeningIt()
{
    // Named like each kind whose content is read: opening the FIFO would wait for a writer forever.
    for (const QString& name : {QStringLiteral("f.json"), QStringLiteral("f.xml"), QStringLiteral("f.pcd"),
                                QStringLiteral("f.zip")}) {
        const QString fifo = m_dir->filePath(name);
        QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        auto judged = std::async(std::launch::async, [fifo] { return FileManager2::getFileType(fifo); });
        if (judged.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
            ::close(::open(QFile::encodeName(fifo).constData(), O_WRONLY)); // lets the blocked open return
            judged.wait();
            QFAIL(qPrintable(QStringLiteral("%1: the FIFO was opened").arg(name)));
        }
        QCOMPARE(int(judged.get()), int(FileManager2::OtherFile));
        QCOMPARE(int(FileManager2::getExpectedFileTypes(fifo)), int(FileManager2::OtherFile));
    }
}

void tst_FileManager2::namesAndSizes()
{
    QCOMPARE(FileManager2::getFileBaseName(QStringLiteral("/data/a.b.zip")), QStringLiteral("a.b"));
    QCOMPARE(FileManager2::getFileBaseName(QStringLiteral("x.tar.gz")), QStringLiteral("x"));
    QCOMPARE(FileManager2::getFileBaseName(QStringLiteral("x.TAR.GZ")), QStringLiteral("x.TAR"));
    QCOMPARE(FileManager2::getFileBaseName(QStringLiteral("dir/flash.xml")), QStringLiteral("flash"));
    QCOMPARE(FileManager2::getFileBaseName(QStringLiteral("README")), QStringLiteral("README"));
    QCOMPARE(FileManager2::getFileBaseName(QStringLiteral(".hidden")), QString());
    QCOMPARE(FileManager2::getFileFolder(QStringLiteral("rel/x.zip")).path(), QDir::current().filePath(QStringLiteral("rel")));
    QCOMPARE(FileManager2::getUnpackFolder(QStringLiteral("/data/x.tar.gz")), QStringLiteral("/data/x"));

    QCOMPARE(FileManager2::convertBytesToHumanReadableSize(0, 2), QStringLiteral("0.00 bytes"));
    QCOMPARE(FileManager2::convertBytesToHumanReadableSize(1023, 2), QStringLiteral("1023.00 bytes"));
    QCOMPARE(FileManager2::convertBytesToHumanReadableSize(1024, 2), QStringLiteral("1.00 kB"));
    QCOMPARE(FileManager2::convertBytesToHumanReadableSize(1048575, 2), QStringLiteral("1024.00 kB"));
    QCOMPARE(FileManager2::convertBytesToHumanReadableSize(uint64_t(1) << 60, 2), QStringLiteral("1024.00 PB"));
    QCOMPARE(FileManager2::convertBytesToHumanReadableSize(1536, 0), QStringLiteral("2 kB"));
}

void tst_FileManager2::getFilesKeepsWantedKinds()
{
    write(QStringLiteral("b.json"), R"({"flash": {}})");
    write(QStringLiteral("A.xml"), "<flashfile>");
    write(QStringLiteral("c.zip"));
    write(QStringLiteral(".hidden.json"), R"({"flash": {}})");
    write(QStringLiteral("other.txt"));
    QCOMPARE(FileManager2::getFiles(m_dir->path(), FileManager2::FlashFile),
             (QStringList{QStringLiteral("A.xml"), QStringLiteral("b.json")}));
    QCOMPARE(FileManager2::getFiles(m_dir->path(), FileManager2::FlashFile | FileManager2::ArchiveFile).size(), 3);
    QCOMPARE(FileManager2::getFiles(m_dir->filePath(QStringLiteral("missing")), FileManager2::FlashFile),
             QStringList());
}

void tst_FileManager2::removeDirNeverFollowsLinks()
{
    QTemporaryDir outside;
    const QString kept = outside.filePath(QStringLiteral("kept.txt"));
    writeTextFile(kept, "kept");
    const QString tree = m_dir->filePath(QStringLiteral("tree"));
    write(QStringLiteral("tree/sub/readonly.txt"));
    QFile::setPermissions(m_dir->filePath(QStringLiteral("tree/sub/readonly.txt")), QFile::ReadOwner);
    write(QStringLiteral("tree/.hidden"));
    QVERIFY(QFile::link(outside.path(), tree + QStringLiteral("/outside-folder")));
    QVERIFY(QFile::link(kept, tree + QStringLiteral("/sub/outside-file")));
    QVERIFY(QFile::link(m_dir->filePath(QStringLiteral("nowhere")), tree + QStringLiteral("/dangling")));

    QVERIFY(FileManager2::removeDir(tree, false));
    QVERIFY(QDir(tree).exists());
    QCOMPARE(QDir(tree).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
             QStringList());
    QVERIFY(QFile::exists(kept));

    // A link given as the folder to remove goes alone.
    const QString link = m_dir->filePath(QStringLiteral("link"));
    QVERIFY(QFile::link(outside.path(), link));
    QVERIFY(FileManager2::removeDir(link, true));
    QVERIFY(!QFileInfo(link).isSymLink());
    QVERIFY(QFile::exists(kept));

    QVERIFY(FileManager2::removeDir(tree, true));
    QVERIFY(!QFileInfo::exists(tree));
    QVERIFY(FileManager2::removeDir(m_dir->filePath(QStringLiteral("missing")), true));
}

void tst_FileManager2::deleteUnzippedDirectories()
{
    write(QStringLiteral("a.zip"));
    write(QStringLiteral("a/flash.xml"));
    write(QStringLiteral("my.zipfile.zip"));
    write(QStringLiteral("my.zipfile/x"));
    write(QStringLiteral("myfile/x"));
    write(QStringLiteral("deep/b.zip"));
    write(QStringLiteral("deep/b/x"));
    write(QStringLiteral("deep/keep/x"));
    FileManager2::deleteUnzippedDirectories(m_dir->path());
    QVERIFY(QFile::exists(m_dir->filePath(QStringLiteral("a.zip"))));
    QVERIFY(!QFileInfo::exists(m_dir->filePath(QStringLiteral("a"))));
    QVERIFY(!QFileInfo::exists(m_dir->filePath(QStringLiteral("my.zipfile"))));
    QVERIFY(QFileInfo::exists(m_dir->filePath(QStringLiteral("myfile/x"))));
    QVERIFY(!QFileInfo::exists(m_dir->filePath(QStringLiteral("deep/b"))));
    QVERIFY(QFileInfo::exists(m_dir->filePath(QStringLiteral("deep/keep/x"))));
}

void tst_FileManager2::deleteUnsedCachedFiles()
{
    // Old archive, but a flash file of its folder was read yesterday: both stay.
    setLastRead(write(QStringLiteral("cache/recent.zip")), 10);
    setLastRead(write(QStringLiteral("cache/recent/flash.xml")), 1);
    // Old archive and old folder: both go, and the folder "old" left empty goes too.
    setLastRead(write(QStringLiteral("cache/old/stale.zip")), 10);
    setLastRead(write(QStringLiteral("cache/old/stale/flash.xml")), 10);
    // Loose files stay whatever their age.
    setLastRead(write(QStringLiteral("cache/loose.json")), 30);

    QVERIFY(FileManager2::deleteUnsedCachedFiles(m_dir->filePath(QStringLiteral("cache")), 7));
    QVERIFY(QFile::exists(m_dir->filePath(QStringLiteral("cache/recent.zip"))));
    QVERIFY(QFile::exists(m_dir->filePath(QStringLiteral("cache/recent/flash.xml"))));
    QVERIFY(!QFileInfo::exists(m_dir->filePath(QStringLiteral("cache/old"))));
    QVERIFY(QFile::exists(m_dir->filePath(QStringLiteral("cache/loose.json"))));

    QVERIFY(FileManager2::deleteUnsedCachedFiles(m_dir->filePath(QStringLiteral("cache")), 0));
    QVERIFY(QDir(m_dir->filePath(QStringLiteral("cache"))).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    QVERIFY(QFileInfo(m_dir->filePath(QStringLiteral("cache"))).isDir());

    // A walk that leaves the top folder empty removes it.
    setLastRead(write(QStringLiteral("cache/gone.zip")), 10);
    QVERIFY(FileManager2::deleteUnsedCachedFiles(m_dir->filePath(QStringLiteral("cache")), 7));
    QVERIFY(!QFileInfo::exists(m_dir->filePath(QStringLiteral("cache"))));
}

void tst_FileManager2::sizeOfDir()
{
    write(QStringLiteral("size/a"), "1234");
    write(QStringLiteral("size/sub/b"), "12");
    write(QStringLiteral("size/.hidden"), "123456789");
    QVERIFY(QFile::link(m_dir->filePath(QStringLiteral("size")), m_dir->filePath(QStringLiteral("size/loop"))));
    QCOMPARE(FileManager2::getSizeOfdir(m_dir->filePath(QStringLiteral("size"))),
             int64_t(6) + QFileInfo(m_dir->filePath(QStringLiteral("size/loop"))).size());
}

QTEST_GUILESS_MAIN(tst_FileManager2)
#include "tst_FileManager2.moc"
