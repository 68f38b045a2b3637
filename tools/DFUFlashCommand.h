#pragma once

// The "dfuDownloader" command kind: runs dfu-util on a device in USB DFU mode, addressed by its
// vendor and product ids, and turns the program's download progress lines into the run's progress
// and status text; other lines go to the run's log. Everything else is the shell kind's.

#include "tools/ShellFlashCommand.h"

class DFUFlashCommand : public ShellFlashCommand
{
    Q_OBJECT

public:
    static FlashCommand* createDfuCommand(const JsonObject& json);
    static QString toolId();
    static QString toolName();
    static JsonObjectList getJsonEditorInterfaceTemplate();
    // The configured program's version ("0.11"); empty when it can't be asked. Blocks up to 10 s.
    static QString toolVersion();

    explicit DFUFlashCommand(std::unique_ptr<ShellFlashCommandData> data);

    FlashTypes::CommandType getType() const override;
    QSharedPointer<FlashCommand> clone() const override;

protected:
    // "-d vvvv:pppp" at the end when the device has both ids; never fails.
    bool deviceSpecificParameters(const SharedPointer<FlashDevice2>& device,
                                  QStringList& args) const override;
    bool specificParameters(QStringList& args) const override;
    bool prepareShellProcess(const SharedPointer<FlashRunner>& runner,
                             const SharedPointer<FlashDevice2>& device, ShellProcess* process,
                             const QStringList& args, QString& error) const override;

private:
    // One line of either channel of the program.
    void logParser(FlashRunner& runner, const QString& line) const;
};
