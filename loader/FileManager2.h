#pragma once

// What a path holds (flash file, archive, hardware description, token file, folder) judged by
// suffix and content, the folder an archive unpacks into, archive unpacking through 7z, and the
// folder maintenance that goes with it (removing trees, unpacked folders and stale caches, sizes).
// Static only; no state, any thread (the event form of unpacking needs the caller's event loop).

#include <QDir>
#include <QFlags>
#include <QString>
#include <QStringList>

#include <cstdint>

class FileManager2
{
public:
    FileManager2() = delete;

    enum FileType {
        NotFound = 0,
        Directory = 1,
        OtherFile = 2,
        PcdUpperGroupFile = 4,   // token file whose first data group is 15 to 24
        PcdGroup6File = 8,       // token file whose first data group is 6
        HardwaresJsonFile = 16,  // JSON with a "hardwares" object and no "flash"
        ArchiveFile = 32,        // ".zip", ".tgz", ".tar.gz"
        FlashFile = 64,          // XML with a flash-file head, JSON with a "flash" object
    };
    Q_DECLARE_FLAGS(FileTypes, FileType)

    // Exactly one value.
    static FileType getFileType(const QString& path);
    // The real kind of an existing path, else the kinds its name allows. A ".json" file whose text
    // is no JSON is judged by its name too.
    static FileTypes getExpectedFileTypes(const QString& path);
    // Names (not paths) of the folder's visible entries of the wanted kinds, sorted without case.
    static QStringList getFiles(const QString& folder, FileTypes kinds);
    // The file name less ".tar.gz" or its last suffix: a.b.zip gives a.b, x.tar.gz gives x.
    static QString getFileBaseName(const QString& path);
    // The absolute folder holding the path.
    static QDir getFileFolder(const QString& path);
    // Where an archive unpacks: beside it, in a folder named after it ("x.tar.gz" into "x").
    static QString getUnpackFolder(const QString& archive);
    // "1.00 kB": 1024 steps from "bytes" up to "PB".
    static QString convertBytesToHumanReadableSize(uint64_t bytes, uint16_t decimals);

    // Makes `outputFolder` hold the archive's content: true at once when `force` is false and the
    // folder was unpacked from this archive as it is now (ArchiveStamp); otherwise the archive is
    // unpacked into a fresh sibling folder that replaces `outputFolder` only on success. Blocks the
    // calling thread while 7z runs.
    static bool unzipArchive(const QString& archive, const QString& outputFolder, bool force);
    // The same, waiting in a local event loop so that the calling (GUI) thread keeps handling events.
    static bool unzipArchiveWithEvents(const QString& archive, const QString& outputFolder, bool force);

    // Removes the folder's content (and the folder itself with `removeSelf`); symbolic links are
    // removed, never followed. True when every removal succeeded; a missing folder is no error.
    static bool removeDir(const QString& folder, bool removeSelf);
    // Removes, through the whole tree, the folder "x" beside every archive "x.zip". Gives up after
    // 15000 ms (a folder link loop is the likely cause).
    static void deleteUnzippedDirectories(const QString& folder);
    // Removes archives not read for `ageDays` days (unless a flash file of their unpacked folder
    // was read since) together with their unpacked folders, then folders left empty. Age 0
    // empties the folder.
    static bool deleteUnsedCachedFiles(const QString& folder, uint32_t ageDays);
    // Bytes of the visible files of the tree; a partial sum after 15000 ms.
    static int64_t getSizeOfdir(const QString& folder);

private:
    static bool unzip(const QString& archive, const QString& outputFolder, bool force, bool withEvents);
};

Q_DECLARE_OPERATORS_FOR_FLAGS(FileManager2::FileTypes)
