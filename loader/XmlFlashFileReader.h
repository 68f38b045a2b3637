#pragma once

// Reader of XML flash files of version "1.0" (root "flashfile"): file parameters, FRU
// configurations, the firmware-download prefix of "system" and "blankphone" files, one command per
// "command" element (built through the command factory) and build properties. Every configuration
// runs every command. Static only; runs on the loading thread and keeps no state.

#include "core/FlashVersion.h"

#include <QSharedPointer>
#include <QString>

class FlashFileManager;
class QDomDocument;

class XmlFlashFileReader
{
public:
    XmlFlashFileReader() = delete;

    // `folder` is the absolute folder of the file, against which file names are resolved; the
    // version is not consulted. Null after the first error, which is logged with its element.
    static QSharedPointer<FlashFileManager> load(const QString& folder, const QDomDocument& document,
                                                 const FlashVersion& version,
                                                 bool checkConfigurations);
};
