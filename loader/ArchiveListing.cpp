#include "loader/ArchiveListing.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

#include <set>

#include <climits>
#include <unistd.h>

namespace {

// Archives written on Windows may separate with backslashes: both count.
QStringList components(const QString& path)
{
    static const QRegularExpression separator(QStringLiteral("[/\\\\]"));
    QStringList parts = path.split(separator, Qt::SkipEmptyParts);
    parts.removeAll(QStringLiteral("."));
    return parts;
}

bool isAbsolute(const QString& path)
{
    return path.startsWith(QLatin1Char('/')) || path.startsWith(QLatin1Char('\\'))
           || (path.size() >= 2 && path.at(1) == QLatin1Char(':') && path.at(0).unicode() < 128
               && path.at(0).isLetter());
}

bool escapes(const QString& path)
{
    return isAbsolute(path) || components(path).contains(QStringLiteral(".."));
}

// The path as one text: "./a//b" and "a\\b" are both "a/b".
QString normalised(const QString& path)
{
    return components(path).join(QLatin1Char('/'));
}

// Whether `target`, read from the folder of `linkPath`, stays inside the archive's root. Past a link
// the walk is wherever that link points, so a ".." there counts as climbing out.
bool staysInside(const QString& linkPath, const QString& target, const std::set<QString>& links)
{
    if (isAbsolute(target))
        return false;
    QStringList walked = components(linkPath);
    if (!walked.isEmpty())
        walked.removeLast();
    bool pastLink = false;
    for (const QString& part : components(target)) {
        if (part != QLatin1String("..")) {
            walked << part;
            pastLink = pastLink || links.count(walked.join(QLatin1Char('/'))) > 0;
        } else if (walked.isEmpty() || pastLink) {
            return false;
        } else {
            walked.removeLast();
        }
    }
    return true;
}

// The unix mode in a listing value (" -rw-r--r--", "A_ lrwxrwxrwx"): a link when it starts with 'l'.
bool modeIsLink(const QString& value)
{
    static const QRegularExpression mode(QStringLiteral("(^|\\s)l[rwxsStT-]{9}(\\s|\\z)"),
                                         QRegularExpression::UseUnicodePropertiesOption);
    return mode.match(value).hasMatch();
}

// The target exactly as the link stores it: Qt only offers it resolved, which hides an absolute one.
QString storedTarget(const QString& link)
{
    char target[PATH_MAX];
    const ssize_t length = ::readlink(QFile::encodeName(link).constData(), target, sizeof target);
    return length < 0 ? QString() : QFile::decodeName(QByteArray(target, static_cast<int>(length)));
}

} // namespace

ArchiveListing ArchiveListing::ofFolder(const QString& root)
{
    ArchiveListing result;
    const QDir folder(root);
    QDirIterator entries(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                         QDirIterator::Subdirectories);
    while (entries.hasNext()) {
        const QFileInfo entry(entries.next());
        Entry found{folder.relativeFilePath(entry.filePath()), entry.isSymLink(), QString(), QString()};
        if (found.isLink) {
            found.linkTarget = storedTarget(entry.filePath());
            // A link whose target cannot be read is judged as one that leaves.
            if (found.linkTarget.isEmpty())
                found.linkTarget = QStringLiteral("/");
        }
        result.m_entries.push_back(found);
    }
    return result;
}

ArchiveListing ArchiveListing::parse(const QString& listing)
{
    ArchiveListing result;
    bool inEntries = false;
    for (const QString& line : listing.split(QLatin1Char('\n'))) {
        const QString trimmed = line.trimmed();
        if (!inEntries) {
            inEntries = trimmed == QLatin1String("----------");
            continue;
        }
        // "Key = value"; a key without value may lose its trailing blank ("Hard Link =").
        QString text = line;
        text.remove(QLatin1Char('\r'));
        const int separator = text.indexOf(QLatin1String(" = "));
        QString key;
        QString value;
        if (separator >= 0) {
            key = text.left(separator);
            value = text.mid(separator + 3);
        } else if (text.endsWith(QLatin1String(" ="))) {
            key = text.chopped(2);
        } else {
            continue;
        }
        if (key == QLatin1String("Path")) {
            result.m_entries.push_back(Entry{value, false, QString(), QString()});
            continue;
        }
        if (result.m_entries.empty())
            continue;
        Entry& entry = result.m_entries.back();
        if ((key == QLatin1String("Attributes") || key == QLatin1String("Mode")) && modeIsLink(value)) {
            entry.isLink = true;
        } else if (key == QLatin1String("Symbolic Link") && !value.isEmpty()) {
            entry.isLink = true;
            entry.linkTarget = value;
        } else if (key == QLatin1String("Hard Link")) {
            entry.hardLink = value;
        }
    }
    return result;
}

const std::vector<ArchiveListing::Entry>& ArchiveListing::entries() const
{
    return m_entries;
}

QString ArchiveListing::problem() const
{
    std::set<QString> links;
    for (const Entry& entry : m_entries) {
        if (entry.isLink)
            links.insert(normalised(entry.path));
    }
    for (const Entry& entry : m_entries) {
        if (escapes(entry.path))
            return QStringLiteral("the entry \"%1\" would land outside the output folder").arg(entry.path);
        if (!entry.hardLink.isEmpty() && escapes(entry.hardLink))
            return QStringLiteral("the entry \"%1\" links outside the output folder").arg(entry.path);
        if (entry.isLink && !entry.linkTarget.isEmpty() && !staysInside(entry.path, entry.linkTarget, links))
            return QStringLiteral("the entry \"%1\" links outside the output folder").arg(entry.path);
    }
    // A later entry written through a link (or over it) would land wherever the link points.
    for (const Entry& entry : m_entries) {
        const QString path = normalised(entry.path);
        for (const QString& link : links) {
            if (path.startsWith(link + QLatin1Char('/')) || (path == link && !entry.isLink))
                return QStringLiteral("the entry \"%1\" would be written through the link \"%2\"")
                    .arg(entry.path, link);
        }
    }
    return QString();
}
