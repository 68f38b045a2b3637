#pragma once

// Script engine of one flash run (preconditions, success conditions, value scripts): rewrites
// ${name} and ${name,option} references into calls of $.getParameter, evaluates each script on a
// fresh copy of the global object, and converts between script values and QVariant.
// Owned by its FlashRunner; used only by the run's thread (any thread, with or without an event
// loop). Script code runs only inside evaluations that the run's cancel aborts. The static
// functions keep no state and may be called from any thread.

#include "model/FlashCommand.h"

#include <QScriptValue>
#include <QString>
#include <QVariant>

#include <map>
#include <memory>
#include <set>

class FlashRunner;
class FlashScriptEngineAgent;
class FlashScriptEngineData;

class FlashScriptEngine
{
public:
    using ScriptValues = std::map<QString, QScriptValue>;

    explicit FlashScriptEngine(FlashRunner& runner);
    virtual ~FlashScriptEngine();
    FlashScriptEngine(const FlashScriptEngine&) = delete;
    FlashScriptEngine& operator=(const FlashScriptEngine&) = delete;

    // ${name} becomes ($.getParameter("name")), ${name,option} becomes
    // ($.getParameter("name", $.getParameter("option"))); every reference is added to `keys`.
    static QString escapeFlashParameters(const QString& script,
                                         std::set<FlashCommand::CommandParameter>& keys);
    static QString escapeFlashParameters(const QString& script);

    // Evaluates `script` from line 1 with `values` as read-only variables. False on an uncaught
    // error (a syntax error, a raised error, or the run cancelled meanwhile): `result` then holds
    // the error's text as a string ("TypeError: bad"; made while a cancel could still stop a
    // thrown object's own toString) and `errorLine` its line (for a thrown value that is no error
    // object, the last line the script reached); otherwise `errorLine` is left untouched.
    bool execute(const QString& script, QScriptValue& result, int& errorLine,
                 const ScriptValues& values = ScriptValues());
    bool execute(const QString& script, const ScriptValues& values);

    // The text of a value (String(value)). An object's text may run script code (its toString):
    // that happens in an evaluation that the run's cancel aborts; a conversion that throws or is
    // cancelled gives the text of what stopped it. A value over the conversion's limits (below) gets
    // a fixed text instead ("[array of more than 1048576 elements]", "[object nested deeper than
    // 512 levels]"): the engine's own text of such a value crashes or runs for hours.
    QString toText(const QScriptValue& value);

    // Arrays become QVariantList, other objects QVariantMap (by name), null a null QString;
    // functions, QObjects and undefined an invalid QVariant. Accessor properties (getters) are left
    // out, so the conversion runs no script code. An invalid QVariant and `error` when the value
    // refers to itself, is nested deeper than 512 levels or holds more than 1048576 elements in
    // all (each slot up to an array's highest index counts).
    static QVariant ScriptValueToVariant(const QScriptValue& value, QString& error);
    static QVariant ScriptValueToVariant(const QScriptValue& value);
    QScriptValue VariantToScriptValue(const QVariant& value);

private:
    enum class Outcome { Completed, Threw, Cancelled };
    // Evaluates `program` on a copy of the global object in a new context holding `values`, with
    // the cancel watch running. `result`: the value, or the thrown value; `line`: the line of the
    // throw or of the cancel.
    Outcome evaluateGuarded(const QString& program, const ScriptValues& values, QScriptValue& result,
                            int& line);

    std::unique_ptr<FlashScriptEngineData> m_data;
    std::unique_ptr<FlashScriptEngineAgent> m_agent;
};
