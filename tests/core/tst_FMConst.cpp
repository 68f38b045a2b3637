#include "core/FMConst.h"
#include "core/MessageHandler.h"
#include "loader/ExternalToolManager.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <type_traits>

// The window switches the downloader's mode (on-demand mode) while flash threads read it.
static_assert(std::is_same<decltype(FMConst::USE_DRAVIK_SOLO), std::atomic<bool>>::value
                  && std::is_same<decltype(FMConst::USE_DRAVIK_EXTERNAL), std::atomic<bool>>::value,
              "the downloader switches are shared between threads");

namespace {

// Writes an executable shell script `name` into `dir` and returns its path.
QString writeFakeTool(const QTemporaryDir& dir, const QString& name)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    file.write("#!/bin/sh\nexit 0\n");
    file.close();
    file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
    return path;
}

QString besideExecutable(const QString& name)
{
    return QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(name);
}

} // namespace

class tst_FMConst : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void startsWithItsDefaults();
    void ipRangeText_data();
    void ipRangeText();

    void defaultPathsFollowPath();
    void defaultPathsUseInstalledPrograms();
    void defaultPathPrefersProgramBesideExecutable();
    void setToolNeedsAnExecutable_data();
    void setToolNeedsAnExecutable();
    void toolsFileIsRepairedOnLoad();

private:
    QTemporaryDir m_fakes;     // fake adb, fastboot, dfu-util, 7z: the only programs on PATH
    QTemporaryDir m_work;
    QByteArray m_systemPath;
};

void tst_FMConst::initTestCase()
{
    QVERIFY(m_fakes.isValid() && m_work.isValid());
    for (const char* name : {"adb", "fastboot", "dfu-util", "7z"})
        QVERIFY(!writeFakeTool(m_fakes, QLatin1String(name)).isEmpty());
    m_systemPath = qgetenv("PATH");
    // Nothing beside the test executable may hide what PATH holds.
    for (const char* name : {"adb", "fastboot", "dfu-util", "7z"})
        QVERIFY2(!QFile::exists(besideExecutable(QLatin1String(name))), name);
}

void tst_FMConst::init()
{
    qputenv("PATH", m_fakes.path().toLocal8Bit());
    FMConst::resetToDefaults();
}

void tst_FMConst::cleanup()
{
    qputenv("PATH", m_systemPath);
    FMConst::resetToDefaults();
}

void tst_FMConst::startsWithItsDefaults()
{
    QCOMPARE(FMConst::deviceEthernetIpRange(), QStringLiteral("192.168.42.1-2"));
    QCOMPARE(FMConst::deviceEthernetIpRange(), FMConst::defaultDeviceEthernetIpRange);
    QCOMPARE(FMConst::logDirectory_, QDir::home().absoluteFilePath(QStringLiteral(".flasher/.log")));
    QCOMPARE(FMConst::defaultExternalToolsSettingsFileName,
             QDir::home().absoluteFilePath(QStringLiteral(".flasher/.externalTools.opt")));
    QVERIFY(FMConst::flashLogResultContent_.startsWith(
        QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<LOG>\n<TIMESTAMP>")));
    QVERIFY(FMConst::flashLogResultContent_.endsWith(QStringLiteral("</SOFTWARE_VER>\n</LOG>")));
    QCOMPARE(FMConst::USER_GP_FLAG, QStringLiteral("0x80000045"));
    QCOMPARE(FMConst::getTool(QStringLiteral("adb")), QString());
}

void tst_FMConst::ipRangeText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("range");     // the range afterwards; the old one when refused
    QTest::addColumn<QString>("reason");    // end of the DEBUG line of a refusal

    const QString unchanged = QStringLiteral("192.168.42.1-2");
    QTest::newRow("single address") << "192.168.42.7" << "192.168.42.7-7" << QString();
    QTest::newRow("range") << "192.168.42.1-2" << "192.168.42.1-2" << QString();
    QTest::newRow("class C network") << "192.168.42.0-2" << unchanged
                                     << " (broadcast or network IP detected)";
    QTest::newRow("class C broadcast") << "192.168.42.1-255" << unchanged
                                       << " (broadcast or network IP detected)";
    QTest::newRow("class A, last part no edge") << "10.0.0.5" << "10.0.0.5-5" << QString();
    QTest::newRow("class A network") << "10.0.0.0" << unchanged
                                     << " (broadcast or network IP detected)";
    QTest::newRow("class B network") << "172.16.0.0-3" << unchanged
                                     << " (broadcast or network IP detected)";
    QTest::newRow("class B") << "172.16.1.0-3" << "172.16.1.0-3" << QString();
    QTest::newRow("zero first part") << "0.1.2.3" << unchanged
                                     << " (invalid A, B or C Class address)";
    QTest::newRow("multicast") << "224.0.0.1" << unchanged << " (invalid A, B or C Class address)";
    QTest::newRow("three parts") << "192.168.42" << unchanged << " (bad format)";
    QTest::newRow("dash without top") << "192.168.42.1-" << unchanged << " (bad format)";
    // A part above 255 is refused, never cut to a byte (300 would become 44).
    QTest::newRow("part above 255") << "192.168.300.1" << unchanged << " (bad digit format)";
    QTest::newRow("top above 255") << "192.168.42.1-300" << unchanged << " (bad digit format)";
}

void tst_FMConst::ipRangeText()
{
    QFETCH(QString, text);
    QFETCH(QString, range);
    QFETCH(QString, reason);
    QSignalSpy logs(MessageHandler::instance(), &MessageHandler::newLog);

    QCOMPARE(FMConst::setDeviceEthernetIpRange(text), reason.isNull());
    QCOMPARE(FMConst::deviceEthernetIpRange(), range);
    if (reason.isNull()) {
        QCOMPARE(logs.count(), 0);
        return;
    }
    QCOMPARE(logs.count(), 1);
    QCOMPARE(logs.at(0).at(0).value<LOGLEVEL>(), LOGLEVEL::DEBUG);
    const QString line = logs.at(0).at(2).toString();
    QVERIFY2(line.startsWith(QStringLiteral("Invalid IP range ")) && line.endsWith(reason),
             qPrintable(line));
}

void tst_FMConst::defaultPathsFollowPath()
{
    QCOMPARE(FMConst::defaultAdbCmd(), m_fakes.filePath(QStringLiteral("adb")));
    QCOMPARE(FMConst::defaultFastbootCmd(), m_fakes.filePath(QStringLiteral("fastboot")));
    QCOMPARE(FMConst::defaultDfuDownloaderCmd(), m_fakes.filePath(QStringLiteral("dfu-util")));
    QCOMPARE(FMConst::default7zCmd(), m_fakes.filePath(QStringLiteral("7z")));

    // Found nowhere: the path beside the executable, so messages say where it was expected.
    qputenv("PATH", m_work.path().toLocal8Bit());
    QCOMPARE(FMConst::defaultAdbCmd(), besideExecutable(QStringLiteral("adb")));
    QCOMPARE(FMConst::defaultDfuDownloaderCmd(), besideExecutable(QStringLiteral("dfu-util")));
    QCOMPARE(FMConst::default7zCmd(), besideExecutable(QStringLiteral("7z")));
}

void tst_FMConst::defaultPathsUseInstalledPrograms()
{
    qputenv("PATH", QByteArrayLiteral("/usr/bin:/bin"));
    const QStringList programs{QStringLiteral("adb"), QStringLiteral("fastboot"),
                               QStringLiteral("dfu-util"), QStringLiteral("7z")};
    for (const QString& program : programs) {
        if (!QFileInfo(QStringLiteral("/usr/bin/") + program).isExecutable())
            QSKIP(qPrintable(program + QStringLiteral(" is not installed in /usr/bin")));
    }
    QCOMPARE(FMConst::defaultAdbCmd(), QStringLiteral("/usr/bin/adb"));
    QCOMPARE(FMConst::defaultFastbootCmd(), QStringLiteral("/usr/bin/fastboot"));
    QCOMPARE(FMConst::defaultDfuDownloaderCmd(), QStringLiteral("/usr/bin/dfu-util"));
    QCOMPARE(FMConst::default7zCmd(), QStringLiteral("/usr/bin/7z"));
}

void tst_FMConst::defaultPathPrefersProgramBesideExecutable()
{
    const QString beside = besideExecutable(QStringLiteral("dfu-util"));
    QFile file(beside);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\nexit 0\n");
    file.close();
    const auto removeBeside = qScopeGuard([&beside] { QFile::remove(beside); });

    // Not executable: PATH still wins.
    QCOMPARE(FMConst::defaultDfuDownloaderCmd(), m_fakes.filePath(QStringLiteral("dfu-util")));
    QVERIFY(file.setPermissions(file.permissions() | QFileDevice::ExeOwner));
    QCOMPARE(FMConst::defaultDfuDownloaderCmd(), beside);
}

void tst_FMConst::setToolNeedsAnExecutable_data()
{
    QTest::addColumn<QString>("toolId");
    QTest::addColumn<bool>("executable");
    QTest::addColumn<QString>("expected");   // "given", "default", or "previous"

    QTest::newRow("executable fastboot") << "fastboot" << true << "given";
    QTest::newRow("plain file for fastboot") << "fastboot" << false << "default";
    QTest::newRow("plain file for adb") << "adb" << false << "default";
    QTest::newRow("plain file for dfu") << "dfuDownloader" << false << "default";
    QTest::newRow("executable user tool") << "myTool" << true << "given";
    QTest::newRow("plain file for user tool") << "myTool" << false << "previous";
}

void tst_FMConst::setToolNeedsAnExecutable()
{
    QFETCH(QString, toolId);
    QFETCH(bool, executable);
    QFETCH(QString, expected);

    const QString previous = writeFakeTool(m_work, QStringLiteral("previous"));
    QVERIFY(FMConst::setTool(toolId, previous));
    const QString given = m_work.filePath(QStringLiteral("given"));
    QFile file(given);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QVERIFY(file.setPermissions(executable ? QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                 | QFileDevice::ExeOwner
                                           : QFileDevice::ReadOwner | QFileDevice::WriteOwner));

    QCOMPARE(FMConst::setTool(toolId, given), executable);
    const QMap<QString, QString> defaults{
        {QStringLiteral("adb"), m_fakes.filePath(QStringLiteral("adb"))},
        {QStringLiteral("fastboot"), m_fakes.filePath(QStringLiteral("fastboot"))},
        {QStringLiteral("dfuDownloader"), m_fakes.filePath(QStringLiteral("dfu-util"))}};
    const QString path = expected == QLatin1String("given")     ? given
                         : expected == QLatin1String("default") ? defaults.value(toolId)
                                                                : previous;
    QCOMPARE(FMConst::getTool(toolId), path);
    if (toolId == QLatin1String("adb"))
        QCOMPARE(FMConst::AdbCmd(), path);
    if (toolId == QLatin1String("dfuDownloader"))
        QCOMPARE(FMConst::DfuDownloaderCmd(), path);
}

void tst_FMConst::toolsFileIsRepairedOnLoad()
{
    const QString toolsFile = m_work.filePath(QStringLiteral("tools.opt"));
    const QString legacyFastboot = writeFakeTool(m_work, QStringLiteral("legacy-fastboot"));
    const QString userTool = writeFakeTool(m_work, QStringLiteral("flash-helper"));
    {
        QSettings settings(toolsFile, QSettings::IniFormat);
        settings.setValue(QStringLiteral("Tools/adb"), m_work.filePath(QStringLiteral("gone/adb")));
        settings.setValue(QStringLiteral("FASTBOOT"), legacyFastboot);
        settings.setValue(QStringLiteral("Tools/helper"), userTool);
    }

    ExternalToolManager::instance().loadRepairedFile(toolsFile);

    QSettings settings(toolsFile, QSettings::IniFormat);
    // A stale adb entry and a missing dfu entry get the default; fastboot takes the legacy value.
    const QString adb = m_fakes.filePath(QStringLiteral("adb"));
    const QString dfu = m_fakes.filePath(QStringLiteral("dfu-util"));
    QCOMPARE(settings.value(QStringLiteral("Tools/adb")).toString(), adb);
    QCOMPARE(settings.value(QStringLiteral("Tools/fastboot")).toString(), legacyFastboot);
    QCOMPARE(settings.value(QStringLiteral("Tools/dfuDownloader")).toString(), dfu);
    QCOMPARE(settings.value(QStringLiteral("Tools/helper")).toString(), userTool);
    QCOMPARE(FMConst::AdbCmd(), adb);
    QCOMPARE(FMConst::getTool(QStringLiteral("fastboot")), legacyFastboot);
    QCOMPARE(FMConst::DfuDownloaderCmd(), dfu);
    QCOMPARE(FMConst::getTool(QStringLiteral("helper")), userTool);

    // A legacy value naming no file gives way to the default too.
    QFile::remove(legacyFastboot);
    settings.remove(QStringLiteral("Tools/fastboot"));
    settings.sync();
    ExternalToolManager::instance().loadRepairedFile(toolsFile);
    settings.sync();
    QCOMPARE(settings.value(QStringLiteral("Tools/fastboot")).toString(),
             m_fakes.filePath(QStringLiteral("fastboot")));
    QCOMPARE(FMConst::getTool(QStringLiteral("fastboot")), m_fakes.filePath(QStringLiteral("fastboot")));
}

QTEST_GUILESS_MAIN(tst_FMConst)
#include "tst_FMConst.moc"
