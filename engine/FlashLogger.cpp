#include "engine/FlashLogger.h"

#include "core/ApplicationLog.h"
#include "core/FMConst.h"
#include "core/Utils.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QSaveFile>

namespace {

using KeywordMap = QMap<QString, QString>;

struct ResultKeywords
{
    const char* status;
    int errorNumber;
    const char* reason;
};

QMutex& keywordMutex()
{
    static QMutex mutex;
    return mutex;
}

// Keywords of a failed flash by the kind of command that failed. JLink has no error number.
bool failureKeywords(FlashTypes::CommandType type, ResultKeywords& keywords)
{
    using Type = FlashTypes::CommandType;
    switch (type) {
    case Type::Ifwi:
        keywords = {"FAIL", 32, "FAIL_IFWI"};
        return true;
    case Type::Fastboot:
    case Type::Adb:
    case Type::Shell:
    case Type::Popup:
    case Type::Notifier:
    case Type::Sleep:
        keywords = {"FAIL", 33, "FAIL_OS"};
        return true;
    case Type::Modem:
        keywords = {"FAIL", 33, "FAIL_MODEM"};
        return true;
    case Type::DeviceEnumeration:
        keywords = {"FAIL", 35, "FAIL_ENUM"};
        return true;
    case Type::InitialDeviceState:
        keywords = {"FAIL", 34, "FAIL_STATE"};
        return true;
    case Type::Token:
        keywords = {"FAIL", 37, "FAIL_TOKEN"};
        return true;
    case Type::Fls:
        keywords = {"FAIL", 38, "FAIL_FLS_FLASH"};
        return true;
    case Type::Dfu:
        keywords = {"FAIL", 39, "FAIL_DFU_FLASH"};
        return true;
    case Type::Controller:
        keywords = {"FAIL", 40, "FAIL_CONTROLLER"};
        return true;
    case Type::WrongDeviceType:
        keywords = {"FAIL", 41, "FAIL_DEVICE_TYPE"};
        return true;
    case Type::Internal:
        keywords = {"FAIL", 7, "FAIL_INTERNAL"};
        return true;
    case Type::JLink:
        break;
    }
    return false;
}

void addResultKeywords(FlashTypes::FlashStatus status, FlashTypes::CommandType type, KeywordMap& map)
{
    ResultKeywords keywords {};
    switch (status) {
    case FlashTypes::FlashStatus::Success:
        keywords = {"PASS", 0, "SUCCESS"};
        break;
    case FlashTypes::FlashStatus::Interrupted:
        keywords = {"FAIL", 36, "INTERRUPTED"};
        break;
    case FlashTypes::FlashStatus::Failure:
        if (!failureKeywords(type, keywords)) {
            map.insert(QStringLiteral("status"), QStringLiteral("FAIL"));
            return;
        }
        break;
    default:
        return;
    }
    map.insert(QStringLiteral("status"), QString::fromLatin1(keywords.status));
    map.insert(QStringLiteral("errno"), QString::number(keywords.errorNumber));
    map.insert(QStringLiteral("reason"), QString::fromLatin1(keywords.reason));
}

// Serial numbers of the device; made safe when the text becomes part of a path.
void addDeviceKeywords(const FlashDevice2Ptr& device, bool forFileName, KeywordMap& map)
{
    const auto insertIfSet = [&map, forFileName](const QString& key, const QString& value) {
        if (!value.isEmpty())
            map.insert(key, forFileName ? FlashLogger::sanitizeForFileName(value) : value);
    };
    insertIfSet(QStringLiteral("soc_serial"), device->getSocSerial());
    insertIfSet(QStringLiteral("android_serial"), device->getPlatformSerial());
    insertIfSet(QStringLiteral("serial"), device->getSerial());
}

enum ResultWrite { ResultWritten = 0, ResultNotOpened = 1, ResultNotWritten = 2 };

// Writes the result file, `bytes` after the file's present content when appending. A regular file
// is written beside and renamed over the old one, so a failed write (a full disk) leaves the
// previous results as they were; a device or a pipe is written directly. `error`: the system's
// reason.
int writeResultFile(const QString& path, const QByteArray& bytes, bool append, QString& error)
{
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        QFile file(path);
        const QIODevice::OpenMode mode = QIODevice::WriteOnly | QIODevice::Unbuffered;
        if (!file.open(append ? mode | QIODevice::Append : mode)) {
            error = file.errorString();
            return ResultNotOpened;
        }
        if (!Utils::writeAll(file, bytes)) {
            error = file.errorString();
            return ResultNotWritten;
        }
        return ResultWritten;
    }

    QByteArray previous;
    if (append && info.exists()) {
        QFile old(path);
        if (!old.open(QIODevice::ReadOnly)) {
            error = old.errorString();
            return ResultNotOpened;
        }
        previous = old.readAll();
    }
    QSaveFile file(path);
    // A folder that only lets its existing files be written gets them written in place.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        error = file.errorString();
        return ResultNotOpened;
    }
    if (!Utils::writeAll(file, previous) || !Utils::writeAll(file, bytes)) {
        error = file.errorString();
        file.cancelWriting();
        return ResultNotWritten;
    }
    if (!file.commit()) {
        error = file.errorString();
        return ResultNotWritten;
    }
    return ResultWritten;
}

QString expandKeywords(QString text, const KeywordMap& map)
{
    // Names are matched in any case, but the map's keys are lower case: $YEAR stays as written.
    static const QRegularExpression keyword(QStringLiteral("\\$([_a-z0-9]+)|\\$\\{([_a-z0-9]+)\\}|\\$(\\$)"),
                                            QRegularExpression::CaseInsensitiveOption);
    int position = 0;
    QRegularExpressionMatch match;
    while ((match = keyword.match(text, position)).hasMatch()) {
        position = match.capturedStart();
        QString name = match.captured(1);
        if (name.isEmpty())
            name = match.captured(2);
        if (name.isEmpty())
            name = match.captured(3);
        const auto value = map.constFind(name);
        if (value != map.constEnd()) {
            text.replace(position, match.capturedLength(), *value);
            position += value->size();
        } else {
            position += match.capturedLength();
        }
    }
    return text;
}

} // namespace

void FlashLogger::updateKeywordMap(QMap<QString, QString>& map)
{
    const QMutexLocker locker(&keywordMutex());
    const QDateTime now = QDateTime::currentDateTime();
    const QTime time = now.time();
    map.insert(QStringLiteral("$"), QStringLiteral("$"));
    map.insert(QStringLiteral("year"), now.toString(QStringLiteral("yyyy")));
    map.insert(QStringLiteral("month"), now.toString(QStringLiteral("MM")));
    map.insert(QStringLiteral("day"), now.toString(QStringLiteral("dd")));
    map.insert(QStringLiteral("24h"), time.toString(QStringLiteral("hh")));
    map.insert(QStringLiteral("12h"), time.toString(QStringLiteral("hhap")).left(2));
    map.insert(QStringLiteral("ampm"), time.toString(QStringLiteral("AP")));
    map.insert(QStringLiteral("minute"), time.toString(QStringLiteral("mm")));
    map.insert(QStringLiteral("second"), time.toString(QStringLiteral("ss")));
    map.insert(QStringLiteral("msecond"), time.toString(QStringLiteral("zzz")));
    map.insert(QStringLiteral("timestamp"), QString::number(now.toSecsSinceEpoch()));
    map.insert(QStringLiteral("software_name"),
               QStringLiteral("Zorvik ") + QCoreApplication::applicationName());
    map.insert(QStringLiteral("software_version"), QCoreApplication::applicationVersion());
    map.insert(QStringLiteral("soc_serial"), QStringLiteral("unknown_soc"));
    map.insert(QStringLiteral("android_serial"), QStringLiteral("unknown_android"));
}

QString FlashLogger::replaceKeywords(const QString& pattern, const QMap<QString, QString>& map)
{
    return expandKeywords(pattern.trimmed(), map);
}

QString FlashLogger::getStrFromPattern(const QString& pattern)
{
    KeywordMap map;
    updateKeywordMap(map);
    return replaceKeywords(pattern, map);
}

QString FlashLogger::getStrFromPattern(const QString& pattern, const FlashDevice2Ptr& device)
{
    KeywordMap map;
    updateKeywordMap(map);
    if (device)
        addDeviceKeywords(device, true, map);
    return replaceKeywords(pattern, map);
}

QString FlashLogger::sanitizeForFileName(const QString& text)
{
    QString safe;
    safe.reserve(text.size());
    for (const QChar c : text)
        safe += (c == '/' || c == '\\' || c.category() == QChar::Other_Control) ? QChar('_') : c;
    // "." and ".." as a whole path component would name the folder itself or its parent.
    safe.replace(QStringLiteral(".."), QStringLiteral("__"));
    if (safe == QLatin1String("."))
        safe = QStringLiteral("_");
    return safe;
}

void FlashLogger::logResult(FlashDevice2Ptr device, FlashTypes::FlashStatus status,
                            FlashTypes::CommandType type)
{
    if (!FMConst::flashLogResultEnabled_)
        return;

    // One reading of the clock for both texts, so the file name and its content agree.
    KeywordMap contentMap;
    updateKeywordMap(contentMap);
    KeywordMap nameMap = contentMap;
    if (device) {
        addDeviceKeywords(device, false, contentMap);
        addDeviceKeywords(device, true, nameMap);
    }
    addResultKeywords(status, type, contentMap);
    addResultKeywords(status, type, nameMap);

    const QDir logDirectory(FMConst::logDirectory_.trimmed());
    if (!logDirectory.exists() && !QDir().mkpath(logDirectory.absolutePath())) {
        ApplicationLog::write(WARNING, QStringLiteral("Fail create log directory"));
        return;
    }

    const QString fileName = replaceKeywords(FMConst::flashLogResultFileNamePattern_.trimmed(), nameMap);
    // The template is written as the user wrote it, surrounding blank lines included.
    const QString content = expandKeywords(FMConst::flashLogResultContent_, contentMap);

    const QFileInfo target(logDirectory, fileName);
    if (!QDir().mkpath(target.absolutePath())) {
        ApplicationLog::write(WARNING, QStringLiteral("Fail create parent folder to log file"));
        return;
    }

    QString error;
    const int written = writeResultFile(target.absoluteFilePath(), content.toUtf8(),
                                        FMConst::flashLogResultAppend_, error);
    if (written != ResultWritten) {
        ApplicationLog::write(WARNING, (written == ResultNotOpened ? QStringLiteral("Fail open log file ")
                                               : QStringLiteral("Fail write log file "))
                   + target.absoluteFilePath() + QLatin1Char('\n') + error.trimmed());
        return;
    }
    ApplicationLog::write(
        LOGLEVEL::TRACE, QStringLiteral("Log successfully written :\n") + content.trimmed());
}
