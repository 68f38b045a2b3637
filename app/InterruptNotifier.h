#pragma once

// Turns SIGINT, SIGTERM and SIGHUP into interrupted(int) on the event loop of the thread that made
// the notifier: the handler only writes the signal's number into a pipe, which a socket notifier
// reads, so the run stops through its ordinary code and not inside a handler. One instance at a
// time; the application class owns it, on the main thread. Its destructor restores the default
// handling of the three signals.

#include <QObject>
#include <QString>

class QSocketNotifier;

class InterruptNotifier : public QObject
{
    Q_OBJECT

public:
    explicit InterruptNotifier(QObject* parent = nullptr);
    ~InterruptNotifier() override;

    // "SIGINT", "SIGTERM", "SIGHUP", else "signal N".
    static QString signalName(int signal);

signals:
    // Once per signal received, in the order they came.
    void interrupted(int signal);

private:
    void readSignals();

    int m_readEnd = -1;
    int m_writeEnd = -1;
    QSocketNotifier* m_notifier = nullptr;     // child of this object
};
