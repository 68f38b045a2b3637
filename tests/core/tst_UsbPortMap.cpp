#include "core/MessageHandler.h"
#include "core/SingletonException.h"
#include "core/UsbPortMap.h"

#include <QFile>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

using LogLine = QPair<LOGLEVEL, QString>;

QList<LogLine> linesOf(const QSignalSpy& spy)
{
    QList<LogLine> lines;
    for (const QList<QVariant>& arguments : spy)
        lines.append({arguments.at(0).value<LOGLEVEL>(), arguments.at(2).toString()});
    return lines;
}

} // namespace

class tst_UsbPortMap : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void loadLogsEveryPair();
    void failedLoadEmptiesTheMap();
    void saveAndLoadGiveTheSamePairs();
    void saveKeepsWhatTheMapDoesNotHold();
    void saveToAnUnwritablePlaceFails();
    void labelOfAPort();
    void secondInstanceThrows();

private:
    QString writeMapFile(const QString& name, const QByteArray& content);

    std::unique_ptr<QTemporaryDir> m_dir;
};

void tst_UsbPortMap::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

QString tst_UsbPortMap::writeMapFile(const QString& name, const QByteArray& content)
{
    const QString path = m_dir->filePath(name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(content);
    return path;
}

void tst_UsbPortMap::loadLogsEveryPair()
{
    const QString path = writeMapFile(QStringLiteral("map.ini"),
                                      "[USB_MAP]\n1-1.2=Left\n1-1.3=Right\n[Other]\n1-1.4=Ignored\n");
    UsbPortMap map;
    QSignalSpy logs(MessageHandler::instance(), &MessageHandler::newLog);

    QVERIFY(map.loadConfigFile(path));

    const QList<LogLine> expected{
        {LOGLEVEL::INFO, QStringLiteral("Loading USB Map from %1 ...").arg(path)},
        {LOGLEVEL::DEBUG, QStringLiteral("USB_MAP[1-1.2]=Left")},
        {LOGLEVEL::DEBUG, QStringLiteral("USB_MAP[1-1.3]=Right")},
        {LOGLEVEL::INFO, QStringLiteral("USB Map loaded from %1").arg(path)}};
    QCOMPARE(linesOf(logs), expected);
    QCOMPARE(map.getMap().size(), 2);
    QVERIFY(map.isLoaded());
}

void tst_UsbPortMap::failedLoadEmptiesTheMap()
{
    const QString good = writeMapFile(QStringLiteral("map.ini"), "[USB_MAP]\n1-1.2=Left\n");
    const QString missing = m_dir->filePath(QStringLiteral("missing.ini"));
    UsbPortMap map;
    QVERIFY(map.loadConfigFile(good));
    QSignalSpy logs(MessageHandler::instance(), &MessageHandler::newLog);

    QVERIFY(!map.loadConfigFile(missing));

    QCOMPARE(linesOf(logs), QList<LogLine>({{LOGLEVEL::ERROR, QStringLiteral("Cannot load ") + missing}}));
    QVERIFY(map.getMap().isEmpty());
    QCOMPARE(map.getUsb2Port(QStringLiteral("1-1.2")), QStringLiteral("1-1.2"));
    QVERIFY(map.isLoaded());

    // A file without the group loads nothing and still counts as loaded.
    const QString other = writeMapFile(QStringLiteral("other.ini"), "[Other]\nkey=value\n");
    QVERIFY(map.loadConfigFile(other));
    QVERIFY(map.getMap().isEmpty());
}

void tst_UsbPortMap::saveAndLoadGiveTheSamePairs()
{
    const QString path = m_dir->filePath(QStringLiteral("saved.ini"));
    // Labels and ports with the characters INI files escape or quote.
    const QString source = writeMapFile(
        QStringLiteral("source.ini"),
        "[USB_MAP]\n1-1.2=Bench A\n2-1=\"left, top\"\nusb%3A3=\"semi;colon\"\n4-4=\n");
    QMap<QString, QString> pairs;
    {
        UsbPortMap map;
        QVERIFY(map.loadConfigFile(source));
        pairs = map.getMap();
        QCOMPARE(pairs.size(), 4);
        QCOMPARE(pairs.value(QStringLiteral("2-1")), QStringLiteral("left, top"));
        QCOMPARE(pairs.value(QStringLiteral("usb:3")), QStringLiteral("semi;colon"));
        QVERIFY(map.saveConfigFile(path));
    }
    UsbPortMap reloaded;
    QVERIFY(reloaded.loadConfigFile(path));
    QCOMPARE(reloaded.getMap(), pairs);
}

void tst_UsbPortMap::saveKeepsWhatTheMapDoesNotHold()
{
    const QString path = writeMapFile(QStringLiteral("map.ini"),
                                      "[USB_MAP]\n1-1.2=Left\n[Other]\nkey=value\n");
    const QString source = writeMapFile(QStringLiteral("source.ini"), "[USB_MAP]\n1-1.3=Right\n");
    UsbPortMap map;
    QVERIFY(map.loadConfigFile(source));
    QVERIFY(map.saveConfigFile(path));

    QSettings settings(path, QSettings::IniFormat);
    QCOMPARE(settings.value(QStringLiteral("USB_MAP/1-1.2")).toString(), QStringLiteral("Left"));
    QCOMPARE(settings.value(QStringLiteral("USB_MAP/1-1.3")).toString(), QStringLiteral("Right"));
    QCOMPARE(settings.value(QStringLiteral("Other/key")).toString(), QStringLiteral("value"));
}

void tst_UsbPortMap::saveToAnUnwritablePlaceFails()
{
    const QString source = writeMapFile(QStringLiteral("source.ini"), "[USB_MAP]\n1-1.3=Right\n");
    // A plain file where the folder should be: nothing can be written below it.
    const QString blocker = writeMapFile(QStringLiteral("blocker"), "file");
    UsbPortMap map;
    QVERIFY(map.loadConfigFile(source));
    QSignalSpy logs(MessageHandler::instance(), &MessageHandler::newLog);

    QVERIFY(!map.saveConfigFile(blocker + QStringLiteral("/map.ini")));
    QCOMPARE(logs.count(), 1);
    QCOMPARE(logs.at(0).at(0).value<LOGLEVEL>(), LOGLEVEL::ERROR);
}

void tst_UsbPortMap::labelOfAPort()
{
    const QString path = writeMapFile(QStringLiteral("map.ini"), "[USB_MAP]\n1-1.2=Left\n1-1.3=\n");
    UsbPortMap map;
    QVERIFY(map.loadConfigFile(path));
    QCOMPARE(map.getUsb2Port(QStringLiteral("1-1.2")), QStringLiteral("Left"));
    QCOMPARE(map.getUsb2Port(QStringLiteral("1-1.3")), QString(""));
    QCOMPARE(map.getUsb2Port(QStringLiteral("1-1.4")), QStringLiteral("1-1.4"));
    // Identifiers compare as plain, case-sensitive text.
    QCOMPARE(map.getUsb2Port(QStringLiteral("1-1.2 ")), QStringLiteral("1-1.2 "));

    map.clear();
    QCOMPARE(map.getUsb2Port(QStringLiteral("1-1.2")), QStringLiteral("1-1.2"));
    QVERIFY(map.isLoaded());
}

void tst_UsbPortMap::secondInstanceThrows()
{
    UsbPortMap map;
    QCOMPARE(Singleton<UsbPortMap>::instance(), &map);
    QVERIFY_EXCEPTION_THROWN(UsbPortMap second, SingletonException);
    // The refused second object leaves the first one registered.
    QCOMPARE(Singleton<UsbPortMap>::instance(), &map);
}

QTEST_GUILESS_MAIN(tst_UsbPortMap)
#include "tst_UsbPortMap.moc"
