#pragma once

// What a configuration reads of the flash file that owns it: the path it was loaded from, the
// platforms it targets and its build properties. The flash file container implements it, so the
// model never depends on the loader.

#include "platform/device/DeviceTypes.h"

#include <QMap>
#include <QString>
#include <QVariant>

#include <list>

class FlashFileContext
{
public:
    virtual ~FlashFileContext();

    // The path as given to the load (empty for files built otherwise).
    virtual const QString& getPath() const = 0;
    // In file order; empty means no restriction.
    virtual const std::list<DevicePlatform>& getPlatforms() const = 0;
    virtual const QMap<QString, QVariant>& getBuildProperties() const = 0;
};
