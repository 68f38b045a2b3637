#include "core/QlnErrorCode.h"

QString QlnErrorCode::getAllErrorCodeStr()
{
    QString listing = QStringLiteral("Error codes:\n");
    const QMap<int, QString>& messages = errorStrMap();
    for (auto entry = messages.constBegin(); entry != messages.constEnd(); ++entry) {
        listing += QStringLiteral("\t%1 : %2 \n")
                       .arg(QString::number(entry.key()).rightJustified(2, QLatin1Char('0')), entry.value());
    }
    return listing;
}

QString QlnErrorCode::getErrorCodeStr(int code)
{
    return errorStrMap().value(code, QStringLiteral("Invalid error code"));
}

const QMap<int, QString>& QlnErrorCode::errorStrMap()
{
    static const QMap<int, QString> messages{
        {NoError, QStringLiteral("No Error")},
        {InternalError, QStringLiteral("Internal Error")},
        {CliInvalidOptions, QStringLiteral("CLI: Invalid Options")},
        {CliMissingArguments, QStringLiteral("CLI: Missing Arguments")},
        {CliMissingOptions, QStringLiteral("CLI: Missing Options")},
        {CliInvalidFlashFile, QStringLiteral("CLI: Invalid Flash File")},
        {CliCannotInstallVersion, QStringLiteral("CLI: Cannot get or install the new version")},
        {CliTimeout, QStringLiteral("CLI: Timeout")},
        {CliMemoryAllocationFailure, QStringLiteral("CLI: Internal Error, Memory Allocation Failure")},
        {CliInvalidArgument, QStringLiteral("CLI: Invalid Argument")},
        {CliUnzipFailed, QStringLiteral("CLI: Unzip failed")},
        {CliDeviceDetectionTimeout, QStringLiteral("CLI: Device detection timeout")},
        {FlashUnknown, QStringLiteral("Flash Error: Unknown")},
        {FlashIfwiStartTimeout, QStringLiteral("Flash Error: Timeout to start IFWI flash")},
        {FlashIfwiFailed, QStringLiteral("Flash Error: IFWI flash failed")},
        {FlashAndroidFailed, QStringLiteral("Flash Error: Android (Fastboot or ADB command) flash failed")},
        {FlashInvalidDeviceState, QStringLiteral("Flash Error: Invalid device state")},
        {FlashPosEnumerationTimeout, QStringLiteral("Flash Error: Timeout to enumerate device in POS")},
        {FlashCancelled, QStringLiteral("Flash Cancelled")},
        {FlashDfuFailed, QStringLiteral("Flash Error: Failed to flash DFU file")},
        {FlashControllerFailed, QStringLiteral("Flash Error: Flash failed due to a controller")},
        {FlashInvalidDeviceType, QStringLiteral("Flash Error: Invalid device type")},
    };
    return messages;
}
