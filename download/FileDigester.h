#pragma once

// MD5 and SHA-1 of an open file in one read, with OpenSSL's digests. A large file has its MD5 (the
// slower of the two) computed on a second thread, fed through a ring of kQueuedBlocks buffers: the
// memory stays bounded when one side is slower. Called by the hash cache's worker; blocks to the end.

#include <QByteArray>

#include <cstddef>

class FileDigester
{
public:
    // Both digests in binary and the number of bytes read.
    struct Result
    {
        QByteArray md5;
        QByteArray sha1;
        qint64 bytes = 0;
    };

    // Large reads keep system calls and thread hand-overs rare; a multiple of every usual block size.
    static constexpr size_t kBlockBytes = size_t(2) << 20;
    // A few blocks of slack: a short stall on either side does not stop the other.
    static constexpr size_t kQueuedBlocks = 4;
    // From this size on the second thread pays for itself.
    static constexpr qint64 kThreadedFromBytes = qint64(16) << 20;

    // Reads `fd` from its offset to its end; `sizeHint` (the file's size) chooses the threaded way.
    // False on a read error or when a digest is unavailable (a FIPS-only OpenSSL refuses MD5).
    static bool digest(int fd, qint64 sizeHint, Result& result);
};
