// Throughput of the hash cache against md5sum and sha1sum on one large file.
//
//   hashbench [--size <MiB>] [--dir <folder>]
//
// Writes a file of random bytes (1024 MiB by default, in the temporary folder), reads it once so that
// every contender finds it in the page cache, then times getHash on a fresh cache, md5sum and sha1sum
// on it. Prints the MB/s of each and the ratio of md5sum + sha1sum run one after the other to the
// cache: the cache reads the file once and computes the two digests side by side, so the goal is 1.3
// or more; about 1 means one digest after the other, well below 1 a second read. Exits 1 when the
// digests disagree, 2 when the file cannot be made or a tool cannot run.

#include "core/Utils.h"
#include "download/HashManager.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryFile>
#include <QTextStream>

#include <vector>

namespace {

constexpr qint64 kMiB = 1024 * 1024;

bool writeRandomFile(QFile& file, qint64 sizeMiB)
{
    std::vector<quint32> chunk(kMiB / sizeof(quint32));
    for (qint64 written = 0; written < sizeMiB; ++written) {
        QRandomGenerator::global()->fillRange(chunk.data(), chunk.size());
        if (file.write(reinterpret_cast<const char*>(chunk.data()), kMiB) != kMiB)
            return false;
    }
    return file.flush();
}

// Reads the file once, so that no contender pays for the disk.
void warmPageCache(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    std::vector<char> buffer(kMiB);
    while (file.read(buffer.data(), kMiB) > 0) {
    }
}

struct Run
{
    QString digest;
    qint64 elapsedMs = 0;
};

// The digest that `program` prints for the file and how long it took; an empty digest on failure.
Run runTool(const QString& program, const QString& path)
{
    Run run;
    bool success = false;
    QString output;
    QElapsedTimer timer;
    timer.start();
    Utils::executeCmd(program, {path}, -1, false, &success, output);
    run.elapsedMs = timer.elapsed();
    if (success)
        run.digest = output.section(QLatin1Char(' '), 0, 0);
    return run;
}

double megabytesPerSecond(qint64 bytes, qint64 elapsedMs)
{
    return elapsedMs > 0 ? double(bytes) / 1e6 / (double(elapsedMs) / 1000.0) : 0.0;
}

} // namespace

int main(int argc, char** argv)
{
    // As the program does: Qt's own debug lines (the cache's shutdown trail) print nothing.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Hash cache throughput against md5sum and sha1sum"));
    parser.addHelpOption();
    const QCommandLineOption sizeOption(QStringLiteral("size"), QStringLiteral("File size in MiB (1024)."),
                                        QStringLiteral("MiB"), QStringLiteral("1024"));
    const QCommandLineOption dirOption(QStringLiteral("dir"), QStringLiteral("Folder of the file (temp)."),
                                       QStringLiteral("folder"), QDir::tempPath());
    parser.addOption(sizeOption);
    parser.addOption(dirOption);
    parser.process(application);
    QTextStream out(stdout);

    bool sizeOk = false;
    const qint64 sizeMiB = parser.value(sizeOption).toLongLong(&sizeOk);
    if (!sizeOk || sizeMiB <= 0) {
        out << "Invalid --size " << parser.value(sizeOption) << '\n';
        return 2;
    }
    QTemporaryFile file(QDir(parser.value(dirOption)).filePath(QStringLiteral("hashbench-XXXXXX.bin")));
    if (!file.open() || !writeRandomFile(file, sizeMiB)) {
        out << "Cannot write " << file.fileName() << ": " << file.errorString() << '\n';
        return 2;
    }
    file.close();
    const QString path = file.fileName();
    const qint64 bytes = sizeMiB * kMiB;
    warmPageCache(path);

    HashManager::Hash hash;
    QElapsedTimer timer;
    timer.start();
    {
        HashManager cache;
        hash = cache.getHash(path);
    }
    const qint64 cacheMs = timer.elapsed();
    const Run md5sum = runTool(QStringLiteral("md5sum"), path);
    const Run sha1sum = runTool(QStringLiteral("sha1sum"), path);
    if (md5sum.digest.isEmpty() || sha1sum.digest.isEmpty()) {
        out << "md5sum or sha1sum did not run\n";
        return 2;
    }

    out << "File: " << sizeMiB << " MiB of random bytes\n";
    out << QStringLiteral("HashManager::getHash (MD5 + SHA-1): %1 ms, %2 MB/s\n")
               .arg(cacheMs).arg(megabytesPerSecond(bytes, cacheMs), 0, 'f', 0);
    out << QStringLiteral("md5sum:                            %1 ms, %2 MB/s\n")
               .arg(md5sum.elapsedMs).arg(megabytesPerSecond(bytes, md5sum.elapsedMs), 0, 'f', 0);
    out << QStringLiteral("sha1sum:                           %1 ms, %2 MB/s\n")
               .arg(sha1sum.elapsedMs).arg(megabytesPerSecond(bytes, sha1sum.elapsedMs), 0, 'f', 0);
    const qint64 toolsMs = md5sum.elapsedMs + sha1sum.elapsedMs;
    out << QStringLiteral("Ratio (md5sum + sha1sum) / getHash: %1\n")
               .arg(cacheMs > 0 ? double(toolsMs) / double(cacheMs) : 0.0, 0, 'f', 2);

    const bool agree = hash.md5 == md5sum.digest && hash.sha1 == sha1sum.digest;
    out << (agree ? "Digests agree\n" : "Digests DISAGREE\n");
    if (!agree)
        out << "  cache " << hash.md5 << ' ' << hash.sha1 << "\n  tools " << md5sum.digest << ' '
            << sha1sum.digest << '\n';
    return agree ? 0 : 1;
}
