// Cost of the flash engine around the tools it runs, and of loading a large flash file.
//
//   flashbench [--devices 1,8,32] [--commands 20] [--load-commands 10000] [--repeat 5]
//
// Part 1: for each device count, that many simulated devices in fastboot (tests/sim) and one
// configuration of N fastboot flash commands, driven through FlashManager directly as the program
// drives it (device manager with the program's scanner and filters, one flash per device, all at
// once). Every fastboot run goes through a small wrapper that notes when the fake tool started and
// ended, so the time inside the tools is measured, not guessed. Prints the wall time from the
// requests to the last end, the mean time of one device's flash, the mean time inside its tools,
// and the difference: the engine's overhead per device and per command (it includes the engine's
// fixed pause before the first command of every flash).
//
// Part 2: a generated flash file of M commands, loaded and checked (FlashFileManager::loadFromFile
// with the configuration check) against a bare JSON parse of the same bytes (QJsonDocument), best
// of R runs each.
//
// Exits 1 when a flash fails or devices do not show up, 2 when the set-up fails.

#include "DeviceManagerFixture.h"
#include "core/FMConst.h"
#include "core/MetaTypes.h"
#include "engine/EngineMetaTypes.h"
#include "engine/FlashDevice2.h"
#include "engine/FlashManager.h"
#include "loader/FlashFileManager.h"
#include "model/FlashCommand.h"
#include "model/ModelMetaTypes.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

#include <algorithm>
#include <map>
#include <vector>

namespace {

QTextStream& out()
{
    static QTextStream stream(stdout);
    return stream;
}

// Runs the fake fastboot named by QLN_BENCH_TOOL and appends "<start ns> <end ns> <arguments>"
// to QLN_BENCH_JOURNAL.
const char* const kTimedTool = R"(#!/bin/sh
start=$(date +%s%N)
"$QLN_BENCH_TOOL" "$@"
status=$?
end=$(date +%s%N)
echo "$start $end $*" >> "$QLN_BENCH_JOURNAL"
exit $status
)";

bool writeFile(const QString& path, const QByteArray& content, bool executable = false)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size())
        return false;
    file.close();
    return !executable || file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
}

// A flash file of `count` fastboot flash commands of one small image, starting in fastboot.
QByteArray flashFileText(int count)
{
    QByteArray commands;
    for (int i = 0; i < count; ++i) {
        if (i > 0)
            commands += ",\n";
        commands += QStringLiteral(R"(  {"tool": "fastboot", "args": "flash part%1 ${image}", "timeout": 60000, "retry": 1, "description": "Flash part %1"})")
                        .arg(i)
                        .toUtf8();
    }
    return R"({"flash": {"version": "3.0",
 "parameters": {"image": {"type": "file", "name": "Image", "value": "image.bin", "description": "Image"}},
 "configurations": {"bench": {"name": "Bench", "startState": "pos", "default": true}},
 "commands": [
)" + commands + "\n]}}\n";
}

struct Journal
{
    std::map<QString, qint64> toolNsBySerial;   // time inside the flash commands' tools
    int flashCommands = 0;
};

// The "flash" runs of the journal, summed per device (the serial after "-s").
Journal readJournal(const QString& path)
{
    Journal journal;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return journal;
    while (!file.atEnd()) {
        const QStringList words = QString::fromUtf8(file.readLine()).trimmed().split(' ');
        const int serial = words.indexOf("-s");
        if (words.size() < 3 || serial < 0 || serial + 1 >= words.size() || !words.contains("flash"))
            continue;
        journal.toolNsBySerial[words.at(serial + 1)] += words.at(1).toLongLong() - words.at(0).toLongLong();
        ++journal.flashCommands;
    }
    return journal;
}

// One round: `devices` simulated devices each flashed with the configuration. 0 on success.
int flashRound(int devices, int commands)
{
    DeviceManagerFixture station(&FlashDevice2::DeviceAllocator);
    QTemporaryDir work;
    if (!station.isValid() || !work.isValid())
        return 2;
    const QString journal = work.filePath("journal");
    const QString wrapper = work.filePath("fastboot");
    if (!writeFile(wrapper, kTimedTool, true) || !writeFile(work.filePath("image.bin"), QByteArray(4096, 'x'))
        || !writeFile(work.filePath("flash.json"), flashFileText(commands)))
        return 2;
    qputenv("QLN_BENCH_TOOL", QFile::encodeName(station.sim.toolPath("fastboot")));
    qputenv("QLN_BENCH_JOURNAL", QFile::encodeName(journal));
    FMConst::setTool(FMConst::FASTBOOT_TOOL_ID, wrapper);

    for (int i = 0; i < devices; ++i) {
        if (!station.sim.addDevice(QStringLiteral("BENCH%1").arg(i, 2, 10, QLatin1Char('0')),
                                   QStringLiteral("%1-%2").arg(1 + i / 16).arg(1 + i % 16), "pos", {"--vendor", "8087"}))
            return 2;
    }
    const QSharedPointer<FlashFileManager> flashFile = FlashFileManager::loadFromFile(work.filePath("flash.json"), true);
    if (!flashFile)
        return 2;

    FlashManager manager;
    manager.setDeviceManager(&station.manager);
    station.scanner->startScan();
    QElapsedTimer waiting;
    waiting.start();
    while (manager.getNbDeviceConnected(DeviceState::ProvisioningOs) < devices) {
        if (waiting.elapsed() > 120000) {
            out() << "devices did not show up\n";
            return 1;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(20);
    }
    std::map<PortNumber, FlashDevice2Ptr> found;
    station.manager.getDevicesByType<FlashDevice2>(found);

    std::map<const FlashDevice2*, QElapsedTimer> started;
    std::vector<qint64> durationsMs;
    int failures = 0;
    QObject::connect(&manager, &FlashManager::flashStarted, [&](FlashDevice2Ptr device) { started[device.data()].start(); });
    QObject::connect(&manager, &FlashManager::flashFinished,
                     [&](FlashDevice2Ptr device, FlashTypes::FlashStatus status, FlashTypes::CommandType) {
                         durationsMs.push_back(started[device.data()].elapsed());
                         failures += status == FlashTypes::FlashStatus::Success ? 0 : 1;
                     });
    QElapsedTimer wall;
    wall.start();
    for (const auto& entry : found)
        manager.rebootAndStartDeviceFlash(entry.second, flashFile->getDefaultConfiguration());
    while (int(durationsMs.size()) < devices) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(5);
    }
    const qint64 wallMs = wall.elapsed();
    station.manager.stopAllScanners();
    if (failures > 0) {
        out() << failures << " flashes failed\n";
        return 1;
    }

    const Journal tools = readJournal(journal);
    qint64 toolNs = 0;
    for (const auto& entry : tools.toolNsBySerial)
        toolNs += entry.second;
    qint64 flashMs = 0;
    for (qint64 duration : durationsMs)
        flashMs += duration;
    const double meanFlashMs = double(flashMs) / devices;
    const double meanToolMs = double(toolNs) / 1e6 / devices;
    const double overheadMs = meanFlashMs - meanToolMs;
    out() << QStringLiteral("%1 | %2 | %3 | %4 | %5 | %6 | %7\n")
                 .arg(devices, 7)
                 .arg(tools.flashCommands, 8)
                 .arg(double(wallMs) / 1000.0, 8, 'f', 2)
                 .arg(meanFlashMs / 1000.0, 10, 'f', 2)
                 .arg(meanToolMs / 1000.0, 10, 'f', 2)
                 .arg(overheadMs / 1000.0, 12, 'f', 2)
                 .arg(overheadMs / commands, 12, 'f', 1);
    out().flush();
    return 0;
}

qint64 bestOf(int repeat, const std::function<bool()>& work)
{
    qint64 best = -1;
    for (int i = 0; i < repeat; ++i) {
        QElapsedTimer clock;
        clock.start();
        if (!work())
            return -1;
        const qint64 elapsed = clock.nsecsElapsed();
        best = best < 0 ? elapsed : std::min(best, elapsed);
    }
    return best;
}

int loadRound(int commands, int repeat)
{
    QTemporaryDir work;
    const QByteArray text = flashFileText(commands);
    if (!work.isValid() || !writeFile(work.filePath("flash.json"), text) || !writeFile(work.filePath("image.bin"), "x"))
        return 2;
    const qint64 parseNs = bestOf(repeat, [&] {
        QFile file(work.filePath("flash.json"));
        return file.open(QIODevice::ReadOnly) && !QJsonDocument::fromJson(file.readAll()).isNull();
    });
    const qint64 loadNs = bestOf(repeat, [&] { return bool(FlashFileManager::loadFromFile(work.filePath("flash.json"), true)); });
    if (parseNs < 0 || loadNs < 0)
        return 2;
    out() << QStringLiteral("\nflash file of %1 commands (%2 KiB), best of %3:\n").arg(commands).arg(text.size() / 1024).arg(repeat)
          << QStringLiteral("  bare JSON parse (QJsonDocument)        %1 ms\n").arg(double(parseNs) / 1e6, 8, 'f', 1)
          << QStringLiteral("  load and check (FlashFileManager)      %1 ms\n").arg(double(loadNs) / 1e6, 8, 'f', 1)
          << QStringLiteral("  ratio                                  %1\n").arg(double(loadNs) / double(parseNs), 8, 'f', 1);
    out().flush();
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription("Flash engine overhead on simulated devices, and flash file loading.");
    parser.addHelpOption();
    const QCommandLineOption devicesOption("devices", "Device counts, comma separated.", "list", "1,8,32");
    const QCommandLineOption commandsOption("commands", "Commands of the flashed configuration.", "count", "20");
    const QCommandLineOption loadOption("load-commands", "Commands of the loaded flash file.", "count", "10000");
    const QCommandLineOption repeatOption("repeat", "Runs of each load contender.", "count", "5");
    parser.addOptions({devicesOption, commandsOption, loadOption, repeatOption});
    parser.process(application);

    registerMetaTypes();
    registerEngineMetaTypes();
    registerModelMetaTypes();
    FlashCommand::ms_kFactories = FlashCommand::initFactories();
    // The engine's lines would drown the table.
    qputenv("QT_LOGGING_RULES", "*.debug=false");

    const int commands = parser.value(commandsOption).toInt();
    out() << QStringLiteral("%1 fastboot commands per flash, simulated devices in fastboot, all flashed at once\n").arg(commands)
          << "devices | commands |   wall s | flash s/dev | tools s/dev | overhead s/dev | overhead ms/cmd\n";
    for (const QString& count : parser.value(devicesOption).split(',')) {
        const int status = flashRound(count.toInt(), commands);
        if (status != 0)
            return status;
    }
    return loadRound(parser.value(loadOption).toInt(), parser.value(repeatOption).toInt());
}
