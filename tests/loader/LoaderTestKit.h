#pragma once

// Pieces the loader tests share: a command kind that keeps its JSON object (standing in for a
// kind that is not linked), the application log recorded line by line, and readers of what a
// load logged.

#include "../core/RecordedLog.h"
#include "model/FlashCommand.h"
#include "platform/json/JsonObject.h"
#include "platform/json/JsonWriter.h"

#include <QDir>
#include <QFile>
#include <QStringList>

// A command kind that keeps the keys it is given and writes them back: it stands in for a command
// kind in tests that are about the readers and the writer, not about the kind.
class EchoCommand : public FlashCommand
{
public:
    static FlashCommand* create(const JsonObject& json)
    {
        FlashCommandData* data = getCommandData(json);
        if (!data)
            return nullptr;
        JsonObject own = json;
        for (const char* key : {"restrict", "group", "precondition"})
            own.removeValue(QLatin1String(key));
        return new EchoCommand(data, own);
    }

    // Registers the kind under each id that has no kind yet.
    static void registerFor(const QStringList& toolIds)
    {
        for (const QString& id : toolIds)
            addCommandFactory(id.toUtf8().constData(), &EchoCommand::create);
    }

    // Like a real kind, the command uses the references written in its texts.
    std::set<CommandParameter> getParameterKeys() const override
    {
        std::set<CommandParameter> keys = FlashCommand::getParameterKeys();
        for (const QVariant& value : m_json.toQVariantMap())
            addParameterKeys(value.toString(), keys);
        return keys;
    }
    QString getLogCommand(const SharedPointer<FlashRunner>&) const override { return getToolId(); }
    QString getLogCommand(const FlashConfiguration&) const override { return getToolId(); }
    FlashTypes::CommandType getType() const override { return FlashTypes::CommandType::Shell; }
    bool isMandatory() const override { return true; }
    uint64_t getTimeout() const override { return 0; }
    JsonObject toJson() const override
    {
        JsonObject json = getJsonBase();
        for (const QString& key : m_json.keys()) {
            QVariant value;
            m_json.getValue(key, value);
            json.setValue(key, value);
        }
        return json;
    }
    QString getToolId() const override
    {
        QString tool;
        m_json.getString(QStringLiteral("tool"), tool);
        return tool;
    }
    QString getToolParameters() const override { return QString(); }
    QSharedPointer<FlashCommand> clone() const override
    {
        return QSharedPointer<FlashCommand>(new EchoCommand(*this));
    }
    JsonObjectList getJsonEditorInterface() const override { return JsonObjectList(); }
    int performCommand(const SharedPointer<FlashRunner>&, const SharedPointer<FlashDevice2>&, uint64_t,
                       QString&) const override
    {
        return PerformSuccess;
    }

    const JsonObject& json() const { return m_json; }

private:
    EchoCommand(FlashCommandData* data, const JsonObject& json)
        : FlashCommand(data)
        , m_json(json)
    {
    }

    JsonObject m_json;
};

// The lines that follow the first line equal to `line` ("LEVEL|text"), up to the next line that is
// no DEBUG line; empty when `line` was not logged.
inline QStringList contextAfter(const QStringList& lines, const QString& line)
{
    QStringList context;
    const int at = lines.indexOf(line);
    if (at < 0)
        return context;
    for (int index = at + 1; index < lines.size() && lines[index].startsWith(QLatin1String("DEBUG|")); ++index)
        context << lines[index];
    return context;
}

// The DEBUG lines that report a JSON context: "In context:", then the object's text, four blanks in.
inline QStringList jsonContextLines(const QByteArray& json)
{
    JsonObject object;
    object.loadMemory(json);
    QStringList lines{QStringLiteral("DEBUG|In context:")};
    const QString text = QString::fromUtf8(JsonWriter::toJson(object.toQVariantMap()));
    for (const QString& line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        lines << QStringLiteral("DEBUG|    ") + line;
    return lines;
}

inline bool writeTextFile(const QString& path, const QByteArray& text)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}
