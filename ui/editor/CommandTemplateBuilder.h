#pragma once

// Turns a command template and the user's answers to its inputs into what the template adds to a
// flash file: one candidate parameter per answer (renamed where the file already holds its
// identifier) and the template's commands, references rewritten, built by the command factory.
// It reads the file and changes nothing; the editor inserts the result. GUI thread.

#include "platform/json/JsonObjectList.h"

#include <QList>
#include <QMap>
#include <QSharedPointer>
#include <QString>

#include <set>

class FlashCommand;
class FlashFileManager;
class FlashParameter;

class CommandTemplateBuilder
{
public:
    // `inputs` is the template's "parameters" list; `file` the flash file the result is meant for.
    CommandTemplateBuilder(const FlashFileManager& file, const JsonObjectList& inputs);

    // One candidate parameter per answer, in the answers' order.
    void addAnswers(const JsonObject& answers);
    // The template's "commands", each kept only when its dependencies were answered. False at the
    // first command the factory refuses, its tool in `failedTool`: then nothing is to be added.
    bool buildCommands(const JsonObjectList& commands, QString& failedTool);

    const QList<QSharedPointer<FlashCommand>>& commands() const;
    // The candidates some new command refers to as ${identifier}: only these join the file.
    QList<QSharedPointer<FlashParameter>> usedParameters() const;

private:
    // The input's identifier, or the first "<id>_<n>" that neither the file nor an earlier input
    // of this template holds: each input keeps its own parameter.
    QString freeIdentifier(const QString& inputId) const;
    bool hasDependencies(const JsonObject& command) const;
    // Renames references to renamed inputs, then replaces $(id) by the answer.
    QString substitute(const QString& text) const;

    const FlashFileManager& m_file;
    JsonObjectList m_inputs;
    JsonObject m_answers;
    QMap<QString, QString> m_renamed;        // input id → parameter identifier, when they differ
    QMap<QString, QString> m_answerById;     // parameter identifier → answer
    QList<QSharedPointer<FlashParameter>> m_candidates;
    QList<QSharedPointer<FlashCommand>> m_commands;
    std::set<QString> m_usedIdentifiers;
};
