#include "SimulatedDevices.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>

#include <csignal>

namespace {

const char* const kStateVariable = "QLN_SIM_STATE";
const char* const kSysfsVariable = "QLN_USB_SYSFS_ROOT";
const char* const kSocketVariable = "QLN_SIM_SOCKET";

QString simulatorFolder()
{
    return QStringLiteral(QLN_SIM_DIR);
}

QString clientFolder()
{
    return QStringLiteral(QLN_SIM_FASTBIN_DIR);
}

// Sets `name` to `value`, or removes it when `value` is null.
void restoreVariable(const char* name, const QByteArray& value)
{
    if (value.isNull())
        qunsetenv(name);
    else
        qputenv(name, value);
}

// The command line of the fake that runs as `pid`; empty when it ended, is a zombie, or the pid
// now belongs to another program.
QString runningFake(qint64 pid)
{
    const QString folder = QStringLiteral("/proc/%1/").arg(pid);
    QFile stat(folder + QStringLiteral("stat"));
    QFile commandLine(folder + QStringLiteral("cmdline"));
    if (!stat.open(QIODevice::ReadOnly) || !commandLine.open(QIODevice::ReadOnly))
        return QString();
    // "pid (name) S ...": the state follows the last parenthesis (the name may hold one).
    const QByteArray status = stat.readAll();
    const int nameEnd = status.lastIndexOf(')');
    if (nameEnd < 0 || status.mid(nameEnd + 2, 1) == "Z")
        return QString();
    const QString words = QString::fromLocal8Bit(commandLine.readAll().replace('\0', ' ')).trimmed();
    return words.contains(simulatorFolder()) || words.contains(clientFolder()) ? words : QString();
}

} // namespace

SimulatedDevices::SimulatedDevices()
    : m_previousState(qgetenv(kStateVariable))
    , m_previousSysfs(qgetenv(kSysfsVariable))
{
    if (!m_folder.isValid())
        return;
    qputenv(kStateVariable, QFile::encodeName(statePath()));
    qputenv(kSysfsVariable, QFile::encodeName(sysfsRoot()));
    m_valid = control({QStringLiteral("init"), QStringLiteral("--sysfs"), sysfsRoot()});
}

SimulatedDevices::~SimulatedDevices()
{
    stopServer();
    // Restores what the test process had, so one case's devices never leak into the next.
    restoreVariable(kStateVariable, m_previousState);
    restoreVariable(kSysfsVariable, m_previousSysfs);
}

QString SimulatedDevices::toolPath(const QString& program) const
{
    return (m_server ? clientFolder() : simulatorFolder() + QStringLiteral("/bin")) + QLatin1Char('/') + program;
}

bool SimulatedDevices::startServer(QString& error)
{
    if (m_server)
        return true;
    const QString socket = m_folder.filePath(QStringLiteral("sim.sock"));
    m_server = std::make_unique<QProcess>();
    // Its errors (a traceback) reach the test's output; its input stays open: the server ends
    // when it closes, should this process die without stopping it.
    m_server->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_server->start(QStringLiteral(QLN_PYTHON3), {simulatorFolder() + QStringLiteral("/qlnsim.py"),
                                                  QStringLiteral("serve"), QStringLiteral("--socket"), socket});
    QByteArray answer;
    while (!answer.contains('\n') && m_server->waitForReadyRead(30000))
        answer += m_server->readAllStandardOutput();
    if (answer != "ready\n") {
        error = QStringLiteral("the simulator's server did not start: %1 %2")
                    .arg(m_server->errorString(), QString::fromLocal8Bit(answer));
        m_server.reset();
        return false;
    }
    m_previousSocket = qgetenv(kSocketVariable);
    qputenv(kSocketVariable, QFile::encodeName(socket));
    return true;
}

qint64 SimulatedDevices::serverPid() const
{
    return m_server ? m_server->processId() : 0;
}

void SimulatedDevices::stopServer()
{
    if (!m_server)
        return;
    // SIGTERM: the server kills the calls still running and removes its socket.
    m_server->terminate();
    if (!m_server->waitForFinished(10000)) {
        m_server->kill();
        m_server->waitForFinished();
    }
    m_server.reset();
    restoreVariable(kSocketVariable, m_previousSocket);
}

QString SimulatedDevices::sysfsRoot() const
{
    return m_folder.filePath(QStringLiteral("usb"));
}

QString SimulatedDevices::statePath() const
{
    return m_folder.filePath(QStringLiteral("state.json"));
}

bool SimulatedDevices::addDevice(const QString& serial, const QString& port, const QString& state,
                                 const QStringList& options)
{
    QStringList args{QStringLiteral("add"), QStringLiteral("--serial"), serial,
                     QStringLiteral("--state-name"), state};
    if (!port.isEmpty())
        args << QStringLiteral("--port") << port;
    return control(args + options);
}

bool SimulatedDevices::setState(const QString& serial, const QString& state)
{
    return control({QStringLiteral("set"), QStringLiteral("--serial"), serial,
                    QStringLiteral("--state-name"), state});
}

bool SimulatedDevices::setFault(const QString& serial, const QString& knob, const QString& value)
{
    return control({QStringLiteral("set"), QStringLiteral("--serial"), serial,
                    QStringLiteral("--fault"), knob + QLatin1Char('=') + value});
}

bool SimulatedDevices::setToolFault(const QString& knob, const QString& value)
{
    return control({QStringLiteral("set"), QStringLiteral("--fault"), knob + QLatin1Char('=') + value});
}

bool SimulatedDevices::unplug(const QString& serial)
{
    return control({QStringLiteral("unplug"), QStringLiteral("--serial"), serial});
}

bool SimulatedDevices::plug(const QString& serial)
{
    return control({QStringLiteral("plug"), QStringLiteral("--serial"), serial});
}

QJsonObject SimulatedDevices::device(const QString& serial) const
{
    QString output;
    if (!control({QStringLiteral("show")}, &output))
        return {};
    const QJsonArray devices = QJsonDocument::fromJson(output.toUtf8()).object().value(QStringLiteral("devices")).toArray();
    for (const QJsonValue& value : devices) {
        if (value.toObject().value(QStringLiteral("serial")).toString() == serial)
            return value.toObject();
    }
    return {};
}

QStringList SimulatedDevices::commandLog() const
{
    QString output;
    if (!control({QStringLiteral("log")}, &output))
        return {};
    return output.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QList<qint64> SimulatedDevices::toolPids() const
{
    QString output;
    if (!control({QStringLiteral("pids")}, &output))
        return {};
    QList<qint64> pids;
    for (const QString& line : output.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        pids << line.section(QLatin1Char(' '), 0, 0).toLongLong();
    return pids;
}

QStringList SimulatedDevices::runningTools() const
{
    QStringList running;
    for (const qint64 pid : toolPids()) {
        const QString words = runningFake(pid);
        if (!words.isEmpty())
            running << QStringLiteral("%1: %2").arg(QString::number(pid), words);
    }
    return running;
}

void SimulatedDevices::killRunningTools() const
{
    for (const qint64 pid : toolPids()) {
        if (!runningFake(pid).isEmpty())
            ::kill(static_cast<pid_t>(pid), SIGKILL);
    }
}

bool SimulatedDevices::control(const QStringList& args, QString* output) const
{
    QProcess process;
    process.start(QStringLiteral(QLN_PYTHON3),
                  QStringList{simulatorFolder() + QStringLiteral("/qlnsim.py"), QStringLiteral("ctl")}
                      + args + QStringList{QStringLiteral("--state"), statePath()});
    const bool finished = process.waitForFinished(30000);
    if (output)
        *output = QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
    return finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}
