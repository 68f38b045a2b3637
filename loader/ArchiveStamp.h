#pragma once

// Which archive file an unpacked folder came from: its path, size, inode and times, stored in the
// folder when it is unpacked, so that the folder is reused only for the same archive, unchanged.
// A rebuilt or replaced archive changes at least its inode or change time (which no copy or
// `touch` can set back), so no digest of a large archive is needed. Value type; any thread.

#include <QByteArray>
#include <QString>

class ArchiveStamp
{
public:
    // The stamp of the archive as it is now; invalid when the archive cannot be read.
    static ArchiveStamp of(const QString& archive);

    bool isValid() const;
    // Records the stamp in `folder`, in place of anything of the same name; false after the ERROR line.
    bool writeInto(const QString& folder) const;
    // Whether `folder` was unpacked from this very archive. False for a folder without a stamp
    // (never unpacked by us, or by an older version).
    bool isIn(const QString& folder) const;

private:
    QByteArray m_text; // empty: invalid
};
