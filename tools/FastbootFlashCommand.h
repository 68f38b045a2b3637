#pragma once

// The "fastboot" command kind: runs the configured fastboot program on the device being flashed,
// addressed by its serial, with the vendor id and sparse size that the settings force, and judges
// success from "OKAY" on standard error. Commands that load the modem report as modem commands.
// Everything else is the shell kind's.

#include "tools/ShellFlashCommand.h"

class FastbootFlashCommand : public ShellFlashCommand
{
    Q_OBJECT

public:
    static FlashCommand* createFastbootCommand(const JsonObject& json);
    static QString toolId();
    static QString toolName();
    static JsonObjectList getJsonEditorInterfaceTemplate();

    explicit FastbootFlashCommand(std::unique_ptr<ShellFlashCommandData> data);

    // Modem for the modem loading script and radio or modem NVM images, else Fastboot; judged on
    // the arguments as written, before substitution.
    FlashTypes::CommandType getType() const override;
    QSharedPointer<FlashCommand> clone() const override;

protected:
    bool deviceSpecificParameters(const SharedPointer<FlashDevice2>& device,
                                  QStringList& args) const override;
    bool specificParameters(QStringList& args) const override;
    bool isSuccess(ShellProcess* process, const QString& program,
                   const QStringList& args) const override;
};
