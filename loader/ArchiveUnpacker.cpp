#include "loader/ArchiveUnpacker.h"

#include "core/ApplicationLog.h"
#include "core/ChildProcess.h"
#include "core/FMConst.h"
#include "core/ProgramRun.h"
#include "loader/ArchiveListing.h"
#include "loader/ArchiveStamp.h"
#include "loader/UnpackingFolder.h"

#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QStringList>

#include <memory>
#include <set>
#include <vector>

namespace {

const QString kArchiverToolId = QStringLiteral("7z");
const int kStartTimeoutMs = 30000;

enum class Form { Zip, Tar };

QString quoted(const QString& text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

// ".zip", ".tgz" and ".tar.gz" (any letter case); false for every other name, a lone ".gz" included.
bool formOf(const QFileInfo& archive, Form& form)
{
    const QString suffix = archive.suffix().toLower();
    if (suffix == QLatin1String("zip")) {
        form = Form::Zip;
        return true;
    }
    if (suffix == QLatin1String("tgz")
        || (suffix == QLatin1String("gz")
            && (QLatin1Char('.') + archive.completeSuffix().toLower()).endsWith(QLatin1String(".tar.gz")))) {
        form = Form::Tar;
        return true;
    }
    return false;
}

// The argument lists of one 7z run: one process, or two with the first one's output piped into
// the second one's input.
using Pipeline = std::vector<QStringList>;

// The tar form decompresses with one 7z and reads the tar stream with a second.
Pipeline pipelineFor(Form form, const QString& archive, const QStringList& action)
{
    if (form == Form::Zip) {
        QStringList arguments = action;
        arguments.insert(1, archive);
        return {arguments};
    }
    return {{QStringLiteral("x"), archive, QStringLiteral("-so")},
            action + QStringList{QStringLiteral("-si"), QStringLiteral("-ttar")}};
}

QString commandLine(const QString& program, const Pipeline& pipeline)
{
    QStringList commands;
    for (const QStringList& arguments : pipeline) {
        QString command = program;
        for (const QString& argument : arguments)
            command += QLatin1Char(' ') + quoted(argument);
        commands << command;
    }
    return pipeline.size() > 1 ? commands.join(QStringLiteral(" | ")) + QLatin1Char(' ') : commands.first();
}

// The archiver's output as one text: up to the first NUL, each run of line ends and "|" one line feed.
QString outputText(QString text)
{
    static const QRegularExpression lineBreaks(QStringLiteral("[\\n\\r|]+"));
    text.replace(lineBreaks, QStringLiteral("\n"));
    return text.trimmed();
}

// The archivers running now, by the pid that leads each one's group, so that a stop can end them
// from any thread; after a stop, nothing more runs.
class RunningArchivers : public ProgramStopper
{
public:
    static RunningArchivers& instance()
    {
        static RunningArchivers archivers;
        return archivers;
    }

    bool programStarted(qint64 pid) override
    {
        QMutexLocker locker(&m_mutex);
        if (m_stopped)
            return false;
        m_pids.insert(pid);
        return true;
    }
    void programEnded(qint64 pid) override
    {
        QMutexLocker locker(&m_mutex);
        m_pids.erase(pid);
    }
    bool isStopped() const override
    {
        QMutexLocker locker(&m_mutex);
        return m_stopped;
    }
    void stopAll()
    {
        QMutexLocker locker(&m_mutex);
        m_stopped = true;
        for (qint64 pid : m_pids)
            ChildProcess::killProcessGroup(pid);
    }

private:
    mutable QMutex m_mutex;
    bool m_stopped = false;
    std::set<qint64> m_pids;
};

// Runs the pipeline in `folder` until its last process ends or stopAll() kills it, without time
// limit. `output` gets the last process's merged output. Ok only when every process exited
// normally with code 0.
ProgramOutcome run(const QString& program, const Pipeline& pipeline, const QString& folder,
                   bool withEvents, QString& output)
{
    std::vector<std::unique_ptr<ChildProcess>> processes;
    std::vector<std::unique_ptr<ProgramRun>> runs;
    for (std::size_t index = 0; index < pipeline.size(); ++index) {
        processes.push_back(std::make_unique<ChildProcess>());
        processes.back()->setWorkingDirectory(folder);
        runs.push_back(std::make_unique<ProgramRun>(*processes.back(), &RunningArchivers::instance()));
        runs.back()->setStartTimeout(kStartTimeoutMs);
    }
    ChildProcess& last = *processes.back();
    last.setProcessChannelMode(QProcess::MergedChannels);
    if (processes.size() > 1) {
        // Nobody reads the decompressor's messages: a full error pipe must not stall it.
        processes.front()->setStandardErrorFile(QProcess::nullDevice());
        processes.front()->setStandardOutputProcess(&last);
    }
    for (std::size_t index = 0; index < pipeline.size(); ++index) {
        if (!runs[index]->start(program, pipeline[index])) {
            if (runs[index]->outcome() == ProgramOutcome::NotStarted)
                ApplicationLog::write(ERROR, QStringLiteral("Failed to start ") + program);
            return runs[index]->outcome();
        }
    }
    // The last process is waited for first: its output is drained while it runs, so it never
    // stops reading the stream of the first one. A stop kills it.
    ProgramRun& lastRun = *runs.back();
    ProgramOutcome outcome = withEvents ? lastRun.waitWithEvents() : lastRun.wait(UINT64_MAX);
    // The first one ends as soon as its output is consumed or its reader is gone.
    if (runs.size() > 1) {
        const ProgramOutcome first = runs.front()->wait(kStartTimeoutMs);
        if (outcome == ProgramOutcome::Ok)
            outcome = first;
    }
    if (outcome != ProgramOutcome::Cancelled)
        output = outputText(lastRun.output(ProgramRun::latin1));
    return outcome;
}

// Runs the pipeline and logs a failure; true on success.
bool runLogged(const QString& program, const Pipeline& pipeline, const QString& folder,
               bool withEvents, QString& output)
{
    switch (run(program, pipeline, folder, withEvents, output)) {
    case ProgramOutcome::Ok:
        return true;
    case ProgramOutcome::Failed:
    case ProgramOutcome::Crashed:
    case ProgramOutcome::TimedOut:
        ApplicationLog::write(ERROR, QStringLiteral("Fail to unzip! \n\t Message: \n") + output);
        ApplicationLog::write(DEBUG, QStringLiteral("Fail to execute: ") + commandLine(program, pipeline));
        return false;
    case ProgramOutcome::Cancelled:
        ApplicationLog::write(WARNING, QStringLiteral("Unpacking stopped: ") + commandLine(program, pipeline));
        return false;
    case ProgramOutcome::NotStarted:
        break;
    }
    return false;
}

// False after the ERROR line when the entries would land or point outside the output folder.
bool isSafe(const ArchiveListing& entries, const QString& archive)
{
    const QString problem = entries.problem();
    if (problem.isNull())
        return true;
    ApplicationLog::write(ERROR, QStringLiteral("Refusing to unpack ") + quoted(archive) + QStringLiteral(": ") + problem);
    return false;
}

bool unpackInto(Form form, const QString& program, const QFileInfo& archive, const QString& fresh,
                bool withEvents)
{
    const QString folder = archive.absolutePath();
    const QString path = archive.absoluteFilePath();
    QString output;
    if (!runLogged(program, pipelineFor(form, path, {QStringLiteral("l"), QStringLiteral("-slt")}),
                   folder, withEvents, output)
        || !isSafe(ArchiveListing::parse(output), path))
        return false;

    const Pipeline extraction = pipelineFor(
        form, path, {QStringLiteral("x"), QStringLiteral("-y"), QStringLiteral("-aoa"), QStringLiteral("-o") + fresh});
    if (!runLogged(program, extraction, folder, withEvents, output))
        return false;
    // The listing of a zip does not show where its links point, and 7z rewrites an absolute target
    // into the folder it unpacks into (a link that would dangle once the folder is renamed): the
    // unpacked links are judged as they lie.
    if (!isSafe(ArchiveListing::ofFolder(fresh), path))
        return false;
    ApplicationLog::write(DEBUG, program + QStringLiteral(" output: \n") + output);
    if (form == Form::Zip)
        ApplicationLog::write(INFO, QStringLiteral("Archive ") + quoted(path) + QStringLiteral(" unzipped"));
    return true;
}

} // namespace

QString ArchiveUnpacker::archiverPath()
{
    const QString registered = FMConst::getTool(kArchiverToolId);
    return registered.isEmpty() ? FMConst::default7zCmd() : registered;
}

bool ArchiveUnpacker::unpack(const QString& archive, const QString& outputFolder, bool withEvents)
{
    const QFileInfo info(archive);
    if (!info.isFile()) {
        ApplicationLog::write(INFO, QStringLiteral("File '%1' not found").arg(archive));
        return false;
    }
    Form form = Form::Zip;
    if (!formOf(info, form)) {
        ApplicationLog::write(ERROR, QStringLiteral("Unsupported archive type ") + quoted(archive)
                                  + QStringLiteral(": only .zip, .tgz and .tar.gz archives can be unpacked"));
        return false;
    }
    if (!QFileInfo(info.absolutePath()).isWritable()) {
        ApplicationLog::write(ERROR, QStringLiteral("You must have write permission to the output directory ")
                                  + info.absolutePath());
        return false;
    }
    ApplicationLog::write(INFO, QStringLiteral("Unzip archive ") + quoted(info.absoluteFilePath()));

    // Taken before 7z reads the archive: a change meanwhile makes the next run unpack afresh.
    const ArchiveStamp stamp = ArchiveStamp::of(info.absoluteFilePath());
    UnpackingFolder::removeAbandoned(outputFolder);
    UnpackingFolder fresh(outputFolder);
    return fresh.isValid() && unpackInto(form, archiverPath(), info, fresh.contentPath(), withEvents)
           && stamp.writeInto(fresh.contentPath()) && fresh.replaceOutput();
}

void ArchiveUnpacker::stopAll()
{
    RunningArchivers::instance().stopAll();
}

bool ArchiveUnpacker::isStopped()
{
    return RunningArchivers::instance().isStopped();
}
