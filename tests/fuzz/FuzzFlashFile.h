#pragma once

// What the flash-file fuzz targets do with every file a reader accepts: copy it the way the
// editor does, save it as JSON text and load that text again. A file that loaded but whose saved
// text does not is data lost on save: the target aborts. Main thread only.

#include <QSharedPointer>
#include <QString>

class FlashFileManager;

class FuzzFlashFile
{
public:
    FuzzFlashFile() = delete;

    // Builds the readers' tables once, before the first input.
    static void setUp();
    // The folder a flash file read from bytes is taken to lie in: the loader tests' fixtures, so
    // that the images the seeds name exist. Only read.
    static QString folder();
    static void exercise(const QSharedPointer<FlashFileManager>& flashFile);
};
