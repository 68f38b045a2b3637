#include "platform/utility/OSVersion.h"

#include <QFile>
#include <QStringList>
#include <QSysInfo>

#include <cstring>

namespace {

// Value of an os-release assignment: shell-like quoting with double or single quotes and
// backslash escapes inside double quotes.
QString unquote(const QString& raw)
{
    const QString value = raw.trimmed();
    if (value.size() < 2)
        return value;
    const QChar quote = value.front();
    if ((quote != QLatin1Char('"') && quote != QLatin1Char('\'')) || value.back() != quote)
        return value;
    const QString inner = value.mid(1, value.size() - 2);
    if (quote == QLatin1Char('\''))
        return inner;
    QString text;
    for (int i = 0; i < inner.size(); ++i) {
        if (inner.at(i) == QLatin1Char('\\') && i + 1 < inner.size())
            ++i;
        text.append(inner.at(i));
    }
    return text;
}

// Copies `text` as UTF-8 into `target`, cut at a character boundary when it does not fit.
void copyName(const QString& text, char* target, size_t capacity)
{
    QByteArray bytes = text.toUtf8();
    if (size_t(bytes.size()) >= capacity) {
        int length = int(capacity) - 1;
        while (length > 0 && (static_cast<unsigned char>(bytes.at(length)) & 0xC0) == 0x80)
            --length;
        bytes.truncate(length);
    }
    std::memcpy(target, bytes.constData(), size_t(bytes.size()));
    target[bytes.size()] = '\0';
}

} // namespace

QString readOsReleasePrettyName(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return QString();
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    const QString key = QStringLiteral("PRETTY_NAME=");
    for (const QString& line : lines) {
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(key))
            return unquote(trimmed.mid(key.size())).trimmed();
    }
    return QString();
}

namespace {

OSVersion readOSVersion()
{
    QString name = readOsReleasePrettyName(QStringLiteral("/etc/os-release"));
    if (name.isEmpty())
        name = readOsReleasePrettyName(QStringLiteral("/usr/lib/os-release"));
    if (name.isEmpty())
        name = QSysInfo::prettyProductName();

    OSVersion version{};
    copyName(name, version.name, sizeof version.name);
    if (sizeof(void*) == 8)
        version.arch = OSArch64;
    else if (sizeof(void*) == 4)
        version.arch = OSArch32;
    else
        version.arch = OSArchUnknown;
    return version;
}

} // namespace

OSVersion getOSVersion()
{
    // The host does not change while the program runs: its os-release is read once per process.
    static const OSVersion version = readOSVersion();
    return version;
}
