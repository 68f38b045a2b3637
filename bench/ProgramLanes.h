#pragma once

// Runs lanes of programs side by side, every lane started at once: a lane runs its argument lists
// one after the other (a loop of tool calls, or one program). Notes when each lane started and
// ended, when its output first showed each marker text, and how many of its runs failed. Each
// program starts in its own process group with standard input closed. Main thread only.

#include <QList>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <vector>

class ProgramLanes
{
public:
    struct Lane
    {
        QString program;
        QList<QStringList> runs;   // argument lists, run one after the other
        // What run() fills in; times are seconds since the epoch, 0 when it did not happen.
        double startedAt = 0;
        double endedAt = 0;
        std::vector<double> markedAt;   // per marker: when the output first showed it
        int failedRuns = 0;             // a non-zero exit, a crash, or no start at all
        QByteArray lastOutput;          // standard output and error of the last run
    };

    ProgramLanes(const QProcessEnvironment& environment, const QString& workFolder, const QStringList& markers = {});

    // Runs every lane to its end; false when `watchdogMs` passed first (every program still
    // running is then killed with its group).
    bool run(std::vector<Lane>& lanes, int watchdogMs) const;

    // Now, in seconds since the epoch (the simulator's journal uses the same clock).
    static double now();

private:
    QProcessEnvironment m_environment;
    QString m_workFolder;
    QStringList m_markers;
};
