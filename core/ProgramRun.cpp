#include "core/ProgramRun.h"

#include "core/ChildProcess.h"

#include <QEventLoop>

namespace {

QByteArray beforeFirstNul(const QByteArray& bytes)
{
    const int nul = bytes.indexOf('\0');
    return nul < 0 ? bytes : bytes.left(nul);
}

} // namespace

QString programOutcomeName(ProgramOutcome outcome)
{
    switch (outcome) {
    case ProgramOutcome::Ok:
        return QStringLiteral("ok");
    case ProgramOutcome::NotStarted:
        return QStringLiteral("not started");
    case ProgramOutcome::TimedOut:
        return QStringLiteral("timed out");
    case ProgramOutcome::Crashed:
        return QStringLiteral("crashed");
    case ProgramOutcome::Failed:
        return QStringLiteral("failed");
    case ProgramOutcome::Cancelled:
        return QStringLiteral("cancelled");
    }
    return QString();
}

QString ProgramRun::utf8(const QByteArray& bytes)
{
    return QString::fromUtf8(beforeFirstNul(bytes));
}

QString ProgramRun::latin1(const QByteArray& bytes)
{
    return QString::fromLatin1(beforeFirstNul(bytes));
}

ProgramRun::ProgramRun(ChildProcess& process, ProgramStopper* stopper)
    : m_process(process)
    , m_stopper(stopper)
{
}

ProgramRun::~ProgramRun()
{
    forget();
}

bool ProgramRun::start(const QString& program, const QStringList& arguments, QIODevice::OpenMode mode)
{
    if (m_stopper && m_stopper->isStopped()) {
        m_outcome = ProgramOutcome::Cancelled;
        return false;
    }
    m_process.start(program, arguments, mode);
    if (!m_process.waitForStarted(m_startTimeoutMs)) {
        // A start that hangs is still no start: what is left of it goes.
        m_process.killGroup();
        m_process.waitForFinished(m_startTimeoutMs);
        m_outcome = ProgramOutcome::NotStarted;
        return false;
    }
    if (m_stopper) {
        // A stop from now on kills the program; one that came during the start found nothing to
        // kill yet.
        if (!m_stopper->programStarted(m_process.processId())) {
            m_process.killGroup();
            m_process.waitForFinished(-1);
            m_outcome = ProgramOutcome::Cancelled;
            return false;
        }
        m_pid = m_process.processId();
    }
    return true;
}

ProgramOutcome ProgramRun::wait(uint64_t timeoutMs)
{
    const bool finished = m_process.waitForFinished(ChildProcess::toWaitTimeout(timeoutMs))
                          || m_process.state() == QProcess::NotRunning;
    if (!finished) {
        // The time-out ends the program, not only the wait for it.
        m_process.killGroup();
        m_process.waitForFinished(-1);
    }
    return ended(finished);
}

ProgramOutcome ProgramRun::waitWithEvents()
{
    if (m_process.state() != QProcess::NotRunning) {
        QEventLoop loop;
        QObject::connect(&m_process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished),
                         &loop, &QEventLoop::quit);
        loop.exec();
    }
    return ended(true);
}

ProgramOutcome ProgramRun::run(const QString& program, const QStringList& arguments,
                               uint64_t timeoutMs, QIODevice::OpenMode mode)
{
    return start(program, arguments, mode) ? wait(timeoutMs) : m_outcome;
}

QString ProgramRun::errorText() const
{
    return m_process.errorString();
}

QString ProgramRun::output(const Decoder& decode) const
{
    return decode(m_process.readAll());
}

ProgramOutcome ProgramRun::ended(bool finished)
{
    forget();
    if (m_stopper && m_stopper->isStopped())
        m_outcome = ProgramOutcome::Cancelled;
    else if (!finished)
        m_outcome = ProgramOutcome::TimedOut;
    else if (m_process.exitStatus() == QProcess::CrashExit)
        m_outcome = ProgramOutcome::Crashed;
    else
        m_outcome = m_process.exitCode() == 0 ? ProgramOutcome::Ok : ProgramOutcome::Failed;
    return m_outcome;
}

void ProgramRun::forget()
{
    if (m_stopper && m_pid > 0)
        m_stopper->programEnded(m_pid);
    m_pid = 0;
}
