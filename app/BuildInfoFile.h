#pragma once

// The build information file of a command-line run: a small JSON document that says what the run
// is about to flash (parameter values, build properties, flash file, configuration and its start
// state, command group states). The command-line driver writes it when its options name an output
// path. Static only; main thread.

#include "app/ArgParser.h"
#include "model/FlashConfiguration.h"

#include <QString>

class JsonObject;

class BuildInfoFile
{
public:
    BuildInfoFile() = delete;

    // The document. `fileGroups` are the groups of the configuration's flash file, empty when the
    // file is gone; those the configuration does not list follow its unknown-group behaviour.
    static JsonObject toJson(const FlashConfiguration& configuration, const ArgParser::Options& options,
                             const FlashConfiguration::FileGroups& fileGroups);

    // Writes the document to the options' buildInfoOutput, made absolute against the working
    // folder. Returns the absolute path written; empty when no output path is set or the file
    // could not be written.
    static QString save(const FlashConfiguration& configuration, const ArgParser::Options& options,
                        const FlashConfiguration::FileGroups& fileGroups);
};
