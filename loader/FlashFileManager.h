#pragma once

// One loaded flash file: parameters, command groups, the flat command list, configurations (each
// with a command list parallel to the flat one) and the default one, target platforms, build
// properties and the path it came from. The readers build it, the faces load it through
// `loadFromFile`, the editor edits it on the main thread, flash threads only read it.
// Always owned through QSharedPointer; configurations point back to it weakly.

#include "core/FlashTypes.h"
#include "core/FlashVersion.h"
#include "model/FlashConfiguration.h"
#include "model/FlashFileContext.h"
#include "platform/device/SharedPointer.h"
#include "platform/json/JsonObject.h"

#include <QMap>
#include <QObject>
#include <QSharedPointer>
#include <QString>
#include <QVariant>

#include <list>
#include <map>
#include <vector>

class FlashCommand;
class FlashDevice2;
class FlashGroup;
class FlashParameter;
class FlashRunner;
class QByteArray;
class QDomDocument;
class QIODevice;

class FlashFileManager : public QObject, public FlashFileContext
{
    Q_OBJECT

public:
    using Parameters = FlashConfiguration::Parameters;
    using Configurations = std::map<QString, QSharedPointer<FlashConfiguration>>;
    using Commands = FlashConfiguration::Commands;
    using Groups = FlashConfiguration::FileGroups;
    using Platforms = std::list<DevicePlatform>;
    using BuildProperties = QMap<QString, QVariant>;

    using JsonParser = QSharedPointer<FlashFileManager> (*)(const QString& folder,
                                                            const JsonObject& document,
                                                            const FlashVersion& version,
                                                            bool checkConfigurations);
    using XmlParser = QSharedPointer<FlashFileManager> (*)(const QString& folder,
                                                           const QDomDocument& document,
                                                           const FlashVersion& version,
                                                           bool checkConfigurations);
    // Keyed by the exact version text of the file.
    using JsonParsers = std::map<QString, JsonParser>;
    using XmlParsers = std::map<QString, XmlParser>;

    // Everything a reader (or the deep copy) hands to a new container.
    struct Contents
    {
        Parameters parameters;
        Configurations configurations;
        Commands commands;
        Groups groups;
        QSharedPointer<FlashConfiguration> defaultConfiguration;
        Platforms platforms;
        BuildProperties buildProperties;
    };

    // "2.0", "2.1", "2.2" and "3.0" to the JSON readers; "1" and "1.0" to the XML reader.
    static JsonParsers initJsonParsers();
    static XmlParsers initXMLParsers();
    // The tables above, built on first use (no static initialiser).
    static const JsonParsers& jsonParsers();
    static const XmlParsers& xmlParsers();

    static QSharedPointer<FlashFileManager> loaderV1p0(const QString& folder,
                                                       const QDomDocument& document,
                                                       const FlashVersion& version,
                                                       bool checkConfigurations);
    static QSharedPointer<FlashFileManager> loaderV2p0(const QString& folder,
                                                       const JsonObject& document,
                                                       const FlashVersion& version,
                                                       bool checkConfigurations);
    static QSharedPointer<FlashFileManager> loaderV3p0(const QString& folder,
                                                       const JsonObject& document,
                                                       const FlashVersion& version,
                                                       bool checkConfigurations);

    // Loading: null on failure (the reason is logged). With `checkConfigurations` the file is
    // refused as soon as one configuration reports an error.
    static QSharedPointer<FlashFileManager> loadFromFile(const QString& path, bool checkConfigurations);
    // XML first, then JSON, from an open readable device.
    static QSharedPointer<FlashFileManager> loadFromDevice(const QString& folder, QIODevice& device,
                                                           bool checkConfigurations);
    static QSharedPointer<FlashFileManager> loadFromDom(const QString& folder,
                                                        const QDomDocument& document,
                                                        bool checkConfigurations);
    static QSharedPointer<FlashFileManager> loadFromJson(const QString& folder,
                                                         const JsonObject& document,
                                                         bool checkConfigurations);
    // JSON first, then XML.
    static QSharedPointer<FlashFileManager> loadFromMemory(const QString& folder,
                                                           const QByteArray& bytes,
                                                           bool checkConfigurations);
    static QSharedPointer<FlashFileManager> loadFromVariant(const QString& folder,
                                                            const QVariant& variant,
                                                            bool checkConfigurations);

    // A container holding `contents`, every configuration pointing back to it.
    static QSharedPointer<FlashFileManager> create(Contents contents);

    FlashFileManager();
    ~FlashFileManager() override;

    const Commands& getCommandList() const;
    void swapCommands(unsigned long first, unsigned long second);
    bool removeCommand(unsigned long index);
    // An index equal to the count appends; above it nothing happens. Configurations keep their entry.
    void setCommand(unsigned long index, const QSharedPointer<FlashCommand>& command);
    // The new command belongs to no configuration; returns its index.
    unsigned long appendCommand(const QSharedPointer<FlashCommand>& command);

    const Parameters& getParametersList() const;
    QSharedPointer<FlashParameter> getParameter(const QString& id) const;
    void setParameter(const QSharedPointer<FlashParameter>& parameter);
    // False while a command uses the parameter, or when there is none of that id.
    bool removeParameter(const QString& id);

    const Groups& getGroups() const;

    const Configurations& getConfigurationsList() const;
    QSharedPointer<FlashConfiguration> getConfiguration(const QString& id) const;
    QSharedPointer<FlashConfiguration> getDefaultConfiguration() const;
    // Only a configuration stored in this file can become the default.
    void setDefaultConfiguration(const QSharedPointer<FlashConfiguration>& configuration);
    // The configuration must belong to this file and bring a new id; it enters with no command
    // selected and becomes the default when the file has none.
    bool addConfiguration(const QSharedPointer<FlashConfiguration>& configuration);
    // The default configuration cannot be removed.
    bool removeConfiguration(const QSharedPointer<FlashConfiguration>& configuration);

    FlashTypes::FlashStatus executeConfiguration(const SharedPointer<FlashRunner>& runner,
                                                 const SharedPointer<FlashDevice2>& device,
                                                 const QString& id);
    FlashTypes::FlashStatus executeDefaultConfiguration(const SharedPointer<FlashRunner>& runner,
                                                        const SharedPointer<FlashDevice2>& device);

    const Platforms& getPlatforms() const override;
    void setFileInfo(const QString& fileInfo);
    const QString& getFileInfo() const;
    // One "conf[id] name=..." line per configuration, in id order.
    QString getFlashConfigurationDetails() const;
    const QString& getPath() const override;
    const BuildProperties& getBuildProperties() const override;

    // The model as a version "3.0" JSON document; file paths are written relative to `baseFolder`.
    JsonObject toJson(const QString& baseFolder) const;
    bool toJson(const QString& baseFolder, QIODevice& device) const;
    // An independent copy of commands, groups and configurations (parameters are shared); null,
    // after an ERROR line, when a configuration cannot be copied.
    QSharedPointer<FlashFileManager> clone() const;

private:
    Parameters m_parameters;
    Configurations m_configurations;
    Commands m_commands;
    Groups m_groups;
    QSharedPointer<FlashConfiguration> m_defaultConfiguration;
    Platforms m_platforms;
    QString m_fileInfo;
    QString m_path;
    BuildProperties m_buildProperties;
};

using FlashFileManagerPtr = QSharedPointer<FlashFileManager>;
