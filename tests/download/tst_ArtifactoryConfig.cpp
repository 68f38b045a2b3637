// The repository configuration record: empty when built, servers shared between its maps.

#include "download/ArtifactoryConfig.h"

#include <QtTest>

#include <memory>

class tst_ArtifactoryConfig : public QObject
{
    Q_OBJECT

private slots:
    void newRecordIsEmpty();
    void serverSharedByBothMapsLivesUntilTheLastOne();
};

void tst_ArtifactoryConfig::newRecordIsEmpty()
{
    const ArtifactoryConfig config;
    QVERIFY(!config.version.isValid());
    QVERIFY(config.firstText.isEmpty() && config.secondText.isEmpty() && config.thirdText.isEmpty());
    QVERIFY(config.fourthText.isEmpty() && config.fifthText.isEmpty());
    QVERIFY(config.firstList.isEmpty() && config.secondList.isEmpty());
    QVERIFY(config.firstServers.empty() && config.secondServers.empty());
    QVERIFY(config.firstValues.isEmpty() && config.secondValues.isEmpty() && config.thirdValues.isEmpty());
    QVERIFY(config.textPairs.isEmpty());
}

void tst_ArtifactoryConfig::serverSharedByBothMapsLivesUntilTheLastOne()
{
    QWeakPointer<ArtifactoryConfig::ArtifactoryServer> watched;
    auto config = std::make_unique<ArtifactoryConfig>();
    {
        const auto server = QSharedPointer<ArtifactoryConfig::ArtifactoryServer>::create();
        server->firstText = QStringLiteral("repository");
        server->plainValue = 443;
        watched = server;
        config->firstServers[QStringLiteral("main")] = server;
        config->secondServers[QStringLiteral("main")] = server;
    }
    config->firstServers.clear();
    QVERIFY(!watched.isNull());
    QCOMPARE(watched.toStrongRef()->plainValue, uint64_t(443));
    config.reset();
    QVERIFY(watched.isNull());
}

QTEST_APPLESS_MAIN(tst_ArtifactoryConfig)
#include "tst_ArtifactoryConfig.moc"
