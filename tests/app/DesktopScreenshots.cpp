// Pictures of the desktop window for review (scripts/screenshots), taken on the desktop station the
// desktop tests use: the driver's scenario "screenshots" walks the window through its states and
// saves the screen at each; this program sets up the station, plugs the devices when the driver
// asks and prints where the pictures are. Not a test: it checks nothing a reviewer would not see.

#include "DesktopStation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdio>

namespace {

// A fastboot DnX file: on-demand mode takes it.
const QByteArray kOnDemandFile = R"({"flash": {"version": "3.0", "configurations": {"dnx": {"name": "Fastboot DnX",
    "startState": "dnx_os", "default": true}}, "commands": [{"tool": "fastboot", "args": "flash boot boot.img",
    "timeout": 60000, "retry": 1, "description": "Flash the boot image"}]}})";

int fail(const QString& why)
{
    std::fprintf(stderr, "screenshots: %s\n", qPrintable(why));
    return 1;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    const QString folder = QFileInfo(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots")).absoluteFilePath();
    if (!QDir().mkpath(folder))
        return fail(QStringLiteral("cannot make ") + folder);

    DesktopStation station(QStringLiteral(QLN_DESKTOP_FACE_DRIVER));
    if (!station.display.isValid())
        return fail(station.display.error());
    if (!station.isReady())
        return fail(QStringLiteral("the station could not be set up"));
    QFile onDemand(station.path(QStringLiteral("on-demand.json")));
    if (!onDemand.open(QIODevice::WriteOnly) || onDemand.write(kOnDemandFile) != kOnDemandFile.size())
        return fail(onDemand.fileName() + QStringLiteral(": ") + onDemand.errorString());
    onDemand.close();
    station.setEnvironment(QStringLiteral("QLN_DRIVER_SCENARIO"), QStringLiteral("screenshots"));
    station.setEnvironment(QStringLiteral("QLN_DRIVER_SHOTS"), folder);
    station.setEnvironment(QStringLiteral("QLN_DRIVER_FLASH_FILE"), station.path(QStringLiteral("flash.json")));
    station.setEnvironment(QStringLiteral("QLN_DRIVER_ON_DEMAND_FILE"), onDemand.fileName());
    station.setEnvironment(QStringLiteral("QLN_DRIVER_GO_FILE"), station.goFile());
    station.start({});

    // The empty window first; then A flashes, B hangs in its system image, C fails there.
    if (!station.waitForOutput(QStringLiteral("driver: ready for devices"), 120000))
        return fail(QString::fromLocal8Bit(station.finish(1000).report()));
    const bool plugged = station.addDevice({QStringLiteral("A"), QStringLiteral("1-2"), QStringLiteral("mos")})
                         && station.addDevice({QStringLiteral("B"), QStringLiteral("1-3"), QStringLiteral("mos")},
                                              {QStringLiteral("hang_match"), QStringLiteral("flash system")})
                         && station.addDevice({QStringLiteral("C"), QStringLiteral("1-4"), QStringLiteral("mos")},
                                              {QStringLiteral("fail_match"), QStringLiteral("flash system")});
    if (!plugged || !station.goOn("devices"))
        return fail(QStringLiteral("cannot plug the devices"));

    const ProgramStation::Run run = station.finish(600000);
    int failures = 0;
    for (const QString& line : run.lines()) {
        if (line.startsWith(QLatin1String("driver: shot: ")))
            std::printf("%s\n", qPrintable(line.mid(14)));
        if (line.startsWith(QLatin1String("driver: FAIL"))) {
            std::fprintf(stderr, "%s\n", qPrintable(line));
            ++failures;
        }
    }
    if (run.exitCode != 0)
        return fail(QString::fromLocal8Bit(run.report()));
    return failures == 0 ? 0 : 1;
}
