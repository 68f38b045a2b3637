#pragma once

// One way of flashing a device that a flash file offers: ordered commands (null entries keep the
// list parallel to the file's command list), start state, parameters with their selected options,
// group states and texts for the user. Built and edited on the main thread; runs on several pool
// threads only read it.

#include "model/FlashCommand.h"
#include "model/FlashFileContext.h"
#include "platform/device/DeviceTypes.h"
#include "platform/json/JsonObject.h"

#include <QMap>
#include <QObject>
#include <QSharedPointer>
#include <QString>
#include <QVariant>
#include <QWeakPointer>

#include <list>
#include <map>
#include <optional>
#include <vector>

class FlashFileManager;
class FlashGroup;
class FlashParameter;
class FlashParameterValue;

class FlashConfiguration : public QObject
{
    Q_OBJECT

public:
    enum UnknownGroupBehavior {
        UnknownGroupsEnabled = 0,
        UnknownGroupsDisabled = 1
    };

    // The configuration's state of one command group.
    struct Group
    {
        QSharedPointer<FlashGroup> group;
        bool enabled = true;
        bool defaultEnabled = true;
    };

    using Parameters = std::map<QString, QSharedPointer<FlashParameter>>;
    using ParameterValues = std::map<QString, QString>;
    using Commands = std::vector<QSharedPointer<FlashCommand>>;
    using Groups = std::map<QString, Group>;
    using FileGroups = std::map<QString, QSharedPointer<FlashGroup>>;

    FlashConfiguration(DeviceState startState, UnknownGroupBehavior unknownGroupBehavior,
                       const QString& id, const QString& name, const QString& description,
                       const QString& brief, const QString& documentation, bool hiddenToEndUser,
                       const Parameters& parameters, const ParameterValues& parameterValues);
    ~FlashConfiguration() override;

    // The commands this run executes after the group rules; false only without a runner.
    virtual bool getExecutionCommands(const SharedPointer<FlashRunner>& runner,
                                      Commands& commands) const;

    const QString& getID() const;
    const QString& getName() const;
    DeviceState getStartState() const;
    void setStartState(DeviceState state);
    const QString& getDescription() const;
    void setDescription(const QString& description);
    const QString& getBrief() const;
    void setBrief(const QString& brief);
    bool isHiddenToEndUser() const;
    UnknownGroupBehavior getUnknownGroupBehavior() const;
    const Parameters& getParameters() const;
    const ParameterValues& getParameterValues() const;
    const Commands& getCommands() const;
    // The owning flash file, null once it is gone or when none was set. A template so that only
    // callers that know the container (which derives from FlashFileContext) instantiate it:
    // `configuration->getFlashFileManager()` gives a QSharedPointer<FlashFileManager>.
    template <class T = class FlashFileManager>
    QSharedPointer<T> getFlashFileManager() const
    {
        return m_flashFile.toStrongRef().template dynamicCast<T>();
    }
    QSharedPointer<FlashFileContext> getFlashFileContext() const;
    // Kept weakly: a configuration may outlive its flash file.
    void setFlashFileManager(const QSharedPointer<FlashFileContext>& flashFile);

    QSharedPointer<FlashParameter> getParameter(const QString& name) const;
    void setParameters(const Parameters& parameters);
    // A null parameter removes the parameter and its selection.
    void setParameter(const QString& name, const QSharedPointer<FlashParameter>& parameter);
    // The selected option, else the only option; no fall-back when the selection is missing.
    QSharedPointer<FlashParameterValue> getParameterValue(const QString& name) const;
    QSharedPointer<FlashParameterValue> getParameterValue(const QString& name,
                                                          const QString& id) const;
    QString getParameterValueId(const QString& name) const;
    // The lookups above over any parameter table and selections (a runner keeps its own copies).
    static QSharedPointer<FlashParameter> findParameter(const Parameters& parameters,
                                                        const QString& name);
    static QSharedPointer<FlashParameterValue> findParameterValue(const Parameters& parameters,
                                                                  const ParameterValues& selected,
                                                                  const QString& name);
    // A null id removes the selection.
    void setParameterValue(const QString& name, const QString& id);

    void appendCommand(const QSharedPointer<FlashCommand>& command);
    bool setCommand(unsigned long index, const QSharedPointer<FlashCommand>& command);
    void swapCommands(unsigned long first, unsigned long second);
    bool removeCommand(unsigned long index);
    QSharedPointer<FlashCommand> getCommand(unsigned long index) const;
    // Non-null entries only.
    unsigned long getCommandsCount() const;
    void resizeCommandsList(unsigned long size);

    void setDocumentation(const QString& documentation);
    bool hasDocumentation() const;
    // The link with ${appName}/${appVersion} resolved, "file://" in front unless it is http(s).
    QString getDocumentation() const;

    QString replaceParameters(const QString& text, const std::map<QString, QString>& keys,
                              bool* ok = nullptr) const;
    QString replaceParameters(const QString& text, bool* ok = nullptr) const;

    QString getDetails() const;
    const QMap<QString, QVariant>& getBuildProperties() const;

    QSharedPointer<FlashConfiguration> clone(const QString& id, const QString& name) const;
    QSharedPointer<FlashConfiguration> clone() const;
    // For the deep copy of a whole flash file: `commands` parallels this configuration's list.
    QSharedPointer<FlashConfiguration> clone(const Commands& commands,
                                             const FileGroups& groups) const;

    JsonObject toJson(const FileGroups& fileGroups) const;

    // The first consistency error, or a null string.
    QString getError() const;

    // Runs the commands on one device: 0 success, 1 failure, 2 interrupted (FlashTypes::FlashStatus).
    // `lastCommand` holds the command started last (null when none was reached).
    FlashTypes::FlashStatus execute(const SharedPointer<FlashRunner>& runner,
                                    const SharedPointer<FlashDevice2>& device,
                                    QSharedPointer<FlashCommand>& lastCommand) const;

    // Groups: the first attach of an id wins.
    void attachGroup(QSharedPointer<FlashGroup> group, bool enabled);
    void setGroupEnabled(QString id, bool enabled);
    void setGroupEnabled(Groups::iterator& state, bool enabled);
    std::list<Group> getGroupsStatus() const;
    bool hasGroups() const;
    // Whether a command of group `groupId` runs under this configuration's group rules.
    bool isGroupEnabled(const QString& groupId) const;
    JsonObjectList getJsonGroupInterface() const;
    JsonObjectList getJsonGroupDefaultInterface() const;
    void setJsonGroupInterfaceResult(const JsonObject& answer);

private:
    // The value of one reference, or none to leave it as written; `failed` is set when it can
    // never be resolved. `keys` come before the parameters.
    std::optional<QString> resolveReference(const QString& name, const QString& index,
                                            const std::map<QString, QString>& keys,
                                            bool& failed) const;
    JsonObjectList groupInterface(bool defaults) const;
    // A copy with these texts, flags and selected values and its own copies of the parameters;
    // no commands, groups or flash file yet.
    QSharedPointer<FlashConfiguration> copyWithoutCommands(const QString& id, const QString& name) const;

    QString m_id;
    QString m_name;
    Parameters m_parameters;
    ParameterValues m_parameterValues;
    Commands m_commands;
    DeviceState m_startState;
    QString m_description;
    QString m_brief;
    QString m_documentation;
    mutable QString m_resolvedDocumentation;
    bool m_hiddenToEndUser;
    QWeakPointer<FlashFileContext> m_flashFile;
    UnknownGroupBehavior m_unknownGroupBehavior;
    Groups m_groups;
};

using FlashConfigurationPtr = QSharedPointer<FlashConfiguration>;
