#pragma once

#include <QString>

// Persistent application settings: key names, defaults and values in use, the per-user folder
// layout and a few constants of the desktop face. Init loads the settings file
// ~/.flasher/.quillonlite.opt (INI, keys at top level), including the flashing side's keys into
// FMConst, and writes back the defaults of missing keys; every setter writes its key before it
// returns. Static only; main thread only.
class ToolConst
{
public:
    ToolConst() = delete;

    // ---- Keys, in the order they are defined ----
    static const QString KEY_DOWNLOAD_DIR;                       // "StrOptDownloadDir"
    static const QString KEY_CONFIGURATION_DIR;                  // "StrOptCacheDir"
    static const QString KEY_FORCE_FASTBOOT;                     // "force_using_fastbootseq"
    static const QString KEY_DEFAULT_LOGLEVEL;                   // "LOGLEVEL"
    static const QString KEY_DEFAULT_DIR_FOR_CUSTOM_PANEL;       // "defaultDirForCustomPanel"
    static const QString KEY_LATEST_BCKP_FILE;                   // "LatestBackupFile"
    static const QString KEY_LATEST_FACTORY_BCKP_DIR;            // "LatestFactoryBackupDir"
    static const QString KEY_RELOAD_LOCAL_TAB_SETTING;           // "AutoReloadLocalTabSettings"
    static const QString KEY_RELOAD_EDITOR_TAB_SETTING;          // "AutoReloadEditorTabSettings"
    static const QString KEY_DISPLAY_SYSTRAY_NOTIFICATION;       // "DisplaySystrayNotification"
    static const QString KEY_DISPLAY_DOCUMENTATION_POPUP;        // "DisplayDocumentationPopup"
    static const QString KEY_LATEST_ZIP_IN_LOCAL;                // "LatestZIPFileInLocal"
    static const QString KEY_LATEST_XML_IN_LOCAL;                // "LatestXmlFileInLocal"
    static const QString KEY_LATEST_FILE_IN_EDITOR;              // "LatestFileInEditor"
    static const QString KEY_LATEST_STATE_IS_USER_FILE_IN_EDITOR;
    static const QString KEY_REMOTE_AUTO_UPDATE_XML_FILE;
    static const QString KEY_LATEST_ARTIFACTORY_BRANCH;
    static const QString KEY_LATEST_ARTIFACTORY_BUILDTYPE;
    static const QString KEY_LATEST_ARTIFACTORY_CUSTOM_PROP;
    static const QString KEY_LATEST_ARTIFACTORY_BOARD;
    static const QString KEY_LATEST_ARTIFACTORY_BUILDVARIANT;
    static const QString KEY_ARTIFACTORY_DOWNLOAD_URL;
    static const QString KEY_ARTIFACTORY_CUSTOM_ENV_URL;
    static const QString KEY_ARTIFACTORY_ENVIRONEMENT;
    static const QString KEY_ARTIFACTORY_REMEMBER_CREDENTIAL;
    static const QString KEY_ARTIFACTORY_INTEGRITY_CHECK;
    static const QString KEY_ARTIFACTORY_FAVORITE_SERVER;
    static const QString KEY_DOWNLOAD_THREAD_QUANTITY;           // "DownloadThreadQuantity"
    static const QString KEY_STATUS_SERVER_ENABLED;
    static const QString KEY_STATUS_SERVER_LISTEN_ADDRESS;
    static const QString KEY_STATUS_SERVER_LISTEN_PORT;
    static const QString KEY_STATUS_SERVER_MAX_CLIENTS;
    static const QString KEY_PENDING_LOG_RESPONSE;
    static const QString KEY_DEFAULT_VARIANT;                    // "DefaultVariantSelection"
    static const QString KEY_USER_TEMPLATE_FOLDER;               // "UserCommandsTemplateFolder"
    static const QString KEY_TOOL_BEHAVIOR;                      // "TOOL_BEHAVIOR"

    // ---- Per-user folder (~/.flasher) ----
    static QString defaultOptionName;                    // .quillonlite.opt, the settings file
    static QString defaultConfigCacheDirName;            // .configs
    static QString defaultDownloadDirName;               // .download
    static QString defaultUserCommandTemplatesDirectory; // templates
    static QString defaultConfName;                      // .config.ini

    // ---- Values in use ----
    static QString onUsingDownloadDirName;               // empty until Init
    static QString onUsingConfigCacheDirName;            // empty until Init
    static QString defaultCustomPanelDirName;            // a copy of defaultDownloadDirName at load
    static QString latestBackupFile;
    static QString latestFactoryBackupDir;
    static QString latestArchiveFileInLocal;
    static QString latestXmlFileInLocal;
    static const bool DEFAULT_RELOAD_LOCAL_TAB_SETTINGS;     // false
    static const bool DEFAULT_RELOAD_EDITOR_TAB_SETTINGS;    // true
    static const bool DEFAULT_DISPLAY_DOCUMENTATION_POPUP;   // true
    static const bool DEFAULT_DISPLAY_SYSTRAY_NOTIFICATION;  // true
    static bool RELOAD_LOCAL_TAB_SETTINGS;
    static bool RELOAD_EDITOR_TAB_SETTINGS;
    static bool DISPLAY_DOCUMENTATION_POPUP;
    static bool DISPLAY_SYSTRAY_NOTIFICATION;
    static unsigned char parallelDownloads_;             // ideal thread count, low 8 bits
    static const QString defaultDefaultVariantSelection; // "*"
    static QString ms_sDefaultVariantSelection;
    static QString ms_sUserTemplateFolder;
    static int TOOL_BEHAVIOR;                            // FMConst::FM_BEHAVIOR_ENUM as an int; 1
    static QString helpURL_;                             // cache of getHelpURL
    static bool downloadOnly_;                           // false; nothing sets it

    // ---- Constants of the desktop face ----
    static constexpr int DEFAULT_CLI_TIMEOUT = 30;       // minutes
    static const QString TOOLTIP_EMPTY;
    static const QString TOOLTIP_NOT_EXIST;
    static const QString StyleProgressSt;
    static const QString StyleProgressOk;
    static const QString StyleProgressEr;
    static const QString StylePushButtonZorvikBlue;

    // Loads every value from the settings file and writes the defaults of the missing keys that
    // it writes back; initialises the external tools file. Two calls in a row change nothing.
    static void Init();

    static void setDownloadDir(const QString& path);     // made absolute against the working folder
    static void setLatestBackupFile(const QString& file);
    static void setLatestFactoryBackupDir(const QString& dir);
    static void setLatestSelectedFileInLocal(const QString& archive, const QString& flashFile);
    static void setReloadFlashEditorContextEnabled(bool enabled);
    static void setDisplayDocumentationPopupEnabled(bool enabled);
    static void setDisplaySystrayNotificationEnabled(bool enabled);
    // Stores the level only; the caller sets the log handler's level.
    static void setDefaultLogLevel(int level);
    static void setDefaultDirForCustomPanel(const QString& dir);
    static void setParallelDownloads(unsigned char count);
    static bool isScanOnPlugEnabled();
    static void setScanOnPlugEnabled(bool enabled);
    // "Quillon_Lite_User_Guide.pdf" in "../doc" beside the executable, or beside the executable
    // when that folder does not exist; computed once per run.
    static QString getHelpURL();

    // The flashing side's log and result-file settings, through FMConst.
    static void setFlashLogResultEnabled(bool enabled);
    static void setLogDirectory(const QString& directory);
    static void setFlashLogResultFileNamePattern(const QString& pattern);
    static void setFlashLogResultContent(const QString& content);
    static void setFlashLogResultAppend(bool append);
    static void setApplicationLog(bool enabled, const QString& pattern);

    static void setDefaultVariant(const QString& variant);
    static const QString& defaultVariant();
    static const QString& getUserCommandTemplatesDirectory();
    static void setUserCommandTemplatesDirectory(const QString& directory);
    static void setRemoveHistoryQuestionEnabled(bool enabled);
    static void setRemoveHistoryEnabled(bool enabled);

    // Puts every value back to its program-load state, the per-user paths rebuilt from the current
    // home folder. FMConst has its own resetToDefaults.
    static void resetToDefaults();
};
