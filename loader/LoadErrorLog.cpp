#include "loader/LoadErrorLog.h"

#include "core/MessageHandler.h"
#include "loader/FlashFileManager.h"
#include "platform/json/JsonObject.h"
#include "platform/json/JsonWriter.h"

#include <QDomElement>
#include <QStringList>
#include <QTextStream>

namespace {

QSharedPointer<FlashFileManager> logWithLines(const QString& message, const QStringList& lines,
                                              const QString& indent)
{
    MessageHandler* log = MessageHandler::instance();
    log->logMessage(ERROR, message);
    if (lines.isEmpty())
        return {};
    log->logMessage(DEBUG, QStringLiteral("In context:"));
    for (const QString& line : lines)
        log->logMessage(DEBUG, indent + line);
    return {};
}

// The text's lines without their line ends; nothing for an empty text.
QStringList linesOf(const QString& text)
{
    QStringList lines = text.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    for (QString& line : lines) {
        while (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    }
    return lines;
}

} // namespace

QSharedPointer<FlashFileManager> LoadErrorLog::logErrorWithContext(const QString& message,
                                                                   const QVariant& context)
{
    QByteArray text;
    if (!JsonWriter::write(context, text))
        text.clear();
    return logWithLines(message, linesOf(QString::fromUtf8(text)), QStringLiteral("    "));
}

QSharedPointer<FlashFileManager> LoadErrorLog::logErrorWithContext(const QString& message,
                                                                   const JsonObject& context)
{
    return logErrorWithContext(message, QVariant(context.toQVariantMap()));
}

QSharedPointer<FlashFileManager> LoadErrorLog::logErrorWithContext(const QString& message,
                                                                   const QDomElement& context)
{
    QString text;
    if (!context.isNull()) {
        QTextStream stream(&text);
        context.save(stream, 4);
    }
    return logWithLines(message, linesOf(text), QString());
}
