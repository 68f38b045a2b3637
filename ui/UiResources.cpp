#include "ui/UiResources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE declares the registration function where it is used: that must be the global namespace.
static void registerCompiledResources()
{
    Q_INIT_RESOURCE(resources);
    Q_INIT_RESOURCE(CommandTemplatesDFU);
    Q_INIT_RESOURCE(CommandTemplatesDravik);
}

void UiResources::init()
{
    registerCompiledResources();
}

QIcon UiResources::applicationIcon()
{
    return QIcon(QStringLiteral(":/icons/icons/quillonlite.ico"));
}
