#include "tools/TextFlashCommand.h"

#include "core/ApplicationLog.h"
#include "engine/FlashRunner.h"

TextFlashCommand::TextFlashCommand(FlashCommandData* data, const QString& text,
                                   TextReferences references)
    : FlashCommand(data)
    , m_text(text)
    , m_references(references)
{
}

const QString& TextFlashCommand::getText() const
{
    return m_text;
}

QString TextFlashCommand::getUserFriendlyCommand(const SharedPointer<FlashRunner>& runner) const
{
    return runner.isNull() ? m_text : replaceParameters(*runner, m_text);
}

QString TextFlashCommand::getUserFriendlyCommand(const FlashConfiguration& configuration) const
{
    return replaceParameters(configuration, m_text);
}

std::set<FlashCommand::CommandParameter> TextFlashCommand::getParameterKeys() const
{
    std::set<CommandParameter> keys = FlashCommand::getParameterKeys();
    if (m_references == TextReferences::Checked)
        addParameterKeys(m_text, keys);
    return keys;
}

bool TextFlashCommand::readText(const JsonObject& command, const QString& key,
                                const TextErrors& errors, QString& text)
{
    QString error;
    switch (command.getString(key, text)) {
    case JsonObject::Found:
        if (!text.isEmpty())
            return true;
        error = errors.empty;
        break;
    case JsonObject::WrongType:
        error = errors.wrongType;
        break;
    default:
        error = errors.absent;
        break;
    }
    ApplicationLog::write(ERROR, error);
    return false;
}

int TextFlashCommand::resolveText(const SharedPointer<FlashRunner>& runner, uint64_t attempt,
                                  QString& text, QString& error) const
{
    if (attempt != 1 || !hasRunner(runner))
        return PerformFailed;
    bool ok = false;
    text = replaceParameters(*runner, m_text, &ok, &error);
    return ok ? PerformSuccess : PerformFailed;
}
