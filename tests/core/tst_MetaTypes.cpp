// The names under which queued signals carry the shared types.

#include "core/FlashTypes.h"
#include "core/LogLevel.h"
#include "core/MetaTypes.h"

#include <QtTest>

#include <cstdint>

class tst_MetaTypes : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void namesResolveToTheirTypes_data();
    void namesResolveToTheirTypes();
};

void tst_MetaTypes::initTestCase()
{
    registerMetaTypes();
}

void tst_MetaTypes::namesResolveToTheirTypes_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<int>("typeId");
    QTest::newRow("LOGLEVEL") << QByteArray("LOGLEVEL") << qMetaTypeId<LOGLEVEL>();
    QTest::newRow("FlashStatus") << QByteArray("FlashTypes::FlashStatus") << qMetaTypeId<FlashTypes::FlashStatus>();
    QTest::newRow("CommandType") << QByteArray("FlashTypes::CommandType") << qMetaTypeId<FlashTypes::CommandType>();
    QTest::newRow("DeviceState") << QByteArray("DeviceState") << qMetaTypeId<DeviceState>();
    QTest::newRow("DevicePlatform") << QByteArray("DevicePlatform") << qMetaTypeId<DevicePlatform>();
    QTest::newRow("uint64_t is unsigned long") << QByteArray("uint64_t") << int(QMetaType::ULong);
    QTest::newRow("size_t") << QByteArray("size_t") << int(QMetaType::ULong);
    QTest::newRow("int32_t") << QByteArray("int32_t") << int(QMetaType::Int);
}

void tst_MetaTypes::namesResolveToTheirTypes()
{
    QFETCH(QByteArray, name);
    QFETCH(int, typeId);
    QCOMPARE(QMetaType::type(name.constData()), typeId);
}

QTEST_GUILESS_MAIN(tst_MetaTypes)
#include "tst_MetaTypes.moc"
