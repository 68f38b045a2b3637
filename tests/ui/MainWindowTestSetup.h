#pragma once

// What the window's tests set up as start-up does before a window exists, and the fresh home
// folder each test case runs on. Header-only.

#include "core/MessageHandler.h"
#include "loader/ToolConst.h"
#include "model/ModelMetaTypes.h"
#include "tools/BuiltInKinds.h"
#include "ui/UiMetaTypes.h"
#include "ui/UiResources.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace MainWindowTestSetup {

inline const QString& applicationName()
{
    static const QString name = QStringLiteral("Zorvik® Quillon Lite");
    return name;
}

// The descendant of `parent` named `name`; a missing one ends the test program, as every later
// step would only fail on it.
template <typename T>
T* requiredChild(const QObject& parent, const QString& name)
{
    T* found = parent.findChild<T*>(name);
    if (!found)
        qFatal("no %s", qPrintable(name));
    return found;
}

// Once per test program: the application's name, images, fonts, command kinds and the types of
// the window's queued calls.
inline void prepareApplication()
{
    QCoreApplication::setApplicationName(applicationName());
    UiResources::init();
    registerUiMetaTypes();
    registerModelMetaTypes();   // as the program does: spies read the configurations of the window's requests
    for (const char* property : {"FONT_SIZE_GENERAL", "FONT_SIZE_LOGGER", "FONT_SIZE_TOOL_BUTTON", "FONT_SIZE_LOG_BUTTON"})
        qApp->setProperty(property, 11);
    BuiltInKinds::registerAll();
}

// Once per test case: a home folder of its own under `folder` (settings file and user folders start
// absent), the settings' defaults, every log line delivered.
inline void useFreshHome(const QTemporaryDir& folder)
{
    const QString home = folder.filePath(QString::fromLatin1(QTest::currentTestFunction()) + QLatin1Char('-')
                                         + QString::fromLatin1(QTest::currentDataTag()).replace(' ', '_'));
    qputenv("HOME", QFile::encodeName(home));
    ToolConst::resetToDefaults();
    ToolConst::onUsingDownloadDirName = ToolConst::defaultDownloadDirName;
    ToolConst::onUsingConfigCacheDirName = ToolConst::defaultConfigCacheDirName;
    MessageHandler::instance()->setLogLevel(DEBUG);
}

} // namespace MainWindowTestSetup
