#pragma once

// A sink of the logging library: receives every line of the handlers bound to it through
// `write`, called synchronously on the logging thread (any thread), one call at a time.
// The owner deletes it, from any thread: a sink unbinds itself from every handler first thing in its
// destructor (a derived sink calls `unbindAll`), so no line reaches it while it is being destroyed.

#include "platform/log/Logger.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <atomic>

class LogHandler;
class LoggedObject;

class LoggerInterface : public QObject
{
    Q_OBJECT

public:
    explicit LoggerInterface(QObject* parent = nullptr);
    ~LoggerInterface() override;

    // Lines of `handler` (and of the handlers bound to it) reach this sink.
    void bind(const LogHandler& handler);
    void bind(const LoggedObject& object);
    void unbind(const LogHandler& handler);
    void unbind(const LoggedObject& object);

    bool isUsingLogFilterLevel() const;

public slots:
    // On (the default): the filter levels of the handlers apply to this sink. Off: the sink gets
    // every line, whatever the handlers' filter levels.
    virtual void useLogFilterLevel(bool use);
    // One line: `first` is the name of the handler that logged it, `second` the label (the
    // context of the line, else the handler's prefix; may be empty), `third` the text.
    virtual void write(Logger::LogLevel level, QDateTime time, const QString& first,
                       const QString& second, const QString& third) = 0;

protected:
    // Unbinds the sink from every handler; once it returns, no thread is writing into it. The first
    // call of every derived sink's destructor: a line that came later would find its `write` gone.
    void unbindAll();

private:
    std::atomic<bool> m_useFilterLevel{true};
};
