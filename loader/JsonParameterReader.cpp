#include "loader/JsonParameterReader.h"

#include "core/ApplicationLog.h"
#include "loader/LoadErrorLog.h"
#include "model/FlashCommand.h"
#include "model/FlashParameter.h"
#include "model/FlashParameterValueFile.h"
#include "model/FlashParameterValueString.h"
#include "model/FlashParameterValueTemporaryFile.h"
#include "model/FlashVariable.h"
#include "platform/json/JsonObject.h"
#include "tools/ShellFlashCommand.h"

#include <QDir>
#include <QRegExp>

#include <map>

namespace {

// One option as written, before its value object is made.
struct OptionText
{
    QString value;
    QString description;
};
using OptionTexts = std::map<QString, OptionText>;

bool refuse(const QString& message, const JsonObject& context)
{
    LoadErrorLog::logErrorWithContext(message, context);
    return false;
}

// A required text that must not be empty: absent, of another kind or empty are all refused alike.
bool readNonEmpty(const JsonObject& json, const QString& key, QString& value)
{
    return json.getString(key, value) == JsonObject::Found && !value.isEmpty();
}

// The options of a file, temporary-file or string parameter: the single-value form is one option
// under the empty value id.
bool readOptions(const JsonObject& json, OptionTexts& options)
{
    QString value;
    switch (json.getString(QStringLiteral("value"), value)) {
    case JsonObject::Found: {
        if (value.isEmpty())
            return refuse(QStringLiteral("Invalid value for value"), json);
        if (json.hasValue(QStringLiteral("options")) == JsonObject::Found)
            return refuse(QStringLiteral("options and value are mutually exclusive"), json);
        QString description;
        if (!readNonEmpty(json, QStringLiteral("description"), description))
            return refuse(QStringLiteral("Invalid value for description"), json);
        options[QLatin1String("")] = OptionText{value, description};
        return true;
    }
    case JsonObject::WrongType:
        return refuse(QStringLiteral("Internal load error (9)"), json);
    case JsonObject::Absent:
        break;
    }

    JsonObjectMap optionObjects;
    switch (json.getObjectMap(QStringLiteral("options"), optionObjects)) {
    case JsonObject::Found:
        break;
    case JsonObject::WrongType:
        return refuse(QStringLiteral("Invalid value for options"), json);
    case JsonObject::Absent:
        return refuse(QStringLiteral("Missing options and value in a parameter"), json);
    default:
        return refuse(QStringLiteral("Internal error (6)"), json);
    }
    if (optionObjects.isEmpty())
        return refuse(QStringLiteral("Missing values in options"), json);
    for (auto option = optionObjects.cbegin(); option != optionObjects.cend(); ++option) {
        OptionText text;
        if (!readNonEmpty(option.value(), QStringLiteral("value"), text.value))
            return refuse(QStringLiteral("Invalid value for value"), option.value());
        if (!readNonEmpty(option.value(), QStringLiteral("description"), text.description))
            return refuse(QStringLiteral("Invalid value for description"), option.value());
        options[option.key()] = text;
    }
    return true;
}

template<typename Value>
std::map<QString, Value*> makeValues(const OptionTexts& options)
{
    std::map<QString, Value*> values;
    for (const auto& option : options)
        values[option.first] = new Value(option.first, option.second.value, option.second.description);
    return values;
}

// A required text of a variable: "Invalid <key> format ...", "No <key> for ..." and
// "Invalid empty <key> in ..." for the three ways it can be missing.
bool readVariableText(const JsonObject& json, const QString& key, QString& value)
{
    switch (json.getString(key, value)) {
    case JsonObject::Found:
        if (!value.isEmpty())
            return true;
        return refuse(QStringLiteral("Invalid empty %1 in variable parameter").arg(key), json);
    case JsonObject::Absent:
        return refuse(QStringLiteral("No %1 for variable parameter").arg(key), json);
    default:
        return refuse(QStringLiteral("Invalid %1 format in variable parameter").arg(key), json);
    }
}

// "computedValue", or its older spelling "computed-value".
bool readComputedValue(const JsonObject& json, QString& computedValue)
{
    switch (json.getString(QStringLiteral("computedValue"), computedValue)) {
    case JsonObject::Found:
        return true;
    case JsonObject::WrongType:
        return refuse(QStringLiteral("Invalid computedValue format in variable parameter"), json);
    case JsonObject::Absent:
        break;
    }
    switch (json.getString(QStringLiteral("computed-value"), computedValue)) {
    case JsonObject::Found:
        ApplicationLog::write(
            WARNING, QStringLiteral("The 'computed-value' key is deprecated in flash file"));
        ApplicationLog::write(DEBUG, QStringLiteral("Please use 'computedValue' instead"));
        return true;
    case JsonObject::WrongType:
        return refuse(QStringLiteral("Invalid computed-value format in variable parameter"), json);
    default:
        return refuse(QStringLiteral("No computedValue for variable parameter"), json);
    }
}

bool isListOrObject(const QVariant& value)
{
    const int type = value.userType();
    return type == QMetaType::QVariantList || type == QMetaType::QStringList
           || type == QMetaType::QVariantMap || type == QMetaType::QVariantHash;
}

} // namespace

bool JsonParameterReader::readV2(const JsonObject& json, const QString& id, const QString& folder,
                                 QSharedPointer<FlashParameter>& result)
{
    static const std::map<QString, FlashParameter::Type> kinds = {
        {QStringLiteral("file"), FlashParameter::File},
        {QStringLiteral("temporary_file"), FlashParameter::TemporaryFile},
        {QStringLiteral("string"), FlashParameter::String},
    };
    QString type;
    json.getString(QStringLiteral("type"), type);
    const auto kind = kinds.find(type.toLower());
    if (kind == kinds.end())
        return refuse(QStringLiteral("Invalid value for type"), json);

    QString name;
    if (json.getString(QStringLiteral("name"), name) != JsonObject::Found)
        return refuse(QStringLiteral("Missing value for name"), json);
    if (name.isEmpty())
        return refuse(QStringLiteral("Invalid value for name"), json);

    OptionTexts options;
    if (!readOptions(json, options))
        return false;

    switch (kind->second) {
    case FlashParameter::File:
        for (auto& option : options)
            option.second.value = QDir::toNativeSeparators(QDir(folder).absoluteFilePath(option.second.value));
        result.reset(new FlashParameter(id, name, makeValues<FlashParameterValueFile>(options)));
        break;
    case FlashParameter::TemporaryFile:
        result.reset(new FlashParameter(id, name, makeValues<FlashParameterValueTemporaryFile>(options)));
        break;
    default:
        result.reset(new FlashParameter(id, name, makeValues<FlashParameterValueString>(options)));
        break;
    }
    return true;
}

bool JsonParameterReader::readV3(const JsonObject& json, const QString& id, const QString& folder,
                                 QSharedPointer<FlashParameter>& result)
{
    QString type;
    if (json.getString(QStringLiteral("type"), type) != JsonObject::Found)
        return refuse(QStringLiteral("Invalid value for type"), json);
    if (type.toLower() != QLatin1String("variable"))
        return readV2(json, id, folder, result);
    return readVariable(json, id, result);
}

bool JsonParameterReader::readVariable(const JsonObject& json, const QString& id,
                                       QSharedPointer<FlashParameter>& result)
{
    QSharedPointer<FlashCommand> subCommand;
    QRegExp filter;
    QString computedValue;
    JsonObject subCommandJson;
    switch (json.getObject(QStringLiteral("subCommand"), subCommandJson)) {
    case JsonObject::Found: {
        subCommand = FlashCommand::getCommandFromJson(subCommandJson);
        if (!subCommand)
            return refuse(QStringLiteral("Unrecognized sub-command in variable parameter"), json);
        const QString problem = subCommandProblem(subCommand);
        if (!problem.isNull())
            return refuse(problem, json);
        QString pattern;
        switch (json.getString(QStringLiteral("filter"), pattern)) {
        case JsonObject::Found:
            if (!readComputedValue(json, computedValue))
                return false;
            break;
        case JsonObject::Absent:
            pattern = QStringLiteral("^.*$");
            computedValue = QStringLiteral("$0");
            break;
        default:
            return refuse(QStringLiteral("Invalid filter format in variable parameter"), json);
        }
        filter = QRegExp(pattern, Qt::CaseSensitive, QRegExp::RegExp2);
        if (!filter.isValid())
            return refuse(QStringLiteral("Invalid filter regular expression in variable parameter"), json);
        break;
    }
    case JsonObject::Absent:
        if (!readComputedValue(json, computedValue))
            return false;
        break;
    default:
        return refuse(QStringLiteral("Invalid sub-command format in variable parameter"), json);
    }

    QString description;
    QString name;
    if (!readVariableText(json, QStringLiteral("description"), description)
        || !readVariableText(json, QStringLiteral("name"), name))
        return false;

    QVariant value;
    switch (json.getValue(QStringLiteral("value"), value)) {
    case JsonObject::Found:
        if (json.hasNullValue(QStringLiteral("value")) == JsonObject::Found)
            value = QVariant();
        else if (isListOrObject(value))
            return refuse(QStringLiteral("Invalid initial value in variable parameter"), json);
        break;
    case JsonObject::Absent:
        break;
    default:
        return refuse(QStringLiteral("Internal load error (14)"), json);
    }

    result.reset(new FlashVariable(id, name, subCommand, value, filter, computedValue, description));
    return true;
}

QString JsonParameterReader::subCommandProblem(const QSharedPointer<FlashCommand>& command)
{
    // Only a program's output can give a variable its value, and not a program that only flashes.
    const QSharedPointer<ShellFlashCommand> shell = command.dynamicCast<ShellFlashCommand>();
    if (!shell)
        return QStringLiteral("Unsupported sub-command in variable parameter");
    if (shell->isFlashOnlyCommand())
        return QStringLiteral("Unsupported shell sub-command in variable parameter");
    return QString();
}
