#pragma once

// The "adb" command kind: runs the configured adb program on the device being flashed while it
// runs its operating system, addressed by its platform serial, and judges success from the words
// of the merged output as well as the exit code. Everything else is the shell kind's.

#include "tools/ShellFlashCommand.h"

class AdbFlashCommand : public ShellFlashCommand
{
    Q_OBJECT

public:
    static FlashCommand* createAdbCommand(const JsonObject& json);
    static QString toolId();
    static QString toolName();
    static JsonObjectList getJsonEditorInterfaceTemplate();

    explicit AdbFlashCommand(std::unique_ptr<ShellFlashCommandData> data);

    FlashTypes::CommandType getType() const override;
    QSharedPointer<FlashCommand> clone() const override;

protected:
    bool deviceSpecificParameters(const SharedPointer<FlashDevice2>& device,
                                  QStringList& args) const override;
    bool isSuccess(ShellProcess* process, const QString& program,
                   const QStringList& args) const override;
};
