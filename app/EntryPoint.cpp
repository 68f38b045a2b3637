#include "app/EntryPoint.h"

#include "app/ApplicationInfo.h"
#include "app/ArgParser.h"
#include "app/Quillon.h"
#include "loader/ToolConst.h"
#include "core/ApplicationLog.h"
#include "core/LoggerBridge.h"
#include "core/MessageHandler.h"
#include "core/MetaTypes.h"
#include "core/QlnErrorCode.h"
#include "core/SingletonException.h"
#include "core/UsbPortMap.h"
#include "download/HashManager.h"
#include "engine/EngineMetaTypes.h"
#include "engine/FlashManagerApplication.h"
#include "model/FlashCommand.h"
#include "model/ModelMetaTypes.h"
#include "platform/log/LogQDebugHandler.h"
#include "tools/BuiltInKinds.h"
#include "ui/UiMetaTypes.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>

#include <csignal>
#include <cstdlib>
#include <new>

namespace {

QStringList toArguments(int argc, char** argv)
{
    QStringList arguments;
    for (int index = 0; index < argc; ++index)
        arguments << QString::fromLocal8Bit(argv[index]);
    return arguments;
}

// A platform named by the user, or a display server to open: without one Qt's GUI start aborts.
bool hasDisplay()
{
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        if (!qEnvironmentVariableIsEmpty(name))
            return true;
    }
    return false;
}

} // namespace

EntryPoint::EntryPoint(FILE* out, FILE* err)
    : m_out(out)
    , m_err(err)
{
}

EntryPoint::~EntryPoint()
{
    m_quillon.reset();
    releaseApplication();
    cleanProgram(0, false);
}

int EntryPoint::run(int& argc, char** argv)
{
    qInstallMessageHandler(&EntryPoint::myMessageOutputNoMessagePrinted);
    m_gui = !StartupArguments::isCliRequested(argc, argv);
    const int code = guarded([&] { return start(argc, argv); });
    if (m_failed) {
        std::fflush(nullptr);
        std::_Exit(code);
    }
    return code;
}

int EntryPoint::guarded(const std::function<int()>& body)
{
    int code = QlnErrorCode::InternalError;
    try {
        return body();
    } catch (const std::bad_alloc& exception) {
        writeLine(m_err, getMessage(FATAL, exception.what()));
        code = QlnErrorCode::CliMemoryAllocationFailure;
    } catch (const SingletonException& exception) {
        writeLine(m_err, getMessage(FATAL, exception.what()));
    } catch (...) {
        writeLine(m_err, getMessage(FATAL, "Internal error"));
    }
    m_failed = true;
    printExitLine(code);
    return code;
}

int EntryPoint::cleanProgram(int code, bool print)
{
    delete m_bridge;
    m_bridge = nullptr;
    delete m_qtSink;
    m_qtSink = nullptr;
    if (print)
        printExitLine(code);
    return code;
}

std::string EntryPoint::getMessage(LOGLEVEL level, const std::string& text)
{
    QString head = QDateTime::currentDateTime().toString(MessageHandler::timeStampFormat());
    if (level >= FATAL && level <= TRACE)
        head += MessageHandler::levelTag(level) + QStringLiteral(": ");
    return head.toLocal8Bit().toStdString() + text;
}

void EntryPoint::myMessageOutputNoMessagePrinted(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type == QtFatalMsg) {
        std::fputs(text.toLocal8Bit().constData(), stderr);
        std::fputc('\n', stderr);
        std::fflush(stderr);
    }
}

int EntryPoint::start(int& argc, char** argv)
{
    MessageHandler::instance();
    m_bridge = new LoggerBridge;
    m_qtSink = new LogQDebugHandler(QStringLiteral("Qt"), QStringLiteral("Debug logs"));
    m_bridge->bind(*m_qtSink);
    // Read from the raw arguments before the application object exists, so that a fatal message
    // of its construction (no display) reaches the console instead of a log nobody reads yet.
    const QStringList rawArguments = toArguments(argc, argv);
    m_qtSink->setSilentModeEnabled(!StartupArguments::isDebugLogRequested(rawArguments));
    // A single action prints a text and leaves: it never needs a display.
    const StartupArguments::SingleAction action = StartupArguments::singleAction(rawArguments);
    const bool gui = m_gui && action == StartupArguments::SingleAction::None;
    if (gui && !hasDisplay()) {
        // Qt would abort in its platform plugin: say what is missing instead.
        writeLine(m_err, getMessage(ERROR, "No display to open the window on (DISPLAY and WAYLAND_DISPLAY are "
                                           "not set): run it in a desktop session, or use --cli"));
        return cleanProgram(QlnErrorCode::InternalError, true);
    }
    m_hashManager = std::make_unique<HashManager>();
    m_portMap = std::make_unique<UsbPortMap>();
    m_application.reset(FlashManagerApplication::createApplication(argc, argv, gui));
    registerMetaTypes();
    registerEngineMetaTypes();
    registerModelMetaTypes();
    registerUiMetaTypes();
    ApplicationInfo::publish(*m_application);

    const QStringList arguments = QCoreApplication::arguments();
    if (action != StartupArguments::SingleAction::None)
        return answerSingleAction(action, arguments);

    // The command kinds come first: loading the settings registers the user's tools among them.
    BuiltInKinds::registerAll();
    m_quillon = std::make_unique<Quillon>();
    // Loaded before -l is applied, so that -l overrides the stored level for this run only.
    ToolConst::Init();
    for (int level : StartupArguments::logLevels(argc, argv))
        MessageHandler::instance()->setLogLevel(LOGLEVEL(level));

    const int result = startFace();
    if (m_quillon->hasAbandonedFlashes())
        leaveWithFlashesBehind(result);
    qDebug() << "Deleting Quillon Lite";
    m_quillon.reset();
    releaseApplication();
    return cleanProgram(result == ArgParser::UsageShown ? QlnErrorCode::NoError : result, true);
}

int EntryPoint::answerSingleAction(StartupArguments::SingleAction action, const QStringList& arguments)
{
    QString output;
    if (action == StartupArguments::SingleAction::ErrorCode) {
        QString value;
        if (!StartupArguments::errorCodeArgument(arguments, value)) {
            ApplicationLog::write(ERROR, QStringLiteral("Missing error code argument"));
            releaseApplication();
            return cleanProgram(QlnErrorCode::CliMissingArguments, true);
        }
        bool ok = false;
        const int code = value.toInt(&ok, 10);
        output = QlnErrorCode::getErrorCodeStr(ok ? code : -1);
    } else if (action == StartupArguments::SingleAction::Help) {
        output = Quillon::help_message + QLatin1Char('\n') + QlnErrorCode::getAllErrorCodeStr();
    } else {
        output = ApplicationInfo::versionLine();
    }
    writeLine(m_out, output.toLocal8Bit().toStdString());
    releaseApplication();
    return cleanProgram(QlnErrorCode::NoError, false);
}

int EntryPoint::startFace()
{
    const int result = m_quillon->init(m_gui);
    if (result != 0)
        return result;
    ApplicationLog::write(INFO, QStringLiteral("Quillon Lite initialized successfully"));
    const int code = QCoreApplication::exec();
    // The shut-down must reach its exit line: an abort raised while the threads end is ignored.
    std::signal(SIGABRT, SIG_IGN);
    m_quillon->terminate(code);
    return code;
}

void EntryPoint::leaveWithFlashesBehind(int code)
{
    // A flash thread is stuck in a call that does not return (a library's): the ordered shut-down
    // would wait for it without end, and destructors would pull objects from under it. Its result
    // file is written; the process ends around it.
    m_quillon->settleFlashEnds();
    printExitLine(code);
    std::fflush(nullptr);
    std::_Exit(code);
}

void EntryPoint::releaseApplication()
{
    // The hash cache logs through the application log: it goes before the log and the application.
    qDebug() << "Deleting hash manager";
    m_hashManager.reset();
    m_application.reset();
    m_portMap.reset();
}

void EntryPoint::writeLine(FILE* stream, const std::string& line)
{
    std::fwrite(line.data(), 1, line.size(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

void EntryPoint::printExitLine(int code)
{
    writeLine(m_out, getMessage(code == QlnErrorCode::NoError ? INFO : ERROR,
                                "Quillon Lite exited with code " + std::to_string(code)));
}
