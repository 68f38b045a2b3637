#include "download/FileDigester.h"

#include <openssl/evp.h>

#include <cerrno>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

// One OpenSSL digest under way; unusable (isReady() false) when OpenSSL refuses the algorithm.
class Digest
{
public:
    explicit Digest(const EVP_MD* algorithm)
        : m_context(EVP_MD_CTX_new(), &EVP_MD_CTX_free)
    {
        m_ready = m_context && algorithm != nullptr
            && EVP_DigestInit_ex(m_context.get(), algorithm, nullptr) == 1;
    }
    bool isReady() const { return m_ready; }
    // A failure shows in finish().
    void update(const char* data, size_t size)
    {
        m_ready = m_ready && EVP_DigestUpdate(m_context.get(), data, size) == 1;
    }
    // The digest in binary; empty when any step failed.
    QByteArray finish()
    {
        unsigned char value[EVP_MAX_MD_SIZE];
        unsigned int size = 0;
        if (!m_ready || EVP_DigestFinal_ex(m_context.get(), value, &size) != 1)
            return QByteArray();
        return QByteArray(reinterpret_cast<const char*>(value), int(size));
    }

private:
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> m_context;
    bool m_ready = false;
};

// Fills the buffer unless the file ends first: the count read, 0 at the end, -1 on an error.
ssize_t readBlock(int fd, char* buffer, size_t size)
{
    for (;;) {
        const ssize_t count = ::read(fd, buffer, size);
        if (count >= 0 || errno != EINTR)
            return count;
    }
}

// Blocks that the reader hands to the MD5 thread, in order, in a ring of fixed buffers: the reader
// waits while every buffer is queued, the MD5 thread while none is. A block of size 0 ends the file.
class BlockQueue
{
public:
    explicit BlockQueue(size_t blocks)
        : m_buffers(blocks, std::vector<char>(FileDigester::kBlockBytes)), m_sizes(blocks, 0)
    {
    }
    // Reader: a buffer that no queued block uses.
    char* freeBuffer()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return m_queued < m_buffers.size(); });
        return m_buffers[slot(m_queued)].data();
    }
    // Reader: the buffer freeBuffer gave holds `size` bytes; 0 ends the file.
    void push(size_t size)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_sizes[slot(m_queued)] = size;
            ++m_queued;
        }
        m_changed.notify_all();
    }
    // MD5 thread: the oldest queued block, left in place until pop().
    const char* front(size_t& size)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return m_queued > 0; });
        size = m_sizes[m_first];
        return m_buffers[m_first].data();
    }
    void pop()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_first = slot(1);
            --m_queued;
        }
        m_changed.notify_all();
    }

private:
    size_t slot(size_t offset) const { return (m_first + offset) % m_buffers.size(); }

    std::vector<std::vector<char>> m_buffers;
    std::vector<size_t> m_sizes;
    std::mutex m_mutex; // guards the two counters below
    std::condition_variable m_changed;
    size_t m_first = 0;
    size_t m_queued = 0;
};

// Reads the file to its end into the buffers `nextBuffer` gives, each block passed to `take`; false
// on a read error.
template <typename NextBuffer, typename Take>
bool readBlocks(int fd, qint64& total, NextBuffer nextBuffer, Take take)
{
    total = 0;
    for (;;) {
        char* block = nextBuffer();
        const ssize_t count = readBlock(fd, block, FileDigester::kBlockBytes);
        if (count <= 0)
            return count == 0;
        total += count;
        take(block, size_t(count));
    }
}

} // namespace

bool FileDigester::digest(int fd, qint64 sizeHint, Result& result)
{
    Digest md5(EVP_md5());
    Digest sha1(EVP_sha1());
    if (!md5.isReady() || !sha1.isReady())
        return false;
    bool readToTheEnd = false;
    if (sizeHint < kThreadedFromBytes) {
        std::vector<char> buffer(kBlockBytes);
        readToTheEnd = readBlocks(fd, result.bytes, [&buffer] { return buffer.data(); },
                                  [&md5, &sha1](const char* block, size_t size) {
                                      md5.update(block, size);
                                      sha1.update(block, size);
                                  });
    } else {
        BlockQueue queue(kQueuedBlocks);
        std::thread md5Thread([&queue, &md5] {
            size_t size = 0;
            for (const char* block = queue.front(size); size > 0; block = queue.front(size)) {
                md5.update(block, size);
                queue.pop();
            }
        });
        readToTheEnd = readBlocks(fd, result.bytes, [&queue] { return queue.freeBuffer(); },
                                  [&queue, &sha1](const char* block, size_t size) {
                                      queue.push(size); // MD5 starts on it while SHA-1 reads it too
                                      sha1.update(block, size);
                                  });
        queue.freeBuffer(); // the end mark takes a slot like a block
        queue.push(0);
        md5Thread.join();
    }
    if (!readToTheEnd)
        return false;
    result.md5 = md5.finish();
    result.sha1 = sha1.finish();
    return !result.md5.isEmpty() && !result.sha1.isEmpty();
}
