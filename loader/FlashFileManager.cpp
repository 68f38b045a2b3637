#include "loader/FlashFileManager.h"

#include "core/ApplicationLog.h"
#include "loader/JsonFlashFileReader.h"
#include "loader/XmlFlashFileReader.h"
#include "model/FlashCommand.h"
#include "model/FlashGroup.h"
#include "model/FlashParameter.h"

#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QStringList>

#include <set>

namespace {

const QString kWrittenVersion = QStringLiteral("3.0");

// The document keeps the last value of a name written twice in one object; the author may have
// meant the first, so each one is named with its line.
void warnDuplicateKeys(const QList<JsonReader::DuplicateKey>& duplicates)
{
    for (const JsonReader::DuplicateKey& duplicate : duplicates) {
        ApplicationLog::write(WARNING, QStringLiteral("Duplicate key \"%1\" at line %2: its last value is used")
                                    .arg(duplicate.key, QString::number(duplicate.line)));
    }
}

// JSON text as a document, with a WARNING for each repeated name; `error` says where it breaks.
bool parseJson(const QByteArray& bytes, JsonObject& document, QString& error)
{
    QList<JsonReader::DuplicateKey> duplicates;
    if (!document.loadMemory(bytes, &error, &duplicates))
        return false;
    warnDuplicateKeys(duplicates);
    return true;
}

// XML text as a document; `error` says where it breaks, in the words of the JSON reader.
bool parseXml(const QByteArray& bytes, QDomDocument& document, QString& error)
{
    QString message;
    int line = 0;
    int column = 0;
    if (document.setContent(bytes, &message, &line, &column))
        return true;
    error = QStringLiteral("line %1, column %2: %3").arg(QString::number(line), QString::number(column), message);
    return false;
}

// Text that is neither an XML nor a JSON document: the ERROR line gives the error of the format
// it starts like (XML from a "<"), so that the author learns where the file breaks.
void logUnrecognizedFormat(const QByteArray& bytes, const QString& xmlError, const QString& jsonError)
{
    const QByteArray start = bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3).trimmed() : bytes.trimmed();
    const QString reason = start.startsWith('<') ? QStringLiteral("invalid XML, ") + xmlError
                                                 : QStringLiteral("invalid JSON, ") + jsonError;
    ApplicationLog::write(ERROR, QStringLiteral("Flash file format not recognized: ") + reason);
}

// True when a key the dispatch needs was read; else the ERROR line in the words of the readers.
bool isFound(JsonObject::ConvertResult result, const QString& key)
{
    if (result == JsonObject::Found)
        return true;
    ApplicationLog::write(ERROR, result == JsonObject::WrongType ? QStringLiteral("Invalid value for ") + key
                                                          : key + QStringLiteral(" key not found"));
    return false;
}

// ERROR for a document that no reader of this program knows.
QSharedPointer<FlashFileManager> unsupportedVersion(const QString& version)
{
    ApplicationLog::write(ERROR, QStringLiteral("Unsupported flash file version \"") + version + QLatin1Char('"'));
    return {};
}

} // namespace

FlashFileManager::JsonParsers FlashFileManager::initJsonParsers()
{
    return {
        {QStringLiteral("2.0"), &FlashFileManager::loaderV2p0},
        {QStringLiteral("2.1"), &FlashFileManager::loaderV2p0},
        {QStringLiteral("2.2"), &FlashFileManager::loaderV2p0},
        {QStringLiteral("3.0"), &FlashFileManager::loaderV3p0},
    };
}

FlashFileManager::XmlParsers FlashFileManager::initXMLParsers()
{
    return {
        {QStringLiteral("1"), &FlashFileManager::loaderV1p0},
        {QStringLiteral("1.0"), &FlashFileManager::loaderV1p0},
    };
}

const FlashFileManager::JsonParsers& FlashFileManager::jsonParsers()
{
    static const JsonParsers parsers = initJsonParsers();
    return parsers;
}

const FlashFileManager::XmlParsers& FlashFileManager::xmlParsers()
{
    static const XmlParsers parsers = initXMLParsers();
    return parsers;
}

QSharedPointer<FlashFileManager> FlashFileManager::loaderV1p0(const QString& folder,
                                                              const QDomDocument& document,
                                                              const FlashVersion& version,
                                                              bool checkConfigurations)
{
    return XmlFlashFileReader::load(folder, document, version, checkConfigurations);
}

QSharedPointer<FlashFileManager> FlashFileManager::loaderV2p0(const QString& folder,
                                                              const JsonObject& document,
                                                              const FlashVersion& version,
                                                              bool checkConfigurations)
{
    return JsonFlashFileReader::loadV2(folder, document, version, checkConfigurations);
}

QSharedPointer<FlashFileManager> FlashFileManager::loaderV3p0(const QString& folder,
                                                              const JsonObject& document,
                                                              const FlashVersion& version,
                                                              bool checkConfigurations)
{
    return JsonFlashFileReader::loadV3(folder, document, version, checkConfigurations);
}

QSharedPointer<FlashFileManager> FlashFileManager::loadFromFile(const QString& path,
                                                                bool checkConfigurations)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ApplicationLog::write(ERROR, QStringLiteral("Fail to open ") + file.fileName());
        return {};
    }
    const QSharedPointer<FlashFileManager> flashFile =
        loadFromDevice(QFileInfo(path).absolutePath(), file, checkConfigurations);
    if (flashFile)
        flashFile->m_path = path;
    return flashFile;
}

QSharedPointer<FlashFileManager> FlashFileManager::loadFromDevice(const QString& folder,
                                                                  QIODevice& device,
                                                                  bool checkConfigurations)
{
    if (!device.isOpen() || !device.isReadable()) {
        ApplicationLog::write(DEBUG, QStringLiteral("Invalid open mode"));
        return {};
    }
    const QByteArray bytes = device.readAll();
    QDomDocument dom;
    QString xmlError;
    if (parseXml(bytes, dom, xmlError))
        return loadFromDom(folder, dom, checkConfigurations);
    JsonObject json;
    QString jsonError;
    if (parseJson(bytes, json, jsonError))
        return loadFromJson(folder, json, checkConfigurations);
    logUnrecognizedFormat(bytes, xmlError, jsonError);
    return {};
}

QSharedPointer<FlashFileManager> FlashFileManager::loadFromDom(const QString& folder,
                                                               const QDomDocument& document,
                                                               bool checkConfigurations)
{
    const QDomElement root = document.documentElement();
    if (root.isNull() || root.tagName() != QLatin1String("flashfile")) {
        ApplicationLog::write(ERROR, QStringLiteral("No flashfile tag"));
        return {};
    }
    const QString version = root.attribute(QStringLiteral("version"), QStringLiteral("1.0"));
    const auto parser = xmlParsers().find(version);
    if (parser == xmlParsers().end())
        return unsupportedVersion(version);
    return parser->second(folder, document, FlashVersion(version), checkConfigurations);
}

QSharedPointer<FlashFileManager> FlashFileManager::loadFromJson(const QString& folder,
                                                                const JsonObject& document,
                                                                bool checkConfigurations)
{
    const QString flashKey = QStringLiteral("flash");
    const QString versionKey = QStringLiteral("version");
    JsonObject flash;
    QString version;
    if (!isFound(document.getObject(flashKey, flash), flashKey)
        || !isFound(flash.getString(versionKey, version), versionKey))
        return {};
    const auto parser = jsonParsers().find(version);
    if (parser == jsonParsers().end())
        return unsupportedVersion(version);
    return parser->second(folder, document, FlashVersion(version), checkConfigurations);
}

QSharedPointer<FlashFileManager> FlashFileManager::loadFromMemory(const QString& folder,
                                                                  const QByteArray& bytes,
                                                                  bool checkConfigurations)
{
    JsonObject json;
    QString jsonError;
    if (parseJson(bytes, json, jsonError))
        return loadFromJson(folder, json, checkConfigurations);
    QDomDocument dom;
    QString xmlError;
    if (parseXml(bytes, dom, xmlError))
        return loadFromDom(folder, dom, checkConfigurations);
    logUnrecognizedFormat(bytes, xmlError, jsonError);
    return {};
}

QSharedPointer<FlashFileManager> FlashFileManager::loadFromVariant(const QString& folder,
                                                                   const QVariant& variant,
                                                                   bool checkConfigurations)
{
    JsonObject json;
    if (!json.setContent(variant))
        return {};
    return loadFromJson(folder, json, checkConfigurations);
}

QSharedPointer<FlashFileManager> FlashFileManager::create(Contents contents)
{
    QSharedPointer<FlashFileManager> flashFile(new FlashFileManager);
    flashFile->m_parameters = std::move(contents.parameters);
    flashFile->m_configurations = std::move(contents.configurations);
    flashFile->m_commands = std::move(contents.commands);
    flashFile->m_groups = std::move(contents.groups);
    flashFile->m_defaultConfiguration = std::move(contents.defaultConfiguration);
    flashFile->m_platforms = std::move(contents.platforms);
    flashFile->m_buildProperties = std::move(contents.buildProperties);
    for (const auto& entry : flashFile->m_configurations)
        entry.second->setFlashFileManager(flashFile);
    return flashFile;
}

FlashFileManager::FlashFileManager() = default;

FlashFileManager::~FlashFileManager() = default;

const FlashFileManager::Commands& FlashFileManager::getCommandList() const
{
    return m_commands;
}

void FlashFileManager::swapCommands(unsigned long first, unsigned long second)
{
    if (first == second || first >= m_commands.size() || second >= m_commands.size())
        return;
    std::swap(m_commands[first], m_commands[second]);
    for (const auto& entry : m_configurations)
        entry.second->swapCommands(first, second);
}

bool FlashFileManager::removeCommand(unsigned long index)
{
    if (index >= m_commands.size())
        return false;
    m_commands.erase(m_commands.begin() + static_cast<long>(index));
    for (const auto& entry : m_configurations)
        entry.second->removeCommand(index);
    return true;
}

void FlashFileManager::setCommand(unsigned long index, const QSharedPointer<FlashCommand>& command)
{
    if (index == m_commands.size())
        appendCommand(command);
    else if (index < m_commands.size())
        m_commands[index] = command;
}

unsigned long FlashFileManager::appendCommand(const QSharedPointer<FlashCommand>& command)
{
    const unsigned long index = m_commands.size();
    m_commands.push_back(command);
    for (const auto& entry : m_configurations)
        entry.second->appendCommand(QSharedPointer<FlashCommand>());
    return index;
}

const FlashFileManager::Parameters& FlashFileManager::getParametersList() const
{
    return m_parameters;
}

QSharedPointer<FlashParameter> FlashFileManager::getParameter(const QString& id) const
{
    const auto found = m_parameters.find(id);
    return found == m_parameters.end() ? QSharedPointer<FlashParameter>() : found->second;
}

void FlashFileManager::setParameter(const QSharedPointer<FlashParameter>& parameter)
{
    const QString id = parameter->getId();
    m_parameters[id] = parameter;
    for (const auto& entry : m_configurations)
        entry.second->setParameter(id, parameter);
}

bool FlashFileManager::removeParameter(const QString& id)
{
    for (const auto& command : m_commands) {
        if (command && command->hasParameter(id))
            return false;
    }
    return m_parameters.erase(id) != 0;
}

const FlashFileManager::Groups& FlashFileManager::getGroups() const
{
    return m_groups;
}

const FlashFileManager::Configurations& FlashFileManager::getConfigurationsList() const
{
    return m_configurations;
}

QSharedPointer<FlashConfiguration> FlashFileManager::getConfiguration(const QString& id) const
{
    const auto found = m_configurations.find(id);
    return found == m_configurations.end() ? QSharedPointer<FlashConfiguration>() : found->second;
}

QSharedPointer<FlashConfiguration> FlashFileManager::getDefaultConfiguration() const
{
    return m_defaultConfiguration;
}

void FlashFileManager::setDefaultConfiguration(const QSharedPointer<FlashConfiguration>& configuration)
{
    if (!configuration)
        return;
    const auto found = m_configurations.find(configuration->getID());
    if (found != m_configurations.end() && found->second == configuration)
        m_defaultConfiguration = configuration;
}

bool FlashFileManager::addConfiguration(const QSharedPointer<FlashConfiguration>& configuration)
{
    if (!configuration || configuration->getFlashFileContext().data() != this)
        return false;
    if (!m_configurations.emplace(configuration->getID(), configuration).second)
        return false;
    configuration->resizeCommandsList(m_commands.size());
    for (unsigned long index = 0; index < m_commands.size(); ++index)
        configuration->setCommand(index, QSharedPointer<FlashCommand>());
    if (!m_defaultConfiguration)
        m_defaultConfiguration = configuration;
    return true;
}

bool FlashFileManager::removeConfiguration(const QSharedPointer<FlashConfiguration>& configuration)
{
    if (!configuration || configuration == m_defaultConfiguration)
        return false;
    const auto found = m_configurations.find(configuration->getID());
    if (found == m_configurations.end() || found->second != configuration)
        return false;
    m_configurations.erase(found);
    return true;
}

FlashTypes::FlashStatus FlashFileManager::executeConfiguration(const SharedPointer<FlashRunner>& runner,
                                                              const SharedPointer<FlashDevice2>& device,
                                                              const QString& id)
{
    const QSharedPointer<FlashConfiguration> configuration = getConfiguration(id);
    if (!configuration)
        return FlashTypes::FlashStatus::Failure;
    QSharedPointer<FlashCommand> lastCommand;
    return configuration->execute(runner, device, lastCommand);
}

FlashTypes::FlashStatus FlashFileManager::executeDefaultConfiguration(
    const SharedPointer<FlashRunner>& runner, const SharedPointer<FlashDevice2>& device)
{
    if (!m_defaultConfiguration)
        return FlashTypes::FlashStatus::Failure;
    QSharedPointer<FlashCommand> lastCommand;
    return m_defaultConfiguration->execute(runner, device, lastCommand);
}

const FlashFileManager::Platforms& FlashFileManager::getPlatforms() const
{
    return m_platforms;
}

void FlashFileManager::setFileInfo(const QString& fileInfo)
{
    m_fileInfo = fileInfo;
}

const QString& FlashFileManager::getFileInfo() const
{
    return m_fileInfo;
}

QString FlashFileManager::getFlashConfigurationDetails() const
{
    QStringList lines;
    for (const auto& entry : m_configurations) {
        const FlashConfiguration& configuration = *entry.second;
        QString line = QStringLiteral("conf[") + entry.first + QStringLiteral("] name=")
                       + configuration.getName();
        if (!configuration.getDescription().isEmpty())
            line += QStringLiteral(", description=") + configuration.getDescription();
        lines << line;
    }
    return lines.join(QLatin1Char('\n'));
}

const QString& FlashFileManager::getPath() const
{
    return m_path;
}

const FlashFileManager::BuildProperties& FlashFileManager::getBuildProperties() const
{
    return m_buildProperties;
}

JsonObject FlashFileManager::toJson(const QString& baseFolder) const
{
    JsonObject document;
    if (!m_buildProperties.isEmpty())
        document.setValue(QStringLiteral("build_info"), m_buildProperties);

    JsonObject flash;
    flash.setValue(QStringLiteral("version"), kWrittenVersion);
    QStringList platforms;
    const auto& platformNames = FlashTypes::getPlatformNameMap();
    for (DevicePlatform platform : m_platforms) {
        const auto name = platformNames.find(platform);
        if (name != platformNames.end())
            platforms << name->second;
    }
    flash.setValue(QStringLiteral("platforms"), platforms);

    JsonObject parameters;
    for (const auto& entry : m_parameters) {
        const JsonObject parameter = entry.second->toJson(baseFolder);
        if (!parameter.isEmpty())
            parameters.setValue(entry.first, parameter);
    }
    flash.setValue(QStringLiteral("parameters"), parameters);

    JsonObject groups;
    for (const auto& entry : m_groups) {
        if (!entry.second)
            continue;
        JsonObject group;
        group.setValue(QStringLiteral("name"), entry.second->getName());
        group.setValue(QStringLiteral("description"), entry.second->getDescription());
        groups.setValue(entry.first, group);
    }
    flash.setValue(QStringLiteral("groups"), groups);

    // Which configurations run each command; configurations come in id order, so each list is sorted.
    std::map<const FlashCommand*, QStringList> runners;
    JsonObject configurations;
    for (const auto& entry : m_configurations) {
        JsonObject configuration = entry.second->toJson(m_groups);
        configuration.setValue(QStringLiteral("default"), entry.second == m_defaultConfiguration);
        configurations.setValue(entry.first, configuration);
        for (const auto& command : entry.second->getCommands()) {
            if (command)
                runners[command.data()] << entry.first;
        }
    }
    flash.setValue(QStringLiteral("configurations"), configurations);

    JsonObjectList commands;
    for (const auto& command : m_commands) {
        JsonObject json = command->toJson();
        const QStringList ids = runners[command.data()];
        if (ids.size() == static_cast<int>(m_configurations.size()))
            json.setValue(QStringLiteral("restrict"), QVariant());
        else
            json.setValue(QStringLiteral("restrict"), ids);
        commands << json;
    }
    flash.setValue(QStringLiteral("commands"), commands);

    document.setValue(QStringLiteral("flash"), flash);
    return document;
}

bool FlashFileManager::toJson(const QString& baseFolder, QIODevice& device) const
{
    return toJson(baseFolder).saveToDevice(device);
}

QSharedPointer<FlashFileManager> FlashFileManager::clone() const
{
    Contents copy;
    for (const auto& entry : m_groups)
        copy.groups[entry.first] = entry.second->cloneWithoutCommandSet();

    for (const auto& command : m_commands) {
        const QSharedPointer<FlashCommand> commandCopy = command->clone();
        copy.commands.push_back(commandCopy);
        if (command->getGroup().isEmpty())
            continue;
        const auto group = copy.groups.find(command->getGroup());
        if (group != copy.groups.end())
            group->second->addCommand(commandCopy);
    }

    for (const auto& entry : m_configurations) {
        const QSharedPointer<FlashConfiguration> configuration =
            entry.second->clone(copy.commands, copy.groups);
        // A configuration whose command list no longer runs parallel to the file's cannot be
        // mapped onto the copied commands: refuse the copy rather than store a null configuration.
        if (!configuration) {
            ApplicationLog::write(ERROR, QStringLiteral("Cannot copy the configuration '") + entry.first
                                      + QStringLiteral("' of the flash file"));
            return {};
        }
        copy.configurations[entry.first] = configuration;
        if (entry.second == m_defaultConfiguration)
            copy.defaultConfiguration = configuration;
    }

    copy.parameters = m_parameters;
    copy.platforms = m_platforms;
    copy.buildProperties = m_buildProperties;
    const QSharedPointer<FlashFileManager> flashFile = create(std::move(copy));
    flashFile->m_fileInfo = m_fileInfo;
    flashFile->m_path = m_path;
    return flashFile;
}
