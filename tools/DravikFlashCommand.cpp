#include "tools/DravikFlashCommand.h"

#include "core/ApplicationLog.h"
#include "core/FMConst.h"
#include "engine/FlashDevice2.h"
#include "engine/FlashRunner.h"
#include "platform/downloader/DravikDownloaderLibrary.h"
#include "tools/DravikStatusParser.h"
#include "tools/EditorField.h"
#include "tools/ShellProcess.h"

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
    StoredWipeIfwi
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
    RunWipeIfwi
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

QString description()
{
    return QStringLiteral("Flashing IFWI: *** DO NOT DISCONNECT THE DEVICE ***");
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
    : DravikFlashCommand(buildShellFlashCommandData(ifwi, ifwiDnx, os, osDnx, gpFlag, xxrDnx, softFuse, wipeIfwi))
{
}

DravikFlashCommand::DravikFlashCommand(std::unique_ptr<ShellFlashCommandData> data)
    : ShellFlashCommand(std::move(data))
{
}

std::unique_ptr<ShellFlashCommand::ShellFlashCommandData> DravikFlashCommand::buildShellFlashCommandData(
    const QString& ifwi, const QString& ifwiDnx, const QString& os, const QString& osDnx,
    const QString& gpFlag, const QString& xxrDnx, const QString& softFuse, bool wipeIfwi)
{
    // The DnX file stands before its image, the reverse of the constructor's order.
    const QStringList args{ifwiDnx,
                           ifwi,
                           osDnx,
                           os,
                           gpFlag,
                           isSet(xxrDnx) ? xxrDnx : QLatin1String(kNone),
                           isSet(softFuse) ? softFuse : QLatin1String(kNone),
                           wipeIfwi ? QStringLiteral("1") : QStringLiteral("0")};
    return std::make_unique<ShellFlashCommandData>(nullptr, QLatin1String(kProgramName), args, kTimeoutMs,
                                                   kRetry, description(), QString(), true, false);
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
            ApplicationLog::write(ERROR, emptyError);
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
    std::unique_ptr<ShellFlashCommandData> record =
        buildShellFlashCommandData(ifwi, ifwiDnx, os, osDnx, gpFlag, xxrDnx, softFuse, false);
    record->base = std::move(data);
    return new DravikFlashCommand(std::move(record));
}

JsonObjectList DravikFlashCommand::getJsonEditorInterfaceTemplate()
{
    const auto file = [](const char* id, const char* label, bool required) {
        return EditorField::text(QLatin1String(id), QLatin1String(label), QString("")).required(required);
    };
    return JsonObjectList{
        EditorField::hidden(QStringLiteral("tool"), toolId()),
        file("ifwi", "IFWI", true),
        file("ifwi_dnx", "IFWI DnX", true),
        file("os", "OS", false),
        file("os_dnx", "OS DnX", false),
        file("xxr_dnx", "XXR DnX", false),
        file("soft_fuse", "Soft fuse", false),
        EditorField::text(QStringLiteral("gpflag"), QStringLiteral("GP Flag"), FMConst::USER_GP_FLAG).required(true),
    };
}

bool DravikFlashCommand::isSet(const QString& entry)
{
    return !entry.isEmpty() && entry != QLatin1String(kNone);
}

QString DravikFlashCommand::getDetails(const FlashConfiguration& configuration) const
{
    QStringList entries = getShellData().args;
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
    ApplicationLog::write(
        WARNING, QStringLiteral("GP Flag override option is activated in settings, the value %1 will be used")
                     .arg(FMConst::USER_GP_FLAG));
    return details;
}

FlashTypes::CommandType DravikFlashCommand::getType() const
{
    return FlashTypes::CommandType::Ifwi;
}

JsonObject DravikFlashCommand::toJson() const
{
    // The shell keys ("args", "timeout", ...) are the kind's own and not written.
    const QStringList& args = getShellData().args;
    JsonObject json = FlashCommand::getJsonBase();
    json.setValue(QStringLiteral("tool"), toolId());
    json.setValue(QStringLiteral("ifwi"), args[StoredIfwi]);
    json.setValue(QStringLiteral("ifwi_dnx"), args[StoredIfwiDnx]);
    json.setValue(QStringLiteral("os"), args[StoredOs]);
    json.setValue(QStringLiteral("os_dnx"), args[StoredOsDnx]);
    json.setValue(QStringLiteral("gpflag"), args[StoredGpFlag]);
    if (isSet(args[StoredXxrDnx]))
        json.setValue(QStringLiteral("xxr_dnx"), args[StoredXxrDnx]);
    if (isSet(args[StoredSoftFuse]))
        json.setValue(QStringLiteral("soft_fuse"), args[StoredSoftFuse]);
    // The wipe flag is never written: only the command line's clean-eMMC flow sets it.
    return json;
}

QString DravikFlashCommand::getToolId() const
{
    return toolId();
}

QString DravikFlashCommand::getToolParameters() const
{
    const QStringList& args = getShellData().args;
    const auto item = [](const char* label, const QString& entry) {
        return QLatin1String(label) + QLatin1Char('"') + entry + QLatin1Char('"');
    };
    QStringList items;
    items << item("IFWI: ", args[StoredIfwi]) << item("IFWI DNX: ", args[StoredIfwiDnx]);
    if (isSet(args[StoredOsDnx]))
        items << item("OS DNX: ", args[StoredOsDnx]);
    if (isSet(args[StoredOs]))
        items << item("OS: ", args[StoredOs]);
    items << item("GPFlag: ", args[StoredGpFlag]);
    if (isSet(args[StoredXxrDnx]))
        items << item("XXR DNX: ", args[StoredXxrDnx]);
    if (isSet(args[StoredSoftFuse]))
        items << item("Soft fuse: ", args[StoredSoftFuse]);
    return items.join(QStringLiteral(" ; "));
}

QSharedPointer<FlashCommand> DravikFlashCommand::clone() const
{
    return QSharedPointer<FlashCommand>(new DravikFlashCommand(*this));
}

JsonObjectList DravikFlashCommand::getJsonEditorInterface() const
{
    // Raw entries, references unresolved; the GP flag is the command's own, not the override.
    const QStringList& args = getShellData().args;
    std::map<QString, QVariant> values = {
        {QStringLiteral("ifwi"), args[StoredIfwi]},
        {QStringLiteral("ifwi_dnx"), args[StoredIfwiDnx]},
        {QStringLiteral("os"), args[StoredOs]},
        {QStringLiteral("os_dnx"), args[StoredOsDnx]},
        {QStringLiteral("gpflag"), args[StoredGpFlag]},
    };
    if (isSet(args[StoredXxrDnx]))
        values.emplace(QStringLiteral("xxr_dnx"), args[StoredXxrDnx]);
    if (isSet(args[StoredSoftFuse]))
        values.emplace(QStringLiteral("soft_fuse"), args[StoredSoftFuse]);
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

QString DravikFlashCommand::getAbsoluteProgramPath(const QString&) const
{
    if (!FMConst::USE_DRAVIK_EXTERNAL)
        return QString();
    return QDir::toNativeSeparators(
        QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(QLatin1String(kProgramName)));
}

bool DravikFlashCommand::prepareShellProcess(const SharedPointer<FlashRunner>& runner,
                                             const SharedPointer<FlashDevice2>&, ShellProcess* process,
                                             const QStringList&, QString&) const
{
    // The program prints the library's status lines; the callback owns the parser of this run.
    const auto parser = std::make_shared<DravikStatusParser>(runner, description());
    process->registerLogCallback([parser](const QString& line) { parser->parse(line); });
    return true;
}

bool DravikFlashCommand::terminateShellProcess(const SharedPointer<FlashRunner>&,
                                               const SharedPointer<FlashDevice2>&,
                                               ShellProcess* process, QString&) const
{
    process->unregisterLogCallback();
    return true;
}

int DravikFlashCommand::performCommand(const SharedPointer<FlashRunner>& runner,
                                       const SharedPointer<FlashDevice2>& device, uint64_t attempt,
                                       QString& error) const
{
    if (FMConst::USE_DRAVIK_EXTERNAL)
        return ShellFlashCommand::performCommand(runner, device, attempt, error);
    return performCommandInternal(runner, device, attempt, error);
}

int DravikFlashCommand::performCommandInternal(const SharedPointer<FlashRunner>& runner,
                                               const SharedPointer<FlashDevice2>& device,
                                               uint64_t attempt, QString& error) const
{
    if (!hasRunner(runner))
        return PerformFailed;
    QStringList args;
    const int expanded = expandArguments(runner, device, attempt, QStringLiteral("Invalid device connection"),
                                         args, error);
    if (expanded != PerformSuccess)
        return expanded;
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
