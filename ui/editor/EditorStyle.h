#pragma once

// The editor's widgets draw their text in the application's general font size.

#include <QString>

namespace EditorStyle {

// "font : <FONT_SIZE_GENERAL>px \"<default family>\";", the application property read now.
QString fontStyleSheet();

} // namespace EditorStyle
