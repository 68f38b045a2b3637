#pragma once

// A typed, named input of a flash file's commands with its options (values) by value id.
// Built by the readers and the editor, shared (read-only) by configurations and runs.

#include <QObject>
#include <QSharedPointer>
#include <QString>

#include <cstdint>
#include <map>

class FlashParameterValue;
class FlashParameterValueFile;
class FlashParameterValueString;
class FlashParameterValueTemporaryFile;
class JsonObject;

class FlashParameter : public QObject
{
    Q_OBJECT

public:
    enum Type : int32_t {
        File = 0,
        TemporaryFile = 1,
        String = 2,
        Variable = 3
    };

    using Values = std::map<QString, QSharedPointer<FlashParameterValue>>;

    // The map constructors take ownership of the value objects.
    FlashParameter(const QString& id, const QString& name,
                   const std::map<QString, FlashParameterValueFile*>& values);
    FlashParameter(const QString& id, const QString& name,
                   const std::map<QString, FlashParameterValueTemporaryFile*>& values);
    FlashParameter(const QString& id, const QString& name,
                   const std::map<QString, FlashParameterValueString*>& values);
    FlashParameter(Type type, const QString& id, const QString& name);
    // Deep: every value is cloned.
    FlashParameter(const FlashParameter& other);
    ~FlashParameter() override;

    virtual const Values& getValues() const;
    // The only value; null when there are none or several.
    virtual QSharedPointer<FlashParameterValue> getValue() const;
    virtual QSharedPointer<FlashParameterValue> getValue(const QString& valueId) const;
    virtual QSharedPointer<FlashParameter> clone() const;
    virtual JsonObject toJson(const QString& folder) const;

    const QString& getId() const;
    const QString& getName() const;
    Type getType() const;

    // "file", "temporary_file", "string", "variable"; empty for anything else.
    static QString typeKeyword(Type type);

protected:
    Values m_values;

private:
    Type m_type;
    QString m_id;
    QString m_name;
};

using FlashParameterPtr = QSharedPointer<FlashParameter>;
