#include "app/ApplicationInfo.h"

#include <QCoreApplication>
#include <QDir>
#include <QtTest>

// The identity and build data that the entry point publishes on the application object.
class tst_ApplicationInfo : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void nameAndVersion();
    void properties_data();
    void properties();
    void versionLine();
};

void tst_ApplicationInfo::initTestCase()
{
    ApplicationInfo::publish(*QCoreApplication::instance());
}

void tst_ApplicationInfo::nameAndVersion()
{
    QCOMPARE(QCoreApplication::applicationName(), QString::fromUtf8("Zorvik\u00ae Quillon Lite"));
    QCOMPARE(QCoreApplication::applicationVersion(), QStringLiteral("5.3.2.0"));
}

void tst_ApplicationInfo::properties_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QVariant>("value");

    const QString folder = QCoreApplication::applicationDirPath();
    QTest::newRow("version") << "APP_FULL_VERSION" << QVariant(QStringLiteral("5.3.2.0"));
    QTest::newRow("build time") << "APP_BUILD_TIME" << QVariant(QStringLiteral("Thursday July 30th 2015, 09:15:43 UTC"));
    QTest::newRow("build timestamp") << "APP_BUILD_TIMESTAMP" << QVariant(1438247743.0);
    QTest::newRow("architecture") << "APP_ARCH" << QVariant(QStringLiteral("x64"));
    QTest::newRow("library path") << "APP_LIB_PATH" << QVariant(folder);
    QTest::newRow("share path") << "APP_SHARE_PATH" << QVariant(folder);
    QTest::newRow("config") << "APP_PCD_CONFIG_INI" << QVariant(folder + QDir::separator() + "config.ini");
    QTest::newRow("general font") << "FONT_SIZE_GENERAL" << QVariant(11);
    QTest::newRow("device widget font") << "FONT_SIZE_DEVICE_WIDGET" << QVariant(10);
    QTest::newRow("log button font") << "FONT_SIZE_LOG_BUTTON" << QVariant(11);
    QTest::newRow("tool button font") << "FONT_SIZE_TOOL_BUTTON" << QVariant(11);
    QTest::newRow("about font") << "FONT_SIZE_ABOUT" << QVariant(11);
    QTest::newRow("update font") << "FONT_SIZE_AUTOUPDATE" << QVariant(11);
    QTest::newRow("logger font") << "FONT_SIZE_LOGGER" << QVariant(11);
}

void tst_ApplicationInfo::properties()
{
    QFETCH(QString, name);
    QFETCH(QVariant, value);
    const QVariant published = QCoreApplication::instance()->property(qPrintable(name));
    QCOMPARE(published, value);
    QCOMPARE(published.type(), value.type());
}

void tst_ApplicationInfo::versionLine()
{
    QCOMPARE(ApplicationInfo::versionLine(),
             QStringLiteral("Zorvik(R) Quillon Lite V 5.3.2.0 x64 (build on Thursday July 30th 2015, 09:15:43 UTC)"));
}

QTEST_GUILESS_MAIN(tst_ApplicationInfo)
#include "tst_ApplicationInfo.moc"
