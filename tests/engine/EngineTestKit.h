#pragma once

// Pieces the flash engine tests share: commands of the real kinds and a barrier that shows
// flashes running at once, configurations built in memory, a stand-in for the main window's receivers of
// the flash manager, and a station of simulated devices with a running scanner.

#include "DeviceManagerFixture.h"
#include "FakeFlashFile.h"
#include "core/FMConst.h"
#include "engine/FlashDevice2.h"
#include "engine/FlashManager.h"
#include "engine/FlashRunner.h"
#include "model/FlashCommand.h"
#include "model/FlashConfiguration.h"
#include "platform/json/JsonObjectList.h"
#include "tools/BuiltInKinds.h"

#include <QCoreApplication>
#include <QMutex>
#include <QMutexLocker>
#include <QObject>
#include <QSet>
#include <QThread>

#include <atomic>
#include <functional>
#include <list>
#include <vector>

// A command of a real kind, from its JSON text; null when the kind refuses it. The kinds must be
// registered (BuiltInKinds::registerAll()).
inline QSharedPointer<FlashCommand> kindCommand(const QByteArray& json)
{
    JsonObject object;
    if (!object.loadMemory(json))
        return {};
    return FlashCommand::getCommandFromJson(object);
}

// A "fastboot" command with the argument text `args`.
inline QSharedPointer<FlashCommand> fastbootCommand(const QString& args)
{
    return kindCommand(R"({"tool": "fastboot", "timeout": 60000, "retry": 1, "description": "step", "args": ")"
                       + args.toUtf8() + "\"}");
}

// Holds each flash at this command until `expected` flashes have reached it (or a minute passed),
// and notes the thread of each: flashes that all pass it ran at the same time.
class BarrierCommand : public FlashCommand
{
public:
    explicit BarrierCommand(int expected)
        : FlashCommand(new FlashCommandData(QStringLiteral("true"), false))
        , m_expected(expected)
    {
    }

    QString getLogCommand(const SharedPointer<FlashRunner>&) const override { return QStringLiteral("barrier"); }
    QString getLogCommand(const FlashConfiguration&) const override { return QStringLiteral("barrier"); }
    FlashTypes::CommandType getType() const override { return FlashTypes::CommandType::Internal; }
    bool isMandatory() const override { return true; }
    uint64_t getTimeout() const override { return 60000; }
    JsonObject toJson() const override { return getJsonBase(); }
    QString getToolId() const override { return QStringLiteral("barrier"); }
    QString getToolParameters() const override { return QString(); }
    QSharedPointer<FlashCommand> clone() const override { return {}; }
    JsonObjectList getJsonEditorInterface() const override { return JsonObjectList(); }

    int performCommand(const SharedPointer<FlashRunner>& runner, const SharedPointer<FlashDevice2>&, uint64_t,
                       QString&) const override
    {
        {
            QMutexLocker locker(&m_mutex);
            m_threads.insert(QThread::currentThread());
        }
        ++m_arrived;
        for (int waited = 0; m_arrived < m_expected && waited < 6000; ++waited) {
            if (runner->sleep(10) == FlashRunner::SleepCancelled)
                return PerformCancelled;
        }
        return PerformSuccess;
    }

    int arrived() const { return m_arrived; }
    int threadCount() const
    {
        QMutexLocker locker(&m_mutex);
        return m_threads.size();
    }

private:
    const int m_expected;
    mutable std::atomic<int> m_arrived{0};
    mutable QMutex m_mutex;
    mutable QSet<QThread*> m_threads;
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

    // Adds a simulated device (vendor 8087: a zorvik_android phone unless `vendor` says otherwise),
    // scans, and returns its device once the scans have seen it in `state` (a keyword such as
    // "pos"); empty when that did not happen within 30 s.
    FlashDevice2Ptr attach(const QString& serial, const QString& port, const QString& state,
                           const QString& vendor = QStringLiteral("8087"))
    {
        if (!sim.addDevice(serial, port, state, {QStringLiteral("--vendor"), vendor}))
            return FlashDevice2Ptr();
        startScanning();
        const auto states = FlashTypes::getStateMap(FlashTypes::StateMapV3p0);
        const auto wanted = states.find(state);
        return wanted == states.end() ? FlashDevice2Ptr() : waitForDevice(port, wanted->second);
    }

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
