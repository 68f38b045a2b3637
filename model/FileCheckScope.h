#pragma once

// While one lives on a thread, the file values checked on that thread ask the disk about each path
// once: a configuration of ten thousand commands naming one image checks it once, not ten thousand
// times. Scopes nest; the outermost one's answers hold until it ends.

#include <QHash>
#include <QString>

class FileCheckScope
{
public:
    FileCheckScope();
    ~FileCheckScope();
    FileCheckScope(const FileCheckScope&) = delete;
    FileCheckScope& operator=(const FileCheckScope&) = delete;

    // Whether `path` exists: the disk's answer, kept for the scope around the caller if any.
    static bool exists(const QString& path);

private:
    FileCheckScope* m_outer;
    QHash<QString, bool> m_answers;
};
