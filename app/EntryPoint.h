#pragma once

// The life of the quillonlite process: silences Qt's own messages, chooses the face, builds the
// process-wide services (application log and its bridge, Qt debug sink, USB port map, application
// object), publishes the build data, answers the single actions, loads the settings and the log
// level, hands over to the face, tears everything down in a fixed order (or, when a flash thread is
// stuck, leaves around it) and prints the last line, "Quillon Lite exited with code N". main() owns
// the one EntryPoint; main thread only.

#include "app/StartupArguments.h"
#include "core/LogLevel.h"

#include <QtGlobal>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>

class HashManager;
class LogQDebugHandler;
class LoggerBridge;
class Quillon;
class QCoreApplication;
class UsbPortMap;

class EntryPoint
{
public:
    // Console lines of the entry point go to `out` (texts of the single actions, the exit line)
    // and `err` (FATAL lines).
    explicit EntryPoint(FILE* out = stdout, FILE* err = stderr);
    ~EntryPoint();

    EntryPoint(const EntryPoint&) = delete;
    EntryPoint& operator=(const EntryPoint&) = delete;

    // The whole run; returns the exit status. When an exception escapes, the process ends here,
    // after the FATAL line and the exit line, without running destructors: threads started before
    // the failure may still be working.
    int run(int& argc, char** argv);

    // Runs `body` and returns its result. An escaping exception writes its FATAL line to the error
    // stream and the exit line, marks the run as failed (hasFailed) and gives its code:
    // 17 for std::bad_alloc, 7 for a SingletonException (with its message) and for anything else
    // ("Internal error"). Nothing is deleted on that path.
    int guarded(const std::function<int()>& body);
    bool hasFailed() const { return m_failed; }

    // Deletes the log bridge and the Qt debug sink (when present), then, when `print`, writes the
    // exit line: INFO for 0, ERROR otherwise. Returns `code`.
    int cleanProgram(int code, bool print);

    // A console line: the local time "MM/dd/yy hh:mm:ss.zzz", the level tag ("  INFO   : ") and
    // `text`; no tag for a level outside FATAL..TRACE.
    static std::string getMessage(LOGLEVEL level, const std::string& text);

    // The Qt message handler installed before anything else: Qt's own messages print nothing,
    // except a fatal one, which says why Qt is about to abort the process.
    static void myMessageOutputNoMessagePrinted(QtMsgType type, const QMessageLogContext& context,
                                                const QString& text);

private:
    // Everything between the choice of the face and the exit line; returns the exit status.
    int start(int& argc, char** argv);
    int answerSingleAction(StartupArguments::SingleAction action, const QStringList& arguments);
    // Hands over to the face and runs the event loop; returns 1 when there was nothing to do, else
    // the exit status.
    int startFace();
    // Ends the process with `code` after the exit line, without the shut-down, when flashes were
    // left behind (Quillon::hasAbandonedFlashes).
    [[noreturn]] void leaveWithFlashesBehind(int code);
    // Destroys the application object, then the USB port map.
    void releaseApplication();
    void writeLine(FILE* stream, const std::string& line);
    void printExitLine(int code);

    FILE* m_out;
    FILE* m_err;
    bool m_gui = true;
    bool m_failed = false;
    LoggerBridge* m_bridge = nullptr;
    LogQDebugHandler* m_qtSink = nullptr;
    std::unique_ptr<Quillon> m_quillon;
    std::unique_ptr<HashManager> m_hashManager;
    std::unique_ptr<UsbPortMap> m_portMap;
    std::unique_ptr<QCoreApplication> m_application;
};
