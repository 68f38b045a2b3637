#pragma once

// The command kind that runs one external program, and the base of every kind that does (adb,
// fastboot, DFU, the firmware downloader) or shares its JSON record (cat). One attempt is one
// program run with the command's time-out; FlashCommand::execute repeats attempts while they ask
// for a retry, and the attempt turns the last allowed one into the command's failure. Kinds change
// an attempt only through the hooks below. Built on the loading thread; attempts run on the
// device's flash thread, several devices at once, so nothing here changes during a run.

#include "core/ProgramRun.h"
#include "model/FlashCommand.h"

#include <QStringList>

#include <memory>

class ShellProcess;

class ShellFlashCommand : public FlashCommand
{
    Q_OBJECT

public:
    // The keys every program-running command shares.
    struct ShellFlashCommandData
    {
        ShellFlashCommandData(FlashCommandData* base, const QString& toolId, const QStringList& args,
                              uint64_t timeout, uint64_t retry, const QString& description,
                              const QString& successCondition, bool mandatory, bool blockScan);
        // Every field but the base data, which the copied command carries itself.
        ShellFlashCommandData(const ShellFlashCommandData& other);

        std::unique_ptr<FlashCommandData> base;   // handed to FlashCommand by the command
        QString toolId;
        QStringList args;                         // as split at load; may hold ${...} references
        uint64_t timeout;                         // ms, one attempt
        uint64_t retry;                           // attempts allowed
        QString description;
        QString successCondition;                 // as written
        QString escapedSuccessCondition;          // as the script engine runs it
        std::set<CommandParameter> successConditionParameters;
        bool mandatory;
        bool blockScan;
    };

    // The record of `json`; null after one ERROR line (none when the precondition is refused).
    // `skipArgs` leaves "args" unread.
    static std::unique_ptr<ShellFlashCommandData> getShellCommandData(const JsonObject& json,
                                                                      bool skipArgs);
    // Factory of every user tool id (external tools registry).
    static FlashCommand* createShellCommand(const JsonObject& json);
    // A `Kind` built on the record of `json` (with its arguments); null when the record is refused.
    template <class Kind>
    static FlashCommand* createKind(const JsonObject& json)
    {
        std::unique_ptr<ShellFlashCommandData> data = getShellCommandData(json, false);
        return data ? new Kind(std::move(data)) : nullptr;
    }
    static JsonObjectList getJsonEditorInterfaceTemplate();

    explicit ShellFlashCommand(std::unique_ptr<ShellFlashCommandData> data, int captureFlags = 0);
    ShellFlashCommand(const ShellFlashCommand& other);
    ~ShellFlashCommand() override;

    QString getUserFriendlyCommand(const SharedPointer<FlashRunner>& runner) const override;
    QString getUserFriendlyCommand(const FlashConfiguration& configuration) const override;
    QString getLogCommand(const SharedPointer<FlashRunner>& runner) const override;
    QString getLogCommand(const FlashConfiguration& configuration) const override;
    QString getDetails(const FlashConfiguration& configuration) const override;
    FlashTypes::CommandType getType() const override;
    bool isMandatory() const override;
    uint64_t getTimeout() const override;
    std::set<CommandParameter> getParameterKeys() const override;
    JsonObject toJson() const override;
    QString getToolId() const override;
    QString getToolParameters() const override;
    QSharedPointer<FlashCommand> clone() const override;
    JsonObjectList getJsonEditorInterface() const override;
    int performCommand(const SharedPointer<FlashRunner>& runner,
                       const SharedPointer<FlashDevice2>& device, uint64_t attempt,
                       QString& error) const override;
    JsonObject getJsonBase() const override;

    // True for kinds that may only be a flash step, never a variable's sub-command.
    virtual bool isFlashOnlyCommand() const;
    // One attempt; `output`, when given, receives both channels in arrival order.
    virtual int performCommandWithOutputBuffer(const SharedPointer<FlashRunner>& runner,
                                               const SharedPointer<FlashDevice2>& device,
                                               uint64_t attempt, QString& error,
                                               QByteArray* output) const;

    const ShellFlashCommandData& getShellData() const;

    // A program's output as text: its bytes up to the first NUL, as UTF-8.
    static QString outputText(const QByteArray& bytes);

protected:
    // Arguments that address `device` (every attempt and the run's log line); false when it
    // can't be addressed, which fails the attempt.
    virtual bool deviceSpecificParameters(const SharedPointer<FlashDevice2>& device,
                                          QStringList& args) const;
    // The kind's fixed arguments, for the details text only.
    virtual bool specificParameters(QStringList& args) const;
    // The program of `toolId`; empty when the tool is missing.
    virtual QString getAbsoluteProgramPath(const QString& toolId) const;
    // The program ended within its time-out and the command has no success condition.
    virtual bool isSuccess(ShellProcess* process, const QString& program,
                           const QStringList& args) const;
    // Before the start; false fails the attempt (with `error` set).
    virtual bool prepareShellProcess(const SharedPointer<FlashRunner>& runner,
                                     const SharedPointer<FlashDevice2>& device,
                                     ShellProcess* process, const QStringList& args,
                                     QString& error) const;
    // After every started run, cancelled or timed out ones included; false fails the attempt.
    virtual bool terminateShellProcess(const SharedPointer<FlashRunner>& runner,
                                       const SharedPointer<FlashDevice2>& device,
                                       ShellProcess* process, QString& error) const;

    // An attempt's arguments: the attempt number checked against the tries, every stored argument
    // resolved for the run, then the device's arguments added. PerformSuccess when `args` is ready,
    // else the attempt's result with `error` set (`noDeviceError` when the device can't be addressed).
    int expandArguments(const SharedPointer<FlashRunner>& runner,
                        const SharedPointer<FlashDevice2>& device, uint64_t attempt,
                        const QString& noDeviceError, QStringList& args, QString& error) const;

    // The shell form with the "tool" field set to `toolId`: the template of every shell-based kind.
    static JsonObjectList editorTemplate(const QString& toolId);

private:
    int decide(const SharedPointer<FlashRunner>& runner, ShellProcess& process, ProgramOutcome outcome,
               const QString& program, const QStringList& args, QString& error) const;
    int evaluateSuccessCondition(const SharedPointer<FlashRunner>& runner,
                                 ShellProcess& process) const;
    QString commandLine(const QString& program, const QStringList& args) const;

    std::unique_ptr<ShellFlashCommandData> m_shell;
    int m_captureFlags;
};
