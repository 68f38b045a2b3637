#include "ui/options/AdbDeviceJob.h"

#include "core/ChildProcess.h"
#include "core/DeviceAddress.h"
#include "core/FMConst.h"
#include "core/FlashUtils.h"
#include "core/ProgramRun.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

namespace {

const QString kStatusProperty = QStringLiteral("sys.backup_status");

QString quoted(const QString& text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

} // namespace

AdbDeviceJob::AdbDeviceJob(QObject* parent)
    : QObject(parent)
{
}

AdbDeviceJob::~AdbDeviceJob() = default;

QString AdbDeviceJob::runShort(const QStringList& arguments, int timeoutMs, bool verbose) const
{
    QString output;
    if (FlashUtils::executeAdbCmd(m_device.data(), arguments, timeoutMs, verbose, nullptr, output) != 0)
        return QString(); // not run, killed at its time-out, or adb's own error text
    return output;
}

QStringList AdbDeviceJob::addressed(const QStringList& arguments) const
{
    const DeviceAddress address(m_device->getPlatformSerial(), m_device->getPort().getConnectionType());
    return address.adbSelector() + arguments;
}

QString AdbDeviceJob::commandLine(const QStringList& arguments, const QList<int>& quotedIndexes) const
{
    QStringList words{quoted(FMConst::AdbCmd())};
    words << addressed({});
    for (int i = 0; i < arguments.size(); ++i)
        words << (quotedIndexes.contains(i) ? quoted(arguments.at(i)) : arguments.at(i));
    return words.join(QLatin1Char(' '));
}

AdbDeviceJob::Outcome AdbDeviceJob::runLong(const QStringList& arguments, const std::function<void()>& started,
                                            QString& output, int& exitCode)
{
    m_cancelled = false;
    m_process = std::make_unique<ChildProcess>();
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    ProgramRun run(*m_process);
    if (!run.start(FMConst::AdbCmd(), addressed(arguments))) {
        m_process.reset();
        return Outcome::NotStarted;
    }
    started();
    QEventLoop loop;
    connect(m_process.get(), qOverload<int, QProcess::ExitStatus>(&QProcess::finished), &loop, &QEventLoop::quit);
    m_loop = &loop;
    if (m_process->state() != QProcess::NotRunning)
        loop.exec();
    m_loop = nullptr;
    output = run.output().trimmed();
    exitCode = m_process->exitStatus() == QProcess::NormalExit ? m_process->exitCode() : -1;
    m_process.reset();
    return m_cancelled ? Outcome::Cancelled : Outcome::Finished;
}

QString AdbDeviceJob::readStatus(bool verbose) const
{
    return runShort({QStringLiteral("shell"), QStringLiteral("getprop"), kStatusProperty}, 10000, verbose)
        .trimmed()
        .toLower();
}

QString AdbDeviceJob::pollStatus(bool verbose)
{
    m_cancelled = false;
    QString status = QStringLiteral("running");
    QElapsedTimer elapsed;
    elapsed.start();
    QTimer tick;
    tick.setInterval(m_pollIntervalMs);
    QEventLoop loop;
    connect(&tick, &QTimer::timeout, &loop, [&] {
        // A device that left answers nothing: the read gives the empty status.
        const bool present = m_device && m_device->isConnected();
        status = present ? readStatus(verbose) : QString();
        if (status != QLatin1String("running") || elapsed.elapsed() >= m_pollLimitMs) {
            if (status == QLatin1String("running"))
                status.clear();
            loop.quit();
        }
    });
    tick.start();
    m_loop = &loop;
    loop.exec();
    m_loop = nullptr;
    return m_cancelled ? QString() : status;
}

void AdbDeviceJob::setPollTiming(int intervalMs, int limitMs)
{
    m_pollIntervalMs = intervalMs;
    m_pollLimitMs = limitMs;
}

bool AdbDeviceJob::isRunning() const
{
    return m_loop != nullptr;
}

void AdbDeviceJob::cancel()
{
    if (!m_loop)
        return;
    m_cancelled = true;
    if (m_process)
        m_process->killGroup(); // its finished() ends the wait
    else
        m_loop->quit();
}
