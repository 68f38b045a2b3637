#pragma once

// One flash of one device with one configuration: the engine's frame around the configuration's
// command loop. It marks the device flashing, waits for the device in the start state, pauses,
// runs the loop, reports the outcome as status text, log lines and one flashFinished, and marks
// the device idle again. The flash manager creates it and queues it on its pool, which runs run()
// on a pool thread and deletes it afterwards; every signal is emitted on that thread.

#include "core/FlashTypes.h"
#include "engine/FlashDevice2.h"
#include "model/FlashConfiguration.h"
#include "platform/log/LoggedObject.h"

#include <QObject>
#include <QRunnable>
#include <QString>

#include <cstdint>

class FlashRunner;

class FlashRunnable : public QObject, public QRunnable, public LoggedObject
{
    Q_OBJECT

public:
    // Creates the run's FlashRunner and attaches it to the device; `device` must not be empty.
    FlashRunnable(const FlashDevice2Ptr& device, const FlashConfigurationPtr& configuration);
    // Releases the runner, then the device, then the configuration.
    ~FlashRunnable() override;

    void run() override;

    const FlashConfigurationPtr& getConfiguration() const;
    const SharedPointer<FlashRunner>& getRunner() const;

    // A flash's duration for the status text: "999 ms", "1 s and 0 ms", "12 min and 34 s",
    // "25 h, 0 min and 0 s" (hours are not cut at a day).
    static QString durationText(int64_t elapsedMs);
    // The same for the log: "hh:mm:ss.zzz", the hours growing past 23 ("25:00:00.000").
    static QString durationStamp(int64_t elapsedMs);

signals:
    void flashStarted(FlashDevice2Ptr device);
    void flashFinished(FlashDevice2Ptr device, FlashTypes::FlashStatus status,
                       FlashTypes::CommandType type);
    void progressionChanged(FlashDevice2Ptr device, uint64_t done, uint64_t total);
    void progressionInfoChanged(FlashDevice2Ptr device, const QString& text);
    void displayMessageBox(const QString& kind, const QString& text, bool* answer = nullptr);
    void displayNotifierTool(const QString& text, uint64_t durationMs);

private slots:
    void onProgressionChanged(uint64_t done, uint64_t total);
    void onProgressionInfoChanged(const QString& text);

private:
    // Waits for the start state and makes the first pause; false when the flash ended there.
    bool waitForStartState(DeviceState startState);
    // Ends a flash that ran no command: status text, then finish().
    void endEarly(const QString& text, FlashTypes::FlashStatus status, FlashTypes::CommandType type);
    // Ends every flash: device idle, runner detached from it, flashFinished.
    void finish(FlashTypes::FlashStatus status, FlashTypes::CommandType type);
    // Writes a line on the runnable's own handler, labelled with the run's port as the runner's are.
    void logRunLine(Logger::LogLevel level, const QString& text) const;

    FlashConfigurationPtr m_configuration;
    FlashDevice2Ptr m_device;
    SharedPointer<FlashRunner> m_runner;
};
