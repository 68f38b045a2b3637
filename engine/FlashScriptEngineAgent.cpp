#include "engine/FlashScriptEngineAgent.h"

#include "engine/FlashRunner.h"

#include <QScriptEngine>

FlashScriptEngineAgent::FlashScriptEngineAgent(QScriptEngine* engine, const FlashRunner& runner)
    : QScriptEngineAgent(engine)
    , m_runner(runner)
{
}

void FlashScriptEngineAgent::positionChange(qint64, int lineNumber, int)
{
    if (lineNumber > 0)
        m_line = lineNumber;
    abortWhenCancelled();
}

void FlashScriptEngineAgent::abortWhenCancelled()
{
    if (m_abortedLine == 0 && m_runner.isCancelled() && engine()->isEvaluating()) {
        m_abortedLine = m_line;
        engine()->abortEvaluation();
    }
}

int FlashScriptEngineAgent::abortedLine() const
{
    return m_abortedLine;
}

int FlashScriptEngineAgent::lastLine() const
{
    return m_line;
}

void FlashScriptEngineAgent::reset()
{
    m_line = 1;
    m_abortedLine = 0;
}
