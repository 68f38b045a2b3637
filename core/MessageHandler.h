#pragma once

// The one application log. Every thread logs through MessageHandler::instance()->logMessage(level, text);
// a line goes to the console (shell mode, up to the current level), the log file (every level), the
// text-edit views (up to the current level, updated in the handler's thread through queued signals) and
// the newLog signal (every level). Start-up configures it; the final clean-up calls deleteInstance().

#include "core/LogLevel.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <atomic>
#include <cstddef>
#include <deque>
#include <mutex>

class QFile;
class QStatusBar;
class QTextEdit;

class MessageHandler : public QObject
{
    Q_OBJECT

public:
    // Id of the main text edit among the text-edit views (all bits set).
    static constexpr size_t MainTextEditId = static_cast<size_t>(-1);

    // Created on first use, from any thread; lives until deleteInstance().
    static MessageHandler* instance();
    // Final clean-up: deletes the handler (if any); the lines its destructor writes still reach it.
    // Must not run while another thread logs.
    static void deleteInstance();

    ~MessageHandler() override;

    void init(bool shell, const QString& logFilePath, QTextEdit* mainTextEdit, QStatusBar* statusBar,
              LOGLEVEL level);

    // Core writer; textEditId selects the view (MainTextEditId: the main text edit).
    void logMessage(LOGLEVEL level, const QString& text, size_t textEditId);

    LOGLEVEL getLogLevel() const;
    // "FATAL" ... "TRACE"; empty for a value outside 0..5.
    QString getLogLevelStr(LOGLEVEL level) const;
    // The six level names in level order, for level selectors.
    const QStringList& getLogLevelNames() const;

    void setShell(bool shell);
    bool isShell() const;
    void setMainTextEditLog(QTextEdit* textEdit);
    void setStatus(QStatusBar* statusBar);
    // Replaces (and truncates) the log file; an empty path stops file logging. A file that cannot be
    // opened, or later written (a full disk), is reported at WARNING and logging goes on without a
    // file. Always returns true.
    bool setLogFile(const QString& path);
    // Path of the open log file, empty when none.
    QString getLogFilePath() const;

    void registerTextEditLogger(size_t id, QTextEdit* textEdit);
    QTextEdit* getTextEditLogger(size_t id) const;

    // GUI thread only: scrolls every view to its end, then emits scrolledToBottom().
    void scrollTextEditsToBottom();
    // Back to DEBUG, views cleared, log file truncated.
    void reset();

    // Nine-character tag of a level ("  WARNING"); TRACE's tag for a value outside 0..5.
    static QString levelTag(LOGLEVEL level);
    // Time stamp format of every line.
    static QString timeStampFormat();

signals:
    void clearTextEdits();
    void resetTextEditsFont();
    void updateTextEdits(size_t textEditId, LOGLEVEL level, const QString& line);
    void newLog(LOGLEVEL level, const QString& timeStamp, const QString& text);
    void scrolledToBottom();

public slots:
    void setLogLevel(LOGLEVEL level);
    void logMessage(LOGLEVEL level, const char* text);
    void logMessage(LOGLEVEL level, const QString& text);
    void logMessageWithDate(LOGLEVEL level, const QString& date, const QString& text);
    void clear();

private slots:
    void do_clearTextEdits();
    void do_resetTextEditsFont();
    void do_updateTextEdits(size_t textEditId, LOGLEVEL level, const QString& line);

private:
    MessageHandler();

    // Opens path write-only, truncating; on failure logs warningPrefix + quoted path and returns false.
    bool openLogFile(const QString& path, const QString& warningPrefix);
    void closeLogFile();
    void closeLogFileLocked();
    // Steps of the core writer under m_mutex: console, log file, views and newLog. A log file that
    // cannot be written is closed and reported by one WARNING line of its own.
    void writeLocked(LOGLEVEL level, const QString& timeStamp, const QString& text, size_t textEditId);
    QTextEdit* textEditFor(size_t textEditId) const;

    QStringList m_levelNames;
    std::atomic<int> m_level{INFO};
    std::atomic<bool> m_shell{false};
    QTextEdit* m_mainTextEdit = nullptr;
    QFile* m_logFile = nullptr;
    QTextStream m_logStream;
    QStatusBar* m_statusBar = nullptr;
    std::deque<QTextEdit*> m_textEditLoggers;
    std::mutex m_mutex;

    static std::atomic<MessageHandler*> m_Instance;
    static std::mutex m_instance_mutex;
};
