#include "tools/FastbootFlashCommand.h"

#include "core/DeviceAddress.h"
#include "core/FMConst.h"
#include "engine/FlashDevice2.h"
#include "tools/ShellProcess.h"

namespace {

// Commands whose answer is no "OKAY": they succeed on their exit code alone.
bool isExempt(const QStringList& args)
{
    for (const QString& arg : args) {
        if (arg == QLatin1String("reboot") || arg == QLatin1String("devices")
            || arg == QLatin1String("getvar"))
            return true;
    }
    return false;
}

} // namespace

FlashCommand* FastbootFlashCommand::createFastbootCommand(const JsonObject& json)
{
    return createKind<FastbootFlashCommand>(json);
}

QString FastbootFlashCommand::toolId()
{
    return QStringLiteral("fastboot");
}

QString FastbootFlashCommand::toolName()
{
    return QStringLiteral("Fastboot");
}

JsonObjectList FastbootFlashCommand::getJsonEditorInterfaceTemplate()
{
    return editorTemplate(toolId());
}

FastbootFlashCommand::FastbootFlashCommand(std::unique_ptr<ShellFlashCommandData> data)
    : ShellFlashCommand(std::move(data), ShellProcess::CaptureStdError)
{
}

FlashTypes::CommandType FastbootFlashCommand::getType() const
{
    const QStringList& args = getShellData().args;
    for (int i = 0; i < args.size(); ++i) {
        const QString arg = args.at(i).toLower();
        if (arg == QLatin1String("loadfw_modem.sh") || arg.contains(QLatin1String("modem_nvm")))
            return FlashTypes::CommandType::Modem;
        if (arg == QLatin1String("flash") && i + 1 < args.size()
            && args.at(i + 1).toLower() == QLatin1String("radio"))
            return FlashTypes::CommandType::Modem;
    }
    return FlashTypes::CommandType::Fastboot;
}

QSharedPointer<FlashCommand> FastbootFlashCommand::clone() const
{
    return QSharedPointer<FlashCommand>(new FastbootFlashCommand(*this));
}

bool FastbootFlashCommand::deviceSpecificParameters(const SharedPointer<FlashDevice2>& device,
                                                    QStringList& args) const
{
    if (device.isNull())
        return false;
    const DeviceAddress address(device->getSerial(), device->getPort().getConnectionType());
    if (!address.isAddressable())
        return false;
    args = address.fastbootSelector() + args;
    return specificParameters(args);
}

bool FastbootFlashCommand::specificParameters(QStringList& args) const
{
    QStringList options = DeviceAddress::fastbootVendorOption();
    if (FMConst::FORCE_FASTBOOT_SPARSING)
        options << QStringLiteral("-S") << QString::number(FMConst::FASTBOOT_SPARSING_SIZE) + QLatin1Char('M');
    args = options + args;
    return true;
}

bool FastbootFlashCommand::isSuccess(ShellProcess* process, const QString& program,
                                     const QStringList& args) const
{
    if (!ShellFlashCommand::isSuccess(process, program, args))
        return false;
    // Some fastboot versions exit 0 after a FAILED answer: a command went through when it says
    // OKAY and no step of it FAILED (on standard error, where fastboot writes everything).
    const QByteArray& answer = *process->getStdError();
    return isExempt(args) || (answer.contains("OKAY") && !answer.contains("FAILED"));
}
