// Fuzz target: the JSON flash-file readers ("2.0" to "3.0"), from the bytes of a file on, each
// file read as the command line reads it (a configuration error refuses the file) and as the
// editor does (it reads on); then FuzzFlashFile's checks, the saved text loading again.

#include "loader/FlashFileManager.h"
#include "platform/json/JsonObject.h"
#include "tests/fuzz/FuzzEnvironment.h"
#include "tests/fuzz/FuzzFlashFile.h"
#include "tests/fuzz/FuzzTarget.h"

#include <QByteArray>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    FuzzEnvironment::setUp(argc, argv);
    FuzzFlashFile::setUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzEnvironment::beginInput();
    JsonObject document;
    if (document.loadMemory(QByteArray(reinterpret_cast<const char*>(data), static_cast<int>(size)))) {
        for (bool checkConfigurations : {true, false}) {
            const auto flashFile = FlashFileManager::loadFromJson(FuzzFlashFile::folder(), document, checkConfigurations);
            FuzzFlashFile::exercise(flashFile, FuzzFlashFile::SavedText::MustLoad);
        }
    }
    FuzzEnvironment::endInput();
    return 0;
}
