// Keyword tables of device states and platforms (both keyword generations) and command type names.

#include "core/FlashTypes.h"

#include <QtTest>

namespace {

QStringList keywordsOf(const std::map<QString, DeviceState>& map)
{
    QStringList keywords;
    for (const auto& entry : map)
        keywords << entry.first + '=' + QString::number(int(entry.second));
    return keywords;
}

QStringList namesOf(const std::map<DeviceState, QString>& map)
{
    QStringList names;
    for (const auto& entry : map)
        names << QString::number(int(entry.first)) + '=' + entry.second;
    return names;
}

} // namespace

class tst_FlashTypes : public QObject
{
    Q_OBJECT

private slots:
    void stateMap_data();
    void stateMap();
    void stateNameMap_data();
    void stateNameMap();
    void stateName_data();
    void stateName();
    void keywordsAreCaseSensitive();
    void platformMapsAreInverseAndBuiltOnce();
    void commandTypeName_data();
    void commandTypeName();
};

void tst_FlashTypes::stateMap_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QStringList>("expected");
    const QStringList old{"cos=6", "dnx=1", "dnx_pos=2", "mos=4", "pos=3", "ros=5", "tos=7"};
    const QStringList full{"cos=6", "dnx=1", "dnx_fw=1", "dnx_os=2", "dnx_pos=2",
                           "mos=4", "pos=3", "ros=5", "tos=7"};
    QTest::newRow("2.0 knows only the old keywords") << 0 << old;
    QTest::newRow("2.1") << 1 << full;
    QTest::newRow("2.2") << 2 << full;
    QTest::newRow("3.0") << 3 << full;
    QTest::newRow("4") << 4 << full;
    QTest::newRow("9") << 9 << full;
    QTest::newRow("-1") << -1 << full;
}

void tst_FlashTypes::stateMap()
{
    QFETCH(int, version);
    QFETCH(QStringList, expected);
    QCOMPARE(keywordsOf(FlashTypes::getStateMap(version)), expected);
}

void tst_FlashTypes::stateNameMap_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QStringList>("expected");
    const QStringList old{"1=dnx", "2=dnx_pos", "3=pos", "4=mos", "5=ros", "6=cos", "7=tos"};
    const QStringList newer{"1=dnx_fw", "2=dnx_os", "3=pos", "4=mos", "5=ros", "6=cos", "7=tos"};
    QTest::newRow("0") << 0 << old;
    QTest::newRow("1") << 1 << newer;
    QTest::newRow("3") << 3 << newer;
    QTest::newRow("4") << 4 << newer;
    QTest::newRow("5 falls back to the old names") << 5 << old;
    QTest::newRow("-1") << -1 << old;
}

void tst_FlashTypes::stateNameMap()
{
    QFETCH(int, version);
    QFETCH(QStringList, expected);
    QCOMPARE(namesOf(FlashTypes::getStateNameMap(version)), expected);
}

void tst_FlashTypes::stateName_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("expected");
    QTest::newRow("1") << 1 << "dnx_fw";
    QTest::newRow("2") << 2 << "dnx_os";
    QTest::newRow("3") << 3 << "pos";
    QTest::newRow("4") << 4 << "mos";
    QTest::newRow("7") << 7 << "tos";
    QTest::newRow("0") << 0 << "Invalid state";
    QTest::newRow("8") << 8 << "Invalid state";
    QTest::newRow("-3") << -3 << "Invalid state";
}

void tst_FlashTypes::stateName()
{
    QFETCH(int, state);
    QFETCH(QString, expected);
    QCOMPARE(FlashTypes::getStateName(DeviceState(state)), expected);
}

void tst_FlashTypes::keywordsAreCaseSensitive()
{
    const std::map<QString, DeviceState> states = FlashTypes::getStateMap(3);
    QCOMPARE(states.count(QStringLiteral("DNX")), size_t(0));
    QCOMPARE(states.count(QStringLiteral("Pos")), size_t(0));
    QCOMPARE(FlashTypes::getPlatformMap().count(QStringLiteral("Generic")), size_t(0));
}

void tst_FlashTypes::platformMapsAreInverseAndBuiltOnce()
{
    const std::map<QString, DevicePlatform>& platforms = FlashTypes::getPlatformMap();
    QStringList entries;
    for (const auto& entry : platforms)
        entries << entry.first + '=' + QString::number(int(entry.second));
    QCOMPARE(entries, QStringList({"generic=7", "generic_android=6", "generic_windows=5", "samsung_android=4",
                                   "zorvik_android=3", "zorvik_soc=1", "zorvik_windows=2"}));

    const std::map<DevicePlatform, QString>& names = FlashTypes::getPlatformNameMap();
    QCOMPARE(names.size(), platforms.size());
    for (const auto& entry : platforms)
        QCOMPARE(names.at(entry.second), entry.first);

    QCOMPARE(&FlashTypes::getPlatformMap(), &platforms);
    QCOMPARE(&FlashTypes::getPlatformNameMap(), &names);
}

void tst_FlashTypes::commandTypeName_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("expected");
    const QStringList names{"Ifwi", "Fastboot", "ADB", "Shell", "Modem", "Device enumeration",
                            "Initial device state", "Popup", "Notifier", "Sleep", "Token", "FLS",
                            "DFU", "JLink", "Controller", "Wrong device type", "Internal"};
    for (int type = 0; type < names.size(); ++type)
        QTest::newRow(qPrintable(QString::number(type))) << type << names.at(type);
    QTest::newRow("17") << 17 << "Unknown";
    QTest::newRow("-1") << -1 << "Unknown";
}

void tst_FlashTypes::commandTypeName()
{
    QFETCH(int, type);
    QFETCH(QString, expected);
    QCOMPARE(FlashTypes::getCommandTypeName(FlashTypes::CommandType(type)), expected);
}

QTEST_GUILESS_MAIN(tst_FlashTypes)
#include "tst_FlashTypes.moc"
