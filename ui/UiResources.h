#pragma once

// The face's compiled-in images (":/icons/icons/...") and command templates (":/templates/...").
// They live in a static library, whose registration the linker would drop: a program calls this
// once before it shows any of them.

namespace UiResources {
void init();
}
