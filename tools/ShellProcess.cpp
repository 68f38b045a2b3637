#include "tools/ShellProcess.h"

#include "engine/FlashRunner.h"

#include <QRegularExpression>
#include <QStringList>
#include <QTextCodec>
#include <QTextDecoder>

namespace {

// One burst of standard output logs at most this many lines once it has more than the limit.
constexpr int kBurstLimit = 200;
constexpr int kBurstKept = 50;
// What a failed run shows of its program's output.
constexpr int kLastLinesKept = 5;
constexpr int kLastLineLength = 300;

const QRegularExpression& lineBreaks()
{
    static const QRegularExpression expression(QStringLiteral("[\\r\\n]+"));
    return expression;
}

} // namespace

// What one channel has read: its capture buffer and the text after its last line break. One
// decoder per channel keeps a UTF-8 character that two reads split whole.
struct ShellProcess::Channel
{
    explicit Channel(int captureFlag)
        : captureFlag(captureFlag)
        , decoder(QTextCodec::codecForName("UTF-8")->makeDecoder())
    {
    }

    int captureFlag;
    QByteArray buffer;
    QString pending;
    std::unique_ptr<QTextDecoder> decoder;
};

ShellProcess::ShellProcess(const SharedPointer<FlashRunner>& runner, int flags)
    : m_runner(runner)
    , m_flags(flags)
    , m_output(new Channel(CaptureStdOutput))
    , m_error(new Channel(CaptureStdError))
{
    // Direct: the process lives on a flash thread without an event loop; its signals arrive
    // while runExternalProgram waits, on that same thread.
    connect(this, &QProcess::readyReadStandardOutput, this, &ShellProcess::readStandardOutput,
            Qt::DirectConnection);
    connect(this, &QProcess::readyReadStandardError, this, &ShellProcess::readStandardError,
            Qt::DirectConnection);
    connect(this, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), this,
            &ShellProcess::cleanBuffers, Qt::DirectConnection);
}

ShellProcess::~ShellProcess() = default;

const QByteArray* ShellProcess::getStdOutput() const
{
    return (m_flags & CaptureStdOutput) ? &m_output->buffer : nullptr;
}

const QByteArray* ShellProcess::getStdError() const
{
    return (m_flags & CaptureStdError) ? &m_error->buffer : nullptr;
}

const QByteArray* ShellProcess::getStdMerged() const
{
    return (m_flags & CaptureStdMerged) ? &m_merged : nullptr;
}

QStringList ShellProcess::lastLines() const
{
    return m_lastLines;
}

void ShellProcess::registerLogCallback(LineCallback callback)
{
    m_callback = std::move(callback);
}

void ShellProcess::unregisterLogCallback()
{
    m_callback = nullptr;
}

void ShellProcess::readStandardOutput()
{
    readChannel(*m_output, readAllStandardOutput(), true);
}

void ShellProcess::readStandardError()
{
    // Errors are never cut: they are what an operator needs when the program fails.
    readChannel(*m_error, readAllStandardError(), false);
}

void ShellProcess::cleanBuffers()
{
    readStandardOutput();
    readStandardError();
    flushPending(*m_output);
    flushPending(*m_error);
}

void ShellProcess::readChannel(Channel& channel, const QByteArray& bytes, bool limitBurst)
{
    if (bytes.isEmpty())
        return;
    if (m_flags & channel.captureFlag)
        channel.buffer += bytes;
    if (m_flags & CaptureStdMerged)
        m_merged += bytes;

    const int nul = bytes.indexOf('\0');
    channel.pending += channel.decoder->toUnicode(nul < 0 ? bytes : bytes.left(nul));

    QStringList lines = channel.pending.split(lineBreaks(), Qt::SkipEmptyParts);
    const bool complete = channel.pending.endsWith(QLatin1Char('\n'))
                          || channel.pending.endsWith(QLatin1Char('\r'));
    // Without a final line break the last piece is the start of a line still to come.
    channel.pending = complete || lines.isEmpty() ? QString() : lines.takeLast();

    if (limitBurst && lines.size() > kBurstLimit) {
        if (m_runner)
            m_runner->logMessage(Logger::WARNING,
                                 QStringLiteral("External program sent too much logs, skipping %1 lines...")
                                     .arg(lines.size() - kBurstKept));
        lines = lines.mid(lines.size() - kBurstKept);
    }
    for (const QString& line : qAsConst(lines))
        passLine(line);
}

void ShellProcess::passLine(const QString& line)
{
    const QString trimmed = line.trimmed();
    if (!trimmed.isEmpty()) {
        if (m_lastLines.size() == kLastLinesKept)
            m_lastLines.removeFirst();
        m_lastLines << (trimmed.size() > kLastLineLength ? trimmed.left(kLastLineLength) + QStringLiteral("...") : trimmed);
    }
    if (m_callback)
        m_callback(line);
    else if (m_runner)
        m_runner->logMessage(Logger::DEBUG, line);
}

void ShellProcess::flushPending(Channel& channel)
{
    const QString line = channel.pending;
    channel.pending.clear();
    if (!line.trimmed().isEmpty())
        passLine(line);
}
