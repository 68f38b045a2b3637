#include "loader/ExternalToolManager.h"
#include "model/FlashCommand.h"
#include "tools/BuiltInKinds.h"

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
    for (const BuiltInKind& kind : BuiltInKinds::all())
        ids << kind.toolId;
    QCOMPARE(ids, (QStringList{"setVariable", "adb", "fastboot", "pass", "popup", "notifier", "sleep",
                               "waitForDevice", "dravikDownloader", "cat", "dfuDownloader"}));

    QStringList registered;
    for (const auto& factory : BuiltInKinds::factories())
        registered << QString::fromStdString(factory.first);
    QCOMPARE(registered, (QStringList{"adb", "cat", "dfuDownloader", "dravikDownloader", "fastboot", "notifier",
                                      "pass", "popup", "setVariable", "sleep", "waitForDevice"}));
}

void tst_CommandKinds::internalIds()
{
    QCOMPARE(ExternalToolManager::getInternalTools(),
             (QSet<QString>{"adb", "fastboot", "popup", "notifier", "sleep", "waitForDevice",
                            "dravikDownloader", "dfuDownloader"}));
}

QTEST_GUILESS_MAIN(tst_CommandKinds)
#include "tst_CommandKinds.moc"
