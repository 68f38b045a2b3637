#include "app/ApplicationInfo.h"

#include "core/QuillonLib.h"

#include <QCoreApplication>
#include <QDir>
#include <QVariant>

namespace {

// Seconds since 1970-01-01 UTC of the build time that QuillonLib reports.
constexpr double kBuildTimestamp = 1438247743.0;

struct FontSize
{
    const char* property;
    int points;
};

const FontSize kFontSizes[] = {
    {"FONT_SIZE_GENERAL", 11},     {"FONT_SIZE_DEVICE_WIDGET", 10}, {"FONT_SIZE_LOG_BUTTON", 11},
    {"FONT_SIZE_TOOL_BUTTON", 11}, {"FONT_SIZE_ABOUT", 11},         {"FONT_SIZE_AUTOUPDATE", 11},
    {"FONT_SIZE_LOGGER", 11},
};

} // namespace

void ApplicationInfo::publish(QCoreApplication& application)
{
    const QString version = QLatin1String(QuillonLib::getVersion());
    const QString libraryPath = QCoreApplication::applicationDirPath();
    QCoreApplication::setApplicationName(QStringLiteral("Zorvik") + QChar(0x00AE) + QStringLiteral(" Quillon Lite"));
    QCoreApplication::setApplicationVersion(version);
    application.setProperty("APP_FULL_VERSION", version);
    application.setProperty("APP_BUILD_TIME", QString::fromLatin1(QuillonLib::getBuildDate()));
    application.setProperty("APP_BUILD_TIMESTAMP", kBuildTimestamp);
    application.setProperty("APP_ARCH", QStringLiteral("x64"));
    application.setProperty("APP_LIB_PATH", libraryPath);
    application.setProperty("APP_SHARE_PATH", libraryPath);
    application.setProperty("APP_PCD_CONFIG_INI", libraryPath + QDir::separator() + QStringLiteral("config.ini"));
    for (const FontSize& fontSize : kFontSizes)
        application.setProperty(fontSize.property, fontSize.points);
}

QString ApplicationInfo::versionLine()
{
    const QCoreApplication* application = QCoreApplication::instance();
    return QStringLiteral("Zorvik(R) Quillon Lite V %1 %2 (build on %3)")
        .arg(QCoreApplication::applicationVersion(), application->property("APP_ARCH").toString(),
             application->property("APP_BUILD_TIME").toString());
}
