#include "LoaderTestKit.h"

#include "loader/FlashFileManager.h"
#include "model/FlashCommand.h"
#include "model/FlashGroup.h"
#include "model/FlashParameter.h"
#include "tools/BuiltInKinds.h"

#include <QBuffer>
#include <QDirIterator>
#include <QtTest>

// Writing a loaded flash file as a version "3.0" JSON document, and its deep copy.
class tst_FlashFileWriter : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void roundTrip_data();
    void roundTrip();
    void documentLayout();
    void restrictWithoutConfigurations();
    void writesToDevice();
    void cloneIsIndependent();
    void cloneRefusesMisalignedConfiguration();
};

namespace {

QSharedPointer<FlashFileManager> loadFixture(const QString& name)
{
    return FlashFileManager::loadFromFile(QFINDTESTDATA(QStringLiteral("data/") + name), true);
}

QVariant member(const JsonObject& json, const QString& path)
{
    QVariant value = json.toQVariantMap();
    for (const QString& key : path.split(QLatin1Char('/'))) {
        bool isIndex = false;
        const int index = key.toInt(&isIndex);
        value = isIndex ? value.toList().value(index) : value.toMap().value(key);
    }
    return value;
}

} // namespace

void tst_FlashFileWriter::initTestCase()
{
    BuiltInKinds::registerAll();
}

void tst_FlashFileWriter::roundTrip_data()
{
    QTest::addColumn<QString>("fixture");
    QDirIterator fixtures(QFINDTESTDATA("data"), {QStringLiteral("*.json"), QStringLiteral("*.xml")}, QDir::Files);
    while (fixtures.hasNext()) {
        const QString path = fixtures.next();
        QTest::newRow(qPrintable(QFileInfo(path).fileName())) << QFileInfo(path).fileName();
    }
}

void tst_FlashFileWriter::roundTrip()
{
    QFETCH(QString, fixture);
    const QSharedPointer<FlashFileManager> original = loadFixture(fixture);
    QVERIFY(original);
    const QString folder = QFileInfo(original->getPath()).absolutePath();
    const JsonObject written = original->toJson(folder);
    QCOMPARE(member(written, QStringLiteral("flash/version")).toString(), QStringLiteral("3.0"));

    const QSharedPointer<FlashFileManager> reloaded = FlashFileManager::loadFromJson(folder, written, true);
    QVERIFY(reloaded);
    QCOMPARE(QString::fromUtf8(reloaded->toJson(folder).toJson()), QString::fromUtf8(written.toJson()));
}

void tst_FlashFileWriter::documentLayout()
{
    const QSharedPointer<FlashFileManager> flashFile = loadFixture(QStringLiteral("flash-v2_0.json"));
    QVERIFY(flashFile);
    flashFile->appendCommand(flashFile->getCommandList()[0]->clone()); // run by no configuration
    const JsonObject json = flashFile->toJson(QFileInfo(flashFile->getPath()).absolutePath());

    QCOMPARE(member(json, QStringLiteral("build_info/build")).toString(), QStringLiteral("eng.1234"));
    QCOMPARE(member(json, QStringLiteral("flash/platforms")).toList(), QVariantList());
    QCOMPARE(member(json, QStringLiteral("flash/parameters/image/options//value")).toString(),
             QStringLiteral("images/boot.img"));
    QCOMPARE(member(json, QStringLiteral("flash/groups/extras")).toMap(),
             (QVariantMap{{QStringLiteral("name"), QStringLiteral("Extras")},
                          {QStringLiteral("description"), QStringLiteral("Optional steps")}}));
    QCOMPARE(member(json, QStringLiteral("flash/configurations/a/default")), QVariant(true));
    QCOMPARE(member(json, QStringLiteral("flash/configurations/b/default")), QVariant(false));
    // The 2.0 keyword "dnx_pos" is written in its newest form.
    QCOMPARE(member(json, QStringLiteral("flash/configurations/a/startState")).toString(), QStringLiteral("dnx_os"));

    const QVariantList commands = member(json, QStringLiteral("flash/commands")).toList();
    QCOMPARE(commands.size(), 4);
    const auto restrictOf = [&](int index) { return commands[index].toMap().value(QStringLiteral("restrict")); };
    QVERIFY(restrictOf(0).isNull() && commands[0].toMap().contains(QStringLiteral("restrict")));
    QCOMPARE(restrictOf(2).toList(), QVariantList{QStringLiteral("b")});
    QCOMPARE(restrictOf(3).toList(), QVariantList());
    QCOMPARE(restrictOf(3).userType(), int(QMetaType::QVariantList));

    // States 1 and 2 of an XML file; no build properties, no "build_info".
    const QSharedPointer<FlashFileManager> xml = loadFixture(QStringLiteral("fastboot.xml"));
    QVERIFY(xml);
    QCOMPARE(xml->toJson(QString()).hasValue(QStringLiteral("build_info")), JsonObject::Absent);
    const QSharedPointer<FlashFileManager> blankphone = loadFixture(QStringLiteral("blankphone.xml"));
    QVERIFY(blankphone);
    QCOMPARE(member(blankphone->toJson(QString()), QStringLiteral("flash/configurations/FRU_A1/startState")).toString(),
             QStringLiteral("dnx_fw"));
}

void tst_FlashFileWriter::restrictWithoutConfigurations()
{
    FlashFileManager::Contents contents;
    JsonObject fastboot;
    fastboot.loadMemory(R"({"tool": "fastboot", "timeout": 1000, "retry": 1, "description": "D"})");
    contents.commands.push_back(FlashCommand::getCommandFromJson(fastboot));
    QVERIFY(contents.commands.front());
    contents.platforms = {DevicePlatform::ZorvikSoc, static_cast<DevicePlatform>(42), DevicePlatform::Generic};
    const JsonObject json = FlashFileManager::create(std::move(contents))->toJson(QString());
    QVERIFY(member(json, QStringLiteral("flash/commands/0")).toMap().contains(QStringLiteral("restrict")));
    QVERIFY(member(json, QStringLiteral("flash/commands/0/restrict")).isNull());
    QCOMPARE(member(json, QStringLiteral("flash/platforms")).toStringList(),
             (QStringList{QStringLiteral("zorvik_soc"), QStringLiteral("generic")}));
    QCOMPARE(member(json, QStringLiteral("flash/configurations")).toMap(), QVariantMap());
}

void tst_FlashFileWriter::writesToDevice()
{
    const QSharedPointer<FlashFileManager> flashFile = loadFixture(QStringLiteral("flash-v3_0.json"));
    QVERIFY(flashFile);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QVERIFY(flashFile->toJson(QString(), buffer));
    JsonObject written;
    QVERIFY(written.loadMemory(buffer.data()));
    QCOMPARE(written, flashFile->toJson(QString()));

    QBuffer readOnly;
    readOnly.open(QIODevice::ReadOnly);
    QVERIFY(!flashFile->toJson(QString(), readOnly));
}

void tst_FlashFileWriter::cloneIsIndependent()
{
    const QSharedPointer<FlashFileManager> source = loadFixture(QStringLiteral("flash-v3_0.json"));
    QVERIFY(source);
    source->setFileInfo(QStringLiteral("shown"));
    const QSharedPointer<FlashFileManager> copy = source->clone();
    QVERIFY(copy);
    QCOMPARE(copy->toJson(QString()), source->toJson(QString()));
    QCOMPARE(copy->getPath(), source->getPath());
    QCOMPARE(copy->getFileInfo(), QStringLiteral("shown"));
    QCOMPARE(copy->getParameter(QStringLiteral("image")), source->getParameter(QStringLiteral("image")));

    const auto copiedA = copy->getConfiguration(QStringLiteral("a"));
    QCOMPARE(copy->getDefaultConfiguration(), copiedA);
    QCOMPARE(copiedA->getFlashFileManager(), copy);
    QVERIFY(copiedA != source->getConfiguration(QStringLiteral("a")));
    QCOMPARE(copiedA->getCommand(0), copy->getCommandList()[0]);
    QVERIFY(copy->getCommandList()[0] != source->getCommandList()[0]);
    const auto& grouped = copy->getGroups().at(QStringLiteral("extras"))->getCommands();
    QCOMPARE(grouped.size(), std::size_t(1));
    QCOMPARE(grouped.begin()->first, copy->getCommandList()[1].data());

    copy->removeCommand(0);
    copiedA->setDescription(QStringLiteral("changed"));
    QCOMPARE(source->getCommandList().size(), std::size_t(3));
    QCOMPARE(source->getConfiguration(QStringLiteral("a"))->getDescription(), QStringLiteral("Everything"));
}

void tst_FlashFileWriter::cloneRefusesMisalignedConfiguration()
{
    const QSharedPointer<FlashFileManager> source = loadFixture(QStringLiteral("flash-v3_0.json"));
    QVERIFY(source);
    // An edit made behind the container's back: "b" no longer runs parallel to the file.
    source->getConfiguration(QStringLiteral("b"))->appendCommand(source->getCommandList()[0]);
    RecordedLog log;
    QVERIFY(!source->clone());
    QVERIFY(log.lines().contains(QStringLiteral("ERROR|Cannot copy the configuration 'b' of the flash file")));
}

QTEST_GUILESS_MAIN(tst_FlashFileWriter)
#include "tst_FlashFileWriter.moc"
