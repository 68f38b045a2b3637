#pragma once

// Finds and loads the flash file of a command-line run: a flash file as it is, or an archive
// unpacked into a folder beside it (an earlier run's folder is reused for the same archive,
// unchanged, unless --always-unzip) with the flash file inside named by -x, the only one, or the
// preferred "flash.json" / "flash.xml".
// Static only; main thread (it blocks while 7z unpacks).

#include "app/ArgParser.h"

#include <QSharedPointer>

class FlashFileManager;
class LoggedObject;

class CliFlashFile
{
public:
    CliFlashFile() = delete;

    // 0 with `flashFile` loaded; else the exit code (14, 18) after an ERROR line through `log`.
    // For an archive, the options' flashFileName becomes the path of the flash file taken in it.
    static int load(const LoggedObject& log, ArgParser::Options& options,
                    QSharedPointer<FlashFileManager>& flashFile);
};
