#pragma once

// The program's error codes: the exit codes of the command-line flow and the errno values of flash
// result files. Static only; the table is built on first use and never changes.

#include <QMap>
#include <QString>

class QlnErrorCode
{
public:
    // Plain enumeration on purpose: the codes travel as int exit codes and errno values.
    enum QlnErrorCodeEnum : int {
        NoError = 0,
        InternalError = 7,
        CliInvalidOptions = 11,
        CliMissingArguments = 12,
        CliMissingOptions = 13,
        CliInvalidFlashFile = 14,
        CliCannotInstallVersion = 15,
        CliTimeout = 16,
        CliMemoryAllocationFailure = 17,
        CliInvalidArgument = 18,
        CliUnzipFailed = 19,
        CliDeviceDetectionTimeout = 20,
        FlashUnknown = 30,
        FlashIfwiStartTimeout = 31,
        FlashIfwiFailed = 32,
        FlashAndroidFailed = 33,
        FlashInvalidDeviceState = 34,
        FlashPosEnumerationTimeout = 35,
        FlashCancelled = 36,
        FlashTokenFailed = 37,        // written to result files; no message of its own
        FlashFlsFailed = 38,          // written to result files; no message of its own
        FlashDfuFailed = 39,
        FlashControllerFailed = 40,
        FlashInvalidDeviceType = 41,
    };

    QlnErrorCode() = delete;

    // "Error codes:\n" then "\t<code, two digits at least> : <message> \n" per code, ascending.
    static QString getAllErrorCodeStr();
    // The message of a code, "Invalid error code" when the table has none.
    static QString getErrorCodeStr(int code);

private:
    static const QMap<int, QString>& errorStrMap();
};
