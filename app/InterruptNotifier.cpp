#include "app/InterruptNotifier.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The pipe's write end for the handler (-1 while no notifier exists) and the process that made it.
// Lock-free, so the handler may read them.
std::atomic<int> g_writeEnd{-1};
std::atomic<pid_t> g_owner{0};

// Only async-signal-safe calls: one write, errno kept for the code it interrupted.
void onSignal(int signal)
{
    const int savedErrno = errno;
    const int writeEnd = g_writeEnd.load();
    // A child between its fork and its exec still shares our process group, our handler and the
    // pipe: the signal it gets is ours already, so it must not count twice.
    if (writeEnd >= 0 && ::getpid() == g_owner.load()) {
        const unsigned char number = static_cast<unsigned char>(signal);
        // A full pipe means that enough signals wait already.
        [[maybe_unused]] const ssize_t written = ::write(writeEnd, &number, 1);
    }
    errno = savedErrno;
}

void setHandler(void (*handler)(int))
{
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : kSignals)
        ::sigaction(signal, &action, nullptr);
}

} // namespace

InterruptNotifier::InterruptNotifier(QObject* parent)
    : QObject(parent)
{
    int ends[2] = {-1, -1};
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_readEnd = ends[0];
    m_writeEnd = ends[1];
    m_notifier = new QSocketNotifier(m_readEnd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &InterruptNotifier::readSignals);
    g_owner = ::getpid();
    g_writeEnd = m_writeEnd;
    setHandler(&onSignal);
}

InterruptNotifier::~InterruptNotifier()
{
    if (m_writeEnd < 0)
        return;
    setHandler(SIG_DFL);
    g_writeEnd = -1;
    ::close(m_writeEnd);
    ::close(m_readEnd);
}

QString InterruptNotifier::signalName(int signal)
{
    switch (signal) {
    case SIGINT:
        return QStringLiteral("SIGINT");
    case SIGTERM:
        return QStringLiteral("SIGTERM");
    case SIGHUP:
        return QStringLiteral("SIGHUP");
    default:
        return QStringLiteral("signal %1").arg(signal);
    }
}

void InterruptNotifier::readSignals()
{
    unsigned char numbers[16];
    ssize_t count = 0;
    while ((count = ::read(m_readEnd, numbers, sizeof(numbers))) > 0) {
        for (ssize_t index = 0; index < count; ++index)
            emit interrupted(numbers[index]);
    }
}
