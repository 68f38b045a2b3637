// Cost of loading and checking a large flash file against a bare JSON parse of the same bytes.
//
//   loadbench [--commands 10000] [--repeat 5]
//
// A generated flash file of M fastboot commands, loaded and checked (FlashFileManager::loadFromFile
// with the configuration check) and parsed by QJsonDocument alone, best of R runs each. Exits 2
// when the set-up or a load fails.

#include "GeneratedFlashFile.h"
#include "core/MetaTypes.h"
#include "loader/FlashFileManager.h"
#include "model/FlashCommand.h"
#include "model/ModelMetaTypes.h"
#include "tools/BuiltInKinds.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <functional>

namespace {

// The shortest of `repeat` runs of `work` in ns; -1 when a run fails.
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

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription("Loading and checking a large flash file against a bare JSON parse.");
    parser.addHelpOption();
    const QCommandLineOption commandsOption("commands", "Commands of the loaded flash file.", "count", "10000");
    const QCommandLineOption repeatOption("repeat", "Runs of each contender.", "count", "5");
    parser.addOptions({commandsOption, repeatOption});
    parser.process(application);

    registerMetaTypes();
    registerModelMetaTypes();
    BuiltInKinds::registerAll();

    const int commands = parser.value(commandsOption).toInt();
    const int repeat = std::max(1, parser.value(repeatOption).toInt());
    QTemporaryDir work;
    const QString path = work.filePath("flash.json");
    const QByteArray text = generatedFlashFile(commands);
    if (!work.isValid() || !writeWholeFile(path, text) || !writeWholeFile(work.filePath("image.bin"), "x"))
        return 2;
    const qint64 parseNs = bestOf(repeat, [&] {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) && !QJsonDocument::fromJson(file.readAll()).isNull();
    });
    const qint64 loadNs = bestOf(repeat, [&] { return bool(FlashFileManager::loadFromFile(path, true)); });
    if (parseNs < 0 || loadNs < 0)
        return 2;
    QTextStream out(stdout);
    out << QStringLiteral("flash file of %1 commands (%2 KiB), best of %3:\n").arg(commands).arg(text.size() / 1024).arg(repeat)
        << QStringLiteral("  bare JSON parse (QJsonDocument)        %1 ms\n").arg(double(parseNs) / 1e6, 8, 'f', 1)
        << QStringLiteral("  load and check (FlashFileManager)      %1 ms\n").arg(double(loadNs) / 1e6, 8, 'f', 1)
        << QStringLiteral("  ratio                                  %1\n").arg(double(loadNs) / double(parseNs), 8, 'f', 1);
    return 0;
}
