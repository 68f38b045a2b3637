// A flashing station as an operator runs one: the built `quillonlite --cli`, one process per
// device, all started at once, against simulated devices in fastboot.
//
//   stationbench [--devices 1,8,16,32,64] [--commands 20] [--delay-ms 500]
//                [--idle-devices 32] [--idle-seconds 10] [--plug-rounds 9]
//
// Each device count gets a station of its own (tests/sim: fake fastboot and adb as the tools of a
// fresh home folder's settings, the compiled clients that hand each call to the simulator's
// server, so no call pays a Python start-up; a fake sysfs tree): that many devices in fastboot, each fastboot
// flash taking --delay-ms more in the fake (as an image takes its time over USB, beside the other
// devices), and a flash file of --commands such flashes. First, as the reference, one plain loop
// per device runs the same fake calls one after the other, all loops side by side. Then one
// `quillonlite --cli -f <file> --os-sn <serial>` per device, all started at once. From the
// processes, their console and the simulator's journal (every call with the time its fake started)
// it prints:
//   - the station's wall time and its ratio to one device's in the same run;
//   - start-up: from a process's start to its "Number of devices detected" line and to its first
//     flash command reaching the fake;
//   - the flash, from that line to the exit, against the plain loop plus the engine's fixed 500 ms
//     pause before the first command, and the cost per command that is left; also the mean
//     interval between two flash commands of a device against one call of the plain loop;
//   - the tool calls per device by kind (probes, flashes, others), and per process those that name
//     no device (device lists, help checks);
//   - the CPU time per device of the plain loop and of the station, the program's own (with the
//     clients of its calls) apart from the fakes that the simulator's server ran.
// Then idle: one process whose serial filter matches none of --idle-devices attached devices, for
// --idle-seconds once it waits for devices; the CPU time of the program and of the tools it ran
// (its reaped children: the clients; their calls run in the simulator's server), over the wall
// time, in % of one core. Last, plug-in: --plug-rounds times
// a process waits for its device, the device is added to the tree, and the time from the tree's
// change to the process's "Start flashing" line is taken (min, median, max).
//
// Exits 1 when a flash fails or a run does not end, 2 when the set-up fails.

#include "GeneratedFlashFile.h"
#include "ProgramLanes.h"
#include "ToolJournal.h"

#include "CommandLineStation.h"
#include "core/ChildProcess.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDate>
#include <QFile>
#include <QTextStream>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <numeric>

namespace {

constexpr double kFirstCommandPauseSeconds = 0.5;   // the engine's fixed pause before a flash's first command
constexpr int kWatchdogMs = 15 * 60 * 1000;
const char* const kDetectedLine = "Number of devices detected";
const char* const kWaitingLine = "Waiting for devices ...";

QTextStream& out()
{
    static QTextStream stream(stdout);
    return stream;
}

QString serialOf(int index)
{
    return QStringLiteral("BENCH%1").arg(index, 2, 10, QLatin1Char('0'));
}

double mean(const std::vector<double>& values)
{
    return values.empty() ? 0 : std::accumulate(values.begin(), values.end(), 0.0) / double(values.size());
}

double largest(const std::vector<double>& values)
{
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

// A station of `devices` simulated devices in fastboot (eight to a root hub, as real ones have) and
// the flash file of `commands` flashes in its working folder; every fastboot flash takes `delayMs`
// more. False (and the reason in `error`) when it cannot be set up.
bool setUp(CommandLineStation& station, int devices, int commands, int delayMs, QString& error)
{
    if (!station.serveTools(error))
        return false;
    if (!station.isReady() || !writeWholeFile(station.path("flash.json"), generatedFlashFile(commands))
        || !writeWholeFile(station.path("image.bin"), QByteArray(4096, 'x'))) {
        error = QStringLiteral("cannot set up the station's folders");
        return false;
    }
    for (int i = 0; i < devices; ++i) {
        if (!station.addDevice({serialOf(i), QStringLiteral("%1-%2").arg(1 + i / 8).arg(1 + i % 8), QStringLiteral("pos"),
                                QStringLiteral("--vendor"), QStringLiteral("8087")})) {
            error = QStringLiteral("cannot add simulated device %1").arg(serialOf(i));
            return false;
        }
    }
    if (!station.sim.setToolFault(QStringLiteral("delay_match"), QStringLiteral("flash"))
        || !station.sim.setToolFault(QStringLiteral("delay_ms"), QString::number(delayMs))) {
        error = QStringLiteral("cannot set the simulator's flash delay");
        return false;
    }
    return true;
}

QProcessEnvironment environmentOf(const CommandLineStation& station)
{
    // The simulator's variables are in this process's environment already.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), station.home());
    return environment;
}

// The first failed lane's output, for the operator; empty when none failed.
QString firstFailure(const std::vector<ProgramLanes::Lane>& lanes)
{
    for (const ProgramLanes::Lane& lane : lanes) {
        if (lane.failedRuns > 0 || lane.endedAt == 0)
            return QStringLiteral("%1 failed:\n%2").arg(lane.program, QString::fromLocal8Bit(lane.lastOutput.right(3000)));
    }
    return QString();
}

struct CpuTicks
{
    qint64 program = 0;   // utime + stime
    qint64 tools = 0;     // cutime + cstime: the children it has reaped
};

bool readCpuTicks(qint64 pid, CpuTicks& ticks)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    // "pid (name) state ppid ...": fields 14 to 17 (utime stime cutime cstime) follow the last ")".
    const QByteArray stat = file.readAll();
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 15)
        return false;
    ticks.program = fields.at(11).toLongLong() + fields.at(12).toLongLong();
    ticks.tools = fields.at(13).toLongLong() + fields.at(14).toLongLong();
    return true;
}

// CPU seconds, in the same stretch, of the processes this bench reaped (the programs it ran and
// the children they reaped: the clients of their fake calls) and of the fake calls the simulator's
// server ran (its reaped children). Read before and after; the difference is the stretch's.
struct CpuSpent
{
    double programs = 0;
    double fakes = 0;

    bool read(const SimulatedDevices& sim)
    {
        struct rusage usage = {};
        CpuTicks server;
        if (::getrusage(RUSAGE_CHILDREN, &usage) != 0 || !readCpuTicks(sim.serverPid(), server))
            return false;
        const auto seconds = [](const timeval& time) { return double(time.tv_sec) + double(time.tv_usec) / 1e6; };
        programs = seconds(usage.ru_utime) + seconds(usage.ru_stime);
        fakes = double(server.tools) / double(::sysconf(_SC_CLK_TCK));
        return true;
    }
    CpuSpent operator-(const CpuSpent& before) const { return {programs - before.programs, fakes - before.fakes}; }
};

struct Row
{
    int devices = 0;
    double wallSeconds = 0;
    double toDetectedMs = 0, toDetectedMaxMs = 0;
    double toFirstFlashMs = 0, toFirstFlashMaxMs = 0;
    // Per device, means: the flash from the detection line to the exit, and its parts.
    double flashSeconds = 0;
    double detectedToFirstMs = 0;   // the engine's pause and what surrounds it
    double betweenCommandsMs = 0;   // from one flash command reaching its fake to the next
    double lastToExitMs = 0;        // from the last flash command reaching its fake to the exit
    double loopSeconds = 0;         // the plain loop of the same calls
    // Tool calls: per device by kind, and per process those naming no device and every fake started.
    double probes = 0, flashes = 0, others = 0;
    double lists = 0, unaddressed = 0, toolStarts = 0;
    // CPU seconds per device: the plain loop's clients and fakes, the station's programs (with
    // their clients) and fakes.
    CpuSpent loopCpu, stationCpu;
};

// The plain loops: per device, its fake fastboot flashes run one after the other, every device's
// loop at once. The mean loop's seconds; -1 when a call fails.
double plainLoops(CommandLineStation& station, int devices, int commands, QString& error)
{
    std::vector<ProgramLanes::Lane> lanes(static_cast<size_t>(devices));
    for (int i = 0; i < devices; ++i) {
        lanes[size_t(i)].program = station.sim.toolPath(QStringLiteral("fastboot"));
        for (int command = 0; command < commands; ++command)
            lanes[size_t(i)].runs << QStringList{QStringLiteral("-s"), serialOf(i), QStringLiteral("flash"),
                                                 QStringLiteral("part%1").arg(command), station.path("image.bin")};
    }
    const bool ended = ProgramLanes(environmentOf(station), station.work()).run(lanes, kWatchdogMs);
    error = ended ? firstFailure(lanes) : QStringLiteral("the plain loops did not end");
    if (!error.isEmpty())
        return -1;
    std::vector<double> seconds;
    for (const ProgramLanes::Lane& lane : lanes)
        seconds.push_back(lane.endedAt - lane.startedAt);
    return mean(seconds);
}

// One round of `devices`: the plain loops, then the station. 0 on success, else the exit code.
int round(int devices, int commands, int delayMs, Row& row)
{
    CommandLineStation station;
    QString error;
    if (!setUp(station, devices, commands, delayMs, error)) {
        out() << error << '\n';
        return 2;
    }
    row.devices = devices;
    CpuSpent loopStart, loopEnd;
    const bool loopCpuRead = loopStart.read(station.sim);
    row.loopSeconds = plainLoops(station, devices, commands, error);
    if (row.loopSeconds < 0) {
        out() << error << '\n';
        return 1;
    }
    CpuSpent stationStart, stationEnd;
    if (!loopCpuRead || !loopEnd.read(station.sim) || !stationStart.read(station.sim)) {
        out() << "the CPU time of the loops cannot be read\n";
        return 1;
    }

    const int startsBefore = station.sim.toolPids().size();
    std::vector<ProgramLanes::Lane> lanes(static_cast<size_t>(devices));
    for (int i = 0; i < devices; ++i) {
        lanes[size_t(i)].program = QStringLiteral(QUILLONLITE_PROGRAM);
        lanes[size_t(i)].runs << QStringList{QStringLiteral("--cli"), QStringLiteral("-f"), station.path("flash.json"),
                                             QStringLiteral("--os-sn"), serialOf(i)};
    }
    const bool ended = ProgramLanes(environmentOf(station), station.work(), {kDetectedLine}).run(lanes, kWatchdogMs);
    error = ended ? firstFailure(lanes) : QStringLiteral("the station's programs did not end");
    if (error.isEmpty() && !stationEnd.read(station.sim))
        error = QStringLiteral("the CPU time of the station cannot be read");
    double first = lanes.front().startedAt, last = 0;
    for (const ProgramLanes::Lane& lane : lanes) {
        first = std::min(first, lane.startedAt);
        last = std::max(last, lane.endedAt);
    }
    ToolJournal journal;
    if (!error.isEmpty() || !journal.read(station.sim, first, last, error)) {
        out() << error << '\n';
        return 1;
    }

    const double loopPerCallMs = 1000 * row.loopSeconds / commands;
    std::vector<double> toDetected, toFirstFlash, flash, detectedToFirst, between, lastToExit;
    for (int i = 0; i < devices; ++i) {
        const ProgramLanes::Lane& lane = lanes[size_t(i)];
        const std::vector<double>& flashTimes = journal.device(serialOf(i)).flashTimes;
        const double detectedAt = lane.markedAt.front();
        if (int(flashTimes.size()) != commands || detectedAt == 0) {
            out() << QStringLiteral("%1: %2 flash commands of %3, detection line %4\n")
                         .arg(serialOf(i))
                         .arg(flashTimes.size())
                         .arg(commands)
                         .arg(detectedAt == 0 ? "missing" : "seen");
            return 1;
        }
        toDetected.push_back(1000 * (detectedAt - lane.startedAt));
        toFirstFlash.push_back(1000 * (flashTimes.front() - lane.startedAt));
        flash.push_back(lane.endedAt - detectedAt);
        detectedToFirst.push_back(1000 * (flashTimes.front() - detectedAt));
        between.push_back(1000 * (flashTimes.back() - flashTimes.front()) / (commands - 1));
        lastToExit.push_back(1000 * (lane.endedAt - flashTimes.back()));
    }
    row.wallSeconds = last - first;
    row.toDetectedMs = mean(toDetected);
    row.toDetectedMaxMs = largest(toDetected);
    row.toFirstFlashMs = mean(toFirstFlash);
    row.toFirstFlashMaxMs = largest(toFirstFlash);
    row.flashSeconds = mean(flash);
    row.detectedToFirstMs = mean(detectedToFirst);
    row.betweenCommandsMs = mean(between);
    row.lastToExitMs = mean(lastToExit) - loopPerCallMs;
    const ToolJournal::DeviceCalls calls = journal.total();
    row.probes = double(calls.probes) / devices;
    row.flashes = double(calls.flashTimes.size()) / devices;
    row.others = double(calls.others) / devices;
    row.lists = double(journal.lists()) / devices;
    row.unaddressed = double(journal.unaddressed()) / devices;
    row.toolStarts = double(station.sim.toolPids().size() - startsBefore) / devices;
    const auto perDevice = [devices](const CpuSpent& spent) {
        return CpuSpent{spent.programs / devices, spent.fakes / devices};
    };
    row.loopCpu = perDevice(loopEnd - loopStart);
    row.stationCpu = perDevice(stationEnd - stationStart);
    return 0;
}

// Idle: one process that flashes none of `devices` attached devices, measured for `seconds` once
// it waits for devices. 0 on success, else the exit code.
// Reads the program's console until `line`; false (the console printed) when it ends or stays
// silent before.
bool readUntil(ChildProcess& program, const char* line, QByteArray& console)
{
    while (!console.contains(line)) {
        if (!program.waitForReadyRead(120000)) {
            out() << "the program never said \"" << line << "\":\n" << console << program.readAll() << '\n';
            return false;
        }
        console += program.readAll();
    }
    return true;
}

// Starts `quillonlite --cli` for the device `serial` and reads its console until it waits for
// devices.
bool startFor(const CommandLineStation& station, const QString& serial, ChildProcess& program, QByteArray& console)
{
    program.setProcessEnvironment(environmentOf(station));
    program.setWorkingDirectory(station.work());
    program.setProcessChannelMode(QProcess::MergedChannels);
    program.start(QStringLiteral(QUILLONLITE_PROGRAM),
                  {QStringLiteral("--cli"), QStringLiteral("-f"), station.path("flash.json"), QStringLiteral("--os-sn"),
                   serial, QStringLiteral("--device-detection-timeout"), QStringLiteral("900000")});
    return readUntil(program, kWaitingLine, console);
}

// A device plugged in to the line that starts its flash, `rounds` times: each round one program
// waits for its device, then the device is added to the tree. The plug-in's time is the tree
// folder's change time, so the simulator's own start-up is not counted.
int plugIn(int rounds)
{
    CommandLineStation station;
    QString error;
    if (!setUp(station, 0, 2, 0, error)) {
        out() << error << '\n';
        return 2;
    }
    std::vector<double> latencies;
    for (int round = 0; round < rounds; ++round) {
        const QString serial = QStringLiteral("PLUG%1").arg(round);
        ChildProcess program;
        QByteArray console;
        if (!startFor(station, serial, program, console))
            return 1;
        QByteArray seen;
        if (!station.addDevice({serial, QStringLiteral("2-%1").arg(1 + round % 8), QStringLiteral("pos")})
            || !readUntil(program, "Start flashing", seen))
            return 1;
        const double startedAt = ProgramLanes::now();
        struct stat tree = {};
        if (::stat(QFile::encodeName(station.sim.sysfsRoot()).constData(), &tree) != 0)
            return 1;
        latencies.push_back(startedAt - (double(tree.st_mtim.tv_sec) + double(tree.st_mtim.tv_nsec) / 1e9));
        program.killGroup();
        program.waitForFinished(30000);
    }
    std::sort(latencies.begin(), latencies.end());
    out() << QStringLiteral("\nplug-in: a device added to the tree to its \"Start flashing\" line, %1 rounds\n")
                 .arg(rounds)
          << QStringLiteral("  min / median / max ms: %1 / %2 / %3; target: median at most 150\n")
                 .arg(latencies.front() * 1000, 0, 'f', 0)
                 .arg(latencies[latencies.size() / 2] * 1000, 0, 'f', 0)
                 .arg(latencies.back() * 1000, 0, 'f', 0);
    return 0;
}

int idle(int devices, int seconds)
{
    CommandLineStation station;
    QString error;
    if (!setUp(station, devices, 2, 0, error)) {
        out() << error << '\n';
        return 2;
    }
    ChildProcess program;
    QByteArray console;
    if (!startFor(station, QStringLiteral("NO-SUCH-DEVICE"), program, console))
        return 1;
    const int startsBefore = station.sim.toolPids().size();
    CpuTicks before, after;
    const bool readBefore = readCpuTicks(program.processId(), before);
    const double startedAt = ProgramLanes::now();
    const bool ended = program.waitForFinished(seconds * 1000);
    const bool readAfter = !ended && readCpuTicks(program.processId(), after);
    const double endedAt = ProgramLanes::now();
    const int toolStarts = station.sim.toolPids().size() - startsBefore;
    program.killGroup();
    program.waitForFinished(30000);
    ToolJournal journal;
    if (!readBefore || !readAfter || !journal.read(station.sim, startedAt, endedAt, error)) {
        out() << "the idle program ended or its CPU time cannot be read " << error << '\n'
              << console << program.readAll() << '\n';
        return 1;
    }
    const double tick = double(::sysconf(_SC_CLK_TCK));
    const double window = endedAt - startedAt;
    const double programPercent = 100 * double(after.program - before.program) / tick / window;
    const double toolsPercent = 100 * double(after.tools - before.tools) / tick / window;
    const ToolJournal::DeviceCalls calls = journal.total();
    out() << QStringLiteral("\nidle: %1 devices attached, a serial filter matching none, %2 s once waiting for devices\n")
                 .arg(devices)
                 .arg(window, 0, 'f', 1)
          << QStringLiteral("  CPU in % of one core: %1 (program %2, its tools %3); target: below 2\n")
                 .arg(programPercent + toolsPercent, 0, 'f', 2)
                 .arg(programPercent, 0, 'f', 2)
                 .arg(toolsPercent, 0, 'f', 2)
          << QStringLiteral("  tools started: %1; journaled calls: %2 lists, %3 probes, %4 others\n")
                 .arg(toolStarts)
                 .arg(journal.lists())
                 .arg(calls.probes)
                 .arg(calls.others + journal.unaddressed() + int(calls.flashTimes.size()));
    return 0;
}

void printTables(const std::vector<Row>& rows, int commands, int delayMs)
{
    const Row& one = rows.front();
    out() << QStringLiteral("\nstation: one `quillonlite --cli --os-sn <serial>` per device, all started at once; "
                            "%1 fastboot flashes of %2 ms a device\n")
                 .arg(commands)
                 .arg(delayMs)
          << "devices |   wall s | x one | start to detected ms (mean/max) | start to 1st flash ms (mean/max)\n";
    for (const Row& row : rows)
        out() << QStringLiteral("%1 | %2 | %3 | %4 / %5 | %6 / %7\n")
                     .arg(row.devices, 7)
                     .arg(row.wallSeconds, 8, 'f', 2)
                     .arg(row.wallSeconds / one.wallSeconds, 5, 'f', 2)
                     .arg(row.toDetectedMs, 20, 'f', 0)
                     .arg(row.toDetectedMaxMs, 9, 'f', 0)
                     .arg(row.toFirstFlashMs, 20, 'f', 0)
                     .arg(row.toFirstFlashMaxMs, 9, 'f', 0);

    out() << "\nflash per device (means), from the \"Number of devices detected\" line to the exit, against the\n"
             "plain loop of the same fake calls (every device's loop at once) plus the 500 ms pause before the\n"
             "first command; then its parts: to the first flash, between two flashes (against one call of the\n"
             "loop), and from the end of the last call to the exit\n"
          << "devices | flash s | loop+pause s | cost ms/cmd | to 1st ms | between ms | loop ms/call | engine ms/cmd "
             "| exit ms\n";
    for (const Row& row : rows) {
        const double loopPerCallMs = 1000 * row.loopSeconds / commands;
        out() << QStringLiteral("%1 | %2 | %3 | %4 | %5 | %6 | %7 | %8 | %9\n")
                     .arg(row.devices, 7)
                     .arg(row.flashSeconds, 7, 'f', 2)
                     .arg(row.loopSeconds + kFirstCommandPauseSeconds, 12, 'f', 2)
                     .arg(1000 * (row.flashSeconds - row.loopSeconds - kFirstCommandPauseSeconds) / commands, 11, 'f', 1)
                     .arg(row.detectedToFirstMs, 9, 'f', 0)
                     .arg(row.betweenCommandsMs, 10, 'f', 1)
                     .arg(loopPerCallMs, 12, 'f', 1)
                     .arg(row.betweenCommandsMs - loopPerCallMs, 13, 'f', 1)
                     .arg(row.lastToExitMs, 7, 'f', 0);
    }

    out() << "\ntool calls per device by kind, then per process: device lists, other calls naming no device,\n"
             "and every fake started (the unjournaled help and version checks of the start-up too)\n"
          << "devices | probes | flashes | others | lists | no device | fakes started\n";
    for (const Row& row : rows)
        out() << QStringLiteral("%1 | %2 | %3 | %4 | %5 | %6 | %7\n")
                     .arg(row.devices, 7)
                     .arg(row.probes, 6, 'f', 1)
                     .arg(row.flashes, 7, 'f', 1)
                     .arg(row.others, 6, 'f', 1)
                     .arg(row.lists, 5, 'f', 1)
                     .arg(row.unaddressed, 9, 'f', 1)
                     .arg(row.toolStarts, 13, 'f', 1);

    out() << "\nCPU seconds per device: the plain loop (its fake calls' clients, and the fakes the simulator's\n"
             "server ran for them), then the station (the program with the clients of its calls, and the fakes)\n"
          << "devices | loop clients | loop fakes | program | station fakes\n";
    for (const Row& row : rows)
        out() << QStringLiteral("%1 | %2 | %3 | %4 | %5\n")
                     .arg(row.devices, 7)
                     .arg(row.loopCpu.programs, 12, 'f', 2)
                     .arg(row.loopCpu.fakes, 10, 'f', 2)
                     .arg(row.stationCpu.programs, 7, 'f', 2)
                     .arg(row.stationCpu.fakes, 13, 'f', 2);
    for (const Row& row : rows) {
        if (row.devices == 32)
            out() << QStringLiteral("\n32 devices take %1 times one device's wall time; target: at most 1.15\n")
                         .arg(row.wallSeconds / one.wallSeconds, 0, 'f', 2);
    }
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription("A station of `quillonlite --cli` processes, one per simulated device, all at once.");
    parser.addHelpOption();
    const QCommandLineOption devicesOption("devices", "Device counts, comma separated (1 is always run first).",
                                           "list", "1,8,16,32,64");
    const QCommandLineOption commandsOption("commands", "Fastboot flashes of the flash file (at least 2).", "count", "20");
    const QCommandLineOption delayOption("delay-ms", "Time a fastboot flash takes in the fake.", "ms", "500");
    const QCommandLineOption idleDevicesOption("idle-devices", "Devices attached while idle.", "count", "32");
    const QCommandLineOption idleSecondsOption("idle-seconds", "Idle time measured (0: none).", "seconds", "10");
    const QCommandLineOption plugRoundsOption("plug-rounds", "Devices plugged in one by one (0: none).", "count", "9");
    parser.addOptions({devicesOption, commandsOption, delayOption, idleDevicesOption, idleSecondsOption, plugRoundsOption});
    parser.process(application);

    std::vector<int> counts{1};
    for (const QString& count : parser.value(devicesOption).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        if (count.toInt() > 1)
            counts.push_back(count.toInt());
    }
    const int commands = std::max(2, parser.value(commandsOption).toInt());
    const int delayMs = std::max(0, parser.value(delayOption).toInt());

    QFile load(QStringLiteral("/proc/loadavg"));
    out() << QStringLiteral("%1, load average %2\n")
                 .arg(QDate::currentDate().toString(Qt::ISODate),
                      load.open(QIODevice::ReadOnly) ? QString::fromLatin1(load.readLine().trimmed()) : QStringLiteral("?"));
    std::vector<Row> rows;
    for (int count : counts) {
        out() << QStringLiteral("%1 devices ...\n").arg(count);
        out().flush();
        Row row;
        if (const int status = round(count, commands, delayMs, row))
            return status;
        rows.push_back(row);
    }
    printTables(rows, commands, delayMs);
    out().flush();
    const int idleSeconds = parser.value(idleSecondsOption).toInt();
    if (const int status = idleSeconds > 0 ? idle(parser.value(idleDevicesOption).toInt(), idleSeconds) : 0)
        return status;
    const int plugRounds = parser.value(plugRoundsOption).toInt();
    return plugRounds > 0 ? plugIn(plugRounds) : 0;
}
