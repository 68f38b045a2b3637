// Fuzz target: the XML flash-file reader ("1.0"), from the bytes of a file on, each file read as
// the command line reads it (a configuration error refuses the file) and as the editor does (it
// reads on); then FuzzFlashFile's checks.

#include "loader/FlashFileManager.h"
#include "tests/fuzz/FuzzEnvironment.h"
#include "tests/fuzz/FuzzFlashFile.h"
#include "tests/fuzz/FuzzTarget.h"

#include <QByteArray>
#include <QDomDocument>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    FuzzEnvironment::setUp(argc, argv);
    FuzzFlashFile::setUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzEnvironment::beginInput();
    QDomDocument document;
    if (document.setContent(QByteArray(reinterpret_cast<const char*>(data), static_cast<int>(size)))) {
        for (bool checkConfigurations : {true, false}) {
            const auto flashFile = FlashFileManager::loadFromDom(FuzzFlashFile::folder(), document, checkConfigurations);
            FuzzFlashFile::exercise(flashFile, FuzzFlashFile::SavedText::MayBeRefused);
        }
    }
    FuzzEnvironment::endInput();
    return 0;
}
