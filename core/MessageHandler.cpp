#include "core/MessageHandler.h"

#include <QColor>
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QScrollBar>
#include <QStatusBar>
#include <QTextEdit>
#include <QThread>
#include <QtDebug>

#include <cstdio>

namespace {

constexpr int NormalFontWeight = 50;

bool isDefinedLevel(int level)
{
    return level >= FATAL && level <= TRACE;
}

QColor levelColor(LOGLEVEL level)
{
    switch (level) {
    case FATAL:
        return QColor(205, 16, 118);
    case ERROR:
        return QColor(255, 0, 0);
    case WARNING:
        return QColor(255, 140, 0);
    case INFO:
        return QColor(0, 0, 0);
    case DEBUG:
        return QColor(128, 128, 0);
    case TRACE:
        return QColor(Qt::gray);
    }
    return QColor(Qt::black);
}

} // namespace

std::atomic<MessageHandler*> MessageHandler::m_Instance{nullptr};
std::mutex MessageHandler::m_instance_mutex;

MessageHandler* MessageHandler::instance()
{
    MessageHandler* handler = m_Instance.load(std::memory_order_acquire);
    if (handler == nullptr) {
        std::lock_guard<std::mutex> lock(m_instance_mutex);
        handler = m_Instance.load(std::memory_order_relaxed);
        if (handler == nullptr) {
            handler = new MessageHandler;
            m_Instance.store(handler, std::memory_order_release);
        }
    }
    return handler;
}

void MessageHandler::deleteInstance()
{
    std::lock_guard<std::mutex> lock(m_instance_mutex);
    // The handler stays registered while it is destroyed: its destructor writes Qt debug lines,
    // which come back through instance() when Qt's messages are bound to this log. Found there,
    // the dying handler takes them; not found, instance() would wait for this very lock.
    delete m_Instance.load(std::memory_order_acquire);
    m_Instance.store(nullptr, std::memory_order_release);
}

MessageHandler::MessageHandler()
    : m_levelNames{QStringLiteral("FATAL"), QStringLiteral("ERROR"), QStringLiteral("WARNING"),
                   QStringLiteral("INFO"), QStringLiteral("DEBUG"), QStringLiteral("TRACE")}
{
    // The views are updated in the handler's thread: whichever thread logs first, that is the
    // application's (GUI) thread.
    QCoreApplication* application = QCoreApplication::instance();
    if (application != nullptr && thread() != application->thread())
        moveToThread(application->thread());
    init(false, QString(), nullptr, nullptr, INFO);
}

MessageHandler::~MessageHandler()
{
    qDebug() << "destructor QLN messageHandler ...";
    closeLogFile();
    qDebug() << "destructor QLN messageHandler OK";
}

void MessageHandler::init(bool shell, const QString& logFilePath, QTextEdit* mainTextEdit,
                          QStatusBar* statusBar, LOGLEVEL level)
{
    setLogLevel(level);
    m_shell = shell;
    if (!QMetaType::isRegistered(QMetaType::type("LOGLEVEL")))
        qRegisterMetaType<LOGLEVEL>("LOGLEVEL");
    if (!QMetaType::isRegistered(QMetaType::type("size_t")))
        qRegisterMetaType<size_t>("size_t");

    connect(this, &MessageHandler::clearTextEdits, this, &MessageHandler::do_clearTextEdits,
            Qt::ConnectionType(Qt::UniqueConnection | Qt::QueuedConnection));
    connect(this, &MessageHandler::resetTextEditsFont, this, &MessageHandler::do_resetTextEditsFont,
            Qt::ConnectionType(Qt::UniqueConnection | Qt::QueuedConnection));
    connect(this, &MessageHandler::updateTextEdits, this, &MessageHandler::do_updateTextEdits,
            Qt::ConnectionType(Qt::UniqueConnection | Qt::QueuedConnection));

    m_mainTextEdit = mainTextEdit;
    setStatus(statusBar);
    setLogFile(logFilePath);
}

void MessageHandler::logMessage(LOGLEVEL level, const QString& text, size_t textEditId)
{
    // Before the lock: the warning is a message of its own and the mutex is not recursive.
    if (!isDefinedLevel(level)) {
        logMessage(WARNING, QStringLiteral("logMessage(...): Undefined log level - Setting to max"),
                   MainTextEditId);
        level = TRACE;
    }

    std::lock_guard<std::mutex> lock(m_mutex);
    writeLocked(level, QDateTime::currentDateTime().toString(timeStampFormat()), text, textEditId);
}

void MessageHandler::writeLocked(LOGLEVEL level, const QString& timeStamp, const QString& text,
                                 size_t textEditId)
{
    const QString line = timeStamp + levelTag(level) + QStringLiteral(": ") + text;

    if (m_shell && level <= m_level) {
        const QByteArray bytes = line.toLocal8Bit();
        std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }
    QString writeFailure;
    if (m_logFile != nullptr) {
        m_logStream << line << '\n';
        m_logStream.flush();
        if (m_logStream.status() != QTextStream::Ok || m_logFile->error() != QFileDevice::NoError) {
            // A full disk fails every later line too: say so once and stop writing the file.
            writeFailure = QStringLiteral("messageHandler(): Can't write log file \"%1\": %2. Disabling log-file creation!")
                               .arg(m_logFile->fileName(), m_logFile->errorString());
            closeLogFileLocked();
        }
    }
    emit updateTextEdits(textEditId, level, line);
    emit newLog(level, timeStamp, text);
    if (!writeFailure.isEmpty())
        writeLocked(WARNING, timeStamp, writeFailure, MainTextEditId);
}

void MessageHandler::logMessage(LOGLEVEL level, const char* text)
{
    logMessage(level, QString::fromUtf8(text), MainTextEditId);
}

void MessageHandler::logMessage(LOGLEVEL level, const QString& text)
{
    logMessage(level, text, MainTextEditId);
}

void MessageHandler::logMessageWithDate(LOGLEVEL level, const QString& date, const QString& text)
{
    if (!isDefinedLevel(level)) {
        logMessage(WARNING, QStringLiteral("logMessage(...): Undefined log level - Setting to max"),
                   MainTextEditId);
        level = TRACE;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    if (text.isEmpty())
        return;
    emit updateTextEdits(MainTextEditId, level, date + levelTag(level) + QStringLiteral(": ") + text);
}

void MessageHandler::setLogLevel(LOGLEVEL level)
{
    if (isDefinedLevel(level)) {
        m_level = level;
        return;
    }
    m_level = TRACE;
    logMessage(WARNING, QStringLiteral("setLogLevel(): Undefined log level - Setting to max"),
               MainTextEditId);
}

LOGLEVEL MessageHandler::getLogLevel() const
{
    return LOGLEVEL(m_level.load());
}

QString MessageHandler::getLogLevelStr(LOGLEVEL level) const
{
    return isDefinedLevel(level) ? m_levelNames.at(level) : QString();
}

const QStringList& MessageHandler::getLogLevelNames() const
{
    return m_levelNames;
}

void MessageHandler::setShell(bool shell)
{
    m_shell = shell;
}

bool MessageHandler::isShell() const
{
    return m_shell;
}

void MessageHandler::setMainTextEditLog(QTextEdit* textEdit)
{
    m_mainTextEdit = textEdit;
}

void MessageHandler::setStatus(QStatusBar* statusBar)
{
    if (statusBar != nullptr)
        disconnect(statusBar, nullptr, this, nullptr);
    m_statusBar = statusBar;
}

bool MessageHandler::setLogFile(const QString& path)
{
    closeLogFile();
    if (!path.isEmpty())
        openLogFile(path, QStringLiteral("messageHandler(): Can't open log file "));
    return true;
}

QString MessageHandler::getLogFilePath() const
{
    return m_logFile != nullptr ? m_logFile->fileName() : QString();
}

void MessageHandler::registerTextEditLogger(size_t id, QTextEdit* textEdit)
{
    if (id >= m_textEditLoggers.size())
        m_textEditLoggers.resize(id + 1, nullptr);
    m_textEditLoggers[id] = textEdit;
}

QTextEdit* MessageHandler::getTextEditLogger(size_t id) const
{
    return id < m_textEditLoggers.size() ? m_textEditLoggers[id] : nullptr;
}

void MessageHandler::scrollTextEditsToBottom()
{
    if (m_mainTextEdit != nullptr)
        m_mainTextEdit->verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMaximum);
    for (QTextEdit* textEdit : m_textEditLoggers) {
        if (textEdit != nullptr)
            textEdit->verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMaximum);
    }
    emit scrolledToBottom();
}

void MessageHandler::reset()
{
    m_level = DEBUG;
    emit clearTextEdits();
    if (m_logFile == nullptr)
        return;
    const QString path = m_logFile->fileName();
    closeLogFile();
    openLogFile(path, QStringLiteral("messageHandler(): Can't re-open log file "));
}

void MessageHandler::clear()
{
    emit clearTextEdits();
}

QString MessageHandler::levelTag(LOGLEVEL level)
{
    switch (level) {
    case FATAL:
        return QStringLiteral("  FATAL  ");
    case ERROR:
        return QStringLiteral("  ERROR  ");
    case WARNING:
        return QStringLiteral("  WARNING");
    case INFO:
        return QStringLiteral("  INFO   ");
    case DEBUG:
        return QStringLiteral("  DEBUG  ");
    case TRACE:
        break;
    }
    return QStringLiteral("  TRACE  ");
}

QString MessageHandler::timeStampFormat()
{
    return QStringLiteral("MM/dd/yy hh:mm:ss.zzz");
}

void MessageHandler::do_clearTextEdits()
{
    if (m_mainTextEdit != nullptr)
        m_mainTextEdit->clear();
    for (QTextEdit* textEdit : m_textEditLoggers) {
        if (textEdit != nullptr)
            textEdit->clear();
    }
}

void MessageHandler::do_resetTextEditsFont()
{
    auto resetFont = [](QTextEdit* textEdit) {
        textEdit->setTextColor(QColor(Qt::black));
        textEdit->setFontWeight(NormalFontWeight);
    };
    if (m_mainTextEdit != nullptr)
        resetFont(m_mainTextEdit);
    for (QTextEdit* textEdit : m_textEditLoggers) {
        if (textEdit != nullptr)
            resetFont(textEdit);
    }
}

void MessageHandler::do_updateTextEdits(size_t textEditId, LOGLEVEL level, const QString& line)
{
    // The level is tested now, not when the line was built: lowering it hides queued lines too.
    QTextEdit* textEdit = textEditFor(textEditId);
    if (textEdit == nullptr || level > m_level)
        return;
    textEdit->setTextColor(levelColor(level));
    textEdit->setFontWeight(NormalFontWeight);
    textEdit->append(line);
}

bool MessageHandler::openLogFile(const QString& path, const QString& warningPrefix)
{
    auto* file = new QFile(path);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Text)) {
        delete file;
        logMessage(WARNING, warningPrefix + QLatin1Char('"') + path + QLatin1Char('"')
                                + QStringLiteral(". Disabling log-file creation!"));
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_logFile = file;
        m_logStream.setDevice(m_logFile);
    }
    return true;
}

void MessageHandler::closeLogFile()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    closeLogFileLocked();
}

void MessageHandler::closeLogFileLocked()
{
    if (m_logFile == nullptr)
        return;
    m_logStream.flush();
    m_logStream.setDevice(nullptr);
    m_logFile->close();
    delete m_logFile;
    m_logFile = nullptr;
}

QTextEdit* MessageHandler::textEditFor(size_t textEditId) const
{
    return textEditId == MainTextEditId ? m_mainTextEdit : getTextEditLogger(textEditId);
}
