#include "tests/fuzz/FuzzFlashFile.h"

#include "loader/FlashFileManager.h"
#include "platform/json/JsonObject.h"

#include <cstdio>
#include <cstdlib>

void FuzzFlashFile::setUp()
{
    FlashFileManager::jsonParsers();
    FlashFileManager::xmlParsers();
}

QString FuzzFlashFile::folder()
{
    return QStringLiteral(QLN_FUZZ_FLASH_FILE_FOLDER);
}

void FuzzFlashFile::exercise(const QSharedPointer<FlashFileManager>& flashFile, SavedText savedText)
{
    if (!flashFile)
        return;
    flashFile->clone();

    const QByteArray saved = flashFile->toJson(folder()).toJson();
    JsonObject document;
    const bool loaded = !saved.isEmpty() && document.loadMemory(saved)
                        && FlashFileManager::loadFromJson(folder(), document, false);
    if (!loaded && savedText == SavedText::MustLoad) {
        std::fprintf(stderr, "fuzz: a flash file that loaded does not load again once saved:\n%s\n",
                     saved.constData());
        std::abort();
    }
}
