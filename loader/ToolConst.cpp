#include "loader/ToolConst.h"

#include "core/ApplicationLog.h"
#include "core/FMConst.h"
#include "core/MessageHandler.h"
#include "loader/ExternalToolManager.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QSettings>
#include <QThread>
#include <QVariant>

#include <initializer_list>
#include <utility>

namespace {

QString progressStyle(const char* from, const char* to)
{
    return QStringLiteral(
               "QProgressBar { text-align: center; border: 1px solid gray; border-radius: 3px; "
               "background: white; padding: 1px; } "
               "QProgressBar::chunk { background: qlineargradient(x1: 0, y1: 0.5, x2: 1, y2: 0.5, "
               "stop: 0 %1, stop: 1 %2); }")
        .arg(QLatin1String(from), QLatin1String(to));
}

unsigned char idealParallelDownloads()
{
    return static_cast<unsigned char>(QThread::idealThreadCount() & 0xff);
}

// The settings file failed to take a write: the values in memory stay in use for this run.
void reportWriteFailure(const QSettings& settings)
{
    if (settings.status() == QSettings::NoError)
        return;
    ApplicationLog::write(
        LOGLEVEL::WARNING, QStringLiteral("Cannot write settings file %1").arg(settings.fileName()));
}

// Writes the given keys to the settings file before returning.
void writeKeys(std::initializer_list<std::pair<QString, QVariant>> values)
{
    QSettings settings(ToolConst::defaultOptionName, QSettings::IniFormat);
    for (const auto& value : values)
        settings.setValue(value.first, value.second);
    settings.sync();
    reportWriteFailure(settings);
}

// Reads one key of the settings file; a missing key gets its default, written back on request.
class SettingsLoader
{
public:
    explicit SettingsLoader(QSettings& settings) : m_settings(settings) {}

    QString text(const QString& key, const QString& fallback)
    {
        return value(key, fallback).toString();
    }
    bool flag(const QString& key, bool fallback) { return value(key, fallback).toBool(); }
    int number(const QString& key, int fallback) { return value(key, fallback).toInt(); }

    QVariant value(const QString& key, const QVariant& fallback)
    {
        if (m_settings.contains(key))
            return m_settings.value(key);
        m_settings.setValue(key, fallback);
        return fallback;
    }

private:
    QSettings& m_settings;
};

} // namespace

const QString ToolConst::KEY_DOWNLOAD_DIR = QStringLiteral("StrOptDownloadDir");
const QString ToolConst::KEY_CONFIGURATION_DIR = QStringLiteral("StrOptCacheDir");
const QString ToolConst::KEY_FORCE_FASTBOOT = QStringLiteral("force_using_fastbootseq");
const QString ToolConst::KEY_DEFAULT_LOGLEVEL = QStringLiteral("LOGLEVEL");
const QString ToolConst::KEY_DEFAULT_DIR_FOR_CUSTOM_PANEL = QStringLiteral("defaultDirForCustomPanel");
const QString ToolConst::KEY_LATEST_BCKP_FILE = QStringLiteral("LatestBackupFile");
const QString ToolConst::KEY_LATEST_FACTORY_BCKP_DIR = QStringLiteral("LatestFactoryBackupDir");
const QString ToolConst::KEY_RELOAD_LOCAL_TAB_SETTING = QStringLiteral("AutoReloadLocalTabSettings");
const QString ToolConst::KEY_RELOAD_EDITOR_TAB_SETTING = QStringLiteral("AutoReloadEditorTabSettings");
const QString ToolConst::KEY_DISPLAY_SYSTRAY_NOTIFICATION = QStringLiteral("DisplaySystrayNotification");
const QString ToolConst::KEY_DISPLAY_DOCUMENTATION_POPUP = QStringLiteral("DisplayDocumentationPopup");
const QString ToolConst::KEY_LATEST_ZIP_IN_LOCAL = QStringLiteral("LatestZIPFileInLocal");
const QString ToolConst::KEY_LATEST_XML_IN_LOCAL = QStringLiteral("LatestXmlFileInLocal");
const QString ToolConst::KEY_LATEST_FILE_IN_EDITOR = QStringLiteral("LatestFileInEditor");
const QString ToolConst::KEY_LATEST_STATE_IS_USER_FILE_IN_EDITOR =
    QStringLiteral("latestStateIsUserFileInEditor");
const QString ToolConst::KEY_REMOTE_AUTO_UPDATE_XML_FILE =
    QStringLiteral("remoteAutoUpdateFileOnArtifactoryV20");
const QString ToolConst::KEY_LATEST_ARTIFACTORY_BRANCH = QStringLiteral("LatestArtifactoryBranch");
const QString ToolConst::KEY_LATEST_ARTIFACTORY_BUILDTYPE = QStringLiteral("LatestArtifactoryBuildType");
const QString ToolConst::KEY_LATEST_ARTIFACTORY_CUSTOM_PROP = QStringLiteral("LatestArtifactoryCustomProp");
const QString ToolConst::KEY_LATEST_ARTIFACTORY_BOARD = QStringLiteral("LatestArtifactoryBoard");
const QString ToolConst::KEY_LATEST_ARTIFACTORY_BUILDVARIANT =
    QStringLiteral("LatestArtifactoryBuildVariant");
const QString ToolConst::KEY_ARTIFACTORY_DOWNLOAD_URL = QStringLiteral("ArtifactoryDownloadUrl_v2");
const QString ToolConst::KEY_ARTIFACTORY_CUSTOM_ENV_URL = QStringLiteral("ArtifactoryCustomEnvUrl");
const QString ToolConst::KEY_ARTIFACTORY_ENVIRONEMENT = QStringLiteral("ArtifactoryCurrentEnvironmentKey");
const QString ToolConst::KEY_ARTIFACTORY_REMEMBER_CREDENTIAL =
    QStringLiteral("ArtifactoryRememberCredentials");
const QString ToolConst::KEY_ARTIFACTORY_INTEGRITY_CHECK = QStringLiteral("ArtifactoryCheckIntegrity");
const QString ToolConst::KEY_ARTIFACTORY_FAVORITE_SERVER = QStringLiteral("ArtifactoryFavoriteServer");
const QString ToolConst::KEY_DOWNLOAD_THREAD_QUANTITY = QStringLiteral("DownloadThreadQuantity");
const QString ToolConst::KEY_STATUS_SERVER_ENABLED = QStringLiteral("StatusServerEnabled");
const QString ToolConst::KEY_STATUS_SERVER_LISTEN_ADDRESS = QStringLiteral("StatusServerListenAdress");
const QString ToolConst::KEY_STATUS_SERVER_LISTEN_PORT = QStringLiteral("StatusServerListenPort");
const QString ToolConst::KEY_STATUS_SERVER_MAX_CLIENTS = QStringLiteral("StatusServerMaxClient");
const QString ToolConst::KEY_PENDING_LOG_RESPONSE = QStringLiteral("PendingLogResponse");
const QString ToolConst::KEY_DEFAULT_VARIANT = QStringLiteral("DefaultVariantSelection");
const QString ToolConst::KEY_USER_TEMPLATE_FOLDER = QStringLiteral("UserCommandsTemplateFolder");
const QString ToolConst::KEY_TOOL_BEHAVIOR = QStringLiteral("TOOL_BEHAVIOR");

QString ToolConst::defaultOptionName = FMConst::perUserPath(QStringLiteral(".quillonlite.opt"));
QString ToolConst::defaultConfigCacheDirName = FMConst::perUserPath(QStringLiteral(".configs"));
QString ToolConst::defaultDownloadDirName = FMConst::perUserPath(QStringLiteral(".download"));
QString ToolConst::defaultUserCommandTemplatesDirectory = FMConst::perUserPath(QStringLiteral("templates"));
QString ToolConst::defaultConfName = FMConst::perUserPath(QStringLiteral(".config.ini"));

QString ToolConst::onUsingDownloadDirName;
QString ToolConst::onUsingConfigCacheDirName;
QString ToolConst::defaultCustomPanelDirName = ToolConst::defaultDownloadDirName;
QString ToolConst::latestBackupFile;
QString ToolConst::latestFactoryBackupDir;
QString ToolConst::latestArchiveFileInLocal;
QString ToolConst::latestXmlFileInLocal;
const bool ToolConst::DEFAULT_RELOAD_LOCAL_TAB_SETTINGS = false;
const bool ToolConst::DEFAULT_RELOAD_EDITOR_TAB_SETTINGS = true;
const bool ToolConst::DEFAULT_DISPLAY_DOCUMENTATION_POPUP = true;
const bool ToolConst::DEFAULT_DISPLAY_SYSTRAY_NOTIFICATION = true;
bool ToolConst::RELOAD_LOCAL_TAB_SETTINGS = ToolConst::DEFAULT_RELOAD_LOCAL_TAB_SETTINGS;
bool ToolConst::RELOAD_EDITOR_TAB_SETTINGS = ToolConst::DEFAULT_RELOAD_EDITOR_TAB_SETTINGS;
bool ToolConst::DISPLAY_DOCUMENTATION_POPUP = ToolConst::DEFAULT_DISPLAY_DOCUMENTATION_POPUP;
bool ToolConst::DISPLAY_SYSTRAY_NOTIFICATION = ToolConst::DEFAULT_DISPLAY_SYSTRAY_NOTIFICATION;
unsigned char ToolConst::parallelDownloads_ = idealParallelDownloads();
const QString ToolConst::defaultDefaultVariantSelection = QStringLiteral("*");
QString ToolConst::ms_sDefaultVariantSelection = ToolConst::defaultDefaultVariantSelection;
QString ToolConst::ms_sUserTemplateFolder = ToolConst::defaultUserCommandTemplatesDirectory;
int ToolConst::TOOL_BEHAVIOR = static_cast<int>(FMConst::FM_BEHAVIOR_ENUM::AlwaysFlash);
QString ToolConst::helpURL_;
bool ToolConst::downloadOnly_ = false;

const QString ToolConst::TOOLTIP_EMPTY = QStringLiteral("Please choose a file");
const QString ToolConst::TOOLTIP_NOT_EXIST = QStringLiteral("File does not exist");
const QString ToolConst::StyleProgressSt = progressStyle("rgba(0, 0, 200, 255)", "rgba(120, 120, 200, 255)");
const QString ToolConst::StyleProgressOk = progressStyle("rgba(0, 200, 0, 255)", "rgba(120, 200, 120, 255)");
const QString ToolConst::StyleProgressEr = progressStyle("rgba(200, 0, 0, 255)", "rgba(200, 120, 120, 255)");
const QString ToolConst::StylePushButtonZorvikBlue = QStringLiteral(
    "QPushButton { color: white; background-color: rgb(0, 113, 197); padding:6px ; border-width: 2pt; "
    "border-style: outset; border-color: rgb(0, 174, 239); }"
    "QPushButton:hover { color: white; background-color: rgba(0, 113, 197,200); padding:6px ; "
    "border-width: 2pt; border-color: rgb(0, 174, 239); }"
    "QPushButton:focus:pressed { color: white; background-color: rgb(0, 174, 239); padding:6px ; "
    "border-width: 2pt; border-color: rgb(0, 174, 239); }"
    "QPushButton:disabled { color: white; background-color: rgb(147, 149, 152); padding:6px ; "
    "border-width: 2pt; border-style: outset; border-color: rgb(147, 149, 152); } ");

void ToolConst::Init()
{
    MessageHandler* log = MessageHandler::instance();
    QSettings settings(defaultOptionName, QSettings::IniFormat);
    log->logMessage(LOGLEVEL::TRACE, QStringLiteral("Loading settings from %1").arg(settings.fileName()));
    SettingsLoader load(settings);

    if (settings.contains(KEY_DEFAULT_LOGLEVEL)) {
        // An out-of-range level is the handler's to correct (it falls back to TRACE).
        log->setLogLevel(static_cast<LOGLEVEL>(settings.value(KEY_DEFAULT_LOGLEVEL).toInt()));
    } else {
        log->setLogLevel(LOGLEVEL::INFO);
        settings.setValue(KEY_DEFAULT_LOGLEVEL, static_cast<int>(log->getLogLevel()));
    }
    defaultCustomPanelDirName = load.text(KEY_DEFAULT_DIR_FOR_CUSTOM_PANEL, defaultDownloadDirName);
    onUsingConfigCacheDirName = load.text(KEY_CONFIGURATION_DIR, defaultConfigCacheDirName);
    onUsingDownloadDirName = load.text(KEY_DOWNLOAD_DIR, defaultDownloadDirName);
    FMConst::FORCE_GP_FLAG = load.flag(FMConst::KEY_FORCE_GPFLAG, FMConst::DEFAULT_FORCE_GP_FLAG);
    FMConst::USER_GP_FLAG = load.text(FMConst::KEY_GPFLAG, FMConst::DEFAULT_GP_FLAG);
    RELOAD_LOCAL_TAB_SETTINGS =
        load.flag(KEY_RELOAD_LOCAL_TAB_SETTING, DEFAULT_RELOAD_LOCAL_TAB_SETTINGS);
    DISPLAY_SYSTRAY_NOTIFICATION =
        load.flag(KEY_DISPLAY_SYSTRAY_NOTIFICATION, DEFAULT_DISPLAY_SYSTRAY_NOTIFICATION);
    DISPLAY_DOCUMENTATION_POPUP =
        load.flag(KEY_DISPLAY_DOCUMENTATION_POPUP, DEFAULT_DISPLAY_DOCUMENTATION_POPUP);
    latestBackupFile = load.text(KEY_LATEST_BCKP_FILE, QString());
    latestFactoryBackupDir = load.text(KEY_LATEST_FACTORY_BCKP_DIR, QString());
    latestArchiveFileInLocal = load.text(KEY_LATEST_ZIP_IN_LOCAL, QStringLiteral("none"));
    latestXmlFileInLocal = load.text(KEY_LATEST_XML_IN_LOCAL, QStringLiteral("none"));
    FMConst::ALWAYS_UNZIP_FLAG = load.flag(FMConst::KEY_ALWAYS_UNZIP, FMConst::DEFAULT_ALWAYS_UNZIP_FLAG);
    FMConst::REMOVE_UNZIPPED_DIR_FLAG =
        load.flag(FMConst::KEY_REMOVE_UNZIPPED_DIR, FMConst::DEFAULT_REMOVE_UNZIPPED_DIR_FLAG);
    FMConst::REMOVE_HISTORY_FLAG =
        load.flag(FMConst::KEY_REMOVE_HISTORY_FLAG, FMConst::DEFAULT_REMOVE_HISTORY_FLAG);
    FMConst::REMOVE_HISTORY_ASK =
        load.flag(FMConst::KEY_REMOVE_HISTORY_ASK, FMConst::DEFAULT_REMOVE_HISTORY_ASK);
    FMConst::REMOVE_HISTORY_AGE =
        load.value(FMConst::KEY_REMOVE_HISTORY_AGE, static_cast<uint>(FMConst::DEFAULT_REMOVE_HISTORY_AGE))
            .toInt();

    // These three are read only when present and never written back.
    if (settings.contains(FMConst::KEY_LATIN1_COMPARISON_FOR_FASTBOOT))
        FMConst::bLatin1ComparisonForFastbootEnabled =
            settings.value(FMConst::KEY_LATIN1_COMPARISON_FOR_FASTBOOT).toBool();
    if (settings.contains(FMConst::KEY_SCAN_ON_PLUG_DELAY)) {
        FMConst::SCAN_ON_PLUG_DELAY = settings.value(FMConst::KEY_SCAN_ON_PLUG_DELAY).toUInt();
        qDebug() << "Scan on plug delay set to " << FMConst::SCAN_ON_PLUG_DELAY << " ms";
    }
    if (settings.contains(FMConst::KEY_SCAN_ON_UNPLUG_DELAY)) {
        FMConst::SCAN_ON_UNPLUG_DELAY = settings.value(FMConst::KEY_SCAN_ON_UNPLUG_DELAY).toUInt();
        qDebug() << "Scan on unplug delay set to " << FMConst::SCAN_ON_UNPLUG_DELAY << " ms";
    }
    FMConst::scanUSBDevicesOnPlug =
        load.flag(FMConst::KEY_SCAN_USB_DEVICES_ON_PLUG, FMConst::defaultScanUSBDevicesOnPlug);

    ExternalToolManager::instance().loadRepairedFile(FMConst::defaultExternalToolsSettingsFileName);

    FMConst::setFlashLogResultEnabled(
        load.flag(FMConst::KEY_FLASH_LOG_RESULT_ENABLED, FMConst::defaultFlashLogResultEnabled));
    FMConst::setLogDirectory(load.text(FMConst::KEY_LOG_DIRECTORY, FMConst::defaultLogDirectory));
    FMConst::setFlashLogResultFileNamePattern(load.text(
        FMConst::KEY_FLASH_LOG_RESULT_FILENAME_PATTERN, FMConst::defaultFlashLogResultFileNamePattern));
    FMConst::setFlashLogResultContent(
        load.text(FMConst::KEY_FLASH_LOG_RESULT_CONTENT, FMConst::defaultFlashLogResultContent));
    FMConst::setFlashLogResultAppend(
        load.flag(FMConst::KEY_FLASH_LOG_RESULT_APPEND, FMConst::defaultFlashLogResultAppend));
    FMConst::setApplicationLogEnabled(
        load.flag(FMConst::KEY_APPLICATION_LOG_ENABLED, FMConst::defaultApplicationLogEnabled));
    FMConst::setApplicationLogFileNamePattern(load.text(
        FMConst::KEY_APPLICATION_LOG_FILENAME_PATTERN, FMConst::defaultApplicationLogFileNamePattern));

    // Only the low 8 bits are kept, as the parallel download count is one byte.
    parallelDownloads_ = static_cast<unsigned char>(
        load.value(KEY_DOWNLOAD_THREAD_QUANTITY, static_cast<int>(idealParallelDownloads())).toUInt()
        & 0xff);

    FMConst::USB_MAP_FILE = load.text(FMConst::KEY_USB_MAP_FILE, QString());
    FMConst::USB_MAP_ENABLED = load.flag(FMConst::KEY_USB_MAP_ENABLED, false);
    // An enabled map without a file is off for this run; the file keeps what it says.
    if (FMConst::USB_MAP_FILE.isEmpty())
        FMConst::USB_MAP_ENABLED = false;

    FMConst::FORCE_FASTBOOT_SPARSING =
        load.flag(FMConst::KEY_FORCE_FASTBOOT_SPARSING, FMConst::DEFAULT_FORCE_FASTBOOT_SPARSING);
    FMConst::FASTBOOT_SPARSING_SIZE =
        load.number(FMConst::KEY_FASTBOOT_SPARSING_SIZE, FMConst::DEFAULT_FASTBOOT_SPARSING_SIZE);
    FMConst::FORCE_FASTBOOT_VENDOR_ID =
        load.flag(FMConst::KEY_FORCE_FASTBOOT_VENDOR_ID, FMConst::DEFAULT_FORCE_FASTBOOT_VENDOR_ID);
    FMConst::FASTBOOT_VENDOR_ID =
        load.text(FMConst::KEY_FASTBOOT_VENDOR_ID, FMConst::DEFAULT_FASTBOOT_VENDOR_ID);
    FMConst::COMMAND_DELAY = load.value(FMConst::KEY_COMMAND_DELAY, 0).toULongLong();
    TOOL_BEHAVIOR =
        load.number(KEY_TOOL_BEHAVIOR, static_cast<int>(FMConst::FM_BEHAVIOR_ENUM::AlwaysFlash));
    ms_sUserTemplateFolder = load.text(KEY_USER_TEMPLATE_FOLDER, defaultUserCommandTemplatesDirectory);

    settings.sync();
    reportWriteFailure(settings);
}

void ToolConst::setDownloadDir(const QString& path)
{
    onUsingDownloadDirName = QDir(path).absolutePath();
    writeKeys({{KEY_DOWNLOAD_DIR, onUsingDownloadDirName}});
}

void ToolConst::setLatestBackupFile(const QString& file)
{
    latestBackupFile = file;
    writeKeys({{KEY_LATEST_BCKP_FILE, file}});
}

void ToolConst::setLatestFactoryBackupDir(const QString& dir)
{
    latestFactoryBackupDir = dir;
    writeKeys({{KEY_LATEST_FACTORY_BCKP_DIR, dir}});
}

void ToolConst::setLatestSelectedFileInLocal(const QString& archive, const QString& flashFile)
{
    latestArchiveFileInLocal = archive;
    latestXmlFileInLocal = flashFile;
    writeKeys({{KEY_LATEST_ZIP_IN_LOCAL, archive}, {KEY_LATEST_XML_IN_LOCAL, flashFile}});
}

void ToolConst::setReloadFlashEditorContextEnabled(bool enabled)
{
    RELOAD_EDITOR_TAB_SETTINGS = enabled;
    writeKeys({{KEY_RELOAD_EDITOR_TAB_SETTING, enabled}});
}

void ToolConst::setDisplayDocumentationPopupEnabled(bool enabled)
{
    DISPLAY_DOCUMENTATION_POPUP = enabled;
    writeKeys({{KEY_DISPLAY_DOCUMENTATION_POPUP, enabled}});
}

void ToolConst::setDisplaySystrayNotificationEnabled(bool enabled)
{
    DISPLAY_SYSTRAY_NOTIFICATION = enabled;
    writeKeys({{KEY_DISPLAY_SYSTRAY_NOTIFICATION, enabled}});
}

void ToolConst::setDefaultLogLevel(int level)
{
    writeKeys({{KEY_DEFAULT_LOGLEVEL, level}});
}

void ToolConst::setDefaultDirForCustomPanel(const QString& dir)
{
    writeKeys({{KEY_DEFAULT_DIR_FOR_CUSTOM_PANEL, dir}});
}

void ToolConst::setParallelDownloads(unsigned char count)
{
    parallelDownloads_ = count;
    writeKeys({{KEY_DOWNLOAD_THREAD_QUANTITY, static_cast<int>(count)}});
}

bool ToolConst::isScanOnPlugEnabled()
{
    return FMConst::scanUSBDevicesOnPlug;
}

void ToolConst::setScanOnPlugEnabled(bool enabled)
{
    FMConst::scanUSBDevicesOnPlug = enabled;
    ApplicationLog::write(LOGLEVEL::TRACE, enabled
                                                                ? QStringLiteral("USB on-plug scan enabled")
                                                                : QStringLiteral("USB on-plug scan disabled"));
    writeKeys({{FMConst::KEY_SCAN_USB_DEVICES_ON_PLUG, enabled}});
}

QString ToolConst::getHelpURL()
{
    if (helpURL_.isEmpty()) {
        const QString name =
            QStringLiteral("Quillon Lite").replace(QLatin1Char(' '), QLatin1Char('_'))
            + QStringLiteral("_User_Guide.pdf");
        QDir folder(QCoreApplication::applicationDirPath());
        // Stays in the executable's folder when there is no "../doc".
        folder.cd(QStringLiteral("../doc"));
        helpURL_ = QDir::toNativeSeparators(folder.absoluteFilePath(name));
    }
    return helpURL_;
}

void ToolConst::setFlashLogResultEnabled(bool enabled)
{
    FMConst::setFlashLogResultEnabled(enabled);
    writeKeys({{FMConst::KEY_FLASH_LOG_RESULT_ENABLED, FMConst::flashLogResultEnabled_}});
}

void ToolConst::setLogDirectory(const QString& directory)
{
    FMConst::setLogDirectory(directory);
    writeKeys({{FMConst::KEY_LOG_DIRECTORY, FMConst::logDirectory_}});
}

void ToolConst::setFlashLogResultFileNamePattern(const QString& pattern)
{
    FMConst::setFlashLogResultFileNamePattern(pattern);
    writeKeys({{FMConst::KEY_FLASH_LOG_RESULT_FILENAME_PATTERN, FMConst::flashLogResultFileNamePattern_}});
}

void ToolConst::setFlashLogResultContent(const QString& content)
{
    FMConst::setFlashLogResultContent(content);
    writeKeys({{FMConst::KEY_FLASH_LOG_RESULT_CONTENT, FMConst::flashLogResultContent_}});
}

void ToolConst::setFlashLogResultAppend(bool append)
{
    FMConst::setFlashLogResultAppend(append);
    writeKeys({{FMConst::KEY_FLASH_LOG_RESULT_APPEND, FMConst::flashLogResultAppend_}});
}

void ToolConst::setApplicationLog(bool enabled, const QString& pattern)
{
    FMConst::setApplicationLog(enabled, pattern);
    writeKeys({{FMConst::KEY_APPLICATION_LOG_FILENAME_PATTERN, FMConst::applicationLogFileNamePattern_},
               {FMConst::KEY_APPLICATION_LOG_ENABLED, FMConst::applicationLogEnabled_}});
}

void ToolConst::setDefaultVariant(const QString& variant)
{
    ms_sDefaultVariantSelection = variant;
    writeKeys({{KEY_DEFAULT_VARIANT, variant}});
}

const QString& ToolConst::defaultVariant()
{
    return ms_sDefaultVariantSelection;
}

const QString& ToolConst::getUserCommandTemplatesDirectory()
{
    return ms_sUserTemplateFolder;
}

void ToolConst::setUserCommandTemplatesDirectory(const QString& directory)
{
    ms_sUserTemplateFolder = directory;
    writeKeys({{KEY_USER_TEMPLATE_FOLDER, directory}});
}

void ToolConst::setRemoveHistoryQuestionEnabled(bool enabled)
{
    FMConst::REMOVE_HISTORY_ASK = enabled;
    writeKeys({{FMConst::KEY_REMOVE_HISTORY_ASK, enabled}});
}

void ToolConst::setRemoveHistoryEnabled(bool enabled)
{
    FMConst::REMOVE_HISTORY_FLAG = enabled;
    writeKeys({{FMConst::KEY_REMOVE_HISTORY_FLAG, enabled}});
}

void ToolConst::resetToDefaults()
{
    defaultOptionName = FMConst::perUserPath(QStringLiteral(".quillonlite.opt"));
    defaultConfigCacheDirName = FMConst::perUserPath(QStringLiteral(".configs"));
    defaultDownloadDirName = FMConst::perUserPath(QStringLiteral(".download"));
    defaultUserCommandTemplatesDirectory = FMConst::perUserPath(QStringLiteral("templates"));
    defaultConfName = FMConst::perUserPath(QStringLiteral(".config.ini"));

    onUsingDownloadDirName.clear();
    onUsingConfigCacheDirName.clear();
    defaultCustomPanelDirName = defaultDownloadDirName;
    latestBackupFile.clear();
    latestFactoryBackupDir.clear();
    latestArchiveFileInLocal.clear();
    latestXmlFileInLocal.clear();
    RELOAD_LOCAL_TAB_SETTINGS = DEFAULT_RELOAD_LOCAL_TAB_SETTINGS;
    RELOAD_EDITOR_TAB_SETTINGS = DEFAULT_RELOAD_EDITOR_TAB_SETTINGS;
    DISPLAY_DOCUMENTATION_POPUP = DEFAULT_DISPLAY_DOCUMENTATION_POPUP;
    DISPLAY_SYSTRAY_NOTIFICATION = DEFAULT_DISPLAY_SYSTRAY_NOTIFICATION;
    parallelDownloads_ = idealParallelDownloads();
    ms_sDefaultVariantSelection = defaultDefaultVariantSelection;
    ms_sUserTemplateFolder = defaultUserCommandTemplatesDirectory;
    TOOL_BEHAVIOR = static_cast<int>(FMConst::FM_BEHAVIOR_ENUM::AlwaysFlash);
    helpURL_.clear();
    downloadOnly_ = false;
}
