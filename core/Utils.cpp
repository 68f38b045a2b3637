#include "core/Utils.h"

#include "core/ApplicationLog.h"
#include "core/ChildProcess.h"
#include "core/ProgramRun.h"
#include "platform/utility/OSVersion.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QHostInfo>
#include <QNetworkInterface>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QtDebug>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

const int kHashChunkSize = 2048;
const qint64 kCopyChunkSize = 64 * 1024;
const uint32_t kInvalidTime = 0xffffffffu;
constexpr char kEncryptionKey[] = "qmvtrazkpelwyhdocbxnfigsj";
constexpr int kEncryptionKeyLength = int(sizeof(kEncryptionKey)) - 1;

QByteArray beforeFirstNul(const QByteArray& bytes)
{
    const int nul = bytes.indexOf('\0');
    return nul < 0 ? bytes : bytes.left(nul);
}

QString fileDigest(const QString& path, QCryptographicHash::Algorithm algorithm)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    QCryptographicHash hash(algorithm);
    for (;;) {
        const QByteArray chunk = file.read(kHashChunkSize);
        if (chunk.isEmpty())
            break;
        hash.addData(chunk);
    }
    return QString::fromLatin1(hash.result().toHex());
}

// Restores the terminal settings it changed, whichever way the prompt ends.
class EchoOff
{
public:
    EchoOff()
    {
        if (::tcgetattr(STDIN_FILENO, &m_saved) == 0) {
            termios silent = m_saved;
            silent.c_lflag &= ~tcflag_t(ECHO);
            m_changed = ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent) == 0;
        }
    }
    ~EchoOff()
    {
        if (m_changed)
            ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &m_saved);
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

private:
    termios m_saved {};
    bool m_changed = false;
};

} // namespace

QString Utils::commandDisplayText(const QString& program, const QStringList& arguments)
{
    const QString quote = QStringLiteral("\"");
    return quote + program + quote + QLatin1Char(' ') + quote
        + arguments.join(QStringLiteral("\" \"")) + quote;
}

int Utils::executeCmd(const QString& program, const QStringList& arguments, int timeoutMs,
                      bool verbose, bool* success, QString& output, ChildProcess* process)
{
    const QString display = commandDisplayText(program, arguments);
    output.clear();
    if (success)
        *success = false;
    if (verbose)
        ApplicationLog::write(LOGLEVEL::INFO, QStringLiteral("Executing %1").arg(display));

    std::unique_ptr<ChildProcess> ownProcess;
    if (!process) {
        ownProcess = std::make_unique<ChildProcess>();
        process = ownProcess.get();
    }
    process->setProcessChannelMode(QProcess::MergedChannels);
    ProgramRun run(*process);
    switch (run.run(program, arguments, timeoutMs < 0 ? UINT64_MAX : uint64_t(timeoutMs))) {
    case ProgramOutcome::NotStarted:
        if (process->error() == QProcess::FailedToStart)
            ApplicationLog::write(LOGLEVEL::WARNING, QStringLiteral("Process could not be started (")
                                              + run.errorText() + QStringLiteral(") ") + display);
        else
            ApplicationLog::write(LOGLEVEL::WARNING,
                       QStringLiteral("Process TIMEOUT wait for started to execute ") + display);
        return -1;
    case ProgramOutcome::TimedOut:
        ApplicationLog::write(LOGLEVEL::TRACE, QStringLiteral("Process TIMEOUT (") + QString::number(timeoutMs)
                       + QStringLiteral("ms) wait to execute ") + display);
        return -1;
    case ProgramOutcome::Crashed:
        // Qt's exit code means nothing after a crash (it may even be 0).
        ApplicationLog::write(LOGLEVEL::TRACE, QStringLiteral("Process exited abnormally ") + display);
        return -1;
    case ProgramOutcome::Cancelled:
        return -1;
    case ProgramOutcome::Ok:
    case ProgramOutcome::Failed:
        break;
    }

    output = run.output();
    const int exitCode = process->exitCode();
    if (verbose) {
        const QString trimmed = output.trimmed();
        if (!trimmed.isEmpty())
            ApplicationLog::write(LOGLEVEL::TRACE, QStringLiteral("%1 return:\n").arg(display) + trimmed);
        else
            ApplicationLog::write(LOGLEVEL::INFO, QStringLiteral("%1 OK").arg(display));
    }
    if (success)
        *success = exitCode == 0;
    return exitCode;
}

QStringList Utils::splitArguments(const QString& line)
{
    const auto isQuote = [](QChar c) { return c == QLatin1Char('"') || c == QLatin1Char('\''); };
    QStringList arguments;
    QString current;
    int i = 0;
    while (i < line.size()) {
        const QChar c = line.at(i);
        if (c.isSpace()) {
            if (!current.isEmpty())
                arguments << current;
            current.clear();
            ++i;
        } else if (isQuote(c)) {
            for (++i; i < line.size() && line.at(i) != c; ++i) {
                if (line.at(i) == QLatin1Char('\\') && i + 1 < line.size() && line.at(i + 1) == c)
                    ++i;
                current += line.at(i);
            }
            ++i; // the closing quote
        } else {
            // Unquoted text joins in one piece: a flash file splits thousands of lines at load.
            const int start = i;
            while (i < line.size() && !line.at(i).isSpace() && !isQuote(line.at(i)))
                ++i;
            current += line.midRef(start, i - start);
        }
    }
    if (!current.isEmpty())
        arguments << current;
    return arguments;
}

QString Utils::getOsName()
{
    static QString cachedName;
    if (cachedName.isEmpty()) {
        const QCoreApplication* application = QCoreApplication::instance();
        const QVariant arch = application ? application->property("APP_ARCH") : QVariant();
        cachedName = QString::fromUtf8(getOSVersion().name) + QLatin1Char(' ') + arch.toString();
    }
    return cachedName;
}

QList<QHostAddress> Utils::getHostByName(const QString& hostName)
{
    return QHostInfo::fromName(hostName).addresses();
}

QList<QHostAddress> Utils::getHostAdresses()
{
    return QNetworkInterface::allAddresses();
}

QStringList Utils::getHostAdressesStringList()
{
    QStringList texts;
    for (const QHostAddress& address : QNetworkInterface::allAddresses())
        texts << address.toString();
    return texts;
}

QStringList Utils::getLocalHostAdress()
{
    QStringList kept;
    const QNetworkInterface::InterfaceFlags wanted =
        QNetworkInterface::IsUp | QNetworkInterface::IsRunning;
    for (const QNetworkInterface& interface : QNetworkInterface::allInterfaces()) {
        const QNetworkInterface::InterfaceFlags flags = interface.flags();
        if (!interface.isValid() || (flags & wanted) != wanted
            || flags.testFlag(QNetworkInterface::IsLoopBack)
            || flags.testFlag(QNetworkInterface::IsPointToPoint))
            continue;
        for (const QNetworkAddressEntry& entry : interface.addressEntries()) {
            const QHostAddress address = entry.ip();
            if (address == QHostAddress(QHostAddress::LocalHost)
                || address.protocol() != QAbstractSocket::IPv4Protocol)
                continue;
            const QString text = address.toString();
            qDebug().noquote() << QStringLiteral("NetWorkInterface ") + interface.name()
                    + QStringLiteral(" IP ") + text;
            if (text.startsWith(QLatin1String("10.")) && !kept.contains(text))
                kept << text;
        }
    }
    return kept;
}

QString Utils::getFileSHA1(const QString& path)
{
    return fileDigest(path, QCryptographicHash::Sha1);
}

QString Utils::getFileMD5(const QString& path)
{
    return fileDigest(path, QCryptographicHash::Md5);
}

bool Utils::writeAll(QIODevice& device, const QByteArray& bytes)
{
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 written = device.write(bytes.constData() + done, bytes.size() - done);
        if (written <= 0)
            return false;
        done += written;
    }
    return true;
}

qint64 Utils::diffMSec(const QDateTime& from, const QDateTime& to)
{
    return from.msecsTo(to);
}

QString Utils::userTempFolderPath(const QString& baseName)
{
    return QDir(QDir::tempPath()).absoluteFilePath(baseName + QLatin1Char('-') + QString::number(::getuid()));
}

QString Utils::privateTempFolder(const QString& baseName, QString& error)
{
    if (!QDir().mkpath(QDir::tempPath())) {
        error = QStringLiteral("cannot create ") + QDir::tempPath();
        return QString();
    }
    return privateFolder(userTempFolderPath(baseName), error);
}

QString Utils::privateFolder(const QString& folder, QString& error)
{
    const auto fail = [&error](const QString& reason) {
        error = reason;
        return QString();
    };
    const QByteArray native = QFile::encodeName(folder);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    struct stat info;
    if (::lstat(native.constData(), &info) != 0)
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::getuid())
        return fail(QStringLiteral("not a folder of this user"));
    if ((info.st_mode & 0077) != 0 && ::chmod(native.constData(), 0700) != 0)
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    return folder;
}

QString Utils::copyFileToTempFolder(const QString& path)
{
    if (!QFileInfo::exists(path))
        return path;
    QString error;
    const QString folder = privateTempFolder(QStringLiteral("lfm-short"), error);
    if (folder.isEmpty())
        return path;
    QFile source(path);
    if (!source.open(QIODevice::ReadOnly))
        return path;
    QTemporaryFile copy(folder + QStringLiteral("/XXXXXX"));
    copy.setAutoRemove(false);
    if (!copy.open())
        return path;
    bool written = true;
    while (written && !source.atEnd()) {
        const QByteArray chunk = source.read(kCopyChunkSize);
        written = !chunk.isEmpty() && copy.write(chunk) == chunk.size();
    }
    written = written && copy.flush();
    copy.close();
    if (!written || copy.error() != QFileDevice::NoError) {
        copy.remove();
        return path;
    }
    return copy.fileName();
}

uint32_t Utils::getUTCTimeFromISODate(const QString& text)
{
    const QDateTime time = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!time.isValid())
        return kInvalidTime;
    const qint64 seconds = time.toUTC().toSecsSinceEpoch();
    if (seconds < 0 || seconds >= qint64(kInvalidTime))
        return kInvalidTime;
    return uint32_t(seconds);
}

bool Utils::checkQtRuntimeVersion(int major, int minor, int patch)
{
    const QStringList parts = QString::fromLatin1(qVersion()).split('.');
    if (parts.size() < 3)
        return false;
    const int asked[3] = {major, minor, patch};
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        const int part = parts[i].toInt(&ok);
        if (!ok || part < asked[i])
            return false;
        if (part > asked[i])
            return true;
    }
    return true;
}

QByteArray Utils::encryptString(const QString& text)
{
    const QByteArray plain = text.toLatin1();
    QByteArray scrambled(plain.size(), '\0');
    for (int i = 0; i < plain.size(); ++i)
        scrambled[i] = char(plain[i] ^ kEncryptionKey[i % kEncryptionKeyLength]);
    return scrambled.toHex();
}

QString Utils::decryptString(const QByteArray& hex)
{
    QByteArray plain = QByteArray::fromHex(hex);
    for (int i = 0; i < plain.size(); ++i)
        plain[i] = char(plain[i] ^ kEncryptionKey[i % kEncryptionKeyLength]);
    return QString::fromLatin1(beforeFirstNul(plain));
}

QString Utils::replaceMagicKeys(const QString& text, const QMap<QString, QString>& values,
                                bool removeMissing)
{
    static const QRegularExpression reference(QStringLiteral("\\$\\{([^\\}]+)\\}"));
    QString result = text;
    int position = 0;
    for (;;) {
        const QRegularExpressionMatch match = reference.match(result, position);
        if (!match.hasMatch())
            break;
        const auto value = values.constFind(match.captured(1));
        if (value != values.constEnd()) {
            result.replace(match.capturedStart(), match.capturedLength(), *value);
            position = match.capturedStart() + value->size();
        } else if (removeMissing) {
            result.remove(match.capturedStart(), match.capturedLength());
            position = match.capturedStart();
        } else {
            position = match.capturedEnd();
        }
    }
    return result;
}

void Utils::getMagicKeys(const QString& text, std::set<QString>& keys)
{
    static const QRegularExpression reference(QStringLiteral("\\$\\{([^\\}]+)\\}"));
    QRegularExpressionMatchIterator matches = reference.globalMatch(text);
    while (matches.hasNext())
        keys.insert(matches.next().captured(1));
}

QString Utils::getPasswordFromConsole()
{
    QByteArray typed;
    {
        const EchoOff echoOff;
        std::fputs("Password: ", stdout);
        std::fflush(stdout);
        for (int c = std::getchar(); c != EOF && c != '\n'; c = std::getchar())
            typed += char(c);
    }
    std::fputs("\n", stdout);
    std::fflush(stdout);
    return QString::fromUtf8(typed);
}
