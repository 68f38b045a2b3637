#pragma once

// The "dravikDownloader" command: downloads the platform firmware (IFWI) and, when given, the OS
// images onto a device in download mode through the "Dravik Downloader", either through its API
// library (the backend beside the executable) or, while FMConst::USE_DRAVIK_EXTERNAL is on, through
// its command-line program "dravikFlashTool". Built by the flash file readers and the command-line
// clean-eMMC flow, owned by the flash file model; runs on a device's pool thread and is never
// changed by a run.

#include "model/FlashCommand.h"

#include <QStringList>

class DravikStatusParser;

class DravikFlashCommand : public FlashCommand
{
public:
    DravikFlashCommand(const QString& ifwi, const QString& ifwiDnx, const QString& os,
                       const QString& osDnx, const QString& gpFlag, const QString& xxrDnx,
                       const QString& softFuse, bool wipeIfwi);

    static QString toolId();
    static QString toolName();
    // The downloader backend's version; "unknown" without a backend.
    static QString toolVersion();
    // Factory entry for "dravikDownloader": null when "ifwi", "ifwi_dnx" or "gpflag" is missing,
    // empty or no text, or an optional file is no text (the empty cases logged at ERROR).
    static FlashCommand* createDravikCommand(const JsonObject& command);
    static JsonObjectList getJsonEditorInterfaceTemplate();

    // A file entry counts as given when it is neither empty nor "none".
    static bool isSet(const QString& entry);

    // The stored arguments (IFWI DnX, IFWI, OS DnX, OS, GP flag, XXR DnX, soft fuse, wipe flag),
    // references unresolved.
    const QStringList& getArguments() const;

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

    // The command only flashes: it cannot compute a variable.
    bool isFlashOnlyCommand() const;
    // Puts the target serial in front of `args` (the device's SoC serial, or "-1" for the
    // single-device form) and applies the GP flag override; false without a device.
    bool deviceSpecificParameters(const SharedPointer<FlashDevice2>& device, QStringList& args) const;
    // The command-line program: "dravikFlashTool" in the application folder; empty while the
    // library is used.
    QString getAbsoluteProgramPath() const;

private:
    DravikFlashCommand(FlashCommandData* data, const QStringList& arguments);

    static QStringList buildArguments(const QString& ifwi, const QString& ifwiDnx, const QString& os,
                                      const QString& osDnx, const QString& gpFlag,
                                      const QString& xxrDnx, const QString& softFuse, bool wipeIfwi);

    // The arguments of one run, resolved and completed for the device (target serial first); the
    // result of the attempt when they cannot be made, else -1.
    // `noDeviceError` is the reason given when the device cannot be addressed.
    int runArguments(const SharedPointer<FlashRunner>& runner, const SharedPointer<FlashDevice2>& device,
                     uint64_t attempt, const QString& noDeviceError, QStringList& args,
                     QString& error) const;
    // One download through the API library, with up to three tries.
    int performCommandInternal(const SharedPointer<FlashRunner>& runner,
                               const SharedPointer<FlashDevice2>& device, uint64_t attempt,
                               QString& error) const;
    // One run of the command-line program.
    int performCommandExternal(const SharedPointer<FlashRunner>& runner,
                               const SharedPointer<FlashDevice2>& device, uint64_t attempt,
                               QString& error) const;

    QStringList m_arguments;
};
