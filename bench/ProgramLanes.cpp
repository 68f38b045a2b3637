#include "ProgramLanes.h"

#include "core/ChildProcess.h"

#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>

ProgramLanes::ProgramLanes(const QProcessEnvironment& environment, const QString& workFolder, const QStringList& markers)
    : m_environment(environment)
    , m_workFolder(workFolder)
    , m_markers(markers)
{
}

double ProgramLanes::now()
{
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

bool ProgramLanes::run(std::vector<Lane>& lanes, int watchdogMs) const
{
    QEventLoop loop;
    size_t running = lanes.size();
    std::vector<std::unique_ptr<ChildProcess>> processes(lanes.size());
    std::vector<int> nextRun(lanes.size(), 0);
    std::vector<QByteArray> output(lanes.size());

    // Starts the lane's next run, or ends the lane when it has none left.
    std::function<void(size_t)> advance = [&](size_t index) {
        Lane& lane = lanes[index];
        if (nextRun[index] >= lane.runs.size()) {
            if (lane.endedAt == 0)
                lane.endedAt = now();
            if (--running == 0)
                loop.quit();
            return;
        }
        auto process = std::make_unique<ChildProcess>();
        process->setProcessEnvironment(m_environment);
        process->setWorkingDirectory(m_workFolder);
        process->setProcessChannelMode(QProcess::MergedChannels);
        ChildProcess* const started = process.get();
        QObject::connect(started, &QProcess::readyReadStandardOutput, [&, index, started] {
            output[index] += started->readAllStandardOutput();
            for (int marker = 0; marker < m_markers.size(); ++marker) {
                if (lanes[index].markedAt[marker] == 0 && output[index].contains(m_markers.at(marker).toUtf8()))
                    lanes[index].markedAt[marker] = now();
            }
        });
        QObject::connect(started, qOverload<int, QProcess::ExitStatus>(&QProcess::finished),
                         [&, index, started](int code, QProcess::ExitStatus status) {
                             lanes[index].endedAt = now();
                             output[index] += started->readAllStandardOutput();
                             lanes[index].failedRuns += status == QProcess::NormalExit && code == 0 ? 0 : 1;
                             lanes[index].lastOutput = output[index];
                             output[index].clear();
                             QTimer::singleShot(0, &loop, [&, index] { advance(index); });
                         });
        QObject::connect(started, &QProcess::errorOccurred, [&, index](QProcess::ProcessError error) {
            if (error != QProcess::FailedToStart)
                return;
            lanes[index].endedAt = now();
            ++lanes[index].failedRuns;
            nextRun[index] = lanes[index].runs.size();   // the rest would fail alike
            QTimer::singleShot(0, &loop, [&, index] { advance(index); });
        });
        // The previous run (if any) ended: its signals were queued to this call, not in it.
        processes[index] = std::move(process);
        started->start(lane.program, lane.runs.at(nextRun[index]++));
    };

    for (size_t index = 0; index < lanes.size(); ++index) {
        lanes[index].markedAt.assign(size_t(m_markers.size()), 0);
        lanes[index].startedAt = now();
        advance(index);
    }
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, &loop, &QEventLoop::quit);
    watchdog.start(watchdogMs);
    if (running > 0)
        loop.exec();
    // What the watchdog left running is killed with its group; nothing it emits meanwhile may
    // reach the lambdas above.
    for (auto& process : processes) {
        if (process)
            process->disconnect();
        process.reset();
    }
    return running == 0;
}
