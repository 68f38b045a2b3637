#pragma once

// One run of an external program for a command: keeps what the program writes in the capture
// buffers its command asked for, cuts both channels into lines and hands every complete line to
// the run's log (DEBUG) or to a line callback, bounding how much one burst of standard output
// may log. Created on the stack of one attempt on the device's flash thread; the output slots run
// there too, inside FlashRunner::runExternalProgram's wait.

#include "core/ChildProcess.h"
#include "platform/device/SharedPointer.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class FlashRunner;
class QTextDecoder;

class ShellProcess : public ChildProcess
{
    Q_OBJECT

public:
    // Capture buffers a command may ask for (bits of `flags`).
    enum CaptureFlag {
        CaptureStdOutput = 1,  // standard output only
        CaptureStdError = 2,   // standard error only
        CaptureStdMerged = 4,  // both channels, in the order their chunks were read
    };

    using LineCallback = std::function<void(const QString& line)>;

    // Lines go to `runner`'s log unless a callback takes them; a null runner drops them.
    ShellProcess(const SharedPointer<FlashRunner>& runner, int flags);
    ~ShellProcess() override;

    // Null when the buffer was not requested.
    const QByteArray* getStdOutput() const;
    const QByteArray* getStdError() const;
    const QByteArray* getStdMerged() const;

    // The program's last few non-blank lines, both channels, each cut to a bounded length: what
    // an operator needs to see when the run failed.
    QStringList lastLines() const;

    // From now on lines go to `callback` instead of the log (the too-much-output warning still
    // reaches the log).
    void registerLogCallback(LineCallback callback);
    void unregisterLogCallback();

private slots:
    void readStandardOutput();
    void readStandardError();
    void cleanBuffers();

private:
    struct Channel;

    void readChannel(Channel& channel, const QByteArray& bytes, bool limitBurst);
    void passLine(const QString& line);
    void flushPending(Channel& channel);

    SharedPointer<FlashRunner> m_runner;
    int m_flags;
    std::unique_ptr<Channel> m_output;
    std::unique_ptr<Channel> m_error;
    QByteArray m_merged;
    LineCallback m_callback;
    QStringList m_lastLines;
};
