#pragma once

// Pieces the flash engine tests share: a command kind that runs one of the simulator's programs
// for the device, configurations built in memory, a stand-in for the main window's receivers of
// the flash manager, and a station of simulated devices with a running scanner.

#include "DeviceManagerFixture.h"
#include "FakeFlashFile.h"
#include "core/ChildProcess.h"
#include "core/FMConst.h"
#include "engine/FlashDevice2.h"
#include "engine/FlashManager.h"
#include "engine/FlashRunner.h"
#include "model/FlashCommand.h"
#include "model/FlashConfiguration.h"
#include "platform/json/JsonObjectList.h"

#include <QCoreApplication>
#include <QMutex>
#include <QMutexLocker>
#include <QObject>
#include <QSet>
#include <QThread>

#include <functional>
#include <list>
#include <vector>

// Runs `<tool> -s <serial> <arguments>` (the tool's path from FMConst::getTool) through the run's
// runner: success on exit code 0 without "FAILED" in the output. `onPerform` (may be empty) is
// called first on the flash's thread.
class ToolCommand : public FlashCommand
{
public:
    ToolCommand(const QString& toolId, const QStringList& arguments,
                FlashTypes::CommandType type = FlashTypes::CommandType::Fastboot)
        : FlashCommand(new FlashCommandData(QStringLiteral("true"), false))
        , m_toolId(toolId)
        , m_arguments(arguments)
        , m_type(type)
    {
    }

    QString getLogCommand(const SharedPointer<FlashRunner>&) const override { return description(); }
    QString getLogCommand(const FlashConfiguration&) const override { return description(); }
    FlashTypes::CommandType getType() const override { return m_type; }
    bool isMandatory() const override { return true; }
    uint64_t getTimeout() const override { return 60000; }
    JsonObject toJson() const override { return getJsonBase(); }
    QString getToolId() const override { return m_toolId; }
    QString getToolParameters() const override { return m_arguments.join(QLatin1Char(' ')); }
    QSharedPointer<FlashCommand> clone() const override
    {
        return QSharedPointer<FlashCommand>(new ToolCommand(*this));
    }
    JsonObjectList getJsonEditorInterface() const override { return JsonObjectList(); }

    int performCommand(const SharedPointer<FlashRunner>& runner, const SharedPointer<FlashDevice2>& device,
                       uint64_t, QString& error) const override
    {
        if (onPerform)
            onPerform(runner);
        ChildProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        const QStringList arguments = QStringList{QStringLiteral("-s"), device->getSerial()} + m_arguments;
        const int waited = runner->runExternalProgram(process, FMConst::getTool(m_toolId), arguments, getTimeout());
        if (waited == FlashRunner::WaitCancelled)
            return PerformCancelled;
        const QString output = QString::fromUtf8(process.readAll());
        if (waited != FlashRunner::WaitDone || process.exitStatus() != QProcess::NormalExit
            || process.exitCode() != 0 || output.contains(QLatin1String("FAILED"))) {
            error = description() + QStringLiteral(" failed: ") + output.trimmed();
            return PerformFailed;
        }
        return PerformSuccess;
    }

    std::function<void(const SharedPointer<FlashRunner>&)> onPerform;

private:
    QString description() const { return m_toolId + QLatin1Char(' ') + getToolParameters(); }

    QString m_toolId;
    QStringList m_arguments;
    FlashTypes::CommandType m_type;
};

// A configuration of `commands` starting in `startState`, from a flash file that names `platforms`
// (none: every platform). The configuration keeps its file weakly: hold `file` while it is used.
struct TestFlashFile
{
    TestFlashFile(DeviceState startState, const std::vector<QSharedPointer<FlashCommand>>& commands,
                  const std::list<DevicePlatform>& platforms = {})
        : file(new FakeFlashFile)
        , configuration(new FlashConfiguration(startState, FlashConfiguration::UnknownGroupsEnabled,
                                               QStringLiteral("cfg"), QStringLiteral("Configuration"),
                                               QString(), QString(), QString(), false, {}, {}))
    {
        file->m_platforms = platforms;
        for (const auto& command : commands)
            configuration->appendCommand(command);
        configuration->setFlashFileManager(file);
    }

    QSharedPointer<FakeFlashFile> file;
    FlashConfigurationPtr configuration;
};

// What the main window does with the flash manager's signals: it receives them queued on its own
// thread and answers questions over a blocking queued connection.
class WindowDouble : public QObject
{
public:
    struct Finish
    {
        FlashDevice2Ptr device;
        FlashTypes::FlashStatus status;
        FlashTypes::CommandType type;
    };

    explicit WindowDouble(FlashManager& manager)
    {
        connect(&manager, &FlashManager::flashStarted, this,
                [this](FlashDevice2Ptr device) { m_started << device.data(); }, Qt::QueuedConnection);
        connect(&manager, &FlashManager::flashFinished, this,
                [this](FlashDevice2Ptr device, FlashTypes::FlashStatus status, FlashTypes::CommandType type) {
                    m_finished.push_back({device, status, type});
                },
                Qt::QueuedConnection);
        connect(&manager, &FlashManager::flashInfoChanged, this,
                [this](FlashDevice2Ptr device, const QString& text) { m_infos[device.data()] << text; },
                Qt::QueuedConnection);
        connect(&manager, &FlashManager::flashProgress, this,
                [this](FlashDevice2Ptr device, uint64_t done, uint64_t total) {
                    m_progress[device.data()] << qMakePair(done, total);
                },
                Qt::QueuedConnection);
        connect(&manager, &FlashManager::displayMessageBox, this,
                [this](const QString& kind, const QString& text, bool* answer) {
                    questions << kind + QLatin1Char(' ') + text;
                    if (answer)
                        *answer = cancelAnswer;
                },
                Qt::BlockingQueuedConnection);
    }

    int startedCount() const { return m_started.size(); }
    int finishedCount() const { return int(m_finished.size()); }
    const std::vector<Finish>& finished() const { return m_finished; }
    // The finish of `device`: its status, -1 while it has not finished.
    int statusOf(const FlashDevice2Ptr& device) const
    {
        for (const Finish& finish : m_finished) {
            if (finish.device == device)
                return int(finish.status);
        }
        return -1;
    }
    int finishCount(const FlashDevice2Ptr& device) const
    {
        int count = 0;
        for (const Finish& finish : m_finished)
            count += finish.device == device ? 1 : 0;
        return count;
    }
    // Status texts and progress pairs of one device, in order.
    QStringList infos(const FlashDevice2Ptr& device) const { return m_infos.value(device.data()); }
    QList<QPair<uint64_t, uint64_t>> progress(const FlashDevice2Ptr& device) const
    {
        return m_progress.value(device.data());
    }

    // Answer given to questions: true cancels the flash.
    bool cancelAnswer = false;
    QStringList questions;

private:
    QList<const FlashDevice2*> m_started;
    std::vector<Finish> m_finished;
    QHash<const FlashDevice2*, QStringList> m_infos;
    QHash<const FlashDevice2*, QList<QPair<uint64_t, uint64_t>>> m_progress;
};

// Simulated devices seen by a device manager whose scanner runs on its own (every 200 ms), with
// the simulator's adb and fastboot as the program's tools. Call FMConst::resetToDefaults() after.
class SimulatedStation : public DeviceManagerFixture
{
public:
    SimulatedStation()
        : DeviceManagerFixture(FlashDevice2::DeviceAllocator)
    {
        FMConst::setTool(FMConst::ADB_TOOL_ID, sim.toolPath(QStringLiteral("adb")));
        FMConst::setTool(FMConst::FASTBOOT_TOOL_ID, sim.toolPath(QStringLiteral("fastboot")));
        scanner->setScanInterval(200);
    }

    void startScanning() { scanner->startScan(); }

    // The device on USB port `port` once the scans have seen it in `state` (empty after 30 s).
    FlashDevice2Ptr waitForDevice(const QString& port, DeviceState state)
    {
        for (int attempt = 0; attempt < 300; ++attempt) {
            const FlashDevice2Ptr device = deviceAt<FlashDevice2>(PortNumber::usbPort(port));
            if (device && device->isConnected() && device->getState() == state)
                return device;
            QThread::msleep(100);
            QCoreApplication::processEvents();
        }
        return FlashDevice2Ptr();
    }
};
