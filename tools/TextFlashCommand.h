#pragma once

// Base of the in-process command kinds built around one text that may hold parameter references:
// the notifier's source, the pass and popup descriptions. It reads the text from a flash file,
// shows it substituted and resolves it for a run. Commands are read-only once built; a run's pool
// thread calls the run operations.

#include "model/FlashCommand.h"

#include <QString>

class TextFlashCommand : public FlashCommand
{
public:
    // Whether the text's references count among the command's parameters (and so are checked
    // against the configuration) or only serve its display.
    enum class TextReferences { Checked, DisplayOnly };

    // The messages of a required text key, by how it failed: present with another type, absent, empty.
    struct TextErrors
    {
        QString wrongType;
        QString absent;
        QString empty;
    };

    const QString& getText() const;

    // The text resolved for the run (unresolvable references stay as written); as written without
    // a runner.
    QString getUserFriendlyCommand(const SharedPointer<FlashRunner>& runner) const override;
    QString getUserFriendlyCommand(const FlashConfiguration& configuration) const override;
    std::set<CommandParameter> getParameterKeys() const override;

protected:
    TextFlashCommand(FlashCommandData* data, const QString& text, TextReferences references);

    // Reads the required, non-empty text `key`; false after logging the matching error at ERROR.
    static bool readText(const JsonObject& command, const QString& key, const TextErrors& errors,
                         QString& text);

    // The first steps of a notice or a question, which are shown once: PerformSuccess with the
    // text resolved for the run in `text`; PerformFailed on a later attempt, without a runner, or
    // when a reference cannot be resolved (the reason in `error`).
    int resolveText(const SharedPointer<FlashRunner>& runner, uint64_t attempt, QString& text,
                    QString& error) const;

private:
    QString m_text;
    TextReferences m_references;
};
