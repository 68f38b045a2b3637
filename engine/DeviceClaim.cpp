#include "engine/DeviceClaim.h"

#include "core/Utils.h"
#include "platform/log/LoggedObject.h"
#include "platform/device/SysfsUsbReader.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A lock file that another process unlinked between our open and our lock is retried this often.
constexpr int kAttempts = 5;

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// A port is unique within its USB tree only: a tree named by QLN_USB_SYSFS_ROOT (a test's) gets
// names of its own, so that its devices never meet the kernel's.
QString lockFileName(const PortNumber& port)
{
    static const QRegularExpression unsafe(QStringLiteral("[^A-Za-z0-9._-]"));
    QString name = QStringLiteral("port-") + port.toString().replace(unsafe, QStringLiteral("_"));
    const QString root = SysfsUsbReader::defaultRoot();
    if (root != QLatin1String("/sys/bus/usb/devices"))
        name += QLatin1Char('-')
                + QString::fromLatin1(QCryptographicHash::hash(root.toUtf8(), QCryptographicHash::Sha1).toHex().left(12));
    return name + QStringLiteral(".lock");
}

bool sameFile(int descriptor, const QByteArray& path)
{
    struct stat opened;
    struct stat named;
    return ::fstat(descriptor, &opened) == 0 && ::stat(path.constData(), &named) == 0
           && opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

} // namespace

DeviceClaim::Outcome DeviceClaim::take(const PortNumber& port, std::unique_ptr<DeviceClaim>& claim,
                                       QString& error)
{
    const QString lockFolder = folder(error);
    if (lockFolder.isEmpty())
        return Unavailable;
    const QString path = lockFolder + QLatin1Char('/') + lockFileName(port);
    const QByteArray native = QFile::encodeName(path);
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        // Close-on-exec: a tool we start (an adb server lives on) must not inherit the claim.
        const int descriptor = ::open(native.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (descriptor < 0) {
            error = path + QStringLiteral(": ") + systemError();
            return Unavailable;
        }
        if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
            const int cause = errno;
            ::close(descriptor);
            if (cause == EWOULDBLOCK)
                return HeldElsewhere;
            errno = cause;
            error = path + QStringLiteral(": ") + systemError();
            return Unavailable;
        }
        // The holder before us removes the file as it lets go: a lock on a removed file claims nothing.
        if (sameFile(descriptor, native)) {
            claim.reset(new DeviceClaim(descriptor, path));
            return Taken;
        }
        ::close(descriptor);
    }
    error = path + QStringLiteral(": replaced on every attempt");
    return Unavailable;
}

QString DeviceClaim::folder(QString& error)
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
        return Utils::privateFolder(runtime + QStringLiteral("/quillonlite"), error);
    return Utils::privateTempFolder(QStringLiteral("quillonlite"), error);
}

bool DeviceClaim::mayFlash(Outcome outcome, const PortNumber& port, const QString& error, const LoggedObject& log)
{
    switch (outcome) {
    case HeldElsewhere:
        log.logMessage(Logger::INFO, QStringLiteral("Device on port %1 is claimed by another instance, left alone")
                                         .arg(port.toString()));
        return false;
    case Unavailable:
        log.logMessage(Logger::WARNING, QStringLiteral("Device on port %1 is flashed without a claim: %2")
                                            .arg(port.toString(), error));
        return true;
    default:
        return true;
    }
}

DeviceClaim::DeviceClaim(int descriptor, const QString& path)
    : m_descriptor(descriptor)
    , m_path(path)
{
}

DeviceClaim::~DeviceClaim()
{
    // Removed while still locked, so that nobody locks the file after us and loses it to a removal.
    ::unlink(QFile::encodeName(m_path).constData());
    ::close(m_descriptor);
}
