#include "model/ModelMetaTypes.h"

#include "model/FlashConfiguration.h"

#include <QMetaType>

void registerModelMetaTypes()
{
    qRegisterMetaType<FlashConfigurationPtr>("FlashConfigurationPtr");
}
