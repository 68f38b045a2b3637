#include "app/BuildInfoFile.h"

#include "FakeFlashFile.h"
#include "model/FlashGroup.h"
#include "model/FlashParameter.h"
#include "model/FlashParameterValueString.h"
#include "platform/json/JsonObject.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QSharedPointer<FlashParameter> stringParameter(const QString& id, const QStringList& valueIds)
{
    std::map<QString, FlashParameterValueString*> values;
    for (const QString& valueId : valueIds)
        values.emplace(valueId, new FlashParameterValueString(valueId, "text of " + valueId, QString()));
    return QSharedPointer<FlashParameter>::create(id, id, values);
}

QSharedPointer<FlashGroup> group(const QString& id)
{
    return QSharedPointer<FlashGroup>::create(id, id, QString());
}

} // namespace

class tst_BuildInfoFile : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void describesTheRun();
    void unlistedGroupsFollowTheConfiguration_data();
    void unlistedGroupsFollowTheConfiguration();
    void parametersWithoutValueAreLeftOut();
    void savedRelativeToTheWorkingFolder();
    void nothingWithoutOutputPath();
    void failedWriteGivesNoPath();

private:
    QSharedPointer<FlashConfiguration> configuration(FlashConfiguration::UnknownGroupBehavior behavior);

    QSharedPointer<FakeFlashFile> m_flashFile;
    FlashConfiguration::FileGroups m_fileGroups;
    ArgParser::Options m_options;
};

void tst_BuildInfoFile::init()
{
    m_flashFile = QSharedPointer<FakeFlashFile>::create(QStringLiteral("/images/flash.json"));
    m_flashFile->m_properties = {{"board", "fox"}, {"build", 42}};
    m_fileGroups = {{"A", group("A")}, {"B", group("B")}};
    m_options = ArgParser::Options();
    m_options.flashFile = QStringLiteral("images.zip");
    m_options.flashFileName = QStringLiteral("/tmp/images/sub/flash.json");
    m_options.configuration = QStringLiteral("full");
}

QSharedPointer<FlashConfiguration> tst_BuildInfoFile::configuration(FlashConfiguration::UnknownGroupBehavior behavior)
{
    const FlashConfiguration::Parameters parameters{
        {"choice", stringParameter("choice", {"first", "second"})},
        {"single", stringParameter("single", {"only"})},
    };
    auto configuration = QSharedPointer<FlashConfiguration>::create(
        DeviceState::MainOs, behavior, QStringLiteral("full"), QStringLiteral("Full"), QString(), QString(),
        QString(), false, parameters, FlashConfiguration::ParameterValues{{"choice", "second"}});
    configuration->setFlashFileManager(m_flashFile);
    configuration->attachGroup(m_fileGroups.at("A"), false);
    return configuration;
}

void tst_BuildInfoFile::describesTheRun()
{
    const JsonObject document =
        BuildInfoFile::toJson(*configuration(FlashConfiguration::UnknownGroupsEnabled), m_options, m_fileGroups);

    const QVariantMap expected{
        {"components", QVariantMap{{"choice", "text of second"}, {"single", "text of only"}}},
        {"buildProperties", QVariantMap{{"board", "fox"}, {"build", 42}}},
        {"localFlashFile", "images.zip"},
        {"flashFileName", "flash.json"},
        {"flashConfiguration", "full"},
        {"flashConfigurationStartState", "mos"},
        {"flashGroupsState", QVariantMap{{"A", false}, {"B", true}}},
    };
    QCOMPARE(document.toQVariantMap(), expected);
}

void tst_BuildInfoFile::unlistedGroupsFollowTheConfiguration_data()
{
    QTest::addColumn<int>("behavior");
    QTest::addColumn<bool>("flashFileKnown");
    QTest::addColumn<QVariantMap>("states");

    QTest::newRow("unlisted run") << int(FlashConfiguration::UnknownGroupsEnabled) << true
                                  << QVariantMap{{"A", false}, {"B", true}};
    QTest::newRow("unlisted skipped") << int(FlashConfiguration::UnknownGroupsDisabled) << true
                                      << QVariantMap{{"A", false}, {"B", false}};
    QTest::newRow("flash file gone") << int(FlashConfiguration::UnknownGroupsEnabled) << false
                                     << QVariantMap{{"A", false}};
}

void tst_BuildInfoFile::unlistedGroupsFollowTheConfiguration()
{
    QFETCH(int, behavior);
    QFETCH(bool, flashFileKnown);
    QFETCH(QVariantMap, states);

    const auto subject = configuration(FlashConfiguration::UnknownGroupBehavior(behavior));
    const JsonObject document =
        BuildInfoFile::toJson(*subject, m_options, flashFileKnown ? m_fileGroups : FlashConfiguration::FileGroups());
    QCOMPARE(document.toQVariantMap().value("flashGroupsState").toMap(), states);
}

void tst_BuildInfoFile::parametersWithoutValueAreLeftOut()
{
    const FlashConfiguration::Parameters parameters{
        {"unselected", stringParameter("unselected", {"x", "y"})},
        {"empty", stringParameter("empty", {})},
    };
    FlashConfiguration subject(DeviceState::DnxFirmware, FlashConfiguration::UnknownGroupsDisabled, "c", "c",
                               QString(), QString(), QString(), false, parameters, {});
    const QVariantMap document = BuildInfoFile::toJson(subject, m_options, {}).toQVariantMap();
    QCOMPARE(document.value("components").toMap(), QVariantMap());
    QCOMPARE(document.value("flashConfigurationStartState").toString(), QStringLiteral("dnx_fw"));
    QCOMPARE(document.value("buildProperties").toMap(), QVariantMap());
}

void tst_BuildInfoFile::savedRelativeToTheWorkingFolder()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(folder.path()));
    m_options.buildInfoOutput = QStringLiteral("build-info.json");
    const auto subject = configuration(FlashConfiguration::UnknownGroupsEnabled);
    const QString written = BuildInfoFile::save(*subject, m_options, m_fileGroups);
    QDir::setCurrent(previous);

    QCOMPARE(written, QDir(folder.path()).absoluteFilePath(QStringLiteral("build-info.json")));
    JsonObject saved;
    QVERIFY(saved.loadFile(written));
    QCOMPARE(saved, BuildInfoFile::toJson(*subject, m_options, m_fileGroups));
}

void tst_BuildInfoFile::nothingWithoutOutputPath()
{
    QTemporaryDir folder;
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(folder.path()));
    const QString written = BuildInfoFile::save(*configuration(FlashConfiguration::UnknownGroupsEnabled), m_options,
                                                m_fileGroups);
    QDir::setCurrent(previous);
    QVERIFY(written.isEmpty());
    QVERIFY(QDir(folder.path()).isEmpty());
}

void tst_BuildInfoFile::failedWriteGivesNoPath()
{
    QTemporaryDir folder;
    m_options.buildInfoOutput = folder.filePath(QStringLiteral("missing/build-info.json"));
    QVERIFY(BuildInfoFile::save(*configuration(FlashConfiguration::UnknownGroupsEnabled), m_options, m_fileGroups)
                .isEmpty());
}

QTEST_GUILESS_MAIN(tst_BuildInfoFile)
#include "tst_BuildInfoFile.moc"
