#pragma once

// Sink of the logging library that writes every line into the application log as
// "[" + label + "] " + text (the text alone without a label). Owned by whoever binds handlers to it
// (the entry point, the application class); write() runs on the logging thread.

#include "platform/log/LoggerInterface.h"

class LoggerBridge : public LoggerInterface
{
    Q_OBJECT

public:
    explicit LoggerBridge(QObject* parent = nullptr);
    ~LoggerBridge() override;

    // `time` and `first` are not used: the application log stamps its own time.
    void write(Logger::LogLevel level, QDateTime time, const QString& first, const QString& second,
               const QString& third) override;
};
