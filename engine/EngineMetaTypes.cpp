#include "engine/EngineMetaTypes.h"

#include <QMetaType>

void registerEngineMetaTypes()
{
}
