#pragma once

// Prepares the configuration a command-line run flashes: the clean-eMMC configuration, or the one
// of the flash file chosen by -c, by --fru-value or by default; then the options' group states and
// parameter values, and the consistency check. Messages go through the driver's log. Static only;
// main thread.

#include "app/ArgParser.h"
#include "model/FlashConfiguration.h"

#include <QSharedPointer>

class FlashFileManager;
class LoggedObject;

class CliConfiguration
{
public:
    CliConfiguration() = delete;

    // One firmware downloader command that wipes the IFWI and writes the options' firmware with
    // blank OS images; starts in DnX firmware.
    static FlashConfigurationPtr cleanEmmc(const ArgParser::Options& options);

    // The configuration of `flashFile` to flash, and the list of configurations logged: 0 with
    // `configuration` set; 14 when the file has no default configuration to fall back on, 18 for
    // an unknown -c id (unless --fru-value is given).
    static int choose(const LoggedObject& log, const ArgParser::Options& options,
                      const QSharedPointer<FlashFileManager>& flashFile, FlashConfigurationPtr& configuration);

    // Applies the group states and parameter values of the options, then checks the configuration:
    // 0, or 18 (unknown parameter or value, temporary file parameter), 7, 14 (inconsistent).
    // `flashFile` is null under --clean-emmc: no parameter can be named then.
    static int adjust(const LoggedObject& log, const ArgParser::Options& options,
                      const QSharedPointer<FlashFileManager>& flashFile, const FlashConfigurationPtr& configuration);
};
