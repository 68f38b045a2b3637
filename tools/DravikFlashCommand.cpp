#include "tools/DravikFlashCommand.h"

#include "core/ChildProcess.h"
#include "core/FMConst.h"
#include "core/MessageHandler.h"
#include "engine/FlashDevice2.h"
#include "engine/FlashRunner.h"
#include "platform/downloader/DravikDownloaderLibrary.h"
#include "tools/DravikStatusParser.h"

#include <QCoreApplication>
#include <QDir>

#include <cstring>
#include <memory>

namespace {

// Entries of the stored argument list.
enum StoredArgument {
    StoredIfwiDnx = 0,
    StoredIfwi,
    StoredOsDnx,
    StoredOs,
    StoredGpFlag,
    StoredXxrDnx,
    StoredSoftFuse,
    StoredWipeIfwi,
    StoredCount
};

// Entries of a run's argument list: the target serial, then the stored ones. This is also the
// argument list of the command-line program.
enum RunArgument {
    RunTarget = 0,
    RunIfwiDnx,
    RunIfwi,
    RunOsDnx,
    RunOs,
    RunGpFlag,
    RunXxrDnx,
    RunSoftFuse,
    RunWipeIfwi,
    RunCount
};

const char kProgramName[] = "dravikFlashTool";
const char kNone[] = "none";
const char kSingleDeviceTarget[] = "-1";
constexpr uint64_t kTimeoutMs = 180000;
constexpr uint64_t kRetry = 1;
constexpr int kDownloadTries = 3;
constexpr uint64_t kRetryDelayMs = 1000;
constexpr int kEnumerationTimeoutSeconds = 40;
constexpr int kStatusVerbosity = 1;
// Not a result of an attempt: the run's arguments are ready.
constexpr int kArgumentsReady = -1;

QString description()
{
    return QStringLiteral("Flashing IFWI: *** DO NOT DISCONNECT THE DEVICE ***");
}

// Each argument after a blank, in double quotes.
QString quotedArguments(const QStringList& arguments)
{
    QString text;
    for (const QString& argument : arguments)
        text += QStringLiteral(" \"") + argument + QLatin1Char('"');
    return text;
}

QString logText(const QString& program, const QStringList& arguments)
{
    const QString shown = program.isEmpty() ? QLatin1String(kProgramName) : program;
    return QLatin1Char('"') + shown + QLatin1Char('"') + quotedArguments(arguments);
}

QString detailLine(const QString& label, const QString& value)
{
    return QStringLiteral("\n        ") + label + value;
}

// What an API call needs: the entry in the local 8-bit encoding, alive as long as the copy.
QByteArray local(const QString& entry)
{
    return entry.toLocal8Bit();
}

} // namespace

DravikFlashCommand::DravikFlashCommand(const QString& ifwi, const QString& ifwiDnx, const QString& os,
                                       const QString& osDnx, const QString& gpFlag,
                                       const QString& xxrDnx, const QString& softFuse, bool wipeIfwi)
    : DravikFlashCommand(nullptr, buildArguments(ifwi, ifwiDnx, os, osDnx, gpFlag, xxrDnx, softFuse, wipeIfwi))
{
}

DravikFlashCommand::DravikFlashCommand(FlashCommandData* data, const QStringList& arguments)
    : FlashCommand(data)
    , m_arguments(arguments)
{
}

QStringList DravikFlashCommand::buildArguments(const QString& ifwi, const QString& ifwiDnx,
                                               const QString& os, const QString& osDnx,
                                               const QString& gpFlag, const QString& xxrDnx,
                                               const QString& softFuse, bool wipeIfwi)
{
    // The DnX file stands before its image, the reverse of the constructor's order.
    return {ifwiDnx,
            ifwi,
            osDnx,
            os,
            gpFlag,
            isSet(xxrDnx) ? xxrDnx : QLatin1String(kNone),
            isSet(softFuse) ? softFuse : QLatin1String(kNone),
            wipeIfwi ? QStringLiteral("1") : QStringLiteral("0")};
}

QString DravikFlashCommand::toolId()
{
    return QStringLiteral("dravikDownloader");
}

QString DravikFlashCommand::toolName()
{
    return QStringLiteral("Dravik Downloader");
}

QString DravikFlashCommand::toolVersion()
{
    QString version = QStringLiteral("unknown");
    if (const DravikDownloaderLibrary::DownloaderPtr api = DravikDownloaderLibrary::create())
        version = QString::fromLocal8Bit(api->getVersion().c_str());
    return version;
}

FlashCommand* DravikFlashCommand::createDravikCommand(const JsonObject& command)
{
    std::unique_ptr<FlashCommandData> data(getCommandData(command));
    if (!data)
        return nullptr;
    // Required files: absent or no text refuses the command silently, empty with a message.
    const auto required = [&command](const char* key, const QString& emptyError, QString& value) {
        if (command.getString(QLatin1String(key), value) != JsonObject::Found)
            return false;
        if (value.isEmpty()) {
            MessageHandler::instance()->logMessage(ERROR, emptyError);
            return false;
        }
        return true;
    };
    const auto optional = [&command](const char* key, QString& value) {
        return command.getString(QLatin1String(key), value) != JsonObject::WrongType;
    };
    QString ifwi, ifwiDnx, os, osDnx, gpFlag, xxrDnx, softFuse;
    if (!required("ifwi", QStringLiteral("Empty IFWI value, the IFWI is mandatory for Dravik command"), ifwi)
        || !required("ifwi_dnx", QStringLiteral("Empty IFWI DnX value, the IFWI DnX is mandatory for Dravik command"), ifwiDnx)
        || !optional("os", os) || !optional("os_dnx", osDnx)
        || !required("gpflag", QStringLiteral("Empty gpflag value, the gpflag is mandatory for Dravik command"), gpFlag)
        || !optional("xxr_dnx", xxrDnx) || !optional("soft_fuse", softFuse))
        return nullptr;
    // The kind's time-out, tries and description are fixed: other keys of the object are ignored.
    return new DravikFlashCommand(data.release(),
                                  buildArguments(ifwi, ifwiDnx, os, osDnx, gpFlag, xxrDnx, softFuse, false));
}

JsonObjectList DravikFlashCommand::getJsonEditorInterfaceTemplate()
{
    const auto file = [](const char* id, const char* label, const char* required) {
        return JsonObject({{"id", id}, {"label", label}, {"type", "text"}, {"value", QString()},
                           {"required", required}});
    };
    return {
        JsonObject({{"id", "tool"}, {"type", "hidden"}, {"value", toolId()}}),
        file("ifwi", "IFWI", "true"),
        file("ifwi_dnx", "IFWI DnX", "true"),
        file("os", "OS", "false"),
        file("os_dnx", "OS DnX", "false"),
        file("xxr_dnx", "XXR DnX", "false"),
        file("soft_fuse", "Soft fuse", "false"),
        JsonObject({{"id", "gpflag"}, {"label", "GP Flag"}, {"type", "text"},
                    {"value", FMConst::USER_GP_FLAG}, {"required", "true"}}),
    };
}

bool DravikFlashCommand::isSet(const QString& entry)
{
    return !entry.isEmpty() && entry != QLatin1String(kNone);
}

const QStringList& DravikFlashCommand::getArguments() const
{
    return m_arguments;
}

QString DravikFlashCommand::getUserFriendlyCommand(const SharedPointer<FlashRunner>&) const
{
    return description();
}

QString DravikFlashCommand::getUserFriendlyCommand(const FlashConfiguration&) const
{
    return description();
}

QString DravikFlashCommand::getLogCommand(const SharedPointer<FlashRunner>& runner) const
{
    QStringList arguments = m_arguments;
    if (!runner.isNull()) {
        if (!runner->getDevice().isNull())
            deviceSpecificParameters(runner->getDevice(), arguments);
        for (QString& argument : arguments)
            argument = replaceParameters(*runner, argument);
    }
    return logText(getAbsoluteProgramPath(), arguments);
}

QString DravikFlashCommand::getLogCommand(const FlashConfiguration& configuration) const
{
    QStringList arguments = m_arguments;
    for (QString& argument : arguments)
        argument = replaceParameters(configuration, argument);
    return logText(getAbsoluteProgramPath(), arguments);
}

QString DravikFlashCommand::getDetails(const FlashConfiguration& configuration) const
{
    QStringList entries = m_arguments;
    for (QString& entry : entries)
        entry = replaceParameters(configuration, entry);
    QString details = QStringLiteral("Dravik Downloader:");
    details += detailLine(QStringLiteral("IFWI: "), entries[StoredIfwi]);
    details += detailLine(QStringLiteral("IFWI DnX: "), entries[StoredIfwiDnx]);
    if (isSet(entries[StoredOs]))
        details += detailLine(QStringLiteral("OS: "), entries[StoredOs]);
    if (isSet(entries[StoredOsDnx]))
        details += detailLine(QStringLiteral("OS DnX: "), entries[StoredOsDnx]);
    if (isSet(entries[StoredXxrDnx]))
        details += detailLine(QStringLiteral("XXR DnX: "), entries[StoredXxrDnx]);
    if (isSet(entries[StoredSoftFuse]))
        details += detailLine(QStringLiteral("Soft Fuse: "), entries[StoredSoftFuse]);
    if (!FMConst::FORCE_GP_FLAG) {
        details += detailLine(QStringLiteral("GP Flag: "), entries[StoredGpFlag]);
        return details;
    }
    details += detailLine(QStringLiteral("GP Flag settings (will be used): "), FMConst::USER_GP_FLAG);
    details += detailLine(QStringLiteral("GP Flag file (for information): "), entries[StoredGpFlag]);
    MessageHandler::instance()->logMessage(
        WARNING, QStringLiteral("GP Flag override option is activated in settings, the value %1 will be used")
                     .arg(FMConst::USER_GP_FLAG));
    return details;
}

FlashTypes::CommandType DravikFlashCommand::getType() const
{
    return FlashTypes::CommandType::Ifwi;
}

bool DravikFlashCommand::isMandatory() const
{
    return true;
}

uint64_t DravikFlashCommand::getTimeout() const
{
    return kTimeoutMs;
}

std::set<FlashCommand::CommandParameter> DravikFlashCommand::getParameterKeys() const
{
    std::set<CommandParameter> keys = FlashCommand::getParameterKeys();
    for (const QString& argument : m_arguments)
        addParameterKeys(argument, keys);
    return keys;
}

JsonObject DravikFlashCommand::toJson() const
{
    JsonObject json = getJsonBase();
    json.setValue(QStringLiteral("tool"), toolId());
    json.setValue(QStringLiteral("ifwi"), m_arguments[StoredIfwi]);
    json.setValue(QStringLiteral("ifwi_dnx"), m_arguments[StoredIfwiDnx]);
    json.setValue(QStringLiteral("os"), m_arguments[StoredOs]);
    json.setValue(QStringLiteral("os_dnx"), m_arguments[StoredOsDnx]);
    json.setValue(QStringLiteral("gpflag"), m_arguments[StoredGpFlag]);
    if (isSet(m_arguments[StoredXxrDnx]))
        json.setValue(QStringLiteral("xxr_dnx"), m_arguments[StoredXxrDnx]);
    if (isSet(m_arguments[StoredSoftFuse]))
        json.setValue(QStringLiteral("soft_fuse"), m_arguments[StoredSoftFuse]);
    // The wipe flag is never written: only the command line's clean-eMMC flow sets it.
    return json;
}

QString DravikFlashCommand::getToolId() const
{
    return toolId();
}

QString DravikFlashCommand::getToolParameters() const
{
    const auto item = [](const char* label, const QString& entry) {
        return QLatin1String(label) + QLatin1Char('"') + entry + QLatin1Char('"');
    };
    QStringList items;
    items << item("IFWI: ", m_arguments[StoredIfwi]) << item("IFWI DNX: ", m_arguments[StoredIfwiDnx]);
    if (isSet(m_arguments[StoredOsDnx]))
        items << item("OS DNX: ", m_arguments[StoredOsDnx]);
    if (isSet(m_arguments[StoredOs]))
        items << item("OS: ", m_arguments[StoredOs]);
    items << item("GPFlag: ", m_arguments[StoredGpFlag]);
    if (isSet(m_arguments[StoredXxrDnx]))
        items << item("XXR DNX: ", m_arguments[StoredXxrDnx]);
    if (isSet(m_arguments[StoredSoftFuse]))
        items << item("Soft fuse: ", m_arguments[StoredSoftFuse]);
    return items.join(QStringLiteral(" ; "));
}

QSharedPointer<FlashCommand> DravikFlashCommand::clone() const
{
    return QSharedPointer<FlashCommand>(new DravikFlashCommand(*this));
}

JsonObjectList DravikFlashCommand::getJsonEditorInterface() const
{
    // Raw entries, references unresolved; the GP flag is the command's own, not the override.
    std::map<QString, QVariant> values = {
        {QStringLiteral("ifwi"), m_arguments[StoredIfwi]},
        {QStringLiteral("ifwi_dnx"), m_arguments[StoredIfwiDnx]},
        {QStringLiteral("os"), m_arguments[StoredOs]},
        {QStringLiteral("os_dnx"), m_arguments[StoredOsDnx]},
        {QStringLiteral("gpflag"), m_arguments[StoredGpFlag]},
    };
    if (isSet(m_arguments[StoredXxrDnx]))
        values.emplace(QStringLiteral("xxr_dnx"), m_arguments[StoredXxrDnx]);
    if (isSet(m_arguments[StoredSoftFuse]))
        values.emplace(QStringLiteral("soft_fuse"), m_arguments[StoredSoftFuse]);
    return fillEditorInterface(getJsonEditorInterfaceTemplate(), values);
}

bool DravikFlashCommand::isFlashOnlyCommand() const
{
    return true;
}

bool DravikFlashCommand::deviceSpecificParameters(const SharedPointer<FlashDevice2>& device,
                                                  QStringList& args) const
{
    if (device.isNull())
        return false;
    QString target = device->getSocSerial();
    // A serial the downloader cannot take as a target falls back to the single-device form.
    if (FMConst::USE_DRAVIK_SOLO || target.isEmpty() || target.contains(QLatin1Char('&'))
        || target.contains(QLatin1Char('?')))
        target = QLatin1String(kSingleDeviceTarget);
    args.prepend(target);
    if (FMConst::FORCE_GP_FLAG && args.size() > RunGpFlag && args[RunGpFlag] != FMConst::USER_GP_FLAG)
        args[RunGpFlag] = FMConst::USER_GP_FLAG;
    return true;
}

QString DravikFlashCommand::getAbsoluteProgramPath() const
{
    if (!FMConst::USE_DRAVIK_EXTERNAL)
        return QString();
    return QDir::toNativeSeparators(
        QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(QLatin1String(kProgramName)));
}

int DravikFlashCommand::performCommand(const SharedPointer<FlashRunner>& runner,
                                       const SharedPointer<FlashDevice2>& device, uint64_t attempt,
                                       QString& error) const
{
    if (FMConst::USE_DRAVIK_EXTERNAL)
        return performCommandExternal(runner, device, attempt, error);
    return performCommandInternal(runner, device, attempt, error);
}

int DravikFlashCommand::runArguments(const SharedPointer<FlashRunner>& runner,
                                     const SharedPointer<FlashDevice2>& device, uint64_t attempt,
                                     const QString& noDeviceError, QStringList& args,
                                     QString& error) const
{
    if (!hasRunner(runner))
        return PerformFailed;
    const int failure = isMandatory() ? PerformFailed : PerformFailedContinue;
    if (attempt == 0 || attempt > kRetry) {
        error = QStringLiteral("Invalid retry number (%1)").arg(attempt);
        return failure;
    }
    args.clear();
    for (const QString& argument : m_arguments) {
        bool ok = false;
        args << replaceParameters(*runner, argument, &ok, &error);
        if (!ok)
            return PerformFailed;
    }
    if (!deviceSpecificParameters(device, args)) {
        error = noDeviceError;
        return failure;
    }
    return kArgumentsReady;
}

int DravikFlashCommand::performCommandInternal(const SharedPointer<FlashRunner>& runner,
                                               const SharedPointer<FlashDevice2>& device,
                                               uint64_t attempt, QString& error) const
{
    QStringList args;
    const int refused = runArguments(runner, device, attempt, QStringLiteral("Invalid device connection"),
                                     args, error);
    if (refused != kArgumentsReady)
        return refused;
    const int failure = isMandatory() ? PerformFailed : PerformFailedContinue;

    const bool wipeIfwi = args[RunWipeIfwi] != QLatin1String("0");
    runner->logMessage(Logger::DEBUG, QStringLiteral("Flash ifwi with GPFlag ") + args[RunGpFlag]);

    // Declared before the downloader, so it outlives every status line the downloader may send.
    DravikStatusParser parser(runner, description());
    QString loadError;
    const DravikDownloaderLibrary::DownloaderPtr api = DravikDownloaderLibrary::create(&loadError);
    if (!api) {
        runner->logMessage(Logger::DEBUG, loadError);
        error = QStringLiteral("Failed to allocate Dravik downloader");
        return failure;
    }
    api->setEnumerationTimeout(kEnumerationTimeoutSeconds);
    api->setStatusVerbosity(kStatusVerbosity);
    api->setStatusCallback(&DravikStatusParser::parseStatusLine, &parser);

    api->setWipeIfwi(wipeIfwi);
    runner->logMessage(Logger::INFO, wipeIfwi ? QStringLiteral("Enabling Dravik wipe out IFWI option")
                                              : QStringLiteral("Disabling Dravik wipe out IFWI option"));
    const QByteArray xxrDnx = local(args[RunXxrDnx]);
    if (isSet(args[RunXxrDnx])) {
        runner->logMessage(Logger::INFO, QStringLiteral("Enabling Dravik Misc DnX ") + args[RunXxrDnx]);
        api->setMiscDnx(true, xxrDnx.constData());
    } else {
        runner->logMessage(Logger::INFO, QStringLiteral("Disabling Dravik Misc DnX"));
        api->setMiscDnx(false, "");
    }

    const bool multiDevice = !FMConst::USE_DRAVIK_SOLO && args[RunTarget] != QLatin1String(kSingleDeviceTarget);
    const bool softFuseSet = isSet(args[RunSoftFuse]);
    const QByteArray ifwiDnx = local(args[RunIfwiDnx]);
    const QByteArray ifwi = local(args[RunIfwi]);
    const QByteArray osDnx = local(args[RunOsDnx]);
    const QByteArray os = local(args[RunOs]);
    const QByteArray gpFlag = local(args[RunGpFlag]);
    const QByteArray target = local(args[RunTarget]);
    const QByteArray softFuse = softFuseSet ? local(args[RunSoftFuse]) : QByteArray("");

    for (int download = 1;; ++download) {
        // A stop is seen between downloads; a download in progress runs to its end.
        if (runner->isCancelled())
            return PerformCancelled;
        runner->logMessage(Logger::INFO, softFuseSet
                                             ? QStringLiteral("Dravik Soft Fuse (file: ") + args[RunSoftFuse] + QLatin1Char(')')
                                             : QStringLiteral("Dravik Soft Fuse not set"));
        bool downloaded = false;
        if (multiDevice) {
            runner->logMessage(Logger::INFO, QStringLiteral("Using Dravik MT interface (new API)"));
            downloaded = api->downloadMulti(ifwiDnx.constData(), ifwi.constData(), osDnx.constData(),
                                            os.constData(), gpFlag.constData(), target.constData(),
                                            softFuse.constData());
        } else {
            runner->logMessage(Logger::INFO, QStringLiteral("Using Dravik Solo interface (new API)"));
            downloaded = api->downloadSolo(ifwiDnx.constData(), ifwi.constData(), osDnx.constData(),
                                           os.constData(), gpFlag.constData(), softFuse.constData());
        }
        if (downloaded) {
            // A failure before a successful retry is no reason to report.
            error = QString();
            return PerformSuccess;
        }
        DravikDownloaderError lastError;
        std::memset(&lastError, 0, sizeof(lastError));
        api->getLastError(&lastError);
        const QString text = QString::fromLocal8Bit(lastError.text, int(strnlen(lastError.text, sizeof(lastError.text))));
        error = QStringLiteral("Dravik API exited with error code %1 (%2)")
                    .arg(QString::number(lastError.code), text.trimmed());
        if (download == kDownloadTries)
            return failure;
        runner->logMessage(Logger::WARNING, multiDevice ? QStringLiteral("Retry IFW Flashing - Serial: ") + args[RunTarget]
                                                        : QStringLiteral("Retry IFW Flashing"));
        runner->sleep(kRetryDelayMs);
    }
}

int DravikFlashCommand::performCommandExternal(const SharedPointer<FlashRunner>& runner,
                                               const SharedPointer<FlashDevice2>& device,
                                               uint64_t attempt, QString& error) const
{
    QStringList args;
    const int refused = runArguments(
        runner, device, attempt,
        QStringLiteral("Cannot compute device specific parameters, please check device connection"), args, error);
    if (refused != kArgumentsReady)
        return refused;
    const int failure = isMandatory() ? PerformFailed : PerformFailedContinue;
    const QString program = getAbsoluteProgramPath();

    // The program prints the library's status lines; each goes through the parser as it arrives.
    DravikStatusParser parser(runner, description());
    ChildProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    QObject::connect(&process, &QProcess::readyRead, [&process, &parser] {
        while (process.canReadLine())
            parser.parse(QString::fromLocal8Bit(process.readLine()));
    });
    const int outcome = runner->runExternalProgram(process, program, args, kTimeoutMs);
    parser.parse(QString::fromLocal8Bit(process.readAll()));   // a last line without line feed

    switch (outcome) {
    case FlashRunner::WaitDone:
        if (process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
            return PerformSuccess;
        runner->logMessage(Logger::DEBUG, QStringLiteral("%1 exited with code %2")
                                              .arg(program, QString::number(process.exitCode())));
        return failure;
    case FlashRunner::WaitCancelled:
        return PerformCancelled;
    default:
        if (process.error() == QProcess::FailedToStart) {
            error = QStringLiteral("Cannot start %1: %2").arg(program, process.errorString());
            return failure;
        }
        error = QStringLiteral("Command `%1%2` timed out (%3 s)")
                    .arg(program, quotedArguments(args), QString::number(double(kTimeoutMs) * 0.001, 'g', 6));
        return failure;
    }
}
