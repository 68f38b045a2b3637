#pragma once

// What the flash-file fuzz targets do with every file a reader accepts: copy it the way the
// editor does, save it as JSON text and load that text again. A JSON file that loaded but whose
// saved text does not is data lost on save: the target aborts. An XML file may legitimately not
// survive the conversion (a missing "gpflag" reads as an empty GP flag, which a JSON file may not
// hold), so there the second load only has to end well. Main thread only.

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
    enum class SavedText { MustLoad, MayBeRefused };
    static void exercise(const QSharedPointer<FlashFileManager>& flashFile, SavedText savedText);
};
