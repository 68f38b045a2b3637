// Every image the face names is compiled in and readable, at the path the face uses.

#include "ui/UiResources.h"

#include <QImage>
#include <QtTest>

class tst_UiResources : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void imageLoads_data();
    void imageLoads();
};

void tst_UiResources::initTestCase()
{
    UiResources::init();
}

void tst_UiResources::imageLoads_data()
{
    QTest::addColumn<QString>("path");
    const char* const names[] = {
        "Clear.png", "alert.png", "blank_file.png", "config.png", "configuration-settings.png", "debug.png",
        "doc.png", "edit.png", "editor.png", "error.png", "export.png", "fastboot_dnx_file.png",
        "fastboot_file.png", "fatal.png", "flash-logo-64.png", "flash.png", "gpflag.png", "import.png",
        "info.png", "list-add.png", "list-remove.png", "ota_file.png", "phone_connected.png",
        "phone_disconnected.png", "preferences-system.png", "quillonlite.ico", "refresh.png",
        "round-cross.png", "save.png", "splash_quillon.png", "title_qln.png", "trace.png", "unknown_file.png",
        "update.png", "vertical_banner.png", "weather-clear.png",
        // The battery gauge names its images without a suffix; the image reader finds the PNG.
        "battery_horizontal_0percent2", "battery_horizontal_10percent", "battery_horizontal_20percent",
        "battery_horizontal_40percent", "battery_horizontal_60percent", "battery_horizontal_80percent",
        "battery_horizontal_100percent", "battery_horizontal_unknown.png",
    };
    for (const char* name : names)
        QTest::newRow(name) << QStringLiteral(":/icons/icons/") + QLatin1String(name);
}

void tst_UiResources::imageLoads()
{
    QFETCH(QString, path);
    QVERIFY2(!QImage(path).isNull(), qPrintable(path));
}

QTEST_MAIN(tst_UiResources)
#include "tst_UiResources.moc"
