#include "ui/UiMetaTypes.h"

#include "ui/SystemTrayNotifier.h"

#include <QMetaType>

void registerUiMetaTypes()
{
    // The window posts its notifications by a queued call by name, which finds the icon's type
    // only by this name.
    qRegisterMetaType<QSystemTrayIcon::MessageIcon>("QSystemTrayIcon::MessageIcon");
}
