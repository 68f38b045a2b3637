#pragma once

// A single-shot timer for a duration of any 64-bit length in ms. QTimer counts at most INT_MAX ms
// (about 24.8 days), so a longer deadline is reached in steps: the timer is re-armed for what is
// left, at most one step at a time, until the whole duration has passed on the monotonic clock.
// Owned by its user (a member or a QObject child); lives on the thread that starts it.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <climits>
#include <cstdint>

class DeadlineTimer : public QObject
{
    Q_OBJECT

public:
    // `maxStepMs` is the longest single arming (tests lower it to see several steps quickly).
    explicit DeadlineTimer(QObject* parent = nullptr, int maxStepMs = INT_MAX);

    // (Re)starts the countdown; timeout() comes once, `durationMs` from now.
    void start(uint64_t durationMs);
    void stop();
    bool isActive() const;

signals:
    void timeout();

private:
    void armNextStep();

    QTimer m_step;
    QElapsedTimer m_clock;
    uint64_t m_durationMs = 0;
    int m_maxStepMs;
    bool m_started = false;                  // false until the first step is armed
};
