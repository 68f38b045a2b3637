#include "core/UniqueFileName.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// More runs than this in one second, with one name, are no accident.
constexpr int kMaxNumber = 1000;

// "<folder>/<base>-<number>.<suffix>"; the suffix is what follows the last dot of the name.
QString numberedName(const QFileInfo& wanted, int number)
{
    const QString suffix = wanted.suffix();
    const QString name = suffix.isEmpty()
                             ? QStringLiteral("%1-%2").arg(wanted.fileName()).arg(number)
                             : QStringLiteral("%1-%2.%3").arg(wanted.completeBaseName()).arg(number).arg(suffix);
    return wanted.dir().filePath(name);
}

} // namespace

QString UniqueFileName::claim(const QString& wanted, QString& error)
{
    const QFileInfo info(wanted);
    for (int number = 1; number <= kMaxNumber; ++number) {
        const QString candidate = number == 1 ? wanted : numberedName(info, number);
        QFile file(candidate);
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return candidate;
        // Only a name that exists already is worth another number.
        if (!QFileInfo(candidate).exists() && !QFileInfo(candidate).isSymLink()) {
            error = QStringLiteral("%1: %2").arg(candidate, file.errorString());
            return QString();
        }
    }
    error = QStringLiteral("%1: every numbered name up to %2 is taken").arg(wanted).arg(kMaxNumber);
    return QString();
}
