#include "app/CliFlashFile.h"

#include "core/QlnErrorCode.h"
#include "loader/ArchiveUnpacker.h"
#include "loader/FileManager2.h"
#include "loader/FlashFileManager.h"
#include "platform/log/LoggedObject.h"

#include <QDebug>
#include <QDir>

namespace {

const QChar kQuote = QLatin1Char('"');

QString quoted(const QString& path)
{
    return kQuote + QDir::toNativeSeparators(path) + kQuote;
}

// The kind of an existing path for the run: a ".json" file whose text is no JSON is taken as a
// flash file, so that loading it says where the text breaks instead of only refusing it.
FileManager2::FileType kindOf(const QString& path)
{
    const FileManager2::FileType type = FileManager2::getFileType(path);
    if (type == FileManager2::OtherFile && (FileManager2::getExpectedFileTypes(path) & FileManager2::FlashFile))
        return FileManager2::FlashFile;
    return type;
}

QSharedPointer<FlashFileManager> loadFile(const LoggedObject& log, const QString& path)
{
    log.logMessage(Logger::INFO, QStringLiteral("Loading ") + QDir::toNativeSeparators(path));
    return FlashFileManager::loadFromFile(QDir::toNativeSeparators(path), false);
}

// The flash file of an unpacked archive when -x names none; empty after the ERROR line when there
// is no flash file or several and none of the preferred names.
QString pickFlashFile(const LoggedObject& log, const QDir& folder)
{
    static const QStringList sc_kDefaultFlashFiles{QStringLiteral("flash.json"), QStringLiteral("flash.xml")};
    qDebug() << "Extraction path:" << folder.absolutePath();
    const QStringList names = FileManager2::getFiles(folder.absolutePath(), FileManager2::FlashFile);
    qDebug() << "Flash files:" << names;
    if (names.isEmpty()) {
        log.logMessage(Logger::ERROR, QStringLiteral("No flash files in the archive"));
        return QString();
    }
    if (names.size() == 1)
        return names.first();
    for (const QString& preferred : sc_kDefaultFlashFiles) {
        if (names.contains(preferred))
            return preferred;
    }
    log.logMessage(Logger::ERROR, QStringLiteral("Cannot determine the flash file to use in the archive"));
    return QString();
}

} // namespace

int CliFlashFile::load(const LoggedObject& log, ArgParser::Options& options, QSharedPointer<FlashFileManager>& flashFile)
{
    flashFile.clear();
    const QString path = options.flashFile;
    // Judged once: telling a flash file from other JSON reads the file.
    const FileManager2::FileType kind = path.isEmpty() ? FileManager2::NotFound : kindOf(path);
    QDir folder = QDir::current();
    if (kind == FileManager2::ArchiveFile) {
        folder = QDir(FileManager2::getUnpackFolder(path));
        // Under the event loop, so that the time-out or an interrupt can stop the archiver. A
        // failed unpacking shows up below as an archive without its flash file; the unpacker has
        // said why. A stopped one ends the load: the run has its outcome already.
        if (!FileManager2::unzipArchiveWithEvents(path, folder.absolutePath(), options.alwaysUnzip)
            && ArchiveUnpacker::isStopped())
            return QlnErrorCode::CliUnzipFailed;
    }

    if (!path.isEmpty()) {
        switch (kind) {
        case FileManager2::NotFound:
            log.logMessage(Logger::ERROR, QStringLiteral("Flash file ") + quoted(path) + QStringLiteral(" does not exists"));
            return QlnErrorCode::CliInvalidFlashFile;
        case FileManager2::FlashFile:
            if (!options.flashFileName.isEmpty())
                log.logMessage(Logger::INFO, QStringLiteral("Ignoring --xml-filename, input file is already a flash file"));
            flashFile = loadFile(log, path);
            break;
        case FileManager2::ArchiveFile:
            if (options.flashFileName.isEmpty()) {
                const QString name = pickFlashFile(log, folder);
                if (name.isEmpty())
                    return QlnErrorCode::CliInvalidFlashFile;
                options.flashFileName = folder.absoluteFilePath(name);
                flashFile = loadFile(log, options.flashFileName);
            } else {
                const QString inner = folder.absoluteFilePath(options.flashFileName);
                switch (kindOf(inner)) {
                case FileManager2::NotFound:
                    log.logMessage(Logger::ERROR, QStringLiteral("Archive file does not contain ") + quoted(options.flashFileName));
                    return QlnErrorCode::CliInvalidArgument;
                case FileManager2::FlashFile:
                    flashFile = loadFile(log, inner);
                    break;
                default:
                    log.logMessage(Logger::ERROR, quoted(options.flashFileName)
                                                      + QStringLiteral(" exists in the archive but is not a flash file"));
                    return QlnErrorCode::CliInvalidFlashFile;
                }
            }
            break;
        default:
            log.logMessage(Logger::ERROR, quoted(path) + QStringLiteral(" is not a flash file"));
            return QlnErrorCode::CliInvalidFlashFile;
        }
    }
    if (!flashFile) {
        log.logMessage(Logger::ERROR, QStringLiteral("Invalid flash file"));
        return QlnErrorCode::CliInvalidFlashFile;
    }
    return 0;
}
