#include "app/TempFolderSpace.h"

#include "core/MessageHandler.h"
#include "loader/FileManager2.h"
#include "platform/log/LoggedObject.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

TempFolderSpace::TempFolderSpace(uint64_t warningBytes)
    : m_warningBytes(warningBytes)
{
}

void TempFolderSpace::report(const LoggedObject& log) const
{
    // What the user may still write there (a reserve for root left out), as df's "Available".
    const QString folder = QFileInfo(QDir::tempPath()).canonicalFilePath();
    const QStorageInfo disk(folder);
    if (folder.isEmpty() || !disk.isValid() || !disk.isReady() || disk.bytesAvailable() < 0) {
        MessageHandler::instance()->logMessage(DEBUG, QStringLiteral("Failed to check available disk space"));
        return;
    }
    const uint64_t bytes = uint64_t(disk.bytesAvailable());
    const QString size = FileManager2::convertBytesToHumanReadableSize(bytes, 2);
    if (bytes > m_warningBytes) {
        log.logMessage(Logger::INFO, QStringLiteral("Disk space available on ") + QDir::tempPath()
                                         + QStringLiteral(" : ") + size);
    } else {
        log.logMessage(Logger::WARNING, QStringLiteral("You only have %1 of disk space left on system ((C:\\). "
                                                       "Without enough disk space, device flash may fail.")
                                            .arg(size));
    }
}
