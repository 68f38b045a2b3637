#pragma once

// Aborts the evaluation of a run's script once the run is cancelled, so that a script stuck in a
// loop cannot hold a stopped flash. It checks at every statement the engine reports and whenever
// the evaluation's watch timer asks (tight loops report no statements), and remembers the last
// line reached. Owned by the run's FlashScriptEngine; called on the run's thread only.

#include <QScriptEngineAgent>

class FlashRunner;

class FlashScriptEngineAgent : public QScriptEngineAgent
{
public:
    FlashScriptEngineAgent(QScriptEngine* engine, const FlashRunner& runner);

    void positionChange(qint64 scriptId, int lineNumber, int columnNumber) override;

    void abortWhenCancelled();
    // Line of the statement that was running when the evaluation was aborted; 0 when it was not.
    int abortedLine() const;
    // Line of the last statement the evaluation reached.
    int lastLine() const;
    // Before each evaluation.
    void reset();

private:
    const FlashRunner& m_runner;
    int m_line = 1;
    int m_abortedLine = 0;
};
