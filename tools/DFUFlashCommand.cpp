#include "tools/DFUFlashCommand.h"

#include "core/ApplicationLog.h"
#include "core/FMConst.h"
#include "core/Utils.h"
#include "engine/FlashDevice2.h"
#include "engine/FlashRunner.h"
#include "tools/ShellProcess.h"

#include <QRegularExpression>

namespace {

constexpr int kVersionTimeoutMs = 10000;

// dfu-util's progress line: "Download\t[=====     ]  45%          300 bytes".
const QString kProgressPattern =
    QStringLiteral("Download\\t\\[[\\s=]*\\] ([\\d ]{3})% ([\\d ]*) bytes");

// "300.00 bytes", "1.50 kB": divided by 1024 while 1024 or more.
QString humanReadableSize(uint64_t bytes, int decimals)
{
    static const char* const units[] = {"bytes", "kB", "MB", "GB", "TB", "PB"};
    double size = double(bytes);
    std::size_t unit = 0;
    while (size >= 1024.0 && unit + 1 < sizeof(units) / sizeof(units[0])) {
        size /= 1024.0;
        ++unit;
    }
    return QString::number(size, 'f', decimals) + QLatin1Char(' ') + QLatin1String(units[unit]);
}

} // namespace

FlashCommand* DFUFlashCommand::createDfuCommand(const JsonObject& json)
{
    return createKind<DFUFlashCommand>(json);
}

QString DFUFlashCommand::toolId()
{
    return QStringLiteral("dfuDownloader");
}

QString DFUFlashCommand::toolName()
{
    return QStringLiteral("DFU Downloader");
}

JsonObjectList DFUFlashCommand::getJsonEditorInterfaceTemplate()
{
    return editorTemplate(toolId());
}

QString DFUFlashCommand::toolVersion()
{
    bool success = false;
    QString output;
    Utils::executeCmd(FMConst::DfuDownloaderCmd(), {QStringLiteral("--version")}, kVersionTimeoutMs,
                      false, &success, output);
    if (!success) {
        ApplicationLog::write(
            TRACE, QStringLiteral("Cannot get DFU Downloader version\n") + output);
        return QString();
    }
    return output.split(QLatin1Char('\n')).first().remove(QStringLiteral("dfu-util ")).trimmed();
}

DFUFlashCommand::DFUFlashCommand(std::unique_ptr<ShellFlashCommandData> data)
    : ShellFlashCommand(std::move(data))
{
}

FlashTypes::CommandType DFUFlashCommand::getType() const
{
    return FlashTypes::CommandType::Dfu;
}

QSharedPointer<FlashCommand> DFUFlashCommand::clone() const
{
    return QSharedPointer<FlashCommand>(new DFUFlashCommand(*this));
}

bool DFUFlashCommand::deviceSpecificParameters(const SharedPointer<FlashDevice2>& device,
                                               QStringList& args) const
{
    if (device.isNull())
        return true;
    const uint16_t vendor = device->getVendorId();
    const uint16_t product = device->getProductId();
    if (vendor == 0 || product == 0)
        return true;
    args << QStringLiteral("-d")
         << QStringLiteral("%1:%2").arg(vendor, 4, 16, QLatin1Char('0')).arg(product, 4, 16, QLatin1Char('0'));
    return true;
}

bool DFUFlashCommand::specificParameters(QStringList& args) const
{
    args.prepend(QStringLiteral("--verbose"));
    return true;
}

bool DFUFlashCommand::prepareShellProcess(const SharedPointer<FlashRunner>& runner,
                                          const SharedPointer<FlashDevice2>&, ShellProcess* process,
                                          const QStringList&, QString&) const
{
    // The callback lives as long as the process, which the attempt destroys before it returns.
    FlashRunner* run = runner.data();
    process->registerLogCallback([this, run](const QString& line) { logParser(*run, line); });
    return true;
}

void DFUFlashCommand::logParser(FlashRunner& runner, const QString& line) const
{
    const QString text = line.trimmed();
    if (text.isEmpty() || text.contains(QLatin1String("Download done.")))
        return;
    if (text.contains(QLatin1String("Error during download"))) {
        runner.logMessage(Logger::WARNING, text);
        return;
    }
    // Shared by the attempts of several devices: a QRegularExpression keeps no match.
    static const QRegularExpression progressPattern(QRegularExpression::anchoredPattern(kProgressPattern));
    const QRegularExpressionMatch progress = progressPattern.match(text);
    if (!progress.hasMatch()) {
        runner.logMessage(Logger::DEBUG, text);
        return;
    }

    QString status;
    bool ok = false;
    const uint percent = progress.captured(1).remove(QLatin1Char(' ')).toUInt(&ok);
    if (ok) {
        runner.setCommandProgression(percent, 100);
        status += QStringLiteral("Progress : ") + QString::number(percent) + QLatin1Char('%');
    }
    const qulonglong bytes = progress.captured(2).remove(QLatin1Char(' ')).toULongLong(&ok);
    if (ok)
        status += QStringLiteral(" => ") + humanReadableSize(bytes, 2);
    runner.setProgressionInfo(getShellData().description + QLatin1Char('\n') + status);
    runner.logMessage(Logger::DEBUG, status);
}
