#include "ui/editor/CommandTemplateBuilder.h"

#include "loader/FlashFileManager.h"
#include "model/FlashCommand.h"
#include "model/FlashParameter.h"
#include "model/FlashParameterValueFile.h"
#include "model/FlashParameterValueString.h"
#include "model/FlashParameterValueTemporaryFile.h"
#include "ui/editor/FlashEditorWidget.h"

#include <QDir>
#include <QRegExp>
#include <QVariant>

namespace {

const QString kId = QStringLiteral("id");

// Each reference ends at its own bracket, so "$(a) ${b}" holds two references, not one.
const QString kReferencePattern = QStringLiteral("\\$\\{([^}]+)\\}|\\$\\(([^)]+)\\)");
const QString kValuePattern = QStringLiteral("\\$\\(([^)]+)\\)");

// Replaces every match of `pattern` by what `replace` makes of it (the match itself when
// nothing), scanning on after the inserted text.
template <typename Replace>
QString replaceMatches(QString text, const QString& pattern, Replace replace)
{
    QRegExp expression(pattern);
    int from = 0;
    while ((from = expression.indexIn(text, from)) >= 0) {
        const QString replacement = replace(expression);
        text.replace(from, expression.matchedLength(), replacement);
        from += replacement.length();
    }
    return text;
}

QSharedPointer<FlashParameter> makeParameter(const QString& kind, const QString& identifier, const QString& label,
                                             const QString& inputId, const QString& answer)
{
    if (kind == QLatin1String("file"))
        return FlashEditorWidget::createParameter<FlashParameterValueFile, std::map<QString, FlashParameterValueFile*>>(
            identifier, label, inputId, answer, label);
    if (kind == QLatin1String("temporary_file"))
        return FlashEditorWidget::createParameter<FlashParameterValueTemporaryFile,
                                                  std::map<QString, FlashParameterValueTemporaryFile*>>(
            identifier, label, inputId, answer, label);
    return FlashEditorWidget::createParameter<FlashParameterValueString, std::map<QString, FlashParameterValueString*>>(
        identifier, label, inputId, answer, label);
}

} // namespace

CommandTemplateBuilder::CommandTemplateBuilder(const FlashFileManager& file, const JsonObjectList& inputs)
    : m_file(file)
    , m_inputs(inputs)
{
}

void CommandTemplateBuilder::addAnswers(const JsonObject& answers)
{
    m_answers = answers;
    for (const QString& inputId : answers.keys()) {
        QVariant value;
        answers.getValue(inputId, value);
        QString answer = value.toString();
        JsonObject input;
        for (const JsonObject& candidate : m_inputs) {
            QString id;
            if (candidate.getString(kId, id) == JsonObject::Found && id == inputId)
                input = candidate;  // the last one with this id describes it
        }
        QString label;
        QString kind = QStringLiteral("string");
        input.getString(QStringLiteral("label"), label);
        input.getString(QStringLiteral("param_type"), kind);
        if (kind == QLatin1String("file"))
            answer = QDir::toNativeSeparators(answer);

        const QString identifier = freeIdentifier(inputId);
        if (identifier != inputId)
            m_renamed.insert(inputId, identifier);
        m_answerById.insert(identifier, answer);
        m_candidates.append(makeParameter(kind, identifier, label, inputId, answer));
    }
}

QString CommandTemplateBuilder::freeIdentifier(const QString& inputId) const
{
    const auto taken = [this](const QString& identifier) {
        return m_file.getParameter(identifier) || m_answerById.contains(identifier);
    };
    QString identifier = inputId;
    for (int n = 1; taken(identifier); ++n)
        identifier = inputId + QLatin1Char('_') + QString::number(n);
    return identifier;
}

bool CommandTemplateBuilder::buildCommands(const JsonObjectList& commands, QString& failedTool)
{
    QList<QSharedPointer<FlashCommand>> built;
    std::set<QString> used;
    for (JsonObject command : commands) {
        if (!hasDependencies(command))
            continue;
        // Only texts are rewritten: numbers and booleans keep their kind, which the factories check.
        for (const QString& key : command.keys()) {
            QString text;
            if (command.getString(key, text) == JsonObject::Found)
                command.setValue(key, substitute(text));
        }
        const QSharedPointer<FlashCommand> created = FlashCommand::getCommandFromJson(command);
        if (!created) {
            failedTool.clear();
            command.getString(QStringLiteral("tool"), failedTool);
            return false;
        }
        built.append(created);
        for (const FlashCommand::CommandParameter& reference : created->getParameterKeys()) {
            used.insert(reference.name);
            if (!reference.option.isNull())
                used.insert(reference.option);
        }
    }
    m_commands = built;
    m_usedIdentifiers = used;
    return true;
}

bool CommandTemplateBuilder::hasDependencies(const JsonObject& command) const
{
    QStringList dependencies;
    command.getStringList(QStringLiteral("dependencies"), dependencies);
    for (const QString& inputId : dependencies) {
        QString answer;
        if (m_answers.getString(inputId, answer) != JsonObject::Found || answer.isEmpty())
            return false;
    }
    return true;
}

QString CommandTemplateBuilder::substitute(const QString& text) const
{
    const QString renamed = replaceMatches(text, kReferencePattern, [this](const QRegExp& match) {
        const bool braces = !match.cap(1).isEmpty();
        const QString inputId = braces ? match.cap(1) : match.cap(2);
        const auto identifier = m_renamed.constFind(inputId);
        if (identifier == m_renamed.constEnd())
            return match.cap(0);
        return braces ? QStringLiteral("${") + *identifier + QLatin1Char('}')
                      : QStringLiteral("$(") + *identifier + QLatin1Char(')');
    });
    return replaceMatches(renamed, kValuePattern, [this](const QRegExp& match) {
        return m_answerById.value(match.cap(1), match.cap(0));
    });
}

const QList<QSharedPointer<FlashCommand>>& CommandTemplateBuilder::commands() const
{
    return m_commands;
}

QList<QSharedPointer<FlashParameter>> CommandTemplateBuilder::usedParameters() const
{
    QList<QSharedPointer<FlashParameter>> used;
    for (const QSharedPointer<FlashParameter>& parameter : m_candidates) {
        if (m_usedIdentifiers.count(parameter->getId()) != 0)
            used.append(parameter);
    }
    return used;
}
