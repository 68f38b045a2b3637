#include "ui/FlashTab.h"

#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include <algorithm>

FlashTab::~FlashTab() = default;

bool FlashTab::mainWindowAboutToQuit()
{
    return true;
}

void FlashTab::mainWindowQuit()
{
}

bool FlashTab::allowFileDrop(QDropEvent*) const
{
    return false;
}

void FlashTab::fileDropped(QDropEvent*)
{
}

QString FlashTab::firstDroppedFile(const QDropEvent* event, std::initializer_list<FileManager2::FileType> kinds)
{
    if (!event || !event->mimeData() || !event->mimeData()->hasUrls())
        return QString();
    for (const QUrl& url : event->mimeData()->urls()) {
        const QString path = url.toLocalFile();
        if (!path.isEmpty() && std::count(kinds.begin(), kinds.end(), FileManager2::getFileType(path)) > 0)
            return path;
    }
    return QString();
}
