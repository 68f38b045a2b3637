#pragma once

// The script engine object of one flash run: a QScriptEngine whose global object carries `$`,
// the API of flash-file scripts ($.getParameter, $.log with the level objects $.Fatal ... $.Trace,
// $.alert). Failures raise script errors with fixed messages; nothing here logs.
// Owned by the run's FlashScriptEngine; built on the thread that creates the run and then called
// only from the run's thread.

#include <QScriptContext>
#include <QScriptEngine>
#include <QScriptValue>
#include <QString>
#include <QVariant>

class FlashRunner;

class FlashScriptEngineData : public QScriptEngine
{
    Q_OBJECT

public:
    explicit FlashScriptEngineData(FlashRunner* runner);
    ~FlashScriptEngineData() override;

    // Native bodies of $.log, $.alert and $.getParameter.
    static QScriptValue logCallback(QScriptContext* context, QScriptEngine* engine);
    static QScriptValue alertCallback(QScriptContext* context, QScriptEngine* engine);
    static QScriptValue getParameterCallback(QScriptContext* context, QScriptEngine* engine);
    // Undefined when `engine` is a FlashScriptEngineData (then stored in `self`), else the raised
    // ReferenceError.
    static QScriptValue getThis(QScriptContext* context, QScriptEngine* engine,
                                FlashScriptEngineData*& self);

    // A predefined key or a parameter of the run.
    QScriptValue getParameter(const QScriptValue& name);
    // Option `index` of a file, temporary-file or string parameter.
    QScriptValue getParameter(const QScriptValue& name, const QScriptValue& index);
    QScriptValue logMessage(const QScriptValue& level, const QString& text);
    QScriptValue alert(const QString& text);
    // Raises the error in the current context and returns it.
    QScriptValue throwError(QScriptContext::Error kind, const QString& message);
    QScriptValue VariantToScriptValue(const QVariant& value);

private:
    FlashRunner* m_runner;
};
