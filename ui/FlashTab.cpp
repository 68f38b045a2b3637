#include "ui/FlashTab.h"

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
