#include "download/PasswordManager.h"

#include "core/ApplicationLog.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryFile>

#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

namespace {

bool reportFailure(const QString& fileName, const QString& reason)
{
    ApplicationLog::write(
        ERROR, QStringLiteral("Cannot save passwords to %1: %2").arg(fileName, reason));
    return false;
}

// Data written before the rename is on disk after it, or a crash could leave an empty file.
bool flushToDisk(const QString& fileName)
{
    const int fd = ::open(QFile::encodeName(fileName).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool flushed = ::fsync(fd) == 0;
    ::close(fd);
    return flushed;
}

// The file a save replaces: the end of the chain of symbolic links that `fileName` starts, so that
// the link stays and its target gets the passwords (replacing the link by a file would leave every
// password removed since in the target). Empty for a chain that never ends.
QString saveTarget(const QString& fileName)
{
    constexpr int kMaxLinks = 40; // the kernel's own limit
    QString target = QFileInfo(fileName).absoluteFilePath();
    for (int links = 0; QFileInfo(target).isSymLink(); ++links) {
        if (links == kMaxLinks)
            return QString();
        target = QFileInfo(target).symLinkTarget();
    }
    return target;
}

} // namespace

PasswordManager::PasswordManager() = default;

PasswordManager::~PasswordManager() = default;

bool PasswordManager::save(const QString& fileName)
{
    const QString target = saveTarget(fileName);
    if (target.isEmpty())
        return reportFailure(fileName, QStringLiteral("too many levels of symbolic links"));
    // QTemporaryFile creates its file with mode 0600 beside the target; renaming it over the target
    // replaces the old file whole, so a reader never sees a half-written one.
    QTemporaryFile temporary(target + QStringLiteral(".XXXXXX"));
    if (!temporary.open())
        return reportFailure(fileName, temporary.errorString());
    temporary.close();
    {
        QSettings settings(temporary.fileName(), QSettings::IniFormat);
        // In place: an atomic sync would write through a file of its own, readable by others
        // until QSettings narrows its mode.
        settings.setAtomicSyncRequired(false);
        if (QFileInfo::exists(target)) {
            // Keys that are no host address are not ours to drop; hosts we no longer hold are.
            const QSettings previous(target, QSettings::IniFormat);
            for (const QString& key : previous.allKeys()) {
                if (QHostAddress(key).isNull())
                    settings.setValue(key, previous.value(key));
            }
        }
        save(settings);
        settings.sync();
        if (settings.status() != QSettings::NoError)
            return reportFailure(fileName, QStringLiteral("write error"));
    }
    if (!flushToDisk(temporary.fileName()))
        return reportFailure(fileName, QStringLiteral("flush error"));
    if (std::rename(QFile::encodeName(temporary.fileName()).constData(), QFile::encodeName(target).constData()) != 0)
        return reportFailure(fileName, QStringLiteral("cannot replace the file"));
    temporary.setAutoRemove(false);
    return true;
}

bool PasswordManager::save(QSettings& settings)
{
    for (auto entry = m_hostPasswords.cbegin(); entry != m_hostPasswords.cend(); ++entry)
        settings.setValue(entry.key(), entry.value());
    return settings.status() == QSettings::NoError;
}

bool PasswordManager::load(const QString& fileName)
{
    if (!QFileInfo::exists(fileName))
        return false;
    QSettings settings(fileName, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError) {
        ApplicationLog::write(
            ERROR, QStringLiteral("Cannot load passwords from %1").arg(fileName));
        return false;
    }
    return load(settings);
}

bool PasswordManager::load(QSettings& settings)
{
    m_hostPasswords.clear();
    for (const QString& key : settings.allKeys()) {
        const QHostAddress address(key);
        if (address.isNull()) {
            qDebug() << "Invalid address" << key;
            continue;
        }
        const QString password = settings.value(key).toString();
        m_hostPasswords.insert(address.toString(), password);
        qDebug() << "Password for" << key << (password.isEmpty() ? "empty" : "valid");
    }
    return true;
}

void PasswordManager::setPlainPassword(const QString& password)
{
    m_plainPassword = password;
}

QString PasswordManager::getPlainPassword() const
{
    return m_plainPassword;
}

void PasswordManager::setHostPassword(const QHostAddress& host, const QString& password)
{
    if (host.isNull())
        return;
    qDebug() << "setHostPassword";
    m_hostPasswords.insert(host.toString(), password);
}

QString PasswordManager::getHostPassword(const QHostAddress& host) const
{
    if (host.isNull()) {
        qDebug() << "Invalid host password request";
        return QString();
    }
    const QString address = host.toString();
    const auto entry = m_hostPasswords.constFind(address);
    if (entry != m_hostPasswords.cend()) {
        ApplicationLog::write(
            TRACE, QStringLiteral("Encrypted password found for ") + address + QLatin1Char('.'));
        return entry.value();
    }
    ApplicationLog::write(
        TRACE, QStringLiteral("Encrypted password not found for ") + address
                   + QStringLiteral(". Using plain password..."));
    return m_plainPassword;
}

bool PasswordManager::unsetHostPassword(const QHostAddress& host)
{
    return !host.isNull() && m_hostPasswords.remove(host.toString()) > 0;
}

void PasswordManager::clearPasswords()
{
    qDebug() << "Clear passwords";
    m_plainPassword = QString();
    m_hostPasswords.clear();
}
