#include "engine/FlashScriptEngineData.h"

#include "engine/FlashDevice2.h"
#include "engine/FlashRunner.h"
#include "model/FlashConfiguration.h"
#include "model/FlashFileContext.h"
#include "model/FlashParameter.h"
#include "model/FlashParameterValue.h"
#include "model/FlashVariableValue.h"
#include "platform/utility/OSVersion.h"

#include <QDateTime>
#include <QFileInfo>
#include <QRegExp>
#include <QScriptValueIterator>

#include <array>

namespace {

const QScriptValue::PropertyFlags kApiFlags = QScriptValue::ReadOnly | QScriptValue::Undeletable;

// Level names by LOGLEVEL number; $.log accepts a level object only when its name matches.
const std::array<const char*, 6> kLevelNames = {"Fatal", "Error", "Warning", "Info", "Debug",
                                                "Trace"};

// Keys that name a device value or the flash file's folder, never an option of a parameter.
const std::array<const char*, 7> kNoIndirectionKeys = {"serial", "soc_sn",    "soc_serial", "os_sn",
                                                       "os_serial", "port", "flash_dir"};

QScriptValue textValue(const QString& text)
{
    return text.isNull() ? QScriptValue(QScriptValue::UndefinedValue) : QScriptValue(text);
}

} // namespace

FlashScriptEngineData::FlashScriptEngineData(FlashRunner* runner)
    : m_runner(runner)
{
    // The engine's own global object ignores property flags, so `$` could be deleted from it:
    // the global object is a plain object holding the built-ins and `$`.
    QScriptValue global = newObject();
    QScriptValueIterator builtIn(globalObject());
    while (builtIn.hasNext()) {
        builtIn.next();
        global.setProperty(builtIn.scriptName(), builtIn.value(), builtIn.flags());
    }
    QScriptValue api = newObject();
    api.setProperty(QStringLiteral("log"), newFunction(logCallback, 2), kApiFlags);

    std::array<QScriptValue, kLevelNames.size()> levels;
    for (size_t i = 0; i < levels.size(); ++i) {
        levels[i] = newObject();
        levels[i].setProperty(QStringLiteral("name"), QString::fromLatin1(kLevelNames[i]));
        levels[i].setProperty(QStringLiteral("value"), static_cast<int>(i));
    }
    api.setProperty(QStringLiteral("Fatal"), levels[0], kApiFlags);
    api.setProperty(QStringLiteral("Error"), levels[1], kApiFlags);
    api.setProperty(QStringLiteral("Warning"), levels[2], kApiFlags);
    api.setProperty(QStringLiteral("Warn"), levels[2], kApiFlags);
    api.setProperty(QStringLiteral("Info"), levels[3], kApiFlags);
    api.setProperty(QStringLiteral("Debug"), levels[4], kApiFlags);
    api.setProperty(QStringLiteral("Trace"), levels[5], kApiFlags);
    api.setProperty(QStringLiteral("alert"), newFunction(alertCallback, 1), kApiFlags);
    api.setProperty(QStringLiteral("getParameter"), newFunction(getParameterCallback, 2), kApiFlags);

    global.setProperty(QStringLiteral("$"), api, kApiFlags);
    setGlobalObject(global);
}

FlashScriptEngineData::~FlashScriptEngineData() = default;

QScriptValue FlashScriptEngineData::logCallback(QScriptContext* context, QScriptEngine* engine)
{
    if (context->isCalledAsConstructor())
        return context->throwError(QScriptContext::TypeError, QStringLiteral("Logger.log is not a type"));
    if (context->argumentCount() != 2)
        return context->throwError(QScriptContext::SyntaxError, QStringLiteral("Invalid parameter count"));
    FlashScriptEngineData* self = nullptr;
    const QScriptValue error = getThis(context, engine, self);
    if (self == nullptr)
        return error;
    return self->logMessage(context->argument(0), context->argument(1).toString());
}

QScriptValue FlashScriptEngineData::alertCallback(QScriptContext* context, QScriptEngine* engine)
{
    if (context->isCalledAsConstructor())
        return context->throwError(QScriptContext::TypeError, QStringLiteral("alert is not a type"));
    if (context->argumentCount() < 1)
        return context->throwError(QScriptContext::SyntaxError,
                                   QStringLiteral("alert() needs a message to display"));
    FlashScriptEngineData* self = nullptr;
    const QScriptValue error = getThis(context, engine, self);
    if (self == nullptr)
        return error;
    return self->alert(context->argument(0).toString());
}

QScriptValue FlashScriptEngineData::getParameterCallback(QScriptContext* context,
                                                         QScriptEngine* engine)
{
    if (context->isCalledAsConstructor())
        return context->throwError(QScriptContext::TypeError,
                                   QStringLiteral("getParameter is not a type"));
    FlashScriptEngineData* self = nullptr;
    const QScriptValue error = getThis(context, engine, self);
    if (self == nullptr)
        return error;
    switch (context->argumentCount()) {
    case 1:
        return self->getParameter(context->argument(0));
    case 2:
        return self->getParameter(context->argument(0), context->argument(1));
    default:
        return context->throwError(QScriptContext::SyntaxError,
                                   QStringLiteral("getParameter should not be called directly"));
    }
}

QScriptValue FlashScriptEngineData::getThis(QScriptContext* context, QScriptEngine* engine,
                                            FlashScriptEngineData*& self)
{
    self = qobject_cast<FlashScriptEngineData*>(engine);
    if (self == nullptr)
        return context->throwError(QScriptContext::ReferenceError,
                                   QStringLiteral("Internal script engine error"));
    return QScriptValue(QScriptValue::UndefinedValue);
}

QScriptValue FlashScriptEngineData::getParameter(const QScriptValue& name)
{
    if (!name.isValid() || !name.isString())
        return throwError(QScriptContext::SyntaxError,
                          QStringLiteral("getParameter should not be called directly"));
    const QString key = name.toString();

    const SharedPointer<FlashDevice2>& device = m_runner->getDevice();
    if (device) {
        if (key == QLatin1String("serial"))
            return QScriptValue(device->getSerial());
        if (key == QLatin1String("soc_sn") || key == QLatin1String("soc_serial"))
            return QScriptValue(device->getSocSerial());
        if (key == QLatin1String("os_sn") || key == QLatin1String("os_serial"))
            return QScriptValue(device->getPlatformSerial());
        if (key == QLatin1String("port"))
            return QScriptValue(device->getPort().toString());
    }

    if (key == QLatin1String("flash_dir") || key == QLatin1String("flashDir")) {
        const QSharedPointer<FlashConfiguration> configuration = m_runner->getConfiguration();
        if (!configuration)
            return throwError(QScriptContext::ReferenceError,
                              QStringLiteral("Cannot use ${flashDir} predefined key without loading a configuration"));
        const QSharedPointer<FlashFileContext> flashFile = configuration->getFlashFileContext();
        if (!flashFile || flashFile->getPath().isEmpty())
            return throwError(QScriptContext::ReferenceError,
                              QStringLiteral("Cannot use ${flashDir} predefined key without loading a file from disk"));
        return QScriptValue(QFileInfo(flashFile->getPath()).absolutePath());
    }
    if (key == QLatin1String("hostOsName"))
        return QScriptValue(QString::fromUtf8(getOSVersion().name));
    if (key == QLatin1String("hostOsArch")) {
        switch (getOSVersion().arch) {
        case OSArch64: return QScriptValue(64);
        case OSArch32: return QScriptValue(32);
        case OSArchUnknown: return QScriptValue(QScriptValue::NullValue);
        default:
            return throwError(QScriptContext::UnknownError,
                              QStringLiteral("Unkwnown retreived OS architecture"));
        }
    }

    const QSharedPointer<FlashParameterValue> value = m_runner->getFlashParameterValue(key);
    if (!value)
        return throwError(QScriptContext::ReferenceError,
                          QStringLiteral("Parameter %1 is not defined or does not have value associated to the current configuration")
                              .arg(key));
    if (value->getParameterType() == FlashParameter::Variable) {
        if (auto* variable = dynamic_cast<FlashVariableValue*>(value.data()))
            return VariantToScriptValue(variable->getVariant(*m_runner));
    }
    return textValue(value->getValue(*m_runner));
}

QScriptValue FlashScriptEngineData::getParameter(const QScriptValue& name, const QScriptValue& index)
{
    if (!name.isValid() || !name.isString())
        return throwError(QScriptContext::SyntaxError,
                          QStringLiteral("getParameter should not be called directly"));
    if (!index.isValid() || !(index.isNumber() || index.isString()))
        return throwError(QScriptContext::TypeError, QStringLiteral("Indirection value is not a string"));
    const QString key = name.toString();
    const QString option = index.toString();

    for (const char* predefined : kNoIndirectionKeys) {
        if (key == QLatin1String(predefined))
            return throwError(QScriptContext::SyntaxError,
                              QStringLiteral("Predefined keys do not support indirection"));
    }
    const QSharedPointer<FlashParameter> parameter = m_runner->getFlashParameter(key);
    if (!parameter)
        return throwError(QScriptContext::ReferenceError,
                          QStringLiteral("Parameter %1 is not defined").arg(key));
    if (parameter->getType() == FlashParameter::Variable)
        return throwError(QScriptContext::SyntaxError,
                          QStringLiteral("Indirections are not allowed on variables"));
    const QSharedPointer<FlashParameterValue> value = m_runner->getFlashParameterValue(key, option);
    if (!value)
        return throwError(QScriptContext::ReferenceError,
                          QStringLiteral("The indirection value '%1' is not a valid option key for parameter '%2'")
                              .arg(option, key));
    return textValue(value->getValue(*m_runner));
}

QScriptValue FlashScriptEngineData::logMessage(const QScriptValue& level, const QString& text)
{
    if (!level.isObject())
        return throwError(QScriptContext::TypeError, QStringLiteral("Invalid log level"));
    const QScriptValue value = level.property(QStringLiteral("value"));
    if (!value.isNumber())
        return throwError(QScriptContext::TypeError, QStringLiteral("Invalid log level value"));
    const QScriptValue name = level.property(QStringLiteral("name"));
    if (!name.isString())
        return throwError(QScriptContext::TypeError, QStringLiteral("Log level value is not valid"));
    const quint32 number = value.toUInt32();
    if (number >= kLevelNames.size() || static_cast<qsreal>(number) != value.toInteger())
        return throwError(QScriptContext::TypeError, QStringLiteral("Unknown log level value"));
    if (name.toString() != QLatin1String(kLevelNames[number]))
        return throwError(QScriptContext::TypeError, QStringLiteral("Invalid log level used"));
    m_runner->logMessage(static_cast<Logger::LogLevel>(number), text);
    return QScriptValue(QScriptValue::UndefinedValue);
}

QScriptValue FlashScriptEngineData::alert(const QString& text)
{
    m_runner->sendDisplayMessageBoxSignal(QStringLiteral("info"), text, nullptr);
    return QScriptValue(QScriptValue::UndefinedValue);
}

QScriptValue FlashScriptEngineData::throwError(QScriptContext::Error kind, const QString& message)
{
    return currentContext()->throwError(kind, message);
}

QScriptValue FlashScriptEngineData::VariantToScriptValue(const QVariant& value)
{
    if (value.type() == QVariant::Invalid)
        return QScriptValue(QScriptValue::UndefinedValue);
    if (value.isNull())
        return QScriptValue(QScriptValue::NullValue);

    switch (value.type()) {
    case QVariant::Bool:
        return QScriptValue(value.toBool());
    case QVariant::Int:
        return QScriptValue(value.toInt());
    case QVariant::UInt:
        return QScriptValue(value.toUInt());
    case QVariant::LongLong:
    case QVariant::ULongLong:
    case QVariant::Double:
        return QScriptValue(value.toDouble());
    case QVariant::Map: {
        const QVariantMap map = value.toMap();
        QScriptValue object = newObject();
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            object.setProperty(it.key(), VariantToScriptValue(it.value()));
        return object;
    }
    case QVariant::List:
    case QVariant::StringList: {
        const QVariantList list = value.toList();
        QScriptValue array = newArray(static_cast<uint>(list.size()));
        for (int i = 0; i < list.size(); ++i)
            array.setProperty(static_cast<quint32>(i), VariantToScriptValue(list.at(i)));
        return array;
    }
    case QVariant::String:
    case QVariant::Url:
        return QScriptValue(value.toString());
    case QVariant::Date:
    case QVariant::DateTime:
        return newDate(value.toDateTime());
    case QVariant::RegExp:
        return newRegExp(value.toRegExp());
    default:
        return newVariant(value);
    }
}
