// The flash tab on small real flash files and archives: what it lists, says, stores and asks.

#include "ModalDialogDriver.h"
#include "core/FMConst.h"
#include "core/LoggerBridge.h"
#include "loader/ToolConst.h"
#include "tests/core/RecordedLog.h"
#include "tools/BuiltInKinds.h"
#include "ui/FlashBasicWidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

namespace {

// Configurations "a" (default unless told) and "b", the hidden "h", and one command in group "g".
QByteArray flashJson(const QByteArray& defaultId = "a", bool hiddenDefault = false, const QByteArray& extra = "")
{
    const QByteArray hidden = hiddenDefault ? "true" : "false";
    return R"({"flash": {"version": "3.0",
        "groups": {"g": {"name": "Images", "description": "The images"}},
        "configurations": {
            "a": {"name": "Alpha", "startState": "pos", "brief": "first", "groupsState": {"g": true},
                  "default": )" + QByteArray(defaultId == "a" ? "true" : "false") + R"(, "hiddenToEndUser": )" + hidden + R"(},
            "b": {"name": "Beta", "startState": "pos", "default": )" + QByteArray(defaultId == "b" ? "true" : "false") + R"(},
            "h": {"name": "Hidden", "startState": "pos", "hiddenToEndUser": true})" + extra + R"(},
        "commands": [{"tool": "fastboot", "args": "flash boot boot.img", "timeout": 1000, "retry": 1,
                      "description": "Boot", "group": "g"}]}})";
}

QByteArray xmlFlashFile()
{
    return R"(<flashfile version="1.0"><id>fastboot</id><command><string>fastboot reboot</string></command></flashfile>)";
}

bool write(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Packs `files` (names in `folder`) into `archive` with Debian's 7z (.zip) or tar (.tar.gz).
bool pack(const QString& archive, const QString& folder, const QStringList& files)
{
    QProcess process;
    process.setWorkingDirectory(folder);
    if (archive.endsWith(QLatin1String(".zip")))
        process.start(QStringLiteral("7z"), QStringList{QStringLiteral("a"), QStringLiteral("-tzip"), archive} + files);
    else
        process.start(QStringLiteral("tar"), QStringList{QStringLiteral("czf"), archive} + files);
    return process.waitForFinished(30000) && process.exitCode() == 0;
}

} // namespace

class tst_FlashBasicWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void loadsAFlashFile();
    void archivesUnpackBesideThemselves_data();
    void archivesUnpackBesideThemselves();
    void refusedPaths_data();
    void refusedPaths();
    void hiddenConfigurations();
    void secondLoadDuringALoadIsTurnedAway();
    void dropsAndReloadAtStart();
    void changeOnDiskAsksToReload();
    void compactVariantNeverAsks();
    void hiddenTabDoesNotAsk();
    void groupsDialog();

private:
    QStringList lines(const RecordedLog& log, const QString& level) const;
    QString fixture(const QString& name, const QByteArray& bytes) const;

    QTemporaryDir m_dir;
};

void tst_FlashBasicWidget::initTestCase()
{
    QVERIFY(m_dir.isValid());
    BuiltInKinds::registerAll();
    ToolConst::defaultOptionName = m_dir.filePath(QStringLiteral("settings.opt"));
    MessageHandler::instance()->setLogLevel(TRACE);
}

void tst_FlashBasicWidget::init()
{
    QFile::remove(ToolConst::defaultOptionName);
    ToolConst::latestArchiveFileInLocal.clear();
    ToolConst::latestXmlFileInLocal.clear();
    ToolConst::RELOAD_LOCAL_TAB_SETTINGS = false;
    FMConst::ALWAYS_UNZIP_FLAG = true;
}

QStringList tst_FlashBasicWidget::lines(const RecordedLog& log, const QString& level) const
{
    QStringList texts;
    for (const QString& line : log.lines()) {
        if (line.startsWith(level + QLatin1Char('|')))
            texts << line.mid(level.size() + 1);
    }
    return texts;
}

QString tst_FlashBasicWidget::fixture(const QString& name, const QByteArray& bytes) const
{
    const QString path = m_dir.filePath(name);
    return write(path, bytes) ? path : QString();
}

void tst_FlashBasicWidget::loadsAFlashFile()
{
    const QString path = fixture(QStringLiteral("plain/flash.json"), flashJson("b"));
    FlashBasicWidget tab;
    LoggerBridge bridge;
    bridge.bind(tab);
    QSignalSpy changed(&tab, &FlashBasicWidget::flashFileChanged);
    QSignalSpy status(&tab, &FlashBasicWidget::statusText);
    const RecordedLog log;
    auto* combo = tab.findChild<QComboBox*>(QStringLiteral("comboBoxCfgs"));
    bool disabledWhileLoading = false;
    QTimer::singleShot(0, &tab, [&] {
        disabledWhileLoading = !tab.findChild<QPushButton*>(QStringLiteral("browseArchive"))->isEnabled()
                               && !combo->isEnabled()
                               && !tab.findChild<QComboBox*>(QStringLiteral("comboXmlFlashFile"))->isEnabled();
    });
    tab.loadLocalFile(path);

    QVERIFY(disabledWhileLoading);
    QCOMPARE(status.first().first().toString(), QStringLiteral("Loading flash.json, please wait ..."));
    const QString loaded = QStringLiteral("Flash file ") + path + QStringLiteral(" [Beta] loaded");
    QCOMPARE(status.last().first().toString(), loaded);
    QVERIFY(lines(log, QStringLiteral("INFO")).contains(loaded));
    QCOMPARE(changed.first().first().toBool(), false);
    QCOMPARE(changed.last().first().toBool(), true);
    QCOMPARE(tab.getCurrentFlashFile()->getName(), QStringLiteral("Beta"));
    QCOMPARE(tab.getCurrentFlashFileId(), path + QStringLiteral(" [Beta]"));
    QCOMPARE(combo->count(), 2);  // the hidden one is left out
    QVERIFY(combo->isEnabled());
    QCOMPARE(ToolConst::latestArchiveFileInLocal, path);
    QCOMPARE(QSettings(ToolConst::defaultOptionName, QSettings::IniFormat).value(QStringLiteral("LatestXmlFileInLocal")).toString(),
             QStringLiteral("flash.json"));

    // A user's choice of the other configuration.
    combo->setCurrentIndex(combo->findText(QStringLiteral("Alpha")));
    QCOMPARE(tab.getCurrentFlashFile()->getName(), QStringLiteral("Alpha"));
}

void tst_FlashBasicWidget::archivesUnpackBesideThemselves_data()
{
    QTest::addColumn<QString>("archive");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("remembered");
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("folder");

    QTest::newRow("zip") << "one.zip" << QStringList{"flash.json"} << "" << "flash.json" << "one";
    QTest::newRow("tar.gz") << "x.tar.gz" << QStringList{"flash.json"} << "" << "flash.json" << "x";
    QTest::newRow("json before xml") << "two.zip" << QStringList{"flash.xml", "flash.json"} << "" << "flash.json" << "two";
    QTest::newRow("remembered name first") << "three.zip" << QStringList{"flash.json", "other.xml"} << "other.xml"
                                           << "other.xml" << "three";
    QTest::newRow("first by name") << "four.zip" << QStringList{"b.json", "a.xml"} << "" << "a.xml" << "four";
}

void tst_FlashBasicWidget::archivesUnpackBesideThemselves()
{
    QFETCH(QString, archive);
    QFETCH(QStringList, files);
    QFETCH(QString, remembered);
    QFETCH(QString, chosen);
    QFETCH(QString, folder);

    const QString source = m_dir.filePath(QStringLiteral("src-") + folder);
    for (const QString& name : files)
        QVERIFY(write(source + QLatin1Char('/') + name, name.endsWith(QLatin1String(".xml")) ? xmlFlashFile() : flashJson()));
    const QString path = m_dir.filePath(archive);
    QVERIFY(pack(path, source, files));
    ToolConst::latestXmlFileInLocal = remembered;

    FlashBasicWidget tab;
    tab.loadLocalFile(path);
    QVERIFY(tab.getCurrentFlashFile());
    QCOMPARE(tab.findChild<QComboBox*>(QStringLiteral("comboXmlFlashFile"))->currentText(), chosen);
    QVERIFY(QFileInfo::exists(m_dir.filePath(folder + QLatin1Char('/') + chosen)));
    QCOMPARE(tab.findChild<QLineEdit*>(QStringLiteral("txtArchive"))->text(), path);
    QCOMPARE(ToolConst::latestArchiveFileInLocal, path);
    QCOMPARE(ToolConst::latestXmlFileInLocal, chosen);
}

void tst_FlashBasicWidget::refusedPaths_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("error");  // "%1": the path

    QTest::newRow("not a flash file") << "notes.txt" << "'%1' is not a valid flash file or flash archive";
    QTest::newRow("archive without flash file") << "empty.zip" << "There is no flash file in the archive";
    QTest::newRow("broken flash file") << "broken.json" << "Failed to load %1";
}

void tst_FlashBasicWidget::refusedPaths()
{
    QFETCH(QString, name);
    QFETCH(QString, error);
    QString path = m_dir.filePath(name);
    if (name == QLatin1String("empty.zip")) {
        QVERIFY(write(m_dir.filePath(QStringLiteral("src-empty/readme.txt")), "nothing"));
        QVERIFY(pack(path, m_dir.filePath(QStringLiteral("src-empty")), {QStringLiteral("readme.txt")}));
    } else if (name == QLatin1String("broken.json")) {
        QVERIFY(write(path, R"({"flash": {"version": "3.0", "configurations": 5}})"));
    } else {
        QVERIFY(write(path, "text"));
    }
    FlashBasicWidget tab;
    LoggerBridge bridge;
    bridge.bind(tab);
    const RecordedLog log;
    tab.loadLocalFile(path);
    QVERIFY2(lines(log, QStringLiteral("ERROR")).contains(error.arg(path)), qPrintable(log.lines().join('\n')));
    QVERIFY(!tab.getCurrentFlashFile());
    QVERIFY(tab.getCurrentFlashFileId().isEmpty());
    QVERIFY(tab.findChild<QPushButton*>(QStringLiteral("browseArchive"))->isEnabled());
}

void tst_FlashBasicWidget::hiddenConfigurations()
{
    // The default is hidden: still listed; the other hidden one is not.
    const QString path = fixture(QStringLiteral("hidden/flash.json"), flashJson("a", true));
    FlashBasicWidget tab;
    tab.loadLocalFile(path);
    auto* combo = tab.findChild<QComboBox*>(QStringLiteral("comboBoxCfgs"));
    QStringList names;
    for (int i = 0; i < combo->count(); ++i)
        names << combo->itemText(i);
    QCOMPARE(names, QStringList({"Alpha", "Beta"}));

    // One configuration only: the combo is disabled.
    const QString xml = fixture(QStringLiteral("single/flash.xml"), xmlFlashFile());
    tab.loadLocalFile(xml);
    QCOMPARE(combo->count(), 1);
    QVERIFY(!combo->isEnabled());
}

void tst_FlashBasicWidget::secondLoadDuringALoadIsTurnedAway()
{
    const QString first = fixture(QStringLiteral("first/flash.json"), flashJson());
    const QString second = fixture(QStringLiteral("second/flash.json"), flashJson("b"));
    FlashBasicWidget tab;
    LoggerBridge bridge;
    bridge.bind(tab);
    const RecordedLog log;
    QTimer::singleShot(0, &tab, [&] { tab.loadLocalFile(second); });
    tab.loadLocalFile(first);
    QVERIFY(lines(log, QStringLiteral("WARNING")).contains(QStringLiteral("Another file is already loading. Ignore this new load")));
    QCOMPARE(tab.getCurrentFlashFile()->getName(), QStringLiteral("Alpha"));
}

void tst_FlashBasicWidget::dropsAndReloadAtStart()
{
    const QString path = fixture(QStringLiteral("dropped/flash.json"), flashJson());
    const QString text = fixture(QStringLiteral("dropped/notes.txt"), "text");
    FlashBasicWidget tab;
    QMimeData refused;
    refused.setUrls({QUrl::fromLocalFile(text), QUrl::fromLocalFile(m_dir.path())});
    QDropEvent refusedDrop(QPointF(1, 1), Qt::CopyAction, &refused, Qt::LeftButton, Qt::NoModifier);
    QVERIFY(!tab.allowFileDrop(&refusedDrop));
    QMimeData mixed;
    mixed.setUrls({QUrl::fromLocalFile(text), QUrl::fromLocalFile(path)});
    QDropEvent drop(QPointF(1, 1), Qt::CopyAction, &mixed, Qt::LeftButton, Qt::NoModifier);
    QVERIFY(tab.allowFileDrop(&drop));
    tab.fileDropped(&drop);
    QVERIFY(tab.getCurrentFlashFile());

    FlashBasicWidget fresh;
    fresh.reloadLatestFlashFile();  // the setting is off
    QVERIFY(!fresh.getCurrentFlashFile());
    ToolConst::RELOAD_LOCAL_TAB_SETTINGS = true;
    fresh.reloadLatestFlashFile();
    QCOMPARE(fresh.findChild<QLineEdit*>(QStringLiteral("txtArchive"))->text(), path);
}

void tst_FlashBasicWidget::changeOnDiskAsksToReload()
{
    const QString path = fixture(QStringLiteral("watched/flash.json"), flashJson());
    FlashBasicWidget tab;
    LoggerBridge bridge;
    bridge.bind(tab);
    tab.show();
    tab.loadLocalFile(path);
    QSignalSpy changed(&tab, &FlashBasicWidget::flashFileChanged);
    const RecordedLog log;

    ModalDialogDriver driver;
    driver.answer(driver.readBoxText(ModalDialogDriver::pressButton(QDialogButtonBox::Yes)));
    QVERIFY(write(path, flashJson("b")));
    QTRY_VERIFY(!driver.texts().isEmpty());
    QCOMPARE(driver.texts().first(),
             QStringLiteral("Flash file in local tab has changed on disk since it was loaded.\nDo you want to reload it?"));
    QVERIFY(lines(log, QStringLiteral("WARNING"))
                .contains(QStringLiteral("Flash file %1 has changed on disk since it was loaded").arg(path)));
    QTRY_COMPARE(tab.getCurrentFlashFile() ? tab.getCurrentFlashFile()->getName() : QString(), QStringLiteral("Beta"));

    // Deleted, answered No: the file is reported gone.
    ModalDialogDriver second;
    second.answer(ModalDialogDriver::pressButton(QDialogButtonBox::No));
    second.answer(second.readBoxText(ModalDialogDriver::pressButton(QDialogButtonBox::Ok)));
    QVERIFY(QFile::remove(path));
    QTRY_COMPARE(second.texts().size(), 1);
    QCOMPARE(second.texts().first(), QStringLiteral("File %1 does not exist anymore").arg(path));
    QVERIFY(lines(log, QStringLiteral("ERROR")).contains(QStringLiteral("File %1 does not exist anymore").arg(path)));
    QVERIFY(second.allAnswered());
}

void tst_FlashBasicWidget::compactVariantNeverAsks()
{
    const QString path = fixture(QStringLiteral("compact/flash.json"), flashJson());
    FlashBasicWidget tab(true);
    tab.show();
    tab.loadLocalFile(path);
    QCOMPARE(ToolConst::latestArchiveFileInLocal, path);
    QVERIFY(tab.findChild<QLineEdit*>(QStringLiteral("txtArchive"))->isHidden());
    QVERIFY(write(path, flashJson("b")));
    QTest::qWait(300);
    QVERIFY(!QApplication::activeModalWidget());
    QCOMPARE(tab.getCurrentFlashFile()->getName(), QStringLiteral("Alpha"));
}

void tst_FlashBasicWidget::hiddenTabDoesNotAsk()
{
    const QString path = fixture(QStringLiteral("hidden-tab/flash.json"), flashJson());
    FlashBasicWidget tab;
    tab.loadLocalFile(path);
    QVERIFY(write(path, flashJson("b")));
    QTest::qWait(300);
    QVERIFY(!QApplication::activeModalWidget());
    QCOMPARE(tab.getCurrentFlashFile()->getName(), QStringLiteral("Alpha"));
}

void tst_FlashBasicWidget::groupsDialog()
{
    const QString path = fixture(QStringLiteral("groups/flash.json"), flashJson());
    FlashBasicWidget tab;
    tab.loadLocalFile(path);
    const QSharedPointer<FlashConfiguration> configuration = tab.getCurrentFlashFile();
    QVERIFY(configuration->isGroupEnabled(QStringLiteral("g")));
    auto* button = tab.findChild<QToolButton*>(QStringLiteral("toolButton_FlashGroups"));
    QVERIFY(button->isEnabled());
    const auto uncheck = [](QWidget* modal) {
        auto* box = modal->findChild<QCheckBox*>(QStringLiteral("g"));
        if (!box)
            return false;
        box->setChecked(false);
        return true;
    };
    const auto isChecked = [](bool expected) {
        return [expected](QWidget* modal) {
            auto* box = modal->findChild<QCheckBox*>(QStringLiteral("g"));
            return box && box->isChecked() == expected;
        };
    };
    const auto then = [](ModalDialogDriver::Step first, ModalDialogDriver::Step second) {
        return [first, second](QWidget* modal) { return first(modal) && second(modal); };
    };
    QSignalSpy changed(&tab, &FlashBasicWidget::flashFileChanged);

    // Unchecked, then Restore Defaults refills the form (checked again), then Cancel: nothing applied.
    ModalDialogDriver cancelled;
    cancelled.answer(then(uncheck, ModalDialogDriver::pressButton(QDialogButtonBox::RestoreDefaults)));
    cancelled.answer(then(isChecked(true), ModalDialogDriver::pressButton(QDialogButtonBox::Cancel)));
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY2(cancelled.allAnswered(), qPrintable(cancelled.failures().join('\n')));
    QVERIFY(configuration->isGroupEnabled(QStringLiteral("g")));
    QCOMPARE(changed.count(), 0);

    // Unchecked and Ok: applied, and the tab says so.
    ModalDialogDriver accepted;
    accepted.answer(then(uncheck, ModalDialogDriver::pressButton(QDialogButtonBox::Ok)));
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(accepted.allAnswered());
    QVERIFY(!configuration->isGroupEnabled(QStringLiteral("g")));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.first().first().toBool(), true);
}

QTEST_MAIN(tst_FlashBasicWidget)
#include "tst_FlashBasicWidget.moc"
