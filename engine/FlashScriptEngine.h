#pragma once

// Script engine of one flash run (preconditions, success conditions, value scripts): rewrites
// ${name} and ${name,option} references into calls of $.getParameter, evaluates each script on a
// fresh copy of the global object, and converts between script values and QVariant.
// Owned by its FlashRunner; used only by the run's thread. The static functions keep no state
// and may be called from any thread.

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
    // the error and `errorLine` its line; otherwise `errorLine` is left untouched.
    bool execute(const QString& script, QScriptValue& result, int& errorLine,
                 const ScriptValues& values = ScriptValues());
    bool execute(const QString& script, const ScriptValues& values);

    // Arrays become QVariantList, other objects QVariantMap (by name), null a null QString;
    // functions, QObjects and undefined an invalid QVariant.
    static QVariant ScriptValueToVariant(const QScriptValue& value);
    QScriptValue VariantToScriptValue(const QVariant& value);

private:
    std::unique_ptr<FlashScriptEngineData> m_data;
    std::unique_ptr<FlashScriptEngineAgent> m_agent;
};
