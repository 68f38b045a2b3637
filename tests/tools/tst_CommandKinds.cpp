#include "loader/ExternalToolManager.h"
#include "model/FlashCommand.h"

#include <QtTest>

// The built-in command kinds and which of them a user tool may replace.
class tst_CommandKinds : public QObject
{
    Q_OBJECT

private slots:
    void builtInIds();
    void internalIds();
};

void tst_CommandKinds::builtInIds()
{
    QStringList ids;
    for (const FlashCommand::BuiltInKind& kind : FlashCommand::builtInKinds())
        ids << kind.toolId;
    QCOMPARE(ids, (QStringList{"setVariable", "adb", "fastboot", "cat", "dfuDownloader"}));

    QStringList registered;
    for (const auto& factory : FlashCommand::initFactories())
        registered << QString::fromStdString(factory.first);
    QCOMPARE(registered, (QStringList{"adb", "cat", "dfuDownloader", "fastboot", "setVariable"}));
}

void tst_CommandKinds::internalIds()
{
    QCOMPARE(ExternalToolManager::getInternalTools(),
             (QSet<QString>{"adb", "fastboot", "dfuDownloader"}));
}

QTEST_GUILESS_MAIN(tst_CommandKinds)
#include "tst_CommandKinds.moc"
