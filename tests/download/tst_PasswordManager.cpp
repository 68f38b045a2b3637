// The host password store: lookups, the INI file it loads and saves, and what it never reveals.

#include "core/MessageHandler.h"
#include "download/PasswordManager.h"

#include <QtTest>

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <sys/stat.h>

namespace {

QStringList s_messages; // Qt debug messages and application log lines seen during a test

void recordMessage(QtMsgType, const QMessageLogContext&, const QString& text)
{
    s_messages << text;
}

void writeText(const QString& path, const QByteArray& text)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(file.errorString()));
    QCOMPARE(file.write(text), qint64(text.size()));
}

// A file holding the three keys of the classic example: two addresses and a word.
const QByteArray kStoredFile = "[General]\n"
                               "10.0.0.1=ten-pw\n"
                               "word=nothing\n"
                               "0:0:0:0:0:0:0:1=loop-pw\n";

} // namespace

class tst_PasswordManager : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void loadSkipsKeysThatAreNoAddress();
    void lookup_data();
    void lookup();
    void loadOfAMissingFileKeepsTheEntries();
    void loadReplacesEveryEntry();
    void saveAndLoadRoundTrip();
    void saveReplacesTheFileWholeAndOwnerOnly();
    void saveWritesThroughALink_data();
    void saveWritesThroughALink();
    void unsetHostPassword();
    void clearPasswordsLeavesOnlyNulls();

private:
    QString path(const QString& name) const { return m_dir->filePath(name); }

    std::unique_ptr<QTemporaryDir> m_dir;
    QtMessageHandler m_previousHandler = nullptr;
};

void tst_PasswordManager::initTestCase()
{
    connect(MessageHandler::instance(), &MessageHandler::newLog, this,
            [](LOGLEVEL, const QString&, const QString& text) { s_messages << text; });
}

void tst_PasswordManager::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    s_messages.clear();
    m_previousHandler = qInstallMessageHandler(recordMessage);
}

void tst_PasswordManager::cleanup()
{
    qInstallMessageHandler(m_previousHandler);
    // Whatever a test did, no stored password reached a log.
    for (const QString& secret : {QStringLiteral("ten-pw"), QStringLiteral("loop-pw"), QStringLiteral("s3cret"),
                                  QStringLiteral("plain-pw")}) {
        for (const QString& message : s_messages)
            QVERIFY2(!message.contains(secret), qPrintable(message));
    }
    m_dir.reset();
}

void tst_PasswordManager::loadSkipsKeysThatAreNoAddress()
{
    writeText(path(QStringLiteral("passwords.ini")), kStoredFile);
    PasswordManager store;
    QVERIFY(store.load(path(QStringLiteral("passwords.ini"))));

    QVERIFY(s_messages.contains(QStringLiteral("Invalid address \"word\"")));
    QCOMPARE(s_messages.filter(QStringLiteral("Password for")).size(), 2);
    QCOMPARE(store.getHostPassword(QHostAddress(QStringLiteral("10.0.0.1"))), QStringLiteral("ten-pw"));
    // Stored under the canonical text, found by any spelling of the address.
    QCOMPARE(store.getHostPassword(QHostAddress(QStringLiteral("::1"))), QStringLiteral("loop-pw"));
    QVERIFY(s_messages.contains(QStringLiteral("Encrypted password found for ::1.")));

    // Exactly the two addresses are held: saved, they are all the file has.
    QVERIFY(store.save(path(QStringLiteral("saved.ini"))));
    QSettings saved(path(QStringLiteral("saved.ini")), QSettings::IniFormat);
    QCOMPARE(saved.allKeys().size(), 2);
}

void tst_PasswordManager::lookup_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("expected"); // null: a null string
    QTest::addColumn<QString>("logLine");
    QTest::newRow("own password") << QStringLiteral("192.168.1.1") << QStringLiteral("s3cret")
                                  << QStringLiteral("Encrypted password found for 192.168.1.1.");
    QTest::newRow("empty own password beats the plain one")
        << QStringLiteral("10.0.0.2") << QStringLiteral("")
        << QStringLiteral("Encrypted password found for 10.0.0.2.");
    QTest::newRow("unknown host gets the plain one")
        << QStringLiteral("10.0.0.3") << QStringLiteral("plain-pw")
        << QStringLiteral("Encrypted password not found for 10.0.0.3. Using plain password...");
    QTest::newRow("null address") << QString() << QString() << QStringLiteral("Invalid host password request");
}

void tst_PasswordManager::lookup()
{
    QFETCH(QString, host);
    QFETCH(QString, expected);
    QFETCH(QString, logLine);
    PasswordManager store;
    store.setPlainPassword(QStringLiteral("plain-pw"));
    store.setHostPassword(QHostAddress(QStringLiteral("192.168.1.1")), QStringLiteral("s3cret"));
    store.setHostPassword(QHostAddress(QStringLiteral("10.0.0.2")), QStringLiteral(""));
    store.setHostPassword(QHostAddress(), QStringLiteral("ignored"));

    const QString password = store.getHostPassword(QHostAddress(host));
    QCOMPARE(password, expected);
    QCOMPARE(password.isNull(), expected.isNull());
    QVERIFY2(s_messages.contains(logLine), qPrintable(s_messages.join(QLatin1Char('\n'))));
    QCOMPARE(store.getPlainPassword(), QStringLiteral("plain-pw"));
}

void tst_PasswordManager::loadOfAMissingFileKeepsTheEntries()
{
    PasswordManager store;
    store.setHostPassword(QHostAddress(QStringLiteral("10.0.0.1")), QStringLiteral("ten-pw"));
    QVERIFY(!store.load(path(QStringLiteral("absent.ini"))));
    QCOMPARE(store.getHostPassword(QHostAddress(QStringLiteral("10.0.0.1"))), QStringLiteral("ten-pw"));
}

void tst_PasswordManager::loadReplacesEveryEntry()
{
    writeText(path(QStringLiteral("words.ini")), "[General]\nword=nothing\n");
    PasswordManager store;
    store.setPlainPassword(QStringLiteral("plain-pw"));
    store.setHostPassword(QHostAddress(QStringLiteral("10.0.0.1")), QStringLiteral("ten-pw"));
    QVERIFY(store.load(path(QStringLiteral("words.ini"))));
    QCOMPARE(store.getHostPassword(QHostAddress(QStringLiteral("10.0.0.1"))), QStringLiteral("plain-pw"));
}

void tst_PasswordManager::saveAndLoadRoundTrip()
{
    const QString file = path(QStringLiteral("passwords.ini"));
    {
        PasswordManager store;
        store.setPlainPassword(QStringLiteral("plain-pw"));
        store.setHostPassword(QHostAddress(QStringLiteral("10.0.0.1")), QStringLiteral("ten-pw"));
        store.setHostPassword(QHostAddress(QStringLiteral("0:0:0:0:0:0:0:1")), QStringLiteral("loop-pw"));
        store.setHostPassword(QHostAddress(QStringLiteral("10.0.0.2")), QStringLiteral(""));
        QVERIFY(store.save(file));
    }
    PasswordManager loaded;
    QVERIFY(loaded.load(file));
    QCOMPARE(loaded.getHostPassword(QHostAddress(QStringLiteral("10.0.0.1"))), QStringLiteral("ten-pw"));
    QCOMPARE(loaded.getHostPassword(QHostAddress(QStringLiteral("::1"))), QStringLiteral("loop-pw"));
    const QString empty = loaded.getHostPassword(QHostAddress(QStringLiteral("10.0.0.2")));
    QVERIFY(empty.isEmpty() && !empty.isNull());
    QVERIFY(s_messages.contains(QStringLiteral("Password for \"10.0.0.2\" empty")));
    // The plain password is never written.
    QVERIFY(loaded.getPlainPassword().isNull());
    QVERIFY(loaded.getHostPassword(QHostAddress(QStringLiteral("10.9.9.9"))).isNull());
}

void tst_PasswordManager::saveReplacesTheFileWholeAndOwnerOnly()
{
    const QString file = path(QStringLiteral("passwords.ini"));
    writeText(file, kStoredFile);
    QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup
                                            | QFile::ReadOther));
    PasswordManager store;
    QVERIFY(store.load(file));
    QVERIFY(store.unsetHostPassword(QHostAddress(QStringLiteral("10.0.0.1"))));
    store.setHostPassword(QHostAddress(QStringLiteral("10.0.0.5")), QStringLiteral("s3cret"));
    QVERIFY(store.save(file));

    struct stat status = {};
    QCOMPARE(::stat(qPrintable(file), &status), 0);
    QCOMPARE(status.st_mode & 07777, mode_t(0600));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList{QStringLiteral("passwords.ini")});
    const QSettings saved(file, QSettings::IniFormat);
    // The forgotten host is gone, the new one there; a key that is no address is not ours to drop.
    QStringList keys = saved.allKeys();
    keys.sort();
    QCOMPARE(keys, (QStringList{QStringLiteral("10.0.0.5"), QStringLiteral("::1"), QStringLiteral("word")}));
    QCOMPARE(saved.value(QStringLiteral("10.0.0.5")).toString(), QStringLiteral("s3cret"));

    // A folder that does not exist takes no file: a failure, said as one.
    QVERIFY(!store.save(path(QStringLiteral("no-such-folder/passwords.ini"))));
    QVERIFY(!s_messages.filter(QStringLiteral("Cannot save passwords to")).isEmpty());
}

void tst_PasswordManager::saveWritesThroughALink_data()
{
    QTest::addColumn<QStringList>("links"); // each a link to the next; the last one to real/passwords.ini
    QTest::addColumn<bool>("targetExists");
    QTest::newRow("link to the file") << QStringList{"passwords.ini"} << true;
    QTest::newRow("chain of links") << QStringList{"passwords.ini", "second.ini"} << true;
    QTest::newRow("link to a file not made yet") << QStringList{"passwords.ini"} << false;
}

void tst_PasswordManager::saveWritesThroughALink()
{
    QFETCH(QStringList, links);
    QFETCH(bool, targetExists);
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("real")));
    const QString target = path(QStringLiteral("real/passwords.ini"));
    for (int i = 0; i < links.size(); ++i)
        QVERIFY(QFile::link(i + 1 < links.size() ? links[i + 1] : QStringLiteral("real/passwords.ini"), path(links[i])));
    PasswordManager store;
    if (targetExists) {
        writeText(target, kStoredFile);
        QVERIFY(QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
        QVERIFY(store.load(path(links.first())));
        QVERIFY(store.unsetHostPassword(QHostAddress(QStringLiteral("10.0.0.1"))));
    }
    store.setHostPassword(QHostAddress(QStringLiteral("10.0.0.5")), QStringLiteral("s3cret"));
    QVERIFY(store.save(path(links.first())));

    // The links stay as they were; the file at their end holds the store, owner-only, and nothing else
    // holds a password.
    for (int i = 0; i < links.size(); ++i)
        QVERIFY2(QFileInfo(path(links[i])).isSymLink(), qPrintable(links[i]));
    struct stat status = {};
    QCOMPARE(::lstat(qPrintable(target), &status), 0);
    QVERIFY(S_ISREG(status.st_mode));
    QCOMPARE(status.st_mode & 07777, mode_t(0600));
    const QSettings saved(target, QSettings::IniFormat);
    QVERIFY(!saved.contains(QStringLiteral("10.0.0.1")));
    QCOMPARE(saved.value(QStringLiteral("10.0.0.5")).toString(), QStringLiteral("s3cret"));
    QCOMPARE(QDir(path(QStringLiteral("real"))).entryList(QDir::Files), QStringList{QStringLiteral("passwords.ini")});
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::System).size(), links.size());
}

void tst_PasswordManager::unsetHostPassword()
{
    PasswordManager store;
    const QHostAddress host(QStringLiteral("10.0.0.1"));
    store.setHostPassword(host, QStringLiteral("ten-pw"));
    QVERIFY(store.unsetHostPassword(host));
    QVERIFY(!store.unsetHostPassword(host));
    QVERIFY(!store.unsetHostPassword(QHostAddress()));
}

void tst_PasswordManager::clearPasswordsLeavesOnlyNulls()
{
    PasswordManager store;
    store.setPlainPassword(QStringLiteral("plain-pw"));
    store.setHostPassword(QHostAddress(QStringLiteral("10.0.0.1")), QStringLiteral("ten-pw"));
    store.clearPasswords();
    QVERIFY(store.getHostPassword(QHostAddress(QStringLiteral("10.0.0.1"))).isNull());
    QVERIFY(store.getHostPassword(QHostAddress(QStringLiteral("10.0.0.3"))).isNull());
    QVERIFY(store.getPlainPassword().isNull());
}

QTEST_GUILESS_MAIN(tst_PasswordManager)
#include "tst_PasswordManager.moc"
