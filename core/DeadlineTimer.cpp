#include "core/DeadlineTimer.h"

#include <algorithm>

DeadlineTimer::DeadlineTimer(QObject* parent, int maxStepMs)
    : QObject(parent)
    , m_maxStepMs(std::max(1, maxStepMs))
{
    m_step.setSingleShot(true);
    // A coarse timer may fire 5 % early: a minute's time-out would end seconds before it.
    m_step.setTimerType(Qt::PreciseTimer);
    connect(&m_step, &QTimer::timeout, this, &DeadlineTimer::armNextStep);
}

void DeadlineTimer::start(uint64_t durationMs)
{
    m_durationMs = durationMs;
    m_started = false;
    m_clock.start();
    armNextStep();
}

void DeadlineTimer::stop()
{
    m_step.stop();
}

bool DeadlineTimer::isActive() const
{
    return m_step.isActive();
}

void DeadlineTimer::armNextStep()
{
    const uint64_t elapsedMs = uint64_t(m_clock.elapsed());
    // start() always arms a step: even a zero duration ends through the event loop, never inside start().
    if (m_started && elapsedMs >= m_durationMs) {
        emit timeout();
        return;
    }
    m_started = true;
    const uint64_t leftMs = elapsedMs < m_durationMs ? m_durationMs - elapsedMs : 0;
    m_step.start(int(std::min<uint64_t>(leftMs, uint64_t(m_maxStepMs))));
}
