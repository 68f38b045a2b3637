#pragma once

// How the flash file readers report a refusal: the message at ERROR on the application log, then
// "In context:" and the offending JSON object or XML element at DEBUG, one line per message.
// Static only; any thread (the application log serialises its writers).

#include <QSharedPointer>
#include <QString>
#include <QVariant>

class FlashFileManager;
class JsonObject;
class QDomElement;

class LoadErrorLog
{
public:
    LoadErrorLog() = delete;

    // Each returns a null flash file, so that a reader's error path ends by returning the result.
    // JSON context lines are indented by four blanks; a context that prints as nothing is left out.
    static QSharedPointer<FlashFileManager> logErrorWithContext(const QString& message,
                                                                const QVariant& context);
    static QSharedPointer<FlashFileManager> logErrorWithContext(const QString& message,
                                                                const JsonObject& context);
    // The element as the DOM saves it, indented by four blanks a level.
    static QSharedPointer<FlashFileManager> logErrorWithContext(const QString& message,
                                                                const QDomElement& context);
};
