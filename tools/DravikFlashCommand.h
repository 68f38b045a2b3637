#pragma once

// The "dravikDownloader" command: downloads the platform firmware (IFWI) and, when given, the OS
// images onto a device in download mode through the "Dravik Downloader", either through its API
// library (the backend beside the executable) or, while FMConst::USE_DRAVIK_EXTERNAL is on, through
// its command-line program "dravikFlashTool", run as a shell command. Built by the flash file
// readers and the command-line clean-eMMC flow, owned by the flash file model; runs on a device's
// pool thread and is never changed by a run.

#include "tools/ShellFlashCommand.h"

class DravikFlashCommand : public ShellFlashCommand
{
    Q_OBJECT

public:
    DravikFlashCommand(const QString& ifwi, const QString& ifwiDnx, const QString& os,
                       const QString& osDnx, const QString& gpFlag, const QString& xxrDnx,
                       const QString& softFuse, bool wipeIfwi);
    // Takes a record of buildShellFlashCommandData.
    explicit DravikFlashCommand(std::unique_ptr<ShellFlashCommandData> data);

    static QString toolId();
    static QString toolName();
    // The downloader backend's version; "unknown" without a backend.
    static QString toolVersion();
    // The kind's record: fixed time-out, tries and description, and the argument list IFWI DnX,
    // IFWI, OS DnX, OS, GP flag, XXR DnX (or "none"), soft fuse (or "none"), wipe flag ("1"/"0").
    static std::unique_ptr<ShellFlashCommandData> buildShellFlashCommandData(
        const QString& ifwi, const QString& ifwiDnx, const QString& os, const QString& osDnx,
        const QString& gpFlag, const QString& xxrDnx, const QString& softFuse, bool wipeIfwi);
    // Factory entry for "dravikDownloader": null when "ifwi", "ifwi_dnx" or "gpflag" is missing,
    // empty or no text, or an optional file is no text (the empty cases logged at ERROR).
    static FlashCommand* createDravikCommand(const JsonObject& command);
    static JsonObjectList getJsonEditorInterfaceTemplate();

    // A file entry counts as given when it is neither empty nor "none".
    static bool isSet(const QString& entry);

    QString getDetails(const FlashConfiguration& configuration) const override;
    FlashTypes::CommandType getType() const override;
    JsonObject toJson() const override;
    QString getToolId() const override;
    QString getToolParameters() const override;
    QSharedPointer<FlashCommand> clone() const override;
    JsonObjectList getJsonEditorInterface() const override;
    int performCommand(const SharedPointer<FlashRunner>& runner,
                       const SharedPointer<FlashDevice2>& device, uint64_t attempt,
                       QString& error) const override;
    bool isFlashOnlyCommand() const override;
    // Puts the target serial in front of `args` (the device's SoC serial, or "-1" for the
    // single-device form) and applies the GP flag override; false without a device.
    bool deviceSpecificParameters(const SharedPointer<FlashDevice2>& device,
                                  QStringList& args) const override;

protected:
    // "dravikFlashTool" in the application folder while the program is used, else empty.
    QString getAbsoluteProgramPath(const QString& toolId) const override;
    // The program's output lines go through the status line parser.
    bool prepareShellProcess(const SharedPointer<FlashRunner>& runner,
                             const SharedPointer<FlashDevice2>& device, ShellProcess* process,
                             const QStringList& args, QString& error) const override;
    bool terminateShellProcess(const SharedPointer<FlashRunner>& runner,
                               const SharedPointer<FlashDevice2>& device, ShellProcess* process,
                               QString& error) const override;

private:
    // One download through the API library, with up to three tries.
    int performCommandInternal(const SharedPointer<FlashRunner>& runner,
                               const SharedPointer<FlashDevice2>& device, uint64_t attempt,
                               QString& error) const;
};
