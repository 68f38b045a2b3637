// The crash-log check of a device: the verdict from the answers of adb and the device's crash tool
// (a fake adb plays both).

#include "core/DeviceAddress.h"
#include "core/FMConst.h"
#include "core/MetaTypes.h"
#include "engine/EngineMetaTypes.h"
#include "engine/FlashDevice2.h"
#include "engine/FlashDeviceThreadWorker.h"
#include "tests/engine/RunnerFixtures.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// A fake adb answering "root" with `rootOutput` (exit `rootExit`), "wait-for-device" with nothing
// and the crash tool with `events`; it writes each call's command word to "calls".
QString writeFakeAdb(const QTemporaryDir& dir, const QByteArray& rootOutput, int rootExit, const QByteArray& events)
{
    QFile root(dir.filePath("root.out"));
    QFile answer(dir.filePath("events.out"));
    if (!root.open(QIODevice::WriteOnly) || !answer.open(QIODevice::WriteOnly))
        return QString();
    root.write(rootOutput);
    answer.write(events);
    const QByteArray folder = QFile::encodeName(dir.path());
    return RunnerFixtures::writeFakeProgram(
        dir, "adb",
        "echo \"$3\" >> '" + folder + "/calls'\n"
        "case \"$3\" in\n"
        "  root) cat '" + folder + "/root.out'; exit " + QByteArray::number(rootExit) + ";;\n"
        "  wait-for-device) exit 0;;\n"
        "  shell) [ \"$*\" = \"-s CRASH1 shell crashinfo getevent --full -j\" ] || exit 9\n"
        "         cat '" + folder + "/events.out'; exit 0;;\n"
        "esac\n"
        "exit 9");
}

QStringList calls(const QTemporaryDir& dir)
{
    QFile file(dir.filePath("calls"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
}

} // namespace

class tst_FlashDeviceThreadWorker : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void verdict_data();
    void verdict();
    void checkPendingLogsOnlyForMainOsWithSerial_data();
    void checkPendingLogsOnlyForMainOsWithSerial();
};

void tst_FlashDeviceThreadWorker::initTestCase()
{
    registerMetaTypes();
    registerEngineMetaTypes();
}

void tst_FlashDeviceThreadWorker::init()
{
    FMConst::resetToDefaults();
}

void tst_FlashDeviceThreadWorker::verdict_data()
{
    QTest::addColumn<QByteArray>("rootOutput");
    QTest::addColumn<int>("rootExit");
    QTest::addColumn<QByteArray>("events");
    QTest::addColumn<int>("verdict");
    QTest::addColumn<QStringList>("ran");

    const QStringList all{"root", "wait-for-device", "shell"};
    const QByteArray pendingLast = "{\"uploaded\": -1, \"logsuploaded\": 0, \"crashdir\": \"\"}\n"
                                   "{\"uploaded\": 1, \"logsuploaded\": 1, \"crashdir\": \"/data/a\"}\r\n"
                                   "{\"uploaded\": 1, \"logsuploaded\": 0, \"crashdir\": \"/data/b\"}\n";
    QByteArray uploadedWithoutFolder = pendingLast;
    uploadedWithoutFolder.replace("/data/b", "");

    QTest::newRow("root reports an ERROR") << QByteArray("adbd ERROR: not allowed\n") << 0 << pendingLast << 1
                                           << QStringList{"root"};
    QTest::newRow("root fails") << QByteArray() << 1 << pendingLast << 1 << QStringList{"root"};
    QTest::newRow("no crash tool") << QByteArray() << 0 << QByteArray("/system/bin/sh: crashinfo: not found\n") << 1 << all;
    QTest::newRow("arguments refused") << QByteArray() << 0 << QByteArray("checkArgs failed\n") << 2 << all;
    QTest::newRow("usage") << QByteArray() << 0 << QByteArray("usage: crashinfo getevent [--full]\n") << 2 << all;
    QTest::newRow("no event") << QByteArray() << 0 << QByteArray() << 4 << all;
    QTest::newRow("pending logs in the last line") << QByteArray() << 0 << pendingLast << 5 << all;
    QTest::newRow("uploaded, no folder") << QByteArray() << 0 << uploadedWithoutFolder << 4 << all;
    QTest::newRow("not uploaded") << QByteArray() << 0
                                  << QByteArray("{\"uploaded\": 0, \"logsuploaded\": 0, \"crashdir\": \"\"}") << 5 << all;
    QTest::newRow("not JSON before a pending event") << QByteArray() << 0 << "garbage\n" + pendingLast << 3 << all;
    QTest::newRow("no crashdir") << QByteArray() << 0 << QByteArray("{\"uploaded\": 0, \"logsuploaded\": 0}") << 3 << all;
    QTest::newRow("crashdir not a string") << QByteArray() << 0
                                           << QByteArray("{\"uploaded\": 0, \"logsuploaded\": 0, \"crashdir\": 3}") << 3 << all;
    QTest::newRow("unknown uploaded value") << QByteArray() << 0
                                            << QByteArray("{\"uploaded\": 2, \"logsuploaded\": 0, \"crashdir\": \"x\"}") << 3 << all;
}

void tst_FlashDeviceThreadWorker::verdict()
{
    QFETCH(QByteArray, rootOutput);
    QFETCH(int, rootExit);
    QFETCH(QByteArray, events);
    QFETCH(int, verdict);
    QFETCH(QStringList, ran);
    QTemporaryDir dir;
    QVERIFY(FMConst::setTool(FMConst::ADB_TOOL_ID, writeFakeAdb(dir, rootOutput, rootExit, events)));

    int result = -1;
    FlashDeviceThreadWorker worker(nullptr, DeviceAddress(QStringLiteral("CRASH1"), PortNumber::UsbConnection), &result);
    worker.start();
    QVERIFY(worker.wait(60000));
    QCOMPARE(result, verdict);
    QCOMPARE(calls(dir), ran);
}

void tst_FlashDeviceThreadWorker::checkPendingLogsOnlyForMainOsWithSerial_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("serial");
    QTest::addColumn<int>("verdict");
    QTest::newRow("Main OS") << int(DeviceState::MainOs) << "CRASH1" << 5;
    QTest::newRow("Provisioning OS") << int(DeviceState::ProvisioningOs) << "CRASH1" << 0;
    QTest::newRow("no serial") << int(DeviceState::MainOs) << QString() << 0;
}

void tst_FlashDeviceThreadWorker::checkPendingLogsOnlyForMainOsWithSerial()
{
    QFETCH(int, state);
    QFETCH(QString, serial);
    QFETCH(int, verdict);
    QTemporaryDir dir;
    QVERIFY(FMConst::setTool(FMConst::ADB_TOOL_ID,
                             writeFakeAdb(dir, QByteArray(), 0,
                                          "{\"uploaded\": 0, \"logsuploaded\": 0, \"crashdir\": \"\"}")));
    const SharedPointer<FlashDevice2> device = RunnerFixtures::makeDevice(DeviceState(state), serial);
    QCOMPARE(device->checkPendingLogs(), verdict);
    QCOMPARE(calls(dir).isEmpty(), verdict == 0);   // no worker, no adb
}

QTEST_GUILESS_MAIN(tst_FlashDeviceThreadWorker)
#include "tst_FlashDeviceThreadWorker.moc"
