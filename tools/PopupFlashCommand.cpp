#include "tools/PopupFlashCommand.h"

#include "core/ApplicationLog.h"
#include "engine/FlashRunner.h"
#include "tools/EditorField.h"

#include <limits>
#include <memory>

namespace {

// The fixed words of a level: flash file and box type word, run log level, log title, prefix of
// the tool parameters.
struct LevelWords
{
    PopupFlashCommand::PopupLevel level;
    const char* word;
    Logger::LogLevel logLevel;
    const char* title;
    const char* prefix;
};

const LevelWords kLevels[] = {
    {PopupFlashCommand::PopupLevel::Info, "info", Logger::INFO, "Info message", "Information: "},
    {PopupFlashCommand::PopupLevel::Warn, "warn", Logger::WARNING, "Warning message", "Warning: "},
    {PopupFlashCommand::PopupLevel::Question, "question", Logger::INFO, "Question", "Question: "},
};

// Null for a level outside the table (only a constructor can make one).
const LevelWords* wordsOf(PopupFlashCommand::PopupLevel level)
{
    for (const LevelWords& words : kLevels) {
        if (words.level == level)
            return &words;
    }
    return nullptr;
}

QString logText(PopupFlashCommand::PopupLevel level, const QString& text)
{
    const LevelWords* words = wordsOf(level);
    return words ? QLatin1String(words->title) + QStringLiteral(": ") + text : QString(QLatin1String(""));
}

} // namespace

PopupFlashCommand::PopupFlashCommand(FlashCommandData* data, PopupLevel level,
                                     const QString& description)
    : TextFlashCommand(data, description, TextReferences::Checked)
    , m_level(level)
{
}

QString PopupFlashCommand::toolId()
{
    return QStringLiteral("popup");
}

QString PopupFlashCommand::toolName()
{
    return QStringLiteral("Popup");
}

FlashCommand* PopupFlashCommand::createPopupCommand(const JsonObject& command)
{
    std::unique_ptr<FlashCommandData> data(getCommandData(command));
    if (!data)
        return nullptr;
    QString description;
    if (!readText(command, QStringLiteral("description"),
                  {QStringLiteral("Invalid `description` value type in Popup command"),
                   QStringLiteral("No key `description` in Popup command"),
                   QStringLiteral("Empty 'description' value in Popup command")},
                  description))
        return nullptr;
    std::map<QString, PopupLevel> table;
    for (const LevelWords& words : kLevels)
        table.emplace(QLatin1String(words.word), words.level);
    PopupLevel level = PopupLevel::Info;
    switch (command.getEnum(QStringLiteral("type"), table, level)) {
    case JsonObject::Found:
        return new PopupFlashCommand(data.release(), level, description);
    case JsonObject::WrongType:
        ApplicationLog::write(ERROR, QStringLiteral("Invalid `type` value type in Popup command"));
        return nullptr;
    default:
        ApplicationLog::write(ERROR, QStringLiteral("No key `type` in Popup command"));
        return nullptr;
    }
}

JsonObjectList PopupFlashCommand::getJsonEditorInterfaceTemplate()
{
    return JsonObjectList{
        EditorField::hidden(QStringLiteral("tool"), toolId()),
        EditorField::text(QStringLiteral("description"), QStringLiteral("Description"),
                          QStringLiteral("Add a message here")),
        EditorField::combobox(QStringLiteral("type"), QStringLiteral("Type"), QStringLiteral("info"),
                              {{QStringLiteral("info"), QStringLiteral("Information")},
                               {QStringLiteral("warn"), QStringLiteral("Warning")},
                               {QStringLiteral("question"), QStringLiteral("Question")}}),
    };
}

PopupFlashCommand::PopupLevel PopupFlashCommand::getLevel() const
{
    return m_level;
}

QString PopupFlashCommand::getLogCommand(const SharedPointer<FlashRunner>& runner) const
{
    return logText(m_level, getUserFriendlyCommand(runner));
}

QString PopupFlashCommand::getLogCommand(const FlashConfiguration& configuration) const
{
    return logText(m_level, getUserFriendlyCommand(configuration));
}

FlashTypes::CommandType PopupFlashCommand::getType() const
{
    return FlashTypes::CommandType::Popup;
}

bool PopupFlashCommand::isMandatory() const
{
    return true;
}

uint64_t PopupFlashCommand::getTimeout() const
{
    return std::numeric_limits<uint64_t>::max();
}

JsonObject PopupFlashCommand::toJson() const
{
    JsonObject json = getJsonBase();
    json.setValue(QStringLiteral("tool"), toolId());
    json.setValue(QStringLiteral("description"), getText());
    if (const LevelWords* words = wordsOf(m_level))
        json.setValue(QStringLiteral("type"), words->word);
    return json;
}

QString PopupFlashCommand::getToolId() const
{
    return toolId();
}

QString PopupFlashCommand::getToolParameters() const
{
    const LevelWords* words = wordsOf(m_level);
    return words ? QLatin1String(words->prefix) + getText() : QStringLiteral("Unknown popup type");
}

QSharedPointer<FlashCommand> PopupFlashCommand::clone() const
{
    return QSharedPointer<FlashCommand>(new PopupFlashCommand(*this));
}

JsonObjectList PopupFlashCommand::getJsonEditorInterface() const
{
    std::map<QString, QVariant> values = {{QStringLiteral("description"), getText()}};
    if (const LevelWords* words = wordsOf(m_level))
        values.emplace(QStringLiteral("type"), QLatin1String(words->word));
    return fillEditorInterface(getJsonEditorInterfaceTemplate(), values);
}

int PopupFlashCommand::performCommand(const SharedPointer<FlashRunner>& runner,
                                      const SharedPointer<FlashDevice2>&, uint64_t attempt,
                                      QString& error) const
{
    QString text;
    const int resolved = resolveText(runner, attempt, text, error);
    if (resolved != PerformSuccess)
        return resolved;
    const LevelWords* words = wordsOf(m_level);
    if (!words) {
        error = QStringLiteral("Unknown popup type");
        return PerformFailed;
    }
    runner->logMessage(words->logLevel, text);
    // The receiver (the desktop face's message box) answers before the signal returns; with no
    // receiver connected the flag stays cleared and the flash goes on.
    bool cancelled = false;
    runner->sendDisplayMessageBoxSignal(QLatin1String(words->word), text, &cancelled);
    return cancelled ? PerformCancelled : PerformSuccess;
}
