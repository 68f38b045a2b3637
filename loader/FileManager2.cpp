#include "loader/FileManager2.h"

#include "core/ApplicationLog.h"
#include "core/MessageHandler.h"
#include "loader/ArchiveStamp.h"
#include "loader/ArchiveUnpacker.h"
#include "platform/json/JsonObject.h"
#include "platform/json/JsonReader.h"

#include <QDate>
#include <QDateTime>
#include <QDebug>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

const qint64 kWalkLimitMs = 15000;
const int kXmlHeadBytes = 1024;

// Latin-1 text of the bytes up to the first NUL.
QString latin1UpToNul(const QByteArray& bytes)
{
    const int nul = bytes.indexOf('\0');
    return QString::fromLatin1(nul < 0 ? bytes : bytes.left(nul));
}

// An optional XML declaration, then the "flashfile" tag with at most a version 1 or 1.0 attribute.
bool startsWithFlashFileHead(const QString& text)
{
    static const QString kHead = QStringLiteral(
        "^(\\s*<\\?xml\\s+version=(\"1\\.\\d+\"|'1\\.\\d+')"
        "(\\s+encoding=(\"[A-Za-z][A-Za-z0-9._-]*\"|'[A-Za-z][A-Za-z0-9._-]*'))?\\s*"
        "(\\s+standalone=(\"(yes|no)\"|'(yes|no)'))?\\s*\\?>)?"
        "\\s*<flashfile(\\s+version=(\"1(\\.0)?\"|'1(\\.0)?'))?>");
    static const QRegularExpression head(kHead, QRegularExpression::UseUnicodePropertiesOption);
    return head.match(text).hasMatch();
}

FileManager2::FileType xmlFileType(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return FileManager2::OtherFile;
    return startsWithFlashFileHead(latin1UpToNul(file.read(kXmlHeadBytes))) ? FileManager2::FlashFile
                                                                            : FileManager2::OtherFile;
}

FileManager2::FileType jsonFileType(const QString& path)
{
    // The kinds of the root's members decide: a flash file need not be built to be recognised.
    QFile file(path);
    QVariant root;
    if (!file.open(QIODevice::ReadOnly) || !JsonReader::parseOutline(file.readAll(), root)
        || root.userType() != QMetaType::QVariantMap)
        return FileManager2::OtherFile;
    const QVariantMap members = root.toMap();
    const auto kindOf = [&members](const QString& key) {
        const auto member = members.constFind(key);
        return member == members.constEnd() ? QMetaType::UnknownType : QMetaType::Type(member->userType());
    };
    const QMetaType::Type flash = kindOf(QStringLiteral("flash"));
    const QMetaType::Type hardwares = kindOf(QStringLiteral("hardwares"));
    if (flash == QMetaType::QVariantMap && hardwares == QMetaType::UnknownType)
        return FileManager2::FlashFile;
    if (flash == QMetaType::UnknownType && hardwares == QMetaType::QVariantMap)
        return FileManager2::HardwaresJsonFile;
    return FileManager2::OtherFile;
}

// Token files: the kind follows from the id of the first data group.
FileManager2::FileType tokenFileType(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return FileManager2::OtherFile;
    static const QRegularExpression tagPattern(QStringLiteral("<datagroup\\s+([^>]*\\s)?id=\"(\\d+)\"[^>]*>"),
                                               QRegularExpression::UseUnicodePropertiesOption);
    const QRegularExpressionMatch tag = tagPattern.match(latin1UpToNul(file.readAll()));
    if (!tag.hasMatch())
        return FileManager2::OtherFile;
    bool ok = false;
    const int id = tag.captured(2).toInt(&ok);
    if (!ok) {
        qDebug() << "Cannot find the token type for file " << path;
        return FileManager2::OtherFile;
    }
    const int group = id & 0xffff;
    if (group == 6)
        return FileManager2::PcdGroup6File;
    if (group >= 15 && group <= 24)
        return FileManager2::PcdUpperGroupFile;
    return FileManager2::OtherFile;
}

bool timedOut(const QElapsedTimer& timer, bool& timedOutBefore, const QString& message,
              const QString& folder)
{
    if (timer.elapsed() <= kWalkLimitMs)
        return false;
    if (!timedOutBefore) {
        MessageHandler* log = MessageHandler::instance();
        log->logMessage(WARNING, message.arg(folder));
        log->logMessage(WARNING, QStringLiteral("Please check if there is no invalid shortcut in the directory %1")
                                     .arg(folder));
        timedOutBefore = true;
    }
    return true;
}

const QDir::Filters kVisibleEntries = QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot;
const QDir::Filters kAllEntries = QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;
const QDir::SortFlags kByName = QDir::Name | QDir::IgnoreCase;

bool doDeleteUnzippedDirectory(const QString& folder, const QElapsedTimer& timer, bool& timedOutBefore)
{
    const QDir dir(folder);
    const QStringList archives = dir.entryList({QStringLiteral("*.zip")}, kVisibleEntries, kByName);
    for (const QString& archive : archives) {
        if (timedOut(timer, timedOutBefore, QStringLiteral("Timeout deletting unzipped directories in %1"),
                     folder))
            return false;
        if (archive.endsWith(QLatin1String(".zip")))
            FileManager2::removeDir(dir.filePath(archive.chopped(4)), true);
    }
    const QFileInfoList entries = dir.entryInfoList(kVisibleEntries, kByName);
    for (const QFileInfo& entry : entries) {
        if (entry.isDir() && !entry.isSymLink()
            && !doDeleteUnzippedDirectory(folder + QLatin1Char('/') + entry.fileName(), timer, timedOutBefore))
            return false;
    }
    return true;
}

void deleteUnsedCachedFilesRecurse(const QDir& dir, const QDateTime& limit)
{
    QStringList subfolders;
    for (const QFileInfo& entry : dir.entryInfoList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot, kByName)) {
        if (!entry.isSymLink())
            subfolders << entry.fileName();
    }
    for (const QFileInfo& archive : dir.entryInfoList({QStringLiteral("*.zip")}, QDir::Files, kByName)) {
        if (archive.isSymLink())
            continue;
        QDateTime lastUse = archive.lastRead();
        const QString unpackedName = FileManager2::getFileBaseName(archive.fileName());
        const QDir unpacked(dir.filePath(unpackedName));
        subfolders.removeAll(unpackedName);
        for (const QFileInfo& flashFile : unpacked.entryInfoList({QStringLiteral("*.xml")}, QDir::Files)) {
            if (flashFile.lastRead() > lastUse)
                lastUse = flashFile.lastRead();
        }
        if (lastUse < limit) {
            FileManager2::removeDir(unpacked.path(), true);
            QFile::remove(archive.absoluteFilePath());
        }
    }
    for (const QString& subfolder : subfolders)
        deleteUnsedCachedFilesRecurse(QDir(dir.filePath(subfolder)), limit);
    if (dir.entryList(kAllEntries).isEmpty())
        QDir().rmdir(dir.absolutePath());
}

int64_t sizeOfdir(const QString& folder, const QElapsedTimer& timer, bool& timedOutBefore)
{
    int64_t size = 0;
    for (const QFileInfo& entry : QDir(folder).entryInfoList(kVisibleEntries, kByName)) {
        if (timedOut(timer, timedOutBefore, QStringLiteral("Timeout computing the size of %1 directory"), folder))
            return size;
        if (entry.isDir() && !entry.isSymLink())
            size += sizeOfdir(folder + QLatin1Char('/') + entry.fileName(), timer, timedOutBefore);
        else
            size += entry.size();
    }
    return size;
}

} // namespace

FileManager2::FileType FileManager2::getFileType(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return NotFound;
    if (info.isDir())
        return Directory;
    // Content is read from regular files only: opening a FIFO blocks until someone writes to it.
    if (!info.isFile())
        return OtherFile;
    const QString suffix = info.suffix().toLower();
    if (suffix == QLatin1String("zip") || suffix == QLatin1String("tgz"))
        return ArchiveFile;
    if (suffix == QLatin1String("gz"))
        return (QLatin1Char('.') + info.completeSuffix().toLower()).endsWith(QLatin1String(".tar.gz"))
                   ? ArchiveFile
                   : OtherFile;
    if (suffix == QLatin1String("xml"))
        return xmlFileType(path);
    if (suffix == QLatin1String("json"))
        return jsonFileType(path);
    if (suffix == QLatin1String("pcd"))
        return tokenFileType(path);
    return OtherFile;
}

FileManager2::FileTypes FileManager2::getExpectedFileTypes(const QString& path)
{
    const QFileInfo info(path);
    if (info.exists()) {
        const FileType type = getFileType(path);
        // A ".json" file that cannot be read as JSON (a typo, no permission) has no kind of its
        // own: its name decides, and the loader then says where the text breaks. Only a regular
        // file is read: opening a FIFO blocks.
        if (type != OtherFile || !info.isFile() || info.suffix().toLower() != QLatin1String("json")
            || JsonObject().loadFile(path))
            return type;
    }
    const QString text = QDir::fromNativeSeparators(path);
    if (text.endsWith(QLatin1Char('/')))
        return Directory;
    const QString name = text.mid(text.lastIndexOf(QLatin1Char('/')) + 1);
    const int lastDot = name.lastIndexOf(QLatin1Char('.'));
    const QString lastSuffix = (lastDot < 0 ? name : name.mid(lastDot)).toLower();
    const int firstDot = name.indexOf(QLatin1Char('.'));
    const QString fullSuffix = firstDot < 0 ? QString() : name.mid(firstDot).toLower();
    if (lastSuffix == QLatin1String(".zip"))
        return ArchiveFile;
    if (lastSuffix == QLatin1String(".gz"))
        return fullSuffix.endsWith(QLatin1String(".tar.gz")) ? ArchiveFile : OtherFile;
    if (lastSuffix == QLatin1String(".tgz"))
        return FileTypes(ArchiveFile) | OtherFile;
    if (lastSuffix == QLatin1String(".xml"))
        return FileTypes(FlashFile) | OtherFile;
    if (lastSuffix == QLatin1String(".json"))
        return FileTypes(FlashFile) | HardwaresJsonFile | OtherFile;
    if (lastSuffix == QLatin1String(".pcd"))
        return FileTypes(PcdGroup6File) | PcdUpperGroupFile | OtherFile;
    return OtherFile;
}

QStringList FileManager2::getFiles(const QString& folder, FileTypes kinds)
{
    const QDir dir(folder);
    QStringList kept;
    for (const QString& name : dir.entryList(kVisibleEntries, kByName)) {
        if (kinds & getFileType(dir.absoluteFilePath(name)))
            kept << name;
    }
    return kept;
}

QString FileManager2::getFileBaseName(const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    if (name.endsWith(QLatin1String(".tar.gz")))
        return name.chopped(7);
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? name : name.left(dot);
}

QDir FileManager2::getFileFolder(const QString& path)
{
    return QDir(QFileInfo(path).absolutePath());
}

QString FileManager2::getUnpackFolder(const QString& archive)
{
    return getFileFolder(archive).filePath(getFileBaseName(archive));
}

QString FileManager2::convertBytesToHumanReadableSize(uint64_t bytes, uint16_t decimals)
{
    static const char* const units[] = {"bytes", "kB", "MB", "GB", "TB", "PB"};
    double number = static_cast<double>(bytes);
    std::size_t unit = 0;
    while (number >= 1024.0 && unit + 1 < sizeof(units) / sizeof(units[0])) {
        number *= 1.0 / 1024.0;
        ++unit;
    }
    return QString::number(number, 'f', decimals) + QLatin1Char(' ') + QLatin1String(units[unit]);
}

bool FileManager2::unzipArchive(const QString& archive, const QString& outputFolder, bool force)
{
    return unzip(archive, outputFolder, force, false);
}

bool FileManager2::unzipArchiveWithEvents(const QString& archive, const QString& outputFolder, bool force)
{
    return unzip(archive, outputFolder, force, true);
}

bool FileManager2::unzip(const QString& archive, const QString& outputFolder, bool force, bool withEvents)
{
    if (!force && ArchiveStamp::of(archive).isIn(outputFolder)) {
        ApplicationLog::write(INFO, QStringLiteral("Reusing the folder \"%1\" unpacked from \"%2\"")
                                                         .arg(outputFolder, archive));
        return true;
    }
    if (ArchiveUnpacker::unpack(archive, outputFolder, withEvents))
        return true;
    ApplicationLog::write(ERROR, QStringLiteral("Cannot unzip flash file \"") + archive
                                                      + QLatin1Char('"'));
    return false;
}

bool FileManager2::removeDir(const QString& folder, bool removeSelf)
{
    const QFileInfo top(folder);
    if (!top.isDir())
        return true;
    // A link to a folder goes alone; what it points to is not ours to remove.
    if (top.isSymLink() && removeSelf)
        return QFile::remove(top.absoluteFilePath());
    bool removed = true;
    for (const QFileInfo& entry : QDir(folder).entryInfoList(kAllEntries, kByName)) {
        const QString path = entry.absoluteFilePath();
        if (entry.isSymLink()) {
            removed = QFile::remove(path) && removed;
        } else if (entry.isDir()) {
            removed = removeDir(path, true) && removed;
        } else if (entry.isFile()) {
            QFile::setPermissions(path, QFile::WriteOwner);
            removed = QFile::remove(path) && removed;
        }
    }
    if (removeSelf)
        removed = QDir().rmdir(top.absoluteFilePath()) && removed;
    return removed;
}

void FileManager2::deleteUnzippedDirectories(const QString& folder)
{
    QElapsedTimer timer;
    timer.start();
    bool timedOutBefore = false;
    doDeleteUnzippedDirectory(folder, timer, timedOutBefore);
}

bool FileManager2::deleteUnsedCachedFiles(const QString& folder, uint32_t ageDays)
{
    if (ageDays == 0)
        return removeDir(folder, false);
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    if (canonical.isEmpty())
        return true;
    const QDateTime limit(QDate::currentDate().addDays(-static_cast<qint64>(ageDays)), QTime(0, 0));
    deleteUnsedCachedFilesRecurse(QDir(canonical), limit);
    return true;
}

int64_t FileManager2::getSizeOfdir(const QString& folder)
{
    QElapsedTimer timer;
    timer.start();
    bool timedOutBefore = false;
    return sizeOfdir(folder, timer, timedOutBefore);
}
