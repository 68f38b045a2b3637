// What a large flash file costs the command line: the built `quillonlite --cli` started on a
// generated flash file of --commands fastboot flashes and on one of --small-commands, against the
// simulator (tests/sim, as the end-to-end tests set a station up) with no device attached.
//
//   cliloadbench [--commands 10000] [--small-commands 20] [--repeat 5]
//
// Each run is timed from the program's start to its "Number of devices detected" line, which
// follows the loading and checking of the file; the program is then stopped as Ctrl-C stops it.
// The two files take turns, best of --repeat runs each. Exits 1 when a run shows no such line,
// 2 when the set-up fails.

#include "GeneratedFlashFile.h"

#include "CommandLineStation.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QTextStream>

#include <algorithm>
#include <csignal>

namespace {

const char* const kDetectedLine = "Number of devices detected";
constexpr int kRunTimeoutMs = 60000;

// Milliseconds from the start of `quillonlite --cli -f <file>` to its detection line; -1 when the
// line does not come.
double timeToDetection(CommandLineStation& station, const QString& file)
{
    QElapsedTimer clock;
    clock.start();
    station.start({QStringLiteral("-f"), file, QStringLiteral("--os-sn"), QStringLiteral("NOSUCHDEVICE")});
    const bool shown = station.waitForOutput(QString::fromLatin1(kDetectedLine), kRunTimeoutMs);
    const double elapsedMs = double(clock.nsecsElapsed()) / 1e6;
    station.signal(SIGINT);
    station.finish(kRunTimeoutMs);
    return shown ? elapsedMs : -1;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription("Start-up of `quillonlite --cli` on a large flash file against a small one.");
    parser.addHelpOption();
    const QCommandLineOption commandsOption("commands", "Commands of the large flash file.", "count", "10000");
    const QCommandLineOption smallOption("small-commands", "Commands of the small flash file.", "count", "20");
    const QCommandLineOption repeatOption("repeat", "Runs of each file.", "count", "5");
    parser.addOptions({commandsOption, smallOption, repeatOption});
    parser.process(application);

    const int commands = parser.value(commandsOption).toInt();
    const int smallCommands = parser.value(smallOption).toInt();
    const int repeat = std::max(1, parser.value(repeatOption).toInt());
    CommandLineStation station;
    const QString large = station.path(QStringLiteral("large.json"));
    const QString small = station.path(QStringLiteral("small.json"));
    if (!station.isReady() || !writeWholeFile(large, generatedFlashFile(commands))
        || !writeWholeFile(small, generatedFlashFile(smallCommands))
        || !writeWholeFile(station.path(QStringLiteral("image.bin")), "x"))
        return 2;

    double bestLarge = -1;
    double bestSmall = -1;
    for (int i = 0; i < repeat; ++i) {
        const double smallMs = timeToDetection(station, small);
        const double largeMs = timeToDetection(station, large);
        if (smallMs < 0 || largeMs < 0)
            return 1;
        bestSmall = bestSmall < 0 ? smallMs : std::min(bestSmall, smallMs);
        bestLarge = bestLarge < 0 ? largeMs : std::min(bestLarge, largeMs);
    }
    QTextStream out(stdout);
    out << QStringLiteral("start to \"%1\", best of %2:\n").arg(QLatin1String(kDetectedLine)).arg(repeat)
        << QStringLiteral("  flash file of %1 commands  %2 ms\n").arg(smallCommands, 6).arg(bestSmall, 8, 'f', 1)
        << QStringLiteral("  flash file of %1 commands  %2 ms\n").arg(commands, 6).arg(bestLarge, 8, 'f', 1)
        << QStringLiteral("  difference                     %1 ms\n").arg(bestLarge - bestSmall, 8, 'f', 1);
    return 0;
}
