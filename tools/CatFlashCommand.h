#pragma once

// The "cat" command kind: reads the file that one file or temporary-file parameter stands for and
// hands its content, as text (to the first NUL) or as hexadecimal digits, to whoever asked for the
// command's output, typically a set-variable command whose variable takes it as value. As a plain
// step it only checks that the file can be read. It shares the shell kind's JSON record but runs
// no program. Attempts run on the device's flash thread.

#include "tools/ShellFlashCommand.h"

class CatFlashCommand : public ShellFlashCommand
{
    Q_OBJECT

public:
    enum class CatMode { Ascii = 0, Hex = 1 };

    static FlashCommand* createCatCommand(const JsonObject& json);
    static QString toolId();
    static QString toolName();
    static JsonObjectList getJsonEditorInterfaceTemplate();

    CatFlashCommand(std::unique_ptr<ShellFlashCommandData> data, const QString& source,
                    CatMode mode);

    QString getUserFriendlyCommand(const SharedPointer<FlashRunner>& runner) const override;
    QString getUserFriendlyCommand(const FlashConfiguration& configuration) const override;
    QString getLogCommand(const SharedPointer<FlashRunner>& runner) const override;
    QString getLogCommand(const FlashConfiguration& configuration) const override;
    FlashTypes::CommandType getType() const override;
    bool isMandatory() const override;
    uint64_t getTimeout() const override;
    std::set<CommandParameter> getParameterKeys() const override;
    QString checkParameters(const FlashConfiguration& configuration,
                            std::set<QString>& definedVariables) const override;
    JsonObject toJson() const override;
    QString getToolId() const override;
    QString getToolParameters() const override;
    QSharedPointer<FlashCommand> clone() const override;
    JsonObjectList getJsonEditorInterface() const override;
    // Never retried: 0 success or 1 error.
    int performCommandWithOutputBuffer(const SharedPointer<FlashRunner>& runner,
                                       const SharedPointer<FlashDevice2>& device, uint64_t attempt,
                                       QString& error, QByteArray* output) const override;

private:
    QString modeWord() const;

    QString m_source;
    CatMode m_mode;
};
