#include "ui/editor/EditorStyle.h"

#include <QCoreApplication>
#include <QFont>
#include <QVariant>

namespace EditorStyle {

QString fontStyleSheet()
{
    const int fontSize = QCoreApplication::instance()->property("FONT_SIZE_GENERAL").toInt();
    return QStringLiteral("font : %1px \"%2\";").arg(QString::number(fontSize), QFont().family());
}

} // namespace EditorStyle
