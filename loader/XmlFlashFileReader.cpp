#include "loader/XmlFlashFileReader.h"

#include "core/ApplicationLog.h"
#include "core/FMConst.h"
#include "core/MessageHandler.h"
#include "loader/FlashFileManager.h"
#include "loader/LoadErrorLog.h"
#include "model/FlashCommand.h"
#include "model/FlashParameter.h"
#include "model/FlashParameterValueFile.h"
#include "model/FlashParameterValueString.h"
#include "platform/json/JsonObject.h"
#include "tools/DravikFlashCommand.h"
#include "tools/WaitForDeviceFlashCommand.h"

#include <QDir>
#include <QDomDocument>
#include <QDomElement>
#include <QRegularExpression>

#include <map>
#include <vector>

namespace {

const QString kFruParameter = QStringLiteral("fru_value");
const QString kFruPrefix = QStringLiteral("FRU_");
const quint64 kDefaultTimeoutMs = 200000;

bool fail(const QString& message, const QDomElement& context)
{
    LoadErrorLog::logErrorWithContext(message, context);
    return false;
}

// The first child element called `name` (null when none); `multiple` says whether a second follows.
QDomElement firstChild(const QDomElement& parent, const QString& name, bool& multiple)
{
    const QDomElement first = parent.firstChildElement(name);
    multiple = !first.isNull() && !first.nextSiblingElement(name).isNull();
    return first;
}

// An unsigned decimal number, blanks around it allowed.
bool parseUnsigned(const QString& text, quint64& value)
{
    const QString trimmed = text.trimmed();
    static const QRegularExpression digits(QRegularExpression::anchoredPattern(QStringLiteral("[0-9]+")));
    if (!digits.match(trimmed).hasMatch())
        return false;
    bool ok = false;
    value = trimmed.toULongLong(&ok);
    return ok;
}

bool startStateOf(const QString& type, DeviceState& state)
{
    static const std::map<QString, DeviceState> states = {
        {FMConst::TYPE_SYSTEM_STRING, DeviceState::DnxFirmware},
        {FMConst::TYPE_BLANK_STRING, DeviceState::DnxFirmware},
        {FMConst::TYPE_FASTBOOT_DNX_STRING, DeviceState::DnxOs},
        {FMConst::TYPE_FASTBOOT_STRING, DeviceState::ProvisioningOs},
        {FMConst::TYPE_OTA_STRING, DeviceState::MainOs},
        {FMConst::TYPE_ADB_STRING, DeviceState::MainOs},
    };
    const auto found = states.find(type);
    if (found == states.end())
        return false;
    state = found->second;
    return true;
}

// One "file" element: a file parameter "<type>_file" whose file must exist. A second file of the
// same type is dropped.
bool readFile(const QDomElement& file, const QString& folder, FlashFileManager::Parameters& parameters)
{
    const QString type = file.attribute(FMConst::FLASH_FILE_XML_TYPE);
    if (type.isEmpty())
        return fail(QStringLiteral("No value for TYPE attribute of a file tag"), file);
    const QString id = type.toLower() + QStringLiteral("_file");
    bool multiple = false;
    const QString name = firstChild(file, FMConst::FLASH_FILE_XML_NAME, multiple).text();
    if (multiple)
        return fail(QStringLiteral("Multiple name tags detected in file tag"), file);
    if (name.isEmpty())
        return fail(QStringLiteral("Empty name tag detected in file tag"), file);
    auto* value = new FlashParameterValueFile(QLatin1String(""), QDir(folder).absoluteFilePath(name), name);
    const QSharedPointer<FlashParameter> parameter(
        new FlashParameter(id, name, std::map<QString, FlashParameterValueFile*>{{QLatin1String(""), value}}));
    const QString error = value->getError();
    if (!error.isEmpty())
        return fail(QStringLiteral("Invalid parameter ") + id + QStringLiteral(" : ") + error, file);
    parameters.emplace(id, parameter);
    return true;
}

bool readFiles(const QDomElement& parent, const QString& folder, FlashFileManager::Parameters& parameters)
{
    for (QDomElement file = parent.firstChildElement(FMConst::FLASH_FILE_XML_FILE); !file.isNull();
         file = file.nextSiblingElement(FMConst::FLASH_FILE_XML_FILE)) {
        if (!readFile(file, folder, parameters))
            return false;
    }
    return true;
}

// The one non-empty text of a "fru_config" child.
bool readFruText(const QDomElement& fruConfig, const QString& tag, QString& text)
{
    bool multiple = false;
    text = firstChild(fruConfig, tag, multiple).text();
    if (multiple)
        return fail(QStringLiteral("Multiple %1 tags detected in fru_config tag").arg(tag), fruConfig);
    if (text.isEmpty())
        return fail(QStringLiteral("Empty %1 tags detected in fru_config tag").arg(tag), fruConfig);
    return true;
}

struct FruConfiguration
{
    QString id;
    QString name;
    QString description;
};

QSharedPointer<FlashConfiguration> makeConfiguration(DeviceState state, const QString& id,
                                                     const QString& name, const QString& description,
                                                     const FlashFileManager::Parameters& parameters,
                                                     const FlashConfiguration::ParameterValues& selected)
{
    return QSharedPointer<FlashConfiguration>(new FlashConfiguration(
        state, FlashConfiguration::UnknownGroupsEnabled, id, name, description, description,
        QString(), false, parameters, selected));
}

// The configurations: "Default" without "fru_configs", else one per FRU value, with the string
// parameter "fru_value" whose options are the FRU values.
bool readConfigurations(const QDomElement& root, DeviceState state, FlashFileManager::Contents& contents)
{
    bool multiple = false;
    const QDomElement fruConfigs = firstChild(root, QStringLiteral("fru_configs"), multiple);
    if (fruConfigs.isNull()) {
        const QString text = QStringLiteral("Default configuration");
        const auto configuration = makeConfiguration(state, QLatin1String(""), QStringLiteral("Default"),
                                                     text, contents.parameters, {});
        contents.configurations[configuration->getID()] = configuration;
        contents.defaultConfiguration = configuration;
        return true;
    }
    if (multiple)
        return fail(QStringLiteral("Multiple fru_configs tags detected"), fruConfigs);

    std::map<QString, std::pair<QString, QString>> options; // option id -> value, description
    std::vector<FruConfiguration> fruConfigurations;
    for (QDomElement fruConfig = fruConfigs.firstChildElement(FMConst::FASTBOOT_SEQ_XML_FRU_CFG);
         !fruConfig.isNull(); fruConfig = fruConfig.nextSiblingElement(FMConst::FASTBOOT_SEQ_XML_FRU_CFG)) {
        QString name;
        QString value;
        QString description;
        if (!readFruText(fruConfig, FMConst::FASTBOOT_SEQ_XML_NAME, name)
            || !readFruText(fruConfig, FMConst::FASTBOOT_SEQ_XML_VALUE, value)
            || !readFruText(fruConfig, FMConst::FASTBOOT_SEQ_XML_DESCRIPTION, description))
            return false;
        const QString optionId = kFruPrefix + value;
        options.emplace(optionId, std::make_pair(value, description));
        fruConfigurations.push_back(FruConfiguration{optionId, name, description});
    }

    std::map<QString, FlashParameterValueString*> values;
    for (const auto& option : options)
        values[option.first] = new FlashParameterValueString(option.first, option.second.first,
                                                             option.second.second);
    contents.parameters[kFruParameter] =
        QSharedPointer<FlashParameter>(new FlashParameter(kFruParameter, QStringLiteral("FRU"), values));

    for (const FruConfiguration& fru : fruConfigurations) {
        if (contents.configurations.count(fru.id) != 0)
            continue;
        const auto configuration = makeConfiguration(state, fru.id, fru.name, fru.description,
                                                      contents.parameters, {{kFruParameter, fru.id}});
        contents.configurations[fru.id] = configuration;
        if (!contents.defaultConfiguration)
            contents.defaultConfiguration = configuration;
    }
    return true;
}

QString referenceOrEmpty(const FlashFileManager::Parameters& parameters, const QString& id)
{
    return parameters.count(id) != 0 ? QStringLiteral("${") + id + QLatin1Char('}') : QString();
}

// The firmware download of "system" and "blankphone" files, and the wait for the Provisioning OS
// that follows it when the file has commands of its own.
bool readFirmwarePrefix(const QDomElement& root, FlashFileManager::Contents& contents)
{
    const FlashFileManager::Parameters& parameters = contents.parameters;
    if (parameters.count(QStringLiteral("ifwi_file")) == 0)
        return fail(QStringLiteral("Missing IFWI file in blankphone/system flash file"), root);
    if (parameters.count(QStringLiteral("fw_dnx_file")) == 0)
        return fail(QStringLiteral("Missing FW_DNX file in blankphone/system flash file"), root);
    MessageHandler* log = MessageHandler::instance();
    if (parameters.count(QStringLiteral("kboot_file")) == 0)
        log->logMessage(WARNING, QStringLiteral("Bootloader file not specified in flash file (\"kboot\" key)"));
    if (parameters.count(QStringLiteral("os_dnx_file")) == 0)
        log->logMessage(WARNING, QStringLiteral("Bootloader DnX file not specified in flash file (\"os_dnx\" key)"));

    bool multiple = false;
    const QDomElement gpFlag = firstChild(root, FMConst::FLASH_SEQ_XML_GPFLAG, multiple);
    if (multiple)
        return fail(QStringLiteral("Multiple gpflag tags detected"), root);
    const QDomElement gpFlagValue = firstChild(gpFlag, FMConst::FLASH_SEQ_XML_GPFLAGVALUE, multiple);
    if (multiple)
        return fail(QStringLiteral("Multiple value tags detected in gpflag tag"), root);

    contents.commands.push_back(QSharedPointer<FlashCommand>(new DravikFlashCommand(
        QStringLiteral("${ifwi_file}"), QStringLiteral("${fw_dnx_file}"),
        referenceOrEmpty(parameters, QStringLiteral("kboot_file")),
        referenceOrEmpty(parameters, QStringLiteral("os_dnx_file")), gpFlagValue.text(),
        referenceOrEmpty(parameters, QStringLiteral("xxr_dnx_file")),
        referenceOrEmpty(parameters, QStringLiteral("softfuse_file")), false)));
    if (!root.firstChildElement(FMConst::FASTBOOT_SEQ_XML_CMD).isNull()) {
        contents.commands.push_back(QSharedPointer<FlashCommand>(new WaitForDeviceFlashCommand(
            DeviceState::ProvisioningOs, static_cast<uint64_t>(FMConst::OS_NO_ENUM) * 1000,
            QStringLiteral("Rebooting in Provisionning OS ..."))));
    }
    return true;
}

// The number in an optional child of a command; `present` says whether the child is there.
bool readCommandNumber(const QDomElement& command, const QString& tag, const QString& invalid,
                       bool& present, quint64& value)
{
    bool multiple = false;
    const QDomElement element = firstChild(command, tag, multiple);
    if (multiple)
        return fail(QStringLiteral("Multiple %1 tags detected in command tag").arg(tag), command);
    present = !element.isNull();
    if (present && !parseUnsigned(element.text(), value))
        return fail(invalid, command);
    return true;
}

// The arguments with their parameter references braced and in lower case, the case of every
// parameter id this reader makes ("$BOOT_file" names the parameter of TYPE "BOOT": "${boot_file}").
// A "$" before a name ending in "_file", or before "fru_value", is a reference written the old way;
// the name stops at blanks, "$", "/" and ",", so "$a_file/$b_file" gives two references. Runs
// with a brace in them are left alone, except a braced reference of the same form.
QString rewriteReferences(const QString& args)
{
    // Shared by loads on any thread: a QRegularExpression keeps no match.
    static const QRegularExpression reference(QStringLiteral("\\$(?:\\{([^\\s{}$]+_file|fru_value)\\}"
                                                             "|((?![^\\s$/,]*[{}])[^\\s$/,]+_file|fru_value))"),
                                              QRegularExpression::CaseInsensitiveOption
                                                  | QRegularExpression::UseUnicodePropertiesOption);
    QString result;
    int copied = 0;
    for (QRegularExpressionMatch found = reference.match(args); found.hasMatch();
         found = reference.match(args, copied)) {
        const QString name = found.captured(1).isEmpty() ? found.captured(2) : found.captured(1);
        result += args.mid(copied, found.capturedStart() - copied) + QStringLiteral("${") + name.toLower()
                  + QLatin1Char('}');
        copied = found.capturedEnd();
    }
    return result + args.mid(copied);
}

// One "command" element as the command object of its tool.
bool readCommand(const QDomElement& element, QSharedPointer<FlashCommand>& command)
{
    static const QRegularExpression commandPattern(
        QRegularExpression::anchoredPattern(QStringLiteral("\\s*(\\S+)(?:\\s+(.+))?")),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption
            | QRegularExpression::UseUnicodePropertiesOption);

    bool multiple = false;
    const QDomElement string = firstChild(element, FMConst::FASTBOOT_SEQ_XML_STRING, multiple);
    if (string.isNull())
        return fail(QStringLiteral("No `string` tags in command tag"), element);
    if (multiple)
        return fail(QStringLiteral("Multiple `string` tags detected in command tag"), element);
    const QString text = string.text();
    const QRegularExpressionMatch words = commandPattern.match(text);
    if (!words.hasMatch())
        return fail(QStringLiteral("Invalid command '") + text + QLatin1Char('\''), element);
    const QString tool = words.captured(1);
    const QString args = rewriteReferences(words.captured(2));

    JsonObject json;
    json.setValue(QStringLiteral("tool"), tool);
    json.setValue(QStringLiteral("args"), args);
    if (tool == QLatin1String("popup"))
        json.setValue(QStringLiteral("type"), QStringLiteral("info"));

    bool present = false;
    quint64 timeout = kDefaultTimeoutMs;
    if (!readCommandNumber(element, FMConst::FASTBOOT_SEQ_XML_TIMEOUT,
                           QStringLiteral("Invalid timeout value (not an unsigned number)"), present, timeout))
        return false;
    json.setValue(tool == QLatin1String("sleep") ? QStringLiteral("duration") : QStringLiteral("timeout"),
                  static_cast<unsigned long long>(timeout));

    quint64 retry = 1;
    if (!readCommandNumber(element, FMConst::FASTBOOT_SEQ_XML_RETRY,
                           QStringLiteral("Invalid retry value (not an unsigned number)"), present, retry))
        return false;
    if (present)
        json.setValue(QStringLiteral("retry"), static_cast<unsigned long long>(retry));
    else
        json.setValue(QStringLiteral("retry"), 1);

    quint64 mandatory = 1;
    if (!readCommandNumber(element, FMConst::FASTBOOT_SEQ_XML_MANDATORY,
                           QStringLiteral("Invalid mandatory value (0 or 1 expected)"), present, mandatory))
        return false;
    json.setValue(QStringLiteral("mandatory"), mandatory == 0 ? QStringLiteral("false") : QStringLiteral("true"));

    const QDomElement description = firstChild(element, FMConst::FASTBOOT_SEQ_XML_DESCRIPTION, multiple);
    if (multiple)
        return fail(QStringLiteral("Multiple description tags detected in command tag"), element);
    // The command kinds need a description that is not empty (a pop-up shows it as its message):
    // without one, a pop-up shows the text written after its tool, other tools their command line.
    QString describedAs = description.text();
    if (describedAs.isEmpty()) {
        const QString commandLine = (tool + QLatin1Char(' ') + args).trimmed();
        describedAs = tool == QLatin1String("popup") && !args.trimmed().isEmpty() ? args.trimmed() : commandLine;
    }
    json.setValue(QStringLiteral("description"), describedAs);

    command = FlashCommand::getCommandFromJson(json);
    if (!command)
        return fail(QStringLiteral("Tool ") + tool + QStringLiteral(" not found or invalid tool configuration"),
                    element);
    return true;
}

void readBuildProperties(const QDomElement& root, FlashFileManager::BuildProperties& properties)
{
    for (QDomElement group = root.firstChildElement(QStringLiteral("buildproperties")); !group.isNull();
         group = group.nextSiblingElement(QStringLiteral("buildproperties"))) {
        for (QDomElement property = group.firstChildElement(QStringLiteral("property"));
             !property.isNull(); property = property.nextSiblingElement(QStringLiteral("property"))) {
            if (property.hasAttribute(QStringLiteral("name")) && property.hasAttribute(QStringLiteral("value")))
                properties[property.attribute(QStringLiteral("name"))] = property.attribute(QStringLiteral("value"));
        }
    }
}

} // namespace

QSharedPointer<FlashFileManager> XmlFlashFileReader::load(const QString& folder,
                                                          const QDomDocument& document,
                                                          const FlashVersion&,
                                                          bool checkConfigurations)
{
    const QDomElement root = document.documentElement();
    if (root.tagName() != QLatin1String("flashfile"))
        return LoadErrorLog::logErrorWithContext(QStringLiteral("No flashfile tag"), root);

    bool multiple = false;
    const QDomElement id = firstChild(root, FMConst::FLASH_SEQ_XML_ID, multiple);
    if (id.isNull())
        return LoadErrorLog::logErrorWithContext(QStringLiteral("No 'id' tag"), root);
    if (multiple)
        return LoadErrorLog::logErrorWithContext(QStringLiteral("Multiple 'id' tags detected"), root);
    DeviceState state = DeviceState::Unknown;
    if (!startStateOf(id.text(), state))
        return LoadErrorLog::logErrorWithContext(QStringLiteral("Invalid 'id' value"), root);

    FlashFileManager::Contents contents;
    if (!readFiles(root, folder, contents.parameters))
        return {};
    for (QDomElement group = root.firstChildElement(QStringLiteral("code_group")); !group.isNull();
         group = group.nextSiblingElement(QStringLiteral("code_group"))) {
        if (!readFiles(group, folder, contents.parameters))
            return {};
    }
    if (!readConfigurations(root, state, contents))
        return {};
    if (state == DeviceState::DnxFirmware && !readFirmwarePrefix(root, contents))
        return {};
    for (QDomElement element = root.firstChildElement(FMConst::FASTBOOT_SEQ_XML_CMD); !element.isNull();
         element = element.nextSiblingElement(FMConst::FASTBOOT_SEQ_XML_CMD)) {
        QSharedPointer<FlashCommand> command;
        if (!readCommand(element, command))
            return {};
        contents.commands.push_back(command);
    }
    for (const auto& configuration : contents.configurations) {
        for (const auto& command : contents.commands)
            configuration.second->appendCommand(command);
    }

    if (checkConfigurations) {
        for (const auto& configuration : contents.configurations) {
            const QString error = configuration.second->getError();
            if (!error.isNull())
                return LoadErrorLog::logErrorWithContext(error, root);
        }
    }
    readBuildProperties(root, contents.buildProperties);

    const QSharedPointer<FlashFileManager> flashFile = FlashFileManager::create(std::move(contents));
    ApplicationLog::write(DEBUG, QStringLiteral("XML Flash file parsed (") + folder
                                                      + QLatin1Char(')'));
    return flashFile;
}
