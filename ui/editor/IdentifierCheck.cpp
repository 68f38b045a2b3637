#include "ui/editor/IdentifierCheck.h"

#include <QCoreApplication>

namespace IdentifierCheck {

QString refusal(const QString& id, bool taken)
{
    if (id.isEmpty())
        return QCoreApplication::translate("FlashEditorWidget", "Missing identifier value", "Add configuration form check");
    if (taken)
        return QCoreApplication::translate("FlashEditorWidget", "Identifier \"%1\" already exists", "Add configuration form check")
            .arg(id);
    return QString();
}

} // namespace IdentifierCheck
