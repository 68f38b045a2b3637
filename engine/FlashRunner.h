#pragma once

// Context of one flash of one device: the device, the configuration and the run's view of its
// parameters, the per-run storages of parameter values, the script engine, the run's log channel
// ("Port <port>"), progress signals, questions to the user and every blocking step of the run.
// Created by the FlashRunnable on the thread that starts the flash (the settings' thread), shared by
// the runnable, the device (while attached) and the commands. The run's pool thread calls
// everything; `cancel` and `isCancelled` come from any thread.

#include "core/ProgramRun.h"
#include "platform/device/DeviceTypes.h"
#include "platform/device/SharedPointer.h"
#include "platform/log/LoggedObject.h"

#include <QIODevice>
#include <QMetaType>
#include <QMutex>
#include <QScriptValue>
#include <QObject>
#include <QSharedPointer>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>

class ChildProcess;
class FlashConfiguration;
class FlashDevice2;
class FlashFileContext;
class FlashParameter;
class FlashParameterValue;
class FlashRunnable;
class FlashScriptEngine;
class FlashStorageArea;
class QWaitCondition;

class FlashRunner : public QObject, public LoggedObject, private ProgramStopper
{
    Q_OBJECT

public:
    // Outcome of waitForCondition and waitForDevice.
    enum WaitResult { WaitDone = 0, WaitCancelled = 1, WaitTimedOut = 2 };
    // Outcome of sleep.
    enum SleepResult { SleepElapsed = 0, SleepCancelled = 1, SleepWokenEarly = 2 };

    using Parameters = std::map<QString, QSharedPointer<FlashParameter>>;
    using SelectedValues = std::map<QString, QString>;
    using ParameterValues = std::map<QString, QSharedPointer<FlashParameterValue>>;
    using ScriptValues = std::map<QString, QScriptValue>;

    // The run's parameters and selected values are copies of the configuration's, taken here.
    FlashRunner(const FlashRunnable* parent, const SharedPointer<FlashDevice2>& device,
                const QSharedPointer<FlashConfiguration>& configuration);
    // A runner without parent, device or configuration (tests, stand-alone scripts).
    FlashRunner();
    // Cancels the run (without touching the device, which no longer holds it), then deletes the
    // storages (removing temporary files) and the script engine.
    ~FlashRunner() override;

    // Once: sets the cancel flag, wakes the wait in progress, kills the program in progress (its
    // whole process group) and aborts a running script; then, outside the runner's lock, puts the
    // device back to pending when this run is flashing it.
    void cancel();
    bool isCancelled() const;

    const SharedPointer<FlashDevice2>& getDevice() const;
    QSharedPointer<FlashConfiguration> getConfiguration() const;
    const FlashRunnable* getParent() const;
    // The pause between two commands (FMConst::COMMAND_DELAY) as it was when the runner was made:
    // the settings change it on their own thread, the run reads this copy.
    uint64_t getCommandDelay() const;

    const Parameters& getFlashParameters() const;
    QSharedPointer<FlashParameter> getFlashParameter(const QString& name) const;
    // The value selected for this run, else the parameter's only value; null when none.
    QSharedPointer<FlashParameterValue> getFlashParameterValue(const QString& name) const;
    // The parameter's option `valueId`; null when the parameter or the option is absent.
    QSharedPointer<FlashParameterValue> getFlashParameterValue(const QString& name,
                                                               const QString& valueId) const;
    // Per parameter: its only value, else the selected one; parameters without either are left out.
    ParameterValues getFlashParameterValues() const;

    // The storage of `key` for this run, created from `initial` on first use and owned by the
    // runner; null when the storage registered under `key` is of another kind. Run thread only.
    template <class T, class A>
    T* getStorage(const FlashParameterValue* key, A initial);

    // Starts `program` (argument list, no shell) and waits for its end; a cancel kills it. A
    // time-out above 2147483647 ms waits without limit. The caller reads output and exit code from
    // `process`.
    ProgramOutcome runExternalProgram(ChildProcess& process, const QString& program, const QStringList& arguments,
                           uint64_t timeoutMs,
                           QIODevice::OpenMode mode = QIODevice::ReadWrite);
    // WaitDone when `condition` was woken, WaitCancelled, WaitTimedOut. The all-ones value (and any
    // time-out above 2147483647 ms) waits without limit.
    int waitForCondition(QWaitCondition& condition, uint64_t timeoutMs);
    // WaitDone when the device reached `state`, WaitCancelled, WaitTimedOut (also without a device
    // or on an idle device, which refuses to wait).
    int waitForDevice(DeviceState state, uint64_t timeoutMs);
    // SleepElapsed when the whole delay passed, SleepCancelled, SleepWokenEarly (logged at ERROR).
    int sleep(uint64_t delayMs);

    // Evaluates an already rewritten script in the run's script engine; false on an uncaught
    // error (also when the run is cancelled during the evaluation), then `result` holds the error
    // and `errorLine` its line.
    bool executeScript(const QString& script, QScriptValue& result, int& errorLine,
                       const ScriptValues& values = ScriptValues());
    FlashScriptEngine& getScriptEngine();

    // Configuration-level progress last stored (not the command-level one). Any thread.
    void getProgress(uint64_t& done, uint64_t& total) const;

    // Asks the desktop face (blocking when connected); `answer` is written by the receiver.
    void sendDisplayMessageBoxSignal(const QString& kind, const QString& text, bool* answer);
    void sendDisplayNotifierToolSignal(const QString& text, uint64_t durationMs);

signals:
    void progressionChanged(uint64_t done, uint64_t total);
    void progressionInfoChanged(const QString& text);
    void displayMessageBox(const QString& kind, const QString& text, bool* answer = nullptr);
    void displayNotifierTool(const QString& text, uint64_t durationMs);

public slots:
    void setConfigurationProgression(uint64_t done, uint64_t total);
    // Scales a command's own progress into the configuration's: (index × total + done, total × count).
    void setCommandProgression(uint64_t done, uint64_t total);
    void setProgressionInfo(const QString& text);
    void logMessage(Logger::LogLevel level, const QString& text);

private slots:
    void deviceUpdated();

private:
    // `cancel`; the device's flash state is touched only when `releaseDevice` is set.
    void stop(bool releaseDevice);
    void registerStorage(const FlashParameterValue* key, FlashStorageArea* storage);
    bool programStarted(qint64 pid) override;
    void programEnded(qint64 pid) override;
    bool isStopped() const override;
    FlashStorageArea* findStorage(const FlashParameterValue* key, bool& found) const;

    const FlashRunnable* m_parent = nullptr;

    // Guards the cancel flag, the program's pid and the condition. Nothing is emitted and no
    // other object's lock is taken while it is held.
    mutable QMutex m_mutex;
    std::atomic<bool> m_cancelled{false};    // written under m_mutex; read lock-free by the script agent
    qint64 m_currentPid = 0;                 // leader of the running program's process group; 0: none
    QWaitCondition* m_currentCondition = nullptr;
    const uint64_t m_commandDelayMs;

    SharedPointer<FlashDevice2> m_device;
    QSharedPointer<FlashConfiguration> m_configuration;
    // The configuration holds its flash file weakly: a file loaded meanwhile must not free it
    // (its folder and platforms) in the middle of the run.
    QSharedPointer<FlashFileContext> m_flashFile;
    std::unique_ptr<FlashScriptEngine> m_scriptEngine;
    Parameters m_parameters;
    SelectedValues m_selectedValues;
    std::map<const FlashParameterValue*, FlashStorageArea*> m_storages;

    std::atomic<uint64_t> m_progressDone{0};
    std::atomic<uint64_t> m_progressTotal{0};
};

// The answer flag of displayMessageBox crosses threads in a blocking queued call.
Q_DECLARE_METATYPE(bool*)

template <class T, class A>
T* FlashRunner::getStorage(const FlashParameterValue* key, A initial)
{
    bool found = false;
    FlashStorageArea* storage = findStorage(key, found);
    if (found)
        return dynamic_cast<T*>(storage);
    T* created = new T(initial);
    registerStorage(key, created);
    return created;
}
