#pragma once

#include "core/FlashTypes.h"
#include "core/Singleton.h"
#include "engine/FlashDevice2.h"

#include <QMap>
#include <QObject>
#include <QString>

// Writes the result file of every finished flash when the user enables it, from the content template
// and the file name pattern of FMConst, and expands the $keyword references of both (also used to
// name log files). The flash manager owns the one instance; logResult runs in the thread that owns
// it, the static helpers in any thread.
class FlashLogger : public QObject, public Singleton<FlashLogger>
{
    Q_OBJECT

public:
    FlashLogger() = default;

    // Inserts the date, time and program keywords ("year", "24h", "timestamp", "software_name", ...)
    // into `map`, replacing entries of the same key.
    static void updateKeywordMap(QMap<QString, QString>& map);
    // Expands $name, ${name} and $$ in the trimmed `pattern`; names the map does not hold stay as
    // written, and an inserted value is never expanded again.
    static QString replaceKeywords(const QString& pattern, const QMap<QString, QString>& map);
    // `pattern` expanded with the date, time and program keywords.
    static QString getStrFromPattern(const QString& pattern);
    // Same with the serial numbers of `device` (may be null), made safe for use in a file name.
    static QString getStrFromPattern(const QString& pattern, const FlashDevice2Ptr& device);

    // Text of a serial number as it may appear in a path: separators, "..", NUL and other control
    // characters cannot climb out of or break the folder it is used in.
    static QString sanitizeForFileName(const QString& text);

public slots:
    void logResult(FlashDevice2Ptr device, FlashTypes::FlashStatus status,
                   FlashTypes::CommandType type);
};
