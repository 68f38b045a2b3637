#include "app/CliConfiguration.h"

#include "core/QlnErrorCode.h"
#include "loader/FlashFileManager.h"
#include "model/FlashParameter.h"
#include "model/FlashParameterValueString.h"
#include "model/FlashVariable.h"
#include "model/FlashVariableValue.h"
#include "platform/log/LoggedObject.h"
#include "tools/DravikFlashCommand.h"

#include <QFileInfo>

#include <map>

namespace {

const QString kFruParameter = QStringLiteral("fru_value");
const QChar kQuote = QLatin1Char('"');

// The configuration --fru-value flashes: a copy of the -c configuration, else the file's own
// "FRU_<value>" configuration, else a copy of the default one, with the "fru_value" parameter set
// to the value. Null when there is nothing to copy.
FlashConfigurationPtr fruConfiguration(const LoggedObject& log, const QString& value,
                                       const QSharedPointer<FlashFileManager>& flashFile,
                                       const FlashConfigurationPtr& chosen)
{
    const QString id = QStringLiteral("FRU_") + value;
    log.logMessage(Logger::WARNING, QStringLiteral("FRU Value override option is activated (by fru-value option), "
                                                   "creating a specific flash configuration"));
    FlashConfigurationPtr configuration = chosen ? chosen : flashFile->getConfiguration(id);
    if (chosen || !configuration) {
        const FlashConfigurationPtr original = chosen ? chosen : flashFile->getDefaultConfiguration();
        if (!original)
            return FlashConfigurationPtr();
        configuration = original->clone(id, id);
        // A copy belongs to no flash file until it is told: platforms, build properties and paths
        // come from there.
        configuration->setFlashFileManager(flashFile);
    }

    std::map<QString, FlashParameterValueString*> values{{value, new FlashParameterValueString(value, value, value)}};
    const QSharedPointer<FlashParameter> parameter(new FlashParameter(kFruParameter, kFruParameter, values));
    flashFile->setParameter(parameter);
    // The file hands a new parameter to its own configurations only; a copy keeps its own table.
    configuration->setParameter(kFruParameter, parameter);
    configuration->setParameterValue(kFruParameter, value);
    log.logMessage(Logger::INFO, QStringLiteral("Parameter with key ") + kQuote + kFruParameter + kQuote
                                     + QStringLiteral(" is set to ") + kQuote + value + kQuote
                                     + QStringLiteral(" in flash configuration"));
    return configuration;
}

// "Invalid flash file", then why: the reason shows at the console's default level.
int invalidFlashFile(const LoggedObject& log, const QString& reason)
{
    log.logMessage(Logger::ERROR, QStringLiteral("Invalid flash file"));
    log.logMessage(Logger::ERROR, reason);
    return QlnErrorCode::CliInvalidFlashFile;
}

// A file without configurations (an XML file with an empty "fru_configs") has no default either.
int noDefaultConfiguration(const LoggedObject& log)
{
    return invalidFlashFile(log, QStringLiteral("The flash file has no default configuration"));
}

// Selects `value` for the parameter `name` of the flash file: 0, else the code after its ERROR line.
int setParameterValue(const LoggedObject& log, const QString& name, const QString& value,
                      const QSharedPointer<FlashFileManager>& flashFile, const FlashConfigurationPtr& configuration)
{
    const QSharedPointer<FlashParameter> parameter = flashFile ? flashFile->getParameter(name) : nullptr;
    if (!parameter) {
        log.logMessage(Logger::ERROR, QStringLiteral("Cannot set parameter value of the unknown parameter '") + name
                                          + QStringLiteral("'"));
        return QlnErrorCode::CliInvalidArgument;
    }
    switch (parameter->getType()) {
    case FlashParameter::File:
    case FlashParameter::String:
        if (!parameter->getValue(value)) {
            log.logMessage(Logger::ERROR, QStringLiteral("Cannot set parameter value with undefined value key '") + value
                                              + QStringLiteral("' of parameter '") + name + QStringLiteral("'"));
            return QlnErrorCode::CliInvalidArgument;
        }
        configuration->setParameterValue(name, value);
        return QlnErrorCode::NoError;
    case FlashParameter::TemporaryFile:
        log.logMessage(Logger::ERROR, QStringLiteral("Cannot set parameter value on temporary file parameters (parameter '")
                                          + name + QStringLiteral("')"));
        return QlnErrorCode::CliInvalidArgument;
    case FlashParameter::Variable: {
        const QSharedPointer<FlashVariable> variable = parameter.dynamicCast<FlashVariable>();
        if (!variable || !variable->getVariableValue()) {
            log.logMessage(Logger::ERROR, QStringLiteral("Internal error"));
            log.logMessage(Logger::TRACE, QStringLiteral("Fail to convert parameter to variable"));
            return QlnErrorCode::InternalError;
        }
        variable->getVariableValue()->setDefaultValue(QVariant(value));
        return QlnErrorCode::NoError;
    }
    }
    return QlnErrorCode::NoError;
}

} // namespace

FlashConfigurationPtr CliConfiguration::cleanEmmc(const ArgParser::Options& options)
{
    const QString name = QStringLiteral("Clean EMMC");
    FlashConfigurationPtr configuration(new FlashConfiguration(
        DeviceState::DnxFirmware, FlashConfiguration::UnknownGroupsDisabled, QStringLiteral("CleanEMMC"), name, name,
        name, QString(), false, FlashConfiguration::Parameters(), FlashConfiguration::ParameterValues()));
    const QString blank = QStringLiteral("BLANK.bin");
    configuration->appendCommand(QSharedPointer<FlashCommand>(new DravikFlashCommand(
        QFileInfo(options.fwImage).absoluteFilePath(), QFileInfo(options.fwDnx).absoluteFilePath(), blank, blank,
        QStringLiteral("0x80000000"), QString(), QString(), true)));
    return configuration;
}

int CliConfiguration::choose(const LoggedObject& log, const ArgParser::Options& options,
                             const QSharedPointer<FlashFileManager>& flashFile, FlashConfigurationPtr& configuration)
{
    configuration.clear();
    const FlashFileManager::Configurations& configurations = flashFile->getConfigurationsList();
    const auto found = configurations.find(options.configuration);
    if (!options.configuration.isEmpty() && found != configurations.end())
        configuration = found->second;

    if (options.fruValue.isNull()) {
        if (configurations.empty())
            log.logMessage(Logger::INFO, QStringLiteral("There is no flash configurations"));
        else
            log.logMessage(Logger::INFO, QStringLiteral("Available flash configurations:\n")
                                             + flashFile->getFlashConfigurationDetails());
    } else {
        configuration = fruConfiguration(log, options.fruValue, flashFile, configuration);
        if (!configuration)
            return noDefaultConfiguration(log);
    }

    if (configuration) {
        log.logMessage(Logger::INFO, QStringLiteral("'") + configuration->getID() + QStringLiteral("' configuration used to flash"));
        return QlnErrorCode::NoError;
    }
    if (!options.configuration.isEmpty()) {
        log.logMessage(Logger::ERROR, QStringLiteral("Configuration '") + options.configuration + QStringLiteral("' not found"));
        return QlnErrorCode::CliInvalidArgument;
    }
    configuration = flashFile->getDefaultConfiguration();
    if (!configuration)
        return noDefaultConfiguration(log);
    log.logMessage(Logger::INFO, QStringLiteral("Default configuration used to flash [") + configuration->getID()
                                     + QStringLiteral("]"));
    return QlnErrorCode::NoError;
}

int CliConfiguration::adjust(const LoggedObject& log, const ArgParser::Options& options,
                             const QSharedPointer<FlashFileManager>& flashFile, const FlashConfigurationPtr& configuration)
{
    for (auto group = options.groupsState.cbegin(); group != options.groupsState.cend(); ++group)
        configuration->setGroupEnabled(group.key(), group.value());
    for (auto entry = options.parameterValues.cbegin(); entry != options.parameterValues.cend(); ++entry) {
        const int code = setParameterValue(log, entry.key(), entry.value(), flashFile, configuration);
        if (code != QlnErrorCode::NoError)
            return code;
    }
    const QString error = configuration->getError();
    if (!error.isNull())
        return invalidFlashFile(log, error);
    // The details substitute every command's parameters: built only for a log that shows them.
    if (log.getLogHandler()->isDelivered(Logger::DEBUG))
        log.logMessage(Logger::DEBUG, configuration->getDetails());
    return QlnErrorCode::NoError;
}
