#include "tools/AdbFlashCommand.h"

#include "core/DeviceAddress.h"
#include "engine/FlashDevice2.h"
#include "tools/ShellProcess.h"

namespace {

// "shell rm <path>" that finds nothing to remove has still reached its goal.
bool isShellRemove(const QStringList& args)
{
    const int shell = args.indexOf(QStringLiteral("shell"));
    return shell >= 0 && shell + 1 < args.size() && args.at(shell + 1) == QLatin1String("rm");
}

} // namespace

FlashCommand* AdbFlashCommand::createAdbCommand(const JsonObject& json)
{
    return createKind<AdbFlashCommand>(json);
}

QString AdbFlashCommand::toolId()
{
    return QStringLiteral("adb");
}

QString AdbFlashCommand::toolName()
{
    return QStringLiteral("ADB");
}

JsonObjectList AdbFlashCommand::getJsonEditorInterfaceTemplate()
{
    return editorTemplate(toolId());
}

AdbFlashCommand::AdbFlashCommand(std::unique_ptr<ShellFlashCommandData> data)
    : ShellFlashCommand(std::move(data), ShellProcess::CaptureStdMerged)
{
}

FlashTypes::CommandType AdbFlashCommand::getType() const
{
    return FlashTypes::CommandType::Adb;
}

QSharedPointer<FlashCommand> AdbFlashCommand::clone() const
{
    return QSharedPointer<FlashCommand>(new AdbFlashCommand(*this));
}

bool AdbFlashCommand::deviceSpecificParameters(const SharedPointer<FlashDevice2>& device,
                                               QStringList& args) const
{
    if (device.isNull())
        return false;
    const DeviceAddress address(device->getPlatformSerial(), device->getPort().getConnectionType());
    if (!address.isAddressable())
        return false;
    args = address.adbSelector() + args;
    return true;
}

bool AdbFlashCommand::isSuccess(ShellProcess* process, const QString& program,
                                const QStringList& args) const
{
    if (!ShellFlashCommand::isSuccess(process, program, args))
        return false;
    // adb often exits 0 although the device refused: its words decide.
    const QByteArray& merged = *process->getStdMerged();
    if (merged.isEmpty())
        return true;
    const QString text = outputText(merged).toLower();
    if (!text.contains(QLatin1String("failed")) && !text.contains(QLatin1String("error")))
        return true;
    return isShellRemove(args) && text.contains(QLatin1String("no such file or directory"));
}
