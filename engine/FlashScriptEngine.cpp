#include "engine/FlashScriptEngine.h"

#include "engine/FlashScriptEngineAgent.h"
#include "engine/FlashScriptEngineData.h"
#include "model/ParameterReferences.h"

#include <QDateTime>
#include <QEventLoop>
#include <QScriptContext>
#include <QScriptValueIterator>
#include <QThread>
#include <QTimer>
#include <QVariantList>
#include <QVariantMap>

#include <set>

namespace {

// How often a long evaluation looks at the run's cancel flag besides its statements.
constexpr int kCancelCheckIntervalMs = 50;

// Limits of one conversion to QVariant: elements in all (each hole of a sparse array counts, a[4e9]
// would cost gigabytes) and depth (the conversion recurses once per level).
constexpr qint64 kMaxConvertedElements = 1 << 20;
constexpr int kMaxConvertedDepth = 512;

const char* const kCancelledText = "Error: Script evaluation cancelled";

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

// The line an error object carries, read without running script code (no getter, own property
// only); 0 when there is none.
int thrownLine(const QScriptValue& thrown)
{
    const QString name = QStringLiteral("lineNumber");
    if (!thrown.isObject()
        || (thrown.propertyFlags(name, QScriptValue::ResolveLocal) & QScriptValue::PropertyGetter))
        return 0;
    const QScriptValue line = thrown.property(name, QScriptValue::ResolveLocal);
    return line.isNumber() ? line.toInt32() : 0;
}

// Reading an accessor property would run its getter, script code outside any evaluation.
bool isAccessor(const QScriptValueIterator& it)
{
    return it.flags() & (QScriptValue::PropertyGetter | QScriptValue::PropertySetter);
}

// Whether String() of a thrown value stays within the conversion's limits. An array's text visits
// every slot up to its length, holes included (the engine's toString allocates them all and dies
// on a[4294967294]; its join would loop for hours), nested arrays each time they occur; an error's
// text reads its own properties. So every slot of an array and every own property of an object
// counts, nested values too; a value met again on its own path is a leaf, as String() makes it.
class TextBudget
{
public:
    bool fits(const QScriptValue& value, int depth)
    {
        if (!value.isObject() || value.isFunction() || value.isQObject() || value.isQMetaObject()
            || value.isVariant())
            return true;
        if (depth >= kMaxConvertedDepth) {
            m_excess = QStringLiteral("nested deeper than %1 levels").arg(kMaxConvertedDepth);
            return false;
        }
        const qint64 id = value.objectId();
        if (!m_path.insert(id).second)
            return true;
        const bool fits = fitsMembers(value, depth);
        m_path.erase(id);
        return fits;
    }

    // What exceeds the limits once fits() said false ("of more than 1048576 elements").
    QString excess() const { return m_excess; }

private:
    bool fitsMembers(const QScriptValue& object, int depth)
    {
        const bool isArray = object.isArray();
        if (isArray && !spend(object.property(QStringLiteral("length")).toUInt32()))
            return false;
        QScriptValueIterator it(object);
        while (it.hasNext()) {
            it.next();
            if (isAccessor(it))
                continue;
            if ((!isArray && !spend(1)) || !fits(it.value(), depth + 1))
                return false;
        }
        return true;
    }

    bool spend(qint64 elements)
    {
        m_elements += elements;
        if (m_elements <= kMaxConvertedElements)
            return true;
        m_excess = QStringLiteral("of more than %1 elements").arg(kMaxConvertedElements);
        return false;
    }

    std::set<qint64> m_path;
    qint64 m_elements = 0;
    QString m_excess;
};

// One conversion of a script value to QVariant, with its element budget and the objects on the
// path from the root, so that a value that refers to itself is an error and not an endless descent.
class VariantConverter
{
public:
    bool convert(const QScriptValue& value, QVariant& variant, int depth)
    {
        if (!value.isValid() || value.isUndefined() || value.isQMetaObject() || value.isQObject()
            || value.isFunction()) {
            variant = QVariant();
        } else if (value.isNull()) {
            variant = QVariant(QVariant::String);
        } else if (value.isNumber()) {
            variant = QVariant(value.toNumber());
        } else if (value.isDate()) {
            variant = QVariant(value.toDateTime());
        } else if (value.isBool()) {
            variant = QVariant(value.toBool());
        } else if (value.isRegExp()) {
            variant = QVariant(value.toRegExp());
        } else if (value.isVariant()) {
            variant = value.toVariant();
        } else if (value.isObject()) {
            return convertObject(value, variant, depth);
        } else if (value.isString()) {
            variant = QVariant(value.toString());
        } else {
            variant = QVariant();
        }
        return true;
    }

    QString error() const { return m_error; }

private:
    bool convertObject(const QScriptValue& object, QVariant& variant, int depth)
    {
        if (depth >= kMaxConvertedDepth)
            return fail(QStringLiteral("the value is nested deeper than %1 levels").arg(kMaxConvertedDepth));
        const qint64 id = object.objectId();
        if (!m_path.insert(id).second)
            return fail(QStringLiteral("the value refers to itself"));
        const bool converted = object.isArray() ? convertArray(object, variant, depth)
                                                : convertMap(object, variant, depth);
        m_path.erase(id);
        return converted;
    }

    // QScriptValue::toVariant drops holes and non-element detail: the list is built by index.
    bool convertArray(const QScriptValue& array, QVariant& variant, int depth)
    {
        QVariantList list;
        QScriptValueIterator it(array);
        while (it.hasNext()) {
            it.next();
            quint32 index = 0;
            if (!toArrayIndex(it.name(), index) || isAccessor(it))
                continue;
            if (index >= static_cast<quint32>(list.size())) {
                if (!spend(qint64(index) + 1 - list.size()))
                    return false;
                list.reserve(static_cast<int>(index) + 1);
                while (list.size() <= static_cast<int>(index))
                    list.append(QVariant());
            }
            if (!convert(it.value(), list[static_cast<int>(index)], depth + 1))
                return false;
        }
        variant = list;
        return true;
    }

    bool convertMap(const QScriptValue& object, QVariant& variant, int depth)
    {
        QVariantMap map;
        QScriptValueIterator it(object);
        while (it.hasNext()) {
            it.next();
            if (isAccessor(it))
                continue;
            if (!spend(1))
                return false;
            QVariant member;
            if (!convert(it.value(), member, depth + 1))
                return false;
            map.insert(it.name(), member);
        }
        variant = map;
        return true;
    }

    bool spend(qint64 elements)
    {
        m_elements += elements;
        if (m_elements <= kMaxConvertedElements)
            return true;
        return fail(QStringLiteral("the value holds more than %1 elements").arg(kMaxConvertedElements));
    }

    bool fail(const QString& error)
    {
        m_error = error;
        return false;
    }

    std::set<qint64> m_path;
    qint64 m_elements = 0;
    QString m_error;
};

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
    return substituteParameterReferences(script, [&keys](const QString& name, const QString& option) {
        keys.insert(FlashCommand::CommandParameter(name, option.isNull() ? QString() : option));
        QString call = QLatin1String("($.getParameter(") + toStringLiteral(name);
        if (!option.isNull())
            call += QLatin1String(", $.getParameter(") + toStringLiteral(option) + QLatin1Char(')');
        return std::optional<QString>(call + QLatin1String("))"));
    });
}

QString FlashScriptEngine::escapeFlashParameters(const QString& script)
{
    std::set<FlashCommand::CommandParameter> unused;
    return escapeFlashParameters(script, unused);
}

bool FlashScriptEngine::execute(const QString& script, QScriptValue& result, int& errorLine,
                                const ScriptValues& values)
{
    QScriptValue value;
    int line = 0;
    switch (evaluateGuarded(script, values, value, line)) {
    case Outcome::Completed:
        result = value;
        return true;
    case Outcome::Cancelled:
        result = QScriptValue(QLatin1String(kCancelledText));
        break;
    case Outcome::Threw:
        result = QScriptValue(toText(value));
        break;
    }
    errorLine = line;
    return false;
}

bool FlashScriptEngine::execute(const QString& script, const ScriptValues& values)
{
    QScriptValue result;
    int errorLine = 0;
    return execute(script, result, errorLine, values);
}

QString FlashScriptEngine::toText(const QScriptValue& value)
{
    // A primitive value's text runs no script code.
    if (!value.isObject())
        return value.toString();
    TextBudget budget;
    if (!budget.fits(value, 0))
        return QStringLiteral("[%1 %2]").arg(value.isArray() ? QStringLiteral("array") : QStringLiteral("object"),
                                             budget.excess());
    QScriptValue text;
    int line = 0;
    switch (evaluateGuarded(QStringLiteral("String($value)"), {{QStringLiteral("$value"), value}}, text, line)) {
    case Outcome::Completed:
        return text.toString();
    case Outcome::Cancelled:
        return QLatin1String(kCancelledText);
    case Outcome::Threw:
        break;
    }
    return text.isObject() ? QStringLiteral("Error: the thrown value has no text") : text.toString();
}

FlashScriptEngine::Outcome FlashScriptEngine::evaluateGuarded(const QString& program,
                                                              const ScriptValues& values,
                                                              QScriptValue& result, int& line)
{
    QScriptEngine* engine = m_data.get();
    QScriptContext* context = engine->pushContext();
    QScriptValue activation = context->activationObject();
    const QScriptValue global = engine->globalObject();
    engine->setGlobalObject(clone(engine, global));
    context->setThisObject(engine->newObject());
    for (const auto& [name, value] : values)
        activation.setProperty(name, value, QScriptValue::ReadOnly | QScriptValue::Undeletable);

    // Loops that report no statement are watched by a timer that the engine's own event
    // processing runs. A thread that Qt did not start has no event dispatcher until an event loop
    // is made on it.
    if (QThread::currentThread()->eventDispatcher() == nullptr)
        QEventLoop makesTheDispatcher;
    m_agent->reset();
    QTimer cancelWatch;
    cancelWatch.setInterval(kCancelCheckIntervalMs);
    QObject::connect(&cancelWatch, &QTimer::timeout, [this] { m_agent->abortWhenCancelled(); });
    cancelWatch.start();
    result = engine->evaluate(program, QString(), 1);
    cancelWatch.stop();

    Outcome outcome = Outcome::Completed;
    if (m_agent->abortedLine() != 0) {
        // An aborted evaluation ends like a normal one; the caller must see a failure.
        outcome = Outcome::Cancelled;
        line = m_agent->abortedLine();
    } else if (engine->hasUncaughtException()) {
        outcome = Outcome::Threw;
        result = engine->uncaughtException();
        line = thrownLine(result);
        if (line <= 0)
            line = m_agent->lastLine();
    }
    engine->clearExceptions();
    engine->popContext();
    engine->setGlobalObject(global);
    return outcome;
}

QVariant FlashScriptEngine::ScriptValueToVariant(const QScriptValue& value, QString& error)
{
    VariantConverter converter;
    QVariant variant;
    if (!converter.convert(value, variant, 0)) {
        error = converter.error();
        return QVariant();
    }
    return variant;
}

QVariant FlashScriptEngine::ScriptValueToVariant(const QScriptValue& value)
{
    QString unused;
    return ScriptValueToVariant(value, unused);
}

QScriptValue FlashScriptEngine::VariantToScriptValue(const QVariant& value)
{
    return m_data->VariantToScriptValue(value);
}
