#pragma once

// One run of one program in a ChildProcess: start, wait (with or without the caller's events), and
// how it ended, by name. Every part of the application that runs a program goes through here, so a
// program that cannot start is never taken for one that ran too long, and a stop from another
// thread reaches the program through the run's stopper.

#include <QIODevice>
#include <QMetaType>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>

class ChildProcess;

enum class ProgramOutcome {
    Ok,          // exited normally with code 0
    NotStarted,  // the program could not be started
    TimedOut,    // still running at the time-out; its whole group was killed
    Crashed,     // ended by a signal: its exit code means nothing
    Failed,      // exited normally with another code
    Cancelled,   // a stop came, before the start or during the wait
};

QString programOutcomeName(ProgramOutcome outcome);

// Whoever may stop a run from another thread. Told each program's pid once it started and again
// when its run is over; a stop kills the groups it was told about.
class ProgramStopper
{
public:
    virtual ~ProgramStopper() = default;
    // False when the stop came first: the run then kills the program and reports Cancelled.
    virtual bool programStarted(qint64 pid) = 0;
    virtual void programEnded(qint64 pid) = 0;
    virtual bool isStopped() const = 0;
};

class ProgramRun
{
public:
    using Decoder = std::function<QString(const QByteArray&)>;
    // Text of a program's output, cut at its first NUL byte.
    static QString utf8(const QByteArray& bytes);
    static QString latin1(const QByteArray& bytes);

    // `process` is the caller's and stays so; `stopper` (may be null) must outlive the run.
    explicit ProgramRun(ChildProcess& process, ProgramStopper* stopper = nullptr);
    ~ProgramRun();
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    // How long start() waits for the program to run (5000 ms unless set).
    void setStartTimeout(int timeoutMs) { m_startTimeoutMs = timeoutMs; }
    // Starts the program and waits for it to run; false when it did not start or a stop came
    // first (outcome() says which).
    bool start(const QString& program, const QStringList& arguments,
               QIODevice::OpenMode mode = QIODevice::ReadWrite);
    // Waits for the end of a started program; above 2147483647 ms without limit. A time-out kills
    // the program's group.
    ProgramOutcome wait(uint64_t timeoutMs);
    // Waits without limit while the calling thread's events go on (a stop kills the program).
    ProgramOutcome waitWithEvents();
    // start() then wait().
    ProgramOutcome run(const QString& program, const QStringList& arguments, uint64_t timeoutMs,
                       QIODevice::OpenMode mode = QIODevice::ReadWrite);

    ProgramOutcome outcome() const { return m_outcome; }
    // The process's system error text ("No such file or directory"), for NotStarted.
    QString errorText() const;
    // What the program wrote and nobody read yet, decoded.
    QString output(const Decoder& decode = utf8) const;

private:
    ProgramOutcome ended(bool finished);
    void forget();

    ChildProcess& m_process;
    ProgramStopper* m_stopper;
    int m_startTimeoutMs = 5000;
    qint64 m_pid = 0;
    ProgramOutcome m_outcome = ProgramOutcome::NotStarted;
};

Q_DECLARE_METATYPE(ProgramOutcome)
