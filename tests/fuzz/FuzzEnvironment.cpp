#include "tests/fuzz/FuzzEnvironment.h"

#include "core/FMConst.h"
#include "core/MessageHandler.h"
#include "core/MetaTypes.h"
#include "model/FlashCommand.h"
#include "tools/BuiltInKinds.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace {

// Qt's own warnings would drown the fuzzer's output; a fatal message still ends the run.
void dropQtMessages(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", qPrintable(text));
}

void pointInto(const QDir& home, const char* variable, const QString& name)
{
    home.mkpath(name);
    qputenv(variable, QFile::encodeName(home.absoluteFilePath(name)));
}

// QLN_FUZZ_LOG=1 shows the application log on standard output, every level: for looking into
// what one input does, not for fuzzing.
bool isLogShown()
{
    static const bool shown = qEnvironmentVariableIsSet("QLN_FUZZ_LOG");
    return shown;
}

QTemporaryDir& homeDir()
{
    static QTemporaryDir folder(QDir::tempPath() + QStringLiteral("/qln-fuzz-XXXXXX"));
    return folder;
}

} // namespace

void FuzzEnvironment::setUp(int* argc, char*** argv)
{
    qInstallMessageHandler(dropQtMessages);

    const QTemporaryDir& folder = homeDir();
    if (!folder.isValid()) {
        std::fprintf(stderr, "fuzz: cannot create a temporary folder: %s\n", qPrintable(folder.errorString()));
        std::exit(1);
    }
    const QDir home(folder.path());
    qputenv("HOME", QFile::encodeName(home.path()));
    pointInto(home, "TMPDIR", QStringLiteral("tmp"));
    pointInto(home, "XDG_CONFIG_HOME", QStringLiteral(".config"));
    pointInto(home, "XDG_CACHE_HOME", QStringLiteral(".cache"));
    pointInto(home, "XDG_DATA_HOME", QStringLiteral(".local/share"));

    // The application object keeps references to its argument count and vector.
    static int applicationArgc = 1;
    static char* applicationArgv[] = {*argc > 0 ? (*argv)[0] : const_cast<char*>("fuzz"), nullptr};
    static QCoreApplication application(applicationArgc, applicationArgv);

    registerMetaTypes();
    BuiltInKinds::registerAll();
    MessageHandler::instance()->setShell(isLogShown());
}

void FuzzEnvironment::beginInput()
{
    FMConst::resetToDefaults();
    MessageHandler::instance()->setLogLevel(isLogShown() ? TRACE : INFO);
}

void FuzzEnvironment::endInput()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
