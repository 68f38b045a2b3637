#pragma once

// Runs a built program against the device simulator, as an operator would: a fresh home folder
// whose settings name the simulator's adb, fastboot and dfu-util and write a result file per flash,
// the simulator's sysfs tree (QLN_USB_SYSFS_ROOT) and state, and a working folder for flash files.
// Every run has a watchdog: a program that outlives it is killed with its group and the run reports
// that it hung. The command-line and the desktop stations derive from it. Header-only; link
// qln_programstation. One per test case.

#include "SimulatedDevices.h"
#include "core/ChildProcess.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QSettings>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <csignal>
#include <memory>

class ProgramStation
{
public:
    struct Run
    {
        int exitCode = -1;       // -1 when it crashed or hung
        bool hung = false;       // killed by the watchdog
        QString output;          // standard output: the console lines
        QString errors;
        qint64 elapsedMs = 0;

        QStringList lines() const { return output.split(QLatin1Char('\n'), Qt::SkipEmptyParts); }
        // The text of every console line, without time stamp and level tag.
        QStringList texts() const
        {
            static const QRegularExpression head(
                QStringLiteral("^\\d\\d/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d  [A-Z ]{7}: "));
            QStringList result;
            for (const QString& line : lines()) {
                const QRegularExpressionMatch match = head.match(line);
                if (match.hasMatch())
                    result << line.mid(match.capturedLength());
            }
            return result;
        }
        // The run failed with `code`: a console line holds `why`, and the exit line comes last, at ERROR.
        bool failedWith(int code, const QString& why) const
        {
            const QStringList all = texts();
            return exitCode == code && !all.isEmpty()
                   && std::any_of(all.begin(), all.end(), [&](const QString& text) { return text.contains(why); })
                   && all.last() == QStringLiteral("Quillon Lite exited with code %1").arg(code)
                   && lines().last().contains(QLatin1String("  ERROR  : "));
        }
        // What a failing check prints.
        QByteArray report() const
        {
            return (QStringLiteral("exit code %1%2 after %3 ms\n").arg(exitCode).arg(hung ? " (hung)" : "").arg(elapsedMs)
                    + output + errors).toLocal8Bit();
        }
    };

    // `program` runs with `leadingArguments` before those of each start.
    ProgramStation(const QString& program, const QStringList& leadingArguments)
        : m_program(program)
        , m_leadingArguments(leadingArguments)
    {
        m_valid = sim.isValid() && m_home.isValid() && m_work.isValid() && QDir(home()).mkpath(".flasher")
                  && QDir().mkpath(resultFolder());
        if (!m_valid)
            return;
        nameSimulatorTools();
        QSettings settings(home() + QStringLiteral("/.flasher/.quillonlite.opt"), QSettings::IniFormat);
        settings.setValue(QStringLiteral("FlashLogResultEnabled"), true);
        settings.setValue(QStringLiteral("FlashLogDirectory"), resultFolder());
        settings.setValue(QStringLiteral("FlashLogResultFileName"), QStringLiteral("${serial}.xml"));
    }
    virtual ~ProgramStation() = default;
    ProgramStation(const ProgramStation&) = delete;
    ProgramStation& operator=(const ProgramStation&) = delete;

    // Valid, with the sample flash files and those of the fixture folder `fixtures` (if one is
    // named) in the working folder.
    bool isReady(const QString& fixtures = QString()) const
    {
        return m_valid && copyIn(QStringLiteral(QLN_SAMPLES_DIR "/update")) && (fixtures.isEmpty() || copyIn(fixtures));
    }
    // Attaches a simulated device (`ctl add` words: serial, port, state, options...) and sets its
    // knob `fault` (knob, value), if one is given.
    bool addDevice(const QStringList& words, const QStringList& fault = QStringList())
    {
        return sim.addDevice(words.at(0), words.at(1), words.at(2), words.mid(3))
               && (fault.isEmpty() || sim.setFault(words.at(0), fault.at(0), fault.at(1)));
    }
    // Runs the fakes through the simulator's server from now on (no Python start-up a call) and
    // names its clients as the tools; false (and the reason in `error`) when it did not start.
    bool serveTools(QString& error)
    {
        if (!sim.startServer(error))
            return false;
        nameSimulatorTools();
        return true;
    }
    // Names `adbPath` and `fastbootPath` as the adb and fastboot of the settings.
    void setToolSettings(const QString& adbPath, const QString& fastbootPath) const
    {
        setTool(QStringLiteral("adb"), adbPath);
        setTool(QStringLiteral("fastboot"), fastbootPath);
    }
    // Names `path` as the program of tool `id` ("7z", ...) in the settings.
    void setTool(const QString& id, const QString& path) const
    {
        QSettings tools(home() + QStringLiteral("/.flasher/.externalTools.opt"), QSettings::IniFormat);
        tools.setValue(QStringLiteral("Tools/") + id, path);
    }
    // Runs `program` (a copy of the built one, say) in place of the built program from now on.
    void setProgram(const QString& program) { m_program = program; }
    // Sets a variable of the program's environment.
    void setEnvironment(const QString& name, const QString& value) { m_environment.insert(name, value); }
    QString home() const { return m_home.path(); }
    QString work() const { return m_work.path(); }
    QString resultFolder() const { return home() + QStringLiteral("/results"); }

    // Copies the files of `folder` (a fixture folder) into the working folder.
    bool copyIn(const QString& folder) const
    {
        for (const QString& name : QDir(folder).entryList(QDir::Files)) {
            const QString target = QDir(work()).filePath(name);
            QFile::remove(target);
            if (!QFile::copy(QDir(folder).filePath(name), target))
                return false;
        }
        return true;
    }
    QString path(const QString& name) const { return QDir(work()).filePath(name); }
    // Writes `name` in the working folder: the sample flash file (isReady() copied it there) with
    // `command` inserted at `index` of its commands.
    bool writeSampleWith(const QString& name, int index, const QJsonObject& command) const
    {
        QFile sample(path(QStringLiteral("flash.json")));
        if (!sample.open(QIODevice::ReadOnly))
            return false;
        QJsonObject root = QJsonDocument::fromJson(sample.readAll()).object();
        QJsonObject flash = root.value(QStringLiteral("flash")).toObject();
        QJsonArray commands = flash.value(QStringLiteral("commands")).toArray();
        commands.insert(index, command);
        flash.insert(QStringLiteral("commands"), commands);
        root.insert(QStringLiteral("flash"), flash);
        QFile file(path(name));
        return file.open(QIODevice::WriteOnly) && file.write(QJsonDocument(root).toJson()) > 0;
    }

    // Runs a helper program (7z, tar) in the working folder to its end; true on exit code 0.
    bool tool(const QString& program, const QStringList& arguments) const
    {
        ChildProcess process;
        process.setWorkingDirectory(work());
        process.start(program, arguments);
        return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit
               && process.exitCode() == 0;
    }

    // Starts the program with `arguments` in the working folder.
    void start(const QStringList& arguments) { launch(m_instance, arguments); }

    // Waits until the console shows `text`; false when the program ended or `timeoutMs` passed first.
    bool waitForOutput(const QString& text, int timeoutMs = 60000)
    {
        QElapsedTimer clock;
        clock.start();
        while (!m_instance.output.contains(text.toLocal8Bit())) {
            if (m_instance.process->state() == QProcess::NotRunning || clock.elapsed() > timeoutMs)
                return false;
            m_instance.process->waitForReadyRead(200);
            m_instance.output += m_instance.process->readAllStandardOutput();
        }
        return true;
    }

    // Waits until the console shows a whole line that starts with `prefix`; the rest of that line,
    // or null when the program ended or `timeoutMs` passed first.
    QString waitForLine(const QString& prefix, int timeoutMs = 60000)
    {
        const QRegularExpression line(QStringLiteral("^%1(.*)\n").arg(QRegularExpression::escape(prefix)),
                                      QRegularExpression::MultilineOption);
        QElapsedTimer clock;
        clock.start();
        for (;;) {
            m_instance.output += m_instance.process->readAllStandardOutput();
            const QRegularExpressionMatch found = line.match(outputSoFar());
            if (found.hasMatch())
                return found.captured(1);
            if (m_instance.process->state() == QProcess::NotRunning || clock.elapsed() > timeoutMs)
                return QString();
            m_instance.process->waitForReadyRead(200);
        }
    }

    // The console of the running program as far as waitForOutput has read it.
    QString outputSoFar() const { return QString::fromLocal8Bit(m_instance.output); }
    // The same, line by line.
    QStringList outputLines() const { return outputSoFar().split(QLatin1Char('\n'), Qt::SkipEmptyParts); }

    // Turns the application log file on: "quillon.log" in the result folder.
    void keepApplicationLog() const
    {
        QSettings settings(home() + QStringLiteral("/.flasher/.quillonlite.opt"), QSettings::IniFormat);
        settings.setValue(QStringLiteral("FlashLogAllFile"), true);
        settings.setValue(QStringLiteral("FlashLogAllFileName"), QStringLiteral("quillon.log"));
    }
    // The flash tab reloads `flashFile` at start, as the last file its user chose.
    void reloadAtStart(const QString& flashFile) const
    {
        QSettings settings(home() + QStringLiteral("/.flasher/.quillonlite.opt"), QSettings::IniFormat);
        settings.setValue(QStringLiteral("AutoReloadLocalTabSettings"), true);
        settings.setValue(QStringLiteral("LatestZIPFileInLocal"), flashFile);
    }
    QString applicationLog() const
    {
        QFile file(resultFolder() + QStringLiteral("/quillon.log"));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
    // Waits until the application log file holds every one of `texts`; false when the program
    // ended or `timeoutMs` passed first.
    bool waitForApplicationLog(const QStringList& texts, int timeoutMs = 60000) const
    {
        QElapsedTimer clock;
        clock.start();
        for (;;) {
            const QString log = applicationLog();
            if (std::all_of(texts.begin(), texts.end(), [&](const QString& text) { return log.contains(text); }))
                return true;
            if (m_instance.process->state() == QProcess::NotRunning || clock.elapsed() > timeoutMs)
                return false;
            m_instance.process->waitForFinished(100);
        }
    }

    // Sends `signal` to the program's process group, as a terminal's Ctrl-C does.
    bool signal(int number) const
    {
        const ChildProcess* process = m_instance.process.get();
        return process && process->processId() > 0 && ::kill(-pid_t(process->processId()), number) == 0;
    }

    // Waits for the program's end; after `watchdogMs` it is killed and the run reports it hung.
    Run finish(int watchdogMs = 120000) { return collect(m_instance, watchdogMs); }

    Run run(const QStringList& arguments, int watchdogMs = 120000)
    {
        start(arguments);
        return finish(watchdogMs);
    }

    // The digest the simulator stores for a partition flashed with `file`.
    static QString digestOf(const QString& file)
    {
        QFile image(file);
        return image.open(QIODevice::ReadOnly)
                   ? QString::fromLatin1(QCryptographicHash::hash(image.readAll(), QCryptographicHash::Sha256).toHex())
                   : QString();
    }
    // The result file of `serial` records a failed flash with `reason` and error `code`; its text
    // goes to `content`.
    bool resultRecordsFailure(const QString& serial, const QString& reason, int code, QByteArray& content) const
    {
        QFile file(resultFolder() + QLatin1Char('/') + serial + QStringLiteral(".xml"));
        content = file.open(QIODevice::ReadOnly) ? file.readAll() : "no result file " + file.fileName().toLocal8Bit();
        return content.contains("<RESULT>FAIL</RESULT>") && content.contains("<REASON>" + reason.toLatin1() + "</REASON>")
               && content.contains("<ERROR>" + QByteArray::number(code) + "</ERROR>");
    }
    QJsonObject partitions(const QString& serial) const
    {
        return sim.device(serial).value(QStringLiteral("partitions")).toObject();
    }
    // The simulator's journal lines that name `serial`, less the scanner's state probes: what the
    // run did to that device.
    QStringList commandsFor(const QString& serial) const
    {
        QStringList found;
        for (const QString& line : sim.commandLog()) {
            const QStringList words = line.split(QLatin1Char(' '));
            if (words.contains(serial) && !words.contains(QStringLiteral("getprop")) && !words.contains(QStringLiteral("getvar")))
                found << line;
        }
        return found;
    }

    // Programs still running whose command line names the working folder (tools the run started on
    // its flash files).
    QStringList programsOnWorkFolder() const
    {
        const QMap<qint64, QString> found = processesOnWorkFolder();
        return found.values();
    }
    // Kills what programsOnWorkFolder() finds, so that a failed run leaves nothing behind.
    void killProgramsOnWorkFolder() const
    {
        for (qint64 pid : processesOnWorkFolder().keys())
            ::kill(pid_t(pid), SIGKILL);
    }

    SimulatedDevices sim;

protected:
    struct Instance
    {
        std::unique_ptr<ChildProcess> process;
        QByteArray output;
        QElapsedTimer clock;
    };

    // The environment each start gives the program, over the test's own: a station adds its own.
    virtual QProcessEnvironment programEnvironment() const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(m_environment);
        environment.insert(QStringLiteral("HOME"), home());
        return environment;
    }

    void launch(Instance& instance, const QStringList& arguments) const
    {
        instance.process = std::make_unique<ChildProcess>();
        instance.process->setProcessEnvironment(programEnvironment());
        instance.process->setWorkingDirectory(work());
        instance.output.clear();
        instance.clock.start();
        instance.process->start(m_program, m_leadingArguments + arguments);
        instance.process->waitForStarted(30000);
    }

    static Run collect(Instance& instance, int watchdogMs)
    {
        Run run;
        ChildProcess& process = *instance.process;
        if (!process.waitForFinished(watchdogMs)) {
            process.killGroup();
            process.waitForFinished(10000);
            run.hung = true;
        }
        run.elapsedMs = instance.clock.elapsed();
        run.exitCode = !run.hung && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        run.output = QString::fromLocal8Bit(instance.output + process.readAllStandardOutput());
        run.errors = QString::fromLocal8Bit(process.readAllStandardError());
        instance.process.reset();
        return run;
    }

private:
    void nameSimulatorTools() const
    {
        setToolSettings(sim.toolPath(QStringLiteral("adb")), sim.toolPath(QStringLiteral("fastboot")));
        setTool(QStringLiteral("dfuDownloader"), sim.toolPath(QStringLiteral("dfu-util")));
    }

    // Pid and command line of each process whose command line names the working folder.
    QMap<qint64, QString> processesOnWorkFolder() const
    {
        QMap<qint64, QString> found;
        for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
            QFile file(QStringLiteral("/proc/%1/cmdline").arg(pid));
            if (!file.open(QIODevice::ReadOnly))
                continue;
            const QByteArray commandLine = file.readAll().replace('\0', ' ');
            if (commandLine.contains(work().toLocal8Bit()))
                found.insert(pid.toLongLong(), QString::fromLocal8Bit(commandLine));
        }
        return found;
    }

    QTemporaryDir m_home;
    QTemporaryDir m_work;
    bool m_valid = false;
    QString m_program;
    QStringList m_leadingArguments;
    QProcessEnvironment m_environment;
    Instance m_instance;   // start(), run()
};
