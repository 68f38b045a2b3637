#include "loader/ToolConst.h"
#include "core/FMConst.h"
#include "core/MessageHandler.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <functional>

using Setter = std::function<void()>;
Q_DECLARE_METATYPE(Setter)

namespace {

QByteArray contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class tst_ToolConst : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void firstLoadWritesEveryDefault();
    void secondLoadChangesNothing();
    void storedValuesAreLoaded();
    void outOfRangeValues();
    void settersWriteAtOnce_data();
    void settersWriteAtOnce();
    void downloadDirIsMadeAbsolute();
    void helpUrlBesideTheExecutable();

private:
    QString optionFile() const { return m_home->filePath(QStringLiteral(".flasher/.quillonlite.opt")); }
    void writeOptions(const QMap<QString, QVariant>& values);
    QVariant stored(const QString& key) const;

    QTemporaryDir m_fakes;   // fake adb, fastboot, dfu-util: the only programs on PATH
    std::unique_ptr<QTemporaryDir> m_home;
    QByteArray m_systemHome;
    QByteArray m_systemPath;
};

void tst_ToolConst::initTestCase()
{
    QVERIFY(m_fakes.isValid());
    for (const char* name : {"adb", "fastboot", "dfu-util"}) {
        QFile tool(m_fakes.filePath(QLatin1String(name)));
        QVERIFY(tool.open(QIODevice::WriteOnly));
        tool.write("#!/bin/sh\nexit 0\n");
        tool.close();
        QVERIFY(tool.setPermissions(tool.permissions() | QFileDevice::ExeOwner));
    }
    m_systemHome = qgetenv("HOME");
    m_systemPath = qgetenv("PATH");
    qputenv("PATH", m_fakes.path().toLocal8Bit());
}

void tst_ToolConst::init()
{
    // A fresh, empty home for every test: nothing of the user's settings is read or touched.
    m_home = std::make_unique<QTemporaryDir>();
    QVERIFY(m_home->isValid());
    qputenv("HOME", m_home->path().toLocal8Bit());
    FMConst::resetToDefaults();
    ToolConst::resetToDefaults();
    MessageHandler::instance()->setLogLevel(LOGLEVEL::INFO);
}

void tst_ToolConst::cleanupTestCase()
{
    qputenv("HOME", m_systemHome);
    qputenv("PATH", m_systemPath);
}

void tst_ToolConst::writeOptions(const QMap<QString, QVariant>& values)
{
    QSettings settings(optionFile(), QSettings::IniFormat);
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        settings.setValue(it.key(), it.value());
}

QVariant tst_ToolConst::stored(const QString& key) const
{
    return QSettings(optionFile(), QSettings::IniFormat).value(key);
}

void tst_ToolConst::firstLoadWritesEveryDefault()
{
    QVERIFY(!QFile::exists(optionFile()));
    ToolConst::Init();

    const QString flasher = m_home->filePath(QStringLiteral(".flasher"));
    const QMap<QString, QString> expected{
        {"LOGLEVEL", "3"},
        {"defaultDirForCustomPanel", flasher + "/.download"},
        {"StrOptCacheDir", flasher + "/.configs"},
        {"StrOptDownloadDir", flasher + "/.download"},
        {"OVERRIDE_GP_FLAG", "false"},
        {"GP_FLAG", "0x80000045"},
        {"AutoReloadLocalTabSettings", "false"},
        {"DisplaySystrayNotification", "true"},
        {"DisplayDocumentationPopup", "true"},
        {"LatestBackupFile", ""},
        {"LatestFactoryBackupDir", ""},
        {"LatestZIPFileInLocal", "none"},
        {"LatestXmlFileInLocal", "none"},
        {"ALWAYS_UNZIP_FLAG", "true"},
        {"REMOVE_UNZIPPED_DIR_FLAG", "false"},
        {"REMOVE_HISTORY_FLAG", "true"},
        {"REMOVE_HISTORY_ASK", "true"},
        {"REMOVE_HISTORY_AGE", "14"},
        {"SCAN_USB_DEVICES_ON_PLUG", "true"},
        {"FlashLogResultEnabled", "false"},
        {"FlashLogDirectory", flasher + "/.log"},
        {"FlashLogResultFileName", "${year}-${month}/${day}/${serial}_${24h}-${minute}-${second}.xml"},
        {"FlashLogResultContent", FMConst::defaultFlashLogResultContent},
        {"FlashLogResultAppendFile", "false"},
        {"FlashLogAllFile", "false"},
        {"FlashLogAllFileName", "${year}-${month}/${day}/${24h}-${minute}-${second}.log"},
        {"DownloadThreadQuantity", QString::number(QThread::idealThreadCount() & 0xff)},
        {"USB_MAP_FILE", ""},
        {"USB_MAP_ENABLED", "false"},
        {"FORCE_FASTBOOT_SPARSING", "false"},
        {"FASTBOOT_SPARSING_SIZE", "100"},
        {"FORCE_FASTBOOT_VENDOR_ID", "false"},
        {"FASTBOOT_VENDOR_ID", "0x8087"},
        {"COMMAND_DELAY", "0"},
        {"TOOL_BEHAVIOR", "1"},
        {"UserCommandsTemplateFolder", flasher + "/templates"},
    };
    QCOMPARE(expected.size(), 36);

    QSettings settings(optionFile(), QSettings::IniFormat);
    QStringList keys = settings.allKeys();
    keys.sort();
    QCOMPARE(keys, QStringList(expected.keys()));
    for (auto it = expected.cbegin(); it != expected.cend(); ++it)
        QVERIFY2(settings.value(it.key()).toString() == it.value(), qPrintable(it.key()));

    // The values in use are the defaults, and the tools file got the programs found on PATH.
    QCOMPARE(ToolConst::onUsingDownloadDirName, flasher + "/.download");
    QCOMPARE(FMConst::logDirectory_, flasher + "/.log");
    QCOMPARE(MessageHandler::instance()->getLogLevel(), LOGLEVEL::INFO);
    QCOMPARE(FMConst::AdbCmd(), m_fakes.filePath(QStringLiteral("adb")));
    QCOMPARE(QSettings(flasher + "/.externalTools.opt", QSettings::IniFormat)
                 .value(QStringLiteral("Tools/fastboot"))
                 .toString(),
             m_fakes.filePath(QStringLiteral("fastboot")));
}

void tst_ToolConst::secondLoadChangesNothing()
{
    ToolConst::Init();
    const QByteArray first = contentOf(optionFile());
    QVERIFY(!first.isEmpty());

    ToolConst::Init();
    QCOMPARE(contentOf(optionFile()), first);
}

void tst_ToolConst::storedValuesAreLoaded()
{
    writeOptions({{"LOGLEVEL", 4},
                  {"StrOptDownloadDir", QString("")},
                  {"USB_MAP_ENABLED", true},
                  {"USB_MAP_FILE", QString("")},
                  {"SCAN_ON_PLUG_DELAY", 750u},
                  {"Latin1ComparisonForFastbootEnabled", true},
                  {"COMMAND_DELAY", QString("5000000000")},
                  {"FASTBOOT_VENDOR_ID", QString("0x18d1")},
                  {"defaultDirForCustomPanel", QString("/data/panels")},
                  {"TOOL_BEHAVIOR", 7},
                  {"AutoReloadEditorTabSettings", false}});
    ToolConst::Init();

    QCOMPARE(MessageHandler::instance()->getLogLevel(), LOGLEVEL::DEBUG);
    QCOMPARE(stored("LOGLEVEL").toInt(), 4);
    // An empty value is a value: the default is not taken.
    QCOMPARE(ToolConst::onUsingDownloadDirName, QString(""));
    QCOMPARE(stored("StrOptDownloadDir").toString(), QString(""));
    // An enabled map without a file is off for the run; the file keeps saying true.
    QVERIFY(!FMConst::USB_MAP_ENABLED);
    QCOMPARE(stored("USB_MAP_ENABLED").toBool(), true);
    QCOMPARE(FMConst::SCAN_ON_PLUG_DELAY, 750u);
    QCOMPARE(FMConst::SCAN_ON_UNPLUG_DELAY, 100u);
    QVERIFY(FMConst::bLatin1ComparisonForFastbootEnabled);
    QCOMPARE(FMConst::COMMAND_DELAY, uint64_t(5000000000ULL));
    QCOMPARE(FMConst::FASTBOOT_VENDOR_ID, QStringLiteral("0x18d1"));
    QCOMPARE(ToolConst::defaultCustomPanelDirName, QStringLiteral("/data/panels"));
    QCOMPARE(ToolConst::TOOL_BEHAVIOR, 7);
    // Not loaded at start: the editor flag keeps its default.
    QVERIFY(ToolConst::RELOAD_EDITOR_TAB_SETTINGS);
    // Read only when present, never written back.
    QVERIFY(!QSettings(optionFile(), QSettings::IniFormat).contains("SCAN_ON_UNPLUG_DELAY"));
}

void tst_ToolConst::outOfRangeValues()
{
    writeOptions({{"LOGLEVEL", 9}, {"DownloadThreadQuantity", 300}, {"REMOVE_HISTORY_AGE", "soon"}});
    QSignalSpy logs(MessageHandler::instance(), &MessageHandler::newLog);

    ToolConst::Init();

    // A level outside 0..5 becomes TRACE, with a warning; the count keeps its low 8 bits.
    QCOMPARE(MessageHandler::instance()->getLogLevel(), LOGLEVEL::TRACE);
    bool warned = false;
    for (const QList<QVariant>& arguments : logs)
        warned |= arguments.at(0).value<LOGLEVEL>() == LOGLEVEL::WARNING;
    QVERIFY(warned);
    QCOMPARE(int(ToolConst::parallelDownloads_), 44);
    QCOMPARE(FMConst::REMOVE_HISTORY_AGE, 0);
    QCOMPARE(stored("LOGLEVEL").toInt(), 9);
}

void tst_ToolConst::settersWriteAtOnce_data()
{
    QTest::addColumn<Setter>("setter");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");

    QTest::newRow("latest backup") << Setter([] { ToolConst::setLatestBackupFile("/b/x.ab"); })
                                   << "LatestBackupFile" << "/b/x.ab";
    QTest::newRow("factory backup") << Setter([] { ToolConst::setLatestFactoryBackupDir("/b/f"); })
                                    << "LatestFactoryBackupDir" << "/b/f";
    QTest::newRow("latest archive")
        << Setter([] { ToolConst::setLatestSelectedFileInLocal("/f/a.zip", "/f/flash.json"); })
        << "LatestZIPFileInLocal" << "/f/a.zip";
    QTest::newRow("latest flash file")
        << Setter([] { ToolConst::setLatestSelectedFileInLocal("/f/a.zip", "/f/flash.json"); })
        << "LatestXmlFileInLocal" << "/f/flash.json";
    QTest::newRow("editor reload") << Setter([] { ToolConst::setReloadFlashEditorContextEnabled(false); })
                                   << "AutoReloadEditorTabSettings" << "false";
    QTest::newRow("documentation popup")
        << Setter([] { ToolConst::setDisplayDocumentationPopupEnabled(false); })
        << "DisplayDocumentationPopup" << "false";
    QTest::newRow("notifications") << Setter([] { ToolConst::setDisplaySystrayNotificationEnabled(false); })
                                   << "DisplaySystrayNotification" << "false";
    QTest::newRow("log level") << Setter([] { ToolConst::setDefaultLogLevel(5); }) << "LOGLEVEL" << "5";
    QTest::newRow("custom panel") << Setter([] { ToolConst::setDefaultDirForCustomPanel("/p"); })
                                  << "defaultDirForCustomPanel" << "/p";
    QTest::newRow("parallel downloads") << Setter([] { ToolConst::setParallelDownloads(6); })
                                        << "DownloadThreadQuantity" << "6";
    QTest::newRow("scan on plug") << Setter([] { ToolConst::setScanOnPlugEnabled(false); })
                                  << "SCAN_USB_DEVICES_ON_PLUG" << "false";
    QTest::newRow("result enabled") << Setter([] { ToolConst::setFlashLogResultEnabled(true); })
                                    << "FlashLogResultEnabled" << "true";
    QTest::newRow("log directory") << Setter([] { ToolConst::setLogDirectory("/logs"); })
                                   << "FlashLogDirectory" << "/logs";
    QTest::newRow("result name")
        << Setter([] { ToolConst::setFlashLogResultFileNamePattern("${serial}.xml"); })
        << "FlashLogResultFileName" << "${serial}.xml";
    QTest::newRow("result content")
        << Setter([] { ToolConst::setFlashLogResultContent("<R>${status}</R>\n, \"x\""); })
        << "FlashLogResultContent" << "<R>${status}</R>\n, \"x\"";
    QTest::newRow("result append") << Setter([] { ToolConst::setFlashLogResultAppend(true); })
                                   << "FlashLogResultAppendFile" << "true";
    QTest::newRow("application log name")
        << Setter([] { ToolConst::setApplicationLog(true, "${day}.log"); }) << "FlashLogAllFileName"
        << "${day}.log";
    QTest::newRow("application log on") << Setter([] { ToolConst::setApplicationLog(true, "${day}.log"); })
                                        << "FlashLogAllFile" << "true";
    QTest::newRow("default variant") << Setter([] { ToolConst::setDefaultVariant("userdebug"); })
                                     << "DefaultVariantSelection" << "userdebug";
    QTest::newRow("templates") << Setter([] { ToolConst::setUserCommandTemplatesDirectory("/t"); })
                               << "UserCommandsTemplateFolder" << "/t";
    QTest::newRow("history question")
        << Setter([] { ToolConst::setRemoveHistoryQuestionEnabled(false); }) << "REMOVE_HISTORY_ASK"
        << "false";
    QTest::newRow("history") << Setter([] { ToolConst::setRemoveHistoryEnabled(false); })
                             << "REMOVE_HISTORY_FLAG" << "false";
}

void tst_ToolConst::settersWriteAtOnce()
{
    QFETCH(Setter, setter);
    QFETCH(QString, key);
    QFETCH(QString, value);
    ToolConst::Init();
    // Another settings object stays open on the same file, as the options dialog keeps one.
    QSettings dialog(optionFile(), QSettings::IniFormat);

    setter();

    QCOMPARE(stored(key).toString(), value);
    dialog.sync();
    QCOMPARE(dialog.value(key).toString(), value);

    // The next load takes what the setter wrote.
    ToolConst::Init();
    QCOMPARE(stored(key).toString(), value);
}

void tst_ToolConst::downloadDirIsMadeAbsolute()
{
    ToolConst::setDownloadDir(QStringLiteral("downloads/../cache"));
    const QString expected = QDir::current().absoluteFilePath(QStringLiteral("cache"));
    QCOMPARE(ToolConst::onUsingDownloadDirName, expected);
    QCOMPARE(stored("StrOptDownloadDir").toString(), expected);

    // A folder written for the custom panel is what the next load gives.
    ToolConst::setDefaultDirForCustomPanel(QStringLiteral("/panels"));
    ToolConst::Init();
    QCOMPARE(ToolConst::defaultCustomPanelDirName, QStringLiteral("/panels"));
    QCOMPARE(ToolConst::onUsingDownloadDirName, expected);
}

void tst_ToolConst::helpUrlBesideTheExecutable()
{
    const QDir appDir(QCoreApplication::applicationDirPath());
    const QString docFolder = appDir.absoluteFilePath(QStringLiteral("../doc"));
    const QString expected = QFileInfo::exists(docFolder)
                                 ? QDir(docFolder).absoluteFilePath("Quillon_Lite_User_Guide.pdf")
                                 : appDir.absoluteFilePath("Quillon_Lite_User_Guide.pdf");
    QCOMPARE(ToolConst::getHelpURL(), QDir::cleanPath(expected));
    QCOMPARE(ToolConst::getHelpURL(), QDir::cleanPath(expected));
}

QTEST_GUILESS_MAIN(tst_ToolConst)
#include "tst_ToolConst.moc"
