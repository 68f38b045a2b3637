#include "engine/FlashScriptEngine.h"

#include "engine/FlashScriptEngineAgent.h"
#include "engine/FlashScriptEngineData.h"

#include <QDateTime>
#include <QRegExp>
#include <QScriptContext>
#include <QScriptValueIterator>
#include <QThread>
#include <QTimer>
#include <QVariantList>
#include <QVariantMap>

namespace {

// How often a long evaluation looks at the run's cancel flag besides its statements.
constexpr int kCancelCheckIntervalMs = 50;

// A sparse array becomes a list with a hole per missing element: elements this far out would
// cost gigabytes of holes (a[4e9] = 1), so they are left out.
constexpr quint32 kMaxListLength = 1u << 24;

const char* const kReferencePattern = "\\$\\{([^\\},]+)(?:,([^\\},]+))?\\}";

// Text that stands unchanged inside a double-quoted script string. Besides the quote and the
// backslash, line terminators are escaped: a raw one would end the literal with a syntax error.
QString toStringLiteral(const QString& text)
{
    QString literal;
    literal.reserve(text.size() + 2);
    literal += QLatin1Char('"');
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '\\': literal += QLatin1String("\\\\"); break;
        case '"': literal += QLatin1String("\\\""); break;
        case '\n': literal += QLatin1String("\\n"); break;
        case '\r': literal += QLatin1String("\\r"); break;
        case 0x2028: literal += QLatin1String("\\u2028"); break;
        case 0x2029: literal += QLatin1String("\\u2029"); break;
        default: literal += c;
        }
    }
    literal += QLatin1Char('"');
    return literal;
}

// True for the names of array elements: canonical decimal numbers below 2^32 - 1.
bool toArrayIndex(const QString& name, quint32& index)
{
    bool ok = false;
    index = name.toUInt(&ok);
    return ok && index != 0xffffffffu && QString::number(index) == name;
}

// Copies a value into `engine` so that an evaluation can change the copy freely. Functions and
// wrapped QObjects stay shared; the global object holds no cycle among plain objects, so the copy
// needs no record of visited objects.
QScriptValue clone(QScriptEngine* engine, const QScriptValue& value)
{
    if (!value.isObject() || value.isFunction())
        return value;
    if (value.isQObject())
        return engine->newQObject(value.toQObject(), QScriptEngine::QtOwnership);

    QScriptValue copy = value.isArray() ? engine->newArray() : engine->newObject();
    copy.setData(value.data());
    QScriptValueIterator it(value);
    while (it.hasNext()) {
        it.next();
        copy.setProperty(it.scriptName(), clone(engine, it.value()), it.flags());
    }
    return copy;
}

} // namespace

FlashScriptEngine::FlashScriptEngine(FlashRunner& runner)
    : m_data(new FlashScriptEngineData(&runner))
    , m_agent(new FlashScriptEngineAgent(m_data.get(), runner))
{
    m_data->setAgent(m_agent.get());
    // A long evaluation processes the evaluating thread's events at this interval: that is when
    // the watch timer of `execute` gets its turn, also inside loops that report no statement.
    m_data->setProcessEventsInterval(kCancelCheckIntervalMs);
}

FlashScriptEngine::~FlashScriptEngine()
{
    m_data->setAgent(nullptr);
    m_agent.reset();
}

QString FlashScriptEngine::escapeFlashParameters(const QString& script,
                                                 std::set<FlashCommand::CommandParameter>& keys)
{
    QRegExp pattern(QLatin1String(kReferencePattern), Qt::CaseSensitive, QRegExp::RegExp2);
    QString result = script;
    int position = 0;
    while ((position = pattern.indexIn(result, position)) != -1) {
        const QString name = pattern.cap(1);
        const QString option = pattern.cap(2);
        QString call = QLatin1String("($.getParameter(") + toStringLiteral(name);
        if (!option.isEmpty()) {
            call += QLatin1String(", $.getParameter(") + toStringLiteral(option) + QLatin1Char(')');
            keys.insert(FlashCommand::CommandParameter(name, option));
        } else {
            keys.insert(FlashCommand::CommandParameter(name, QString()));
        }
        call += QLatin1String("))");
        result.replace(position, pattern.matchedLength(), call);
        position += call.size();
    }
    return result;
}

QString FlashScriptEngine::escapeFlashParameters(const QString& script)
{
    std::set<FlashCommand::CommandParameter> unused;
    return escapeFlashParameters(script, unused);
}

bool FlashScriptEngine::execute(const QString& script, QScriptValue& result, int& errorLine,
                                const ScriptValues& values)
{
    QScriptEngine* engine = m_data.get();
    QScriptContext* context = engine->pushContext();
    QScriptValue activation = context->activationObject();
    const QScriptValue global = engine->globalObject();
    engine->setGlobalObject(clone(engine, global));
    context->setThisObject(engine->newObject());
    for (const auto& [name, value] : values)
        activation.setProperty(name, value, QScriptValue::ReadOnly | QScriptValue::Undeletable);

    m_agent->reset();
    QTimer cancelWatch;
    cancelWatch.setInterval(kCancelCheckIntervalMs);
    QObject::connect(&cancelWatch, &QTimer::timeout, [this] { m_agent->abortWhenCancelled(); });
    if (QThread::currentThread()->eventDispatcher() != nullptr)
        cancelWatch.start();
    result = engine->evaluate(script, QString(), 1);
    cancelWatch.stop();
    bool success = true;
    if (engine->hasUncaughtException()) {
        errorLine = engine->uncaughtExceptionLineNumber();
        success = false;
    } else if (m_agent->abortedLine() != 0) {
        // An aborted evaluation ends like a normal one; the caller must see a failure.
        result = context->throwError(QStringLiteral("Script evaluation cancelled"));
        errorLine = m_agent->abortedLine();
        success = false;
    }
    engine->clearExceptions();
    engine->popContext();
    engine->setGlobalObject(global);
    return success;
}

bool FlashScriptEngine::execute(const QString& script, const ScriptValues& values)
{
    QScriptValue result;
    int errorLine = 0;
    return execute(script, result, errorLine, values);
}

QVariant FlashScriptEngine::ScriptValueToVariant(const QScriptValue& value)
{
    if (!value.isValid() || value.isUndefined() || value.isQMetaObject() || value.isQObject()
        || value.isFunction())
        return QVariant();
    if (value.isNull())
        return QVariant(QVariant::String);
    if (value.isNumber())
        return QVariant(value.toNumber());
    if (value.isDate())
        return QVariant(value.toDateTime());
    if (value.isBool())
        return QVariant(value.toBool());
    if (value.isRegExp())
        return QVariant(value.toRegExp());
    if (value.isVariant())
        return value.toVariant();
    if (value.isArray()) {
        // QScriptValue::toVariant drops holes and non-element detail; build the list by index.
        QVariantList list;
        QScriptValueIterator it(value);
        while (it.hasNext()) {
            it.next();
            quint32 index = 0;
            if (!toArrayIndex(it.name(), index) || index >= kMaxListLength)
                continue;
            const int position = static_cast<int>(index);
            if (position >= list.size()) {
                list.reserve(position + 1);
                while (list.size() <= position)
                    list.append(QVariant());
            }
            list[position] = ScriptValueToVariant(it.value());
        }
        return list;
    }
    if (value.isObject()) {
        QVariantMap map;
        QScriptValueIterator it(value);
        while (it.hasNext()) {
            it.next();
            map.insert(it.name(), ScriptValueToVariant(it.value()));
        }
        return map;
    }
    if (value.isString())
        return QVariant(value.toString());
    return QVariant();
}

QScriptValue FlashScriptEngine::VariantToScriptValue(const QVariant& value)
{
    return m_data->VariantToScriptValue(value);
}
