#pragma once

// The face's compiled-in images (":/icons/icons/...") and command templates (":/templates/...").
// They live in a static library, whose registration the linker would drop: a program calls this
// once before it shows any of them.

#include <QIcon>

namespace UiResources {
void init();
// The program's own icon (the about action, the tray icon).
QIcon applicationIcon();
}
