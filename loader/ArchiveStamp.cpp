#include "loader/ArchiveStamp.h"

#include "core/ApplicationLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <sys/stat.h>

namespace {

// Hidden, so that the folder's listings of flash files never show it.
const QString kStampName = QStringLiteral(".quillonlite-archive");

QString nanoseconds(const struct timespec& time)
{
    return QString::number(static_cast<qint64>(time.tv_sec) * 1000000000 + time.tv_nsec);
}

} // namespace

ArchiveStamp ArchiveStamp::of(const QString& archive)
{
    ArchiveStamp stamp;
    const QString path = QFileInfo(archive).absoluteFilePath();
    struct stat status;
    if (::stat(QFile::encodeName(path).constData(), &status) != 0 || !S_ISREG(status.st_mode))
        return stamp;
    // Numbers as texts: a JSON number would pass through double.
    const QJsonObject fields{{QStringLiteral("path"), path},
                             {QStringLiteral("size"), QString::number(static_cast<qint64>(status.st_size))},
                             {QStringLiteral("device"), QString::number(static_cast<quint64>(status.st_dev))},
                             {QStringLiteral("inode"), QString::number(static_cast<quint64>(status.st_ino))},
                             {QStringLiteral("modified"), nanoseconds(status.st_mtim)},
                             {QStringLiteral("changed"), nanoseconds(status.st_ctim)}};
    stamp.m_text = QJsonDocument(fields).toJson(QJsonDocument::Compact);
    return stamp;
}

bool ArchiveStamp::isValid() const
{
    return !m_text.isEmpty();
}

bool ArchiveStamp::writeInto(const QString& folder) const
{
    const QString path = QDir(folder).filePath(kStampName);
    // An entry of the archive by that name (a link, maybe) goes: the stamp is never written through it.
    QFile::remove(path);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly) || file.write(m_text) != m_text.size()
        || !file.flush()) {
        ApplicationLog::write(ERROR, QStringLiteral("Cannot write \"%1\": %2")
                                                          .arg(path, file.errorString()));
        return false;
    }
    return true;
}

bool ArchiveStamp::isIn(const QString& folder) const
{
    QFile file(QDir(folder).filePath(kStampName));
    return isValid() && file.open(QIODevice::ReadOnly) && file.read(m_text.size() + 1) == m_text;
}
