#pragma once

// Base of every command kind of a flash file: parameter references, precondition, group id,
// the factory registry that turns a command's "tool" word into a command object, and the attempt
// loop (`execute`) around a kind's `performCommand`. Commands are built on the main thread and
// only read while flashes run: one command may execute on several pool threads at once.

#include "core/FlashTypes.h"
#include "platform/device/SharedPointer.h"
#include "platform/json/JsonObject.h"
#include "platform/json/JsonObjectList.h"

#include <QObject>
#include <QSharedPointer>
#include <QString>
#include <QVariant>

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

class FlashConfiguration;
class FlashDevice2;
class FlashRunner;

// Result of one attempt of a kind (`performCommand`).
enum PerformResult {
    PerformSuccess = 0,
    PerformFailed = 1,
    PerformFailedContinue = 2,
    PerformCancelled = 3,
    PerformRetry = 4
};

// Result of `FlashCommand::execute` as the run loop reads it.
enum ExecuteResult {
    ExecuteSuccess = 0,
    ExecuteSkipped = 1,
    ExecuteFailed = 2,
    ExecuteFailedContinue = 3,
    ExecuteCancelled = 4
};

class FlashCommand : public QObject
{
    Q_OBJECT

public:
    // One ${name} or ${name,option} reference; option is a null string for a plain reference.
    struct CommandParameter
    {
        CommandParameter(const QString& name, const QString& option);

        bool operator<(const CommandParameter& other) const;

        QString name;
        QString option;
    };

    // The data every kind shares, owned by its command.
    struct FlashCommandData
    {
        FlashCommandData(const QString& expression, bool skipOnFailure);
        FlashCommandData(const FlashCommandData& other) = default;

        std::set<CommandParameter> parameters;
        QString script;      // the precondition rewritten into $.getParameter calls
        QString expression;  // the precondition as written; "true" means none
        bool skipOnFailure;
    };

    using Creator = FlashCommand* (*)(const JsonObject& command);
    using Factories = std::map<std::string, Creator>;

    // The command kinds by tool id: the built-in kinds (registered at start-up), then the user tools.
    static Factories ms_kFactories;

    static bool addCommandFactory(const char* toolId, Creator creator);
    static bool removeCommandFactory(const char* toolId);

    // Null (after one ERROR line) when "tool" is missing, unknown, or its creator refuses the object.
    static QSharedPointer<FlashCommand> getCommandFromJson(const JsonObject& command);
    // The base keys ("precondition") of a command object; null after one ERROR line.
    static FlashCommandData* getCommandData(const JsonObject& command);

    explicit FlashCommand(FlashCommandData* data);
    FlashCommand(const FlashCommand& other);
    ~FlashCommand() override;

    virtual QString getUserFriendlyCommand(const SharedPointer<FlashRunner>& runner) const;
    virtual QString getUserFriendlyCommand(const FlashConfiguration& configuration) const;
    virtual QString getLogCommand(const SharedPointer<FlashRunner>& runner) const = 0;
    virtual QString getLogCommand(const FlashConfiguration& configuration) const = 0;
    virtual QString getDetails(const FlashConfiguration& configuration) const;
    virtual FlashTypes::CommandType getType() const = 0;
    virtual bool isMandatory() const = 0;
    virtual uint64_t getTimeout() const = 0;
    virtual std::set<CommandParameter> getParameterKeys() const;
    virtual bool hasParameter(const QString& name) const;
    virtual bool hasParameter(const QString& name, const QString& option) const;
    virtual QString checkParameters(const FlashConfiguration& configuration,
                                    std::set<QString>& definedVariables) const;
    virtual JsonObject toJson() const = 0;
    virtual QString getToolId() const = 0;
    virtual QString getToolParameters() const = 0;
    virtual QSharedPointer<FlashCommand> clone() const = 0;
    virtual JsonObjectList getJsonEditorInterface() const = 0;
    // One attempt (numbered from 1). `error` is null on entry; a text set here replaces the outcome line.
    virtual int performCommand(const SharedPointer<FlashRunner>& runner,
                               const SharedPointer<FlashDevice2>& device, uint64_t attempt,
                               QString& error) const = 0;
    virtual JsonObject getJsonBase() const;
    virtual QString checkParameters(const FlashConfiguration& configuration,
                                    const std::set<CommandParameter>& keys,
                                    std::set<QString>& definedVariables) const;

    bool hasPrecondition() const;
    bool hasSkipPrecondition() const;
    const QString& getPreconditionExpression() const;
    bool isSkipOnFailure() const;
    void setGroup(const QString& group);
    const QString& getGroup() const;

    // Precondition, announcement, attempts and outcome lines of one command on one device.
    ExecuteResult execute(const SharedPointer<FlashRunner>& runner,
                          const SharedPointer<FlashDevice2>& device) const;

    // Inserts every reference of `text` into `keys`.
    static void addParameterKeys(const QString& text, std::set<CommandParameter>& keys);
    // Resolves references for one run; unresolved ones stay as written, each adding a line to `error`.
    static QString replaceParameters(FlashRunner& runner, const QString& text, bool* ok = nullptr,
                                     QString* error = nullptr);
    // Resolves references outside a run (no device keys).
    static QString replaceParameters(const FlashConfiguration& configuration, const QString& text,
                                     bool* ok = nullptr);

    // An editor form filled with one command's values: each field whose text "id" is a key of
    // `values` gets that value as its "value"; other fields keep the form's.
    static JsonObjectList fillEditorInterface(JsonObjectList form,
                                              const std::map<QString, QVariant>& values);

protected:
    // The check a kind's attempt starts with: false, after the TRACE line "Invalid runner pointer"
    // in the application log, when no runner stands behind `runner`.
    static bool hasRunner(const SharedPointer<FlashRunner>& runner);

private:
    QString m_group;
    FlashCommandData* m_data;
};

class FlashParameter;
class FlashParameterValue;

// Checks one reference against a configuration; null when it can be resolved. `value` receives
// the value found.
QString checkParameter(QSharedPointer<FlashParameter> parameter, const QString& option,
                       QSharedPointer<FlashParameterValue>& value,
                       const FlashConfiguration& configuration, std::set<QString>& definedVariables);
